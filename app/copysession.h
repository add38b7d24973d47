// copysession.h — what the main window shows and allows while a download or upload runs: the
// rate and the time left beside the status text, a cancel button in the status bar (Escape
// does the same), and a window that repaints about ten times a second but takes no other
// input, so that nothing can change the tables or the connection under the copy.
#pragma once

#include "transfer/CopyRate.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <atomic>
#include <optional>

class QLabel;
class QStatusBar;
class QToolButton;
class QWidget;

namespace tablor {

class CopySession : public QObject {
public:
    // Shows the rate label and the cancel button in `statusBar` until destroyed.
    CopySession(QWidget* window, QStatusBar* statusBar, int languageIndex);
    ~CopySession() override;

    // The flag the copy engines look at.
    const std::atomic<bool>* cancelFlag() const { return &m_cancel; }
    bool cancelled() const { return m_cancel.load(); }

    // A progress report of `table`: updates the rate (after a second of it) and, at most ten
    // times a second, repaints and handles pending events.
    void progress(const QString& table, qint64 rows, qint64 total);

    // Runs `show` (a message box) with the window's input back, then holds it again.
    template <class F>
    void withInput(F&& show) {
        release();
        try {
            show();
        } catch (...) {
            hold();
            throw;
        }
        hold();
    }

    bool eventFilter(QObject* watched, QEvent* event) override;

    QLabel* rateLabel() const { return m_rate; }
    QToolButton* cancelButton() const { return m_button; }

private:
    void hold();
    void release();

    QWidget* m_window;
    QLabel* m_rate;
    QToolButton* m_button;
    int m_language;
    std::atomic<bool> m_cancel{false};
    QString m_table;
    QElapsedTimer m_sinceTableStart, m_sincePaint;
};

} // namespace tablor
