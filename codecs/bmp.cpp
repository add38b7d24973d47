// The Windows bitmap reader and the 24-bit writer.
//
// File header (14 bytes):          Info header (40 bytes, the common form):
//   0  2  "BM"                        0  4  header size (12 core, 40, 52, 56, 108, 124)
//   2  4  file size (not trusted)     4  4  width  (core: 2 bytes)
//  10  4  offset of the pixel data    8  4  height (core: 2 bytes); negative = top-down
//                                    12  2  planes (1)
//                                    14  2  bits per pixel
//                                    16  4  compression: 0 none, 1 RLE8, 2 RLE4, 3 bit fields
//                                    32  4  colours used (0: 2^bits for <= 8 bits)
//                                    40 12  bit masks (bit fields; after a 40-byte header)
// Palette entries follow the info header: 4 bytes B,G,R,0 (core: 3 bytes B,G,R).
// Rows are padded to 4 bytes and stored bottom-up unless the height is negative.
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
    if (bits >= 8) return v >> (bits - 8);
    // Repeat the bits so that the largest value maps to 255.
    std::uint32_t out = 0;
    int filled = 0;
    while (filled < 8) {
        out = (out << bits) | v;
        filled += bits;
    }
    return out >> (filled - 8);
}

} // namespace

std::optional<DecodedPicture> decodeBmp(const std::uint8_t* data, std::size_t size) {
    if (!data || size < 26 || data[0] != 'B' || data[1] != 'M') return std::nullopt;
    const std::uint32_t pixelOffset = le32(data + 10);
    const std::uint32_t headerSize = le32(data + 14);
    const bool core = headerSize == 12;
    if (!core && headerSize < 40) return std::nullopt;
    if (14ull + headerSize > size) return std::nullopt;
    const std::uint8_t* h = data + 14;
    std::int64_t width, height;
    std::uint32_t bits, compression = 0, coloursUsed = 0;
    if (core) {
        width = le16(h + 4);
        height = static_cast<std::int16_t>(le16(h + 6));
        bits = le16(h + 10);
    } else {
        width = static_cast<std::int32_t>(le32(h + 4));
        height = static_cast<std::int32_t>(le32(h + 8));
        bits = le16(h + 14);
        compression = le32(h + 16);
        coloursUsed = le32(h + 32);
    }
    const bool topDown = height < 0;
    if (topDown) height = -height;
    if (width <= 0 || height <= 0 || width * height > MaxPicturePixels) return std::nullopt;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return std::nullopt;
    if (compression > 3 || (compression == 1 && bits != 8) || (compression == 2 && bits != 4) ||
        (compression == 3 && bits != 16 && bits != 32))
        return std::nullopt;

    // Colour masks for 16 and 32 bits.
    std::uint32_t rMask = 0, gMask = 0, bMask = 0, aMask = 0;
    if (bits == 16) {
        rMask = 0x7C00;
        gMask = 0x03E0;
        bMask = 0x001F;
    } else if (bits == 32) {
        rMask = 0x00FF0000;
        gMask = 0x0000FF00;
        bMask = 0x000000FF;
    }
    std::size_t paletteStart = 14 + headerSize;
    if (compression == 3) {
        if (headerSize == 40) {
            if (14 + 40 + 12 > size) return std::nullopt;
            rMask = le32(h + 40);
            gMask = le32(h + 44);
            bMask = le32(h + 48);
            paletteStart += 12;
        } else {
            rMask = le32(h + 40);
            gMask = le32(h + 44);
            bMask = le32(h + 48);
            if (headerSize >= 56) aMask = le32(h + 52);
        }
    } else if (bits == 32 && headerSize >= 56) {
        aMask = 0; // uncompressed 32-bit: the fourth byte is not alpha in the files we meet
    }

    // Palette.
    std::vector<std::uint32_t> palette;
    if (bits <= 8) {
        std::uint32_t entries = coloursUsed ? coloursUsed : (1u << bits);
        entries = std::min<std::uint32_t>(entries, 1u << bits);
        const std::size_t entrySize = core ? 3 : 4;
        if (paletteStart + entries * entrySize > size) return std::nullopt;
        palette.reserve(1u << bits);
        for (std::uint32_t i = 0; i < entries; ++i) {
            const std::uint8_t* e = data + paletteStart + i * entrySize;
            palette.push_back(argb(e[2], e[1], e[0]));
        }
        palette.resize(1u << bits, argb(0, 0, 0));
    }
    if (pixelOffset >= size) return std::nullopt;

    DecodedPicture out;
    out.width = static_cast<int>(width);
    out.height = static_cast<int>(height);
    out.pixels.assign(static_cast<std::size_t>(width * height), argb(0, 0, 0));
    auto rowIndex = [&](std::int64_t stored) { return topDown ? stored : height - 1 - stored; };
    const std::uint8_t* pix = data + pixelOffset;
    const std::size_t avail = size - pixelOffset;

    if (compression == 1 || compression == 2) {
        // Run-length coding: pairs (count, index) or escapes 0,0 end of line / 0,1 end /
        // 0,2 dx,dy delta / 0,n n literal indices padded to 2 bytes.
        std::int64_t x = 0, y = 0;
        std::size_t i = 0;
        auto put = [&](std::uint32_t index) {
            if (x < width && y < height)
                out.pixels[static_cast<std::size_t>(rowIndex(y) * width + x)] = palette[index & ((1u << bits) - 1)];
            ++x;
        };
        while (i + 1 < avail && y < height) {
            const std::uint8_t count = pix[i], value = pix[i + 1];
            i += 2;
            if (count) {
                for (int k = 0; k < count; ++k)
                    put(compression == 1 ? value : ((k & 1) ? (value & 0x0F) : (value >> 4)));
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
                const std::size_t bytes = compression == 1 ? value : (value + 1u) / 2;
                if (i + bytes > avail) return std::nullopt;
                for (int k = 0; k < value; ++k)
                    put(compression == 1 ? pix[i + k] : ((k & 1) ? (pix[i + k / 2] & 0x0F) : (pix[i + k / 2] >> 4)));
                i += (bytes + 1) & ~std::size_t(1);
            }
        }
        return out;
    }

    const std::size_t stride = ((static_cast<std::size_t>(width) * bits + 31) / 32) * 4;
    if (stride * static_cast<std::size_t>(height) > avail) return std::nullopt;
    for (std::int64_t y = 0; y < height; ++y) {
        const std::uint8_t* row = pix + static_cast<std::size_t>(y) * stride;
        std::uint32_t* dst = out.pixels.data() + rowIndex(y) * width;
        for (std::int64_t x = 0; x < width; ++x) {
            switch (bits) {
            case 1: dst[x] = palette[(row[x / 8] >> (7 - x % 8)) & 1]; break;
            case 4: dst[x] = palette[(row[x / 2] >> ((x & 1) ? 0 : 4)) & 0x0F]; break;
            case 8: dst[x] = palette[row[x]]; break;
            case 16: {
                const std::uint32_t v = le16(row + x * 2);
                dst[x] = argb(maskedChannel(v, rMask), maskedChannel(v, gMask), maskedChannel(v, bMask));
                break;
            }
            case 24: dst[x] = argb(row[x * 3 + 2], row[x * 3 + 1], row[x * 3]); break;
            case 32: {
                const std::uint32_t v = le32(row + x * 4);
                dst[x] = argb(maskedChannel(v, rMask), maskedChannel(v, gMask), maskedChannel(v, bMask),
                              aMask ? maskedChannel(v, aMask) : 255);
                break;
            }
            }
        }
    }
    return out;
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

std::optional<DecodedPicture> decodeBitmapOrJpeg(const std::uint8_t* data, std::size_t size) {
    if (auto bmp = decodeBmp(data, size)) return bmp;
    return decodeJpeg(data, size);
}

} // namespace tablor
