// TypeMap.h — how a MySQL column becomes a column of an Access table on download.
//
// Input is one row of the server's DESCRIBE (Field, Type, Null, Key, Default, Extra); output is
// the engine's ColumnSpec plus the way the column's values are read (ValueSource). TypeMap is
// the ordered list of MySQL type names with their Jet types; a type text matches an entry when
// it begins with the entry's name followed by a blank or "(" or is the name alone, so "int("
// never matches "tinyint(4)" and "char(" never matches "varchar(50)". What follows the size
// ("unsigned zerofill", "CHARACTER SET latin1", "binary") is read for "unsigned" and otherwise
// ignored. Every column gets a definition: a type without an entry keeps its values as text
// (Memo). The table of what each type becomes and what happens to values that do not fit is in
// transfer/README.md.
#pragma once

#include "jet/writer.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace tablor::transfer {

// One row of DESCRIBE.
struct ColumnDescription {
    QString Field, Type, Null, Key, Default, Extra;
};

// The parts of a MySQL type text: "decimal(12,2) unsigned zerofill" gives name "decimal",
// arguments "12", "2", unsigned. For enum and set the arguments are the member literals as
// written (quotes included).
struct MySqlType {
    QString name;     // lower case: "int", "varchar", "double precision" is "double"
    QStringList args; // inside the first parentheses, split at top-level commas
    bool isUnsigned = false;
    QString text; // the whole type text as given
    static MySqlType parse(const QString& typeText);
    int arg(int i, int fallback) const; // a numeric argument, or fallback when absent or no number
};

// How the copy reads a column's values from the server's text form.
enum class ValueSource {
    Number,   // integers and decimals in plain notation
    Floating, // double text; float columns are selected as CAST(... AS DOUBLE) (the text form of a float has 6 digits)
    Temporal, // "YYYY-MM-DD[ HH:MM:SS[.ffffff]]"; the zero date is NULL
    Text,     // UTF-8 text, kept as it is
    Bytes,    // bytes, kept as they are
    Bits,     // BIT(n): the value as big-endian bytes
};

struct ColumnPlan {
    QString sourceName; // the MySQL column
    MySqlType mysqlType;
    jet::ColumnSpec access; // the Access column (same name)
    ValueSource source = ValueSource::Text;
    QString jetType; // the Jet SQL name of the Access type, for messages: "DECIMAL (12,2)"
    bool primaryKey = false;
    bool unique = false;
};

// One entry of TypeMap: the MySQL type name and the Jet type it gives when no size rule applies.
struct TypeMapEntry {
    const char* mysqlName;
    const char* jetType;
};
// The entries in matching order (TypeMap.cpp).
const std::vector<TypeMapEntry>& TypeMap();
// The entry whose name the type text begins with (see above), or nullptr.
const TypeMapEntry* matchTypeMap(const QString& typeText);

// The Access column for one DESCRIBE row. Never fails: an unknown type becomes Memo.
ColumnPlan columnDefinition(const ColumnDescription& column);

struct TablePlan {
    QString name;
    std::vector<ColumnPlan> columns;
    QStringList keyColumns; // the whole primary key, in key order; empty without one
    // The engine's table: the columns, the primary key over every key column, and a unique
    // index (nulls ignored, as MySQL allows many) for each UNI column.
    jet::TableSpec tableSpec() const;
};

// The Access table for a server table: every column, and the whole primary key. keyOrder is
// the key's columns in key order (SHOW INDEX); without it the PRI columns in column order.
TablePlan tableDefinition(const QString& table, const std::vector<ColumnDescription>& columns,
                          const QStringList& keyOrder = {});

// Access 97 has no Decimal type. For an Access 97 file each Decimal column of the plan becomes
// Currency where Currency holds every value exactly (at most 15 digits before the point and 4
// after), and otherwise text of the digits, as a decimal too wide for Access 2000 does: the
// values arrive exact either way.
void fitToAccess97(TablePlan& plan);

} // namespace tablor::transfer
