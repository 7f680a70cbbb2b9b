// The OSTRAVEL host shading calibration: gains from known readings, the INI keys and their
// limits, and the calibration tables and mode block the device receives.

#include "tests/drivers/pendaro/PendaroBench.h"

#include <string>
#include <vector>

namespace {

struct GainCase {
    const char* name;
    uint16_t lines, black, white;
    uint8_t level;
    std::vector<uint16_t> readings;         // one pixel, line by line; repeated to fill the lines
    uint16_t gain;
};

std::vector<uint16_t> Repeat(uint16_t value, size_t count, std::vector<uint16_t> tail = {})
{
    std::vector<uint16_t> readings(count, value);
    readings.insert(readings.end(), tail.begin(), tail.end());
    return readings;
}

const GainCase kGains[] = {
    // The 8 middle readings 810..880 average 845: 1024 x 1000 / 845.
    {"MeanOfTheMiddleReadings", 11, 2, 1, 249, {100, 900, 800, 810, 820, 830, 840, 850, 860, 870, 880}, 1211},
    {"AtTheTargetIsUnity", 11, 2, 1, 249, Repeat(1000, 11), 1024},
    {"AboveTheTargetIsUnity", 11, 2, 1, 249, Repeat(1010, 11), 1024},
    {"AtTheThresholdTooDark", 11, 2, 1, 249, Repeat(15, 11), 0xFFFF},
    {"JustAboveTheThreshold", 11, 2, 1, 249, Repeat(16, 11), 64000},
    {"PresetLevelsGiveTarget1024", 11, 2, 1, 255, Repeat(512, 11), 2048},
    // Sums beyond 16 bits and readings beyond 1024: 60 x 900 and one 5000 kept, mean 967.
    {"SumsBeyondSixteenBits", 64, 2, 1, 255, Repeat(900, 62, {5000, 5000}), 1084},
    {"NoDiscards", 2, 0, 0, 249, {400, 600}, 2048},
};

class OstravelShadingTest : public OstravelBench {};

}  // namespace

TEST_F(OstravelShadingTest, GainsOfKnownReadings)
{
    Start();
    COstravelDriver& driver = Driver();
    for (const GainCase& c : kGains) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(c.lines, c.readings.size());
        driver.m_nShadingPixels = 1;
        driver.m_nShadingLineBytes = 2;
        driver.m_bShadingColour = 0;
        driver.m_nShadingLines = c.lines;
        driver.m_nBlackDiscard = c.black;
        driver.m_nWhiteDiscard = c.white;
        driver.m_Levels[0] = ShadingLevelOf(c.level);
        std::vector<uint8_t> lines;
        for (uint16_t reading : c.readings) {
            lines.push_back(uint8_t(reading));
            lines.push_back(uint8_t(reading >> 8));
        }
        std::vector<uint8_t> table(4, 0xEE);
        driver.BuildShadingTable(0, lines.data(), table.data());
        EXPECT_EQ(c.gain, table[2] | (table[3] << 8));
    }
}

TEST_F(OstravelShadingTest, LevelsFromTheStatus)
{
    const CShadingLevel level = ShadingLevelOf(255);
    EXPECT_EQ(1u << 28, level.m_nNumerator);
    EXPECT_EQ(1024, level.m_nTarget);
    EXPECT_EQ(256, level.m_nThreshold);
    const CShadingLevel low = ShadingLevelOf(0);
    EXPECT_EQ(1u << 20, low.m_nNumerator);
    EXPECT_EQ(4, low.m_nTarget);
    EXPECT_EQ(1, low.m_nThreshold);
}

