// The integrity check (see check.h).
#include "jet/check.h"
#include "jet/error.h"

#include "file/bytes.h"
#include "database/database_impl.h"
#include "index/index_reader.h"
#include "lval/long_value.h"
#include "table/row_codec.h"
#include "index/row_keys.h"
#include "table/row_locator.h"
#include "map/usage_map.h"
#include "catalog/related_rows.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>

namespace jet {

using namespace detail;

namespace {

struct Checker {
    DatabaseImpl& db;
    CheckReport& report;
    std::map<uint32_t, std::string> owners; // definition page -> table name

    void problem(std::string s) {
        if (report.problems.size() < 1000) report.problems.push_back(std::move(s));
    }

    void note(std::string s) {
        if (report.notes.size() < 1000) report.notes.push_back(std::move(s));
    }

    // Rows of one table as any reader meets them: every data page that names the table as its
    // owner and is not free, every slot not marked deleted, overflow pointers followed. Each
    // such row must be one our reader returns, exactly once: on a page of the usage map, and a
    // moved copy marked deleted so that a scan reaches it only through its pointer. (Access
    // gives pages back to the map of free pages without clearing their rows.) Returns the logical
    // row ids (where an index entry must point).
    std::set<uint32_t> checkRows(const std::shared_ptr<const TableDef>& t, const std::vector<uint32_t>& owned,
                                 std::optional<UsageMap>& freePages) {
        auto& file = db.file();
        std::set<uint32_t> logical;
        std::map<uint32_t, uint32_t> pointerOf; // moved copy -> the overflow row pointing at it
        std::set<uint32_t> copies;              // slots with the deleted flag alone: where moved rows live
        std::set<uint32_t> mapped;
        try {
            UsageMap map(file, t->usageMap);
            for (uint32_t p : map.pages()) mapped.insert(p);
        } catch (const FormatError& e) {
            problem("table \"" + t->name + "\": usage map unreadable: " + e.what());
            return logical;
        }
        const std::string table = "table \"" + t->name + "\"";
        auto at = [](uint32_t page, unsigned slot) { return std::to_string(page) + ":" + std::to_string(slot); };
        RowDecoder decoder(db, *t);
        std::vector<Value> values;
        unsigned left = 0, leftWithRows = 0, leftFree = 0; // pages that left the map but still name the table
        for (uint32_t p : owned) {
            auto page = file.page(p);
            const bool inMap = mapped.count(p) != 0;
            try {
                const uint16_t n = dataPageRowCount(file, *page, p);
                unsigned live = 0;
                for (unsigned s = 0; s < n; ++s) {
                    auto slot = dataPageRow(file, *page, p, s);
                    if (slot.deleted()) {
                        if (inMap && !slot.overflow() && !slot.bytes.empty())
                            copies.insert(RowId{p, static_cast<uint8_t>(s)}.packed());
                        continue;
                    }
                    ++live;
                    if (!inMap) continue;
                    const uint32_t id = RowId{p, static_cast<uint8_t>(s)}.packed();
                    logical.insert(id);
                    if (!slot.overflow()) {
                        decoder.decode(slot.bytes, p, values, true);
                        ++report.rowsChecked;
                        continue;
                    }
                    if (slot.bytes.size() < 4) {
                        problem(table + ": overflow row " + at(p, s) + " is too short for its row pointer");
                        continue;
                    }
                    const RowId target = RowId::fromPacked(u32(slot.bytes, 0));
                    auto row = db.locateRow(RowId{p, static_cast<uint8_t>(s)}, t->definitionPage);
                    if (!row) {
                        problem(table + ": overflow row " + at(p, s) + " points at " + at(target.page, target.slot) +
                                ", which does not exist");
                        continue;
                    }
                    decoder.decode(row->bytes, row->id.page, values, true);
                    ++report.rowsChecked;
                    if (!mapped.count(row->id.page) || (freePages && freePages->contains(row->id.page))) {
                        problem(table + ": overflow row " + at(p, s) + " points at page " +
                                std::to_string(row->id.page) +
                                ", which is not in the table's usage map or is free: the row can be overwritten");
                    }
                    if (auto [it, fresh] = pointerOf.emplace(target.packed(), id); !fresh) {
                        problem(table + ": overflow rows " + at(p, s) + " and " +
                                at(RowId::fromPacked(it->second).page, RowId::fromPacked(it->second).slot) +
                                " point at the same row " + at(target.page, target.slot));
                    }
                }
                if (!inMap && live > 0 && !(freePages && freePages->contains(p))) {
                    problem("page " + std::to_string(p) + " holds " + std::to_string(live) + " live rows of " + table +
                            " but is neither in its usage map nor free: readers that walk the pages return them, "
                            "ours does not");
                } else if (!inMap) {
                    ++left;
                    if (live > 0) ++leftWithRows;
                    if (freePages && freePages->contains(p)) ++leftFree;
                }
            } catch (const FormatError& e) {
                problem(table + ": " + e.what());
            }
        }
        if (left > 0) {
            note(table + ": " + std::to_string(left) + " page" + (left == 1 ? "" : "s") +
                 " no longer in its usage map still name it as owner (" + std::to_string(leftFree) + " free, " +
                 std::to_string(leftWithRows) + " with old rows); Access leaves them until a compact");
        }
        // A moved copy must be marked deleted: else a scan returns it at its own slot as well.
        for (const auto& [target, pointer] : pointerOf) {
            if (logical.erase(target)) {
                const RowId from = RowId::fromPacked(pointer), to = RowId::fromPacked(target);
                problem(table + ": row " + at(to.page, to.slot) + ", the moved copy of row " +
                        at(from.page, from.slot) + ", is not marked deleted: readers return it twice");
            }
        }
        // mdbtools and mdb-reader read a moved row in place and skip the pointer to it, so a
        // copy no pointer leads to is a row for them that is not there for us.
        for (uint32_t c : copies)
            if (!pointerOf.count(c)) {
                const RowId r = RowId::fromPacked(c);
                problem(table + ": row " + at(r.page, r.slot) +
                        " is the copy of a moved row that no overflow row leads to (other readers list it as a row)");
            }
        return logical;
    }

