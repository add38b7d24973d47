// The localisation engine: one TTranslator per window holds every translatable text of that
// window in German and English and switches them by language name at run time.
//
// Each window keeps its texts in one table of TextPair rows (German beside English), passes it
// to its translator when the window is built, and the translator writes the texts into the
// controls' Qt properties. A translator that carries the language source mark
// (TranslateApplication) switches every other open window with it, and a window created while
// some window carries the mark starts in that window's language instead of its design language.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <span>
#include <stdexcept>
#include <vector>

namespace tablor {

// One translatable text of a window: which control, which property, and its two texts.
// An empty text for a language leaves the property as it is in that language.
struct TextPair {
    const char* object;   // objectName of the control; "" stands for the window itself
    const char* property; // the Qt property to set: "text", "toolTip", "windowTitle", "title" ...
    const char* german;   // UTF-8
    const char* english;  // UTF-8
};

// A two-language text that a window composes itself (messages, status texts), looked up by
// LanguageIndex (0 German, 1 English).
struct LanguagePair {
    const char* german;
    const char* english;
    QString text(int languageIndex) const { return QString::fromUtf8(languageIndex == 1 ? english : german); }
};

// Thrown when a language name is neither "Deutsch" nor "English".
class UnknownLanguage : public std::runtime_error {
public:
    explicit UnknownLanguage(const QString& name);
    const QString& name() const { return name_; }

private:
    QString name_;
};

// Thrown when a window's text table names a control or property that the window does not have:
// a mistake in the program, caught when the window is first built.
class TextTableError : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

class TTranslator : public QObject {
    Q_OBJECT
public:
    // The languages every translator knows, in index order.
    static const QStringList& languages();
    static constexpr const char* German = "Deutsch";
    static constexpr const char* English = "English";

    // Becomes a child of `window` and so lives as long as the window. Resolves every row of
    // `texts` against the window's children now (TextTableError when one is missing). Then, if
    // another open window carries the language source mark, shows that window's language;
    // otherwise the texts stay as designed and language() is `designLanguage`.
    TTranslator(QObject* window, const QString& designLanguage, std::span<const TextPair> texts);
    ~TTranslator() override;

    TTranslator(const TTranslator&) = delete;
    TTranslator& operator=(const TTranslator&) = delete;

    // Adds a text whose property belongs to `target` (which need not be a named child, e.g. an
    // entry of a list). Shown at once in the current language.
    void addText(QObject* target, const QByteArray& property, const QString& german, const QString& english);
    // Adds a text that is applied through a function (list items, dialog filters). Called at
    // once with the current language's text.
    void addSetter(std::function<void(const QString&)> apply, const QString& german, const QString& english);

    // Shows the window's texts in language `name` ("Deutsch" or "English"); when this translator
    // carries the language source mark, every other open window is switched too.
    // Throws UnknownLanguage for any other name; nothing is changed then.
    void switchLanguage(const QString& name);

    // The language whose texts the window shows now.
    const QString& language() const { return language_; }
    const QString& designLanguage() const { return designLanguage_; }
    int languageIndex() const { return languages().indexOf(language_); }

    // The language source mark.
    void setTranslateApplication(bool on) { translateApplication_ = on; }
    bool translateApplication() const { return translateApplication_; }

    // The translators of all open windows, oldest first, and the first one that carries the mark
    // (nullptr when none does).
    static std::vector<TTranslator*> instances();
    static TTranslator* markedInstance();

signals:
    // Emitted after the texts were switched (also when switched by the marked window).
    void languageChanged(const QString& name);

private:
    struct Entry {
        QPointer<QObject> target; // null for setter entries
        QByteArray property;
        std::function<void(const QString&)> apply;
        QString german;
        QString english;
    };

    void applyLanguage(const QString& name);
    void applyEntry(const Entry& entry, int index);
    QObject* resolve(const char* objectName) const;

    QPointer<QObject> window_;
    QString designLanguage_;
    QString language_;
    bool translateApplication_ = false;
    std::vector<Entry> entries_;
};

} // namespace tablor
