// TfrmStartup, the small start dialog: start the conversion wizard, connect to a chosen server
// profile, or just go on. Opened by the main window's start timer; a hidden instance is also
// created at program start.
#pragma once

#include "l10n/translator.h"
#include "profiles/prefs.h"

#include <QDialog>

#include <memory>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace tablor {

class TfrmStartup : public QDialog {
    Q_OBJECT
public:
    // `servers` is the main window's quick-access list, whose entries (texts and attached
    // profiles) the dialog copies; the profiles stay the main window's.
    explicit TfrmStartup(const QComboBox* servers, QWidget* parent = nullptr);
    ~TfrmStartup() override;

    // The Start button: checks the choice, stores "show this dialog" and closes with OK.
    void StartClick();

    bool wizardChosen() const;
    bool serverChosen() const;
    int chosenServerIndex() const;
    TPrefs& prefs() { return *prefs_; }

    QRadioButton* rdoWizard = nullptr;
    QRadioButton* rdoServer = nullptr;
    QRadioButton* rdoStart = nullptr;
    QComboBox* cboServer = nullptr;
    QCheckBox* chkStart = nullptr;
    QPushButton* Start = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void buildWidgets();
    void runCreationSteps(const QComboBox* servers);

    QLabel* Label1 = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    TTranslator* Translator1 = nullptr;
    std::unique_ptr<TPrefs> prefs_;
};

} // namespace tablor
