// TfrmServeredit: the server setup dialog, where the user creates, edits and deletes server
// profiles. It loads its own copy of server.dat when created, keeps every change in memory and
// rewrites the whole file on Apply.
//
// Use: create, exec(), destroy, then reload server.dat into your own list:
//     { TfrmServeredit dlg(this); dlg.exec(); }
//     LoadProfiles(profiles);
// Creating it throws ProfileFileError when server.dat exists but cannot be read; the dialog is
// then not opened, so that saving cannot overwrite profiles it never read.
//
// Messages go through LocalizedMessageDlg (answered by a presenter in tests); the save-file
// chooser of btnOpen through a replaceable chooser (setSaveFileChooser). Texts are switched by
// its TTranslator (design language English, or the language of the window that carries the
// language source mark), then set to the language of its TPrefs; a stored name that is empty
// or unknown gives the language of LanguageIndex (German in a new setup).
#pragma once

#include "profiles/prefs.h"
#include "profiles/profilelist.h"

#include <QDialog>
#include <QString>

#include <functional>
#include <memory>

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;
class QTabWidget;
class QWidget;

namespace tablor {

class TTranslator;

// What the save-file chooser of btnOpen is asked (sdMDB).
struct SaveFileRequest {
    QString title;      // "Öffnen..." / "Open..."
    QString filter;     // "Access Datenbanken (*.mdb)|*.mdb|Alle Dateien (*.*)|*.*" / English
    QString defaultExt; // "mdb"
    QString fileName;   // "backup.mdb"
};
// Returns the chosen path, or an empty string when the user cancelled.
using SaveFileChooser = std::function<QString(QWidget* parent, const SaveFileRequest&)>;

class TfrmServeredit : public QDialog {
    Q_OBJECT
public:
    explicit TfrmServeredit(QWidget* parent = nullptr);
    ~TfrmServeredit() override;

    static constexpr int HelpContext = 700;

    // Replaces the real file dialog; an empty function restores it. Returns the previous one.
    static SaveFileChooser setSaveFileChooser(SaveFileChooser chooser);

    // The command handlers (also reachable through the buttons and the list's context menu).
    void btnNewClick();
    void popEditClick();
    // Apply: false when a validation message stopped it. Throws ProfileFileError when
    // server.dat cannot be written (the list in memory keeps the changes).
    bool btnApplyClick();
    void btnDelClick();
    void btnOpenClick();

    // State, for the windows' tests.
    bool modified() const { return modified_; }
    bool fieldsEnabled() const { return fieldsEnabled_; }
    ServerProfile* currentRecord() const { return current_; }
    const ProfileList& profiles() const { return list_; }
    TTranslator* translator() const { return translator_; }
    const SaveFileRequest& saveFileRequest() const { return sdMDB_; }

protected:
    // Close button, close box and Escape: asks about unsaved changes first.
    void reject() override;

private:
    void buildWindow();
    void buildTexts();
    void fillList();
    void clearFields();
    void enableFields(bool on);
    void setModified(bool on);
    void setOffice97(bool on);
    void chkHidePWClick(bool checked);
    void txtPass1Change();
    ServerProfile* selectedRecord() const;
    bool deleteLocalFileAllowed(const ServerProfile* record) const;
    // Runs `action`; an error it throws is shown in a message box, and false is returned.
    bool reportErrors(const std::function<void()>& action);
    QString messageLanguage() const;
    int message(const QString& text, int type, unsigned buttons, int defaultButton);

    ProfileList list_;
    TPrefs prefs_;
    ServerProfile* current_ = nullptr;
    bool modified_ = false;
    bool fieldsEnabled_ = false;
    SaveFileRequest sdMDB_;
    TTranslator* translator_ = nullptr;

    QLabel* Label1 = nullptr;
    QListWidget* lstServer = nullptr;
    QMenu* popMenu = nullptr;
    QAction* popEdit = nullptr;
    QAction* popNew = nullptr;
    QAction* popDel = nullptr;
    QTabWidget* PageControl1 = nullptr;
    QWidget* tabBasic = nullptr;
    QWidget* tabExtra = nullptr;
    QLineEdit* txtProfilname = nullptr;
    QLineEdit* txtServername = nullptr;
    QLineEdit* txtPort = nullptr;
    QLineEdit* txtDB_Name = nullptr;
    QLineEdit* txtUsername = nullptr;
    QLineEdit* txtPass1 = nullptr;
    QLineEdit* txtPass2 = nullptr;
    QLabel* lblPass2 = nullptr;
    QCheckBox* chkHidePW = nullptr;
    QLineEdit* txtMdbPath = nullptr;
    QPushButton* btnOpen = nullptr;
    QCheckBox* chkOverwrite = nullptr;
    QCheckBox* chkOffice97 = nullptr;
    QCheckBox* chkOffice2000 = nullptr;
    QPushButton* btnNew = nullptr;
    QPushButton* btnDel = nullptr;
    QPushButton* btnApply = nullptr;
    QPushButton* btnCancel = nullptr;
};

} // namespace tablor
