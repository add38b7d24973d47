// printrules.cpp — printable kinds, column widths and the printout's title.
#include "print/printrules.h"

#include "db/ADODB.h"
#include "db/DataSet.h"
#include "db/ZMySql.h"

#include <cfenv>
#include <cmath>

namespace tablor {

bool IsPrintableType(TFieldType type) {
    switch (type) {
    case TFieldType::ftString:
    case TFieldType::ftSmallint:
    case TFieldType::ftInteger:
    case TFieldType::ftWord:
    case TFieldType::ftFloat:
    case TFieldType::ftCurrency:
    case TFieldType::ftDate:
    case TFieldType::ftTime:
    case TFieldType::ftDateTime:
    case TFieldType::ftAutoInc:
    case TFieldType::ftMemo:
    case TFieldType::ftFmtMemo:
    case TFieldType::ftFixedChar:
    case TFieldType::ftWideString:
    case TFieldType::ftLargeint:
    case TFieldType::ftTimeStamp: return true;
    default: return false;
    }
}

int DeclaredSize(const TField& field) {
    switch (field.DataType()) {
    case TFieldType::ftString:
    case TFieldType::ftFixedChar:
    case TFieldType::ftWideString: return field.Size();
    default: return 0;
    }
}

int AvailableWidth(double reportWidthPixels) { return static_cast<int>(std::lround(reportWidthPixels)) - 500; }

int ColumnWidth(int size, int totalSize, int available) {
    if (totalSize == 0) return MinColumnWidth;
    const double exact = static_cast<double>(size) * 100.0 / totalSize * available / 100.0;
    const int saved = std::fegetround();
    std::fesetround(FE_TONEAREST); // halves to even
    const double rounded = std::nearbyint(exact);
    std::fesetround(saved);
    return rounded < MinColumnWidth ? MinColumnWidth : static_cast<int>(rounded);
}

QString ReportTitle(const TDataSet* dataSet) {
    if (const auto* access = dynamic_cast<const TADOTable*>(dataSet)) {
        QString name = access->TableName();
        if (name.size() >= 2 && name.startsWith(QLatin1Char('[')) && name.endsWith(QLatin1Char(']')))
            name = name.mid(1, name.size() - 2);
        return name;
    }
    QString name;
    if (const auto* mysql = dynamic_cast<const TZMySqlTable*>(dataSet)) name = UnquoteIdentifier(mysql->TableName());
    return QStringLiteral("Datenbank Übersicht: ") + name;
}

} // namespace tablor
