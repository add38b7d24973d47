// Exceptions of the Access file engine. Every message is UTF-8 text that names the
// file (and the page, where one is involved), says what is wrong and what to do.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

namespace jet {

// Base of every failure the engine reports.
class Error : public std::runtime_error {
public:
    Error(std::string file, std::optional<uint32_t> page, const std::string& message);
    const std::string& file() const noexcept { return file_; }      // file name (no folder)
    std::optional<uint32_t> page() const noexcept { return page_; } // page involved, if any

private:
    std::string file_;
    std::optional<uint32_t> page_;
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

} // namespace jet
