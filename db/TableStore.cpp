#include "db/TableStore.h"

#include "db/AdoValues.h"
#include "db/DbError.h"

#include "jet/error.h"
#include "jet/writer.h"

#include <algorithm>

namespace tablor {

using ado::kindOf;

TableStore::TableStore(std::shared_ptr<AccessFile> file, const QString& name) : m_file(std::move(file)) {
    try {
        jet::Database& db = m_file->database();
        m_def = db.table(name.toStdString());
        for (const jet::ColumnDef& c : m_def->columns) {
            types.push_back(c.type);
            int size = 0;
            if (c.type == jet::ColumnType::Text) size = db.version() == jet::Version::Jet4 ? c.length / 2 : c.length;
            else if (c.type == jet::ColumnType::Binary) size = c.length;
            fields.push_back({QString::fromStdString(c.name), kindOf(c), size,
                              !(c.flags & jet::column_flags::Nullable) && !c.isAutoNumber()});
        }
        m_nullRow.resize(m_def->columns.size());
        // A small table is listed at once. A large one is listed as far as rows are read,
        // its count taken from the table definition until the listing reaches the end.
        m_expected = m_def->storedRowCount;
        discover(m_expected <= kListAtOnce ? SIZE_MAX : kFirstBatch);
    } catch (const jet::NotFoundError&) {
        throw EDatabaseError(QStringLiteral("The table [%1] does not exist in %2.").arg(name, m_file->path()));
    } catch (...) {
        rethrowAsDatabaseError();
    }
}

size_t TableStore::storageCount() const {
    if (!m_complete && m_generation != m_file->generation())
        discover(m_ids.size()); // restart after a change to the file
    return m_complete ? m_ids.size() : std::max(m_ids.size(), m_expected);
}

// Lists row ids until at least `want` are known (SIZE_MAX: all). Restarts when the file
// changed since the listing began, because the cursor does not survive writes.
void TableStore::discover(size_t want) const {
    if (m_complete && m_generation == m_file->generation()) return;
    if (m_generation != m_file->generation() || !m_cursor) {
        if (m_complete) return; // a complete list is kept up to date by our own writes
        const size_t known = m_ids.size();
        const size_t reported = std::max(known, m_expected);
        const bool restart = m_cursor != nullptr || known > 0;
        m_ids.clear();
        m_cursor.reset();
        if (restart) {
            // The file changed: its definition carries the new row count.
            try {
                m_def = m_file->database().table(m_def->name);
            } catch (...) {
                rethrowAsDatabaseError();
            }
            m_expected = m_def->storedRowCount;
            if (m_expected != reported && m_expected > kListAtOnce && onCountCorrected) onCountCorrected();
        }
        jet::ScanOptions options;
        options.readLongValues = false;
        m_cursor = std::make_unique<jet::RowCursor>(m_file->database().scan(m_def, options));
        m_generation = m_file->generation();
        want = std::max(want, known);
    }
    try {
        while (m_ids.size() < want) {
            if (!m_cursor->skip()) {
                m_complete = true;
                m_cursor.reset();
                if (m_ids.size() != m_expected && m_expected > kListAtOnce && onCountCorrected) onCountCorrected();
                break;
            }
            m_ids.push_back(m_cursor->rowId());
        }
    } catch (...) {
        m_cursor.reset();
        rethrowAsDatabaseError();
    }
}

void TableStore::discoverAll() const {
    discover(SIZE_MAX);
    if (m_generation != m_file->generation()) m_generation = m_file->generation();
}

const std::vector<jet::Value>& TableStore::storageRow(size_t s) const {
    if (s >= m_ids.size()) discover(s + 1 + kFirstBatch);
    if (s >= m_ids.size()) return m_nullRow; // the definition promised more rows than the file holds
    const uint32_t key = m_ids[s].packed();
    if (auto it = m_cache.find(key); it != m_cache.end()) return it->second;
    if (m_cache.size() >= kCacheRows) m_cache.clear();
    std::vector<jet::Value> values;
    try {
        auto read = m_file->database().readRow(*m_def, m_ids[s]);
        // A row that vanished under us (another program deleted it) reads as empty.
        values = read ? std::move(*read) : std::vector<jet::Value>(m_def->columns.size());
    } catch (...) {
        rethrowAsDatabaseError();
    }
    return m_cache.emplace(key, std::move(values)).first->second;
}

void TableStore::storageInsert(const std::vector<jet::Value>& values) {
    discoverAll(); // the lazy listing would not survive the write
    jet::DatabaseWriter& w = m_file->requireWriter(QStringLiteral("add a row to [%1]").arg(tableName()));
    try {
        const jet::InsertResult r = w.table(m_def->name).insert(values);
        m_file->flush();
        m_generation = m_file->generation();
        m_ids.push_back(r.rowId);
        m_cache.erase(r.rowId.packed());
    } catch (...) {
        rethrowAsDatabaseError();
    }
}

void TableStore::storageUpdate(size_t s, const std::vector<jet::Value>& values) {
    discoverAll(); // the lazy listing would not survive the write
    jet::DatabaseWriter& w = m_file->requireWriter(QStringLiteral("change a row of [%1]").arg(tableName()));
    try {
        const jet::RowId old = m_ids[s];
        const jet::RowId now = w.table(m_def->name).update(old, values);
        m_file->flush();
        m_generation = m_file->generation();
        m_ids[s] = now;
        m_cache.erase(old.packed());
        m_cache.erase(now.packed());
    } catch (...) {
        rethrowAsDatabaseError();
    }
}

void TableStore::storageErase(size_t s) {
    discoverAll(); // the lazy listing would not survive the write
    jet::DatabaseWriter& w = m_file->requireWriter(QStringLiteral("delete a row of [%1]").arg(tableName()));
    try {
        w.table(m_def->name).erase(m_ids[s]);
        m_file->flush();
        m_generation = m_file->generation();
        m_cache.erase(m_ids[s].packed());
        m_ids.erase(m_ids.begin() + static_cast<std::ptrdiff_t>(s));
    } catch (...) {
        rethrowAsDatabaseError();
    }
}

std::vector<jet::Value> TableStore::columnValues(int col) const {
    discoverAll();
    std::vector<jet::Value> out(m_ids.size());
    try {
        std::unordered_map<uint32_t, size_t> where;
        where.reserve(m_ids.size());
        for (size_t i = 0; i < m_ids.size(); ++i) where.emplace(m_ids[i].packed(), i);
        jet::ScanOptions options;
        options.readLongValues = m_def->columns[static_cast<size_t>(col)].isLongValue();
        jet::RowCursor cursor = m_file->database().scan(m_def, options);
        std::vector<bool> seen(m_ids.size(), false);
        while (cursor.next()) {
            auto it = where.find(cursor.rowId().packed());
            if (it == where.end()) continue;
            out[it->second] = cursor.values()[static_cast<size_t>(col)];
            seen[it->second] = true;
        }
        for (size_t i = 0; i < m_ids.size(); ++i)
            if (!seen[i]) out[i] = storageRow(i)[static_cast<size_t>(col)];
    } catch (...) {
        rethrowAsDatabaseError();
    }
    return out;
}

// Key order of an ascending index led by the column, when it lists every row once.
std::optional<std::vector<uint32_t>> TableStore::indexOrder(int col) const {
    const uint16_t number = m_def->columns[static_cast<size_t>(col)].number;
    const jet::IndexDef* chosen = nullptr;
    for (const jet::IndexDef& ix : m_def->indexes) {
        if (ix.columns.empty() || ix.columns[0].columnNumber != number || !ix.columns[0].ascending ||
            ix.ignoresNulls() || ix.rootPage == 0)
            continue;
        // Jet orders Text keys by its sort codes; prefer the primary key, else the first.
        if (!chosen || ix.isPrimaryKey()) chosen = &ix;
    }
    if (!chosen) return std::nullopt;
    discoverAll();
    try {
        std::unordered_map<uint32_t, uint32_t> where;
        where.reserve(m_ids.size());
        for (size_t i = 0; i < m_ids.size(); ++i) where.emplace(m_ids[i].packed(), static_cast<uint32_t>(i));
        std::vector<uint32_t> order;
        order.reserve(m_ids.size());
        std::vector<bool> seen(m_ids.size(), false);
        jet::IndexCursor cursor = m_file->database().indexScan(m_def, *chosen);
        while (cursor.next()) {
            auto it = where.find(cursor.entry().row.packed());
            if (it == where.end() || seen[it->second])
                return std::nullopt; // the index does not match the rows: sort by value
            seen[it->second] = true;
            order.push_back(it->second);
        }
        if (order.size() != m_ids.size()) return std::nullopt;
        return order;
    } catch (const jet::Error&) {
        return std::nullopt; // a damaged index: the value sort still works
    }
}

} // namespace tablor
