// The writer, held to our reader, the integrity check and mdbtools: tables of every type,
// long values in all three forms, index upkeep with splits, updates, deletes, drops, locks.
#include "jet/check.h"
#include "jet/database.h"
#include "jet/error.h"
#include "jet/writer.h"

#include "file/write_hooks.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <typeinfo>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <csignal>
#include <thread>

#include "writer_test_support.h"

namespace fs = std::filesystem;
using namespace jet;
using namespace jet::writer_test;
using namespace std::string_literals;

namespace {

// The rows of "Every Type" as written: through our reader (every value), check, and mdbtools
// (the count, and text and numbers row by row in storage order, which is insert order).
void expectReadBackEverywhere(const fs::path& file, const std::map<int32_t, std::vector<Value>>& written) {
    const auto back = readAll(file, "Every Type");
    ASSERT_EQ(back.size(), written.size());
    for (const auto& [id, row] : written) expectSameRow(row, back.at(id), id);
    expectClean(file);

    if (!haveMdbTools()) JET_UNAVAILABLE() << "mdbtools is not installed (scripts/setup installs it)";
    int st = 0;
    EXPECT_EQ(runCommand("mdb-count '" + file.string() + "' 'Every Type'", &st), std::to_string(written.size()) + "\n");
    const std::string csv =
        runCommand("mdb-export -H -b strip -d '|' -q '' '" + file.string() + "' 'Every Type' | cut -d'|' -f1,4,9", &st);
    EXPECT_EQ(st, 0);
    std::string expected;
    for (const auto& [id, row] : written)
        expected += std::to_string(id) + "|" + row[3].toString() + "|" + row[8].asText() + "\n";
    EXPECT_EQ(csv, expected);
}

TEST(Writer, RoundTripOfEveryTypeThroughOurReaderCheckAndMdbtools) {
    TempDir dir;
    const fs::path file = dir.path / "types.mdb";
    std::mt19937 rng(4711);
    std::map<int32_t, std::vector<Value>> written;
    {
        DatabaseWriter w = DatabaseWriter::create(file);
        w.createTable(everyTypeSpec("Every Type"));
        TableWriter t = w.table("Every Type");
        for (int i = 0; i < 600; ++i) {
            auto row = randomRow(rng, i);
            const InsertResult r = t.insert(row);
            ASSERT_TRUE(r.autoNumber.has_value());
            EXPECT_EQ(*r.autoNumber, i + 1);
            row[0] = Value::longInt(*r.autoNumber);
            written[*r.autoNumber] = row;
        }
    }
    expectReadBackEverywhere(file, written);
}

// A new Access 97 file takes tables of every type it has (no Decimal), rows with long values
// in all three forms and index upkeep, read back by our reader, check and mdbtools; a
// character its code page lacks is refused naming table, column and row, with nothing
// written.
TEST(Writer, Access97FilesTakeEveryTypeAndRefuseForeignCharactersByName) {
    TempDir dir;
    const fs::path file = dir.path / "new97.mdb";
    std::mt19937 rng(97);
    std::map<int32_t, std::vector<Value>> written;
    TableSpec design = everyTypeSpec("Every Type");
    design.columns[12] = {"Price", ColumnType::Currency}; // Access 97 has no Decimal (left null)
    {
        DatabaseWriter w = DatabaseWriter::create(file, Version::Jet3);
        EXPECT_THROW(w.createTable(everyTypeSpec("With Decimal")), SchemaError);
        w.createTable(design);
        TableWriter t = w.table("Every Type");
        for (int i = 0; i < 300; ++i) {
            auto row = randomRow(rng, i);
            row[12] = Value();
            // Windows-1252 text only: the Greek and Chinese words become German ones.
            for (Value& v : row)
                if (v.kind() == Value::Kind::Text &&
                    (v.asText().find("Ω") != std::string::npos || v.asText().find("漢") != std::string::npos))
                    v = Value::text("Grüße " + std::to_string(i));
            row[0] = Value();
            const InsertResult r = t.insert(row);
            row[0] = Value::longInt(*r.autoNumber);
            written[*r.autoNumber] = row;
        }
        w.flush();
        const auto before = readFile(file);
        auto bad = written.begin()->second;
        bad[8] = Value::text("Ωμέγα");
        try {
            bad[0] = Value();
            t.insert(bad);
            ADD_FAILURE() << "a Greek letter went into an Access 97 file";
        } catch (const ConstraintError& e) {
            const std::string m = e.what();
            for (const char* part : {"U+03A9", "[Label]", "[Every Type]", "the row with [ID] = \"301\""})
                EXPECT_NE(m.find(part), std::string::npos) << part << " in: " << m;
        }
        w.flush();
        EXPECT_EQ(readFile(file), before) << "a refused row left something behind";
    }
    expectReadBackEverywhere(file, written);
}

// Access 97 keeps the prefix an index page's entries share in one byte: many rows with the
// same long text in an index fill pages whose entries share more than 255 bytes.
TEST(Writer, Access97IndexPagesOfManyEqualLongTexts) {
    TempDir dir;
    const fs::path file = dir.path / "long97.mdb";
    std::string text;
    for (int i = 0; i < 250; ++i) text += "ß"; // two letters each in the sort order
    {
        DatabaseWriter w = DatabaseWriter::create(file, Version::Jet3);
        w.createTable({"t",
                       {{"id", ColumnType::Long}, {"s", ColumnType::Text, 255}},
                       {{"", {"id"}, {}, true}, {"s", {"s"}, {}, false}}});
        TableWriter t = w.table("t");
        for (int32_t i = 0; i < 60; ++i) t.insert(std::vector<Value>{Value::longInt(i), Value::text(text)});
    }
    EXPECT_EQ(readAll(file, "t").size(), 60u);
    expectClean(file);
}

// The npm package mdb-reader, an independent reader written in JavaScript, sees the same rows.
TEST(Writer, MdbReaderReadsWhatWeWrite) {
    const fs::path script = fs::path(TABLOR_SOURCE_DIR) / "tests/jet/mdb-reader/dump.mjs";
    int st = 0;
    if (!jet::test::haveMdbReader())
        JET_UNAVAILABLE() << "node or mdb-reader missing (scripts/setup runs npm install in tests/jet/mdb-reader)";
    TempDir dir;
    const fs::path file = dir.path / "npm.mdb";
    std::mt19937 rng(1234);
    std::map<int32_t, std::vector<Value>> written;
    {
        DatabaseWriter w = DatabaseWriter::create(file);
        w.createTable(everyTypeSpec("Mixed"));
        TableWriter t = w.table("Mixed");
        for (int i = 0; i < 300; ++i) {
            auto row = randomRow(rng, i);
            row[0] = Value::longInt(t.insert(row).autoNumber.value());
            written[row[0].asLong()] = row;
        }
        // Some rows change and go.
        Database& db = w.database();
        auto def = db.table("Mixed");
        std::vector<std::pair<int32_t, RowId>> ids;
        RowCursor cur = db.scan(def);
        while (cur.next()) ids.emplace_back(cur.values()[0].asLong(), cur.rowId());
        for (size_t i = 0; i < ids.size(); i += 7) {
            t.erase(ids[i].second);
            written.erase(ids[i].first);
        }
        for (size_t i = 3; i < ids.size(); i += 7) {
            auto row = written.at(ids[i].first);
            row[8] = Value::text("changed " + std::to_string(i) + std::string(25, '+'));
            row[9] = Value::text(std::string(900, '#') + std::to_string(i));
            row[3] = Value::integer(static_cast<int16_t>(i));
            t.update(ids[i].second, row);
            written[ids[i].first] = row;
        }
    }
    expectClean(file);
    const std::string out = runCommand("node '" + script.string() + "' '" + file.string() + "'", &st);
    ASSERT_EQ(st, 0) << out;
    std::map<std::string, std::string> lines; // by "ID"
    size_t at = 0;
    while (at < out.size()) {
        const size_t end = out.find('\n', at);
        const std::string line = out.substr(at, end - at);
        at = end == std::string::npos ? out.size() : end + 1;
        if (line.rfind("{\"ID\":\"", 0) == 0) lines[line.substr(7, line.find('"', 7) - 7)] = line;
    }
    EXPECT_NE(out.find("\"rows\":" + std::to_string(written.size())), std::string::npos) << out.substr(0, 200);
    ASSERT_EQ(lines.size(), written.size());
    for (const auto& [id, row] : written) {
        const std::string& line = lines.at(std::to_string(id));
        EXPECT_NE(line.find("\"Label\":\"" + row[8].asText() + "\""), std::string::npos) << line.substr(0, 300);
        EXPECT_NE(line.find("\"Short\":\"" + row[3].toString() + "\""), std::string::npos) << line.substr(0, 300);
        EXPECT_NE(line.find("\"Amount\":\"" + row[4].toString() + "\""), std::string::npos) << line.substr(0, 300);
        EXPECT_NE(line.find(std::string("\"Flag\":\"") + (row[1].asBoolean() ? "true" : "false") + "\""),
                  std::string::npos);
        if (!row[9].isNull()) {
            EXPECT_NE(line.find("\"Notes\":\"" + row[9].asText() + "\""), std::string::npos) << "memo of row " << id;
        }
    }
}

// A table of documents: Long "ID", Memo "Body", OLE "Data".
TableSpec docsTableSpec() {
    TableSpec s;
    s.name = "Docs";
    s.columns = {{"ID", ColumnType::Long}, {"Body", ColumnType::Memo}, {"Data", ColumnType::Ole}};
    return s;
}

TEST(Writer, LongValuesInAllThreeFormsComeBackByteForByte) {
    TempDir dir;
    const fs::path file = dir.path / "long.mdb";
    const TableSpec s = docsTableSpec();
    const Bytes big = randomBytes(1'300'000, 99);
    const std::string bigText = std::string(100000, 'q') + "Ω";
    {
        DatabaseWriter w = DatabaseWriter::create(file);
        w.createTable(s);
        TableWriter t = w.table("Docs");
        t.insert(std::vector<Value>{Value::longInt(1), Value::text("inline"), Value::binary(Bytes{1, 2, 3})});
        t.insert(
            std::vector<Value>{Value::longInt(2), Value::text(std::string(3000, 'a')), Value::binary(Bytes(3000, 7))});
        t.insert(std::vector<Value>{Value::longInt(3), Value::text(bigText), Value::binary(big)});
        t.insert(std::vector<Value>{Value::longInt(4), Value(), Value()});
        t.insert(std::vector<Value>{Value::longInt(5), Value::text(""), Value::binary(Bytes{})});
    }
    const auto rows = readAll(file, "Docs");
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows.at(1)[1].asText(), "inline");
    EXPECT_EQ(rows.at(2)[1].asText(), std::string(3000, 'a'));
    EXPECT_EQ(rows.at(2)[2].asBinary(), Bytes(3000, 7));
    EXPECT_EQ(rows.at(3)[1].asText(), bigText);
    EXPECT_EQ(rows.at(3)[2].asBinary(), big);
    EXPECT_TRUE(rows.at(4)[1].isNull());
    EXPECT_EQ(rows.at(5)[1].asText(), "");
    expectClean(file);
    if (!haveMdbTools()) JET_UNAVAILABLE() << "mdbtools is not installed";
    int st = 0;
    const std::string memo =
        runCommand("mdb-export -H -q '' '" + file.string() + "' Docs | sed -n 3p | cut -d, -f2", &st);
    EXPECT_EQ(memo, bigText + "\n");
}

