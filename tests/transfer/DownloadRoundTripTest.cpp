// The round trip: a server table with the column types at their limits, NULLs, umlauts, €,
// CJK and emoji, a memo over 64 KB, a blob over 1 MB and a two-column primary key, downloaded
// three times (into a new file, again with tablor-copy --overwrite, again matching rows by key),
// read back with our engine and with mdbtools and compared value by value with what the server
// holds, `tablor-mdb check` clean; then uploaded into an empty copy of the table and compared
// there column by column.
#include "transfer/CopyOrder.h"
#include "transfer/DownloadCopy.h"
#include "transfer/ServerTable.h"
#include "transfer/TypeMap.h"
#include "transfer/UploadCopy.h"

#include "../db/MySqlTestSupport.h"
#include "fixtures.h"
#include "reader_forms.h"

#include "jet/database.h"
#include "support/files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <map>
#include <optional>
#include <random>

using namespace tablor;
using namespace tablor::transfer;

namespace {

const char* kCreate = R"(CREATE TABLE every (
  k1 INT NOT NULL, k2 VARCHAR(20) NOT NULL,
  ti TINYINT, tiu TINYINT UNSIGNED, si SMALLINT, siu SMALLINT UNSIGNED, mi MEDIUMINT, miu MEDIUMINT UNSIGNED,
  i INT(11), iu INT(11) UNSIGNED ZEROFILL, bi BIGINT, biu BIGINT UNSIGNED,
  f FLOAT, d DOUBLE, dec65 DECIMAL(65,30), dec12 DECIMAL(12,2),
  dt DATE, dtm DATETIME(6), ts TIMESTAMP NULL, tm TIME, tm6 TIME(6), y YEAR,
  c CHAR(10), vc VARCHAR(20) CHARACTER SET utf8mb4 COLLATE utf8mb4_bin, vc1000 VARCHAR(1000),
  tt TINYTEXT, tx TEXT, mt MEDIUMTEXT, lt LONGTEXT,
  tb TINYBLOB, bl BLOB, mb MEDIUMBLOB, lb LONGBLOB,
  e ENUM('a','bé','c'), s SET('x','y','z'), b1 BIT(1), b64 BIT(64), bn BINARY(4), vb VARBINARY(300), j JSON,
  PRIMARY KEY (k1, k2)) CHARACTER SET utf8mb4)";

std::string hexOf(const std::vector<uint8_t>& bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string s;
    for (uint8_t b : bytes) s += {digits[b >> 4], digits[b & 15]};
    return s;
}

QString rows(const std::string& blobHex) {
    const QString big = QStringLiteral("REPEAT('Grüße € 汉字 😀 ', 6000)"); // 84,000 characters
    return QStringLiteral(
               "INSERT INTO every VALUES "
               "(1, 'min', -128, 0, -32768, 0, -8388608, 0, -2147483648, 0, -9223372036854775808, 0,"
               " -3.40282e38, -1.7976931348623157e308, -99999999999999999999999999999999999.999999999999999999999999999999,"
               " -9999999999.99, '1000-01-01', '1000-01-01 00:00:00.000000', '1970-01-01 00:00:01', '-838:59:59',"
               " '-838:59:59.000000', 1901, '', '', '', '', '', '', '', '', '', '', '', 'a', '', 0, 0, X'00000000', X'',"
               " '[]'),"
               "(1, 'max', 127, 255, 32767, 65535, 8388607, 16777215, 2147483647, 4294967295, 9223372036854775807,"
               " 18446744073709551615, 3.40282e38, 1.7976931348623157e308,"
               " 99999999999999999999999999999999999.999999999999999999999999999999, 9999999999.99, '9999-12-31',"
               " '9999-12-31 23:59:59.999999', '2038-01-19 03:14:07', '838:59:59', '838:59:59.999999', 2155,"
               " 'ÄÖÜäöüß€ab', 'äöü € 汉字 😀😀 x', REPEAT('ü', 1000), REPEAT('€', 85), REPEAT('ab€', 13000), %1, %1, X'FF', X'00FF',"
               " X'%2', X'%2', 'bé', 'x,y,z', 1, 18446744073709551615, X'FFFFFFFF', REPEAT(X'A5', 300),"
               " '{\"k\": [1, \"ü\"]}'),"
               "(2, 'nulls', %3),"
               "(2, 'Straße 😀', 1, 1, 1, 1, 1, 1, 1, 42, 1, 1, 0.1, 0.1, 0.000000000000000000000000000001, 0.01,"
               " '1899-12-29', '2024-02-29 12:34:56.123456', '2000-01-01 00:00:00', '00:00:00', '-00:00:00.000001',"
               " 2000, 'a', '日本語', 'x', 'y', 'z', 'w', 'v', X'01', X'02', X'03', X'04', 'c', 'y', 0, 1,"
               " X'0102', X'0A0D', '{}')")
        .arg(big, QString::fromStdString(blobHex), QStringList(38, QStringLiteral("NULL")).join(QStringLiteral(", ")));
}

