// Internal: the per-character code tables of Access's text sort orders, generated at build time
// from jet/data/sort-codes/ by jet/tools/gen_sort_codes.cpp.
#pragma once

#include <cstddef>
#include <cstdint>

namespace jet::detail {

// How one UTF-16 code unit contributes to a text index key.
enum class CharKind : std::uint8_t {
    Ignored = 0,      // left out of the key
    Simple,           // inline bytes only
    International,    // inline bytes plus extra (accent) bytes after the text
    Unprintable,      // no inline bytes; a positioned record in the unprintable section
    UnprintableExt,   // no inline bytes; adds `flag` to the last extra byte
    InternationalExt, // inline bytes, optional extra bytes, a two-bit flag (2 or 3)
    Significant,      // inline bytes; counted for the Access 97 extra nibbles
};

struct CharCode {
    std::uint32_t offset;     // first byte in the table's byte pool
    std::uint8_t kind;        // a CharKind
    std::uint8_t firstLength; // inline bytes, or the unprintable bytes for CharKind::Unprintable
    std::uint8_t extraLength; // extra bytes, stored right after the first ones
    std::uint8_t flag;        // modifier (UnprintableExt) or two-bit flag (InternationalExt)
};

struct CodeMapping {
    std::uint16_t from; // code point above U+00FF
    std::uint8_t to;    // the code page 1252 byte it sorts as
};

// General Legacy (Access 2000-2003): one entry per UTF-16 code unit, U+0000..U+FFFF.
extern const CharCode kGeneralLegacyCodes[];
extern const std::uint8_t kGeneralLegacyBytes[];
// General as written by Access 97: one entry per U+0000..U+00FF.
extern const CharCode kGeneral97Codes[];
extern const std::uint8_t kGeneral97Bytes[];
// Characters above U+00FF that Access 97 sorts like a code page 1252 byte, ascending by `from`.
extern const CodeMapping kGeneral97Mappings[];
extern const std::size_t kGeneral97MappingCount;

} // namespace jet::detail
