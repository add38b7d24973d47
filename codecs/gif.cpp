// GIF reading through giflib, record by record (not DGifSlurp, which would allocate every
// frame at whatever size its descriptor declares before reading it): the extensions before
// the first image for its transparent colour, then the first image, laid on the logical
// screen. Later frames of an animation are not read.
//
// Header (13 bytes): 0 6 "GIF87a"/"GIF89a", 6 2 screen width, 8 2 screen height, 10 1 flags
// (0x80 global colour table, size 2^((flags & 7) + 1)), 11 1 background, 12 1 aspect.
// Graphics control extension (0xF9): 1 flags (0x01 transparent colour given), 2 2 delay,
// 4 1 transparent colour index.
#include "codecs/imagecodecs.h"

#include <algorithm>
#include <cstring>

#include <gif_lib.h>

namespace tablor {
namespace {

struct MemoryReader {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at;
};

int readFromMemory(GifFileType* gif, GifByteType* buffer, int length) {
    auto* r = static_cast<MemoryReader*>(gif->UserData);
    if (length <= 0) return 0;
    const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(length), r->size - r->at);
    std::memcpy(buffer, r->data + r->at, n);
    r->at += n;
    return static_cast<int>(n);
}

struct GifCloser {
    GifFileType* gif;
    ~GifCloser() {
        int error = 0;
        if (gif) DGifCloseFile(gif, &error);
    }
};

bool fail(std::string* error, const std::string& message) {
    if (error) *error = message;
    return false;
}

std::string giflibSays(int code) {
    const char* text = GifErrorString(code);
    return text ? std::string(text) : std::string("error ") + std::to_string(code);
}

// Reads the first image's indices into `indices` (w*h, rows top to bottom), de-interlacing.
bool readFrame(GifFileType* gif, std::vector<GifPixelType>& indices, std::string* error) {
    const GifImageDesc& d = gif->Image;
    const auto w = static_cast<std::size_t>(d.Width), h = static_cast<std::size_t>(d.Height);
    indices.assign(w * h, 0);
    auto readRow = [&](std::size_t y) {
        return DGifGetLine(gif, indices.data() + y * w, static_cast<int>(w)) == GIF_OK;
    };
    if (d.Interlace) {
        static constexpr std::size_t start[] = {0, 4, 2, 1}, step[] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4; ++pass)
            for (std::size_t y = start[pass]; y < h; y += step[pass])
                if (!readRow(y)) return fail(error, "the GIF's picture data is damaged: " + giflibSays(gif->Error));
    } else {
        for (std::size_t y = 0; y < h; ++y)
            if (!readRow(y)) return fail(error, "the GIF's picture data is damaged: " + giflibSays(gif->Error));
    }
    return true;
}

bool decodeFirstFrame(GifFileType* gif, DecodedPicture& out, std::string* error) {
    int transparent = -1;
    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif, &type) != GIF_OK)
            return fail(error, "the GIF is damaged: " + giflibSays(gif->Error));
        if (type == TERMINATE_RECORD_TYPE) return fail(error, "the GIF holds no picture");
        if (type == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* ext = nullptr;
            if (DGifGetExtension(gif, &code, &ext) != GIF_OK)
                return fail(error, "the GIF is damaged: " + giflibSays(gif->Error));
            if (code == GRAPHICS_EXT_FUNC_CODE && ext && ext[0] >= 4) transparent = (ext[1] & 1) ? ext[4] : -1;
            while (ext) {
                if (DGifGetExtensionNext(gif, &ext) != GIF_OK)
                    return fail(error, "the GIF is damaged: " + giflibSays(gif->Error));
            }
            continue;
        }
        if (type != IMAGE_DESC_RECORD_TYPE) continue;
        if (DGifGetImageDesc(gif) != GIF_OK) return fail(error, "the GIF is damaged: " + giflibSays(gif->Error));
        const GifImageDesc& d = gif->Image;
        if (d.Width <= 0 || d.Height <= 0) return fail(error, "the GIF's first picture has no pixels");
        // The screen grows to hold a frame that lies outside it (as browsers show it).
        const std::int64_t screenW = std::max<std::int64_t>(gif->SWidth, std::int64_t(d.Left) + d.Width);
        const std::int64_t screenH = std::max<std::int64_t>(gif->SHeight, std::int64_t(d.Top) + d.Height);
        if (screenW * screenH > MaxPicturePixels || std::int64_t(d.Width) * d.Height > MaxPicturePixels)
            return fail(error, "the GIF declares more than 64 Mi pixels");
        const ColorMapObject* map = d.ColorMap ? d.ColorMap : gif->SColorMap;
        if (!map || !map->Colors || map->ColorCount <= 0) return fail(error, "the GIF has no colour table");
        std::vector<GifPixelType> indices;
        if (!readFrame(gif, indices, error)) return false;
        out.width = static_cast<int>(screenW);
        out.height = static_cast<int>(screenH);
        out.pixels.assign(static_cast<std::size_t>(screenW * screenH), 0u); // transparent screen
        for (int y = 0; y < d.Height; ++y) {
            std::uint32_t* dst = out.pixels.data() + static_cast<std::size_t>(d.Top + y) * out.width + d.Left;
            const GifPixelType* src = indices.data() + static_cast<std::size_t>(y) * d.Width;
            for (int x = 0; x < d.Width; ++x) {
                const int i = src[x];
                if (i == transparent) continue;
                const GifColorType c = i < map->ColorCount ? map->Colors[i] : GifColorType{0, 0, 0};
                dst[x] = 0xFF000000u | (std::uint32_t(c.Red) << 16) | (std::uint32_t(c.Green) << 8) | c.Blue;
            }
        }
        return true;
    }
}

} // namespace

std::optional<DecodedPicture> decodeGif(const std::uint8_t* data, std::size_t size, std::string* error) {
    if (!data || size < 13 || std::memcmp(data, "GIF8", 4) != 0 || (data[4] != '7' && data[4] != '9') ||
        data[5] != 'a') {
        fail(error, "not a GIF (no \"GIF87a\" or \"GIF89a\" signature)");
        return std::nullopt;
    }
    MemoryReader reader{data, size, 0};
    int code = 0;
    GifCloser gif{DGifOpen(&reader, readFromMemory, &code)};
    if (!gif.gif) {
        fail(error, "the GIF cannot be opened: " + giflibSays(code));
        return std::nullopt;
    }
    DecodedPicture out;
    if (!decodeFirstFrame(gif.gif, out, error)) return std::nullopt;
    return out;
}

bool probeGif(const std::uint8_t* data, std::size_t size, int& width, int& height) {
    if (!data || size < 13 || std::memcmp(data, "GIF8", 4) != 0 || (data[4] != '7' && data[4] != '9') || data[5] != 'a')
        return false;
    width = data[6] | (data[7] << 8);
    height = data[8] | (data[9] << 8);
    return width > 0 && height > 0;
}

} // namespace tablor
