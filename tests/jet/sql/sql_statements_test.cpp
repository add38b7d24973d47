// Runs every data-driven statement file (tests/jet/sql/data/*.sqltest) on every backend:
// the in-memory database, and real .mdb files through the engine where it is built.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "memory_database.h"
#include "sqltest_runner.h"

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
        why = "fixture files need the engine backend";
        return nullptr;
    }
    bool addView(Database& db, const std::string& name, const std::string& sql) override {
        static_cast<MemoryDatabase&>(db).addView(name, sql);
        return true;
    }
    void attach(Database& db, const std::string& path, std::shared_ptr<Database> other) override {
        static_cast<MemoryDatabase&>(db).addOther(path, std::static_pointer_cast<MemoryDatabase>(other));
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

fs::path freshTempDir(const std::string& name) {
    fs::path dir = fs::temp_directory_path() / ("tablor-sqltest-" + std::to_string(::getpid()) + "-" + name);
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

void report(const SqlTestOutcome& outcome) {
    if (outcome.skipped) GTEST_SKIP() << outcome.skipReason;
    for (const std::string& f : outcome.failures) ADD_FAILURE() << f;
    EXPECT_GT(outcome.records, 0) << "the file holds no records";
}

}  // namespace

class SqlStatementsInMemory : public ::testing::TestWithParam<std::string> {};

TEST_P(SqlStatementsInMemory, RunsAsWritten) {
    MemoryBackend backend;
    fs::path tmp = freshTempDir("memory-" + testName({GetParam(), 0}));
    SqlTestOutcome outcome = runSqlTestFile(GetParam(), backend, tmp.string());
    fs::remove_all(tmp);
    report(outcome);
}

INSTANTIATE_TEST_SUITE_P(Files, SqlStatementsInMemory, ::testing::ValuesIn(sqlTestFiles()), testName);
