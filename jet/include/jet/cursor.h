// Cursors: the streaming row scan of a table and the key-order walk of an index.
// A cursor holds the database open; it is invalidated by writes to its table.
#pragma once

#include "jet/row_id.h"
#include "jet/schema.h"
#include "jet/value.h"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace jet {

namespace detail {
class DatabaseImpl;
class RowScanState;
class IndexWalkState;
class RowReaderState;
} // namespace detail

struct ScanOptions {
    // Read Memo and OLE contents (otherwise they are null: faster when not needed).
    bool readLongValues = true;
};

class RowCursor {
public:
    RowCursor(RowCursor&&) noexcept;
    RowCursor& operator=(RowCursor&&) noexcept;
    ~RowCursor();

    // Advances to the next live row; false at the end. Throws FormatError on damage.
    bool next();
    // Advances like next() without decoding the row: values() is not valid afterwards, rowId()
    // is. For callers that only need to know where the rows are (counting, row-id lists).
    bool skip();
    // The current row, one value per column of table().columns. Valid until next().
    const std::vector<Value>& values() const;
    RowId rowId() const;
    const TableDef& table() const;

private:
    friend class Database;
    explicit RowCursor(std::unique_ptr<detail::RowScanState> state);
    std::unique_ptr<detail::RowScanState> state_;
};

// Reads rows of one table by row id, keeping the decoding state between reads (for reading
// many rows through an index). Invalidated by writes to its table, like the cursors.
class RowReader {
public:
    RowReader(RowReader&&) noexcept;
    RowReader& operator=(RowReader&&) noexcept;
    ~RowReader();

    // The row `id` into `out` (one value per column); false when the slot is empty or deleted.
    bool read(RowId id, std::vector<Value>& out);

private:
    friend class Database;
    explicit RowReader(std::unique_ptr<detail::RowReaderState> state);
    std::unique_ptr<detail::RowReaderState> state_;
};

// One raw index entry: the encoded key bytes and the row they point at.
struct IndexEntry {
    std::vector<uint8_t> key;
    RowId row;
};

class IndexCursor {
public:
    IndexCursor(IndexCursor&&) noexcept;
    IndexCursor& operator=(IndexCursor&&) noexcept;
    ~IndexCursor();

    bool next();                     // false at the end
    const IndexEntry& entry() const; // valid until next()

private:
    friend class Database;
    explicit IndexCursor(std::unique_ptr<detail::IndexWalkState> state);
    std::unique_ptr<detail::IndexWalkState> state_;
};

} // namespace jet
