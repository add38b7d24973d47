// DownloadCopy.h — the download: MySQL tables into a local Access file through the engine.
//
// For each table: the Access file is created when missing (in the Access 2000 or the Access 97
// format, as `office2000` says), the Access table is created from the
// server's column descriptions with its whole primary key (or, when it exists, its columns are
// checked against them), emptied when `overwrite` is set or otherwise matched row by row on
// every key column, and filled from a stream of the server's rows, assigned by column name.
// Rows are written in batches with one flush each; a row that fails is counted (the first
// hundred with their key values and the reason) and the copy goes on. Progress is reported
// every 2,000 rows, and a cancel request ends the batch there. Each table's copy is one
// transaction of the engine: a table it could not finish (cancelled, the server gone, a full
// disk) is as it was before, not there when the copy made it.
//
// Ownership: the DownloadCopy holds the Access file from the first table until it is destroyed,
// through the process's shared handle (AccessFile), so a window that has the file open (cnLocal)
// and the copy write through one writer and one page cache; the MySQL connection is the
// caller's and must stay open.
#pragma once

#include "transfer/CopyResult.h"

#include "db/ZMySql.h"

#include "jet/writer.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <stdexcept>

namespace tablor {
class AccessFile;
}

namespace tablor::transfer {

struct TablePlan;

// A failure that ends the whole download (the Access file cannot be created or opened, an
// Access 97 target); what() says which file and what to do.
class CopyError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct DownloadOptions {
    QString mdbPath;
    bool office2000 = true; // the format of a file that has to be created
    bool overwrite = false; // empty each Access table first; otherwise match rows by key
    int batchRows = 50000;  // rows per flush (the writer also flushes when its cache passes 32 MB)
    int languageIndex = 1;  // of the report's texts: 0 German, 1 English
};

class DownloadCopy {
public:
    DownloadCopy(TZMySqlDatabase& server, DownloadOptions options);
    ~DownloadCopy();
    DownloadCopy(const DownloadCopy&) = delete;
    DownloadCopy& operator=(const DownloadCopy&) = delete;

    // Raised before a new Access file is created and after the attempt (and after a failed
    // creation of a table), with the table in hand.
    std::function<void(const QString& table)> OnBeforeCreateDB;
    std::function<void(const QString& table, bool success, const QString& error)> AfterCreateDB;
    // Every 2,000 rows and at the end: rows read so far of `total`, and their share in percent.
    std::function<void(const QString& table, int percent, qint64 rows, qint64 total)> OnCopyProgress;
    std::function<void(const QString& table, qint64 erroneous)> OnAfterDbCopy;
    // Set (from anywhere) to stop: looked at with each progress report; the rows read until
    // then are written (one flush) and the copy of the table ends.
    const std::atomic<bool>* cancel = nullptr;

    // Copies the server table `table` (with or without backquotes). Throws CopyError when the
    // Access file cannot be created or opened; every other failure is in the report.
    TableCopyReport CopyToLocal(const QString& table);

    // Walks the whole Access file as written so far (jet::checkDatabase): the problems found,
    // one line each; empty when the file is sound or no table was copied into it yet. A
    // download is not done before this is empty.
    QStringList checkFile() const;

private:
    void openFile(const QString& table);
    bool checkExisting(const TablePlan& plan, TableCopyReport& report);
    bool emptyTable(const QString& table, TableCopyReport& report);
    void copyRows(const TablePlan& plan, qint64 total, TableCopyReport& report);
    void putBack(jet::DatabaseWriter::Transaction& step, TableCopyReport& report);

    TZMySqlDatabase& m_server;
    DownloadOptions m_options;
    std::shared_ptr<AccessFile> m_file;
};

} // namespace tablor::transfer
