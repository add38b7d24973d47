// Runs the data-driven statement tests (*.sqltest under tests/jet/sql/data/). The format,
// one record per paragraph (records are separated by blank lines, '#' starts a comment):
//
//   database empty | fixture NAME.mdb | none     first line of a file: what the statements run on
//   only BACKEND REASON                          the file runs on that backend only; REASON says
//                                                why (shown when another backend skips it)
//   attach PATH                                  another empty database that IN 'PATH' reaches
//   use PATH | use main                          later records run on that database
//   view NAME                                    a saved query NAME with the SQL on the next lines
//   parse                                        the statement, then "----", then the canonical
//                                                text toSql() prints for it
//   parse error TEXT                             parsing fails with a message containing TEXT
//   statement ok [N]                             runs; N = rows affected
//   statement error TEXT                         fails with a message containing TEXT
//   query [rowsort]                              the statement, "----", the CSV header and rows
//   query error TEXT                             fails with a message containing TEXT
//
// "${TMP}" in a statement or path stands for a temporary folder of the run.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "jet/sql/storage.h"

namespace jet::sql::testing {

// Where the statements of a file run: in memory, or on real files through the engine.
class Backend {
public:
    virtual ~Backend() = default;
    virtual std::string name() const = 0;
    // A new empty database at `path`; nullptr when this backend cannot make one.
    virtual std::shared_ptr<Database> createEmpty(const std::string& path) = 0;
    // A writable copy of a fixture file; nullptr (and `why`) when not available.
    virtual std::shared_ptr<Database> openFixture(const std::string& name, const std::string& tmp,
                                                  std::string& why) = 0;
    // Adds a saved query; false when this backend cannot.
    virtual bool addView(Database& db, const std::string& name, const std::string& sql) = 0;
    // A new empty database at `path` that `db` reaches through IN 'path'; false when the
    // backend cannot make one.
    virtual bool attach(Database& db, const std::string& path) = 0;
    // The attached database at `path`, opened for a `use` record.
    virtual std::shared_ptr<Database> openAttached(Database& db, const std::string& path) = 0;
};

struct SqlTestOutcome {
    bool skipped = false;
    std::string skipReason;
    std::vector<std::string> failures; // "file:line: what went wrong"
    int records = 0;
};

SqlTestOutcome runSqlTestFile(const std::string& path, Backend& backend, const std::string& tmpDir);

} // namespace jet::sql::testing
