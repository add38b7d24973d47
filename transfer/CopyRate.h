// CopyRate.h — the rate and the time left of a running copy, as the main window's status bar
// and the wizard's progress page show them.
#pragma once

#include <QString>

#include <optional>

namespace tablor {

// "12.345 Zeilen/s, noch 0:42" / "12,345 rows/s, 0:42 left"; without the time when it is not
// known.
QString copyRateText(int languageIndex, double rowsPerSecond, std::optional<qint64> secondsLeft);

} // namespace tablor
