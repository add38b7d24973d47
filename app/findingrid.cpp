// The search scan over a data set.
#include "app/findingrid.h"

#include "app/errordisplay.h"
#include "db/DbError.h"

namespace tablor {

QString lowerAsciiLetters(const QString& text) {
    QString out = text;
    QChar* p = out.data();
    for (qsizetype i = 0, n = out.size(); i < n; ++i) {
        const char16_t c = p[i].unicode();
        if (c >= u'A' && c <= u'Z') p[i] = QChar(static_cast<char16_t>(c + 32));
    }
    return out;
}

bool containsWord(const QString& text, const QString& lowerWord) {
    const qsizetype m = lowerWord.size();
    const qsizetype n = text.size();
    if (m == 0 || m > n) return false;
    const char16_t* t = reinterpret_cast<const char16_t*>(text.constData());
    const char16_t* w = reinterpret_cast<const char16_t*>(lowerWord.constData());
    auto low = [](char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; };
    const char16_t first = w[0];
    for (qsizetype i = 0; i + m <= n; ++i) {
        if (low(t[i]) != first) continue;
        qsizetype k = 1;
        while (k < m && low(t[i + k]) == w[k]) ++k;
        if (k == m) return true;
    }
    return false;
}

bool containsWordUtf8(const char* text, qsizetype size, const QByteArray& lowerWord) {
    const qsizetype m = lowerWord.size();
    if (m == 0 || m > size || !text) return false;
    const auto* t = reinterpret_cast<const unsigned char*>(text);
    const auto* w = reinterpret_cast<const unsigned char*>(lowerWord.constData());
    // Only A to Z are folded; bytes of multi-byte UTF-8 sequences are 0x80 and above, so they
    // never meet a folded letter and are compared exactly.
    auto low = [](unsigned char c) { return static_cast<unsigned char>((c >= 'A' && c <= 'Z') ? c + 32 : c); };
    const unsigned char first = w[0];
    const unsigned char firstUpper = (first >= 'a' && first <= 'z') ? static_cast<unsigned char>(first - 32) : first;
    for (qsizetype i = 0, last = size - m; i <= last; ++i) {
        const unsigned char c = t[i];
        if (c != first && c != firstUpper) continue;
        qsizetype k = 1;
        while (k < m && low(t[i + k]) == w[k]) ++k;
        if (k == m) return true;
    }
    return false;
}

FindOutcome scanForWord(TDataSet& dataSet, const QString& word, int startField, bool fromStart) {
    const QString lowerWord = lowerAsciiLetters(word);
    const QByteArray lowerWordUtf8 = lowerWord.toUtf8();
    FindOutcome outcome;
    if (fromStart) {
        try {
            dataSet.First();
        } catch (const EDatabaseError&) {
            ignoreOnPurpose("the search starts where the cursor is when it cannot move to the first record");
        }
    }
    const int fieldCount = dataSet.FieldCount();
    int startColumn = startField;
    // Where the scan begins: the current record; a start beyond the last field means the next.
    const int rows = dataSet.RecordCount();
    int row = dataSet.CurrentRow();
    if (startColumn > fieldCount - 1) {
        startColumn = 0;
        try {
            dataSet.Next();
        } catch (const EDatabaseError&) {
            ignoreOnPurpose("the search goes on from the current record when it cannot move to the next");
        }
        // Next on the last record only sets the end mark: nothing is left to scan then.
        row = dataSet.Eof() ? rows : dataSet.CurrentRow();
    }
    for (; row >= 0 && row < rows; ++row) {
        for (int col = startColumn; col < fieldCount; ++col) {
            const char* bytes = nullptr;
            qsizetype size = 0;
            const bool match = dataSet.CellUtf8(row, col, bytes, size)
                                   ? containsWordUtf8(bytes, size, lowerWordUtf8)
                                   : containsWord(dataSet.CellText(row, col), lowerWord);
            if (match) {
                outcome.found = true;
                outcome.field = col;
                dataSet.setRecNo(row + 1);
                return outcome;
            }
        }
        startColumn = 0;
    }
    return outcome;
}

} // namespace tablor
