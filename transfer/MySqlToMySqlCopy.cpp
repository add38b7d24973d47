// MySqlToMySqlCopy.cpp — server tables copied between two server databases (see MySqlToMySqlCopy.h).
#include "transfer/MySqlToMySqlCopy.h"

#include "transfer/CopyTexts.h"

#include "transfer/ServerTable.h"
#include "transfer/WizardSupport.h"

#include "db/DbError.h"
#include "profiles/localizedmessages.h"

#include <QRegularExpression>

#include <mysql.h>

#include <map>

namespace tablor::transfer {

namespace {

constexpr qint64 kTickRows = 2000;

QByteArray quoted(const QString& name) { return QuoteIdentifier(name).toUtf8(); }

// The source's CREATE TABLE under the target's name; without its foreign keys when asked.
QByteArray targetCreateStatement(TZMySqlDatabase& source, const QString& table, const QString& target,
                                 bool keepForeignKeys) {
    TZMySqlQuery q;
    q.Database = &source;
    q.SQL = QStringList{QStringLiteral("SHOW CREATE TABLE ") + QuoteIdentifier(table)};
    q.Open();
    if (q.RecordCount() == 0) throw EDatabaseError(QStringLiteral("SHOW CREATE TABLE gave nothing"));
    QString sql = q.CellText(0, 1);
    const QString head = QStringLiteral("CREATE TABLE ") + QuoteIdentifier(table);
    if (!sql.startsWith(head)) throw EDatabaseError(QStringLiteral("SHOW CREATE TABLE gave an unexpected statement"));
    sql = QStringLiteral("CREATE TABLE ") + QuoteIdentifier(target) + sql.mid(head.size());
    if (!keepForeignKeys)
        sql.remove(QRegularExpression(QStringLiteral(",\\n\\s*CONSTRAINT [^\\n]*FOREIGN KEY[^\\n]*")));
    return sql.toUtf8();
}

bool binaryField(const MYSQL_FIELD& f) {
    switch (f.type) {
    case MYSQL_TYPE_BIT:
    case MYSQL_TYPE_GEOMETRY: return true;
    case MYSQL_TYPE_STRING:
    case MYSQL_TYPE_VAR_STRING:
    case MYSQL_TYPE_VARCHAR:
    case MYSQL_TYPE_TINY_BLOB:
    case MYSQL_TYPE_MEDIUM_BLOB:
    case MYSQL_TYPE_LONG_BLOB:
    case MYSQL_TYPE_BLOB: return f.charsetnr == 63;
    default: return false;
    }
}

bool generated(const ColumnDescription& c) { return c.Extra.contains(QLatin1String("GENERATED"), Qt::CaseInsensitive); }

struct Stream {
    MYSQL_RES* res = nullptr;
    ~Stream() {
        if (res) mysql_free_result(res);
    }
};

} // namespace

WizardReport MySqlToMySqlCopy::run() {
    WizardReport result;
    const int lang = m_job.languageIndex;
    m_sink.status(LocalizedMessage(msgCheckingDb, lang));
    m_sink.pump();
    TZMySqlDatabase source, target;
    for (auto [server, profile] : {std::pair{&source, &m_job.sourceServer}, std::pair{&target, &m_job.targetServer}}) {
        if (const QString problem = connectServer(*server, *profile, m_job.languageIndex, server == &target);
            !problem.isEmpty()) {
            m_sink.message(problem);
            result.connectionFailed = true;
            return result;
        }
    }
    const WizardServer &s = m_job.sourceServer, &t = m_job.targetServer;
    const bool sameDatabase = s.host == t.host && s.port == t.port && s.database == t.database;
    if (sameDatabase && m_job.prefix.isEmpty()) {
        m_sink.message(copyText(m_job.languageIndex,
                                "Source and target are the same database \"%1\" on %2: give a table prefix or "
                                "another target database.")
                           .arg(s.database, s.host));
        result.connectionFailed = true;
        return result;
    }
    st_mysql* th = target.Handle();
    const qint64 n = m_job.tables.size();
    std::vector<bool> ready(static_cast<size_t>(n), false);
    std::vector<QString> targetNames(static_cast<size_t>(n));
    try {
        // Tables referred to by foreign keys may come later; their rows are checked by nobody.
        runStatement(th, "SET SESSION FOREIGN_KEY_CHECKS = 0");
        const QStringList existing = serverTableNames(target);
        for (qint64 i = 0; i < n; ++i) {
            const QString& name = m_job.tables[i];
            m_sink.detail(i + 1, n);
            m_sink.status(LocalizedMessage(msgCreatingTable, lang) + QLatin1Char(' ') + name);
            m_sink.pump();
            TableCopyReport& report = result.tables.emplace_back();
            report.table = name;
            QString tname = m_job.prefix + name;
            try {
                const QStringList columns = serverColumnNames(source, name);
                const QString there = findTableName(existing, tname);
                if (m_job.append && !there.isEmpty()) {
                    tname = there;
                    if (serverColumnNames(target, there) != columns) {
                        report.result = CopyResult::TypeConflict;
                        report.message = LocalizedMessage(msgStructureMismatch, lang, name);
                        m_sink.message(report.message);
                        continue;
                    }
                } else {
                    runStatement(th, "DROP TABLE IF EXISTS " + quoted(tname));
                    const QByteArray create =
                        targetCreateStatement(source, name, tname, m_job.prefix.isEmpty() && !sameDatabase);
                    m_sink.currentSql(QString::fromUtf8(create));
                    runStatement(th, create);
                    report.created = true;
                }
                ready[size_t(i)] = true;
                targetNames[size_t(i)] = tname;
            } catch (const EDatabaseError& e) {
                if (isConnectionError(e.ErrorCode())) throw;
                report.result = CopyResult::NoRemoteDb;
                report.message =
                    copyText(m_job.languageIndex, "`%1` cannot be created as `%2`: %3").arg(name, tname, e.Message());
                m_sink.error(name + QStringLiteral(": ") + report.message);
            }
        }
    } catch (const EDatabaseError& e) {
        m_sink.message(e.Message());
        result.connectionFailed = true;
        return result;
    }

    qint64 stoppedAt = n;
    for (qint64 i = 0; i < n; ++i) {
        m_sink.overall(i + 1, n);
        if (!ready[size_t(i)]) continue;
        TableCopyReport& report = result.tables[size_t(i)];
        const QString& name = report.table;
        const QString& tname = targetNames[size_t(i)];
        m_sink.status(copyingStatus(lang, name));
        m_sink.pump();
        bool inTransaction = false;
        try {
            ServerTable table(source, name);
            const qint64 total = table.countRows();
            QByteArray select = "SELECT ", head = "INSERT INTO " + quoted(tname) + " (";
            int columns = 0;
            std::vector<int> keyAt;
            std::vector<QString> insertNames;
            for (const ColumnDescription& c : table.columns()) {
                if (generated(c)) continue;
                const QByteArray q = quoted(c.Field);
                if (columns) select += ", ", head += ", ";
                select += MySqlType::parse(c.Type).name == QLatin1String("float") ? "CAST(" + q + " AS DOUBLE)" : q;
                head += q;
                insertNames.push_back(c.Field);
                if (table.keyColumns().contains(c.Field)) keyAt.push_back(columns);
                ++columns;
            }
            head += ") VALUES ";
            select += " FROM " + quoted(name);
            if (!table.keyColumns().isEmpty()) {
                select += " ORDER BY ";
                for (qsizetype k = 0; k < table.keyColumns().size(); ++k)
                    select += (k ? ", " : "") + quoted(table.keyColumns()[k]);
            }
            const bool backslashes = !(th->server_status & SERVER_STATUS_NO_BACKSLASH_ESCAPES);
            InsertBatch batch(th, head, batchBytesFor(th), true);
            std::map<qint64, QString> keyOf; // rows of the batch in hand
            batch.onSend = [&](qint64 first, const QByteArray&) {
                keyOf.erase(keyOf.begin(), keyOf.lower_bound(first));
            };
            batch.onRowFailed = [&](qint64 row, const QString& message, const QByteArray&) {
                ++report.rowsFailed;
                const QString key = keyOf.count(row) ? keyOf[row] : QStringLiteral("#%1").arg(row);
                if (report.errors.size() < TableCopyReport::kMaxRowErrors) report.errors.push_back({key, message});
                m_sink.error(name + QStringLiteral(": ") + key + QStringLiteral(": ") + message);
                m_sink.status(rowErrorStatus(lang, row));
            };
            runStatement(th, "START TRANSACTION");
            inTransaction = true;
            st_mysql* sh = source.Handle();
            if (mysql_real_query(sh, select.constData(), static_cast<unsigned long>(select.size())) != 0)
                throw EDatabaseError(QString::fromUtf8(mysql_error(sh)), mysql_errno(sh));
            Stream stream{mysql_use_result(sh)};
            if (!stream.res) throw EDatabaseError(QString::fromUtf8(mysql_error(sh)), mysql_errno(sh));
            const MYSQL_FIELD* fields = mysql_fetch_fields(stream.res);
            std::vector<bool> binary;
            std::vector<std::pair<QString, bool>> loadColumns;
            for (int c = 0; c < columns; ++c) {
                binary.push_back(binaryField(fields[c]));
                loadColumns.emplace_back(insertNames[size_t(c)], binary.back());
            }
            LoadPipeline loads(th, LoadDataBatch(th, tname, loadColumns), LoadDataBatch(th, tname, loadColumns), batch);
            QByteArray tuple;
            while (MYSQL_ROW row = mysql_fetch_row(stream.res)) {
                const unsigned long* lengths = mysql_fetch_lengths(stream.res);
                ++report.rowsRead;
                tuple = "(";
                for (int c = 0; c < columns; ++c) {
                    if (c) tuple += ',';
                    const QByteArray raw = QByteArray::fromRawData(row[c], qsizetype(lengths[c]));
                    if (!row[c]) tuple += "NULL";
                    else if (binary[size_t(c)]) tuple += (raw.isEmpty() ? "''" : "X'" + raw.toHex() + '\'');
                    else tuple += '\'' + EscapeUtf8ForQuotes(raw, backslashes) + '\'';
                }
                tuple += ')';
                if (!keyAt.empty()) {
                    QStringList parts;
                    for (int k : keyAt)
                        parts << QString::fromUtf8(fields[k].name) + QLatin1Char('=') +
                                     (row[k] ? QString::fromUtf8(row[k], qsizetype(lengths[k]))
                                             : QStringLiteral("NULL"));
                    keyOf[report.rowsRead] = parts.join(QStringLiteral(", "));
                }
                if (!loads.refused()) {
                    LoadDataBatch& load = loads.filling();
                    for (int c = 0; c < columns; ++c) load.appendField(row[c], lengths[c]);
                    load.endRow();
                    loads.rowDone(tuple, report.rowsRead);
                } else {
                    batch.add(tuple, report.rowsRead);
                }
                if (report.rowsRead % kTickRows == 0) {
                    if (!loads.refused()) keyOf.erase(keyOf.begin(), keyOf.lower_bound(loads.firstUnsettled()));
                    m_sink.detail(report.rowsRead, total);
                    m_sink.pump();
                    if (m_sink.cancelRequested()) {
                        try {
                            loads.land();
                            batch.land();
                        } catch (const EDatabaseError&) {}
                        runStatement(th, "ROLLBACK");
                        report.cancelled = true;
                        report.rowsWritten = 0;
                        report.message =
                            copyText(m_job.languageIndex, "Cancelled after %1 of %2 rows; the rows sent to `%3` were "
                                                          "rolled back.")
                                .arg(report.rowsRead)
                                .arg(total)
                                .arg(tname);
                        break;
                    }
                }
            }
            if (report.cancelled) {
                result.cancelled = true;
                stoppedAt = i;
                break;
            }
            if (mysql_errno(sh) != 0)
                throw EDatabaseError(QStringLiteral("the source stopped sending rows: ") +
                                         QString::fromUtf8(mysql_error(sh)),
                                     mysql_errno(sh));
            loads.send();
            loads.land();
            batch.send();
            batch.land();
            runStatement(th, "COMMIT");
            inTransaction = false;
            report.rowsWritten = loads.loaded() + batch.written();
            m_sink.detail(report.rowsRead, total);
            if (report.rowsFailed > 0 && report.rowsFailed >= report.rowsRead)
                report.result = CopyResult::AllRowsFailed;
        } catch (const EDatabaseError& e) {
            if (inTransaction) mysql_real_query(th, "ROLLBACK", 8);
            report.result = CopyResult::NoRemoteDb;
            report.rowsWritten = 0;
            report.message =
                copyText(m_job.languageIndex, "`%1` could not be copied after %2 rows (nothing of it was kept): %3")
                    .arg(tname)
                    .arg(report.rowsRead)
                    .arg(e.Message());
            m_sink.error(name + QStringLiteral(": ") + report.message);
        }
    }
    for (qint64 i = stoppedAt + 1; i < n; ++i) {
        if (!ready[size_t(i)]) continue;
        TableCopyReport& r = result.tables[size_t(i)];
        r.cancelled = true;
        r.message = r.created ? copyText(m_job.languageIndex,
                                         "Not copied: cancelled before this table; `%1` was created empty.")
                                    .arg(targetNames[size_t(i)])
                              : copyText(m_job.languageIndex, "Not copied: cancelled before this table.");
    }
    return result;
}

} // namespace tablor::transfer
