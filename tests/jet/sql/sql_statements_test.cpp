// Runs every data-driven statement file (tests/jet/sql/data/*.sqltest) on every backend:
// the in-memory database, and real .mdb files through the engine where it is built.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "jet/check.h"
#include "jet/sql/engine.h"
#include "jet/sql/error.h"
#include "memory_database.h"
#include "sqltest_runner.h"
#include "support/files.h"

namespace fs = std::filesystem;
using namespace jet::sql;
using namespace jet::sql::testing;

namespace {

class MemoryBackend : public Backend {
public:
    std::string name() const override { return "memory"; }
    std::shared_ptr<Database> createEmpty(const std::string& path) override {
        return std::make_shared<MemoryDatabase>(path);
    }
    std::shared_ptr<Database> openFixture(const std::string&, const std::string&, std::string& why) override {
        why = "fixture files run on the engine backend (SqlStatementsOnFiles)";
        return nullptr;
    }
    bool addView(Database& db, const std::string& name, const std::string& sql) override {
        static_cast<MemoryDatabase&>(db).addView(name, sql);
        return true;
    }
    bool attach(Database& db, const std::string& path) override {
        static_cast<MemoryDatabase&>(db).addOther(path, std::make_shared<MemoryDatabase>(path));
        return true;
    }
    std::shared_ptr<Database> openAttached(Database& db, const std::string& path) override {
        return db.openOther(path);
    }
};

// Real .mdb files through the engine: fixtures are copied to the run's folder first.
class EngineBackend : public Backend {
public:
    std::string name() const override { return "engine"; }
    std::shared_ptr<Database> createEmpty(const std::string& path) override { return createEngineDatabase(path); }
    std::shared_ptr<Database> openFixture(const std::string& name, const std::string& tmp, std::string& why) override {
        fs::path source = tablor::test::sharedTestData("mdb") / name;
        if (!fs::exists(source)) {
            why = "the fixture " + source.string() + " is not there (the shared test data folder is absent)";
            return nullptr;
        }
        fs::path copy = fs::path(tmp) / name;
        fs::copy_file(source, copy, fs::copy_options::overwrite_existing);
        fs::permissions(copy, fs::perms::owner_read | fs::perms::owner_write); // the fixtures are read-only
        return openEngineDatabase(copy);
    }
    bool addView(Database&, const std::string&, const std::string&) override { return false; }
    // Real files reach each other by path: make the file and let it go (a writer holds a lock).
    bool attach(Database&, const std::string& path) override { return createEmpty(path) != nullptr; }
    std::shared_ptr<Database> openAttached(Database&, const std::string& path) override {
        EngineOptions options;
        options.writable = true;
        return openEngineDatabase(path, options);
    }
};

std::vector<std::string> sqlTestFiles() {
    std::vector<std::string> files;
    fs::path dir = fs::path(TABLOR_SOURCE_DIR) / "tests/jet/sql/data";
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.path().extension() == ".sqltest") files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

std::string testName(const ::testing::TestParamInfo<std::string>& info) {
    std::string name = fs::path(info.param).stem().string();
    for (char& c : name)
        if (!isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

void report(const SqlTestOutcome& outcome) {
    if (outcome.skipped) GTEST_SKIP() << outcome.skipReason;
    for (const std::string& f : outcome.failures) ADD_FAILURE() << f;
    EXPECT_GT(outcome.records, 0) << "the file holds no records";
}

} // namespace

class SqlStatementsInMemory : public ::testing::TestWithParam<std::string> {};

TEST_P(SqlStatementsInMemory, RunsAsWritten) {
    MemoryBackend backend;
    const tablor::test::TempDir tmp("tablor-sqltest-memory-" + testName({GetParam(), 0}));
    report(runSqlTestFile(GetParam(), backend, tmp.path.string()));
}

INSTANTIATE_TEST_SUITE_P(Files, SqlStatementsInMemory, ::testing::ValuesIn(sqlTestFiles()), testName);

class SqlStatementsOnFiles : public ::testing::TestWithParam<std::string> {};

TEST_P(SqlStatementsOnFiles, RunsAsWritten) {
    EngineBackend backend;
    const tablor::test::TempDir tmp("tablor-sqltest-engine-" + testName({GetParam(), 0}));
    SqlTestOutcome outcome = runSqlTestFile(GetParam(), backend, tmp.path.string());
    // Every file the statements changed must still be sound, down to each index entry.
    if (!outcome.skipped) {
        for (const auto& entry : fs::directory_iterator(tmp.path)) {
            if (entry.path().extension() != ".mdb") continue;
            jet::CheckReport check = jet::checkDatabase(jet::Database::open(entry.path()));
            for (const std::string& problem : check.problems)
                ADD_FAILURE() << entry.path().filename() << " after the statements: " << problem;
        }
    }
    report(outcome);
}

INSTANTIATE_TEST_SUITE_P(Files, SqlStatementsOnFiles, ::testing::ValuesIn(sqlTestFiles()), testName);
