// Composes the main window's status bar texts from the two-language message table.
#include "app/statustexts.h"

#include "profiles/localizedmessages.h"

#include <cmath>

namespace tablor {

QString connectedStatus(int languageIndex) { return LocalizedMessage(msgConnected, languageIndex); }

QString disconnectedStatus(int languageIndex) { return LocalizedMessage(msgDisconnected, languageIndex); }

QString copyProgressStatus(int languageIndex, const QString& table, std::int64_t progress) {
    return LocalizedMessage(msgCopying, languageIndex) + ' ' + table + " (" + QString::number(progress) + ')';
}

QString copyDoneStatus(int languageIndex, std::int64_t erroneousRecords) {
    QString text = LocalizedMessage(msgCopyDone, languageIndex);
    if (erroneousRecords > 0)
        text += QString::number(erroneousRecords) + ' ' + LocalizedMessage(msgErroneousRecords, languageIndex);
    return text;
}

QString beforeCreateTableStatus(int languageIndex, const QString& table) {
    // Announces the table that is about to be created. (Reporting "created successfully" here,
    // before anything was created, would claim a success that may not follow.)
    return LocalizedMessage(msgCreatingTable, languageIndex) + " '" + table + '\'';
}

QString afterCreateTableStatus(int languageIndex, bool success, const QString& message) {
    if (success) return LocalizedMessage(msgTableCreated, languageIndex);
    return LocalizedMessage(msgTableCreateFailed, languageIndex) + " (" + message + ')';
}

std::optional<QString> fetchProgressStatus(std::int64_t position, std::int64_t maximum) {
    if (maximum == 0) return std::nullopt;
    // Halves go to the even neighbour, as the default rounding mode of nearbyint does.
    const double percent = static_cast<double>(position) * 100.0 / static_cast<double>(maximum);
    return QStringLiteral("Lade Daten:") + QString::number(static_cast<long long>(std::nearbyint(percent)));
}

} // namespace tablor
