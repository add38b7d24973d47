// RC4 stream cipher: Jet masks part of the database header with a fixed key and, in
// "encoded" databases, every page after the first with a key derived from the page number.
#pragma once

#include <cstdint>
#include <span>

namespace jet::detail {

// XORs `data` in place with the RC4 key stream of `key` (encoding and decoding are the same).
void rc4Apply(std::span<const uint8_t> key, std::span<uint8_t> data);

// The key of page `page` in a database whose header key is `databaseKey`: the four
// little-endian bytes of databaseKey XOR page.
void rc4ApplyPageKey(uint32_t databaseKey, uint32_t page, std::span<uint8_t> data);

} // namespace jet::detail
