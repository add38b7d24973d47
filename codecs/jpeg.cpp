// JPEG reading and writing through libjpeg-turbo. libjpeg reports errors by calling
// error_exit, which must not return: ours jumps back to the decoder with longjmp, so no C++
// object with a destructor may be created between setjmp and the libjpeg calls (the vectors
// are owned by the caller and only resized there).
//
// Limits against hostile files: the output picture at most MaxPicturePixels (a larger declared
// size decodes scaled down to fit), libjpeg's working memory at most MaxCodecMemory (it has no
// backing store, so more is an error), at most MaxJpegScans progressive scans, at most
// MaxWarnings warnings about corrupt data, and no more than PixelsPerByte declared pixels
// per byte of the file beyond the first mega-pixel: libjpeg fills a picture whose data ends
// early, so 300 bytes declaring 65500 x 65500 pixels would otherwise keep it busy for seconds.
// Even a one-colour picture costs at least a bit per 8x8 block and component, 1 byte per
// 512 pixels, so no real file comes near the bound.
#include "codecs/imagecodecs.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>

namespace tablor {
namespace {

constexpr int MaxWarnings = 100;
constexpr std::int64_t PixelsPerByte = 1024;

struct ErrorJump {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    int warnings;
};

[[noreturn]] void jumpOnError(j_common_ptr info) {
    auto* err = reinterpret_cast<ErrorJump*>(info->err);
    (*info->err->format_message)(info, err->message);
    std::longjmp(err->jump, 1);
}

void countWarnings(j_common_ptr info, int level) {
    auto* err = reinterpret_cast<ErrorJump*>(info->err);
    if (level >= 0) return; // trace messages
    if (++err->warnings > MaxWarnings) {
        std::snprintf(err->message, sizeof err->message, "the JPEG data is corrupt throughout");
        std::longjmp(err->jump, 1);
    }
}

void limitScans(j_common_ptr info) {
    if (!info->is_decompressor) return;
    if (reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > MaxJpegScans) {
        auto* err = reinterpret_cast<ErrorJump*>(info->err);
        std::snprintf(err->message, sizeof err->message, "the JPEG has more than %d scans", MaxJpegScans);
        std::longjmp(err->jump, 1);
    }
}

void setUp(jpeg_decompress_struct& info, ErrorJump& err, jpeg_progress_mgr& progress) {
    info.err = jpeg_std_error(&err.base);
    err.base.error_exit = jumpOnError;
    err.base.emit_message = countWarnings;
    err.message[0] = 0;
    err.warnings = 0;
    progress.progress_monitor = limitScans;
}

std::int64_t scaled(std::int64_t size, int eighths) { return (size * eighths + 7) / 8; }

// The eighths (1..8) to decode at: the smallest scale whose result still covers the box,
// shrunk further while the result would exceed the pixel limit; 0 when even 1/8 does.
int chooseEighths(std::int64_t w, std::int64_t h, const DecodeOptions& options) {
    int n = 8;
    if (options.fitWidth > 0 && options.fitHeight > 0)
        for (n = 1; n < 8; ++n)
            if (scaled(w, n) >= options.fitWidth && scaled(h, n) >= options.fitHeight) break;
    while (n > 0 && scaled(w, n) * scaled(h, n) > MaxPicturePixels) --n;
    return n;
}

// Decodes into `out`; false with err.message on any failure.
bool decodeInto(const std::uint8_t* data, std::size_t size, const DecodeOptions& options, DecodedPicture& out,
                std::vector<std::uint8_t>& line, ErrorJump& err) {
    jpeg_decompress_struct info;
    jpeg_progress_mgr progress;
    setUp(info, err, progress);
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    info.mem->max_memory_to_use = MaxCodecMemory;
    info.progress = &progress;
    jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) {
        std::snprintf(err.message, sizeof err.message, "the JPEG has no picture");
        jpeg_destroy_decompress(&info);
        return false;
    }
    const std::int64_t declared = std::int64_t(info.image_width) * info.image_height;
    if (declared > (1 << 20) && declared / PixelsPerByte > static_cast<std::int64_t>(size)) {
        std::snprintf(err.message, sizeof err.message, "the JPEG declares %u x %u pixels but holds only %zu bytes",
                      info.image_width, info.image_height, size);
        jpeg_destroy_decompress(&info);
        return false;
    }
    const int eighths = chooseEighths(info.image_width, info.image_height, options);
    if (eighths == 0) {
        std::snprintf(err.message, sizeof err.message, "the JPEG declares %u x %u pixels, too many to show",
                      info.image_width, info.image_height);
        jpeg_destroy_decompress(&info);
        return false;
    }
    info.scale_num = static_cast<unsigned>(eighths);
    info.scale_denom = 8;
    const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    // Adobe writes CMYK inverted (0 = full ink); others store it as is.
    const bool inverted = info.saw_Adobe_marker;
    info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRA; // BGRA bytes are 0xAARRGGBB in memory
    jpeg_start_decompress(&info);
    out.width = static_cast<int>(info.output_width);
    out.height = static_cast<int>(info.output_height);
    out.pixels.resize(static_cast<std::size_t>(out.width) * out.height);
    if (cmyk) line.resize(static_cast<std::size_t>(out.width) * 4);
    while (info.output_scanline < info.output_height) {
        const std::size_t y = info.output_scanline;
        std::uint32_t* dst = out.pixels.data() + y * out.width;
        JSAMPROW rows[1] = {cmyk ? line.data() : reinterpret_cast<JSAMPROW>(dst)};
        if (jpeg_read_scanlines(&info, rows, 1) != 1) break;
        if (!cmyk) continue;
        for (int x = 0; x < out.width; ++x) {
            const std::uint8_t* s = line.data() + static_cast<std::size_t>(x) * 4;
            std::uint32_t c = s[0], m = s[1], ye = s[2], k = s[3];
            if (!inverted) {
                c = 255 - c;
                m = 255 - m;
                ye = 255 - ye;
                k = 255 - k;
            }
            dst[x] = 0xFF000000u | ((c * k / 255) << 16) | ((m * k / 255) << 8) | (ye * k / 255);
        }
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

bool readSize(const std::uint8_t* data, std::size_t size, int& width, int& height) {
    jpeg_decompress_struct info;
    jpeg_progress_mgr progress;
    ErrorJump err;
    setUp(info, err, progress);
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
    const bool ok = jpeg_read_header(&info, TRUE) == JPEG_HEADER_OK;
    width = static_cast<int>(info.image_width);
    height = static_cast<int>(info.image_height);
    jpeg_destroy_decompress(&info);
    return ok;
}

bool encodeInto(const DecodedPicture& picture, int quality, unsigned char** buffer, unsigned long* length,
                std::vector<std::uint8_t>& line) {
    jpeg_compress_struct info;
    ErrorJump err;
    info.err = jpeg_std_error(&err.base);
    err.base.error_exit = jumpOnError;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, buffer, length);
    info.image_width = static_cast<JDIMENSION>(picture.width);
    info.image_height = static_cast<JDIMENSION>(picture.height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    line.resize(static_cast<std::size_t>(picture.width) * 3);
    while (info.next_scanline < info.image_height) {
        const std::uint32_t* src = picture.pixels.data() + static_cast<std::size_t>(info.next_scanline) * picture.width;
        for (int x = 0; x < picture.width; ++x) {
            // Laid on white: JPEG has no transparency.
            const std::uint32_t a = src[x] >> 24;
            for (int c = 0; c < 3; ++c) {
                const std::uint32_t v = (src[x] >> (16 - 8 * c)) & 0xFF;
                line[x * 3 + c] = static_cast<std::uint8_t>((v * a + 255 * (255 - a)) / 255);
            }
        }
        JSAMPROW rows[1] = {line.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

} // namespace

std::optional<DecodedPicture> decodeJpeg(const std::uint8_t* data, std::size_t size, std::string* error,
                                         const DecodeOptions& options) {
    if (!data || size < 4 || data[0] != 0xFF || data[1] != 0xD8) {
        if (error) *error = "not a JPEG (no start-of-image marker)";
        return std::nullopt;
    }
    DecodedPicture out;
    std::vector<std::uint8_t> line;
    ErrorJump err;
    if (!decodeInto(data, size, options, out, line, err)) {
        if (error) *error = std::string("the JPEG cannot be read: ") + err.message;
        return std::nullopt;
    }
    return out;
}

bool probeJpeg(const std::uint8_t* data, std::size_t size, int& width, int& height) {
    if (!data || size < 4 || data[0] != 0xFF || data[1] != 0xD8) return false;
    return readSize(data, size, width, height);
}

std::vector<std::uint8_t> encodeJpeg(const DecodedPicture& picture, int quality) {
    if (picture.width <= 0 || picture.height <= 0 ||
        picture.pixels.size() != static_cast<std::size_t>(picture.width) * picture.height)
        return {};
    unsigned char* buffer = nullptr;
    unsigned long length = 0;
    std::vector<std::uint8_t> line;
    const bool ok = encodeInto(picture, std::clamp(quality, 1, 100), &buffer, &length, line);
    std::vector<std::uint8_t> out;
    if (ok && buffer) out.assign(buffer, buffer + length);
    std::free(buffer);
    return out;
}

} // namespace tablor
