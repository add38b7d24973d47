// The decoders held to ImageMagick: every variant that `convert` writes (and the two it does
// not: top-down and RLE4 bitmaps, made here from its files) decodes to the pixels that
// `convert ... rgba:-` reads, and every picture blob of the real Access files, the OLE-wrapped
// Northwind photos included, decodes to the size that `identify` reports. Then damaged files
// and declared sizes beyond the limit, the OLE package wrapper, scaled JPEG decoding, the
// blob descriptions and the JPEG writer.
#include "codecs/imagecodecs.h"
#include "jet/jet.h"
#include "jet/availability.h"
#include "support/files.h"
#include "support/shell.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace tablor {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

using jet::test::runningInCi;

bool haveImageMagick() {
    static const bool have = std::system("command -v convert >/dev/null 2>&1 && convert -version 2>/dev/null | "
                                         "grep -q ImageMagick") == 0;
    return have;
}

#define REQUIRE_IMAGEMAGICK()                                                                                          \
    if (!haveImageMagick()) {                                                                                          \
        if (runningInCi()) FAIL() << "ImageMagick is missing in CI (scripts/setup installs it)";                       \
        GTEST_SKIP() << "ImageMagick (convert, identify) is not installed";                                            \
    }                                                                                                                  \
    static_assert(true)

using tablor::test::runCommand;

using tablor::test::readFile;

void writeFile(const fs::path& p, std::span<const std::uint8_t> b) {
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

std::uint32_t le32(const Bytes& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t(b[at + 3]) << 24);
}
void put32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = std::uint8_t(v >> (8 * i));
}

class PictureFiles : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = fs::temp_directory_path() / ("tablor-pictures-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        if (haveImageMagick())
            runCommand(
                "convert -size 37x23 gradient:red-blue \\( -size 37x23 gradient:yellow-black -rotate 90 -resize 37x23! "
                "\\) -compose Multiply -composite -fill lime -draw 'circle 18,11 18,4' " +
                (dir_ / "source.png").string());
    }
    static void TearDownTestSuite() { fs::remove_all(dir_); }

    // `convert source.png OPTIONS FORMAT:NAME` (the format from the name when empty).
    static fs::path make(const std::string& options, const std::string& format, const std::string& name) {
        const fs::path out = dir_ / name;
        runCommand("convert " + (dir_ / "source.png").string() + " " + options + " " +
                   (format.empty() ? "" : format + ":") + out.string());
        return out;
    }
    // What ImageMagick reads from `file`: width, height and RGBA bytes.
    static DecodedPicture magickPixels(const fs::path& file) {
        DecodedPicture p;
        const std::string size = runCommand("identify -format '%w %h' '" + file.string() + "[0]'");
        std::sscanf(size.c_str(), "%d %d", &p.width, &p.height);
        const std::string rgba = runCommand("convert '" + file.string() + "[0]' -depth 8 rgba:-");
        for (std::size_t i = 0; i + 3 < rgba.size(); i += 4) {
            auto c = [&](std::size_t k) { return std::uint32_t(static_cast<unsigned char>(rgba[i + k])); };
            p.pixels.push_back((c(3) << 24) | (c(0) << 16) | (c(1) << 8) | c(2));
        }
        return p;
    }

    static inline fs::path dir_;
};

// Largest difference of one channel between two pictures (alpha included; colour only where
// both are opaque, as a transparent pixel's colour means nothing).
int largestDifference(const DecodedPicture& a, const DecodedPicture& b) {
    int worst = 0;
    for (std::size_t i = 0; i < a.pixels.size() && i < b.pixels.size(); ++i) {
        const std::uint32_t x = a.pixels[i], y = b.pixels[i];
        worst = std::max(worst, std::abs(int(x >> 24) - int(y >> 24)));
        if ((x >> 24) != 255 || (y >> 24) != 255) continue;
        for (int s = 0; s < 24; s += 8) worst = std::max(worst, std::abs(int((x >> s) & 0xFF) - int((y >> s) & 0xFF)));
    }
    return worst;
}