// The server's value of a column in a form our engine's value can be compared with: floats
// widened to double, bits as a number, bytes in hex.
QString originalExpression(const ColumnPlan& c) {
    const QString q = QuoteIdentifier(c.sourceName);
    const QString& type = c.mysqlType.name;
    if (type == QLatin1String("float")) return QStringLiteral("CAST(%1 AS DOUBLE)").arg(q);
    if (type == QLatin1String("bit") || c.mysqlType.text.contains(QLatin1String("zerofill")))
        return QStringLiteral("CAST(%1 AS UNSIGNED)").arg(q);
    if (c.source == ValueSource::Bytes) return QStringLiteral("HEX(%1)").arg(q);
    return q;
}

using Micros = long long;

// Microseconds since 1899-12-30 of "YYYY-MM-DD[ HH:MM:SS[.ffffff]]" (std::chrono's calendar).
Micros microsOf(const std::string& s) {
    using namespace std::chrono;
    const year_month_day ymd{year{std::stoi(s.substr(0, 4))}, month{unsigned(std::stoi(s.substr(5, 2)))},
                             day{unsigned(std::stoi(s.substr(8, 2)))}};
    Micros m = (sys_days{ymd} - sys_days{year{1899} / 12 / 30}).count() * 86400000000LL;
    if (s.size() > 10)
        m += (std::stoll(s.substr(11, 2)) * 3600 + std::stoll(s.substr(14, 2)) * 60 + std::stoll(s.substr(17, 2))) *
             1000000LL;
    if (s.size() > 20) m += std::stoll((s.substr(20) + "000000").substr(0, 6));
    return m;
}

// Access's date-time: the whole days and, apart from the sign, the time of day.
Micros microsOf(double days) {
    const double whole = std::trunc(days);
    return static_cast<Micros>(whole) * 86400000000LL + std::llround(std::fabs(days - whole) * 86400e6);
}

// What mdbtools prints for text: it writes a character outside the BMP as two question marks.
std::string mdbtoolsText(const std::string& utf8) {
    std::string out;
    for (size_t i = 0; i < utf8.size(); ++i) {
        const unsigned char b = static_cast<unsigned char>(utf8[i]);
        if (b >= 0xF0) {
            out += "??";
            i += 3;
        } else {
            out += utf8[i];
        }
    }
    return out;
}

class DownloadRoundTrip : public ServerRequiredTest {
protected:
    const tablor::test::TempDir tmp{"tablor-download"};
    const std::filesystem::path dir = tmp.path;

    // Uploads `table` of `mdb` into an empty copy of the server table in a database of its
    // own (named by `suffix`), which it returns.
    QString uploadIntoEmptyCopy(const QString& table, const QString& mdb, const QString& suffix) {
        const QString copyDb = dbName.left(60) + suffix;
        exec(QStringLiteral("DROP DATABASE IF EXISTS `%1`").arg(copyDb));
        exec(QStringLiteral("CREATE DATABASE `%1` CHARACTER SET utf8mb4").arg(copyDb));
        exec(QStringLiteral("CREATE TABLE `%1`.%2 LIKE %2").arg(copyDb, table));
        UploadOptions up{params.host, params.port, copyDb, params.user, params.password, mdb, true};
        const TableCopyReport uploaded = UploadCopy(up).CopyToServer(table);
        EXPECT_TRUE(uploaded.complete()) << uploaded.message.toStdString()
                                         << (uploaded.errors.empty() ? "" : uploaded.errors[0].message.toStdString());
        return copyDb;
    }
};

