// The TM-R's blocks on the wire: the window descriptor, the lookup-table blocks, the scan parameter
// block and the commands of a whole scan.

#include "drivers/tmr/TmrDriver.h"

#include "tests/drivers/tmr/TmrBench.h"

#include <map>
#include <string>
#include <vector>

namespace {

class TmrCommandTest : public TmrBench {
protected:
    // The settings of a window case with every value the descriptor carries set.
    void SelectWindow(
        int32_t type, int32_t resolution, int32_t original, int32_t left, int32_t top, int32_t width, int32_t height)
    {
        Select(type, resolution, left, top, width, height);
        m_Settings.SetParam(kParamOriginal, original);
        m_Settings.SetParam(kParamWindowId, 0);
        m_Settings.SetParam(kParamMinDensity, 300);
        m_Settings.SetParam(kParamMaxDensity, 2000);
        m_Settings.SetParam(kParamSharpness, 0);
        m_Settings.SetParam(kParamWindow49, 0);
        m_Settings.SetParam(kParamWindow50, 0);
        m_Settings.SetParam(kParamQuality, 2);
        m_Settings.SetParam(kParamWindow56, 0);
        m_Settings.SetParam(kParamWindow63, 0);
        m_Settings.SetParam(kParamWindow64, 0);
        m_Settings.SetParam(kParamWindow65, 0);
        m_Settings.SetParam(kParamScreenRuling, 0);
        m_Settings.SetParam(kParamStoredHundred, 100);
        m_Settings.SetParam(kParamGainRed, 90);
        m_Settings.SetParam(kParamGainGreen, 100);
        m_Settings.SetParam(kParamGainBlue, 110);
    }
    // The descriptor of the one SET WINDOW the settings send.
    std::vector<uint8_t> SentDescriptor()
    {
        EXPECT_EQ(kDriverOk, Driver().UpdateScanGeometry());
        Device().ClearLog();
        EXPECT_EQ(kDriverOk, Driver().SetScanParameters(&m_Settings));
        std::vector<CSimLogEntry> set = EntriesWithOpcode(Device(), 0x24);
        if (set.size() != 1 || set[0].dataOut.size() != 8 + CTmrDriver::kDescriptorBytes)
            return {};
        EXPECT_EQ(0x6E, set[0].dataOut[7]);
        return std::vector<uint8_t>(set[0].dataOut.begin() + 8, set[0].dataOut.end());
    }
};

std::vector<uint8_t> Descriptor(const std::map<int, uint8_t>& bytes)
{
    std::vector<uint8_t> d(CTmrDriver::kDescriptorBytes, 0);
    for (const auto& b : bytes)
        d[size_t(b.first)] = b.second;
    return d;
}

}  // namespace

// An RGB window on the glass: 300 ppi, 10 x 20 mm from the corner, 100 x 50 mm, gains 90, 100, 110,
// densities 0.3 and 2.0.
TEST_F(TmrCommandTest, ReflectiveColourWindowIsSentAsTheGoldenBytes)
{
    Start();
    SelectWindow(kImageRgb, 300, 0, 1000, 2000, 10000, 5000);
    const std::vector<uint8_t> expected = Descriptor({
        {2, 0x01}, {3, 0x2C}, {4, 0x01}, {5, 0x2C},  // 300 ppi both ways
        {9, 118},  // left: 300 x 1000 / 2540
        {13, 236},  // top
        {16, 0x04}, {17, 0x9E},  // width 1181 made even: 1182
        {20, 0x02}, {21, 0x4E},  // length 590
        {22, 127}, {23, 127}, {24, 252},  // dot areas of 0.3 and 2.0, threshold 50 %
        {25, 5}, {26, 8}, {28, 1}, {29, 3},  // colour, 8 bits, padding
        {40, 1}, {42, 10}, {43, 10}, {47, 10}, {48, 0}, {49, 246},  // 100 - gain
        {55, 14}, {56, 1},  // composition 5; reflective
        {58, 0x00}, {59, 200},  // opacity of 0.3 D, per cent
        {67, 1}, {68, 1}, {69, 1}, {72, 0}, {73, 100}, {74, 1}, {75, 0xC0}, {76, 0x0B}, {77, 0xB8}, {78, 0x4E},
        {79, 0x20},  // densities x 10
        {80, 0x00}, {81, 0x64}, {82, 0x13}, {83, 0x93},  // transmittances x 10000
    });
    EXPECT_EQ(expected, SentDescriptor());
}

