// Reading a help file; see helpbook.h.
#include "help/helpbook.h"

#include "profiles/programdir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QResource>

#include <algorithm>
#include <atomic>

namespace tablor {
namespace {

std::atomic<int> g_registered{0};

QString pageText(const QString& html) {
    static const QRegularExpression tags(QStringLiteral("<[^>]*>"));
    static const QRegularExpression head(QStringLiteral("<head>.*</head>"),
                                         QRegularExpression::DotMatchesEverythingOption |
                                             QRegularExpression::CaseInsensitiveOption);
    QString text = html;
    text.remove(head);
    text.replace(tags, QStringLiteral(" "));
    text.replace(QLatin1String("&nbsp;"), QLatin1String(" "));
    text.replace(QLatin1String("&lt;"), QLatin1String("<"));
    text.replace(QLatin1String("&gt;"), QLatin1String(">"));
    text.replace(QLatin1String("&quot;"), QLatin1String("\""));
    text.replace(QLatin1String("&amp;"), QLatin1String("&"));
    return text.simplified().toCaseFolded();
}

QString pageTitle(const QString& html) {
    static const QRegularExpression title(QStringLiteral("<title>(.*?)</title>"),
                                          QRegularExpression::DotMatchesEverythingOption |
                                              QRegularExpression::CaseInsensitiveOption);
    const auto m = title.match(html);
    return m.hasMatch() ? m.captured(1).simplified() : QString();
}

int count(const QString& haystack, const QString& word) {
    int n = 0;
    for (qsizetype at = haystack.indexOf(word); at >= 0; at = haystack.indexOf(word, at + word.size())) ++n;
    return n;
}

} // namespace

std::unique_ptr<HelpBook> HelpBook::open(const QString& path) {
    std::unique_ptr<HelpBook> book(new HelpBook);
    book->path_ = path;
    const QFileInfo info(path);
    if (info.isDir()) {
        book->root_ = info.absoluteFilePath() + u'/';
    } else if (info.isFile()) {
        const QString mapRoot = QStringLiteral("/tablorhelp/%1").arg(++g_registered);
        if (!QResource::registerResource(info.absoluteFilePath(), mapRoot))
            throw HelpFileError("the help file " + path.toStdString() +
                                " is not a Tablor help file (it may be damaged); install Tablor again");
        book->resourceRoot_ = mapRoot;
        book->root_ = u':' + mapRoot + u'/';
    } else {
        throw HelpFileError("the help file " + path.toStdString() + " does not exist");
    }
    book->load();
    return book;
}

HelpBook::~HelpBook() {
    if (!resourceRoot_.isEmpty()) QResource::unregisterResource(QFileInfo(path_).absoluteFilePath(), resourceRoot_);
}

QByteArray HelpBook::file(const QString& name) const {
    if (name.isEmpty() || name.contains(QLatin1String(".."))) return {};
    QFile f(root_ + name);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

void HelpBook::load() {
    const QByteArray contents = file(QStringLiteral("contents.txt"));
    if (contents.isEmpty())
        throw HelpFileError("the help file " + path_.toStdString() + " has no table of contents (contents.txt)");
    for (const QString& raw : QString::fromUtf8(contents).split(u'\n')) {
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(u'#')) continue;
        HelpTopic t;
        int spaces = 0;
        while (spaces < raw.size() && raw[spaces] == u' ') ++spaces;
        t.level = spaces / 2;
        const QStringList words = line.split(u' ', Qt::SkipEmptyParts);
        t.id = words.front();
        for (const QString& w : words.mid(1)) {
            if (w.startsWith(u'@')) t.contexts.push_back(w.mid(1).toInt());
            else if (w.startsWith(u'#')) t.windows << w.mid(1);
        }
        t.html = QString::fromUtf8(file(t.id + QStringLiteral(".html")));
        t.title = pageTitle(t.html);
        if (t.title.isEmpty()) t.title = t.id;
        t.plainText = pageText(t.html);
        topics_.push_back(std::move(t));
    }
    if (topics_.empty()) throw HelpFileError("the help file " + path_.toStdString() + " lists no topics");
}

const HelpTopic* HelpBook::topic(const QString& id) const {
    for (const HelpTopic& t : topics_)
        if (t.id.compare(id, Qt::CaseInsensitive) == 0) return &t;
    return nullptr;
}

const HelpTopic* HelpBook::topicForContext(int context) const {
    for (const HelpTopic& t : topics_)
        if (std::ranges::find(t.contexts, context) != t.contexts.end()) return &t;
    return nullptr;
}

const HelpTopic* HelpBook::topicForWindow(const QString& objectName) const {
    for (const HelpTopic& t : topics_)
        if (t.windows.contains(objectName)) return &t;
    return nullptr;
}

std::vector<const HelpTopic*> HelpBook::search(const QString& query) const {
    static const QRegularExpression separators(QStringLiteral("[^\\w]+"),
                                               QRegularExpression::UseUnicodePropertiesOption);
    const QStringList words = query.toCaseFolded().split(separators, Qt::SkipEmptyParts);
    std::vector<std::pair<int, const HelpTopic*>> hits;
    if (words.isEmpty()) return {};
    for (const HelpTopic& t : topics_) {
        int score = 0;
        bool all = true;
        const QString title = t.title.toCaseFolded();
        for (const QString& w : words) {
            const int inText = count(t.plainText, w);
            if (inText == 0) {
                all = false;
                break;
            }
            score += 1000 * count(title, w) + inText;
        }
        if (all) hits.emplace_back(score, &t);
    }
    std::stable_sort(hits.begin(), hits.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<const HelpTopic*> result;
    for (const auto& h : hits) result.push_back(h.second);
    return result;
}

QStringList HelpBook::problems() const {
    QStringList found;
    static const QRegularExpression reference(QStringLiteral("(href|src)=\"([^\"]*)\""));
    for (const HelpTopic& t : topics_) {
        if (t.html.isEmpty()) {
            found << t.id + QStringLiteral(": listed in contents.txt but there is no ") + t.id +
                         QStringLiteral(".html");
            continue;
        }
        if (pageTitle(t.html).isEmpty()) found << t.id + QStringLiteral(": the page has no <title>");
        for (auto it = reference.globalMatch(t.html); it.hasNext();) {
            const auto m = it.next();
            QString target = m.captured(2);
            if (target.contains(QLatin1String("://")) || target.startsWith(QLatin1String("mailto:"))) continue;
            target = target.section(u'#', 0, 0);
            if (target.isEmpty()) continue;
            const bool isPage = target.endsWith(QLatin1String(".html"));
            const bool ok = isPage ? topic(target.chopped(5)) != nullptr : !file(target).isEmpty();
            if (!ok)
                found << t.id + QStringLiteral(": ") + m.captured(1) + QStringLiteral(" \"") + target +
                             QStringLiteral("\" is not in the help");
        }
    }
    return found;
}

QString helpFileName(int languageIndex) {
    return languageIndex == 0 ? QStringLiteral("tablor_help_de.hlp") : QStringLiteral("tablor_help_en.hlp");
}

QStringList helpFileCandidates(const QString& fileName) {
    QStringList list{ProgramDir() + fileName, programFileDir() + fileName, programShareDir() + fileName};
    list.removeDuplicates();
    return list;
}

QString locateHelpFile(const QString& fileName) {
    for (const QString& candidate : helpFileCandidates(fileName))
        if (QFileInfo::exists(candidate)) return candidate;
    return {};
}

} // namespace tablor
