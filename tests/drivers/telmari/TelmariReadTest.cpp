// The TELMARI data path: buffered reading with a stalling device, the swap and widening of deep
// samples, and the automatic densities read back at the end of a scan.

#include "drivers/telmari/TelmariDriver.h"

#include "sim/TestChart.h"
#include "tests/drivers/telmari/TelmariBench.h"

#include <string>
#include <vector>

namespace {

class TelmariReadTest : public TelmariBench { };

// The line counts of the image reads the device saw.
std::vector<uint32_t> ReadLineCounts(const CVirtualTarget& device)
{
    std::vector<uint32_t> counts;
    for (const CSimLogEntry& entry : EntriesWithOpcode(device, 0x28)) {
        if (entry.cdb[2] == 0)
            counts.push_back((uint32_t(entry.cdb[6]) << 16) | (entry.cdb[7] << 8) | entry.cdb[8]);
    }
    return counts;
}

}  // namespace

TEST_F(TelmariReadTest, BufferedReadingCopesWithAStall)
{
    // 300 pixels at 150 ppi make lines of 304 bytes; the 96 lines of the window come in one transfer.
    struct Case {
        const char* name;
        const char* readFix;  // INI value, null when absent
        const char* stall;
        std::vector<uint32_t> reads;
        size_t minimumPolls;
    };
    const Case kCases[] = {
        {"no stall", nullptr, "0", {96}, 1},
        // Stalled at 30 lines and a bit: the whole lines first, the rest once the device goes on.
        {"read fix", "1", "9220", {30, 66}, 8},
        {"read fix by default", nullptr, "9220", {30, 66}, 8},
        // Stalled short of one line: nothing to read first, the second wait brings the whole request.
        {"read fix, less than a line", "1", "200", {96}, 8},
        // Without the fix the stall ends the wait and the whole request is read at once.
        {"no read fix", "0", "9220", {96}, 7},
    };
    std::vector<uint8_t> reference;
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        SetIni("General", "TelmariReadFix", c.readFix);
        Start({{"stall", c.stall}});
        EXPECT_EQ(std::string(c.readFix != nullptr ? c.readFix : "1") == "1" ? 1 : 0, Driver().m_bReadFix);
        Select(kImageGrey, 150, 500, 500, 5080, 1500);
        Device().ClearLog();
        CBenchImage image = ScanFromReserve();
        ASSERT_EQ(kDriverOk, image.status);
        EXPECT_EQ(c.reads, ReadLineCounts(Device()));
        EXPECT_GE(EntriesWithOpcode(Device(), 0x34).size(), c.minimumPolls);
        ASSERT_EQ(96u, image.lines);
        if (reference.empty())
            reference = image.bytes;
        EXPECT_TRUE(reference == image.bytes) << "the stalled scan differs from the plain one";
        EXPECT_TRUE(m_Messages.Ids().empty());
    }
    SetIni("General", "TelmariReadFix", nullptr);
}

TEST_F(TelmariReadTest, DeepSamplesAreSwappedAndWidenedInPlace)
{
    struct Case {
        uint32_t bits;
        bool widen;
        uint8_t high, low;  // as they arrive
        uint16_t value;  // as they leave
    };
    const Case kCases[] = {
        {12, true, 0x0A, 0xBC, 0xABCA},  // the top four bits copied into the empty low ones
        {12, false, 0x0A, 0xBC, 0x0ABC},
        {12, true, 0x0F, 0xFF, 0xFFFF},
        {12, true, 0x00, 0x00, 0x0000},
        {14, true, 0x3A, 0xBC, 0xEAF3},
        {16, true, 0xAB, 0xCD, 0xABCD},
        {16, false, 0x12, 0x34, 0x1234},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(testing::Message() << c.bits << " bits " << (c.widen ? "widened" : "swapped"));
        // Two samples, so that a swap that runs one byte off shows.
        uint8_t data[4] = {c.high, c.low, c.high, c.low};
        TelmariSwapSamples(data, 2, c.bits, c.widen);
        EXPECT_EQ(c.value, data[0] | (data[1] << 8));
        EXPECT_EQ(c.value, data[2] | (data[3] << 8));
    }
}

