// The localisation engine: per-window two-language texts, switching and the language source mark.
#include "l10n/translator.h"

#include <QMetaProperty>
#include <QVariant>

#include <algorithm>

namespace tablor {

namespace {

// Every live translator in creation order. One user-interface thread, so no lock.
std::vector<TTranslator*>& registry() {
    static std::vector<TTranslator*> all;
    return all;
}

} // namespace

UnknownLanguage::UnknownLanguage(const QString& name)
    : std::runtime_error(("Unknown language '" + name + "'").toStdString()), name_(name) {}

const QStringList& TTranslator::languages() {
    static const QStringList names{QString::fromLatin1(German), QString::fromLatin1(English)};
    return names;
}

TTranslator::TTranslator(QObject* window, const QString& designLanguage, std::span<const TextPair> texts)
    : QObject(window), window_(window), designLanguage_(designLanguage), language_(designLanguage) {
    if (!languages().contains(designLanguage))
        throw TextTableError("design language '" + designLanguage.toStdString() + "' is not one of Deutsch, English");
    entries_.reserve(texts.size());
    for (const TextPair& row : texts) {
        QObject* target = resolve(row.object);
        const QMetaObject* meta = target->metaObject();
        const int index = meta->indexOfProperty(row.property);
        if (index < 0 || !meta->property(index).isWritable())
            throw TextTableError(std::string("control '") + row.object + "' has no writable property '" + row.property +
                                 "'");
        entries_.push_back(
            Entry{target, QByteArray(row.property), {}, QString::fromUtf8(row.german), QString::fromUtf8(row.english)});
    }
    registry().push_back(this);

    // A new window follows the window that carries the mark; the texts of a window that is shown
    // in its design language are already in place.
    if (TTranslator* source = markedInstance(); source && source != this) applyLanguage(source->language());
}

TTranslator::~TTranslator() {
    auto& all = registry();
    all.erase(std::remove(all.begin(), all.end(), this), all.end());
}

QObject* TTranslator::resolve(const char* objectName) const {
    const QString name = QString::fromUtf8(objectName);
    if (name.isEmpty() || name == window_->objectName()) return window_;
    // Actions and menus are found as well as widgets: all are children of the window.
    const auto found = window_->findChildren<QObject*>(name);
    if (found.isEmpty())
        throw TextTableError("window '" + window_->objectName().toStdString() + "' has no control '" +
                             name.toStdString() + "' for its text table");
    return found.first();
}

void TTranslator::addText(QObject* target, const QByteArray& property, const QString& german, const QString& english) {
    if (!target) throw TextTableError("addText needs a control");
    Entry entry{target, property, {}, german, english};
    applyEntry(entry, languageIndex());
    entries_.push_back(std::move(entry));
}

void TTranslator::addSetter(std::function<void(const QString&)> apply, const QString& german, const QString& english) {
    Entry entry{nullptr, {}, std::move(apply), german, english};
    applyEntry(entry, languageIndex());
    entries_.push_back(std::move(entry));
}

void TTranslator::switchLanguage(const QString& name) {
    if (!languages().contains(name)) throw UnknownLanguage(name);
    applyLanguage(name);
    if (translateApplication_) {
        // Copy: a window reacting to languageChanged may open or close another window.
        const std::vector<TTranslator*> others = registry();
        for (TTranslator* other : others)
            if (other != this && std::find(registry().begin(), registry().end(), other) != registry().end())
                other->applyLanguage(name);
    }
}

void TTranslator::applyLanguage(const QString& name) {
    const int index = languages().indexOf(name);
    for (const Entry& entry : entries_) applyEntry(entry, index);
    language_ = name;
    emit languageChanged(name);
}

void TTranslator::applyEntry(const Entry& entry, int index) {
    const QString& text = index == 1 ? entry.english : entry.german;
    if (text.isEmpty()) return;
    if (entry.apply) {
        entry.apply(text);
    } else if (entry.target) {
        entry.target->setProperty(entry.property.constData(), text);
    }
}

std::vector<TTranslator*> TTranslator::instances() { return registry(); }

TTranslator* TTranslator::markedInstance() {
    for (TTranslator* t : registry())
        if (t->translateApplication_) return t;
    return nullptr;
}

} // namespace tablor
