// WizardCopy.h — the conversion wizard's four copy directions, without a window: Access to
// MySQL, MySQL to Access (through the download, DownloadCopy), MySQL to MySQL and Access to
// Access. The wizard window (TfrmWizard) and `tablor-copy a2m|m2a|m2m|a2a` both describe a
// job in a WizardJob and watch it through a WizardSink.
//
// The engines run on the caller's thread and call WizardSink::pump() between batches, so a
// window keeps repainting; a cancel request is honoured after the current row or batch. Row
// failures never end a copy: each is reported through WizardSink::error() (the table name,
// ": " and the server's or the engine's text) and counted in the table's report.
#pragma once

#include "transfer/CopyResult.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace tablor::transfer {

enum class WizardDirection { AccessToMySql, MySqlToAccess, MySqlToMySql, AccessToAccess };

// One MySQL side, as a server profile gives it.
struct WizardServer {
    QString host;
    unsigned port = 3306;
    QString user;
    QString password;
    QString database;
    bool office2000 = true; // the profile's AccessFormat (MySQL to Access: the target's format)
};

struct WizardJob {
    WizardDirection direction = WizardDirection::AccessToMySql;
    QString sourceMdb;           // Access to MySQL, Access to Access
    QString targetMdb;           // MySQL to Access, Access to Access (created when missing)
    WizardServer sourceServer;   // MySQL to Access, MySQL to MySQL
    WizardServer targetServer;   // Access to MySQL, MySQL to MySQL
    QStringList tables;          // the ticked tables, in list order
    bool append = false;         // cboOption 1: add to an existing target table of the same columns
    QString prefix;              // Access to MySQL, MySQL to MySQL: put before each target name
    qint32 resumeOffset = 0;     // Access to MySQL: start after this id (-offset:)
    QStringList troubleshootIds; // Access to MySQL: copy only these ids (the troubleshooting list)
    QString rowFileFolder;       // where the row statement files go; empty: none are written
    int languageIndex = 0;       // 0 German, 1 English: status texts and messages
};

// What an engine tells its watcher. Every call comes on the engine's (the caller's) thread.
class WizardSink {
public:
    virtual ~WizardSink() = default;
    virtual void overall(qint64 done, qint64 total) = 0; // prgAll
    virtual void detail(qint64 done, qint64 total) = 0;  // prgDetail
    virtual void status(const QString& text) = 0;        // lblStat
    virtual void error(const QString& line) = 0;         // one line of memErrors
    // A message the window shows in a box (a structure mismatch, a connection failure).
    virtual void message(const QString& text) = 0;
    virtual void currentSql(const QString& /*sql*/) {} // CurrentSql, the statement in hand
    virtual void pump() {}                             // let a window repaint and react
    virtual bool cancelRequested() { return false; }
};

struct WizardReport {
    std::vector<TableCopyReport> tables; // one per ticked table that was attempted, in order
    bool connectionFailed = false;       // no table was touched
    bool cancelled = false;
    bool complete() const; // every table and every row copied, nothing cancelled
};

// The per-user troubleshooting folder: userDataDir() + "troubleshooting/" (by default
// ~/.local/share/Tablor/troubleshooting/). It may hold "mysql_access.txt", the list of ids
// that the Access to MySQL copy then copies alone, and receives the row statement files
// "rest_N.sql" (the batch in hand, named after its first row, and every failed row) when a job
// names it as rowFileFolder. Not created here.
QString wizardTroubleshootingFolder();
// The lines of "mysql_access.txt" in `folder` (trimmed, empty lines left out): the
// troubleshooting ids. nullopt when there is no such file (an empty file gives an empty list:
// the caption changes, the copy does not).
std::optional<QStringList> readTroubleshootIds(const QString& folder);

// Runs `job`. Throws only for faults of the program itself; everything a user can cause (a
// server that is gone, a file that cannot be opened) is in the report and told to the sink.
WizardReport runWizardCopy(const WizardJob& job, WizardSink& sink);

} // namespace tablor::transfer
