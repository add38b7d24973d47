// Encoding table definitions (see table_def_writer.h for the layout).
#include "table/table_def_writer.h"

#include "file/bytes.h"
#include "jet/index_keys.h"

#include <algorithm>
#include <map>
#include <stdexcept>

namespace jet::detail {

namespace {

constexpr uint32_t kTableMagic = 1625;
constexpr uint32_t kIndexMagic = 1923;
constexpr uint16_t kGeneralSortOrder = 0x0409;
constexpr size_t kMaxIndexColumns = 10;
constexpr uint8_t kSystemTableType = 0x53;
constexpr uint16_t kJet3ColumnConstant = 1;     // at column entry offset 7 in every Access 97 file seen
constexpr uint16_t kJet3DefaultCodePage = 1252; // the column code page Access 97 gives Western text

struct Out {
    std::vector<uint8_t>& b;
    void u8(uint8_t v) { b.push_back(v); }
    void u16(uint16_t v) {
        b.push_back(static_cast<uint8_t>(v));
        b.push_back(static_cast<uint8_t>(v >> 8));
    }
    void u32(uint32_t v) {
        for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    void zeros(size_t n) { b.insert(b.end(), n, 0); }
    void bytes(std::span<const uint8_t> v) { b.insert(b.end(), v.begin(), v.end()); }
};

void putName(Out& out, std::string_view name) {
    const std::vector<uint8_t> ucs2 = toUcs2(name);
    out.u16(static_cast<uint16_t>(ucs2.size()));
    out.bytes(ucs2);
}

} // namespace

namespace {

// Physical indexes in number order; several logical indexes may share one.
std::map<uint32_t, const IndexDef*> physicalIndexes(const TableDef& table) {
    std::map<uint32_t, const IndexDef*> physical;
    for (const IndexDef& idx : table.indexes) physical.emplace(idx.physicalNumber, &idx);
    uint32_t expected = 0;
    for (const auto& [number, idx] : physical) {
        if (number != expected++)
            throw FormatError(
                {}, table.definitionPage,
                "physical index numbers must be 0..n-1 (the file looks damaged; tablor-mdb check tells more)");
        if (idx->columns.size() > kMaxIndexColumns)
            throw FormatError(
                {}, table.definitionPage,
                "an index has more than 10 columns (the file looks damaged; tablor-mdb check tells more)");
    }
    return physical;
}

void putJet3Name(Out& out, const Jet3Charset& charset, std::string_view name) {
    std::vector<uint8_t> bytes;
    uint32_t bad = 0;
    if (!charset.encode(name, bytes, bad) || bytes.size() > 255)
        throw std::invalid_argument("the name \"" + std::string(name) + "\" cannot be stored in code page " +
                                    charset.name() + " within 255 bytes");
    out.u8(static_cast<uint8_t>(bytes.size()));
    out.bytes(bytes);
}

// The ten column slots of a physical index, as both layouts keep them: the column number and
// the direction, unused slots 0xFFFF.
void putIndexColumns(Out& out, const IndexDef& idx) {
    for (size_t k = 0; k < kMaxIndexColumns; ++k) {
        if (k < idx.columns.size()) {
            out.u16(idx.columns[k].columnNumber);
            out.u8(idx.columns[k].ascending ? 0x01 : 0x00);
        } else {
            out.u16(0xFFFF);
            out.u8(0);
        }
    }
}

uint16_t variableColumnCount(const TableDef& table) {
    uint16_t count = 0;
    for (const ColumnDef& c : table.columns) count = static_cast<uint16_t>(count + (c.isFixed() ? 0 : 1));
    return count;
}

// The counts and map pages that both layouts keep after their header, in the same order.
void putTableCounts(Out& out, const TableDef& table, size_t physicalIndexCount) {
    out.u8(table.tableType);
    out.u16(table.maxColumns);
    out.u16(variableColumnCount(table));
    out.u16(static_cast<uint16_t>(table.columns.size()));
    out.u32(static_cast<uint32_t>(table.indexes.size()));
    out.u32(static_cast<uint32_t>(physicalIndexCount));
    out.u32(table.usageMap);
    out.u32(table.freeSpaceMap);
}

} // namespace

std::vector<uint8_t> encodeJet3TableDefinition(const TableDef& table, const TableDefExtras& extras,
                                               const Jet3Charset& charset) {
    const auto physical = physicalIndexes(table);
    std::vector<uint8_t> buf;
    buf.reserve(1024);
    Out out{buf};
    out.u8(page_type::TableDefinition);
    out.u8(0x01);
    out.u8('V');
    out.u8('C');
    out.u32(0); // next page, per page
    out.u32(0); // length, filled in at the end
    out.u32(table.storedRowCount);
    out.u32(table.nextAutoNumber);
    putTableCounts(out, table, physical.size());
    for (const auto& [number, idx] : physical) {
        out.u32(0);
        out.u32(number < extras.physical.size() ? extras.physical[number].uniqueEntries : 0);
    }
    for (size_t i = 0; i < table.columns.size(); ++i) {
        const ColumnDef& c = table.columns[i];
        out.u8(static_cast<uint8_t>(c.type));
        out.u16(c.number);
        // Access 97 fills the variable slot of fixed columns and the fixed offset of variable
        // ones too (with values no reader uses); they are written back as they were read.
        out.u16(c.varIndex);
        out.u16(static_cast<uint16_t>(table.tableType == kSystemTableType ? 0 : i)); // as Access 97 writes it
        out.u16(kJet3ColumnConstant);
        out.u16(c.sortOrder ? c.sortOrder : kGeneralSortOrder);
        if (c.type == ColumnType::Numeric) {
            out.u8(c.precision);
            out.u8(c.scale);
        } else {
            out.u16(c.codePage ? c.codePage : kJet3DefaultCodePage);
        }
        out.u8(c.flags);
        out.u16(c.fixedOffset);
        out.u16(c.isLongValue() ? 0 : c.length);
    }
    for (const ColumnDef& c : table.columns) putJet3Name(out, charset, c.name);
    for (const auto& [number, idx] : physical) {
        putIndexColumns(out, *idx);
        out.u32(idx->usageMap);
        out.u32(idx->rootPage);
        out.u8(idx->flags);
    }
    for (const IndexDef& idx : table.indexes) {
        out.u32(idx.number);
        out.u32(idx.physicalNumber);
        out.u8(0);
        out.u32(static_cast<uint32_t>(idx.relatedIndex));
        out.u32(idx.relatedTablePage);
        out.u8(idx.isForeignKey() ? (idx.cascadeUpdates ? 1 : 0) : 4);
        out.u8(idx.isForeignKey() ? (idx.cascadeDeletes ? 1 : 0) : 4);
        out.u8(idx.type);
    }
    for (const IndexDef& idx : table.indexes) putJet3Name(out, charset, idx.name);
    for (const LongValueColumnMaps& m : extras.longValueMaps) {
        out.u16(m.columnNumber);
        out.u32(m.usedPages);
        out.u32(m.freePages);
    }
    out.u16(0xFFFF);
    put32(std::span<uint8_t>(buf), 8, static_cast<uint32_t>(buf.size()));
    return buf;
}

std::vector<uint8_t> toUcs2(std::string_view utf8) {
    const std::u16string units = utf8ToUtf16(utf8);
    std::vector<uint8_t> out;
    out.reserve(units.size() * 2);
    for (char16_t c : units) {
        out.push_back(static_cast<uint8_t>(c & 0xFF));
        out.push_back(static_cast<uint8_t>(c >> 8));
    }
    return out;
}

std::vector<uint8_t> encodeTableDefinition(const Format& format, const TableDef& table, const TableDefExtras& extras,
                                           const Jet3Charset* charset) {
    if (format.isJet3()) {
        if (!charset) throw std::logic_error("encodeTableDefinition: Access 97 names need the file's code page");
        return encodeJet3TableDefinition(table, extras, *charset);
    }
    const auto physical = physicalIndexes(table);
    std::vector<uint8_t> buf;
    buf.reserve(1024);
    Out out{buf};
    out.u8(page_type::TableDefinition);
    out.u8(0x01);
    out.u16(0); // free space, per page
    out.u32(0); // next page, per page
    out.u32(0); // length, filled in at the end
    out.u32(kTableMagic);
    out.u32(table.storedRowCount);
    out.u32(table.nextAutoNumber);
    out.u8(0x01);
    out.zeros(15);
    putTableCounts(out, table, physical.size());
    for (const auto& [number, idx] : physical) {
        out.u32(0);
        out.u32(number < extras.physical.size() ? extras.physical[number].uniqueEntries : 0);
        out.u32(0);
    }
    for (size_t i = 0; i < table.columns.size(); ++i) {
        const ColumnDef& c = table.columns[i];
        out.u8(static_cast<uint8_t>(c.type));
        out.u32(kTableMagic);
        out.u16(c.number);
        out.u16(c.isFixed() ? 0 : c.varIndex);
        out.u16(static_cast<uint16_t>(i));
        if (c.type == ColumnType::Numeric) {
            out.u8(c.precision);
            out.u8(c.scale);
            out.u16(0);
        } else {
            out.u16(c.sortOrder ? c.sortOrder : kGeneralSortOrder);
            out.u16(0); // sort order version
        }
        out.u8(c.flags);
        out.u8(c.extFlags);
        out.u32(0);
        out.u16(c.isFixed() ? c.fixedOffset : 0);
        out.u16(c.isLongValue() ? 0 : c.length);
    }
    for (const ColumnDef& c : table.columns) putName(out, c.name);
    for (const auto& [number, idx] : physical) {
        out.u32(kIndexMagic);
        putIndexColumns(out, *idx);
        out.u32(idx->usageMap);
        out.u32(idx->rootPage);
        out.u32(0);
        out.u8(static_cast<uint8_t>(0x80 | idx->flags));
        out.zeros(5);
    }
    for (const IndexDef& idx : table.indexes) {
        out.u32(kTableMagic);
        out.u32(idx.number);
        out.u32(idx.physicalNumber);
        out.u8(0);
        out.u32(static_cast<uint32_t>(idx.relatedIndex));
        out.u32(idx.relatedTablePage);
        out.u8(idx.isForeignKey() ? (idx.cascadeUpdates ? 1 : 0) : 4);
        out.u8(idx.isForeignKey() ? (idx.cascadeDeletes ? 1 : 0) : 4);
        out.u8(idx.type);
        out.u32(0);
    }
    for (const IndexDef& idx : table.indexes) putName(out, idx.name);
    for (const LongValueColumnMaps& m : extras.longValueMaps) {
        out.u16(m.columnNumber);
        out.u32(m.usedPages);
        out.u32(m.freePages);
    }
    out.u16(0xFFFF);
    put32(std::span<uint8_t>(buf), 8, static_cast<uint32_t>(buf.size()));
    return buf;
}

TableDefExtras parseTableDefExtras(const Format& f, const TableDef& def, std::span<const uint8_t> b) {
    TableDefExtras extras;
    const uint32_t nPhysical = def.physicalIndexCount;
    extras.physical.resize(nPhysical);
    for (uint32_t i = 0; i < nPhysical; ++i) {
        const size_t at = f.tdefBlockEnd + i * f.realIndexEntrySize + 4;
        if (at + 4 <= b.size()) extras.physical[i].uniqueEntries = u32(b, at);
    }
    // Walk to the end: columns, names, physical and logical indexes, index names.
    auto nameLength = [&](size_t at) -> size_t { return f.nameLengthSize == 1 ? b[at] : u16(b, at); };
    size_t at = f.tdefBlockEnd + nPhysical * f.realIndexEntrySize;
    const size_t nCols = u16(b, f.tdefNumColsOffset);
    const size_t nLogical = u32(b, f.tdefNumIndexesOffset);
    at += nCols * f.columnEntrySize;
    for (size_t i = 0; i < nCols && at + f.nameLengthSize <= b.size(); ++i) at += f.nameLengthSize + nameLength(at);
    at += nPhysical * f.physicalIndexEntrySize + nLogical * f.logicalIndexEntrySize;
    for (size_t i = 0; i < nLogical && at + f.nameLengthSize <= b.size(); ++i) at += f.nameLengthSize + nameLength(at);
    while (at + 2 <= b.size()) {
        const uint16_t col = u16(b, at);
        if (col == 0xFFFF || at + 10 > b.size()) break;
        extras.longValueMaps.push_back({col, u32(b, at + 2), u32(b, at + 6)});
        at += 10;
    }
    return extras;
}

size_t tableDefinitionPagesNeeded(const Format& format, size_t streamLength) {
    const size_t ps = format.pageSize;
    if (streamLength <= ps) return 1;
    return 1 + (streamLength - ps + (ps - 8) - 1) / (ps - 8);
}

std::vector<std::vector<uint8_t>> paginateTableDefinition(const Format& format, std::span<const uint8_t> stream,
                                                          std::span<const uint32_t> pages) {
    const size_t ps = format.pageSize;
    const size_t n = tableDefinitionPagesNeeded(format, stream.size());
    if (pages.size() != n) throw std::logic_error("paginateTableDefinition: wrong number of pages");
    std::vector<std::vector<uint8_t>> out;
    size_t pos = 0;
    for (size_t i = 0; i < n; ++i) {
        std::vector<uint8_t> page(ps, 0);
        size_t used = 0;
        if (i == 0) {
            used = std::min(ps, stream.size());
            std::copy(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(used), page.begin());
            pos = used;
        } else {
            page[0] = page_type::TableDefinition;
            page[1] = 0x01;
            const size_t take = std::min(ps - 8, stream.size() - pos);
            std::copy(stream.begin() + static_cast<std::ptrdiff_t>(pos),
                      stream.begin() + static_cast<std::ptrdiff_t>(pos + take), page.begin() + 8);
            pos += take;
            used = 8 + take;
        }
        if (format.isJet3()) {
            page[2] = 'V'; // Access 97 keeps "VC" here, not the free space
            page[3] = 'C';
        } else {
            put16(std::span<uint8_t>(page), 2, static_cast<uint16_t>(ps - used >= 8 ? ps - used - 8 : 0));
        }
        put32(std::span<uint8_t>(page), 4, i + 1 < n ? pages[i + 1] : 0);
        out.push_back(std::move(page));
    }
    return out;
}

} // namespace jet::detail
