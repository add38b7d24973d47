// AccessToAccessCopy.cpp — Access tables into another Access file (see AccessToAccessCopy.h).
#include "transfer/AccessToAccessCopy.h"

#include "transfer/CopyTexts.h"

#include "transfer/WizardSupport.h"

#include "db/AccessFile.h"
#include "db/DbError.h"
#include "profiles/localizedmessages.h"

#include "jet/database.h"

#include <QFileInfo>

namespace tablor::transfer {

namespace {

constexpr qint64 kFlushRows = 50000;
constexpr qint64 kTickRows = 2000;

} // namespace

jet::TableSpec layoutOf(const jet::TableDef& def, bool jet3) {
    jet::TableSpec layout;
    layout.name = def.name;
    for (const jet::ColumnDef& c : def.columns) {
        jet::ColumnSpec s;
        s.name = c.name;
        s.type = c.type;
        if (c.type == jet::ColumnType::Text) s.length = static_cast<uint16_t>(jet3 ? c.length : c.length / 2);
        else if (c.type == jet::ColumnType::Binary) s.length = c.length;
        s.precision = c.precision;
        s.scale = c.scale;
        s.notNull = c.required;
        s.autoNumber = c.isAutoNumber();
        s.compressedUnicode = jet3 || c.isCompressedUnicode();
        layout.columns.push_back(s);
    }
    for (const jet::IndexDef& i : def.indexes) {
        if (i.isForeignKey() || i.columns.empty()) continue;
        jet::IndexSpec s;
        s.name = i.name;
        bool complete = true;
        for (const jet::IndexColumn& c : i.columns) {
            complete = complete && !c.columnName.empty();
            s.columns.push_back(c.columnName);
            s.descending.push_back(!c.ascending);
        }
        if (!complete) continue;
        s.primaryKey = i.isPrimaryKey();
        s.unique = i.isUnique();
        s.ignoreNulls = i.ignoresNulls();
        layout.indexes.push_back(std::move(s));
    }
    return layout;
}

WizardReport AccessToAccessCopy::run() {
    WizardReport result;
    const int lang = m_job.languageIndex;
    std::shared_ptr<AccessFile> source, target;
    try {
        source = AccessFile::open(m_job.sourceMdb);
        if (!QFileInfo::exists(m_job.targetMdb)) jet::DatabaseWriter::create(m_job.targetMdb.toStdString());
        target = AccessFile::open(m_job.targetMdb);
        target->requireWriter(QStringLiteral("copy tables into it"));
    } catch (const std::exception& e) {
        m_sink.message(QString::fromUtf8(e.what()));
        result.connectionFailed = true;
        return result;
    }
    m_sink.status(LocalizedMessage(msgCheckingDb, lang));
    m_sink.pump();
    const jet::Database& from = source->database();
    const bool jet3 = from.version() == jet::Version::Jet3;
    jet::DatabaseWriter& writer = *target->writer();
    const qint64 n = m_job.tables.size();
    for (qint64 t = 0; t < n; ++t) {
        const QString& name = m_job.tables[t];
        m_sink.status(copyingStatus(lang, name));
        m_sink.overall(t + 1, n);
        m_sink.pump();
        TableCopyReport& report = result.tables.emplace_back();
        report.table = name;
        auto failTable = [&](CopyResult why, const QString& message) {
            report.result = why;
            report.message = message;
            m_sink.error(name + QStringLiteral(": ") + message);
        };
        std::shared_ptr<const jet::TableDef> def;
        try {
            def = from.table(name.toStdString());
        } catch (const std::exception& e) {
            failTable(
                CopyResult::NoLocalDb,
                copyText(m_job.languageIndex, "the source table cannot be read: %1").arg(QString::fromUtf8(e.what())));
            continue;
        }
        if (target->database().hasTable(def->name)) {
            failTable(CopyResult::TypeConflict,
                      copyText(m_job.languageIndex, "\"%1\" has a table of this name already; it was left as it is.")
                          .arg(m_job.targetMdb));
            continue;
        }
        try {
            writer.createTable(layoutOf(*def, jet3));
            report.created = true;
        } catch (const std::exception& e) {
            failTable(CopyResult::NoLocalDb, copyText(m_job.languageIndex, "the table cannot be created in \"%1\": %2")
                                                 .arg(m_job.targetMdb, QString::fromUtf8(e.what())));
            continue;
        }
        const qint64 total = static_cast<qint64>(from.countRows(*def));
        try {
            jet::TableWriter rows = writer.table(def->name);
            auto cursor = from.scan(def);
            while (cursor.next()) {
                ++report.rowsRead;
                try {
                    rows.insert(cursor.values());
                    ++report.rowsWritten;
                } catch (const jet::ConstraintError& e) {
                    ++report.rowsFailed;
                    const QString key = QStringLiteral("#%1").arg(report.rowsRead);
                    if (report.errors.size() < TableCopyReport::kMaxRowErrors)
                        report.errors.push_back({key, QString::fromUtf8(e.what())});
                    m_sink.error(name + QStringLiteral(": ") + key + QStringLiteral(": ") +
                                 QString::fromUtf8(e.what()));
                    m_sink.status(rowErrorStatus(lang, report.rowsRead));
                }
                if (report.rowsRead % kFlushRows == 0) target->flush();
                if (report.rowsRead % kTickRows == 0) {
                    m_sink.detail(report.rowsRead, total);
                    m_sink.pump();
                    if (m_sink.cancelRequested()) {
                        report.cancelled = result.cancelled = true;
                        break;
                    }
                }
            }
            target->flush();
        } catch (const std::exception& e) {
            failTable(CopyResult::NoLocalDb, copyText(m_job.languageIndex, "copying stopped after %1 rows: %2")
                                                 .arg(report.rowsRead)
                                                 .arg(QString::fromUtf8(e.what())));
            report.cancelled = true; // dropped below like a cancelled table
        }
        if (report.cancelled) {
            // A table this copy made and could not finish goes again.
            try {
                writer.dropTable(def->name);
                target->flush();
                if (report.message.isEmpty())
                    report.message = copyText(m_job.languageIndex,
                                              "Cancelled after %1 of %2 rows; the table was removed from \"%3\" again.")
                                         .arg(report.rowsRead)
                                         .arg(total)
                                         .arg(m_job.targetMdb);
            } catch (const std::exception& e) {
                report.message += copyText(m_job.languageIndex, " The unfinished table could not be removed: %1")
                                      .arg(QString::fromUtf8(e.what()));
            }
            report.rowsWritten = 0;
            report.cancelled = result.cancelled;
            if (result.cancelled) break;
            continue;
        }
        m_sink.detail(report.rowsRead, total);
        if (report.rowsFailed > 0 && report.rowsFailed >= report.rowsRead) report.result = CopyResult::AllRowsFailed;
    }
    return result;
}

} // namespace tablor::transfer
