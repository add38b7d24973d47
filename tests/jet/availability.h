// What a test does when a fixture or an outside reader (mdbtools, mdb-reader) is missing.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string_view>

namespace jet::test {

// CI runs with CI=true on a machine that scripts/setup prepared and with the shared fixtures
// beside the clone; there a missing fixture or reader is a failure, not a reason to skip.
inline bool runningInCi() {
    const char* ci = std::getenv("CI");
    return ci != nullptr && std::string_view(ci) == "true";
}

// node and the npm package mdb-reader, installed by scripts/setup into tests/jet/mdb-reader.
inline bool haveMdbReader() {
    const std::filesystem::path dir = std::filesystem::path(TABLOR_SOURCE_DIR) / "tests/jet/mdb-reader";
    return std::system("command -v node >/dev/null 2>&1") == 0 &&
           std::filesystem::exists(dir / "node_modules/mdb-reader");
}

// For a comparison a test adds when a reader is there: true when it is; in CI its absence is
// also recorded as a failure.
inline bool readerPresent(bool present, const char* reader) {
    if (!present && runningInCi()) ADD_FAILURE() << reader << " is missing in CI (scripts/setup installs it)";
    return present;
}

} // namespace jet::test

// Ends a test that lacks a fixture or an outside reader: a skip on a developer's machine, a
// failure in CI. Streams like GTEST_SKIP(): JET_UNAVAILABLE() << "mdbtools is not installed";
#define JET_UNAVAILABLE()                                                                                              \
    return ::testing::internal::AssertHelper(::jet::test::runningInCi() ? ::testing::TestPartResult::kFatalFailure     \
                                                                        : ::testing::TestPartResult::kSkip,            \
                                             __FILE__, __LINE__,                                                       \
                                             ::jet::test::runningInCi() ? "missing in CI (CI=true)" : "skipped") =     \
               ::testing::Message()
