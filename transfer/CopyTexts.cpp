// CopyTexts.cpp — the copy engines' own sentences in both languages.
#include "transfer/CopyTexts.h"

#include <QHash>

#include <cstring>

namespace tablor::transfer {

namespace {

constexpr CopyTextPair kTexts[] = {
    // Access to MySQL, MySQL to MySQL
    {"[%1] has no integer column \"id\": the listed ids cannot be copied.",
     "[%1] hat keine ganzzahlige Spalte \"id\": die aufgeführten Ids können nicht kopiert werden."},
    {"Cancelled after %1 of %2 rows; the rows sent to `%3` were rolled back.",
     "Abgebrochen nach %1 von %2 Zeilen; die an `%3` gesendeten Zeilen wurden zurückgenommen."},
    {"`%1` could not be copied after %2 rows (nothing of it was kept): %3",
     "`%1` konnte nach %2 Zeilen nicht kopiert werden (nichts davon wurde behalten): %3"},
    {"The Access table [%1] cannot be read: %2", "Die Access-Tabelle [%1] kann nicht gelesen werden: %2"},
    {"Source and target are the same database \"%1\" on %2: give a table prefix or another target database.",
     "Quelle und Ziel sind dieselbe Datenbank \"%1\" auf %2: geben Sie ein Tabellenpräfix oder eine andere "
     "Zieldatenbank an."},
    {"`%1` cannot be created as `%2`: %3", "`%1` kann nicht als `%2` angelegt werden: %3"},
    {"Not copied: cancelled before this table; `%1` was created empty.",
     "Nicht kopiert: vor dieser Tabelle abgebrochen; `%1` wurde leer angelegt."},
    {"Not copied: cancelled before this table.", "Nicht kopiert: vor dieser Tabelle abgebrochen."},
    {"The connection to %1:%2 (database \"%3\", user \"%4\") failed: %5",
     "Die Verbindung zu %1:%2 (Datenbank \"%3\", Benutzer \"%4\") ist fehlgeschlagen: %5"},
    {"The row file %1 cannot be written: %2. Choose another troubleshooting folder or free some space.",
     "Die Zeilendatei %1 kann nicht geschrieben werden: %2. Wählen Sie einen anderen Ordner für die "
     "Fehlerbehebung, oder schaffen Sie Platz."},
    // Access to Access
    {"the source table cannot be read: %1", "die Quelltabelle kann nicht gelesen werden: %1"},
    {"\"%1\" has a table of this name already; it was left as it is.",
     "\"%1\" enthält schon eine Tabelle dieses Namens; sie bleibt, wie sie ist."},
    {"the table cannot be created in \"%1\": %2", "die Tabelle kann in \"%1\" nicht angelegt werden: %2"},
    {"copying stopped after %1 rows: %2", "das Kopieren brach nach %1 Zeilen ab: %2"},
    {"Cancelled after %1 of %2 rows; the table was removed from \"%3\" again.",
     "Abgebrochen nach %1 von %2 Zeilen; die Tabelle wurde wieder aus \"%3\" entfernt."},
    {" The unfinished table could not be removed: %1", " Die unfertige Tabelle konnte nicht entfernt werden: %1"},
    // The download (MySQL to Access)
    {"The Access table [%1] cannot be written: %2", "In die Access-Tabelle [%1] kann nicht geschrieben werden: %2"},
    {"The Access table [%1] cannot be created: %2", "Die Access-Tabelle [%1] kann nicht angelegt werden: %2"},
    {"`%1` has no primary key, so its rows cannot be matched with the rows of the Access table; turn on \"Drop "
     "tables before updating\" in the profile to replace the Access rows instead.",
     "`%1` hat keinen Primärschlüssel, daher lassen sich seine Zeilen nicht den Zeilen der Access-Tabelle "
     "zuordnen; schalten Sie im Profil \"Tabellen vor dem sichern leeren\" ein, um die Access-Zeilen stattdessen "
     "zu ersetzen."},
    {"The server table `%1` cannot be read: %2", "Die Servertabelle `%1` kann nicht gelesen werden: %2"},
    {" Putting the Access table back failed (%1); that is done when the file is opened next.",
     " Das Zurücksetzen der Access-Tabelle schlug fehl (%1); es geschieht beim nächsten Öffnen der Datei."},
    {"the Access table has %1 columns, the server table %2", "die Access-Tabelle hat %1 Spalten, die Servertabelle %2"},
    {"the Access table has no column [%1]", "die Access-Tabelle hat keine Spalte [%1]"},
    {"[%1] is %2 in the Access table but needs %3 for %4", "[%1] ist in der Access-Tabelle %2, braucht aber %3 für %4"},
    {"The Access table [%1] does not match the server table: %2. Nothing was copied; rename or delete the Access "
     "table to have it created anew.",
     "Die Access-Tabelle [%1] passt nicht zur Servertabelle: %2. Es wurde nichts kopiert; benennen Sie die "
     "Access-Tabelle um oder löschen Sie sie, damit sie neu angelegt wird."},
    {"The Access table [%1] cannot be emptied, so nothing was copied: %2",
     "Die Access-Tabelle [%1] kann nicht geleert werden, daher wurde nichts kopiert: %2"},
    {"The Access table [%1] has no index over the key columns (%2), so its rows cannot be matched; turn on \"Drop "
     "tables before updating\" in the profile to replace them instead.",
     "Die Access-Tabelle [%1] hat keinen Index über die Schlüsselspalten (%2), daher lassen sich ihre Zeilen "
     "nicht zuordnen; schalten Sie im Profil \"Tabellen vor dem sichern leeren\" ein, um sie stattdessen zu "
     "ersetzen."},
    {"; the Access table, made by this copy, is removed again.",
     "; die Access-Tabelle, von dieser Kopie angelegt, wird wieder entfernt."},
    {"; the Access table is as it was before the copy.", "; die Access-Tabelle ist wie vor der Kopie."},
    {"%1 after %2 rows of `%3`%4", "%1 nach %2 Zeilen von `%3`%4"},
    {"Cancelled after %1 of %2 rows of `%3`%4", "Abgebrochen nach %1 von %2 Zeilen von `%3`%4"},
    // The upload (Access to MySQL from the main window)
    {"The connection to %1:%2 failed: %3", "Die Verbindung zu %1:%2 ist fehlgeschlagen: %3"},
    {"`%1` has neither a primary key nor a unique column.",
     "`%1` hat weder einen Primärschlüssel noch eine eindeutige Spalte."},
    {"the file does not exist", "die Datei existiert nicht"},
    {"column %1 is [%2] in the Access table, `%3` on the server",
     "Spalte %1 ist [%2] in der Access-Tabelle, `%3` auf dem Server"},
    {"The tables differ: %1. Nothing was copied.", "Die Tabellen unterscheiden sich: %1. Es wurde nichts kopiert."},
    {"The Access table [%1] of \"%2\" cannot be read: %3",
     "Die Access-Tabelle [%1] aus \"%2\" kann nicht gelesen werden: %3"},
    {"The upload of `%1` failed after %2 rows: %3. The server table %4",
     "Das Hochladen von `%1` schlug nach %2 Zeilen fehl: %3. Die Servertabelle %4"},
    {"is as it was before.", "ist wie zuvor."},
    {"may be half emptied and half filled: its engine cannot roll back.",
     "kann halb geleert und halb gefüllt sein: ihre Speicher-Engine kann nichts zurücknehmen."},
    {"The server table `%1` is as it was before: it was copied in one transaction with `%2`, whose upload did not "
     "finish.",
     "Die Servertabelle `%1` ist wie zuvor: sie wurde in einer Transaktion mit `%2` kopiert, dessen Hochladen "
     "nicht fertig wurde."},
    {"The upload of `%2` did not finish; `%1` keeps what was sent (its engine cannot roll back).",
     "Das Hochladen von `%2` wurde nicht fertig; `%1` behält, was gesendet wurde (ihre Speicher-Engine kann "
     "nichts zurücknehmen)."},
    {"Cancelled after %1 of %2 rows; the server table `%3` %4",
     "Abgebrochen nach %1 von %2 Zeilen; die Servertabelle `%3` %4"},
    {"keeps the rows sent so far (its engine cannot roll back).",
     "behält die bisher gesendeten Zeilen (ihre Speicher-Engine kann nichts zurücknehmen)."},
};

const QHash<QByteArray, const CopyTextPair*>& index() {
    static const QHash<QByteArray, const CopyTextPair*> byEnglish = [] {
        QHash<QByteArray, const CopyTextPair*> h;
        for (const CopyTextPair& p : kTexts) h.insert(QByteArray(p.english), &p);
        return h;
    }();
    return byEnglish;
}

} // namespace

QString copyText(int languageIndex, const char* english) {
    if (languageIndex != 1)
        if (const CopyTextPair* p = index().value(QByteArray::fromRawData(english, int(std::strlen(english)))))
            return QString::fromUtf8(p->german);
    return QString::fromUtf8(english);
}

std::span<const CopyTextPair> copyTexts() { return kTexts; }

} // namespace tablor::transfer
