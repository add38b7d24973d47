// Rebuilding a saved query's Jet SQL from its rows in MSysQueries.
#pragma once
#include "jet/schema.h"

#include <cstdint>
#include <string>
#include <vector>

namespace jet::detail {
class DatabaseImpl;
// Fills the `sql` of every view in `catalog`, reading MSysQueries once.
void readViewSql(DatabaseImpl& db, std::vector<CatalogEntry>& catalog);
} // namespace jet::detail
