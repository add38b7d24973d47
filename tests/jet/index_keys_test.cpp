// Tests of the index key codec against keys that Access itself wrote, and of the ordering
// properties that index lookups rely on.
#include "jet/index_keys.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using jet::KeyColumn;
using jet::KeyColumnType;
using jet::KeyValue;
using jet::TextSortOrder;

std::string hex(const std::vector<std::uint8_t>& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string s;
    for (std::uint8_t b : bytes) {
        s += digits[b >> 4];
        s += digits[b & 15];
    }
    return s;
}

std::string keyOf(const KeyColumn& column, const KeyValue& value) {
    std::vector<std::uint8_t> out;
    jet::appendKeyValue(out, column, value);
    return hex(out);
}

KeyColumn textColumn(TextSortOrder order, bool asc = true) { return KeyColumn{KeyColumnType::Text, asc, order}; }

struct Vector {
    TextSortOrder order;
    bool ascending;
    std::u16string value;
    std::string key;
    int line;
};

std::vector<Vector> loadVectors() {
    std::ifstream in(std::string(TABLOR_SOURCE_DIR) + "/tests/jet/data/index_key_vectors.tsv");
    std::vector<Vector> out;
    std::string line;
    int n = 0;
    while (std::getline(in, line)) {
        ++n;
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string order, dir, units, key;
        std::getline(fields, order, '\t');
        std::getline(fields, dir, '\t');
        std::getline(fields, units, '\t');
        std::getline(fields, key, '\t');
        Vector v{
            order == "general97" ? TextSortOrder::General97 : TextSortOrder::GeneralLegacy, dir == "asc", {}, key, n};
        std::istringstream cu(units);
        std::string unit;
        while (std::getline(cu, unit, '|'))
            if (!unit.empty()) v.value.push_back(static_cast<char16_t>(std::stoi(unit, nullptr, 16)));
        out.push_back(std::move(v));
    }
    return out;
}

TEST(IndexKeysText, ReproducesEveryKeyAccessWroteInTheFixtures) {
    const auto vectors = loadVectors();
    ASSERT_GT(vectors.size(), 800u) << "tests/jet/data/index_key_vectors.tsv is missing or short";
    int legacy = 0;
    int g97 = 0;
    for (const auto& v : vectors) {
        EXPECT_EQ(keyOf(textColumn(v.order, v.ascending), v.value), v.key) << "vector file line " << v.line;
        (v.order == TextSortOrder::General97 ? g97 : legacy)++;
    }
    EXPECT_GT(legacy, 10);
    EXPECT_GT(g97, 500);
}

TEST(IndexKeysText, GeneralLegacyFoldsCaseAndKeepsAccentsAsExtraCodes) {
    const KeyColumn col = textColumn(TextSortOrder::GeneralLegacy);
    EXPECT_EQ(keyOf(col, u"admin"), keyOf(col, u"ADMIN"));
    // "ümlaut" differs from "umlaut" only after the end-of-text byte.
    const std::string plain = keyOf(col, u"umlaut");
    const std::string accent = keyOf(col, u"\u00fcmlaut");
    EXPECT_EQ(plain, "7f6f605e4a6f6d0100");
    EXPECT_EQ(accent, "7f6f605e4a6f6d011300");
    EXPECT_LT(plain, accent);
}

// Letters that sort as two letters move the positions Access records for later accents and
// punctuation. Expected keys are the ones Access stored in the two Northwind files.
TEST(IndexKeysText, LettersThatSortAsTwoCountTwiceForLaterPositions) {
    const KeyColumn legacy = textColumn(TextSortOrder::GeneralLegacy);
    // ß before the first accent: the accent section is padded to 26 places, not 25.
    std::string padded;
    for (int i = 0; i < 26; ++i) padded += "02";
    EXPECT_EQ(keyOf(legacy, u"Plutzer Lebensmittelgro\u00dfm\u00e4rkte AG"),
              "7f665e6f6d785169075e514c51626b60596d6d515e5569646b6b604a695c6d51074a5501" + padded + "1300");
    // No accents at all: the hyphens' positions count ß as two (11 and 17).
    EXPECT_EQ(keyOf(legacy, u"NuNuCa Nu\u00df-Nougat-Creme"),
              "7f626f626f4d4a07626f6b6b62646f554a6d4d695160510101010180330682804b068200");
    // Once an accent has been recorded, each later character takes one place, ß included.
    const std::string between = keyOf(legacy, u"\u00dd\u00de\u00df\u00e0");
    EXPECT_NE(between.find("010e02020f00"), std::string::npos) << between;

    const KeyColumn jet3 = textColumn(TextSortOrder::General97);
    EXPECT_EQ(keyOf(jet3, u"Plutzer Lebensmittelgro\u00dfm\u00e4rkte AG"),
              "7f736d78777e6675116d66616670766f6a7777666d68757276766f60756c776611606802222222222260");
}

