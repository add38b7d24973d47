// Steps that fail leave nothing: a row change that throws half-way, a savepoint rolled back and
// a Jet SQL statement that fails on its last row all leave the file byte for byte as before,
// also once the writer is closed and the file opened again. And rows an update moves read
// the same in our reader, mdbtools and mdb-reader, on files Access made.
#include "jet/database.h"
#include "jet/sql/engine.h"
#include "jet/sql/error.h"
#include "jet/sql/executor.h"
#include "jet/writer.h"

#include "file/write_hooks.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "writer_test_support.h"

namespace fs = std::filesystem;
using namespace jet;
using namespace jet::writer_test;

namespace {

fs::path realFixture(const std::string& name) {
    const fs::path p = tablor::test::sharedTestData("mdb-real") / name;
    return fs::exists(p) ? p : fs::path();
}

// Every row of a table as text, sorted (row ids left out: moved rows change them).
std::vector<std::string> rowsOf(const fs::path& file, const std::string& table) {
    Database db = Database::open(file);
    std::vector<std::string> rows;
    RowCursor cur = db.scan(table);
    while (cur.next()) {
        std::string text;
        for (const Value& v : cur.values()) text += (v.isNull() ? "<null>" : v.toString()) + "|";
        rows.push_back(text);
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

sql::Result runSql(const fs::path& file, const std::string& statement) {
    sql::EngineOptions options;
    options.writable = true;
    sql::Connection connection(sql::openEngineDatabase(file, options));
    return connection.execute(statement);
}

std::vector<Value> logRow(int32_t id, const std::string& text, size_t bodyLength) {
    return {Value::longInt(id), Value::text(text), Value::text(std::string(bodyLength, 'b') + std::to_string(id))};
}

} // namespace

// The same changes with and without a detour that is undone (a failed insert, a rolled back
// savepoint with a released one inside) give the same bytes.
TEST(Savepoint, UndoneChangesLeaveTheSameBytesAsNone) {
    TempDir dir;
    const fs::path base = dir.path / "base.mdb";
    {
        DatabaseWriter w = DatabaseWriter::create(base);
        w.createTable(everyTypeSpec("Every Type"));
        w.createTable(logTableSpec("Log"));
        TableWriter t = w.table("Every Type");
        TableWriter log = w.table("Log");
        std::mt19937 rng(7);
        for (int i = 1; i <= 60; ++i) t.insert(randomRow(rng, i));
        for (int32_t i = 1; i <= 200; ++i) log.insert(logRow(i, "line " + std::to_string(i), 30));
    }
    const fs::path plain = dir.path / "plain.mdb", detour = dir.path / "detour.mdb";
    fs::copy_file(base, plain);
    fs::copy_file(base, detour);
    // Both sessions start alike (a memo on a long-value page, so that the page taking the
    // next one is set) and end alike; only the detour lies between.
    std::mt19937 finalRng(99);
    std::vector<Value> first = randomRow(finalRng, 1000), last = randomRow(finalRng, 1001);
    first[9] = Value::text(std::string(700, 'f'));
    last[9] = Value::text(std::string(900, 'l'));
    {
        DatabaseWriter w = DatabaseWriter::open(plain);
        EXPECT_EQ(w.table("Every Type").insert(first).autoNumber, 61);
        EXPECT_EQ(w.table("Every Type").insert(last).autoNumber, 62);
    }
    {
        DatabaseWriter w = DatabaseWriter::open(detour);
        TableWriter t = w.table("Every Type");
        TableWriter log = w.table("Log");
        EXPECT_EQ(t.insert(first).autoNumber, 61);
        // Fails after the memo went to long-value pages: the OLE column gets text.
        std::mt19937 rng(5);
        std::vector<Value> bad = randomRow(rng, 500);
        bad[9] = Value::text(std::string(5000, 'n'));
        bad[10] = Value::text("not binary");
        EXPECT_THROW(t.insert(bad), ConstraintError);
        {
            DatabaseWriter::Savepoint outer(w);
            for (int i = 0; i < 300; ++i) t.insert(randomRow(rng, 2000 + i)); // new pages, index splits
            {
                DatabaseWriter::Savepoint inner(w);
                RowCursor cur = w.database().scan("Log");
                std::vector<RowId> ids;
                while (cur.next()) ids.push_back(cur.rowId());
                for (size_t i = 0; i < ids.size(); i += 2)
                    log.update(ids[i], logRow(100000 + static_cast<int32_t>(i), "moved " + std::to_string(i), 900));
                for (size_t i = 1; i < ids.size(); i += 3) log.erase(ids[i]);
                inner.release();
            }
            EXPECT_THROW(w.flush(), std::logic_error);
            EXPECT_EQ(w.database().table("Log")->storedRowCount, 200u - 67u);
            outer.rollback();
        }
        EXPECT_EQ(w.database().table("Log")->storedRowCount, 200u);
        EXPECT_EQ(t.insert(last).autoNumber, 62);
    }
    EXPECT_EQ(readFile(detour), readFile(plain));
    expectClean(detour);
}

// An UPDATE of every row that fails on the last one (a duplicate key), on a file Access made:
// nothing of it is left, in the writer's cache (read back before closing) or in the file.
TEST(Savepoint, FailedStatementLeavesTheAccessFileAsItWas) {
    const fs::path source = realFixture("kbfakt05.mdb");
    if (source.empty()) JET_UNAVAILABLE() << "kbfakt05.mdb is not in the shared test files";
    TempDir dir;
    const fs::path file = dir.path / "kbfakt05.mdb";
    fs::copy_file(source, file);
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
    // A row whose key the last row of the UPDATE (the highest key, 1005546) would take.
    runSql(file, "INSERT INTO [RECH1] ([XAUFTR_NR]) VALUES (2005546)");
    const auto bytes = readFile(file);
    const auto rows = rowsOf(file, "RECH1");
    ASSERT_EQ(rows.size(), 92u);
    const std::string update = "UPDATE [RECH1] SET [XAUFTR_NR] = [XAUFTR_NR] + 1000000, "
                               "[XNAME2] = 'Tablör verändert diese Zeile' WHERE [XAUFTR_NR] < 2000000";
    {
        sql::EngineOptions options;
        options.writable = true;
        sql::Connection connection(sql::openEngineDatabase(file, options));
        try {
            connection.execute(update);
            ADD_FAILURE() << "the UPDATE should hit the duplicate key on its last row";
        } catch (const sql::ExecutionError& e) {
            EXPECT_NE(std::string(e.what()).find("row 91 of 91"), std::string::npos) << e.what();
        }
        // The same connection reads the old rows, and its next statement works on them.
        auto r = connection.execute("SELECT COUNT(*) FROM [RECH1] WHERE [XAUFTR_NR] > 2000000");
        ASSERT_TRUE(r.rows().next());
        EXPECT_EQ(r.rows().row()[0].asInt(), 1);
    }
    EXPECT_EQ(readFile(file), bytes);
    { DatabaseWriter reopened = DatabaseWriter::open(file); }
    EXPECT_EQ(readFile(file), bytes);
    EXPECT_EQ(rowsOf(file, "RECH1"), rows);
}

// Updates that move most rows of two tables Access filled (kbfakt5: pages with rows it moved
// and rows it deleted) succeed, and all three readers see each row once, with its new value.
TEST(Savepoint, MovedRowsReadTheSameInEveryReader) {
    const fs::path source = realFixture("kbfakt5.mdb");
    if (source.empty()) JET_UNAVAILABLE() << "kbfakt5.mdb is not in the shared test files";
    TempDir dir;
    const fs::path file = dir.path / "kbfakt5.mdb";
    fs::copy_file(source, file);
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
    struct Change {
        std::string table, column, value;
        size_t rows;
    };
    const std::vector<Change> changes = {{"RECH2", "ARTIKELNR", "Tablör-2", 2700},
                                         {"RECH1", "XNAME1", "Tablör-1", 389}};
    for (const Change& c : changes) {
        const auto before = rowsOf(file, c.table);
        ASSERT_EQ(before.size(), c.rows);
        const auto r = runSql(file, "UPDATE [" + c.table + "] SET [" + c.column + "] = '" + c.value + "'");
        EXPECT_EQ(r.rowsAffected(), static_cast<int64_t>(c.rows));
        Database db = Database::open(file);
        const int col = db.table(c.table)->findColumn(c.column);
        RowCursor cur = db.scan(c.table);
        size_t n = 0;
        while (cur.next()) {
            ++n;
            EXPECT_EQ(cur.values()[static_cast<size_t>(col)].toString(), c.value);
        }
        EXPECT_EQ(n, c.rows);
        if (jet::test::readerPresent(haveMdbTools(), "mdbtools")) {
            int st = 0;
            const std::string values =
                runCommand("mdb-export -H -q '' -d '|' '" + file.string() + "' " + c.table + " | cut -d'|' -f" +
                               std::to_string(col + 1) + " | sort | uniq -c | awk '{print $1, $2}'",
                           &st);
            EXPECT_EQ(st, 0);
            EXPECT_EQ(values, std::to_string(c.rows) + " " + c.value + "\n") << "mdbtools";
        }
    }
    if (jet::test::readerPresent(jet::test::haveMdbReader(), "mdb-reader")) {
        const fs::path script = fs::path(TABLOR_SOURCE_DIR) / "tests/jet/mdb-reader/dump.mjs";
        const std::string dump = runCommand("node '" + script.string() + "' '" + file.string() + "'");
        for (const Change& c : changes) {
            // The table's rows follow its header line up to the next table's.
            const size_t at = dump.find("{\"table\":\"" + c.table + "\"");
            ASSERT_NE(at, std::string::npos);
            const size_t from = dump.find('\n', at) + 1, to = dump.find("{\"table\":", from);
            const std::string body = dump.substr(from, to == std::string::npos ? std::string::npos : to - from);
            const std::string cell = "\"" + c.column + "\":\"" + c.value + "\"";
            size_t lines = 0, changed = 0;
            for (size_t p = 0; p < body.size(); p = body.find('\n', p) + 1) {
                ++lines;
                const size_t end = body.find('\n', p);
                if (body.substr(p, end - p).find(cell) != std::string::npos) ++changed;
                if (end == std::string::npos) break;
            }
            EXPECT_EQ(lines, c.rows) << "mdb-reader, " << c.table;
            EXPECT_EQ(changed, c.rows) << "mdb-reader, " << c.table;
        }
    }
    expectClean(file);
}

// A transaction rolled back after several flushes (every row of every user table deleted, a
// table created and filled) on files Access made: the file is byte for byte as before, and
// the writer goes on from the restored state as a writer that never saw it (check clean).
TEST(Transaction, RolledBackAfterFlushesLeavesTheSameBytesAsNone) {
    const fs::path folder = tablor::test::sharedTestData("mdb-real");
    if (!fs::is_directory(folder)) GTEST_SKIP() << "no real fixtures";
    TempDir dir;
    auto probe = [](DatabaseWriter& w) {
        w.createTable(logTableSpec("Zz Probe"));
        TableWriter t = w.table("Zz Probe");
        for (int32_t i = 1; i <= 400; ++i) t.insert(logRow(i, "after " + std::to_string(i), 300 + i * 7 % 3000));
    };
    int files = 0;
    for (const auto& e : fs::directory_iterator(folder)) {
        if (e.path().extension() != ".mdb") continue;
        try {
            if (Database::open(e.path()).version() != Version::Jet4) continue;
        } catch (const std::exception&) {
            continue;
        }
        SCOPED_TRACE(e.path().filename().string());
        const fs::path plain = dir.path / "plain.mdb", detour = dir.path / "detour.mdb";
        fs::remove(plain);
        fs::remove(detour);
        for (const fs::path& copy : {plain, detour}) {
            fs::copy_file(e.path(), copy);
            fs::permissions(copy, fs::perms::owner_write, fs::perm_options::add);
        }
        const auto original = readFile(plain);
        {
            DatabaseWriter w = DatabaseWriter::open(plain);
            probe(w);
        }
        DatabaseWriter w = DatabaseWriter::open(detour);
        std::vector<std::string> names;
        for (const auto& entry : w.database().objects())
            if (entry.kind == ObjectKind::Table && entry.linkedDatabase.empty() && entry.name.rfind("MSys", 0) != 0)
                names.push_back(entry.name);
        size_t erased = 0;
        {
            DatabaseWriter::Transaction tx(w);
            for (const auto& name : names) {
                std::vector<RowId> ids;
                RowCursor cur = w.database().scan(name);
                while (cur.next()) ids.push_back(cur.rowId());
                TableWriter t = w.table(name);
                for (const RowId& id : ids) {
                    try {
                        t.erase(id);
                        ++erased;
                    } catch (const ConstraintError&) {
                        // a row its relationships keep
                    }
                }
                w.flush();
            }
            w.createTable(logTableSpec("Made Inside"));
            TableWriter made = w.table("Made Inside");
            for (int32_t i = 1; i <= 300; ++i) made.insert(logRow(i, "inside " + std::to_string(i), 700));
            w.flush();
            tx.rollback();
        }
        EXPECT_FALSE(fs::exists(detour.string() + "-journal"));
        EXPECT_EQ(readFile(detour), original) << erased << " rows were deleted and put back";
        probe(w);
        w.flush();
        // (Not byte for byte: a new table's catalog row holds the time it was made.)
        expectClean(detour);
        for (const auto& name : names) EXPECT_EQ(rowsOf(detour, name), rowsOf(plain, name)) << name;
        EXPECT_EQ(rowsOf(detour, "Zz Probe"), rowsOf(plain, "Zz Probe"));
        ++files;
    }
    EXPECT_GT(files, 3);
}

namespace {
struct DiskFull : std::runtime_error {
    DiskFull() : std::runtime_error("no space left on the disk") {}
};
void failPageWrite() { throw DiskFull(); }
std::vector<std::string> lostChanges;
void recordLostChanges(const std::string& message) { lostChanges.push_back(message); }
} // namespace

// The last flush of a writer fails: close() throws it, a writer destroyed without close()
// hands it to the lost-changes reporter; either way the file keeps the rows of the last
// flush that completed, and the next writer can open it.
TEST(Writer, AFailedLastFlushIsReported) {
    for (const bool explicitClose : {true, false}) {
        SCOPED_TRACE(explicitClose ? "close()" : "destructor");
        TempDir dir;
        const fs::path file = dir.path / "full.mdb";
        {
            DatabaseWriter w = DatabaseWriter::create(file);
            w.createTable(logTableSpec("Log"));
            w.table("Log").insert(logRow(1, "kept", 30));
            w.close();
        }
        lostChanges.clear();
        const auto reporter = setLostChangesReporter(&recordLostChanges);
        {
            // (Before the writer, so that its destructor still meets the failing disk.)
            const auto hook = tablor::test::assigned(detail::pageWriteHook, &failPageWrite);
            DatabaseWriter w = DatabaseWriter::open(file);
            w.table("Log").insert(logRow(2, "lost", 30));
            if (explicitClose) {
                EXPECT_THROW(w.close(), DiskFull);
                EXPECT_TRUE(lostChanges.empty());
                EXPECT_THROW(w.table("Log").insert(logRow(3, "refused", 30)), IoError);
            }
        }
        setLostChangesReporter(reporter);
        if (explicitClose) {
            EXPECT_TRUE(lostChanges.empty());
        } else {
            ASSERT_EQ(lostChanges.size(), 1u);
            EXPECT_NE(lostChanges[0].find("full.mdb were not saved: no space left"), std::string::npos)
                << lostChanges[0];
        }
        EXPECT_EQ(rowsOf(file, "Log").size(), 1u);
        DatabaseWriter again = DatabaseWriter::open(file); // the lock went with the failed writer
        again.table("Log").insert(logRow(4, "after", 30));
        again.close();
        EXPECT_EQ(rowsOf(file, "Log").size(), 2u);
    }
}
