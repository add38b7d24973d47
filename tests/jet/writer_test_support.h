// Helpers shared by the writer's tests: whether mdbtools is there, the integrity check, a table of every type and random rows for it.
#pragma once

#include "jet/check.h"
#include "jet/database.h"
#include "jet/error.h"
#include "jet/writer.h"

#include "availability.h"
#include "support/scoped_hook.h"
#include "support/shell.h"
#include "support/files.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace jet::writer_test {

namespace fs = std::filesystem;

using tablor::test::assigned;
using tablor::test::haveMdbTools;
using tablor::test::readFile;
using tablor::test::runCommand;
using tablor::test::TempDir;
using tablor::test::writeFile;

inline void expectClean(const fs::path& file) {
    Database db = Database::open(file);
    const CheckReport report = checkDatabase(db);
    std::string all;
    for (const auto& p : report.problems) all += p + "\n";
    EXPECT_TRUE(all.empty()) << all;
}

inline TableSpec everyTypeSpec(const std::string& name) {
    TableSpec s;
    s.name = name;
    s.columns = {
        {"ID", ColumnType::Long, 0, 18, 0, true, true},
        {"Flag", ColumnType::Boolean},
        {"Small", ColumnType::Byte},
        {"Short", ColumnType::Integer},
        {"Amount", ColumnType::Currency},
        {"Ratio", ColumnType::Single},
        {"Measure", ColumnType::Double},
        {"Stamp", ColumnType::DateTime},
        {"Label", ColumnType::Text, 40},
        {"Notes", ColumnType::Memo},
        {"Blob", ColumnType::Ole},
        {"Key", ColumnType::Guid},
        {"Price", ColumnType::Numeric, 0, 18, 4},
        {"Raw", ColumnType::Binary, 16},
    };
    IndexSpec pk;
    pk.primaryKey = true;
    pk.columns = {"ID"};
    IndexSpec label;
    label.name = "LabelIdx";
    label.unique = true;
    label.ignoreNulls = true;
    label.columns = {"Label"};
    s.indexes = {pk, label};
    return s;
}

// Random rows with every type, nulls and text beyond Latin-1.
// `n` bytes from a generator seeded with `seed` (reproducible blob contents).
inline Bytes randomBytes(size_t n, unsigned seed) {
    Bytes b(n);
    std::mt19937 rng(seed);
    for (auto& x : b) x = static_cast<uint8_t>(rng());
    return b;
}

inline std::vector<Value> randomRow(std::mt19937& rng, int serial) {
    static const char* words[] = {"Müller", "€uro", "Ωμέγα", "漢字", "plain", "Straße", "naïve", "x"};
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    std::vector<Value> r(14);
    r[1] = Value::boolean(pick(2) == 1);
    r[2] = pick(5) == 0 ? Value() : Value::byte(static_cast<uint8_t>(pick(256)));
    r[3] = Value::integer(static_cast<int16_t>(pick(65536) - 32768));
    r[4] = Value::currency(Currency{static_cast<int64_t>(rng()) * 7919 - 100000000000LL});
    r[5] = Value::single(static_cast<float>(pick(100000)) / 8.0f - 5000.0f);
    r[6] = pick(6) == 0 ? Value() : Value::dbl(std::ldexp(static_cast<double>(rng()), -16) - 30000.0);
    r[7] = Value::dateTime(DateTime{static_cast<double>(pick(100000)) - 20000.0 + pick(86400) / 86400.0});
    r[8] = Value::text(std::string(words[pick(8)]) + " " + std::to_string(serial));
    const int memoKind = pick(10);
    if (memoKind == 0) r[9] = Value::text(std::string(70000, 'm') + "€" + std::to_string(serial)); // > 64 KB chain
    else if (memoKind < 4) r[9] = Value::text("short " + std::string(words[pick(8)]));             // inline
    else if (memoKind < 8) r[9] = Value::text(std::string(300 + pick(2000), 'n') + "ä");           // one LVAL row
    if (pick(4) == 0) {
        Bytes b(static_cast<size_t>(pick(3) == 0 ? 9000 : 40));
        for (auto& x : b) x = static_cast<uint8_t>(rng());
        r[10] = Value::binary(std::move(b));
    }
    Guid g;
    for (auto& x : g.bytes) x = static_cast<uint8_t>(rng());
    r[11] = Value::guid(g);
    Decimal d;
    d.precision = 18;
    d.scale = 4;
    d.negative = pick(2) == 1;
    d.low = rng() % 1000000000000ULL;
    r[12] = Value::decimal(d);
    if (pick(3) == 0) r[13] = Value::binary(Bytes{1, 2, 3, static_cast<uint8_t>(serial)});
    return r;
}

// A table of log lines: Long primary key "Id", unique Text(50) "Text", Memo "Body" (the
// crash tests' table: index upkeep and long values in every flush).
inline TableSpec logTableSpec(const std::string& name) {
    TableSpec s;
    s.name = name;
    s.columns = {{"Id", ColumnType::Long}, {"Text", ColumnType::Text, 50}, {"Body", ColumnType::Memo}};
    IndexSpec pk;
    pk.primaryKey = true;
    pk.columns = {"Id"};
    IndexSpec uq;
    uq.unique = true;
    uq.columns = {"Text"};
    s.indexes = {pk, uq};
    return s;
}

// What readers see of a file: each table with its row count and a digest of its rows in
// order of the first column, after `check` found nothing (else the first problem).
inline std::string describeTables(const fs::path& file) {
    Database db = Database::open(file);
    const CheckReport report = checkDatabase(db);
    if (!report.problems.empty()) return "check: " + report.problems.front();
    std::map<std::string, std::string> tables;
    for (const auto& entry : db.objects()) {
        if (entry.kind != ObjectKind::Table) continue;
        std::map<int32_t, std::string> rows;
        RowCursor cur = db.scan(entry.name);
        while (cur.next()) {
            std::string text;
            for (const Value& v : cur.values()) text += v.isNull() ? "<null>|" : v.toString() + "|";
            rows[cur.values()[0].asLong()] = text;
        }
        std::string all;
        for (const auto& [id, text] : rows) all += text + "\n";
        tables[entry.name] = std::to_string(rows.size()) + ":" + std::to_string(std::hash<std::string>{}(all));
    }
    std::string out;
    for (const auto& [name, digest] : tables) out += name + "=" + digest + " ";
    return out;
}

inline std::map<int32_t, std::vector<Value>> readAll(const fs::path& file, const std::string& table) {
    Database db = Database::open(file);
    std::map<int32_t, std::vector<Value>> rows;
    RowCursor cur = db.scan(table);
    while (cur.next()) rows[cur.values()[0].asLong()] = cur.values();
    return rows;
}

inline void expectSameRow(const std::vector<Value>& want, const std::vector<Value>& got, int32_t id) {
    ASSERT_EQ(want.size(), got.size());
    for (size_t i = 1; i < want.size(); ++i) {
        const Value& w = want[i];
        const Value& g = got[i];
        if (i == 1) {
            EXPECT_EQ(g.asBoolean(), w.asBoolean()) << "row " << id;
        } else if (i == 12 && !w.isNull()) {
            EXPECT_EQ(g.asDecimal().low, w.asDecimal().low) << "row " << id;
            EXPECT_EQ(g.asDecimal().negative, w.asDecimal().negative && w.asDecimal().low != 0) << "row " << id;
        } else {
            EXPECT_EQ(g, w) << "row " << id << " column " << i << ": " << g.toString().substr(0, 40) << " vs "
                            << w.toString().substr(0, 40);
        }
    }
}

} // namespace jet::writer_test
