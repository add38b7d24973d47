// JPEG reading and writing through libjpeg. libjpeg reports errors by calling error_exit,
// which must not return: ours jumps back to the decoder with longjmp, so no C++ object with
// a destructor may live between setjmp and the libjpeg calls.
#include "codecs/imagecodecs.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

namespace tablor {
namespace {

struct ErrorJump {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

void jumpOnError(j_common_ptr info) {
    auto* err = reinterpret_cast<ErrorJump*>(info->err);
    std::longjmp(err->jump, 1);
}

void ignoreMessage(j_common_ptr, int) {}

// Decodes into `out`; returns false on any libjpeg error. Kept free of C++ objects with
// destructors (the vector is owned by the caller and only resized here).
bool decodeInto(const std::uint8_t* data, std::size_t size, DecodedPicture& out, std::vector<std::uint8_t>& line) {
    jpeg_decompress_struct info;
    ErrorJump err;
    info.err = jpeg_std_error(&err.base);
    err.base.error_exit = jumpOnError;
    err.base.emit_message = ignoreMessage;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    if (static_cast<std::int64_t>(info.image_width) * info.image_height > MaxPicturePixels || info.image_width == 0 ||
        info.image_height == 0) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    if (info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK) info.out_color_space = JCS_CMYK;
    else if (info.jpeg_color_space == JCS_GRAYSCALE) info.out_color_space = JCS_GRAYSCALE;
    else info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    out.width = static_cast<int>(info.output_width);
    out.height = static_cast<int>(info.output_height);
    out.pixels.resize(static_cast<std::size_t>(out.width) * out.height);
    const int comps = info.output_components;
    line.resize(static_cast<std::size_t>(out.width) * comps);
    while (info.output_scanline < info.output_height) {
        JSAMPROW rows[1] = {line.data()};
        const int y = static_cast<int>(info.output_scanline);
        jpeg_read_scanlines(&info, rows, 1);
        std::uint32_t* dst = out.pixels.data() + static_cast<std::size_t>(y) * out.width;
        for (int x = 0; x < out.width; ++x) {
            const std::uint8_t* s = line.data() + static_cast<std::size_t>(x) * comps;
            std::uint32_t r, g, b;
            if (comps == 1) {
                r = g = b = s[0];
            } else if (comps == 4) {
                // Adobe writes inverted CMYK; libjpeg hands it over as stored.
                r = s[0] * s[3] / 255;
                g = s[1] * s[3] / 255;
                b = s[2] * s[3] / 255;
            } else {
                r = s[0];
                g = s[1];
                b = s[2];
            }
            dst[x] = 0xFF000000u | (r << 16) | (g << 8) | b;
        }
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

bool encodeInto(const DecodedPicture& picture, int quality, unsigned char** buffer, unsigned long* length,
                std::vector<std::uint8_t>& line) {
    jpeg_compress_struct info;
    ErrorJump err;
    info.err = jpeg_std_error(&err.base);
    err.base.error_exit = jumpOnError;
    err.base.emit_message = ignoreMessage;
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
            line[x * 3] = (src[x] >> 16) & 0xFF;
            line[x * 3 + 1] = (src[x] >> 8) & 0xFF;
            line[x * 3 + 2] = src[x] & 0xFF;
        }
        JSAMPROW rows[1] = {line.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

} // namespace

std::optional<DecodedPicture> decodeJpeg(const std::uint8_t* data, std::size_t size) {
    if (!data || size < 4 || data[0] != 0xFF || data[1] != 0xD8) return std::nullopt;
    DecodedPicture out;
    std::vector<std::uint8_t> line;
    if (!decodeInto(data, size, out, line)) return std::nullopt;
    return out;
}

std::vector<std::uint8_t> encodeJpeg(const DecodedPicture& picture, int quality) {
    if (picture.width <= 0 || picture.height <= 0) return {};
    unsigned char* buffer = nullptr;
    unsigned long length = 0;
    std::vector<std::uint8_t> line;
    const bool ok = encodeInto(picture, quality < 1 ? 1 : (quality > 100 ? 100 : quality), &buffer, &length, line);
    std::vector<std::uint8_t> out;
    if (ok && buffer) out.assign(buffer, buffer + length);
    std::free(buffer);
    return out;
}

} // namespace tablor
