// tablor-mdb sql FILE 'STATEMENT': runs one Jet SQL statement. A SELECT prints its rows as
// CSV exactly as `export` does; any other statement prints the number of rows affected.
// Exit codes as the other commands, plus 6 when the statement is refused or fails.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "jet/database.h"

namespace jet::tool {

inline constexpr int kSqlStatementFailed = 6;

// args: "sql", FILE, STATEMENT.
int runSql(const std::vector<std::string>& args, const OpenOptions& options, std::FILE* out, std::FILE* err);

} // namespace jet::tool
