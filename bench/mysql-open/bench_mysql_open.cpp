// bench_mysql_open.cpp — opens table `big` as a table object (every row in client memory),
// measures the time, the peak memory the open added, and the time of sorting by `name`.
// Prints "MEASURE <name> <value>" lines that bench/mysql-open/run turns into ratios.
//   bench_mysql_open HOST PORT USER PASSWORD DATABASE [REPEATS]
#include "db/ServerLogin.h"
#include "db/ZMySql.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

using namespace tablor;

namespace {

long statusKb(const char* key) {
    std::ifstream f("/proc/self/status");
    std::string line;
    const std::string k = std::string(key) + ":";
    while (std::getline(f, line))
        if (line.rfind(k, 0) == 0) return std::atol(line.c_str() + k.size());
    return -1;
}

// Lets the peak resident size start again from the current one (Linux 4.0 and later).
bool resetPeak() {
    std::ofstream f("/proc/self/clear_refs");
    f << "5";
    return static_cast<bool>(f);
}

double seconds(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 6) {
        std::fprintf(stderr, "usage: %s HOST PORT USER PASSWORD DATABASE [REPEATS]\n", argv[0]);
        return 2;
    }
    const int repeats = argc > 6 ? std::atoi(argv[6]) : 3;
    try {
        TZMySqlDatabase db;
        setServerLogin(db, {.host = QString::fromLocal8Bit(argv[1]),
                            .port = QString::fromLocal8Bit(argv[2]),
                            .user = QString::fromLocal8Bit(argv[3]),
                            .password = QString::fromLocal8Bit(argv[4]),
                            .database = QString::fromLocal8Bit(argv[5])});
        db.Connect();

        // The raw result: every value's bytes as the server sends them, plus one pointer per value.
        TZMySqlQuery size;
        size.Database = &db;
        size.SQL = QStringList{QStringLiteral(
            "SELECT COUNT(*), SUM(COALESCE(LENGTH(id),0) + COALESCE(LENGTH(name),0) + COALESCE(LENGTH(amount),0)"
            " + COALESCE(LENGTH(created),0) + COALESCE(LENGTH(note),0)) FROM big")};
        size.Open();
        const double rows = size.CellValue(0, 0).toDouble();
        const double rawBytes = size.CellValue(0, 1).toDouble() + rows * 5 * sizeof(void*);
        size.Close();

        TZMySqlTable table;
        table.Database = &db;
        table.setTableName(QStringLiteral("big"));

        double bestOpen = 1e9, bestSort = 1e9;
        long peakKb = -1;
        for (int i = 0; i < repeats; ++i) {
            const bool peakOk = resetPeak();
            const long before = statusKb("VmRSS");
            auto t0 = std::chrono::steady_clock::now();
            table.Open();
            auto t1 = std::chrono::steady_clock::now();
            if (i == 0 && peakOk) peakKb = statusKb("VmHWM") - before;
            if (table.RecordCount() != static_cast<int>(rows)) {
                std::fprintf(stderr, "opened %d rows, expected %.0f\n", table.RecordCount(), rows);
                return 1;
            }
            table.setRecNo(table.RecordCount() / 2);
            const QString current = table.FieldByName(QStringLiteral("id"))->AsString();
            auto t2 = std::chrono::steady_clock::now();
            table.setSortedFields(QStringLiteral("`name`"));
            auto t3 = std::chrono::steady_clock::now();
            if (table.FieldByName(QStringLiteral("id"))->AsString() != current) {
                std::fprintf(stderr, "the current record changed while sorting\n");
                return 1;
            }
            bestOpen = std::min(bestOpen, seconds(t0, t1));
            bestSort = std::min(bestSort, seconds(t2, t3));
            table.Close();
            table.setSortedFields(QString());
        }
        std::printf("MEASURE rows %.0f\n", rows);
        std::printf("MEASURE open_seconds %.4f\n", bestOpen);
        std::printf("MEASURE sort_seconds %.4f\n", bestSort);
        std::printf("MEASURE raw_bytes %.0f\n", rawBytes);
        std::printf("MEASURE peak_bytes %.0f\n", peakKb < 0 ? -1.0 : peakKb * 1024.0);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_mysql_open: %s\n", e.what());
        return 1;
    }
    return 0;
}
