// The writer's big round trip: 100,000 rows of every type through our reader, mdbtools and
// mdb-reader. Its own executable so that it can carry the label "slow".
#include "writer_test_support.h"

#include <algorithm>
#include <cctype>
#include <cstdint>

namespace fs = std::filesystem;
using namespace jet;
using namespace jet::writer_test;

namespace {

// The big round trip (fixed seed): three tables with every type, 100,000 rows with nulls,
// text in many scripts, memos over 64 KB and OLE values over 1 MB, then random updates (some
// growing, some replacing long values) and deletes. Our reader returns exactly what was
// written; mdb-export and mdb-reader (independent readers) show the same rows and values.
TEST(Writer, HundredThousandRowsRoundTripThroughThreeReaders) {
    TempDir dir;
    const fs::path file = dir.path / "big.mdb";
    std::mt19937 rng(20261208);
    const std::vector<std::string> tables = {"Kunden Ä", "表格", "Plain"};
    std::map<std::string, std::map<int32_t, std::vector<Value>>> written;
    constexpr int kRows = 100000;
    size_t bigMemos = 0, bigOles = 0, updates = 0, deletes = 0;
    auto bigMemo = [&](int serial) {
        return "Anfang " + std::string(66000 + serial % 5000, 'q') + " Ende €" + std::to_string(serial);
    };
    auto bigOle = [&](int serial) {
        Bytes b(static_cast<size_t>(1100000 + serial % 100000));
        for (auto& x : b) x = static_cast<uint8_t>(rng());
        return b;
    };
    {
        DatabaseWriter w = DatabaseWriter::create(file);
        for (const auto& name : tables) w.createTable(everyTypeSpec(name));
        std::vector<TableWriter> writers;
        for (const auto& name : tables) writers.push_back(w.table(name));
        for (int i = 0; i < kRows; ++i) {
            const size_t ti = rng() % tables.size();
            auto row = randomRow(rng, i);
            // randomRow makes every tenth memo a 70 KB one; keep the big ones rarer here.
            if (!row[9].isNull() && row[9].asText().size() > 65536) row[9] = Value::text("kurz " + std::to_string(i));
            if (i % 1000 == 17) {
                row[9] = Value::text(bigMemo(i));
                ++bigMemos;
            }
            if (i % 25000 == 7) {
                row[10] = Value::binary(bigOle(i));
                ++bigOles;
            }
            const InsertResult r = writers[ti].insert(row);
            row[0] = Value::longInt(r.autoNumber.value());
            written[tables[ti]][*r.autoNumber] = std::move(row);
        }
        // Random updates and deletes, by row id.
        Database& db = w.database();
        for (size_t ti = 0; ti < tables.size(); ++ti) {
            std::vector<std::pair<int32_t, RowId>> ids;
            RowCursor cur = db.scan(tables[ti], ScanOptions{false});
            while (cur.next()) ids.emplace_back(cur.values()[0].asLong(), cur.rowId());
            std::shuffle(ids.begin(), ids.end(), rng);
            auto& rows = written[tables[ti]];
            for (size_t k = 0; k < ids.size() / 20; ++k) {
                auto [id, rid] = ids[k];
                if (k % 2 == 0) {
                    writers[ti].erase(rid);
                    rows.erase(id);
                    ++deletes;
                    continue;
                }
                auto row = rows.at(id);
                switch (k % 7) {
                case 1:
                    row[8] = Value::text("geändert Ωμέγα " + std::to_string(id) + std::string(15, '+'));
                    break; // grows
                case 3: row[9] = k % 21 == 3 ? Value::text(bigMemo(static_cast<int>(k))) : Value(); break;
                case 5: row[10] = Value::binary(Bytes(5000, static_cast<uint8_t>(k))); break;
                default:
                    row[3] = Value::integer(static_cast<int16_t>(k));
                    row[6] = Value();
                    break;
                }
                writers[ti].update(rid, row);
                rows[id] = std::move(row);
                ++updates;
            }
        }
    }
    std::printf(
        "%d rows inserted, %zu memos > 64 KB, %zu OLE values > 1 MB, %zu updates, %zu deletes, file %ju bytes\n", kRows,
        bigMemos, bigOles, updates, deletes, static_cast<uintmax_t>(fs::file_size(file)));

    // Our reader.
    size_t total = 0;
    for (const auto& name : tables) {
        const auto back = readAll(file, name);
        ASSERT_EQ(back.size(), written[name].size()) << name;
        for (const auto& [id, row] : written[name]) {
            expectSameRow(row, back.at(id), id);
            if (::testing::Test::HasFailure()) return;
        }
        total += back.size();
    }
    expectClean(file);

    // Expected text of the columns compared with the other readers: ID, Short, Label, Notes, Blob.
    auto hex = [](const Value& v) {
        static const char* digits = "0123456789abcdef";
        std::string s;
        if (v.isNull()) return s;
        for (uint8_t b : v.asBinary()) {
            s += digits[b >> 4];
            s += digits[b & 15];
        }
        return s;
    };
    auto text = [](const Value& v) { return v.isNull() ? std::string() : v.asText(); };
    auto lower = [](std::string s) {
        for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    };
    if (jet::test::readerPresent(haveMdbTools(), "mdbtools")) {
        for (const auto& name : tables) {
            int st = 0;
            const std::string csv = runCommand("mdb-export -H -d '|' -q '' -b hex '" + file.string() + "' '" + name +
                                                   "' | cut -d'|' -f1,4,9,10,11",
                                               &st);
            ASSERT_EQ(st, 0);
            std::map<int32_t, std::string> lines;
            size_t at = 0;
            while (at < csv.size()) {
                size_t end = csv.find('\n', at);
                if (end == std::string::npos) end = csv.size();
                const std::string line = csv.substr(at, end - at);
                at = end + 1;
                lines[std::stoi(line)] = line;
            }
            ASSERT_EQ(lines.size(), written[name].size()) << "mdb-export, table " << name;
            for (const auto& [id, row] : written[name]) {
                const std::string want = std::to_string(id) + "|" + std::to_string(row[3].asInteger()) + "|" +
                                         text(row[8]) + "|" + text(row[9]) + "|" + hex(row[10]);
                const std::string& got = lines.at(id);
                ASSERT_TRUE(lower(got) == lower(want)) << "mdb-export, table " << name << ", row " << id << ": "
                                                       << got.substr(0, 200) << " vs " << want.substr(0, 200);
            }
        }
    }
    const fs::path script = fs::path(TABLOR_SOURCE_DIR) / "tests/jet/mdb-reader/dump.mjs";
    if (!jet::test::readerPresent(jet::test::haveMdbReader(), "mdb-reader")) {
        std::printf("mdb-reader not installed (scripts/setup): compared with our reader and mdb-export only\n");
        return;
    }
    int st = 0;
    const std::string out =
        runCommand("node --max-old-space-size=2048 '" + script.string() + "' '" + file.string() + "'", &st);
    ASSERT_EQ(st, 0) << out.substr(0, 500);
    std::string table;
    size_t seen = 0, at = 0;
    while (at < out.size()) {
        size_t end = out.find('\n', at);
        if (end == std::string::npos) end = out.size();
        const std::string line = out.substr(at, end - at);
        at = end + 1;
        if (line.rfind("{\"table\":", 0) == 0) {
            table = line.substr(10, line.find('"', 10) - 10);
            continue;
        }
        if (!written.count(table)) continue;
        const int32_t id = std::stoi(line.substr(7));
        const auto& row = written[table].at(id);
        auto field = [&](const char* name, const std::string& v) {
            return std::string("\"") + name + "\":\"" + v + "\"";
        };
        for (const std::string& want :
             {field("Short", std::to_string(row[3].asInteger())), field("Label", text(row[8]))})
            ASSERT_NE(line.find(want), std::string::npos)
                << "mdb-reader, " << table << " row " << id << ": " << line.substr(0, 300);
        ASSERT_NE(line.find(row[9].isNull() ? std::string("\"Notes\":null") : field("Notes", text(row[9]))),
                  std::string::npos)
            << "mdb-reader, " << table << " row " << id;
        ASSERT_NE(line.find(row[10].isNull() ? std::string("\"Blob\":null") : field("Blob", hex(row[10]))),
                  std::string::npos)
            << "mdb-reader, " << table << " row " << id;
        ++seen;
    }
    EXPECT_EQ(seen, total) << "mdb-reader saw a different number of rows";
}

} // namespace

