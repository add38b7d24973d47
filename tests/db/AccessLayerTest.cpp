// Tests of the Access connection and table objects on copies of real .mdb files: listing,
// browsing, random reads, sorting, Locate, writes that reach the file, and bad files.
#include "AccessTestSupport.h"

#include "db/ADODB.h"
#include "db/AccessFile.h"
#include "db/DbError.h"
#include "db/JetConnectionString.h"

#include "jet/database.h"
#include "jet/writer.h"
#include "support/shell.h"

#include <QCryptographicHash>
#include <QFile>

#include <gtest/gtest.h>

using namespace tablor;
using tablor::test::FixtureCopy;

namespace {

const QString kNorthwind = QStringLiteral("northwind_jet4_statdata.mdb");
const QString kNorthwind97 = QStringLiteral("mdbtestdata_nwind_jet3.mdb");
const QString kTest97 = QStringLiteral("jackcess_testV1997.mdb");

// What an independent reader (mdbtools) finds in the file: the CSV of one table.
QString mdbExport(const QString& file, const QString& table) {
    using tablor::test::shellQuote;
    return QString::fromStdString(tablor::test::runCommand("mdb-export " + shellQuote(file.toStdString()) + " " +
                                                           shellQuote(table.toStdString())));
}

using tablor::test::haveMdbTools;

struct Opened {
    explicit Opened(const QString& path) {
        cn.ConnectionString = JetOpenConnectionString(path);
        cn.Open();
        tbl.setConnection(&cn);
    }
    TADOConnection cn;
    TADOTable tbl;
};

} // namespace

TEST(AccessConnection, OpensListsTablesAndFiresItsEvents) {
    TABLOR_REQUIRE_FIXTURE(kNorthwind);
    FixtureCopy copy(kNorthwind);
    TADOConnection cn;
    int connects = 0, disconnects = 0;
    cn.AfterConnect = [&](TADOConnection* s) {
        EXPECT_EQ(s, &cn);
        ++connects;
    };
    cn.AfterDisconnect = [&](TADOConnection*) { ++disconnects; };
    cn.ConnectionString = JetOpenConnectionString(copy.path());
    cn.Open();
    EXPECT_TRUE(cn.Connected());
    EXPECT_EQ(connects, 1);
    cn.Open(); // already open: nothing happens
    EXPECT_EQ(connects, 1);

    // Tables by name, then the saved select queries (views); no MSys tables.
    const QStringList expected = {"Categories", "Customers", "Employees", "Order Details",
                                  "Orders",     "Products",  "Shippers",  "Suppliers"};
    const QStringList names = cn.TableNames();
    ASSERT_GT(names.size(), expected.size());
    EXPECT_EQ(names.mid(0, expected.size()), expected);
    EXPECT_TRUE(names.contains(QStringLiteral("Invoices"))); // a view
    for (const QString& n : names) EXPECT_FALSE(n.startsWith(QStringLiteral("MSys"))) << n.toStdString();
    QStringList withSystem;
    cn.GetTableNames(withSystem, true);
    EXPECT_TRUE(withSystem.contains(QStringLiteral("MSysObjects")));

    // Closing the connection closes the tables on it.
    TADOTable tbl;
    tbl.setConnection(&cn);
    tbl.setTableName(QStringLiteral("Customers"));
    tbl.Open();
    cn.Close();
    EXPECT_FALSE(tbl.Active());
    EXPECT_EQ(disconnects, 1);
    EXPECT_THROW(tbl.Open(), EDatabaseError);
    EXPECT_EQ(AccessFile::openCount(), 0);
}