    // The key of an entry must be the encoding of its row's values.
    void checkKey(const TableDef& t, const IndexDef& ix, const IndexEntry& e, RowDecoder& decoder,
                  std::vector<Value>& values, const std::string& where) {
        for (const auto& ic : ix.columns) {
            for (const auto& c : t.columns) {
                if (c.number == ic.columnNumber && c.type == ColumnType::Binary) {
                    ++report.keysNotCompared; // Binary columns have no key encoding
                    return;
                }
            }
        }
        auto row = db.locateRow(e.row, t.definitionPage);
        if (!row) return; // reported by the caller
        decoder.decode(row->bytes, row->id.page, values, true);
        std::vector<uint8_t> expected;
        try {
            expected = rowKey(db.format(), t, ix, values);
        } catch (const std::exception& err) {
            problem(where + ": the key of row " + std::to_string(e.row.page) + ":" + std::to_string(e.row.slot) +
                    " cannot be encoded: " + err.what());
            return;
        }
        ++report.keysCompared;
        if (expected != e.key) {
            problem(where + ": the key of row " + std::to_string(e.row.page) + ":" + std::to_string(e.row.slot) +
                    " is not the encoding of the row's values");
        }
    }

    // The pages above the leaves: a node entry holds the last entry below its child page, a
    // node's tail page is its last child (whose entry the node does not store), and the
    // leaves reached from the root, in order, are the leaf chain. Returns the subtree's last
    // entry (none when it is empty).
    struct Leaf {
        uint32_t page, prev, next;
    };
    std::optional<IndexPageEntry> checkSubtree(uint32_t p, uint32_t owner, unsigned depth, std::vector<Leaf>& leaves,
                                               const std::string& where) {
        if (depth > 32 || leaves.size() > db.file().pageCount()) {
            problem(where + ": the tree below page " + std::to_string(p) + " is deeper than any index");
            return std::nullopt;
        }
        IndexPage page = readIndexPage(db, p, owner);
        if (page.type == page_type::IndexLeaf) {
            leaves.push_back({p, page.prev, page.next});
            if (page.entries.empty()) return std::nullopt;
            return std::move(page.entries.back());
        }
        std::optional<IndexPageEntry> last;
        for (const auto& e : page.entries) {
            last = checkSubtree(e.child, owner, depth + 1, leaves, where);
            if (!last || last->key != e.key || !(last->row == e.row)) {
                problem(where + ": node page " + std::to_string(p) + " has an entry for page " +
                        std::to_string(e.child) + " that is not the last entry below that page");
            }
        }
        if (page.tail != 0) last = checkSubtree(page.tail, owner, depth + 1, leaves, where);
        else if (page.entries.empty()) problem(where + ": node page " + std::to_string(p) + " has no child page");
        return last;
    }

    void checkTree(const IndexDef& ix, uint32_t owner, const std::string& where) {
        std::vector<Leaf> leaves;
        checkSubtree(ix.rootPage, owner, 0, leaves, where);
        for (size_t i = 0; i < leaves.size(); ++i) {
            const uint32_t prev = i == 0 ? 0 : leaves[i - 1].page;
            const uint32_t next = i + 1 == leaves.size() ? 0 : leaves[i + 1].page;
            if (leaves[i].prev != prev || leaves[i].next != next) {
                problem(where + ": leaf page " + std::to_string(leaves[i].page) + " links to pages " +
                        std::to_string(leaves[i].prev) + " and " + std::to_string(leaves[i].next) +
                        " instead of its neighbours " + std::to_string(prev) + " and " + std::to_string(next));
            }
        }
    }

