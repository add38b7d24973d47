// CSV lines for result rows (see csv.h).
#include "jet/sql/csv.h"

#include <charconv>

namespace jet::sql {

std::string csvField(const std::string& text) {
    bool quote = text.find_first_of(",\"\r\n") != std::string::npos ||
                 (!text.empty() && (text.front() == ' ' || text.back() == ' '));
    if (!quote) return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

std::string csvHeader(const std::vector<ResultColumn>& columns) {
    std::string line;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (i) line += ',';
        line += csvField(columns[i].name);
    }
    return line;
}

std::string csvRow(const Row& row, const std::vector<ResultColumn>& columns) {
    std::string line;
    for (std::size_t i = 0; i < row.size(); ++i) {
        if (i) line += ',';
        if (row[i].isText() && row[i].asText().empty()) {
            line += "\"\""; // an empty text, unlike Null, is a quoted empty field
        } else if (row[i].isDouble() && i < columns.size() && columns[i].type == ColumnType::Single) {
            char buffer[32];
            auto r = std::to_chars(buffer, buffer + sizeof buffer, static_cast<float>(row[i].asDouble()));
            line.append(buffer, r.ptr);
        } else if (!row[i].isNull()) {
            line += csvField(valueToText(row[i]));
        }
    }
    return line;
}

} // namespace jet::sql
