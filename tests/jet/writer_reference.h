// Access files written by Tablor, kept in tests/data/mdb-written: how they are made (the same
// code makes the stored files and the ones a test compares with them) and the structure they
// are compared by.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace jet::writer_test {

// The reference files' names, in the order they are made.
std::vector<std::string> referenceFileNames();

// Writes the reference files into `dir` (which exists; the files must not).
void writeReferenceFiles(const std::filesystem::path& dir);

// The file's structure as text, one fact per line: every table's definition (columns,
// flags, indexes), every row of every table (system tables too) in storage order, and each
// page's type and owner. Times (MSysObjects' DateCreate/DateUpdate) and page 0 (the header,
// which holds the creation time) are left out.
std::string structureOf(const std::filesystem::path& file);

} // namespace jet::writer_test
