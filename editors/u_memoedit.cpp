// The memo editor; see u_memoedit.h.
#include "editors/u_memoedit.h"

#include "ui/failures.h"
#include "ui/windowcolour.h"
#include "db/DataSet.h"
#include "l10n/translator.h"

#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <array>

namespace tablor {
namespace {

// Designed in German.
constexpr std::array<TextPair, 3> kTexts = {{
    {"", "windowTitle", "Editor", "Editor"},
    {"btnApply", "text", "Übernehmen", "Apply"},
    {"btnCancel", "text", "Schließen", "Cancel"},
}};

} // namespace

TfrmMemotext::TfrmMemotext(QWidget* parent) : QDialog(parent, Qt::Tool) {
    setObjectName(QStringLiteral("frmMemotext"));
    setSizeGripEnabled(true);
    resize(420, 300);
    applyWindowColour(this);
    mmText = new QPlainTextEdit(this);
    mmText->setObjectName(QStringLiteral("mmText"));
    mmText->clear();
    btnApply = new QPushButton(this);
    btnApply->setObjectName(QStringLiteral("btnApply"));
    btnApply->setDefault(true);
    btnApply->setAutoDefault(true);
    btnCancel = new QPushButton(this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnApply);
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(mmText, 1);
    layout->addLayout(buttons);
    // Escape closes through QDialog::reject, as btnCancel does.
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    Translator1 = new TTranslator(this, QString::fromLatin1(TTranslator::German), kTexts);
    Translator1->switchLanguage(Translator1->language()); // the design texts into the controls
}

TMemoedit::TMemoedit(QWidget* parent) : window_(new TfrmMemotext(parent)) {
    QObject::connect(window_->applyButton(), &QPushButton::clicked, window_, [this] { applyClick(); });
}

TMemoedit::~TMemoedit() { delete window_; }

int TMemoedit::Edit(TField* field, bool postAfterEdit) {
    field_ = field;
    postAfterEdit_ = postAfterEdit;
    QPlainTextEdit* text = window_->text();
    text->setEnabled(true);
    valueRead_ = false;
    try {
        QString value = field ? field->AsString() : QString();
        if (!field) throw std::runtime_error("no field");
        crlf_ = !(value.contains(u'\n') && !value.contains(QStringLiteral("\r\n")));
        value.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        text->setPlainText(value);
        valueRead_ = true;
    } catch (const std::exception&) {
        ignoreOnPurpose("a memo that cannot be read as text is shown empty and cannot be changed");
        text->clear();
        text->setEnabled(false);
    }
    window_->applyButton()->setEnabled(valueRead_);
    if (QWidget* owner = window_->parentWidget()) window_->move(owner->geometry().center() - window_->rect().center());
    text->setFocus();
    const int result = window_->exec();
    if (postAfterEdit_ && dataSet_) {
        // A text the record refuses (too long, a character the file's code page lacks) is
        // cancelled, so that the record is back to its stored values, and the reason goes up
        // to be shown: the user must not take the text for saved.
        try {
            dataSet_->Post();
        } catch (const std::exception&) {
            try {
                dataSet_->Cancel();
            } catch (const std::exception&) {
                ignoreOnPurpose("cancelling after a refused post; the post's failure is the one shown");
            }
            throw;
        }
    }
    return result;
}

void TMemoedit::applyClick() {
    if (!valueRead_ || !field_) return;
    QString value = window_->text()->toPlainText();
    if (crlf_) value.replace(u'\n', QStringLiteral("\r\n"));
    try {
        field_->setAsString(value);
    } catch (const std::exception&) {
        // The value does not fit the field: the window stays open with the text.
        ignoreOnPurpose("a text the field refuses keeps the window open with the text");
        return;
    }
    window_->accept();
}

} // namespace tablor
