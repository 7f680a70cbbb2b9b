// The commands of PENDARO and OSTRAVEL scans as the device receives them: the transcripts of a grey
// and a colour scan per kind, lookup-table blocks, exposure pages and the exposure limit.

#include "drivers/koval2/PendaroLut.h"
#include "tests/drivers/pendaro/PendaroBench.h"

#include <string>
#include <vector>

namespace {

std::vector<std::string> TranscriptWithData(const CVirtualTarget& device)
{
    std::vector<std::string> lines;
    for (const CSimLogEntry& entry : device.Log())
        lines.push_back(entry.TranscriptLine());
    return lines;
}

const std::vector<std::string> kPendaroGrey = {
    "10 00 00 00 e0 00",                        // SET ACCESSORY: glass, speed, reflective
    "00 00 00 00 00 00",
    "55 00 27 00 00 00 00 04 00 01 > 1024",     // 1024 one-byte entries, device maximum 1023
    "00 00 00 00 00 00",
    "04 00 00 00 09 00 > 9",
    "00 00 00 00 00 00",
    "15 00 00 00 0a 00 > 11",                   // the page of 10 bytes in its 11-byte block
    "00 00 00 00 00 00",
    "16 00 00 00 0a 00 > 10",
    "00 00 00 00 00 00",
    "1b 00 00 00 41 00",
    "0f 00 00 00 06 00",
    "0f 00 00 00 06 00",
    "08 00 00 00 4c 00",
    "1b 00 00 00 00 00",
};

const std::vector<std::string> kPendaroColour = {
    "10 00 00 00 e0 00",
    "00 00 00 00 00 00",
    "55 00 27 00 00 00 00 04 00 41 > 1024",
    "55 00 27 00 00 00 00 04 00 81 > 1024",
    "55 00 27 00 00 00 00 04 00 c1 > 1024",
    "00 00 00 00 00 00",
    "04 00 00 00 09 00 > 9",
    "00 00 00 00 00 00",
    "15 00 00 00 0a 00 > 11",
    "00 00 00 00 00 00",
    "15 00 00 00 0a 00 > 11",
    "00 00 00 00 00 00",
    "15 00 00 00 0a 00 > 11",
    "00 00 00 00 00 00",
    "16 00 00 00 0a 00 > 10",
    "00 00 00 00 00 00",
    "1b 00 00 00 61 00",
    "0f 00 00 00 06 00",
    "0f 00 00 00 06 00",
    "08 00 00 00 4c 00",
    "1b 00 00 00 00 00",
};

// The calibration of an OSTRAVEL scan: the mode block, the shading status, eleven shading lines,
// the end of the sampling and the tables, before the window.
std::vector<std::string> OstravelTranscript(bool colour)
{
    std::vector<std::string> lines = {"10 00 00 00 e0 00", "00 00 00 00 00 00"};
    for (const char* id : colour ? std::vector<const char*>{"41", "81", "c1"} : std::vector<const char*>{"01"})
        lines.push_back(std::string("55 00 27 00 00 00 00 08 00 ") + id + " > 2048");
    lines.push_back("11 00 00 00 02 00 > 2");
    lines.push_back("0f 00 00 00 09 00");
    for (int i = 0; i < 11; ++i)
        lines.push_back("08 00 00 00 01 00");
    lines.push_back("1b 00 00 00 00 00");
    for (int i = 0; i < (colour ? 3 : 1); ++i)
        lines.push_back("0c 00 00 00 12 00 > 18");
    const std::vector<std::string> scan = {
        "00 00 00 00 00 00", "04 00 00 00 09 00 > 9", "00 00 00 00 00 00", "15 00 00 00 0e 00 > 15",
    };
    lines.insert(lines.end(), scan.begin(), scan.end());
    for (int i = 1; i < (colour ? 3 : 1); ++i) {
        lines.push_back("00 00 00 00 00 00");
        lines.push_back("15 00 00 00 0e 00 > 15");
    }
    const std::vector<std::string> rest = {
        "00 00 00 00 00 00", "16 00 00 00 0a 00 > 10", "00 00 00 00 00 00",
        colour ? "1b 00 00 00 61 00" : "1b 00 00 00 41 00", "0f 00 00 00 06 00", "0f 00 00 00 06 00",
        "08 00 00 00 4c 00", "1b 00 00 00 00 00",
    };
    lines.insert(lines.end(), rest.begin(), rest.end());
    return lines;
}

class PendaroCommandTest : public PendaroBench {};
class OstravelCommandTest : public OstravelBench {};

}  // namespace