// Rows changed again before anything reached the disk: updates and deletes read them (long
// values on pages not yet written included) from the writer's cache.
TEST(Writer, RowsChangeSeveralTimesBetweenTwoFlushes) {
    TempDir dir;
    const fs::path file = dir.path / "batch.mdb";
    const TableSpec s = docsTableSpec();
    const Bytes big = randomBytes(1'100'000, 7);
    DatabaseWriter w = DatabaseWriter::create(file);
    w.createTable(s);
    w.flush();
    const auto sizeBefore = fs::file_size(file);
    TableWriter t = w.table("Docs");
    std::vector<RowId> ids;
    for (int32_t i = 1; i <= 3; ++i)
        ids.push_back(
            t.insert(std::vector<Value>{Value::longInt(i), Value::text(std::string(5000, 'm')), Value::binary(big)})
                .rowId);
    ids[0] = t.update(ids[0], std::vector<Value>{Value::longInt(1), Value::text("short now"), Value::binary(big)});
    ids[0] = t.update(
        ids[0], std::vector<Value>{Value::longInt(1), Value::text(std::string(70000, 'n')), Value::binary(Bytes{9})});
    ids[1] = t.update(ids[1], std::vector<Value>{Value::longInt(2), Value(), Value::binary(big)});
    t.erase(ids[2]);
    EXPECT_EQ(fs::file_size(file), sizeBefore) << "nothing is written before the flush";
    w.flush();
    const auto rows = readAll(file, "Docs");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows.at(1)[1].asText(), std::string(70000, 'n'));
    EXPECT_EQ(rows.at(1)[2].asBinary(), Bytes{9});
    EXPECT_TRUE(rows.at(2)[1].isNull());
    EXPECT_EQ(rows.at(2)[2].asBinary(), big);
    expectClean(file);
}

