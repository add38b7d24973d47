// Reading and writing the VS_VERSIONINFO block; layout in versionresource.h.
#include "about/versionresource.h"

#include <QStringList>

#include <algorithm>

namespace tablor {
namespace {

constexpr int HeaderSize = 6; // wLength, wValueLength, wType

int align4(int offset) { return (offset + 3) & ~3; }

std::uint16_t word(const QByteArray& b, int at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8);
}

std::uint32_t dword(const QByteArray& b, int at) {
    return static_cast<std::uint32_t>(word(b, at)) | static_cast<std::uint32_t>(word(b, at + 2)) << 16;
}

// UTF-16LE text from `at` up to its terminating zero or `end`; `next` is set past the zero.
QString utf16(const QByteArray& b, int at, int end, int* next = nullptr) {
    QString s;
    int i = at;
    while (i + 1 < end) {
        const std::uint16_t c = word(b, i);
        i += 2;
        if (c == 0) break;
        s.append(QChar(c));
    }
    if (next) *next = i;
    return s;
}

void putWord(QByteArray& b, std::uint16_t v) {
    b.append(static_cast<char>(v & 0xFF));
    b.append(static_cast<char>(v >> 8));
}

void putDword(QByteArray& b, std::uint32_t v) {
    putWord(b, static_cast<std::uint16_t>(v & 0xFFFF));
    putWord(b, static_cast<std::uint16_t>(v >> 16));
}

void putUtf16(QByteArray& b, const QString& s) {
    for (QChar c : s) putWord(b, c.unicode());
    putWord(b, 0);
}

void pad4(QByteArray& b) {
    while (b.size() % 4 != 0) b.append('\0');
}

// One node: header, key, value and the children, each child on a 4-byte boundary.
QByteArray node(const QString& key, const QByteArray& value, std::uint16_t valueLength, std::uint16_t type,
                const std::vector<QByteArray>& children = {}) {
    QByteArray b;
    putWord(b, 0); // length, filled in below
    putWord(b, valueLength);
    putWord(b, type);
    putUtf16(b, key);
    pad4(b);
    b.append(value);
    for (const QByteArray& child : children) {
        pad4(b);
        b.append(child);
    }
    b[0] = static_cast<char>(b.size() & 0xFF);
    b[1] = static_cast<char>((b.size() >> 8) & 0xFF);
    return b;
}

QString tableKey(std::uint16_t language, std::uint16_t codePage) {
    return QStringLiteral("%1%2").arg(language, 4, 16, QLatin1Char('0')).arg(codePage, 4, 16, QLatin1Char('0'));
}

} // namespace

QByteArray buildVersionResource(const VersionResourceContent& content) {
    QByteArray fixed;
    const FixedFileInfo& f = content.fixed;
    for (std::uint32_t v :
         {FixedFileInfo::Signature, 0x10000u, f.fileVersionMS, f.fileVersionLS, f.productVersionMS, f.productVersionLS,
          f.fileFlagsMask, f.fileFlags, f.fileOS, f.fileType, f.fileSubtype, 0u, 0u})
        putDword(fixed, v);

    std::vector<QByteArray> strings;
    for (const auto& [key, text] : content.texts) {
        QByteArray value;
        putUtf16(value, text);
        strings.push_back(node(key, value, static_cast<std::uint16_t>(text.size() + 1), 1));
    }
    const QByteArray table = node(tableKey(content.language, content.codePage), {}, 0, 1, strings);
    QByteArray translation;
    putWord(translation, content.language);
    putWord(translation, content.codePage);
    const QByteArray var = node(QStringLiteral("Translation"), translation, 4, 0);
    return node(QStringLiteral("VS_VERSION_INFO"), fixed, static_cast<std::uint16_t>(fixed.size()), 0,
                {node(QStringLiteral("StringFileInfo"), {}, 0, 1, {table}),
                 node(QStringLiteral("VarFileInfo"), {}, 0, 1, {var})});
}

std::optional<VersionResource::Node> VersionResource::nodeAt(int offset, int limit) const {
    if (offset + HeaderSize > limit) return std::nullopt;
    const int length = word(block_, offset);
    if (length < HeaderSize || offset + length > limit) return std::nullopt;
    Node n;
    n.begin = offset;
    n.end = offset + length;
    n.type = word(block_, offset + 4);
    int afterKey = 0;
    n.key = utf16(block_, offset + HeaderSize, n.end, &afterKey);
    n.valueBegin = std::min(align4(afterKey), n.end);
    const int valueLength = word(block_, offset + 2);
    // Text values count characters; some writers count bytes, which only makes the value
    // reach further into the node's padding.
    n.valueEnd = std::min(n.valueBegin + (n.type == 1 ? 2 * valueLength : valueLength), n.end);
    n.childrenBegin = std::min(align4(n.valueEnd), n.end);
    return n;
}

std::optional<VersionResource::Node> VersionResource::find(const QString& path) const {
    auto current = nodeAt(0, static_cast<int>(block_.size()));
    if (!current) return std::nullopt;
    const QStringList parts = path.split(u'\\', Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        std::optional<Node> found;
        for (int at = current->childrenBegin; at < current->end;) {
            const auto child = nodeAt(at, current->end);
            if (!child) break;
            if (child->key.compare(part, Qt::CaseInsensitive) == 0) {
                found = child;
                break;
            }
            at = align4(child->end);
        }
        if (!found) return std::nullopt;
        current = found;
    }
    return current;
}

std::optional<FixedFileInfo> VersionResource::fixedInfo() const {
    const auto root = find(QString());
    if (!root || root->valueEnd - root->valueBegin < 52) return std::nullopt;
    const int v = root->valueBegin;
    if (dword(block_, v) != FixedFileInfo::Signature) return std::nullopt;
    FixedFileInfo f;
    f.fileVersionMS = dword(block_, v + 8);
    f.fileVersionLS = dword(block_, v + 12);
    f.productVersionMS = dword(block_, v + 16);
    f.productVersionLS = dword(block_, v + 20);
    f.fileFlagsMask = dword(block_, v + 24);
    f.fileFlags = dword(block_, v + 28);
    f.fileOS = dword(block_, v + 32);
    f.fileType = dword(block_, v + 36);
    f.fileSubtype = dword(block_, v + 40);
    return f;
}

std::optional<std::pair<std::uint16_t, std::uint16_t>> VersionResource::firstTranslation() const {
    const auto var = find(QStringLiteral("\\VarFileInfo\\Translation"));
    if (!var || var->valueEnd - var->valueBegin < 4) return std::nullopt;
    return std::pair{word(block_, var->valueBegin), word(block_, var->valueBegin + 2)};
}

std::optional<QString> VersionResource::text(const QString& path) const {
    const auto n = find(path);
    if (!n) return std::nullopt;
    return utf16(block_, n->valueBegin, n->end);
}

} // namespace tablor
