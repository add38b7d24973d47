// Conversions between the engine's values and the data set's fields: field kinds, the
// variants and texts the windows show, the engine value an edit becomes, and sort keys.
#pragma once

#include "db/FieldTypes.h"

#include "jet/schema.h"
#include "jet/sql/value.h"
#include "jet/value.h"

#include <QByteArray>
#include <QString>
#include <QVariant>

namespace tablor::ado {

TFieldType kindOf(const jet::ColumnDef& c);

jet::ColumnType engineTypeOf(jet::sql::ColumnType t);

QByteArray bytesOf(const jet::Bytes& b);

QVariant variantOf(const jet::Value& v);

QString textOf(const jet::Value& v, TFieldType kind);

// A value of the edit buffer (already normalised to the field's kind) as the engine's value.
jet::Value engineValueOf(const QVariant& v, const jet::ColumnDef& c);

// The sort key of one value: nulls first, then numbers, text without regard to case, bytes.
struct SortKey {
    bool null = true;
    double number = 0;
    QString text;
    QByteArray bytes;
};

SortKey sortKeyOf(const jet::Value& v);

bool keyLess(const SortKey& a, const SortKey& b);

} // namespace tablor::ado
