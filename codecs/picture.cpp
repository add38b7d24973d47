// What a blob holds: the OLE wrapper Access writes around embedded pictures, the decoding
// order of the image viewer and the grid, and the description of a blob cell.
//
// Access's OLE object header (at 0):
//   0  2  signature 0x1C15            10  2  class name length
//   2  2  size of this header         12  2  offset of the name
//   4  4  object type (2 embedded)    14  2  offset of the class name
//   8  2  name length                 16  4  -1
//  20  .  name ("Bitmap Image"), class name ("Paint.Picture"), both ending in 0
// The OLE 1.0 object follows the header:
//   0  4  version (0x0501)             then class, topic and item names, each a 4-byte
//   4  4  format: 2 embedded           length (0 terminator included) and the characters;
//                                      then 4 bytes native data size and the native data.
// The native data of "Paint.Picture" / "PBrush" is the BMP file itself. A "Package" (a file
// dropped into the field) holds: 2 bytes 0x0002, the file name and its source path (each
// ending in 0), 4 bytes, a 4-byte length and a temporary path, a 4-byte size and the file.
// Anything else is searched for the start of a BMP, JPEG or GIF.
#include "codecs/imagecodecs.h"

#include <algorithm>
#include <cstring>

namespace tablor {

bool probeBmp(const std::uint8_t* data, std::size_t size, int& width, int& height);
bool probeJpeg(const std::uint8_t* data, std::size_t size, int& width, int& height);
bool probeGif(const std::uint8_t* data, std::size_t size, int& width, int& height);

namespace {

using Bytes = std::span<const std::uint8_t>;

std::uint32_t le16(const std::uint8_t* p) { return p[0] | (p[1] << 8); }
std::uint32_t le32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

constexpr std::size_t MaxSignatureSearch = 64 * 1024;

PictureFormat formatAt(Bytes b, std::size_t at) {
    const std::size_t left = b.size() - at;
    const std::uint8_t* p = b.data() + at;
    if (left >= 18 && p[0] == 'B' && p[1] == 'M') {
        const std::uint32_t hs = le32(p + 14);
        if (hs == 12 || hs == 40 || hs == 52 || hs == 56 || hs == 64 || hs == 108 || hs == 124)
            return PictureFormat::Bmp;
    }
    if (left >= 3 && p[0] == 0xFF && p[1] == 0xD8 && p[2] == 0xFF) return PictureFormat::Jpeg;
    if (left >= 6 && std::memcmp(p, "GIF8", 4) == 0 && (p[4] == '7' || p[4] == '9') && p[5] == 'a')
        return PictureFormat::Gif;
    return PictureFormat::None;
}

// The first picture signature in the first MaxSignatureSearch bytes; empty when none.
Bytes searchPicture(Bytes b) {
    const std::size_t end = std::min(b.size(), MaxSignatureSearch);
    for (std::size_t i = 0; i < end; ++i)
        if (formatAt(b, i) != PictureFormat::None) return b.subspan(i);
    return {};
}

// A length-prefixed string of the OLE 1.0 stream; false when it does not fit.
bool skipString(Bytes b, std::size_t& at) {
    if (at + 4 > b.size()) return false;
    const std::uint32_t n = le32(b.data() + at);
    if (n > b.size() - at - 4) return false;
    at += 4 + n;
    return true;
}

bool skipCString(Bytes b, std::size_t& at) {
    while (at < b.size() && b[at] != 0) ++at;
    if (at >= b.size()) return false;
    ++at;
    return true;
}

// The file inside a package's native data; empty when it is not laid out as one.
Bytes packageContent(Bytes native) {
    std::size_t at = 2;
    if (native.size() < 2 || le16(native.data()) != 2) return {};
    if (!skipCString(native, at) || !skipCString(native, at)) return {};
    at += 4;
    if (!skipString(native, at) || at + 4 > native.size()) return {};
    const std::uint32_t n = le32(native.data() + at);
    at += 4;
    if (n > native.size() - at) return {};
    return native.subspan(at, n);
}

// The native data of the OLE 1.0 object at `at`; empty when it is not an embedded object.
Bytes nativeData(Bytes b, std::size_t at, bool& isPackage) {
    if (at + 8 > b.size() || le32(b.data() + at + 4) != 2) return {};
    std::size_t p = at + 8;
    const std::size_t classAt = p + 4;
    if (!skipString(b, p)) return {};
    isPackage = p - classAt >= 7 && std::memcmp(b.data() + classAt, "Package", 7) == 0;
    if (!skipString(b, p) || !skipString(b, p) || p + 4 > b.size()) return {};
    const std::uint32_t n = le32(b.data() + p);
    p += 4;
    return b.subspan(p, std::min<std::size_t>(n, b.size() - p));
}

} // namespace

std::span<const std::uint8_t> unwrapOlePicture(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 20 || le16(bytes.data()) != 0x1C15) return bytes;
    const std::size_t headerSize = le16(bytes.data() + 2);
    if (headerSize < 20 || headerSize > bytes.size()) return bytes;
    bool isPackage = false;
    const Bytes native = nativeData(bytes, headerSize, isPackage);
    if (!native.empty()) {
        if (formatAt(native, 0) != PictureFormat::None) return native;
        if (isPackage) {
            const Bytes file = packageContent(native);
            if (!file.empty() && formatAt(file, 0) != PictureFormat::None) return file;
        }
        return searchPicture(native);
    }
    return searchPicture(bytes.subspan(headerSize));
}

