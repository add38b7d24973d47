// Failures a window handles itself: the text of the one being handled, and a way to say that
// it is left without a message on purpose.
#pragma once

#include <QString>

namespace tablor {

// The text shown for the exception currently being handled (call inside a catch block).
QString currentExceptionText();

// Says that the failure being handled is left without a message on purpose, and why (call
// inside a catch block): a silence the window chose, told apart from one that was forgotten.
// Every catch in the windows either shows the failure, handles it, or calls this. The text
// goes to the debug log ("tablor.ignored"; QT_LOGGING_RULES="tablor.ignored.debug=true").
void ignoreOnPurpose(const char* reason);

} // namespace tablor
