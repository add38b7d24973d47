// The statements the connection runs, each in the file of its kind: SELECT (exec_select.cpp),
// INSERT, UPDATE and DELETE (exec_changes.cpp), CREATE and DROP TABLE and SELECT INTO
// (exec_tables.cpp).
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <string>

#include "jet/sql/ast.h"
#include "jet/sql/error.h"
#include "jet/sql/executor.h"

namespace jet::sql::exec {

[[noreturn]] void noSuchTable(const std::string& name);

std::unique_ptr<RowSet> openSelect(std::shared_ptr<SelectStatement> s, Database& db, std::int64_t identity, int depth);

Result runInsert(InsertStatement& s, Database& db, std::int64_t& identity);
Result runUpdate(UpdateStatement& s, Database& db, std::int64_t identity);
Result runDelete(DeleteStatement& s, Database& db, std::int64_t identity);

Result runCreate(CreateTableStatement& s, Database& db);
Result runDrop(DropTableStatement& s, Database& db);
Result runSelectInto(std::shared_ptr<SelectStatement> s, Database& db, std::int64_t identity);

// A row of a statement failed, thrown over that failure (std::throw_with_nested); the message
// is finished by asOneStep, which knows whether the rows before it were undone.
struct RowChangeError : ExecutionError {
    using ExecutionError::ExecutionError;
};

// A statement's row changes are one step: they all stay, or none does.
template <class Run>
Result asOneStep(Database& db, Run&& run) {
    std::unique_ptr<ChangeScope> scope = db.beginChanges();
    try {
        Result r = run();
        if (scope) scope->commit();
        return r;
    } catch (const RowChangeError& e) {
        std::throw_with_nested(
            ExecutionError(std::string(e.what()) + (scope ? "; the statement was undone, nothing changed.)"
                                                          : "; the rows before it stay changed.)")));
    }
}

} // namespace jet::sql::exec
