// Schema changes stopped at every step: a writer killed anywhere inside CREATE TABLE or DROP
// TABLE leaves a file in which the change happened completely or not at all, for our reader,
// the integrity check and mdbtools, before and after the next writer opens it.
#include "jet/check.h"
#include "jet/database.h"
#include "jet/error.h"
#include "jet/writer.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "writer_test_support.h"

namespace fs = std::filesystem;
using namespace jet;
using namespace jet::writer_test;

namespace {

// Every page write and every journal step counts as one place to die.
long stepsLeft = 0;
void countStepAndMaybeDie() {
    if (--stepsLeft == 0) raise(SIGKILL);
}

constexpr int32_t kLogRows = 700;

std::string bodyOf(int32_t i) { return std::string(static_cast<size_t>(100 + i % 400), 'm') + std::to_string(i); }

// A file with two tables: "Log" (keys, a memo on long-value pages, ~100 pages in all) and
// "Keep", which no schema change touches.
void makeBase(const fs::path& file) {
    DatabaseWriter w = DatabaseWriter::create(file);
    for (const char* name : {"Log", "Keep"}) {
        w.createTable(logTableSpec(name));
        TableWriter t = w.table(name);
        const int32_t rows = std::string(name) == "Log" ? kLogRows : 20;
        for (int32_t i = 1; i <= rows; ++i)
            t.insert(std::vector<Value>{Value::longInt(i), Value::text(std::string(name) + " " + std::to_string(i)),
                                        Value::text(bodyOf(i))});
    }
}

TableSpec freshSpec() {
    TableSpec s;
    s.name = "Fresh";
    s.columns = {{"Id", ColumnType::Long},       {"Code", ColumnType::Text, 20}, {"Amount", ColumnType::Double},
                 {"When", ColumnType::DateTime}, {"Notes", ColumnType::Memo},    {"Photo", ColumnType::Ole}};
    s.columns[1].notNull = true;
    IndexSpec pk;
    pk.primaryKey = true;
    pk.columns = {"Id"};
    IndexSpec uq;
    uq.unique = true;
    uq.columns = {"Code"};
    s.indexes = {pk, uq};
    return s;
}

std::string describe(const fs::path& file, const char* when) {
    try {
        return describeTables(file);
    } catch (const std::exception& e) {
        return std::string(when) + ": our reader cannot read the file: " + e.what();
    }
}

// "Log=700:1234 Keep=20:5678 " -> "Keep=20 Log=700 " (what mdbtools can be compared on).
std::string rowCounts(const std::string& description) {
    std::string out;
    size_t at = 0;
    while (at < description.size()) {
        const size_t colon = description.find(':', at), space = description.find(' ', at);
        if (colon == std::string::npos || space == std::string::npos) break;
        out += description.substr(at, colon - at) + " ";
        at = space + 1;
    }
    return out;
}

// mdbtools knows no journal: a half-done change must still read cleanly, and each table it
// lists must export in full.
std::string mdbtoolsProblem(const fs::path& file, const std::string& expectedTables) {
    if (!jet::test::readerPresent(haveMdbtools(), "mdbtools")) return {};
    int st = 0;
    const std::string tables = run("mdb-tables -1 '" + file.string() + "' 2>&1", &st);
    if (st != 0) return "mdb-tables failed: " + tables;
    std::string seen;
    for (const char* name : {"Fresh", "Keep", "Log"}) {
        if (tables.find(std::string(name) + "\n") == std::string::npos) continue;
        const std::string n = run("mdb-export -H '" + file.string() + "' " + name + " 2>/dev/null | wc -l", &st);
        if (st != 0) return std::string("mdb-export of ") + name + " failed";
        seen += std::string(name) + "=" + std::to_string(std::stol(n)) + " ";
    }
    if (!expectedTables.empty() && seen != expectedTables)
        return "mdbtools sees " + seen + "instead of " + expectedTables;
    return {};
}

struct SchemaChange {
    const char* what;
    std::function<void(DatabaseWriter&)> apply;
};

// Kills the change at step 1, 2, ... until it completes on its own; every file in between
// must show the old or the new state, and the same state again after the next writer opened
// it (which undoes a cut-short change for good).
void killAtEveryStep(const SchemaChange& change) {
    TempDir dir;
    const fs::path base = dir.path / "base.mdb";
    makeBase(base);
    const std::string before = describe(base, "before");
    const fs::path done = dir.path / "done.mdb";
    fs::copy_file(base, done);
    {
        DatabaseWriter w = DatabaseWriter::open(done);
        change.apply(w);
    }
    const std::string after = describe(done, "after");
    ASSERT_NE(before, after);
    int kills = 0, undone = 0;
    for (long step = 1;; ++step) {
        const fs::path file = dir.path / ("k" + std::to_string(step) + ".mdb");
        fs::copy_file(base, file);
        const pid_t child = fork();
        if (child == 0) {
            stepsLeft = step;
            detail::pageWriteHook = &countStepAndMaybeDie;
            detail::journalStepHook = &countStepAndMaybeDie;
            try {
                DatabaseWriter w = DatabaseWriter::open(file);
                change.apply(w);
            } catch (...) {
                _exit(2);
            }
            _exit(0);
        }
        int status = 0;
        waitpid(child, &status, 0);
        if (WIFEXITED(status)) {
            ASSERT_EQ(WEXITSTATUS(status), 0) << change.what << ": the writer failed on its own";
            EXPECT_EQ(describe(file, "completed"), after);
            break;
        }
        ASSERT_TRUE(WIFSIGNALED(status));
        ++kills;
        const std::string left = describe(file, "as left");
        ASSERT_TRUE(left == before || left == after) << change.what << ", killed at step " << step << ": " << left
                                                     << "\n  before: " << before << "\n  after: " << after;
        const std::string tools = mdbtoolsProblem(file, {});
        ASSERT_TRUE(tools.empty()) << change.what << ", killed at step " << step << " (as left): " << tools;
        { DatabaseWriter w = DatabaseWriter::open(file); }
        ASSERT_FALSE(fs::exists(file.string() + "-journal")) << "step " << step;
        const std::string reopened = describe(file, "after reopening");
        ASSERT_EQ(reopened, left) << change.what << ", killed at step " << step;
        const std::string toolsAfter = mdbtoolsProblem(file, rowCounts(reopened));
        ASSERT_TRUE(toolsAfter.empty()) << change.what << ", step " << step << ": " << toolsAfter;
        if (left == before) ++undone;
        fs::remove(file);
    }
    std::printf("%s: killed at each of %d steps (%d undone, %d kept), every file sound\n", change.what, kills, undone,
                kills - undone);
    EXPECT_GT(kills, 5);
    EXPECT_GT(undone, 0);
}

TEST(WriterCrash, CreateTableIsAllOrNothingAtEveryStep) {
    killAtEveryStep({"CREATE TABLE", [](DatabaseWriter& w) { w.createTable(freshSpec()); }});
}

TEST(WriterCrash, DropTableIsAllOrNothingAtEveryStep) {
    killAtEveryStep({"DROP TABLE", [](DatabaseWriter& w) { w.dropTable("Log"); }});
}

std::vector<RowId> rowIdsOf(DatabaseWriter& w, const std::string& table) {
    std::vector<RowId> ids;
    RowCursor cur = w.database().scan(table);
    while (cur.next()) ids.push_back(cur.rowId());
    return ids;
}

// Many row changes between two flushes are one step as well: a DELETE or UPDATE of every row
// is undone or kept as a whole.
TEST(WriterCrash, DeletingEveryRowIsAllOrNothingAtEveryStep) {
    killAtEveryStep({"DELETE of every row", [](DatabaseWriter& w) {
                         const auto ids = rowIdsOf(w, "Log");
                         TableWriter t = w.table("Log");
                         for (RowId id : ids) t.erase(id);
                         w.flush();
                     }});
}

TEST(WriterCrash, UpdatingEveryRowIsAllOrNothingAtEveryStep) {
    killAtEveryStep({"UPDATE of every row", [](DatabaseWriter& w) {
                         const auto ids = rowIdsOf(w, "Log");
                         TableWriter t = w.table("Log");
                         int32_t n = 0;
                         for (RowId id : ids) {
                             ++n;
                             // Longer memos and texts: rows move, long values are replaced.
                             t.update(id,
                                      std::vector<Value>{Value::longInt(n), Value::text("changed " + std::to_string(n)),
                                                         Value::text(bodyOf(n) + std::string(300, 'u'))});
                         }
                         w.flush();
                     }});
}

} // namespace
