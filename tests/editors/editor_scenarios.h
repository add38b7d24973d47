// The field editors' edge cases, run on any data set: the Access table of a Northwind copy and
// the MySQL table of the sandbox call the same scenarios on their own rows.
//
// The table's rows, in order: 1 a GIF picture, 2 a ZIP archive, 3 a picture Access wrapped
// (OLE "Paint.Picture" around a BMP), then at least one more row; the memo column of row 1
// holds two lines.
#pragma once

#include "db/DataSet.h"

#include <QByteArray>
#include <QString>

#include <functional>

namespace tablor::test {

// The bytes of the row-1 GIF (9 x 7) and of the ZIP of row 2.
QByteArray scenarioGif();
QByteArray scenarioZip();

// Paging, the placeholder, Swap then paging, a failed swap, Apply writing JPEG, the wheel.
// `reopen` closes and opens the data set again (at its first record) so that what Apply wrote
// is read back from the storage.
void runViewerScenario(TDataSet& ds, int pictureColumn, const std::function<void()>& reopen);

// Apply keeps the line breaks; Close leaves the field as it was although the record is posted.
void runMemoScenario(TDataSet& ds, int memoColumn, const std::function<void()>& reopen);

} // namespace tablor::test
