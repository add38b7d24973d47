// TEMPORARY, delete when the wizard's copy engines land (they define runWizardCopy in
// WizardCopy.cpp): lets the program link and tells the user that the copy is not there yet.
#include "transfer/WizardCopy.h"

namespace tablor::transfer {

WizardReport runWizardCopy(const WizardJob& job, WizardSink& sink) {
    sink.message(job.languageIndex == 1 ? QStringLiteral("Copying with the wizard is not available yet.")
                                        : QStringLiteral("Das Kopieren mit dem Assistenten ist noch nicht verfügbar."));
    WizardReport report;
    report.connectionFailed = true; // nothing was touched
    return report;
}

} // namespace tablor::transfer
