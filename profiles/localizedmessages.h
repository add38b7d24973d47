// The two-language texts that the program composes into its messages and status texts.
// Look a text up with the caller's TPrefs::LanguageIndex (0 German, 1 English):
//     LocalizedMessage(msgConnectNow, prefs.LanguageIndex)
//     LocalizedMessage(msgDeleteProfile, prefs.LanguageIndex, profile.ProfileName)  // "%s"
// A line break inside a text is a carriage return ("\r"), as the table has always held it.
#pragma once

#include <QString>

#include <array>

namespace tablor {

enum LocalizedMessageKey : int {
    msgFind,
    msgNoMatch,
    msgNoFurtherMatch,
    msgDeleteRecord,
    msgSaveChanges,
    msgDeleteProfile,
    msgReadOnlyLocalDb,
    msgFirstRun,
    msgProfileNameMissing,
    msgPasswordMismatch,
    msgSelectSourceTarget,
    msgSourceEqualsTarget,
    msgStructureMismatch,
    msgSelectProfile,
    msgConnectNow,
    msgCreatingTable,
    msgCopyDone,
    msgErroneousRecords,
    msgTableCreated,
    msgTableCreateFailed,
    msgCopying,
    msgConnected,
    msgDisconnected,
    msgNewServer,
    msgSelectProfileItem,
    msgCopyErrors,
    msgCheckingDb,
    LocalizedMessageCount
};

struct LocalizedText {
    const char* key;     // the key's name, e.g. "msgFind"
    const char* german;  // index 0, UTF-8
    const char* english; // index 1, UTF-8
};

// One row per key, in key order.
extern const std::array<LocalizedText, LocalizedMessageCount> LocalizedMessages;

// The text of `key`; a languageIndex other than 1 gives German.
QString LocalizedMessage(LocalizedMessageKey key, int languageIndex);
// The same with its "%s" replaced by `arg` (arg itself is not scanned for "%s").
QString LocalizedMessage(LocalizedMessageKey key, int languageIndex, const QString& arg);

} // namespace tablor
