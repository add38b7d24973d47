// TfrmAbout, the about box: the product picture, the version of the running program file (read
// from the file's own version resource), the maker's name and address and the link to the web
// site. Opened modally by the main window and freed when it closes.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace tablor {

class TTranslator;

class TfrmAbout : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAbout(QWidget* parent = nullptr);

    // The link's colours: white, light blue while the pointer is over it.
    static QColor linkColour();
    static QColor linkHoverColour();
    static constexpr int ClientWidth = 321;
    static constexpr int ClientHeight = 147;

    QLabel* versionLabel() const { return lblMajorVersion; }
    QLabel* link() const { return lblLink; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void reject() override; // Escape: the same as OK

private:
    void setLinkHover(bool over);

    QLabel* Image1 = nullptr;
    QLabel* lblMajorVersion = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* lblLink = nullptr;
    QPushButton* btnOK = nullptr;
    TTranslator* Translator1 = nullptr;
};

} // namespace tablor