TEST_F(DownloadRoundTrip, EveryValueArrivesAsItLeft) {
    std::mt19937 random(12);
    std::vector<uint8_t> blob(1'200'000);
    for (auto& b : blob) b = static_cast<uint8_t>(random());
    exec(QString::fromUtf8(kCreate));
    exec(rows(hexOf(blob)));

    const std::filesystem::path mdb = dir / "copy.mdb";
    DownloadOptions options;
    options.mdbPath = QString::fromStdString(mdb.string());
    options.batchRows = 3; // more than one batch
    {
        DownloadCopy copy(db, options);
        const TableCopyReport first = copy.CopyToLocal(QStringLiteral("`every`"));
        ASSERT_TRUE(first.complete()) << first.message.toStdString()
                                      << (first.errors.empty() ? "" : first.errors[0].message.toStdString());
        EXPECT_TRUE(first.created);
        EXPECT_EQ(first.rowsWritten, 4);
    }
    // Again through tablor-copy, emptying the table first, and once more matching every row on
    // both key columns: the table ends with the server's rows, each once.
    const std::string tool = std::string(TABLOR_BINARY_DIR) + "/bin/tablor-copy";
    int status = -1;
    const std::string out = jet::test::runCommand(
        "TABLOR_PASSWORD=" + jet::test::shellQuote(params.password.toStdString()) + " " + tool + " download --host " +
            params.host.toStdString() + " --port " + params.port.toStdString() + " --user " +
            jet::test::shellQuote(params.user.toStdString()) + " --database " + dbName.toStdString() + " --mdb " +
            jet::test::shellQuote(mdb.string()) + " --overwrite --tables every",
        &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_EQ(out, "every: read 4, written 4, failed 0\n");
    // One row changed on the server: matched on both key columns and updated, the others kept.
    exec(QStringLiteral("UPDATE every SET vc = 'geändert €', lb = X'0102' WHERE k1 = 1 AND k2 = 'max'"));
    {
        DownloadCopy copy(db, options);
        const TableCopyReport again = copy.CopyToLocal(QStringLiteral("every"));
        ASSERT_TRUE(again.complete()) << again.message.toStdString();
        EXPECT_FALSE(again.created);
    }

    const ServerTable server(db, QStringLiteral("every"));
    const TablePlan plan = tableDefinition(server.name(), server.columns(), server.keyColumns());
    QString select = QStringLiteral("SELECT ");
    for (size_t i = 0; i < plan.columns.size(); ++i)
        select += (i ? QStringLiteral(", ") : QString()) + originalExpression(plan.columns[i]);
    TZMySqlQuery original;
    original.Database = &db;
    original.SQL = QStringList{select + QStringLiteral(" FROM every")};
    original.Open();
    ASSERT_EQ(original.RecordCount(), 4);
    std::map<std::string, int> serverRow, mdbtoolsRow; // "k1/k2" -> row
    for (int r = 0; r < 4; ++r) {
        const std::string key = (original.CellText(r, 0) + QLatin1Char('/') + original.CellText(r, 1)).toStdString();
        serverRow[key] = r;
        mdbtoolsRow[mdbtoolsText(key)] = r;
    }
    auto serverValue = [&](int r, size_t c) -> std::optional<std::string> {
        if (original.CellIsNull(r, int(c))) return std::nullopt;
        return original.CellText(r, int(c)).toStdString();
    };

    // Our engine.
    auto file = jet::Database::open(mdb);
    const auto def = file.table("every");
    ASSERT_EQ(def->columns.size(), plan.columns.size());
    ASSERT_EQ(def->indexes.size(), 1u);
    EXPECT_EQ(def->indexes[0].columns.size(), 2u);
    auto cursor = file.scan(def);
    int seen = 0;
    while (cursor.next()) {
        const auto& v = cursor.values();
        const std::string key = v[0].toString() + "/" + v[1].asText();
        ASSERT_TRUE(serverRow.count(key)) << key;
        const int r = serverRow[key];
        ++seen;
        for (size_t c = 0; c < plan.columns.size(); ++c) {
            const ColumnPlan& p = plan.columns[c];
            SCOPED_TRACE(key + " column " + p.sourceName.toStdString() + " " + p.mysqlType.text.toStdString());
            const auto expected = serverValue(r, c);
            ASSERT_EQ(v[c].isNull(), !expected.has_value());
            if (!expected) continue;
            switch (def->columns[c].type) {
            case jet::ColumnType::Single: EXPECT_EQ(double(v[c].asSingle()), std::stod(*expected)); break;
            case jet::ColumnType::Double: EXPECT_EQ(v[c].asDouble(), std::stod(*expected)); break;
            case jet::ColumnType::DateTime: {
                // Exact to the microsecond where a double has room for it (up to 2079), else
                // within its resolution (40 µs in 9999).
                const double days = v[c].asDateTime().days;
                const double slack = (std::nextafter(days, 1e9) - days) * 86400e6;
                const Micros got = microsOf(days), want = microsOf(*expected), day = 86400000000LL;
                EXPECT_LE(std::llabs(got - want), slack < 1 ? 0 : Micros(std::ceil(slack))) << *expected;
                // Never into another day (9999-12-31 23:59:59.999999 is no 10000-01-01).
                auto dayOf = [&](Micros m) { return m >= 0 ? m / day : -((-m + day - 1) / day); };
                EXPECT_EQ(dayOf(got), dayOf(want)) << *expected;
                break;
            }
            default: EXPECT_EQ(v[c].toString(), *expected);
            }
        }
    }
    EXPECT_EQ(seen, 4);

    // mdbtools, in its own forms: floats with noise, dates to the second, no NULL apart from
    // the empty text, characters beyond the BMP as "??", binary without trailing zero bytes.
    if (jet::test::readerPresent(jet::test::haveMdbTools(), "mdbtools")) {
        const auto printed = jet::reader_forms::mdbtoolsRows(mdb, *def);
        ASSERT_EQ(printed.size(), 4u) << (printed.empty() ? "" : printed[0]);
        for (const std::string& line : printed) {
            std::vector<std::string> cells;
            size_t from = 0;
            for (size_t at; (at = line.find('\x1f', from)) != std::string::npos; from = at + 1)
                cells.push_back(line.substr(from, at - from));
            ASSERT_EQ(cells.size(), plan.columns.size());
            const std::string key = cells[0] + "/" + cells[1];
            ASSERT_TRUE(mdbtoolsRow.count(key)) << "mdbtools row " << key;
            const int r = mdbtoolsRow[key];
            for (size_t c = 0; c < plan.columns.size(); ++c) {
                SCOPED_TRACE("mdbtools " + key + " column " + plan.columns[c].sourceName.toStdString());
                const auto expected = serverValue(r, c);
                const jet::ColumnType type = def->columns[c].type;
                std::string want = expected.value_or("");
                if (expected && type == jet::ColumnType::Single)
                    want = jet::reader_forms::printed("%a", float(std::stod(want)));
                else if (expected && type == jet::ColumnType::Double)
                    // It rounds to 16 digits, which takes the largest doubles past the end.
                    want = std::fabs(std::stod(want)) > 1.797693134862315e308
                               ? (want[0] == '-' ? "-inf" : "inf")
                               : jet::reader_forms::printed("%.15g", std::stod(want));
                else if (expected && type == jet::ColumnType::DateTime)
                    continue; // mdbtools prints seconds only; the engine's comparison above is exact
                else if (type == jet::ColumnType::Text || type == jet::ColumnType::Memo) want = mdbtoolsText(want);
                else want = jet::reader_forms::mdbtoolsForm(type, want);
                std::string got = cells[c];
                if (type == jet::ColumnType::Binary) // it drops trailing zero bytes of fixed binary
                    for (std::string* h : {&want, &got})
                        while (h->size() >= 2 && h->compare(h->size() - 2, 2, "00") == 0) h->resize(h->size() - 2);
                EXPECT_EQ(got, want);
            }
        }
    }

    // The engine's own check on the written file.
    const std::string check = jet::test::runCommand(
        std::string(TABLOR_BINARY_DIR) + "/bin/tablor-mdb check " + jet::test::shellQuote(mdb.string()), &status);
    EXPECT_EQ(status, 0) << check;
    EXPECT_NE(check.find(" 0 problems"), std::string::npos) << check;

    // Back up into an empty copy of the table: every value as it was on the server (the
    // microseconds of 9999-12-31 23:59:59.999999 within what Access's double keeps).
    const QString copyDb = uploadIntoEmptyCopy(QStringLiteral("every"), options.mdbPath, QStringLiteral("_up"));
    EXPECT_EQ(scalar(QStringLiteral("SELECT COUNT(*) FROM `%1`.every").arg(copyDb)), "4");
    for (const ColumnPlan& c : plan.columns) {
        const QString q = QuoteIdentifier(c.sourceName);
        const QString same =
            c.mysqlType.name == QLatin1String("datetime")
                ? QStringLiteral("(a.%1 <=> b.%1 OR ABS(TIMESTAMPDIFF(MICROSECOND, a.%1, b.%1)) <= 64)").arg(q)
                : QStringLiteral("a.%1 <=> b.%1").arg(q);
        EXPECT_EQ(scalar(QStringLiteral("SELECT COUNT(*) FROM every a JOIN `%1`.every b USING (k1, k2) WHERE %2")
                             .arg(copyDb, same)),
                  "4")
            << c.sourceName.toStdString();
    }
    exec(QStringLiteral("DROP DATABASE `%1`").arg(copyDb));
}

} // namespace