TEST(IndexKeysText, TrailingSpacesAndTextBeyond255UnitsDoNotCount) {
    const KeyColumn col = textColumn(TextSortOrder::GeneralLegacy);
    EXPECT_EQ(keyOf(col, u"abc   "), keyOf(col, u"abc"));
    EXPECT_EQ(keyOf(col, u""), "7f0100");
    EXPECT_EQ(keyOf(col, u"   "), "7f0100");
    const std::u16string a255(255, u'a');
    EXPECT_EQ(keyOf(col, a255 + u"zzz"), keyOf(col, a255));
    EXPECT_NE(keyOf(col, std::u16string(254, u'a') + u"z"), keyOf(col, a255));
}

TEST(IndexKeysText, SurrogatePairsCarryNoWeightInGeneralLegacy) {
    const KeyColumn col = textColumn(TextSortOrder::GeneralLegacy);
    EXPECT_EQ(keyOf(col, u"a\U0001F600a"), "7f4a4a0100");
    EXPECT_EQ(keyOf(col, u"aa\U00020000"), "7f4a4a0100");
}

TEST(IndexKeysText, DescendingTextSortsInReverse) {
    for (TextSortOrder order : {TextSortOrder::GeneralLegacy, TextSortOrder::General97}) {
        const std::vector<std::u16string> words = {u"",        u"a",  u"ab", u"abc", u"b",
                                                   u"\u00e4b", u"ba", u"zz", u"-1",  u"1"};
        std::vector<std::pair<std::string, std::u16string>> asc, desc;
        for (const auto& w : words) {
            asc.emplace_back(keyOf(textColumn(order, true), w), w);
            desc.emplace_back(keyOf(textColumn(order, false), w), w);
        }
        std::sort(asc.begin(), asc.end());
        std::sort(desc.begin(), desc.end());
        for (std::size_t i = 0; i < words.size(); ++i)
            EXPECT_EQ(asc[i].second, desc[words.size() - 1 - i].second) << "position " << i;
    }
}

TEST(IndexKeysText, SegmentLengthFindsTheEndOfEveryTextKey) {
    // A text segment followed by a Long: the reader must find the Long after any text.
    const auto vectors = loadVectors();
    for (const auto& v : vectors) {
        const KeyColumn cols[] = {textColumn(v.order, v.ascending), KeyColumn{KeyColumnType::Long, true}};
        const KeyValue vals[] = {v.value, std::int64_t{-77}};
        const auto key = jet::encodeKey(cols, vals);
        jet::KeyReader reader(key);
        reader.skip(cols[0]);
        const KeyValue back = reader.next(cols[1]);
        ASSERT_EQ(std::get<std::int64_t>(back), -77) << "vector file line " << v.line;
        EXPECT_TRUE(reader.atEnd());
    }
}

