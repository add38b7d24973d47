// u_dbaccess.cpp — the Access helper object.
#include "db/u_dbaccess.h"

#include "db/DbError.h"
#include "db/JetConnectionString.h"

#include "jet/writer.h"

#include <QCoreApplication>
#include <QDir>

namespace u_dbaccess {

using tablor::EDatabaseError;

namespace {
TShowErrorHook& showErrorHook() {
    static TShowErrorHook hook;
    return hook;
}
} // namespace

void setShowErrorHook(TShowErrorHook hook) { showErrorHook() = std::move(hook); }

QString DefaultDatabasePath() {
    const QString dir = QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QDir::currentPath();
    return QDir(dir).filePath(QStringLiteral("tablor.mdb"));
}

TSQLObject::TSQLObject()
    : DatabasePath(DefaultDatabasePath()), m_connection(std::make_unique<tablor::TADOConnection>()),
      m_query(std::make_unique<TMyQuery>()) {
    m_connection->LoginPrompt = false;
    m_query->ParamCheck = false;
    m_query->Prepared = true;
    m_query->setConnection(m_connection.get());
    m_connection->AfterConnect = [this](tablor::TADOConnection*) { m_connected = true; };
    m_connection->AfterDisconnect = [this](tablor::TADOConnection*) {
        m_connected = false;
        if (OnDisconnect) OnDisconnect(this);
    };
}

TSQLObject::~TSQLObject() {
    // Destroying the helper is not a disconnect anyone listens to any more.
    OnDisconnect = nullptr;
    try {
        m_connection->Close();
    } catch (const std::exception& e) {
        jet::reportLostChanges(e.what()); // a destructor cannot throw it
    }
    m_query.reset();
}

void TSQLObject::SetDatabasePath(const QString& path) {
    m_connection->Close();
    DatabasePath = path;
}

void TSQLObject::SwitchConnection(bool on) { m_connection->setConnected(on); }

int TSQLObject::Connect() {
    LastError.clear();
    try {
        m_connection->Close();
        m_connection->ConnectionString = tablor::JetOpenConnectionString(DatabasePath);
        m_connection->Open();
    } catch (const std::exception& e) {
        const QString message = QString::fromUtf8(e.what());
        if (OnError) OnError(QStringLiteral("Verbindung Fehlgeschlagen: ") + message);
        LastError = message;
        TableList.clear();
        return -1;
    }
    TableList.clear();
    if (m_connection->Connected()) {
        try {
            m_connection->GetTableNames(TableList, false);
        } catch (const std::exception& e) {
            LastError = QString::fromUtf8(e.what());
        }
    }
    return 0;
}

const QStringList& TSQLObject::GetTables() {
    TableList.clear();
    if (m_connection->Connected()) m_connection->GetTableNames(TableList, false);
    return TableList;
}

void TSQLObject::fail(const QString& message) {
    LastError = message;
    if (OnError) OnError(message);
    if (ShowErrors && showErrorHook()) showErrorHook()(QStringLiteral("SQL Fehler"), message);
}

void TSQLObject::Execute(const QString& statement) {
    if (!m_connected && Connect() < 0) return;
    LastSQL = statement;
    m_query->DisableControls();
    m_query->Close();
    m_query->SQL.clear();
    m_query->SQL << statement;
    // Only a SELECT at the very first character is opened; "  SELECT" is executed.
    if (statement.toUpper().startsWith(QLatin1String("SELECT"))) {
        try {
            m_query->Open();
            // SELECT ... INTO has no rows to show: count the rows it copied.
            RowCount = m_query->FieldCount() == 0 ? m_query->RowsAffected() : m_query->RecordCount();
        } catch (const std::exception& e) {
            RowCount = 0;
            fail(QString::fromUtf8(e.what()));
        }
    } else {
        try {
            RowCount = m_query->ExecSQL();
        } catch (const std::exception& e) {
            RowCount = 0;
            fail(QString::fromUtf8(e.what()));
        }
        // Not caught here: a failure reaches the caller.
        m_query->Close();
        m_query->SQL.clear();
        m_query->SQL << QStringLiteral("SELECT @@identity");
        try {
            m_query->Open();
        } catch (...) {
            m_query->EnableControls();
            throw;
        }
        LastInsertId = 0;
        if (m_query->RecordCount() > 0 && m_query->FieldCount() > 0) {
            try {
                LastInsertId = m_query->Fields(0)->AsInteger();
            } catch (const EDatabaseError&) {
                LastInsertId = 0;
            }
        }
    }
    m_query->EnableControls();
}

} // namespace u_dbaccess
