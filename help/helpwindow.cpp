// The help window; see helpwindow.h.
#include "help/helpwindow.h"

#include "help/helpbook.h"
#include "help/shell.h"
#include "l10n/translator.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTextDocument>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace tablor {
namespace {

constexpr LanguagePair WindowTitle{"Tablor-Hilfe", "Tablor Help"};
constexpr LanguagePair ContentsTab{"Inhalt", "Contents"};
constexpr LanguagePair SearchTab{"Suchen", "Search"};
constexpr LanguagePair SearchPrompt{"Suchbegriffe eingeben", "Type the words to find"};
constexpr LanguagePair NothingFound{"Kein Thema enthält alle diese Wörter.", "No topic contains all of these words."};
constexpr LanguagePair BackText{"Zurück", "Back"};
constexpr LanguagePair ForwardText{"Vor", "Forward"};

QUrl topicUrl(const QString& id) { return QUrl(QStringLiteral("help:/") + id + QStringLiteral(".html")); }

} // namespace

QVariant THelpBrowser::loadResource(int type, const QUrl& name) {
    if (book_ && name.scheme() == QLatin1String("help")) {
        const QByteArray bytes = book_->file(name.path().mid(1));
        if (type == QTextDocument::HtmlResource) return QString::fromUtf8(bytes);
        return bytes;
    }
    return QTextBrowser::loadResource(type, name);
}

THelpWindow::THelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("frmHelp"));
    resize(900, 640);

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    tabs_ = new QTabWidget(splitter);
    tvContents = new QTreeWidget(tabs_);
    tvContents->setObjectName(QStringLiteral("tvContents"));
    tvContents->setHeaderHidden(true);
    tabs_->addTab(tvContents, QString());

    auto* searchPage = new QWidget(tabs_);
    auto* searchLayout = new QVBoxLayout(searchPage);
    txtSearch = new QLineEdit(searchPage);
    txtSearch->setObjectName(QStringLiteral("txtSearch"));
    txtSearch->setClearButtonEnabled(true);
    lstResults = new QListWidget(searchPage);
    lstResults->setObjectName(QStringLiteral("lstResults"));
    searchLayout->addWidget(txtSearch);
    searchLayout->addWidget(lstResults, 1);
    tabs_->addTab(searchPage, QString());

    auto* right = new QWidget(splitter);
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    auto* buttons = new QHBoxLayout;
    btnBack = new QToolButton(right);
    btnBack->setObjectName(QStringLiteral("btnBack"));
    btnBack->setArrowType(Qt::LeftArrow);
    btnBack->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    btnForward = new QToolButton(right);
    btnForward->setObjectName(QStringLiteral("btnForward"));
    btnForward->setArrowType(Qt::RightArrow);
    btnForward->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    buttons->addWidget(btnBack);
    buttons->addWidget(btnForward);
    buttons->addStretch(1);
    browser_ = new THelpBrowser(right);
    browser_->setObjectName(QStringLiteral("Browser"));
    browser_->setOpenLinks(false);
    rightLayout->addLayout(buttons);
    rightLayout->addWidget(browser_, 1);

    splitter->addWidget(tabs_);
    splitter->addWidget(right);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({240, 660});
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(splitter);

    btnBack->setEnabled(false);
    btnForward->setEnabled(false);
    connect(btnBack, &QToolButton::clicked, browser_, &QTextBrowser::backward);
    connect(btnForward, &QToolButton::clicked, browser_, &QTextBrowser::forward);
    connect(browser_, &QTextBrowser::backwardAvailable, btnBack, &QWidget::setEnabled);
    connect(browser_, &QTextBrowser::forwardAvailable, btnForward, &QWidget::setEnabled);
    connect(browser_, &QTextBrowser::anchorClicked, this, &THelpWindow::followLink);
    connect(browser_, &QTextBrowser::sourceChanged, this, &THelpWindow::selectInContents);
    connect(tvContents, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        if (const HelpTopic* t = book_ ? book_->topic(item->data(0, Qt::UserRole).toString()) : nullptr) showTopic(*t);
    });
    connect(tvContents, &QTreeWidget::itemClicked, tvContents, &QTreeWidget::itemActivated);
    connect(txtSearch, &QLineEdit::returnPressed, this, [this] { search(txtSearch->text()); });
    connect(lstResults, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        const HelpTopic* t = book_ ? book_->topic(item->data(Qt::UserRole).toString()) : nullptr;
        if (!t) return;
        showTopic(*t);
        // Mark the first searched word on the page.
        const QStringList words = txtSearch->text().split(u' ', Qt::SkipEmptyParts);
        if (!words.isEmpty()) browser_->find(words.front());
    });
    connect(lstResults, &QListWidget::itemClicked, lstResults, &QListWidget::itemActivated);
}

void THelpWindow::setBook(const HelpBook* book, int languageIndex) {
    book_ = book;
    languageIndex_ = languageIndex;
    browser_->setBook(book);
    browser_->clearHistory();
    setWindowTitle(WindowTitle.text(languageIndex));
    tabs_->setTabText(0, ContentsTab.text(languageIndex));
    tabs_->setTabText(1, SearchTab.text(languageIndex));
    txtSearch->setPlaceholderText(SearchPrompt.text(languageIndex));
    btnBack->setText(BackText.text(languageIndex));
    btnForward->setText(ForwardText.text(languageIndex));
    lstResults->clear();
    tvContents->clear();
    if (!book) return;
    std::vector<QTreeWidgetItem*> parents;
    for (const HelpTopic& t : book->topics()) {
        parents.resize(static_cast<std::size_t>(t.level));
        auto* item = parents.empty() ? new QTreeWidgetItem(tvContents) : new QTreeWidgetItem(parents.back());
        item->setText(0, t.title);
        item->setData(0, Qt::UserRole, t.id);
        parents.push_back(item);
    }
    tvContents->expandAll();
}

void THelpWindow::showTopic(const HelpTopic& topic) {
    const QUrl url = topicUrl(topic.id);
    if (browser_->source() != url) browser_->setSource(url);
}

QString THelpWindow::currentTopicId() const {
    QString path = browser_->source().path().mid(1);
    return path.endsWith(QLatin1String(".html")) ? path.chopped(5) : path;
}

void THelpWindow::search(const QString& query) {
    tabs_->setCurrentIndex(1);
    txtSearch->setText(query);
    lstResults->clear();
    if (!book_) return;
    for (const HelpTopic* t : book_->search(query)) {
        auto* item = new QListWidgetItem(t->title, lstResults);
        item->setData(Qt::UserRole, t->id);
    }
    if (lstResults->count() == 0 && !query.trimmed().isEmpty()) {
        auto* item = new QListWidgetItem(NothingFound.text(languageIndex_), lstResults);
        item->setFlags(Qt::NoItemFlags);
    }
}

void THelpWindow::followLink(const QUrl& url) {
    const QUrl target = browser_->source().resolved(url);
    if (target.scheme() == QLatin1String("help")) browser_->setSource(target);
    else openUrl(url); // the web site and mail addresses go to the desktop
}

void THelpWindow::selectInContents(const QUrl& url) {
    QString id = url.path().mid(1);
    if (id.endsWith(QLatin1String(".html"))) id.chop(5);
    for (QTreeWidgetItemIterator it(tvContents); *it; ++it) {
        if ((*it)->data(0, Qt::UserRole).toString() == id) {
            tvContents->setCurrentItem(*it);
            return;
        }
    }
}

} // namespace tablor
