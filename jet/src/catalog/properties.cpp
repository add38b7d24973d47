// Object properties (see properties.h).
//
// Layout (little-endian), as Access 2000 stores it:
//   "MR2\0" (Jet 4) or "KKD\0" (Jet 3), then blocks:
//   u32 block length (this field included), u16 block type
//     type 0x80: the property names, each u16 byte length + UTF-16LE name; properties
//                below refer to them by position
//     type 0x00: the object's own properties; type 0x01: one column's properties, then
//       u32 header length (this field, the name length and the name), u16 name byte
//       length, the object or column name in UTF-16LE, then properties:
//       u16 entry length (all of it), u8 flags (1 for the ones Access's designer sets),
//       u8 data type (a column type code: 0x01 Yes/No, 0x0A Text, ...), u16 name
//       position, u16 value length, the value
// "Required" is a Yes/No property: one byte, 0 or 1 (mdbtools shows 1 as NOT NULL).
#include "catalog/properties.h"

#include "jet/error.h"

#include "file/bytes.h"

#include <cstring>

namespace jet::detail {

namespace {

constexpr uint16_t kNamesBlock = 0x80;
constexpr uint16_t kColumnBlock = 0x01;
constexpr uint8_t kYesNo = 0x01;

std::string utf16Name(std::span<const uint8_t> b) {
    std::u16string s;
    for (size_t i = 0; i + 1 < b.size(); i += 2) s.push_back(static_cast<char16_t>(b[i] | (b[i + 1] << 8)));
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        uint32_t c = s[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size()) c = 0x10000 + ((c - 0xD800) << 10) + (s[++i] - 0xDC00);
        if (c < 0x80) out += static_cast<char>(c);
        else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

void appendUtf16(Bytes& out, const std::string& utf8) {
    size_t i = 0;
    while (i < utf8.size()) {
        const auto b = static_cast<uint8_t>(utf8[i]);
        uint32_t c = b;
        size_t n = 1;
        if (b >= 0xF0) {
            c = b & 0x07;
            n = 4;
        } else if (b >= 0xE0) {
            c = b & 0x0F;
            n = 3;
        } else if (b >= 0xC0) {
            c = b & 0x1F;
            n = 2;
        }
        for (size_t k = 1; k < n && i + k < utf8.size(); ++k) c = (c << 6) | (static_cast<uint8_t>(utf8[i + k]) & 0x3F);
        i += n;
        auto put = [&](uint32_t u) {
            out.push_back(static_cast<uint8_t>(u));
            out.push_back(static_cast<uint8_t>(u >> 8));
        };
        if (c >= 0x10000) {
            c -= 0x10000;
            put(0xD800 + (c >> 10));
            put(0xDC00 + (c & 0x3FF));
        } else {
            put(c);
        }
    }
}

void append16(Bytes& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void append32(Bytes& out, uint32_t v) {
    append16(out, v & 0xFFFF);
    append16(out, v >> 16);
}

} // namespace

std::vector<std::string> requiredColumns(std::span<const uint8_t> blob) {
    std::vector<std::string> out;
    if (blob.empty()) return out;
    // A blob that is not what it should be loses the NOT NULL rules it holds: said, not skipped.
    auto damaged = [](const std::string& what) {
        throw FormatError(std::string(), std::nullopt, "the column properties are damaged: " + what);
    };
    if (blob.size() < 4 || (std::memcmp(blob.data(), "MR2", 4) != 0 && std::memcmp(blob.data(), "KKD", 4) != 0))
        damaged("they do not begin with a property-blob signature");
    std::vector<std::string> names;
    size_t p = 4;
    while (p + 6 <= blob.size()) {
        const uint32_t len = u32(blob, p);
        const uint16_t type = u16(blob, p + 4);
        if (len < 6 || p + len > blob.size())
            damaged("a block of " + std::to_string(len) + " bytes at byte " + std::to_string(p) + " does not fit");
        const auto block = blob.subspan(p + 6, len - 6);
        p += len;
        if (type == kNamesBlock) {
            for (size_t q = 0; q + 2 <= block.size();) {
                const uint16_t n = u16(block, q);
                if (q + 2 + n > block.size()) damaged("a property name runs past its block");
                names.push_back(utf16Name(block.subspan(q + 2, n)));
                q += 2u + n;
            }
            continue;
        }
        if (type != kColumnBlock || block.size() < 6) continue;
        const uint32_t headerLen = u32(block, 0);
        const uint16_t nameLen = u16(block, 4);
        if (headerLen < 6u + nameLen || headerLen > block.size()) damaged("a column block's header does not fit");
        const std::string column = utf16Name(block.subspan(6, nameLen));
        for (size_t q = headerLen; q + 8 <= block.size();) {
            const uint16_t entryLen = u16(block, q);
            const uint8_t dataType = block[q + 3];
            const uint16_t nameIndex = u16(block, q + 4);
            const uint16_t valueLen = u16(block, q + 6);
            if (entryLen < 8 || q + entryLen > block.size() || 8u + valueLen > entryLen)
                damaged("a property of column [" + column + "] does not fit its block");
            if (nameIndex < names.size() && names[nameIndex] == "Required" && dataType == kYesNo && valueLen >= 1 &&
                block[q + 8] != 0)
                out.push_back(column);
            q += entryLen;
        }
    }
    return out;
}

Bytes encodeRequiredColumns(const std::vector<std::string>& columns) {
    Bytes out = {'M', 'R', '2', 0};
    Bytes names;
    Bytes required;
    appendUtf16(required, "Required");
    append16(names, static_cast<uint32_t>(required.size()));
    names.insert(names.end(), required.begin(), required.end());
    append32(out, static_cast<uint32_t>(6 + names.size()));
    append16(out, kNamesBlock);
    out.insert(out.end(), names.begin(), names.end());
    for (const auto& c : columns) {
        Bytes name;
        appendUtf16(name, c);
        Bytes block;
        append32(block, static_cast<uint32_t>(6 + name.size()));
        append16(block, static_cast<uint32_t>(name.size()));
        block.insert(block.end(), name.begin(), name.end());
        // Required = Yes, flagged as set by the designer, as Access writes it.
        append16(block, 9);
        block.push_back(0x01);
        block.push_back(kYesNo);
        append16(block, 0); // "Required" is name 0
        append16(block, 1);
        block.push_back(0x01);
        append32(out, static_cast<uint32_t>(6 + block.size()));
        append16(out, kColumnBlock);
        out.insert(out.end(), block.begin(), block.end());
    }
    return out;
}

} // namespace jet::detail
