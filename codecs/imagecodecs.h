// Picture decoders and encoders for the pictures kept in blob fields: Windows bitmaps (our own
// reader), JPEG (libjpeg-turbo), GIF (giflib), the OLE wrapper Access puts around pictures in
// OLE Object fields, and the short description a grid cell shows for a blob. Plain C++ with
// no Qt, so that the grid, the image viewer, the fuzz targets and tools share them.
//
// Every decoder refuses bytes that are not its format or are damaged: it returns nothing and,
// when asked, says why in `error`. It never reads outside the given bytes, never allocates a
// picture of more than MaxPicturePixels pixels (4 bytes each: 256 MiB), and keeps libjpeg's
// working memory under MaxCodecMemory, whatever sizes a header declares.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tablor {

// Decoded picture: width*height pixels, rows top to bottom, each 0xAARRGGBB.
struct DecodedPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
};

// Upper bound on the pixels of one decoded picture (guards against headers that claim huge
// sizes): 64 Mi pixels, 256 MiB.
inline constexpr std::int64_t MaxPicturePixels = 64LL * 1024 * 1024;
// Upper bound on libjpeg's own working memory for one picture (progressive coefficients).
inline constexpr long MaxCodecMemory = 512L * 1024 * 1024;
// Progressive JPEGs with more scans than this are refused (each scan is a pass over the
// whole picture: a small file with thousands of scans would take minutes).
inline constexpr int MaxJpegScans = 500;

// How to decode. A display box (fitWidth x fitHeight, 0 = no box) lets JPEG decode at the
// smallest of its scales 1/8 .. 8/8 whose result still covers the box, so a 40-megapixel
// photo shown in a 462 x 260 area decodes at an eighth of each side. Other formats ignore it.
struct DecodeOptions {
    int fitWidth = 0;
    int fitHeight = 0;
};

enum class PictureFormat { None, Bmp, Jpeg, Gif };

// What the headers say, without decoding the pixels.
struct PictureInfo {
    PictureFormat format = PictureFormat::None;
    int width = 0;
    int height = 0;
};

// A Windows bitmap: "BM" file header, an info header of 12 (core), 40 (info), 52, 56, 64,
// 108 (V4) or 124 (V5) bytes; 1/4/8/16/24/32 bits per pixel, uncompressed, bit fields, run-length
// coded 4/8-bit, or a JPEG inside; bottom-up or top-down.
std::optional<DecodedPicture> decodeBmp(const std::uint8_t* data, std::size_t size, std::string* error = nullptr);
// A JPEG (JFIF/EXIF, baseline or progressive, grey, colour, CMYK and YCCK).
std::optional<DecodedPicture> decodeJpeg(const std::uint8_t* data, std::size_t size, std::string* error = nullptr,
                                         const DecodeOptions& options = {});
// A GIF (87a/89a): the first frame on the logical screen; its transparent colour and the
// screen outside the frame have alpha 0.
std::optional<DecodedPicture> decodeGif(const std::uint8_t* data, std::size_t size, std::string* error = nullptr);

// The picture inside the OLE wrapper that Access writes around an embedded object (the
// 0x1C15 object header naming e.g. "Bitmap Image" / "Paint.Picture", then the OLE 1.0 stream
// with the object's native data, for a package with its own file header): the bytes of the
// BMP, JPEG or GIF found there. Bytes without the wrapper are returned unchanged; a wrapper
// with no picture inside gives an empty span.
std::span<const std::uint8_t> unwrapOlePicture(std::span<const std::uint8_t> bytes);

// The image viewer's order: the content (unwrapped first) as BMP, then JPEG, then GIF.
// `error` gets the three reasons when none accepts it.
std::optional<DecodedPicture> decodePicture(std::span<const std::uint8_t> bytes, std::string* error = nullptr,
                                            const DecodeOptions& options = {});
// What a picture cell of the grid shows: the content (unwrapped) as a bitmap or else a JPEG.
std::optional<DecodedPicture> decodeBitmapOrJpeg(std::span<const std::uint8_t> bytes,
                                                 const DecodeOptions& options = {});
inline std::optional<DecodedPicture> decodeBitmapOrJpeg(const std::uint8_t* data, std::size_t size) {
    return decodeBitmapOrJpeg(std::span<const std::uint8_t>(data, size));
}
inline std::optional<DecodedPicture> decodeBitmapOrJpeg(std::string_view bytes) {
    return decodeBitmapOrJpeg(
        std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

// Format and size from the headers of the (unwrapped) content; format None when it is none of
// the three or its header is damaged.
PictureInfo probePicture(std::span<const std::uint8_t> bytes);

// The text a blob cell shows instead of its bytes, in the language of `languageIndex` (0
// German, 1 English), UTF-8: "(JPEG 640 × 480)", "(Binärdaten, 12 KB)", "(leer)".
std::string describeBlob(std::span<const std::uint8_t> bytes, int languageIndex);

// Writes a 24-bit bottom-up bitmap file of `picture` (for test data and the demo tables).
std::vector<std::uint8_t> encodeBmp24(const DecodedPicture& picture);
// Writes a baseline JPEG of `picture` at `quality` (1..100); transparent pixels are laid on
// white first. Empty for an empty picture.
std::vector<std::uint8_t> encodeJpeg(const DecodedPicture& picture, int quality = 85);

} // namespace tablor
