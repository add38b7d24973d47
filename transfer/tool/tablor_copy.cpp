// tablor-copy: the download and upload of the main window and the four directions of the
// conversion wizard without a window, for scheduled jobs and checks. Prints one line per table
// (rows read, written, failed) and the failed rows; progress goes to standard error when that
// is a terminal. After a download the whole Access file is checked. Exit status: 0 when every
// table and row was copied and the file is sound, 1 when something failed, 2 on wrong usage.
#include "transfer/DownloadCopy.h"
#include "transfer/UploadCopy.h"
#include "transfer/UploadDryRun.h"
#include "transfer/WizardCopy.h"
#include "transfer/WizardSupport.h"

#include "db/AccessFile.h"
#include "db/DbError.h"
#include "db/ServerLogin.h"
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
    "                   [--office97]) [--overwrite] [--tables a,b,...] [--no-check] [--dry-run]\n"
    "       tablor-copy a2m --source FILE.mdb (--profile NAME | --host H --port P --user U --database D)\n"
    "                   [--tables a,b,...] [--append] [--prefix P] [--row-files DIR]\n"
    "       tablor-copy m2a (--profile NAME | --host H --port P --user U --database D) --target FILE.mdb\n"
    "                   [--office97] [--tables a,b,...] [--append]\n"
    "       tablor-copy m2m (--source-profile A --target-profile B | --host H --port P --user U\n"
    "                   --source-database D1 --target-database D2) [--tables a,b,...] [--append] [--prefix P]\n"
    "       tablor-copy a2a --source A.mdb --target B.mdb [--tables a,b,...]\n"
    "\n"
    "Copies tables between a MySQL/MariaDB database and a local Access file, as the main window's\n"
    "Download and Upload buttons do, or in one of the conversion wizard's four directions.\n"
    "\n"
    "  download          server tables into the Access file (created when missing, Access 2000)\n"
    "  upload            Access tables onto the server tables of the same names and columns, all\n"
    "                    in one transaction (a failure leaves every table as it was), tables that\n"
    "                    others refer to by foreign key first\n"
    "  a2m               Access tables into new server tables (recreated; with --append added to an\n"
    "                    existing table of exactly the same column names), column types that hold\n"
    "                    every value, the Access primary key; one transaction per table\n"
    "  m2a               server tables into an Access file, as the download does (--append: rows are\n"
    "                    matched by key instead of the tables being emptied first)\n"
    "  m2m               server tables into another database: the source's own table definition\n"
    "                    (keys, indexes, defaults, auto-increment), then every row\n"
    "  a2a               Access tables into another Access file (created when missing, Access 2000);\n"
    "                    a table the target has already is listed and left alone\n"
    "  --profile NAME    take server, port, database, login, password, Access file, format and\n"
    "                    Overwrite from the saved profile NAME (server.dat)\n"
    "  --host, --port, --user, --database, --mdb\n"
    "                    the same given explicitly; the password is read from the environment\n"
    "                    variable TABLOR_PASSWORD (never from an argument, which every user can see)\n"
    "  --source-profile, --target-profile, --source-database, --target-database\n"
    "                    the two sides of m2m: two profiles, or one server and two databases\n"
    "  --source, --target  the Access files of a2m, m2a and a2a\n"
    "  --row-files DIR   a2m: keep the statement of the batch in hand in DIR/rest_N.sql (N its first\n"
    "                    row) and that of each failed row, for a look after an interruption\n"
    "  --prefix P        put P before the name of every table created (a2m, m2m)\n"
    "  --office97        a missing Access file is created in the Office 97 format\n"
    "  --overwrite       empty each target table before copying (the profile's Overwrite); without\n"
    "                    it rows are matched by their primary key: found rows are updated, others added\n"
    "                    (an upload needs a primary key or a unique column either way)\n"
    "  --tables a,b,...  the tables to copy; without it every table of the source\n"
    "  --no-check        leave out the check of the whole Access file after a download (it needs\n"
    "                    about 100 bytes of memory per row)\n"
    "  --dry-run         upload only: change nothing, count the rows that would be inserted, updated\n"
    "                    and left alone (and with --overwrite the server rows that would go)\n"
    "  --help            this text\n"
    "\n"
    "Prints one line per table: rows read, written and failed, then up to 100 failed rows with\n"
    "their key values and the reason. After a download the Access file is checked whole. Exit\n"
    "status: 0 when every table and row was copied (and the file is sound), 1 when a table or row\n"
    "failed, 2 on wrong usage.\n";