std::optional<DecodedPicture> decodePicture(std::span<const std::uint8_t> bytes, std::string* error,
                                            const DecodeOptions& options) {
    const Bytes inner = unwrapOlePicture(bytes);
    std::string bmp, jpeg, gif;
    if (auto p = decodeBmp(inner.data(), inner.size(), &bmp)) return p;
    if (auto p = decodeJpeg(inner.data(), inner.size(), &jpeg, options)) return p;
    if (auto p = decodeGif(inner.data(), inner.size(), &gif)) return p;
    if (error) *error = bmp + "; " + jpeg + "; " + gif;
    return std::nullopt;
}

std::optional<DecodedPicture> decodeBitmapOrJpeg(std::span<const std::uint8_t> bytes, const DecodeOptions& options) {
    const Bytes inner = unwrapOlePicture(bytes);
    if (auto bmp = decodeBmp(inner.data(), inner.size())) return bmp;
    return decodeJpeg(inner.data(), inner.size(), nullptr, options);
}

PictureInfo probePicture(std::span<const std::uint8_t> bytes) {
    const Bytes inner = unwrapOlePicture(bytes);
    PictureInfo info;
    if (inner.empty()) return info;
    int w = 0, h = 0;
    if (probeBmp(inner.data(), inner.size(), w, h)) info.format = PictureFormat::Bmp;
    else if (probeJpeg(inner.data(), inner.size(), w, h)) info.format = PictureFormat::Jpeg;
    else if (probeGif(inner.data(), inner.size(), w, h)) info.format = PictureFormat::Gif;
    if (info.format != PictureFormat::None) {
        info.width = w;
        info.height = h;
    }
    return info;
}

std::string describeBlob(std::span<const std::uint8_t> bytes, int languageIndex) {
    const bool english = languageIndex == 1;
    if (bytes.empty()) return english ? "(empty)" : "(leer)";
    const PictureInfo info = probePicture(bytes);
    if (info.format != PictureFormat::None) {
        const char* name = info.format == PictureFormat::Bmp    ? "BMP"
                           : info.format == PictureFormat::Jpeg ? "JPEG"
                                                                : "GIF";
        return "(" + std::string(name) + " " + std::to_string(info.width) + " \u00D7 " + std::to_string(info.height) +
               ")";
    }
    std::string size;
    const double n = static_cast<double>(bytes.size());
    if (bytes.size() < 1024) {
        size = std::to_string(bytes.size()) + (english ? " bytes" : " Bytes");
    } else if (bytes.size() < 1024 * 1024) {
        size = std::to_string(static_cast<long long>(n / 1024 + 0.5)) + " KB";
    } else {
        const long long tenths = static_cast<long long>(n / (1024 * 1024) * 10 + 0.5);
        size = std::to_string(tenths / 10) + (english ? "." : ",") + std::to_string(tenths % 10) + " MB";
    }
    return (english ? "(Binary data, " : "(Bin\u00E4rdaten, ") + size + ")";
}

} // namespace tablor
