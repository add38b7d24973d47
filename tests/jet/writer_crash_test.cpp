// Schema changes stopped at every step: a writer killed anywhere inside CREATE TABLE or DROP
// TABLE leaves a file in which the change happened completely or not at all, for our reader,
// the integrity check and mdbtools, before and after the next writer opens it.
#include "jet/check.h"
#include "jet/database.h"
#include "jet/error.h"
#include "jet/sql/engine.h"
#include "jet/sql/executor.h"
#include "jet/writer.h"

#include "file/write_hooks.h"

#include <gtest/gtest.h>

#include <algorithm>
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
    if (!jet::test::readerPresent(haveMdbTools(), "mdbtools")) return {};
    int st = 0;
    const std::string tables = runCommand("mdb-tables -1 '" + file.string() + "' 2>&1", &st);
    if (st != 0) return "mdb-tables failed: " + tables;
    std::string seen;
    for (const char* name : {"Fresh", "Keep", "Log"}) {
        if (tables.find(std::string(name) + "\n") == std::string::npos) continue;
        const std::string n = runCommand("mdb-export -H '" + file.string() + "' " + name + " 2>/dev/null | wc -l", &st);
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

namespace {

// An Access-made file as readers see it: each user table's row count and a digest of its rows
// (sorted, as text), and apart from that the problems `check` reports.
struct AccessFileState {
    std::string tables;
    std::set<std::string> problems;
};

AccessFileState stateOf(const fs::path& file) {
    AccessFileState s;
    try {
        Database db = Database::open(file);
        for (const auto& p : checkDatabase(db).problems) s.problems.insert(p);
        for (const auto& name : db.tableNames()) {
            std::vector<std::string> rows;
            RowCursor cur = db.scan(name);
            while (cur.next()) {
                std::string text;
                for (const Value& v : cur.values()) text += v.isNull() ? "<null>|" : v.toString() + "|";
                rows.push_back(std::move(text));
            }
            std::sort(rows.begin(), rows.end());
            std::string all;
            for (const auto& r : rows) all += r + "\n";
            s.tables +=
                name + "=" + std::to_string(rows.size()) + ":" + std::to_string(std::hash<std::string>{}(all)) + " ";
        }
    } catch (const std::exception& e) {
        s.tables = std::string("unreadable: ") + e.what();
    }
    return s;
}

long mdbtoolsRowCount(const fs::path& file, const std::string& table) {
    int st = 0;
    const std::string n = runCommand("mdb-export -H '" + file.string() + "' '" + table + "' 2>/dev/null | wc -l", &st);
    return st == 0 ? std::stol(n) : -1;
}

// DELETE FROM [Order Details] on a copy of an Access-made Northwind, killed at page writes and
// journal steps (all of them when they are few, else the first, the last and a spread): each
// file shows the old or the new rows to our reader and mdbtools (after the next writer opened
// it, which undoes a cut-short flush), and `check` finds nothing that the completed statement
// does not leave as well.
void deleteOnAnAccessMadeFileIsAllOrNothingAtEveryStep(const char* fixture) {
    const fs::path source = tablor::test::sharedTestData(fixture);
    if (!fs::exists(source)) JET_UNAVAILABLE() << source << " is missing";
    const bool tools = jet::test::readerPresent(haveMdbTools(), "mdbtools");
    TempDir dir;
    auto copyOf = [&](const std::string& name) {
        const fs::path p = dir.path / name;
        fs::copy_file(source, p);
        fs::permissions(p, fs::perms::owner_read | fs::perms::owner_write);
        return p;
    };
    auto deleteAll = [](const fs::path& file) {
        auto w = std::make_shared<DatabaseWriter>(DatabaseWriter::open(file));
        sql::Connection(sql::openEngineDatabase(w)).execute("DELETE FROM [Order Details]");
        w->flush();
    };
    const fs::path base = copyOf("base.mdb");
    const AccessFileState before = stateOf(base);
    const long rowsBefore = tools ? mdbtoolsRowCount(base, "Order Details") : 0;
    const fs::path done = copyOf("done.mdb");
    stepsLeft = 0; // counts down from 0: never dies, and -stepsLeft is the number of steps
    {
        const auto pages = assigned(detail::pageWriteHook, &countStepAndMaybeDie);
        const auto steps = assigned(detail::journalStepHook, &countStepAndMaybeDie);
        deleteAll(done);
    }
    const long total = -stepsLeft;
    const AccessFileState after = stateOf(done);
    ASSERT_NE(before.tables, after.tables);
    std::set<std::string> known = before.problems; // what the completed DELETE leaves too
    known.insert(after.problems.begin(), after.problems.end());
    if (!after.problems.empty())
        std::printf("check finds %zu problems after the completed DELETE as well, the first: %s\n",
                    after.problems.size(), after.problems.begin()->c_str());
    std::set<long> steps;
    const long samples = 40;
    for (long i = 0; i < std::min(samples, total); ++i)
        steps.insert(1 + i * (total - 1) / std::max(1L, std::min(samples, total) - 1));
    int undone = 0;
    std::map<long, int> mdbtoolsAsLeft; // rows mdbtools read -> how many killed files
    for (long step : steps) {
        const fs::path file = copyOf("k" + std::to_string(step) + ".mdb");
        const pid_t child = fork();
        if (child == 0) {
            stepsLeft = step;
            detail::pageWriteHook = &countStepAndMaybeDie;
            detail::journalStepHook = &countStepAndMaybeDie;
            try {
                deleteAll(file);
            } catch (...) {
                _exit(2);
            }
            _exit(0);
        }
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "step " << step << " of " << total << ": the writer was not stopped";
        for (const char* when : {"as left", "after reopening"}) {
            if (std::string(when) == "after reopening") DatabaseWriter::open(file);
            const AccessFileState left = stateOf(file);
            ASSERT_TRUE(left.tables == before.tables || left.tables == after.tables)
                << "killed at step " << step << " of " << total << ", " << when << ": " << left.tables;
            for (const auto& p : left.problems)
                EXPECT_TRUE(known.count(p)) << "killed at step " << step << ", " << when << ": check finds " << p;
            if (!tools) continue;
            const long n = mdbtoolsRowCount(file, "Order Details");
            if (std::string(when) == "as left") {
                mdbtoolsAsLeft[n] += 1;
                // mdbtools knows no journal: it reads the pages as they are, written in a safe order.
                EXPECT_TRUE(n >= 0 && n <= rowsBefore) << "step " << step << ": mdbtools reads " << n << " rows";
            } else {
                EXPECT_EQ(n, left.tables == before.tables ? rowsBefore : 0) << "step " << step << ", " << when;
            }
        }
        undone += stateOf(file).tables == before.tables;
        fs::remove(file);
    }
    std::string seen;
    for (const auto& [n, files] : mdbtoolsAsLeft) seen += " " + std::to_string(n) + " rows in " + std::to_string(files);
    std::printf("DELETE FROM [Order Details] (%ld rows): killed at %zu of its %ld steps (%d undone); as left, "
                "mdbtools read%s\n",
                rowsBefore, steps.size(), total, undone, seen.c_str());
    EXPECT_GT(undone, 0);
}

TEST(WriterCrash, DeleteOnAnAccessMadeFileIsAllOrNothingAtEveryStep) {
    deleteOnAnAccessMadeFileIsAllOrNothingAtEveryStep("mdb/northwind_jet4_statdata.mdb");
}

// The same on the Access 97 Northwind.
TEST(WriterCrash, DeleteOnAnAccess97FileIsAllOrNothingAtEveryStep) {
    deleteOnAnAccessMadeFileIsAllOrNothingAtEveryStep("mdb/mdbtestdata_nwind_jet3.mdb");
}

} // namespace
