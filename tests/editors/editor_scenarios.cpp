// The field editors' scenarios; see editor_scenarios.h.
#include "editor_scenarios.h"

#include "../app/app_fixture.h"
#include "codecs/imagecodecs.h"
#include "editors/u_imageedit.h"
#include "editors/u_memoedit.h"
#include "support/scoped_hook.h"

#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <gif_lib.h>

namespace tablor::test {
namespace {

QByteArray bytesOf(const std::vector<std::uint8_t>& v) {
    return QByteArray(reinterpret_cast<const char*>(v.data()), static_cast<qsizetype>(v.size()));
}

DecodedPicture solid(int w, int h, std::uint32_t colour) {
    return DecodedPicture{w, h, std::vector<std::uint32_t>(static_cast<std::size_t>(w) * h, colour)};
}

QPushButton* button(TfrmBildedit& v, const char* name) { return v.findChild<QPushButton*>(QString::fromLatin1(name)); }

QString fieldBytesHash(TDataSet& ds, int col) {
    return QString::fromLatin1(ds.Fields(col)->AsBytes().toHex().left(64));
}

} // namespace

QByteArray scenarioGif() {
    // 9 x 7, two colours in stripes, written by giflib.
    std::vector<std::uint8_t> out;
    int error = 0;
    GifFileType* gif = EGifOpen(
        &out,
        [](GifFileType* g, const GifByteType* data, int length) {
            auto* v = static_cast<std::vector<std::uint8_t>*>(g->UserData);
            v->insert(v->end(), data, data + length);
            return length;
        },
        &error);
    GifColorType colours[2] = {{255, 0, 0}, {0, 0, 255}};
    ColorMapObject* map = GifMakeMapObject(2, colours);
    EGifPutScreenDesc(gif, 9, 7, 1, 0, map);
    EGifPutImageDesc(gif, 0, 0, 9, 7, false, nullptr);
    for (int y = 0; y < 7; ++y) {
        GifPixelType line[9];
        for (int x = 0; x < 9; ++x) line[x] = static_cast<GifPixelType>((x + y) & 1);
        EGifPutLine(gif, line, 9);
    }
    EGifCloseFile(gif, &error);
    GifFreeMapObject(map);
    return bytesOf(out);
}

QByteArray scenarioZip() {
    return QByteArray::fromHex("504b0304140000000800a0b1c9585b2a3c1d0b0000000900000005000000612e747874cb48cdc9c957"
                               "28cf2fca490100504b01021403140000000800");
}

void runViewerScenario(TDataSet& ds, int col, const std::function<void()>& reopen) {
    QTemporaryDir dir;
    const QString bmpFile = dir.filePath("neu.bmp"), zipFile = dir.filePath("kaputt.jpg");
    {
        QFile f(bmpFile);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytesOf(encodeBmp24(solid(31, 17, 0xFF2080C0u))));
        QFile z(zipFile);
        ASSERT_TRUE(z.open(QIODevice::WriteOnly));
        z.write(scenarioZip());
    }
    QString answer;
    const auto chooser =
        installed(TfrmBildedit::setOpenPictureChooser, [&](QWidget*, const OpenPictureRequest&) { return answer; });

