// The scan of the search commands (search and find next), free of widgets: which record and
// field of a data set hold the next occurrence of a word, in the order field by field within
// a record and record by record, starting after a given field. The main window's FindInGrid
// wraps it with the grid's selected field, the redraw stop and the messages.
#pragma once

#include "db/DataSet.h"

#include <QString>

namespace tablor {

// Lower case of the letters A to Z only; every other character (umlauts too) stays.
QString lowerAsciiLetters(const QString& text);
// Whether `lowerWord` (already lowered) occurs in `text` with A-Z compared case-blind. An empty
// word never occurs.
bool containsWord(const QString& text, const QString& lowerWord);

// The same on UTF-8 bytes (`lowerWord` lowered and in UTF-8).
bool containsWordUtf8(const char* text, qsizetype size, const QByteArray& lowerWord);

struct FindOutcome {
    bool found = false;
    int field = 0; // field index of the match (0 when nothing was found)
};

// Moves the cursor of `dataSet` as the search does: to the first record when `fromStart`, to
// the next record when `startField` lies beyond the last field, then record by record until a
// field from `startField` on (from 0 in later records) contains the word. On a match the
// cursor stands on that record. When nothing is found the cursor is left past the last record
// (the caller restores it). Fields are read as text through the data set's random-access face.
FindOutcome scanForWord(TDataSet& dataSet, const QString& word, int startField, bool fromStart);

} // namespace tablor
