// Jet SQL on real Access files: a jet::sql::Database over the engine's public API
// (jet/database.h for reading, jet/index_keys.h for index seeks), and the conversions
// between the engine's values and the SQL layer's.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "jet/sql/storage.h"
#include "jet/value.h"

namespace jet {
class Database;
class DatabaseWriter;
} // namespace jet

namespace jet::sql {

struct EngineOptions {
    bool writable = false;    // open for statements that change the file
    std::string jet3CodePage; // a Jet 3 file's real code page (see jet::OpenOptions)
};

// Opens `path`. Throws the engine's errors (jet::IoError, jet::FormatError, ...) when the
// file cannot be opened.
std::shared_ptr<Database> openEngineDatabase(const std::filesystem::path& path, const EngineOptions& options = {});

// Jet SQL over a file that the caller already holds open, so that statements and the caller's
// own reads and writes share one page cache and one write lock: over a writer (statements may
// change the file) or over a read-only database.
std::shared_ptr<Database> openEngineDatabase(std::shared_ptr<jet::DatabaseWriter> writer);
std::shared_ptr<Database> openEngineDatabase(std::shared_ptr<jet::Database> readOnly);

// How SELECT ... INTO [t] IN 'file' opens the other file. Unset, the file is opened for writing
// on its own; a program that already holds files open (one writer per file) installs an opener
// that hands out its own handle instead.
using OtherDatabaseOpener = std::function<std::shared_ptr<Database>(const std::string& path)>;
void setOtherDatabaseOpener(OtherDatabaseOpener opener);

// Creates a new, empty Access 2000 file at `path` (it must not exist) and opens it for writing.
std::shared_ptr<Database> createEngineDatabase(const std::filesystem::path& path);

// The SQL layer's type for an engine column type.
ColumnType fromEngineType(jet::ColumnType type);
// An engine value in the SQL layer's canonical form (storage.h).
Value fromEngineValue(const jet::Value& v);
// A canonical SQL value as the engine's value for a column of `type`.
jet::Value toEngineValue(const Value& v, jet::ColumnType type);

} // namespace jet::sql
