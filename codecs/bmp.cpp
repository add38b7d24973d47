// The Windows bitmap reader and the 24-bit writer.
//
// File header (14 bytes):
//   0  2  "BM"
//   2  4  file size (not trusted)
//  10  4  offset of the pixel data (0 or a wrong value: taken to follow the palette)
// Info header, at 14 (its first field is its size):
//   size 12 (core, OS/2 1.x): 4 2 width, 6 2 height (unsigned, bottom-up), 8 2 planes, 10 2 bits
//   size 16..64 (info 40, Adobe 52/56, OS/2 2.x 64), 108 (V4), 124 (V5):
//      4  4  width             16  4  compression: 0 none, 1 RLE8, 2 RLE4, 3 bit fields,
//      8  4  height; negative          4 JPEG inside, 5 PNG inside (refused), 6 bit fields
//            = top-down                with alpha (Windows CE)
//     12  2  planes (1)        20  4  size of the pixel data (0 allowed when uncompressed)
//     14  2  bits per pixel    32  4  colours used (0: 2^bits for <= 8 bits)
//     40 16  red, green, blue, alpha masks (52 and up; after a 40-byte header for
//            compression 3 (12 bytes) and 6 (16 bytes))
// Palette entries follow the header and its masks: 4 bytes B,G,R,0 (core: 3 bytes B,G,R).
// Rows are padded to 4 bytes and stored bottom-up unless the height is negative.
// Run-length data: pairs (count, index), or escapes 0,0 end of line / 0,1 end of bitmap /
// 0,2,dx,dy move / 0,n followed by n literal indices padded to 2 bytes.
#include "codecs/imagecodecs.h"

#include <algorithm>
#include <bit>

