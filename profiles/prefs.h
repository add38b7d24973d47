// TPrefs: the three per-user preferences, kept with QSettings under organisation "Ostrander",
// application "Tablor", group "Settings" (on Linux ~/.config/Ostrander/Tablor.conf).
//
// Values: FPreview (Boolean, stored as a 32-bit integer 0 or 1), FLanguage (string, "Deutsch"
// or "English"), StartUpDialog (Boolean as 32-bit integer). Every window that needs them loads
// its own TPrefs; the objects are independent snapshots, and Save() writes all three values of
// this object.
#pragma once

#include <QString>

#include <stdexcept>

namespace tablor {

// Writing the preferences failed; what() names the settings file.
class PrefsError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TPrefs {
public:
    // Loads at once (Load()).
    TPrefs();

    // Reads FPreview, FLanguage, StartUpDialog in this order. A missing string reads as empty;
    // a missing Boolean, or any value of the wrong type (a Boolean that is not a 32-bit integer,
    // a language that is not a single string), ends the reading there: the later values keep
    // what this object held. Never fails and never shows anything. Then derives LanguageIndex.
    void Load();
    // Writes FPreview, FLanguage, StartUpDialog, then derives LanguageIndex. Throws PrefsError
    // when the settings cannot be written.
    void Save();

    // 0 when FLanguage is "Deutsch", 1 when "English"; any other name keeps the previous value.
    int LanguageIndex = 0;
    QString FLanguage;
    bool FPreview = false;
    bool StartUpDialog = false;

private:
    void deriveLanguageIndex();
};

} // namespace tablor
