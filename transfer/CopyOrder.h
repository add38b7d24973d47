// CopyOrder.h — the order in which tables copied together go onto the server when some refer
// to others by foreign key: parents before their children (children are emptied first, in
// the reverse order), so that uploading a whole database into an empty copy of its schema
// works. Tables in a cycle of references keep the order they were given in, after the tables
// they need; their rows that the server refuses for a missing parent are counted as failed.
#pragma once

#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

namespace tablor {
class TZMySqlDatabase;
}

namespace tablor::transfer {

struct ForeignKey {
    QString child, parent; // table names
};

// `tables` reordered parents first; references to tables outside the list, and of a table to
// itself, are no constraint. Names compare without regard to case, as MySQL's do on Linux
// only when lower_case_table_names says so; the server's spelling is the one given.
QStringList parentsFirst(const QStringList& tables, const std::vector<ForeignKey>& keys);

// The foreign keys between the tables of the connection's database. Throws EDatabaseError.
std::vector<ForeignKey> serverForeignKeys(TZMySqlDatabase& server);

} // namespace tablor::transfer
