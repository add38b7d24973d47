// RC4 (see rc4.h).
#include "file/rc4.h"

#include <array>
#include <utility>

namespace jet::detail {

void rc4Apply(std::span<const uint8_t> key, std::span<uint8_t> data) {
    if (key.empty()) return;
    std::array<uint8_t, 256> s{};
    for (int i = 0; i < 256; ++i) s[i] = static_cast<uint8_t>(i);
    uint8_t j = 0;
    for (int i = 0; i < 256; ++i) {
        j = static_cast<uint8_t>(j + s[i] + key[i % key.size()]);
        std::swap(s[i], s[j]);
    }
    uint8_t a = 0, b = 0;
    for (auto& byte : data) {
        a = static_cast<uint8_t>(a + 1);
        b = static_cast<uint8_t>(b + s[a]);
        std::swap(s[a], s[b]);
        byte ^= s[static_cast<uint8_t>(s[a] + s[b])];
    }
}

void rc4ApplyPageKey(uint32_t databaseKey, uint32_t page, std::span<uint8_t> data) {
    const uint32_t k = databaseKey ^ page;
    const uint8_t key[4] = {static_cast<uint8_t>(k), static_cast<uint8_t>(k >> 8), static_cast<uint8_t>(k >> 16),
                            static_cast<uint8_t>(k >> 24)};
    rc4Apply(key, data);
}

} // namespace jet::detail
