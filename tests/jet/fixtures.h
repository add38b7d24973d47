// Test helpers: where the real .mdb files are, running mdbtools, parsing CSV.
#pragma once

#include "availability.h"
#include "jet/jet.h"
#include "support/files.h"
#include "support/shell.h"

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace jet {
// How gtest shows a value in failure messages.
inline void PrintTo(const Value& v, std::ostream* os) {
    *os << "kind " << static_cast<int>(v.kind()) << " \"" << v.toString() << "\"";
}
} // namespace jet

namespace jet::test {

// Every real database the tests know, shipped or shared.
const std::vector<std::string>& allFixtures();

// The path of a fixture: tests/data/mdb first, then the shared folder; empty if absent.
std::filesystem::path fixturePath(const std::string& name);

// A skip message for an absent fixture.
std::string missingFixtureMessage(const std::string& name);

using tablor::test::haveMdbTools;
using tablor::test::runCommand;
using tablor::test::shellQuote;

// RFC 4180 parsing: rows of fields.
std::vector<std::vector<std::string>> parseCsv(const std::string& text);

// Our export of a table as CSV text (the same code path as tablor-mdb export).
std::string exportCsv(const Database& db, const std::string& table);

// A writable copy of a fixture in a fresh temporary folder.
std::filesystem::path tempCopy(const std::filesystem::path& source, const std::string& name);

using tablor::test::readFile;
using tablor::test::writeFile;

} // namespace jet::test

#define JET_REQUIRE_FIXTURE(var, name)                                                                                 \
    const auto var = ::jet::test::fixturePath(name);                                                                   \
    if (var.empty()) {                                                                                                 \
        JET_UNAVAILABLE() << ::jet::test::missingFixtureMessage(name);                                                 \
    }                                                                                                                  \
    static_assert(true)