namespace {

// A table that grows in three writer sessions until its usage map needs a second bitmap page
// (past page 32,735). The map row, read back in reference form, has unused pointer slots that
// hold 0; taking one of them for the new bitmap page overwrote the file's header.
TEST(Writer, ATableGrowingPastOneBitmapPageAcrossSessionsKeepsTheFile) {
    TempDir dir;
    const fs::path file = dir.path / "grow.mdb";
    {
        DatabaseWriter w = DatabaseWriter::create(file);
        TableSpec s;
        s.name = "wide";
        s.columns = {{"id", ColumnType::Long}, {"t", ColumnType::Text, 255, 18, 0, false, false, false}};
        s.indexes = {{"", {"id"}, {}, true}};
        w.createTable(s);
    }
    const std::string text(250, 'x'); // uncompressed: about 500 bytes, seven rows a page
    int32_t next = 0;
    for (int session = 0; session < 3; ++session) {
        DatabaseWriter w = DatabaseWriter::open(file);
        TableWriter t = w.table("wide");
        for (int i = 0; i < 80000; ++i, ++next) t.insert(std::vector<Value>{Value::longInt(next), Value::text(text)});
        w.flush();
    }
    EXPECT_GT(fs::file_size(file), 32768ull * 4096);
    Database db = Database::open(file);
    EXPECT_EQ(db.countRows(*db.table("wide")), 240000u);
    expectClean(file);
}

} // namespace