namespace {

TEST_F(DownloadRoundTrip, SaysWhatItCouldNotCopy) {
    exec(QStringLiteral("CREATE TABLE nokey (a INT, b VARCHAR(3)) CHARACTER SET utf8mb4"));
    exec(QStringLiteral("INSERT INTO nokey VALUES (1, 'x')"));
    exec(QStringLiteral("CREATE TABLE narrow (id INT PRIMARY KEY, t VARCHAR(3)) CHARACTER SET utf8mb4"));
    // Two emoji are four UTF-16 units: more than TEXT (3) holds.
    exec(QStringLiteral("INSERT INTO narrow VALUES (7, '😀😀'), (8, 'ä😀😀')"));
    DownloadOptions options;
    options.mdbPath = QString::fromStdString((dir / "new.mdb").string());

    DownloadCopy copy(db, options);
    const TableCopyReport noKey = copy.CopyToLocal(QStringLiteral("nokey"));
    EXPECT_EQ(noKey.result, CopyResult::NoPrimaryKey);
    EXPECT_EQ(noKey.rowsRead, 0);

    const TableCopyReport failed = copy.CopyToLocal(QStringLiteral("narrow"));
    EXPECT_EQ(failed.result, CopyResult::AllRowsFailed);
    EXPECT_EQ(failed.rowsFailed, 2);
    ASSERT_EQ(failed.errors.size(), 2u);
    EXPECT_EQ(failed.errors[0].key, QStringLiteral("id=7"));
    EXPECT_EQ(failed.errors[1].key, QStringLiteral("id=8"));
    EXPECT_FALSE(failed.errors[0].message.isEmpty());

    // The server table changed under the Access table of the same name: refused, not scrambled.
    exec(QStringLiteral("DROP TABLE narrow"));
    exec(QStringLiteral("CREATE TABLE narrow (id INT PRIMARY KEY, t BLOB)"));
    exec(QStringLiteral("INSERT INTO narrow VALUES (1, X'00')"));
    const TableCopyReport conflict = copy.CopyToLocal(QStringLiteral("narrow"));
    EXPECT_EQ(conflict.result, CopyResult::TypeConflict);
    EXPECT_TRUE(conflict.message.contains(QStringLiteral("[t]"))) << conflict.message.toStdString();
    EXPECT_EQ(conflict.rowsWritten, 0);

    // A cancel request ends the table at the next progress report, with those rows written.
    exec(QStringLiteral("CREATE TABLE many (id INT PRIMARY KEY) SELECT seq AS id FROM seq_1_to_5000"));
    std::atomic<bool> stop{false};
    copy.cancel = &stop;
    copy.OnCopyProgress = [&](const QString&, int, qint64 rows, qint64 total) {
        EXPECT_EQ(total, 5000);
        if (rows >= 2000) stop = true;
    };
    // A cancelled table is as before: one made by the copy goes again; one that was there,
    // emptied for the copy and refilled by two batches, has its old rows back.
    const TableCopyReport cancelled = copy.CopyToLocal(QStringLiteral("many"));
    EXPECT_TRUE(cancelled.cancelled);
    EXPECT_TRUE(cancelled.message.contains(QStringLiteral("removed again"))) << cancelled.message.toStdString();
    EXPECT_FALSE(jet::Database::open(dir / "new.mdb").hasTable("many"));
    copy.cancel = nullptr;
    {
        auto writer = jet::DatabaseWriter::create(dir / "kept.mdb");
        writer.createTable({"many", {{"id", jet::ColumnType::Long}}, {{"", {"id"}, {}, true}}});
        auto many = writer.table("many");
        for (int32_t id = 9001; id <= 9003; ++id) many.insert(std::vector<jet::Value>{jet::Value::longInt(id)});
    }
    options.mdbPath = QString::fromStdString((dir / "kept.mdb").string());
    options.overwrite = true;
    options.batchRows = 2000;
    DownloadCopy into(db, options);
    stop = false;
    into.cancel = &stop;
    into.OnCopyProgress = [&](const QString&, int, qint64 rows, qint64) { stop = rows >= 2000; };
    const TableCopyReport kept = into.CopyToLocal(QStringLiteral("many"));
    EXPECT_TRUE(kept.cancelled);
    EXPECT_EQ(kept.rowsWritten, 0);
    EXPECT_TRUE(kept.message.contains(QStringLiteral("as it was before"))) << kept.message.toStdString();
    const auto file = jet::Database::open(dir / "kept.mdb");
    std::vector<int32_t> ids;
    for (auto rows = file.scan("many"); rows.next();) ids.push_back(rows.values()[0].asLong());
    EXPECT_EQ(ids, (std::vector<int32_t>{9001, 9002, 9003}));
}

} // namespace

