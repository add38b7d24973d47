#pragma once

#include "db/AccessFile.h"
#include "db/AdoStore.h"

#include "jet/database.h"
#include "jet/schema.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

namespace tablor {

// A stored table: the row ids are listed at open, each row is decoded when first read and
// kept in a small cache; writes go to the file through the engine's writer at once.
class TableStore : public TCustomADODataSet::Store {
public:
    TableStore(std::shared_ptr<AccessFile> file, const QString& name);

    // The listing is complete (the count is exact).
    bool complete() const { return m_complete; }

    // Called when the listing ends with another count than the table definition claimed.
    std::function<void()> onCountCorrected;

protected:
    size_t storageCount() const override;

    // Lists row ids until at least `want` are known (SIZE_MAX: all). Restarts when the file
    // changed since the listing began, because the cursor does not survive writes.
    void discover(size_t want) const;
    void discoverAll() const;

    const std::vector<jet::Value>& storageRow(size_t s) const override;

    void storageInsert(const std::vector<jet::Value>& values) override;

    void storageUpdate(size_t s, const std::vector<jet::Value>& values) override;

    void storageErase(size_t s) override;

    std::vector<jet::Value> columnValues(int col) const override;

    // Key order of an ascending index led by the column, when it lists every row once.
    std::optional<std::vector<uint32_t>> indexOrder(int col) const override;

private:
    QString tableName() const { return QString::fromStdString(m_def->name); }
    static constexpr size_t kCacheRows = 2048;
    static constexpr size_t kListAtOnce = 20000; // tables up to this size are listed at open
    static constexpr size_t kFirstBatch = 512;   // rows listed ahead of the one asked for
    std::shared_ptr<AccessFile> m_file;
    mutable std::shared_ptr<const jet::TableDef> m_def;
    mutable std::vector<jet::RowId> m_ids;
    mutable std::unique_ptr<jet::RowCursor> m_cursor;
    mutable bool m_complete = false;
    mutable quint64 m_generation = 0;
    mutable size_t m_expected = 0;
    std::vector<jet::Value> m_nullRow;
    mutable std::unordered_map<uint32_t, std::vector<jet::Value>> m_cache;
};

} // namespace tablor
