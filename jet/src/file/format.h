// The layout constants of Jet 3 and Jet 4 as one data object per version, chosen once
// when a file is opened. Code that differs only in offsets reads them from here; code
// whose logic differs (Jet 3's row jump table) asks `version`.
#pragma once

#include "jet/database.h"

#include <cstdint>

namespace jet::detail {

struct Format {
    Version version;
    uint32_t pageSize;

    // Page 0 (database header).
    uint32_t maskedHeaderOffset; // start of the XOR-masked header region
    uint32_t maskedHeaderLength; // its length
    uint32_t sortOrderOffset;
    uint32_t codePageOffset;
    uint32_t encodingKeyOffset;

    // Data pages.
    uint32_t dataRowCountOffset; // 2-byte number of row slots
    uint32_t dataRowTableOffset; // first 2-byte row offset
    uint32_t maxRowsPerPage;

    // Table definition.
    uint32_t tdefRowCountOffset;
    uint32_t tdefAutoNumberOffset;
    uint32_t tdefTableTypeOffset;
    uint32_t tdefMaxColsOffset;
    uint32_t tdefVarColsOffset;
    uint32_t tdefNumColsOffset;
    uint32_t tdefNumIndexesOffset;     // logical indexes
    uint32_t tdefNumRealIndexesOffset; // physical indexes
    uint32_t tdefUsageMapOffset;
    uint32_t tdefFreeMapOffset;
    uint32_t tdefBlockEnd;       // first byte after the fixed header
    uint32_t realIndexEntrySize; // per physical index right after the header
    uint32_t columnEntrySize;
    uint32_t colTypeOffset, colNumberOffset, colVarIndexOffset, colSortOrderOffset, colCodePageOffset,
        colPrecisionOffset, colScaleOffset, colFlagsOffset, colExtFlagsOffset, colFixedOffsetOffset, colLengthOffset;
    uint32_t nameLengthSize; // 1 (Jet 3) or 2 (Jet 4) byte name length
    uint32_t physicalIndexEntrySize;
    uint32_t physicalIndexLeadSkip; // unknown bytes before the column list
    uint32_t logicalIndexEntrySize;
    uint32_t logicalIndexLeadSkip;

    // Rows.
    uint32_t rowCountSize;  // column count at the row start: 1 or 2 bytes
    uint32_t varOffsetSize; // 1 or 2 bytes per variable-column offset

    // Index pages.
    uint32_t indexPrevPageOffset;
    uint32_t indexNextPageOffset;
    uint32_t indexTailPageOffset;
    uint32_t indexPrefixLengthOffset;
    uint32_t indexPrefixLengthSize; // 1 (Jet 3) or 2 (Jet 4) bytes
    uint32_t indexEntryMaskOffset;
    uint32_t indexEntryMaskSize;
    uint32_t indexEntriesOffset() const { return indexEntryMaskOffset + indexEntryMaskSize; }

    // Usage maps.
    uint32_t usageMapPageDataOffset; // bitmap start on a type 0x05 page
    bool isJet3() const { return version == Version::Jet3; }
};

extern const Format kJet3Format;
extern const Format kJet4Format;

// Page type codes (first byte of a page).
namespace page_type {
inline constexpr uint8_t Header = 0x00;
inline constexpr uint8_t Data = 0x01;
inline constexpr uint8_t TableDefinition = 0x02;
inline constexpr uint8_t IndexNode = 0x03;
inline constexpr uint8_t IndexLeaf = 0x04;
inline constexpr uint8_t UsageMap = 0x05;
} // namespace page_type

} // namespace jet::detail