TEST(AccessConnection, TwoConnectionsToOneFileShareIt) {
    TABLOR_REQUIRE_FIXTURE(kNorthwind);
    FixtureCopy copy(kNorthwind);
    Opened a(copy.path());
    TADOConnection b;
    b.ConnectionString = JetOpenConnectionStringWithEngine(copy.path(), QStringLiteral("5"));
    ASSERT_NO_THROW(b.Open()); // not "in use": the same process shares the writer
    EXPECT_EQ(AccessFile::openCount(), 1);
    // A row added through one connection is seen through the other.
    a.tbl.setTableName(QStringLiteral("Shippers"));
    a.tbl.Open();
    const int before = a.tbl.RecordCount();
    a.tbl.Append();
    a.tbl.FieldByName(QStringLiteral("CompanyName"))->setAsString(QStringLiteral("Neu GmbH"));
    a.tbl.Post();
    TADOTable other;
    other.setConnection(&b);
    other.setTableName(QStringLiteral("[Shippers]"));
    other.Open();
    EXPECT_EQ(other.RecordCount(), before + 1);
}

TEST(AccessTable, BrowsesTypedValuesAndReadsCellsWithoutMovingTheCursor) {
    TABLOR_REQUIRE_FIXTURE(kNorthwind);
    FixtureCopy copy(kNorthwind);
    Opened o(copy.path());
    o.tbl.setTableName(QStringLiteral("[Products]"));
    int scrolls = 0;
    o.tbl.AfterScroll = [&](TDataSet*) { ++scrolls; };
    o.tbl.Open();
    EXPECT_EQ(o.tbl.RecordCount(), 77);
    EXPECT_EQ(o.tbl.RecNo(), 1);
    EXPECT_EQ(o.tbl.FieldByName(QStringLiteral("ProductID"))->DataType(), TFieldType::ftAutoInc);
    EXPECT_EQ(o.tbl.FieldByName(QStringLiteral("ProductName"))->DataType(), TFieldType::ftWideString);
    EXPECT_EQ(o.tbl.FieldByName(QStringLiteral("UnitPrice"))->DataType(), TFieldType::ftCurrency);
    EXPECT_EQ(o.tbl.FieldByName(QStringLiteral("Discontinued"))->DataType(), TFieldType::ftBoolean);
    EXPECT_EQ(o.tbl.FieldByName(QStringLiteral("ProductName"))->AsString(), QStringLiteral("Chai"));
    EXPECT_EQ(o.tbl.FieldByName(QStringLiteral("UnitPrice"))->AsString(), QStringLiteral("18.0000"));
    EXPECT_DOUBLE_EQ(o.tbl.FieldByName(QStringLiteral("UnitPrice"))->AsFloat(), 18.0);

    const int scrollsBefore = scrolls;
    const int nameCol = o.tbl.FieldByName(QStringLiteral("ProductName"))->Index();
    EXPECT_EQ(o.tbl.CellText(76, nameCol), QStringLiteral("Original Frankfurter grüne Soße"));
    EXPECT_EQ(o.tbl.RecNo(), 1);
    EXPECT_EQ(scrolls, scrollsBefore);

    int n = 0;
    for (o.tbl.First(); !o.tbl.Eof(); o.tbl.Next()) ++n;
    EXPECT_EQ(n, 77);
}