TEST(Writer, IndexesStayOrderedThroughSplitsUpdatesAndDeletes) {
    TempDir dir;
    const fs::path file = dir.path / "keys.mdb";
    TableSpec s;
    s.name = "Keys";
    s.columns = {{"K", ColumnType::Long}, {"Name", ColumnType::Text, 255}, {"V", ColumnType::Double}};
    IndexSpec pk;
    pk.primaryKey = true;
    pk.columns = {"K"};
    IndexSpec byName;
    byName.name = "ByName";
    byName.columns = {"Name", "V"};
    byName.descending = {false, true};
    s.indexes = {pk, byName};
    std::vector<int32_t> keys(12000);
    for (int i = 0; i < 12000; ++i) keys[static_cast<size_t>(i)] = i * 7 - 40000;
    std::mt19937 rng(3);
    std::shuffle(keys.begin(), keys.end(), rng);
    std::map<int32_t, RowId> ids;
    std::set<int32_t> live;
    {
        DatabaseWriter w = DatabaseWriter::create(file);
        w.createTable(s);
        TableWriter t = w.table("Keys");
        for (int32_t k : keys) {
            const std::string name =
                "name " + std::to_string(k % 97) + std::string(static_cast<size_t>(((k % 13) + 13) % 13), 'z');
            ids[k] = t.insert(std::vector<Value>{Value::longInt(k), Value::text(name), Value::dbl(k / 3.0)}).rowId;
            live.insert(k);
        }
        // Duplicate primary key: refused, nothing written.
        EXPECT_THROW(t.insert(std::vector<Value>{Value::longInt(keys[5]), Value::text("dup"), Value()}),
                     ConstraintError);
        // Updates that change keys and grow rows; deletes.
        for (int i = 0; i < 150; ++i) {
            const int32_t k = keys[static_cast<size_t>(i)];
            if (i % 3 == 0) {
                t.erase(ids[k]);
                live.erase(k);
            } else {
                const int32_t nk = 1'000'000 + i;
                t.update(ids[k],
                         std::vector<Value>{Value::longInt(nk), Value::text(std::string(200, 'u') + std::to_string(i)),
                                            Value::dbl(i)});
                live.erase(k);
                live.insert(nk);
            }
        }
        EXPECT_THROW(t.update(ids[keys[1]], std::vector<Value>{Value::longInt(keys[200]), Value::text("x"), Value()}),
                     ConstraintError);
    }
    Database db = Database::open(file);
    auto def = db.table("Keys");
    std::vector<int32_t> walked;
    IndexCursor ic = db.indexScan(def, *def->findIndex("PrimaryKey"));
    std::vector<uint8_t> prev;
    while (ic.next()) {
        EXPECT_LT(prev, ic.entry().key);
        prev = ic.entry().key;
        auto row = db.readRow(*def, ic.entry().row);
        ASSERT_TRUE(row.has_value());
        walked.push_back((*row)[0].asLong());
    }
    EXPECT_EQ(walked, std::vector<int32_t>(live.begin(), live.end()));
    EXPECT_EQ(db.countRows(*def), live.size());
    db = Database::open(file); // drop caches before the check
    expectClean(file);
}

