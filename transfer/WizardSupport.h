// WizardSupport.h — what the wizard's copy directions share: the server connection of a
// profile, a multi-row INSERT batch that sends its rows again one by one when the server
// refuses it (so exactly the failing rows are reported), the row statement files of the
// troubleshooting folder, and the status texts.
#pragma once

#include "transfer/LoadDataBatch.h"
#include "transfer/WizardCopy.h"

#include "db/ZMySql.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>
#include <future>
#include <vector>

struct st_mysql;

namespace tablor::transfer {

// Runs one statement on `h` and drops its result; throws EDatabaseError with the server's text.
void runStatement(st_mysql* h, const QByteArray& sql);
// The client library's own errors (2000..2999): the connection is gone, not just the row.
bool isConnectionError(unsigned code);

// Connects `server` to `profile` (utf8mb4); the error text when that fails, empty otherwise.
// The text is in the language of `languageIndex` (0 German, 1 English).
QString connectServer(TZMySqlDatabase& server, const WizardServer& profile, int languageIndex,
                      bool allowLocalInfile = false);
// The base tables of the connection's database.
QStringList serverTableNames(TZMySqlDatabase& server);
// The server's name for `table` among `names`, compared without regard to letter case; empty when absent.
QString findTableName(const QStringList& names, const QString& table);
// The column names of `table` (SELECT * ... LIMIT 0), in order.
QStringList serverColumnNames(TZMySqlDatabase& server, const QString& table);
// max_allowed_packet of the connection, halved and kept between 64 KB and 16 MB: the size of a batch.
qint64 batchBytesFor(st_mysql* h);

// The status texts of the wizard's engines.
QString copyingStatus(int languageIndex, const QString& table);
QString rowErrorStatus(int languageIndex, qint64 row);

// The row statement files in the troubleshooting folder: "rest_%d.sql" for the batch in hand
// (named after its first row) and for each row that failed. A batch's file is removed when the
// next one starts, so the folder never holds more than one batch and the failed rows.
class RowFiles {
public:
    RowFiles(QString folder, int languageIndex); // empty folder: no files are written
    bool enabled() const { return !m_folder.isEmpty(); }
    // The batch that starts at row `first` (1-based counter of the table); the previous file goes.
    void beginBatch(qint64 first, const QByteArray& header, const QByteArray& statement);
    void endBatch(); // the batch landed: its file goes
    void failedRow(qint64 row, const QByteArray& statement);
    const QString& folder() const { return m_folder; }

private:
    QString pathOf(qint64 row) const;
    QString m_folder;
    int m_languageIndex;
    QString m_current;
};

// Rows as multi-row INSERT statements of at most `maxBytes`. A statement the server refuses
// is sent again row by row: those rows the server takes are written, the others reported
// through onRowFailed with the server's text. Throws EDatabaseError when the connection fails.
// Pipelined, a statement runs on the connection in a worker while the caller gathers the next
// one (the connection is the worker's until land() or the next send()).
class InsertBatch {
public:
    InsertBatch(st_mysql* h, QByteArray head, qint64 maxBytes, bool pipelined = false);
    ~InsertBatch(); // waits for a statement in flight (its outcome is dropped)

    // One row's "( ... )"; `row` is its number for messages. May send the batch first.
    void add(QByteArray tuple, qint64 row);
    void send();
    // Waits for the statement in flight and settles it (rows written or retried one by one).
    void land();
    bool empty() const { return m_tuples.empty(); }
    qint64 written() const { return m_written; }
    // Called before a statement goes: its first row and the statement (for the row files).
    std::function<void(qint64 firstRow, const QByteArray& sql)> onSend;
    std::function<void(qint64 row, const QString& message, const QByteArray& statement)> onRowFailed;

private:
    void retryOneByOne(const std::vector<QByteArray>& tuples, const std::vector<qint64>& rows);

    st_mysql* m_h;
    QByteArray m_head;
    qint64 m_maxBytes;
    bool m_pipelined;
    qint64 m_bytes = 0;
    qint64 m_written = 0;
    std::vector<QByteArray> m_tuples;
    std::vector<qint64> m_rows;
    std::future<void> m_flight;
    std::vector<QByteArray> m_flyingTuples;
    std::vector<qint64> m_flyingRows;
};

// LOAD DATA LOCAL batches inside the caller's transaction, the next one filled while the
// server stores the one before. A batch the server does not store as sent (a warning: a value
// changed or a row skipped) is undone through a savepoint and its rows go as INSERTs through
// `inserts`; a server that refuses LOAD DATA makes refused() true and the caller send INSERTs.
class LoadPipeline {
public:
    LoadPipeline(st_mysql* h, LoadDataBatch first, LoadDataBatch second, InsertBatch& inserts);
    ~LoadPipeline(); // waits for a batch in flight
    LoadDataBatch& filling() { return *m_loads[m_filling].batch; }
    // The row just appended to filling(): its INSERT tuple and number, should the batch go again.
    void rowDone(QByteArray tuple, qint64 row);
    void send(); // lands the batch in flight, then sends filling() (when it holds rows)
    void land();
    bool refused() const { return m_refused; }
    // The number of the first row not yet settled (rows before it are stored or reported).
    qint64 firstUnsettled() const;
    qint64 loaded() const { return m_loaded; }
    static constexpr qsizetype kBatchBytes = 4 << 20;

private:
    struct Load {
        std::optional<LoadDataBatch> batch;
        std::vector<QByteArray> tuples;
        std::vector<qint64> rows;
    };
    st_mysql* m_h;
    InsertBatch& m_inserts;
    Load m_loads[2];
    int m_filling = 0;
    std::future<int> m_flight; // a LoadDataBatch::Outcome; the connection is the worker's while valid
    bool m_refused = false;
    qint64 m_loaded = 0;
};

} // namespace tablor::transfer
