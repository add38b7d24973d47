// AccessToMySqlCopy.cpp — Access tables onto the server for the wizard (see AccessToMySqlCopy.h).
#include "transfer/AccessToMySqlCopy.h"

#include "transfer/CopyTexts.h"

#include "transfer/JetToMySql.h"
#include "transfer/LoadDataBatch.h"
#include "transfer/WizardSupport.h"

#include "db/AccessFile.h"
#include "db/DbError.h"
#include "profiles/localizedmessages.h"

#include "jet/database.h"
#include "jet/index_keys.h"

#include <mysql.h>

#include <cstdint>
#include <optional>
#include <span>
#include <set>
#include <future>
#include <map>

namespace tablor::transfer {

namespace {

constexpr qint64 kTickRows = 2000;
constexpr qsizetype kLoadBatchBytes = 4 << 20;

QByteArray quoted(const QString& name) { return QuoteIdentifier(name).toUtf8(); }
QString qs(const std::string& s) { return QString::fromStdString(s); }

bool isIntegerColumn(const jet::ColumnDef& c) {
    return c.type == jet::ColumnType::Byte || c.type == jet::ColumnType::Integer || c.type == jet::ColumnType::Long;
}

const jet::IndexDef* primaryKey(const jet::TableDef& def) {
    for (const jet::IndexDef& i : def.indexes)
        if (i.isPrimaryKey()) return &i;
    return nullptr;
}

// The column the wizard resumes and troubleshoots by: an integer column named "id".
int idColumn(const jet::TableDef& def) {
    const int i = def.findColumn("id");
    return i >= 0 && isIntegerColumn(def.columns[size_t(i)]) ? i : -1;
}

// An index whose first column is `column`: the rows in id order.
const jet::IndexDef* indexLedBy(const jet::TableDef& def, int column) {
    if (column < 0) return nullptr;
    const jet::IndexDef* found = nullptr;
    for (const jet::IndexDef& i : def.indexes)
        if (!i.isForeignKey() && !i.columns.empty() && i.columns[0].ascending &&
            i.columns[0].columnNumber == def.columns[size_t(column)].number && (!found || i.isPrimaryKey()))
            found = &i;
    return found;
}

QByteArray createStatement(const jet::TableDef& def, const QString& target, bool jet3) {
    const jet::IndexDef* pk = primaryKey(def);
    auto inKey = [&](const jet::ColumnDef& c) {
        if (!pk) return false;
        for (const jet::IndexColumn& k : pk->columns)
            if (k.columnNumber == c.number) return true;
        return false;
    };
    QByteArray sql = "CREATE TABLE " + quoted(target) + " (";
    for (size_t i = 0; i < def.columns.size(); ++i) {
        const jet::ColumnDef& c = def.columns[i];
        if (i) sql += ", ";
        sql += quoted(qs(c.name)) + ' ' + mysqlColumnType(c, jet3).toUtf8();
        if (c.required || inKey(c) || c.type == jet::ColumnType::Boolean) sql += " NOT NULL";
        // An AutoNumber that is the whole key numbers new rows on the server too.
        if (c.isAutoLong() && pk && pk->columns.size() == 1 && inKey(c)) sql += " AUTO_INCREMENT";
    }
    if (pk && !pk->columns.empty()) {
        sql += ", PRIMARY KEY (";
        for (size_t k = 0; k < pk->columns.size(); ++k) sql += (k ? ", " : "") + quoted(qs(pk->columns[k].columnName));
        sql += ')';
    }
    sql += ") CHARACTER SET utf8mb4";
    return sql;
}

// One table's copy: the reading order, the batches and what is reported of them.
class TableRun {
public:
    TableRun(const WizardJob& job, WizardSink& sink, TZMySqlDatabase& server, const jet::Database& db,
             std::shared_ptr<const jet::TableDef> def, QString target, TableCopyReport& report, bool& loadAllowed)
        : m_job(job), m_sink(sink), m_server(server), m_db(db), m_def(std::move(def)), m_target(std::move(target)),
          m_report(report), m_loadAllowed(loadAllowed), m_files(job.rowFileFolder, job.languageIndex),
          m_id(idColumn(*m_def)) {}

