// The data-driven statement test runner (format in sqltest_runner.h).
#include "sqltest_runner.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>

#include "jet/sql/ast.h"
#include "jet/sql/csv.h"
#include "jet/sql/error.h"
#include "jet/sql/executor.h"
#include "jet/sql/parser.h"

namespace jet::sql::testing {
namespace {

struct Record {
    int line = 0;
    std::string head;                  // first line
    std::vector<std::string> sql;      // statement lines
    std::vector<std::string> expected; // lines after "----"
    bool hasSeparator = false;
};

std::string trim(const std::string& s) {
    std::size_t a = s.find_first_not_of(" \t\r");
    if (a == std::string::npos) return "";
    std::size_t b = s.find_last_not_of(" \t\r");
    return s.substr(a, b - a + 1);
}

std::string replaceAll(std::string s, const std::string& from, const std::string& to) {
    for (std::size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
        s.replace(at, from.size(), to);
    return s;
}

std::vector<Record> readRecords(const std::string& path) {
    std::ifstream in(path);
    std::vector<Record> records;
    std::string line;
    int number = 0;
    Record current;
    bool inRecord = false;
    auto finish = [&] {
        if (inRecord) records.push_back(current);
        current = Record{};
        inRecord = false;
    };
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (trim(line).empty()) {
            finish();
            continue;
        }
        if (!inRecord && line[0] == '#') continue;
        if (!inRecord) {
            inRecord = true;
            current.line = number;
            current.head = trim(line);
            continue;
        }
        if (!current.hasSeparator && line == "----") {
            current.hasSeparator = true;
            continue;
        }
        (current.hasSeparator ? current.expected : current.sql).push_back(line);
    }
    finish();
    return records;
}

std::string joinLines(const std::vector<std::string>& lines, const char* sep) {
    std::string out;
    for (std::size_t i = 0; i < lines.size(); ++i) out += (i ? sep : "") + lines[i];
    return out;
}

std::string afterWord(const std::string& head, const std::string& word) {
    return trim(head.substr(std::min(head.size(), word.size())));
}

} // namespace

SqlTestOutcome runSqlTestFile(const std::string& path, Backend& backend, const std::string& tmpDir) {
    SqlTestOutcome outcome;
    std::vector<Record> records = readRecords(path);
    std::string fileName = path.substr(path.find_last_of('/') + 1);
    auto failure = [&](const Record& r, const std::string& what) {
        outcome.failures.push_back(fileName + ":" + std::to_string(r.line) + ": " + what);
    };
    if (records.empty() || records[0].head.rfind("database", 0) != 0) {
        outcome.failures.push_back(fileName + ": the first record must be a 'database' line");
        return outcome;
    }
    std::map<std::string, std::shared_ptr<Database>> databases;
    std::map<std::string, std::unique_ptr<Connection>> connections;
    std::string current = "main";
    std::vector<std::string> attached;
    std::string dbKind = afterWord(records[0].head, "database");
    if (dbKind == "empty") {
        databases["main"] = backend.createEmpty(tmpDir + "/main.mdb");
        if (!databases["main"]) {
            outcome.skipped = true;
            outcome.skipReason = "the " + backend.name() + " backend cannot create a database yet";
            return outcome;
        }
    } else if (dbKind.rfind("fixture ", 0) == 0) {
        std::string why;
        databases["main"] = backend.openFixture(afterWord(dbKind, "fixture"), tmpDir, why);
        if (!databases["main"]) {
            outcome.skipped = true;
            outcome.skipReason = why;
            return outcome;
        }
    } else if (dbKind != "none") {
        outcome.failures.push_back(fileName + ": unknown database kind '" + dbKind + "'");
        return outcome;
    }
    auto connection = [&]() -> Connection& {
        auto& c = connections[current];
        if (!c) c = std::make_unique<Connection>(databases.at(current));
        return *c;
    };

    for (std::size_t i = 1; i < records.size(); ++i) {
        const Record& r = records[i];
        ++outcome.records;
        std::string statement = replaceAll(joinLines(r.sql, "\n"), "${TMP}", tmpDir);
        const std::string& head = r.head;
        try {
            if (head.rfind("only ", 0) == 0) {
                std::string rest = afterWord(head, "only");
                std::string which = rest.substr(0, rest.find(' '));
                if (which != backend.name()) {
                    outcome.skipped = true;
                    outcome.skipReason = "runs on the " + which + " backend only: " + afterWord(rest, which);
                    return outcome;
                }
            } else if (head.rfind("attach ", 0) == 0) {
                std::string p = replaceAll(afterWord(head, "attach"), "${TMP}", tmpDir);
                if (!backend.attach(*databases.at("main"), p)) failure(r, "the backend cannot create " + p);
                attached.push_back(p);
            } else if (head.rfind("use ", 0) == 0) {
                std::string p = replaceAll(afterWord(head, "use"), "${TMP}", tmpDir);
                if (p != "main") {
                    if (std::find(attached.begin(), attached.end(), p) == attached.end()) {
                        failure(r, "no database '" + p + "' is attached");
                        continue;
                    }
                    connections.erase(p);
                    databases[p] = backend.openAttached(*databases.at("main"), p);
                }
                current = p;
            } else if (head.rfind("view ", 0) == 0) {
                if (!backend.addView(*databases.at(current), afterWord(head, "view"), statement)) {
                    outcome.skipped = true;
                    outcome.skipReason = "the " + backend.name() + " backend cannot store saved queries";
                    return outcome;
                }
            } else if (head == "parse") {
                std::string got = toSql(parse(statement));
                std::string want = joinLines(r.expected, "\n");
                if (got != want) failure(r, "parse of\n  " + statement + "\ngave\n  " + got + "\nexpected\n  " + want);
            } else if (head.rfind("parse error", 0) == 0) {
                std::string want = afterWord(head, "parse error");
                try {
                    std::string got = toSql(parse(statement));
                    failure(r, "expected a parse error containing '" + want + "' for\n  " + statement +
                                   "\nbut got\n  " + got);
                } catch (const SqlError& e) {
                    if (std::string(e.what()).find(want) == std::string::npos)
                        failure(r, "the error for\n  " + statement + "\nwas\n  " + e.what() +
                                       "\nexpected it to contain\n  " + want);
                }
            } else if (head.rfind("statement ok", 0) == 0) {
                std::string count = afterWord(head, "statement ok");
                Result result = connection().execute(statement);
                if (!count.empty() && std::to_string(result.rowsAffected()) != count)
                    failure(r, statement + "\naffected " + std::to_string(result.rowsAffected()) + " rows, expected " +
                                   count);
            } else if (head.rfind("statement error", 0) == 0 || head.rfind("query error", 0) == 0) {
                std::string want =
                    replaceAll(afterWord(head, head[0] == 's' ? "statement error" : "query error"), "${TMP}", tmpDir);
                try {
                    Result result = connection().execute(statement);
                    if (result.hasRows())
                        while (result.rows().next()) {}
                    failure(r, "expected an error containing '" + want + "' for\n  " + statement);
                } catch (const SqlError& e) {
                    if (std::string(e.what()).find(want) == std::string::npos)
                        failure(r, "the error for\n  " + statement + "\nwas\n  " + e.what() +
                                       "\nexpected it to contain\n  " + want);
                } catch (const std::exception& e) {
                    if (std::string(e.what()).find(want) == std::string::npos)
                        failure(r, "the engine's error for\n  " + statement + "\nwas\n  " + e.what() +
                                       "\nexpected it to contain\n  " + want);
                }
            } else if (head.rfind("query", 0) == 0) {
                bool rowsort = afterWord(head, "query") == "rowsort";
                Result result = connection().execute(statement);
                std::vector<std::string> got;
                got.push_back(csvHeader(result.rows().columns()));
                std::vector<std::string> body;
                while (result.rows().next()) body.push_back(csvRow(result.rows().row(), result.rows().columns()));
                std::vector<std::string> want = r.expected;
                if (rowsort) {
                    std::sort(body.begin(), body.end());
                    if (!want.empty()) std::sort(want.begin() + 1, want.end());
                }
                got.insert(got.end(), body.begin(), body.end());
                if (got != want)
                    failure(r, statement + "\ngave\n  " + joinLines(got, "\n  ") + "\nexpected\n  " +
                                   joinLines(want, "\n  "));
            } else {
                failure(r, "unknown record '" + head + "'");
            }
        } catch (const std::exception& e) {
            failure(r, "'" + statement + "' failed: " + e.what());
        }
    }
    return outcome;
}

} // namespace jet::sql::testing
