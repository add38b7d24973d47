// The image viewer; see u_imageedit.h.
#include "editors/u_imageedit.h"

#include "ui/failures.h"
#include "ui/windowcolour.h"
#include "db/DataSet.h"
#include "l10n/translator.h"
#include "profiles/prefs.h"

#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QWheelEvent>

#include <array>
#include <cstring>

// The resources of a static library are linked in only when asked for by name.
static void initEditorResources() { Q_INIT_RESOURCE(editors); }

namespace tablor {
namespace {

// Designed in English. The dialog's title and filter are set through setters.
constexpr std::array<TextPair, 6> kTexts = {{
    {"", "windowTitle", "Bildbetrachter", "Image viewer"},
    {"btnChange", "text", "Bild tauschen ...", "Swap image..."},
    {"btnBack", "text", "<", "<"},
    {"btnFwd", "text", ">", ">"},
    {"btnApply", "text", "Übernehmen", "Apply"},
    {"btnCancel", "text", "Schließen", "Cancel"},
}};
constexpr LanguagePair kOpenTitle{"Öffnen...", "Open..."};
constexpr LanguagePair kOpenFilter{"Unterstützte Bilddateien|*.bmp;*.jp*;*.jfif;*.gif",
                                   "All supported types|*.bmp;*.jp*;*.jfif;*.gif"};
// The words of the size text.
constexpr LanguagePair kWidth{"Breite", "Width"};
constexpr LanguagePair kHeight{"Höhe", "Height"};
constexpr const char* PlaceholderText = "{Binäre Datei}";

OpenPictureChooser& chooser() {
    static OpenPictureChooser c;
    return c;
}

QString realOpenDialog(QWidget* parent, const OpenPictureRequest& request) {
    QFileDialog dialog(parent, request.title);
    dialog.setObjectName(QStringLiteral("odgBild"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(request.defaultExt);
    const QStringList parts = request.filter.split(u'|');
    if (parts.size() == 2) {
        QString patterns = parts.at(1);
        dialog.setNameFilter(parts.at(0) + QStringLiteral(" (") + patterns.replace(u';', u' ') + u')');
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
    return dialog.selectedFiles().constFirst();
}

QImage toImage(const DecodedPicture& p) {
    QImage image(p.width, p.height, QImage::Format_ARGB32);
    for (int y = 0; y < p.height; ++y)
        std::memcpy(image.scanLine(y), p.pixels.data() + static_cast<std::size_t>(y) * p.width,
                    static_cast<std::size_t>(p.width) * 4);
    return image;
}

QPushButton* makeButton(QWidget* parent, const char* name, int x, int width) {
    auto* b = new QPushButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(x, TfrmBildedit::PictureHeight + 4, width, 26);
    b->setAutoDefault(false);
    return b;
}

} // namespace

void TPictureView::setPicture(const QImage& picture) {
    picture_ = picture;
    update();
}

void TPictureView::paintEvent(QPaintEvent*) {
    if (picture_.isNull()) return;
    QPainter painter(this);
    QSize size = picture_.size();
    if (size.width() > width() || size.height() > height()) size.scale(this->size(), Qt::KeepAspectRatio);
    const QRect target(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, picture_);
}

OpenPictureChooser TfrmBildedit::setOpenPictureChooser(OpenPictureChooser c) {
    OpenPictureChooser previous = std::move(chooser());
    chooser() = std::move(c);
    return previous;
}

TfrmBildedit::TfrmBildedit(TDataSet& dataSet, int fieldIndex, QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::MSWindowsFixedSizeDialogHint), dataSet_(dataSet), fieldIndex_(fieldIndex) {
    setObjectName(QStringLiteral("frmBildedit"));
    setProperty("helpContext", HelpContext);
    buildWindow();
    buildPlaceholder();
    if (parent) move(parent->geometry().center() - rect().center());
}

TfrmBildedit::~TfrmBildedit() = default;

void TfrmBildedit::buildWindow() {
    setFixedSize(ClientWidth, ClientHeight);
    applyWindowColour(this);
    imgView = new TPictureView(this);
    imgView->setObjectName(QStringLiteral("imgView"));
    imgView->setGeometry(0, 0, ClientWidth, PictureHeight);
    lblMass = new QLabel(imgView);
    lblMass->setObjectName(QStringLiteral("lblMass"));
    lblMass->setGeometry(4, PictureHeight - 36, 160, 34);
    lblMass->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
    btnChange = makeButton(this, "btnChange", 6, 112);
    btnBack = makeButton(this, "btnBack", 124, 30);
    btnFwd = makeButton(this, "btnFwd", 158, 30);
    btnApply = makeButton(this, "btnApply", 270, 90);
    btnCancel = makeButton(this, "btnCancel", 366, 90);
    btnApply->setDefault(true);
    btnApply->setEnabled(false);
    tmrWait = new QTimer(this);
    tmrWait->setObjectName(QStringLiteral("tmrWait"));
    tmrWait->setInterval(20);
    connect(tmrWait, &QTimer::timeout, tmrWait, &QTimer::stop);
    connect(btnChange, &QPushButton::clicked, this, &TfrmBildedit::btnChangeClick);
    connect(btnBack, &QPushButton::clicked, this, &TfrmBildedit::btnBackClick);
    connect(btnFwd, &QPushButton::clicked, this, &TfrmBildedit::btnFwdClick);
    connect(btnApply, &QPushButton::clicked, this, &TfrmBildedit::btnApplyClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    Translator1 = new TTranslator(this, QString::fromLatin1(TTranslator::English), kTexts);
    Translator1->addSetter([this](const QString& t) { odgBild_.title = t; }, kOpenTitle.text(0), kOpenTitle.text(1));
    Translator1->addSetter([this](const QString& t) { odgBild_.filter = t; }, kOpenFilter.text(0), kOpenFilter.text(1));
    odgBild_.defaultExt = QStringLiteral("jpg");
    Translator1->switchLanguage(Translator1->language()); // the design texts into the controls
}

QImage TfrmBildedit::fehlerBinary() {
    static const QImage bitmap = [] {
        initEditorResources();
        QFile file(QStringLiteral(":/editors/FEHLER_BINARY"));
        QByteArray bytes;
        if (file.open(QIODevice::ReadOnly)) bytes = file.readAll();
        const auto decoded =
            decodeBmp(reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size()));
        return decoded ? toImage(*decoded) : QImage();
    }();
    return bitmap;
}

void TfrmBildedit::buildPlaceholder() {
    placeholder_ = QImage(200, 150, QImage::Format_ARGB32);
    placeholder_.fill(Qt::white);
    QPainter painter(&placeholder_);
    painter.setPen(Qt::black);
    painter.drawRect(0, 0, 199, 149);
    // FEHLER_BINARY at its own size, its bottom-left pixel's colour transparent.
    QImage icon = fehlerBinary();
    if (!icon.isNull()) {
        const QRgb key = icon.pixel(0, icon.height() - 1);
        for (int y = 0; y < icon.height(); ++y)
            for (int x = 0; x < icon.width(); ++x)
                if (icon.pixel(x, y) == key) icon.setPixel(x, y, qRgba(0, 0, 0, 0));
        painter.drawImage(5, 5, icon);
    }
    QFont bold = font();
    bold.setBold(true);
    painter.setFont(bold);
    painter.drawText(QRect(60, 70, 140, 79), Qt::AlignLeft | Qt::AlignTop, QString::fromUtf8(PlaceholderText));
}

QString TfrmBildedit::sizeText(int width, int height) {
    const TPrefs prefs; // the words' language, read for each formatting
    return QString::asprintf("%s:%4d px\r%s:%4d px", kWidth.text(prefs.LanguageIndex).toUtf8().constData(), width,
                             kHeight.text(prefs.LanguageIndex).toUtf8().constData(), height);
}

QString TfrmBildedit::sizeLabelText() const { return lblMass->text().replace(u'\n', u'\r'); }

void TfrmBildedit::showPicture(const QImage& picture, int width, int height) {
    shown_ = picture;
    imgView->setPicture(picture);
    // A label breaks lines at LF; the text itself has its CR.
    lblMass->setText(sizeText(width, height).replace(u'\r', u'\n'));
}

void TfrmBildedit::showPlaceholder() {
    binary_ = true;
    showPicture(placeholder_, placeholder_.width(), placeholder_.height());
}

void TfrmBildedit::LoadPicture() {
    binary_ = false;
    TField* field = fieldIndex_ >= 0 && fieldIndex_ < dataSet_.FieldCount() ? dataSet_.Fields(fieldIndex_) : nullptr;
    if (field && IsBlobKind(field->DataType())) {
        QByteArray bytes;
        try {
            bytes = field->AsBytes();
        } catch (const std::exception&) {
            ignoreOnPurpose("a blob that cannot be read shows the placeholder");
            bytes.clear();
        }
        const std::span<const std::uint8_t> content(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                                    static_cast<std::size_t>(bytes.size()));
        // Decoded for the picture area (a large JPEG at a fraction of its size); the size text
        // tells the picture's own size.
        if (auto picture = decodePicture(content, nullptr, DecodeOptions{ClientWidth, PictureHeight})) {
            const PictureInfo info = probePicture(content);
            showPicture(toImage(*picture), info.width ? info.width : picture->width,
                        info.height ? info.height : picture->height);
        } else {
            showPlaceholder();
        }
    }
    btnChange->setEnabled(!binary_);
}

void TfrmBildedit::btnChangeClick() {
    const QString path = chooser() ? chooser()(this, odgBild_) : realOpenDialog(this, odgBild_);
    if (path.isEmpty()) return;
    btnApply->setEnabled(true);
    binary_ = false;
    QFile file(path);
    QByteArray bytes;
    if (file.open(QIODevice::ReadOnly)) bytes = file.readAll();
    const std::span<const std::uint8_t> content(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                                static_cast<std::size_t>(bytes.size()));
    if (auto picture = decodePicture(content)) {
        swapped_ = std::move(*picture);
        showPicture(toImage(swapped_), swapped_.width, swapped_.height);
    } else {
        swapped_ = DecodedPicture();
        showPlaceholder();
    }
}

void TfrmBildedit::btnApplyClick() {
    if (!binary_) {
        const std::vector<std::uint8_t> jpeg = encodeJpeg(swapped_, JpegQuality);
        try {
            if (jpeg.empty())
                throw std::runtime_error(
                    "The picture could not be encoded as JPEG; the record keeps its stored picture.");
            dataSet_.Edit();
            dataSet_.Fields(fieldIndex_)
                ->setAsBytes(
                    QByteArray(reinterpret_cast<const char*>(jpeg.data()), static_cast<qsizetype>(jpeg.size())));
            dataSet_.Post();
        } catch (const std::exception&) {
            // The record keeps its stored picture, and the reason is shown: the user must not
            // take the new picture for saved.
            btnApply->setEnabled(false);
            try {
                dataSet_.Cancel();
            } catch (const std::exception&) {
                ignoreOnPurpose("cancelling after a refused post; the post's failure is the one shown");
            }
            throw;
        }
    }
    btnApply->setEnabled(false);
}

void TfrmBildedit::btnFwdClick() {
    if (dataSet_.Eof()) {
        btnFwd->setEnabled(false);
    } else {
        try {
            dataSet_.Next();
            btnBack->setEnabled(true);
            btnApply->setEnabled(false);
        } catch (const std::exception&) {
            ignoreOnPurpose("a record that cannot be reached ends paging forwards");
            btnFwd->setEnabled(false);
        }
    }
    if (dataSet_.RecNo() == dataSet_.RecordCount()) btnFwd->setEnabled(false);
    LoadPicture();
}

void TfrmBildedit::btnBackClick() {
    if (dataSet_.Bof()) {
        btnBack->setEnabled(false);
    } else {
        try {
            dataSet_.Prior();
            btnFwd->setEnabled(true);
            btnApply->setEnabled(false);
        } catch (const std::exception&) {
            ignoreOnPurpose("a record that cannot be reached ends paging backwards");
            btnBack->setEnabled(false);
        }
    }
    if (dataSet_.RecNo() < 2) btnBack->setEnabled(false);
    LoadPicture();
}

void TfrmBildedit::wheelStep(bool down) {
    QPushButton* button = down ? btnFwd : btnBack;
    if (!button->isEnabled() || tmrWait->isActive()) return;
    tmrWait->start();
    if (down) btnFwdClick();
    else btnBackClick();
}

void TfrmBildedit::wheelEvent(QWheelEvent* event) {
    const int delta = event->angleDelta().y();
    if (delta != 0) wheelStep(delta < 0);
    event->accept();
}

} // namespace tablor