namespace {

// An Office 97 profile gets an Access 97 file: text in its code page under a key of two
// columns (Access 97's sort order), a memo and a picture longer than a page. A row with a
// character Windows-1252 lacks is refused with its key and the column, the others arrive; a
// second download matches rows by the key; the file is sound, mdbtools reads it, and the
// rows go back up unchanged.
TEST_F(DownloadRoundTrip, AnOffice97ProfileGetsAnAccess97File) {
    exec(QStringLiteral("CREATE TABLE alt (k1 INT NOT NULL, k2 VARCHAR(30) NOT NULL, n DECIMAL(12,2), d DOUBLE, "
                        "dt DATETIME, t VARCHAR(200), memo TEXT, b BLOB, PRIMARY KEY (k1, k2)) CHARACTER SET utf8mb4"));
    exec(QStringLiteral("INSERT INTO alt VALUES (1, 'Straße', 12.5, 0.1, '1999-12-31 23:59:59', 'ÄÖÜäöüß € œ „x“',"
                        " REPEAT('Grüße € ', 3000), REPEAT(X'A5', 5000)), (1, 'Strand', NULL, NULL, NULL, NULL, NULL,"
                        " NULL), (2, 'élan', -1, 1e300, '1900-01-01', '', '', X''), (3, 'x', 1, 1, NULL, '汉字', NULL,"
                        " NULL)"));
    const std::filesystem::path mdb = dir / "alt.mdb";
    DownloadOptions options;
    options.mdbPath = QString::fromStdString(mdb.string());
    options.office2000 = false;
    auto download = [&] {
        DownloadCopy copy(db, options);
        const TableCopyReport report = copy.CopyToLocal(QStringLiteral("alt"));
        EXPECT_EQ(report.rowsWritten, 3) << report.message.toStdString();
        EXPECT_EQ(report.rowsFailed, 1);
        if (report.errors.size() == 1) {
            EXPECT_EQ(report.errors[0].key, QStringLiteral("k1=3, k2=x"));
            EXPECT_TRUE(report.errors[0].message.contains(QStringLiteral("column [t]")))
                << report.errors[0].message.toStdString();
        } else {
            ADD_FAILURE() << report.errors.size() << " errors";
        }
        return report.created;
    };
    EXPECT_TRUE(download());
    EXPECT_EQ(jet::Database::open(mdb).version(), jet::Version::Jet3);
    exec(QStringLiteral("UPDATE alt SET t = 'geändert', n = 7 WHERE k1 = 2"));
    EXPECT_FALSE(download());

    int status = -1;
    const std::string check = jet::test::runCommand(
        std::string(TABLOR_BINARY_DIR) + "/bin/tablor-mdb check " + jet::test::shellQuote(mdb.string()), &status);
    EXPECT_EQ(status, 0) << check;
    EXPECT_NE(check.find(" 0 problems"), std::string::npos) << check;
    if (jet::test::readerPresent(jet::test::haveMdbTools(), "mdbtools")) {
        const std::string csv = jet::test::runCommand("mdb-export " + jet::test::shellQuote(mdb.string()) + " alt");
        for (const char* text : {"Straße", "ÄÖÜäöüß € œ „x“", "geändert", "élan"})
            EXPECT_NE(csv.find(text), std::string::npos) << text << " not in\n" << csv.substr(0, 400);
        EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 4) << csv.substr(0, 400); // a header and three rows
    }

