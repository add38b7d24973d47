// ADODB.cpp — the Access connection, table and query objects over the engine.
#include "db/ADODB.h"

#include "db/AccessFile.h"
#include "db/AdoStore.h"
#include "db/AdoValues.h"
#include "db/DbError.h"
#include "db/TableStore.h"
#include "db/JetConnectionString.h"

#include "jet/database.h"
#include "jet/error.h"
#include "jet/sql/engine.h"
#include "jet/sql/executor.h"
#include "jet/writer.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numeric>
#include <optional>
#include <unordered_map>

namespace tablor {

using namespace ado;

namespace {

const QRegularExpression& plainSelectForm() {
    static const QRegularExpression form(
        QStringLiteral("^\\s*SELECT\\s+\\*\\s+FROM\\s+(?:\\[([^\\]]+)\\]|([A-Za-z_][A-Za-z0-9_]*))\\s*;?\\s*$"),
        QRegularExpression::CaseInsensitiveOption);
    return form;
}

QString bareName(const QString& name) {
    const QString t = name.trimmed();
    if (t.size() >= 2 && t.startsWith(QLatin1Char('[')) && t.endsWith(QLatin1Char(']'))) return t.mid(1, t.size() - 2);
    return t;
}

} // namespace

// ==================================================================== storage

namespace {

// Rows of a SELECT, held in memory; read-only.
class SqlStore : public TCustomADODataSet::Store {
public:
    int rowsAffected = 0;

