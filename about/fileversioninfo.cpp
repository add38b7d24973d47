// Reading the version resource of PE and ELF files; see fileversioninfo.h.
#include "about/fileversioninfo.h"

#include "about/versionresource.h"

#include <QFile>
#include <QMimeDatabase>

#include <cstring>

namespace tablor {
namespace {

constexpr const char* KeyNames[VersionKeyCount] = {
    "CompanyName",      "FileDescription", "FileVersion",    "InternalName", "LegalCopyRight", "LegalTradeMarks",
    "OriginalFileName", "ProductName",     "ProductVersion", "Comments",     "SpecialBuild",   "PrivateBuild"};

// Little- or big-endian integers at a file offset, with bounds checks: a read past the end
// gives nothing, so a damaged file reads as one without a resource.
class Bytes {
public:
    Bytes(const QByteArray& data, bool bigEndian = false) : d_(data), big_(bigEndian) {}
    bool has(qint64 at, qint64 size) const { return at >= 0 && size >= 0 && at + size <= d_.size(); }
    std::optional<std::uint64_t> get(qint64 at, int size) const {
        if (!has(at, size)) return std::nullopt;
        std::uint64_t v = 0;
        for (int i = 0; i < size; ++i) {
            const auto byte =
                static_cast<std::uint64_t>(static_cast<unsigned char>(d_[at + (big_ ? i : size - 1 - i)]));
            v = v << 8 | byte;
        }
        return v;
    }
    std::uint64_t at(qint64 offset, int size) const { return get(offset, size).value_or(0); }

private:
    const QByteArray& d_;
    bool big_;
};

// PE layout used here:
//   0x3C          4  e_lfanew: offset of "PE\0\0"
//   +4            20 COFF header: +2 number of sections, +16 size of the optional header
//   +24           .. optional header: magic 0x10B (PE32, data directories at +96) or
//                    0x20B (PE32+, at +112); directory 2 is the resources (RVA, size)
//   after it      40 per section: +8 virtual size, +12 RVA, +16 raw size, +20 raw offset
// Resource tree: a directory (16 bytes, +12 named entries, +14 id entries) of 8-byte entries
// (+0 id, or name when the high bit is set; +4 offset from the section start, a subdirectory
// when the high bit is set); a leaf (16 bytes) gives the data's RVA and size. Levels: type,
// name, language.
struct PeImage {
    const QByteArray& data;
    qint64 sectionTable = 0;
    int sections = 0;

