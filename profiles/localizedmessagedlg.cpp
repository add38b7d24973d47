// LocalizedMessageDlg: the two-language message box; see localizedmessagedlg.h.
#include "profiles/localizedmessagedlg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>
#include <array>

namespace tablor {
namespace {

struct ButtonDef {
    TMsgDlgBtn flag;
    int result; // 0: Help, which does not close the box
    const char* name;
    const char* german;
};

// The order in which buttons appear.
constexpr std::array<ButtonDef, 11> kButtons = {{
    {mbYes, mrYes, "Yes", "&Ja"},
    {mbNo, mrNo, "No", "&Nein"},
    {mbOK, mrOk, "OK", "OK"},
    {mbCancel, mrCancel, "Cancel", "Abbrechen"},
    {mbAbort, mrAbort, "Abort", "&Abbrechen"},
    {mbRetry, mrRetry, "Retry", "&Wiederholen"},
    {mbIgnore, mrIgnore, "Ignore", "&Ignorieren"},
    {mbAll, mrAll, "All", "&Alle"},
    {mbNoToAll, mrNoToAll, "NoToAll", "&Alle Nein"},
    {mbYesToAll, mrYesToAll, "YesToAll", "A&lle Ja"},
    {mbHelp, 0, "Help", "&Hilfe"},
}};

struct TitleDef {
    const char* german;
    const char* english;
};
constexpr std::array<TitleDef, 4> kTitles = {{
    {"Warnung", "Warning"},
    {"Fehler", "Error"},
    {"Information", "Information"},
    {"Bestätigung", "Confirmation"},
}};

MessagePresenter& presenter() {
    static MessagePresenter p;
    return p;
}

HelpHandler& helpHandler() {
    static HelpHandler h;
    return h;
}

QString& applicationTitle() {
    static QString title = QStringLiteral("Tablor 2.0");
    return title;
}

// The box itself: icon and text above one row of buttons in fixed order.
class MessageDialog : public QDialog {
public:
    MessageDialog(const MessageRequest& request, QWidget* parent)
        : QDialog(parent), helpContext_(request.helpContext), escapeResult_(request.escapeResult) {
        setObjectName(QStringLiteral("LocalizedMessageDlg"));
        setWindowTitle(request.title);
        setModal(true);
        setProperty("helpContext", request.helpContext);

        auto* top = new QHBoxLayout;
        QStyle::StandardPixmap icon = QStyle::SP_CustomBase;
        switch (request.type) {
        case mtWarning: icon = QStyle::SP_MessageBoxWarning; break;
        case mtError: icon = QStyle::SP_MessageBoxCritical; break;
        case mtInformation: icon = QStyle::SP_MessageBoxInformation; break;
        case mtConfirmation: icon = QStyle::SP_MessageBoxQuestion; break;
        case mtCustom: break;
        }
        if (icon != QStyle::SP_CustomBase) {
            auto* iconLabel = new QLabel(this);
            iconLabel->setObjectName(QStringLiteral("Image"));
            const int size = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
            iconLabel->setPixmap(style()->standardIcon(icon, nullptr, this).pixmap(size, size));
            iconLabel->setAlignment(Qt::AlignTop);
            top->addWidget(iconLabel);
        }
        // The texts hold carriage returns as their line breaks.
        QString shown = request.text;
        shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        shown.replace(u'\r', u'\n');
        auto* message = new QLabel(shown, this);
        message->setObjectName(QStringLiteral("Message"));
        message->setTextFormat(Qt::PlainText);
        message->setWordWrap(true);
        message->setTextInteractionFlags(Qt::TextSelectableByMouse);
        message->setMinimumWidth(260);
        top->addWidget(message, 1);

        auto* row = new QHBoxLayout;
        row->addStretch(1);
        QPushButton* defaultButton = nullptr;
        for (int i = 0; i < request.captions.size(); ++i) {
            auto* button = new QPushButton(request.captions.at(i), this);
            button->setObjectName(request.buttonNames.at(i));
            button->setAutoDefault(false);
            const int result = request.results.at(static_cast<std::size_t>(i));
            if (result == 0) {
                connect(button, &QPushButton::clicked, this, [this] { showHelp(); });
            } else {
                connect(button, &QPushButton::clicked, this, [this, result] { done(result); });
                if (result == request.effectiveDefault) defaultButton = button;
            }
            row->addWidget(button);
        }
        row->addStretch(1);
        if (defaultButton) {
            defaultButton->setDefault(true);
            defaultButton->setFocus(Qt::OtherFocusReason);
        }

        auto* layout = new QVBoxLayout(this);
        layout->addLayout(top);
        layout->addSpacing(8);
        layout->addLayout(row);
        layout->setSizeConstraint(QLayout::SetFixedSize);
    }

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
            if (escapeResult_ != 0) done(escapeResult_);
            return; // no Cancel, No or OK: Escape does nothing
        }
        if (event->key() == Qt::Key_F1) {
            showHelp();
            return;
        }
        QDialog::keyPressEvent(event);
    }
    // The close box (and anything else that closes the window) answers Cancel.
    void closeEvent(QCloseEvent* event) override {
        event->accept();
        done(mrCancel);
    }
    void reject() override { done(mrCancel); }

private:
    void showHelp() {
        if (helpContext_ != 0 && helpHandler()) helpHandler()(helpContext_);
    }

