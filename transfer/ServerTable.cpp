// ServerTable.cpp — column descriptions, key and streamed rows of a server table.
#include "transfer/ServerTable.h"

#include "db/DbError.h"

#include <mysql.h>

namespace tablor::transfer {

namespace {

[[noreturn]] void serverFailed(st_mysql* h, const QString& what) {
    throw EDatabaseError(what + QStringLiteral(": ") + QString::fromUtf8(mysql_error(h)), mysql_errno(h));
}

} // namespace

ServerTable::ServerTable(TZMySqlDatabase& server, const QString& name)
    : m_server(server), m_name(UnquoteIdentifier(name)) {
    if (!server.Connected()) throw EDatabaseError(QStringLiteral("the MySQL connection is not open"));
    TZMySqlQuery describe;
    describe.Database = &server;
    describe.SQL = QStringList{QStringLiteral("DESCRIBE ") + QuoteIdentifier(m_name)};
    describe.Open();
    for (int r = 0; r < describe.RecordCount(); ++r) {
        ColumnDescription d;
        d.Field = describe.CellText(r, 0);
        d.Type = describe.CellText(r, 1);
        d.Null = describe.CellText(r, 2);
        d.Key = describe.CellText(r, 3);
        d.Default = describe.CellText(r, 4);
        d.Extra = describe.CellText(r, 5);
        m_columns.push_back(d);
    }
    TZMySqlQuery keys;
    keys.Database = &server;
    keys.SQL = QStringList{QStringLiteral("SHOW INDEX FROM ") + QuoteIdentifier(m_name) +
                           QStringLiteral(" WHERE Key_name = 'PRIMARY'")};
    keys.Open();
    // Table, Non_unique, Key_name, Seq_in_index, Column_name: rows in key order.
    for (int r = 0; r < keys.RecordCount(); ++r) m_key << keys.CellText(r, 4);
}

qint64 ServerTable::countRows() const {
    TZMySqlQuery count;
    count.Database = &m_server;
    count.SQL = QStringList{QStringLiteral("SELECT COUNT(*) FROM ") + QuoteIdentifier(m_name)};
    count.Open();
    return count.RecordCount() > 0 ? count.CellText(0, 0).toLongLong() : 0;
}

ServerTable::RowStream::RowStream(TZMySqlDatabase& server, const QString& table, const std::vector<ColumnPlan>& columns)
    : m_server(server) {
    QString sql = QStringLiteral("SELECT ");
    for (size_t i = 0; i < columns.size(); ++i) {
        const QString column = QuoteIdentifier(columns[i].sourceName);
        if (i > 0) sql += QStringLiteral(", ");
        sql += columns[i].mysqlType.name == QLatin1String("float") ? QStringLiteral("CAST(%1 AS DOUBLE)").arg(column)
                                                                   : column;
    }
    sql += QStringLiteral(" FROM ") + QuoteIdentifier(table);
    st_mysql* h = server.Handle();
    if (!h) throw EDatabaseError(QStringLiteral("the MySQL connection is not open"));
    const QByteArray bytes = sql.toUtf8();
    if (mysql_real_query(h, bytes.constData(), static_cast<unsigned long>(bytes.size())) != 0)
        serverFailed(h, QStringLiteral("reading the rows of `%1` failed").arg(table));
    m_res = mysql_use_result(h);
    if (!m_res) serverFailed(h, QStringLiteral("reading the rows of `%1` failed").arg(table));
}

ServerTable::RowStream::~RowStream() {
    // Reads and drops the rows not fetched, so the connection can run the next statement.
    if (m_res) mysql_free_result(m_res);
}

bool ServerTable::RowStream::next() {
    m_row = mysql_fetch_row(m_res);
    if (!m_row) {
        st_mysql* h = m_server.Handle();
        if (mysql_errno(h) != 0) serverFailed(h, QStringLiteral("The server stopped sending rows"));
        return false;
    }
    m_lengths = mysql_fetch_lengths(m_res);
    return true;
}

std::unique_ptr<ServerTable> openServerTable(TZMySqlDatabase& server, const QString& name, TableCopyReport& report) {
    try {
        return std::make_unique<ServerTable>(server, name);
    } catch (const EDatabaseError& e) {
        report.result = CopyResult::NoRemoteDb;
        report.message = QStringLiteral("The server table `%1` cannot be read: %2").arg(name, e.Message());
        return nullptr;
    }
}

} // namespace tablor::transfer
