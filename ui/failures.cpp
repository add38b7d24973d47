// failures.cpp — the text of a failure being handled, and the log of deliberate silences.
#include "ui/failures.h"

#include <QLoggingCategory>

#include <exception>

namespace tablor {

namespace {
Q_LOGGING_CATEGORY(ignoredFailures, "tablor.ignored", QtWarningMsg)
} // namespace

QString currentExceptionText() {
    try {
        throw;
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("An unexpected error occurred. The operation was abandoned; "
                              "please try it again.");
    }
}

void ignoreOnPurpose(const char* reason) {
    qCDebug(ignoredFailures, "%s: %s", reason, qUtf8Printable(currentExceptionText()));
}

} // namespace tablor
