// HelpBook: one language's help, read from a help file "tablor_help_de.hlp" or
// "tablor_help_en.hlp".
//
// A help file is a packed Qt resource bundle (built by rcc from help/de or help/en); a folder of
// the same name holding the same files works too, which is handy while writing the help. Its
// files:
//   contents.txt   the table of contents, one topic per line, indented two spaces per level:
//                  the topic's identifier, then the help context numbers that open it
//                  ("@100") and the windows whose F1 opens it ("#frmStartup"); '#' at the
//                  start of a line begins a comment
//   ID.html        one page per topic, its title in <title>; links between topics are plain
//                  relative links ("Verbinden.html#bereitstellen")
//   images/...     the pictures the pages show
// The book reads every page at opening, so search needs no further file access.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <stdexcept>
#include <vector>

namespace tablor {

// A help file that is missing or cannot be read; the message says which and why.
class HelpFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct HelpTopic {
    QString id;    // identifier, also the page's file name without ".html"
    QString title; // from the page's <title>
    int level = 0; // depth in the contents, 0 at the top
    std::vector<int> contexts;
    QStringList windows; // objectNames of windows whose F1 opens the topic
    QString html;        // the page
    QString plainText;   // the page without markup, case-folded, for search
};

class HelpBook {
public:
    // Opens a packed help file or a help folder; throws HelpFileError.
    static std::unique_ptr<HelpBook> open(const QString& path);
    ~HelpBook();
    HelpBook(const HelpBook&) = delete;
    HelpBook& operator=(const HelpBook&) = delete;

    const QString& path() const { return path_; }
    // Topics in contents order.
    const std::vector<HelpTopic>& topics() const { return topics_; }
    const HelpTopic* topic(const QString& id) const;
    const HelpTopic* topicForContext(int context) const;
    const HelpTopic* topicForWindow(const QString& objectName) const;
    // A file of the book by its name inside it ("images/main.png"); empty when missing.
    QByteArray file(const QString& name) const;
    // Topics whose text holds every word of `query` (ignoring case), best first: more hits in
    // the title, then more hits in the text.
    std::vector<const HelpTopic*> search(const QString& query) const;
    // Problems of the book itself: links to pages or pictures that are not in it, topics
    // listed without a page. Empty for a sound book.
    QStringList problems() const;

private:
    HelpBook() = default;
    void load();

    QString path_;
    QString root_;         // prefix of the book's files: a folder or a registered resource root
    QString resourceRoot_; // the mapping root when the file was registered
    std::vector<HelpTopic> topics_;
};

// The help file name of a language index: 0 "tablor_help_de.hlp", otherwise "tablor_help_en.hlp".
QString helpFileName(int languageIndex);

// Where a help file of this name is looked for, in order: ProgramDir, beside the program, the
// install's share folder.
QStringList helpFileCandidates(const QString& fileName);

// The first candidate that exists; empty when none does.
QString locateHelpFile(const QString& fileName);

} // namespace tablor
