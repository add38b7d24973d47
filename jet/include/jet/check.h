// Integrity check of a whole database: page types, usage maps against the pages tables
// really own, rows (every row a reader that walks the pages would meet must be one our reader
// returns, once), long-value chains, index entries against the rows (each row once, in key
// order, each key the encoding of its row's values), and the rows of enforced relationships
// (each foreign key with every column set names a row of the parent table). The writer's
// output is held to it.
#pragma once

#include "jet/database.h"

#include <string>
#include <vector>

namespace jet {

struct CheckReport {
    std::vector<std::string> problems; // one line each, naming the page or table
    // Things a healthy file may show, one line each: pages a table left but that still name it
    // as their owner (Access keeps them until a compact). Not damage; ok() ignores them.
    std::vector<std::string> notes;
    uint64_t pagesChecked = 0;
    uint64_t rowsChecked = 0;
    uint64_t indexEntriesChecked = 0;
    uint64_t keysCompared = 0;    // entries re-encoded from their row
    uint64_t keysNotCompared = 0; // entries over Binary columns, which have no key encoding
    bool ok() const { return problems.empty(); }
};

// Walks everything; damage is reported as problems, not thrown (IoError still throws).
CheckReport checkDatabase(const Database& db);

} // namespace jet