TEST(Writer, SchemaMistakesAreRefusedWithNothingWritten) {
    TempDir dir;
    const fs::path file = dir.path / "schema.mdb";
    DatabaseWriter w = DatabaseWriter::create(file);
    TableSpec a;
    a.name = "A";
    a.columns = {{"x", ColumnType::Long}};
    w.createTable(a);
    w.flush();
    const auto size = fs::file_size(file);
    EXPECT_THROW(w.createTable(a), SchemaError);
    TableSpec dupCol = a;
    dupCol.name = "B";
    dupCol.columns.push_back({"X", ColumnType::Text});
    EXPECT_THROW(w.createTable(dupCol), SchemaError);
    // Names differ only in the case of accented letters: the same name to Access.
    TableSpec umlaut = a;
    umlaut.name = "\u00c4rger";
    umlaut.columns = {{"Gr\u00f6\u00dfe", ColumnType::Long}, {"GR\u00d6\u00dfE", ColumnType::Long}};
    EXPECT_THROW(w.createTable(umlaut), SchemaError);
    TableSpec badIndex = a;
    badIndex.name = "C";
    IndexSpec i;
    i.columns = {"nope"};
    badIndex.indexes = {i};
    EXPECT_THROW(w.createTable(badIndex), SchemaError);
    TableSpec badType = a;
    badType.name = "D";
    badType.columns = {{"y", static_cast<ColumnType>(0x0D)}};
    EXPECT_THROW(w.createTable(badType), SchemaError);
    TableSpec tooLong = a;
    tooLong.name = "E";
    tooLong.columns = {{"t", ColumnType::Text, 300}};
    EXPECT_THROW(w.createTable(tooLong), SchemaError);
    w.flush();
    EXPECT_EQ(fs::file_size(file), size);
    EXPECT_EQ(w.database().tableNames(), std::vector<std::string>{"A"});
    umlaut.columns.pop_back();
    w.createTable(umlaut);
    umlaut.name = "\u00e4RGER";
    EXPECT_THROW(w.createTable(umlaut), SchemaError);
    EXPECT_EQ(w.database().table("\u00c4RGER")->name, "\u00c4rger");
    EXPECT_FALSE(sameName("\u00c4rger", "Arger"));
    EXPECT_FALSE(sameName("a\xC3", "a\xC3\xA4")); // a cut-off sequence matches nothing longer
    // A value that does not fit its column.
    TableWriter t = w.table("A");
    EXPECT_THROW(t.insert(std::vector<Value>{Value::text("abc")}), ConstraintError);
    // Also in an auto-number column, for every kind that is no whole number.
    // Values of every kind in every column (an auto-number and a key among them): stored or
    // refused as a ConstraintError, never another exception.
    TableSpec counter{"Counter", {{"Id", ColumnType::Long}}, {}};
    counter.columns[0].autoNumber = true;
    w.createTable(counter);
    TableWriter c = w.table("Counter");
    const std::vector<Value> kinds = {Value::boolean(true),  Value::byte(7),           Value::integer(-3),
                                      Value::longInt(900),   Value::currency({15000}), Value::single(2.5f),
                                      Value::dbl(5.5),       Value::dateTime({1.5}),   Value::text("x9"),
                                      Value::binary({1, 2}), Value::guid({}),          Value::decimal({})};
    for (const Value& v : kinds) {
        try {
            c.insert(std::vector<Value>{v});
        } catch (const ConstraintError&) {}
    }
    w.createTable(everyTypeSpec("Every"));
    TableWriter every = w.table("Every");
    const size_t width = every.definition().columns.size();
    for (size_t col = 0; col < width; ++col) {
        for (const Value& v : kinds) {
            std::vector<Value> row(width);
            row[col] = v;
            try {
                every.insert(row);
            } catch (const ConstraintError&) {
            } catch (const std::exception& e) {
                ADD_FAILURE() << "column " << every.definition().columns[col].name << ", value " << v.toString() << ": "
                              << typeid(e).name() << " " << e.what();
            }
        }
    }
    w.flush();
    expectClean(file);
    EXPECT_THROW(w.table("MSysObjects"), NotFoundError);
}