    void copy(const std::set<qint64>& onlyIds);

private:
    bool nextRow();
    void fail(qint64 row, const QString& message, const QByteArray& statement);
    void addInsert(const std::vector<jet::Value>& row, qint64 counter);
    void sendLoad(); // sends the batch being filled (after the one in flight has landed)
    void landLoad(); // waits for the batch in flight and settles it
    QString rowKey(qint64 counter) const;
    QByteArray batchHeader(qint64 first, qint64 last) const;

    const WizardJob& m_job;
    WizardSink& m_sink;
    TZMySqlDatabase& m_server;
    const jet::Database& m_db;
    std::shared_ptr<const jet::TableDef> m_def;
    QString m_target;
    TableCopyReport& m_report;
    bool& m_loadAllowed;
    RowFiles m_files;
    int m_id;

    std::optional<jet::RowCursor> m_cursor;
    std::optional<jet::IndexCursor> m_index;
    std::optional<jet::RowReader> m_reader;
    std::vector<jet::RowId> m_listed; // troubleshooting through the index: the rows to copy
    size_t m_listedAt = 0;
    std::vector<jet::Value> m_buffer;
    const std::vector<jet::Value>* m_row = nullptr;

    // Two LOAD DATA batches: one is filled while the server stores the other.
    struct Load {
        std::optional<LoadDataBatch> batch;
        std::vector<std::vector<jet::Value>> rows; // to send again as INSERTs
        std::vector<qint64> counters;
        void clear() {
            batch->clear();
            rows.clear();
            counters.clear();
        }
    };
    Load m_loads[2];
    int m_filling = 0;
    std::future<LoadDataBatch::Outcome> m_flight; // the connection is the worker's while valid
    std::optional<InsertBatch> m_inserts;
    std::map<qint64, qint64> m_idOf; // row counter to id, for the rows of the batches in hand
    qint64 m_loaded = 0;

public:
    ~TableRun() {
        if (m_flight.valid()) m_flight.wait();
    }
};

QString TableRun::rowKey(qint64 counter) const {
    const auto it = m_idOf.find(counter);
    return it == m_idOf.end() ? QStringLiteral("#%1").arg(counter)
                              : QStringLiteral("#%1 (id=%2)").arg(counter).arg(it->second);
}

// Which rows the batch in hand holds: enough to resume after an interruption (-offset: the id
// before the first one).
QByteArray TableRun::batchHeader(qint64 first, qint64 last) const {
    QString ids;
    const auto a = m_idOf.find(first), b = m_idOf.find(last);
    if (a != m_idOf.end() && b != m_idOf.end()) ids = QStringLiteral(", ids %1 to %2").arg(a->second).arg(b->second);
    return QStringLiteral("-- [%1] rows %2 to %3%4 into `%5`, sent as:\n")
        .arg(m_report.table)
        .arg(first)
        .arg(last)
        .arg(ids, m_target)
        .toUtf8();
}

bool TableRun::nextRow() {
    if (m_reader && !m_index) { // the rows of the listed ids
        while (m_listedAt < m_listed.size())
            if (m_reader->read(m_listed[m_listedAt++], m_buffer)) {
                m_row = &m_buffer;
                return true;
            }
        return false;
    }
    if (m_index) {
        while (m_index->next())
            if (m_reader->read(m_index->entry().row, m_buffer)) {
                m_row = &m_buffer;
                return true;
            }
        return false;
    }
    if (!m_cursor->next()) return false;
    m_row = &m_cursor->values();
    return true;
}

void TableRun::fail(qint64 row, const QString& message, const QByteArray& statement) {
    ++m_report.rowsFailed;
    const QString key = rowKey(row);
    if (m_report.errors.size() < TableCopyReport::kMaxRowErrors) m_report.errors.push_back({key, message});
    m_sink.error(m_report.table + QStringLiteral(": ") + key + QStringLiteral(": ") + message);
    m_sink.status(rowErrorStatus(m_job.languageIndex, row));
    if (!statement.isEmpty()) m_sink.currentSql(QString::fromUtf8(statement));
    m_files.failedRow(row, statement);
}

void TableRun::addInsert(const std::vector<jet::Value>& row, qint64 counter) {
    st_mysql* h = m_server.Handle();
    const bool backslashes = !(h->server_status & SERVER_STATUS_NO_BACKSLASH_ESCAPES);
    const std::function<QByteArray(const QByteArray&)> escape = [backslashes](const QByteArray& raw) {
        return EscapeUtf8ForQuotes(raw, backslashes);
    };
    QByteArray tuple = "(";
    try {
        for (size_t i = 0; i < row.size(); ++i) {
            if (i) tuple += ',';
            appendMySqlLiteral(tuple, row[i], escape);
        }
    } catch (const std::exception& e) {
        fail(counter, QString::fromUtf8(e.what()), QByteArray());
        return;
    }
    tuple += ')';
    m_inserts->add(std::move(tuple), counter);
}

void TableRun::landLoad() {
    if (!m_flight.valid()) return;
    Load& flying = m_loads[m_filling ^ 1];
    LoadDataBatch::Outcome outcome = LoadDataBatch::Outcome::Warned;
    try {
        outcome = m_flight.get();
    } catch (const EDatabaseError& e) {
        if (isConnectionError(e.ErrorCode())) throw;
    }
    if (outcome == LoadDataBatch::Outcome::Stored) {
        m_loaded += flying.batch->rows();
    } else {
        // Stored with changed values or skipped rows, or not at all: undone, and sent as INSERTs.
        runStatement(m_server.Handle(), "ROLLBACK TO SAVEPOINT tablor_batch");
        if (outcome == LoadDataBatch::Outcome::Refused) m_loadAllowed = false;
        for (size_t i = 0; i < flying.rows.size(); ++i) addInsert(flying.rows[i], flying.counters[i]);
        m_inserts->send();
    }
    if (!flying.counters.empty()) m_idOf.erase(m_idOf.begin(), m_idOf.upper_bound(flying.counters.back()));
    flying.clear();
}

void TableRun::sendLoad() {
    landLoad();
    Load& load = m_loads[m_filling];
    if (load.batch->empty()) return;
    if (!m_loadAllowed) { // refused by the batch before
        for (size_t i = 0; i < load.rows.size(); ++i) addInsert(load.rows[i], load.counters[i]);
        load.clear();
        return;
    }
    m_files.beginBatch(load.counters.front(), batchHeader(load.counters.front(), load.counters.back()),
                       load.batch->statement() + ';');
    m_sink.currentSql(QString::fromUtf8(load.batch->statement()));
    runStatement(m_server.Handle(), "SAVEPOINT tablor_batch");
    m_filling ^= 1;
    m_flight = std::async(std::launch::async, [batch = &*load.batch] { return batch->send(); });
}

void TableRun::copy(const std::set<qint64>& onlyIds) {
    st_mysql* h = m_server.Handle();
    const jet::TableDef& def = *m_def;
    const bool troubleshooting = !onlyIds.empty();
    const qint32 offset = troubleshooting ? 0 : m_job.resumeOffset;
    if ((troubleshooting || offset > 0) && m_id < 0) {
        if (troubleshooting) {
            m_report.message =
                copyText(m_job.languageIndex, "[%1] has no integer column \"id\": the listed ids cannot be copied.")
                    .arg(m_report.table);
            m_sink.error(m_report.table + QStringLiteral(": ") + m_report.message);
            m_report.result = CopyResult::NoLocalDb;
            return;
        }
    }
    qint64 done = 0; // rows the target holds already (a resumed copy)
    if (offset > 0 && m_id >= 0) {
        TZMySqlQuery q;
        q.Database = &m_server;
        q.SQL = QStringList{QStringLiteral("SELECT COUNT(*) FROM %1 WHERE %2 <= %3")
                                .arg(QuoteIdentifier(m_target), QuoteIdentifier(qs(def.columns[size_t(m_id)].name)))
                                .arg(offset)};
        q.Open();
        done = q.CellText(0, 0).toLongLong();
    }
    const qint64 total =
        troubleshooting ? static_cast<qint64>(onlyIds.size()) : static_cast<qint64>(m_db.countRows(def));
    m_sink.detail(done, total); // a resumed copy starts at the rows the target holds already

    if (const jet::IndexDef* index = indexLedBy(def, m_id)) {
        m_reader.emplace(m_db.rowReader(m_def));
        if (troubleshooting) {
            // The listed ids looked up one by one, in id order, instead of walking every row.
            std::set<jet::RowId> seen; // a row that stale entries name twice is copied once
            for (qint64 id : onlyIds) {
                if (id < INT32_MIN || id > INT32_MAX) continue; // no integer column holds it
                const jet::Value value = jet::Value::longInt(static_cast<int32_t>(id));
                try {
                    for (jet::RowId r : m_db.indexFindValues(m_def, *index, std::span(&value, 1)))
                        if (seen.insert(r).second) m_listed.push_back(r);
                } catch (const jet::KeyEncodingError&) { // out of the column's range: no such row
                }
            }
        } else {
            // A resumed copy starts at the offset in the index instead of reading the rows before it.
            const jet::Value from = jet::Value::longInt(offset);
            try {
                m_index.emplace(offset > 0 ? m_db.indexSeekValues(m_def, *index, std::span(&from, 1))
                                           : m_db.indexScan(m_def, *index));
            } catch (const jet::KeyEncodingError&) { // an offset beyond the column's range
                m_index.emplace(m_db.indexScan(m_def, *index));
            }
        }
    } else {
        m_cursor.emplace(m_db.scan(m_def));
    }
    QByteArray head = "INSERT INTO " + quoted(m_target) + " (";
    for (size_t i = 0; i < def.columns.size(); ++i) head += (i ? ", " : "") + quoted(qs(def.columns[i].name));
    head += ") VALUES ";
    m_inserts.emplace(h, head, batchBytesFor(h));
    m_inserts->onSend = [this](qint64 first, const QByteArray& sql) {
        if (!m_loadAllowed) m_idOf.erase(m_idOf.begin(), m_idOf.lower_bound(first));
        m_files.beginBatch(first, batchHeader(first, first), sql + ';');
    };
    m_inserts->onRowFailed = [this](qint64 row, const QString& message, const QByteArray& sql) {
        fail(row, message, sql);
    };
    for (Load& l : m_loads) l.batch.emplace(h, m_target, def);

    runStatement(h, "START TRANSACTION");
    qint64 counter = done;
    while (nextRow()) {
        const std::vector<jet::Value>& row = *m_row;
        qint64 id = 0;
        if (m_id >= 0) {
            const jet::Value& v = row[size_t(m_id)];
            if (v.isNull()) {
                if (troubleshooting || offset > 0) continue;
            } else {
                id = v.toInt64();
                if (troubleshooting ? !onlyIds.count(id) : id <= offset) continue;
            }
        }
        ++counter;
        ++m_report.rowsRead;
        if (m_id >= 0) m_idOf[counter] = id;
        if (m_loadAllowed) {
            Load& load = m_loads[m_filling];
            try {
                load.batch->append(row);
                load.rows.push_back(row);
                load.counters.push_back(counter);
            } catch (const std::exception& e) {
                fail(counter, QString::fromUtf8(e.what()), QByteArray());
            }
            if (load.batch->bytes() >= kLoadBatchBytes) sendLoad();
        } else {
            addInsert(row, counter);
        }
        if (m_report.rowsRead % kTickRows == 0) {
            m_sink.detail(counter, total);
            m_sink.pump();
            if (m_sink.cancelRequested()) {
                if (m_flight.valid()) m_flight.wait();
                runStatement(h, "ROLLBACK");
                m_files.endBatch();
                m_report.cancelled = true;
                m_report.rowsWritten = 0;
                m_report.message = copyText(m_job.languageIndex,
                                            "Cancelled after %1 of %2 rows; the rows sent to `%3` were rolled back.")
                                       .arg(m_report.rowsRead)
                                       .arg(total)
                                       .arg(m_target);
                return;
            }
        }
    }
    sendLoad();
    landLoad();
    m_files.endBatch();
    m_inserts->send();
    m_files.endBatch();
    runStatement(h, "COMMIT");
    m_report.rowsWritten = m_loaded + m_inserts->written();
    m_sink.detail(counter, total);
    if (m_report.rowsFailed > 0 && m_report.rowsFailed >= m_report.rowsRead)
        m_report.result = CopyResult::AllRowsFailed;
}

} // namespace

QString mysqlColumnType(const jet::ColumnDef& c, bool jet3) {
    using T = jet::ColumnType;
    switch (c.type) {
    case T::Boolean: return QStringLiteral("TINYINT(1)");
    case T::Byte: return QStringLiteral("TINYINT UNSIGNED");
    case T::Integer: return QStringLiteral("SMALLINT");
    case T::Long: return QStringLiteral("INT");
    case T::Currency: return QStringLiteral("DECIMAL(19,4)");
    case T::Single: return QStringLiteral("FLOAT");
    case T::Double: return QStringLiteral("DOUBLE");
    case T::DateTime: return QStringLiteral("DATETIME");
    case T::Text: {
        const int chars = jet3 ? c.length : c.length / 2;
        return QStringLiteral("VARCHAR(%1)").arg(chars > 0 ? chars : 255);
    }
    case T::Binary: return QStringLiteral("VARBINARY(%1)").arg(c.length > 0 ? c.length : 255);
    case T::Memo: return QStringLiteral("LONGTEXT");
    case T::Guid: return QStringLiteral("CHAR(38)");
    case T::Numeric: return QStringLiteral("DECIMAL(%1,%2)").arg(c.precision ? c.precision : 18).arg(c.scale);
    default: return QStringLiteral("LONGBLOB"); // OLE and the undocumented binary kinds
    }
}

WizardReport AccessToMySqlCopy::run() {
    WizardReport result;
    m_sink.status(LocalizedMessage(msgCheckingDb, m_job.languageIndex));
    m_sink.pump();
    std::shared_ptr<AccessFile> file;
    try {
        file = AccessFile::open(m_job.sourceMdb);
    } catch (const std::exception& e) {
        m_sink.message(QString::fromUtf8(e.what()));
        result.connectionFailed = true;
        return result;
    }
    TZMySqlDatabase server;
    if (const QString problem = connectServer(server, m_job.targetServer, m_job.languageIndex, true);
        !problem.isEmpty()) {
        m_sink.message(problem);
        result.connectionFailed = true;
        return result;
    }
    std::set<qint64> onlyIds;
    for (const QString& line : m_job.troubleshootIds) {
        bool ok = false;
        const qint64 id = line.trimmed().toLongLong(&ok);
        if (ok) onlyIds.insert(id);
    }
    const jet::Database& db = file->database();
    const bool jet3 = db.version() == jet::Version::Jet3;
    bool loadAllowed = true;
    const qint64 n = m_job.tables.size();
    QStringList existing;
    try {
        existing = serverTableNames(server);
    } catch (const EDatabaseError& e) {
        m_sink.message(e.Message());
        result.connectionFailed = true;
        return result;
    }
    for (qint64 t = 0; t < n; ++t) {
        const QString& name = m_job.tables[t];
        m_sink.overall(t + 1, n);
        m_sink.status(copyingStatus(m_job.languageIndex, name));
        m_sink.pump();
        TableCopyReport& report = result.tables.emplace_back();
        report.table = name;
        const QString target = m_job.prefix + name;
        try {
            const auto def = db.table(name.toStdString());
            const QString there = findTableName(existing, target);
            if (m_job.append && !there.isEmpty()) {
                QStringList access;
                for (const jet::ColumnDef& c : def->columns) access << qs(c.name);
                if (serverColumnNames(server, there) != access) {
                    report.result = CopyResult::TypeConflict;
                    report.message = LocalizedMessage(msgStructureMismatch, m_job.languageIndex, name);
                    m_sink.message(report.message);
                    continue;
                }
                TableRun(m_job, m_sink, server, db, def, there, report, loadAllowed).copy(onlyIds);
            } else {
                runStatement(server.Handle(), "DROP TABLE IF EXISTS " + quoted(target));
                const QByteArray create = createStatement(*def, target, jet3);
                m_sink.currentSql(QString::fromUtf8(create));
                runStatement(server.Handle(), create);
                report.created = true;
                TableRun(m_job, m_sink, server, db, def, target, report, loadAllowed).copy(onlyIds);
            }
        } catch (const EDatabaseError& e) {
            mysql_real_query(server.Handle(), "ROLLBACK", 8);
            report.result = CopyResult::NoRemoteDb;
            report.rowsWritten = 0;
            report.message =
                copyText(m_job.languageIndex, "`%1` could not be copied after %2 rows (nothing of it was kept): %3")
                    .arg(target)
                    .arg(report.rowsRead)
                    .arg(e.Message());
            m_sink.error(name + QStringLiteral(": ") + report.message);
        } catch (const std::exception& e) {
            mysql_real_query(server.Handle(), "ROLLBACK", 8);
            report.result = CopyResult::NoLocalDb;
            report.rowsWritten = 0;
            report.message = copyText(m_job.languageIndex, "The Access table [%1] cannot be read: %2")
                                 .arg(name, QString::fromUtf8(e.what()));
            m_sink.error(name + QStringLiteral(": ") + report.message);
        }
        if (report.cancelled) {
            result.cancelled = true;
            break;
        }
    }
    return result;
}

} // namespace tablor::transfer
