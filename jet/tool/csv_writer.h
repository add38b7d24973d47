// CSV (RFC 4180) output of table rows for tablor-mdb export: text and dates quoted,
// quotes doubled, numbers exact, binary as upper-case hex (OLE values quoted, as
// mdb-export does), null as an empty field.
#pragma once

#include "jet/schema.h"
#include "jet/value.h"

#include <cstdio>
#include <string>
#include <vector>

namespace jet::tool {

class CsvWriter {
public:
    explicit CsvWriter(std::FILE* out);
    ~CsvWriter();
    // Column names, and the types that decide the quoting of binary values.
    void header(const std::vector<ColumnDef>& columns);
    void row(const std::vector<Value>& values);
    void flush();

private:
    void field(const Value& v, bool quoteBinary);
    void quoted(const std::string& s);
    void spill();

    std::FILE* out_;
    std::string buf_;
    std::vector<bool> quoteBinary_;
};

} // namespace jet::tool
