// Writes the reference files of tests/data/mdb-written into the folder given (see
// tests/data/mdb-written/make, which runs it).
#include "writer_reference.h"

#include <cstdio>
#include <exception>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    try {
        jet::writer_test::writeReferenceFiles(argv[1]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