TEST_F(TelmariReadTest, DeepScansArriveLittleEndian)
{
    struct Case {
        const char* model;
        int32_t type;
        int32_t bits;
        const char* widen;  // INI Shiftto16beforeCMS
    };
    const Case kCases[] = {
        {"plus", kImageGrey, 12, "0"},
        {"plus", kImageGrey, 12, "1"},
        {"ultra", kImageRgb, 12, "1"},
        {"telmari", kImageRgb, 16, "0"},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(testing::Message() << c.model << " " << c.bits << " bits, widen " << c.widen);
        SetIni("General", "Shiftto16beforeCMS", c.widen);
        Start({{"model", c.model}});
        Select(c.type, 100, 500, 500, 2540, 1000);
        m_Settings.SetParam(kParamBitsPerChannel, c.bits);
        CBenchImage image = ScanFromReserve();
        ASSERT_EQ(kDriverOk, image.status);
        CChartWindow chart = Device().LastScan().chart;
        chart.bitsPerSample = 16;
        std::vector<uint8_t> light = CTestChart::Render(chart);
        ASSERT_EQ(light.size(), image.bytes.size());
        uint32_t shift = 16 - uint32_t(c.bits);
        uint32_t mismatches = 0;
        for (size_t i = 0; i + 1 < light.size(); i += 2) {
            uint32_t sample = ((light[i] << 8) | light[i + 1]) >> shift;
            uint32_t want = std::string(c.widen) == "1" ? (sample << shift) | (sample >> (c.bits - shift)) : sample;
            mismatches += uint32_t(image.bytes[i] | (image.bytes[i + 1] << 8)) == want ? 0 : 1;
        }
        EXPECT_EQ(0u, mismatches);
    }
    SetIni("General", "Shiftto16beforeCMS", nullptr);
}

TEST_F(TelmariReadTest, AutomaticDensitiesComeBackWithGetWindow)
{
    struct Case {
        const char* name;
        int32_t type;
        int32_t method;
        int32_t autoMin, autoMax, preview;
        size_t getWindows;
        int32_t minDensity, maxDensity, threshold;
    };
    // The device settles on 0.12 D and 2.45 D when it exposes automatically.
    const Case kCases[] = {
        {"automatic range", kImageGrey, 0, 0, 0, 0, 1, 120, 2450, 50},
        {"automatic shadow", kImageGrey, 2, 1, 0, 0, 1, 120, 3000, 50},
        {"fixed densities", kImageGrey, 2, 0, 0, 0, 0, 300, 3000, 50},
        {"after a preview", kImageGrey, 2, 1, 1, 1, 0, 300, 3000, 50},
        // The device's line art sets the threshold from the densities it found.
        {"automatic line art", kImageLineArt, 0, 0, 0, 0, 1, 120, 2450, 39},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Start();
        Select(c.type, 300, 0, 0, 1270, 1270);
        m_Settings.SetParam(kParamRangeMode, c.method);
        m_Settings.SetParam(kParamAutoMinimum, c.autoMin);
        m_Settings.SetParam(kParamAutoMaximum, c.autoMax);
        m_Settings.SetParam(kParamPreviewFlag, c.preview);
        m_Settings.SetParam(kParamMinDensity, 300);
        m_Settings.SetParam(kParamMaxDensity, 3000);
        Device().ClearLog();
        CBenchImage image = ScanFromReserve();
        ASSERT_EQ(kDriverOk, image.status);
        EXPECT_EQ(c.getWindows, EntriesWithOpcode(Device(), 0x25).size());
        EXPECT_EQ(c.minDensity, m_Settings.GetParam(kParamMinDensity));
        EXPECT_EQ(c.maxDensity, m_Settings.GetParam(kParamMaxDensity));
        EXPECT_EQ(c.threshold, m_Settings.GetParam(kParamThreshold));
    }
}

TEST_F(TelmariReadTest, FailedGetWindowKeepsTheDensities)
{
    Start();
    Select(kImageGrey, 300, 0, 0, 1270, 1270);
    m_Settings.SetParam(kParamRangeMode, 0);
    m_Settings.SetParam(kParamMinDensity, 300);
    m_Settings.SetParam(kParamMaxDensity, 3000);
    Device().AddFault(TelmariCheck(0x25, 4, 0x6000));
    CBenchImage image = ScanFromReserve();
    ASSERT_EQ(kDriverOk, image.status);
    EXPECT_EQ(300, m_Settings.GetParam(kParamMinDensity));
    EXPECT_EQ(3000, m_Settings.GetParam(kParamMaxDensity));
    EXPECT_FALSE(Device().IsScanning());
}