    void checkIndexes(const std::shared_ptr<const TableDef>& t, const std::set<uint32_t>& rows) {
        std::set<uint32_t> donePhysical;
        RowDecoder decoder(db, *t);
        std::vector<Value> values;
        for (const auto& ix : t->indexes) {
            if (!donePhysical.insert(ix.physicalNumber).second) continue;
            const std::string where = "index \"" + ix.name + "\" of table \"" + t->name + "\"";
            try {
                checkTree(ix, t->definitionPage, where);
                IndexWalker walk(db, ix.rootPage, t->definitionPage, {});
                IndexEntry e, prev;
                bool first = true;
                std::set<uint32_t> seen;
                uint64_t n = 0;
                while (walk.next(e)) {
                    ++report.indexEntriesChecked;
                    if (++n > static_cast<uint64_t>(db.file().pageCount()) * 512) {
                        problem(where + ": more entries than the file can hold");
                        break;
                    }
                    if (!first &&
                        std::lexicographical_compare(e.key.begin(), e.key.end(), prev.key.begin(), prev.key.end())) {
                        problem(where + ": entries out of key order at row " + std::to_string(e.row.page) + ":" +
                                std::to_string(e.row.slot));
                    }
                    if (!rows.count(e.row.packed())) {
                        problem(where + ": entry points at page " + std::to_string(e.row.page) + " row " +
                                std::to_string(e.row.slot) + ", which is not a live row of the table");
                    } else {
                        checkKey(*t, ix, e, decoder, values, where);
                    }
                    if (!seen.insert(e.row.packed()).second) {
                        problem(where + ": row " + std::to_string(e.row.page) + ":" + std::to_string(e.row.slot) +
                                " appears twice");
                    }
                    prev = e;
                    first = false;
                }
                if (!ix.ignoresNulls() && seen.size() != rows.size()) {
                    problem(where + ": " + std::to_string(seen.size()) + " entries for " + std::to_string(rows.size()) +
                            " rows");
                }
            } catch (const FormatError& e) {
                problem(where + ": " + e.what());
            }
        }
    }

    void run() {
        auto& file = db.file();
        const uint32_t count = file.pageCount();
        std::map<uint32_t, std::vector<uint32_t>> dataPagesByOwner;
        for (uint32_t p = 1; p < count; ++p) {
            auto page = file.page(p);
            ++report.pagesChecked;
            const uint8_t type = (*page)[0];
            // Pages of other types are unused space (Access leaves whatever was there);
            // every page a structure refers to is checked where it is used.
            if (type > page_type::UsageMap) continue;
            if (type == page_type::Data) {
                const uint32_t owner = u32(*page, 4);
                if (owner != 0x4C41564C) dataPagesByOwner[owner].push_back(p); // not "LVAL"
                try {
                    dataPageRowCount(file, *page, p);
                } catch (const FormatError& e) {
                    problem(e.what());
                }
            }
        }
        // The database's own map of free pages is the first row of page 1.
        std::optional<UsageMap> freePages;
        try {
            freePages.emplace(file, RowId{1, 0}.packed());
        } catch (const FormatError& e) {
            problem(std::string("the map of free pages is unreadable: ") + e.what());
        }
        std::vector<CatalogEntry> catalog;
        try {
            catalog = db.catalog();
        } catch (const Error& err) {
            problem(std::string("catalog unreadable: ") + err.what());
            return;
        }
        for (const auto& e : catalog) {
            if (e.kind != ObjectKind::Table && e.kind != ObjectKind::SystemTable) continue;
            std::shared_ptr<const TableDef> t;
            try {
                t = db.tableDef(e.definitionPage, e.name);
            } catch (const Error& err) {
                problem("table \"" + e.name + "\": " + err.what());
                continue;
            }
            owners[t->definitionPage] = t->name;
            if (!t->propertiesProblem.empty())
                problem("table \"" + t->name + "\": its column properties cannot be read: " + t->propertiesProblem);
            // Pages in the map must not be free; pages that name the table as owner but left its
            // map are checked with its rows.
            try {
                UsageMap map(file, t->usageMap);
                for (uint32_t p : map.pages()) {
                    if (freePages && freePages->contains(p)) {
                        problem("page " + std::to_string(p) + " is in the usage map of table \"" + t->name +
                                "\" but also in the map of free pages");
                    }
                }
            } catch (const FormatError& err) {
                problem("table \"" + t->name + "\": " + err.what());
                continue;
            }
            const auto rows = checkRows(t, dataPagesByOwner[t->definitionPage], freePages);
            checkIndexes(t, rows);
        }
    }
};

} // namespace

CheckReport checkDatabase(const Database& database) {
    CheckReport report;
    Checker c{detail::implOf(database), report, {}};
    c.run();
    for (auto& p : relationshipProblems(database)) c.problem(std::move(p));
    return report;
}

} // namespace jet