    std::optional<qint64> fileOffset(std::uint64_t rva) const {
        Bytes b(data);
        for (int i = 0; i < sections; ++i) {
            const qint64 s = sectionTable + 40 * i;
            const std::uint64_t va = b.at(s + 12, 4);
            const std::uint64_t size = std::max(b.at(s + 8, 4), b.at(s + 16, 4));
            if (rva >= va && rva < va + size) return static_cast<qint64>(b.at(s + 20, 4) + (rva - va));
        }
        return std::nullopt;
    }
};

std::optional<qint64> peHeader(const QByteArray& file) {
    Bytes b(file);
    if (file.size() < 64 || file[0] != 'M' || file[1] != 'Z') return std::nullopt;
    const qint64 pe = static_cast<qint64>(b.at(0x3C, 4));
    if (!b.has(pe, 24) || std::memcmp(file.constData() + pe, "PE\0\0", 4) != 0) return std::nullopt;
    return pe;
}

std::optional<QByteArray> peVersionBlock(const QByteArray& file, qint64 pe) {
    Bytes b(file);
    const qint64 optional = pe + 24;
    const std::uint64_t magic = b.at(optional, 2);
    const qint64 directories = optional + (magic == 0x20B ? 112 : magic == 0x10B ? 96 : -1);
    if (directories < optional) return std::nullopt;
    const std::uint64_t count = b.at(directories - 4, 4);
    if (count < 3) return std::nullopt;
    const std::uint64_t resourceRva = b.at(directories + 2 * 8, 4);
    if (resourceRva == 0) return std::nullopt;
    PeImage image{file, optional + static_cast<qint64>(b.at(pe + 20, 2)), static_cast<int>(b.at(pe + 6, 2))};
    const auto root = image.fileOffset(resourceRva);
    if (!root) return std::nullopt;

    // The entry of `directory` with `id` (or its first entry when id < 0): its offset field.
    auto entry = [&](qint64 directory, long id) -> std::optional<std::uint64_t> {
        const std::uint64_t named = b.at(directory + 12, 2), ids = b.at(directory + 14, 2);
        for (std::uint64_t i = 0; i < named + ids; ++i) {
            const qint64 e = directory + 16 + 8 * static_cast<qint64>(i);
            if (!b.has(e, 8)) return std::nullopt;
            const std::uint64_t name = b.at(e, 4);
            if (id < 0 || (!(name & 0x80000000u) && name == static_cast<std::uint64_t>(id))) return b.at(e + 4, 4);
        }
        return std::nullopt;
    };
    qint64 at = *root;
    for (long id : {16L, -1L, -1L}) { // RT_VERSION, its first name, its first language
        const auto offset = entry(at, id);
        if (!offset) return std::nullopt;
        at = *root + static_cast<qint64>(*offset & 0x7FFFFFFFu);
    }
    // `at` is now the leaf: data RVA and size.
    const auto data = image.fileOffset(b.at(at, 4));
    const qint64 size = static_cast<qint64>(b.at(at + 4, 4));
    if (!data || !b.has(*data, size) || size == 0) return std::nullopt;
    return file.mid(*data, size);
}

// ELF: e_ident[4] class (1 32-bit, 2 64-bit), e_ident[5] data (1 little, 2 big endian);
// e_shoff, e_shentsize, e_shnum, e_shstrndx locate the section headers and their names.
std::optional<QByteArray> elfVersionBlock(const QByteArray& file) {
    const bool wide = file[4] == 2;
    const Bytes b(file, file[5] == 2);
    const qint64 shoff = static_cast<qint64>(b.at(wide ? 0x28 : 0x20, wide ? 8 : 4));
    const qint64 entsize = static_cast<qint64>(b.at(wide ? 0x3A : 0x2E, 2));
    const qint64 count = static_cast<qint64>(b.at(wide ? 0x3C : 0x30, 2));
    const qint64 strndx = static_cast<qint64>(b.at(wide ? 0x3E : 0x32, 2));
    if (shoff == 0 || entsize < (wide ? 64 : 40) || strndx >= count) return std::nullopt;
    auto offsetOf = [&](qint64 header) {
        return static_cast<qint64>(b.at(header + (wide ? 0x18 : 0x10), wide ? 8 : 4));
    };
    auto sizeOf = [&](qint64 header) { return static_cast<qint64>(b.at(header + (wide ? 0x20 : 0x14), wide ? 8 : 4)); };
    const qint64 names = offsetOf(shoff + strndx * entsize);
    static const QByteArray wanted(".versioninfo");
    for (qint64 i = 0; i < count; ++i) {
        const qint64 header = shoff + i * entsize;
        const qint64 name = names + static_cast<qint64>(b.at(header, 4));
        if (!b.has(name, wanted.size() + 1) ||
            std::memcmp(file.constData() + name, wanted.constData(), wanted.size() + 1) != 0)
            continue;
        const qint64 offset = offsetOf(header), size = sizeOf(header);
        if (!b.has(offset, size) || size == 0) return std::nullopt;
        return file.mid(offset, size);
    }
    return std::nullopt;
}

bool isElf(const QByteArray& file) {
    return file.size() >= 64 && file.startsWith("\x7f"
                                                "ELF");
}

} // namespace

const char* versionKeyName(VersionKey key) { return KeyNames[static_cast<int>(key)]; }

QString fileKindText(std::uint32_t fileType, std::uint32_t fileSubtype) {
    static const char* const drivers[] = {"Unknown Driver",  "Printer Driver",       "Keyboard Driver",
                                          "Language Driver", "Display Driver",       "Mouse Driver",
                                          "Network Driver",  "System Driver",        "InstallableDriver",
                                          "Sound Driver",    "Communications Driver"};
    static const char* const fonts[] = {"Unknown Font", "Raster Font", "Vector Font", "Truetype Font"};
    switch (fileType) {
    case 0: return QStringLiteral("Unknown");
    case 1: return QStringLiteral("Application");
    case 2: return QStringLiteral("DLL");
    case 3: return fileSubtype <= 10 ? QString::fromLatin1(drivers[fileSubtype]) : QString();
    case 4: return fileSubtype <= 3 ? QString::fromLatin1(fonts[fileSubtype]) : QString();
    case 5:
        return QStringLiteral("Virtual Defice Identifier = ") +
               QStringLiteral("%1").arg(fileSubtype, 8, 16, QLatin1Char('0')).toUpper();
    case 7: return QStringLiteral("Static-link Library");
    default: return QString();
    }
}

bool isExecutableImage(const QByteArray& file) { return isElf(file) || peHeader(file).has_value(); }

std::optional<QByteArray> findVersionBlock(const QByteArray& file) {
    if (isElf(file)) return elfVersionBlock(file);
    if (const auto pe = peHeader(file)) return peVersionBlock(file, *pe);
    return std::nullopt;
}

void TFileVersionInfo::Read(const QString& filePath) {
    *this = TFileVersionInfo{};

    const QString typeName = QMimeDatabase().mimeTypeForFile(filePath).comment();
    if (!typeName.isEmpty()) FileType = typeName.left(80);

    QFile f(filePath);
    if (!f.open(QIODevice::ReadOnly)) return;
    // Mapped, not read: the program file can be large and only a few pages are looked at.
    uchar* mapped = f.map(0, f.size());
    const QByteArray file =
        mapped ? QByteArray::fromRawData(reinterpret_cast<const char*>(mapped), f.size()) : f.readAll();
    if (!isExecutableImage(file)) return;
    const auto block = findVersionBlock(file);
    if (!block) return;
    const VersionResource resource(QByteArray(block->constData(), block->size())); // a copy: the map goes

    if (const auto translation = resource.firstTranslation()) {
        const QString table = QStringLiteral("%1%2")
                                  .arg(translation->first, 4, 16, QLatin1Char('0'))
                                  .arg(translation->second, 4, 16, QLatin1Char('0'));
        for (int i = 0; i < VersionKeyCount; ++i) {
            const QString path = QStringLiteral("\\StringFileInfo\\%1\\%2").arg(table, QLatin1String(KeyNames[i]));
            Texts[static_cast<std::size_t>(i)] = resource.text(path).value_or(QString());
        }
    }
    if (const auto fixed = resource.fixedInfo()) {
        const std::uint32_t set = fixed->fileFlags & fixed->fileFlagsMask;
        Debug = set & 1;
        PreRelease = set & 2;
        Patched = set & 4;
        PrivateBuild = set & 8;
        InfoInferred = set & 16;
        SpecialBuild = set & 32;
        FileKind = fileKindText(fixed->fileType, fixed->fileSubtype);
    }
}

} // namespace tablor
