// Writing Access files: create a new empty database, create and drop tables, insert, update and
// delete rows with their long values and primary-key / unique indexes kept right.
//
// Ownership: a DatabaseWriter owns the file open for writing and its write lock; TableWriter
// objects it hands out refer to it and must not outlive it. Reads through database() see every
// completed write. One writer per file: a second DatabaseWriter on the same file (in this or
// another process) gets InUseError. Not thread-safe.
//
// Every write either completes or leaves the file as it was before the call as far as readers
// are concerned: data pages are written before the pages that point at them, and the table
// definition (row count, auto-number) last. A row change that fails leaves nothing behind,
// and a Savepoint makes several changes one step that can be undone.
#pragma once

#include "jet/cursor.h"
#include "jet/database.h"
#include "jet/error.h"
#include "jet/schema.h"
#include "jet/value.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace jet {

namespace detail {
class WriterImpl;
class TableWriterState;
} // namespace detail

// The file is open for writing elsewhere (this process or another).
class InUseError : public Error {
public:
    using Error::Error;
};

// A write was refused because the data breaks a rule of the table: a duplicate key in a
// primary-key or unique index, a null in a NOT NULL column, a value that does not fit its
// column. Nothing was written.
class ConstraintError : public Error {
public:
    using Error::Error;
};

// A schema request that cannot be carried out as asked: the table exists already, two columns
// share a name, an unknown type, an index over a missing column. Nothing was written.
class SchemaError : public Error {
public:
    using Error::Error;
};

// One column of a new table. Jet SQL names map as: LONG/INTEGER(Jet)/INT → Long,
// SHORT/SMALLINT → Integer, BYTE/TINYINT → Byte, COUNTER/AUTOINCREMENT → Long + autoNumber,
// REAL/SINGLE → Single, FLOAT/DOUBLE → Double, DECIMAL/NUMERIC → Numeric (precision 18,
// scale 0 unless given), MONEY/CURRENCY → Currency, DATETIME/DATE/TIME → DateTime,
// TEXT(n)/VARCHAR(n)/CHAR(n) → Text (n characters, 255 when not given), MEMO/LONGTEXT → Memo,
// OLEOBJECT/LONGBINARY/IMAGE → Ole, BIT/YESNO/LOGICAL → Boolean, GUID/UNIQUEIDENTIFIER → Guid,
// BINARY(n)/VARBINARY(n) → Binary.
struct ColumnSpec {
    std::string name;
    ColumnType type = ColumnType::Text;
    uint16_t length = 0;           // Text: characters (0 = 255); Binary: bytes (0 = 255)
    uint8_t precision = 18;        // Numeric
    uint8_t scale = 0;             // Numeric
    bool notNull = false;          // NOT NULL
    bool autoNumber = false;       // Long: next value assigned on insert; Guid: a new GUID
    bool compressedUnicode = true; // Text/Memo in Jet 4: store as compressed Unicode where it is shorter
};

// One index of a new table (PRIMARY KEY, UNIQUE, or a plain index).
struct IndexSpec {
    std::string name;                 // empty: "PrimaryKey" for the primary key, else derived
    std::vector<std::string> columns; // column names, at most 10
    std::vector<bool> descending;     // per column; empty = all ascending
    bool primaryKey = false;          // implies unique and required
    bool unique = false;
    bool ignoreNulls = false;
};

struct TableSpec {
    std::string name;
    std::vector<ColumnSpec> columns;
    std::vector<IndexSpec> indexes;
};

// The outcome of an insert.
struct InsertResult {
    RowId rowId;
    std::optional<int32_t> autoNumber; // the value given to the auto-number column, if any
};

class DatabaseWriter;

// Writes rows of one table. Values come in the table's column order (TableDef::columns);
// a null for an auto-number column means "assign the next number". Changes collect in the
// writer's cache and reach the file together at the next DatabaseWriter::flush() (or when the
// cache grows past 32 MB, or the writer closes): a crash loses the changes since the last
// flush as a whole, never some of them. CREATE and DROP TABLE flush on their own.
class TableWriter {
public:
    TableWriter(TableWriter&&) noexcept;
    TableWriter& operator=(TableWriter&&) noexcept;
    ~TableWriter();

    const TableDef& definition() const;

    // Adds a row. Throws ConstraintError (duplicate key, null in NOT NULL, value too long)
    // with nothing written.
    InsertResult insert(std::span<const Value> row);
    // Replaces the row; returns where the row lives now (the same id unless it had to move).
    RowId update(RowId id, std::span<const Value> row);
    // Deletes the row and frees its long values; its index entries are removed.
    void erase(RowId id);
    // Deletes every row (DELETE without a condition) and returns how many there were. Fast:
    // the table's data, long-value and index pages are freed at once, each index left an
    // empty root, unless the table is the parent of an enforced relationship; then row by
    // row, so that cascades and refusals happen as for erase(). One step: refused or failed,
    // nothing of it stays.
    uint64_t eraseAll();

private:
    friend class DatabaseWriter;
    explicit TableWriter(std::unique_ptr<detail::TableWriterState> state);
    std::unique_ptr<detail::TableWriterState> state_;
};

