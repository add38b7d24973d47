// JetConnectionString.h — the connection strings the program uses for Access files, built by
// plain concatenation (the path goes in as given, never quoted) and read back by our own
// Access layer: Provider, Data Source, Jet OLEDB:Engine Type and Persist Security Info.
#pragma once

#include <QString>

namespace tablor {

inline constexpr const char* kJetProvider = "Microsoft.Jet.OLEDB.4.0";

// "4" for the Office 97 format (AccessFormat 0), "5" for Office 2000 (any other value).
QString JetEngineType(int accessFormat);

// "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=<path>;Persist Security Info=False"
QString JetOpenConnectionString(const QString& path);
// "...;Data Source=<path>;Jet OLEDB:Engine Type=<t>;Persist Security Info=False"
QString JetOpenConnectionStringWithEngine(const QString& path, const QString& engineType);
// "...;Data Source=<path>;Jet OLEDB:Engine Type=<t>" (also the create form)
QString JetShortConnectionString(const QString& path, const QString& engineType);

struct JetConnectionString {
    QString Provider;
    QString DataSource; // exactly as written, semicolons included
    QString EngineType; // "" when not given, else "4" or "5"
    bool PersistSecurityInfo = false;

    // Reads a connection string. Keys are case-insensitive and may stand in any order. The
    // value of Data Source runs up to the next ";" that starts a known key, so a path with a
    // semicolon in it survives. Throws EDatabaseError naming what is wrong: an unknown
    // provider, a missing Data Source, an engine type other than 4 or 5, an unknown key.
    static JetConnectionString parse(const QString& text);
};

} // namespace tablor
