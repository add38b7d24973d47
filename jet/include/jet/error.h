// Exceptions of the Access file engine. Every message is UTF-8 text that names the
// file (and the page, where one is involved), says what is wrong and what to do.
//
// One tree: every failure of the engine, of its writer and of its Jet SQL layer is a
// jet::Error, and its class is its kind. The kinds are the classes below, InUseError,
// ConstraintError and SchemaError (writer.h), KeyEncodingError (index_keys.h) and the SQL
// errors (sql/error.h). A layer that adds words to a failure of a lower one throws its own
// error with std::throw_with_nested, so the first failure (with its kind, table and row)
// can still be found under it.
#pragma once

#include "jet/row_id.h"

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

namespace jet {

// Base of every failure the engine reports.
class Error : public std::runtime_error {
public:
    Error(std::string file, std::optional<uint32_t> page, const std::string& message);
    const std::string& file() const noexcept { return file_; }      // file name (no folder), may be empty
    std::optional<uint32_t> page() const noexcept { return page_; } // page involved, if any
    // The table the failure is about ("" when none or not known), and the row, when it is
    // about one row that is in the file already (an update or a delete).
    const std::string& table() const noexcept { return table_; }
    std::optional<RowId> row() const noexcept { return row_; }

    // Fills in the file, table and row where the thrower left them open (never replaces
    // one), for the public calls that know them; `throw;` afterwards keeps the kind.
    void locate(const std::string& file, const std::string& table, std::optional<RowId> row = std::nullopt);

private:
    std::string file_;
    std::optional<uint32_t> page_;
    std::string table_;
    std::optional<RowId> row_;
};

// The file cannot be read or written (missing, permissions, short read, disk full).
class IoError : public Error {
public:
    using Error::Error;
};

// The file is damaged or is not an Access database: a structure does not hold together.
class FormatError : public Error {
public:
    using Error::Error;
};

// A valid file that this engine does not handle (Access 2007+ .accdb, unknown column type,
// a database password codec).
class UnsupportedError : public Error {
public:
    using Error::Error;
};

// A named table, column or index does not exist.
class NotFoundError : public Error {
public:
    using Error::Error;
};

// Text cannot be converted (unknown code page, iconv missing the code page).
class EncodingError : public Error {
public:
    using Error::Error;
};

// A value does not fit where it was given: of the wrong kind, out of range, too long. The
// writer reports it as a ConstraintError naming the table; Value's accessors throw it for a
// value of another kind.
class ValueError : public Error {
public:
    using Error::Error;
    explicit ValueError(const std::string& message) : Error({}, std::nullopt, message) {}
};

} // namespace jet
