// The version reader on PE files built here byte by byte, on a real Windows executable when the
// machine has one, and on our own program file.
#include "about/fileversioninfo.h"
#include "about/versionresource.h"
#include "../jet/availability.h"

#include <QProcess>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstring>

namespace tablor {
namespace {

void put(QByteArray& b, qint64 at, std::uint32_t v, int size) {
    if (b.size() < at + size) b.resize(at + size, '\0');
    for (int i = 0; i < size; ++i) b[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A minimal PE32 or PE32+ image: DOS header, "PE\0\0", COFF header, optional header with 16 data
// directories, one section ".rsrc" at RVA 0x2000 holding a resource tree type 16 / id 1 /
// language 0x409 whose leaf points at `version` (no tree at all when `version` is empty).
QByteArray buildPe(const QByteArray& version, bool pe32plus) {
    QByteArray f;
    f.append("MZ");
    const int pe = 0x80;
    put(f, 0x3C, pe, 4);
    f.resize(pe, '\0');
    f.append("PE", 2).append('\0').append('\0');
    const int optionalSize = pe32plus ? 240 : 224;
    put(f, pe + 4, pe32plus ? 0x8664 : 0x14C, 2); // machine
    put(f, pe + 6, 1, 2);                         // one section
    put(f, pe + 20, optionalSize, 2);
    put(f, pe + 22, 0x0102, 2); // executable image
    const int opt = pe + 24;
    put(f, opt, pe32plus ? 0x20B : 0x10B, 2);
    const int dirs = opt + (pe32plus ? 112 : 96);
    put(f, dirs - 4, 16, 4); // NumberOfRvaAndSizes
    const std::uint32_t rva = 0x2000, raw = 0x400;
    // The tree: root dir -> type 16 -> name 1 -> language 0x409 -> leaf -> data.
    QByteArray r;
    auto dir = [&](int at, std::uint32_t id, std::uint32_t target, bool subdir) {
        put(r, at + 14, 1, 2); // one id entry
        put(r, at + 16, id, 4);
        put(r, at + 20, target | (subdir ? 0x80000000u : 0u), 4);
    };
    if (!version.isEmpty()) {
        dir(0, 16, 24, true);
        dir(24, 1, 48, true);
        dir(48, 0x409, 72, false);
        put(r, 72, rva + 88, 4); // leaf: data RVA, size
        put(r, 76, static_cast<std::uint32_t>(version.size()), 4);
        r.resize(88, '\0');
        r.append(version);
        put(f, dirs + 16, rva, 4); // resource directory
        put(f, dirs + 20, static_cast<std::uint32_t>(r.size()), 4);
    }
    const int section = opt + optionalSize;
    f.resize(section, '\0');
    f.append(".rsrc\0\0\0", 8);
    put(f, section + 8, static_cast<std::uint32_t>(r.size()), 4);
    put(f, section + 12, rva, 4);
    put(f, section + 16, static_cast<std::uint32_t>(r.size()), 4);
    put(f, section + 20, raw, 4);
    f.resize(raw, '\0');
    f.append(r);
    return f;
}

VersionResourceContent content(std::uint32_t flags, std::uint32_t mask, std::uint32_t type, std::uint32_t subtype) {
    VersionResourceContent c;
    c.fixed.fileFlags = flags;
    c.fixed.fileFlagsMask = mask;
    c.fixed.fileType = type;
    c.fixed.fileSubtype = subtype;
    c.language = 0x0407;
    c.codePage = 0x04E4;
    // Windows spells some keys with other capitals than the reader's list.
    c.texts = {{"CompanyName", "Beispiel GmbH"}, {"FileVersion", "3.1.4.1"}, {"LegalCopyright", "© 2001"},
               {"OriginalFilename", "x.exe"},    {"Comments", "äöü ß"},      {"PrivateBuild", "p"}};
    return c;
}

TFileVersionInfo readBytes(const QByteArray& bytes) {
    QTemporaryDir dir;
    const QString path = dir.filePath("file.exe");
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    f.close();
    TFileVersionInfo info;
    info.Read(path);
    return info;
}

TEST(FileVersionInfo, ReadsTextsOfTheFirstTranslationFromPe32AndPe32Plus) {
    for (bool plus : {false, true}) {
        const TFileVersionInfo info = readBytes(buildPe(buildVersionResource(content(0, 0, 1, 0)), plus));
        EXPECT_EQ(info.text(VersionKey::CompanyName), "Beispiel GmbH") << plus;
        EXPECT_EQ(info.FileVersion(), "3.1.4.1");
        EXPECT_EQ(info.text(VersionKey::LegalCopyRight), "© 2001");
        EXPECT_EQ(info.text(VersionKey::OriginalFileName), "x.exe");
        EXPECT_EQ(info.text(VersionKey::Comments), "äöü ß");
        EXPECT_EQ(info.text(VersionKey::PrivateBuild), "p");
        EXPECT_EQ(info.text(VersionKey::ProductName), "");
        EXPECT_EQ(info.FileKind, "Application");
        EXPECT_FALSE(info.FileType.isEmpty());
    }
}

TEST(FileVersionInfo, AFlagNeedsItsBitInFlagsAndMask) {
    // Each flag alone, then all flags set but masked off except one.
    const std::uint32_t bits[] = {1, 2, 4, 8, 16, 32};
    for (int i = 0; i < 6; ++i) {
        for (std::uint32_t mask : {0x3Fu, bits[i], 0x3Fu & ~bits[i]}) {
            const TFileVersionInfo info = readBytes(buildPe(buildVersionResource(content(0x3F, mask, 1, 0)), false));
            const bool got[] = {info.Debug,        info.PreRelease,   info.Patched,
                                info.PrivateBuild, info.InfoInferred, info.SpecialBuild};
            for (int j = 0; j < 6; ++j) EXPECT_EQ(got[j], (mask & bits[j]) != 0) << "flag " << j << " mask " << mask;
        }
    }
}

TEST(FileVersionInfo, KindTextOfEveryTypeAndSubtype) {
    struct Case {
        std::uint32_t type, subtype;
        const char* text;
    };
    const Case cases[] = {{0, 0, "Unknown"},
                          {1, 0, "Application"},
                          {2, 0, "DLL"},
                          {3, 0, "Unknown Driver"},
                          {3, 1, "Printer Driver"},
                          {3, 2, "Keyboard Driver"},
                          {3, 3, "Language Driver"},
                          {3, 4, "Display Driver"},
                          {3, 5, "Mouse Driver"},
                          {3, 6, "Network Driver"},
                          {3, 7, "System Driver"},
                          {3, 8, "InstallableDriver"},
                          {3, 9, "Sound Driver"},
                          {3, 10, "Communications Driver"},
                          {3, 11, ""},
                          {4, 0, "Unknown Font"},
                          {4, 1, "Raster Font"},
                          {4, 2, "Vector Font"},
                          {4, 3, "Truetype Font"},
                          {4, 4, ""},
                          {5, 0x2A, "Virtual Defice Identifier = 0000002A"},
                          {6, 0, ""},
                          {7, 0, "Static-link Library"},
                          {8, 0, ""}};
    for (const Case& c : cases) {
        const TFileVersionInfo info = readBytes(buildPe(buildVersionResource(content(0, 0, c.type, c.subtype)), true));
        EXPECT_EQ(info.FileKind, QString::fromLatin1(c.text)) << c.type << "/" << c.subtype;
    }
}

TEST(FileVersionInfo, WithoutResourceOrNotAnExecutableEverythingIsEmpty) {
    const QByteArray noResource = buildPe({}, false);
    QByteArray damaged = buildPe(buildVersionResource(content(1, 1, 1, 0)), false);
    damaged.truncate(damaged.size() - 40); // the resource runs past the end of the file
    for (const QByteArray& bytes : {noResource, damaged, QByteArray("just some text, not a program")}) {
        const TFileVersionInfo info = readBytes(bytes);
        for (const QString& t : info.Texts) EXPECT_TRUE(t.isEmpty()) << t.toStdString();
        EXPECT_TRUE(info.FileKind.isEmpty());
        EXPECT_FALSE(info.Debug || info.PreRelease || info.SpecialBuild || info.PrivateBuild || info.Patched ||
                     info.InfoInferred);
    }
}

// Debian's win32-loader ships a Windows program built by NSIS, not by our writer; its version
// texts name the package and its version, which dpkg tells independently.
TEST(FileVersionInfo, ReadsARealWindowsExecutable) {
    const QString path = QStringLiteral("/usr/share/win32/win32-loader.exe");
    if (!QFile::exists(path)) JET_UNAVAILABLE() << "win32-loader is not installed (scripts/setup installs it)";
    QProcess dpkg;
    dpkg.start("dpkg-query", {"-W", "-f", "${Version}", "win32-loader"});
    ASSERT_TRUE(dpkg.waitForFinished());
    const QString packageVersion = QString::fromUtf8(dpkg.readAllStandardOutput()).trimmed();
    TFileVersionInfo info;
    info.Read(path);
    EXPECT_EQ(info.text(VersionKey::ProductName), "win32-loader");
    EXPECT_FALSE(packageVersion.isEmpty());
    EXPECT_TRUE(info.FileVersion().startsWith(packageVersion)) << info.FileVersion().toStdString();
    EXPECT_TRUE(info.text(VersionKey::ProductVersion).startsWith(packageVersion));
    EXPECT_EQ(info.FileKind, "Application");
    EXPECT_FALSE(info.Debug || info.PreRelease || info.SpecialBuild || info.PrivateBuild || info.Patched);
}

TEST(FileVersionInfo, OurOwnProgramCarriesTheBuildsVersion) {
    // This test program is built with the same version resource as tablor.
    for (const QString& path : {QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget(),
                                QStringLiteral(TABLOR_BINARY_DIR "/bin/tablor")}) {
        if (!QFile::exists(path)) continue;
        TFileVersionInfo info;
        info.Read(path);
        EXPECT_EQ(info.FileVersion(), QStringLiteral(TABLOR_PROJECT_VERSION ".0")) << path.toStdString();
        EXPECT_EQ(info.text(VersionKey::ProductName), "Tablor");
        EXPECT_EQ(info.FileKind, "Application");
    }
}

} // namespace
} // namespace tablor
