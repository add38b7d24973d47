// printrules.h — the rules by which a table's fields become the columns of its printout: which
// field kinds can be printed, how wide each column is, and the report's title.
#pragma once

#include "db/FieldTypes.h"

#include <QString>

namespace tablor {

class TDataSet;
class TField;

// String, integer kinds, float, currency, date and time kinds, auto-increment, memo kinds,
// fixed-length and wide strings, 64-bit integer, time stamp. Not Boolean, BCD, bytes, blobs,
// graphics, variants, GUIDs.
bool IsPrintableType(TFieldType type);

// The field's declared size as the width rule counts it: the maximum number of characters of a
// string field, 0 for every other kind (numbers, dates, memos).
int DeclaredSize(const TField& field);

// The narrowest a column is printed.
inline constexpr int MinColumnWidth = 30;

// The width the columns share: the report's width in screen pixels less 500.
int AvailableWidth(double reportWidthPixels);

// A column's width in pixels: size × 100 / totalSize × available / 100 rounded to the nearest
// integer (halves to even); MinColumnWidth when the total is 0 or the result is smaller.
int ColumnWidth(int size, int totalSize, int available);

// The title of a table's printout: an Access table's bare name; for a MySQL table (and any other
// data set) "Datenbank Übersicht: " and the table's name. German in both languages.
QString ReportTitle(const TDataSet* dataSet);

} // namespace tablor
