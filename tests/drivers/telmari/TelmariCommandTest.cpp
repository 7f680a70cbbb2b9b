// The TELMARI family's commands as the device sees them: window descriptors and lookup blocks as
// golden bytes, the film values of negatives, the sense table, and the command transcripts of whole
// scans.

#include "drivers/telmari/TelmariDriver.h"

#include "core/settings/ScanSettings.h"
#include "tests/drivers/telmari/TelmariBench.h"

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace {

class TelmariCommandTest : public TelmariBench {
protected:
    // The descriptor the device took for the current settings.
    std::vector<uint8_t> SentDescriptor()
    {
        EXPECT_EQ(kDriverOk, Driver().UpdateScanGeometry());
        EXPECT_EQ(kDriverOk, Driver().SetScanParameters(&m_Settings));
        std::vector<CTelmariWindow> windows = Device().Windows();
        return windows.empty() ? std::vector<uint8_t>() : windows.back().descriptor;
    }
};

uint32_t Be16(const std::vector<uint8_t>& bytes, size_t at) { return (uint32_t(bytes[at]) << 8) | bytes[at + 1]; }

std::vector<uint8_t> Hex(const char* text)
{
    std::vector<uint8_t> bytes;
    for (const char* p = text; *p != '\0';) {
        if (*p == ' ') {
            ++p;
            continue;
        }
        bytes.push_back(uint8_t(std::stoul(std::string(p, 2), nullptr, 16)));
        p += 2;
    }
    return bytes;
}

}  // namespace

TEST_F(TelmariCommandTest, GreyWindowDescriptorGoldenBytes)
{
    // 600 ppi grey, selection 10 x 20 mm from (5 mm, 10 mm): 118 x 236 pixels from (236, 472),
    // rounded up to 120 x 240; the new record's densities 0 to 4.0 D (opacity 100 %, transmittances
    // 10000 and 1), threshold 50 % on the ink scale (0x80), exposure of fixed densities (0xC0).
    Start();
    Select(kImageGrey, 600, 500, 1000, 500, 1000);
    const std::vector<uint8_t> kExpected =
        Hex("00 00 02 58 02 58 00 00 00 76 00 00 00 ec 00 00 00 78 00 00 00 f0 00 80 fe 02 08 00 00 83 00 00"
            "00 00 00 00 00 00 00 00 01 00 0a 0a 01 00 00 00 00 00 00 00 00 00 00 00 01 00 00 64 00 00 00 00"
            "00 00 00 01 01 02 00 00 00 00 01 c0 00 00 9c 40 00 01 27 10 00 00 00 00 00 00 00 00 00 00 00 00"
            "00 00 00 00 00 00 00 00 00 00 00 00 00 00");
    EXPECT_EQ(kExpected, SentDescriptor());
}

