// THelpWindow: shows one HelpBook: the contents on the left (a tab with the topic tree and a
// tab with a word search), the page on the right with Back and Forward. Its texts follow the
// language of the book it shows.
#pragma once

#include <QTextBrowser>
#include <QWidget>

class QLineEdit;
class QListWidget;
class QTabWidget;
class QToolButton;
class QTreeWidget;

namespace tablor {

class HelpBook;
struct HelpTopic;

// The page view: reads pages and pictures from the book ("help:/ID.html").
class THelpBrowser : public QTextBrowser {
    Q_OBJECT
public:
    using QTextBrowser::QTextBrowser;
    void setBook(const HelpBook* book) { book_ = book; }
    QVariant loadResource(int type, const QUrl& name) override;

private:
    const HelpBook* book_ = nullptr;
};

class THelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit THelpWindow(QWidget* parent = nullptr);

    // Shows `book` (owned by the caller, who keeps it alive while it is shown) with the texts
    // of `languageIndex`; the history starts anew.
    void setBook(const HelpBook* book, int languageIndex);
    const HelpBook* book() const { return book_; }
    void showTopic(const HelpTopic& topic);
    // The identifier of the topic shown now (empty before the first).
    QString currentTopicId() const;
    // Runs the search of the search tab for `query` and lists the topics found.
    void search(const QString& query);

    THelpBrowser* browser() const { return browser_; }
    QListWidget* results() const { return lstResults; }

private:
    void followLink(const QUrl& url);
    void selectInContents(const QUrl& url);

    const HelpBook* book_ = nullptr;
    int languageIndex_ = 0;
    QTabWidget* tabs_ = nullptr;
    QTreeWidget* tvContents = nullptr;
    QLineEdit* txtSearch = nullptr;
    QListWidget* lstResults = nullptr;
    QToolButton* btnBack = nullptr;
    QToolButton* btnForward = nullptr;
    THelpBrowser* browser_ = nullptr;
};

} // namespace tablor