// A top-down copy of an uncompressed bottom-up bitmap: negative height, rows reversed.
Bytes topDown(const Bytes& bmp) {
    Bytes out = bmp;
    const std::size_t offset = le32(bmp, 10);
    const int width = int(le32(bmp, 18)), height = int(le32(bmp, 22));
    const int bits = bmp[28];
    const std::size_t stride = ((std::size_t(width) * bits + 31) / 32) * 4;
    put32(out, 22, std::uint32_t(-height));
    for (int y = 0; y < height; ++y)
        std::copy_n(bmp.begin() + std::ptrdiff_t(offset + y * stride), stride,
                    out.begin() + std::ptrdiff_t(offset + (height - 1 - y) * stride));
    return out;
}

// An RLE4 copy of an uncompressed 4-bit bitmap: each pair of pixels as a run of two
// alternating colours, an odd last pixel as a run of one, end of line after each row.
Bytes rle4(const Bytes& bmp) {
    const std::size_t offset = le32(bmp, 10);
    const int width = int(le32(bmp, 18)), height = int(le32(bmp, 22));
    const std::size_t stride = ((std::size_t(width) * 4 + 31) / 32) * 4;
    Bytes out(bmp.begin(), bmp.begin() + std::ptrdiff_t(offset));
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = bmp.data() + offset + y * stride;
        for (int x = 0; x < width; x += 2) {
            out.push_back(x + 1 < width ? 2 : 1);
            out.push_back(row[x / 2]);
        }
        out.insert(out.end(), {0, 0});
    }
    out.insert(out.end(), {0, 1});
    put32(out, 30, 2);
    put32(out, 34, std::uint32_t(out.size() - offset));
    return out;
}

// A V4 copy of a V5 bitmap: the header without its last 16 bytes (intent and colour profile).
Bytes v4(const Bytes& bmp) {
    Bytes out = bmp;
    out.erase(out.begin() + 14 + 108, out.begin() + 14 + 124);
    put32(out, 14, 108);
    put32(out, 10, le32(bmp, 10) - 16);
    return out;
}

struct Variant {
    const char* name;
    const char* options; // convert's options
    const char* format;  // its output format ("" from the name)
    int tolerance;       // largest channel difference allowed (lossy formats)
};

TEST_F(PictureFiles, EveryVariantDecodesToTheSamePixelsAsImageMagick) {
    REQUIRE_IMAGEMAGICK();
    const std::array<Variant, 16> variants = {{
        {"core.bmp", "", "BMP2", 0},
        {"info24.bmp", "", "BMP3", 0},
        {"pal8.bmp", "-colors 200 -type palette", "BMP3", 0},
        {"pal4.bmp", "-colors 16 -type palette", "BMP3", 0},
        {"mono.bmp", "-monochrome", "BMP3", 0},
        {"rle8.bmp", "-colors 100 -type palette -compress RLE", "BMP3", 0},
        {"v5-24.bmp", "", "BMP", 0},
        {"v5-565.bmp", "-define bmp:subtype=RGB565", "BMP", 0},
        {"v5-555.bmp", "-define bmp:subtype=RGB555", "BMP", 0},
        {"v5-argb.bmp", "-alpha set -channel A -fx 'i/w' +channel -define bmp:subtype=ARGB8888", "BMP", 0},
        {"base.jpg", "-quality 85 -sampling-factor 2x2", "", 8},
        {"444.jpg", "-quality 95 -sampling-factor 1x1", "", 8},
        {"progressive.jpg", "-interlace JPEG", "", 8},
        {"grey.jpg", "-colorspace Gray", "", 8},
        {"cmyk.jpg", "-colorspace CMYK", "", 12},
        {"interlaced.gif", "-interlace GIF", "", 0},
    }};
    for (const Variant& v : variants) {
        SCOPED_TRACE(v.name);
        const fs::path file = make(v.options, v.format, v.name);
        const Bytes bytes = readFile(file);
        std::string error;
        const auto ours = decodePicture(bytes, &error);
        ASSERT_TRUE(ours) << error;
        const DecodedPicture theirs = magickPixels(file);
        ASSERT_EQ(ours->width, theirs.width);
        ASSERT_EQ(ours->height, theirs.height);
        ASSERT_EQ(ours->pixels.size(), theirs.pixels.size());
        EXPECT_LE(largestDifference(*ours, theirs), v.tolerance);
    }
    // The layouts ImageMagick does not write, held to the decoding of the file they came from.
    const Bytes info24 = readFile(make("", "BMP3", "td24.bmp"));
    const Bytes pal4 = readFile(make("-colors 16 -type palette", "BMP3", "td4.bmp"));
    const Bytes v5 = readFile(make("-define bmp:subtype=RGB565", "BMP", "v5.bmp"));
    ASSERT_EQ(pal4[28], 4);
    ASSERT_EQ(le32(v5, 14), 124u);
    for (const auto& [original, variant] :
         {std::pair{info24, topDown(info24)}, std::pair{pal4, rle4(pal4)}, std::pair{v5, v4(v5)}}) {
        const auto a = decodeBmp(original.data(), original.size());
        const auto b = decodeBmp(variant.data(), variant.size());
        ASSERT_TRUE(a && b);
        EXPECT_EQ(a->pixels, b->pixels);
    }
}