struct Options {
    QString direction, profile, host, port, user, database, mdb;
    QString source, target, sourceProfile, targetProfile, sourceDatabase, targetDatabase, prefix, rowFiles;
    bool office97 = false, overwrite = false, check = true, append = false, dryRun = false;
    QStringList tables;
    bool wizard() const { return direction.size() == 3; } // a2m, m2a, m2m, a2a
};

int usageError(const QString& message) {
    std::fprintf(stderr, "tablor-copy: %s\n\n%s", qPrintable(message), kUsage);
    return 2;
}

// What each direction needs besides the common options; an error text when something is amiss.
QString checkDirection(const Options& o) {
    const bool explicitServer = !o.host.isEmpty() || !o.port.isEmpty() || !o.user.isEmpty() || !o.database.isEmpty();
    const bool fullServer = !o.host.isEmpty() && !o.port.isEmpty() && !o.user.isEmpty() && !o.database.isEmpty();
    const QString& d = o.direction;
    if (!o.wizard()) {
        if (!o.source.isEmpty() || !o.target.isEmpty() || !o.prefix.isEmpty() || o.append || !o.rowFiles.isEmpty() ||
            !o.sourceProfile.isEmpty() || !o.targetProfile.isEmpty())
            return QStringLiteral("--source, --target, --prefix, --append and the m2m options are not for %1").arg(d);
        if (o.dryRun && d != QLatin1String("upload")) return QStringLiteral("--dry-run is for upload only");
        if (!o.profile.isEmpty() && (explicitServer || !o.mdb.isEmpty() || o.office97))
            return QStringLiteral("give either --profile or the server options, not both");
        if (o.profile.isEmpty() && (!fullServer || o.mdb.isEmpty()))
            return QStringLiteral("give --profile NAME, or all of --host, --port, --user, --database, --mdb");
        return {};
    }
    if (o.overwrite || o.dryRun || !o.mdb.isEmpty() || !o.check)
        return QStringLiteral("--overwrite, --dry-run, --mdb and --no-check are not for %1 (recreating is the default; "
                              "--append adds)")
            .arg(d);
    if (o.office97 && d != QLatin1String("m2a")) return QStringLiteral("--office97 is for m2a only");
    if (!o.rowFiles.isEmpty() && d != QLatin1String("a2m")) return QStringLiteral("--row-files is for a2m only");
    if (!o.prefix.isEmpty() && d != QLatin1String("a2m") && d != QLatin1String("m2m"))
        return QStringLiteral("--prefix is for a2m and m2m only");
    const bool needsSource = d == QLatin1String("a2m") || d == QLatin1String("a2a");
    const bool needsTarget = d == QLatin1String("m2a") || d == QLatin1String("a2a");
    if (needsSource != !o.source.isEmpty())
        return needsSource ? QStringLiteral("%1 needs --source FILE.mdb").arg(d)
                           : QStringLiteral("--source is not for %1").arg(d);
    if (needsTarget != !o.target.isEmpty())
        return needsTarget ? QStringLiteral("%1 needs --target FILE.mdb").arg(d)
                           : QStringLiteral("--target is not for %1").arg(d);
    if (d == QLatin1String("a2a")) {
        if (explicitServer || !o.profile.isEmpty() || o.append)
            return QStringLiteral("a2a takes no server and no --append");
        return {};
    }
    if (d == QLatin1String("m2m")) {
        if (!o.profile.isEmpty() || !o.database.isEmpty())
            return QStringLiteral("m2m takes --source-profile and "
                                  "--target-profile, or the server and "
                                  "--source-database, --target-database");
        const bool profiles = !o.sourceProfile.isEmpty() || !o.targetProfile.isEmpty();
        const bool databases = !o.sourceDatabase.isEmpty() || !o.targetDatabase.isEmpty();
        if (profiles == databases ||
            (profiles && (o.sourceProfile.isEmpty() || o.targetProfile.isEmpty() || explicitServer)) ||
            (databases && (o.sourceDatabase.isEmpty() || o.targetDatabase.isEmpty() || o.host.isEmpty() ||
                           o.port.isEmpty() || o.user.isEmpty())))
            return QStringLiteral("give --source-profile A --target-profile B, or --host, --port, --user with "
                                  "--source-database D1 --target-database D2");
        return {};
    }
    if (!o.sourceProfile.isEmpty() || !o.targetProfile.isEmpty() || !o.sourceDatabase.isEmpty() ||
        !o.targetDatabase.isEmpty())
        return QStringLiteral("the --source-… and --target-… server options are for m2m");
    if (!o.profile.isEmpty() && explicitServer)
        return QStringLiteral("give either --profile or the server options, not both");
    if (o.profile.isEmpty() && !fullServer)
        return QStringLiteral("give --profile NAME, or all of --host, --port, --user, --database");
    return {};
}

