// The catalog: MSysObjects (its definition starts on page 2) lists every table, query and
// linked table with its id, type and flags.
#pragma once

#include "jet/schema.h"

#include <vector>

namespace jet::detail {

class DatabaseImpl;

inline constexpr uint32_t kCatalogPage = 2;

// MSysObjects columns used:
//   Id        Long     object id; for tables the low 24 bits are the definition page
//   ParentId  Long     the container (tables and queries: the "Tables" container)
//   Name      Text     object name
//   Type      Integer  1 table, 4 ODBC-linked table, 5 query, 6 linked Access table
//   Flags     Long     tables: 0x80000000 / 0x00000002 system or hidden;
//                      queries: 0 select, other values action/crosstab/union queries
//   Database  Memo     linked tables: path of the other file
//   ForeignName Text   linked tables: name in the other database
//   Connect   Memo     linked tables: connect string
// Views come without their SQL (see readViewSql).
std::vector<CatalogEntry> readCatalog(DatabaseImpl& db);

} // namespace jet::detail
