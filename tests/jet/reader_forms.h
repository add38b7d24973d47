// How the independent readers print values, brought to one normal form per reader so that a
// test can compare what they read with the rows it expects: mdbtools (mdb-export) and the npm
// package mdb-reader (tests/jet/mdb-reader/dump.mjs).
#pragma once

#include "fixtures.h"
#include "jet/schema.h"
#include "jet/value.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace jet::reader_forms {

inline std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// "-12.3400" and "-12.34" are the same amount; so are "0.00" and "-0".
inline std::string plainDecimal(std::string s) {
    if (s.find('.') != std::string::npos) {
        while (s.back() == '0') s.pop_back();
        if (s.back() == '.') s.pop_back();
    }
    return s == "-0" ? "0" : s;
}

inline std::string printed(const char* format, double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, format, v);
    return buf;
}

inline std::string guidDigits(std::string s, bool upper) {
    std::string out;
    for (char c : s)
        if (std::isxdigit(static_cast<unsigned char>(c)))
            out += static_cast<char>(upper ? std::toupper(static_cast<unsigned char>(c)) : std::tolower(c));
    return out;
}

inline const std::string kNull = "\x01";

// mdbtools prints what `tablor-mdb export` prints (mdbtools_compare_test.cpp), but doubles
// with 16 digits (one unit off in the last place at times), floats with noise, dates it
// cannot format as day 0 of 1900, and no difference between a null and an empty text.
inline std::string mdbtoolsForm(ColumnType t, const std::string& text) {
    if (text.empty()) return text;
    switch (t) {
    case ColumnType::Single: return printed("%a", std::strtof(text.c_str(), nullptr));
    case ColumnType::Double: return printed("%.15g", std::strtod(text.c_str(), nullptr));
    case ColumnType::DateTime:
        return text < "1899-12-30" || text > "4637-11-26" || text.rfind("1900-01-00", 0) == 0 ? "far date" : text;
    case ColumnType::Guid: return guidDigits(text, true);
    case ColumnType::Currency:
    case ColumnType::Numeric: return plainDecimal(text);
    default: return text;
    }
}

// mdb-reader (dump.mjs): Yes/No as true/false, numbers as JavaScript prints them, binary in
// lower-case hex, a GUID without braces, a date as the instant of Math.round((days - 25569)
// * 86400000) ms, which is what it computes, also for days before 1899-12-30.
inline std::string mdbReaderForm(ColumnType t, const std::optional<std::string>& text) {
    if (!text) return kNull;
    switch (t) {
    case ColumnType::Boolean: return *text == "true" ? "1" : "0";
    case ColumnType::Single: return printed("%a", std::strtof(text->c_str(), nullptr));
    case ColumnType::Double: return printed("%.17g", std::strtod(text->c_str(), nullptr));
    case ColumnType::Guid: return guidDigits(*text, false);
    case ColumnType::Currency:
    case ColumnType::Numeric: return plainDecimal(*text);
    case ColumnType::Binary:
    case ColumnType::Ole: return lower(*text);
    default: return *text;
    }
}

inline std::string isoInstant(double days) {
    const auto ms = static_cast<int64_t>(std::floor((days - 25569) * 86400.0 * 1000.0 + 0.5));
    int64_t day = ms >= 0 ? ms / 86400000 : -((-ms + 86399999) / 86400000);
    const int64_t inDay = ms - day * 86400000;
    day += 719468; // civil date from days since 1970-01-01 (Howard Hinnant's algorithm)
    const int64_t era = (day >= 0 ? day : day - 146096) / 146097, doe = day - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365,
                  doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153, d = doy - (153 * mp + 2) / 5 + 1, m = mp < 10 ? mp + 3 : mp - 9;
    const int64_t y = yoe + era * 400 + (m <= 2);
    char buf[128];
    std::snprintf(buf, sizeof buf, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lld.%03lldZ", (long long)y, (long long)m,
                  (long long)d, (long long)(inDay / 3600000), (long long)(inDay / 60000 % 60),
                  (long long)(inDay / 1000 % 60), (long long)(inDay % 1000));
    return buf;
}

inline std::string modelForMdbReader(ColumnType t, const Value& v) {
    if (v.isNull()) return kNull;
    if (t == ColumnType::DateTime) return isoInstant(v.asDateTime().days);
    if (t == ColumnType::Single) return printed("%a", v.asSingle());
    if (t == ColumnType::Double) return printed("%.17g", v.asDouble());
    if (t == ColumnType::Guid) return guidDigits(v.toString(), false);
    if (t == ColumnType::Boolean) return v.asBoolean() ? "1" : "0";
    return mdbReaderForm(t, v.toString());
}

