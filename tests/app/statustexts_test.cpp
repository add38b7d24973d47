// Tests of the status bar texts composed for connections and table copies.
#include "app/copysession.h"
#include "app/statustexts.h"

#include <gtest/gtest.h>

namespace tablor {
namespace {

TEST(StatusTexts, ConnectionStates) {
    EXPECT_EQ(connectedStatus(0), "Verbunden.");
    EXPECT_EQ(connectedStatus(1), "Connected.");
    EXPECT_EQ(disconnectedStatus(0), "Nicht verbunden.");
    EXPECT_EQ(disconnectedStatus(1), "Disconnected.");
}

TEST(StatusTexts, CopyProgressAndResult) {
    EXPECT_EQ(copyProgressStatus(0, "kunden", 42), "Kopiere kunden (42)");
    EXPECT_EQ(copyProgressStatus(1, "orders", 0), "Copy orders (0)");
    EXPECT_EQ(copyDoneStatus(0, 0), "Kopiervorgang abgeschlossen.");
    // The count follows without a blank.
    EXPECT_EQ(copyDoneStatus(0, 3), "Kopiervorgang abgeschlossen.3 fehlerhafte Datensätze");
    EXPECT_EQ(copyDoneStatus(1, 12), "Ready.12 erroneous records.");
    EXPECT_EQ(copyDoneStatus(1, -1), "Ready.");
}

TEST(StatusTexts, TableCreation) {
    EXPECT_EQ(beforeCreateTableStatus(0, "artikel"), "Erstelle Tabelle 'artikel'");
    EXPECT_EQ(beforeCreateTableStatus(1, "items"), "Creating table 'items'");
    EXPECT_EQ(afterCreateTableStatus(0, true, "ignored"), "Tabelle erfolgreich erstellt.");
    EXPECT_EQ(afterCreateTableStatus(1, false, "disk full"), "Error creating table. (disk full)");
    EXPECT_EQ(afterCreateTableStatus(0, false, "x"), "Tabelle konnte nicht erstellt werden. (x)");
}

TEST(StatusTexts, FetchProgressRoundsHalvesToEven) {
    EXPECT_EQ(fetchProgressStatus(1, 8).value(), "Lade Daten:12"); // 12.5
    EXPECT_EQ(fetchProgressStatus(3, 8).value(), "Lade Daten:38"); // 37.5
    EXPECT_EQ(fetchProgressStatus(1, 3).value(), "Lade Daten:33");
    EXPECT_EQ(fetchProgressStatus(2, 3).value(), "Lade Daten:67");
    EXPECT_EQ(fetchProgressStatus(5, 5).value(), "Lade Daten:100");
    EXPECT_EQ(fetchProgressStatus(0, 7).value(), "Lade Daten:0");
    EXPECT_EQ(fetchProgressStatus(3'000'000'000LL, 6'000'000'000LL).value(), "Lade Daten:50");
    EXPECT_FALSE(fetchProgressStatus(5, 0).has_value());
}

TEST(StatusTexts, CopyRateAndTimeLeftInTheWindowsLanguage) {
    EXPECT_EQ(copyRateText(0, 12345.4, 42), "12.345 Zeilen/s, noch 0:42");
    EXPECT_EQ(copyRateText(1, 12345.6, 3725), "12,346 rows/s, 1:02:05 left");
    EXPECT_EQ(copyRateText(1, 80, std::nullopt), "80 rows/s");
}

} // namespace
} // namespace tablor
