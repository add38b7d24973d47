// libFuzzer target: opens the input as an .mdb file, lists the catalog, scans every
// table with its long values, walks every index and runs the integrity check. Any crash,
// hang or sanitizer report is a finding; jet::Error exceptions are the expected outcome
// for damaged input.
#include "jet/check.h"
#include "jet/jet.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace {

void exercise(const std::string& path) {
    auto db = jet::Database::open(path);
    const auto objects = db.objects();
    for (const auto& e : objects) {
        if (e.kind != jet::ObjectKind::Table && e.kind != jet::ObjectKind::SystemTable) continue;
        try {
            auto def = db.tableAt(e.definitionPage, e.name);
            auto cursor = db.scan(def);
            while (cursor.next()) {
                for (const auto& v : cursor.values()) (void)v.toString();
            }
            for (const auto& ix : def->indexes) {
                auto walk = db.indexScan(def, ix);
                while (walk.next()) {}
            }
        } catch (const jet::Error&) {}
    }
    (void)jet::checkDatabase(db);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int fd = memfd_create("fuzz.mdb", 0);
    if (fd < 0) return 0;
    size_t done = 0;
    while (done < size) {
        const ssize_t n = write(fd, data + done, size - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    try {
        exercise(path);
    } catch (const jet::Error&) {}
    close(fd);
    return 0;
}
