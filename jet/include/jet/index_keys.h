// Index key codec: turns column values into the byte strings that Access keeps in index pages
// (and back, for the numeric and date types). Keys of one index compare with plain memcmp in
// index order, so lookups, ordering and uniqueness checks all work on these bytes.
//
// Layout of a key: one segment per index column, in index column order. A segment is
//   OFFSET SIZE DESCRIPTION
//   0      1    entry flag: 0x7F value follows (ascending), 0x80 value follows (descending),
//               0x00 null (ascending), 0xFF null (descending); Yes/No columns are never null
//   1      n    the value, encoded per type (see appendKeyValue); descending columns store the
//               bitwise complement of the ascending form (text and GUID have a few exceptions)
// In a leaf page each key is followed by a 3-byte big-endian data page and a 1-byte row number.
#pragma once

#include "jet/error.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace jet {

// The text collations whose keys we can build. General Legacy is what Access 2000-2003 (Jet 4)
// writes for new databases; "General" of Access 97 (Jet 3) is a different, byte-oriented order.
enum class TextSortOrder {
    GeneralLegacy, // Jet 4 sort order id 1033 (0x409), version 0
    General97,     // Jet 3 sort order
};

// Jet column type codes as stored in table definitions, limited to what an index can hold.
enum class KeyColumnType : std::uint8_t {
    Boolean = 1,
    Byte = 2,
    Integer = 3,  // 16-bit
    Long = 4,     // 32-bit
    Currency = 5, // 64-bit count of 1/10000
    Single = 6,
    Double = 7,
    DateTime = 8, // day number as a double
    Binary = 9,   // not indexable by Access's key format; refused with an error
    Text = 10,
    Memo = 12, // indexed like Text (first 255 characters)
    Guid = 15,
    Numeric = 16, // Decimal
};

// One column of an index as far as the key is concerned.
struct KeyColumn {
    KeyColumnType type = KeyColumnType::Long;
    bool ascending = true;
    TextSortOrder sortOrder = TextSortOrder::GeneralLegacy;
};

// A GUID in its textual byte order: {00112233-4455-6677-8899-AABBCCDDEEFF} is 00 11 22 ... FF.
// (Rows store the first three groups little-endian; keys use this order.)
struct KeyGuid {
    std::array<std::uint8_t, 16> bytes{};
    friend bool operator==(const KeyGuid&, const KeyGuid&) = default;
};

// A Decimal value as sign and unscaled magnitude (the scale belongs to the column).
struct KeyDecimal {
    bool negative = false;
    std::array<std::uint8_t, 16> magnitude{}; // unscaled value, big-endian
    friend bool operator==(const KeyDecimal&, const KeyDecimal&) = default;
};

// A value to encode. std::monostate is SQL NULL. Integer types (Byte, Integer, Long) and Currency
// (in 1/10000) take std::int64_t; Single, Double and DateTime take double; Boolean takes bool;
// Text and Memo take UTF-16 text.
using KeyValue = std::variant<std::monostate, bool, std::int64_t, double, std::u16string, KeyGuid, KeyDecimal>;

// Thrown when a value cannot be encoded for its column (wrong kind, out of range, type that has
// no key encoding). Nothing is written to the output when this is thrown.
class KeyEncodingError : public Error {
public:
    explicit KeyEncodingError(const std::string& message) : Error({}, std::nullopt, message) {}
};

// Entry flag bytes.
inline constexpr std::uint8_t kKeyAscendingStart = 0x7F;
inline constexpr std::uint8_t kKeyAscendingNull = 0x00;
inline constexpr std::uint8_t kKeyDescendingStart = 0x80;
inline constexpr std::uint8_t kKeyDescendingNull = 0xFF;

// Longest text (in UTF-16 code units) that goes into a key; longer values are cut there.
inline constexpr std::size_t kMaxIndexedTextLength = 255;

// Appends the segment (flag and value) of one column to `out`.
void appendKeyValue(std::vector<std::uint8_t>& out, const KeyColumn& column, const KeyValue& value);

// The whole key of a row for an index with the given columns (values in the same order).
std::vector<std::uint8_t> encodeKey(std::span<const KeyColumn> columns, std::span<const KeyValue> values);

// Typed shortcuts used on hot paths (no variant). `width` is 1, 2, 4 or 8 bytes.
void appendIntegerKey(std::vector<std::uint8_t>& out, std::int64_t value, int width, bool ascending);
void appendFloatKey(std::vector<std::uint8_t>& out, double value, bool isSingle, bool ascending);
void appendTextKey(std::vector<std::uint8_t>& out, std::u16string_view text, TextSortOrder order, bool ascending);
void appendNullKey(std::vector<std::uint8_t>& out, bool ascending);

// UTF-8 to UTF-16 for callers that hold text as UTF-8 (invalid sequences become U+FFFD).
std::u16string utf8ToUtf16(std::string_view utf8);

// Reading keys back. Text cannot be decoded (the sort codes fold case and accents), but its
// segment can be measured and skipped.
class KeyReader {
public:
    explicit KeyReader(std::span<const std::uint8_t> key) : key_(key) {}

    // The value of the next segment; text columns give their raw segment bytes as a
    // std::u16string is impossible, so for Text/Memo use skip() instead (throws otherwise).
    // Throws FormatError when the bytes are too short or the flag is not a valid one (a damaged page).
    KeyValue next(const KeyColumn& column);
    // Length in bytes of the next segment, flag included, without consuming it.
    std::size_t segmentLength(const KeyColumn& column) const;
    void skip(const KeyColumn& column) { pos_ += segmentLength(column); }

    std::size_t position() const { return pos_; }
    bool atEnd() const { return pos_ >= key_.size(); }

private:
    std::span<const std::uint8_t> key_;
    std::size_t pos_ = 0;
};

// Convenience: the value of a one-column integer, Currency or date key (nullopt for a null entry).
std::optional<std::int64_t> decodeIntegerKey(std::span<const std::uint8_t> key, KeyColumnType type, bool ascending);
std::optional<double> decodeFloatKey(std::span<const std::uint8_t> key, KeyColumnType type, bool ascending);

} // namespace jet
