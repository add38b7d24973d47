// FieldTypes.h — the one field-kind enumeration of the whole program (MySQL results,
// Access tables, the grid, the editors and the copy routines all speak it), and the
// groupings the callers test for.
#pragma once

#include <QString>

namespace tablor {

enum class TFieldType {
    ftUnknown,
    ftString,   // variable-length text
    ftSmallint, // 16-bit signed integer
    ftInteger,  // 32-bit signed integer
    ftWord,     // 16-bit unsigned integer
    ftBoolean,
    ftFloat, // floating value (float, double, decimal of MySQL)
    ftCurrency,
    ftBCD,
    ftDate,
    ftTime,
    ftDateTime,
    ftBytes,    // fixed-length binary
    ftVarBytes, // variable-length binary
    ftAutoInc,  // auto-increment integer
    ftBlob,     // binary large object
    ftMemo,     // long text
    ftGraphic,
    ftFmtMemo,   // formatted memo
    ftOraBlob,   // Oracle-style blob
    ftFixedChar, // fixed-length text
    ftWideString,
    ftLargeint, // 64-bit integer
    ftTimeStamp,
    ftVariant,
    ftGUID,
};

// Name as the program shows it in messages, e.g. "ftMemo".
QString FieldTypeName(TFieldType t);

bool IsIntegerKind(TFieldType t);  // small integer, integer, word, auto-increment, large integer
bool IsFloatKind(TFieldType t);    // float, currency, BCD
bool IsDateTimeKind(TFieldType t); // date, time, date-time, time stamp
bool IsMemoKind(TFieldType t);     // memo, formatted memo
bool IsBlobKind(TFieldType t);     // binary blob and Oracle-style blob (what the image viewer edits)
bool IsBinaryKind(TFieldType t);   // every kind whose value is bytes, not text
bool IsTextKind(TFieldType t);     // string, fixed-length, wide string, memo kinds, GUID

} // namespace tablor
