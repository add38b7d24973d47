// Table definitions (see table_def_reader.h).
#include "jet/error.h"
#include "table/table_def_reader.h"

#include "file/bytes.h"
#include "database/database_impl.h"

#include <algorithm>

namespace jet::detail {

// Table definition page (type 0x02). A long definition continues on further pages; each
// continuation page has the same 8-byte head, and its bytes from offset 8 on follow the
// previous page's bytes.
//
// OFFSET  SIZE  MEANING
// 0       1     page type 0x02
// 1       1     0x01
// 2       2     Jet 3: "VC"; Jet 4: free space
// 4       4     next definition page (0: none)
std::vector<uint8_t> readTableDefBytes(DatabaseImpl& db, uint32_t first) {
    auto& file = db.file();
    std::vector<uint8_t> out;
    uint32_t pageNo = first;
    for (uint32_t hops = 0; pageNo != 0; ++hops) {
        if (hops > file.readablePageCount()) file.corrupt(first, "has a table definition chain that loops");
        auto page = file.page(pageNo);
        if ((*page)[0] != page_type::TableDefinition) {
            file.corrupt(pageNo, "should hold a table definition but has page type " + std::to_string((*page)[0]));
        }
        if (out.empty()) out.assign(page->begin(), page->end());
        else out.insert(out.end(), page->begin() + 8, page->end());
        pageNo = u32(*page, 4);
    }
    return out;
}

namespace {

// Bounds-checked reading of the definition bytes.
class DefReader {
public:
    DefReader(const PageFile& file, uint32_t page, std::span<const uint8_t> b) : file_(file), page_(page), b_(b) {}
    void need(size_t at, size_t len) const {
        if (!fits(b_.size(), at, len)) file_.corrupt(page_, "has a table definition that ends early");
    }
    uint8_t u8at(size_t at) const {
        need(at, 1);
        return b_[at];
    }
    uint16_t u16at(size_t at) const {
        need(at, 2);
        return u16(b_, at);
    }
    uint32_t u32at(size_t at) const {
        need(at, 4);
        return u32(b_, at);
    }
    std::span<const uint8_t> bytes(size_t at, size_t len) const {
        need(at, len);
        return b_.subspan(at, len);
    }
    [[noreturn]] void fail(const std::string& what) const { file_.corrupt(page_, what); }

private:
    const PageFile& file_;
    uint32_t page_;
    std::span<const uint8_t> b_;
};

} // namespace

// Table definition block (after the 8-byte page head; offsets from the page start).
//
// OFFSET (J3/J4)  SIZE  MEANING
// 8 / 8           4     length of the definition
// -  / 12         4     unknown
// 12 / 16         4     number of rows (kept by Access; may be stale)
// 16 / 20         4     next AutoNumber value
// 20 / 40         1     table type: 0x4E user, 0x53 system
// 21 / 41         2     max columns (deleted columns included)
// 23 / 43         2     number of variable-length columns
// 25 / 45         2     number of columns
// 27 / 47         4     number of logical indexes
// 31 / 51         4     number of physical indexes
// 35 / 55         4     row pointer of the owned-pages usage map
// 39 / 59         4     row pointer of the free-space usage map
// 43 / 63               then, in order:
//   physical index counts, 8 / 12 bytes each (row counts; not needed)
//   columns, 18 / 25 bytes each:
//     OFFSET (J3/J4) SIZE MEANING
//     0 / 0          1    column type
//     1 / 5          2    column number (null-mask bit; counts deleted columns)
//     3 / 7          2    slot in the variable-column offset table
//     9 / 11         2    text: collation (sort order)
//     11 / 11        1    Numeric: precision   (Jet 3 text: 2-byte code page at 11)
//     12 / 12        1    Numeric: scale
//     13 / 15        1    flags (0x01 fixed, 0x02 nullable, 0x04 AutoNumber, 0x40 GUID auto)
//     - / 16         1    Jet 4 flags (0x01 compressed Unicode)
//     14 / 21        2    offset in the fixed-data area
//     16 / 23        2    length in bytes
//   column names: 1-byte length + code-page text (Jet 3) / 2-byte length + UCS-2 (Jet 4)
//   physical indexes, 39 / 52 bytes each:
//     Jet 4: 4 unknown; then 10 x (2-byte column number, 0xFFFF = unused;
//     1-byte flags, 0x01 ascending); 4 usage map row pointer; 4 first (root) index page;
//     Jet 4: 4 unknown; 1 index flags (0x01 unique, 0x02 ignore nulls, 0x08 required);
//     Jet 4: 5 unknown
//   logical indexes, 20 / 28 bytes each:
//     Jet 4: 4 unknown; 4 index number; 4 physical index number; 1 related table type;
//     4 related index number (-1: none); 4 related table page; 1 cascade updates;
//     1 cascade deletes; 1 index type (1 primary key, 2 foreign key); Jet 4: 4 unknown
//   logical index names (like column names)
std::shared_ptr<TableDef> readTableDef(DatabaseImpl& db, uint32_t page, std::string name) {
    auto& file = db.file();
    const auto& f = file.format();
    const auto bytes = readTableDefBytes(db, page);
    DefReader r(file, page, bytes);

    auto t = std::make_shared<TableDef>();
    t->name = std::move(name);
    t->definitionPage = page;
    t->storedRowCount = r.u32at(f.tdefRowCountOffset);
    t->nextAutoNumber = r.u32at(f.tdefAutoNumberOffset);
    t->tableType = r.u8at(f.tdefTableTypeOffset);
    t->maxColumns = r.u16at(f.tdefMaxColsOffset);
    t->varColumnCount = r.u16at(f.tdefVarColsOffset);
    const uint16_t numCols = r.u16at(f.tdefNumColsOffset);
    const uint32_t numIdx = r.u32at(f.tdefNumIndexesOffset);
    const uint32_t numReal = r.u32at(f.tdefNumRealIndexesOffset);
    t->usageMap = r.u32at(f.tdefUsageMapOffset);
    t->freeSpaceMap = r.u32at(f.tdefFreeMapOffset);
    t->physicalIndexCount = numReal;
    if (numIdx > 1000 || numReal > 1000 || numReal > numIdx + 1000) {
        r.fail("has a table definition with an impossible index count");
    }

    size_t at = f.tdefBlockEnd + static_cast<size_t>(numReal) * f.realIndexEntrySize;
    r.need(at, static_cast<size_t>(numCols) * f.columnEntrySize);
    t->columns.resize(numCols);
    for (auto& c : t->columns) {
        const uint8_t type = r.u8at(at + f.colTypeOffset);
        if (!isKnownColumnType(type)) {
            throw UnsupportedError(file.fileName(), page,
                                   "page " + std::to_string(page) + " of " + file.fileName() +
                                       " defines a column of unknown type " + std::to_string(type) +
                                       "; this engine reads the types of Access 97 to 2003.");
        }
        c.type = static_cast<ColumnType>(type);
        c.number = r.u16at(at + f.colNumberOffset);
        c.varIndex = r.u16at(at + f.colVarIndexOffset);
        c.sortOrder = r.u16at(at + f.colSortOrderOffset);
        if (f.colCodePageOffset != 0xFFFF) c.codePage = r.u16at(at + f.colCodePageOffset);
        if (c.type == ColumnType::Numeric) {
            c.precision = r.u8at(at + f.colPrecisionOffset);
            c.scale = r.u8at(at + f.colScaleOffset);
        }
        c.flags = r.u8at(at + f.colFlagsOffset);
        if (f.colExtFlagsOffset != 0xFFFF) c.extFlags = r.u8at(at + f.colExtFlagsOffset);
        c.fixedOffset = r.u16at(at + f.colFixedOffsetOffset);
        c.length = r.u16at(at + f.colLengthOffset);
        at += f.columnEntrySize;
    }
    auto readName = [&]() {
        size_t len = f.nameLengthSize == 1 ? r.u8at(at) : r.u16at(at);
        at += f.nameLengthSize;
        auto s = db.decodeText(r.bytes(at, len));
        at += len;
        return s;
    };
    for (auto& c : t->columns) c.name = readName();
    // Rows store columns by number; the definition order follows it.
    std::stable_sort(t->columns.begin(), t->columns.end(),
                     [](const ColumnDef& a, const ColumnDef& b) { return a.number < b.number; });

    struct Physical {
        std::vector<IndexColumn> columns;
        uint32_t usageMap = 0, root = 0;
        uint8_t flags = 0;
    };
    std::vector<Physical> physical(numReal);
    for (auto& p : physical) {
        r.need(at, f.physicalIndexEntrySize);
        size_t q = at + f.physicalIndexLeadSkip;
        for (int i = 0; i < 10; ++i, q += 3) {
            const uint16_t num = r.u16at(q);
            if (num == 0xFFFF) continue;
            IndexColumn ic;
            ic.columnNumber = num;
            ic.ascending = (r.u8at(q + 2) & 0x01) != 0;
            for (const auto& c : t->columns) {
                if (c.number == num) ic.columnName = c.name;
            }
            p.columns.push_back(std::move(ic));
        }
        p.usageMap = r.u32at(q);
        p.root = r.u32at(q + 4);
        q += 8;
        if (!f.isJet3()) q += 4;
        p.flags = r.u8at(q);
        at += f.physicalIndexEntrySize;
    }
    t->indexes.resize(numIdx);
    for (auto& ix : t->indexes) {
        r.need(at, f.logicalIndexEntrySize);
        size_t q = at + f.logicalIndexLeadSkip;
        ix.number = r.u32at(q);
        ix.physicalNumber = r.u32at(q + 4);
        ix.relatedIndex = static_cast<int32_t>(r.u32at(q + 9));
        ix.relatedTablePage = r.u32at(q + 13);
        ix.cascadeUpdates = r.u8at(q + 17) != 0;
        ix.cascadeDeletes = r.u8at(q + 18) != 0;
        ix.type = r.u8at(q + 19);
        if (ix.physicalNumber >= physical.size()) {
            r.fail("has an index that refers to a missing physical index");
        }
        const auto& p = physical[ix.physicalNumber];
        ix.columns = p.columns;
        ix.usageMap = p.usageMap;
        ix.rootPage = p.root;
        ix.flags = p.flags;
        at += f.logicalIndexEntrySize;
    }
    for (auto& ix : t->indexes) ix.name = readName();
    return t;
}

} // namespace jet::detail