// Parses argv into `o`; returns an exit status when the program should end (help, bad usage).
std::optional<int> parse(const QStringList& args, Options& o) {
    if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (args.isEmpty()) return usageError(QStringLiteral("say download, upload, a2m, m2a, m2m or a2a"));
    o.direction = args[0];
    if (!QStringList{"download", "upload", "a2m", "m2a", "m2m", "a2a"}.contains(o.direction))
        return usageError(QStringLiteral("unknown direction \"%1\"").arg(o.direction));
    const std::pair<const char*, bool*> flags[] = {
        {"--office97", &o.office97}, {"--overwrite", &o.overwrite}, {"--append", &o.append}, {"--dry-run", &o.dryRun}};
    const std::pair<const char*, QString*> values[] = {
        {"--profile", &o.profile},
        {"--host", &o.host},
        {"--port", &o.port},
        {"--user", &o.user},
        {"--database", &o.database},
        {"--mdb", &o.mdb},
        {"--source", &o.source},
        {"--target", &o.target},
        {"--source-profile", &o.sourceProfile},
        {"--target-profile", &o.targetProfile},
        {"--source-database", &o.sourceDatabase},
        {"--target-database", &o.targetDatabase},
        {"--prefix", &o.prefix},
        {"--row-files", &o.rowFiles},
    };
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--no-check")) {
            o.check = false;
            continue;
        }
        bool* flag = nullptr;
        for (const auto& [name, p] : flags)
            if (a == QLatin1String(name)) flag = p;
        if (flag) {
            *flag = true;
            continue;
        }
        QString* target = nullptr;
        for (const auto& [name, p] : values)
            if (a == QLatin1String(name)) target = p;
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
    if (const QString problem = checkDirection(o); !problem.isEmpty()) return usageError(problem);
    return std::nullopt;
}

// The saved profile `name`, copied out of the user's server.dat; an error text when that fails.
QString findProfile(const QString& name, std::optional<ServerProfile>& found) {
    ProfileList profiles;
    try {
        if (!LoadProfiles(profiles)) return QStringLiteral("there is no %1 with saved profiles").arg(serverDatPath());
    } catch (const ProfileFileError& e) {
        return QString::fromUtf8(e.what());
    }
    for (const auto& p : profiles) {
        if (p->ProfileName != name) continue;
        found = *p;
        return {};
    }
    return QStringLiteral("no profile \"%1\" in %2").arg(name, serverDatPath());
}

// The saved profile `name` as one server side of a wizard copy; an error text when that fails.
QString profileServer(const QString& name, WizardServer& server) {
    std::optional<ServerProfile> p;
    if (QString problem = findProfile(name, p); !problem.isEmpty()) return problem;
    server = {p->ServerName, static_cast<unsigned>(p->Port), p->UserName, p->Password, p->DbName, !p->isOffice97()};
    return {};
}