TEST_F(OstravelShadingTest, KeysAndTheirLimits)
{
    struct Case {
        const char* name;
        const char* lines;
        const char* black;
        const char* white;
        uint16_t usedLines, usedBlack, usedWhite;
    };
    const Case kCases[] = {
        {"Defaults", nullptr, nullptr, nullptr, 11, 2, 1},
        {"TwelveOrMoreActsAsElevenThenHalfTheLines", "11", "20", "12", 11, 4, 4},
        {"ManyLines", "40", "20", "3", 40, 11, 3},
        {"TwoLinesKeepBoth", "2", "5", "5", 2, 0, 0},
        {"OneLineTakesTheDefault", "1", nullptr, nullptr, 11, 2, 1},
        {"NegativeTakesTheDefault", "-3", nullptr, nullptr, 11, 2, 1},
        {"TooManyTakesTheDefault", "65", nullptr, nullptr, 11, 2, 1},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        for (const char* key : {"ShadingLines", "BlackPixelsToDiscard", "WhitePixelsToDiscard"})
            SetIni("Ostravel", key, nullptr);
        if (c.lines != nullptr)
            SetIni("Ostravel", "ShadingLines", c.lines);
        if (c.black != nullptr)
            SetIni("Ostravel", "BlackPixelsToDiscard", c.black);
        if (c.white != nullptr)
            SetIni("Ostravel", "WhitePixelsToDiscard", c.white);
        Start({{"shadingpixels", "16"}});
        Select(kImageGrey, 100, 0, 0, 1000, 1000);
        ASSERT_EQ(kDriverOk, Driver().HostShadingCalibration());
        EXPECT_EQ(c.usedLines, Driver().m_nShadingLines);
        EXPECT_EQ(c.usedBlack, Driver().m_nBlackDiscard);
        EXPECT_EQ(c.usedWhite, Driver().m_nWhiteDiscard);
        EXPECT_EQ(int(c.usedLines), Device().ShadingLinesRead());
    }
}

TEST_F(OstravelShadingTest, TablesAndModeBlockAsTheDeviceReceivesThem)
{
    struct Case {
        const char* name;
        int32_t type;
        int32_t quality;
        int32_t original;
        std::vector<uint8_t> mode;
        std::vector<uint8_t> ids;
    };
    const Case kCases[] = {
        {"Grey", kImageGrey, 2, 0, {0x00, 0x08}, {0x01}},
        {"ColourRedGreenBlue", kImageRgb, 2, 0, {0x01, 0x08}, {0x41, 0x81, 0xC1}},
        {"QualityIsTheSlowSpeed", kImageRgb, 1, 0, {0x05, 0x08}, {0x41, 0x81, 0xC1}},
        {"Transparency", kImageGrey, 2, 1, {0x08, 0x08}, {0x01}},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        // Every pixel reads 0.8 of its target: a gain of 1.25, 1280 = 0x0500, whatever the level.
        Start({{"shadingpixels", "4"}, {"levels", "249,99,49"}, {"transparency", "1"}});
        Select(c.type, 150, 0, 0, 1000, 1000);
        m_Settings.SetParam(kParamQuality, c.quality);
        m_Settings.SetParam(kParamOriginal, c.original);
        ASSERT_EQ(kDriverOk, Driver().SetScanParameters(&m_Settings));
        EXPECT_EQ(c.mode, Device().ShadingMode());
        EXPECT_EQ(c.ids, Device().CalibrationOrder());
        for (uint8_t id : c.ids) {
            const std::vector<uint8_t> expected = {0x00, id, 0x00, 0x00, 0x00, 0x00, 0x05, 0x05, 0x05, 0x05};
            EXPECT_EQ(expected, Device().CalibrationTable(id)) << int(id);
        }
        EXPECT_FALSE(Device().IsScanning());
    }
}

TEST_F(OstravelShadingTest, FeederWithItsStatusSkipsTheCalibration)
{
    SetIni("General", "ADF", "1");
    Start({{"feeder", "1"}});
    Select(kImageGrey, 150, 0, 0, 2540, 2540);
    CBenchImage image = ScanFromPrescan();
    ASSERT_EQ(kDriverOk, image.status);
    EXPECT_EQ(1, Driver().m_bFeederStatus);
    EXPECT_EQ(0, Device().ShadingLinesRead());
    EXPECT_EQ(0x01, Device().LastScan().accessory & 0x01);
}