TEST(AccessTable, SortsByIndexWhereOneExistsAndByValueOtherwise) {
    TABLOR_REQUIRE_FIXTURE(kNorthwind);
    FixtureCopy copy(kNorthwind);
    Opened o(copy.path());
    o.tbl.setTableName(QStringLiteral("Customers"));
    o.tbl.Open();
    ASSERT_TRUE(o.tbl.Locate(QStringLiteral("CustomerID"), QStringLiteral("BONAP")));
    const QString current = o.tbl.FieldByName(QStringLiteral("CustomerID"))->AsString();

    // ContactTitle has no index: sorted by value, letter case ignored.
    o.tbl.setSortedFields(QStringLiteral("[ContactTitle]"));
    EXPECT_FALSE(o.tbl.SortedByIndex());
    EXPECT_EQ(o.tbl.FieldByName(QStringLiteral("CustomerID"))->AsString(), current); // current stays current
    const int title = o.tbl.FieldByName(QStringLiteral("ContactTitle"))->Index();
    for (int r = 1; r < o.tbl.RecordCount(); ++r)
        EXPECT_LE(o.tbl.CellText(r - 1, title).toCaseFolded().compare(o.tbl.CellText(r, title).toCaseFolded()), 0) << r;
    EXPECT_EQ(o.tbl.RecordCount(), 91);

    // Orders has an index on its key: the order comes from it, and agrees with the values.
    TADOTable orders;
    orders.setConnection(&o.cn);
    orders.setTableName(QStringLiteral("Orders"));
    orders.Open();
    orders.setSortedFields(QStringLiteral("[OrderID]"));
    EXPECT_TRUE(orders.SortedByIndex());
    const int id = orders.FieldByName(QStringLiteral("OrderID"))->Index();
    for (int r = 1; r < orders.RecordCount(); ++r)
        ASSERT_LT(orders.CellValue(r - 1, id).toLongLong(), orders.CellValue(r, id).toLongLong());
    // Sorting twice gives the same order; "" returns to the stored order.
    const QString first = orders.CellText(0, id);
    orders.setSortedFields(QStringLiteral("[OrderID]"));
    EXPECT_EQ(orders.CellText(0, id), first);
    orders.setSortedFields(QString());
    EXPECT_FALSE(orders.SortedByIndex());
    EXPECT_THROW(orders.setSortedFields(QStringLiteral("[NoSuchColumn]")), EDatabaseError);
}

TEST(AccessTable, LocateFindsTheFirstEqualRow) {
    TABLOR_REQUIRE_FIXTURE(kNorthwind);
    FixtureCopy copy(kNorthwind);
    Opened o(copy.path());
    o.tbl.setTableName(QStringLiteral("Customers"));
    o.tbl.Open();
    ASSERT_TRUE(o.tbl.Locate(QStringLiteral("Country"), QStringLiteral("Germany")));
    EXPECT_EQ(o.tbl.FieldByName(QStringLiteral("CustomerID"))->AsString(), QStringLiteral("ALFKI"));
    EXPECT_FALSE(o.tbl.Locate(QStringLiteral("Country"), QStringLiteral("germany"))); // no options: exact
    EXPECT_EQ(o.tbl.FieldByName(QStringLiteral("CustomerID"))->AsString(), QStringLiteral("ALFKI"));
}