class DatabaseWriter {
public:
    // Creates a new, empty database at `path` with its system tables: Access 2000 (Jet 4) as
    // ADOX lays it out, or Access 97 (Jet 3) as Access 97 does. Written whole or not at all;
    // refuses to overwrite an existing file (IoError).
    static DatabaseWriter create(const std::filesystem::path& path, Version version = Version::Jet4);

    // Opens an existing file for writing and takes its write lock. Throws InUseError when
    // another writer holds it, IoError when the file is read-only or cannot be opened.
    static DatabaseWriter open(const std::filesystem::path& path, const OpenOptions& options = {});

    DatabaseWriter(DatabaseWriter&&) noexcept;
    DatabaseWriter& operator=(DatabaseWriter&&) noexcept;
    // Closes the writer if close() was not called; a failure of that last flush cannot be
    // thrown from a destructor and goes to the lost-changes reporter (see below).
    ~DatabaseWriter();

    // Ends the writing: a Transaction or Savepoint still open is undone, the rest goes to the
    // disk, the write lock is released. Throws what that last flush throws (the lock is
    // released all the same); afterwards writes are refused (IoError), reads through
    // database() still work. Call it wherever a failure can still be reported.
    void close();

    // Read access to the same file (sees every completed write).
    Database& database();

    // Creates a table; returns its definition as read back. SchemaError when the name is
    // taken, a column name repeats, or an index names a missing column.
    std::shared_ptr<const TableDef> createTable(const TableSpec& tableSpec);
    // Drops a table and frees all its pages. NotFoundError when there is no such table.
    void dropTable(std::string_view name);

    // A writer for the named user table. NotFoundError when there is no such table.
    TableWriter table(std::string_view name);

    // Writes every change made so far to the disk as one step (through the rollback journal)
    // and waits until it is there. Not while a Savepoint is open (std::logic_error): a step
    // is written whole or not at all.
    void flush();

    // Makes the changes that follow one step that can be undone, as a SQL statement or a
    // record command needs: rollback() (or destroying the Savepoint without release()) puts
    // the write cache and the writer's state (row counts, auto-numbers, usage maps, free
    // pages, index pages, the file's length) back exactly as they were when it opened, so
    // the next flush writes none of it; release() keeps the changes, to be flushed later.
    // While one is open nothing reaches the disk (the cache grows past its usual limit if it
    // must), and createTable / dropTable are refused (std::logic_error); reads through
    // database() see the changes. Savepoints nest; they close innermost first. Each single
    // TableWriter::insert / update / erase is such a step on its own already. A Savepoint must
    // not outlive its writer; a writer closed with one open drops its changes.
    class Savepoint {
    public:
        explicit Savepoint(DatabaseWriter& writer);
        Savepoint(const Savepoint&) = delete;
        Savepoint& operator=(const Savepoint&) = delete;
        ~Savepoint(); // rolls back unless released
        void release();
        void rollback();

    private:
        void requireInnermost(const char* what) const;
        detail::WriterImpl* writer_;
        size_t depth_ = 0;
    };

    // Makes the changes that follow one step however large they grow, as refilling a table
    // of a million rows needs: unlike a Savepoint it does not hold them in memory, flushes
    // inside it write to the file as usual, but the journal keeps every page as it was when
    // the transaction began until commit(). rollback() (or destroying it uncommitted, or a
    // crash, or a failed flush) brings the file back to that moment as a whole, and the
    // writer's state is read again from it; tables created inside it are gone again (their
    // TableWriters must not be used), the others' TableWriters stay good. Programs that know
    // the journal (ours) see the file as it was until commit(). Not inside a Savepoint nor
    // another Transaction (std::logic_error); Savepoints inside it are fine.
    class Transaction {
    public:
        explicit Transaction(DatabaseWriter& writer);
        Transaction(const Transaction&) = delete;
        Transaction& operator=(const Transaction&) = delete;
        ~Transaction(); // rolls back unless committed; a failure goes to the lost-changes reporter
        void commit();
        void rollback();

    private:
        detail::WriterImpl* writer_;
    };

private:
    explicit DatabaseWriter(std::unique_ptr<detail::WriterImpl> impl);
    std::unique_ptr<detail::WriterImpl> impl_;
};

} // namespace jet

namespace jet {

// Where a DatabaseWriter destroyed without close(), or a Transaction destroyed without commit
// or rollback, reports the failure it cannot throw: one sentence naming the file. The default
// writes it to stderr. Returns the reporter it replaces.
using LostChangesReporter = void (*)(const std::string& message);
LostChangesReporter setLostChangesReporter(LostChangesReporter reporter);
// Hands `message` to the reporter; for owners of a writer whose destructors cannot throw either.
void reportLostChanges(const std::string& message);

// Converts text to a value of `column`'s type, as an import or a SQL literal gives it: the
// empty string is null; numbers in C locale ("-12.5"); Currency and Decimal exactly;
// dates "YYYY-MM-DD", "YYYY-MM-DD HH:MM[:SS]" or "DD.MM.YYYY [HH:MM[:SS]]"; Yes/No from
// 1/0, -1, true/false, yes/no, ja/nein; GUIDs "{XXXXXXXX-...}"; Binary and OLE as hex.
// Throws ValueError with a message that says what does not fit.
Value valueFromText(const ColumnDef& column, std::string_view text);

} // namespace jet
