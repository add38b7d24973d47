// ADODB.h — the Access side of the data-access layer, with the names the windows use:
// TADOConnection (cnLocal: a connection string, connect/disconnect and their events, the
// list of tables), TADOTable (tblLocal: one table browsed and edited through the engine)
// and TADOQuery / TMyQuery (a Jet SQL statement and its rows). The tables and queries are
// TDataSets, so the grid, the record commands, the search and the copy routines treat them
// like the MySQL side.
//
// Tables are opened lazily: Open lists where the rows are (without decoding them) and a row
// is decoded when it is first read, so the first rows of a large table show at once.
//
// Ownership: a data set does not own its connection, which must outlive it or be detached;
// closing a connection closes the data sets attached to it.
#pragma once

#include "db/DataSet.h"

#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

namespace jet::sql {
class Connection;
}

namespace tablor {

class AccessFile;
class TADOConnection;
class TCustomADODataSet;

using TADOConnectionEvent = std::function<void(TADOConnection* Sender)>;

class TADOConnection {
public:
    TADOConnection();
    virtual ~TADOConnection();
    TADOConnection(const TADOConnection&) = delete;
    TADOConnection& operator=(const TADOConnection&) = delete;

    QString ConnectionString;
    QString Provider = QStringLiteral("Microsoft.Jet.OLEDB.4.0");
    bool LoginPrompt = false; // never shown; kept for the form's value

    TADOConnectionEvent AfterConnect;
    TADOConnectionEvent AfterDisconnect;

    // Opens the file the connection string names. Throws EDatabaseError with a clear message
    // (bad connection string, missing file, not an Access database, damaged, in use ...);
    // stays closed then. Opening an open connection does nothing.
    void Open();
    // Closes the data sets attached to it, then the connection; AfterDisconnect follows.
    void Close();
    bool Connected() const { return m_file != nullptr; }
    void setConnected(bool on) { on ? Open() : Close(); }

    // The file's tables and (saved select) views, system tables left out: tables first, then
    // views, each by name without regard to case. SystemTables true adds the MSys tables.
    void GetTableNames(QStringList& list, bool SystemTables = false) const;
    QStringList TableNames() const {
        QStringList l;
        GetTableNames(l);
        return l;
    }

    // Runs a statement without a result; returns the rows affected.
    int Execute(const QString& statement);

    // The open file; throws EDatabaseError when not connected.
    AccessFile& file() const;
    // The Jet SQL connection of this connection (SELECT @@identity is per connection).
    jet::sql::Connection& sqlConnection() const;

private:
    friend class TCustomADODataSet;
    void attach(TCustomADODataSet* ds);
    void detach(TCustomADODataSet* ds);

    std::shared_ptr<AccessFile> m_file;
    std::unique_ptr<jet::sql::Connection> m_sql;
    std::vector<TCustomADODataSet*> m_dataSets;
};

// What the table and query objects share: the connection, the storage and its writes.
class TCustomADODataSet : public TDataSet {
public:
    ~TCustomADODataSet() override;

    TADOConnection* Connection() const { return m_connection; }
    void setConnection(TADOConnection* connection);
    // The name the in-memory sort is given by (kept for the form's published property).
    QString IndexFieldNames() const { return SortedFields(); }
    void setIndexFieldNames(const QString& names) { setSortedFields(names); }

    // True when the rows are read through an index for the current sort order.
    bool SortedByIndex() const { return m_sortedByIndex; }

    class Store; // the rows behind the data set (ADODB.cpp)

protected:
    TCustomADODataSet();
    void InternalClose() override;
    int storedCount() const override;
    bool storedIsNull(int row, int col) const override;
    QVariant storedValue(int row, int col) const override;
    QString storedText(int row, int col) const override;
    QByteArray storedBytes(int row, int col) const override;
    void InternalPostInsert(const EditBuffer& buffer) override;
    void InternalPostEdit(int row, const EditBuffer& buffer) override;
    void InternalDelete(int row) override;
    int InternalSort(int col, int currentRow) override;

    AccessFile& requireFile() const;
    // Opens the named table (a stored table, lazily; a view, through its SQL).
    void openTableStore(const QString& name);
    // Runs a SELECT and keeps its rows.
    void openSqlStore(const QString& statement);

    std::unique_ptr<Store> m_store;
    TADOConnection* m_connection = nullptr;
    int m_openRowsAffected = 0; // rows a SELECT ... INTO copied when it was opened
    bool m_sortedByIndex = false;

private:
    friend class TADOConnection;
    void addStoreFields();
};

class TADOTable : public TCustomADODataSet {
public:
    TADOTable();
    ~TADOTable() override;

    // The table's name, bare or enclosed in square brackets. Setting another name closes the table.
    QString TableName() const { return m_tableName; }
    void setTableName(const QString& name);

protected:
    void InternalOpen() override;

private:
    QString m_tableName;
};

class TADOQuery : public TCustomADODataSet {
public:
    TADOQuery();
    ~TADOQuery() override;

    QStringList SQL;         // the statement, as one or more lines
    bool ParamCheck = false; // a colon is plain text; parameters are never parsed
    bool Prepared = true;
    QString ConnectionString; // used when no connection is set: the query opens its own

    // Runs a statement that returns no rows; returns and keeps RowsAffected.
    int ExecSQL();
    // Rows changed by the last ExecSQL, or copied by a SELECT ... INTO that was opened (which
    // leaves an open data set without fields or rows).
    int RowsAffected() const { return Active() ? m_openRowsAffected : m_rowsAffected; }
    // "SELECT * FROM [t]" (with or without brackets) is read like the table itself and can be
    // edited; other SELECTs give read-only rows.

protected:
    void InternalOpen() override;

private:
    TADOConnection& effectiveConnection();
    int m_rowsAffected = 0;
    std::unique_ptr<TADOConnection> m_ownConnection;
};

// The query class of the Access helper: an ADO query that also publishes IndexFieldNames.
class TMyQuery : public TADOQuery {
public:
    TMyQuery();
    ~TMyQuery() override;
    using TADOQuery::IndexFieldNames;
    using TADOQuery::setIndexFieldNames;
};

// The catalog's Create: makes a new empty Access file from a create connection string
// ("...;Data Source=<path>;Jet OLEDB:Engine Type=<4|5>"): engine type 4 makes an Access 97
// file, 5 an Access 2000 file. Throws EDatabaseError when the file exists or cannot be written.
void CreateAccessDatabase(const QString& connectionString);

using TBeforeCreateDBEvent = std::function<void(void* Sender, const QString& ccTableName)>;
using TAfterCreateDBEvent =
    std::function<void(void* Sender, const QString& ccTableName, bool ccSuccess, const QString& ccErrorMessage)>;

// Creates a new empty Access file at `path` in the Office 2000 format (office2000 true, engine
// type 5) or the Office 97 format (engine type 4). Raises OnBeforeCreateDB with tableName, then
// AfterCreateDB with the outcome; a failure is not raised further. Returns whether it worked.
bool CreateLocalDatabase(const QString& path, bool office2000, const QString& tableName, void* sender,
                         const TBeforeCreateDBEvent& OnBeforeCreateDB, const TAfterCreateDBEvent& AfterCreateDB);

} // namespace tablor
