// The main window's German and English texts, side by side.
#include "app/u_main_texts.h"

namespace tablor {

namespace {

// clang-format off
constexpr TextPair kControlTexts[] = {
    // control             property       German                                  English
    {"",                   "windowTitle", "Tablor 2.0",                           "Tablor 2.0"},

    // Menus
    {"Datei1",             "title",       "Datei",                                "File"},
    {"ffnen1",             "text",        "Öffnen...",                            "Open..."},
    {"Beenden1",           "text",        "Beenden",                              "Exit"},
    {"Bearbeiten1",        "title",       "Bearbeiten",                           "Edit"},
    {"mnuSuche",           "text",        "Suchen...",                            "Find..."},
    {"mnuWeitersuchen",    "text",        "Weitersuchen",                         "Find next"},
    {"mnuEdit",            "text",        "Feld bearbeiten",                      "Edit field"},
    {"mnuSQLQuery",        "text",        "SQL Anfrage eingeben...",              "Enter SQL query..."},
    {"Extras1",            "title",       "Extras",                               "Options"},
    {"Sprache1",           "title",       "Sprache",                              "Language"},
    {"mnuEnglish",         "text",        "Englisch",                             "English"},
    {"mnuDeutsch",         "text",        "Deutsch",                              "German"},
    {"mnuServerAdmin",     "text",        "Server verwalten...",                  "Manage servers..."},
    {"mnuPrefs",           "text",        "Einstellungen",                        "Preferences"},
    {"mnuBild",            "text",        "Bildvorschau",                         "Image preview"},
    {"mnuWizard",          "text",        "Konvertierungsassistent...",           "Database wizard"},
    {"mnuStartup",         "text",        "Startdialog anzeigen",                 "Show dialog on startup"},
    {"N1",                 "title",       "?",                                    "?"},
    {"mnuHelt",            "text",        "Tablor hilfe aufrufen",                "Tablor Help topics"},
    {"mnuVisitSite",       "text",        "Webseite besuchen",                    "Visit Website"},
    {"mnuAbout",           "text",        "Über...",                              "About..."},

    // Context menu of the table list
    {"mnuSelAll",          "text",        "Alle auswählen",                       "Select all"},
    {"mnuSelRev",          "text",        "Auswahl umkehren",                     "Invert Selection"},

    // Tool bar: hints (shown as tool tips; the buttons show images only)
    {"tbtOpen",            "toolTip",     "Öffnen",                               "Open"},
    {"tbtSave",            "toolTip",     "Lokal speichern",                      "Download"},
    {"tbtUpload",          "toolTip",     "Bereitstellen",                        "Upload"},
    {"tbtDelete",          "toolTip",     "Löschen",                              "Delete"},
    {"tbtNew",             "toolTip",     "Anfügen",                              "Append"},
    {"tbtEdit",            "toolTip",     "Bearbeiten",                           "Edit"},
    {"tbtSearch",          "toolTip",     "Suchen",                               "Find"},
    {"tbtPrint",           "toolTip",     "Drucken",                              "Print"},
    {"tbtConnect",         "toolTip",     "Verbinden",                            "Connect"},
    {"tbtPrefs",           "toolTip",     "Einstellungen",                        "Preferences"},
    {"tbtHelp",            "toolTip",     "Hilfe",                                "Help"},
    {"tbtWizard",          "toolTip",     "Konvertierungsassistent",              "Konvertierungsassistent"},

    // Labels
    {"Label1",             "text",        "Schnellzugriff",                       "Quick access"},
    {"Label2",             "text",        "Doppelklicken Sie auf Memo-, Grafik- und Blobfelder, um den internen Editor aufzurufen",
                                          "Doubleclick on memo, graphic and blob fields to open the inplace editor"},
};
// clang-format on

} // namespace

std::span<const TextPair> mainWindowControlTexts() { return kControlTexts; }

// clang-format off
const std::array<LanguagePair, MainWindowTextCount> MainWindowTextTable{{
    // msgTypeConflict
    {"Bei der Übertragung der Daten ist ein Typenkonflikt aufgetreten.\r"
     "Wahrscheinlich sind lokale und entfernte Datenbank nicht in der Struktur identisch.",
     "There was a type mismatch while data transmission.\r"
     "Probably the local and remote database have different structure."},
    // msgNoRemoteDb
    {"Es existiert keine entfernte Datenbank dieses Namens.",
     "There is no remote database according to this name."},
    // msgNoLocalDb
    {"Es existiert keine lokale Datenbank dieses Namens.",
     "There is no local database according to this name."},
    // msgLocalDbMoved
    {"Die Datei der lokalen Datenbank wurde entweder verschoben oder entfernt.",
     "The local backup file has been either renamed or removed."},
    // msgNoPrimaryKey
    {"Der Tabelle ist kein eindeutiger Primärschlüssel zugeordnet,\r"
     "um die Daten dieser Tabelle zu aktualisieren, müssen Sie die Option\r"
     "\"Tabellen vor dem sichern leeren\" in den Einstellungen aktivieren.",
     "The table does not have a unique primary key defined,\r"
     "For updating this database you should select \"Drop tables before updating\"\r"
     "in the preferences.\r"},
    // msgSearchPrompt
    {"Suchwort eingeben:", "Find what:"},
}};

// clang-format on

} // namespace tablor
