// jet::Value's exact number types and their text forms.
#include "jet/value.h"
#include "value/text_codec.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace jet {
namespace {

TEST(JetValueFormat, CurrencyIsExact) {
    EXPECT_EQ(Currency{35000}.toString(), "3.5000");
    EXPECT_EQ(Currency{-1}.toString(), "-0.0001");
    EXPECT_EQ(Currency{0}.toString(), "0.0000");
    EXPECT_EQ(Currency{INT64_MIN}.toString(), "-922337203685477.5808");
    EXPECT_EQ(Currency{INT64_MAX}.toString(), "922337203685477.5807");
}

TEST(JetValueFormat, DecimalIsExact) {
    Decimal d;
    d.scale = 4;
    d.low = 123456;
    EXPECT_EQ(d.toString(), "12.3456");
    d.negative = true;
    d.low = 5;
    EXPECT_EQ(d.toString(), "-0.0005");
    Decimal big;
    big.high = 1; // 2^64
    EXPECT_EQ(big.toString(), "18446744073709551616");
    Decimal zero;
    zero.negative = true;
    EXPECT_EQ(zero.toString(), "0");
}

TEST(JetValueFormat, DatesCountFrom1899December30) {
    EXPECT_EQ(DateTime{0}.toString(), "1899-12-30 00:00:00");
    EXPECT_EQ(DateTime{1.5}.toString(), "1899-12-31 12:00:00");
    // Negative days: the fraction still runs forward from midnight.
    EXPECT_EQ(DateTime{-1.25}.toString(), "1899-12-29 06:00:00");
    EXPECT_EQ(DateTime{0.75}.toString(), "1899-12-30 18:00:00"); // time only
    EXPECT_EQ(DateTime{2958101}.toString(), "9999-01-01 00:00:00");
    // Rounding to the second carries into the next day.
    EXPECT_EQ(DateTime{1.9999999999}.toString(), "1900-01-01 00:00:00");
    for (double d : {-700000.25, -1.5, 0.0, 36526.5, 2958465.0}) {
        const auto round = DateTime::fromParts(DateTime{d}.parts());
        EXPECT_DOUBLE_EQ(round.days, d);
    }
}

TEST(JetValueFormat, NumbersShortestAndPlain) {
    EXPECT_EQ(Value::dbl(100000).toString(), "100000");
    EXPECT_EQ(Value::dbl(0.15).toString(), "0.15");
    EXPECT_EQ(Value::dbl(-94.43).toString(), "-94.43");
    EXPECT_EQ(Value::dbl(1e20).toString(), "1e+20");
    EXPECT_EQ(Value::dbl(0).toString(), "0");
    EXPECT_EQ(Value::single(0.15f).toString(), "0.15");
    for (double d : {1.0 / 3, 123456.789, 2e-5, -7.25e14, 1e-300}) {
        EXPECT_EQ(std::strtod(Value::dbl(d).toString().c_str(), nullptr), d);
    }
}

TEST(JetValueFormat, GuidAndBinaryText) {
    Guid g;
    for (int i = 0; i < 16; ++i) g.bytes[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
    EXPECT_EQ(g.toString(), "{03020100-0504-0706-0809-0A0B0C0D0E0F}");
    EXPECT_EQ(Value::binary({0x00, 0xAB, 0xFF}).toString(), "00ABFF");
    EXPECT_EQ(Value::null().toString(), "");
    EXPECT_EQ(Value::boolean(true).toString(), "1");
}

TEST(JetValueFormat, Jet4TextPlainAndCompressed) {
    const uint8_t plain[] = {'H', 0, 0xE4, 0, 0x1F, 0x04};
    EXPECT_EQ(detail::decodeJet4Text(plain), "H\u00E4\u041F");
    // FF FE, then one byte per character; 00 switches to two-byte characters and back.
    const uint8_t compressed[] = {0xFF, 0xFE, 'a', 0xE4, 0x00, 0x1F, 0x04, 0x00, 'b'};
    EXPECT_EQ(detail::decodeJet4Text(compressed), "a\u00E4\u041Fb");
    const uint8_t surrogates[] = {0x3D, 0xD8, 0x00, 0xDE};
    EXPECT_EQ(detail::decodeJet4Text(surrogates), "\U0001F600");
}

TEST(JetValueFormat, Windows1252UndefinedBytesBecomeC1Controls) {
    detail::Jet3Charset cp("x.mdb", "", 1252);
    const uint8_t bytes[] = {0x80, 0x81, 0x9F, 'A'};
    EXPECT_EQ(cp.decode(bytes), "\u20AC\u0081\u0178A");
}

} // namespace
} // namespace jet
