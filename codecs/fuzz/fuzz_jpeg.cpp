// libFuzzer target: the JPEG reader at full size and scaled into a display box, and the
// header probe. A crash, hang or sanitizer report is a finding.
#include "codecs/imagecodecs.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string error;
    if (auto p = tablor::decodeJpeg(data, size, &error)) {
        if (p->pixels.size() != static_cast<std::size_t>(p->width) * p->height) __builtin_trap();
    } else if (error.empty()) {
        __builtin_trap();
    }
    (void)tablor::decodeJpeg(data, size, nullptr, tablor::DecodeOptions{64, 48});
    (void)tablor::probePicture(std::span<const std::uint8_t>(data, size));
    return 0;
}