// Fills the server and file settings from the profile; an error text when that fails.
QString applyProfile(Options& o, QString& password) {
    std::optional<ServerProfile> p;
    if (QString problem = findProfile(o.profile, p); !problem.isEmpty()) return problem;
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

// The user tables of an Access file; an error text in `problem` when it cannot be read.
QStringList accessTables(const QString& path, QString& problem) {
    QStringList tables;
    try {
        for (const std::string& t : AccessFile::open(path)->database().tableNames())
            tables << QString::fromStdString(t);
    } catch (const std::exception& e) {
        problem = QString::fromUtf8(e.what());
    }
    return tables;
}

// The wizard's watcher on a terminal: progress on standard error, messages there too.
class ConsoleSink : public WizardSink {
public:
    void overall(qint64, qint64) override {}
    void detail(qint64 done, qint64 total) override {
        if (m_tty && total > 0)
            std::fprintf(stderr, "\r%s: %lld of %lld rows   ", qPrintable(m_status), static_cast<long long>(done),
                         static_cast<long long>(total));
    }
    void status(const QString& text) override {
        if (m_tty && !m_status.isEmpty() && text != m_status) std::fputs("\n", stderr);
        m_status = text;
    }
    void error(const QString&) override {} // the reports list the failed rows
    void message(const QString& text) override { std::fprintf(stderr, "tablor-copy: %s\n", qPrintable(text)); }

private:
    bool m_tty = isatty(STDERR_FILENO);
    QString m_status;
};

int wizardCopy(const Options& o, const QString& password) {
    WizardJob job;
    const QString& d = o.direction;
    job.direction = d == QLatin1String("a2m")   ? WizardDirection::AccessToMySql
                    : d == QLatin1String("m2a") ? WizardDirection::MySqlToAccess
                    : d == QLatin1String("m2m") ? WizardDirection::MySqlToMySql
                                                : WizardDirection::AccessToAccess;
    job.sourceMdb = o.source;
    job.targetMdb = o.target;
    job.append = o.append;
    job.prefix = o.prefix;
    job.rowFileFolder = o.rowFiles;
    job.languageIndex = 1;
    WizardServer explicitServer{o.host, o.port.toUInt(), o.user, password, o.database, !o.office97};
    QString problem;
    if (d == QLatin1String("m2m")) {
        if (!o.sourceProfile.isEmpty()) {
            problem = profileServer(o.sourceProfile, job.sourceServer);
            if (problem.isEmpty()) problem = profileServer(o.targetProfile, job.targetServer);
        } else {
            job.sourceServer = job.targetServer = explicitServer;
            job.sourceServer.database = o.sourceDatabase;
            job.targetServer.database = o.targetDatabase;
        }
    } else if (d != QLatin1String("a2a")) {
        WizardServer& side = d == QLatin1String("a2m") ? job.targetServer : job.sourceServer;
        if (!o.profile.isEmpty()) problem = profileServer(o.profile, side);
        else side = explicitServer;
        if (o.office97) side.office2000 = false;
    }
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "tablor-copy: %s\n", qPrintable(problem));
        return 2;
    }
    job.tables = o.tables;
    if (job.tables.isEmpty()) {
        if (!job.sourceMdb.isEmpty()) {
            job.tables = accessTables(job.sourceMdb, problem);
        } else {
            TZMySqlDatabase server;
            try {
                setServerLogin(server, {.host = job.sourceServer.host,
                                        .port = QString::number(job.sourceServer.port),
                                        .user = job.sourceServer.user,
                                        .password = job.sourceServer.password,
                                        .database = job.sourceServer.database});
                server.Connect();
                job.tables = serverTableNames(server);
            } catch (const EDatabaseError& e) {
                problem = e.Message();
            }
        }
        if (!problem.isEmpty()) {
            std::fprintf(stderr, "tablor-copy: %s\n", qPrintable(problem));
            return 1;
        }
    }
    ConsoleSink sink;
    const WizardReport report = runWizardCopy(job, sink);
    if (isatty(STDERR_FILENO)) std::fputs("\n", stderr);
    for (const TableCopyReport& t : report.tables) printReport(t);
    if (report.cancelled) std::printf("cancelled\n");
    return report.complete() ? 0 : 1;
}

int printDryRun(const UploadOptions& options, const QStringList& tables) {
    int status = 0;
    for (const DryRunCounts& c : uploadDryRun(options, tables)) {
        if (!c.problem.isEmpty()) {
            std::printf("%s: would not be copied: %s\n", qPrintable(c.table), qPrintable(c.problem));
            status = 1;
            continue;
        }
        std::printf("%s: would insert %lld, update %lld, leave %lld alone", qPrintable(c.table),
                    static_cast<long long>(c.inserted), static_cast<long long>(c.updated),
                    static_cast<long long>(c.unchanged));
        if (options.overwrite) std::printf(", after removing the %lld rows there", static_cast<long long>(c.removed));
        std::printf("\n");
    }
    return status;
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
    QStringList tables = o.tables;
    if (tables.isEmpty()) {
        QString problem;
        tables = accessTables(o.mdb, problem);
        if (!problem.isEmpty()) {
            std::fprintf(stderr, "tablor-copy: %s\n", qPrintable(problem));
            return 1;
        }
    }
    if (o.dryRun) return printDryRun(options, tables);
    UploadCopy copy(options);
    if (isatty(STDERR_FILENO)) copy.OnCopyProgress = showProgress;
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
    if (o.wizard()) return wizardCopy(o, password);
    if (!o.profile.isEmpty()) {
        const QString problem = applyProfile(o, password);
        if (!problem.isEmpty()) {
            std::fprintf(stderr, "tablor-copy: %s\n", qPrintable(problem));
            return 2;
        }
    }
    if (o.direction == QLatin1String("upload")) return upload(o, password);
    setServerLogin(server,
                   {.host = o.host, .port = o.port, .user = o.user, .password = password, .database = o.database});
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
        const QStringList tables = o.tables.isEmpty() ? serverTableNames(server) : o.tables;
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
