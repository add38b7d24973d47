// LoadDataBatch.h — a batch of Access rows sent to a server table as one LOAD DATA LOCAL
// statement, the server's fastest way in. The rows are written in the statement's default
// text form (tab between fields, a backslash escape, \N for NULL) into memory and handed to
// the client library by an infile handler of our own, which serves that buffer and nothing
// else: whatever file name a server asks for, no file is ever read.
//
// LOAD DATA LOCAL turns what would be errors into warnings (the server cannot stop the
// client's data half-way): a batch that raised a warning may have been stored with values
// changed or rows skipped, so the caller undoes it (a savepoint) and sends its rows again as
// INSERTs, which refuse exactly the failing rows.
#pragma once

#include "jet/schema.h"
#include "jet/value.h"

#include <QByteArray>
#include <QString>

#include <span>
#include <utility>
#include <vector>

struct st_mysql;

namespace tablor::transfer {

// Installs a handler that refuses every LOAD DATA LOCAL request: for a connection made with
// AllowLocalInfile, right after connecting, so that between batches a server asking for a
// file gets nothing.
void refuseLocalInfile(st_mysql* connection);

class LoadDataBatch {
public:
    // The server table has the Access table's column names (the upload checks that).
    LoadDataBatch(st_mysql* connection, const QString& table, const jet::TableDef& def);

    // Columns given by name, each text (false) or bytes (true), for rows of the server's own
    // text form (appendField).
    LoadDataBatch(st_mysql* connection, const QString& table, const std::vector<std::pair<QString, bool>>& columns);

    // Adds a row; std::invalid_argument for a value MySQL cannot hold (the row is not added).
    void append(std::span<const jet::Value> row);
    // Adds the fields of a row one by one (nullptr: NULL), then ends it.
    void appendField(const char* data, size_t size);
    void endRow();
    qsizetype bytes() const { return m_data.size(); }
    qsizetype rows() const { return m_rows; }
    // The statement and the rows in its text form, as sent (for a troubleshooting file).
    const QByteArray& statement() const { return m_statement; }
    const QByteArray& data() const { return m_data; }
    bool empty() const { return m_rows == 0; }
    void clear();

    enum class Outcome {
        Stored,  // every row stored as sent
        Warned,  // stored with warnings: values may differ from those sent; undo it
        Refused, // the server or the client library does not allow LOAD DATA LOCAL
    };
    // Sends the rows; throws EDatabaseError for any other failure (the statement is undone).
    Outcome send();

private:
    void init(const QString& table, const std::vector<std::pair<QString, bool>>& columns);

    st_mysql* m_connection;
    QByteArray m_statement;
    std::vector<jet::ColumnType> m_types;
    std::vector<bool> m_binary;
    size_t m_field = 0; // of the row being appended field by field
    QByteArray m_data;
    qsizetype m_rows = 0;
};

} // namespace tablor::transfer
