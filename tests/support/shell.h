// Running the outside programs the tests compare with (mdbtools, node, ImageMagick, the
// command-line tools) through /bin/sh.
#pragma once

#include <string>

namespace tablor::test {

// Runs `command` with /bin/sh and returns what it wrote to standard output. *status, when
// given, is the command's exit code (0 to 255), or -1 when it could not be started or was
// ended by a signal.
std::string runCommand(const std::string& command, int* status = nullptr);

// Whether mdbtools (mdb-export, mdb-tables), the independent Access reader, is installed.
bool haveMdbTools();

// `s` as one single-quoted shell word.
std::string shellQuote(const std::string& s);

} // namespace tablor::test