    ds.First();
    const QString firstBefore = fieldBytesHash(ds, col);
    {
        TfrmBildedit viewer(ds, col, nullptr);
        viewer.LoadPicture();
        // Row 1: the GIF.
        EXPECT_FALSE(viewer.binary());
        EXPECT_EQ(viewer.sizeLabelText(), TfrmBildedit::sizeText(9, 7));
        EXPECT_TRUE(button(viewer, "btnChange")->isEnabled());
        EXPECT_TRUE(button(viewer, "btnBack")->isEnabled()); // opens with both enabled
        // Row 2: the ZIP shows the placeholder and cannot be replaced.
        viewer.btnFwdClick();
        EXPECT_EQ(ds.RecNo(), 2);
        EXPECT_TRUE(viewer.binary());
        EXPECT_EQ(viewer.sizeLabelText(), TfrmBildedit::sizeText(200, 150));
        EXPECT_EQ(viewer.shownPicture(), viewer.placeholder());
        EXPECT_FALSE(button(viewer, "btnChange")->isEnabled());
        // Row 3: the picture inside Access's OLE wrapper.
        viewer.btnFwdClick();
        EXPECT_FALSE(viewer.binary());
        const PictureInfo wrapped =
            probePicture({reinterpret_cast<const std::uint8_t*>(ds.Fields(col)->AsBytes().constData()),
                          static_cast<std::size_t>(ds.Fields(col)->AsBytes().size())});
        EXPECT_EQ(wrapped.format, PictureFormat::Bmp);
        EXPECT_EQ(viewer.sizeLabelText(), TfrmBildedit::sizeText(wrapped.width, wrapped.height));
        // Onto the last record: ">" off; back onto the first: "<" off.
        while (button(viewer, "btnFwd")->isEnabled()) viewer.btnFwdClick();
        EXPECT_EQ(ds.RecNo(), ds.RecordCount());
        while (button(viewer, "btnBack")->isEnabled()) viewer.btnBackClick();
        EXPECT_EQ(ds.RecNo(), 1);
        EXPECT_TRUE(button(viewer, "btnFwd")->isEnabled());

        // Swap, then page without Apply: the field keeps its picture.
        answer = bmpFile;
        viewer.btnChangeClick();
        EXPECT_TRUE(button(viewer, "btnApply")->isEnabled());
        EXPECT_EQ(viewer.sizeLabelText(), TfrmBildedit::sizeText(31, 17));
        viewer.btnFwdClick();
        viewer.btnBackClick();
        EXPECT_FALSE(button(viewer, "btnApply")->isEnabled());
        EXPECT_EQ(fieldBytesHash(ds, col), firstBefore);

        // A failed swap writes nothing; a second swap with a picture is applied as JPEG.
        answer = zipFile;
        viewer.btnChangeClick();
        EXPECT_TRUE(viewer.binary());
        viewer.btnApplyClick();
        EXPECT_FALSE(button(viewer, "btnApply")->isEnabled());
        EXPECT_EQ(fieldBytesHash(ds, col), firstBefore);
        answer = bmpFile;
        viewer.btnChangeClick();
        viewer.btnApplyClick();
        EXPECT_EQ(ds.State(), TDataSetState::dsBrowse);

        // The wheel: one step per 20 ms.
        viewer.wheelStep(true);
        EXPECT_EQ(ds.RecNo(), 2);
        EXPECT_TRUE(viewer.waitTimer()->isActive());
        viewer.wheelStep(true);
        EXPECT_EQ(ds.RecNo(), 2);
        EXPECT_TRUE(waitUntil([&] { return !viewer.waitTimer()->isActive(); }, 1000));
        viewer.wheelStep(false);
        EXPECT_EQ(ds.RecNo(), 1);
    }
    // Read back from the storage: a JPEG of the swapped picture's size.
    reopen();
    ds.First();
    const QByteArray stored = ds.Fields(col)->AsBytes();
    ASSERT_GE(stored.size(), 4);
    EXPECT_EQ(stored.left(2), QByteArray::fromHex("ffd8"));
    const auto back =
        decodeJpeg(reinterpret_cast<const std::uint8_t*>(stored.constData()), static_cast<std::size_t>(stored.size()));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->width, 31);
    EXPECT_EQ(back->height, 17);
}

void runMemoScenario(TDataSet& ds, int col, const std::function<void()>& reopen) {
    ds.First();
    const QString before = ds.Fields(col)->AsString();
    ASSERT_TRUE(before.contains(QStringLiteral("\r\n"))) << "row 1's memo needs two lines";
    ModalWatcher watcher;
    QString shown;
    int step = 0;
    watcher.on("tablor::TfrmMemotext", [&](QDialog* d) {
        auto* text = d->findChild<QPlainTextEdit*>(QStringLiteral("mmText"));
        if (step++ == 0) {
            // Close: the typed text goes nowhere.
            shown = text->toPlainText();
            text->setPlainText(QStringLiteral("geändert\nzweite Zeile"));
            d->findChild<QPushButton*>(QStringLiteral("btnCancel"))->click();
        } else {
            text->appendPlainText(QStringLiteral("Nachtrag"));
            d->findChild<QPushButton*>(QStringLiteral("btnApply"))->click();
        }
    });
    for (const int expected : {int(QDialog::Rejected), int(QDialog::Accepted)}) {
        TMemoedit editor;
        editor.setDataSet(&ds);
        ds.Edit();
        EXPECT_EQ(editor.Edit(ds.Fields(col), true), expected);
        EXPECT_EQ(ds.State(), TDataSetState::dsBrowse);
        if (expected == QDialog::Rejected) {
            EXPECT_EQ(ds.Fields(col)->AsString(), before);
        }
    }
    EXPECT_EQ(shown, QString(before).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    reopen();
    ds.First();
    EXPECT_EQ(ds.Fields(col)->AsString(), before + QStringLiteral("\r\nNachtrag"));
}

} // namespace tablor::test