TEST_F(TelmariCommandTest, WindowBytesFollowTheSettings)
{
    struct Case {
        const char* name;
        const char* model;
        int32_t type;
        int32_t resolution;
        int32_t left, width;  // 1/100 mm
        void (*adjust)(CScanSettings&);
        std::vector<std::pair<size_t, std::vector<uint8_t>>> bytes;  // offset, expected bytes
    };
    const Case kCases[] = {
        // 1003 pixels at 600 ppi: width 1008.
        {"rounded up to eight", "telmari", kImageGrey, 600, 0, 4247, nullptr, {{16, {0x03, 0xF0}}}},
        // From 200 mm (pixel 4724) the bed's 5100 pixels at 600 leave 376 of the 712 selected.
        {"cut at the right edge", "telmari", kImageGrey, 600, 20000, 3000, nullptr,
            {{6, {0, 0, 0x12, 0x74}}, {16, {0x01, 0x78}}}},
        {"exposure without preview", "telmari", kImageGrey, 300, 0, 2540,
            [](CScanSettings& s) { s.SetParam(kParamRangeMode, 0); }, {{75, {0xD4}}}},
        {"exposure after a preview, both automatic", "telmari", kImageGrey, 300, 0, 2540,
            [](CScanSettings& s) {
                s.SetParam(kParamRangeMode, 0);
                s.SetParam(kParamPreviewFlag, 1);
                s.SetParam(kParamAutoMinimum, 1);
                s.SetParam(kParamAutoMaximum, 1);
            },
            {{75, {0xD4}}}},
        {"exposure after a preview, shadow automatic", "telmari", kImageGrey, 300, 0, 2540,
            [](CScanSettings& s) {
                s.SetParam(kParamRangeMode, 0);
                s.SetParam(kParamPreviewFlag, 1);
                s.SetParam(kParamAutoMinimum, 1);
                s.SetParam(kParamAutoMaximum, 0);
            },
            {{75, {0xC4}}}},
        {"fixed densities", "telmari", kImageGrey, 300, 0, 2540,
            [](CScanSettings& s) { s.SetParam(kParamRangeMode, 2); }, {{75, {0xC0}}}},
        {"screen ruling 85", "telmari", kImageGrey, 300, 0, 2540,
            [](CScanSettings& s) { s.SetParam(kParamScreenRuling, 85); }, {{66, {1}}, {72, {0, 85}}}},
        {"screen ruling 60", "telmari", kImageGrey, 300, 0, 2540,
            [](CScanSettings& s) {
                s.SetParam(kParamScreenRuling, 60);
                s.SetParam(kParamStoredHundred, 100);
            },
            {{2, {0, 240, 0, 240}}, {66, {0}}, {72, {0, 100}}}},
        {"slide", "telmari", kImageGrey, 300, 0, 2540, [](CScanSettings& s) { s.SetParam(kParamOriginal, 1); },
            {{56, {0}}, {74, {3}}}},
        {"16-bit colour", "telmari", kImageRgb, 300, 0, 2540,
            [](CScanSettings& s) { s.SetParam(kParamBitsPerChannel, 16); },
            {{25, {5}}, {26, {16}}, {55, {14}}, {67, {2}}}},
        // Threshold 30 %: the TELMARI and ULTRA on their ink scale, the PLUS on the light.
        {"TELMARI threshold", "telmari", kImageLineArt, 300, 0, 2540,
            [](CScanSettings& s) { s.SetParam(kParamThreshold, 30); }, {{23, {179}}, {25, {0}}, {26, {1}}}},
        {"PLUS threshold", "plus", kImageLineArt, 300, 0, 2540,
            [](CScanSettings& s) { s.SetParam(kParamThreshold, 30); }, {{23, {76}}}},
        {"ULTRA threshold", "ultra", kImageLineArt, 300, 0, 2540,
            [](CScanSettings& s) { s.SetParam(kParamThreshold, 30); }, {{23, {179}}}},
        {"TELMARI quality extra", "telmari", kImageGrey, 300, 0, 2540,
            [](CScanSettings& s) { s.SetParam(kParamQuality, 0); }, {{46, {0}}}},
        {"ULTRA quality extra", "ultra", kImageGrey, 300, 0, 2540,
            [](CScanSettings& s) { s.SetParam(kParamQuality, 0); }, {{46, {2}}}},
        {"PLUS quality", "plus", kImageGrey, 300, 0, 2540, [](CScanSettings& s) { s.SetParam(kParamQuality, 1); },
            {{46, {1}}}},
        {"holder of a film format", "ultra", kImageGrey, 300, 0, 2540,
            [](CScanSettings& s) {
                s.SetParam(kParamOriginal, 1);
                s.SetParamAllTypes(kParamFormatIndex, 31);
            },
            {{60, {0x10, 0x36}}}},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Start({{"model", c.model}});
        Select(c.type, c.resolution, c.left, 0, c.width, 2540);
        if (c.adjust != nullptr)
            c.adjust(m_Settings);
        std::vector<uint8_t> d = SentDescriptor();
        ASSERT_EQ(110u, d.size());
        for (const auto& expected : c.bytes) {
            std::vector<uint8_t> got(
                d.begin() + long(expected.first), d.begin() + long(expected.first + expected.second.size()));
            EXPECT_EQ(expected.second, got) << "at byte " << expected.first;
        }
        EXPECT_LE(Be16(d, 16) + (uint32_t(d[8]) << 8 | d[9]), 8500u * Be16(d, 2) / 1000);
        EXPECT_EQ(0u, Be16(d, 16) % 2);
    }
}

