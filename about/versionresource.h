// The Windows version resource (VS_VERSIONINFO): a tree of nodes, each with a key, a value and
// children, as Windows stores it in the resource section of an executable. Our own program
// carries the same block in an ELF section of its own (see fileversioninfo.h).
//
// Node layout (every node starts on a 4-byte boundary of the block):
//   offset  size  meaning
//   0       2     wLength: bytes of the node, its children included
//   2       2     wValueLength: value size (in characters for text values, in bytes otherwise)
//   4       2     wType: 1 text value, 0 binary value
//   6       ...   szKey: UTF-16LE key, zero-terminated, then padding to 4 bytes
//   ...     ...   the value, then padding to 4 bytes, then the children
// The root's key is "VS_VERSION_INFO" and its value the 52-byte VS_FIXEDFILEINFO below; its
// children are "StringFileInfo" (one table per language and code page, key "040904b0", of
// texts) and "VarFileInfo" (its "Translation" value: pairs of 16-bit language and code page).
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace tablor {

// VS_FIXEDFILEINFO, 13 little-endian 32-bit words.
struct FixedFileInfo {
    static constexpr std::uint32_t Signature = 0xFEEF04BD;
    std::uint32_t fileVersionMS = 0; // major << 16 | minor
    std::uint32_t fileVersionLS = 0; // build << 16 | revision
    std::uint32_t productVersionMS = 0;
    std::uint32_t productVersionLS = 0;
    std::uint32_t fileFlagsMask = 0; // which of fileFlags are valid
    std::uint32_t fileFlags = 0;     // debug 1, pre-release 2, patched 4, private 8, inferred 16, special 32
    std::uint32_t fileOS = 0x40004;  // VOS_NT_WINDOWS32
    std::uint32_t fileType = 0;      // 1 application, 2 DLL, 3 driver, 4 font, 5 VxD, 7 static library
    std::uint32_t fileSubtype = 0;
};

// What a version block holds, for writing one.
struct VersionResourceContent {
    FixedFileInfo fixed;
    std::uint16_t language = 0x0409;
    std::uint16_t codePage = 1200;
    std::vector<std::pair<QString, QString>> texts; // key, text
};

// The block for `content`.
QByteArray buildVersionResource(const VersionResourceContent& content);

// Reads values from a block. Keys compare without regard to letter case, as Windows does.
class VersionResource {
public:
    explicit VersionResource(QByteArray block) : block_(std::move(block)) {}

    // The fixed part, when the root carries a valid one.
    std::optional<FixedFileInfo> fixedInfo() const;
    // The first (language, code page) pair of \VarFileInfo\Translation.
    std::optional<std::pair<std::uint16_t, std::uint16_t>> firstTranslation() const;
    // The text at a path such as "\StringFileInfo\040904b0\FileVersion".
    std::optional<QString> text(const QString& path) const;

private:
    struct Node {
        int begin = 0, end = 0; // the node's bytes in the block
        int valueBegin = 0, valueEnd = 0;
        int childrenBegin = 0;
        int type = 0;
        QString key;
    };
    std::optional<Node> nodeAt(int offset, int limit) const;
    std::optional<Node> find(const QString& path) const;

    QByteArray block_;
};

} // namespace tablor
