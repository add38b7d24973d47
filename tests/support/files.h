// Files for tests: a temporary folder that goes with its object, the real test files shared
// beside the clone (../shared/testdata, read-only: copy before writing; tests skip what is
// absent, CI fails), whole files as bytes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tablor::test {

// A fresh folder "<prefix>-XXXXXX" under the system's temporary folder, removed with all it
// holds at the end; throws std::runtime_error when it cannot be made.
struct TempDir {
    explicit TempDir(const std::string& prefix = "tablor-test");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::filesystem::path path;
};

// `relative` under the shared testdata folder, e.g. sharedTestData("mdb/meza_test.mdb"); the
// folder itself when empty.
std::filesystem::path sharedTestData(std::string_view relative = {});

// The whole file (empty when it cannot be read), and a file made of `bytes`.
std::vector<std::uint8_t> readFile(const std::filesystem::path& p);
void writeFile(const std::filesystem::path& p, const std::vector<std::uint8_t>& bytes);

} // namespace tablor::test

#ifdef QT_CORE_LIB // set for every target that links Qt
#include <QString>

namespace tablor::test {
inline QString sharedTestDataPath(const QString& relative) { // sharedTestData as a QString
    return QString::fromStdString(sharedTestData(relative.toStdString()).string());
}
} // namespace tablor::test
#endif