TEST_F(TelmariCommandTest, WindowParametersStayInTheSettings)
{
    Start();
    Select(kImageGrey, 300, 0, 0, 2540, 2540);
    m_Settings.SetParam(kParamOriginal, 1);
    SentDescriptor();
    EXPECT_EQ(0, m_Settings.GetParam(kParamWindow54));
    EXPECT_EQ(3, m_Settings.GetParam(kParamWindow61));
    EXPECT_EQ(0x80, m_Settings.GetParam(kParamPaddingType));
    EXPECT_EQ(2, m_Settings.GetParam(kParamComposition));
    EXPECT_EQ(10, m_Settings.GetParamForType(kImageRgb, kParamWindow51));
    m_Settings.SetParam(kParamOriginal, 0);
    SentDescriptor();
    EXPECT_EQ(1, m_Settings.GetParam(kParamWindow54));
    EXPECT_EQ(1, m_Settings.GetParam(kParamWindow61));
}

TEST_F(TelmariCommandTest, NegativesSendSixFilmValuesAfterTheWindow)
{
    Start();
    Select(kImageRgb, 300, 0, 0, 2540, 2540);
    m_Settings.SetParam(kParamOriginal, 2);
    const int32_t kDensities[6] = {100, 200, 300, 1500, 1800, 2100};  // minimum R, G, B, maximum R, G, B
    for (int i = 0; i < 6; ++i)
        m_Settings.SetParam(uint16_t(kParamMinDensityRed + i), kDensities[i]);
    Device().ClearLog();
    SentDescriptor();
    // Transmittance x 10000: 10^-1.5 gives 316.
    const std::vector<std::string> kExpected = {
        "00 00 00 00 00 00",
        "24 00 00 00 00 00 00 00 76 00 > 118",
        "2a 00 a2 00 00 21 00 00 04 00 > 4",
        "2a 00 a2 00 00 20 00 00 04 00 > 4",
        "2a 00 a2 00 00 1f 00 00 04 00 > 4",
        "2a 00 a2 00 00 2b 00 00 04 00 > 4",
        "2a 00 a2 00 00 2a 00 00 04 00 > 4",
        "2a 00 a2 00 00 29 00 00 04 00 > 4",
    };
    std::vector<std::string> transcript;
    for (const CSimLogEntry& entry : Device().Log())
        transcript.push_back(entry.TranscriptLine());
    EXPECT_EQ(kExpected, transcript);
    const std::pair<uint16_t, int64_t> kValues[] = {{33, 316}, {32, 158}, {31, 79}, {43, 7943}, {42, 6309}, {41, 5011}};
    for (const auto& value : kValues)
        EXPECT_EQ(value.second, Device().Value(value.first)) << value.first;
    // A colour negative is exposed by the film values, not automatically.
    EXPECT_EQ(0xC0, Device().Windows().back().exposure);
}

TEST_F(TelmariCommandTest, LookupBlocksGoReversedAndComplemented)
{
    struct Case {
        int32_t type;
        std::vector<uint8_t> channels;
    };
    const Case kCases[] = {{kImageGrey, {2}}, {kImageLineArt, {2}}, {kImageRgb, {1, 2, 3}}};
    Start();
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.type);
        Select(c.type, 300, 0, 0, 1270, 1270);
        // A tone curve, so that the table is not symmetric and a wrong order shows.
        m_Settings.SetParamAllTypes(kParamToneCode, 0xFF04);
        ASSERT_EQ(kDriverOk, Driver().UpdateScanGeometry());
        Device().ClearLog();
        ASSERT_EQ(kDriverOk, Driver().SendLookupTables());
        std::vector<CSimLogEntry> sent = EntriesWithOpcode(Device(), 0x2A);
        ASSERT_EQ(c.channels.size(), sent.size());
        std::vector<uint16_t> table(256);
        for (size_t t = 0; t < sent.size(); ++t) {
            EXPECT_EQ("2a 00 b0 00 00 00 00 04 04 00", sent[t].CdbText());
            const std::vector<uint8_t>& block = sent[t].dataOut;
            ASSERT_EQ(1028u, block.size());
            EXPECT_EQ(
                std::vector<uint8_t>({c.channels[t], 0, 1, 0}), std::vector<uint8_t>(block.begin(), block.begin() + 4));
            Driver().BuildScannerLut(table.data(), 256, 0xFFFF, c.type == kImageRgb ? int(t) + 1 : 0, 1000);
            ASSERT_GT(std::abs(int(table[64]) - 64 * 257), 2000) << "the curve bends the table";
            // Entry j holds ink j x 257 and the complement of the table at light 255 - j.
            for (uint32_t j = 0; j < 256; j += 51) {
                EXPECT_EQ(j * 257, Be16(block, 4 + 4 * j)) << j;
                EXPECT_EQ(0xFFFFu - table[255 - j], Be16(block, 6 + 4 * j)) << j;
            }
            // The device, reading it on its ink scale, gives the host table at the light.
            std::vector<uint8_t> samples = Device().TableSamples(c.channels[t]);
            ASSERT_EQ(256u, samples.size());
            for (uint32_t light = 0; light < 256; ++light)
                EXPECT_NEAR(table[light] >> 8, samples[light], 1) << light;
        }
    }
}