    const QString copyDb = uploadIntoEmptyCopy(QStringLiteral("alt"), options.mdbPath, QStringLiteral("_97"));
    EXPECT_EQ(
        scalar(QStringLiteral("SELECT COUNT(*) FROM alt a JOIN `%1`.alt b USING (k1, k2) WHERE a.n <=> b.n AND "
                              "a.d <=> b.d AND a.dt <=> b.dt AND a.t <=> b.t AND a.memo <=> b.memo AND a.b <=> b.b")
                   .arg(copyDb)),
        QStringLiteral("3"));
    exec(QStringLiteral("DROP DATABASE `%1`").arg(copyDb));
}

TEST_F(DownloadRoundTrip, UploadCountsTheRowsTheServerRefusesAndKeepsNullsAndEmptyTexts) {
    const std::filesystem::path mdb = dir / "up.mdb";
    {
        auto writer = jet::DatabaseWriter::create(mdb);
        jet::TableSpec t{"lines",
                         {{"o", jet::ColumnType::Long}, {"l", jet::ColumnType::Long}, {"t", jet::ColumnType::Text, 10}},
                         {{"", {"o", "l"}, {}, true}}};
        writer.createTable(t);
        jet::TableSpec other{"other", {{"x", jet::ColumnType::Long}, {"y", jet::ColumnType::Long}}, {}};
        writer.createTable(other);
        auto lines = writer.table("lines");
        const std::vector<std::vector<jet::Value>> rows = {
            {jet::Value::longInt(1), jet::Value::longInt(1), jet::Value::text("a'\\")}, // a quote and a backslash
            {jet::Value::longInt(1), jet::Value::longInt(2), jet::Value::text("too long")},
            {jet::Value::longInt(2), jet::Value::longInt(1), jet::Value()},
            {jet::Value::longInt(2), jet::Value::longInt(2), jet::Value::text("")}};
        for (const auto& r : rows) lines.insert(r);
        writer.flush();
    }
    exec(QStringLiteral("CREATE TABLE `lines` (o INT, l INT, t VARCHAR(3), PRIMARY KEY (o, l))"));
    exec(QStringLiteral("INSERT INTO `lines` VALUES (1, 1, 'old'), (9, 9, 'old')"));
    exec(QStringLiteral("CREATE TABLE other (x INT PRIMARY KEY, z INT)"));
    UploadOptions up{
        params.host, params.port, dbName, params.user, params.password, QString::fromStdString(mdb.string()), false};
    UploadCopy copy(up);

    // Matched on both key columns: (1,1) updated, (9,9) kept, the row too long for VARCHAR(3)
    // counted with its key and the server's reason, the others added.
    const TableCopyReport matched = copy.CopyToServer(QStringLiteral("lines"));
    EXPECT_EQ(matched.result, CopyResult::Copied);
    EXPECT_EQ(matched.rowsFailed, 1);
    ASSERT_EQ(matched.errors.size(), 1u);
    EXPECT_EQ(matched.errors[0].key, QStringLiteral("o=1, l=2"));
    EXPECT_TRUE(matched.errors[0].message.contains(QStringLiteral("Data too long")))
        << matched.errors[0].message.toStdString();
    EXPECT_EQ(scalar(QStringLiteral("SELECT GROUP_CONCAT(o, '/', l, '=', IFNULL(t, 'NULL'), '|' ORDER BY o, l "
                                    "SEPARATOR '') FROM `lines`")),
              QStringLiteral("1/1=a'\\|2/1=NULL|2/2=|9/9=old|"));

    // Emptied first, in the same transaction as the new rows.
    up.overwrite = true;
    const TableCopyReport replaced = UploadCopy(up).CopyToServer(QStringLiteral("lines"));
    EXPECT_EQ(replaced.rowsFailed, 1);
    EXPECT_EQ(scalar(QStringLiteral("SELECT GROUP_CONCAT(o, '/', l, '=', IFNULL(t, 'NULL'), '|' ORDER BY o, l "
                                    "SEPARATOR '') FROM `lines`")),
              QStringLiteral("1/1=a'\\|2/1=NULL|2/2=|"));

    // Columns that differ: refused, nothing changed.
    const TableCopyReport conflict = copy.CopyToServer(QStringLiteral("other"));
    EXPECT_EQ(conflict.result, CopyResult::TypeConflict);
    EXPECT_EQ(scalar(QStringLiteral("SELECT COUNT(*) FROM other")), QStringLiteral("0"));
}

} // namespace

