// WizardSupport.cpp — connections, INSERT batches and row files of the wizard (see WizardSupport.h).
#include "transfer/WizardSupport.h"

#include "transfer/CopyTexts.h"

#include "transfer/LoadDataBatch.h"

#include "db/DbError.h"
#include "db/ServerLogin.h"
#include "profiles/localizedmessages.h"

#include <QDir>
#include <QFile>

#include <mysql.h>

#include <algorithm>
#include <limits>

namespace tablor::transfer {

void runStatement(st_mysql* h, const QByteArray& sql) {
    if (mysql_real_query(h, sql.constData(), static_cast<unsigned long>(sql.size())) != 0)
        throw EDatabaseError(QString::fromUtf8(mysql_error(h)), mysql_errno(h));
    if (MYSQL_RES* r = mysql_store_result(h)) mysql_free_result(r);
}

bool isConnectionError(unsigned code) { return code >= 2000 && code < 3000; }

QString connectServer(TZMySqlDatabase& server, const WizardServer& profile, int languageIndex, bool allowLocalInfile) {
    setServerLogin(server, {.host = profile.host,
                            .port = QString::number(profile.port),
                            .user = profile.user,
                            .password = profile.password,
                            .database = profile.database});
    server.AllowLocalInfile = allowLocalInfile;
    try {
        server.Connect();
        if (allowLocalInfile) refuseLocalInfile(server.Handle());
        return {};
    } catch (const EDatabaseError& e) {
        return copyText(languageIndex, "The connection to %1:%2 (database \"%3\", user \"%4\") failed: %5")
            .arg(profile.host)
            .arg(profile.port)
            .arg(profile.database, profile.user, e.Message());
    }
}

QStringList serverTableNames(TZMySqlDatabase& server) {
    TZMySqlQuery q;
    q.Database = &server;
    q.SQL = QStringList{QStringLiteral("SHOW FULL TABLES WHERE Table_type = 'BASE TABLE'")};
    q.Open();
    QStringList names;
    for (int r = 0; r < q.RecordCount(); ++r) names << q.CellText(r, 0);
    return names;
}

QString findTableName(const QStringList& names, const QString& table) {
    for (const QString& n : names)
        if (n.compare(table, Qt::CaseInsensitive) == 0) return n;
    return {};
}

QStringList serverColumnNames(TZMySqlDatabase& server, const QString& table) {
    st_mysql* h = server.Handle();
    const QByteArray sql = "SELECT * FROM " + QuoteIdentifier(table).toUtf8() + " LIMIT 0";
    if (mysql_real_query(h, sql.constData(), static_cast<unsigned long>(sql.size())) != 0)
        throw EDatabaseError(QString::fromUtf8(mysql_error(h)), mysql_errno(h));
    MYSQL_RES* r = mysql_store_result(h);
    QStringList names;
    if (!r) return names;
    const unsigned n = mysql_num_fields(r);
    MYSQL_FIELD* f = mysql_fetch_fields(r);
    for (unsigned i = 0; i < n; ++i) names << QString::fromUtf8(f[i].name, static_cast<qsizetype>(f[i].name_length));
    mysql_free_result(r);
    return names;
}

qint64 batchBytesFor(st_mysql* h) {
    qint64 packet = 4 << 20;
    if (mysql_real_query(h, "SELECT @@max_allowed_packet", 27) == 0) {
        if (MYSQL_RES* r = mysql_store_result(h)) {
            if (MYSQL_ROW row = mysql_fetch_row(r); row && row[0]) packet = QByteArray(row[0]).toLongLong();
            mysql_free_result(r);
        }
    }
    return std::clamp<qint64>(packet / 2, 64 << 10, 16 << 20);
}

QString copyingStatus(int languageIndex, const QString& table) {
    return LocalizedMessage(msgCopying, languageIndex) + QLatin1Char(' ') + table;
}

QString rowErrorStatus(int languageIndex, qint64 row) {
    return (languageIndex == 1 ? QStringLiteral("Erroneous dataset at #%1")
                               : QStringLiteral("Fehler Bei Datensatz Nr. %1"))
        .arg(row);
}

RowFiles::RowFiles(QString folder, int languageIndex) : m_folder(std::move(folder)), m_languageIndex(languageIndex) {
    if (enabled()) QDir().mkpath(m_folder);
}

QString RowFiles::pathOf(qint64 row) const { return QDir(m_folder).filePath(QStringLiteral("rest_%1.sql").arg(row)); }

void RowFiles::beginBatch(qint64 first, const QByteArray& header, const QByteArray& statement) {
    if (!enabled()) return;
    endBatch();
    m_current = pathOf(first);
    QFile f(m_current);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw EDatabaseError(copyText(m_languageIndex,
                                      "The row file %1 cannot be written: %2. Choose another troubleshooting "
                                      "folder or free some space.")
                                 .arg(m_current, f.errorString()));
    f.write(header);
    f.write(statement);
    f.write("\n");
}

void RowFiles::endBatch() {
    if (!m_current.isEmpty()) QFile::remove(m_current);
    m_current.clear();
}

void RowFiles::failedRow(qint64 row, const QByteArray& statement) {
    if (!enabled()) return;
    const QString path = pathOf(row);
    if (path == m_current) m_current.clear(); // the batch began with this row: its file now holds the row
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(statement + "\n");
}

InsertBatch::InsertBatch(st_mysql* h, QByteArray head, qint64 maxBytes, bool pipelined)
    : m_h(h), m_head(std::move(head)), m_maxBytes(maxBytes), m_pipelined(pipelined) {}

InsertBatch::~InsertBatch() {
    if (m_flight.valid()) m_flight.wait();
}

void InsertBatch::add(QByteArray tuple, qint64 row) {
    if (!m_tuples.empty() && m_bytes + tuple.size() + m_head.size() > m_maxBytes) send();
    m_bytes += tuple.size() + 1;
    m_tuples.push_back(std::move(tuple));
    m_rows.push_back(row);
}

void InsertBatch::retryOneByOne(const std::vector<QByteArray>& tuples, const std::vector<qint64>& rows) {
    // The statement was undone as a whole: each row on its own tells which ones fail.
    for (size_t i = 0; i < tuples.size(); ++i) {
        const QByteArray one = m_head + tuples[i];
        try {
            runStatement(m_h, one);
            ++m_written;
        } catch (const EDatabaseError& rowError) {
            if (isConnectionError(rowError.ErrorCode())) throw;
            if (onRowFailed) onRowFailed(rows[i], rowError.Message(), one);
        }
    }
}

void InsertBatch::land() {
    if (!m_flight.valid()) return;
    try {
        m_flight.get();
        m_written += static_cast<qint64>(m_flyingTuples.size());
    } catch (const EDatabaseError& e) {
        if (isConnectionError(e.ErrorCode())) throw;
        retryOneByOne(m_flyingTuples, m_flyingRows);
    }
    m_flyingTuples.clear();
    m_flyingRows.clear();
}

void InsertBatch::send() {
    land();
    if (m_tuples.empty()) return;
    QByteArray sql;
    sql.reserve(m_bytes + m_head.size());
    sql += m_head;
    for (size_t i = 0; i < m_tuples.size(); ++i) {
        if (i) sql += ',';
        sql += m_tuples[i];
    }
    if (onSend) onSend(m_rows.front(), sql);
    m_flyingTuples = std::move(m_tuples);
    m_flyingRows = std::move(m_rows);
    m_tuples.clear();
    m_rows.clear();
    m_bytes = 0;
    if (m_pipelined) {
        m_flight = std::async(std::launch::async, [h = m_h, sql = std::move(sql)] { runStatement(h, sql); });
    } else {
        std::promise<void> done;
        try {
            runStatement(m_h, sql);
            done.set_value();
        } catch (...) {
            done.set_exception(std::current_exception());
        }
        m_flight = done.get_future();
        land();
    }
}

LoadPipeline::LoadPipeline(st_mysql* h, LoadDataBatch first, LoadDataBatch second, InsertBatch& inserts)
    : m_h(h), m_inserts(inserts) {
    m_loads[0].batch.emplace(std::move(first));
    m_loads[1].batch.emplace(std::move(second));
}

LoadPipeline::~LoadPipeline() {
    if (m_flight.valid()) m_flight.wait();
}

qint64 LoadPipeline::firstUnsettled() const {
    const Load& flying = m_loads[m_filling ^ 1];
    if (m_flight.valid() && !flying.rows.empty()) return flying.rows.front();
    const Load& filling = m_loads[m_filling];
    return filling.rows.empty() ? std::numeric_limits<qint64>::max() : filling.rows.front();
}

void LoadPipeline::rowDone(QByteArray tuple, qint64 row) {
    Load& l = m_loads[m_filling];
    l.tuples.push_back(std::move(tuple));
    l.rows.push_back(row);
    if (l.batch->bytes() >= kBatchBytes) send();
}

void LoadPipeline::land() {
    if (!m_flight.valid()) return;
    Load& flying = m_loads[m_filling ^ 1];
    auto outcome = LoadDataBatch::Outcome::Warned;
    try {
        outcome = static_cast<LoadDataBatch::Outcome>(m_flight.get());
    } catch (const EDatabaseError& e) {
        if (isConnectionError(e.ErrorCode())) throw;
    }
    if (outcome == LoadDataBatch::Outcome::Stored) {
        m_loaded += flying.batch->rows();
    } else {
        runStatement(m_h, "ROLLBACK TO SAVEPOINT tablor_batch");
        if (outcome == LoadDataBatch::Outcome::Refused) m_refused = true;
        for (size_t i = 0; i < flying.tuples.size(); ++i) m_inserts.add(std::move(flying.tuples[i]), flying.rows[i]);
        m_inserts.send();
        m_inserts.land();
    }
    flying.batch->clear();
    flying.tuples.clear();
    flying.rows.clear();
}

void LoadPipeline::send() {
    land();
    Load& l = m_loads[m_filling];
    if (l.batch->empty()) return;
    if (m_refused) {
        for (size_t i = 0; i < l.tuples.size(); ++i) m_inserts.add(std::move(l.tuples[i]), l.rows[i]);
        l.batch->clear();
        l.tuples.clear();
        l.rows.clear();
        return;
    }
    runStatement(m_h, "SAVEPOINT tablor_batch");
    m_filling ^= 1;
    m_flight = std::async(std::launch::async, [b = &*l.batch] { return static_cast<int>(b->send()); });
}

} // namespace tablor::transfer