TEST_F(PictureFiles, GifFirstFrameAndTransparency) {
    REQUIRE_IMAGEMAGICK();
    const fs::path anim = dir_ / "anim.gif";
    runCommand("convert -delay 10 -size 9x7 xc:red xc:blue xc:lime " + anim.string());
    const fs::path holes = dir_ / "holes.gif";
    runCommand("convert -size 12x10 xc:none -fill red -draw 'rectangle 3,2 8,6' " + holes.string());
    for (const fs::path& file : {anim, holes}) {
        const Bytes bytes = readFile(file);
        const auto ours = decodeGif(bytes.data(), bytes.size());
        ASSERT_TRUE(ours) << file;
        const DecodedPicture theirs = magickPixels(file);
        ASSERT_EQ(ours->width, theirs.width);
        ASSERT_EQ(ours->height, theirs.height);
        EXPECT_EQ(largestDifference(*ours, theirs), 0) << file;
    }
    EXPECT_EQ(decodeGif(readFile(anim).data(), readFile(anim).size())->pixels[0], 0xFFFF0000u);
}

// Picture blobs of the real Access files: (file, table, column, how many pictures at least).
struct BlobColumn {
    const char* file;
    const char* table;
    const char* column;
    int pictures;
};

TEST_F(PictureFiles, FixtureBlobsDecodeToTheSizesIdentifyReports) {
    REQUIRE_IMAGEMAGICK();
    const std::array<BlobColumn, 8> columns = {{
        {"mdb/mdbtestdata_nwind_jet3.mdb", "Employees", "Photo", 9},
        {"mdb/mdbtestdata_nwind_jet3.mdb", "Categories", "Picture", 8},
        {"mdb/northwind_jet4_statdata.mdb", "Employees", "Photo", 9},
        {"mdb/northwind_jet4_statdata.mdb", "Categories", "Picture", 8},
        {"mdb-real/Northwind_forms.mdb", "Employees", "Photo", 9},
        {"mdb/psc_asas_jpeg_blobs_jet3.mdb", "", "", 2},
        {"mdb/psc_brennfleck_bmp_blob_jet3.mdb", "", "", 1},
        {"mdb/psc_mohandas_jpeg_blobs_jet4.mdb", "", "", 3},
    }};
    for (const BlobColumn& c : columns) {
        SCOPED_TRACE(c.file);
        const fs::path path = tablor::test::sharedTestData(c.file);
        if (!fs::exists(path)) {
            if (runningInCi()) ADD_FAILURE() << "fixture missing in CI: " << path;
            continue;
        }
        const jet::Database db = jet::Database::open(path);
        int pictures = 0;
        for (const std::string& table : c.table[0] ? std::vector<std::string>{c.table} : db.tableNames()) {
            auto cursor = db.scan(table);
            const auto& cols = cursor.table().columns;
            while (cursor.next()) {
                for (std::size_t i = 0; i < cols.size(); ++i) {
                    const jet::Value& v = cursor.values()[i];
                    if (cols[i].type != jet::ColumnType::Ole || v.isNull() || (c.column[0] && cols[i].name != c.column))
                        continue;
                    const Bytes& blob = v.asBinary();
                    const auto inner = unwrapOlePicture(blob);
                    const fs::path file = dir_ / "blob";
                    writeFile(file, inner);
                    int w = 0, h = 0;
                    ASSERT_EQ(
                        std::sscanf(runCommand("identify -format '%w %h' " + file.string() + "[0] 2>/dev/null").c_str(),
                                    "%d %d", &w, &h),
                        2)
                        << table << "." << cols[i].name << ": identify does not take what we unwrapped";
                    std::string error;
                    const auto ours = decodePicture(blob, &error);
                    ASSERT_TRUE(ours) << error;
                    EXPECT_EQ(ours->width, w);
                    EXPECT_EQ(ours->height, h);
                    const PictureInfo probed = probePicture(blob);
                    EXPECT_EQ(probed.width, w);
                    EXPECT_EQ(probed.height, h);
                    ++pictures;
                }
            }
        }
        EXPECT_GE(pictures, c.pictures);
    }
}