TEST(Writer, DropTableRemovesItAndFreesItsPages) {
    TempDir dir;
    const fs::path file = dir.path / "drop.mdb";
    {
        DatabaseWriter w = DatabaseWriter::create(file);
        w.createTable(everyTypeSpec("Gone"));
        w.createTable(everyTypeSpec("Kept"));
        std::mt19937 rng(5);
        TableWriter g = w.table("Gone");
        TableWriter k = w.table("Kept");
        for (int i = 0; i < 80; ++i) {
            g.insert(randomRow(rng, i));
            k.insert(randomRow(rng, i));
        }
        w.dropTable("Gone");
        EXPECT_THROW(w.dropTable("Gone"), NotFoundError);
        EXPECT_THROW(w.dropTable("MSysObjects"), SchemaError);
    }
    Database db = Database::open(file);
    EXPECT_EQ(db.tableNames(), std::vector<std::string>{"Kept"});
    EXPECT_EQ(db.countRows(*db.table("Kept")), 80u);
    expectClean(file);
    if (!haveMdbTools()) JET_UNAVAILABLE() << "mdbtools is not installed";
    EXPECT_EQ(runCommand("mdb-tables -1 '" + file.string() + "'"), "Kept\n");
}

TEST(Writer, OneWriterAtATime) {
    TempDir dir;
    const fs::path file = dir.path / "lock.mdb";
    DatabaseWriter first = DatabaseWriter::create(file);
    try {
        DatabaseWriter second = DatabaseWriter::open(file);
        FAIL() << "a second writer got the file";
    } catch (const InUseError& e) {
        EXPECT_NE(std::string(e.what()).find("in use"), std::string::npos) << e.what();
    }
    // Another process is refused too.
    const pid_t child = fork();
    if (child == 0) {
        try {
            DatabaseWriter other = DatabaseWriter::open(file);
            _exit(0);
        } catch (const InUseError&) {
            _exit(7);
        } catch (...) {
            _exit(8);
        }
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 7);
}

TEST(Writer, ReadOnlyFilesAreRefusedForWriting) {
    TempDir dir;
    const fs::path ro = dir.path / "readonly.mdb";
    DatabaseWriter::create(ro);
    fs::permissions(ro, fs::perms::owner_read | fs::perms::group_read);
    try {
        DatabaseWriter w = DatabaseWriter::open(ro);
        FAIL() << "a read-only file was opened for writing";
    } catch (const IoError& e) {
        EXPECT_NE(std::string(e.what()).find("read-only"), std::string::npos) << e.what();
    }
    // Reading still works.
    EXPECT_EQ(Database::open(ro).tableNames().size(), 0u);
}

} // namespace

namespace {

TEST(Writer, ReplicationIdsAndDescendingTextKeys) {
    TempDir dir;
    const fs::path file = dir.path / "guid.mdb";
    TableSpec s;
    s.name = "Tags";
    s.columns = {{"Key", ColumnType::Guid, 0, 18, 0, false, true}, {"Tag", ColumnType::Text, 30}};
    IndexSpec pk;
    pk.primaryKey = true;
    pk.columns = {"Key"};
    IndexSpec tag;
    tag.name = "TagDesc";
    tag.unique = true;
    tag.columns = {"Tag"};
    tag.descending = {true};
    s.indexes = {pk, tag};
    const std::vector<std::string> tags = {"Äpfel", "apfel2", "Zebra", "éclair", "Ωmega", "birne", "-dash", "10", "9"};
    {
        DatabaseWriter w = DatabaseWriter::create(file);
        w.createTable(s);
        TableWriter t = w.table("Tags");
        for (const auto& x : tags) t.insert(std::vector<Value>{Value(), Value::text(x)});
        // Text keys fold case: "ZEBRA" duplicates "Zebra" in a unique index.
        EXPECT_THROW(t.insert(std::vector<Value>{Value(), Value::text("ZEBRA")}), ConstraintError);
    }
    Database db = Database::open(file);
    auto def = db.table("Tags");
    std::set<std::string> guids;
    RowCursor cur = db.scan(def);
    while (cur.next()) guids.insert(cur.values()[0].asGuid().toString());
    EXPECT_EQ(guids.size(), tags.size()) << "every row got its own replication ID";
    std::vector<std::string> walked;
    IndexCursor ic = db.indexScan(def, *def->findIndex("TagDesc"));
    while (ic.next()) walked.push_back((*db.readRow(*def, ic.entry().row))[1].asText());
    // General Legacy order, descending: letters after digits, accents only break ties, and the
    // hyphen carries no weight ("-dash" sorts as "dash"), as in Access.
    EXPECT_EQ(walked,
              (std::vector<std::string>{"Ωmega", "Zebra", "éclair", "-dash", "birne", "apfel2", "Äpfel", "9", "10"}));
    expectClean(file);
}

} // namespace

