// The start dialog: three ways to begin, its check of the choice and its texts.
#include "app/u_startup.h"

#include "app/errordisplay.h"
#include "app/u_main.h"
#include "profiles/localizedmessagedlg.h"
#include "profiles/localizedmessages.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace tablor {

namespace {

// clang-format off
constexpr TextPair kStartupTexts[] = {
    // control      property       German                                    English
    {"",            "windowTitle", "Startdialog",                            "Start dialog"},
    {"Label1",      "text",        "Was möchten Sie tun?",                   "What can I do for you?"},
    {"rdoWizard",   "text",        "Den Konvertierungsassistenten starten",  "Start database wizard"},
    {"rdoServer",   "text",        "Mit einem Server verbinden",             "Connect to a server"},
    {"rdoStart",    "text",        "Selbsttätig weiterarbeiten",             "Start program"},
    {"chkStart",    "text",        "Diesen Dialog nicht mehr zeigen",        "Don't show this dialog again"},
    {"Start",       "text",        "Start",                                  "Start"},
};
// clang-format on

} // namespace

TfrmStartup::TfrmStartup(const QComboBox* servers, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmStartup"));
    // A small tool window of fixed size.
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setModal(true);
    applyWindowColour(this);
    buildWidgets();
    // Takes the language of the marked window (the main window) first ...
    Translator1 = new TTranslator(this, QString::fromLatin1(TTranslator::German), kStartupTexts);
    // ... then its own stored one.
    guardCreation([this, servers] { runCreationSteps(servers); });
}

TfrmStartup::~TfrmStartup() = default;

void TfrmStartup::buildWidgets() {
    auto* column = new QVBoxLayout(this);
    column->setSizeConstraint(QLayout::SetFixedSize);

    Label1 = new QLabel(QStringLiteral("Was möchten Sie tun?"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    QFont bold = Label1->font();
    bold.setBold(true);
    Label1->setFont(bold);
    column->addWidget(Label1);

    GroupBox1 = new QGroupBox(this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    auto* choices = new QVBoxLayout(GroupBox1);
    rdoWizard = new QRadioButton(QStringLiteral("Den Konvertierungsassistenten starten"), GroupBox1);
    rdoWizard->setObjectName(QStringLiteral("rdoWizard"));
    rdoServer = new QRadioButton(QStringLiteral("Mit einem Server verbinden"), GroupBox1);
    rdoServer->setObjectName(QStringLiteral("rdoServer"));
    cboServer = new QComboBox(GroupBox1);
    cboServer->setObjectName(QStringLiteral("cboServer"));
    cboServer->setEditable(false);
    cboServer->setMinimumWidth(200);
    rdoStart = new QRadioButton(QStringLiteral("Selbsttätig weiterarbeiten"), GroupBox1);
    rdoStart->setObjectName(QStringLiteral("rdoStart"));
    choices->addWidget(rdoWizard);
    choices->addWidget(rdoServer);
    auto* indent = new QHBoxLayout;
    indent->addSpacing(20);
    indent->addWidget(cboServer, 1);
    choices->addLayout(indent);
    choices->addWidget(rdoStart);
    column->addWidget(GroupBox1);

    chkStart = new QCheckBox(QStringLiteral("Diesen Dialog nicht mehr zeigen"), this);
    chkStart->setObjectName(QStringLiteral("chkStart"));
    column->addWidget(chkStart);

    Start = new QPushButton(QStringLiteral("Start"), this);
    Start->setObjectName(QStringLiteral("Start"));
    Start->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Start);
    column->addLayout(buttons);

    rdoWizard->setChecked(true);
    cboServer->setEnabled(false);
    chkStart->setChecked(false);

    connect(rdoWizard, &QRadioButton::clicked, this, [this] { cboServer->setEnabled(false); });
    connect(rdoStart, &QRadioButton::clicked, this, [this] { cboServer->setEnabled(false); });
    connect(rdoServer, &QRadioButton::clicked, this, [this] { cboServer->setEnabled(true); });
    connect(Start, &QPushButton::clicked, this, &TfrmStartup::StartClick);
}

void TfrmStartup::runCreationSteps(const QComboBox* servers) {
    prefs_ = std::make_unique<TPrefs>();
    // The stored language; German when it is empty or unknown, as the main window does (without
    // this, an empty stored name would stop the dialog's creation before it got its entries).
    try {
        Translator1->switchLanguage(prefs_->FLanguage);
    } catch (const UnknownLanguage&) {
        Translator1->switchLanguage(QString::fromLatin1(TTranslator::German));
    }
    if (servers) {
        for (int i = 0; i < servers->count(); ++i) cboServer->addItem(servers->itemText(i), servers->itemData(i));
    }
    cboServer->setCurrentIndex(0);
}

void TfrmStartup::StartClick() {
    if (cboServer->isEnabled() && cboServer->currentIndex() <= 0) {
        const int index = prefs_ ? prefs_->LanguageIndex : 0;
        LocalizedMessageDlg(LocalizedMessage(msgSelectProfile, index), mtInformation, mbOK, 0,
                            TTranslator::languages().value(index), 0);
        return;
    }
    if (prefs_) {
        prefs_->StartUpDialog = !chkStart->isChecked();
        prefs_->Save();
    }
    accept();
}

bool TfrmStartup::wizardChosen() const { return rdoWizard->isChecked(); }
bool TfrmStartup::serverChosen() const { return rdoServer->isChecked(); }
int TfrmStartup::chosenServerIndex() const { return cboServer->currentIndex(); }

void TfrmStartup::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Centred on the main window.
    if (QWidget* owner = parentWidget()) {
        const QPoint centre = owner->mapToGlobal(owner->rect().center());
        move(centre - QPoint(width() / 2, height() / 2));
    }
}

} // namespace tablor
