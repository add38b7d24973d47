// tablor-mdb sql (see sql_command.h).
#include "sql_command.h"

#include "commands.h"
#include "csv_writer.h"
#include "jet/error.h"
#include "jet/sql/engine.h"
#include "jet/sql/error.h"
#include "jet/sql/executor.h"
#include "jet/sql/parser.h"

namespace jet::tool {
namespace {

// The engine value that prints a result cell the way `export` prints a table cell.
Value outputValue(const sql::Value& v, sql::ColumnType declared) {
    if (v.isNull()) return Value::null();
    if (v.isBool()) return Value::boolean(v.asBool());
    if (v.isInt()) {
        std::int64_t i = v.asInt();
        if (i >= INT32_MIN && i <= INT32_MAX) return Value::longInt(static_cast<int32_t>(i));
        return Value::decimal(sql::toEngineValue(sql::Value(sql::Decimal{i, 0}), ColumnType::Numeric).asDecimal());
    }
    if (v.isDouble()) {
        if (declared == sql::ColumnType::Single) return Value::single(static_cast<float>(v.asDouble()));
        return Value::dbl(v.asDouble());
    }
    if (v.isDecimal()) {
        if (declared == sql::ColumnType::Currency && v.asDecimal().scale == 4)
            return sql::toEngineValue(v, ColumnType::Currency);
        return sql::toEngineValue(v, ColumnType::Numeric);
    }
    if (v.isDateTime()) return sql::toEngineValue(v, ColumnType::DateTime);
    if (v.isBytes()) return Value::binary(v.asBytes().data);
    if (v.isGuid()) return sql::toEngineValue(v, ColumnType::Guid);
    return Value::text(v.asText());
}

bool changesTheFile(const std::string& statement) {
    sql::Statement parsed = sql::parse(statement);
    auto* select = std::get_if<sql::SelectStatement>(&parsed);
    return !select || select->intoTable.has_value();
}

} // namespace

int runSql(const std::vector<std::string>& args, const OpenOptions& options, std::FILE* out, std::FILE* err) {
    if (args.size() != 3) {
        std::fprintf(err, "tablor-mdb: sql needs a file and one statement: tablor-mdb sql FILE 'SELECT * FROM [t]'\n");
        return 2;
    }
    try {
        sql::EngineOptions engineOptions;
        engineOptions.jet3CodePage = options.jet3CodePage;
        engineOptions.writable = changesTheFile(args[2]);
        sql::Connection connection(sql::openEngineDatabase(args[1], engineOptions));
        sql::Result result = connection.execute(args[2]);
        if (!result.hasRows()) {
            connection.database().flush(); // a failure to write is an error here, not a line on stderr
            std::fprintf(out, "%lld\n", static_cast<long long>(result.rowsAffected()));
            return 0;
        }
        sql::RowSet& rows = result.rows();
        CsvWriter csv(out);
        std::vector<ColumnDef> columns;
        for (const auto& c : rows.columns()) {
            ColumnDef def;
            def.name = c.name;
            def.type = c.type == sql::ColumnType::Ole ? ColumnType::Ole : ColumnType::Text; // decides binary quoting
            columns.push_back(def);
        }
        csv.header(columns);
        std::vector<Value> cells(columns.size());
        while (rows.next()) {
            const sql::Row& row = rows.row();
            for (std::size_t i = 0; i < cells.size(); ++i) cells[i] = outputValue(row[i], rows.columns()[i].type);
            csv.row(cells);
        }
        csv.flush();
        return 0;
    } catch (const sql::SqlError& e) {
        std::fprintf(err, "tablor-mdb: %s\n", e.what());
        return kSqlStatementFailed;
    } catch (const Error& e) {
        return reportEngineError(err, e);
    } catch (const std::exception& e) {
        std::fprintf(err, "tablor-mdb: %s\n", e.what());
        return kSqlStatementFailed;
    }
}

} // namespace jet::tool
