// AccessTestSupport.cpp — fixture copies for the Access layer tests.
#include "AccessTestSupport.h"
#include "support/files.h"

#include <QFile>

namespace tablor::test {

QString fixturePath(const QString& name) { return tablor::test::sharedTestDataPath("mdb/") + name; }

bool haveFixture(const QString& name) { return QFile::exists(fixturePath(name)); }

FixtureCopy::FixtureCopy(const QString& name, const QString& copyName) {
    m_path = m_dir.filePath(copyName.isEmpty() ? name : copyName);
    QFile::copy(fixturePath(name), m_path);
    QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
}

QByteArray FixtureCopy::bytes() const {
    QFile f(m_path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace tablor::test
