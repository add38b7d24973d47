// Inserts ROWS rows (Long primary key or none, Text(50), Double, Date/Time, Memo of about 100
// characters) into a new Access 2000 database and prints "seconds bytes peak_rss_kb".
// Usage: bench_mdb_write FILE ROWS WITH_PRIMARY_KEY(0|1)
#include "jet/writer.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/resource.h>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: bench_mdb_write FILE ROWS WITH_PRIMARY_KEY(0|1)\n");
        return 2;
    }
    const std::filesystem::path file = argv[1];
    const long rows = std::atol(argv[2]);
    const bool withKey = std::string(argv[3]) == "1";
    std::filesystem::remove(file);
    const auto start = std::chrono::steady_clock::now();
    try {
        jet::DatabaseWriter w = jet::DatabaseWriter::create(file);
        jet::TableSpec tableSpec;
        tableSpec.name = "Bench";
        tableSpec.columns = {{"Id", jet::ColumnType::Long},
                             {"Name", jet::ColumnType::Text, 50},
                             {"Amount", jet::ColumnType::Double},
                             {"Stamp", jet::ColumnType::DateTime},
                             {"Note", jet::ColumnType::Memo}};
        if (withKey) {
            jet::IndexSpec pk;
            pk.primaryKey = true;
            pk.columns = {"Id"};
            tableSpec.indexes = {pk};
        }
        w.createTable(tableSpec);
        jet::TableWriter t = w.table("Bench");
        std::vector<jet::Value> row(5);
        const std::string filler =
            "Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod tempor incididunt ut la";
        for (long i = 0; i < rows; ++i) {
            row[0] = jet::Value::longInt(static_cast<int32_t>(i + 1));
            row[1] = jet::Value::text("Customer number " + std::to_string(i));
            row[2] = jet::Value::dbl(static_cast<double>(i) * 1.25);
            row[3] = jet::Value::dateTime(jet::DateTime{40000.0 + static_cast<double>(i % 100000) / 7.0});
            row[4] = jet::Value::text(filler + std::to_string(i));
            t.insert(row);
        }
        w.flush();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_mdb_write: %s\n", e.what());
        return 1;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    std::printf("%.3f %llu %ld\n", seconds, static_cast<unsigned long long>(std::filesystem::file_size(file)),
                ru.ru_maxrss);
    return 0;
}
