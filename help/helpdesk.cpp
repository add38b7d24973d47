// The application's help; see helpdesk.h.
#include "help/helpdesk.h"

#include "help/helpbook.h"
#include "help/helpwindow.h"
#include "l10n/translator.h"
#include "profiles/localizedmessagedlg.h"

#include <QApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QPointer>

#include <memory>

namespace tablor {
namespace {

constexpr LanguagePair NotFoundText{
    "Die Hilfe \"%1\" ist nicht zu finden. Gesucht wurde:\n%2\nLegen Sie die Datei an einen dieser Orte oder "
    "installieren Sie Tablor erneut.",
    "The help \"%1\" cannot be found. Looked for:\n%2\nPut the file in one of these places or install Tablor "
    "again."};
constexpr LanguagePair UnreadableText{"Die Hilfe \"%1\" kann nicht gelesen werden (%2).",
                                      "The help \"%1\" cannot be read (%2)."};

struct Desk {
    QString path;
    int languageIndex = 0;
    std::unique_ptr<HelpBook> book;
    QPointer<THelpWindow> window;
};

// Never destroyed: a registered help file must not be unregistered after Qt's own statics went.
Desk& desk() {
    static Desk* d = new Desk;
    return *d;
}

// The book of the application's help file, opened when needed; nullptr after telling the user.
const HelpBook* book() {
    Desk& d = desk();
    const QString fileName = QFileInfo(d.path).fileName();
    QString found = QFileInfo::exists(d.path) ? d.path : locateHelpFile(fileName);
    if (d.book && d.book->path() == found) return d.book.get();
    QString reason;
    if (!found.isEmpty()) {
        try {
            auto opened = HelpBook::open(found);
            if (d.window) d.window->setBook(nullptr, d.languageIndex);
            d.book = std::move(opened);
            return d.book.get();
        } catch (const HelpFileError& e) {
            reason = QString::fromUtf8(e.what());
        }
    }
    const QString language = TTranslator::languages().value(d.languageIndex);
    LocalizedMessageDlg(missingHelpMessage(d.languageIndex, fileName, reason), mtError, mbOK, 0, language, 0);
    return nullptr;
}

// While a modal window is open the help is its child (other windows take no input then); when
// that window goes, the help becomes a window of its own again instead of going with it.
class ModalOwnerWatcher : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        THelpWindow* w = desk().window;
        if (event->type() == QEvent::Hide && w && w->parentWidget() == watched) {
            const bool visible = w->isVisible();
            const QRect where = w->geometry();
            w->setParent(nullptr, Qt::Window);
            w->setGeometry(where);
            if (visible) w->show();
        }
        return false;
    }
};

bool show(const HelpTopic* (*pick)(const HelpBook&, const void*), const void* key) {
    const HelpBook* b = book();
    if (!b) return false;
    Desk& d = desk();
    // A modal window blocks every window but its own: the help belongs to the modal one then.
    QWidget* owner = QApplication::activeModalWidget();
    if (d.window && d.window->parentWidget() != owner && owner != d.window) d.window->setParent(owner, Qt::Window);
    if (owner && owner != d.window) {
        static auto* watcher = new ModalOwnerWatcher(qApp);
        owner->removeEventFilter(watcher);
        owner->installEventFilter(watcher);
    }
    if (!d.window) d.window = new THelpWindow(owner);
    if (d.window->book() != b) d.window->setBook(b, d.languageIndex);
    const HelpTopic* topic = pick(*b, key);
    d.window->showTopic(topic ? *topic : b->topics().front());
    d.window->show();
    d.window->raise();
    d.window->activateWindow();
    return true;
}

class HelpKeyFilter : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_F1 || key->modifiers() != Qt::NoModifier) return false;
        auto* widget = static_cast<QWidget*>(watched);
        if (widget->window() == desk().window) return true; // F1 in the help itself
        showHelpFor(widget);
        return true;
    }
};

} // namespace

void setApplicationHelpFile(const QString& path, int languageIndex) {
    desk().path = path;
    desk().languageIndex = languageIndex;
}

QString applicationHelpFile() { return desk().path; }

bool showHelpTopic(const QString& topicId) {
    return show([](const HelpBook& b, const void* k) { return b.topic(*static_cast<const QString*>(k)); }, &topicId);
}

bool showHelpContext(int helpContext) {
    return show([](const HelpBook& b, const void* k) { return b.topicForContext(*static_cast<const int*>(k)); },
                &helpContext);
}

bool showHelpFor(QWidget* widget) {
    return show(
        [](const HelpBook& b, const void* k) -> const HelpTopic* {
            for (auto* w = static_cast<const QWidget*>(k); w; w = w->parentWidget()) {
                const int context = w->property("helpContext").toInt();
                if (const HelpTopic* t = context != 0 ? b.topicForContext(context) : nullptr) return t;
                if (const HelpTopic* t = b.topicForWindow(w->objectName())) return t;
            }
            return nullptr;
        },
        widget);
}

THelpWindow* helpWindow() { return desk().window; }
const HelpBook* currentHelpBook() { return desk().window ? desk().window->book() : nullptr; }

void installHelpKey(QApplication* app) {
    static HelpKeyFilter* filter = nullptr;
    if (filter) return;
    filter = new HelpKeyFilter(app);
    app->installEventFilter(filter);
}

QString missingHelpMessage(int languageIndex, const QString& fileName, const QString& reason) {
    if (!reason.isEmpty()) return UnreadableText.text(languageIndex).arg(fileName, reason);
    QStringList places;
    for (const QString& candidate : helpFileCandidates(fileName)) places << QStringLiteral("  ") + candidate;
    return NotFoundText.text(languageIndex).arg(fileName, places.join(u'\n'));
}

} // namespace tablor