namespace {

// A writer killed at random moments leaves a file that our reader, check and mdbtools open,
// holding exactly the rows of the flushes that completed: half a flush is undone (from the
// journal by readers that know it, for good by the next writer). Two kinds of kill: at a
// random time, and at a random page in the middle of a flush (the rollback's hard case).
// Fixed seed and a bounded count; TABLOR_KILL_ROUNDS=N runs N rounds of each for a long run.
long killAtPage = 0;
void countPageAndMaybeDie() {
    if (--killAtPage == 0) raise(SIGKILL);
}

struct KillOutcome {
    int32_t flushed = 0; // rows of the flushes that had returned
    std::string problem; // empty when the file was as required
};

KillOutcome killWriterOnce(const fs::path& file, std::mt19937& rng, bool midFlush) {
    constexpr int32_t kRowsPerFlush = 1500;
    {
        DatabaseWriter w = DatabaseWriter::create(file);
        w.createTable(logTableSpec("Log"));
    }
    auto body = [](int32_t i) { return std::string(static_cast<size_t>(50 + i % 300), 'b') + std::to_string(i); };
    // Up to ~8 flushes of ~130 pages each: the page is anywhere in the first eight flushes.
    const long page = 1 + static_cast<long>(rng() % 1000);
    const auto delay = std::chrono::milliseconds(50 + rng() % 900);
    int fds[2];
    if (pipe(fds) != 0) return {0, "pipe failed"};
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        if (midFlush) {
            killAtPage = page;
            detail::pageWriteHook = &countPageAndMaybeDie;
        }
        try {
            DatabaseWriter w = DatabaseWriter::open(file);
            TableWriter t = w.table("Log");
            for (int32_t i = 1;; ++i) {
                // The unique index on "row N" takes its keys out of order: inserts land in
                // old leaves and split them, so flushes rewrite existing index pages.
                t.insert(std::vector<Value>{Value::longInt(i), Value::text("row " + std::to_string(i)),
                                            Value::text(body(i))});
                if (i % kRowsPerFlush == 0) {
                    w.flush();
                    const int32_t done = i;
                    if (write(fds[1], &done, sizeof done) != sizeof done) _exit(3);
                }
            }
        } catch (...) {
            _exit(2);
        }
    }
    close(fds[1]);
    if (!midFlush) {
        std::this_thread::sleep_for(delay);
        kill(child, SIGKILL);
    }
    int status = 0;
    waitpid(child, &status, 0);
    KillOutcome out;
    int32_t v = 0;
    while (read(fds[0], &v, sizeof v) == sizeof v) out.flushed = v;
    close(fds[0]);
    if (!WIFSIGNALED(status)) {
        out.problem = "the writer ended on its own (status " + std::to_string(status) + ")";
        return out;
    }
    // A kill right after a flush returned but before the child reported it: one more flush.
    auto readAll = [&](const char* when) -> std::string {
        std::map<int32_t, std::string> seen;
        try {
            Database db = Database::open(file);
            RowCursor cur = db.scan("Log");
            while (cur.next()) seen[cur.values()[0].asLong()] = cur.values()[2].asText();
            const CheckReport report = checkDatabase(db);
            if (!report.problems.empty()) return std::string(when) + ": check: " + report.problems.front();
            auto def = db.table("Log");
            for (const auto& index : def->indexes) {
                size_t entries = 0;
                IndexCursor ic = db.indexScan(def, index);
                while (ic.next()) ++entries;
                if (entries != seen.size())
                    return std::string(when) + ": index " + index.name + " lists " + std::to_string(entries) +
                           " rows, the table has " + std::to_string(seen.size());
            }
        } catch (const std::exception& e) {
            return std::string(when) + ": our reader cannot read the file: " + e.what();
        }
        const int32_t n = static_cast<int32_t>(seen.size());
        if (n != out.flushed && n != out.flushed + kRowsPerFlush)
            return std::string(when) + ": " + std::to_string(n) + " rows, but " + std::to_string(out.flushed) +
                   " were flushed";
        for (int32_t i = 1; i <= n; ++i) {
            auto it = seen.find(i);
            if (it == seen.end() || it->second != body(i))
                return std::string(when) + ": row " + std::to_string(i) + " is missing or wrong";
        }
        if (jet::test::readerPresent(haveMdbTools(), "mdbtools")) {
            int st = 0;
            const std::string count = runCommand("mdb-export -H '" + file.string() + "' Log > '" + file.string() +
                                                     ".csv' && wc -l < '" + file.string() + ".csv'",
                                                 &st);
            if (st != 0) return std::string(when) + ": mdb-export failed";
            runCommand("mdb-schema '" + file.string() + "' >/dev/null 2>&1", &st);
            if (st != 0) return std::string(when) + ": mdb-schema failed";
            // mdbtools does not know the journal: before the next writer undoes a cut-short
            // flush it may see part of that flush's rows, never fewer than were flushed.
            const long c = std::stol(count);
            if (c < n || (std::string(when) == "after reopening" && c != n))
                return std::string(when) + ": mdb-export shows " + count + " rows, our reader " + std::to_string(n);
        }
        return {};
    };
    out.problem = readAll("as left");
    if (!out.problem.empty()) return out;
    try {
        DatabaseWriter w = DatabaseWriter::open(file); // undoes a cut-short flush for good
    } catch (const std::exception& e) {
        out.problem = std::string("reopening for writing failed: ") + e.what();
        return out;
    }
    if (fs::exists(file.string() + "-journal")) {
        out.problem = "the journal is still there after reopening";
        return out;
    }
    out.problem = readAll("after reopening");
    return out;
}

