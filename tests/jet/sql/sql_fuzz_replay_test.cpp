// The SQL fuzz target's kept findings (jet/fuzz/sql-regressions) and its seeds, each run
// through the target's own body: a finding that comes back fails here as the exception or
// the report that the fuzzer stopped at, without libFuzzer.
#include "sql_fuzz.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <typeinfo>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::vector<fs::path> inputsIn(const char* folder) {
    std::vector<fs::path> out;
    for (const auto& e : fs::directory_iterator(fs::path(TABLOR_SOURCE_DIR) / "jet/fuzz" / folder))
        if (e.is_regular_file() && e.path().filename() != "README.md") out.push_back(e.path());
    std::sort(out.begin(), out.end());
    return out;
}

void replay(const std::vector<fs::path>& inputs) {
    for (const fs::path& p : inputs) {
        SCOPED_TRACE(p.filename().string());
        std::ifstream in(p, std::ios::binary);
        const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
        try {
            jet::fuzz::runSqlInput(bytes.data(), bytes.size());
        } catch (const std::exception& e) {
            ADD_FAILURE() << typeid(e).name() << ": " << e.what();
        }
    }
}

TEST(SqlFuzzReplay, KeptFindingsRunClean) {
    const auto inputs = inputsIn("sql-regressions");
    if (inputs.empty()) GTEST_SKIP() << "no findings kept in jet/fuzz/sql-regressions yet";
    replay(inputs);
}

TEST(SqlFuzzReplay, SeedsRunClean) {
    const auto inputs = inputsIn("sql-seeds");
    ASSERT_FALSE(inputs.empty()) << "no seeds in jet/fuzz/sql-seeds";
    replay(inputs);
}

} // namespace
