// ZMySql.h — the MySQL client layer on MariaDB Connector/C: the connection
// (TZMySqlDatabase), its auto-commit transaction (TZMySqlTransact), queries whose whole
// result is held in client memory and can be browsed, sorted, edited and written back
// (TZMySqlQuery), the table object (TZMySqlTable) and the always-empty holder of explicit
// write-back statements (TZUpdateSql).
//
// Storage: an open result keeps the client library's stored rows (MYSQL_RES) as they
// are; the data set adds a row-order vector (sorting, deletions) and an overlay for rows
// that were edited or appended. Values are converted only when read.
//
// Ownership: a query or table does not own its connection, transaction or update object;
// they must outlive it (or be detached) — the main window and the helper object own them.
// The connection uses utf8mb4; text values are UTF-8 on the wire and QString here.
#pragma once

#include "db/DataSet.h"

#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

struct st_mysql;
struct st_mysql_res;

namespace tablor {

class TZMySqlDatabase;
using TZConnectionEvent = std::function<void(TZMySqlDatabase* Sender)>;

// Quotes a MySQL identifier between backquotes, doubling backquotes inside it, so that a
// name can never end the identifier early.
QString QuoteIdentifier(const QString& name);
// Undoes QuoteIdentifier for a name given enclosed in backquotes; returns other names as
// they are. So "`a b`" and "a b" name the same table.
QString UnquoteIdentifier(const QString& name);
// UTF-8 text escaped for use between single quotes without asking a connection, as
// mysql_real_escape_string escapes for utf8mb4 (no byte of a multi-byte character is one of
// the escaped ones); with `backslashes` false (the server's NO_BACKSLASH_ESCAPES mode) only
// quotes are doubled.
QByteArray EscapeUtf8ForQuotes(const QByteArray& raw, bool backslashes = true);

// Field kind of a MySQL column (type code of enum_field_types, column flags, character
// set number). Text and binary are told apart by the character set (63 is binary) on
// string and blob types only.
TFieldType MySqlFieldKind(int mysqlType, unsigned flags, unsigned charsetNr);

// The connection's encoding setting. The layer always talks utf8mb4; the property is
// kept for the form's stored value.
enum class TZEncoding { etNone };

class TZMySqlDatabase {
public:
    TZMySqlDatabase() = default;
    virtual ~TZMySqlDatabase();
    TZMySqlDatabase(const TZMySqlDatabase&) = delete;
    TZMySqlDatabase& operator=(const TZMySqlDatabase&) = delete;

    // Connection parameters; set before Connect.
    QString Host = QStringLiteral("localhost");
    QString Port = QStringLiteral("3306");
    QString Database;
    QString Login = QStringLiteral("root");
    QString Password;
    bool LoginPrompt = false; // no login dialog is ever shown
    TZEncoding Encoding = TZEncoding::etNone;
    unsigned ConnectTimeoutSeconds = 15;
    // LOAD DATA LOCAL for this connection. Only for an owner that installs its own infile
    // handler right after connecting (mysql_set_local_infile_handler), so that the server
    // can never make the client library read a file of the server's choosing.
    bool AllowLocalInfile = false;

    TZConnectionEvent AfterConnect;
    TZConnectionEvent AfterDisconnect;

    // Throws EDatabaseError with the client library's message; stays disconnected then.
    void Connect();
    void Disconnect();
    bool Connected() const { return m_handle != nullptr; }
    void setConnected(bool on) { on ? Connect() : Disconnect(); }

    st_mysql* Handle() const { return m_handle; } // nullptr while disconnected

    // Runs a statement that needs no result (a result, if any, is read and dropped).
    // Returns the affected rows (for a row statement: the number of rows). Throws
    // EDatabaseError with the server's message.
    qint64 ExecuteDirect(const QString& sql);
    // Escapes bytes for use inside a single-quoted literal (connection's character set).
    QByteArray EscapeString(const QByteArray& raw) const;
    QString ServerVersion() const;

private:
    st_mysql* m_handle = nullptr;
};

enum TZTransactOption : unsigned { toHourGlass = 1 };

class TZMySqlTransact {
public:
    TZMySqlDatabase* Database = nullptr;
    bool AutoCommit = true; // every statement is committed by the server at once
    bool TransactSafe = false;
    unsigned Options = toHourGlass;
};

class TZUpdateSql {
public:
    QStringList InsertSQL, ModifySQL, DeleteSQL; // left empty: statements are generated
};

enum TZMySqlExtraOption : unsigned { moStoreResult = 1 };
enum TZDatasetOption : unsigned { doHourGlass = 1, doAutoFillDefs = 2, doUseRowId = 4 };
enum TZLinkOption : unsigned { loAlwaysResync = 1 };
enum TZUpdateRecordType : unsigned { ztModified = 1, ztInserted = 2, ztUnmodified = 4, ztDeleted = 8 };

class TZMySqlQuery : public TDataSet {
public:
    TZMySqlQuery();
    ~TZMySqlQuery() override;

