#include "support/shell.h"

#include <cstdio>
#include <sys/wait.h>

namespace tablor::test {

std::string runCommand(const std::string& command, int* status) {
    std::string out;
    FILE* p = ::popen(command.c_str(), "r");
    if (!p) {
        if (status) *status = -1;
        return out;
    }
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    const int rc = ::pclose(p);
    if (status) *status = rc != -1 && WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return out;
}

bool haveMdbTools() {
    int status = 0;
    runCommand("command -v mdb-export >/dev/null 2>&1 && command -v mdb-tables >/dev/null 2>&1", &status);
    return status == 0;
}

std::string shellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        if (c == '\'') q += "'\\''";
        else q += c;
    }
    return q + "'";
}

} // namespace tablor::test
