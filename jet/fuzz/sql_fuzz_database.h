// The small database that the SQL fuzz target runs its statements over: made once per
// process by the engine's own writer (tables of every column type, plain, unique, composite
// and descending indexes, memo values long enough for long-value pages, two enforced
// relationships, one cascading), kept as bytes, and put back before each input.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace jet::fuzz {

class SqlFuzzDatabase {
public:
    // Makes the databases in a fresh folder (in /dev/shm where there is one).
    SqlFuzzDatabase();
    ~SqlFuzzDatabase();
    SqlFuzzDatabase(const SqlFuzzDatabase&) = delete;
    SqlFuzzDatabase& operator=(const SqlFuzzDatabase&) = delete;

    // The database of the statements, and the empty one that SELECT ... INTO ... IN 'file'
    // writes to whatever file it names.
    const std::filesystem::path& path() const { return path_; }
    const std::filesystem::path& otherPath() const { return otherPath_; }

    // Puts both files back as they were made and removes any journal left beside them.
    void restore();

private:
    std::filesystem::path folder_, path_, otherPath_;
    std::vector<std::uint8_t> bytes_, otherBytes_;
};

} // namespace jet::fuzz
