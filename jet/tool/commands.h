// The commands of tablor-mdb, callable from tests: runs one command line, writes to
// `out` and `err`, returns the exit code.
//   0 success; 1 check found problems; 2 usage error; 3 file cannot be opened or read;
//   4 file damaged or unsupported; 5 table not found.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace jet::tool {

int run(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

} // namespace jet::tool
