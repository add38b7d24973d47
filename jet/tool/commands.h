// The commands of tablor-mdb, callable from tests: runs one command line, writes to
// `out` and `err`, returns the exit code.
//   0 success; 1 check found problems; 2 usage error; 3 file cannot be opened or read;
//   4 file damaged or unsupported; 5 table not found.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace jet {
class Error;
}

namespace jet::tool {

int run(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

// Prints an engine error to `err` and returns its exit code (5 not found, 3 I/O, 4 otherwise);
// every command reports the engine's failures the same way.
int reportEngineError(std::FILE* err, const Error& e);

} // namespace jet::tool