// The same record commands on Northwind as Access 2000 and as Access 97 made it.
TEST(AccessTable, AppendEditDeleteReachTheFile) {
    for (const QString& fixture : {kNorthwind, kNorthwind97}) {
        SCOPED_TRACE(fixture.toStdString());
        TABLOR_REQUIRE_FIXTURE(fixture);
        FixtureCopy copy(fixture);
        int newId = 0;
        {
            Opened o(copy.path());
            o.tbl.setTableName(QStringLiteral("Products"));
            o.tbl.Open();
            o.tbl.Append();
            o.tbl.FieldByName(QStringLiteral("ProductName"))->setAsString(QStringLiteral("Brezel mit Kümmel"));
            o.tbl.FieldByName(QStringLiteral("UnitPrice"))->setAsString(QStringLiteral("2.35"));
            o.tbl.FieldByName(QStringLiteral("Discontinued"))->setAsBoolean(false);
            o.tbl.Post();
            EXPECT_EQ(o.tbl.RecordCount(), 78);
            EXPECT_EQ(o.tbl.RecNo(), 78);
            newId = o.tbl.FieldByName(QStringLiteral("ProductID"))->AsInteger();
            EXPECT_GT(newId, 77); // the auto-number was assigned and read back

            ASSERT_TRUE(o.tbl.Locate(QStringLiteral("ProductName"), QStringLiteral("Chang")));
            o.tbl.Edit();
            o.tbl.FieldByName(QStringLiteral("UnitsInStock"))->setAsInteger(4242);
            o.tbl.Post();

            // Chai has order lines and the relationship does not cascade: refused, the row stays.
            ASSERT_TRUE(o.tbl.Locate(QStringLiteral("ProductName"), QStringLiteral("Chai")));
            EXPECT_THROW(o.tbl.Delete(), EDatabaseError);
            EXPECT_EQ(o.tbl.RecordCount(), 78);

            o.tbl.Append();
            o.tbl.FieldByName(QStringLiteral("ProductName"))->setAsString(QStringLiteral("Gone again"));
            o.tbl.Post();
            ASSERT_TRUE(o.tbl.Locate(QStringLiteral("ProductName"), QStringLiteral("Gone again")));
            o.tbl.Delete();
            EXPECT_EQ(o.tbl.RecordCount(), 78);

            // Cancel drops the appended row; nothing is written.
            o.tbl.Append();
            o.tbl.FieldByName(QStringLiteral("ProductName"))->setAsString(QStringLiteral("Never"));
            o.tbl.Cancel();
            EXPECT_EQ(o.tbl.RecordCount(), 78);
        }
        // A fresh open reads the changes from the file.
        Opened again(copy.path());
        again.tbl.setTableName(QStringLiteral("Products"));
        again.tbl.Open();
        EXPECT_EQ(again.tbl.RecordCount(), 78);
        ASSERT_TRUE(again.tbl.Locate(QStringLiteral("ProductID"), newId));
        EXPECT_EQ(again.tbl.FieldByName(QStringLiteral("ProductName"))->AsString(),
                  QStringLiteral("Brezel mit Kümmel"));
        EXPECT_EQ(again.tbl.FieldByName(QStringLiteral("UnitPrice"))->AsString(), QStringLiteral("2.3500"));
        ASSERT_TRUE(again.tbl.Locate(QStringLiteral("ProductName"), QStringLiteral("Chang")));
        EXPECT_EQ(again.tbl.FieldByName(QStringLiteral("UnitsInStock"))->AsInteger(), 4242);
        EXPECT_TRUE(again.tbl.Locate(QStringLiteral("ProductName"), QStringLiteral("Chai")));
        EXPECT_FALSE(again.tbl.Locate(QStringLiteral("ProductName"), QStringLiteral("Gone again")));
        EXPECT_FALSE(again.tbl.Locate(QStringLiteral("ProductName"), QStringLiteral("Never")));

        if (haveMdbTools()) {
            again.cn.Close();
            const QString csv = mdbExport(copy.path(), QStringLiteral("Products"));
            EXPECT_TRUE(csv.contains(QStringLiteral("Brezel mit Kümmel"))) << "mdbtools does not see the new row";
            EXPECT_FALSE(csv.contains(QStringLiteral("Gone again")));
            EXPECT_TRUE(csv.contains(QStringLiteral("4242")));
        }
    }
}

TEST(AccessTable, RefusedWritesLeaveTheRowInEditStateAndTheFileAsItWas) {
    TABLOR_REQUIRE_FIXTURE(kNorthwind);
    FixtureCopy copy(kNorthwind);
    Opened o(copy.path());
    o.tbl.setTableName(QStringLiteral("Customers"));
    o.tbl.Open();
    // CustomerID is the primary key: a second ALFKI is refused.
    o.tbl.Append();
    o.tbl.FieldByName(QStringLiteral("CustomerID"))->setAsString(QStringLiteral("ALFKI"));
    o.tbl.FieldByName(QStringLiteral("CompanyName"))->setAsString(QStringLiteral("Twice"));
    EXPECT_THROW(o.tbl.Post(), EDatabaseError);
    EXPECT_EQ(o.tbl.State(), TDataSetState::dsInsert);
    o.tbl.Cancel();
    // A value that does not fit its column.
    o.tbl.Edit();
    o.tbl.FieldByName(QStringLiteral("CustomerID"))->setAsString(QStringLiteral("much too long for five"));
    EXPECT_THROW(o.tbl.Post(), EDatabaseError);
    EXPECT_EQ(o.tbl.State(), TDataSetState::dsEdit);
    o.tbl.Cancel();
    EXPECT_EQ(o.tbl.FieldByName(QStringLiteral("CustomerID"))->AsString(), QStringLiteral("ALFKI"));
    EXPECT_EQ(o.tbl.RecordCount(), 91);
}

