// TfrmBildedit, the image viewer: a fixed-size tool window that shows the picture of the grid's
// selected blob field in the current record with its size, pages through the records ("<",
// ">", the mouse wheel paced by tmrWait) and replaces the picture by one loaded from a file,
// written back as JPEG of quality 90 on Apply. Content no decoder accepts shows the
// placeholder (a 200 x 150 bitmap with FEHLER_BINARY and "{Binäre Datei}") and is never replaced.
//
// Use: { TfrmBildedit viewer(*dataSet, fieldIndex, this); viewer.LoadPicture(); viewer.exec(); }
// The data set is the main grid's: paging moves its cursor, so the grid shows the record the
// viewer showed last. It must stay open while the window lives. The open-file dialog odgBild
// goes through a replaceable chooser so that tests can answer it.
#pragma once

#include "codecs/imagecodecs.h"

#include <QDialog>
#include <QImage>
#include <QString>

#include <functional>

class QLabel;
class QPushButton;
class QTimer;

namespace tablor {

class TDataSet;
class TTranslator;

// What odgBild is asked.
struct OpenPictureRequest {
    QString title;      // "Öffnen..." / "Open..."
    QString filter;     // "Unterstützte Bilddateien|*.bmp;*.jp*;*.jfif;*.gif" / English
    QString defaultExt; // "jpg"
};
// Returns the chosen path, or an empty string when the user cancelled.
using OpenPictureChooser = std::function<QString(QWidget* parent, const OpenPictureRequest&)>;

// The picture area: the picture centred, scaled down proportionally when larger, never enlarged.
class TPictureView : public QWidget {
public:
    using QWidget::QWidget;
    void setPicture(const QImage& picture);
    const QImage& picture() const { return picture_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage picture_;
};

class TfrmBildedit : public QDialog {
    Q_OBJECT
public:
    TfrmBildedit(TDataSet& dataSet, int fieldIndex, QWidget* parent = nullptr);
    ~TfrmBildedit() override;

    static constexpr int HelpContext = 400;
    static constexpr int ClientWidth = 462;
    static constexpr int ClientHeight = 294;
    static constexpr int PictureHeight = 260; // the picture area above the button row
    static constexpr int JpegQuality = 90;

    // Replaces the real file dialog; an empty function restores it. Returns the previous one.
    static OpenPictureChooser setOpenPictureChooser(OpenPictureChooser chooser);

    // Loads the picture of the field in the current record (on opening and after paging).
    void LoadPicture();
    // The commands.
    void btnChangeClick();
    void btnApplyClick();
    void btnFwdClick();
    void btnBackClick();
    // A wheel step: down pages forward, up back (only while that button is enabled and
    // tmrWait is not running).
    void wheelStep(bool down);

    // The size text "Breite:  640 px\rHöhe:  480 px" of a picture of this size.
    static QString sizeText(int width, int height);
    // The placeholder: 200 x 150, built when the window is created.
    const QImage& placeholder() const { return placeholder_; }
    // The FEHLER_BINARY bitmap of the program's resources.
    static QImage fehlerBinary();

    // State, for the window's tests.
    bool binary() const { return binary_; }
    const QImage& shownPicture() const { return shown_; }
    QString sizeLabelText() const;
    QTimer* waitTimer() const { return tmrWait; }
    TTranslator* translator() const { return Translator1; }
    const OpenPictureRequest& openRequest() const { return odgBild_; }

protected:
    void wheelEvent(QWheelEvent* event) override;

private:
    void buildWindow();
    void buildPlaceholder();
    // Shows `picture` (decoded for display) and the size text of `width` x `height`.
    void showPicture(const QImage& picture, int width, int height);
    void showPlaceholder();

    TDataSet& dataSet_;
    int fieldIndex_;
    TPictureView* imgView = nullptr;
    QLabel* lblMass = nullptr;
    QPushButton* btnChange = nullptr;
    QPushButton* btnBack = nullptr;
    QPushButton* btnFwd = nullptr;
    QPushButton* btnApply = nullptr;
    QPushButton* btnCancel = nullptr;
    QTimer* tmrWait = nullptr;
    TTranslator* Translator1 = nullptr;
    OpenPictureRequest odgBild_;

    QImage shown_;           // the shown picture (for the display: a large JPEG decodes scaled)
    DecodedPicture swapped_; // the picture of the last swap, whole, for Apply
    bool binary_ = false;
    QImage placeholder_;
};

} // namespace tablor
