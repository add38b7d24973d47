// Where the wizard keeps its troubleshooting files, and the id list among them (apart from
// WizardCopy.cpp, so that the window can use them without the copy engines).
#include "transfer/WizardCopy.h"

#include "profiles/programdir.h"

#include <QDir>
#include <QFile>

namespace tablor::transfer {

QString wizardTroubleshootingFolder() { return userDataDir() + QStringLiteral("troubleshooting/"); }

std::optional<QStringList> readTroubleshootIds(const QString& folder) {
    QFile f(QDir(folder).filePath(QStringLiteral("mysql_access.txt")));
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) return std::nullopt;
    QStringList ids;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (const QString id = QString::fromUtf8(line).trimmed(); !id.isEmpty()) ids << id;
    return ids;
}

} // namespace tablor::transfer
