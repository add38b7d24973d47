// The wizard's four directions end to end on the sandbox MariaDB and copies of real files: a
// table of every Access kind (NULLs, 0.1, money in the millions, Decimal, GUID, text with quotes,
// backslashes, tabs and emoji, a memo over 64 KB, bytes), Northwind in both formats, and a server
// table of every key kind. What arrives is compared value by value with what left; the created
// tables' types, nullability and keys are checked; so are resume, the troubleshooting list, the
// row files, a cancel, a structure mismatch, failing rows and a lost connection.
#include "transfer/AccessToAccessCopy.h"
#include "transfer/AccessToMySqlCopy.h"
#include "transfer/WizardCopy.h"

#include "../db/MySqlTestSupport.h"
#include "db/DbError.h"
#include "db/u_db.h"
#include "fixtures.h"

#include "jet/database.h"
#include "jet/writer.h"
#include "support/files.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <mysql.h>

#include <algorithm>
#include <filesystem>
#include <random>

using namespace tablor;
using namespace tablor::transfer;
namespace fs = std::filesystem;

namespace {

struct Sink : WizardSink {
    void overall(qint64, qint64) override {}
    void detail(qint64 done, qint64) override {
        details.push_back(done);
        cancelNow = cancelAt > 0 && done >= cancelAt;
    }
    void status(const QString& s) override { statuses << s; }
    void error(const QString& line) override { errors << line; }
    void message(const QString& text) override { messages << text; }
    bool cancelRequested() override { return cancelNow; }
    QStringList statuses, errors, messages;
    std::vector<qint64> details;
    qint64 cancelAt = 0;
    bool cancelNow = false;
};

using Rows = std::vector<std::vector<std::string>>;

// Every row of a server query as text ("<NULL>" for NULL), sorted.
Rows serverRows(TZMySqlDatabase& db, const QString& sql) {
    st_mysql* h = db.Handle();
    const QByteArray q = sql.toUtf8();
    EXPECT_EQ(mysql_real_query(h, q.constData(), static_cast<unsigned long>(q.size())), 0) << mysql_error(h);
    MYSQL_RES* r = mysql_store_result(h);
    Rows rows;
    if (!r) return rows;
    const unsigned n = mysql_num_fields(r);
    while (MYSQL_ROW row = mysql_fetch_row(r)) {
        const unsigned long* len = mysql_fetch_lengths(r);
        auto& out = rows.emplace_back();
        for (unsigned i = 0; i < n; ++i) out.push_back(row[i] ? std::string(row[i], len[i]) : "<NULL>");
    }
    mysql_free_result(r);
    std::sort(rows.begin(), rows.end());
    return rows;
}

std::string canonical(const jet::Value& v) { return v.isNull() ? "<NULL>" : v.toString(); }

// The Access rows of a table in canonical text, sorted.
Rows accessRows(const jet::Database& db, const std::string& table) {
    Rows rows;
    auto cursor = db.scan(table);
    while (cursor.next()) {
        auto& out = rows.emplace_back();
        for (const jet::Value& v : cursor.values()) out.push_back(canonical(v));
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

// The server's copy of an Access table, each value read back into the Access column's kind.
Rows copiedRows(TZMySqlDatabase& server, const jet::TableDef& def, const QString& target) {
    QString select = QStringLiteral("SELECT ");
    for (size_t i = 0; i < def.columns.size(); ++i) {
        const jet::ColumnDef& c = def.columns[i];
        const QString q = QuoteIdentifier(QString::fromStdString(c.name));
        const bool bytes = c.type == jet::ColumnType::Binary || c.type == jet::ColumnType::Ole ||
                           c.type == jet::ColumnType::Unknown0D || c.type == jet::ColumnType::Unknown11;
        select += (i ? QStringLiteral(", ") : QString()) + (c.type == jet::ColumnType::Single
                                                                ? QStringLiteral("CAST(%1 AS DOUBLE)").arg(q)
                                                            : bytes ? QStringLiteral("HEX(%1)").arg(q)
                                                                    : q);
    }
    Rows rows = serverRows(server, select + QStringLiteral(" FROM ") + QuoteIdentifier(target));
    for (auto& row : rows)
        for (size_t i = 0; i < row.size(); ++i) {
            const jet::ColumnDef& c = def.columns[i];
            if (row[i] == "<NULL>" || c.type == jet::ColumnType::Text || c.type == jet::ColumnType::Memo) continue;
            row[i] = canonical(jet::valueFromText(c, row[i]));
        }
    std::sort(rows.begin(), rows.end());
    return rows;
}

// The server type that holds every value of an Access column, as information_schema shows it.
std::string expectedType(const jet::ColumnDef& c, bool jet3) {
    using T = jet::ColumnType;
    switch (c.type) {
    case T::Boolean: return "TINYINT(1)";
    case T::Byte: return "TINYINT(3) UNSIGNED";
    case T::Integer: return "SMALLINT(6)";
    case T::Long: return "INT(11)";
    case T::Currency: return "DECIMAL(19,4)";
    case T::Single: return "FLOAT";
    case T::Double: return "DOUBLE";
    case T::DateTime: return "DATETIME";
    case T::Text: return "VARCHAR(" + std::to_string(jet3 ? c.length : c.length / 2) + ")";
    case T::Binary: return "VARBINARY(" + std::to_string(c.length) + ")";
    case T::Memo: return "LONGTEXT";
    case T::Guid: return "CHAR(38)";
    case T::Numeric: return "DECIMAL(" + std::to_string(c.precision) + "," + std::to_string(c.scale) + ")";
    default: return "LONGBLOB";
    }
}

jet::Value currency(int64_t scaled) { return jet::Value::currency(jet::Currency{scaled}); }

// A file with a table of every kind whose ids are stored out of order, and one without an id.
void makeKinds(const fs::path& path) {
    auto w = jet::DatabaseWriter::create(path);
    using T = jet::ColumnType;
    jet::TableSpec kinds{"kinds",
                         {{"id", T::Long, 0, 18, 0, true},
                          {"yes", T::Boolean},
                          {"by", T::Byte},
                          {"int", T::Integer},
                          {"lng", T::Long},
                          {"money", T::Currency},
                          {"sng", T::Single},
                          {"dbl", T::Double},
                          {"dt", T::DateTime},
                          {"txt", T::Text, 40},
                          {"memo", T::Memo},
                          {"ole", T::Ole},
                          {"bin", T::Binary, 8},
                          {"guid", T::Guid},
                          {"dec", T::Numeric, 0, 28, 6},
                          {"must", T::Text, 10, 18, 0, true}},
                         {{"", {"id"}, {}, true}}};
    w.createTable(kinds);
    jet::TableWriter t = w.table("kinds");
    std::mt19937 random(7);
    jet::Bytes big(70000);
    for (auto& b : big) b = static_cast<uint8_t>(random());
    jet::Guid g;
    for (size_t i = 0; i < 16; ++i) g.bytes[i] = static_cast<uint8_t>(i * 17);
    jet::Decimal d{true, 28, 6, 0x1234, 0x9876543210ABCDEFULL};
    const std::string memo(70000, 'm');
    for (int id : {5, 2, 9, 1, 7, 3}) {
        std::vector<jet::Value> row(16);
        row[0] = jet::Value::longInt(id);
        row[15] = jet::Value::text("x" + std::to_string(id));
        if (id != 3) { // id 3: every nullable column NULL
            row[1] = jet::Value::boolean(id % 2);
            row[2] = jet::Value::byte(static_cast<uint8_t>(250 + id));
            row[3] = jet::Value::integer(static_cast<int16_t>(-32768 + id));
            row[4] = jet::Value::longInt(id == 9 ? INT32_MIN : 2147483647 - id);
            row[5] = currency(id == 9 ? -922337203685477580LL : 12345678901234LL + id); // 1,234,567,890.1234
            row[6] = jet::Value::single(id == 1 ? 0.1f : 3.4e38f / static_cast<float>(id));
            row[7] = jet::Value::dbl(id == 1 ? 0.1 : 1.0 / 3.0 * id);
            row[8] = jet::Value::dateTime(jet::DateTime::fromParts({1999 + id, id, 28, 23, 59, 58}));
            row[9] = jet::Value::text(id == 2 ? std::string("it's a \\ \t tab\nline €😀") : std::string(40, 'a'));
            row[10] = jet::Value::text(id == 5 ? memo : std::string());
            row[11] = jet::Value::binary(id == 5 ? big : jet::Bytes{0, 1, 2});
            row[12] = jet::Value::binary(jet::Bytes{0xFF, 0, 0x5C, 0x27});
            row[13] = jet::Value::guid(g);
            row[14] = jet::Value::decimal(d);
        }
        t.insert(row);
    }
    w.createTable({"noid", {{"name", T::Text, 20}, {"n", T::Double}}, {}});
    jet::TableWriter n = w.table("noid");
    for (int i = 0; i < 3000; ++i)
        n.insert(std::vector<jet::Value>{jet::Value::text("r" + std::to_string(i)), jet::Value::dbl(i * 0.1)});
    w.flush();
}

class WizardCopyTest : public ServerRequiredTest {
protected:
    WizardServer server(const QString& database) const {
        return {params.host, params.port.toUInt(), params.user, params.password, database, true};
    }
    fs::path copyFixture(const std::string& name) {
        const fs::path from = jet::test::fixturePath(name);
        if (from.empty()) return {};
        const fs::path to = dir / fs::path(name).filename();
        fs::copy_file(from, to);
        return to;
    }
    WizardJob a2m(const fs::path& mdb, const QString& prefix) const {
        WizardJob job;
        job.sourceMdb = QString::fromStdString(mdb.string());
        job.targetServer = server(dbName);
        job.prefix = prefix;
        for (const std::string& t : jet::Database::open(mdb).tableNames()) job.tables << QString::fromStdString(t);
        return job;
    }
    const tablor::test::TempDir tmp{"tablor-wizard"};
    const fs::path dir = tmp.path;
};

TEST_F(WizardCopyTest, AccessToMySqlCarriesEveryValueTypeAndKey) {
    const fs::path kinds = dir / "kinds.mdb";
    makeKinds(kinds);
    struct File {
        fs::path path;
        QString prefix;
    };
    std::vector<File> files{{kinds, QStringLiteral("k_")}};
    for (const char* name : {"../mdb-real/Northwind_forms.mdb", "mdbtestdata_nwind_jet3.mdb"})
        if (fs::path p = copyFixture(name); !p.empty()) files.push_back({p, QStringLiteral("nw%1_").arg(files.size())});
    ASSERT_EQ(files.size(), 3u) << "the Northwind fixtures are missing";
    for (const File& f : files) {
        Sink sink;
        const WizardReport report = runWizardCopy(a2m(f.path, f.prefix), sink);
        EXPECT_TRUE(report.complete()) << f.path << ": " << sink.errors.join(QLatin1Char('\n')).toStdString();
        EXPECT_TRUE(sink.statuses.contains(QStringLiteral("Prüfe Datenbank")));
        const jet::Database db = jet::Database::open(f.path);
        const bool jet3 = db.version() == jet::Version::Jet3;
        for (const TableCopyReport& t : report.tables) {
            const auto def = db.table(t.table.toStdString());
            const QString target = f.prefix + t.table;
            EXPECT_EQ(copiedRows(this->db, *def, target), accessRows(db, def->name)) << target.toStdString();
            EXPECT_EQ(t.rowsWritten, static_cast<qint64>(db.countRows(*def)));
            // Types, nullability and the primary key as the Access table has them.
            const Rows columns = serverRows(
                this->db, QStringLiteral("SELECT ORDINAL_POSITION, UPPER(COLUMN_TYPE), IS_NULLABLE, COLUMN_KEY FROM "
                                         "information_schema.COLUMNS WHERE TABLE_SCHEMA = '%1' AND TABLE_NAME = '%2'")
                              .arg(dbName, target));
            ASSERT_EQ(columns.size(), def->columns.size());
            std::vector<std::string> key;
            for (const jet::IndexDef& i : def->indexes)
                if (i.isPrimaryKey())
                    for (const auto& c : i.columns) key.push_back(c.columnName);
            for (const auto& c : columns) {
                const jet::ColumnDef& col = def->columns[std::stoul(c[0]) - 1];
                const bool inKey = std::find(key.begin(), key.end(), col.name) != key.end();
                EXPECT_EQ(c[1], expectedType(col, jet3)) << target.toStdString() << "." << col.name;
                EXPECT_EQ(c[2], col.required || inKey || col.type == jet::ColumnType::Boolean ? "NO" : "YES")
                    << col.name;
                EXPECT_EQ(c[3] == "PRI", inKey) << target.toStdString() << "." << col.name;
            }
        }
    }
    // The kinds that used to lose their values hold them exactly.
    EXPECT_EQ(
        scalar(QStringLiteral("SELECT CONCAT(money, ' ', dbl, ' ', CAST(sng AS DOUBLE)) FROM k_kinds WHERE id = 1")),
        QStringLiteral("1234567890.1235 0.1 0.10000000149011612"));
    // The helper's date literal ('#...#') is refused by a strict server: the engine sends its own.
    exec(QStringLiteral("CREATE TABLE dates (d DATETIME)"));
    EXPECT_THROW(exec(QStringLiteral("INSERT INTO dates VALUES (%1)")
                          .arg(u_db::DateTimeToSql(QDateTime(QDate(2001, 2, 3), QTime(4, 5, 6))))),
                 EDatabaseError);
    EXPECT_EQ(scalar(QStringLiteral("SELECT COUNT(*) FROM k_kinds WHERE id = 3 AND lng IS NULL AND txt IS NULL "
                                    "AND dt IS NULL AND money IS NULL")),
              QStringLiteral("1"));
}

TEST_F(WizardCopyTest, AccessToMySqlResumesTroubleshootsCancelsAndReportsFailedRows) {
    const fs::path kinds = dir / "kinds.mdb";
    makeKinds(kinds);
    // Resume after id 3 into a new table: only ids 5, 7, 9.
    WizardJob job = a2m(kinds, QString());
    job.tables = QStringList{QStringLiteral("kinds")};
    job.resumeOffset = 3;
    Sink sink;
    EXPECT_TRUE(runWizardCopy(job, sink).complete());
    EXPECT_EQ(scalar(QStringLiteral("SELECT GROUP_CONCAT(id ORDER BY id) FROM kinds")), QStringLiteral("5,7,9"));
    // Resume after id 7 appending to a target that holds 5 and 7: the gauge starts at those two,
    // only 9 is read and sent, and no key is hit twice.
    exec(QStringLiteral("DELETE FROM kinds WHERE id = 9"));
    job.append = true;
    job.resumeOffset = 7;
    Sink resumed;
    WizardReport resumedReport = runWizardCopy(job, resumed);
    EXPECT_TRUE(resumedReport.complete()) << resumed.errors.join(QLatin1Char('\n')).toStdString();
    ASSERT_FALSE(resumed.details.empty());
    EXPECT_EQ(resumed.details.front(), 2);
    EXPECT_EQ(resumed.details.back(), 3);
    EXPECT_EQ(resumedReport.tables.at(0).rowsRead, 1);
    EXPECT_EQ(resumedReport.tables.at(0).rowsWritten, 1);
    EXPECT_EQ(scalar(QStringLiteral("SELECT GROUP_CONCAT(id ORDER BY id) FROM kinds")), QStringLiteral("5,7,9"));
    job.append = false;
    // The troubleshooting list: only ids 2 and 9 (and an id that is not there).
    job.resumeOffset = 0;
    {
        QFile list(QString::fromStdString((dir / "mysql_access.txt").string()));
        ASSERT_TRUE(list.open(QIODevice::WriteOnly));
        list.write("2\n 9\n\n11\n");
    }
    EXPECT_FALSE(readTroubleshootIds(QString::fromStdString((dir / "none").string())));
    job.troubleshootIds = readTroubleshootIds(QString::fromStdString(dir.string())).value_or(QStringList());
    EXPECT_EQ(job.troubleshootIds.size(), 3);
    EXPECT_TRUE(runWizardCopy(job, sink).complete());
    EXPECT_EQ(scalar(QStringLiteral("SELECT GROUP_CONCAT(id ORDER BY id) FROM kinds")), QStringLiteral("2,9"));
    // Appending everything: 2 and 9 fail with the server's text, the others arrive; the row
    // files left are those of the two failed rows.
    job.troubleshootIds.clear();
    job.append = true;
    job.rowFileFolder = QString::fromStdString((dir / "rows").string());
    job.languageIndex = 1;
    Sink failing;
    WizardReport report = runWizardCopy(job, failing);
    EXPECT_FALSE(report.complete());
    ASSERT_EQ(report.tables.size(), 1u);
    EXPECT_EQ(report.tables[0].rowsFailed, 2);
    EXPECT_EQ(report.tables[0].rowsWritten, 4);
    ASSERT_EQ(failing.errors.size(), 2) << failing.errors.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(failing.errors[0].startsWith(QStringLiteral("kinds: #"))) << failing.errors[0].toStdString();
    EXPECT_TRUE(failing.errors[0].contains(QStringLiteral("Duplicate entry"))) << failing.errors[0].toStdString();
    EXPECT_TRUE(failing.statuses.last().startsWith(QStringLiteral("Erroneous dataset at #")));
    QStringList files = QDir(job.rowFileFolder).entryList(QDir::Files);
    EXPECT_EQ(files.size(), 2) << files.join(QLatin1Char(' ')).toStdString();
    for (const QString& f : files) {
        QFile file(QDir(job.rowFileFolder).filePath(f));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_TRUE(file.readAll().startsWith("INSERT INTO `kinds`")) << f.toStdString();
    }
    EXPECT_EQ(scalar(QStringLiteral("SELECT COUNT(*) FROM kinds")), QStringLiteral("6"));
    // Append onto a table whose column names differ in letter case: the message, nothing copied.
    exec(QStringLiteral("CREATE TABLE noid (Name VARCHAR(20), n DOUBLE)"));
    job.tables = QStringList{QStringLiteral("noid")};
    Sink mismatch;
    report = runWizardCopy(job, mismatch);
    EXPECT_EQ(report.tables[0].result, CopyResult::TypeConflict);
    EXPECT_EQ(mismatch.messages.size(), 1);
    EXPECT_TRUE(mismatch.messages.value(0).contains(QStringLiteral("\"noid\"")));
    // A cancel after 2,000 of noid's 3,000 rows leaves the new table empty.
    job.append = false;
    Sink cancelling;
    cancelling.cancelAt = 2000;
    report = runWizardCopy(job, cancelling);
    EXPECT_TRUE(report.cancelled);
    EXPECT_TRUE(report.tables[0].cancelled);
    EXPECT_EQ(scalar(QStringLiteral("SELECT COUNT(*) FROM noid")), QStringLiteral("0"));
    // A server that is not there.
    job.targetServer.port = 1;
    Sink lost;
    report = runWizardCopy(job, lost);
    EXPECT_TRUE(report.connectionFailed);
    EXPECT_EQ(lost.messages.size(), 1);
}

const char* kServerTables[] = {
    "CREATE TABLE parent (id INT NOT NULL AUTO_INCREMENT PRIMARY KEY, code VARCHAR(10) NOT NULL DEFAULT 'it''s \\\\',"
    " UNIQUE KEY code (code)) ENGINE=InnoDB",
    "CREATE TABLE every (a INT NOT NULL, b VARCHAR(20) NOT NULL, flag BOOLEAN NOT NULL DEFAULT 1, bit1 BIT(1),"
    " bit64 BIT(64), f FLOAT, d DOUBLE DEFAULT 0, dec65 DECIMAL(65,30), t TEXT, bl LONGBLOB, j JSON,"
    " e ENUM('x','y') DEFAULT 'y', s SET('p','q'), ts TIMESTAMP NULL, tm TIME(6), y YEAR, pid INT,"
    " PRIMARY KEY (a, b), KEY idx_d (d, f), CONSTRAINT fk_p FOREIGN KEY (pid) REFERENCES parent (id)) ENGINE=InnoDB",
    "CREATE TABLE nokey (n INT, txt VARCHAR(5))",
    "CREATE TABLE big (id INT PRIMARY KEY, v VARCHAR(20))",
    "INSERT INTO parent (code) VALUES ('a'), ('b\\'\\\\'), (DEFAULT)",
    "INSERT INTO every VALUES (1, 'x', 0, b'1', 18446744073709551615, 1.0000001, 0.1, -0.000000000000000000000000000001,"
    " 'it''s \\\\ \\t 😀', REPEAT(X'00FF5C27', 100000), '{\"k\": [1, \"ü\"]}', 'x', 'p,q', '2038-01-19 03:14:07',"
    " '-838:59:59.000001', 2155, 1),"
    " (1, 'y', 1, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL),"
    " (2, 'Straße', 1, b'0', 0, -3.40282e38, 1e308, 12345678901234567890123456789012345.5, '', X'', '[]', 'y', '',"
    " '1970-01-01 00:00:01', '00:00:00', 1901, 3)",
    "INSERT INTO nokey VALUES (1, 'a'), (1, 'a'), (NULL, NULL)",
    "INSERT INTO big SELECT seq, CONCAT('v', seq) FROM seq_1_to_5000",
};

QString createOf(TZMySqlDatabase& db, const QString& table) {
    return QString::fromStdString(serverRows(db, QStringLiteral("SHOW CREATE TABLE ") + QuoteIdentifier(table))[0][1]);
}

// Every row as the server's text, and a float column also with all the digits of its value.
Rows tableRows(TZMySqlDatabase& db, const QString& table) {
    Rows rows = serverRows(db, QStringLiteral("SELECT * FROM ") + QuoteIdentifier(table));
    if (table.endsWith(QLatin1String("every")))
        for (auto& r : serverRows(db, QStringLiteral("SELECT CAST(f AS DOUBLE) FROM ") + QuoteIdentifier(table)))
            rows.push_back(r);
    return rows;
}

TEST_F(WizardCopyTest, MySqlToMySqlBuildsTheSourcesTableAndCopiesEveryValue) {
    for (const char* sql : kServerTables) exec(QString::fromUtf8(sql));
    const QString other = dbName.left(60) + QStringLiteral("_to");
    exec(QStringLiteral("DROP DATABASE IF EXISTS `%1`").arg(other));
    exec(QStringLiteral("CREATE DATABASE `%1` CHARACTER SET utf8mb4").arg(other));
    struct Drop {
        MySqlTest* test;
        TZMySqlDatabase& db;
        QString name;
        ~Drop() { db.ExecuteDirect(QStringLiteral("DROP DATABASE IF EXISTS `%1`").arg(name)); }
    } drop{this, db, other};
    TZMySqlDatabase to;
    connectTo(to, other);
    WizardJob job;
    job.direction = WizardDirection::MySqlToMySql;
    job.sourceServer = server(dbName);
    job.targetServer = server(other);
    job.tables =
        QStringList{QStringLiteral("every"), QStringLiteral("parent"), QStringLiteral("nokey"), QStringLiteral("big")};
    Sink sink;
    WizardReport report = runWizardCopy(job, sink);
    EXPECT_TRUE(report.complete()) << sink.errors.join(QLatin1Char('\n')).toStdString();
    for (const QString& t : job.tables) {
        EXPECT_EQ(createOf(to, t), createOf(db, t));
        EXPECT_EQ(tableRows(to, t), tableRows(db, t)) << t.toStdString();
    }
    // With a prefix in the same database: the same table under its new name, without the
    // foreign key (it would name the unprefixed parent).
    job.targetServer = server(dbName);
    job.prefix = QStringLiteral("p_");
    report = runWizardCopy(job, sink);
    EXPECT_TRUE(report.complete()) << sink.errors.join(QLatin1Char('\n')).toStdString();
    QString expected = createOf(db, QStringLiteral("every"));
    expected.replace(QStringLiteral("CREATE TABLE `every`"), QStringLiteral("CREATE TABLE `p_every`"));
    expected.remove(QStringLiteral(",\n  CONSTRAINT `fk_p` FOREIGN KEY (`pid`) REFERENCES `parent` (`id`)"));
    EXPECT_EQ(createOf(db, QStringLiteral("p_every")), expected);
    EXPECT_EQ(tableRows(db, QStringLiteral("p_every")), tableRows(db, QStringLiteral("every")));
    // Appending rows whose keys are there: each fails with its key and the server's text.
    job.append = true;
    job.tables = QStringList{QStringLiteral("parent")};
    Sink failing;
    report = runWizardCopy(job, failing);
    EXPECT_FALSE(report.complete());
    EXPECT_EQ(report.tables[0].rowsFailed, 3);
    EXPECT_EQ(report.tables[0].result, CopyResult::AllRowsFailed);
    ASSERT_EQ(failing.errors.size(), 3);
    EXPECT_TRUE(failing.errors[0].startsWith(QStringLiteral("parent: id=1: Duplicate entry")))
        << failing.errors[0].toStdString();
    // Appending onto different column names: the message, nothing copied.
    exec(QStringLiteral("CREATE TABLE p_other (N INT, txt VARCHAR(5))"));
    exec(QStringLiteral("CREATE TABLE other (n INT, txt VARCHAR(5))"));
    job.tables = QStringList{QStringLiteral("other")};
    Sink mismatch;
    report = runWizardCopy(job, mismatch);
    EXPECT_EQ(report.tables[0].result, CopyResult::TypeConflict);
    EXPECT_EQ(mismatch.messages.size(), 1);
    // A cancel after 2,000 of big's 5,000 rows rolls the table in hand back.
    job.append = false;
    job.tables = QStringList{QStringLiteral("big"), QStringLiteral("nokey")};
    Sink cancelling;
    cancelling.cancelAt = 2000;
    report = runWizardCopy(job, cancelling);
    EXPECT_TRUE(report.cancelled);
    EXPECT_TRUE(report.tables[0].cancelled);
    EXPECT_EQ(scalar(QStringLiteral("SELECT COUNT(*) FROM p_big")), QStringLiteral("0"));
    ASSERT_EQ(report.tables.size(), 2u);
    EXPECT_TRUE(report.tables[1].cancelled) << "nokey, after the cancel, is not copied and says so";
    EXPECT_EQ(report.tables[1].rowsRead, 0);
}

TEST_F(WizardCopyTest, MySqlToAccessGoesThroughTheDownload) {
    for (const char* sql : kServerTables) exec(QString::fromUtf8(sql));
    WizardJob job;
    job.direction = WizardDirection::MySqlToAccess;
    job.sourceServer = server(dbName);
    job.targetMdb = QString::fromStdString((dir / "it's new.mdb").string());
    job.tables = QStringList{QStringLiteral("parent"), QStringLiteral("big")};
    Sink sink;
    const WizardReport report = runWizardCopy(job, sink);
    EXPECT_TRUE(report.complete()) << sink.errors.join(QLatin1Char('\n')).toStdString();
    ASSERT_EQ(report.tables.size(), 2u);
    EXPECT_EQ(report.tables[1].rowsWritten, 5000);
    const jet::Database mdb = jet::Database::open(dir / "it's new.mdb");
    EXPECT_EQ(accessRows(mdb, "big"), serverRows(db, QStringLiteral("SELECT id, v FROM big")));
    EXPECT_TRUE(sink.statuses.contains(QStringLiteral("Kopiere big")));
}

TEST_F(WizardCopyTest, AccessToAccessKeepsColumnsKeysAndRowsAndListsTablesThatExist) {
    int copied = 0;
    for (const char* name : {"../mdb-real/Northwind_forms.mdb", "mdbtestdata_nwind_jet3.mdb"}) {
        const fs::path source = copyFixture(name);
        if (source.empty()) continue;
        ++copied;
        const fs::path target = dir / ("it's " + source.filename().string());
        WizardJob job = a2m(source, QString());
        job.direction = WizardDirection::AccessToAccess;
        job.targetMdb = QString::fromStdString(target.string());
        Sink sink;
        WizardReport report = runWizardCopy(job, sink);
        EXPECT_TRUE(report.complete()) << sink.errors.join(QLatin1Char('\n')).toStdString();
        {
            const jet::Database from = jet::Database::open(source), to = jet::Database::open(target);
            EXPECT_EQ(to.version(), jet::Version::Jet4);
            for (const QString& t : job.tables) {
                const auto a = from.table(t.toStdString()), b = to.table(t.toStdString());
                EXPECT_EQ(accessRows(to, b->name), accessRows(from, a->name)) << t.toStdString();
                ASSERT_EQ(a->columns.size(), b->columns.size());
                for (size_t i = 0; i < a->columns.size(); ++i) {
                    const jet::ColumnDef &x = a->columns[i], &y = b->columns[i];
                    EXPECT_EQ(std::tie(x.name, x.type, x.precision, x.scale, x.required),
                              std::tie(y.name, y.type, y.precision, y.scale, y.required));
                    EXPECT_EQ(x.isAutoNumber(), y.isAutoNumber()) << x.name;
                    if (x.type == jet::ColumnType::Text) {
                        EXPECT_EQ(from.version() == jet::Version::Jet3 ? x.length * 2 : x.length, y.length) << x.name;
                    }
                }
                auto indexes = [](const jet::TableDef& d) {
                    std::vector<std::string> out;
                    for (const jet::IndexDef& i : d.indexes) {
                        if (i.isForeignKey()) continue;
                        std::string s = i.name + (i.isPrimaryKey() ? " pk" : "") + (i.isUnique() ? " unique" : "");
                        for (const auto& c : i.columns) s += " " + c.columnName + (c.ascending ? "" : " desc");
                        out.push_back(s);
                    }
                    std::sort(out.begin(), out.end());
                    return out;
                };
                EXPECT_EQ(indexes(*a), indexes(*b)) << t.toStdString();
            }
        }
        // Again: every table is there already, each is listed, none is touched.
        Sink again;
        report = runWizardCopy(job, again);
        EXPECT_FALSE(report.complete());
        EXPECT_EQ(again.errors.size(), job.tables.size());
        EXPECT_TRUE(again.errors.value(0).startsWith(job.tables.value(0) + QStringLiteral(": ")));
        // The engine words its own sentences in the job's language (German here).
        EXPECT_TRUE(again.errors.value(0).contains(QStringLiteral("enthält schon eine Tabelle dieses Namens")))
            << again.errors.value(0).toStdString();
    }
    EXPECT_EQ(copied, 2);
}

TEST_F(WizardCopyTest, TablorCopyRunsEachDirectionAndCountsADryRun) {
    const fs::path kinds = dir / "kinds.mdb";
    makeKinds(kinds);
    const std::string tool = std::string(TABLOR_BINARY_DIR) + "/bin/tablor-copy";
    const std::string server = " --host " + params.host.toStdString() + " --port " + params.port.toStdString() +
                               " --user " + jet::test::shellQuote(params.user.toStdString());
    auto run = [&](const std::string& args, int expected) {
        int status = -1;
        const std::string out =
            jet::test::runCommand("TABLOR_PASSWORD=" + jet::test::shellQuote(params.password.toStdString()) + " " +
                                      tool + " " + args + " 2>&1",
                                  &status);
        EXPECT_EQ(status, expected) << args << "\n" << out;
        return out;
    };
    const std::string source = " --source " + jet::test::shellQuote(kinds.string());
    const std::string database = " --database " + dbName.toStdString();
    EXPECT_EQ(run("a2m" + source + server + database, 0),
              "kinds: read 6, written 6, failed 0\nnoid: read 3000, written 3000, failed 0\n");
    // Appending the same rows again: every keyed row fails.
    EXPECT_NE(run("a2m" + source + server + database + " --append --tables kinds", 1).find("failed 6"),
              std::string::npos);
    // The dry run of an upload: one row changed and one removed on the server.
    exec(QStringLiteral("UPDATE kinds SET txt = 'changed' WHERE id = 7"));
    exec(QStringLiteral("DELETE FROM kinds WHERE id = 9"));
    const std::string dry = run(
        "upload --dry-run --tables kinds" + server + database + " --mdb " + jet::test::shellQuote(kinds.string()), 0);
    EXPECT_EQ(dry, "kinds: would insert 1, update 1, leave 4 alone\n");
    EXPECT_EQ(scalar(QStringLiteral("SELECT COUNT(*) FROM kinds")), QStringLiteral("5")) << "a dry run changes nothing";
    // m2m between two databases of one server, m2a and a2a.
    const QString other = dbName.left(60) + QStringLiteral("_cp");
    exec(QStringLiteral("CREATE DATABASE `%1`").arg(other));
    run("m2m" + server + " --source-database " + dbName.toStdString() + " --target-database " + other.toStdString(), 0);
    EXPECT_EQ(scalar(QStringLiteral("SELECT COUNT(*) FROM `%1`.noid").arg(other)), QStringLiteral("3000"));
    exec(QStringLiteral("DROP DATABASE `%1`").arg(other));
    run("m2a" + server + database + " --tables noid --target " + jet::test::shellQuote((dir / "m2a.mdb").string()), 0);
    EXPECT_EQ(jet::Database::open(dir / "m2a.mdb").countRows(*jet::Database::open(dir / "m2a.mdb").table("noid")),
              3000u);
    run("a2a" + source + " --target " + jet::test::shellQuote((dir / "it's a2a.mdb").string()), 0);
    run("a2a" + source + " --target " + jet::test::shellQuote((dir / "it's a2a.mdb").string()), 1);
    // Wrong usage.
    run("a2m" + source, 2);
    run("a2a" + source + " --target x.mdb --prefix p", 2);
    run("m2m" + server + " --source-database a", 2);
    run("download --dry-run" + server + database + " --mdb x.mdb", 2);
}

} // namespace
