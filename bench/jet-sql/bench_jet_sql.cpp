// Measures Jet SQL on a large table with a primary key on id, in one run:
//   full    one SELECT * FROM [t], every row read
//   paging  SELECT TOP 50 * FROM [t] WHERE id > n, n = the last id read, until no rows come
//   seeks   SELECT * FROM [t] WHERE id = v for 10,000 random v
// (CPU time of this process, best of 3 runs each) and prints RESULT paging_ratio (paging / full; the goal is at most 2) and RESULT
// seek_ratio (seeks / full: the goal is at most 100, i.e. 1/100 of 10,000 full scans).
//
// Usage: bench_jet_sql [--rows N] [--file PATH [--table T --key K]] [--lookups N] [--page N] [--repeat N] [--keep]
//   Each figure is the best of --repeat runs (default 3).
//   Without --file the table is built in a new file in the temporary folder (removed at the
//   end unless --keep); with --file an existing file's table (default [t], key [id]) is measured.
#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "jet/sql/engine.h"
#include "jet/sql/error.h"
#include "jet/sql/executor.h"

using namespace jet::sql;
namespace {

// Time as the CPU time this process used (user and system): on a machine shared with other
// work, wall-clock time mostly measures the wait for a core, which the ratios must not see.
struct Clock {
    using time_point = double;
    static double now() {
        timespec t{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
    }
};

double seconds(double from) { return Clock::now() - from; }

void build(const std::filesystem::path& file, std::int64_t rows) {
    auto db = createEngineDatabase(file);
    TableDefinition def;
    def.name = "t";
    def.columns = {ColumnInfo{"id", ColumnType::Long}, ColumnInfo{"name", ColumnType::Text, 50},
                   ColumnInfo{"amount", ColumnType::Double}, ColumnInfo{"created", ColumnType::DateTime}};
    IndexInfo pk;
    pk.name = "PrimaryKey";
    pk.columns = {0};
    pk.descending = {false};
    pk.primaryKey = true;
    pk.unique = true;
    def.indexes = {pk};
    db->createTable(def);
    auto table = db->openTable("t");
    Row row(4);
    for (std::int64_t i = 1; i <= rows; ++i) {
        row[0] = Value(i);
        row[1] = Value("row " + std::to_string(i));
        row[2] = Value(static_cast<double>(i) * 0.25);
        row[3] = Value(DateTime{40000.0 + static_cast<double>(i % 5000)});
        table->insertRow(row);
    }
}

// Reads every row of the statement's result; `lastKey` gets the value of column `key` of the last row.
std::int64_t drain(Connection& c, const std::string& sql, const std::string& key = "",
                   std::int64_t* lastKey = nullptr) {
    Result r = c.execute(sql);
    std::size_t k = 0;
    const auto& columns = r.rows().columns();
    while (k < columns.size() && columns[k].name != key) ++k;
    std::int64_t n = 0;
    while (r.rows().next()) {
        ++n;
        if (lastKey && k < columns.size()) *lastKey = r.rows().row()[k].asInt();
    }
    return n;
}

} // namespace

int main(int argc, char** argv) {
    std::int64_t rows = 1000000;
    std::filesystem::path file;
    bool keep = false;
    std::string table = "t", key = "id";
    int lookups = 10000;
    int pageSize = 50;
    int repeats = 3;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--rows" && i + 1 < argc) rows = std::atoll(argv[++i]);
        else if (a == "--file" && i + 1 < argc) file = argv[++i];
        else if (a == "--keep") keep = true;
        else if (a == "--table" && i + 1 < argc) table = argv[++i];
        else if (a == "--key" && i + 1 < argc) key = argv[++i];
        else if (a == "--lookups" && i + 1 < argc) lookups = std::atoi(argv[++i]);
        else if (a == "--page" && i + 1 < argc) pageSize = std::atoi(argv[++i]);
        else if (a == "--repeat" && i + 1 < argc) repeats = std::max(1, std::atoi(argv[++i]));
        else {
            std::fprintf(
                stderr,
                "usage: bench_jet_sql [--rows N] [--file PATH [--table T --key K]] [--lookups N] [--page N] [--repeat N] [--keep]\n");
            return 2;
        }
    }
    try {
        bool built = false;
        if (file.empty()) {
            file = std::filesystem::temp_directory_path() / ("tablor-bench-jet-sql-" + std::to_string(rows) + ".mdb");
            std::filesystem::remove(file);
            auto start = Clock::now();
            build(file, rows);
            built = true;
            std::printf("built %lld rows in %s in %.2f s\n", static_cast<long long>(rows), file.c_str(),
                        seconds(start));
        }
        Connection c(openEngineDatabase(file));
        std::int64_t total = 0;
        {
            Result r = c.execute("SELECT COUNT(*) FROM [" + table + "]");
            r.rows().next();
            total = r.rows().row()[0].asInt();
        }
        // Warm the page cache once so that every figure below is measured the same way.
        drain(c, "SELECT * FROM [" + table + "]");

        // The machine is shared: each figure is the best of `repeats` runs.
        double full = 1e300, paging = 1e300, seeks = 1e300;
        std::int64_t fullRows = 0, paged = 0, pages = 0, found = 0;
        for (int round = 0; round < repeats; ++round) {
            auto start = Clock::now();
            fullRows = drain(c, "SELECT * FROM [" + table + "]");
            full = std::min(full, seconds(start));

            start = Clock::now();
            std::int64_t last = 0;
            paged = 0;
            pages = 0;
            while (true) {
                // Exactly the wizard's statement: "SELECT TOP 50 * FROM [%s] WHERE id > %d".
                std::int64_t n = drain(c,
                                       "SELECT TOP " + std::to_string(pageSize) + " * FROM [" + table + "] WHERE " +
                                           key + " > " + std::to_string(last),
                                       key, &last);
                if (n == 0) break;
                paged += n;
                ++pages;
            }
            paging = std::min(paging, seconds(start));

            std::mt19937_64 random(20261208 + round);
            // Keys 1..count, as the built table has them.
            std::uniform_int_distribution<std::int64_t> pick(1, total);
            found = 0;
            start = Clock::now();
            for (int i = 0; i < lookups; ++i)
                found += drain(c, "SELECT * FROM [" + table + "] WHERE " + key + " = " + std::to_string(pick(random)));
            seeks = std::min(seeks, seconds(start));
        }

        std::printf("rows %lld; full scan %.3f s (%lld rows); paging %.3f s (%lld pages, %lld rows); "
                    "%d lookups %.3f s (%lld found)\n",
                    static_cast<long long>(total), full, static_cast<long long>(fullRows), paging,
                    static_cast<long long>(pages), static_cast<long long>(paged), lookups, seeks,
                    static_cast<long long>(found));
        if (paged != fullRows || fullRows != total || (built && found != lookups) || lookups <= 0) {
            std::fprintf(stderr, "bench_jet_sql: the row counts disagree; the figures are not valid\n");
            return 1;
        }
        std::printf("RESULT paging_ratio %.3f\n", paging / full);
        // Scaled to 10,000 lookups when fewer were asked for (--lookups), so the figure keeps its meaning.
        std::printf("RESULT seek_ratio %.3f\n", seeks / full * 10000.0 / lookups);
        if (built && !keep) std::filesystem::remove(file);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_jet_sql: %s\n", e.what());
        return 1;
    }
}