TEST_F(TmrCommandTest, WindowRulesByOriginalTypeAndSize)
{
    struct Case {
        const char* name;
        int32_t type, resolution, original, width;
        uint32_t sentWidth;
        std::vector<uint8_t> gains;  // bytes 47-49
        uint16_t gamma;  // bytes 60-61
        uint8_t reflective;  // byte 56
        uint8_t mode61;  // byte 74
    };
    const Case kCases[] = {
        {"100 mm at 300 ppi", kImageRgb, 300, 0, 10000, 1182, {10, 0, 246}, 0, 1, 1},
        {"sliver at 600 ppi", kImageRgb, 600, 0, 3, 2, {10, 0, 246}, 0, 1, 1},
        {"odd pixel count", kImageGrey, 300, 0, 1100, 130, {0, 0, 0}, 0, 1, 1},
        {"halftone in 16s", kImageHalftone, 300, 0, 1000, 112, {0, 0, 0}, 0, 1, 1},
        {"slide", kImageRgb, 300, 1, 4000, 472, {10, 0, 246}, 2400, 0, 3},
        {"negative", kImageRgb, 300, 2, 4000, 472, {0, 0, 0}, 2400, 0, 3},
        {"grey negative", kImageGrey, 300, 2, 4000, 472, {0, 0, 0}, 2400, 0, 3},
    };
    Start();
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        SelectWindow(c.type, c.resolution, c.original, 1000, 1000, c.width, 3000);
        std::vector<uint8_t> d = SentDescriptor();
        ASSERT_EQ(CTmrDriver::kDescriptorBytes, d.size());
        EXPECT_EQ(c.sentWidth, uint32_t(d[14] << 24 | d[15] << 16 | d[16] << 8 | d[17]));
        EXPECT_EQ(c.gains, std::vector<uint8_t>(d.begin() + 47, d.begin() + 50));
        EXPECT_EQ(c.gamma, d[60] << 8 | d[61]);
        EXPECT_EQ(c.reflective, d[56]);
        EXPECT_EQ(c.mode61, d[74]);
        // Every type is scanned as colour.
        EXPECT_EQ(5, d[25]);
        EXPECT_EQ(c.type == kImageHalftone ? 5 : 1, d[28]);
    }
}

// One complemented table per colour channel; the device's light indexes 1024 entries.
TEST_F(TmrCommandTest, LookupTablesGoOutComplementedPerChannel)
{
    Start();
    Select(kImageGrey, 300, 0, 0, 1270, 1270);
    ASSERT_EQ(kDriverOk, Driver().UpdateScanGeometry());
    Device().ClearLog();
    ASSERT_EQ(kDriverOk, Driver().SendLookupTables());
    std::vector<CSimLogEntry> sent = EntriesWithOpcode(Device(), 0x2A);
    ASSERT_EQ(3u, sent.size());
    for (size_t t = 0; t < sent.size(); ++t) {
        SCOPED_TRACE(t);
        EXPECT_EQ("2a 00 93 00 00 00 00 04 06 00", sent[t].CdbText());
        const std::vector<uint8_t>& block = sent[t].dataOut;
        ASSERT_EQ(CTmrDriver::kLutBlockBytes, block.size());
        EXPECT_EQ((std::vector<uint8_t> {uint8_t(t + 1), 0, 10, 8, 0, 0}),
            std::vector<uint8_t>(block.begin(), block.begin() + 6));
        // Black light is sent as 255, full light as 0, falling in between.
        EXPECT_EQ(255, block[6]);
        EXPECT_EQ(0, block[6 + 1023]);
        for (size_t i = 7; i < block.size(); ++i)
            ASSERT_LE(block[i], block[i - 1]) << i;
    }
}

