// JetToMySql.h — one Access value as a MySQL literal for the upload's INSERT statements:
// NULL as NULL, text as a quoted string (an empty text stays empty), Currency and Decimal with
// every digit, Single and Double with every digit of their binary value, dates with their
// microseconds, bytes as X'..'.
#pragma once

#include "jet/value.h"

#include <QByteArray>

#include <functional>

namespace tablor::transfer {

// `escape` quotes nothing itself: it returns the bytes escaped for use between single quotes
// (the connection's mysql_real_escape_string). Throws std::invalid_argument for a value MySQL
// cannot hold (a floating NaN or infinity).
void appendMySqlLiteral(QByteArray& out, const jet::Value& value,
                        const std::function<QByteArray(const QByteArray&)>& escape);

// A Boolean or number as the server reads it (also in LOAD DATA's text form); false for any
// other value, with nothing appended. std::invalid_argument for a NaN or infinity.
bool appendMySqlNumber(QByteArray& out, const jet::Value& value);

// "YYYY-MM-DD HH:MM:SS.ffffff" of an Access date-time, rounded to the microsecond.
QByteArray mysqlDateTimeText(const jet::DateTime& value);

} // namespace tablor::transfer
