// The row scanner: walks the data pages a table owns (its usage map) in page order and
// decodes each live row. Memory stays the same however many rows the table has.
#pragma once

#include "jet/schema.h"
#include "file/page_file.h"
#include "table/row_codec.h"
#include "map/usage_map.h"

#include <memory>
#include <optional>
#include <vector>

namespace jet::detail {

class DatabaseImpl;

class RowScanner {
public:
    RowScanner(DatabaseImpl& db, std::shared_ptr<const TableDef> table, bool readLongValues);

    // Next live row in slot order (deleted slots skipped, overflow pointers followed).
    // False at the end.
    bool next();
    // Like next() but without decoding values (counting).
    bool skip();
    const std::vector<Value>& values() const { return values_; }
    RowId rowId() const { return RowId{pageNo_, static_cast<uint8_t>(slot_ - 1)}; }
    const TableDef& table() const { return *table_; }

private:
    bool advance(std::span<const uint8_t>& row);

    DatabaseImpl* db_;
    std::shared_ptr<const TableDef> table_;
    bool readLongValues_;
    UsageMap map_;
    RowDecoder decoder_;
    PageRef page_;
    uint32_t pageNo_ = 0;
    uint32_t rowPage_ = 0; // page the current row's bytes are on
    PageRef overflowPage_; // keeps a followed overflow row alive
    uint32_t nextFrom_ = 0;
    unsigned slot_ = 0;
    unsigned slots_ = 0;
    bool done_ = false;
    std::vector<Value> values_;
};

} // namespace jet::detail