// A plain RGB scan: the commands the device sees and their order, kept as data.
TEST_F(TmrCommandTest, StandardScanTranscript)
{
    Start();
    Select(kImageRgb, 100, 0, 0, 1000, 500);
    Device().ClearLog();
    CBenchImage image = ScanFromReserve();
    ASSERT_EQ(kDriverOk, image.status);
    const std::vector<std::string> expected = {
        "16 00 00 00 00 00",  // RESERVE UNIT
        "00 00 00 00 00 00",  // ready for the tables
        "2a 00 93 00 00 00 00 04 06 00",  // red, green, blue tables
        "2a 00 93 00 00 00 00 04 06 00", "2a 00 93 00 00 00 00 04 06 00",
        "00 00 00 00 00 00",  // ready for the window
        "24 00 00 00 00 00 00 00 76 00",  // SET WINDOW, 8 + 110 bytes
        "00 00 00 00 00 00",  // PrepareScan
        "00 00 00 00 00 00",
        "1b 00 00 00 01 00",  // SCAN of window 0
        "28 00 a2 00 27 12 00 00 04 00",  // status value 10002, until 0x90
        "28 00 a2 00 27 12 00 00 04 00", "28 00 a2 00 27 12 00 00 04 00", "00 00 00 00 00 00",
        "28 00 81 00 00 00 00 00 02 00",  // parameter block: its length
        "28 00 81 00 00 00 00 00 28 00",  // and its 40 bytes
        "00 00 00 00 00 00",  // the job's start of the running scan
        "1b 00 00 00 01 00",
        "34 00 00 00 00 00 00 00 0c 00",  // GET DATA BUFFER STATUS
        "28 00 00 00 00 00 00 08 e8 00",  // 40 pixels x 3 x 19 lines
        "17 00 00 00 00 00",  // RELEASE UNIT
    };
    EXPECT_EQ(expected, Device().Transcript());
    CTmrScan scan = Device().LastScan();
    EXPECT_EQ(2, scan.scans);
    EXPECT_EQ(40u, m_Settings.GetPixelsPerLine());
    EXPECT_EQ(19u, m_Settings.GetLineCount());
    EXPECT_EQ(120u, m_Settings.GetBytesPerLine());
    EXPECT_TRUE(m_Messages.Ids().empty());
}

// The parameter block gives the geometry; one too short to hold it is refused, not taken as an
// empty image.
TEST_F(TmrCommandTest, ParameterBlockMustHoldTheGeometry)
{
    struct Case {
        const char* length;
        uint16_t result;
    };
    const Case kCases[] = {{"40", kDriverOk}, {"14", kDriverOk}, {"13", kDriverFailed}, {"0", kDriverFailed}};
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.length);
        StartShort({{"paramlength", c.length}});
        Select(kImageRgb, 100, 0, 0, 1000, 500);
        EXPECT_EQ(c.result, StartScan());
        if (c.result == kDriverOk) {
            EXPECT_EQ(40u, m_Settings.GetPixelsPerLine());
            EXPECT_EQ(19u, m_Settings.GetLineCount());
        }
        Driver().StopScan(0);
    }
}

// After an automatic exposure the scan's densities are the ones the device measured, read back
// from its window as the scan stops; a scan by the user's densities keeps them.
TEST_F(TmrCommandTest, StopTakesTheMeasuredDensitiesOfAnAutomaticExposure)
{
    struct Case {
        const char* name;
        int32_t rangeMode, autoMinimum, autoMaximum;
        int32_t minimum, maximum;
        size_t windowsRead;
    };
    const Case kCases[] = {
        {"automatic", 0, 0, 0, 150, 1850, 1},
        {"automatic minimum", 2, 1, 0, 150, 2000, 1},
        {"automatic maximum", 2, 0, 1, 300, 1850, 1},
        {"the user's densities", 2, 0, 0, 300, 2000, 0},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Start();
        SelectWindow(kImageRgb, 100, 0, 0, 0, 1000, 500);
        m_Settings.SetParam(kParamRangeMode, c.rangeMode);
        m_Settings.SetParam(kParamAutoMinimum, c.autoMinimum);
        m_Settings.SetParam(kParamAutoMaximum, c.autoMaximum);
        Device().ClearLog();
        ASSERT_EQ(kDriverOk, ScanFromReserve().status);
        EXPECT_EQ(c.minimum, m_Settings.GetParam(kParamMinDensity));
        EXPECT_EQ(c.maximum, m_Settings.GetParam(kParamMaxDensity));
        EXPECT_EQ(c.windowsRead, Commands({0x25}).size());
        EXPECT_FALSE(Device().IsReservedByHost());
    }
}
