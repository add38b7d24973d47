// The memo editor: TMemoedit, the controller the main window uses to edit one memo field, and
// its window TfrmMemotext, a resizable tool window with a text box and Apply / Close.
//
// Use (the main window's sequence):
//     TMemoedit editor(this);
//     editor.setDataSet(dataSet);
//     dataSet->Edit();
//     editor.Edit(field, true);   // modal; posts afterwards, cancelling when that fails
//
// The controller owns its window. The data set and field are the caller's; the field must stay
// valid (its data set open) while Edit runs. A field whose value cannot be read as text shows
// an empty, disabled text box and Apply stays disabled, so the stored value is never replaced
// by the empty text.
#pragma once

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

namespace tablor {

class TDataSet;
class TField;
class TTranslator;

class TfrmMemotext : public QDialog {
    Q_OBJECT
public:
    explicit TfrmMemotext(QWidget* parent = nullptr);

    QPlainTextEdit* text() const { return mmText; }
    QPushButton* applyButton() const { return btnApply; }
    QPushButton* cancelButton() const { return btnCancel; }
    TTranslator* translator() const { return Translator1; }

private:
    QPlainTextEdit* mmText = nullptr;
    QPushButton* btnApply = nullptr;
    QPushButton* btnCancel = nullptr;
    TTranslator* Translator1 = nullptr;
};

class TMemoedit {
public:
    explicit TMemoedit(QWidget* parent = nullptr);
    ~TMemoedit();
    TMemoedit(const TMemoedit&) = delete;
    TMemoedit& operator=(const TMemoedit&) = delete;

    void setDataSet(TDataSet* dataSet) { dataSet_ = dataSet; }
    TDataSet* DataSet() const { return dataSet_; }

    // Shows the window modally for `field` (the data set already in edit mode). Apply writes
    // the whole text to the field; Close leaves it. With `postAfterEdit` the data set is posted
    // after the window closed, and its edit cancelled silently when posting fails. Returns
    // QDialog::Accepted for Apply, QDialog::Rejected for Close.
    int Edit(TField* field, bool postAfterEdit);

    TfrmMemotext* window() const { return window_; }
    // Whether the last Edit could read the field's value.
    bool valueRead() const { return valueRead_; }

private:
    void applyClick();

    TfrmMemotext* window_;
    TDataSet* dataSet_ = nullptr;
    TField* field_ = nullptr;
    bool postAfterEdit_ = false;
    bool valueRead_ = false;
    bool crlf_ = true; // line breaks are written as CR LF unless the value had bare LFs
};

} // namespace tablor
