// CSV (RFC 4180) output of table rows for tablor-mdb export: text and dates quoted,
// quotes doubled, numbers exact, binary as upper-case hex, null as an empty field.
#pragma once

#include "jet/value.h"

#include <cstdio>
#include <string>
#include <vector>

namespace jet::tool {

class CsvWriter {
public:
    explicit CsvWriter(std::FILE* out);
    ~CsvWriter();
    void header(const std::vector<std::string>& names);
    void row(const std::vector<Value>& values);
    void flush();

private:
    void field(const Value& v);
    void quoted(const std::string& s);
    void spill();

    std::FILE* out_;
    std::string buf_;
};

} // namespace jet::tool