TEST(Writer, KilledWriterLeavesAReadableFileWithTheFlushedRows) {
    TempDir dir;
    std::mt19937 rng(20261208);
    const char* env = std::getenv("TABLOR_KILL_ROUNDS");
    const int rounds = env ? std::atoi(env) : 6;
    int midFlushKills = 0;
    for (int round = 0; round < 2 * rounds; ++round) {
        const bool midFlush = round % 2 == 1;
        const fs::path file = dir.path / ("killed" + std::to_string(round) + ".mdb");
        const KillOutcome r = killWriterOnce(file, rng, midFlush);
        ASSERT_TRUE(r.problem.empty()) << "round " << round
                                       << (midFlush ? " (killed mid-flush)" : " (killed at a random time)") << ", "
                                       << r.flushed << " rows flushed: " << r.problem;
        if (midFlush) ++midFlushKills;
        fs::remove(file);
    }
    std::printf("%d kills (%d of them at a page inside a flush), every file sound\n", 2 * rounds, midFlushKills);
}
} // namespace

namespace {

// NOT NULL is kept where Access keeps it (the column's "Required" property in the catalog
// row): our reader and mdbtools see it after reopening, and a null is refused on insert and
// update with nothing written.
TEST(Writer, NotNullColumnsArePersistedAndEnforced) {
    TempDir dir;
    const fs::path file = dir.path / "required.mdb";
    auto row = [](int32_t id, std::optional<std::string> name) {
        return std::vector<Value>{Value::longInt(id), name ? Value::text(*name) : Value::null(), Value::null(),
                                  Value::boolean(true)};
    };
    {
        DatabaseWriter w = DatabaseWriter::create(file);
        TableSpec s;
        s.name = "People";
        s.columns = {{"Id", ColumnType::Long},
                     {"Name", ColumnType::Text, 50},
                     {"Note", ColumnType::Memo},
                     {"Active", ColumnType::Boolean}};
        s.columns[1].notNull = true;
        s.columns[1].name = "Näme";
        IndexSpec pk;
        pk.primaryKey = true;
        pk.columns = {"Id"};
        s.indexes = {pk};
        w.createTable(s);
        TableWriter t = w.table("People");
        const RowId first = t.insert(row(1, "Anna")).rowId;
        try {
            t.insert(row(2, std::nullopt));
            FAIL() << "a null in a NOT NULL column was accepted";
        } catch (const ConstraintError& e) {
            EXPECT_NE(std::string(e.what()).find("[Näme]"), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find("NOT NULL"), std::string::npos) << e.what();
        }
        EXPECT_THROW(t.update(first, row(1, std::nullopt)), ConstraintError);
        t.insert(row(3, "")); // empty text is a value, not a null
    }
    {
        Database db = Database::open(file);
        const auto def = db.table("People");
        EXPECT_FALSE(def->columns[0].required);
        EXPECT_TRUE(def->columns[1].required);
        EXPECT_FALSE(def->columns[2].required);
        std::vector<std::string> names;
        RowCursor cur = db.scan("People");
        while (cur.next()) names.push_back(cur.values()[1].asText());
        EXPECT_EQ(names, (std::vector<std::string>{"Anna", ""})) << "the refused insert and update left traces";
    }
    {
        DatabaseWriter w = DatabaseWriter::open(file); // the rule survives reopening
        EXPECT_THROW(w.table("People").insert(row(4, std::nullopt)), ConstraintError);
    }
    expectClean(file);
    if (jet::test::readerPresent(haveMdbTools(), "mdbtools")) {
        int st = 0;
        const std::string schema = runCommand("mdb-schema '" + file.string() + "' 2>/dev/null", &st);
        EXPECT_NE(schema.find("[Näme]\t\t\tText (50) NOT NULL"), std::string::npos) << schema;
        EXPECT_NE(schema.find("[Note]\t\t\tMemo/Hyperlink (255)"), std::string::npos) << schema;
        EXPECT_EQ(schema.find("[Note]\t\t\tMemo/Hyperlink (255) NOT NULL"), std::string::npos) << schema;
        EXPECT_EQ(runCommand("mdb-count '" + file.string() + "' People", &st), "2\n");
    }
    const fs::path script = fs::path(TABLOR_SOURCE_DIR) / "tests/jet/mdb-reader/dump.mjs";
    if (jet::test::readerPresent(jet::test::haveMdbReader(), "mdb-reader")) {
        int st = 0;
        const std::string out = runCommand("node '" + script.string() + "' '" + file.string() + "'", &st);
        EXPECT_EQ(st, 0) << out;
        EXPECT_NE(out.find("\"Näme\":\"Anna\""), std::string::npos) << out;
    }
    // Damaged properties lose the rule: the rows stay readable, check says so, and no writer
    // writes into the table without it.
    std::string bytes;
    {
        std::ifstream in(file, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    const std::string name = "N\0\xe4\0m\0e\0"s; // "Näme" in UTF-16LE, in the People blob
    const size_t at = bytes.find(name);
    ASSERT_NE(at, std::string::npos);
    const size_t blob = bytes.rfind("MR2\0"s, at);
    ASSERT_NE(blob, std::string::npos);
    bytes[blob + 4] = '\x7f'; // the first block's length now runs past the blob
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
    Database db = Database::open(file);
    EXPECT_EQ(db.countRows(*db.table("People")), 2u);
    const CheckReport report = checkDatabase(db);
    ASSERT_FALSE(report.problems.empty());
    EXPECT_NE(report.problems.front().find("column properties"), std::string::npos) << report.problems.front();
    DatabaseWriter w = DatabaseWriter::open(file);
    EXPECT_THROW(w.table("People"), FormatError);
}

// The property blob as Access itself writes it: Northwind's CategoryName is Required, its
// Description is not; a table without the property has no required column.
TEST(Writer, ReaderTakesRequiredFromAccessFiles) {
    const fs::path northwind = tablor::test::sharedTestData("mdb/northwind_jet4_statdata.mdb");
    const fs::path fixed = tablor::test::sharedTestData("mdb/jackcess_fixedTextTestV2000.mdb");
    for (const fs::path& p : {northwind, fixed})
        if (!fs::exists(p)) JET_UNAVAILABLE() << p << " is missing";
    Database db = Database::open(northwind);
    const auto cat = db.table("Categories");
    EXPECT_TRUE(cat->columns[static_cast<size_t>(cat->findColumn("CategoryName"))].required);
    EXPECT_FALSE(cat->columns[static_cast<size_t>(cat->findColumn("Description"))].required);
    Database db2 = Database::open(fixed);
    for (const auto& c : db2.table("users")->columns)
        if (c.name == "i_user_id" || c.name == "c_user_login") {
            EXPECT_TRUE(c.required) << c.name;
        }
}

} // namespace

namespace {

// A journal is only used when it fits the file: a cut-off journal or one whose pages no
// longer match the file (changed by another program since) is ignored, never applied.
TEST(Writer, LeftoverJournalsThatDoNotFitAreIgnored) {
    TempDir dir;
    const fs::path file = dir.path / "j.mdb";
    const fs::path journal = file.string() + "-journal";
    {
        DatabaseWriter w = DatabaseWriter::create(file);
        TableSpec s;
        s.name = "T";
        s.columns = {{"N", ColumnType::Long}, {"S", ColumnType::Text, 100}};
        w.createTable(s);
    }
    const uintmax_t before = fs::file_size(file);
    const pid_t child = fork();
    if (child == 0) {
        killAtPage = 3; // the third page the first flush writes: appended pages are on disk
        detail::pageWriteHook = &countPageAndMaybeDie;
        DatabaseWriter w = DatabaseWriter::open(file);
        TableWriter t = w.table("T");
        for (int32_t i = 0; i < 3000; ++i)
            t.insert(std::vector<Value>{Value::longInt(i), Value::text(std::string(90, 'x'))});
        w.flush();
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    ASSERT_TRUE(fs::exists(journal));
    const uintmax_t grown = fs::file_size(file);
    ASSERT_GT(grown, before);
    const uint32_t oldPages = static_cast<uint32_t>(before / 4096), allPages = static_cast<uint32_t>(grown / 4096);
    EXPECT_EQ(Database::open(file).pageCount(), oldPages) << "a fitting journal hides the half-written flush";

    // Cut off: ignored.
    const fs::path keep = dir.path / "journal.keep";
    fs::copy_file(journal, keep);
    fs::resize_file(journal, fs::file_size(journal) - 1);
    EXPECT_EQ(Database::open(file).pageCount(), allPages);

    // Stale: a saved page now holds neither its old nor its new bytes.
    fs::copy_file(keep, journal, fs::copy_options::overwrite_existing);
    EXPECT_EQ(Database::open(file).pageCount(), oldPages);
    uint32_t saved = 0;
    {
        FILE* j = std::fopen(journal.c_str(), "rb");
        ASSERT_NE(j, nullptr);
        std::fseek(j, 4096, SEEK_SET);
        uint8_t b[4] = {};
        ASSERT_EQ(std::fread(b, 1, 4, j), 4u);
        std::fclose(j);
        saved = b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
    }
    {
        FILE* f = std::fopen(file.c_str(), "r+b");
        ASSERT_NE(f, nullptr);
        std::fseek(f, static_cast<long>(saved) * 4096 + 4095, SEEK_SET);
        const int old = std::fgetc(f);
        std::fseek(f, static_cast<long>(saved) * 4096 + 4095, SEEK_SET);
        std::fputc(old ^ 0x5A, f);
        std::fclose(f);
    }
    EXPECT_EQ(Database::open(file).pageCount(), allPages);
    {
        DatabaseWriter w = DatabaseWriter::open(file); // drops the stale journal, applies nothing
    }
    EXPECT_FALSE(fs::exists(journal));
    EXPECT_EQ(fs::file_size(file), grown);
}

} // namespace
