// The copy engines' sentences: every one that a call site asks for has a German text, and
// both texts of a pair carry the same placeholders (a missing %2 would drop a table name from
// the German message, a stray one would leave "%3" on the screen).
#include "transfer/CopyTexts.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSet>

using tablor::transfer::copyText;
using tablor::transfer::copyTexts;

namespace {

QList<int> placeholders(const QString& text) {
    QList<int> found;
    for (const QRegularExpressionMatch& m : QRegularExpression(QStringLiteral("%(\\d)")).globalMatch(text))
        found << m.captured(1).toInt();
    std::sort(found.begin(), found.end());
    return found;
}

// The English texts of every copyText(…, "…" "…") call in the engines' sources.
QStringList englishTextsAskedFor() {
    const QRegularExpression call(QStringLiteral("copyText\\([^,]+,\\s*((?:\"(?:[^\"\\\\]|\\\\.)*\"\\s*)+)\\)"));
    const QRegularExpression literal(QStringLiteral("\"((?:[^\"\\\\]|\\\\.)*)\""));
    QStringList texts;
    const QDir dir(QStringLiteral(TABLOR_SOURCE_DIR "/transfer"));
    for (const QString& name : dir.entryList({QStringLiteral("*.cpp")})) {
        QFile f(dir.filePath(name));
        if (!f.open(QIODevice::ReadOnly)) continue;
        const QString source = QString::fromUtf8(f.readAll());
        for (const QRegularExpressionMatch& m : call.globalMatch(source)) {
            QString text;
            for (const QRegularExpressionMatch& part : literal.globalMatch(m.captured(1))) text += part.captured(1);
            texts << text.replace(QStringLiteral("\\\""), QStringLiteral("\""));
        }
    }
    return texts;
}

} // namespace

TEST(CopyTexts, EveryTextAskedForHasAGermanTextWithTheSamePlaceholders) {
    QSet<QString> english;
    for (const auto& pair : copyTexts()) {
        const QString en = QString::fromUtf8(pair.english), de = QString::fromUtf8(pair.german);
        EXPECT_FALSE(english.contains(en)) << "twice: " << pair.english;
        english << en;
        EXPECT_EQ(placeholders(en), placeholders(de)) << pair.english;
        EXPECT_NE(en, de) << pair.english;
        EXPECT_EQ(copyText(0, pair.english), de);
        EXPECT_EQ(copyText(1, pair.english), en);
    }
    const QStringList asked = englishTextsAskedFor();
    EXPECT_GT(asked.size(), 30); // the scan found the call sites
    for (const QString& text : asked)
        EXPECT_TRUE(english.contains(text)) << "no German text for: " << text.toStdString();
}