TEST(IndexKeysNumbers, MatchKeysFromAccessFixtures) {
    // Long primary key 1 and 2 (fixedTextTestV2000), MSysObjects ParentId 0x0F000000.
    EXPECT_EQ(keyOf({KeyColumnType::Long, true}, std::int64_t{1}), "7f80000001");
    EXPECT_EQ(keyOf({KeyColumnType::Long, true}, std::int64_t{0x0F000000}), "7f8f000000");
    // Date/Time 2009-10-22 03:57:13 as stored by Access (day 40108 plus 14233 seconds).
    const std::vector<std::uint8_t> dateKey = {0x7f, 0xc0, 0xe3, 0x95, 0x85, 0x45, 0x7f, 0xcf, 0x74};
    const auto day = jet::decodeFloatKey(dateKey, KeyColumnType::DateTime, true);
    ASSERT_TRUE(day.has_value());
    EXPECT_NEAR(*day, 40108.0 + 14233.0 / 86400.0, 1e-9);
    EXPECT_EQ(keyOf({KeyColumnType::DateTime, true}, *day), hex(dateKey));
    // Multi-column: ParentId + Name of MSysObjects, as Access wrote it.
    const KeyColumn cols[] = {{KeyColumnType::Long, true}, textColumn(TextSortOrder::GeneralLegacy)};
    const KeyValue vals[] = {std::int64_t{0x0F000000}, std::u16string(u"DataAccessPages")};
    EXPECT_EQ(hex(jet::encodeKey(cols, vals)), "7f8f0000007f4f4a6d4a4a4d4d516b6b664a55516b0100");
    // Access 97 descending Long (jackcess_testIndexCodesV1997.mdb, two-column index).
    EXPECT_EQ(keyOf({KeyColumnType::Long, false}, std::int64_t{13}), "807ffffff2");
}

TEST(IndexKeysNumbers, NullsSortFirstAscendingAndLastDescending) {
    for (KeyColumnType t :
         {KeyColumnType::Byte, KeyColumnType::Integer, KeyColumnType::Long, KeyColumnType::Currency,
          KeyColumnType::Single, KeyColumnType::Double, KeyColumnType::DateTime, KeyColumnType::Text}) {
        const KeyValue low =
            (t == KeyColumnType::Text) ? KeyValue{std::u16string()}
            : (t == KeyColumnType::Single || t == KeyColumnType::Double || t == KeyColumnType::DateTime)
                ? KeyValue{-1e30}
                : KeyValue{std::int64_t{0}};
        EXPECT_EQ(keyOf({t, true}, std::monostate{}), "00");
        EXPECT_EQ(keyOf({t, false}, std::monostate{}), "ff");
        EXPECT_LT(keyOf({t, true}, std::monostate{}), keyOf({t, true}, low));
        EXPECT_GT(keyOf({t, false}, std::monostate{}), keyOf({t, false}, low));
    }
}

TEST(IndexKeysNumbers, ByteOrderEqualsValueOrderAndDecodesBack) {
    std::mt19937_64 rng(20261208);
    struct Case {
        KeyColumnType type;
        std::int64_t lo, hi;
    };
    const Case cases[] = {{KeyColumnType::Byte, 0, 255},
                          {KeyColumnType::Integer, -32768, 32767},
                          {KeyColumnType::Long, INT32_MIN, INT32_MAX},
                          {KeyColumnType::Currency, INT64_MIN, INT64_MAX}};
    for (const Case& c : cases) {
        for (bool asc : {true, false}) {
            std::vector<std::int64_t> values = {c.lo, c.hi, 0, c.lo + 1, c.hi - 1};
            std::uniform_int_distribution<std::int64_t> dist(c.lo, c.hi);
            for (int i = 0; i < 300; ++i) values.push_back(dist(rng));
            std::vector<std::pair<std::string, std::int64_t>> keyed;
            for (std::int64_t v : values) {
                std::vector<std::uint8_t> key;
                jet::appendKeyValue(key, {c.type, asc}, v);
                ASSERT_EQ(jet::decodeIntegerKey(key, c.type, asc), v);
                keyed.emplace_back(hex(key), v);
            }
            std::sort(keyed.begin(), keyed.end());
            for (std::size_t i = 1; i < keyed.size(); ++i) {
                if (asc) EXPECT_LE(keyed[i - 1].second, keyed[i].second);
                else EXPECT_GE(keyed[i - 1].second, keyed[i].second);
            }
        }
    }
}

TEST(IndexKeysNumbers, FloatingPointOrderIncludingNegativesAndDecodesBack) {
    const std::vector<double> values = {-1e300, -12345.5, -1.0, -1e-300, 0.0, 1e-300, 0.5, 1.0, 2.0, 36526.25, 1e300};
    for (KeyColumnType t : {KeyColumnType::Double, KeyColumnType::DateTime, KeyColumnType::Single}) {
        for (bool asc : {true, false}) {
            std::string prev;
            for (std::size_t i = 0; i < values.size(); ++i) {
                const double v =
                    (t == KeyColumnType::Single) ? static_cast<double>(static_cast<float>(values[i])) : values[i];
                std::vector<std::uint8_t> key;
                jet::appendKeyValue(key, {t, asc}, v);
                EXPECT_EQ(jet::decodeFloatKey(key, t, asc), v);
                const std::string h = hex(key);
                if (i > 0 && !(t == KeyColumnType::Single && v == 0.0 && std::fabs(values[i - 1]) < 1e-30)) {
                    if (asc) EXPECT_LE(prev, h) << v;
                    else EXPECT_GE(prev, h) << v;
                }
                prev = h;
            }
        }
    }
}