TEST_F(PendaroCommandTest, GreyAndColourScanTranscripts)
{
    for (const auto& [type, expected] : {std::pair{kImageGrey, kPendaroGrey}, std::pair{kImageRgb, kPendaroColour}}) {
        SCOPED_TRACE(type);
        Start({{"lut", "0x22"}});
        Select(type, 150, 0, 0, 1270, 1270);
        Device().ClearLog();
        CBenchImage image = ScanFromPrescan();
        ASSERT_EQ(kDriverOk, image.status);
        EXPECT_EQ(expected, TranscriptWithData(Device()));
        EXPECT_EQ(76u, image.lines);
    }
}

TEST_F(OstravelCommandTest, GreyAndColourScanTranscripts)
{
    for (bool colour : {false, true}) {
        SCOPED_TRACE(colour);
        Start({{"shadingpixels", "8"}});
        Select(colour ? kImageRgb : kImageGrey, 150, 0, 0, 1270, 1270);
        Device().ClearLog();
        CBenchImage image = ScanFromPrescan();
        ASSERT_EQ(kDriverOk, image.status);
        EXPECT_EQ(OstravelTranscript(colour), TranscriptWithData(Device()));
    }
}

TEST_F(PendaroCommandTest, LookupTableBlocks)
{
    struct Case {
        const char* name;
        const char* lut;
        size_t length;
        uint8_t tableByte;
        std::vector<uint8_t> head;          // entries 0, 1, ... as sent
        std::vector<uint8_t> tail;          // the last bytes
    };
    const Case kCases[] = {
        {"ByteEntriesForA255Device", "0x01", 256, 0x00, {0x00, 0x01, 0x02}, {0xFE, 0xFF}},
        {"ByteEntriesForA1023DeviceAt8Bits", "0x22", 1024, 0x01, {0x00, 0x00, 0x00, 0x00}, {0xFF}},
        {"ByteEntriesOfBit7", "0xA2", 1024, 0x00, {0x00, 0x00}, {0xFF}},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Start({{"lut", c.lut}});
        Select(kImageGrey, 150, 0, 0, 1270, 1270);
        ASSERT_EQ(kDriverOk, Driver().UpdateScanGeometry());
        ASSERT_EQ(kDriverOk, Driver().SendLookupTables());
        std::vector<uint8_t> block = Device().LastLutBlock();
        ASSERT_EQ(c.length, block.size());
        EXPECT_EQ(c.tableByte, Device().LastTableByte());
        EXPECT_EQ(c.head, std::vector<uint8_t>(block.begin(), block.begin() + long(c.head.size())));
        EXPECT_EQ(c.tail, std::vector<uint8_t>(block.end() - long(c.tail.size()), block.end()));
    }
}

TEST_F(PendaroCommandTest, TableBlockPacking)
{
    struct Case {
        const char* name;
        uint16_t maximum;
        std::vector<uint16_t> table;
        std::vector<uint8_t> block;
    };
    const Case kCases[] = {
        {"ByteEntriesStopAt255", 255, {0, 200, 255, 300}, {0x00, 0xC8, 0xFF, 0xFF}},
        {"WordEntriesLittleEndian", 1023, {1, 0x203, 1023, 0}, {0x01, 0x00, 0x03, 0x02, 0xFF, 0x03, 0x00, 0x00}},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        CPendaroLut lut(uint32_t(c.table.size()), c.maximum);
        ASSERT_EQ(c.block.size(), lut.GetLength());
        lut.LoadTable(c.table.data(), uint32_t(c.table.size()));
        EXPECT_EQ(c.block, std::vector<uint8_t>(lut.GetData(), lut.GetData() + lut.GetLength()));
        EXPECT_EQ(c.maximum, lut.GetMaxValue());
        EXPECT_EQ(c.table.size(), lut.GetEntryCount());
    }
}

TEST_F(OstravelCommandTest, TablesOfTheDeviceMaximumLittleEndian)
{
    Start();
    Select(kImageRgb, 150, 0, 0, 1270, 1270);
    ASSERT_EQ(kDriverOk, Driver().UpdateScanGeometry());
    ASSERT_EQ(kDriverOk, Driver().SendLookupTables());
    std::vector<uint8_t> block = Device().LastLutBlock();
    ASSERT_EQ(2048u, block.size());
    EXPECT_EQ(0xC1, Device().LastTableByte());
    EXPECT_EQ((std::vector<uint8_t>{0x00, 0x00, 0x01, 0x00, 0x02, 0x00}),
              std::vector<uint8_t>(block.begin(), block.begin() + 6));
    EXPECT_EQ((std::vector<uint8_t>{0xFF, 0x03}), std::vector<uint8_t>(block.end() - 2, block.end()));
    EXPECT_EQ(1, Driver().IsLutRising(kImageGrey));
    EXPECT_EQ(0, Driver().IsLutRising(kImageLineArt));
}

