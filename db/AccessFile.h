// AccessFile.h — one open Access file shared by every connection of this process that names
// it. The engine allows one writer per file (a second writer, also in the same process, is
// refused as "in use"), so cnLocal, the helper objects and the copy routines that open the
// same file all go through one handle: one page cache, one write lock, one Jet SQL database.
//
// A file that cannot be written (read-only on disk, or an Access 97 file, which the engine
// reads but does not write yet) is opened for reading; every attempt to change it fails with
// ReadOnlyReason() and nothing is written.
#pragma once

#include "db/DbError.h"

#include <QString>

#include <memory>
#include <optional>

namespace jet {
class Error;
class Database;
class DatabaseWriter;
} // namespace jet
namespace jet::sql {
class Database;
}

namespace tablor {

class AccessFile {
public:
    // The shared handle of `path` (opened now if no connection holds it). Throws
    // EDatabaseError with a message that says what is wrong with the file and what to do:
    // missing, not an Access database, damaged, an .accdb, in use by another writer.
    static std::shared_ptr<AccessFile> open(const QString& path);

    ~AccessFile();
    AccessFile(const AccessFile&) = delete;
    AccessFile& operator=(const AccessFile&) = delete;

    const QString& path() const { return m_path; }
    jet::Database& database() const { return *m_db; }
    // The writer, or nullptr when the file is open read-only.
    jet::DatabaseWriter* writer() const { return m_writer.get(); }
    bool readOnly() const { return !m_writer; }
    const QString& readOnlyReason() const { return m_readOnlyReason; }
    // Throws EDatabaseError with the read-only reason when the file cannot be written.
    jet::DatabaseWriter& requireWriter(const QString& what) const;
    // Writes what the writer holds back to the file; reads see a change only after this.
    // Called after every statement and every row written.
    void flush() const;
    // Counts the changes made through this handle (every flush after a write); a reader that
    // walks rows lazily starts again when it changes.
    quint64 generation() const { return m_generation; }
    // Jet SQL over this same handle.
    const std::shared_ptr<jet::sql::Database>& sql() const { return m_sql; }

    // Lets go of `file` and resets it. When it was the last handle of a writable file, the
    // writer is closed here, so that a failure of its last write is thrown (EDatabaseError)
    // rather than only reported by the writer's destructor.
    static void release(std::shared_ptr<AccessFile>& file);

    // Flushes every handle open in this process (a statement may write another file:
    // SELECT ... INTO [t] IN 'file').
    static void flushAll();
    // Number of handles open in this process (for tests).
    static int openCount();

private:
    AccessFile() = default;
    QString m_path;
    QString m_key;
    std::shared_ptr<jet::DatabaseWriter> m_writer;
    std::shared_ptr<jet::Database> m_db;
    std::shared_ptr<jet::sql::Database> m_sql;
    QString m_readOnlyReason;
    EDatabaseError::Kind m_readOnlyKind = EDatabaseError::Kind::Io;
    mutable quint64 m_generation = 0;
};

// Turns any failure of the engine or of Jet SQL into EDatabaseError (other exceptions pass),
// keeping its kind and table; `row` is the record the failing command was about, if any.
// Call inside a catch block.
[[noreturn]] void rethrowAsDatabaseError(std::optional<qint64> row = std::nullopt);
// The data layer's kind of an engine failure (the failure itself, not what lies under it).
EDatabaseError::Kind databaseErrorKind(const jet::Error& e);

} // namespace tablor
