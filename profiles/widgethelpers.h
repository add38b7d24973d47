// Two small helpers that several windows share: which events are the user's input (held back
// while a copy runs), and the file filters of the old "Name|*.x|..." form as Qt takes them.
#pragma once

#include <QEvent>
#include <QString>
#include <QStringList>

namespace tablor {

inline bool isUserInput(QEvent::Type t) {
    switch (t) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::DragEnter:
    case QEvent::Drop: return true;
    default: return false;
    }
}

// "Name (*.x)|*.x|All (*.*)|*.*" as a Qt name filter list; "*.*" means every file, and ";"
// separates patterns as a space does for Qt.
inline QStringList qtFilters(const QString& filter) {
    const QStringList parts = filter.split(u'|');
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString name = parts.at(i);
        const qsizetype paren = name.indexOf(u'(');
        if (paren > 0) name = name.left(paren).trimmed();
        QString patterns = parts.at(i + 1);
        patterns.replace(u';', u' ');
        if (patterns == QLatin1String("*.*")) patterns = QStringLiteral("*");
        out << name + QStringLiteral(" (") + patterns + u')';
    }
    return out;
}

} // namespace tablor
