// The main window's field editors: the grid's double-click (and the edit command) opens the
// memo editor for memo fields and the image viewer for blob fields, on the MySQL table and on
// the Access table alike; the grid's blob descriptions follow the window's language.
#include "app/errordisplay.h"
#include "app/u_main.h"
#include "editors/u_imageedit.h"
#include "editors/u_memoedit.h"

namespace tablor {

void TfrmMain::connectFieldEditors() {
    dbgMain->gridModel()->setLanguageIndex(Translator1->languageIndex());
    connect(Translator1, &TTranslator::languageChanged, this,
            [this] { dbgMain->gridModel()->setLanguageIndex(Translator1->languageIndex()); });
}

void TfrmMain::dbgMainDblClick() {
    try {
        openFieldEditor();
    } catch (const std::exception&) {
        showApplicationError(currentExceptionText());
    }
}

void TfrmMain::openFieldEditor() {
    TDataSet* ds = currentDataSet();
    const bool open = (gridDataSet_ && gridDataSet_->Active()) || (tblLocal_ && tblLocal_->Active());
    if (!open || !ds || !ds->Active()) return;
    TField* field = dbgMain->SelectedField();
    if (!field) return;
    switch (fieldEditorFor(field->DataType())) {
    case FieldEditorKind::Memo: {
        TMemoedit editor(this);
        editor.setDataSet(ds);
        ds->Edit();
        editor.Edit(field, true);
        // Posted once more by the window, as the editor has posted already; a failure cancels.
        try {
            ds->Post();
        } catch (const std::exception&) {
            ignoreOnPurpose("a memo the record refuses is cancelled, without a message");
            try {
                ds->Cancel();
            } catch (const std::exception&) {
                ignoreOnPurpose("cancelling after a failed post; the grid shows what the data set holds");
            }
        }
        break;
    }
    case FieldEditorKind::Image: {
        TfrmBildedit viewer(*ds, field->Index(), this);
        viewer.LoadPicture();
        viewer.exec();
        break;
    }
    case FieldEditorKind::None: break;
    }
}

} // namespace tablor
