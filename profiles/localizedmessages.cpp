// The table of two-language message texts; see localizedmessages.h.
#include "profiles/localizedmessages.h"

namespace tablor {

#define ROW(key, de, en)                                                                                               \
    LocalizedText { #key, de, en }

const std::array<LocalizedText, LocalizedMessageCount> LocalizedMessages = {{
    ROW(msgFind, "Suchen", "Find"),
    ROW(msgNoMatch, "Es wurde keine Übereinstimmung gefunden.", "Search finished without result."),
    ROW(msgNoFurtherMatch, "Es wurde keine weitere Übereinstimmung gefunden.", "Search complete."),
    ROW(msgDeleteRecord, "Soll der Datensatz wirklich gelöscht werden?",
        "Do you really want to delete the selected data?"),
    ROW(msgSaveChanges, "Sollen die Änderungen gespeichert werden?", "Save changes?"),
    ROW(msgDeleteProfile, "Möchten Sie das Profil \"%s\" wirklich löschen?",
        "Do you really want to delete the profile \"%s\""),
    ROW(msgReadOnlyLocalDb,
        "Die geöffnete Datenbank gehört nicht zu einem Profil und befindet sich im \"Nur lesen\" "
        "Status.",
        "The local database is not part of selected profile and is in \"read-only\" mode."),
    ROW(msgFirstRun,
        "Herzlich willkommen!\rAnscheinend verwenden Sie dieses Programm zum ersten Mal. Bevor Sie "
        "mit dem Programm arbeiten können, müssen Sie mindestens ein Serverprofil erstellen. "
        "Möchten Sie jetzt zur Serververwaltung wechseln?",
        "Welcome!\rThis seems to be the first time you run this application. You should have at "
        "least one server profile. Would you like to open the server management now?"),
    ROW(msgProfileNameMissing, "Bitte geben Sie einen Namen für das Profil an.", "Please enter a profile name."),
    ROW(msgPasswordMismatch, "Die Kennwörter stimmen nicht überein.", "Please verify your passwords."),
    ROW(msgSelectSourceTarget, "Bitte wählen Sie eine Quell- und eine Zieldatenbank aus.",
        "Please select a source and a target database."),
    ROW(msgSourceEqualsTarget, "Quell- und Zieldatenbank dürfen nicht identisch sein.",
        "Source and target database must not be the same."),
    ROW(msgStructureMismatch,
        "Die Struktur der Tabellen \"%s\" sind nicht identisch, die Tabelle kann nicht kopiert "
        "werden. Ändern Sie die Kopieroption oder prüfen Sie die Tabellenstruktur manuell.",
        "The table structure of \"%s\" is not identical. Please change copy options or check "
        "structure manually."),
    ROW(msgSelectProfile, "Bitte wählen Sie ein Serverprofil", "Please select a server profile"),
    ROW(msgConnectNow, "Möchten Sie jetzt eine Verbindung mit dem gewählten Server aufnehmen?",
        "Do you want to connect to the selected server profile?"),
    ROW(msgCreatingTable, "Erstelle Tabelle", "Creating table"),
    ROW(msgCopyDone, "Kopiervorgang abgeschlossen.", "Ready."),
    ROW(msgErroneousRecords, "fehlerhafte Datensätze", "erroneous records."),
    ROW(msgTableCreated, "Tabelle erfolgreich erstellt.", "Table created successfully."),
    ROW(msgTableCreateFailed, "Tabelle konnte nicht erstellt werden.", "Error creating table."),
    ROW(msgCopying, "Kopiere", "Copy"),
    ROW(msgConnected, "Verbunden.", "Connected."),
    ROW(msgDisconnected, "Nicht verbunden.", "Disconnected."),
    ROW(msgNewServer, "<Neuer MySQL Server>", "<New MySQL Server>"),
    ROW(msgSelectProfileItem, "<Profil wählen>", "<Select Profile>"),
    ROW(msgCopyErrors, "Folgende Fehler sind aufgetreten:", "The following errors occurred during copy process:"),
    ROW(msgCheckingDb, "Prüfe Datenbank", "Checking database"),
}};

#undef ROW

QString LocalizedMessage(LocalizedMessageKey key, int languageIndex) {
    const LocalizedText& row = LocalizedMessages.at(static_cast<std::size_t>(key));
    return QString::fromUtf8(languageIndex == 1 ? row.english : row.german);
}

QString LocalizedMessage(LocalizedMessageKey key, int languageIndex, const QString& arg) {
    QString text = LocalizedMessage(key, languageIndex);
    const qsizetype at = text.indexOf(QLatin1String("%s"));
    if (at >= 0) text.replace(at, 2, arg);
    return text;
}

} // namespace tablor