TEST(AccessConnection, FailedStatementLeavesTheFileAsItWas) {
    TABLOR_REQUIRE_FIXTURE(kNorthwind);
    FixtureCopy copy(kNorthwind);
    const QByteArray before = copy.bytes();
    {
        Opened o(copy.path());
        // Row 1 gets its new description, row 2 would duplicate the unique CategoryName.
        EXPECT_THROW(o.cn.Execute(QStringLiteral(
                         "UPDATE [Categories] SET [CategoryName] = 'Beverages', [Description] = 'changed'")),
                     EDatabaseError);
        o.tbl.setTableName(QStringLiteral("Categories"));
        o.tbl.Open();
        EXPECT_NE(o.tbl.FieldByName(QStringLiteral("Description"))->AsString(), QStringLiteral("changed"));
    }
    EXPECT_EQ(copy.bytes(), before);
}

TEST(AccessTable, PostWithoutAChangeWritesNothing) {
    TABLOR_REQUIRE_FIXTURE(kNorthwind);
    FixtureCopy copy(kNorthwind);
    const QByteArray before = copy.bytes();
    {
        Opened o(copy.path());
        o.tbl.setTableName(QStringLiteral("Customers"));
        o.tbl.Open();
        o.tbl.Edit();
        o.tbl.FieldByName(QStringLiteral("City"))->setAsString(QStringLiteral("Berlin")); // the same value
        o.tbl.Post();
    }
    EXPECT_EQ(copy.bytes(), before);
}

TEST(AccessTable, MissingTableAndNoConnectionAreClearErrors) {
    TABLOR_REQUIRE_FIXTURE(kNorthwind);
    FixtureCopy copy(kNorthwind);
    Opened o(copy.path());
    o.tbl.setTableName(QStringLiteral("[Nope]"));
    try {
        o.tbl.Open();
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("Nope"))) << e.what();
    }
    EXPECT_FALSE(o.tbl.Active());
    TADOTable lonely;
    lonely.setTableName(QStringLiteral("Customers"));
    EXPECT_THROW(lonely.Open(), EDatabaseError);
}

// ---------------------------------------------------------------- bad files

namespace {
QString openError(const QString& path) {
    TADOConnection cn;
    cn.ConnectionString = JetOpenConnectionString(path);
    try {
        cn.Open();
    } catch (const EDatabaseError& e) {
        EXPECT_FALSE(cn.Connected());
        return e.Message();
    }
    return {};
}
} // namespace

TEST(AccessBadFiles, MissingNotAccessDamagedAndAccdbAreRefusedWithTheReason) {
    TABLOR_REQUIRE_FIXTURE(kNorthwind);
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("gone.mdb"));
    EXPECT_TRUE(openError(missing).contains(QStringLiteral("does not exist"))) << openError(missing).toStdString();
    EXPECT_FALSE(QFile::exists(missing)); // opening never creates a file

    const QString text = dir.filePath(QStringLiteral("notes.mdb"));
    {
        QFile f(text);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(8192, 'x'));
    }
    EXPECT_FALSE(openError(text).isEmpty());
    EXPECT_TRUE(openError(text).contains(QStringLiteral("notes.mdb"))) << openError(text).toStdString();

    // Damaged: a real file cut short after its header page.
    FixtureCopy damaged(kNorthwind, QStringLiteral("cut.mdb"));
    {
        QFile f(damaged.path());
        ASSERT_TRUE(f.resize(4096 * 2 + 100));
    }
    QString damagedError;
    try {
        TADOConnection cn;
        cn.ConnectionString = JetOpenConnectionString(damaged.path());
        cn.Open();
        TADOTable t;
        t.setConnection(&cn);
        t.setTableName(cn.TableNames().value(0, QStringLiteral("Customers")));
        t.Open();
    } catch (const EDatabaseError& e) {
        damagedError = e.Message();
    }
    EXPECT_FALSE(damagedError.isEmpty()) << "a cut file opened without complaint";

    // An Access 2007 file: the version field says ACE.
    FixtureCopy accdb(kNorthwind, QStringLiteral("new.accdb"));
    {
        QFile f(accdb.path());
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        f.seek(0x04);
        f.write("Standard ACE DB", 15);
        f.seek(0x14);
        const char v[4] = {2, 0, 0, 0};
        f.write(v, 4);
    }
    const QString accdbError = openError(accdb.path());
    EXPECT_TRUE(accdbError.contains(QStringLiteral("2007"))) << accdbError.toStdString();
    EXPECT_EQ(AccessFile::openCount(), 0);
}