TEST_F(TelmariCommandTest, SenseTableCodeToMessage)
{
    struct Case {
        uint8_t key;
        uint16_t code;
        int32_t original;
        uint16_t result;
        int message;  // 0: none
        const char* argument;  // the code as the message shows it, or null
    };
    const Case kCases[] = {
        {0, 0x8001, 0, 0, 0, nullptr},
        {1, 0x8001, 0, 0, 3438, "8001"},  // recovered: reported, the command ran
        {2, 0x0401, 0, 252, 3439, nullptr},
        {3, 0x3A00, 0, 252, 3440, "3A00"},
        {4, 0x1501, 0, 252, 3441, "1501"},
        {5, 0x2600, 0, 252, 3442, nullptr},
        {4, 0x8041, 0, 252, 3443, nullptr},
        {4, 0x8022, 0, 252, 3444, nullptr},
        {4, 0x802A, 0, 252, 3445, "802A"},
        {4, 0x802A, 1, 252, 3446, nullptr},
        {4, 0x6000, 0, 252, 3447, nullptr},
        {4, 0x8016, 0, 252, 3448, nullptr},
        {4, 0x8016, 2, 252, 3449, nullptr},
        {4, 0x8101, 0, 252, 3450, "8101"},
        {2, 0x8025, 0, 252, 3451, nullptr},
        {2, 0x8026, 0, 252, 3452, nullptr},
        {2, 0x803C, 0, 252, 3453, nullptr},
        {2, 0x803D, 0, 252, 3454, nullptr},
        {4, 0x803E, 0, 252, 3455, nullptr},
        {2, 0x803B, 0, 252, 3456, nullptr},
        {4, 0x8042, 0, 252, 3457, nullptr},
        {4, 0x8040, 0, 252, 3458, "8040"},
        {4, 0x8050, 0, 252, 3460, nullptr},
        {4, 0x8052, 0, 252, 3461, "8052"},
        {4, 0x8055, 0, 252, 3462, nullptr},
        {4, 0x8058, 0, 252, 3463, "8058"},
        {11, 0x0000, 0, 252, 3464, nullptr},  // aborted command without a code
        {4, 0x8060, 0, 252, 3466, nullptr},
        {4, 0x8056, 0, 252, 3476, "8056"},
        {4, 0x8053, 0, 252, 3477, nullptr},
        {4, 0x8054, 0, 252, 3478, nullptr},
        {4, 0x7777, 0, 252, 3340, nullptr},  // any other code
        {6, 0x2900, 0, 252, 3438, "2900"},  // unit attention that came back after the repeat
        {7, 0x0000, 0, 252, 0, nullptr},
        {8, 0x8001, 0, 255, 0, nullptr},
        {12, 0x8001, 0, 255, 0, nullptr},
    };
    Start();
    for (const Case& c : kCases) {
        SCOPED_TRACE(testing::Message() << "key " << int(c.key) << " code " << std::hex << c.code);
        m_Messages.Clear();
        m_Settings.SetParam(kParamOriginal, c.original);
        uint8_t sense[18] = {0x70, 0, c.key, 0, 0, 0, 0, 10, 0, 0, 0, 0, uint8_t(c.code >> 8), uint8_t(c.code)};
        EXPECT_EQ(c.result, Driver().HandleSense(sense));
        EXPECT_EQ(c.message == 0 ? std::vector<int>() : std::vector<int>({c.message}), m_Messages.Ids());
        if (c.argument != nullptr && !m_Messages.Texts().empty()) {
            EXPECT_NE(std::string::npos, m_Messages.Texts()[0].find(c.argument)) << m_Messages.Texts()[0];
        }
    }
    // A wrong transfer length is told by the sense key byte alone.
    m_Messages.Clear();
    uint8_t wrongLength[18] = {0x70, 0, 0x20 | 5, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x26, 0};
    EXPECT_EQ(252, Driver().HandleSense(wrongLength));
    EXPECT_EQ(std::vector<int>({3351}), m_Messages.Ids());
}

