#include "support/files.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <stdlib.h>

namespace tablor::test {

TempDir::TempDir(const std::string& prefix) {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make a temporary folder " + pattern + ": " + std::strerror(errno) +
                                 " (is TMPDIR writable?)");
    path = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored; // a test that failed half-way may have left anything behind
    std::filesystem::remove_all(path, ignored);
}

std::filesystem::path sharedTestData(std::string_view relative) {
    const std::filesystem::path root = std::filesystem::path(TABLOR_SHARED_DIR) / "testdata";
    return relative.empty() ? root : root / relative;
}

std::vector<std::uint8_t> readFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const std::filesystem::path& p, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

} // namespace tablor::test