TEST(AccessBadFiles, ReadOnlyFileIsReadButNeverWritten) {
    TABLOR_REQUIRE_FIXTURE(kNorthwind);
    FixtureCopy copy(kNorthwind);
    QFile::setPermissions(copy.path(), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    const QByteArray before = copy.bytes();
    {
        Opened o(copy.path());
        EXPECT_TRUE(o.cn.file().readOnly());
        o.tbl.setTableName(QStringLiteral("Shippers"));
        o.tbl.Open();
        EXPECT_EQ(o.tbl.RecordCount(), 3);
        o.tbl.Append();
        o.tbl.FieldByName(QStringLiteral("CompanyName"))->setAsString(QStringLiteral("X"));
        try {
            o.tbl.Post();
            ADD_FAILURE() << "a read-only file took a row";
        } catch (const EDatabaseError& e) {
            EXPECT_TRUE(e.Message().contains(QStringLiteral("read-only"))) << e.what();
        }
        o.tbl.Cancel();
        EXPECT_THROW(o.tbl.Delete(), EDatabaseError);
        EXPECT_THROW(o.cn.Execute(QStringLiteral("DELETE FROM [Shippers]")), EDatabaseError);
    }
    EXPECT_EQ(copy.bytes(), before);
}

TEST(AccessBadFiles, FileHeldByAnotherWriterIsInUse) {
    TABLOR_REQUIRE_FIXTURE(kNorthwind);
    FixtureCopy copy(kNorthwind);
    // Another program's writer (its own lock, outside our registry).
    auto other = jet::DatabaseWriter::open(std::filesystem::path(copy.path().toStdString()));
    const QString error = openError(copy.path());
    EXPECT_TRUE(error.contains(QStringLiteral("in use"))) << error.toStdString();
}

// An Access 97 file keeps text in its code page: a character Windows-1252 lacks is refused
// by column and row with the row still in edit state and the file untouched; text the code
// page holds is written and read back, by mdbtools too.
TEST(AccessTable, Access97TextOutsideItsCodePageIsRefusedAndTheFileKept) {
    TABLOR_REQUIRE_FIXTURE(kTest97);
    FixtureCopy copy(kTest97);
    const QByteArray before = copy.bytes();
    {
        Opened o(copy.path());
        EXPECT_FALSE(o.cn.file().readOnly());
        o.tbl.setTableName(QStringLiteral("Table1"));
        o.tbl.Open();
        o.tbl.Edit();
        o.tbl.FieldByName(QStringLiteral("B"))->setAsString(QStringLiteral("汉字"));
        try {
            o.tbl.Post();
            ADD_FAILURE() << "text outside the code page was stored";
        } catch (const EDatabaseError& e) {
            EXPECT_EQ(e.kind(), EDatabaseError::Kind::Value) << e.what();
            EXPECT_TRUE(e.Message().contains(QStringLiteral("[B]"))) << e.what();
        }
        EXPECT_EQ(o.tbl.State(), TDataSetState::dsEdit);
        o.tbl.Cancel();
    }
    EXPECT_EQ(copy.bytes(), before);
    {
        Opened o(copy.path());
        o.tbl.setTableName(QStringLiteral("Table1"));
        o.tbl.Open();
        o.tbl.Edit();
        o.tbl.FieldByName(QStringLiteral("B"))->setAsString(QStringLiteral("Grüße € „œ“"));
        o.tbl.Post();
    }
    Opened again(copy.path());
    again.tbl.setTableName(QStringLiteral("Table1"));
    again.tbl.Open();
    EXPECT_EQ(again.tbl.FieldByName(QStringLiteral("B"))->AsString(), QStringLiteral("Grüße € „œ“"));
    again.cn.Close();
    if (haveMdbTools()) {
        EXPECT_TRUE(mdbExport(copy.path(), QStringLiteral("Table1")).contains(QStringLiteral("Grüße € „œ“")));
    }
}

// ---------------------------------------------------------------- creating files

TEST(AccessCreate, CreateLocalDatabaseRaisesItsEventsAndMakesAnOpenableFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("neu.mdb"));
    QStringList log;
    int sender = 0;
    const auto before = [&](void* s, const QString& t) {
        EXPECT_EQ(s, &sender);
        log << QStringLiteral("before ") + t;
    };
    const auto after = [&](void*, const QString& t, bool ok, const QString& msg) {
        log << QStringLiteral("after %1 %2 [%3]").arg(t).arg(ok).arg(msg);
    };
    EXPECT_TRUE(CreateLocalDatabase(path, true, QStringLiteral("kunden"), &sender, before, after));
    EXPECT_EQ(log, (QStringList{QStringLiteral("before kunden"), QStringLiteral("after kunden 1 []")}));
    TADOConnection cn;
    cn.ConnectionString = JetOpenConnectionString(path);
    ASSERT_NO_THROW(cn.Open());
    EXPECT_TRUE(cn.TableNames().isEmpty());
    cn.Execute(QStringLiteral("CREATE TABLE [t] (id COUNTER, name TEXT(20))"));
    EXPECT_EQ(cn.TableNames(), QStringList{QStringLiteral("t")});
    cn.Close();

    // Again at the same path: it exists, the failure arrives through AfterCreateDB only.
    log.clear();
    EXPECT_FALSE(CreateLocalDatabase(path, true, QStringLiteral("x"), &sender, before, after));
    ASSERT_EQ(log.size(), 2);
    EXPECT_TRUE(log[1].startsWith(QStringLiteral("after x 0 [Cannot create"))) << log[1].toStdString();
}

