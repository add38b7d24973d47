// The sentences the copy engines compose for their reports and error lists, in German and
// English. Each is looked up by its English text, so that a call site reads as the sentence it
// produces:
//     copyText(languageIndex, "The server table `%1` cannot be read: %2").arg(name, why)
// The texts of the server, the client library and the Access engine that such a sentence
// quotes stay as they came.
#pragma once

#include <QString>

#include <span>

namespace tablor::transfer {

struct CopyTextPair {
    const char* english; // UTF-8; the key
    const char* german;  // UTF-8; the same placeholders (%1, %2, ...) as the English text
};

// The German text of `english` for languageIndex 0 (any value but 1), the English text for 1.
// A text missing from the table comes back in English.
QString copyText(int languageIndex, const char* english);

// Every pair, for the test that holds each call site to a pair with matching placeholders.
std::span<const CopyTextPair> copyTexts();

} // namespace tablor::transfer
