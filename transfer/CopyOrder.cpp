// CopyOrder.cpp — parents before children (see CopyOrder.h).
#include "transfer/CopyOrder.h"

#include "db/ZMySql.h"

namespace tablor::transfer {

QStringList parentsFirst(const QStringList& tables, const std::vector<ForeignKey>& keys) {
    const auto indexOf = [&](const QString& name) {
        for (qsizetype i = 0; i < tables.size(); ++i)
            if (tables[i].compare(name, Qt::CaseInsensitive) == 0) return i;
        return qsizetype(-1);
    };
    // needs[i]: the listed parents table i still waits for.
    std::vector<std::vector<qsizetype>> needs(size_t(tables.size()));
    for (const ForeignKey& k : keys) {
        const qsizetype child = indexOf(k.child), parent = indexOf(k.parent);
        if (child >= 0 && parent >= 0 && child != parent) needs[size_t(child)].push_back(parent);
    }
    std::vector<bool> placed(size_t(tables.size()), false);
    QStringList order;
    while (order.size() < tables.size()) {
        // The first table in the given order whose parents are all placed; in a cycle, the
        // first table not placed yet.
        qsizetype next = -1;
        for (qsizetype i = 0; i < tables.size() && next < 0; ++i) {
            if (placed[size_t(i)]) continue;
            bool ready = true;
            for (qsizetype p : needs[size_t(i)]) ready = ready && placed[size_t(p)];
            if (ready) next = i;
        }
        if (next < 0)
            for (qsizetype i = 0; i < tables.size() && next < 0; ++i)
                if (!placed[size_t(i)]) next = i;
        placed[size_t(next)] = true;
        order << tables[next];
    }
    return order;
}

std::vector<ForeignKey> serverForeignKeys(TZMySqlDatabase& server) {
    TZMySqlQuery q;
    q.Database = &server;
    q.SQL =
        QStringList{QStringLiteral("SELECT TABLE_NAME, REFERENCED_TABLE_NAME FROM information_schema.KEY_COLUMN_USAGE "
                                   "WHERE TABLE_SCHEMA = DATABASE() AND REFERENCED_TABLE_SCHEMA = DATABASE() "
                                   "AND REFERENCED_TABLE_NAME IS NOT NULL")};
    q.Open();
    std::vector<ForeignKey> keys;
    for (int r = 0; r < q.RecordCount(); ++r) keys.push_back({q.CellText(r, 0), q.CellText(r, 1)});
    return keys;
}

} // namespace tablor::transfer
