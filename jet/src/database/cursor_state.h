// The states behind the public cursors.
#pragma once

#include "database/database_impl.h"
#include "index/index_reader.h"
#include "table/scan.h"

#include <memory>

namespace jet::detail {

class RowScanState {
public:
    RowScanState(std::shared_ptr<DatabaseImpl> db, std::shared_ptr<const TableDef> table, bool readLong)
        : db(std::move(db)), scanner(*this->db, std::move(table), readLong) {}
    std::shared_ptr<DatabaseImpl> db; // keeps the file open
    RowScanner scanner;
};

class RowReaderState {
public:
    RowReaderState(std::shared_ptr<DatabaseImpl> db, std::shared_ptr<const TableDef> table)
        : db(std::move(db)), table(std::move(table)), decoder(*this->db, *this->table) {}
    std::shared_ptr<DatabaseImpl> db;
    std::shared_ptr<const TableDef> table;
    RowDecoder decoder;
};

class IndexWalkState {
public:
    IndexWalkState(std::shared_ptr<DatabaseImpl> db, std::shared_ptr<const TableDef> table, const IndexDef& index,
                   std::span<const uint8_t> from)
        : db(std::move(db)), table(std::move(table)),
          walker(*this->db, index.rootPage, this->table->definitionPage, from) {}
    std::shared_ptr<DatabaseImpl> db;
    std::shared_ptr<const TableDef> table;
    IndexWalker walker;
    IndexEntry current;
};

} // namespace jet::detail
