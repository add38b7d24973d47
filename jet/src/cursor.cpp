// jet::RowCursor and jet::IndexCursor (see cursor.h).
#include "jet/cursor.h"

#include "cursor_state.h"

namespace jet {

RowCursor::RowCursor(std::unique_ptr<detail::RowScanState> state) : state_(std::move(state)) {}
RowCursor::RowCursor(RowCursor&&) noexcept = default;
RowCursor& RowCursor::operator=(RowCursor&&) noexcept = default;
RowCursor::~RowCursor() = default;

bool RowCursor::next() { return state_->scanner.next(); }
bool RowCursor::skip() { return state_->scanner.skip(); }
const std::vector<Value>& RowCursor::values() const { return state_->scanner.values(); }
RowId RowCursor::rowId() const { return state_->scanner.rowId(); }
const TableDef& RowCursor::table() const { return state_->scanner.table(); }

IndexCursor::IndexCursor(std::unique_ptr<detail::IndexWalkState> state) : state_(std::move(state)) {}
IndexCursor::IndexCursor(IndexCursor&&) noexcept = default;
IndexCursor& IndexCursor::operator=(IndexCursor&&) noexcept = default;
IndexCursor::~IndexCursor() = default;

bool IndexCursor::next() { return state_->walker.next(state_->current); }
const IndexEntry& IndexCursor::entry() const { return state_->current; }

} // namespace jet
