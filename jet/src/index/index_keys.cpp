// Index key codec: value encodings per Jet type and the two text sort orders (see index_keys.h).
#include "jet/index_keys.h"

#include "index/sort_codes.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <string>

namespace jet {

namespace {

using detail::CharCode;
using detail::CharKind;

void complement(std::vector<std::uint8_t>& out, std::size_t from) {
    for (std::size_t i = from; i < out.size(); ++i) out[i] = static_cast<std::uint8_t>(~out[i]);
}

std::uint8_t startFlag(bool ascending) { return ascending ? kKeyAscendingStart : kKeyDescendingStart; }

const char* typeName(KeyColumnType type) {
    switch (type) {
    case KeyColumnType::Boolean: return "Yes/No";
    case KeyColumnType::Byte: return "Byte";
    case KeyColumnType::Integer: return "Integer";
    case KeyColumnType::Long: return "Long";
    case KeyColumnType::Currency: return "Currency";
    case KeyColumnType::Single: return "Single";
    case KeyColumnType::Double: return "Double";
    case KeyColumnType::DateTime: return "Date/Time";
    case KeyColumnType::Binary: return "Binary";
    case KeyColumnType::Text: return "Text";
    case KeyColumnType::Memo: return "Memo";
    case KeyColumnType::Guid: return "GUID";
    case KeyColumnType::Numeric: return "Decimal";
    }
    return "unknown";
}

// Strings are keyed on at most 255 code units, without trailing spaces.
std::u16string_view keyedText(std::u16string_view text) {
    if (text.size() > kMaxIndexedTextLength) text = text.substr(0, kMaxIndexedTextLength);
    while (!text.empty() && text.back() == u' ') text.remove_suffix(1);
    return text;
}

// ---- General Legacy (Jet 4) ---------------------------------------------------------------
//
// A text segment (after the entry flag) is
//   inline codes of the characters that have them
//   0x01                                    end of the inline part
//   [extra codes]                           accents etc.: one byte per character position,
//                                           0x02 where a character has none, trailing 0x00..0x02
//                                           dropped
//   [0x01 0x01 [flag bytes FF 02 80 FF 80 [FF]] [0x01 unprintable records]]
//                                           only when flags or unprintable characters occur
//   0x00                                    end
// Descending: a 0x00 is appended, everything from the first inline code on is complemented,
// and a final 0x00 follows.

constexpr std::uint8_t kEndText = 0x01;
constexpr std::uint8_t kEndExtra = 0x00;
constexpr std::uint8_t kExtraPlaceholder = 0x02;
constexpr std::uint8_t kFlagPackStart = 0x80;
constexpr std::uint8_t kFlagTrimmed = 0x03;
constexpr std::uint8_t kFlagSuffix[] = {0xFF, 0x02, 0x80, 0xFF, 0x80};
constexpr std::uint8_t kFlagBeforeUnprintable = 0xFF;
constexpr std::uint8_t kUnprintableMid = 0x06;

struct ExtraCodes {
    std::vector<std::uint8_t> bytes;
    std::size_t chars = 0;          // character positions covered by `bytes`
    std::size_t modifierPrefix = 0; // a leading modifier byte that is no character of its own
    bool used = false;
};

// Where a character stands in the text, in the two ways Access counts it: characters, and
// sort elements (a letter that sorts as two letters, ß as "ss", is two elements).
struct TextPosition {
    std::size_t chars = 0;
    std::size_t elements = 0;
};

// Letters that sort as a sequence of plain letters (ß, æ, œ, þ, ĳ, ...) have an inline code made
// of nothing but single-letter codes; each of those letters is one sort element.
std::size_t sortElements(const std::uint8_t* bytes, std::size_t n) {
    static const auto letterCodes = [] {
        std::array<bool, 256> codes{};
        for (char16_t c = u'a'; c <= u'z'; ++c) {
            const CharCode& code = detail::kGeneralLegacyCodes[c];
            if (code.firstLength == 1) codes[detail::kGeneralLegacyBytes[code.offset]] = true;
        }
        return codes;
    }();
    if (n < 2) return 1;
    for (std::size_t i = 0; i < n; ++i)
        if (!letterCodes[bytes[i]]) return 1;
    return n;
}

// Until the first accent is recorded, Access pads the accent section to the sort-element count;
// from then on it adds one placeholder per character. (Seen in real files: "großmärkte" pads
// ß as two, a ß between accented letters takes one place.)
void addExtra(ExtraCodes& extra, TextPosition at, const std::uint8_t* bytes, std::size_t n, std::uint8_t modifier) {
    if (!extra.used) {
        extra.bytes.insert(extra.bytes.end(), at.elements, kExtraPlaceholder);
        extra.chars = at.chars;
    }
    extra.used = true;
    if (extra.chars < at.chars) {
        extra.bytes.insert(extra.bytes.end(), at.chars - extra.chars, kExtraPlaceholder);
        extra.chars = at.chars;
    }
    if (n > 0) {
        extra.bytes.insert(extra.bytes.end(), bytes, bytes + n);
        ++extra.chars;
    } else if (!extra.bytes.empty()) {
        extra.bytes.back() = static_cast<std::uint8_t>(extra.bytes.back() + modifier);
    } else {
        extra.bytes.push_back(modifier);
        extra.modifierPrefix = 1;
    }
}

void addUnprintable(std::vector<std::uint8_t>& records, const ExtraCodes& extra, TextPosition at,
                    const std::uint8_t* bytes, std::size_t n) {
    // The position counts bytes of the extra section as it would stand at this character.
    std::size_t pos = at.elements;
    if (extra.used) pos = extra.bytes.size() + (at.chars - extra.chars) - extra.modifierPrefix;
    const unsigned value = (7u + 4u * static_cast<unsigned>(pos)) | 0x8000u;
    records.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
    records.push_back(static_cast<std::uint8_t>(value & 0xFF));
    records.push_back(kUnprintableMid);
    records.insert(records.end(), bytes, bytes + n);
}

void writeFlags(std::vector<std::uint8_t>& out, std::vector<std::uint8_t> flags) {
    while (!flags.empty() && flags.back() == kFlagTrimmed) flags.pop_back();
    std::uint8_t cur = kFlagPackStart;
    int filled = 0;
    for (std::uint8_t f : flags) {
        cur = static_cast<std::uint8_t>(cur | (f << ((2 - filled) * 2)));
        if (++filled == 3) {
            out.push_back(cur);
            cur = kFlagPackStart;
            filled = 0;
        }
    }
    if (filled > 0) out.push_back(cur);
    out.insert(out.end(), std::begin(kFlagSuffix), std::end(kFlagSuffix));
}

void appendGeneralLegacy(std::vector<std::uint8_t>& out, std::u16string_view text, bool ascending) {
    const std::size_t start = out.size();
    ExtraCodes extra;
    std::vector<std::uint8_t> unprintable;
    std::vector<std::uint8_t> flags;
    bool anyFlags = false;
    TextPosition next; // position of the next character with inline codes
    for (char16_t c : text) {
        const CharCode& code = detail::kGeneralLegacyCodes[c];
        const std::uint8_t* bytes = detail::kGeneralLegacyBytes + code.offset;
        const auto kind = static_cast<CharKind>(code.kind);
        const TextPosition at = next;
        const auto writeInline = [&] {
            out.insert(out.end(), bytes, bytes + code.firstLength);
            ++next.chars;
            next.elements += sortElements(bytes, code.firstLength);
        };
        switch (kind) {
        case CharKind::Ignored: break;
        case CharKind::Simple:
        case CharKind::Significant: writeInline(); break;
        case CharKind::International:
            writeInline();
            addExtra(extra, at, bytes + code.firstLength, code.extraLength, 0);
            break;
        case CharKind::InternationalExt:
            writeInline();
            if (code.extraLength > 0) addExtra(extra, at, bytes + code.firstLength, code.extraLength, 0);
            flags.push_back(code.flag);
            anyFlags = true;
            break;
        case CharKind::UnprintableExt: addExtra(extra, at, nullptr, 0, code.flag); break;
        case CharKind::Unprintable: addUnprintable(unprintable, extra, at, bytes, code.firstLength); break;
        }
    }
    out.push_back(kEndText);

    while (!extra.bytes.empty() && extra.bytes.back() <= kExtraPlaceholder) extra.bytes.pop_back();
    const bool anyExtra = !extra.bytes.empty();
    const bool anyUnprintable = !unprintable.empty();
    if (anyExtra) out.insert(out.end(), extra.bytes.begin(), extra.bytes.end());
    if (anyFlags || anyUnprintable) {
        out.push_back(kEndText);
        out.push_back(kEndText);
        if (anyFlags) {
            writeFlags(out, std::move(flags));
            if (anyUnprintable) out.push_back(kFlagBeforeUnprintable);
        }
        if (anyUnprintable) {
            out.push_back(kEndText);
            out.insert(out.end(), unprintable.begin(), unprintable.end());
        }
    }
    if (!ascending) {
        out.push_back(kEndExtra);
        complement(out, start);
    }
    out.push_back(kEndExtra);
}

// ---- General as written by Access 97 (Jet 3) ----------------------------------------------
//
// A text segment is the inline codes followed either by 0x00, or (when a character carries an
// accent code) by a nibble string: 0, then per accented character a run of 0x2 nibbles for the
// "significant" characters since the previous one and the accent nibble, then 0; padded with a
// zero nibble to whole bytes. Descending complements the whole segment.

const CharCode& general97Code(char16_t c) {
    static const CharCode ignored{0, 0, 0, 0, 0};
    // U+0000 sorts like the other control characters (Access 97 writes 0x10 for it, as for
    // U+0001; the code table leaves it out).
    if (c == 0) return detail::kGeneral97Codes[1];
    if (c <= 0xFF) return detail::kGeneral97Codes[c];
    const detail::CodeMapping* first = detail::kGeneral97Mappings;
    const detail::CodeMapping* last = first + detail::kGeneral97MappingCount;
    const auto* it =
        std::lower_bound(first, last, c, [](const detail::CodeMapping& m, char16_t v) { return m.from < v; });
    if (it == last || it->from != c) return ignored;
    return detail::kGeneral97Codes[it->to];
}

// A letter that sorts as two letters (ß as "ss", æ as "ae") counts each of them when they are
// letters that can carry an accent ("großmärkte" counts ß as two in Access 97's Northwind).
std::size_t significantLetters(const std::uint8_t* bytes, std::size_t n) {
    static const auto significantCodes = [] {
        std::array<bool, 256> codes{};
        for (unsigned c = 1; c <= 0xFF; ++c) {
            const CharCode& code = detail::kGeneral97Codes[c];
            if (static_cast<CharKind>(code.kind) == CharKind::Significant && code.firstLength == 1)
                codes[detail::kGeneral97Bytes[code.offset]] = true;
        }
        return codes;
    }();
    if (n < 2) return 0;
    for (std::size_t i = 0; i < n; ++i)
        if (!significantCodes[bytes[i]]) return 0;
    return n;
}

void appendGeneral97(std::vector<std::uint8_t>& out, std::u16string_view text, bool ascending) {
    const std::size_t start = out.size();
    std::vector<std::uint8_t> nibbles;
    std::size_t significant = 0;
    for (char16_t c : text) {
        const CharCode& code = general97Code(c);
        const std::uint8_t* bytes = detail::kGeneral97Bytes + code.offset;
        const auto kind = static_cast<CharKind>(code.kind);
        if (kind == CharKind::Ignored) continue;
        out.insert(out.end(), bytes, bytes + code.firstLength);
        if (kind == CharKind::Simple) {
            significant += significantLetters(bytes, code.firstLength);
            continue;
        }
        if (kind == CharKind::Significant) {
            ++significant;
            continue;
        }
        if (code.extraLength > 0) {
            if (nibbles.empty()) nibbles.push_back(0);
            nibbles.insert(nibbles.end(), significant, kExtraPlaceholder);
            nibbles.push_back(bytes[code.firstLength] & 0x0F);
            significant = 0;
        }
    }
    if (nibbles.empty()) {
        out.push_back(kEndExtra);
    } else {
        nibbles.push_back(0);
        for (std::size_t i = 0; i < nibbles.size(); i += 2) {
            const std::uint8_t hi = nibbles[i];
            const std::uint8_t lo = (i + 1 < nibbles.size()) ? nibbles[i + 1] : 0;
            out.push_back(static_cast<std::uint8_t>((hi << 4) | lo));
        }
    }
    if (!ascending) complement(out, start);
}

// Big-endian bytes of an integer of `width` bytes, sign bit flipped so that the order of
// signed values is the order of the bytes.
void appendOrderedInteger(std::vector<std::uint8_t>& out, std::uint64_t bits, int width, bool flipSign,
                          bool ascending) {
    const std::size_t from = out.size();
    for (int i = width - 1; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
    if (flipSign) out[from] ^= 0x80;
    if (!ascending) complement(out, from);
}

std::int64_t checkedInteger(const KeyValue& value, const KeyColumn& column, std::int64_t lo, std::int64_t hi) {
    std::int64_t v = 0;
    if (const auto* i = std::get_if<std::int64_t>(&value)) {
        v = *i;
    } else if (const auto* b = std::get_if<bool>(&value)) {
        v = *b ? -1 : 0;
    } else {
        throw KeyEncodingError(std::string("an index key on a ") + typeName(column.type) +
                               " column needs a whole number; convert the value first");
    }
    if (v < lo || v > hi)
        throw KeyEncodingError("the value " + std::to_string(v) + " does not fit a " + typeName(column.type) +
                               " column (" + std::to_string(lo) + " to " + std::to_string(hi) + ")");
    return v;
}

double checkedFloat(const KeyValue& value, const KeyColumn& column) {
    if (const auto* d = std::get_if<double>(&value)) return *d;
    if (const auto* i = std::get_if<std::int64_t>(&value)) return static_cast<double>(*i);
    throw KeyEncodingError(std::string("an index key on a ") + typeName(column.type) +
                           " column needs a number; convert the value first");
}

void checkAvailable(std::span<const std::uint8_t> key, std::size_t pos, std::size_t n) {
    if (pos > key.size() || key.size() - pos < n)
        throw FormatError({}, std::nullopt,
                          "index key ends in the middle of a value (" + std::to_string(key.size()) + " bytes, needed " +
                              std::to_string(pos + n) + "); the index page is damaged");
}

int fixedWidth(KeyColumnType type) {
    switch (type) {
    case KeyColumnType::Boolean:
    case KeyColumnType::Byte: return 1;
    case KeyColumnType::Integer: return 2;
    case KeyColumnType::Long:
    case KeyColumnType::Single: return 4;
    case KeyColumnType::Currency:
    case KeyColumnType::Double:
    case KeyColumnType::DateTime: return 8;
    case KeyColumnType::Guid: return 18;
    case KeyColumnType::Numeric: return 17;
    default: return -1;
    }
}

} // namespace

void appendNullKey(std::vector<std::uint8_t>& out, bool ascending) {
    out.push_back(ascending ? kKeyAscendingNull : kKeyDescendingNull);
}

void appendIntegerKey(std::vector<std::uint8_t>& out, std::int64_t value, int width, bool ascending) {
    out.push_back(startFlag(ascending));
    // Byte is unsigned and keeps its bits; the signed types flip their sign bit.
    appendOrderedInteger(out, static_cast<std::uint64_t>(value), width, width != 1, ascending);
}

void appendFloatKey(std::vector<std::uint8_t>& out, double value, bool isSingle, bool ascending) {
    out.push_back(startFlag(ascending));
    const std::size_t from = out.size();
    std::uint64_t bits = 0;
    int width = 8;
    if (isSingle) {
        bits = std::bit_cast<std::uint32_t>(static_cast<float>(value));
        width = 4;
    } else {
        bits = std::bit_cast<std::uint64_t>(value);
    }
    for (int i = width - 1; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
    const bool negative = (out[from] & 0x80) != 0;
    // Non-negative: flip the sign bit. Negative: complement all (larger magnitude sorts first).
    if (!negative) out[from] ^= 0x80;
    if (negative == ascending) complement(out, from);
}

void appendTextKey(std::vector<std::uint8_t>& out, std::u16string_view text, TextSortOrder order, bool ascending) {
    out.push_back(startFlag(ascending));
    const std::u16string_view keyed = keyedText(text);
    if (order == TextSortOrder::General97) appendGeneral97(out, keyed, ascending);
    else appendGeneralLegacy(out, keyed, ascending);
}

void appendKeyValue(std::vector<std::uint8_t>& out, const KeyColumn& column, const KeyValue& value) {
    const bool asc = column.ascending;
    const bool isNull = std::holds_alternative<std::monostate>(value);
    if (column.type == KeyColumnType::Boolean) {
        // Yes/No has no null in a key: a missing value is No. Yes sorts first, as -1 would.
        bool v = false;
        if (const auto* b = std::get_if<bool>(&value)) {
            v = *b;
        } else if (const auto* i = std::get_if<std::int64_t>(&value)) {
            v = *i != 0;
        } else if (!isNull) {
            throw KeyEncodingError("an index key on a Yes/No column needs Yes or No");
        }
        out.push_back(startFlag(asc));
        const std::uint8_t yes = asc ? 0x00 : 0xFF;
        out.push_back(v ? yes : static_cast<std::uint8_t>(~yes));
        return;
    }
    if (isNull) {
        appendNullKey(out, asc);
        return;
    }
    switch (column.type) {
    case KeyColumnType::Byte: appendIntegerKey(out, checkedInteger(value, column, 0, 255), 1, asc); return;
    case KeyColumnType::Integer: appendIntegerKey(out, checkedInteger(value, column, -32768, 32767), 2, asc); return;
    case KeyColumnType::Long:
        appendIntegerKey(out, checkedInteger(value, column, INT32_MIN, INT32_MAX), 4, asc);
        return;
    case KeyColumnType::Currency:
        appendIntegerKey(out, checkedInteger(value, column, INT64_MIN, INT64_MAX), 8, asc);
        return;
    case KeyColumnType::Single: appendFloatKey(out, checkedFloat(value, column), true, asc); return;
    case KeyColumnType::Double:
    case KeyColumnType::DateTime: appendFloatKey(out, checkedFloat(value, column), false, asc); return;
    case KeyColumnType::Text:
    case KeyColumnType::Memo: {
        const auto* s = std::get_if<std::u16string>(&value);
        if (!s) throw KeyEncodingError("an index key on a Text column needs text; convert the value first");
        appendTextKey(out, *s, column.sortOrder, asc);
        return;
    }
    case KeyColumnType::Guid: {
        const auto* g = std::get_if<KeyGuid>(&value);
        if (!g) throw KeyEncodingError("an index key on a GUID column needs a GUID");
        // 8 bytes, 0x09, 8 bytes, end byte; descending complements the 16 value bytes only
        // (0x09 stays) and ends with 0xF7 instead of 0x08.
        std::array<std::uint8_t, 16> b = g->bytes;
        if (!asc)
            for (auto& x : b) x = static_cast<std::uint8_t>(~x);
        out.push_back(startFlag(asc));
        out.insert(out.end(), b.begin(), b.begin() + 8);
        out.push_back(0x09);
        out.insert(out.end(), b.begin() + 8, b.end());
        out.push_back(asc ? 0x08 : 0xF7);
        return;
    }
    case KeyColumnType::Numeric: {
        const auto* d = std::get_if<KeyDecimal>(&value);
        if (!d) throw KeyEncodingError("an index key on a Decimal column needs a decimal value");
        // Jet 3/4 order: sign byte and big-endian magnitude, complemented when the sign equals
        // the direction, then the sign byte forced to 0x00 (negative) or 0xFF (positive).
        const bool negative =
            d->negative && std::any_of(d->magnitude.begin(), d->magnitude.end(), [](std::uint8_t x) { return x != 0; });
        out.push_back(startFlag(asc));
        const std::size_t from = out.size();
        out.push_back(negative ? 0x80 : 0x00);
        out.insert(out.end(), d->magnitude.begin(), d->magnitude.end());
        if (negative == asc) complement(out, from);
        out[from] = negative ? 0x00 : 0xFF;
        return;
    }
    case KeyColumnType::Binary:
        throw KeyEncodingError("Access has no index key format for Binary columns; index another column");
    case KeyColumnType::Boolean: break; // handled above
    }
    throw KeyEncodingError("unknown column type " + std::to_string(static_cast<int>(column.type)) + " in an index");
}

std::vector<std::uint8_t> encodeKey(std::span<const KeyColumn> columns, std::span<const KeyValue> values) {
    if (columns.size() != values.size())
        throw KeyEncodingError("an index of " + std::to_string(columns.size()) + " columns got " +
                               std::to_string(values.size()) + " values");
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i < columns.size(); ++i) appendKeyValue(out, columns[i], values[i]);
    return out;
}

std::u16string utf8ToUtf16(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size()) {
        const auto b0 = static_cast<unsigned char>(s[i]);
        if (b0 < 0x80) {
            out.push_back(static_cast<char16_t>(b0));
            ++i;
            continue;
        }
        char32_t cp = 0xFFFD;
        std::size_t len = 1;
        auto cont = [&](std::size_t k) {
            return i + k < s.size() && (static_cast<unsigned char>(s[i + k]) & 0xC0) == 0x80;
        };
        if (b0 < 0x80) {
            cp = b0;
        } else if ((b0 & 0xE0) == 0xC0 && cont(1)) {
            cp = ((b0 & 0x1F) << 6) | (s[i + 1] & 0x3F);
            len = 2;
            if (cp < 0x80) cp = 0xFFFD;
        } else if ((b0 & 0xF0) == 0xE0 && cont(1) && cont(2)) {
            cp = ((b0 & 0x0F) << 12) | ((s[i + 1] & 0x3F) << 6) | (s[i + 2] & 0x3F);
            len = 3;
            if (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
        } else if ((b0 & 0xF8) == 0xF0 && cont(1) && cont(2) && cont(3)) {
            cp = ((b0 & 0x07) << 18) | ((s[i + 1] & 0x3F) << 12) | ((s[i + 2] & 0x3F) << 6) | (s[i + 3] & 0x3F);
            len = 4;
            if (cp < 0x10000 || cp > 0x10FFFF) cp = 0xFFFD;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += len;
    }
    return out;
}

std::size_t KeyReader::segmentLength(const KeyColumn& column) const {
    checkAvailable(key_, pos_, 1);
    const std::uint8_t flag = key_[pos_];
    const bool isBoolean = column.type == KeyColumnType::Boolean;
    if (!isBoolean && (flag == kKeyAscendingNull || flag == kKeyDescendingNull)) return 1;
    if (flag != kKeyAscendingStart && flag != kKeyDescendingStart)
        throw FormatError({}, std::nullopt,
                          "index key has the entry flag " + std::to_string(flag) + " at byte " + std::to_string(pos_) +
                              "; the index page is damaged");
    const int width = fixedWidth(column.type);
    if (width > 0) {
        checkAvailable(key_, pos_, 1 + static_cast<std::size_t>(width));
        return 1 + static_cast<std::size_t>(width);
    }
    if (column.type != KeyColumnType::Text && column.type != KeyColumnType::Memo)
        throw KeyEncodingError(std::string("cannot read index keys of ") + typeName(column.type) + " columns");
    const bool asc = flag == kKeyAscendingStart;
    std::size_t i = pos_ + 1;
    if (column.sortOrder == TextSortOrder::GeneralLegacy) {
        // Ascending ends at the first 0x00. Descending: the complemented part never holds 0xFF
        // (the plain part never holds 0x00), so the end is the first 0xFF and the 0x00 after it.
        const std::uint8_t stop = asc ? 0x00 : 0xFF;
        while (i < key_.size() && key_[i] != stop) ++i;
        checkAvailable(key_, i, asc ? 1 : 2);
        return (i - pos_) + (asc ? 1 : 2);
    }
    // Access 97: inline codes are >= 0x10; the first byte below 0x10 is either the end (0x00) or
    // the first byte of the nibble string, which ends with a zero nibble.
    const std::uint8_t mask = asc ? 0x00 : 0xFF;
    while (i < key_.size() && (key_[i] ^ mask) >= 0x10) ++i;
    checkAvailable(key_, i, 1);
    if ((key_[i] ^ mask) == 0x00) return i + 1 - pos_;
    // Nibble string: 0 then codes; ends at a byte whose low nibble is 0 or at a 0x00 byte.
    ++i;
    while (true) {
        checkAvailable(key_, i, 1);
        const std::uint8_t b = key_[i] ^ mask;
        if ((b & 0xF0) == 0 || (b & 0x0F) == 0) return i + 1 - pos_;
        ++i;
    }
}

KeyValue KeyReader::next(const KeyColumn& column) {
    const std::size_t len = segmentLength(column);
    const std::uint8_t flag = key_[pos_];
    const std::uint8_t* p = key_.data() + pos_ + 1;
    const bool asc = flag == kKeyAscendingStart || flag == kKeyAscendingNull;
    const std::uint8_t mask = asc ? 0x00 : 0xFF;
    auto at = [&](std::size_t k) { return static_cast<std::uint8_t>(p[k] ^ mask); };
    KeyValue result;
    if (len == 1) {
        pos_ += len;
        return std::monostate{};
    }
    switch (column.type) {
    case KeyColumnType::Boolean: result = (at(0) == 0x00); break;
    case KeyColumnType::Byte:
    case KeyColumnType::Integer:
    case KeyColumnType::Long:
    case KeyColumnType::Currency: {
        const int width = fixedWidth(column.type);
        std::uint64_t bits = 0;
        for (int k = 0; k < width; ++k) bits = (bits << 8) | at(static_cast<std::size_t>(k));
        if (width == 1) {
            result = static_cast<std::int64_t>(bits);
        } else {
            bits ^= std::uint64_t{1} << (8 * width - 1);
            // sign-extend
            const int shift = 64 - 8 * width;
            result = static_cast<std::int64_t>(bits << shift) >> shift;
        }
        break;
    }
    case KeyColumnType::Single:
    case KeyColumnType::Double:
    case KeyColumnType::DateTime: {
        const int width = fixedWidth(column.type);
        std::uint64_t bits = 0;
        for (int k = 0; k < width; ++k) bits = (bits << 8) | at(static_cast<std::size_t>(k));
        const std::uint64_t top = std::uint64_t{1} << (8 * width - 1);
        if (bits & top) bits ^= top; // was non-negative
        else bits = ~bits & (width == 8 ? ~std::uint64_t{0} : 0xFFFFFFFFull);
        if (width == 4) result = static_cast<double>(std::bit_cast<float>(static_cast<std::uint32_t>(bits)));
        else result = std::bit_cast<double>(bits);
        break;
    }
    case KeyColumnType::Guid: {
        KeyGuid g;
        for (int k = 0; k < 8; ++k) g.bytes[k] = at(static_cast<std::size_t>(k));
        for (int k = 0; k < 8; ++k) g.bytes[8 + k] = at(static_cast<std::size_t>(9 + k));
        result = g;
        break;
    }
    case KeyColumnType::Numeric: {
        KeyDecimal d;
        d.negative = p[0] == 0x00;
        const std::uint8_t m = (d.negative == asc) ? 0xFF : 0x00;
        for (int k = 0; k < 16; ++k) d.magnitude[k] = static_cast<std::uint8_t>(p[1 + k] ^ m);
        result = d;
        break;
    }
    default:
        throw KeyEncodingError(std::string("text index keys cannot be turned back into text (") +
                               typeName(column.type) + " column); skip the segment instead");
    }
    pos_ += len;
    return result;
}

std::optional<std::int64_t> decodeIntegerKey(std::span<const std::uint8_t> key, KeyColumnType type, bool ascending) {
    KeyReader reader(key);
    const KeyValue v = reader.next(KeyColumn{type, ascending, TextSortOrder::GeneralLegacy});
    if (const auto* i = std::get_if<std::int64_t>(&v)) return *i;
    if (std::holds_alternative<std::monostate>(v)) return std::nullopt;
    throw KeyEncodingError(std::string(typeName(type)) + " is not an integer type");
}

std::optional<double> decodeFloatKey(std::span<const std::uint8_t> key, KeyColumnType type, bool ascending) {
    KeyReader reader(key);
    const KeyValue v = reader.next(KeyColumn{type, ascending, TextSortOrder::GeneralLegacy});
    if (const auto* d = std::get_if<double>(&v)) return *d;
    if (std::holds_alternative<std::monostate>(v)) return std::nullopt;
    throw KeyEncodingError(std::string(typeName(type)) + " is not a floating-point type");
}

} // namespace jet
