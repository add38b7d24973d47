// Little-endian field access on page buffers, bounds-checked by the caller's span.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>

namespace jet::detail {

using ByteSpan = std::span<const uint8_t>;

inline uint8_t u8(ByteSpan b, size_t at) { return b[at]; }
inline uint16_t u16(ByteSpan b, size_t at) { return static_cast<uint16_t>(b[at] | (b[at + 1] << 8)); }
inline uint32_t u24(ByteSpan b, size_t at) {
    return static_cast<uint32_t>(b[at]) | (static_cast<uint32_t>(b[at + 1]) << 8) |
           (static_cast<uint32_t>(b[at + 2]) << 16);
}
inline uint32_t u32(ByteSpan b, size_t at) {
    return static_cast<uint32_t>(b[at]) | (static_cast<uint32_t>(b[at + 1]) << 8) |
           (static_cast<uint32_t>(b[at + 2]) << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
inline uint64_t u64(ByteSpan b, size_t at) {
    return static_cast<uint64_t>(u32(b, at)) | (static_cast<uint64_t>(u32(b, at + 4)) << 32);
}
inline uint32_t u32be(ByteSpan b, size_t at) {
    return (static_cast<uint32_t>(b[at]) << 24) | (static_cast<uint32_t>(b[at + 1]) << 16) |
           (static_cast<uint32_t>(b[at + 2]) << 8) | static_cast<uint32_t>(b[at + 3]);
}
inline uint32_t u24be(ByteSpan b, size_t at) {
    return (static_cast<uint32_t>(b[at]) << 16) | (static_cast<uint32_t>(b[at + 1]) << 8) |
           static_cast<uint32_t>(b[at + 2]);
}

inline void put16(std::span<uint8_t> b, size_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}
inline void put32(std::span<uint8_t> b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// True when [at, at+len) lies inside a buffer of `size` bytes (no overflow).
inline bool fits(size_t size, size_t at, size_t len) { return at <= size && len <= size - at; }

} // namespace jet::detail
