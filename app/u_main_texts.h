// The main window's texts in German and English: the control texts that Translator1 switches
// and MainWindowTexts, the six texts the window composes into its messages.
#pragma once

#include "l10n/translator.h"

#include <array>
#include <span>

namespace tablor {

// Control texts of TfrmMain; the window is designed in German.
std::span<const TextPair> mainWindowControlTexts();

enum MainWindowTextKey : int {
    msgTypeConflict,
    msgNoRemoteDb,
    msgNoLocalDb,
    msgLocalDbMoved,
    msgNoPrimaryKey,
    msgSearchPrompt,
    MainWindowTextCount
};

// The six two-language texts, in key order. A line break inside a text is a carriage return.
extern const std::array<LanguagePair, MainWindowTextCount> MainWindowTextTable;

} // namespace tablor
