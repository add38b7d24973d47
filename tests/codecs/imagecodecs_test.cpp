// The picture decoders: bitmaps of every depth and layout we read, JPEG through libjpeg, and
// damaged or foreign bytes refused without reading past their end.
#include "codecs/imagecodecs.h"

#include <gtest/gtest.h>

#include <cstring>

namespace tablor {
namespace {

DecodedPicture gradient(int w, int h) {
    DecodedPicture p;
    p.width = w;
    p.height = h;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            p.pixels.push_back(0xFF000000u | (static_cast<std::uint32_t>(x * 255 / std::max(1, w - 1)) << 16) |
                               (static_cast<std::uint32_t>(y * 255 / std::max(1, h - 1)) << 8) | 0x40);
    return p;
}

std::optional<DecodedPicture> decode(const std::vector<std::uint8_t>& bytes) {
    return decodeBitmapOrJpeg(bytes.data(), bytes.size());
}

void put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// A 3x2 8-bit palette bitmap (rows padded to 4 bytes), optionally top-down.
std::vector<std::uint8_t> paletteBmp(bool topDown) {
    std::vector<std::uint8_t> b(14 + 40 + 2 * 4 + 2 * 4, 0);
    b[0] = 'B';
    b[1] = 'M';
    put32(b, 10, 14 + 40 + 8);
    put32(b, 14, 40);
    put32(b, 18, 3);
    put32(b, 22, topDown ? static_cast<std::uint32_t>(-2) : 2u);
    b[26] = 1;
    b[28] = 8;
    put32(b, 46, 2); // two palette entries
    // palette: 0 = red, 1 = blue (B,G,R,0)
    b[54] = 0;
    b[55] = 0;
    b[56] = 255;
    b[58] = 255;
    b[59] = 0;
    b[60] = 0;
    // stored row 0: 0,1,0 ; stored row 1: 1,1,1
    b[62] = 0;
    b[63] = 1;
    b[64] = 0;
    b[66] = 1;
    b[67] = 1;
    b[68] = 1;
    return b;
}

TEST(Bmp, TwentyFourBitRoundTrip) {
    const DecodedPicture original = gradient(5, 3); // odd width: row padding
    const auto bytes = encodeBmp24(original);
    const auto back = decodeBmp(bytes.data(), bytes.size());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->width, 5);
    EXPECT_EQ(back->height, 3);
    EXPECT_EQ(back->pixels, original.pixels);
}

TEST(Bmp, PaletteRowsBottomUpAndTopDown) {
    const std::uint32_t red = 0xFFFF0000u, blue = 0xFF0000FFu;
    auto bottomUp = paletteBmp(false);
    auto p = decodeBmp(bottomUp.data(), bottomUp.size());
    ASSERT_TRUE(p);
    // The first stored row is the bottom row.
    EXPECT_EQ(p->pixels, (std::vector<std::uint32_t>{blue, blue, blue, red, blue, red}));
    auto topDown = paletteBmp(true);
    p = decodeBmp(topDown.data(), topDown.size());
    ASSERT_TRUE(p);
    EXPECT_EQ(p->pixels, (std::vector<std::uint32_t>{red, blue, red, blue, blue, blue}));
}

TEST(Bmp, Rle8Runs) {
    auto b = paletteBmp(false);
    put32(b, 30, 1); // RLE8
    b.resize(62);
    // bottom row: run of 3 x index 1; end of line; top row: literal 0,1,0 (padded); end.
    const std::uint8_t rle[] = {3, 1, 0, 0, 0, 3, 0, 1, 0, 0, 0, 1};
    b.insert(b.end(), std::begin(rle), std::end(rle));
    const auto p = decodeBmp(b.data(), b.size());
    ASSERT_TRUE(p);
    const std::uint32_t red = 0xFFFF0000u, blue = 0xFF0000FFu;
    EXPECT_EQ(p->pixels, (std::vector<std::uint32_t>{red, blue, red, blue, blue, blue}));
}

TEST(Bmp, DamagedHeadersAreRefused) {
    auto good = encodeBmp24(gradient(4, 4));
    // Pixel data cut short.
    EXPECT_FALSE(decodeBmp(good.data(), good.size() - 5));
    // A header that claims a gigantic picture.
    auto huge = good;
    put32(huge, 18, 100000);
    put32(huge, 22, 100000);
    EXPECT_FALSE(decodeBmp(huge.data(), huge.size()));
    // Unsupported depth and no signature.
    auto depth = good;
    depth[28] = 7;
    EXPECT_FALSE(decodeBmp(depth.data(), depth.size()));
    auto sig = good;
    sig[0] = 'X';
    EXPECT_FALSE(decodeBmp(sig.data(), sig.size()));
    EXPECT_FALSE(decodeBmp(nullptr, 0));
}

TEST(Jpeg, RoundTripKeepsSizeAndColoursRoughly) {
    const DecodedPicture original = gradient(32, 16);
    const auto bytes = encodeJpeg(original, 95);
    ASSERT_GT(bytes.size(), 100u);
    const auto back = decodeJpeg(bytes.data(), bytes.size());
    ASSERT_TRUE(back);
    ASSERT_EQ(back->width, 32);
    ASSERT_EQ(back->height, 16);
    for (std::size_t i = 0; i < original.pixels.size(); i += 37) {
        const int r0 = (original.pixels[i] >> 16) & 0xFF, r1 = (back->pixels[i] >> 16) & 0xFF;
        EXPECT_NEAR(r0, r1, 16) << "pixel " << i;
    }
}

TEST(Jpeg, GarbageAndTruncationDoNotCrash) {
    const std::vector<std::uint8_t> garbage = {0xFF, 0xD8, 0x00, 0x01, 0x02, 0x03};
    EXPECT_FALSE(decodeJpeg(garbage.data(), garbage.size()));
    auto bytes = encodeJpeg(gradient(64, 64));
    for (std::size_t cut : {std::size_t(10), bytes.size() / 3, bytes.size() - 2}) {
        // A cut-off picture is refused or decoded with its missing part filled; never a crash.
        auto p = decodeJpeg(bytes.data(), cut);
        if (p) {
            EXPECT_EQ(p->width, 64);
        }
    }
}

TEST(BitmapOrJpeg, TriesBitmapFirstThenJpegAndRefusesOthers) {
    EXPECT_TRUE(decode(encodeBmp24(gradient(2, 2))));
    EXPECT_TRUE(decode(encodeJpeg(gradient(8, 8))));
    const std::vector<std::uint8_t> gif = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0};
    EXPECT_FALSE(decode(gif));
    const std::string text = "Ein Text in einem Blob";
    EXPECT_FALSE(decodeBitmapOrJpeg(text));
}

} // namespace
} // namespace tablor
