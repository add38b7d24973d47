// libFuzzer target: Jet SQL statements over a small database (sql_fuzz.h). Seeds in
// jet/fuzz/sql-seeds, keywords in jet/fuzz/sql.dict, findings kept in jet/fuzz/sql-regressions.
#include "sql_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    jet::fuzz::runSqlInput(data, size);
    return 0;
}
