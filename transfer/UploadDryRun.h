// UploadDryRun.h — what an upload would do, without changing anything: for each Access table,
// how many of its rows would be added to the server table, how many would update a row found
// there by key (the whole primary key, else a unique column, as the upload matches them), and
// how many are there already with the same values and would be left alone. With `overwrite`
// the server table would be emptied first: every row is then added, and the rows there now are
// counted as removed.
#pragma once

#include "transfer/UploadCopy.h"

namespace tablor::transfer {

struct DryRunCounts {
    QString table;
    qint64 inserted = 0, updated = 0, unchanged = 0, removed = 0;
    QString problem; // why the table would not be copied; empty when it would
};

// Reads the server tables whole (one hash per row); opens a connection of its own.
std::vector<DryRunCounts> uploadDryRun(const UploadOptions& options, const QStringList& tables);

} // namespace tablor::transfer
