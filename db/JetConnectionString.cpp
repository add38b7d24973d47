// JetConnectionString.cpp — building and reading the Access connection strings.
#include "db/JetConnectionString.h"

#include "db/DbError.h"

#include <QStringList>

namespace tablor {

QString JetEngineType(int accessFormat) { return accessFormat == 0 ? QStringLiteral("4") : QStringLiteral("5"); }

QString JetOpenConnectionString(const QString& path) {
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + path +
           QStringLiteral(";Persist Security Info=False");
}

QString JetOpenConnectionStringWithEngine(const QString& path, const QString& engineType) {
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + path +
           QStringLiteral(";Jet OLEDB:Engine Type=") + engineType + QStringLiteral(";Persist Security Info=False");
}

QString JetShortConnectionString(const QString& path, const QString& engineType) {
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + path +
           QStringLiteral(";Jet OLEDB:Engine Type=") + engineType;
}

namespace {

enum class Key { Provider, DataSource, EngineType, PersistSecurityInfo, UserId, Password, Mode, None };

// Keys a Jet connection string of this program may carry. User ID, Password and Mode are
// accepted (ADO adds them) and have no effect on a file without user-level security.
Key keyOf(const QString& segment) {
    const int eq = segment.indexOf(QLatin1Char('='));
    if (eq < 0) return Key::None;
    const QString k = segment.left(eq).trimmed().toLower();
    if (k == QLatin1String("provider")) return Key::Provider;
    if (k == QLatin1String("data source")) return Key::DataSource;
    if (k == QLatin1String("jet oledb:engine type")) return Key::EngineType;
    if (k == QLatin1String("persist security info")) return Key::PersistSecurityInfo;
    if (k == QLatin1String("user id")) return Key::UserId;
    if (k == QLatin1String("password")) return Key::Password;
    if (k == QLatin1String("mode")) return Key::Mode;
    return Key::None;
}

} // namespace

JetConnectionString JetConnectionString::parse(const QString& text) {
    // Split at every ";", then glue back onto the previous value each piece that does not
    // start a known key: only Data Source can hold such a piece (a path with a semicolon).
    const QStringList pieces = text.split(QLatin1Char(';'));
    struct Pair {
        Key key;
        QString value;
    };
    std::vector<Pair> pairs;
    for (const QString& piece : pieces) {
        const Key k = keyOf(piece);
        if (k != Key::None) {
            pairs.push_back({k, piece.mid(piece.indexOf(QLatin1Char('=')) + 1)});
        } else if (!pairs.empty() && pairs.back().key == Key::DataSource) {
            pairs.back().value += QLatin1Char(';') + piece;
        } else if (!piece.trimmed().isEmpty()) {
            throw EDatabaseError(
                QStringLiteral("The connection string part '%1' is not understood. "
                               "Use Provider, Data Source, Jet OLEDB:Engine Type and Persist Security Info.")
                    .arg(piece));
        }
    }
    // A trailing ";" after the path belongs to the string's end, not to the path.
    JetConnectionString out;
    bool haveSource = false;
    for (Pair& p : pairs) {
        switch (p.key) {
        case Key::Provider: out.Provider = p.value.trimmed(); break;
        case Key::DataSource:
            if (p.value.endsWith(QLatin1Char(';')) && &p == &pairs.back()) p.value.chop(1);
            out.DataSource = p.value;
            haveSource = true;
            break;
        case Key::EngineType: out.EngineType = p.value.trimmed(); break;
        case Key::PersistSecurityInfo: {
            const QString v = p.value.trimmed().toLower();
            if (v != QLatin1String("true") && v != QLatin1String("false"))
                throw EDatabaseError(
                    QStringLiteral("Persist Security Info must be True or False, not '%1'.").arg(p.value));
            out.PersistSecurityInfo = v == QLatin1String("true");
            break;
        }
        default: break;
        }
    }
    if (out.Provider.compare(QLatin1String(kJetProvider), Qt::CaseInsensitive) != 0)
        throw EDatabaseError(QStringLiteral("The provider '%1' is not available; Access files are opened with %2.")
                                 .arg(out.Provider, QLatin1String(kJetProvider)));
    if (!haveSource || out.DataSource.isEmpty())
        throw EDatabaseError(QStringLiteral("The connection string names no file (Data Source is missing or empty)."));
    if (!out.EngineType.isEmpty() && out.EngineType != QLatin1String("4") && out.EngineType != QLatin1String("5"))
        throw EDatabaseError(
            QStringLiteral("Jet OLEDB:Engine Type %1 is not supported: use 4 (Access 97) or 5 (Access 2000).")
                .arg(out.EngineType));
    return out;
}

} // namespace tablor
