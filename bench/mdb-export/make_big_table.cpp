// Makes the benchmark's big table: a new Access 2000 file with one table of N rows of
// typical columns (Long, Text, Double, Date/Time, Currency, Boolean), written through the
// engine's writer. Usage: jet-bench-make-big FILE ROWS
#include "jet/writer.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s FILE ROWS\n", argv[0]);
        return 2;
    }
    const long rows = std::atol(argv[2]);
    try {
        auto w = jet::DatabaseWriter::create(argv[1]);
        jet::TableSpec big;
        big.name = "Big";
        big.columns = {{"Id", jet::ColumnType::Long},        {"Name", jet::ColumnType::Text, 40},
                       {"Amount", jet::ColumnType::Double},  {"When", jet::ColumnType::DateTime},
                       {"Price", jet::ColumnType::Currency}, {"Done", jet::ColumnType::Boolean}};
        w.createTable(big);
        auto t = w.table("Big");
        std::vector<jet::Value> row(6);
        for (long i = 0; i < rows; ++i) {
            row[0] = jet::Value::longInt(static_cast<int32_t>(i));
            row[1] = jet::Value::text("customer " + std::to_string(i * 7919 % 100003));
            row[2] = jet::Value::dbl(static_cast<double>(i) * 1.25);
            row[3] = jet::Value::dateTime({40000.0 + static_cast<double>(i % 5000) + 0.5});
            row[4] = jet::Value::currency({i * 125});
            row[5] = jet::Value::boolean(i % 3 == 0);
            t.insert(row);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
