// TFileVersionInfo: the version facts of one executable file, read from its version resource.
//
// Windows executables (PE: .exe, .dll) carry the resource in their resource section (type 16,
// RT_VERSION). Tablor's own Linux program carries the same VS_VERSIONINFO block in the ELF
// section ".versioninfo", written at build time (tablor_embed_version in about/CMakeLists.txt),
// so the about box shows the version of the file that actually runs.
#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <optional>

namespace tablor {

// The version resource's text keys, in the order the texts are kept.
enum class VersionKey {
    CompanyName,
    FileDescription,
    FileVersion,
    InternalName,
    LegalCopyRight,
    LegalTradeMarks,
    OriginalFileName,
    ProductName,
    ProductVersion,
    Comments,
    SpecialBuild,
    PrivateBuild,
};
inline constexpr int VersionKeyCount = 12;
// The key as it is looked up ("CompanyName" ...); the lookup ignores letter case.
const char* versionKeyName(VersionKey key);

// The kind text of the fixed part's file type and subtype ("Application", "Printer Driver" ...);
// empty for values without one.
QString fileKindText(std::uint32_t fileType, std::uint32_t fileSubtype);

// The VS_VERSIONINFO block inside an executable's bytes: from the resource section of a PE
// file or from the ".versioninfo" section of an ELF file. Nothing for other files and for
// executables without one.
std::optional<QByteArray> findVersionBlock(const QByteArray& file);
// Whether the bytes are a PE or an ELF executable.
bool isExecutableImage(const QByteArray& file);

class TFileVersionInfo {
public:
    // Clears every item, then fills what the file gives: its type name (from the desktop's MIME
    // database, at most 80 characters) and, for executables with a version resource, the texts
    // of the first translation, the kind text and the flags. A file without a resource leaves
    // the texts empty and the flags false.
    void Read(const QString& filePath);

    QString FileType; // the type name of the file, e.g. "executable"
    std::array<QString, VersionKeyCount> Texts;
    QString FileKind; // e.g. "Application"
    bool Debug = false;
    bool PreRelease = false;
    bool SpecialBuild = false;
    bool PrivateBuild = false;
    bool Patched = false;
    bool InfoInferred = false;

    const QString& text(VersionKey key) const { return Texts[static_cast<std::size_t>(key)]; }
    const QString& FileVersion() const { return text(VersionKey::FileVersion); }
};

} // namespace tablor
