#include "exec_streams.h"

#include "jet/sql/error.h"

namespace jet::sql::exec {

bool isTrue(const Value& v) {
    if (v.isBool()) return v.asBool();
    if (v.isNull()) return false;
    if (v.isNumeric()) return v.toDouble() != 0;
    throw ExecutionError("Data type mismatch in criteria expression: the WHERE condition is not true or false.");
}

int compareKeys(const std::vector<Value>& a, const std::vector<Value>& b, const std::vector<OrderItem>& order) {
    for (std::size_t i = 0; i < order.size(); ++i) {
        int c = detail::orderValues(a[i], b[i]);
        if (c != 0) return order[i].descending ? -c : c;
    }
    return 0;
}

} // namespace jet::sql::exec
