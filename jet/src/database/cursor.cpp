// jet::RowCursor and jet::IndexCursor (see cursor.h).
#include "jet/cursor.h"

#include "database/cursor_state.h"
#include "database/locating.h"

namespace jet {

RowCursor::RowCursor(std::unique_ptr<detail::RowScanState> state) : state_(std::move(state)) {}
RowCursor::RowCursor(RowCursor&&) noexcept = default;
RowCursor& RowCursor::operator=(RowCursor&&) noexcept = default;
RowCursor::~RowCursor() = default;

bool RowCursor::next() {
    return detail::locating(state_->db->file().fileName(), table().name, [&] { return state_->scanner.next(); });
}
bool RowCursor::skip() {
    return detail::locating(state_->db->file().fileName(), table().name, [&] { return state_->scanner.skip(); });
}
const std::vector<Value>& RowCursor::values() const { return state_->scanner.values(); }
RowId RowCursor::rowId() const { return state_->scanner.rowId(); }
const TableDef& RowCursor::table() const { return state_->scanner.table(); }

RowReader::RowReader(std::unique_ptr<detail::RowReaderState> state) : state_(std::move(state)) {}
RowReader::RowReader(RowReader&&) noexcept = default;
RowReader& RowReader::operator=(RowReader&&) noexcept = default;
RowReader::~RowReader() = default;

bool RowReader::read(RowId id, std::vector<Value>& out) {
    return detail::locating(state_->db->file().fileName(), state_->table->name, id, [&] {
        auto row = state_->db->locateRow(id, state_->table->definitionPage);
        if (!row) return false;
        state_->decoder.decode(row->bytes, row->id.page, out, true);
        return true;
    });
}

IndexCursor::IndexCursor(std::unique_ptr<detail::IndexWalkState> state) : state_(std::move(state)) {}
IndexCursor::IndexCursor(IndexCursor&&) noexcept = default;
IndexCursor& IndexCursor::operator=(IndexCursor&&) noexcept = default;
IndexCursor::~IndexCursor() = default;

bool IndexCursor::next() {
    return detail::locating(state_->db->file().fileName(), state_->table->name,
                            [&] { return state_->walker.next(state_->current); });
}
const IndexEntry& IndexCursor::entry() const { return state_->current; }

} // namespace jet
