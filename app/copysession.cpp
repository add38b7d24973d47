// copysession.cpp — the main window during a copy (see copysession.h).
#include "app/copysession.h"

#include "profiles/widgethelpers.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QStatusBar>
#include <QToolButton>

namespace tablor {

CopySession::CopySession(QWidget* window, QStatusBar* statusBar, int languageIndex)
    : m_window(window), m_language(languageIndex) {
    m_rate = new QLabel(statusBar);
    m_rate->setObjectName(QStringLiteral("sbRate"));
    m_rate->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_button = new QToolButton(statusBar);
    m_button->setObjectName(QStringLiteral("sbCancel"));
    m_button->setText(languageIndex == 0 ? QStringLiteral("Abbrechen") : QStringLiteral("Cancel"));
    m_button->setToolTip(languageIndex == 0 ? QStringLiteral("Kopieren nach dem laufenden Block beenden (Esc)")
                                            : QStringLiteral("Stop copying after the current batch (Esc)"));
    QObject::connect(m_button, &QToolButton::clicked, this, [this] { m_cancel = true; });
    statusBar->addPermanentWidget(m_rate);
    statusBar->addPermanentWidget(m_button);
    m_sincePaint.start();
    hold();
}

void CopySession::hold() { qApp->installEventFilter(this); }
void CopySession::release() { qApp->removeEventFilter(this); }

CopySession::~CopySession() {
    release();
    delete m_rate;
    delete m_button;
}

void CopySession::progress(const QString& table, qint64 rows, qint64 total) {
    if (table != m_table) {
        m_table = table;
        m_sinceTableStart.start();
        m_rate->clear();
    }
    if (m_sincePaint.elapsed() < 100) return;
    const qint64 ms = m_sinceTableStart.elapsed();
    if (ms >= 1000 && rows > 0) {
        const double rate = double(rows) * 1000.0 / double(ms);
        std::optional<qint64> left;
        if (total > rows) left = qint64((double(total - rows) / rate) + 0.5);
        m_rate->setText(copyRateText(m_language, rate, left));
    }
    m_window->repaint();
    QCoreApplication::processEvents(); // input is held back by eventFilter
    m_sincePaint.restart();
}

bool CopySession::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        m_cancel = true;
        return true;
    }
    if (event->type() == QEvent::Close && watched == m_window) {
        // Closing mid-copy stops the copy; the window stays until it has ended.
        m_cancel = true;
        event->ignore();
        return true;
    }
    // Widgets only: input reaches the window's QWindow first, which hands it to the widget.
    if (isUserInput(event->type()) && watched->isWidgetType() && watched != m_button) return true;
    return false;
}

} // namespace tablor
