// For every table of every Access 97 file in the shared fixtures: the writer's encoders give
// back the bytes Access stored, for the table definition (names in the file's code page) and
// for each row (code-page text, 1-byte offsets, the jump table of rows over 256 bytes).
#include "availability.h"
#include "database/database_impl.h"
#include "file/bytes.h"
#include "jet/database.h"
#include "jet/error.h"
#include "support/files.h"
#include "table/row_codec.h"
#include "table/row_encoder.h"
#include "table/scan.h"
#include "table/table_def_reader.h"
#include "table/table_def_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using namespace jet::detail;

// The first byte where two streams differ, with a few bytes of each around it.
std::string firstDifference(std::span<const uint8_t> want, std::span<const uint8_t> got) {
    size_t i = 0;
    while (i < want.size() && i < got.size() && want[i] == got[i]) ++i;
    if (i == want.size() && i == got.size()) return {};
    std::ostringstream s;
    s << "lengths " << want.size() << " / " << got.size() << ", first difference at byte " << i << ": Access";
    for (size_t k = i; k < i + 8 && k < want.size(); ++k) s << ' ' << std::hex << int(want[k]);
    s << ", ours";
    for (size_t k = i; k < i + 8 && k < got.size(); ++k) s << ' ' << std::hex << int(got[k]);
    return s.str();
}

constexpr size_t maxRowSizeForTest = 2036; // a fresh 2 KB data page's room for one row

