// Every kind of engine failure reaches the data layer as an EDatabaseError of that kind, with
// the table and the record where the failure has them: each case provokes the failure through
// the Access layer as the windows and copy routines do, on a new file.
#include "AccessTestSupport.h"

#include "db/ADODB.h"
#include "db/AccessFile.h"
#include "db/DbError.h"
#include "db/JetConnectionString.h"

#include "jet/database.h"
#include "jet/writer.h"

#include <QFile>

#include <gtest/gtest.h>

#include <functional>
#include <optional>

using namespace tablor;
using Kind = EDatabaseError::Kind;

namespace {

struct Session {
    explicit Session(const QString& path) {
        cn.ConnectionString = JetOpenConnectionString(path);
        cn.Open();
        query.setConnection(&cn);
        table.setConnection(&cn);
    }
    void exec(const QString& statement) {
        query.SQL = QStringList{statement};
        query.ExecSQL();
    }
    void openItems() {
        table.setTableName(QStringLiteral("Items"));
        table.Open();
    }
    TADOConnection cn;
    TADOQuery query;
    TADOTable table;
};

struct Case {
    const char* what;
    std::function<void(const QString& path)> provoke; // on a file holding Items with rows 1 and 2
    Kind kind;
    QString table;
    std::optional<qint64> row;
};

QString newFile(const QTemporaryDir& dir, const QString& name) {
    const QString path = dir.filePath(name);
    CreateAccessDatabase(JetShortConnectionString(path, JetEngineType(1)));
    Session s(path);
    s.exec(QStringLiteral("CREATE TABLE Items (Id LONG PRIMARY KEY, Name TEXT(5) NOT NULL)"));
    s.exec(QStringLiteral("INSERT INTO Items (Id, Name) VALUES (1, 'one')"));
    s.exec(QStringLiteral("INSERT INTO Items (Id, Name) VALUES (2, 'two')"));
    return path;
}

} // namespace

TEST(AccessErrorKinds, EachEngineFailureKeepsItsKindTableAndRow) {
    const std::vector<Case> cases = {
        {"a file that is no database",
         [](const QString& path) {
             QFile f(path);
             ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
             f.write(QByteArray(8192, 'x'));
             f.close();
             Session s(path);
         },
         Kind::Damaged,
         {},
         {}},
        {"a file another writer holds",
         [](const QString& path) {
             jet::DatabaseWriter other = jet::DatabaseWriter::open(path.toStdString());
             Session s(path);
         },
         Kind::InUse,
         {},
         {}},
        {"a file without write permission",
         [](const QString& path) {
             QFile::setPermissions(path, QFile::ReadOwner);
             Session s(path);
             s.openItems();
             s.table.Append();
             s.table.FieldByName(QStringLiteral("Id"))->setAsString(QStringLiteral("3"));
             s.table.Post();
         },
         Kind::Io,
         {},
         std::optional<qint64>(3)},
        {"a statement that is no Jet SQL",
         [](const QString& path) { Session(path).exec(QStringLiteral("SELEC 1")); },
         Kind::Syntax,
         {},
         {}},
        {"Jet SQL this engine does not run",
         [](const QString& path) { Session(path).exec(QStringLiteral("SELECT Name FROM Items GROUP BY Name")); },
         Kind::NotSupported,
         {},
         {}},
        {"a statement on a table that is not there",
         [](const QString& path) { Session(path).exec(QStringLiteral("DELETE FROM Nowhere")); },
         Kind::Statement,
         {},
         {}},
        {"a statement whose row breaks a key",
         [](const QString& path) {
             Session(path).exec(QStringLiteral("INSERT INTO Items (Id, Name) VALUES (2, 'again')"));
         },
         Kind::Constraint,
         QStringLiteral("Items"),
         {}},
        {"a statement whose change of a row breaks a key",
         [](const QString& path) { Session(path).exec(QStringLiteral("UPDATE Items SET Id = 1 WHERE Id = 2")); },
         Kind::Constraint,
         QStringLiteral("Items"),
         {}},
        {"a new record that breaks a key",
         [](const QString& path) {
             Session s(path);
             s.openItems();
             s.table.Append();
             s.table.FieldByName(QStringLiteral("Id"))->setAsString(QStringLiteral("1"));
             s.table.FieldByName(QStringLiteral("Name"))->setAsString(QStringLiteral("dup"));
             s.table.Post();
         },
         Kind::Constraint, QStringLiteral("Items"), std::optional<qint64>(3)},
        {"a changed record whose text is too long",
         [](const QString& path) {
             Session s(path);
             s.openItems();
             s.table.Last();
             s.table.Edit();
             s.table.FieldByName(QStringLiteral("Name"))->setAsString(QStringLiteral("far too long"));
             s.table.Post();
         },
         Kind::Value, QStringLiteral("Items"), std::optional<qint64>(2)},
        {"a data page of the table damaged",
         [](const QString& path) {
             uint32_t page = 0, pageSize = 0;
             {
                 const auto db = jet::Database::open(path.toStdString());
                 auto rows = db.scan("Items");
                 EXPECT_TRUE(rows.next());
                 page = rows.rowId().page;
                 pageSize = db.pageSize();
             }
             QFile f(path);
             ASSERT_TRUE(f.open(QIODevice::ReadWrite));
             ASSERT_TRUE(f.seek(qint64(page) * pageSize + 8)); // the page type is kept, the row table goes
             f.write(QByteArray(int(pageSize) - 8, '\xEE'));
             f.close();
             Session s(path);
             s.openItems();
             for (s.table.First(); !s.table.Eof(); s.table.Next()) s.table.Fields(1)->AsString();
         },
         Kind::Damaged,
         QStringLiteral("Items"),
         {}},
        {"a table created twice (refused by Jet SQL)",
         [](const QString& path) { Session(path).exec(QStringLiteral("CREATE TABLE Items (Other LONG)")); },
         Kind::Statement,
         {},
         {}},
        {"a table name the writer refuses",
         [](const QString& path) { Session(path).exec(QStringLiteral("CREATE TABLE [a.b] (Other LONG)")); },
         Kind::Schema,
         QStringLiteral("a.b"),
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        const QString path = newFile(dir, QStringLiteral("kinds.mdb"));
        try {
            c.provoke(path);
            ADD_FAILURE() << "no failure";
        } catch (const EDatabaseError& e) {
            EXPECT_EQ(e.kind(), c.kind) << e.what();
            EXPECT_EQ(e.table(), c.table) << e.what();
            EXPECT_EQ(e.row(), c.row) << e.what();
            EXPECT_FALSE(e.Message().isEmpty());
        }
        ASSERT_EQ(AccessFile::openCount(), 0);
    }
}
