// TfrmServeredit, the server setup dialog; see u_serveredit.h.
#include "profiles/u_serveredit.h"
#include "ui/windowcolour.h"

#include "profiles/widgethelpers.h"

#include "l10n/translator.h"
#include "profiles/localizedmessagedlg.h"
#include "profiles/localizedmessages.h"
#include "profiles/programdir.h"
#include "profiles/windows1252.h"

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFont>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPalette>
#include <QPushButton>
#include <QStringList>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include <array>

namespace tablor {
namespace {

// The dialog's texts, German beside English. The window is designed in English. The tab
// captions and the file chooser's title and filter are set through setters (buildTexts()).
constexpr std::array<TextPair, 21> kTexts = {{
    {"", "windowTitle", "Server Setup", "Server Setup"},
    {"Label1", "text", "Enfernte Server verwalten", "Remote server management"},
    {"popEdit", "text", "Profil bearbeiten", "Edit profile"},
    {"popNew", "text", "Neues Profil erstellen", "Create profile"},
    {"popDel", "text", "Profil löschen", "Delete profile"},
    {"lblProfilname", "text", "Profilname", "Profile name"},
    {"lblServername", "text", "Servername", "Server name"},
    {"lblPort", "text", "Port", "Port"},
    {"lblDB_Name", "text", "Datenbankname", "Database name"},
    {"lblUsername", "text", "Benutzername", "Login"},
    {"lblPass1", "text", "Kennwort", "Password"},
    {"lblPass2", "text", "Kennwort bestätigen", "Retype password"},
    {"chkHidePW", "text", "Kennwort verbergen", "Hide password"},
    {"lblMdbPath", "text", "Datenbankpfad", "DB path"},
    {"chkOverwrite", "text", "Tabellen vor dem sichern leeren", "Drop tables before updating"},
    {"chkOffice97", "text", "Im Office 97 Format sichern", "Save as Office97 document"},
    {"chkOffice2000", "text", "Im Office 2000 Format sichern", "Save as Office2000 document"},
    {"btnNew", "text", "Neu", "New"},
    {"btnDel", "text", "Löschen", "Delete"},
    {"btnApply", "text", "Übernehmen", "Apply"},
    {"btnCancel", "text", "Schließen", "Close"},
}};

struct SetterText {
    const char* german;
    const char* english;
};
constexpr SetterText kTabBasic{"Grundeinstellung", "Basic settings"};
constexpr SetterText kTabExtra{"Erweitert", "Advanced settings"};
constexpr SetterText kOpenTitle{"Öffnen...", "Open..."};
// Shown when a field holds characters that server.dat (Windows-1252) cannot store.
constexpr SetterText kNotStorable{
    "Das Feld \"%1\" enthält Zeichen, die in der Profildatei nicht gespeichert werden können.",
    "The field \"%1\" contains characters that the profile file cannot store."};
constexpr SetterText kOpenFilter{"Access Datenbanken (*.mdb)|*.mdb|Alle Dateien (*.*)|*.*",
                                 "Access files (*.mdb)|*.mdb|All files (*.*)|*.*"};

SaveFileChooser& chooser() {
    static SaveFileChooser c;
    return c;
}

QString realSaveFileDialog(QWidget* parent, const SaveFileRequest& request) {
    QFileDialog dialog(parent, request.title);
    dialog.setObjectName(QStringLiteral("sdMDB"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(request.defaultExt);
    dialog.setNameFilters(qtFilters(request.filter));
    dialog.selectFile(request.fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
    return dialog.selectedFiles().constFirst();
}

QLineEdit* makeEdit(QWidget* parent, const char* name) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    return edit;
}

QLabel* makeLabel(QWidget* parent, const char* name, QWidget* buddy) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setBuddy(buddy);
    return label;
}

} // namespace

SaveFileChooser TfrmServeredit::setSaveFileChooser(SaveFileChooser c) {
    SaveFileChooser previous = std::move(chooser());
    chooser() = std::move(c);
    return previous;
}

TfrmServeredit::TfrmServeredit(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmServeredit"));
    buildWindow();
    buildTexts();

    current_ = nullptr;
    PageControl1->setCurrentIndex(0);
    LoadProfiles(list_); // a file that exists but cannot be read stops the dialog here
    fillList();

    // A stored language the translator does not know (empty before the first switch) gives the
    // language that LanguageIndex stands for, as the message texts do: German in a new setup.
    try {
        translator_->switchLanguage(prefs_.FLanguage);
    } catch (const UnknownLanguage&) {
        translator_->switchLanguage(messageLanguage());
    }

    clearFields();
    enableFields(false);
    setModified(false);
    setProperty("helpContext", HelpContext);
}

TfrmServeredit::~TfrmServeredit() = default;

void TfrmServeredit::buildWindow() {
    setModal(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, windowColour());
    setPalette(pal);
    setAutoFillBackground(true);

    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    QFont bold = Label1->font();
    bold.setBold(true);
    Label1->setFont(bold);
    Label1->setContentsMargins(8, 6, 8, 6);

    lstServer = new QListWidget(this);
    lstServer->setObjectName(QStringLiteral("lstServer"));
    lstServer->setSelectionMode(QAbstractItemView::SingleSelection);
    lstServer->setFixedWidth(153);
    lstServer->setContextMenuPolicy(Qt::CustomContextMenu);

    popMenu = new QMenu(this);
    popMenu->setObjectName(QStringLiteral("PopupMenu1"));
    popEdit = new QAction(this);
    popEdit->setObjectName(QStringLiteral("popEdit"));
    popNew = new QAction(this);
    popNew->setObjectName(QStringLiteral("popNew"));
    popDel = new QAction(this);
    popDel->setObjectName(QStringLiteral("popDel"));
    popMenu->addAction(popEdit);
    popMenu->addAction(popNew);
    popMenu->addAction(popDel);
    popMenu->setDefaultAction(popEdit);

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setDocumentMode(true);
    PageControl1->setUsesScrollButtons(false); // both tabs always in full view
    // Tabs drawn as flat buttons.
    PageControl1->tabBar()->setStyleSheet(
        QStringLiteral("QTabBar::tab { border: 1px solid palette(mid); border-radius: 3px; padding: 3px 8px;"
                       " margin-right: 4px; background: palette(button); }"
                       "QTabBar::tab:selected { background: palette(dark); color: palette(bright-text); }"));

    tabBasic = new QWidget;
    tabBasic->setObjectName(QStringLiteral("tabBasic"));
    txtProfilname = makeEdit(tabBasic, "txtProfilname");
    txtServername = makeEdit(tabBasic, "txtServername");
    txtPort = makeEdit(tabBasic, "txtPort");
    txtDB_Name = makeEdit(tabBasic, "txtDB_Name");
    txtUsername = makeEdit(tabBasic, "txtUsername");
    txtPass1 = makeEdit(tabBasic, "txtPass1");
    txtPass2 = makeEdit(tabBasic, "txtPass2");
    for (QLineEdit* e : {txtPass1, txtPass2}) {
        e->setEchoMode(QLineEdit::Password);
        e->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }")); // '*'
    }
    chkHidePW = new QCheckBox(tabBasic);
    chkHidePW->setObjectName(QStringLiteral("chkHidePW"));
    chkHidePW->setChecked(true);
    lblPass2 = makeLabel(tabBasic, "lblPass2", txtPass2);
    auto* basic = new QGridLayout(tabBasic);
    basic->setVerticalSpacing(3);
    int row = 0;
    for (auto [edit, label] : {std::pair{txtProfilname, "lblProfilname"}, std::pair{txtServername, "lblServername"},
                               std::pair{txtPort, "lblPort"}, std::pair{txtDB_Name, "lblDB_Name"},
                               std::pair{txtUsername, "lblUsername"}, std::pair{txtPass1, "lblPass1"}}) {
        basic->addWidget(makeLabel(tabBasic, label, edit), row, 0);
        basic->addWidget(edit, row, 1);
        ++row;
    }
    basic->addWidget(lblPass2, row, 0);
    basic->addWidget(txtPass2, row, 1);
    ++row;
    basic->addWidget(chkHidePW, row, 0, 1, 2);
    basic->setRowStretch(row + 1, 1);
    basic->setColumnStretch(1, 1);