    SqlStore(jet::sql::Connection& connection, const QString& statement) {
        try {
            jet::sql::Result result = connection.execute(statement.toStdString());
            if (!result.hasRows()) {
                // SELECT ... INTO makes no rows to show: an empty result, and how many it copied.
                rowsAffected = static_cast<int>(result.rowsAffected());
                return;
            }
            jet::sql::RowSet& rows = result.rows();
            for (const jet::sql::ResultColumn& c : rows.columns()) {
                jet::ColumnDef def;
                def.name = c.name;
                def.type = engineTypeOf(c.type);
                types.push_back(def.type);
                fields.push_back({QString::fromStdString(c.name), kindOf(def), static_cast<int>(c.size), false});
            }
            while (rows.next()) {
                const jet::sql::Row& r = rows.row();
                std::vector<jet::Value> values;
                values.reserve(r.size());
                for (size_t i = 0; i < r.size(); ++i) values.push_back(jet::sql::toEngineValue(r[i], types[i]));
                m_rows.push_back(std::move(values));
            }
        } catch (...) {
            rethrowAsDatabaseError();
        }
    }

protected:
    size_t storageCount() const override { return m_rows.size(); }
    const std::vector<jet::Value>& storageRow(size_t s) const override { return m_rows[s]; }
    void storageInsert(const std::vector<jet::Value>&) override { readOnly(); }
    void storageUpdate(size_t, const std::vector<jet::Value>&) override { readOnly(); }
    void storageErase(size_t) override { readOnly(); }
    std::vector<jet::Value> columnValues(int col) const override {
        std::vector<jet::Value> out;
        out.reserve(m_rows.size());
        for (const auto& r : m_rows) out.push_back(r[static_cast<size_t>(col)]);
        return out;
    }

private:
    [[noreturn]] static void readOnly() {
        throw EDatabaseError(
            QStringLiteral("The rows of this query cannot be changed: only a table, or SELECT * FROM one "
                           "table, can be edited. Open the table itself to change it."));
    }
    std::vector<std::vector<jet::Value>> m_rows;
};

} // namespace

// ==================================================================== TADOConnection

TADOConnection::TADOConnection() = default;

TADOConnection::~TADOConnection() {
    try {
        Close();
    } catch (const std::exception& e) {
        jet::reportLostChanges(e.what()); // a destructor cannot throw it
    }
    for (TCustomADODataSet* ds : m_dataSets) ds->m_connection = nullptr;
}

void TADOConnection::Open() {
    if (m_file) return;
    const JetConnectionString cs = JetConnectionString::parse(ConnectionString);
    m_file = AccessFile::open(cs.DataSource);
    m_sql = std::make_unique<jet::sql::Connection>(m_file->sql());
    if (AfterConnect) AfterConnect(this);
}

void TADOConnection::Close() {
    if (!m_file) return;
    const auto dataSets = m_dataSets;
    for (TCustomADODataSet* ds : dataSets) ds->Close();
    m_sql.reset();
    try {
        AccessFile::release(m_file);
    } catch (...) {
        if (AfterDisconnect) AfterDisconnect(this);
        throw;
    }
    if (AfterDisconnect) AfterDisconnect(this);
}

AccessFile& TADOConnection::file() const {
    if (!m_file) throw EDatabaseError(QStringLiteral("The Access connection is not open. Open an Access file first."));
    return *m_file;
}

jet::sql::Connection& TADOConnection::sqlConnection() const {
    file();
    return *m_sql;
}

void TADOConnection::GetTableNames(QStringList& list, bool SystemTables) const {
    list.clear();
    QStringList tables, views;
    try {
        for (const jet::CatalogEntry& e : file().database().objects()) {
            if (e.kind == jet::ObjectKind::Table || (SystemTables && e.kind == jet::ObjectKind::SystemTable))
                tables << QString::fromStdString(e.name);
            else if (e.kind == jet::ObjectKind::View) views << QString::fromStdString(e.name);
        }
    } catch (...) {
        rethrowAsDatabaseError();
    }
    const auto byName = [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; };
    std::stable_sort(tables.begin(), tables.end(), byName);
    std::stable_sort(views.begin(), views.end(), byName);
    list << tables << views;
}

int TADOConnection::Execute(const QString& statement) {
    // A statement is one step: one that fails has undone its rows in the writer's cache, so
    // the flush after a failure writes only what was complete before (a SELECT INTO's new
    // table in another file, say), never half a statement.
    int affected = 0;
    try {
        affected = static_cast<int>(sqlConnection().execute(statement.toStdString()).rowsAffected());
    } catch (...) {
        AccessFile::flushAll();
        rethrowAsDatabaseError();
    }
    AccessFile::flushAll();
    return affected;
}

void TADOConnection::attach(TCustomADODataSet* ds) {
    if (std::find(m_dataSets.begin(), m_dataSets.end(), ds) == m_dataSets.end()) m_dataSets.push_back(ds);
}

void TADOConnection::detach(TCustomADODataSet* ds) { std::erase(m_dataSets, ds); }

// ==================================================================== TCustomADODataSet

TCustomADODataSet::TCustomADODataSet() = default;

TCustomADODataSet::~TCustomADODataSet() {
    if (m_connection) m_connection->detach(this);
}

void TCustomADODataSet::setConnection(TADOConnection* connection) {
    if (connection == m_connection) return;
    Close();
    if (m_connection) m_connection->detach(this);
    m_connection = connection;
    if (m_connection) m_connection->attach(this);
}

AccessFile& TCustomADODataSet::requireFile() const {
    if (!m_connection) throw EDatabaseError(QStringLiteral("The data set has no Access connection."));
    return m_connection->file();
}

void TCustomADODataSet::addStoreFields() {
    for (const Store::Field& f : m_store->fields) addField(f.name, f.kind, f.size, f.required);
}

void TCustomADODataSet::openTableStore(const QString& name) {
    AccessFile& file = requireFile();
    bool isTable = false;
    bool isView = false;
    try {
        isTable = file.database().hasTable(name.toStdString());
        if (!isTable)
            for (const jet::CatalogEntry& e : file.database().views())
                isView = isView || e.name == name.toStdString() ||
                         QString::fromStdString(e.name).compare(name, Qt::CaseInsensitive) == 0;
    } catch (...) {
        rethrowAsDatabaseError();
    }
    if (isTable) {
        // The registry hands out the same shared handle the connection holds.
        auto store = std::make_unique<TableStore>(AccessFile::open(file.path()), name);
        // Rare: the definition's row count was stale; views re-read everything.
        store->onCountCorrected = [this] { notify(TDataChange::Reset, CurrentRow()); };
        m_store = std::move(store);
    } else if (isView) {
        m_store =
            std::make_unique<SqlStore>(m_connection->sqlConnection(), QStringLiteral("SELECT * FROM [%1]").arg(name));
    } else {
        throw EDatabaseError(QStringLiteral("The table [%1] does not exist in %2.").arg(name, file.path()));
    }
    m_sortedByIndex = false;
    addStoreFields();
}

void TCustomADODataSet::openSqlStore(const QString& statement) {
    requireFile();
    auto store = std::make_unique<SqlStore>(m_connection->sqlConnection(), statement);
    m_openRowsAffected = store->rowsAffected;
    m_store = std::move(store);
    AccessFile::flushAll(); // SELECT ... INTO writes
    m_sortedByIndex = false;
    addStoreFields();
}

void TCustomADODataSet::InternalClose() {
    m_store.reset();
    m_sortedByIndex = false;
}

int TCustomADODataSet::storedCount() const { return m_store ? m_store->count() : 0; }

bool TCustomADODataSet::storedIsNull(int row, int col) const {
    return m_store->row(row)[static_cast<size_t>(col)].isNull();
}

QVariant TCustomADODataSet::storedValue(int row, int col) const {
    return variantOf(m_store->row(row)[static_cast<size_t>(col)]);
}

QString TCustomADODataSet::storedText(int row, int col) const {
    return textOf(m_store->row(row)[static_cast<size_t>(col)], m_store->fields[static_cast<size_t>(col)].kind);
}

QByteArray TCustomADODataSet::storedBytes(int row, int col) const {
    const jet::Value& v = m_store->row(row)[static_cast<size_t>(col)];
    if (v.kind() == jet::Value::Kind::Binary) return bytesOf(v.asBinary());
    return textOf(v, m_store->fields[static_cast<size_t>(col)].kind).toUtf8();
}

namespace {
jet::ColumnDef columnFor(const TCustomADODataSet::Store& store, size_t col) {
    jet::ColumnDef c;
    c.name = store.fields[col].name.toStdString();
    c.type = store.types[col];
    return c;
}
} // namespace

// A failed record command names the record: the new one at the end, or the one at `row`.
void TCustomADODataSet::InternalPostInsert(const EditBuffer& buffer) {
    try {
        std::vector<jet::Value> values(m_store->types.size());
        for (size_t c = 0; c < values.size(); ++c)
            if (buffer.assigned[c]) values[c] = engineValueOf(buffer.values[c], columnFor(*m_store, c));
        m_store->insert(values);
    } catch (...) {
        rethrowAsDatabaseError(m_store->count() + 1);
    }
}

void TCustomADODataSet::InternalPostEdit(int row, const EditBuffer& buffer) {
    try {
        std::vector<jet::Value> values = m_store->row(row);
        bool changed = false;
        for (size_t c = 0; c < values.size(); ++c) {
            if (!buffer.assigned[c]) continue;
            jet::Value v = engineValueOf(buffer.values[c], columnFor(*m_store, c));
            if (!(v == values[c])) {
                values[c] = std::move(v);
                changed = true;
            }
        }
        if (changed) // a post without a change writes nothing
            m_store->update(row, values);
    } catch (...) {
        rethrowAsDatabaseError(row + 1);
    }
}

void TCustomADODataSet::InternalDelete(int row) {
    try {
        m_store->erase(row);
    } catch (...) {
        rethrowAsDatabaseError(row + 1);
    }
}

int TCustomADODataSet::InternalSort(int col, int currentRow) {
    bool byIndex = false;
    const int now = m_store->sort(col, currentRow, byIndex);
    m_sortedByIndex = byIndex;
    return now;
}

// ==================================================================== TADOTable

TADOTable::TADOTable() = default;
TADOTable::~TADOTable() { Close(); }

void TADOTable::setTableName(const QString& name) {
    if (name == m_tableName) return;
    Close();
    m_tableName = name;
}

void TADOTable::InternalOpen() {
    const QString name = bareName(m_tableName);
    if (name.isEmpty()) throw EDatabaseError(QStringLiteral("No table name is set."));
    openTableStore(name);
}

// ==================================================================== TADOQuery

TADOQuery::TADOQuery() = default;
TADOQuery::~TADOQuery() { Close(); }
TMyQuery::TMyQuery() = default;
TMyQuery::~TMyQuery() = default;

TADOConnection& TADOQuery::effectiveConnection() {
    if (m_connection && m_connection != m_ownConnection.get()) return *m_connection;
    if (ConnectionString.isEmpty())
        throw EDatabaseError(QStringLiteral("The query has neither a connection nor a connection string."));
    if (!m_ownConnection || m_ownConnection->ConnectionString != ConnectionString) {
        setConnection(nullptr);
        m_ownConnection = std::make_unique<TADOConnection>();
        m_ownConnection->ConnectionString = ConnectionString;
    }
    m_ownConnection->Open();
    return *m_ownConnection;
}

void TADOQuery::InternalOpen() {
    m_openRowsAffected = 0;
    TADOConnection& conn = effectiveConnection();
    if (!m_connection) setConnection(&conn); // the query's own connection (inactive here, so nothing is closed)
    const QString statement = SQL.join(QLatin1Char('\n'));
    const auto m = plainSelectForm().match(statement);
    if (m.hasMatch()) {
        const QString name = m.captured(1).isEmpty() ? m.captured(2) : m.captured(1);
        try {
            if (conn.file().database().hasTable(name.toStdString())) {
                openTableStore(name);
                return;
            }
        } catch (const jet::Error&) {
            rethrowAsDatabaseError();
        }
    }
    openSqlStore(statement);
}

int TADOQuery::ExecSQL() {
    Close();
    TADOConnection& conn = effectiveConnection();
    try {
        jet::sql::Result r = conn.sqlConnection().execute(SQL.join(QLatin1Char('\n')).toStdString());
        m_rowsAffected = static_cast<int>(r.rowsAffected());
    } catch (...) {
        m_rowsAffected = 0;
        AccessFile::flushAll();
        rethrowAsDatabaseError();
    }
    AccessFile::flushAll();
    return m_rowsAffected;
}

// ==================================================================== creating files

void CreateAccessDatabase(const QString& connectionString) {
    const JetConnectionString cs = JetConnectionString::parse(connectionString);
    if (QFileInfo::exists(cs.DataSource))
        throw EDatabaseError(
            QStringLiteral("Cannot create '%1': a file of that name exists already.").arg(cs.DataSource));
    const jet::Version version = cs.EngineType == QLatin1String("4") ? jet::Version::Jet3 : jet::Version::Jet4;
    try {
        jet::DatabaseWriter w =
            jet::DatabaseWriter::create(std::filesystem::path(cs.DataSource.toStdString()), version);
        w.close();
    } catch (...) {
        rethrowAsDatabaseError();
    }
}

bool CreateLocalDatabase(const QString& path, bool office2000, const QString& tableName, void* sender,
                         const TBeforeCreateDBEvent& OnBeforeCreateDB, const TAfterCreateDBEvent& AfterCreateDB) {
    if (OnBeforeCreateDB) OnBeforeCreateDB(sender, tableName);
    const QString cs = JetShortConnectionString(path, JetEngineType(office2000 ? 1 : 0));
    try {
        CreateAccessDatabase(cs);
    } catch (const EDatabaseError& e) {
        if (AfterCreateDB) AfterCreateDB(sender, tableName, false, e.Message());
        return false;
    }
    if (AfterCreateDB) AfterCreateDB(sender, tableName, true, QString());
    return true;
}

} // namespace tablor
