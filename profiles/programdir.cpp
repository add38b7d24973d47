// ProgramDir and the lookup of the program's read-only files; see programdir.h.
#include "profiles/programdir.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <mutex>

#include <unistd.h>

namespace tablor {
namespace {

std::mutex g_mutex;
QString g_override;

QString withSlash(const QString& dir) { return dir.endsWith(u'/') ? dir : dir + u'/'; }

} // namespace

void setProgramDirOverride(const QString& dir) {
    std::lock_guard lock(g_mutex);
    g_override = dir.isEmpty() ? QString() : withSlash(dir);
}

QString programFileDir() {
    QString dir;
    if (QCoreApplication::instance()) {
        dir = QCoreApplication::applicationDirPath();
    } else {
        dir = QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget()).absolutePath();
    }
    return withSlash(dir);
}

QString ProgramDir() {
    {
        std::lock_guard lock(g_mutex);
        if (!g_override.isEmpty()) return g_override;
    }
    return chooseProgramDir(programFileDir());
}

QString chooseProgramDir(const QString& programFolder) {
    const QString dir = withSlash(programFolder);
    if (!installedShareDir(dir).isEmpty()) return userDataDir();
    if (::access(QFile::encodeName(dir).constData(), W_OK) == 0) return dir;
    return userDataDir();
}

QString userDataDir() {
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty() || !QDir::isAbsolutePath(data)) data = QDir::homePath() + "/.local/share";
    const QString dir = withSlash(data) + QStringLiteral("Tablor/");
    QDir().mkpath(dir);
    return dir;
}

QString installedShareDir(const QString& programFolder) {
    const QDir bin(programFolder);
    if (bin.dirName() != QStringLiteral("bin")) return {};
    const QString share = QDir::cleanPath(bin.absoluteFilePath(QStringLiteral("../share/tablor")));
    return QFileInfo(share).isDir() ? withSlash(share) : QString();
}

QString programShareDir() {
    const QString installed = installedShareDir(programFileDir());
    return installed.isEmpty() ? withSlash(QStringLiteral(TABLOR_INSTALL_DATADIR)) : installed;
}

QString findProgramFile(const QString& name) {
    const QString beside = programFileDir() + name;
    if (QFileInfo::exists(beside)) return beside;
    return programShareDir() + name;
}

} // namespace tablor
