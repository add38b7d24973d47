// The about box; see u_about.h.
#include "about/u_about.h"

#include "about/fileversioninfo.h"
#include "ui/windowcolour.h"
#include "help/shell.h"
#include "l10n/translator.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>

static void initAboutImages() { Q_INIT_RESOURCE(about); }

namespace tablor {
namespace {

// The maker (a made-up firm; the address is not a real one).
constexpr const char* MakerAddress = "Ostrander Datenwerkstatt\nKirchgasse 7\n12345 Musterstadt\nDeutschland";
constexpr const char* MakerAddressEnglish = "Ostrander Datenwerkstatt\nKirchgasse 7\n12345 Musterstadt\nGermany";

constexpr TextPair AboutTexts[] = {
    {"", "windowTitle", "Über...", "About..."},
    {"Label1", "text", MakerAddress, MakerAddressEnglish},
};

} // namespace

QColor TfrmAbout::linkColour() { return Qt::white; }
QColor TfrmAbout::linkHoverColour() { return QColor(166, 202, 240); }

TfrmAbout::TfrmAbout(QWidget* parent) : QDialog(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    initAboutImages();
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QString::fromUtf8("Über..."));
    setModal(true);
    setFixedSize(ClientWidth, ClientHeight);
    applyWindowColour(this);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    const QPixmap picture(QStringLiteral(":/about/tablor.png"));
    Image1->setPixmap(picture);
    Image1->setGeometry(12, 12, picture.width(), picture.height());

    auto* product = new QLabel(QStringLiteral("Tablor"), this);
    product->setObjectName(QStringLiteral("lblProduct"));
    QFont big = product->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.3);
    product->setFont(big);
    product->setGeometry(60, 8, 120, 22);

    lblMajorVersion = new QLabel(this);
    lblMajorVersion->setObjectName(QStringLiteral("lblMajorVersion"));
    lblMajorVersion->setGeometry(60, 30, 120, 18);

    Label1 = new QLabel(QString::fromUtf8(MakerAddress), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(60, 52, 170, 64);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    lblLink = new QLabel(QString::fromLatin1(ProductWebSite), this);
    lblLink->setObjectName(QStringLiteral("lblLink"));
    QFont linkFont = lblLink->font();
    linkFont.setBold(true);
    linkFont.setUnderline(true);
    lblLink->setFont(linkFont);
    lblLink->setGeometry(12, 122, 210, 18);
    lblLink->installEventFilter(this);
    setLinkHover(false);

    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setGeometry(ClientWidth - 83, ClientHeight - 35, 75, 25);
    btnOK->setDefault(true);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);

    // The version of the file that runs, from its version resource.
    TFileVersionInfo info;
    info.Read(QCoreApplication::applicationFilePath());
    lblMajorVersion->setText(info.FileVersion());

    Translator1 = new TTranslator(this, QString::fromLatin1(TTranslator::German), AboutTexts);
}

void TfrmAbout::setLinkHover(bool over) {
    QPalette p = lblLink->palette();
    p.setColor(QPalette::WindowText, over ? linkHoverColour() : linkColour());
    lblLink->setPalette(p);
    if (over) lblLink->setCursor(Qt::PointingHandCursor);
    else lblLink->unsetCursor();
}

bool TfrmAbout::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lblLink) {
        switch (event->type()) {
        case QEvent::Enter: setLinkHover(true); break;
        case QEvent::Leave: setLinkHover(false); break;
        case QEvent::MouseButtonRelease:
            if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
                openUrl(QUrl(QString::fromLatin1(ProductWebSite)));
            return true;
        default: break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmAbout::reject() { btnOK->click(); }

} // namespace tablor
