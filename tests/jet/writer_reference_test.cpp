// The writer still makes the files it made when tests/data/mdb-written was last renewed:
// the same definitions, rows, and page layout (times aside). A deliberate change to the
// writer's layout renews them with tests/data/mdb-written/make and says why in its commit.
#include "writer_reference.h"

#include "writer_test_support.h"

#include <sstream>

namespace fs = std::filesystem;
using namespace jet;
using namespace jet::writer_test;

namespace {

TEST(WriterReference, CurrentWriterMakesTheStoredFiles) {
    const fs::path stored = fs::path(TABLOR_SOURCE_DIR) / "tests/data/mdb-written";
    TempDir dir;
    writeReferenceFiles(dir.path);
    for (const auto& name : referenceFileNames()) {
        ASSERT_TRUE(fs::exists(stored / name)) << name << " is missing; run tests/data/mdb-written/make";
        expectClean(stored / name);
        const std::string want = structureOf(stored / name);
        const std::string got = structureOf(dir.path / name);
        if (want == got) continue;
        std::istringstream a(want), b(got);
        std::string la, lb;
        for (int line = 1;; ++line) {
            const bool ea = !std::getline(a, la), eb = !std::getline(b, lb);
            if (ea && eb) break;
            if (la != lb || ea != eb) {
                ADD_FAILURE() << name << " differs from the stored file at line " << line
                              << " of its structure:\n  stored: " << (ea ? "<end>" : la.substr(0, 300))
                              << "\n  now:    " << (eb ? "<end>" : lb.substr(0, 300));
                break;
            }
        }
    }
}

// The comparison sees a change: a stored file against a copy with a row more.
TEST(WriterReference, StructureShowsARowMore) {
    TempDir dir;
    fs::copy_file(fs::path(TABLOR_SOURCE_DIR) / "tests/data/mdb-written/every_type.mdb", dir.path / "every_type.mdb");
    const std::string before = structureOf(dir.path / "every_type.mdb");
    {
        DatabaseWriter w = DatabaseWriter::open(dir.path / "every_type.mdb");
        std::mt19937 rng(1);
        w.table("Every Type").insert(randomRow(rng, 999));
    }
    const std::string after = structureOf(dir.path / "every_type.mdb");
    EXPECT_NE(after, before);
    EXPECT_NE(after.find("999"), std::string::npos);
}

} // namespace
