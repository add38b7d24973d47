// UploadCopy.h — the upload: Access tables of a local file onto the tables of the same name on
// the MySQL server. No table is created: the server table must have the Access table's columns,
// with the same names in the same order (else result 8). Each table is copied inside one server
// transaction: emptied first when `overwrite` is set and filled by LOAD DATA LOCAL batches
// (LoadDataBatch; multi-row INSERTs where the server does not allow it), otherwise its rows
// are matched on the whole primary key with multi-row INSERT ... ON DUPLICATE KEY UPDATE,
// sized to the server's max_allowed_packet. A batch the server refuses is sent again row by
// row, so exactly the failing rows are counted (the first hundred with their key values and
// the server's text); a lost connection leaves the server table as it was, except for tables
// whose engine cannot roll back (MyISAM), which the message then names.
//
// Ownership: the UploadCopy opens a connection of its own with the given parameters and the
// Access file through the process's shared handle (AccessFile); both are closed with it.
#pragma once

#include "transfer/CopyResult.h"

#include "db/ZMySql.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

namespace tablor {
class AccessFile;
}

namespace tablor::transfer {

struct UploadOptions {
    QString host, port, database, user, password; // the server connection
    QString mdbPath;
    bool overwrite = false; // empty each server table first; otherwise match rows by key
    int languageIndex = 1;  // of the report's texts: 0 German, 1 English
};

class UploadCopy {
public:
    explicit UploadCopy(UploadOptions options);
    ~UploadCopy();
    UploadCopy(const UploadCopy&) = delete;
    UploadCopy& operator=(const UploadCopy&) = delete;

    std::function<void(const QString& table, int percent, qint64 rows, qint64 total)> OnCopyProgress;
    std::function<void(const QString& table, qint64 erroneous)> OnAfterDbCopy;
    const std::atomic<bool>* cancel = nullptr; // looked at every 2,000 rows; a cancel rolls the table back

    TableCopyReport CopyToServer(const QString& table);
    // Several tables in one server transaction, parents before children (CopyOrder.h): the
    // reports in that order. A table that fails, or a cancel, rolls all of them back.
    std::vector<TableCopyReport> CopyToServer(const QStringList& tables);

private:
    struct TargetTable {
        QString table;
        QStringList keys; // matched on these
        bool transactional = true;
    };
    bool connect(TableCopyReport& report);
    bool prepare(TargetTable& plan, TableCopyReport& report);
    // Throws on a failure that ends the copy (the connection, the file); a cancel returns.
    void copyRows(const TargetTable& plan, TableCopyReport& report);

    UploadOptions m_options;
    TZMySqlDatabase m_server;
    std::shared_ptr<AccessFile> m_file;
    bool m_loadDataAllowed = true; // until the server refuses LOAD DATA LOCAL once
};

} // namespace tablor::transfer