TEST(PictureLimits, DamagedAndOversizedFilesAreRefusedWithAReason) {
    DecodedPicture small{16, 8, std::vector<std::uint32_t>(128, 0xFF336699u)};
    const Bytes bmp = encodeBmp24(small), jpeg = encodeJpeg(small, 90);
    // Cut at every length: refused with a reason, or (JPEG, whose missing rest libjpeg fills)
    // decoded at the declared size. Never read past the end (the sanitizer build checks).
    for (const Bytes* whole : {&bmp, &jpeg}) {
        for (std::size_t cut = 0; cut < whole->size(); cut += 7) {
            std::string error;
            const auto p = decodePicture(std::span(whole->data(), cut), &error);
            if (p) EXPECT_EQ(p->pixels.size(), 128u);
            else EXPECT_FALSE(error.empty());
        }
    }
    // Declared sizes beyond MaxPicturePixels.
    Bytes huge = bmp;
    put32(huge, 18, 70000);
    put32(huge, 22, 70000);
    std::string error;
    EXPECT_FALSE(decodeBmp(huge.data(), huge.size(), &error));
    EXPECT_NE(error.find("64 Mi"), std::string::npos) << error;
    const Bytes gif = {'G', 'I', 'F', '8', '9', 'a', 0xFF, 0xFF, 0xFF, 0xFF, 0x80, 0, 0, 0,    0,    0, 0,  0,
                       0,   ',', 0,   0,   0,   0,   0xFF, 0xFF, 0xFF, 0xFF, 0,    2, 2, 0x44, 0x01, 0, ';'};
    EXPECT_FALSE(decodeGif(gif.data(), gif.size(), &error));
    EXPECT_NE(error.find("64 Mi"), std::string::npos) << error;
    // Foreign bytes: a ZIP archive.
    const Bytes zip = {'P', 'K', 3, 4, 20, 0, 0, 0, 8, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
    EXPECT_FALSE(decodePicture(zip, &error));
    EXPECT_NE(error.find("BM"), std::string::npos);
}

TEST(PictureLimits, JpegDecodesScaledIntoADisplayBox) {
    DecodedPicture big{2000, 1500, std::vector<std::uint32_t>(3000000, 0xFF808080u)};
    const Bytes jpeg = encodeJpeg(big, 50);
    const auto full = decodeJpeg(jpeg.data(), jpeg.size());
    ASSERT_TRUE(full);
    EXPECT_EQ(full->width, 2000);
    // 2/8 is the smallest scale that still covers 462 x 260.
    const auto scaled = decodeJpeg(jpeg.data(), jpeg.size(), nullptr, DecodeOptions{462, 260});
    ASSERT_TRUE(scaled);
    EXPECT_EQ(scaled->width, 500);
    EXPECT_EQ(scaled->height, 375);
}

// What the fuzz targets found, kept: each is refused or decoded, quickly.
TEST(PictureLimits, KeptFuzzFindingsEndQuickly) {
    int files = 0;
    for (const auto& entry : fs::directory_iterator(fs::path(TABLOR_SOURCE_DIR) / "codecs/fuzz/regressions")) {
        const Bytes bytes = readFile(entry.path());
        const auto start = std::chrono::steady_clock::now();
        std::string error;
        const auto p = decodePicture(bytes, &error);
        (void)decodePicture(bytes, nullptr, DecodeOptions{462, 260});
        (void)describeBlob(bytes, 0);
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
        EXPECT_LT(ms, 1000) << entry.path();
        EXPECT_TRUE(p || !error.empty()) << entry.path();
        ++files;
    }
    EXPECT_GT(files, 0);
}

TEST(OleWrapper, PackagesAndWrappersWithoutAPicture) {
    DecodedPicture p{5, 4, std::vector<std::uint32_t>(20, 0xFF00FF00u)};
    const Bytes jpeg = encodeJpeg(p, 90);
    auto le = [](Bytes& b, std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i) b.push_back(std::uint8_t(v >> (8 * i)));
    };
    auto str = [](Bytes& b, const std::string& s) { b.insert(b.end(), s.begin(), s.end() + 1); };
    auto wrap = [&](const std::string& cls, const Bytes& native) {
        Bytes b;
        le(b, 0x1C15, 2);
        le(b, 20 + 8 + std::uint32_t(cls.size()) + 1, 2);
        le(b, 2, 4);
        le(b, 8, 2);
        le(b, std::uint32_t(cls.size()) + 1, 2);
        le(b, 20, 2);
        le(b, 28, 2);
        le(b, 0xFFFFFFFF, 4);
        str(b, "Package");
        str(b, cls);
        le(b, 0x0501, 4);
        le(b, 2, 4);
        le(b, std::uint32_t(cls.size()) + 1, 4);
        str(b, cls);
        le(b, 0, 4);
        le(b, 0, 4);
        le(b, std::uint32_t(native.size()), 4);
        b.insert(b.end(), native.begin(), native.end());
        return b;
    };
    Bytes package;
    le(package, 2, 2);
    str(package, "foto.jpg");
    str(package, "C:\\Bilder\\foto.jpg");
    le(package, 0x00030000, 4);
    le(package, 20, 4);
    str(package, "C:\\TEMP\\foto(1).jpg");
    le(package, std::uint32_t(jpeg.size()), 4);
    package.insert(package.end(), jpeg.begin(), jpeg.end());
    const Bytes wrapped = wrap("Package", package);
    const auto inner = unwrapOlePicture(wrapped);
    EXPECT_EQ(Bytes(inner.begin(), inner.end()), jpeg);
    const auto decoded = decodePicture(wrapped);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->width, 5);
    // A wrapped document is no picture; bytes without the wrapper are left as they are.
    EXPECT_TRUE(unwrapOlePicture(wrap("Word.Document.8", Bytes(300, 0x11))).empty());
    EXPECT_EQ(unwrapOlePicture(jpeg).data(), jpeg.data());
}