    tabExtra = new QWidget;
    tabExtra->setObjectName(QStringLiteral("tabExtra"));
    txtMdbPath = makeEdit(tabExtra, "txtMdbPath");
    btnOpen = new QPushButton(QStringLiteral("..."), tabExtra);
    btnOpen->setObjectName(QStringLiteral("btnOpen"));
    btnOpen->setFixedWidth(28);
    chkOverwrite = new QCheckBox(tabExtra);
    chkOverwrite->setObjectName(QStringLiteral("chkOverwrite"));
    chkOffice97 = new QCheckBox(tabExtra);
    chkOffice97->setObjectName(QStringLiteral("chkOffice97"));
    chkOffice2000 = new QCheckBox(tabExtra);
    chkOffice2000->setObjectName(QStringLiteral("chkOffice2000"));
    chkOffice2000->setChecked(true);
    auto* extra = new QVBoxLayout(tabExtra);
    extra->addWidget(makeLabel(tabExtra, "lblMdbPath", txtMdbPath));
    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(txtMdbPath, 1);
    pathRow->addWidget(btnOpen);
    extra->addLayout(pathRow);
    extra->addSpacing(6);
    extra->addWidget(chkOverwrite);
    extra->addWidget(chkOffice97);
    extra->addWidget(chkOffice2000);
    extra->addStretch(1);

