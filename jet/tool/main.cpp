// tablor-mdb: reads Access .mdb files from the command line (see commands.h).
#include "commands.h"

#include <cstdio>

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    const int rc = jet::tool::run(args, stdout, stderr);
    if (std::fflush(stdout) != 0) return 3;
    return rc;
}