TEST(BlobDescription, PictureSizesAndDataSizesInBothLanguages) {
    DecodedPicture p{64, 48, std::vector<std::uint32_t>(64 * 48, 0xFF000000u)};
    const Bytes jpeg = encodeJpeg(p, 90), bmp = encodeBmp24(p);
    struct Case {
        Bytes bytes;
        const char* german;
        const char* english;
    };
    const std::vector<Case> cases = {
        {jpeg, "(JPEG 64 × 48)", "(JPEG 64 × 48)"},
        {bmp, "(BMP 64 × 48)", "(BMP 64 × 48)"},
        {Bytes(12 * 1024 + 100, 7), "(Binärdaten, 12 KB)", "(Binary data, 12 KB)"},
        {Bytes(700, 7), "(Binärdaten, 700 Bytes)", "(Binary data, 700 bytes)"},
        {Bytes(1572864, 7), "(Binärdaten, 1,5 MB)", "(Binary data, 1.5 MB)"},
        {Bytes(), "(leer)", "(empty)"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(describeBlob(c.bytes, 0), c.german);
        EXPECT_EQ(describeBlob(c.bytes, 1), c.english);
    }
}

TEST(JpegWriter, QualityAndTransparencyOnWhite) {
    DecodedPicture p{40, 30, {}};
    for (int i = 0; i < 1200; ++i) p.pixels.push_back(i % 7 ? 0xFF10A0F0u ^ std::uint32_t(i * 2654435761u) : 0u);
    const Bytes q90 = encodeJpeg(p, 90), q10 = encodeJpeg(p, 10);
    EXPECT_LT(q10.size(), q90.size());
    const auto back = decodeJpeg(q90.data(), q90.size());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->width, 40);
    DecodedPicture clear{8, 8, std::vector<std::uint32_t>(64, 0u)};
    const Bytes white = encodeJpeg(clear, 90);
    EXPECT_EQ(decodeJpeg(white.data(), white.size())->pixels[27], 0xFFFFFFFFu);
}

} // namespace
} // namespace tablor