    TZMySqlDatabase* Database = nullptr;
    TZMySqlTransact* Transaction = nullptr;
    QStringList SQL;          // joined with line breaks; a colon is plain text
    bool RequestLive = false; // a live result writes posted rows back to its table
    TZUpdateSql* UpdateObject = nullptr;
    unsigned ExtraOptions = moStoreResult; // results are always stored whole
    unsigned Options = doHourGlass | doAutoFillDefs | doUseRowId;
    unsigned LinkOptions = loAlwaysResync;                             // a written row is read back from the server
    unsigned ShowRecordTypes = ztModified | ztInserted | ztUnmodified; // deleted rows never show
    bool CachedUpdates = false;                                        // every post is written at once
    bool ParamCheck = false;
    bool AutoCalcFields = true;

    // Runs the statement without keeping a result; RowsAffected tells the rows changed.
    void ExecSQL();
    qint64 RowsAffected() const { return m_rowsAffected; }

    // The table a live result writes to (unquoted) and its key columns; resolved at the
    // first write-back ("SHOW INDEX FROM"). Exposed for tests and the copy routines.
    QString UpdateTableName();
    std::vector<int> KeyColumns();
    // The last statement the write-back sent (empty when a post sent none).
    const QString& LastWriteSql() const { return m_lastWriteSql; }

protected:
    virtual QString statementText() const;
    virtual bool isTableObject() const { return false; }
    virtual QString tableNameForWrite() const { return {}; }

    void InternalOpen() override;
    void InternalClose() override;
    int storedCount() const override { return static_cast<int>(m_order.size()); }
    bool storedIsNull(int row, int col) const override;
    QVariant storedValue(int row, int col) const override;
    QString storedText(int row, int col) const override;
    QByteArray storedBytes(int row, int col) const override;
    bool storedUtf8(int row, int col, const char*& data, qsizetype& size) const override;
    void InternalPostInsert(const EditBuffer& buffer) override;
    void InternalPostEdit(int row, const EditBuffer& buffer) override;
    void InternalDelete(int row) override;
    int InternalSort(int col, int currentRow) override;

private:
    struct Column {
        QString name;
        QByteArray orgName, orgTable, table, db; // table: the alias the statement used
        int type = 0;
        unsigned flags = 0;
        unsigned charsetNr = 0;
        TFieldType kind = TFieldType::ftUnknown;
    };
    struct Raw {
        const char* p = nullptr; // nullptr: NULL
        size_t n = 0;
    };
    using RawRow = std::vector<std::optional<QByteArray>>;
    struct ResultDeleter {
        void operator()(st_mysql_res* r) const;
    };

    Raw raw(int row, int col) const;
    Raw rawById(quint32 id, int col) const;
    RawRow rowRaws(quint32 id) const;
    st_mysql* liveHandle() const;
    void resolveWriteTarget();
    std::optional<QByteArray> bufferRaw(const QVariant& v, const Column& c) const;
    QByteArray literal(const std::optional<QByteArray>& raw, const Column& c) const;
    QByteArray keyCondition(const RawRow& values) const;
    bool keyIsComplete(const RawRow& values) const;
    void resync(RawRow& values);
    void execWrite(const QByteArray& sql);

    std::unique_ptr<st_mysql_res, ResultDeleter> m_res;
    std::vector<Column> m_cols;
    std::vector<char**> m_base;                    // stored rows in result order
    std::vector<quint32> m_order;                  // display order: row id per visible row
    std::unordered_map<quint32, RawRow> m_overlay; // edited and appended rows by id
    quint32 m_nextId = 0;                          // ids from m_base.size() on are appended rows
    qint64 m_rowsAffected = 0;

    bool m_writeResolved = false;
    QByteArray m_writeTable; // quoted, maybe database-qualified
    QString m_writeTableName;
    std::vector<int> m_keyCols;
    bool m_keyIsFallback = false;
    int m_autoIncCol = -1;
    QString m_lastWriteSql;
};

// Like TZMySqlQuery, with a TableName instead of a statement: opening reads every row and
// column of the table. The name may be given with or without backquotes; it is always
// quoted when the statement is built. Tables are live by default.
class TZMySqlTable : public TZMySqlQuery {
public:
    TZMySqlTable();
    const QString& TableName() const { return m_tableName; }
    // A different name closes the table; the name it already has changes nothing.
    void setTableName(const QString& name);

protected:
    QString statementText() const override;
    bool isTableObject() const override { return true; }
    QString tableNameForWrite() const override { return UnquoteIdentifier(m_tableName); }

private:
    QString m_tableName;
};

} // namespace tablor
