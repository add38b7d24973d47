// tablor-mdb commands that write: "create FILE" and "import FILE TABLE CSV".
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace jet::tool {

// True when `command` is one of the writing commands.
bool isWriteCommand(const std::string& command);

// Runs a writing command (args[0] is the command); returns the exit code: 0 success,
// 1 some CSV rows were refused (each reported with its line number), 2 usage error,
// 3 file cannot be opened or created, 4 damaged or unsupported file, 5 table not found,
// 6 the file is in use by another writer.
int runWriteCommand(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

} // namespace jet::tool
