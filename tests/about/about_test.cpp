// The about box: its version is what the reader finds in the running file, the link's colours,
// pointer and click, OK and Escape.
#include "about/fileversioninfo.h"
#include "about/u_about.h"
#include "help/shell.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace tablor {
namespace {

TEST(AboutBox, ShowsTheFileVersionOfTheRunningProgram) {
    TfrmAbout about;
    TFileVersionInfo info;
    info.Read(QCoreApplication::applicationFilePath());
    ASSERT_FALSE(info.FileVersion().isEmpty()); // this test program carries the build's resource
    EXPECT_EQ(about.versionLabel()->text(), info.FileVersion());
    EXPECT_EQ(about.size(), QSize(TfrmAbout::ClientWidth, TfrmAbout::ClientHeight));
    EXPECT_TRUE(about.windowFlags() & Qt::Tool);
    EXPECT_EQ(about.windowTitle(), "Über...");
}

TEST(AboutBox, LinkTurnsLightBlueWithAPointingHandAndOpensTheWebSite) {
    QList<QUrl> opened;
    const UrlOpener previous = setUrlOpener([&](const QUrl& url) {
        opened << url;
        return true;
    });
    TfrmAbout about;
    about.show();
    QLabel* link = about.link();
    EXPECT_EQ(link->text(), QString::fromLatin1(ProductWebSite));
    EXPECT_TRUE(link->font().bold() && link->font().underline());
    auto colour = [&] { return link->palette().color(QPalette::WindowText); };
    EXPECT_EQ(colour(), QColor(Qt::white));

    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(link, &enter);
    EXPECT_EQ(colour(), QColor(166, 202, 240));
    EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(link, &leave);
    EXPECT_EQ(colour(), QColor(Qt::white));
    EXPECT_EQ(link->cursor().shape(), Qt::ArrowCursor);

    EXPECT_TRUE(opened.isEmpty());
    QTest::mouseClick(link, Qt::LeftButton);
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened.front(), QUrl(QString::fromLatin1(ProductWebSite)));
    setUrlOpener(previous);
}

TEST(AboutBox, OkIsTheDefaultAndEscapeClosesToo) {
    for (int key : {Qt::Key_Return, Qt::Key_Escape}) {
        TfrmAbout about;
        about.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
        auto* ok = about.findChild<QPushButton*>("btnOK");
        ASSERT_TRUE(ok && ok->isDefault());
        QTest::keyClick(&about, static_cast<Qt::Key>(key));
        EXPECT_FALSE(about.isVisible()) << key;
        EXPECT_EQ(about.result(), QDialog::Accepted) << key;
    }
}

} // namespace
} // namespace tablor