// One row line of dump.mjs: {"name":"value" or null, ...}; arrays and numbers (its header
// lines) are kept as raw text.
inline std::map<std::string, std::optional<std::string>> parseJsonLine(const std::string& s) {
    std::map<std::string, std::optional<std::string>> out;
    size_t i = 1;
    auto hex4 = [&](size_t at) { return static_cast<unsigned>(std::stoul(s.substr(at, 4), nullptr, 16)); };
    auto string = [&] {
        std::string r;
        for (++i; i < s.size() && s[i] != '"'; ++i) {
            if (s[i] != '\\') {
                r += s[i];
                continue;
            }
            const char e = s[++i];
            if (e != 'u') {
                r += e == 'n' ? '\n' : e == 'r' ? '\r' : e == 't' ? '\t' : e == 'b' ? '\b' : e == 'f' ? '\f' : e;
                continue;
            }
            unsigned cp = hex4(i + 1);
            i += 4;
            if (cp >= 0xD800 && cp < 0xDC00 && s.compare(i + 1, 2, "\\u") == 0) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (hex4(i + 3) - 0xDC00);
                i += 6;
            }
            if (cp < 0x80) r += static_cast<char>(cp);
            else if (cp < 0x800) r += {static_cast<char>(0xC0 | cp >> 6), static_cast<char>(0x80 | (cp & 63))};
            else if (cp < 0x10000)
                r += {static_cast<char>(0xE0 | cp >> 12), static_cast<char>(0x80 | (cp >> 6 & 63)),
                      static_cast<char>(0x80 | (cp & 63))};
            else
                r += {static_cast<char>(0xF0 | cp >> 18), static_cast<char>(0x80 | (cp >> 12 & 63)),
                      static_cast<char>(0x80 | (cp >> 6 & 63)), static_cast<char>(0x80 | (cp & 63))};
        }
        ++i;
        return r;
    };
    while (i < s.size() && s[i] == '"') {
        const std::string key = string();
        ++i; // ':'
        if (s[i] == '"') {
            out[key] = string();
        } else {
            const size_t end = s[i] == '[' ? s.find(']', i) + 1 : s.find_first_of(",}", i);
            const std::string raw = s.substr(i, end - i);
            out[key] = raw == "null" ? std::nullopt : std::optional<std::string>(raw);
            i = end;
        }
        if (i < s.size() && s[i] == ',') ++i;
    }
    return out;
}

// The rows of `table` as a reader printed them, each in that reader's normal form.
inline std::vector<std::string> mdbtoolsRows(const std::filesystem::path& file, const TableDef& t) {
    int st = 0;
    const char* f = "'%Y-%m-%d %H:%M:%S'";
    auto csv = test::parseCsv(test::runCommand("mdb-export -D " + std::string(f) + " -T " + f + " -b hex " +
                                                   test::shellQuote(file.string()) + " " + test::shellQuote(t.name),
                                               &st));
    if (st != 0 || csv.empty()) return {"mdb-export failed"};
    std::vector<std::string> rows;
    for (size_t r = 1; r < csv.size(); ++r) {
        std::string s;
        for (size_t c = 0; c < t.columns.size(); ++c)
            s += mdbtoolsForm(t.columns[c].type, c < csv[r].size() ? csv[r][c] : "") + '\x1f';
        rows.push_back(s);
    }
    return rows;
}

inline std::vector<std::string> mdbReaderRows(const std::filesystem::path& file, const TableDef& t) {
    int st = 0;
    const std::filesystem::path script = std::filesystem::path(TABLOR_SOURCE_DIR) / "tests/jet/mdb-reader/dump.mjs";
    std::istringstream out(
        test::runCommand("node " + test::shellQuote(script.string()) + " " + test::shellQuote(file.string()), &st));
    if (st != 0) return {"mdb-reader failed"};
    std::vector<std::string> rows;
    bool mine = false;
    for (std::string line; std::getline(out, line);) {
        if (line.rfind("{\"table\":", 0) == 0) {
            mine = parseJsonLine(line)["table"] == t.name;
        } else if (mine) {
            auto cells = parseJsonLine(line);
            std::string s;
            for (const auto& c : t.columns) s += mdbReaderForm(c.type, cells[c.name]) + '\x1f';
            rows.push_back(s);
        }
    }
    return rows;
}

} // namespace jet::reader_forms
