// tablor-copy: the download and upload of the main window without a window, for scheduled
// jobs and checks. Prints one line per table (rows read, written, failed) and the failed
// rows; progress goes to standard error when that is a terminal.
// After a download the whole Access file is checked. Exit status: 0 when every table and row
// was copied and the file is sound, 1 when something failed, 2 on wrong usage.
#include "transfer/DownloadCopy.h"
#include "transfer/UploadCopy.h"

#include "db/AccessFile.h"
#include "db/DbError.h"
#include "db/ZMySql.h"
#include "profiles/profilelist.h"

#include "jet/database.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>
#include <optional>
#include <unistd.h>

using namespace tablor;
using namespace tablor::transfer;

namespace {

const char* kUsage =
    "Usage: tablor-copy download|upload (--profile NAME | --host H --port P --user U --database D --mdb FILE\n"
    "                   [--office97]) [--overwrite] [--tables a,b,...] [--no-check]\n"
    "\n"
    "Copies tables between a MySQL/MariaDB database and a local Access file, as the main window's\n"
    "Download and Upload buttons do.\n"
    "\n"
    "  download          server tables into the Access file (created when missing, Access 2000)\n"
    "  upload            Access tables onto the server tables of the same names and columns, all\n"
    "                    in one transaction (a failure leaves every table as it was), tables that\n"
    "                    others refer to by foreign key first\n"
    "  --profile NAME    take server, port, database, login, password, Access file, format and\n"
    "                    Overwrite from the saved profile NAME (server.dat)\n"
    "  --host, --port, --user, --database, --mdb\n"
    "                    the same given explicitly; the password is read from the environment\n"
    "                    variable TABLOR_PASSWORD (never from an argument, which every user can see)\n"
    "  --office97        the Access file is in the Office 97 format (Tablor cannot write those yet)\n"
    "  --overwrite       empty each target table before copying (the profile's Overwrite); without\n"
    "                    it rows are matched by their primary key: found rows are updated, others added\n"
    "                    (an upload needs a primary key or a unique column either way)\n"
    "  --tables a,b,...  the tables to copy; without it every table of the source\n"
    "  --no-check        leave out the check of the whole Access file after a download (it needs\n"
    "                    about 100 bytes of memory per row)\n"
    "  --help            this text\n"
    "\n"
    "Prints one line per table: rows read, written and failed, then up to 100 failed rows with\n"
    "their key values and the reason. After a download the Access file is checked whole. Exit\n"
    "status: 0 when every table and row was copied (and the file is sound), 1 when a table or row\n"
    "failed, 2 on wrong usage.\n";

struct Options {
    QString direction, profile, host, port, user, database, mdb;
    bool office97 = false, overwrite = false, check = true;
    QStringList tables;
};

int usageError(const QString& message) {
    std::fprintf(stderr, "tablor-copy: %s\n\n%s", qPrintable(message), kUsage);
    return 2;
}

// Parses argv into `o`; returns an exit status when the program should end (help, bad usage).
std::optional<int> parse(const QStringList& args, Options& o) {
    if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (args.isEmpty()) return usageError(QStringLiteral("say download or upload"));
    o.direction = args[0];
    if (o.direction != QLatin1String("download") && o.direction != QLatin1String("upload"))
        return usageError(QStringLiteral("unknown direction \"%1\"").arg(o.direction));
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--office97")) {
            o.office97 = true;
            continue;
        }
        if (a == QLatin1String("--overwrite")) {
            o.overwrite = true;
            continue;
        }
        if (a == QLatin1String("--no-check")) {
            o.check = false;
            continue;
        }
        QString* target = a == QLatin1String("--profile")    ? &o.profile
                          : a == QLatin1String("--host")     ? &o.host
                          : a == QLatin1String("--port")     ? &o.port
                          : a == QLatin1String("--user")     ? &o.user
                          : a == QLatin1String("--database") ? &o.database
                          : a == QLatin1String("--mdb")      ? &o.mdb
                                                             : nullptr;
        if (a == QLatin1String("--tables")) {
            if (i + 1 >= args.size()) return usageError(QStringLiteral("--tables needs a list"));
            o.tables = args[++i].split(QLatin1Char(','), Qt::SkipEmptyParts);
            continue;
        }
        if (a == QLatin1String("--password"))
            return usageError(QStringLiteral("give the password in TABLOR_PASSWORD, not as an argument"));
        if (!target) return usageError(QStringLiteral("unknown option \"%1\"").arg(a));
        if (i + 1 >= args.size()) return usageError(QStringLiteral("%1 needs a value").arg(a));
        *target = args[++i];
    }
    const bool explicitServer =
        !o.host.isEmpty() || !o.port.isEmpty() || !o.user.isEmpty() || !o.database.isEmpty() || !o.mdb.isEmpty();
    if (!o.profile.isEmpty() && (explicitServer || o.office97))
        return usageError(QStringLiteral("give either --profile or the server options, not both"));
    if (o.profile.isEmpty() &&
        (o.host.isEmpty() || o.port.isEmpty() || o.user.isEmpty() || o.database.isEmpty() || o.mdb.isEmpty()))
        return usageError(QStringLiteral("give --profile NAME, or all of --host, --port, --user, --database, --mdb"));
    return std::nullopt;
}

