// The background colour that every Tablor window shares.
#pragma once

#include <QColor>
#include <QPalette>
#include <QWidget>

namespace tablor {

inline QColor windowColour() { return QColor(255, 180, 40); }

// Gives `window` (and its children that draw with the window colour) that background.
inline void applyWindowColour(QWidget* window) {
    QPalette palette = window->palette();
    palette.setColor(QPalette::Window, windowColour());
    palette.setColor(QPalette::Button, windowColour());
    window->setPalette(palette);
    window->setAutoFillBackground(true);
}

} // namespace tablor
