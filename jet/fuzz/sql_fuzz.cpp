#include "sql_fuzz.h"

#include "sql_fuzz_database.h"

#include "jet/check.h"
#include "jet/database.h"
#include "jet/error.h"
#include "jet/sql/ast.h"
#include "jet/sql/csv.h"
#include "jet/sql/engine.h"
#include "jet/sql/error.h"
#include "jet/sql/executor.h"
#include "jet/sql/parser.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <variant>

namespace jet::fuzz {
namespace {

// Rows read of one result at most: enough to reach every row of the small database.
constexpr int kMaxRows = 400;

SqlFuzzDatabase& database() {
    static SqlFuzzDatabase db;
    static const bool openerSet = [] {
        // SELECT ... INTO ... IN 'file' writes to the second database whatever file it names.
        jet::sql::setOtherDatabaseOpener([](const std::string&) {
            jet::sql::EngineOptions options;
            options.writable = true;
            return jet::sql::openEngineDatabase(db.otherPath(), options);
        });
        return true;
    }();
    (void)openerSet;
    return db;
}

// What a statement may change, from its parse; the integrity check runs only on the files
// that a statement could have changed (it is most of the time an input takes).
struct Changes {
    bool file = false;  // anything but a plain SELECT
    bool other = false; // SELECT ... INTO ... IN 'file'
};

// A statement the parser took must come back from its canonical text as the same tree.
void checkCanonicalText(const std::string& statement, Changes& changes) {
    std::string canonical;
    try {
        const jet::sql::Statement parsed = jet::sql::parse(statement);
        const auto* select = std::get_if<jet::sql::SelectStatement>(&parsed);
        changes.file = changes.file || !select || select->intoTable;
        changes.other = changes.other || (select && select->intoFile);
        canonical = jet::sql::toSql(parsed);
    } catch (const jet::sql::SqlError&) {
        return;
    }
    std::string again;
    try {
        again = jet::sql::toSql(jet::sql::parse(canonical));
    } catch (const jet::sql::SqlError& e) {
        throw FuzzFinding("the canonical text of '" + statement + "' does not parse: " + canonical + ": " + e.what());
    }
    if (again != canonical)
        throw FuzzFinding("the canonical text of '" + statement + "' parses differently: " + canonical + " -> " +
                          again);
}

// TABLOR_FUZZ_SQL_TRACE=1 prints each statement and how it ended, for looking at an input.
bool tracing() {
    static const bool on = std::getenv("TABLOR_FUZZ_SQL_TRACE") != nullptr;
    return on;
}

void run(jet::sql::Connection& connection, const std::string& statement) {
    jet::sql::Result result = connection.execute(statement);
    if (tracing()) std::fprintf(stderr, "ok   %s\n", statement.c_str());
    if (!result.hasRows()) return;
    jet::sql::RowSet& rows = result.rows();
    std::string text = jet::sql::csvHeader(rows.columns());
    for (int n = 0; n < kMaxRows && rows.next(); ++n) {
        if (rows.row().size() != rows.columns().size())
            throw FuzzFinding("a row of '" + statement + "' has " + std::to_string(rows.row().size()) + " values for " +
                              std::to_string(rows.columns().size()) + " columns");
        text += jet::sql::csvRow(rows.row(), rows.columns());
    }
}

void checkFile(const std::filesystem::path& path) {
    const CheckReport report = checkDatabase(Database::open(path));
    if (report.ok()) return;
    std::string problems;
    for (const std::string& p : report.problems) problems += "\n  " + p;
    throw FuzzFinding(path.filename().string() + " fails the check after the statements:" + problems);
}

} // namespace

std::vector<std::string> splitStatements(std::string_view input) {
    std::vector<std::string> out;
    std::string current;
    char open = 0; // the quote or bracket we are inside of
    auto finish = [&] {
        if (current.find_first_not_of(" \t\r\f\v") != std::string::npos && out.size() < kMaxStatements)
            out.push_back(current);
        current.clear();
    };
    for (const char c : input) {
        if (open) {
            if (c == open || (open == '[' && c == ']')) open = 0;
        } else if (c == '\'' || c == '"' || c == '[') {
            open = c;
        } else if (c == ';' || c == '\n') {
            finish();
            continue;
        }
        current += c;
    }
    finish();
    return out;
}

void runSqlInput(const std::uint8_t* data, std::size_t size) {
    SqlFuzzDatabase& db = database();
    db.restore();
    const std::vector<std::string> statements =
        splitStatements(std::string_view(reinterpret_cast<const char*>(data), size));
    if (statements.empty()) return;
    Changes changes;
    {
        jet::sql::EngineOptions options;
        options.writable = true;
        std::shared_ptr<jet::sql::Database> sql = jet::sql::openEngineDatabase(db.path(), options);
        jet::sql::Connection connection(sql);
        for (const std::string& statement : statements) {
            checkCanonicalText(statement, changes);
            try {
                run(connection, statement);
            } catch (const std::runtime_error& e) {
                // The documented failures; anything else is a finding and leaves.
                if (!dynamic_cast<const jet::sql::SqlError*>(&e) && !dynamic_cast<const jet::Error*>(&e)) throw;
                if (tracing()) std::fprintf(stderr, "fail %s\n     %s\n", statement.c_str(), e.what());
            }
        }
        sql->flush();
    }
    if (changes.file) checkFile(db.path());
    if (changes.other) checkFile(db.otherPath());
}

} // namespace jet::fuzz
