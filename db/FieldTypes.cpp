// FieldTypes.cpp — names and groupings of the field kinds.
#include "db/FieldTypes.h"

namespace tablor {

QString FieldTypeName(TFieldType t) {
    switch (t) {
    case TFieldType::ftUnknown: return QStringLiteral("ftUnknown");
    case TFieldType::ftString: return QStringLiteral("ftString");
    case TFieldType::ftSmallint: return QStringLiteral("ftSmallint");
    case TFieldType::ftInteger: return QStringLiteral("ftInteger");
    case TFieldType::ftWord: return QStringLiteral("ftWord");
    case TFieldType::ftBoolean: return QStringLiteral("ftBoolean");
    case TFieldType::ftFloat: return QStringLiteral("ftFloat");
    case TFieldType::ftCurrency: return QStringLiteral("ftCurrency");
    case TFieldType::ftBCD: return QStringLiteral("ftBCD");
    case TFieldType::ftDate: return QStringLiteral("ftDate");
    case TFieldType::ftTime: return QStringLiteral("ftTime");
    case TFieldType::ftDateTime: return QStringLiteral("ftDateTime");
    case TFieldType::ftBytes: return QStringLiteral("ftBytes");
    case TFieldType::ftVarBytes: return QStringLiteral("ftVarBytes");
    case TFieldType::ftAutoInc: return QStringLiteral("ftAutoInc");
    case TFieldType::ftBlob: return QStringLiteral("ftBlob");
    case TFieldType::ftMemo: return QStringLiteral("ftMemo");
    case TFieldType::ftGraphic: return QStringLiteral("ftGraphic");
    case TFieldType::ftFmtMemo: return QStringLiteral("ftFmtMemo");
    case TFieldType::ftOraBlob: return QStringLiteral("ftOraBlob");
    case TFieldType::ftFixedChar: return QStringLiteral("ftFixedChar");
    case TFieldType::ftWideString: return QStringLiteral("ftWideString");
    case TFieldType::ftLargeint: return QStringLiteral("ftLargeint");
    case TFieldType::ftTimeStamp: return QStringLiteral("ftTimeStamp");
    case TFieldType::ftVariant: return QStringLiteral("ftVariant");
    case TFieldType::ftGUID: return QStringLiteral("ftGUID");
    }
    return QStringLiteral("ftUnknown");
}

bool IsIntegerKind(TFieldType t) {
    return t == TFieldType::ftSmallint || t == TFieldType::ftInteger || t == TFieldType::ftWord ||
           t == TFieldType::ftAutoInc || t == TFieldType::ftLargeint;
}

bool IsFloatKind(TFieldType t) {
    return t == TFieldType::ftFloat || t == TFieldType::ftCurrency || t == TFieldType::ftBCD;
}

bool IsDateTimeKind(TFieldType t) {
    return t == TFieldType::ftDate || t == TFieldType::ftTime || t == TFieldType::ftDateTime ||
           t == TFieldType::ftTimeStamp;
}

bool IsMemoKind(TFieldType t) { return t == TFieldType::ftMemo || t == TFieldType::ftFmtMemo; }

bool IsBlobKind(TFieldType t) { return t == TFieldType::ftBlob || t == TFieldType::ftOraBlob; }

bool IsBinaryKind(TFieldType t) {
    return t == TFieldType::ftBytes || t == TFieldType::ftVarBytes || t == TFieldType::ftBlob ||
           t == TFieldType::ftGraphic || t == TFieldType::ftOraBlob;
}

bool IsTextKind(TFieldType t) {
    return t == TFieldType::ftString || t == TFieldType::ftFixedChar || t == TFieldType::ftWideString ||
           IsMemoKind(t) || t == TFieldType::ftGUID;
}

} // namespace tablor
