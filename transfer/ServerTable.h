// ServerTable.h — what a copy reads of one MySQL table: its column descriptions (DESCRIBE),
// the columns of its primary key in key order (SHOW INDEX), its row count, and its rows as a
// stream (mysql_use_result), so that memory stays flat however large the table is.
//
// Ownership: a ServerTable does not own the connection; it must stay open while the object
// lives. While a RowStream is open the connection carries its rows and runs nothing else.
#pragma once

#include "transfer/CopyResult.h"
#include "transfer/TypeMap.h"

#include "db/ZMySql.h"

#include <QString>

#include <cstddef>
#include <memory>
#include <vector>

struct st_mysql_res;

namespace tablor::transfer {

class ServerTable {
public:
    // `name` with or without backquotes. Throws EDatabaseError when DESCRIBE fails (no such
    // table, no right to read it).
    ServerTable(TZMySqlDatabase& server, const QString& name);

    const QString& name() const { return m_name; } // without backquotes
    const std::vector<ColumnDescription>& columns() const { return m_columns; }
    const QStringList& keyColumns() const { return m_key; } // empty without a primary key
    qint64 countRows() const;

    // The rows of `plan`'s columns, in that order. Float columns come as CAST(... AS DOUBLE):
    // the text form of a FLOAT has six digits, that of a DOUBLE every digit of the float.
    class RowStream {
    public:
        RowStream(TZMySqlDatabase& server, const QString& table, const std::vector<ColumnPlan>& columns);
        ~RowStream();
        RowStream(const RowStream&) = delete;
        RowStream& operator=(const RowStream&) = delete;
        // The next row; false at the end. Throws EDatabaseError when the server stops sending
        // (a lost connection, a killed server).
        bool next();
        // Column i of the current row: nullptr for NULL.
        const char* data(size_t i) const { return m_row[i]; }
        size_t size(size_t i) const { return m_lengths[i]; }

    private:
        TZMySqlDatabase& m_server;
        st_mysql_res* m_res = nullptr;
        char** m_row = nullptr;
        unsigned long* m_lengths = nullptr;
    };

private:
    TZMySqlDatabase& m_server;
    QString m_name;
    std::vector<ColumnDescription> m_columns;
    QStringList m_key;
};

// The server table `name`, or nothing with `report` saying why it cannot be read.
std::unique_ptr<ServerTable> openServerTable(TZMySqlDatabase& server, const QString& name, TableCopyReport& report);

} // namespace tablor::transfer
