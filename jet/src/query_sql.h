// Rebuilding a saved query's Jet SQL from its rows in MSysQueries.
#pragma once
#include "jet/schema.h"

#include <cstdint>
#include <string>
#include <vector>

namespace jet::detail {
class DatabaseImpl;
// `catalog`: the MSysObjects entries read so far (to find MSysQueries).
std::string readQuerySql(DatabaseImpl& db, const std::vector<CatalogEntry>& catalog, int32_t queryId);
} // namespace jet::detail