std::vector<fs::path> jet3Fixtures() {
    std::vector<fs::path> out;
    for (const char* folder : {"mdb", "mdb-real"}) {
        const fs::path dir = tablor::test::sharedTestData(folder);
        if (!fs::exists(dir)) continue;
        for (const auto& e : fs::directory_iterator(dir)) {
            if (e.path().extension() != ".mdb") continue;
            try {
                if (jet::Database::open(e.path()).version() == jet::Version::Jet3) out.push_back(e.path());
            } catch (const jet::Error&) {}
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

TEST(WriterJet3Layout, DefinitionsAndRowsReencodeToAccessBytes) {
    const auto files = jet3Fixtures();
    if (files.empty()) JET_UNAVAILABLE() << "no Access 97 files in the shared test data";
    size_t tables = 0, rows = 0, longRows = 0, otherWidth = 0;
    for (const auto& path : files) {
        jet::Database db = jet::Database::open(path);
        DatabaseImpl& impl = implOf(db);
        ASSERT_NE(impl.charset(), nullptr);
        const std::string file = path.filename().string();
        for (const auto& entry : db.objects()) {
            if (entry.kind != jet::ObjectKind::Table && entry.kind != jet::ObjectKind::SystemTable) continue;
            std::shared_ptr<const jet::TableDef> def;
            try {
                def = db.table(entry.name);
            } catch (const jet::Error&) {
                continue; // a table the reader refuses is the reader tests' business
            }
            const auto storedBytes = readTableDefBytes(impl, def->definitionPage);
            const auto raw = readTableDef(impl, def->definitionPage, def->name);
            const auto extras = parseTableDefExtras(impl.format(), *raw, storedBytes);
            auto encoded = encodeJet3TableDefinition(*raw, extras, *impl.charset());
            // Bytes no reader uses and TableDef does not keep, which Access fills with values
            // of its own: the first word of each physical index's count entry, a column's
            // position and the word after it (offsets 5 and 7 of its entry; 0 in some files), the
            // flag byte of an index's unused column slots, a logical index's related table type. They are taken from Access's copy.
            const auto& stored = storedBytes;
            auto keep = [&](size_t at, size_t n) {
                for (size_t k = at; k < at + n && k < encoded.size() && k < stored.size(); ++k) encoded[k] = stored[k];
            };
            const size_t columnsAt = 43 + 8 * size_t{raw->physicalIndexCount};
            for (size_t i = 0; i < raw->physicalIndexCount; ++i) keep(43 + 8 * i, 4);
            for (size_t i = 0; i < raw->columns.size(); ++i) keep(columnsAt + 18 * i + 5, 4);
            size_t at = columnsAt + 18 * raw->columns.size();
            for (size_t i = 0; i < raw->columns.size() && at < stored.size(); ++i) at += 1 + stored[at];
            for (size_t i = 0; i < raw->physicalIndexCount; ++i, at += 39)
                for (size_t k = 0; k < 10; ++k)
                    if (at + 3 * k + 2 < stored.size() && u16(stored, at + 3 * k) == 0xFFFF) keep(at + 3 * k + 2, 1);
            for (size_t i = 0; i < raw->indexes.size(); ++i) keep(at + 20 * i + 8, 1);
            const size_t length = u32(stored, 8);
            ASSERT_LE(length, stored.size()) << file << " " << def->name;
            // Bytes 4..7 name the next page, which only the paginated form knows.
            const std::span<const uint8_t> want(stored.data() + 8, length - 8);
            const std::span<const uint8_t> got(encoded.data() + 8, encoded.size() - 8);
            EXPECT_EQ(firstDifference(want, got), "") << file << ": definition of [" << def->name << "]";
            ++tables;

            RowScanner scan(impl, def, false);
            RowDecoder decoder(impl, *def);
            RowLayout layout;
            while (scan.next()) {
                const auto located = impl.locateRow(scan.rowId(), def->definitionPage);
                ASSERT_TRUE(located) << file << " " << def->name;
                std::vector<uint8_t> bytes(located->bytes.begin(), located->bytes.end());
                decoder.parseLayout(bytes, located->id.page, layout);
                if (layout.columnCount != def->maxColumns) {
                    ++otherWidth; // written before a column was added: not a layout we write
                    continue;
                }
                std::vector<EncodedColumn> cols(def->columns.size());
                for (size_t i = 0; i < def->columns.size(); ++i) {
                    const jet::ColumnDef& c = def->columns[i];
                    const bool bit = (layout.nullMask[c.number / 8] >> (c.number % 8)) & 1;
                    if (!bit && c.isFixed() && c.type != jet::ColumnType::Boolean) {
                        // Access leaves old bytes under a null fixed value; we write zeros.
                        const size_t size = c.length;
                        for (size_t k = 0; k < size && 1 + c.fixedOffset + k < bytes.size(); ++k)
                            bytes[1 + c.fixedOffset + k] = 0;
                    }
                    if (c.isLongValue()) {
                        // The long-value field itself is the long-value writer's; here it is
                        // placed as stored.
                        const auto field = decoder.columnBytes(bytes, layout, c);
                        cols[i] = {bit, {field.begin(), field.end()}};
                    } else {
                        cols[i] = encodeValue(impl.format(), c, scan.values()[i], impl.charset());
                    }
                }
                const auto row = assembleRow(impl.format(), *def, cols);
                ASSERT_EQ(firstDifference(bytes, row), "") << file << ": table [" << def->name << "], row "
                                                           << scan.rowId().page << ":" << int(scan.rowId().slot);
                ++rows;
                if (bytes.size() > 256) ++longRows;
            }
        }
    }
    std::cout << files.size() << " files, " << tables << " definitions, " << rows << " rows (" << longRows
              << " over 256 bytes) re-encoded; " << otherWidth << " rows of an older width left out\n";
    EXPECT_GT(longRows, 0u) << "no row over 256 bytes was met; the jump table went untested";
}

// Rows of every length from short to nearly a page, values of varied sizes (so the slot
// positions cross 256-byte lines singly, several at once, or not at all): our decoder,
// which reads as mdbtools does, gets every value back.
TEST(WriterJet3Layout, LongRowsJumpTablesDecode) {
    const auto files = jet3Fixtures();
    if (files.empty()) JET_UNAVAILABLE() << "no Access 97 files in the shared test data";
    jet::Database db = jet::Database::open(files.front());
    DatabaseImpl& impl = implOf(db);
    jet::TableDef def;
    def.name = "t";
    const uint16_t columns = 40;
    for (uint16_t i = 0; i < columns; ++i) {
        jet::ColumnDef c;
        c.name = "c" + std::to_string(i);
        c.type = i % 5 == 0 ? jet::ColumnType::Long : jet::ColumnType::Text;
        c.number = i;
        c.length = c.type == jet::ColumnType::Long ? 4 : 255;
        c.flags = c.type == jet::ColumnType::Long ? 0x01 : 0x00;
        def.columns.push_back(c);
    }
    uint16_t var = 0, fixed = 0;
    for (auto& c : def.columns) {
        if (c.isFixed()) {
            c.fixedOffset = fixed;
            fixed = static_cast<uint16_t>(fixed + 4);
        } else {
            c.varIndex = var++;
        }
    }
    def.maxColumns = columns;
    def.varColumnCount = var;
    RowDecoder decoder(impl, def);
    RowLayout layout;
    uint32_t seed = 7;
    size_t checked = 0;
    for (int round = 0; round < 400; ++round) {
        std::vector<EncodedColumn> cols(columns);
        for (uint16_t i = 0; i < columns; ++i) {
            seed = seed * 1103515245u + 12345u;
            const size_t size = (seed >> 8) % (round % 4 == 0 ? 3 : 120);
            if (def.columns[i].isFixed()) cols[i] = {true, {uint8_t(i), 0, 0, uint8_t(round)}};
            else if (size % 7 != 1) cols[i] = {true, std::vector<uint8_t>(size, uint8_t('a' + i % 26))};
        }
        std::vector<uint8_t> row;
        try {
            row = assembleRow(impl.format(), def, cols);
        } catch (const jet::ValueError&) {
            continue; // a length whose jump table cannot be laid out: refused, not written wrong
        }
        if (row.size() > maxRowSizeForTest) continue;
        decoder.parseLayout(row, 0, layout);
        for (uint16_t i = 0; i < columns; ++i) {
            const auto got = decoder.columnBytes(row, layout, def.columns[i]);
            ASSERT_EQ(std::vector<uint8_t>(got.begin(), got.end()), cols[i].bytes)
                << "row of " << row.size() << " bytes, column " << i;
        }
        ++checked;
    }
    EXPECT_GT(checked, 300u);
}

TEST(WriterJet3Layout, TextOutsideTheCodePageIsRefusedByName) {
    const Jet3Charset cp1252("test.mdb", "", 1252);
    EXPECT_EQ(encodeJet3Text(cp1252, "Grüße €", 0), (std::vector<uint8_t>{'G', 'r', 0xFC, 0xDF, 'e', ' ', 0x80}));
    try {
        encodeJet3Text(cp1252, "Preis in ₽", 0);
        FAIL() << "the rouble sign has no Windows-1252 byte";
    } catch (const jet::ValueError& e) {
        EXPECT_NE(std::string(e.what()).find("U+20BD"), std::string::npos) << e.what();
    }
    const Jet3Charset cp1251("test.mdb", "1251", 1251);
    EXPECT_EQ(encodeJet3Text(cp1251, "Жж", 0), (std::vector<uint8_t>{0xC6, 0xE6}));
    EXPECT_THROW(encodeJet3Text(cp1251, "ü", 0), jet::ValueError);
    EXPECT_THROW(encodeJet3Text(cp1252, "abcdef", 5), jet::ValueError);
}

} // namespace