    int helpContext_;
    int escapeResult_;
};

} // namespace

QString messageApplicationTitle() { return applicationTitle(); }
void setMessageApplicationTitle(const QString& title) { applicationTitle() = title; }

QString englishCaption(const QString& germanCaption) {
    QString plain = germanCaption;
    plain.remove(u'&');
    if (plain == QLatin1String("Ja")) return QStringLiteral("&Yes");
    if (plain == QLatin1String("Nein")) return QStringLiteral("&No");
    if (plain == QLatin1String("Alle Ja")) return QStringLiteral("Yes to &all");
    if (plain == QLatin1String("Alle Nein")) return QStringLiteral("&No to all");
    if (plain == QLatin1String("Abbrechen") || plain == QLatin1String("Abbruch")) {
        return QStringLiteral("&Cancel");
    }
    return plain;
}

MessageRequest describeMessage(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons, int defaultButton,
                               const QString& language, int helpContext) {
    MessageRequest r;
    r.text = text;
    r.type = type;
    r.buttons = buttons;
    r.defaultButton = defaultButton;
    r.language = language;
    r.helpContext = helpContext;

    const bool german = language == QLatin1String("Deutsch");
    if (type == mtCustom) {
        r.title = applicationTitle();
    } else {
        const TitleDef& t = kTitles.at(static_cast<std::size_t>(type));
        r.title = QString::fromUtf8(german ? t.german : t.english);
    }

    for (const ButtonDef& b : kButtons) {
        if (!(buttons & b.flag)) continue;
        const QString caption = QString::fromUtf8(b.german);
        r.captions << (german ? caption : englishCaption(caption));
        r.buttonNames << QString::fromLatin1(b.name);
        r.results.push_back(b.result);
    }
    auto has = [&](int result) {
        return result != 0 && std::find(r.results.begin(), r.results.end(), result) != r.results.end();
    };
    if (has(defaultButton)) {
        r.effectiveDefault = defaultButton;
    } else if (has(mrOk)) {
        r.effectiveDefault = mrOk;
    } else if (has(mrYes)) {
        r.effectiveDefault = mrYes;
    } else if (has(mrRetry)) {
        r.effectiveDefault = mrRetry;
    }
    if (has(mrCancel)) {
        r.escapeResult = mrCancel;
    } else if (has(mrNo)) {
        r.escapeResult = mrNo;
    } else if (has(mrOk)) {
        r.escapeResult = mrOk;
    }
    return r;
}

QDialog* createMessageDialog(const MessageRequest& request, QWidget* parent) {
    return new MessageDialog(request, parent);
}

int LocalizedMessageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons, int defaultButton,
                        const QString& language, int helpContext) {
    const MessageRequest request = describeMessage(text, type, buttons, defaultButton, language, helpContext);
    if (presenter()) return presenter()(request);
    QPointer<QDialog> box = createMessageDialog(request, QApplication::activeWindow());
    const int result = box->exec();
    delete box;
    return result;
}

MessagePresenter setMessagePresenter(MessagePresenter p) {
    MessagePresenter previous = std::move(presenter());
    presenter() = std::move(p);
    return previous;
}

void setMessageHelpHandler(HelpHandler handler) { helpHandler() = std::move(handler); }

MessageBoxRecorder::MessageBoxRecorder(int fallback) : fallback_(fallback) {
    previous_ = setMessagePresenter([this](const MessageRequest& request) {
        requests_.push_back(request);
        if (answers_.empty()) return fallback_;
        const int a = answers_.front();
        answers_.pop_front();
        return a;
    });
}

MessageBoxRecorder::~MessageBoxRecorder() { setMessagePresenter(std::move(previous_)); }

} // namespace tablor