// Fills the server and file settings from the profile; an error text when that fails.
QString applyProfile(Options& o, QString& password) {
    ProfileList profiles;
    try {
        if (!LoadProfiles(profiles)) return QStringLiteral("there is no %1 with saved profiles").arg(serverDatPath());
    } catch (const ProfileFileError& e) {
        return QString::fromUtf8(e.what());
    }
    for (const auto& p : profiles) {
        if (p->ProfileName != o.profile) continue;
        o.host = p->ServerName;
        o.port = QString::number(p->Port);
        o.database = p->DbName;
        o.user = p->UserName;
        o.mdb = p->MdbPath;
        o.office97 = p->isOffice97();
        o.overwrite = o.overwrite || p->Overwrite;
        password = p->Password;
        if (o.mdb.isEmpty()) return QStringLiteral("the profile \"%1\" names no Access file").arg(o.profile);
        return {};
    }
    return QStringLiteral("no profile \"%1\" in %2").arg(o.profile, serverDatPath());
}

QStringList serverTables(TZMySqlDatabase& server) {
    TZMySqlQuery q;
    q.Database = &server;
    q.SQL = QStringList{QStringLiteral("SHOW FULL TABLES WHERE Table_type = 'BASE TABLE'")};
    q.Open();
    QStringList names;
    for (int r = 0; r < q.RecordCount(); ++r) names << q.CellText(r, 0);
    return names;
}

void showProgress(const QString& table, int percent, qint64 rows, qint64 total) {
    std::fprintf(stderr, "\r%s: %d%% (%lld of %lld rows)   ", qPrintable(table), percent, static_cast<long long>(rows),
                 static_cast<long long>(total));
    if (rows >= total) std::fputs("\n", stderr);
}

void printReport(const TableCopyReport& r) {
    std::printf("%s: read %lld, written %lld, failed %lld%s\n", qPrintable(r.table), static_cast<long long>(r.rowsRead),
                static_cast<long long>(r.rowsWritten), static_cast<long long>(r.rowsFailed),
                r.cancelled ? ", cancelled" : "");
    if (!r.message.isEmpty()) std::printf("  %s\n", qPrintable(r.message));
    for (const RowError& e : r.errors) std::printf("  row %s: %s\n", qPrintable(e.key), qPrintable(e.message));
    if (r.rowsFailed > static_cast<qint64>(r.errors.size()))
        std::printf("  ... and %lld more failed rows\n",
                    static_cast<long long>(r.rowsFailed - qint64(r.errors.size())));
}

// Every Access table, or the ones asked for, onto the server.
int upload(const Options& o, const QString& password) {
    UploadOptions options;
    options.host = o.host;
    options.port = o.port;
    options.database = o.database;
    options.user = o.user;
    options.password = password;
    options.mdbPath = o.mdb;
    options.overwrite = o.overwrite;
    UploadCopy copy(options);
    if (isatty(STDERR_FILENO)) copy.OnCopyProgress = showProgress;
    QStringList tables = o.tables;
    if (tables.isEmpty()) {
        try {
            for (const std::string& t : AccessFile::open(o.mdb)->database().tableNames())
                tables << QString::fromStdString(t);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "tablor-copy: %s\n", e.what());
            return 1;
        }
    }
    int status = 0;
    for (const TableCopyReport& report : copy.CopyToServer(tables)) {
        printReport(report);
        if (!report.complete()) status = 1;
    }
    return status;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    args.removeFirst();
    Options o;
    if (auto status = parse(args, o)) return *status;
    TZMySqlDatabase server;
    QString password = qEnvironmentVariable("TABLOR_PASSWORD");
    if (!o.profile.isEmpty()) {
        const QString problem = applyProfile(o, password);
        if (!problem.isEmpty()) {
            std::fprintf(stderr, "tablor-copy: %s\n", qPrintable(problem));
            return 2;
        }
    }
    if (o.direction == QLatin1String("upload")) return upload(o, password);
    server.Host = o.host;
    server.Port = o.port;
    server.Database = o.database;
    server.Login = o.user;
    server.Password = password;
    try {
        server.Connect();
    } catch (const EDatabaseError& e) {
        std::fprintf(stderr, "tablor-copy: cannot connect to %s:%s as %s: %s\n", qPrintable(o.host), qPrintable(o.port),
                     qPrintable(o.user), e.what());
        return 1;
    }

    DownloadOptions options;
    options.mdbPath = o.mdb;
    options.office2000 = !o.office97;
    options.overwrite = o.overwrite;
    DownloadCopy copy(server, options);
    if (isatty(STDERR_FILENO)) copy.OnCopyProgress = showProgress;
    int status = 0;
    try {
        const QStringList tables = o.tables.isEmpty() ? serverTables(server) : o.tables;
        for (const QString& table : tables) {
            const TableCopyReport report = copy.CopyToLocal(table);
            printReport(report);
            if (!report.complete()) status = 1;
        }
        const QStringList problems = o.check ? copy.checkFile() : QStringList();
        if (!problems.isEmpty()) {
            std::printf("%s fails the integrity check:\n", qPrintable(o.mdb));
            for (const QString& p : problems) std::printf("  %s\n", qPrintable(p));
            status = 1;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tablor-copy: %s\n", e.what());
        return 1;
    }
    return status;
}
