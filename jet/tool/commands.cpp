// tablor-mdb commands (see commands.h).
#include "commands.h"

#include "csv_writer.h"
#include "write_commands.h"
#include "jet/check.h"
#include "sql_command.h"
#include "jet/jet.h"

#include <cstring>

namespace jet::tool {

namespace {

const char* kUsage = "Usage: tablor-mdb [--codepage CP] COMMAND FILE [TABLE]\n"
                     "Commands:\n"
                     "  tables FILE          the user tables, one per line\n"
                     "  views FILE           the saved select queries with their SQL\n"
                     "  linked FILE          the linked tables and where they point\n"
                     "  schema FILE [TABLE]  columns (type, size, flags) and indexes\n"
                     "  count FILE TABLE     the number of rows really there\n"
                     "  export FILE TABLE    the rows as CSV with a header row\n"
                     "  check FILE           walk the whole file: problems (damage, exit 1 if any) and notes\n"
                     "  create [--format 97|2000] FILE\n"
                     "                       a new, empty Access 2000 (or Access 97) database\n"
                     "  import FILE TABLE CSV  append the rows of a CSV file (header row = column names)\n"
                     "  sql FILE STATEMENT   run one Jet SQL statement: rows as CSV, else rows affected\n"
                     "Options:\n"
                     "  --codepage CP        code page of an Access 97 file's text (1252, 1251, GBK, 936...)\n";

void printSchema(std::FILE* out, const Database& db, const TableDef& t) {
    std::fprintf(out, "TABLE %s\n", t.name.c_str());
    for (const auto& c : t.columns) {
        std::string type = columnTypeName(c.type);
        if (c.type == ColumnType::Text || c.type == ColumnType::Binary) {
            const unsigned chars =
                db.version() == Version::Jet4 && c.type == ColumnType::Text ? c.length / 2 : c.length;
            type += " (" + std::to_string(chars) + ")";
        }
        if (c.type == ColumnType::Numeric) {
            type += " (" + std::to_string(c.precision) + ", " + std::to_string(c.scale) + ")";
        }
        std::string flags;
        if (c.flags & column_flags::AutoLong) flags += " autonumber";
        // Access 97 sets the same bit on text, date and number columns too; it means a new
        // GUID only on a Replication ID column.
        if (c.isAutoGuid()) flags += " autoguid";
        if (c.required || !(c.flags & column_flags::Nullable)) flags += " not-null";
        if (c.isFixed()) flags += " fixed";
        else flags += " variable";
        if (c.isCompressedUnicode()) flags += " compressed-unicode";
        if (c.flags & column_flags::Hyperlink) flags += " hyperlink";
        std::fprintf(out, "  COLUMN %s\t%s\t%s\n", c.name.c_str(), type.c_str(),
                     flags.c_str() + (flags.empty() ? 0 : 1));
    }
    for (const auto& ix : t.indexes) {
        std::string cols;
        for (const auto& c : ix.columns) {
            if (!cols.empty()) cols += ", ";
            cols += (c.columnName.empty() ? "?" : c.columnName) + (c.ascending ? " ASC" : " DESC");
        }
        std::string flags;
        if (ix.isPrimaryKey()) flags += " primary-key";
        if (ix.isForeignKey()) flags += " foreign-key";
        if (ix.isUnique()) flags += " unique";
        if (ix.ignoresNulls()) flags += " ignore-nulls";
        if (ix.isRequired()) flags += " required";
        std::fprintf(out, "  INDEX %s\t(%s)\t%s\n", ix.name.c_str(), cols.c_str(),
                     flags.c_str() + (flags.empty() ? 0 : 1));
    }
}

} // namespace

int run(const std::vector<std::string>& argsIn, std::FILE* out, std::FILE* err) {
    OpenOptions options;
    std::vector<std::string> args;
    for (size_t i = 0; i < argsIn.size(); ++i) {
        if (argsIn[i] == "--codepage" || argsIn[i] == "-c") {
            if (i + 1 >= argsIn.size()) {
                std::fprintf(err, "tablor-mdb: --codepage needs a value\n%s", kUsage);
                return 2;
            }
            options.jet3CodePage = argsIn[++i];
        } else if (argsIn[i].rfind("--codepage=", 0) == 0) {
            options.jet3CodePage = argsIn[i].substr(11);
        } else if (argsIn[i] == "--help" || argsIn[i] == "-h") {
            std::fputs(kUsage, out);
            return 0;
        } else {
            args.push_back(argsIn[i]);
        }
    }
    if (args.size() < 2) {
        std::fputs(kUsage, err);
        return 2;
    }
    const std::string& cmd = args[0];
    if (isWriteCommand(cmd)) return runWriteCommand(args, out, err);
    if (cmd == "sql") return runSql(args, options, out, err);
    const bool needsTable = cmd == "count" || cmd == "export";
    const bool knows =
        needsTable || cmd == "tables" || cmd == "schema" || cmd == "check" || cmd == "views" || cmd == "linked";
    if (!knows || (needsTable && args.size() < 3)) {
        std::fprintf(err, "tablor-mdb: %s\n%s",
                     knows ? "this command needs a table name" : ("unknown command \"" + cmd + "\"").c_str(), kUsage);
        return 2;
    }
    try {
        auto db = Database::open(args[1], options);
        if (cmd == "tables") {
            for (const auto& n : db.tableNames()) std::fprintf(out, "%s\n", n.c_str());
        } else if (cmd == "views") {
            for (const auto& v : db.views()) std::fprintf(out, "%s\t%s\n", v.name.c_str(), v.sql.c_str());
        } else if (cmd == "linked") {
            for (const auto& v : db.linkedTables()) {
                std::fprintf(out, "%s\t%s\t%s\n", v.name.c_str(), v.linkedDatabase.c_str(), v.linkedName.c_str());
            }
        } else if (cmd == "schema") {
            if (args.size() >= 3) {
                printSchema(out, db, *db.table(args[2]));
            } else {
                for (const auto& n : db.tableNames()) printSchema(out, db, *db.table(n));
            }
        } else if (cmd == "count") {
            std::fprintf(out, "%llu\n", static_cast<unsigned long long>(db.countRows(*db.table(args[2]))));
        } else if (cmd == "export") {
            auto cursor = db.scan(args[2]);
            CsvWriter csv(out);
            csv.header(cursor.table().columns);
            while (cursor.next()) csv.row(cursor.values());
            csv.flush();
        } else if (cmd == "check") {
            auto report = checkDatabase(db);
            for (const auto& n : report.notes) std::fprintf(out, "note: %s\n", n.c_str());
            for (const auto& p : report.problems) std::fprintf(out, "problem: %s\n", p.c_str());
            std::fprintf(out,
                         "%s: %llu pages, %llu rows, %llu index entries (%llu keys re-encoded, %llu not) checked; %zu "
                         "problem%s, %zu note%s\n",
                         db.fileName().c_str(), static_cast<unsigned long long>(report.pagesChecked),
                         static_cast<unsigned long long>(report.rowsChecked),
                         static_cast<unsigned long long>(report.indexEntriesChecked),
                         static_cast<unsigned long long>(report.keysCompared),
                         static_cast<unsigned long long>(report.keysNotCompared), report.problems.size(),
                         report.problems.size() == 1 ? "" : "s", report.notes.size(),
                         report.notes.size() == 1 ? "" : "s");
            return report.ok() ? 0 : 1;
        }
    } catch (const Error& e) {
        return reportEngineError(err, e);
    }
    return 0;
}

int reportEngineError(std::FILE* err, const Error& e) {
    std::fprintf(err, "tablor-mdb: %s\n", e.what());
    if (dynamic_cast<const NotFoundError*>(&e)) return 5;
    if (dynamic_cast<const IoError*>(&e)) return 3;
    return 4;
}

} // namespace jet::tool
