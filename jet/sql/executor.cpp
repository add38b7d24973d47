// Runs parsed Jet SQL statements over a Database. A SELECT becomes a chain of streams
// (index seek or scan, filter, optional sort, TOP, projection) that reads rows only as the
// caller asks for them; changes collect the affected row ids first and change the rows
// after the read has finished, so that a change never disturbs the cursor that found it.
#include "jet/sql/executor.h"

#include "exec_steps.h"
#include "jet/sql/error.h"
#include "jet/sql/parser.h"

namespace jet::sql {

Result Result::affected(std::int64_t count) {
    Result r;
    r.affected_ = count;
    return r;
}

Result Result::withRows(std::unique_ptr<RowSet> rows) {
    Result r;
    r.rows_ = std::move(rows);
    return r;
}

RowSet& Result::rows() {
    if (!rows_) throw SqlError("The statement returned no rows; only a SELECT does.");
    return *rows_;
}

namespace exec {

[[noreturn]] void noSuchTable(const std::string& name) {
    throw ExecutionError("The Microsoft Jet database engine cannot find the input table or query '" + name +
                         "'. Make sure it exists and that its name is spelled correctly.");
}

} // namespace exec

Connection::Connection(std::shared_ptr<Database> database) : database_(std::move(database)) {
    if (!database_) throw SqlError("A Jet SQL connection needs an open database.");
}

Result Connection::execute(std::string_view statement) {
    Statement parsed = parse(statement);
    Database& db = *database_;
    if (auto* s = std::get_if<SelectStatement>(&parsed)) {
        auto shared = std::make_shared<SelectStatement>(std::move(*s));
        if (shared->intoTable) return exec::runSelectInto(shared, db, lastIdentity_);
        return Result::withRows(exec::openSelect(shared, db, lastIdentity_, 0));
    }
    if (auto* s = std::get_if<InsertStatement>(&parsed))
        return exec::asOneStep(db, [&] { return exec::runInsert(*s, db, lastIdentity_); });
    if (auto* s = std::get_if<UpdateStatement>(&parsed))
        return exec::asOneStep(db, [&] { return exec::runUpdate(*s, db, lastIdentity_); });
    if (auto* s = std::get_if<DeleteStatement>(&parsed))
        return exec::asOneStep(db, [&] { return exec::runDelete(*s, db, lastIdentity_); });
    if (auto* s = std::get_if<CreateTableStatement>(&parsed)) return exec::runCreate(*s, db);
    return exec::runDrop(std::get<DropTableStatement>(parsed), db);
}

} // namespace jet::sql
