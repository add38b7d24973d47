// UploadCopy.cpp — Access tables onto the server (see UploadCopy.h).
#include "transfer/UploadCopy.h"

#include "transfer/CopyTexts.h"

#include "transfer/CopyOrder.h"
#include "transfer/JetToMySql.h"
#include "transfer/LoadDataBatch.h"
#include "transfer/ServerTable.h"

#include "db/AccessFile.h"
#include "db/DbError.h"
#include "db/ServerLogin.h"

#include "jet/database.h"

#include <QFileInfo>

#include <mysql.h>

#include <cmath>
#include <future>

namespace tablor::transfer {

namespace {

constexpr qint64 kProgressRows = 2000;
constexpr qsizetype kLoadDataBatchBytes = 8 << 20;

// The client library's own errors (CR_MIN_ERROR .. CR_MAX_ERROR): the connection, not the row.
bool connectionLost(const EDatabaseError& e) { return e.ErrorCode() >= 2000 && e.ErrorCode() < 3000; }

int percentOf(qint64 rows, qint64 total) {
    if (total <= 0) return 100;
    return static_cast<int>(std::nearbyint(std::min<double>(100.0, rows * 100.0 / static_cast<double>(total))));
}

QByteArray quoted(const QString& name) { return QuoteIdentifier(name).toUtf8(); }

// Engines that keep changes made before a failure whatever the transaction says.
bool rollsBack(TZMySqlDatabase& server, const QString& table) {
    TZMySqlQuery q;
    q.Database = &server;
    q.SQL = QStringList{QStringLiteral("SELECT ENGINE FROM information_schema.TABLES WHERE TABLE_SCHEMA = DATABASE() "
                                       "AND TABLE_NAME = '%1'")
                            .arg(QString::fromUtf8(server.EscapeString(table.toUtf8())))};
    q.Open();
    const QString engine = q.RecordCount() > 0 ? q.CellText(0, 0).toLower() : QString();
    return engine == QLatin1String("innodb") || engine.isEmpty();
}

} // namespace

UploadCopy::UploadCopy(UploadOptions options) : m_options(std::move(options)) {}

UploadCopy::~UploadCopy() = default;

bool UploadCopy::connect(TableCopyReport& report) {
    if (m_server.Connected()) return true;
    setServerLogin(m_server, {.host = m_options.host,
                              .port = m_options.port,
                              .user = m_options.user,
                              .password = m_options.password,
                              .database = m_options.database});
    m_server.AllowLocalInfile = true; // the rows of a batch, through our own handler only
    try {
        m_server.Connect();
        refuseLocalInfile(m_server.Handle());
        return true;
    } catch (const EDatabaseError& e) {
        report.result = CopyResult::NoConnection;
        report.message = copyText(m_options.languageIndex, "The connection to %1:%2 failed: %3")
                             .arg(m_options.host, m_options.port, e.Message());
        return false;
    }
}

bool UploadCopy::prepare(TargetTable& plan, TableCopyReport& report) {
    const QString& name = report.table;
    std::unique_ptr<ServerTable> target = openServerTable(m_server, name, report);
    if (!target) return false;
    // The whole primary key; without one a unique column.
    QStringList keys = target->keyColumns();
    if (keys.isEmpty())
        for (const ColumnDescription& d : target->columns())
            if (d.Key == QLatin1String("UNI")) keys = QStringList{d.Field};
    if (keys.isEmpty()) {
        report.result = CopyResult::NoPrimaryKey;
        report.message =
            copyText(m_options.languageIndex, "`%1` has neither a primary key nor a unique column.").arg(name);
        return false;
    }
    try {
        if (!m_file) {
            if (!QFileInfo::exists(m_options.mdbPath))
                throw EDatabaseError(copyText(m_options.languageIndex, "the file does not exist"));
            m_file = AccessFile::open(m_options.mdbPath);
        }
        const auto def = m_file->database().table(name.toStdString());
        QStringList problems;
        if (def->columns.size() != target->columns().size())
            problems << copyText(m_options.languageIndex, "the Access table has %1 columns, the server table %2")
                            .arg(def->columns.size())
                            .arg(target->columns().size());
        for (size_t i = 0; i < def->columns.size() && i < target->columns().size(); ++i)
            if (QString::fromStdString(def->columns[i].name) != target->columns()[i].Field)
                problems << copyText(m_options.languageIndex,
                                     "column %1 is [%2] in the Access table, `%3` on the server")
                                .arg(i + 1)
                                .arg(QString::fromStdString(def->columns[i].name), target->columns()[i].Field);
        if (!problems.isEmpty()) {
            report.result = CopyResult::TypeConflict;
            report.message = copyText(m_options.languageIndex, "The tables differ: %1. Nothing was copied.")
                                 .arg(problems.join(QStringLiteral("; ")));
            return false;
        }
    } catch (const std::exception& e) {
        report.result = CopyResult::NoLocalDb;
        report.message = copyText(m_options.languageIndex, "The Access table [%1] of \"%2\" cannot be read: %3")
                             .arg(name, m_options.mdbPath, QString::fromUtf8(e.what()));
        return false;
    }
    plan = {name, keys, rollsBack(m_server, name)};
    return true;
}

TableCopyReport UploadCopy::CopyToServer(const QString& table) { return CopyToServer(QStringList{table}).front(); }

std::vector<TableCopyReport> UploadCopy::CopyToServer(const QStringList& tables) {
    std::vector<TableCopyReport> reports;
    QStringList names;
    for (const QString& t : tables) names << UnquoteIdentifier(t);
    TableCopyReport connection;
    if (!connect(connection)) {
        for (const QString& name : names) reports.push_back(connection), reports.back().table = name;
        return reports;
    }
    try {
        names = parentsFirst(names, serverForeignKeys(m_server));
    } catch (const EDatabaseError&) {
        // Without the server's foreign keys the tables go in the order given.
    }
    std::vector<TargetTable> plans;
    std::vector<size_t> reportOf; // per plan
    for (const QString& name : names) {
        TableCopyReport report;
        report.table = name;
        TargetTable plan;
        if (prepare(plan, report)) plans.push_back(plan), reportOf.push_back(reports.size());
        reports.push_back(report);
    }
    if (plans.empty()) return reports;

    // One transaction for all of them: children emptied before their parents, parents filled
    // before their children, and a failure anywhere leaves every table as it was.
    st_mysql* h = m_server.Handle();
    auto run = [&](const QByteArray& sql) {
        if (mysql_real_query(h, sql.constData(), static_cast<unsigned long>(sql.size())) != 0)
            throw EDatabaseError(QString::fromUtf8(mysql_error(h)), mysql_errno(h));
    };
    size_t current = 0;
    try {
        run("START TRANSACTION");
        if (m_options.overwrite)
            for (size_t i = plans.size(); i-- > 0;) {
                current = i;
                run("DELETE FROM " + quoted(plans[i].table));
            }
        for (current = 0; current < plans.size(); ++current) {
            TableCopyReport& report = reports[reportOf[current]];
            copyRows(plans[current], report);
            if (report.cancelled) break;
        }
        if (current == plans.size()) run("COMMIT");
        else mysql_real_query(h, "ROLLBACK", 8);
    } catch (const std::exception& e) {
        mysql_real_query(h, "ROLLBACK", 8); // fails harmlessly when the connection is gone
        TableCopyReport& report = reports[reportOf[current]];
        report.result = CopyResult::NoRemoteDb;
        const QString why = QString::fromUtf8(e.what());
        report.message =
            copyText(m_options.languageIndex, "The upload of `%1` failed after %2 rows: %3. The server table %4")
                .arg(plans[current].table)
                .arg(report.rowsRead)
                .arg(why.endsWith(QLatin1Char('.')) ? why.chopped(1) : why,
                     plans[current].transactional
                         ? copyText(m_options.languageIndex, "is as it was before.")
                         : copyText(m_options.languageIndex,
                                    "may be half emptied and half filled: its engine cannot roll "
                                    "back."));
        m_server.Disconnect();
    }
    if (current < plans.size()) {
        // Undone with the table that failed or was cancelled: the others say so too.
        const QString& stopped = plans[current].table;
        for (size_t i = 0; i < plans.size(); ++i) {
            TableCopyReport& report = reports[reportOf[i]];
            report.rowsWritten = 0;
            if (i == current) continue;
            report.result = CopyResult::NoRemoteDb;
            report.message = plans[i].transactional
                                 ? copyText(m_options.languageIndex,
                                            "The server table `%1` is as it was before: it was copied in one "
                                            "transaction with `%2`, whose upload did not finish.")
                                       .arg(plans[i].table, stopped)
                                 : copyText(m_options.languageIndex,
                                            "The upload of `%2` did not finish; `%1` keeps what was sent (its "
                                            "engine cannot roll back).")
                                       .arg(plans[i].table, stopped);
        }
    }
    for (size_t i = 0; i < plans.size(); ++i) {
        TableCopyReport& report = reports[reportOf[i]];
        if (i <= current || current == plans.size())
            if (OnAfterDbCopy) OnAfterDbCopy(report.table, report.rowsFailed);
        if (report.result == CopyResult::Copied && report.rowsFailed > 0 && report.rowsFailed >= report.rowsRead)
            report.result = CopyResult::AllRowsFailed;
    }
    return reports;
}

void UploadCopy::copyRows(const TargetTable& plan, TableCopyReport& report) {
    const QString& table = plan.table;
    const QStringList& keys = plan.keys;
    const bool transactional = plan.transactional;
    st_mysql* h = m_server.Handle();
    auto run = [&](const QByteArray& sql) {
        if (mysql_real_query(h, sql.constData(), static_cast<unsigned long>(sql.size())) != 0)
            throw EDatabaseError(QString::fromUtf8(mysql_error(h)), mysql_errno(h));
        if (MYSQL_RES* r = mysql_store_result(h)) mysql_free_result(r);
    };
    // Escaped without the client library, which would read the connection while a batch is in
    // flight on it (the connection's character set is utf8mb4).
    const bool backslashes = !(h->server_status & SERVER_STATUS_NO_BACKSLASH_ESCAPES);
    auto escape = [backslashes](const QByteArray& raw) { return EscapeUtf8ForQuotes(raw, backslashes); };
    const auto def = m_file->database().table(table.toStdString());
    const jet::Database& db = m_file->database();
    const qint64 total = static_cast<qint64>(db.countRows(*def));

    QByteArray head = "INSERT INTO " + quoted(table) + " (";
    for (size_t i = 0; i < def->columns.size(); ++i)
        head += (i ? ", " : "") + quoted(QString::fromStdString(def->columns[i].name));
    head += ") VALUES ";
    QByteArray tail;
    if (!m_options.overwrite) {
        // Matched on the key: a row whose key is there replaces that row's values.
        tail = " ON DUPLICATE KEY UPDATE ";
        for (size_t i = 0; i < def->columns.size(); ++i) {
            const QByteArray c = quoted(QString::fromStdString(def->columns[i].name));
            tail += (i ? ", " : "") + c + " = VALUES(" + c + ")";
        }
    }
    std::vector<int> keyColumns;
    for (const QString& k : keys) keyColumns.push_back(def->findColumn(k.toStdString()));

    qint64 packet = 4 << 20;
    {
        TZMySqlQuery q;
        q.Database = &m_server;
        q.SQL = QStringList{QStringLiteral("SELECT @@max_allowed_packet")};
        q.Open();
        packet = std::clamp<qint64>(q.CellText(0, 0).toLongLong() / 2, 64 << 10, 16 << 20);
    }

    struct Pending {
        QByteArray tuple;
        std::vector<jet::Value> key; // for the message when the row fails
    };
    std::vector<Pending> batch;
    qint64 batchBytes = 0;
    auto keyOf = [&](const std::vector<jet::Value>& row) {
        std::vector<jet::Value> key;
        for (int k : keyColumns) key.push_back(k >= 0 ? row[size_t(k)] : jet::Value());
        return key;
    };
    auto keyText = [&](const std::vector<jet::Value>& key) {
        QStringList parts;
        for (size_t k = 0; k < key.size(); ++k)
            parts << keys[qsizetype(k)] + QLatin1Char('=') + QString::fromStdString(key[k].toString());
        return parts.join(QStringLiteral(", "));
    };
    auto fail = [&](const std::vector<jet::Value>& key, const QString& message) {
        ++report.rowsFailed;
        if (report.errors.size() < TableCopyReport::kMaxRowErrors) report.errors.push_back({keyText(key), message});
    };
    // A batch of INSERTs runs on the connection in a worker while the next one is read; the
    // connection is the worker's while insertFlight is valid.
    std::vector<Pending> flyingInserts;
    std::future<void> insertFlight;
    auto landInsert = [&] {
        if (!insertFlight.valid()) return;
        try {
            insertFlight.get();
            report.rowsWritten += static_cast<qint64>(flyingInserts.size());
        } catch (const EDatabaseError& e) {
            if (connectionLost(e)) throw;
            // The statement was undone as a whole: each row on its own tells which ones fail.
            for (const Pending& p : flyingInserts) {
                try {
                    run(head + p.tuple + tail);
                    ++report.rowsWritten;
                } catch (const EDatabaseError& rowError) {
                    if (connectionLost(rowError)) throw;
                    fail(p.key, rowError.Message());
                }
            }
        }
        flyingInserts.clear();
    };
    auto sendBatch = [&] {
        landInsert();
        if (batch.empty()) return;
        QByteArray sql = head;
        for (size_t i = 0; i < batch.size(); ++i) sql += (i ? "," : "") + batch[i].tuple;
        sql += tail;
        flyingInserts = std::move(batch);
        batch.clear();
        batchBytes = 0;
        insertFlight = std::async(std::launch::async, [&run, sql = std::move(sql)] { run(sql); });
    };
    // Adds a row to the INSERT batch, sending the batch first when the row would not fit.
    auto addInsert = [&](const std::vector<jet::Value>& row) {
        QByteArray tuple = "(";
        try {
            for (size_t i = 0; i < row.size(); ++i) {
                if (i) tuple += ',';
                appendMySqlLiteral(tuple, row[i], escape);
            }
            tuple += ')';
        } catch (const std::exception& e) {
            fail(keyOf(row), QString::fromUtf8(e.what()));
            return;
        }
        if (batchBytes + tuple.size() + head.size() + tail.size() > packet) sendBatch();
        batchBytes += tuple.size() + 1;
        batch.push_back({std::move(tuple), keyOf(row)});
    };

    // Into an emptied table of an engine that rolls back, rows go as LOAD DATA LOCAL batches;
    // a batch the server stored with a warning is undone and its rows go again as INSERTs.
    // While the server stores one batch, the next is read from the Access file.
    bool viaLoadData = m_options.overwrite && transactional && m_loadDataAllowed;
    LoadDataBatch loads[2] = {{h, table, *def}, {h, table, *def}};
    std::vector<std::vector<jet::Value>> loadRows[2];
    int filling = 0, flying = 0;
    std::future<LoadDataBatch::Outcome> inFlight; // the connection is its own while valid
    auto land = [&] {
        if (!inFlight.valid()) return;
        LoadDataBatch::Outcome outcome = LoadDataBatch::Outcome::Warned;
        try {
            outcome = inFlight.get();
        } catch (const EDatabaseError& e) {
            if (connectionLost(e)) throw;
        }
        if (outcome == LoadDataBatch::Outcome::Stored) {
            report.rowsWritten += static_cast<qint64>(loadRows[flying].size());
        } else {
            run("ROLLBACK TO SAVEPOINT tablor_batch");
            if (outcome == LoadDataBatch::Outcome::Refused) viaLoadData = m_loadDataAllowed = false;
            for (const auto& row : loadRows[flying]) addInsert(row);
            sendBatch();
        }
        loads[flying].clear();
        loadRows[flying].clear();
    };
    auto sendLoad = [&] {
        land();
        if (loads[filling].empty()) return;
        if (!viaLoadData) { // refused by the batch before
            for (const auto& row : loadRows[filling]) addInsert(row);
            loads[filling].clear();
            loadRows[filling].clear();
            return;
        }
        landInsert();
        run("SAVEPOINT tablor_batch");
        flying = filling;
        filling ^= 1;
        inFlight = std::async(std::launch::async, [batch = &loads[flying]] { return batch->send(); });
    };

    // Whatever ends this table (the server, the file, a cancel), the connection is free again
    // before the caller rolls back.
    struct Landing {
        std::future<LoadDataBatch::Outcome>& load;
        std::future<void>& inserts;
        ~Landing() {
            if (load.valid()) load.wait();
            if (inserts.valid()) inserts.wait();
        }
    } landing{inFlight, insertFlight};
    {
        auto cursor = db.scan(def);
        while (cursor.next()) {
            const auto& row = cursor.values();
            ++report.rowsRead;
            if (!viaLoadData) {
                addInsert(row);
            } else {
                try {
                    loads[filling].append(row);
                    loadRows[filling].push_back(row);
                } catch (const std::exception& e) {
                    fail(keyOf(row), QString::fromUtf8(e.what()));
                }
                if (loads[filling].bytes() >= kLoadDataBatchBytes) sendLoad();
            }
            if (report.rowsRead % kProgressRows == 0) {
                if (OnCopyProgress) OnCopyProgress(table, percentOf(report.rowsRead, total), report.rowsRead, total);
                if (cancel && cancel->load()) {
                    if (inFlight.valid()) inFlight.wait();
                    if (insertFlight.valid()) insertFlight.wait();
                    report.cancelled = true;
                    report.message =
                        copyText(m_options.languageIndex, "Cancelled after %1 of %2 rows; the server table `%3` %4")
                            .arg(report.rowsRead)
                            .arg(total)
                            .arg(table, transactional
                                            ? copyText(m_options.languageIndex, "is as it was before.")
                                            : copyText(m_options.languageIndex, "keeps the rows sent so far (its "
                                                                                "engine cannot roll back)."));
                    return;
                }
            }
        }
        sendLoad();
        land();
        sendBatch();
        landInsert();
        if (OnCopyProgress) OnCopyProgress(table, 100, report.rowsRead, total);
    }
}

} // namespace tablor::transfer
