// DownloadCopy.cpp — MySQL tables into an Access file (see DownloadCopy.h).
#include "transfer/DownloadCopy.h"

#include "transfer/CopyTexts.h"

#include "transfer/KeyMatcher.h"
#include "transfer/MySqlToJet.h"
#include "transfer/ServerTable.h"
#include "transfer/TypeMap.h"

#include "db/AccessFile.h"
#include "db/DbError.h"

#include "jet/check.h"
#include "jet/database.h"
#include "jet/sql/executor.h"
#include "jet/writer.h"

#include <QFile>

#include <algorithm>
#include <cmath>
#include <filesystem>

namespace tablor::transfer {

namespace {

constexpr qint64 kProgressRows = 2000;

// The Access file could not be written (a full disk, an I/O error): no later row or table can be.
struct AccessWriteFailed : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::filesystem::path localPath(const QString& path) {
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

bool textual(jet::ColumnType t) { return t == jet::ColumnType::Text || t == jet::ColumnType::Memo; }
bool binaryKind(jet::ColumnType t) { return t == jet::ColumnType::Binary || t == jet::ColumnType::Ole; }
bool numeric(jet::ColumnType t) {
    switch (t) {
    case jet::ColumnType::Byte:
    case jet::ColumnType::Integer:
    case jet::ColumnType::Long:
    case jet::ColumnType::Currency:
    case jet::ColumnType::Single:
    case jet::ColumnType::Double:
    case jet::ColumnType::Numeric: return true;
    default: return false;
    }
}

// Whether an existing Access column can take the values of a column planned as `planned`:
// the same kind of value (a number of any size, text of any length, bytes); values that do
// not fit its size fail one by one. Anything but bytes can go into text.
bool canHold(jet::ColumnType planned, jet::ColumnType target) {
    if (planned == target) return true;
    if (textual(target)) return !binaryKind(planned);
    return (numeric(planned) && numeric(target)) || (binaryKind(planned) && binaryKind(target));
}

// Percent of done rows, rounded to the nearest integer with halves to even.
int percentOf(qint64 rows, qint64 total) {
    if (total <= 0) return 100;
    return static_cast<int>(std::nearbyint(std::min<double>(100.0, rows * 100.0 / static_cast<double>(total))));
}

} // namespace

DownloadCopy::DownloadCopy(TZMySqlDatabase& server, DownloadOptions options)
    : m_server(server), m_options(std::move(options)) {}

DownloadCopy::~DownloadCopy() = default;

void DownloadCopy::openFile(const QString& table) {
    if (m_file) return;
    const std::filesystem::path path = localPath(m_options.mdbPath);
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        if (OnBeforeCreateDB) OnBeforeCreateDB(table);
        try {
            // Closed again at once: opened below like any other file.
            jet::DatabaseWriter::create(path, m_options.office2000 ? jet::Version::Jet4 : jet::Version::Jet3).close();
        } catch (const std::exception& e) {
            if (AfterCreateDB) AfterCreateDB(table, false, QString::fromUtf8(e.what()));
            throw CopyError("Creating the Access file \"" + m_options.mdbPath.toStdString() + "\" failed: " + e.what());
        }
        if (AfterCreateDB) AfterCreateDB(table, true, {});
    }
    try {
        m_file = AccessFile::open(m_options.mdbPath);
    } catch (const EDatabaseError& e) {
        throw CopyError("Opening the Access file \"" + m_options.mdbPath.toStdString() + "\" failed: " + e.what());
    }
    if (m_file->readOnly()) {
        const QString reason = m_file->readOnlyReason();
        m_file.reset();
        throw CopyError(reason.toStdString());
    }
}

TableCopyReport DownloadCopy::CopyToLocal(const QString& tableName) {
    TableCopyReport report;
    report.table = UnquoteIdentifier(tableName);
    const QString& name = report.table;
    std::unique_ptr<ServerTable> source = openServerTable(m_server, name, report);
    if (!source) return report;
    openFile(name);
    TablePlan plan = tableDefinition(name, source->columns(), source->keyColumns());
    jet::Database& db = m_file->database();
    if (db.version() == jet::Version::Jet3) fitToAccess97(plan);
    const bool exists = db.hasTable(name.toStdString());
    if (exists && !checkExisting(plan, report)) return report;
    // Everything this copy changes in the file is one step: a table it cannot finish (a
    // cancel, a server gone, a full disk) is put back as it was before, through the engine's
    // journal, however many batches it had written; a crash is undone when the file is next
    // opened.
    std::optional<jet::DatabaseWriter::Transaction> step;
    try {
        step.emplace(*m_file->writer());
    } catch (const std::exception& e) {
        report.result = CopyResult::NoLocalDb;
        report.message =
            copyText(m_options.languageIndex, "The Access table [%1] cannot be written: %2").arg(name, e.what());
        return report;
    }
    if (!exists) {
        try {
            m_file->writer()->createTable(plan.tableSpec());
            report.created = true;
        } catch (const std::exception& e) {
            if (AfterCreateDB) AfterCreateDB(name, false, QString::fromUtf8(e.what()));
            report.result = CopyResult::NoLocalDb;
            report.message =
                copyText(m_options.languageIndex, "The Access table [%1] cannot be created: %2").arg(name, e.what());
            return report;
        }
    }
    // The early ends below keep what was done (an empty new table, as a download always left).
    auto keep = [&] {
        try {
            step->commit();
        } catch (const std::exception& e) {
            throw CopyError("Saving [" + name.toStdString() + "] into \"" + m_options.mdbPath.toStdString() +
                            "\" failed: " + e.what());
        }
    };
    if (m_options.overwrite) {
        if (!report.created && !emptyTable(name, report)) return report;
    } else if (plan.keyColumns.isEmpty()) {
        report.result = CopyResult::NoPrimaryKey;
        report.message = copyText(m_options.languageIndex,
                                  "`%1` has no primary key, so its rows cannot be matched with the rows of the "
                                  "Access table; turn on \"Drop tables before updating\" in the profile to replace the "
                                  "Access rows instead.")
                             .arg(name);
        keep();
        return report;
    }
    qint64 total = 0;
    try {
        total = source->countRows();
    } catch (const EDatabaseError& e) {
        report.result = CopyResult::NoRemoteDb;
        report.message =
            copyText(m_options.languageIndex, "The server table `%1` cannot be read: %2").arg(name, e.Message());
        return report;
    }
    source.reset();
    // The file itself failed (a full disk, an I/O error): no later table can be written.
    auto fileFailed = [&](const std::exception& e) {
        std::string state = " The Access file is as it was before this table's copy.";
        try {
            step->rollback();
        } catch (const std::exception& undo) {
            state =
                std::string(" Undoing it failed too (") + undo.what() + "); it is undone when the file is opened next.";
        }
        throw CopyError("Writing [" + name.toStdString() + "] into \"" + m_options.mdbPath.toStdString() +
                        "\" failed after " + std::to_string(report.rowsRead) + " rows: " + e.what() + state);
    };
    try {
        copyRows(plan, total, report);
    } catch (const AccessWriteFailed& e) {
        fileFailed(e);
    } catch (const jet::IoError& e) {
        fileFailed(e);
    }
    if (report.cancelled || report.result == CopyResult::NoRemoteDb) {
        putBack(*step, report);
    } else {
        keep();
    }
    if (OnAfterDbCopy) OnAfterDbCopy(name, report.rowsFailed);
    if (report.result == CopyResult::Copied && report.rowsFailed > 0 && report.rowsFailed >= report.rowsRead)
        report.result = CopyResult::AllRowsFailed;
    return report;
}

QStringList DownloadCopy::checkFile() const {
    if (!m_file) return {};
    QStringList problems;
    try {
        m_file->flush();
        // What a reader opening the file now sees, not the writer's view.
        const jet::CheckReport report = jet::checkDatabase(jet::Database::open(localPath(m_options.mdbPath)));
        for (const std::string& p : report.problems) problems << QString::fromStdString(p);
    } catch (const std::exception& e) {
        problems << QString::fromUtf8(e.what());
    }
    return problems;
}

void DownloadCopy::putBack(jet::DatabaseWriter::Transaction& step, TableCopyReport& report) {
    try {
        step.rollback();
        report.rowsWritten = 0;
    } catch (const std::exception& e) {
        report.message += copyText(m_options.languageIndex,
                                   " Putting the Access table back failed (%1); that is done when the file is "
                                   "opened next.")
                              .arg(e.what());
    }
}

bool DownloadCopy::checkExisting(const TablePlan& plan, TableCopyReport& report) {
    const auto def = m_file->database().table(plan.name.toStdString());
    QStringList problems;
    if (def->columns.size() != plan.columns.size())
        problems << copyText(m_options.languageIndex, "the Access table has %1 columns, the server table %2")
                        .arg(def->columns.size())
                        .arg(plan.columns.size());
    for (const ColumnPlan& c : plan.columns) {
        const int at = def->findColumn(c.access.name);
        if (at < 0) {
            problems << copyText(m_options.languageIndex, "the Access table has no column [%1]").arg(c.sourceName);
        } else if (!canHold(c.access.type, def->columns[static_cast<size_t>(at)].type)) {
            problems << copyText(m_options.languageIndex, "[%1] is %2 in the Access table but needs %3 for %4")
                            .arg(c.sourceName, QString::fromLatin1(jet::columnTypeName(def->columns[size_t(at)].type)),
                                 c.jetType, c.mysqlType.text);
        }
    }
    if (problems.isEmpty()) return true;
    report.result = CopyResult::TypeConflict;
    report.message = copyText(m_options.languageIndex,
                              "The Access table [%1] does not match the server table: %2. Nothing was copied; "
                              "rename or delete the Access table to have it created anew.")
                         .arg(plan.name, problems.join(QStringLiteral("; ")));
    return false;
}

bool DownloadCopy::emptyTable(const QString& table, TableCopyReport& report) {
    // All pages at once, or row by row when other tables' rows depend on it (relationships
    // decide then, as in Access).
    try {
        m_file->writer()->table(table.toStdString()).eraseAll();
        m_file->flush();
        return true;
    } catch (const std::exception& e) {
        report.result = CopyResult::NoLocalDb;
        report.message =
            copyText(m_options.languageIndex, "The Access table [%1] cannot be emptied, so nothing was copied: %2")
                .arg(table, e.what());
        return false;
    }
}

void DownloadCopy::copyRows(const TablePlan& plan, qint64 total, TableCopyReport& report) {
    // A table made by this copy has no rows to match.
    const bool match = !m_options.overwrite && !report.created;
    const std::string tableName = plan.name.toStdString();
    jet::Database& db = m_file->database();
    const auto def = db.table(tableName);
    // Where each server column goes in the Access row, by name.
    std::vector<size_t> target;
    for (const ColumnPlan& c : plan.columns) target.push_back(static_cast<size_t>(def->findColumn(c.access.name)));
    // Matching by key: an index over exactly the key columns; its columns in index order as
    // positions of the server's columns.
    const jet::IndexDef* keyIndex = nullptr;
    std::vector<size_t> keyColumns; // server column of each index column
    std::vector<size_t> keySources; // server columns of the key, for messages
    for (const QString& k : plan.keyColumns)
        for (size_t i = 0; i < plan.columns.size(); ++i)
            if (plan.columns[i].sourceName.compare(k, Qt::CaseInsensitive) == 0) keySources.push_back(i);
    if (match) {
        for (const jet::IndexDef& index : def->indexes) {
            if (index.columns.size() != keySources.size() || (keyIndex && keyIndex->isPrimaryKey())) continue;
            std::vector<size_t> order;
            for (const jet::IndexColumn& ic : index.columns)
                for (size_t k : keySources)
                    if (jet::sameName(ic.columnName, plan.columns[k].access.name)) order.push_back(k);
            if (order.size() == keySources.size()) keyIndex = &index, keyColumns = order;
        }
        if (!keyIndex) {
            report.result = CopyResult::NoPrimaryKey;
            report.message = copyText(m_options.languageIndex,
                                      "The Access table [%1] has no index over the key columns (%2), so its rows "
                                      "cannot be matched; turn on \"Drop tables before updating\" in the "
                                      "profile to replace them instead.")
                                 .arg(plan.name, plan.keyColumns.join(QStringLiteral(", ")));
            return;
        }
    }
    std::optional<KeyMatcher> matcher;
    std::optional<jet::RowReader> reader; // a matched row that holds the values already stays as it is
    std::vector<jet::Value> existing;
    if (keyIndex) matcher.emplace(db, def, *keyIndex), reader.emplace(db.rowReader(def));
    jet::TableWriter writer = m_file->writer()->table(tableName);
    std::vector<jet::Value> values(def->columns.size());
    std::vector<jet::Value> keyValues(keyColumns.size());
    int inBatch = 0;
    // What a stop leaves behind (see putBack).
    const QString stateAfterStop =
        report.created ? copyText(m_options.languageIndex, "; the Access table, made by this copy, is removed again.")
                       : copyText(m_options.languageIndex, "; the Access table is as it was before the copy.");
    auto progress = [&] {
        if (OnCopyProgress) OnCopyProgress(plan.name, percentOf(report.rowsRead, total), report.rowsRead, total);
    };
    auto endBatch = [&] {
        try {
            m_file->flush();
        } catch (const EDatabaseError& e) {
            throw AccessWriteFailed(e.what());
        }
        inBatch = 0;
    };
    try {
        ServerTable::RowStream rows(m_server, plan.name, plan.columns);
        while (true) {
            try {
                if (!rows.next()) break;
            } catch (const EDatabaseError& e) {
                report.result = CopyResult::NoRemoteDb;
                report.message = copyText(m_options.languageIndex, "%1 after %2 rows of `%3`%4")
                                     .arg(e.Message())
                                     .arg(report.rowsRead)
                                     .arg(plan.name, stateAfterStop);
                break;
            }
            ++report.rowsRead;
            try {
                for (jet::Value& v : values) v = jet::Value();
                for (size_t i = 0; i < plan.columns.size(); ++i)
                    values[target[i]] =
                        toJetValue(plan.columns[i].source, rows.data(i), rows.size(i), def->columns[target[i]]);
                std::optional<jet::RowId> found;
                if (matcher) {
                    for (size_t k = 0; k < keyColumns.size(); ++k) keyValues[k] = values[target[keyColumns[k]]];
                    found = matcher->find(keyValues);
                }
                if (!found) writer.insert(values);
                else if (!reader->read(*found, existing) || existing != values) writer.update(*found, values);
                ++report.rowsWritten;
            } catch (const jet::IoError&) {
                throw; // the file, not the row (the writer flushes on its own when its cache is full)
            } catch (const std::exception& e) {
                ++report.rowsFailed;
                if (report.errors.size() < TableCopyReport::kMaxRowErrors) {
                    QStringList key;
                    for (size_t k : keySources)
                        key << plan.columns[k].sourceName + QLatin1Char('=') +
                                   (rows.data(k) ? QString::fromUtf8(rows.data(k), qsizetype(rows.size(k)))
                                                 : QStringLiteral("NULL"));
                    report.errors.push_back(
                        {key.isEmpty() ? QStringLiteral("row %1").arg(report.rowsRead) : key.join(QStringLiteral(", ")),
                         QString::fromUtf8(e.what())});
                }
            }
            // Progress (and a look at the cancel flag) every kProgressRows rows; a flush per batch.
            ++inBatch;
            if (report.rowsRead % kProgressRows != 0 && inBatch < m_options.batchRows) continue;
            const bool stop = cancel && cancel->load();
            if (stop || inBatch >= m_options.batchRows) endBatch();
            progress();
            if (stop) {
                report.cancelled = true;
                report.message = copyText(m_options.languageIndex, "Cancelled after %1 of %2 rows of `%3`%4")
                                     .arg(report.rowsRead)
                                     .arg(total)
                                     .arg(plan.name, stateAfterStop);
                break;
            }
        }
    } catch (const EDatabaseError& e) {
        report.result = CopyResult::NoRemoteDb;
        report.message =
            copyText(m_options.languageIndex, "The server table `%1` cannot be read: %2").arg(plan.name, e.Message());
    }
    endBatch();
    progress();
}

} // namespace tablor::transfer
