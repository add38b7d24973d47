// u_main_print.cpp — the main window's print command: the print column selection on the grid's
// current data set.
#include "app/u_main.h"
#include "print/u_printselect.h"

namespace tablor {

namespace {
PrintRoutine& printRoutine() {
    static PrintRoutine routine;
    return routine;
}
} // namespace

void setPrintRoutine(PrintRoutine routine) { printRoutine() = std::move(routine); }

void TfrmMain::tbtPrintClick() {
    if (printRoutine()) printRoutine()(currentDataSet());
    else Print(currentDataSet(), this);
}

} // namespace tablor
