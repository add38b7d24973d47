// CopyResult.h — the outcome of copying one table, as the main window and tablor-copy report it.
#pragma once

#include <QString>

#include <vector>

namespace tablor::transfer {

// The result codes of a table copy. The main window words them with its messages
// (msgTypeConflict, msgNoLocalDb, msgNoRemoteDb, msgNoPrimaryKey).
enum class CopyResult : int {
    NoConnection = 0,  // the MySQL connection could not be opened
    Copied = 1,        // copied; some rows may have failed
    AllRowsFailed = 4, // at least one row, and every row failed
    NoLocalDb = 6,     // the Access table cannot be created, read or emptied
    NoRemoteDb = 7,    // the MySQL table cannot be read
    TypeConflict = 8,  // the existing Access table differs in its columns
    NoPrimaryKey = 9,  // rows would be matched by key, and there is none
};

// One row that could not be copied: its key values ("id=7, line=2", or its position in the
// source when the table has no key) and the engine's or the server's text.
struct RowError {
    QString key;
    QString message;
};

struct TableCopyReport {
    static constexpr size_t kMaxRowErrors = 100; // rows listed in `errors`; all are counted

    QString table;
    CopyResult result = CopyResult::Copied;
    qint64 rowsRead = 0, rowsWritten = 0, rowsFailed = 0;
    std::vector<RowError> errors; // the first kMaxRowErrors failed rows
    bool created = false;         // the target table was created by this copy
    bool cancelled = false;       // stopped on request after rowsRead rows
    QString message;              // why the table was not (wholly) copied; empty when it was

    bool complete() const { return result == CopyResult::Copied && rowsFailed == 0 && !cancelled; }
};

} // namespace tablor::transfer
