// The rate text of a running copy; see CopyRate.h.
#include "transfer/CopyRate.h"

#include <QLocale>

namespace tablor {

QString copyRateText(int languageIndex, double rowsPerSecond, std::optional<qint64> secondsLeft) {
    const bool german = languageIndex == 0;
    const QLocale locale(german ? QLocale::German : QLocale::English);
    QString text = locale.toString(qlonglong(rowsPerSecond + 0.5)) + (german ? " Zeilen/s" : " rows/s");
    if (secondsLeft) {
        const qint64 s = *secondsLeft;
        const QString time = s >= 3600 ? QStringLiteral("%1:%2:%3")
                                             .arg(s / 3600)
                                             .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
                                             .arg(s % 60, 2, 10, QLatin1Char('0'))
                                       : QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
        text += german ? ", noch " + time : ", " + time + " left";
    }
    return text;
}

} // namespace tablor