    PageControl1->addTab(tabBasic, QString());
    PageControl1->addTab(tabExtra, QString());

    btnNew = new QPushButton(this);
    btnNew->setObjectName(QStringLiteral("btnNew"));
    btnDel = new QPushButton(this);
    btnDel->setObjectName(QStringLiteral("btnDel"));
    btnApply = new QPushButton(this);
    btnApply->setObjectName(QStringLiteral("btnApply"));
    btnCancel = new QPushButton(this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    for (QPushButton* b : {btnNew, btnDel, btnApply, btnCancel}) b->setAutoDefault(false);

    auto* middle = new QHBoxLayout;
    middle->addWidget(lstServer);
    middle->addWidget(PageControl1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnNew);
    buttons->addWidget(btnDel);
    buttons->addStretch(1);
    buttons->addWidget(btnApply);
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 0, 6, 6);
    layout->addWidget(Label1);
    layout->addLayout(middle, 1);
    layout->addLayout(buttons);
    // 376 x 345 as designed; wider where the fonts need it.
    resize(sizeHint().expandedTo(QSize(376, 345)));

    // Reactions.
    connect(lstServer, &QListWidget::itemDoubleClicked, this, [this] { popEditClick(); });
    connect(lstServer, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { popMenu->popup(lstServer->viewport()->mapToGlobal(at)); });
    connect(popEdit, &QAction::triggered, this, [this] { popEditClick(); });
    connect(popNew, &QAction::triggered, this, [this] { btnNewClick(); });
    connect(popDel, &QAction::triggered, this, [this] { btnDelClick(); });
    connect(btnNew, &QPushButton::clicked, this, [this] { btnNewClick(); });
    connect(btnDel, &QPushButton::clicked, this, [this] { btnDelClick(); });
    connect(btnApply, &QPushButton::clicked, this, [this] { reportErrors([this] { btnApplyClick(); }); });
    connect(btnCancel, &QPushButton::clicked, this, &TfrmServeredit::reject);
    connect(btnOpen, &QPushButton::clicked, this, [this] { btnOpenClick(); });
    for (QLineEdit* e : {txtProfilname, txtServername, txtPort, txtDB_Name, txtUsername, txtPass2, txtMdbPath}) {
        connect(e, &QLineEdit::textChanged, this, [this] { setModified(true); });
    }
    connect(txtPass1, &QLineEdit::textChanged, this, [this] { txtPass1Change(); });
    connect(chkOverwrite, &QCheckBox::toggled, this, [this] { setModified(true); });
    connect(chkHidePW, &QCheckBox::toggled, this, [this](bool on) { chkHidePWClick(on); });
    connect(chkOffice97, &QCheckBox::clicked, this, [this](bool on) {
        setOffice97(on);
        setModified(true);
    });
    connect(chkOffice2000, &QCheckBox::clicked, this, [this](bool on) {
        setOffice97(!on);
        setModified(true);
    });
}

void TfrmServeredit::buildTexts() {
    // Show the design language (English) before the translator takes over.
    for (const TextPair& t : kTexts) {
        QObject* target = QString::fromLatin1(t.object).isEmpty() ? static_cast<QObject*>(this)
                                                                  : findChild<QObject*>(QString::fromLatin1(t.object));
        if (target) target->setProperty(t.property, QString::fromUtf8(t.english));
    }
    translator_ = new TTranslator(this, QString::fromLatin1(TTranslator::English), kTexts);
    translator_->addSetter([this](const QString& s) { PageControl1->setTabText(0, s); },
                           QString::fromUtf8(kTabBasic.german), QString::fromUtf8(kTabBasic.english));
    translator_->addSetter([this](const QString& s) { PageControl1->setTabText(1, s); },
                           QString::fromUtf8(kTabExtra.german), QString::fromUtf8(kTabExtra.english));
    translator_->addSetter([this](const QString& s) { sdMDB_.title = s; }, QString::fromUtf8(kOpenTitle.german),
                           QString::fromUtf8(kOpenTitle.english));
    translator_->addSetter([this](const QString& s) { sdMDB_.filter = s; }, QString::fromUtf8(kOpenFilter.german),
                           QString::fromUtf8(kOpenFilter.english));
    sdMDB_.defaultExt = QStringLiteral("mdb");
    sdMDB_.fileName = QStringLiteral("backup.mdb");
}

void TfrmServeredit::setModified(bool on) {
    modified_ = on;
    btnApply->setEnabled(on);
}

void TfrmServeredit::enableFields(bool on) {
    fieldsEnabled_ = on;
    for (QWidget* w : std::initializer_list<QWidget*>{txtProfilname, txtServername, txtPort, txtDB_Name, txtUsername,
                                                      txtPass1, txtPass2, txtMdbPath, chkHidePW, chkOverwrite,
                                                      chkOffice97, chkOffice2000, btnOpen}) {
        w->setEnabled(on);
    }
}

void TfrmServeredit::setOffice97(bool on) {
    chkOffice97->setChecked(on);
    chkOffice2000->setChecked(!on);
}

void TfrmServeredit::fillList() {
    lstServer->clear();
    for (const auto& record : list_) {
        auto* item = new QListWidgetItem(record->ProfileName, lstServer);
        item->setData(Qt::UserRole, QVariant::fromValue(static_cast<void*>(record.get())));
        if (record.get() == current_) {
            lstServer->setCurrentItem(item);
            item->setSelected(true);
        }
    }
}

ServerProfile* TfrmServeredit::selectedRecord() const {
    const QList<QListWidgetItem*> selected = lstServer->selectedItems();
    if (selected.isEmpty()) return nullptr;
    auto* record = static_cast<ServerProfile*>(selected.first()->data(Qt::UserRole).value<void*>());
    return list_.contains(record) ? record : nullptr;
}

void TfrmServeredit::clearFields() {
    for (QLineEdit* e :
         {txtProfilname, txtServername, txtPort, txtDB_Name, txtUsername, txtPass1, txtPass2, txtMdbPath}) {
        e->clear();
    }
    setOffice97(false);
    chkHidePW->setChecked(true);
    chkOverwrite->setChecked(false);
    setModified(false);
}

void TfrmServeredit::chkHidePWClick(bool checked) {
    const bool wasModified = modified_;
    lblPass2->setVisible(checked);
    txtPass2->setVisible(checked);
    txtPass1->setEchoMode(checked ? QLineEdit::Password : QLineEdit::Normal);
    if (!checked) txtPass2->setText(txtPass1->text());
    setModified(wasModified);
}

void TfrmServeredit::txtPass1Change() {
    // With the retype field hidden the two always agree.
    if (!chkHidePW->isChecked()) txtPass2->setText(txtPass1->text());
    setModified(true);
}

QString TfrmServeredit::messageLanguage() const {
    // The language that LanguageIndex stands for, so that a stored name the program does not
    // know (empty before the first switch) gives German buttons for the German texts.
    return TTranslator::languages().value(prefs_.LanguageIndex, QString::fromLatin1(TTranslator::German));
}

int TfrmServeredit::message(const QString& text, int type, unsigned buttons, int defaultButton) {
    return LocalizedMessageDlg(text, static_cast<TMsgDlgType>(type), buttons, defaultButton, messageLanguage(),
                               HelpContext);
}

bool TfrmServeredit::reportErrors(const std::function<void()>& action) {
    try {
        action();
        return true;
    } catch (const std::exception& e) {
        // As the application-wide error display shows it: the application title, text and OK.
        LocalizedMessageDlg(QString::fromUtf8(e.what()), mtCustom, mbOK, mrOk, messageLanguage(), 0);
        return false;
    }
}

void TfrmServeredit::btnNewClick() {
    current_ = nullptr;
    enableFields(true);
    txtServername->clear();
    txtPort->setText(QStringLiteral("3306"));
    for (QLineEdit* e : {txtDB_Name, txtUsername, txtPass1, txtPass2, txtMdbPath}) e->clear();
    chkHidePW->setChecked(true);
    chkOverwrite->setChecked(false);
    setOffice97(false);
    PageControl1->setCurrentIndex(0);
    txtProfilname->setText(LocalizedMessage(msgNewServer, prefs_.LanguageIndex));
    txtProfilname->setFocus();
    setModified(true); // the new profile is not saved yet
}

void TfrmServeredit::popEditClick() {
    // Taken before Apply, which fills the list again and selects the record it saved.
    ServerProfile* selected = selectedRecord();
    if (modified_) {
        const int answer =
            message(LocalizedMessage(msgSaveChanges, prefs_.LanguageIndex), mtConfirmation, mbYes | mbNo, mrYes);
        if (answer == mrYes) {
            bool applied = false;
            if (!reportErrors([&] { applied = btnApplyClick(); }) || !applied) return;
        } else if (answer != mrNo) {
            return; // the question was closed without an answer: change nothing
        }
    }
    if (selected) current_ = selected;
    if (current_) {
        const ServerProfile& r = *current_;
        txtProfilname->setText(r.ProfileName);
        txtServername->setText(r.ServerName);
        txtPort->setText(QString::number(r.Port));
        txtDB_Name->setText(r.DbName);
        txtUsername->setText(r.UserName);
        txtPass1->setText(r.Password);
        txtPass2->setText(r.Password);
        chkHidePW->setChecked(true);
        txtMdbPath->setText(r.MdbPath);
        chkOverwrite->setChecked(r.Overwrite);
        setOffice97(r.isOffice97());
    }
    enableFields(true);
    setModified(false);
}

bool TfrmServeredit::btnApplyClick() {
    if (fieldsEnabled_) {
        if (txtProfilname->text().isEmpty()) {
            message(LocalizedMessage(msgProfileNameMissing, prefs_.LanguageIndex), mtInformation, mbOK, mrOk);
            return false;
        }
        if (txtPass1->text() != txtPass2->text()) {
            message(LocalizedMessage(msgPasswordMismatch, prefs_.LanguageIndex), mtInformation, mbOK, mrOk);
            return false;
        }
        // Stored, such a character would become '?': a path or a password that silently
        // names something else.
        for (QLineEdit* e : {txtProfilname, txtServername, txtDB_Name, txtUsername, txtPass1, txtMdbPath}) {
            if (fitsWindows1252(e->text())) continue;
            const auto* label = findChild<QLabel*>("lbl" + e->objectName().mid(3));
            const SetterText& t = kNotStorable;
            message(QString::fromUtf8(prefs_.LanguageIndex == 1 ? t.english : t.german)
                        .arg(label ? label->text() : e->objectName()),
                    mtInformation, mbOK, mrOk);
            PageControl1->setCurrentWidget(e->parentWidget());
            e->setFocus();
            return false;
        }
        if (!current_) current_ = list_.append(std::make_unique<ServerProfile>());
        ServerProfile& r = *current_;
        r.ProfileName = ServerProfile::asShortString(txtProfilname->text());
        r.ServerName = ServerProfile::asShortString(txtServername->text());
        r.DbName = ServerProfile::asShortString(txtDB_Name->text());
        r.UserName = ServerProfile::asShortString(txtUsername->text());
        r.Password = ServerProfile::asShortString(txtPass1->text());
        r.Port = portFromText(txtPort->text());
        r.MdbPath = ServerProfile::asMdbPath(txtMdbPath->text());
        r.Overwrite = chkOverwrite->isChecked();
        r.AccessFormat = chkOffice97->isChecked() ? 0 : 1;
    }
    SaveProfiles(list_);
    fillList();
    setModified(false);
    return true;
}

bool TfrmServeredit::deleteLocalFileAllowed(const ServerProfile* record) const {
    // Another profile that names the same file still needs it.
    for (const auto& other : list_) {
        if (other.get() != record && other->MdbPath == record->MdbPath) return false;
    }
    return true;
}

void TfrmServeredit::btnDelClick() {
    ServerProfile* record = selectedRecord();
    if (!record) return;
    // Deleting leaves the fields disabled, and Apply then stores nothing from them: typed changes
    // to another profile (or a new one) would be lost without a word, so ask about them first.
    if (modified_ && fieldsEnabled_ && record != current_) {
        const int save =
            message(LocalizedMessage(msgSaveChanges, prefs_.LanguageIndex), mtConfirmation, mbYes | mbNo, mrYes);
        if (save == mrYes) {
            bool applied = false;
            if (!reportErrors([&] { applied = btnApplyClick(); }) || !applied) return;
        } else if (save != mrNo) {
            return;
        }
    }
    const int answer = message(LocalizedMessage(msgDeleteProfile, prefs_.LanguageIndex, record->ProfileName),
                               mtConfirmation, mbYes | mbNo, mrNo);
    if (answer != mrYes) return;
    // The profile's local Access file goes at once; a failure (no such file) is ignored.
    if (!record->MdbPath.isEmpty() && deleteLocalFileAllowed(record)) QFile::remove(record->MdbPath);
    if (record == current_) clearFields();
    list_.remove(record);
    current_ = nullptr;
    fillList();
    enableFields(false);
    setModified(true);
}

void TfrmServeredit::btnOpenClick() {
    const QString chosen = chooser() ? chooser()(this, sdMDB_) : realSaveFileDialog(this, sdMDB_);
    if (!chosen.isEmpty()) txtMdbPath->setText(chosen);
}

void TfrmServeredit::reject() {
    if (modified_) {
        const int answer = message(LocalizedMessage(msgSaveChanges, prefs_.LanguageIndex), mtConfirmation,
                                   mbYes | mbNo | mbCancel, mrYes);
        if (answer == mrCancel) return;
        if (answer == mrYes) {
            bool applied = false;
            if (!reportErrors([&] { applied = btnApplyClick(); }) || !applied) return;
        }
    }
    QDialog::reject();
}

} // namespace tablor
