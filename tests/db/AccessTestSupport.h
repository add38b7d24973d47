// AccessTestSupport.h — copies of the shared .mdb fixtures in temporary folders, so that
// tests never write to the originals.
#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include "support/files.h"

namespace tablor::test {

QString fixturePath(const QString& name);
bool haveFixture(const QString& name);

// A temporary folder holding a copy of one fixture (writable).
class FixtureCopy {
public:
    explicit FixtureCopy(const QString& name, const QString& copyName = {});
    const QString& path() const { return m_path; }
    QString dir() const { return m_dir.path(); }
    QByteArray bytes() const; // the copy's current content

private:
    QTemporaryDir m_dir;
    QString m_path;
};

} // namespace tablor::test

#define TABLOR_REQUIRE_FIXTURE(name)                                                                                   \
    if (!tablor::test::haveFixture(name))                                                                              \
    GTEST_SKIP() << "fixture " << QString(name).toStdString() << " missing under "                                     \
                 << tablor::test::sharedTestData("mdb").string()
