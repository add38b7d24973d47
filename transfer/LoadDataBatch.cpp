// LoadDataBatch.cpp — rows as one LOAD DATA LOCAL statement (see LoadDataBatch.h).
#include "transfer/LoadDataBatch.h"

#include "transfer/JetToMySql.h"

#include "db/DbError.h"
#include "db/ZMySql.h"

#include <mysql.h>
#include <errmsg.h>
#include <mysqld_error.h>

#include <algorithm>
#include <cstring>

namespace tablor::transfer {

namespace {

// The name the statement gives; the handler serves the buffer under no other.
constexpr char kSourceName[] = "tablor-rows";

struct Reading {
    const QByteArray* data = nullptr; // null between batches: every request is refused
    qsizetype at = 0;
    bool foreign = false; // the server asked for another file, or asked when no batch was sent
};
Reading refuseAll;

int infileInit(void** state, const char* name, void* user) {
    auto* r = static_cast<Reading*>(user);
    *state = r;
    if (r == &refuseAll || !r->data || std::strcmp(name, kSourceName) != 0) {
        if (r != &refuseAll) r->foreign = true;
        return 1;
    }
    r->at = 0;
    return 0;
}

int infileRead(void* state, char* buffer, unsigned int length) {
    auto* r = static_cast<Reading*>(state);
    const qsizetype n = std::min<qsizetype>(length, r->data->size() - r->at);
    std::memcpy(buffer, r->data->constData() + r->at, static_cast<size_t>(n));
    r->at += n;
    return static_cast<int>(n);
}

void infileEnd(void*) {}

int infileError(void* state, char* message, unsigned int length) {
    const auto* r = static_cast<Reading*>(state);
    std::snprintf(message, length, "%s",
                  r == &refuseAll || r->foreign
                      ? "the server asked for a file other than the rows Tablor sends; refused"
                      : "reading the rows failed");
    return CR_UNKNOWN_ERROR;
}

bool binaryColumn(jet::ColumnType t) { return t == jet::ColumnType::Binary || t == jet::ColumnType::Ole; }

void appendEscaped(QByteArray& out, const char* p, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        switch (p[i]) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\0': out += "\\0"; break;
        default: out += p[i];
        }
    }
}

} // namespace

void refuseLocalInfile(st_mysql* connection) {
    mysql_set_local_infile_handler(connection, infileInit, infileRead, infileEnd, infileError, &refuseAll);
}

LoadDataBatch::LoadDataBatch(st_mysql* connection, const QString& table, const jet::TableDef& def)
    : m_connection(connection) {
    std::vector<std::pair<QString, bool>> columns;
    for (const jet::ColumnDef& c : def.columns) {
        m_types.push_back(c.type);
        columns.emplace_back(QString::fromStdString(c.name), binaryColumn(c.type));
    }
    init(table, columns);
}

LoadDataBatch::LoadDataBatch(st_mysql* connection, const QString& table,
                             const std::vector<std::pair<QString, bool>>& columns)
    : m_connection(connection) {
    init(table, columns);
}

void LoadDataBatch::init(const QString& table, const std::vector<std::pair<QString, bool>>& columns) {
    // Bytes travel as hex and are turned back by the server: the file's character set
    // applies to every field, and bytes are not text in any of them.
    QByteArray names, assignments;
    for (size_t i = 0; i < columns.size(); ++i) {
        const QByteArray name = QuoteIdentifier(columns[i].first).toUtf8();
        m_binary.push_back(columns[i].second);
        if (i) names += ", ";
        if (columns[i].second) {
            const QByteArray var = "@b" + QByteArray::number(qulonglong(i));
            names += var;
            assignments += (assignments.isEmpty() ? " SET " : ", ") + name + " = UNHEX(" + var + ")";
        } else {
            names += name;
        }
    }
    m_statement = QByteArray("LOAD DATA LOCAL INFILE '") + kSourceName + "' INTO TABLE " +
                  QuoteIdentifier(table).toUtf8() + " CHARACTER SET utf8mb4 (" + names + ")" + assignments;
}

void LoadDataBatch::appendField(const char* data, size_t size) {
    if (m_field) m_data += '\t';
    if (!data) m_data += "\\N";
    else if (m_binary[m_field]) m_data += QByteArray::fromRawData(data, qsizetype(size)).toHex();
    else appendEscaped(m_data, data, size);
    ++m_field;
}

void LoadDataBatch::endRow() {
    m_data += '\n';
    m_field = 0;
    ++m_rows;
}

void LoadDataBatch::append(std::span<const jet::Value> row) {
    const qsizetype start = m_data.size();
    try {
        for (size_t i = 0; i < row.size(); ++i) {
            if (i) m_data += '\t';
            const jet::Value& v = row[i];
            using K = jet::Value::Kind;
            switch (v.kind()) {
            case K::Null: m_data += "\\N"; break;
            case K::DateTime: m_data += mysqlDateTimeText(v.asDateTime()); break;
            case K::Guid: m_data += v.asGuid().toString().c_str(); break;
            case K::Text: appendEscaped(m_data, v.asText().data(), v.asText().size()); break;
            case K::Binary: {
                const jet::Bytes& b = v.asBinary();
                m_data += QByteArray::fromRawData(reinterpret_cast<const char*>(b.data()), qsizetype(b.size())).toHex();
                break;
            }
            default:
                if (binaryColumn(m_types[i])) throw std::invalid_argument("a value that is not bytes in a byte column");
                appendMySqlNumber(m_data, v);
            }
        }
    } catch (...) {
        m_data.truncate(start);
        throw;
    }
    m_data += '\n';
    ++m_rows;
}

void LoadDataBatch::clear() {
    m_data.clear();
    m_rows = 0;
}

LoadDataBatch::Outcome LoadDataBatch::send() {
    Reading reading{&m_data};
    mysql_set_local_infile_handler(m_connection, infileInit, infileRead, infileEnd, infileError, &reading);
    const int rc =
        mysql_real_query(m_connection, m_statement.constData(), static_cast<unsigned long>(m_statement.size()));
    refuseLocalInfile(m_connection);
    if (rc != 0) {
        const unsigned code = mysql_errno(m_connection);
        if (code == ER_NOT_ALLOWED_COMMAND || code == ER_LOAD_INFILE_CAPABILITY_DISABLED) return Outcome::Refused;
        throw EDatabaseError(QString::fromUtf8(mysql_error(m_connection)), code);
    }
    return mysql_warning_count(m_connection) > 0 ? Outcome::Warned : Outcome::Stored;
}

} // namespace tablor::transfer
