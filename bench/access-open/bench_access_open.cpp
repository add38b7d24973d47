// bench_access_open — how quickly tblLocal shows the first rows of a large table, compared
// with a full decoding scan of the same table by the engine.
#include "db/ADODB.h"
#include "db/JetConnectionString.h"

#include "jet/database.h"
#include "jet/writer.h"

#include <QString>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

double seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void makeTable(const std::filesystem::path& path, int rows) {
    auto w = jet::DatabaseWriter::create(path);
    jet::TableSpec tableSpec;
    tableSpec.name = "big";
    tableSpec.columns = {{"id", jet::ColumnType::Long},
                         {"name", jet::ColumnType::Text, 40},
                         {"amount", jet::ColumnType::Double},
                         {"day", jet::ColumnType::DateTime},
                         {"note", jet::ColumnType::Text, 60}};
    w.createTable(tableSpec);
    auto t = w.table("big");
    for (int i = 0; i < rows; ++i) {
        std::vector<jet::Value> row{jet::Value::longInt(i), jet::Value::text("Name " + std::to_string(i)),
                                    jet::Value::dbl(i * 1.5), jet::Value::dateTime({40000.0 + i % 1000}),
                                    jet::Value::text("note " + std::to_string(i * 7))};
        t.insert(row);
    }
    w.flush();
}

} // namespace

int main(int argc, char** argv) {
    int rows = 1000000;
    std::filesystem::path file = std::filesystem::temp_directory_path() / "tablor_bench_access_open.mdb";
    bool keep = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--rows") && i + 1 < argc) rows = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--file") && i + 1 < argc) file = argv[++i];
        else if (!std::strcmp(argv[i], "--keep")) keep = true;
        else {
            std::fprintf(stderr, "usage: bench_access_open [--rows N] [--file PATH] [--keep]\n");
            return 2;
        }
    }
    if (!keep || !std::filesystem::exists(file)) {
        std::filesystem::remove(file);
        std::printf("creating %d rows in %s\n", rows, file.c_str());
        makeTable(file, rows);
    }

    double best = 1e9, bestFirst = 1e9, bestLast = 1e9;
    for (int round = 0; round < 3; ++round) {
        auto t0 = std::chrono::steady_clock::now();
        {
            auto db = jet::Database::open(file);
            auto c = db.scan("big");
            size_t n = 0;
            while (c.next()) n += c.values().size();
            if (n == 0) return 1;
        }
        best = std::min(best, seconds(t0));

        auto t1 = std::chrono::steady_clock::now();
        tablor::TADOConnection cn;
        cn.ConnectionString = tablor::JetOpenConnectionString(QString::fromStdString(file.string()));
        cn.Open();
        tablor::TADOTable tbl;
        tbl.setConnection(&cn);
        tbl.setTableName(QStringLiteral("big"));
        tbl.Open();
        QString shown;
        for (int r = 0; r < 40 && r < tbl.RecordCount(); ++r)
            for (int c = 0; c < tbl.FieldCount(); ++c) shown += tbl.CellText(r, c);
        bestFirst = std::min(bestFirst, seconds(t1));
        auto t2 = std::chrono::steady_clock::now();
        tbl.Last();
        shown += tbl.Fields(1)->AsString();
        bestLast = std::min(bestLast, seconds(t2));
    }
    std::printf("full scan %.3f s, first rows %.4f s, last row %.4f s\n", best, bestFirst, bestLast);
    std::printf("RESULT first_rows_ratio %.4f\n", bestFirst / best);
    std::printf("RESULT last_row_ratio %.4f\n", bestLast / best);
    if (!keep) std::filesystem::remove(file);
    return 0;
}
