// libFuzzer target: the bitmap reader, and the OLE wrapper, header probe and description that
// the grid runs on every blob. A crash, hang or sanitizer report is a finding; a refusal is
// the expected outcome for damaged input.
#include "codecs/imagecodecs.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string error;
    if (auto p = tablor::decodeBmp(data, size, &error)) {
        if (p->pixels.size() != static_cast<std::size_t>(p->width) * p->height) __builtin_trap();
    } else if (error.empty()) {
        __builtin_trap(); // a refusal always says why
    }
    const std::span<const std::uint8_t> bytes(data, size);
    const auto inner = tablor::unwrapOlePicture(bytes);
    if (!inner.empty() && (inner.data() < data || inner.data() + inner.size() > data + size)) __builtin_trap();
    (void)tablor::describeBlob(bytes, 0);
    if (inner.data() != data) (void)tablor::decodeBmp(inner.data(), inner.size());
    return 0;
}
