// libFuzzer target: the GIF reader (first frame, transparency, interlacing). A crash, hang
// or sanitizer report is a finding.
#include "codecs/imagecodecs.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string error;
    if (auto p = tablor::decodeGif(data, size, &error)) {
        if (p->pixels.size() != static_cast<std::size_t>(p->width) * p->height) __builtin_trap();
    } else if (error.empty()) {
        __builtin_trap();
    }
    return 0;
}
