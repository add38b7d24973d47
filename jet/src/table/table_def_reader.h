// Reading a table definition (TDEF pages) into jet::TableDef.
#pragma once

#include "jet/schema.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace jet::detail {

class DatabaseImpl;

// The bytes of the definition starting at `page`, continuation pages appended.
std::vector<uint8_t> readTableDefBytes(DatabaseImpl& db, uint32_t page);

// Parses the definition of the table that starts at `page`.
std::shared_ptr<TableDef> readTableDef(DatabaseImpl& db, uint32_t page, std::string name);

} // namespace jet::detail
