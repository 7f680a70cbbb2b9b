#include "core/util/Numeric.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

namespace {

struct ConversionCase {
    const char* name;
    std::function<int64_t()> compute;
    int64_t expected;
};

const ConversionCase kConversions[] = {
    {"ScaleRound magnitude of -1.5 rounds up", [] { return ScaleRound(-3, 1, 2, 0); }, 2},
    {"ScaleRound truncates", [] { return ScaleRound(-3, 1, 2, 1); }, 1},
    {"ScaleRound divisor 0 counts as 1", [] { return ScaleRound(7, 3, 0, 0); }, 21},
    {"ScaleRound 2.49 rounds down", [] { return ScaleRound(249, 1, 100, 0); }, 2},
    {"DensityToDotArea 0", [] { return DensityToDotArea(0); }, 0},
    {"DensityToDotArea 301", [] { return DensityToDotArea(301); }, 5000},
    {"DensityToDotArea 1000", [] { return DensityToDotArea(1000); }, 9000},
    {"DotAreaToDensity 10000", [] { return DotAreaToDensity(10000); }, 4000},
    {"DotAreaToDensity above 10000", [] { return DotAreaToDensity(12000); }, 4000},
    {"DotAreaToDensity 0", [] { return DotAreaToDensity(0); }, 0},
    {"DotAreaToDensity 5000", [] { return DotAreaToDensity(5000); }, 301},
    {"DensityToOpacityPercent 0", [] { return DensityToOpacityPercent(0); }, 100},
    {"DensityToOpacityPercent 301", [] { return DensityToOpacityPercent(301); }, 200},
    {"DensityToOpacityPercent 2000", [] { return DensityToOpacityPercent(2000); }, 10000},
    {"OpacityPercentToDensity 200", [] { return OpacityPercentToDensity(200); }, 301},
    {"OpacityPercentToDensity 50", [] { return OpacityPercentToDensity(50); }, 301},
    {"OpacityPercentToDensity 0 is opaque", [] { return OpacityPercentToDensity(0); }, 4000},
    {"DensityToRangePercent at Dmin", [] { return DensityToRangePercent(200, 200, 3000, 18); }, 100},
    {"DensityToRangePercent at Dmax", [] { return DensityToRangePercent(3000, 200, 3000, 18); }, 0},
    {"DensityToRangePercent empty range", [] { return DensityToRangePercent(500, 500, 500, 18); }, 100},
    {"DensityToRangePercent exponent 0 above Dmin", [] { return DensityToRangePercent(600, 500, 900, 0); }, 0},
    {"LevelToDensity level 0", [] { return LevelToDensity(0, 200, 3000, 18); }, 3000},
    {"LevelToDensity level 255", [] { return LevelToDensity(255, 200, 3000, 18); }, 200},
    {"LevelToDensity exponent 0", [] { return LevelToDensity(128, 200, 3000, 0); }, 200},
    {"LevelToPercent 254", [] { return LevelToPercent(254); }, 100},
    {"LevelToPercent 255", [] { return LevelToPercent(255); }, 100},
    {"LevelToPercent 128", [] { return LevelToPercent(128); }, 50},
};

TEST(Numeric, ConversionTable)
{
    for (const ConversionCase& c : kConversions)
        EXPECT_EQ(c.compute(), c.expected) << c.name;
}

TEST(Numeric, RangeCurveDirectionsAgree)
{
    // A level mapped to a density and back lands on the same share of the range.
    for (int level : {0, 64, 128, 192, 255}) {
        const int32_t density = LevelToDensity(level, 300, 2800, 18);
        const int32_t percent = DensityToRangePercent(density, 300, 2800, 18);
        EXPECT_NEAR(percent, level * 100 / 255, 1) << level;
    }
}

TEST(Numeric, SwapShorts)
{
    int16_t a = 1, b = -2;
    SwapShorts(a, b);
    EXPECT_EQ(a, -2);
    EXPECT_EQ(b, 1);
}

TEST(Numeric, HexEncodeWritesUpperCaseDigits)
{
    const uint8_t bytes[] = {0x00, 0xAB, 0x7F};
    char text[7];
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(HexEncode(bytes, 2, text), 4);
    EXPECT_STREQ(text, "00AB");
    EXPECT_EQ(HexEncode(bytes, 3, text), 6);
    EXPECT_STREQ(text, "00AB7F");
}

struct DecodeCase {
    const char* text;
    uint8_t expected[4];
};

const DecodeCase kDecodes[] = {
    {"00ab", {0x00, 0xAB, 0, 0}},            // short text: zeros behind it
    {"0102030405", {1, 2, 3, 4}},            // long text: cut at count bytes
    {"FfeE1", {0xFF, 0xEE, 0, 0}},           // mixed case; the unpartnered digit is ignored
    {"zz10", {0x00, 0x10, 0, 0}},            // a character that is no digit counts as 0
    {"", {0, 0, 0, 0}},
};

TEST(Numeric, HexDecodeTable)
{
    for (const DecodeCase& c : kDecodes) {
        uint8_t bytes[4] = {0x55, 0x55, 0x55, 0x55};
        HexDecode(bytes, 4, c.text);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(bytes[i], c.expected[i]) << c.text << " byte " << i;
    }
}

TEST(Numeric, HexRoundTrip)
{
    uint8_t bytes[256];
    for (int i = 0; i < 256; ++i)
        bytes[i] = (uint8_t)(255 - i);
    char text[513];
    HexEncode(bytes, 256, text);
    uint8_t back[256] = {};
    HexDecode(back, 256, text);
    EXPECT_EQ(std::memcmp(bytes, back, sizeof bytes), 0);
}

struct FormatCase {
    double value;
    int decimals;
    const char* expected;
};

const FormatCase kFormats[] = {
    {12.0, 0, "12"},   {1.25, 1, "1.3"},   {0.05, 2, "0.05"}, {0.4, 0, "0"},
    {-1.5, 2, "-1.50"}, {3.0, 3, "3.000"}, {0.001, 3, "0.001"}, {-0.004, 2, "0.00"},
    {99.996, 2, "100.00"},
};

TEST(Numeric, FormatNumberTable)
{
    for (const FormatCase& c : kFormats)
        EXPECT_STREQ((const char*)FormatNumber(c.value, c.decimals), c.expected)
            << c.value << " with " << c.decimals;
}

}  // namespace