namespace {

TEST(CopyOrder, ParentsBeforeChildrenAndCyclesInTheGivenOrder) {
    const std::vector<ForeignKey> keys = {
        {"lines", "orders"}, {"orders", "Customers"}, {"lines", "items"},   {"a", "b"},
        {"b", "a"},          {"self", "self"},        {"orders", "outside"}};
    struct Case {
        QStringList given, expected;
    };
    for (const Case& c :
         std::vector<Case>{{{"lines", "orders", "customers", "items"}, {"customers", "orders", "items", "lines"}},
                           {{"lines", "items"}, {"items", "lines"}},
                           // A cycle waits for the tables that are ready, then keeps its order.
                           {{"b", "a", "self", "lines"}, {"self", "lines", "b", "a"}},
                           {{"orders"}, {"orders"}}})
        EXPECT_EQ(parentsFirst(c.given, keys), c.expected) << c.given.join(",").toStdString();
}

TEST_F(DownloadRoundTrip, UploadEmptiesChildrenFirstFillsParentsFirstAndACancelUndoesEveryTable) {
    exec(QStringLiteral("CREATE TABLE parent (id INT PRIMARY KEY) ENGINE=InnoDB SELECT seq AS id FROM seq_1_to_3000"));
    exec(QStringLiteral(
        "CREATE TABLE child (id INT PRIMARY KEY, p INT NOT NULL, FOREIGN KEY (p) REFERENCES parent (id)) "
        "ENGINE=InnoDB SELECT seq AS id, seq AS p FROM seq_1_to_3000"));
    DownloadOptions down;
    down.mdbPath = QString::fromStdString((dir / "fk.mdb").string());
    {
        DownloadCopy copy(db, down);
        for (const QString t : {"parent", "child"}) ASSERT_TRUE(copy.CopyToLocal(t).complete());
    }
    exec(QStringLiteral("UPDATE child SET p = 1"));
    UploadOptions up{params.host, params.port, dbName, params.user, params.password, down.mdbPath, true};
    UploadCopy copy(up);
    // Ticked child first: the child must be emptied before its parent and filled after it.
    const auto reports = copy.CopyToServer(QStringList{"child", "parent"});
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].table, QStringLiteral("parent"));
    for (const TableCopyReport& r : reports) EXPECT_TRUE(r.complete()) << r.message.toStdString();
    EXPECT_EQ(scalar(QStringLiteral("SELECT SUM(p) FROM child")), QStringLiteral("4501500"));

    // A cancel in the second table rolls back the first too.
    exec(QStringLiteral("UPDATE child SET p = 1"));
    std::atomic<bool> stop{false};
    copy.cancel = &stop;
    copy.OnCopyProgress = [&](const QString& table, int, qint64, qint64) {
        if (table == QLatin1String("child")) stop = true;
    };
    const auto cancelled = copy.CopyToServer(QStringList{"parent", "child"});
    EXPECT_TRUE(cancelled[1].cancelled);
    EXPECT_EQ(cancelled[0].result, CopyResult::NoRemoteDb);
    EXPECT_TRUE(cancelled[0].message.contains(QStringLiteral("as it was before")))
        << cancelled[0].message.toStdString();
    EXPECT_EQ(scalar(QStringLiteral("SELECT CONCAT(COUNT(*), '/', SUM(p)) FROM child")), QStringLiteral("3000/3000"));
    EXPECT_EQ(scalar(QStringLiteral("SELECT COUNT(*) FROM parent")), QStringLiteral("3000"));
}

} // namespace