TEST(IndexKeysOtherTypes, BooleanGuidAndDecimal) {
    EXPECT_EQ(keyOf({KeyColumnType::Boolean, true}, true), "7f00");
    EXPECT_EQ(keyOf({KeyColumnType::Boolean, true}, false), "7fff");
    EXPECT_EQ(keyOf({KeyColumnType::Boolean, true}, std::monostate{}), "7fff"); // no null for Yes/No
    EXPECT_EQ(keyOf({KeyColumnType::Boolean, false}, true), "80ff");

    jet::KeyGuid g;
    for (int i = 0; i < 16; ++i) g.bytes[i] = static_cast<std::uint8_t>(i * 0x11);
    EXPECT_EQ(keyOf({KeyColumnType::Guid, true}, g), "7f0011223344556677098899aabbccddeeff08");
    EXPECT_EQ(keyOf({KeyColumnType::Guid, false}, g), "80ffeeddccbbaa9988097766554433221100f7");
    std::vector<std::uint8_t> gk;
    jet::appendKeyValue(gk, {KeyColumnType::Guid, false}, g);
    jet::KeyReader gr(gk);
    EXPECT_EQ(std::get<jet::KeyGuid>(gr.next({KeyColumnType::Guid, false})), g);

    auto dec = [](bool neg, int v) {
        jet::KeyDecimal d;
        d.negative = neg;
        d.magnitude[15] = static_cast<std::uint8_t>(v);
        return d;
    };
    std::vector<std::string> keys;
    for (auto d : {dec(true, 9), dec(true, 1), dec(false, 0), dec(false, 1), dec(false, 9)})
        keys.push_back(keyOf({KeyColumnType::Numeric, true}, d));
    EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
    EXPECT_EQ(keys[3], "7fff00000000000000000000000000000001");
}

TEST(IndexKeysErrors, RefusesValuesThatDoNotFitAndSaysWhy) {
    std::vector<std::uint8_t> out;
    EXPECT_THROW(jet::appendKeyValue(out, {KeyColumnType::Byte, true}, std::int64_t{256}), jet::KeyEncodingError);
    EXPECT_THROW(jet::appendKeyValue(out, {KeyColumnType::Integer, true}, std::int64_t{40000}), jet::KeyEncodingError);
    EXPECT_THROW(jet::appendKeyValue(out, {KeyColumnType::Long, true}, std::u16string(u"x")), jet::KeyEncodingError);
    EXPECT_THROW(jet::appendKeyValue(out, {KeyColumnType::Binary, true}, std::int64_t{1}), jet::KeyEncodingError);
    EXPECT_TRUE(out.empty()) << "a refused value must leave the key untouched";
    try {
        jet::appendKeyValue(out, {KeyColumnType::Integer, true}, std::int64_t{40000});
    } catch (const jet::KeyEncodingError& e) {
        EXPECT_NE(std::string(e.what()).find("40000"), std::string::npos) << e.what();
    }
    const std::vector<std::uint8_t> truncated = {0x7f, 0x80, 0x00};
    EXPECT_THROW(jet::decodeIntegerKey(truncated, KeyColumnType::Long, true), jet::FormatError);
    const std::vector<std::uint8_t> badFlag = {0x42, 0x80, 0x00, 0x00, 0x01};
    EXPECT_THROW(jet::decodeIntegerKey(badFlag, KeyColumnType::Long, true), jet::FormatError);
}

TEST(IndexKeysText, Utf8ConversionKeepsNonBmpAndReplacesBrokenBytes) {
    EXPECT_EQ(jet::utf8ToUtf16("a\xc3\xa4\xe2\x82\xac\xf0\x9f\x98\x80"), u"a\u00e4\u20ac\U0001F600");
    EXPECT_EQ(jet::utf8ToUtf16("a\xff"), u"a\uFFFD");
}

} // namespace
