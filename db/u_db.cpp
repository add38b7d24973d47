// u_db.cpp — TSQLObject: connect, table list, Execute with its retries, literals; and the
// optional host-auth library.
#include "db/ServerLogin.h"
#include "db/u_db.h"

#include "db/DbError.h"

#include <QDir>
#include <QFileInfo>

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstring>

namespace u_db {

using tablor::EDatabaseError;

namespace {

QString g_hostAuthPath;

// Lost connections: the "has gone away" text the callers know, and the client library's
// codes for a connection that broke during a statement (2006 gone away, 2013 lost,
// 2055 lost while reading/writing).
bool isLostConnection(const EDatabaseError& e) {
    const unsigned code = e.ErrorCode();
    return e.Message().toLower().contains(QLatin1String("has gone away")) || code == 2006 || code == 2013 ||
           code == 2055;
}

bool isRowStatement(const QString& sql) {
    const QString u = sql.toUpper();
    return u.startsWith(QLatin1String("SELECT")) || u.startsWith(QLatin1String("REPAIR")) ||
           u.startsWith(QLatin1String("OPTIMIZE")) || u.startsWith(QLatin1String("DESCRIBE"));
}

QString withoutBackquotes(QString sql) {
    sql.remove(QLatin1Char('`'));
    return sql;
}

// Resumes grid updates of the result query however Execute ends.
struct ControlsGuard {
    TZMySqlQuery* q;
    explicit ControlsGuard(TZMySqlQuery* query) : q(query) { q->DisableControls(); }
    ~ControlsGuard() { q->EnableControls(); }
};

QString sqlFehler(const QString& message) { return QStringLiteral("SQL Fehler: %1").arg(message); }

} // namespace

QString THostAuthBlock::field(int offset) const {
    const int len = bytes[static_cast<size_t>(offset)];
    return QString::fromUtf8(reinterpret_cast<const char*>(bytes.data()) + offset + 1, len);
}

void THostAuthBlock::setField(int offset, const QString& value) {
    QByteArray b = value.toUtf8().left(255);
    bytes[static_cast<size_t>(offset)] = static_cast<unsigned char>(b.size());
    std::memcpy(bytes.data() + offset + 1, b.constData(), static_cast<size_t>(b.size()));
}

QString HostAuthLibraryPath() {
    if (!g_hostAuthPath.isEmpty()) return g_hostAuthPath;
    char exe[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return QStringLiteral("hostauth.so");
    exe[n] = '\0';
    return QFileInfo(QString::fromLocal8Bit(exe)).absoluteDir().filePath(QStringLiteral("hostauth.so"));
}

void setHostAuthLibraryPath(const QString& path) { g_hostAuthPath = path; }

// ---------------------------------------------------------------- TSQLObject

TSQLObject::TSQLObject(TZMySqlDatabase* connection, TZMySqlTransact* transaction) {
    // 1. The optional library with the defaults.
    const QByteArray libPath = QFile::encodeName(HostAuthLibraryPath());
    m_hostAuthModule = ::dlopen(libPath.constData(), RTLD_NOW | RTLD_LOCAL);
    if (m_hostAuthModule)
        m_getHostAuth = reinterpret_cast<void (*)(unsigned char*)>(::dlsym(m_hostAuthModule, "GetHostAuth"));

    // 2. Connection, query, transaction.
    if (connection) {
        m_connection = connection;
    } else {
        m_connection = new TSQLConnection;
        m_ownsConnection = true;
    }
    m_query = std::make_unique<TZMySqlQuery>();
    if (transaction) {
        m_transaction = transaction;
    } else {
        m_transaction = new TZMySqlTransact;
        m_ownsTransaction = true;
    }
    m_transaction->Database = m_connection;
    m_transaction->AutoCommit = true;

    // 3. Mirror the connection's state.
    m_prevAfterConnect = m_connection->AfterConnect;
    m_prevAfterDisconnect = m_connection->AfterDisconnect;
    m_connection->AfterConnect = [this](TZMySqlDatabase* sender) {
        if (m_prevAfterConnect) m_prevAfterConnect(sender);
        m_connected = true;
        if (OnConnect) OnConnect(this);
    };
    m_connection->AfterDisconnect = [this](TZMySqlDatabase* sender) {
        if (m_prevAfterDisconnect) m_prevAfterDisconnect(sender);
        m_connected = false;
        if (OnDisconnect) OnDisconnect(this);
    };

    // 4. The result query.
    m_query->Database = m_connection;
    m_query->Transaction = m_transaction;
    m_query->AutoCalcFields = true;
    m_query->ExtraOptions = tablor::moStoreResult;
    m_query->LinkOptions = tablor::loAlwaysResync;
    m_query->Options = tablor::doHourGlass | tablor::doAutoFillDefs | tablor::doUseRowId;
    m_query->ShowRecordTypes = tablor::ztModified | tablor::ztInserted | tablor::ztUnmodified;
    m_query->ParamCheck = false;
    m_query->RequestLive = true;

    // 5. Defaults: from the library when it offers GetHostAuth, else the fixed ones.
    if (m_getHostAuth) {
        m_getHostAuth(m_defaults.bytes.data());
    } else {
        m_defaults.setField(THostAuthBlock::kLogin, QStringLiteral("root"));
        m_defaults.setField(THostAuthBlock::kPassword, QString());
        m_defaults.setField(THostAuthBlock::kHost, QStringLiteral("localhost"));
        m_defaults.setField(THostAuthBlock::kDatabase, QStringLiteral("mysql"));
        m_defaults.setField(THostAuthBlock::kPort, QStringLiteral("3306"));
    }

    // 6. Parameters by meaning.
    ConnectionRecord.Host = m_defaults.field(THostAuthBlock::kHost);
    ConnectionRecord.Login = m_defaults.field(THostAuthBlock::kLogin);
    ConnectionRecord.Password = m_defaults.field(THostAuthBlock::kPassword);
    ConnectionRecord.Database = m_defaults.field(THostAuthBlock::kDatabase);
    ConnectionRecord.Port = m_defaults.field(THostAuthBlock::kPort);
    m_connected = m_connection->Connected();
    RaiseErrors = true;
    LastInsertId = 0;
}

TSQLObject::~TSQLObject() {
    m_query->Close();
    m_connection->AfterConnect = m_prevAfterConnect;
    m_connection->AfterDisconnect = m_prevAfterDisconnect;
    if (m_ownsConnection) {
        m_connection->Disconnect();
        delete m_connection;
    }
    m_query.reset();
    if (m_ownsTransaction) delete m_transaction;
    if (m_hostAuthModule) ::dlclose(m_hostAuthModule);
}

void TSQLObject::SetDatabaseName(const QString& name) {
    ConnectionRecord.Database = name;
    m_defaults.setField(THostAuthBlock::kDatabase, name);
    m_connection->Database = name;
}

int TSQLObject::Connect() {
    m_connection->Disconnect();
    setServerLogin(*m_connection, {.host = ConnectionRecord.Host,
                                   .port = ConnectionRecord.Port,
                                   .user = ConnectionRecord.Login,
                                   .password = ConnectionRecord.Password,
                                   .database = ConnectionRecord.Database});
    try {
        m_connection->Connect();
    } catch (const EDatabaseError& e) {
        LastError = e.Message();
        if (RaiseErrors) throw EDatabaseError(sqlFehler(LastError), e.ErrorCode());
        return -1;
    }
    TableList.clear();
    if (m_connection->Connected()) {
        m_query->Close();
        m_query->SQL = QStringList{QStringLiteral("SHOW TABLES")};
        try {
            m_query->Open();
            for (int r = 0; r < m_query->RecordCount(); ++r) TableList.append(m_query->CellText(r, 0));
        } catch (const EDatabaseError&) {
            m_query->Close();
        }
    }
    return 0;
}

void TSQLObject::SwitchConnection(bool on) {
    if (on) Connect();
    else m_connection->Disconnect();
}

const QStringList& TSQLObject::GetTables() {
    if (!m_connected) Connect();
    return TableList;
}

void TSQLObject::dropLostConnection(const EDatabaseError& error) {
    // The next Execute then connects again with the same parameters.
    if (isLostConnection(error)) {
        m_query->Close();
        m_connection->Disconnect();
    }
}

void TSQLObject::fail(const EDatabaseError& error, bool raise) {
    LastError = error.Message();
    dropLostConnection(error);
    if (OnError) OnError(LastError);
    if (raise && RaiseErrors) throw EDatabaseError(sqlFehler(LastError), error.ErrorCode());
}

void TSQLObject::Execute(const QString& statement) {
    const QString sql = statement.trimmed();
    if (!m_connected && Connect() < 0) {
        LastError = QStringLiteral("Verbindung fehlhgeschlagen.");
        return;
    }
    LastSQL = sql;
    ControlsGuard controls(m_query.get());
    m_query->Close();
    m_query->SQL = QStringList{sql};

    if (isRowStatement(sql)) {
        try {
            m_query->Open();
            LastError.clear();
        } catch (const EDatabaseError&) {
            // One retry with every backquote removed.
            m_query->Close();
            m_query->SQL = QStringList{withoutBackquotes(sql)};
            try {
                m_query->Open();
                LastError.clear();
            } catch (const EDatabaseError& e) {
                fail(e, true);
            }
        }
        RowCount = m_query->RecordCount();
        return;
    }

    try {
        m_query->ExecSQL();
        LastError.clear();
    } catch (const EDatabaseError& first) {
        LastError = first.Message();
        if (OnError) OnError(LastError);
        if (LastError.toLower().contains(QLatin1String("syntax"))) {
            m_query->SQL = QStringList{withoutBackquotes(sql)};
            try {
                m_query->ExecSQL();
                LastError.clear();
            } catch (const EDatabaseError& e) {
                fail(e, true);
            }
        } else {
            // Not retried and not raised; a broken connection is still dropped so that the
            // next statement reconnects instead of failing for ever.
            dropLostConnection(first);
        }
    }
    RowCount = static_cast<int>(std::min<qint64>(m_query->RowsAffected(), INT_MAX));

    LastInsertId = 0;
    try {
        m_query->Close();
        m_query->SQL = QStringList{QStringLiteral("SELECT LAST_INSERT_ID()")};
        m_query->Open();
        if (m_query->RecordCount() > 0 && m_query->FieldCount() > 0)
            LastInsertId = static_cast<int>(m_query->CellValue(0, 0).toLongLong());
    } catch (const EDatabaseError&) {
        LastInsertId = 0;
    }
}

QString TSQLObject::ValueToSql(const QVariant& value) const {
    if (!value.isValid() || value.isNull()) return QStringLiteral("NULL");
    switch (value.typeId()) {
    case QMetaType::Bool: return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::Long:
    case QMetaType::SChar:
    case QMetaType::Char: return QString::number(value.toLongLong());
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::UShort:
    case QMetaType::ULong:
    case QMetaType::UChar: return QString::number(value.toULongLong());
    case QMetaType::Double:
    case QMetaType::Float: return QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
    case QMetaType::QDateTime: {
        const QDateTime dt = value.toDateTime();
        if (!dt.isValid()) return QStringLiteral("NULL"); // a date-time without a value, as a null field gives
        return QLatin1Char('\'') + dt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QLatin1Char('\'');
    }
    case QMetaType::QDate:
        return QLatin1Char('\'') + value.toDate().toString(QStringLiteral("yyyy-MM-dd")) + QLatin1Char('\'');
    case QMetaType::QTime:
        return QLatin1Char('\'') + value.toTime().toString(QStringLiteral("HH:mm:ss")) + QLatin1Char('\'');
    case QMetaType::QByteArray:
        return QStringLiteral("X'") + QString::fromLatin1(value.toByteArray().toHex()) + QLatin1Char('\'');
    default:
        return QLatin1Char('\'') + QString::fromUtf8(m_connection->EscapeString(value.toString().toUtf8())) +
               QLatin1Char('\'');
    }
}

// ---------------------------------------------------------------- unit functions

QString DateTimeToSql(double value) {
    if (value == 0.0) return QStringLiteral("'#0000-00-00 00:00:00#'");
    return DateTimeToSql(tablor::DateTimeFromDays(value));
}

QString DateTimeToSql(const QDateTime& value) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    if (value.isValid()) {
        y = value.date().year();
        mo = value.date().month();
        d = value.date().day();
        h = value.time().hour();
        mi = value.time().minute();
        s = value.time().second();
    }
    return QString::asprintf("'#%.4d-%.2d-%.2d %.2d:%.2d:%.2d#'", y, mo, d, h, mi, s);
}

QString FloatToSql(float value) {
    // QString::number ignores the locale, so the separator is always a point.
    QString s = QString::number(static_cast<double>(value), 'g', 15);
    const qsizetype e = s.indexOf(QLatin1Char('e'));
    if (e >= 0) {
        // General format writes the exponent as E, a minus sign only, no leading zeros.
        const QString mantissa = s.left(e);
        const int exponent = s.mid(e + 1).toInt();
        s = mantissa + QLatin1Char('E') + QString::number(exponent);
    }
    return s;
}

} // namespace u_db
