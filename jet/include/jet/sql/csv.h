// CSV lines (RFC 4180) for result rows: a field is quoted when it holds a comma, a quote,
// a line break or leading/trailing blanks; Null is an empty field.
#pragma once

#include <string>
#include <vector>

#include "jet/sql/executor.h"
#include "jet/sql/value.h"

namespace jet::sql {

std::string csvField(const std::string& text);
std::string csvHeader(const std::vector<ResultColumn>& columns);
// Single columns print the shortest text of their float value ("0.1", not "0.100000001").
std::string csvRow(const Row& row, const std::vector<ResultColumn>& columns);

} // namespace jet::sql
