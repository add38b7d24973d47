// Where a row lives in the file.
#pragma once

#include <compare>
#include <cstdint>

namespace jet {

// Where a row lives: data page and slot. Packed as page << 8 | slot on disk.
struct RowId {
    uint32_t page = 0;
    uint8_t slot = 0;
    uint32_t packed() const { return (page << 8) | slot; }
    static RowId fromPacked(uint32_t v) { return RowId{v >> 8, static_cast<uint8_t>(v & 0xFF)}; }
    friend bool operator==(const RowId&, const RowId&) = default;
    friend auto operator<=>(const RowId&, const RowId&) = default;
};

} // namespace jet
