// Picture decoders for the pictures kept in blob fields: Windows bitmaps (our own reader) and
// JPEG (through libjpeg). Plain C++ with no Qt, so that the grid, the image viewer and tools
// share them. A decoder returns nothing for bytes that are not its format or are damaged; it
// never reads outside the given bytes and refuses pictures larger than MaxPicturePixels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace tablor {

// Decoded picture: width*height pixels, rows top to bottom, each 0xAARRGGBB.
struct DecodedPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
};

// Upper bound on the pixels of one picture (guards against headers that claim huge sizes).
inline constexpr std::int64_t MaxPicturePixels = 64LL * 1024 * 1024;

// A Windows bitmap: "BM" file header, an info header of 12 (core), 40, 52, 56, 108 or 124
// bytes, 1/4/8/16/24/32 bits per pixel, uncompressed, bit fields, or run-length coded 4/8-bit.
std::optional<DecodedPicture> decodeBmp(const std::uint8_t* data, std::size_t size);
// A JPEG (JFIF/EXIF, baseline or progressive, grey or colour, CMYK).
std::optional<DecodedPicture> decodeJpeg(const std::uint8_t* data, std::size_t size);

// What a blob cell shows: read as a bitmap or, if that fails, as a JPEG.
std::optional<DecodedPicture> decodeBitmapOrJpeg(const std::uint8_t* data, std::size_t size);

inline std::optional<DecodedPicture> decodeBitmapOrJpeg(std::string_view bytes) {
    return decodeBitmapOrJpeg(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

// Writes a 24-bit bottom-up bitmap file of `picture` (for test data and the demo tables).
std::vector<std::uint8_t> encodeBmp24(const DecodedPicture& picture);
// Writes a baseline JPEG of `picture` at `quality` (1..100).
std::vector<std::uint8_t> encodeJpeg(const DecodedPicture& picture, int quality = 85);

} // namespace tablor