namespace tablor {
namespace {

std::uint32_t le16(const std::uint8_t* p) { return p[0] | (p[1] << 8); }
std::uint32_t le32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::uint32_t argb(std::uint32_t r, std::uint32_t g, std::uint32_t b, std::uint32_t a = 255) {
    return (a << 24) | (r << 16) | (g << 8) | b;
}

// Scales the bits of `value` selected by `mask` to 0..255.
std::uint32_t maskedChannel(std::uint32_t value, std::uint32_t mask) {
    if (mask == 0) return 0;
    const int shift = std::countr_zero(mask);
    const int bits = std::popcount(mask);
    std::uint32_t v = (value & mask) >> shift;
    if (bits >= 8) return (v >> (bits - 8)) & 0xFF;
    // Repeat the bits so that the largest value maps to 255.
    std::uint32_t out = 0;
    int filled = 0;
    while (filled < 8) {
        out = (out << bits) | v;
        filled += bits;
    }
    return (out >> (filled - 8)) & 0xFF;
}

bool fail(std::string* error, const char* message) {
    if (error) *error = message;
    return false;
}

// The header fields the decoder needs.
struct BmpHeader {
    std::uint32_t headerSize = 0;
    std::int64_t width = 0;
    std::int64_t height = 0; // positive
    bool topDown = false;
    std::uint32_t bits = 0;
    std::uint32_t compression = 0;
    std::uint32_t imageSize = 0;
    std::uint32_t coloursUsed = 0;
    std::uint32_t masks[4] = {0, 0, 0, 0}; // red, green, blue, alpha
    std::size_t paletteStart = 0;
    std::size_t paletteEntrySize = 4;
    std::size_t pixelOffset = 0;
};

bool parseHeader(const std::uint8_t* data, std::size_t size, BmpHeader& h, std::string* error) {
    if (!data || size < 18 || data[0] != 'B' || data[1] != 'M')
        return fail(error, "not a Windows bitmap (no \"BM\" signature)");
    h.headerSize = le32(data + 14);
    const std::uint32_t hs = h.headerSize;
    if (hs != 12 && hs != 108 && hs != 124 && (hs < 16 || hs > 64))
        return fail(error, "the bitmap's info header has a size Windows does not write");
    if (14ull + hs > size) return fail(error, "the bitmap's info header is cut off");
    const std::uint8_t* p = data + 14;
    if (hs == 12) {
        h.width = le16(p + 4);
        h.height = le16(p + 6);
        h.bits = le16(p + 10);
        h.paletteEntrySize = 3;
    } else {
        h.width = static_cast<std::int32_t>(le32(p + 4));
        h.height = static_cast<std::int32_t>(le32(p + 8));
        h.bits = le16(p + 14);
        if (hs >= 20) h.compression = le32(p + 16);
        if (hs >= 24) h.imageSize = le32(p + 20);
        if (hs >= 36) h.coloursUsed = le32(p + 32);
        if (hs == 64 && (h.compression == 3 || h.compression == 4))
            return fail(error, "OS/2 Huffman or RLE24 bitmaps are not supported");
    }
    if (h.height < 0) {
        h.topDown = true;
        h.height = -h.height;
    }
    if (h.width <= 0 || h.height <= 0) return fail(error, "the bitmap declares no pixels");
    if (h.width * h.height > MaxPicturePixels) return fail(error, "the bitmap declares more than 64 Mi pixels");
    const std::uint32_t c = h.compression;
    if (c > 6) return fail(error, "the bitmap's compression is unknown");
    if (c == 5) return fail(error, "PNG inside a bitmap is not supported");
    if (c != 4 && h.bits != 1 && h.bits != 4 && h.bits != 8 && h.bits != 16 && h.bits != 24 && h.bits != 32)
        return fail(error, "the bitmap's bits per pixel are not 1, 4, 8, 16, 24 or 32");
    if ((c == 1 && h.bits != 8) || (c == 2 && h.bits != 4) || ((c == 3 || c == 6) && h.bits != 16 && h.bits != 32))
        return fail(error, "the bitmap's compression does not fit its bits per pixel");
    if ((c == 1 || c == 2) && h.topDown) return fail(error, "a run-length coded bitmap cannot be top-down");

    // Colour masks: defaults, then those of the header or after a 40-byte header.
    if (h.bits == 16) {
        h.masks[0] = 0x7C00;
        h.masks[1] = 0x03E0;
        h.masks[2] = 0x001F;
    } else if (h.bits == 32) {
        h.masks[0] = 0x00FF0000;
        h.masks[1] = 0x0000FF00;
        h.masks[2] = 0x000000FF;
    }
    h.paletteStart = 14 + hs;
    if (c == 3 || c == 6) {
        const std::size_t count = c == 6 ? 4 : 3;
        const std::uint8_t* m = p + 40;
        if (hs < 40 + count * 4) {
            // The masks follow the header.
            if (14 + hs + count * 4 > size) return fail(error, "the bitmap's colour masks are cut off");
            m = p + hs;
            h.paletteStart += count * 4;
        }
        for (std::size_t i = 0; i < count; ++i) h.masks[i] = le32(m + 4 * i);
        if (c == 3 && hs >= 56) h.masks[3] = le32(p + 52);
    }
    std::size_t paletteEnd = h.paletteStart;
    if (h.bits <= 8 && c != 4) {
        std::uint32_t entries = h.coloursUsed ? h.coloursUsed : (1u << h.bits);
        entries = std::min<std::uint32_t>(entries, 1u << h.bits);
        paletteEnd += entries * h.paletteEntrySize;
        if (paletteEnd > size) return fail(error, "the bitmap's palette is cut off");
    }
    const std::uint32_t declared = le32(data + 10);
    h.pixelOffset = (declared >= paletteEnd && declared < size) ? declared : paletteEnd;
    if (h.pixelOffset >= size) return fail(error, "the bitmap has no pixel data");
    return true;
}

std::vector<std::uint32_t> readPalette(const std::uint8_t* data, const BmpHeader& h) {
    std::vector<std::uint32_t> palette(std::size_t(1) << h.bits, argb(0, 0, 0));
    std::uint32_t entries = h.coloursUsed ? h.coloursUsed : (1u << h.bits);
    entries = std::min<std::uint32_t>(entries, 1u << h.bits);
    for (std::uint32_t i = 0; i < entries; ++i) {
        const std::uint8_t* e = data + h.paletteStart + i * h.paletteEntrySize;
        palette[i] = argb(e[2], e[1], e[0]);
    }
    return palette;
}

void decodeRle(const std::uint8_t* pix, std::size_t avail, const BmpHeader& h,
               const std::vector<std::uint32_t>& palette, DecodedPicture& out) {
    const bool rle8 = h.compression == 1;
    std::int64_t x = 0, y = 0; // y counts stored rows, bottom row first
    std::size_t i = 0;
    auto put = [&](std::uint32_t index) {
        if (x < h.width && y < h.height)
            out.pixels[static_cast<std::size_t>((h.height - 1 - y) * h.width + x)] = palette[index];
        ++x;
    };
    while (i + 1 < avail && y < h.height) {
        const std::uint8_t count = pix[i], value = pix[i + 1];
        i += 2;
        if (count) {
            for (int k = 0; k < count && x < h.width; ++k)
                put(rle8 ? value : ((k & 1) ? (value & 0x0F) : (value >> 4)));
        } else if (value == 0) {
            x = 0;
            ++y;
        } else if (value == 1) {
            break;
        } else if (value == 2) {
            if (i + 1 >= avail) break;
            x += pix[i];
            y += pix[i + 1];
            i += 2;
        } else {
            const std::size_t bytes = rle8 ? value : (value + 1u) / 2;
            if (i + bytes > avail) break; // cut off: keep what was decoded
            for (int k = 0; k < value; ++k)
                put(rle8 ? pix[i + k] : ((k & 1) ? (pix[i + k / 2] & 0x0F) : (pix[i + k / 2] >> 4)));
            i += (bytes + 1) & ~std::size_t(1);
        }
    }
}

bool decodeRows(const std::uint8_t* pix, std::size_t avail, const BmpHeader& h,
                const std::vector<std::uint32_t>& palette, DecodedPicture& out, std::string* error) {
    const std::size_t stride = ((static_cast<std::size_t>(h.width) * h.bits + 31) / 32) * 4;
    const auto rows = static_cast<std::size_t>(h.height);
    // The last row need not carry its padding.
    const std::size_t lastRow = (static_cast<std::size_t>(h.width) * h.bits + 7) / 8;
    if (stride * (rows - 1) + lastRow > avail) return fail(error, "the bitmap's pixel data is cut off");
    const bool alpha = h.masks[3] != 0;
    bool anyAlpha = false;
    for (std::size_t y = 0; y < rows; ++y) {
        const std::uint8_t* row = pix + y * stride;
        std::uint32_t* dst = out.pixels.data() + (h.topDown ? y : rows - 1 - y) * h.width;
        for (std::int64_t x = 0; x < h.width; ++x) {
            switch (h.bits) {
            case 1: dst[x] = palette[(row[x / 8] >> (7 - x % 8)) & 1]; break;
            case 4: dst[x] = palette[(row[x / 2] >> ((x & 1) ? 0 : 4)) & 0x0F]; break;
            case 8: dst[x] = palette[row[x]]; break;
            case 16: {
                const std::uint32_t v = le16(row + x * 2);
                dst[x] = argb(maskedChannel(v, h.masks[0]), maskedChannel(v, h.masks[1]), maskedChannel(v, h.masks[2]));
                break;
            }
            case 24: dst[x] = argb(row[x * 3 + 2], row[x * 3 + 1], row[x * 3]); break;
            case 32: {
                const std::uint32_t v = le32(row + x * 4);
                const std::uint32_t a = alpha ? maskedChannel(v, h.masks[3]) : 255;
                anyAlpha = anyAlpha || (alpha && a != 0);
                dst[x] =
                    argb(maskedChannel(v, h.masks[0]), maskedChannel(v, h.masks[1]), maskedChannel(v, h.masks[2]), a);
                break;
            }
            }
        }
    }
    // An alpha channel that is 0 everywhere was never filled in: the picture is opaque.
    if (alpha && !anyAlpha)
        for (std::uint32_t& px : out.pixels) px |= 0xFF000000u;
    return true;
}

} // namespace

std::optional<DecodedPicture> decodeBmp(const std::uint8_t* data, std::size_t size, std::string* error) {
    BmpHeader h;
    if (!parseHeader(data, size, h, error)) return std::nullopt;
    const std::uint8_t* pix = data + h.pixelOffset;
    const std::size_t avail = size - h.pixelOffset;
    if (h.compression == 4) {
        std::string inner;
        auto jpeg = decodeJpeg(pix, h.imageSize && h.imageSize < avail ? h.imageSize : avail, &inner);
        if (!jpeg && error) *error = "the JPEG inside the bitmap: " + inner;
        return jpeg;
    }
    const std::vector<std::uint32_t> palette = h.bits <= 8 ? readPalette(data, h) : std::vector<std::uint32_t>();
    DecodedPicture out;
    out.width = static_cast<int>(h.width);
    out.height = static_cast<int>(h.height);
    out.pixels.assign(static_cast<std::size_t>(h.width * h.height), argb(0, 0, 0));
    if (h.compression == 1 || h.compression == 2) decodeRle(pix, avail, h, palette, out);
    else if (!decodeRows(pix, avail, h, palette, out, error)) return std::nullopt;
    return out;
}

// The size from the headers alone (for the grid's description of a blob).
bool probeBmp(const std::uint8_t* data, std::size_t size, int& width, int& height) {
    BmpHeader h;
    if (!parseHeader(data, size, h, nullptr)) return false;
    width = static_cast<int>(h.width);
    height = static_cast<int>(h.height);
    return true;
}

std::vector<std::uint8_t> encodeBmp24(const DecodedPicture& picture) {
    const std::size_t stride = ((static_cast<std::size_t>(picture.width) * 24 + 31) / 32) * 4;
    const std::size_t dataSize = stride * static_cast<std::size_t>(picture.height);
    std::vector<std::uint8_t> out(54 + dataSize, 0);
    auto put16 = [&](std::size_t at, std::uint32_t v) {
        out[at] = v & 0xFF;
        out[at + 1] = (v >> 8) & 0xFF;
    };
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        put16(at, v & 0xFFFF);
        put16(at + 2, v >> 16);
    };
    out[0] = 'B';
    out[1] = 'M';
    put32(2, static_cast<std::uint32_t>(out.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<std::uint32_t>(picture.width));
    put32(22, static_cast<std::uint32_t>(picture.height));
    put16(26, 1);
    put16(28, 24);
    put32(34, static_cast<std::uint32_t>(dataSize));
    put32(38, 2835);
    put32(42, 2835);
    for (int y = 0; y < picture.height; ++y) {
        std::uint8_t* row = out.data() + 54 + static_cast<std::size_t>(picture.height - 1 - y) * stride;
        for (int x = 0; x < picture.width; ++x) {
            const std::uint32_t p = picture.pixels[static_cast<std::size_t>(y) * picture.width + x];
            row[x * 3] = p & 0xFF;
            row[x * 3 + 1] = (p >> 8) & 0xFF;
            row[x * 3 + 2] = (p >> 16) & 0xFF;
        }
    }
    return out;
}

} // namespace tablor
