// Benchmark of the grid dbgMain (headless):
//   bench_grid mysql HOST PORT USER PASSWORD DATABASE TABLE REPEATS
//     MEASURE client_open_seconds  the client layer alone opening TABLE (TZMySqlTable::Open)
//     MEASURE grid_open_seconds    opening it in the grid and jumping to its last row, painted
//     MEASURE find_seconds         FindInGrid's scan over every field with no match
//   bench_grid mdb-create PATH ROWS      writes an Access file with table big of ROWS rows
//   bench_grid mdb PATH TABLE REPEATS
//     MEASURE first_rows_seconds   opening TABLE in the grid until its first rows are painted
//     MEASURE full_scan_seconds    reading every value of every row once
// Times are the best of REPEATS runs.
#include "app/dbgrid.h"
#include "app/findingrid.h"
#include "db/ADODB.h"
#include "db/ServerLogin.h"
#include "db/ZMySql.h"

#include <jet/writer.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <limits>

using namespace tablor;

namespace {

double best(int repeats, const std::function<double()>& run) {
    double b = std::numeric_limits<double>::max();
    for (int i = 0; i < repeats; ++i) b = std::min(b, run());
    return b;
}

// Paints the grid into an image, as a screen update would.
void paint(TMDBGrid& grid) {
    QImage target(grid.size(), QImage::Format_ARGB32);
    grid.render(&target);
}

int benchMySql(char** argv) {
    TZMySqlDatabase db;
    setServerLogin(db, {.host = argv[2], .port = argv[3], .user = argv[4], .password = argv[5], .database = argv[6]});
    const QString table = argv[7];
    const int repeats = std::atoi(argv[8]);
    db.Connect();
    TZMySqlTransact trans;
    trans.Database = &db;

    const double client = best(repeats, [&] {
        TZMySqlTable t;
        t.Database = &db;
        t.Transaction = &trans;
        t.setTableName(table);
        QElapsedTimer clock;
        clock.start();
        t.Open();
        return clock.nsecsElapsed() / 1e9;
    });
    std::printf("MEASURE client_open_seconds %.6f\n", client);

    TZMySqlTable t;
    t.Database = &db;
    t.Transaction = &trans;
    t.setTableName(table);
    TMDBGrid grid;
    grid.resize(1000, 700);
    grid.show();
    const double gridOpen = best(repeats, [&] {
        t.Close();
        grid.setDataSet(nullptr);
        QApplication::processEvents();
        QElapsedTimer clock;
        clock.start();
        t.Open();
        grid.setDataSet(&t);
        grid.narrowColumns(70);
        t.Last();
        QApplication::processEvents();
        paint(grid);
        return clock.nsecsElapsed() / 1e9;
    });
    std::printf("MEASURE grid_open_seconds %.6f\n", gridOpen);
    std::printf("MEASURE grid_rows %d\n", grid.gridModel()->rowCount());

    const double find = best(repeats, [&] {
        t.First();
        QElapsedTimer clock;
        clock.start();
        t.DisableControls();
        const FindOutcome r = scanForWord(t, QStringLiteral("kein-treffer-hier"), 1, true);
        t.EnableControls();
        QApplication::processEvents();
        if (r.found) std::fprintf(stderr, "unexpected match\n");
        return clock.nsecsElapsed() / 1e9;
    });
    std::printf("MEASURE find_seconds %.6f\n", find);
    return 0;
}

int createMdb(char** argv) {
    const std::string path = argv[2];
    const int rows = std::atoi(argv[3]);
    auto writer = jet::DatabaseWriter::create(path);
    jet::TableSpec tableSpec;
    tableSpec.name = "big";
    tableSpec.columns = {{"id", jet::ColumnType::Long},
                         {"name", jet::ColumnType::Text, 50},
                         {"amount", jet::ColumnType::Double},
                         {"created", jet::ColumnType::DateTime},
                         {"note", jet::ColumnType::Text, 100}};
    writer.createTable(tableSpec);
    auto table = writer.table("big");
    static const char* names[] = {"Anna", "bert", "Cäcilie", "dora", "Emil", "frieda", "Gustav"};
    std::vector<jet::Value> row(5);
    for (int i = 1; i <= rows; ++i) {
        row[0] = jet::Value::longInt(i);
        row[1] = jet::Value::text(std::string(names[i % 7]) + " " + std::to_string(i * 7919 % 1000003));
        row[2] = jet::Value::dbl((i * 37 % 100000) / 100.0);
        row[3] = jet::Value::dateTime(jet::DateTime{36526.0 + i / 1440.0});
        row[4] = jet::Value::text("Notiz " + std::to_string(i) + " zur Zeile mit etwas Text");
        table.insert(row);
    }
    writer.flush();
    return 0;
}

// Opens `table` of the Access file at `path` the way the main window does.
void openLocalTable(TADOConnection& cn, TADOTable& t, const QString& path, const QString& table) {
    cn.ConnectionString = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path;
    cn.Open();
    t.setConnection(&cn);
    t.setTableName(table);
    t.Open();
}

int benchMdb(char** argv) {
    const QString path = QString::fromLocal8Bit(argv[2]);
    const QString table = argv[3];
    const int repeats = std::atoi(argv[4]);
    TMDBGrid grid;
    grid.resize(1000, 700);
    grid.show();
    const double first = best(repeats, [&] {
        grid.setDataSet(nullptr);
        QApplication::processEvents();
        TADOConnection cn;
        TADOTable t;
        QElapsedTimer clock;
        clock.start();
        openLocalTable(cn, t, path, table);
        grid.setDataSet(&t);
        QApplication::processEvents();
        paint(grid);
        const double s = clock.nsecsElapsed() / 1e9;
        grid.setDataSet(nullptr);
        return s;
    });
    std::printf("MEASURE first_rows_seconds %.6f\n", first);
    const double full = best(repeats, [&] {
        TADOConnection cn;
        TADOTable t;
        QElapsedTimer clock;
        clock.start();
        openLocalTable(cn, t, path, table);
        qsizetype chars = 0;
        for (int r = 0; r < t.RecordCount(); ++r)
            for (int c = 0; c < t.FieldCount(); ++c) chars += t.CellText(r, c).size();
        std::fprintf(stderr, "full scan: %d rows, %lld characters\n", t.RecordCount(), static_cast<long long>(chars));
        return clock.nsecsElapsed() / 1e9;
    });
    std::printf("MEASURE full_scan_seconds %.6f\n", full);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    try {
        const std::string mode = argc > 1 ? argv[1] : "";
        if (mode == "mysql" && argc == 9) return benchMySql(argv);
        if (mode == "mdb-create" && argc == 4) return createMdb(argv);
        if (mode == "mdb" && argc == 5) return benchMdb(argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_grid: %s\n", e.what());
        return 1;
    }
    std::fprintf(stderr, "usage: bench_grid mysql HOST PORT USER PASSWORD DATABASE TABLE REPEATS\n"
                         "       bench_grid mdb-create PATH ROWS\n"
                         "       bench_grid mdb PATH TABLE REPEATS\n");
    return 2;
}
