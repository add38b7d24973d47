// The texts of the main window's status bar, composed in the current language (index 0 German,
// 1 English). No widgets: the window sets whatever these return.
#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace tablor {

// "Verbunden." / "Connected."
QString connectedStatus(int languageIndex);
// "Nicht verbunden." / "Disconnected."
QString disconnectedStatus(int languageIndex);
// A table copy's progress: "Kopiere T (P)".
QString copyProgressStatus(int languageIndex, const QString& table, std::int64_t progress);
// A table copy finished: "Kopiervorgang abgeschlossen." followed, when there were erroneous
// records, directly by their count, a blank and "fehlerhafte Datensätze".
QString copyDoneStatus(int languageIndex, std::int64_t erroneousRecords);
// Before a local table is created: "Erstelle Tabelle 'T'".
QString beforeCreateTableStatus(int languageIndex, const QString& table);
// After a local table was created, or failed to be: "Tabelle erfolgreich erstellt." or
// "Tabelle konnte nicht erstellt werden. (M)".
QString afterCreateTableStatus(int languageIndex, bool success, const QString& message);
// Fetch progress of a server result, in both languages "Lade Daten:" and the percentage
// position * 100 / maximum rounded half to even. Nothing when the maximum is 0 (the status
// text then stays as it was).
std::optional<QString> fetchProgressStatus(std::int64_t position, std::int64_t maximum);

} // namespace tablor
