// UploadDryRun.cpp — counting what an upload would do (see UploadDryRun.h).
#include "transfer/UploadDryRun.h"

#include "transfer/ServerTable.h"

#include "db/AccessFile.h"
#include "db/DbError.h"
#include "db/ServerLogin.h"

#include "jet/database.h"
#include "jet/writer.h"

#include <mysql.h>

#include <unordered_map>

namespace tablor::transfer {

namespace {

bool bytesColumn(jet::ColumnType t) {
    return t == jet::ColumnType::Binary || t == jet::ColumnType::Ole || t == jet::ColumnType::Unknown0D ||
           t == jet::ColumnType::Unknown11;
}

// A value as the upload would leave it on the server, in the Access column's kind: so that
// the server's text and the Access value compare equal when the upload would change nothing.
std::string canonical(const jet::ColumnDef& c, const char* text, unsigned long size) {
    if (!text) return std::string("\x01NULL", 5);
    const std::string s(text, size);
    if (c.type == jet::ColumnType::Text || c.type == jet::ColumnType::Memo) return s;
    try {
        const jet::Value v = jet::valueFromText(c, s);
        return v.isNull() ? std::string() : v.toString();
    } catch (const std::exception&) {
        return "\x02" + s; // not a value of the Access kind: differs from every Access value
    }
}

std::string canonical(const jet::Value& v) { return v.isNull() ? std::string("\x01NULL", 5) : v.toString(); }

void countTable(TZMySqlDatabase& server, const AccessFile& file, bool overwrite, DryRunCounts& counts) {
    ServerTable target(server, counts.table);
    QStringList keys = target.keyColumns();
    if (keys.isEmpty())
        for (const ColumnDescription& d : target.columns())
            if (d.Key == QLatin1String("UNI")) keys = QStringList{d.Field};
    const auto def = file.database().table(counts.table.toStdString());
    if (def->columns.size() != target.columns().size()) {
        counts.problem = QStringLiteral("the Access table has %1 columns, the server table %2")
                             .arg(def->columns.size())
                             .arg(target.columns().size());
        return;
    }
    for (size_t i = 0; i < def->columns.size(); ++i)
        if (QString::fromStdString(def->columns[i].name) != target.columns()[i].Field) {
            counts.problem = QStringLiteral("column %1 is [%2] in the Access table, `%3` on the server")
                                 .arg(i + 1)
                                 .arg(QString::fromStdString(def->columns[i].name), target.columns()[i].Field);
            return;
        }
    if (keys.isEmpty()) {
        counts.problem = QStringLiteral("`%1` has neither a primary key nor a unique column").arg(counts.table);
        return;
    }
    if (overwrite) {
        counts.removed = target.countRows();
        counts.inserted = static_cast<qint64>(file.database().countRows(*def));
        return;
    }
    std::vector<size_t> keyAt;
    for (const QString& k : keys) keyAt.push_back(static_cast<size_t>(def->findColumn(k.toStdString())));
    // The server's rows: key text to a hash of the whole row.
    QByteArray select = "SELECT ";
    for (size_t i = 0; i < def->columns.size(); ++i) {
        const QByteArray q = QuoteIdentifier(QString::fromStdString(def->columns[i].name)).toUtf8();
        select += (i ? ", " : "") + (def->columns[i].type == jet::ColumnType::Single ? "CAST(" + q + " AS DOUBLE)"
                                     : bytesColumn(def->columns[i].type)             ? "HEX(" + q + ")"
                                                                                     : q);
    }
    select += " FROM " + QuoteIdentifier(counts.table).toUtf8();
    st_mysql* h = server.Handle();
    if (mysql_real_query(h, select.constData(), static_cast<unsigned long>(select.size())) != 0)
        throw EDatabaseError(QString::fromUtf8(mysql_error(h)), mysql_errno(h));
    std::unordered_map<std::string, size_t> rows;
    {
        MYSQL_RES* res = mysql_use_result(h);
        if (!res) throw EDatabaseError(QString::fromUtf8(mysql_error(h)), mysql_errno(h));
        std::vector<std::string> values(def->columns.size());
        while (MYSQL_ROW row = mysql_fetch_row(res)) {
            const unsigned long* len = mysql_fetch_lengths(res);
            std::string all, key;
            for (size_t i = 0; i < values.size(); ++i) {
                values[i] = canonical(def->columns[i], row[i], len[i]);
                all += values[i] + '\0';
            }
            for (size_t k : keyAt) key += values[k] + '\0';
            rows.emplace(std::move(key), std::hash<std::string>{}(all));
        }
        mysql_free_result(res);
    }
    auto cursor = file.database().scan(def);
    while (cursor.next()) {
        std::string all, key;
        const auto& v = cursor.values();
        for (size_t i = 0; i < v.size(); ++i) all += canonical(v[i]) + '\0';
        for (size_t k : keyAt) key += canonical(v[k]) + '\0';
        const auto it = rows.find(key);
        if (it == rows.end()) ++counts.inserted;
        else if (it->second == std::hash<std::string>{}(all)) ++counts.unchanged;
        else ++counts.updated;
    }
}

} // namespace

std::vector<DryRunCounts> uploadDryRun(const UploadOptions& options, const QStringList& tables) {
    std::vector<DryRunCounts> result;
    TZMySqlDatabase server;
    setServerLogin(server, {.host = options.host,
                            .port = options.port,
                            .user = options.user,
                            .password = options.password,
                            .database = options.database});
    QString failure;
    std::shared_ptr<AccessFile> file;
    try {
        server.Connect();
        file = AccessFile::open(options.mdbPath);
    } catch (const std::exception& e) {
        failure = QString::fromUtf8(e.what());
    }
    for (const QString& t : tables) {
        DryRunCounts& counts = result.emplace_back();
        counts.table = UnquoteIdentifier(t);
        if (!failure.isEmpty()) {
            counts.problem = failure;
            continue;
        }
        try {
            countTable(server, *file, options.overwrite, counts);
        } catch (const std::exception& e) {
            counts.problem = QString::fromUtf8(e.what());
        }
    }
    return result;
}

} // namespace tablor::transfer
