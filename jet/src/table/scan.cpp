// The row scanner (see scan.h).
#include "table/scan.h"

#include "file/bytes.h"
#include "database/database_impl.h"
#include "table/row_locator.h"

namespace jet::detail {

RowScanner::RowScanner(DatabaseImpl& db, std::shared_ptr<const TableDef> table, bool readLongValues)
    : db_(&db), table_(std::move(table)), readLongValues_(readLongValues), map_(db.file(), table_->usageMap),
      decoder_(db, *table_) {}

bool RowScanner::advance(std::span<const uint8_t>& row) {
    auto& file = db_->file();
    while (!done_) {
        if (page_ && slot_ < slots_) {
            auto s = dataPageRow(file, *page_, pageNo_, slot_++);
            if (s.deleted()) continue;
            if (s.overflow()) {
                // The row moved to another page; the slot keeps its place in the order
                // and its row id (indexes point here). The moved copy is marked deleted.
                auto moved = db_->locateRow(RowId{pageNo_, static_cast<uint8_t>(slot_ - 1)}, table_->definitionPage);
                if (!moved) continue;
                rowPage_ = moved->id.page;
                overflowPage_ = moved->page;
                row = moved->bytes;
                return true;
            }
            rowPage_ = pageNo_;
            row = s.bytes;
            return true;
        }
        page_.reset();
        auto p = map_.next(nextFrom_);
        if (!p) {
            done_ = true;
            break;
        }
        pageNo_ = *p;
        nextFrom_ = *p + 1;
        auto page = file.page(pageNo_);
        // Pages in the map that are not this table's data pages (freed, reused) are
        // skipped; the checker reports them.
        if ((*page)[0] != page_type::Data || u32(*page, 4) != table_->definitionPage) continue;
        page_ = std::move(page);
        slots_ = dataPageRowCount(file, *page_, pageNo_);
        slot_ = 0;
    }
    return false;
}

bool RowScanner::next() {
    std::span<const uint8_t> row;
    if (!advance(row)) return false;
    decoder_.decode(row, rowPage_, values_, readLongValues_);
    return true;
}

bool RowScanner::skip() {
    std::span<const uint8_t> row;
    return advance(row);
}

} // namespace jet::detail
