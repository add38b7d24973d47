// WizardCopy.cpp — runs a wizard job in its direction; MySQL to Access goes through the download.
#include "transfer/WizardCopy.h"

#include "transfer/AccessToAccessCopy.h"
#include "transfer/AccessToMySqlCopy.h"
#include "transfer/DownloadCopy.h"
#include "transfer/MySqlToMySqlCopy.h"
#include "transfer/WizardSupport.h"

#include "profiles/localizedmessages.h"
#include "profiles/programdir.h"

#include <QDir>
#include <QFile>

#include <atomic>

namespace tablor::transfer {

bool WizardReport::complete() const {
    if (connectionFailed || cancelled) return false;
    for (const TableCopyReport& t : tables)
        if (!t.complete()) return false;
    return true;
}

namespace {

WizardReport mySqlToAccess(const WizardJob& job, WizardSink& sink) {
    WizardReport result;
    const int lang = job.languageIndex;
    sink.status(LocalizedMessage(msgCheckingDb, lang));
    sink.pump();
    TZMySqlDatabase server;
    if (const QString problem = connectServer(server, job.sourceServer, job.languageIndex); !problem.isEmpty()) {
        sink.message(problem);
        result.connectionFailed = true;
        return result;
    }
    DownloadOptions options;
    options.mdbPath = job.targetMdb;
    options.office2000 = job.sourceServer.office2000;
    options.overwrite = !job.append;
    options.languageIndex = job.languageIndex;
    DownloadCopy copy(server, options);
    std::atomic<bool> cancel{false};
    copy.cancel = &cancel;
    copy.OnCopyProgress = [&](const QString& table, int, qint64 rows, qint64 total) {
        sink.status(copyingStatus(lang, table));
        sink.detail(rows, total);
        sink.pump();
        if (sink.cancelRequested()) cancel = true;
    };
    const qint64 n = job.tables.size();
    for (qint64 i = 0; i < n; ++i) {
        sink.overall(i + 1, n);
        TableCopyReport report;
        try {
            report = copy.CopyToLocal(job.tables[i]);
        } catch (const CopyError& e) {
            sink.message(QString::fromUtf8(e.what()));
            result.connectionFailed = result.tables.empty();
            break;
        }
        if (!report.message.isEmpty()) sink.error(report.table + QStringLiteral(": ") + report.message);
        for (const RowError& e : report.errors)
            sink.error(report.table + QStringLiteral(": ") + e.key + QStringLiteral(": ") + e.message);
        result.tables.push_back(report);
        if (report.cancelled || cancel) {
            result.cancelled = true;
            break;
        }
    }
    sink.status(LocalizedMessage(msgCopyDone, lang));
    sink.overall(0, n);
    sink.detail(0, 0);
    return result;
}

} // namespace

WizardReport runWizardCopy(const WizardJob& job, WizardSink& sink) {
    switch (job.direction) {
    case WizardDirection::AccessToMySql: return AccessToMySqlCopy(job, sink).run();
    case WizardDirection::MySqlToMySql: return MySqlToMySqlCopy(job, sink).run();
    case WizardDirection::AccessToAccess: return AccessToAccessCopy(job, sink).run();
    case WizardDirection::MySqlToAccess: return mySqlToAccess(job, sink);
    }
    return {};
}

} // namespace tablor::transfer