TEST_F(TelmariCommandTest, ScanTranscriptsPerModel)
{
    struct Case {
        const char* model;
        int32_t type;
        std::vector<std::string> expected;
    };
    // Reserve, table, window; the TELMARI reads the scan information and then SCANs, the PLUS and
    // ULTRA SCAN first and wait for data before they read it. Reads ask for lines (32 = 0x20). Colour
    // takes three tables and three passes; before each further pass the device says busy three
    // times in value 10002 (0x2712).
    const std::vector<std::string> kTelmariStart = {
        "16 00 00 00 00 00",
        "00 00 00 00 00 00",
        "2a 00 b0 00 00 00 00 04 04 00 > 1028",
        "00 00 00 00 00 00",
        "24 00 00 00 00 00 00 00 76 00 > 118",
        "00 00 00 00 00 00",
        "28 00 81 00 00 00 00 00 28 00",
        "00 00 00 00 00 00",
        "1b 00 00 00 01 00 > 1",
        "34 00 00 00 00 00 00 00 0c 00",
        "28 00 00 00 00 00 00 00 20 00",
        "17 00 00 00 00 00",
    };
    const std::vector<std::string> kUltraStart = {
        "16 00 00 00 00 00",
        "00 00 00 00 00 00",
        "2a 00 b0 00 00 00 00 04 04 00 > 1028",
        "00 00 00 00 00 00",
        "24 00 00 00 00 00 00 00 76 00 > 118",
        "00 00 00 00 00 00",
        "1b 00 00 00 01 00 > 1",
        "34 00 00 00 00 00 00 00 0c 00",
        "28 00 81 00 00 00 00 00 28 00",
        "34 00 00 00 00 00 00 00 0c 00",
        "28 00 00 00 00 00 00 00 20 00",
        "17 00 00 00 00 00",
    };
    const std::vector<std::string> kThreePasses = {
        "16 00 00 00 00 00",
        "00 00 00 00 00 00",
        "2a 00 b0 00 00 00 00 04 04 00 > 1028",
        "2a 00 b0 00 00 00 00 04 04 00 > 1028",
        "2a 00 b0 00 00 00 00 04 04 00 > 1028",
        "00 00 00 00 00 00",
        "24 00 00 00 00 00 00 00 76 00 > 118",
        "00 00 00 00 00 00",
        "28 00 81 00 00 00 00 00 28 00",
        "00 00 00 00 00 00",
        "1b 00 00 00 01 00 > 1",
        "34 00 00 00 00 00 00 00 0c 00",
        "28 00 00 00 00 00 00 00 20 00",
        "28 00 a2 00 27 12 00 00 04 00",
        "28 00 a2 00 27 12 00 00 04 00",
        "28 00 a2 00 27 12 00 00 04 00",
        "28 00 a2 00 27 12 00 00 04 00",
        "1b 00 00 00 01 80 > 1",
        "34 00 00 00 00 00 00 00 0c 00",
        "28 00 00 00 00 00 00 00 20 00",
        "28 00 a2 00 27 12 00 00 04 00",
        "28 00 a2 00 27 12 00 00 04 00",
        "28 00 a2 00 27 12 00 00 04 00",
        "28 00 a2 00 27 12 00 00 04 00",
        "1b 00 00 00 01 80 > 1",
        "34 00 00 00 00 00 00 00 0c 00",
        "28 00 00 00 00 00 00 00 20 00",
        "17 00 00 00 00 00",
    };
    const Case kCases[] = {
        {"telmari", kImageGrey, kTelmariStart},
        {"plus", kImageGrey, kUltraStart},
        {"ultra", kImageGrey, kUltraStart},
        {"telmari", kImageRgb, kThreePasses},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(testing::Message() << c.model << " type " << c.type);
        Start({{"model", c.model}});
        // A quarter inch at 100 ppi: 25 lines of 32 pixels.
        Select(c.type, 100, 0, 0, 800, 635);
        Device().ClearLog();
        CBenchImage image = ScanFromReserve();
        ASSERT_EQ(kDriverOk, image.status);
        std::vector<std::string> transcript;
        for (const CSimLogEntry& entry : Device().Log())
            transcript.push_back(entry.TranscriptLine());
        EXPECT_EQ(c.expected, transcript);
    }
}
