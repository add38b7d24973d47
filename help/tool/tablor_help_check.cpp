// tablor-help-check: checks built help files before they are used. Each must open, have every
// topic the program opens (the help command's topic of its language, every help context number,
// every window without a number) and no link to a page or picture it does not hold.
//
//   tablor-help-check tablor_help_de.hlp tablor_help_en.hlp
// Exits 1 and prints one line per problem when something is missing.
#include "help/helpbook.h"
#include "help/helpcontexts.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: tablor-help-check GERMAN.hlp ENGLISH.hlp\n");
        return 2;
    }
    int problems = 0;
    auto report = [&](const QString& file, const QString& what) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(QFileInfo(file).fileName()), qPrintable(what));
        ++problems;
    };
    for (int language = 0; language < 2; ++language) {
        const QString path = QString::fromLocal8Bit(argv[1 + language]);
        try {
            const auto book = tablor::HelpBook::open(path);
            if (!book->topic(QString::fromLatin1(tablor::IntroductionTopics[language])))
                report(path, QStringLiteral("no topic ") + QString::fromLatin1(tablor::IntroductionTopics[language]));
            for (int context : tablor::HelpContexts)
                if (!book->topicForContext(context))
                    report(path, QStringLiteral("no topic for help context %1").arg(context));
            for (const char* window : tablor::HelpWindowNames)
                if (!book->topicForWindow(QString::fromLatin1(window)))
                    report(path, QStringLiteral("no topic for window ") + QString::fromLatin1(window));
            for (const QString& p : book->problems()) report(path, p);
        } catch (const tablor::HelpFileError& e) {
            report(path, QString::fromUtf8(e.what()));
        }
    }
    return problems == 0 ? 0 : 1;
}
