// tablor-mdb create / import (see write_commands.h).
#include "write_commands.h"
#include "commands.h"

#include "jet/error.h"
#include "jet/writer.h"

#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

namespace jet::tool {

namespace {

// Reads RFC 4180 records: quoted fields may hold commas, quotes ("") and line breaks.
// `line` is the number of the line the record starts on.
class CsvReader {
public:
    explicit CsvReader(std::istream& in) : in_(in) {}

    bool next(std::vector<std::string>& fields, long& line) {
        fields.clear();
        line = line_;
        int c = in_.get();
        if (c == EOF) return false;
        std::string field;
        bool quoted = false, wasQuoted = false;
        while (true) {
            if (c == EOF) {
                if (quoted) throw std::invalid_argument("a quoted field is not closed before the end of the file");
                fields.push_back(field);
                return true;
            }
            if (quoted) {
                if (c == '"') {
                    if (in_.peek() == '"') {
                        in_.get();
                        field += '"';
                    } else {
                        quoted = false;
                    }
                } else {
                    if (c == '\n') ++line_;
                    field += static_cast<char>(c);
                }
            } else if (c == '"' && field.empty() && !wasQuoted) {
                quoted = wasQuoted = true;
            } else if (c == ',') {
                fields.push_back(field);
                field.clear();
                wasQuoted = false;
            } else if (c == '\r' && in_.peek() == '\n') {
                // CR LF ends the record like LF
            } else if (c == '\n') {
                ++line_;
                fields.push_back(field);
                return true;
            } else {
                field += static_cast<char>(c);
            }
            c = in_.get();
        }
    }

private:
    std::istream& in_;
    long line_ = 1;
};

int import(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
    std::ifstream in(args[3], std::ios::binary);
    if (!in) {
        std::fprintf(err, "tablor-mdb: cannot read %s: %s\n", args[3].c_str(), std::strerror(errno));
        return 3;
    }
    DatabaseWriter writer = DatabaseWriter::open(args[1]);
    TableWriter table = writer.table(args[2]);
    const TableDef& def = table.definition();
    CsvReader csv(in);
    std::vector<std::string> header;
    long line = 0;
    if (!csv.next(header, line)) {
        std::fprintf(err, "tablor-mdb: %s is empty; it needs a header row with column names\n", args[3].c_str());
        return 2;
    }
    if (!header.empty() && header[0].rfind("\xEF\xBB\xBF", 0) == 0) header[0].erase(0, 3); // UTF-8 BOM
    std::vector<int> target(header.size(), -1);
    for (size_t i = 0; i < header.size(); ++i) {
        for (size_t k = 0; k < def.columns.size(); ++k)
            if (sameName(def.columns[k].name, header[i])) target[i] = static_cast<int>(k);
        if (target[i] < 0) {
            std::fprintf(err, "tablor-mdb: the CSV column \"%s\" is not a column of table [%s]; nothing was imported\n",
                         header[i].c_str(), def.name.c_str());
            return 2;
        }
    }
    long imported = 0, refused = 0;
    std::vector<std::string> fields;
    while (csv.next(fields, line)) {
        if (fields.size() == 1 && fields[0].empty()) continue; // blank line
        try {
            if (fields.size() != header.size())
                throw std::invalid_argument("it has " + std::to_string(fields.size()) + " fields, the header " +
                                            std::to_string(header.size()));
            std::vector<Value> row(def.columns.size());
            for (size_t i = 0; i < fields.size(); ++i)
                row[static_cast<size_t>(target[i])] =
                    valueFromText(def.columns[static_cast<size_t>(target[i])], fields[i]);
            table.insert(row);
            ++imported;
        } catch (const std::invalid_argument& e) {
            std::fprintf(err, "line %ld: %s\n", line, e.what());
            ++refused;
        } catch (const ValueError& e) {
            std::fprintf(err, "line %ld: %s\n", line, e.what());
            ++refused;
        } catch (const ConstraintError& e) {
            std::fprintf(err, "line %ld: %s\n", line, e.what());
            ++refused;
        }
    }
    writer.close(); // the last write fails here, not on stderr
    std::fprintf(out, "%ld row%s imported into [%s], %ld refused\n", imported, imported == 1 ? "" : "s",
                 def.name.c_str(), refused);
    return refused == 0 ? 0 : 1;
}

} // namespace

bool isWriteCommand(const std::string& command) { return command == "create" || command == "import"; }

int runWriteCommand(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
    const std::string& cmd = args[0];
    // create [--format 97|2000] FILE
    std::string format = "2000";
    std::vector<std::string> plain;
    for (size_t i = 1; i < args.size(); ++i) {
        if (cmd == "create" && args[i] == "--format" && i + 1 < args.size()) format = args[++i];
        else plain.push_back(args[i]);
    }
    if ((cmd == "create" && (plain.size() != 1 || (format != "97" && format != "2000"))) ||
        (cmd == "import" && args.size() != 4)) {
        std::fprintf(err, "tablor-mdb: usage: tablor-mdb create [--format 97|2000] FILE | tablor-mdb import FILE "
                          "TABLE CSV\n");
        return 2;
    }
    try {
        if (cmd == "create") {
            DatabaseWriter::create(plain[0], format == "97" ? Version::Jet3 : Version::Jet4).close();
            std::fprintf(out, "created %s (Access %s)\n", plain[0].c_str(), format.c_str());
            return 0;
        }
        return import(args, out, err);
    } catch (const InUseError& e) {
        std::fprintf(err, "tablor-mdb: %s\n", e.what());
        return 6;
    } catch (const std::invalid_argument& e) {
        std::fprintf(err, "tablor-mdb: %s\n", e.what());
        return 2;
    } catch (const ValueError& e) {
        std::fprintf(err, "tablor-mdb: %s\n", e.what());
        return 2;
    } catch (const Error& e) {
        return reportEngineError(err, e);
    }
}

} // namespace jet::tool