// The Office 97 flag makes an Access 97 file that takes tables, rows and SELECT INTO.
TEST(AccessCreate, Office97FormatMakesAnAccess97File) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("alt.mdb"));
    QString message;
    ASSERT_TRUE(CreateLocalDatabase(path, false, QStringLiteral("t"), nullptr, nullptr,
                                    [&](void*, const QString&, bool, const QString& m) { message = m; }))
        << message.toStdString();
    EXPECT_EQ(jet::Database::open(std::filesystem::path(path.toStdString())).version(), jet::Version::Jet3);
    {
        TADOConnection cn;
        cn.ConnectionString = JetOpenConnectionString(path);
        cn.Open();
        cn.Execute(QStringLiteral("CREATE TABLE [t] (id COUNTER PRIMARY KEY, name TEXT(20), price CURRENCY)"));
        cn.Execute(QStringLiteral("INSERT INTO [t] (name, price) VALUES ('Käse', 2.5)"));
        cn.Execute(QStringLiteral("INSERT INTO [t] (name, price) VALUES ('Brot €', 1)"));
        cn.Execute(QStringLiteral("SELECT * INTO [kopie] FROM [t] WHERE price > 2"));
        EXPECT_EQ(cn.TableNames(), (QStringList{QStringLiteral("kopie"), QStringLiteral("t")}));
    }
    if (haveMdbTools()) {
        EXPECT_EQ(mdbExport(path, QStringLiteral("t")),
                  QStringLiteral("id,name,price\n1,\"Käse\",2.5000\n2,\"Brot €\",1.0000\n"));
        EXPECT_EQ(mdbExport(path, QStringLiteral("kopie")), QStringLiteral("id,name,price\n1,\"Käse\",2.5000\n"));
    }
}
