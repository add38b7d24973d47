// TPrefs on QSettings; see prefs.h.
#include "profiles/prefs.h"

#include <QSettings>
#include <QVariant>

#include <limits>

namespace tablor {
namespace {

const QString kGroup = QStringLiteral("Settings");
const QString kPreview = QStringLiteral("FPreview");
const QString kLanguage = QStringLiteral("FLanguage");
const QString kStartUp = QStringLiteral("StartUpDialog");

// A stored Boolean: a 32-bit integer (in the settings file its decimal text). Anything else
// (true/false words, lists, numbers beyond 32 bits) is of the wrong type.
bool readBoolean(const QVariant& v, bool& out) {
    qlonglong n = 0;
    bool ok = false;
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong: n = v.toLongLong(&ok); break;
    case QMetaType::QString: n = v.toString().toLongLong(&ok); break;
    default: return false;
    }
    if (!ok || n < std::numeric_limits<std::int32_t>::min() || n > std::numeric_limits<std::uint32_t>::max()) {
        return false;
    }
    out = n != 0;
    return true;
}

} // namespace

TPrefs::TPrefs() { Load(); }

void TPrefs::Load() {
    QSettings settings(QStringLiteral("Ostrander"), QStringLiteral("Tablor"));
    settings.beginGroup(kGroup);
    [&] {
        if (!settings.contains(kPreview) || !readBoolean(settings.value(kPreview), FPreview)) return;
        if (settings.contains(kLanguage)) {
            const QVariant v = settings.value(kLanguage);
            if (v.typeId() != QMetaType::QString) return;
            FLanguage = v.toString();
        } else {
            FLanguage.clear();
        }
        if (!settings.contains(kStartUp)) return;
        readBoolean(settings.value(kStartUp), StartUpDialog);
    }();
    deriveLanguageIndex();
}

void TPrefs::Save() {
    QSettings settings(QStringLiteral("Ostrander"), QStringLiteral("Tablor"));
    settings.beginGroup(kGroup);
    settings.setValue(kPreview, qint32(FPreview ? 1 : 0));
    settings.setValue(kLanguage, FLanguage);
    settings.setValue(kStartUp, qint32(StartUpDialog ? 1 : 0));
    settings.endGroup();
    settings.sync();
    if (settings.status() != QSettings::NoError) {
        throw PrefsError("Could not save the preferences to " + settings.fileName().toStdString() +
                         ". Check that the folder exists and that you may write to it.");
    }
    deriveLanguageIndex();
}

void TPrefs::deriveLanguageIndex() {
    if (FLanguage == QLatin1String("Deutsch")) {
        LanguageIndex = 0;
    } else if (FLanguage == QLatin1String("English")) {
        LanguageIndex = 1;
    }
}

} // namespace tablor
