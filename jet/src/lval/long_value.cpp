// Long values (see long_value.h).
#include "lval/long_value.h"

#include "file/bytes.h"
#include "database/database_impl.h"

namespace jet::detail {

Bytes readLongValue(DatabaseImpl& db, std::span<const uint8_t> field, uint32_t page) {
    auto& file = db.file();
    if (field.size() < long_value::HeaderSize) {
        file.corrupt(page, "has a Memo or OLE field shorter than its 12-byte header");
    }
    const uint32_t head = u32(field, 0);
    const uint32_t length = head & long_value::LengthMask;
    const uint64_t fileBytes = static_cast<uint64_t>(file.readablePageCount()) * file.pageSize();
    if (length > fileBytes) {
        file.corrupt(page,
                     "has a Memo or OLE value claiming " + std::to_string(length) + " bytes, more than the whole file");
    }
    Bytes out;
    if (head & long_value::Inline) {
        if (field.size() - long_value::HeaderSize < length) {
            file.corrupt(page, "has an inline Memo or OLE value longer than its row");
        }
        out.assign(field.begin() + long_value::HeaderSize, field.begin() + long_value::HeaderSize + length);
        return out;
    }
    if (length == 0) return out;
    uint32_t pointer = u32(field, 4);
    const bool single = head & long_value::SingleRow;
    out.reserve(length);
    while (out.size() < length) {
        if (pointer == 0) {
            file.corrupt(page, "has a Memo or OLE value whose chain ends after " + std::to_string(out.size()) + " of " +
                                   std::to_string(length) + " bytes");
        }
        auto row = db.locateRow(RowId::fromPacked(pointer), 0);
        if (!row) {
            file.corrupt(pointer >> 8, "holds a deleted row where a Memo or OLE value should be");
        }
        auto b = row->bytes;
        if (single) {
            if (b.size() < length) file.corrupt(pointer >> 8, "holds a Memo or OLE value shorter than its length");
            out.insert(out.end(), b.begin(), b.begin() + length);
            break;
        }
        if (b.size() <= 4) file.corrupt(pointer >> 8, "holds an empty piece of a Memo or OLE chain");
        pointer = u32(b, 0);
        const size_t take = std::min<size_t>(b.size() - 4, length - out.size());
        out.insert(out.end(), b.begin() + 4, b.begin() + 4 + static_cast<std::ptrdiff_t>(take));
    }
    return out;
}

} // namespace jet::detail