TEST_F(PendaroCommandTest, ExposurePages)
{
    struct Case {
        const char* name;
        CDeviceOptions device;
        int32_t type;
        int32_t resolution;
        int channel;
        std::vector<uint8_t> page;
    };
    const Case kCases[] = {
        {"Grey150", {}, kImageGrey, 150, 0, {0x8B, 0x32, 0x07, 0x07, 0x00, 0x01, 0x00, 0xFF, 0x68, 0x10}},
        {"BlueAbove300OnTheHigherOptical", {}, kImageRgb, 450, 3,
         {0xEB, 0x4B, 0x07, 0x07, 0x00, 0x01, 0x00, 0xFF, 0x68, 0x10}},
        {"GroupedSamplesCountBedLinesAt8", {{"grouping", "8"}}, kImageGrey, 300, 0,
         {0x83, 0x64, 0x07, 0x07, 0x00, 0x01, 0x00, 0xFF, 0x70, 0x00}},
        {"LongPageEndsIn0x80", {{"longpage", "1"}}, kImageGrey, 150, 0,
         {0x8B, 0x32, 0x07, 0x07, 0x00, 0x01, 0x00, 0xFF, 0x68, 0x10, 0x80}},
        {"SecondKindByte5FromTheState", {{"model", "pendaro2"}}, kImageGrey, 200, 0,
         {0x8B, 0x32, 0x07, 0x07, 0x00, 0x01, 0x00, 0xFF, 0xE0, 0x15}},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Start(c.device);
        Select(c.type, c.resolution, 0, 0, 1270, 1270);
        ASSERT_EQ(kDriverOk, Driver().UpdateScanGeometry());
        ASSERT_EQ(kDriverOk, Driver().SetScanParameters(&m_Settings));
        EXPECT_EQ(c.page, Device().LastExposurePage(c.channel));
    }
}

TEST_F(OstravelCommandTest, FifteenBytePage)
{
    Start({{"longpage", "1"}, {"shadingpixels", "8"}});
    Select(kImageGrey, 150, 0, 0, 1270, 1270);
    m_Settings.SetParam(kParamQuality, 1);
    ASSERT_EQ(kDriverOk, Driver().UpdateScanGeometry());
    ASSERT_EQ(kDriverOk, Driver().SetScanParameters(&m_Settings));
    // Quality: exposure limit 47 x 3 + 79 = 220, speed 2, the resolution on its quality step.
    EXPECT_EQ((std::vector<uint8_t>{0x89, 0x00, 0x07, 0x07, 0x00, 0x02, 0x00, 0xFF, 0xD0, 0x20, 0x96, 0x00, 0x96,
                                    0x00, 0x7F}),
              Device().LastExposurePage(0));
}

TEST_F(PendaroCommandTest, ExposureLimitNeverBelowTheFirstStep)
{
    // A light minimum density asks for the longest exposure the limit allows.
    struct Case {
        const char* name;
        const char* limitByte;
        int32_t quality;
        uint8_t exposure;
    };
    const Case kCases[] = {
        {"SmallestByteOutsideQuality", "14", 2, 7},
        {"Byte40OutsideQuality", "40", 2, 7},
        {"Byte41OutsideQuality", "41", 2, 7},
        {"DefaultOutsideQuality", "47", 2, 10},
        {"SmallestByteInQuality", "14", 1, 14},
        {"DefaultInQuality", "47", 1, 47},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Start({{"exposurelimit", c.limitByte}});
        Select(kImageGrey, 150, 0, 0, 1270, 1270);
        m_Settings.SetParam(kParamQuality, c.quality);
        m_Settings.SetParam(kParamMinDensity, 900);
        ASSERT_EQ(kDriverOk, Driver().UpdateScanGeometry());
        ASSERT_EQ(kDriverOk, Driver().SetScanParameters(&m_Settings));
        std::vector<uint8_t> page = Device().LastExposurePage(0);
        ASSERT_GE(page.size(), 8u);
        EXPECT_EQ(c.exposure, page[2]);
    }
}
