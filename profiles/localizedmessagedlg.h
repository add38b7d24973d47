// LocalizedMessageDlg: the message box every window uses for the messages it words itself,
// with German or English title and button captions.
//
//   int r = LocalizedMessageDlg(LocalizedMessage(msgConnectNow, prefs.LanguageIndex),
//                               mtConfirmation, mbYes | mbNo, mrYes, prefs.FLanguage, 0);
//   if (r == mrYes) ...
//
// Titles: warning "Warnung"/"Warning", error "Fehler"/"Error", information "Information",
// confirmation "Bestätigung"/"Confirmation", custom: the application title ("Tablor 2.0").
// Buttons appear in the order Yes, No, OK, Cancel, Abort, Retry, Ignore, All, No to all,
// Yes to all, Help. Captions and title are German when the language is exactly "Deutsch" and
// English otherwise (also when it is empty). Enter presses the default button; Escape presses Cancel, else No, else OK; the
// window's close box returns mrCancel (2). Help and F1 open the help context (if not 0) and do
// not close the box.
//
// Tests (and anything else that must not block) install a presenter: it receives the request
// with everything the box would show and returns the answer instead of the box.
// MessageBoxRecorder does that with a queue of answers and keeps every request.
#pragma once

#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <vector>

class QDialog;
class QWidget;

namespace tablor {

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

// Button set flags, combinable with |.
enum TMsgDlgBtn : unsigned {
    mbYes = 1u << 0,
    mbNo = 1u << 1,
    mbOK = 1u << 2,
    mbCancel = 1u << 3,
    mbAbort = 1u << 4,
    mbRetry = 1u << 5,
    mbIgnore = 1u << 6,
    mbAll = 1u << 7,
    mbNoToAll = 1u << 8,
    mbYesToAll = 1u << 9,
    mbHelp = 1u << 10,
};
using TMsgDlgButtons = unsigned;

// Results (the value a button returns).
enum ModalResult : int {
    mrNone = 0,
    mrOk = 1,
    mrCancel = 2,
    mrAbort = 3,
    mrRetry = 4,
    mrIgnore = 5,
    mrYes = 6,
    mrNo = 7,
    mrAll = 8,
    mrNoToAll = 9,
    mrYesToAll = 10,
};

// What a message box shows; given to a presenter, and built by describeMessage().
struct MessageRequest {
    QString text;
    TMsgDlgType type = mtInformation;
    TMsgDlgButtons buttons = 0;
    int defaultButton = 0; // as passed
    QString language;      // as passed
    int helpContext = 0;
    // Derived, as the real box shows them:
    QString title;
    QStringList captions;     // in button order, with their "&"
    QStringList buttonNames;  // "Yes", "No", "OK", "Cancel", "Abort", "Retry", "Ignore",
                              // "All", "NoToAll", "YesToAll", "Help" (objectNames)
    std::vector<int> results; // per button; 0 for Help
    int effectiveDefault = 0; // result of the button that Enter presses, 0 for none
    int escapeResult = 0;     // result that Escape gives, 0 when Escape does nothing
};

int LocalizedMessageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons, int defaultButton,
                        const QString& language, int helpContext);

// Everything the box will show, without showing it.
MessageRequest describeMessage(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons, int defaultButton,
                               const QString& language, int helpContext);

// The title of custom boxes; "Tablor 2.0" unless set otherwise.
QString messageApplicationTitle();
void setMessageApplicationTitle(const QString& title);

// The English caption for a German one (after removing every "&"), e.g. "&Ja" -> "&Yes".
QString englishCaption(const QString& germanCaption);

// Replaces the box for every later call; an empty function restores the real box. Returns the
// previous presenter.
using MessagePresenter = std::function<int(const MessageRequest&)>;
MessagePresenter setMessagePresenter(MessagePresenter presenter);

// Opens a help topic; installed by the main window once help exists. Without it, Help and F1
// do nothing.
using HelpHandler = std::function<void(int helpContext)>;
void setMessageHelpHandler(HelpHandler handler);

// Builds the real box (not shown) for a request; the caller owns it. Its exec() returns the
// result. For tests that inspect the widgets.
QDialog* createMessageDialog(const MessageRequest& request, QWidget* parent = nullptr);

// Answers message boxes while it lives: each call takes the next queued answer (or
// `fallback` when the queue is empty) and is recorded. Restores the previous presenter when
// destroyed.
class MessageBoxRecorder {
public:
    explicit MessageBoxRecorder(int fallback = mrCancel);
    ~MessageBoxRecorder();
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    void answer(int result) { answers_.push_back(result); }
    const std::vector<MessageRequest>& requests() const { return requests_; }
    int count() const { return static_cast<int>(requests_.size()); }
    const MessageRequest& last() const { return requests_.back(); }
    void clear() { requests_.clear(); }

private:
    std::deque<int> answers_;
    std::vector<MessageRequest> requests_;
    int fallback_;
    MessagePresenter previous_;
};

} // namespace tablor
