// Chooses how a statement reaches its rows: an index seek when the WHERE names an indexed
// column with constants, a walk along an index for ORDER BY, or a scan.
#pragma once

#include <cstdint>
#include <vector>

#include "jet/sql/ast.h"
#include "jet/sql/storage.h"

namespace jet::sql::exec {

struct AccessPlan {
    bool useIndex = false;
    bool impossible = false;
    std::size_t index = 0;
    KeyRange range;
    std::size_t orderedColumn = static_cast<std::size_t>(-1); // rows come sorted by this column
    bool coversWhere = false;                                 // the seek returns exactly the rows the WHERE accepts
};

AccessPlan planAccess(TableAccess& table, const Expr* where, const std::vector<OrderItem>* order,
                      std::int64_t identity);

} // namespace jet::sql::exec
