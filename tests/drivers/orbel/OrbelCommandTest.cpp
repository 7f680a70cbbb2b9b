// The ORBEL 35 conversation as the device saw it: set-up, gamma lines, densities, moves and windows,
// the three filter passes, the normal and the aborted end, the drain and the image lines.

#include "tests/drivers/orbel/OrbelBench.h"

#include "core/scsi/ScsiBuffer.h"
#include "tests/support/Screenshot.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

void Append(Lines& to, const Lines& more) { to.insert(to.end(), more.begin(), more.end()); }

// Each line: its header, then its bytes.
Lines ImageReads(int lines, int bytes)
{
    Lines reads;
    for (int i = 0; i < lines; ++i)
        Append(reads, {"< 0 4", "< 0 " + std::to_string(bytes)});
    return reads;
}

// The length of a gamma line as sent: "WGMnT", each entry as ",v", the line end.
std::string GammaLine(int n, const std::vector<uint8_t>& table)
{
    size_t length = 5 + 2;
    for (uint8_t v : table)
        length += 1 + std::to_string(v).size();
    return "> WGM" + std::to_string(n) + "T [" + std::to_string(length) + "]";
}

class OrbelCommandTest : public OrbelBench {
protected:
    // 1 mm wide from the left edge, 0.08 mm high from 8 mm down, at half the maximum: 62 pixels
    // (125 steps over 2) and 5 lines (steps 1000 to 1010 over 2).
    void SelectSmallWindow(int32_t type)
    {
        SelectFilm(type, 1587, 1, 0, 800, 100, 8);
        m_Settings.SetParam(kParamMinDensity, 1550);
    }
};

}  // namespace

TEST_F(OrbelCommandTest, GreyScanSpeaksTheWholeConversation)
{
    Start();
    SelectSmallWindow(kImageGrey);
    m_Settings.SetParam(kParamDriverGamma, 100);
    m_pTarget->ClearLog();
    uint16_t stop = 0;
    std::vector<CBenchImage> planes = ScanPasses(stop);
    EXPECT_EQ(kDriverOk, stop);
    ASSERT_EQ(1u, planes.size());
    EXPECT_EQ(kDriverOk, planes[0].status);
    EXPECT_EQ(5u, planes[0].lines);
    EXPECT_EQ(62u, planes[0].bytesPerLine);

    // The default highest density makes every entry 255: the longest gamma line.
    Lines want = {"> APIN", "> OUT8", "> SFC146", "> MP",   "> GML8", "> IF15", "> SPUP", "> NHD",
                  "> AP50", "> AVOF", "> SDON",   "> DN16", "> BRT0", "> CNT0", "> SFT0", "> WGM1T [1031]",
                  "> FG,R", "< 1 1",  "> GM1T8",  "> MV1000,R", "< 1 1", "> BXZ 1000,0,1010,125,2,2,V"};
    Append(want, ImageReads(5, 62));
    Append(want, {"< 0 4", "> PSOF", "> PVOF", "> IF15", "> INM"});
    EXPECT_EQ(want, Conversation());
}

TEST_F(OrbelCommandTest, GammaTablesAreBuiltFalling)
{
    struct Case {
        int32_t minimum;
        int first, last;
    } const kCases[] = {
        // The film's whole range: the device's entry[255 - light] gives back the light.
        {100, 255, 0},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.minimum);
        Start();
        SelectSmallWindow(kImageGrey);
        m_Settings.SetParam(kParamMinDensity, c.minimum);
        m_Settings.SetParam(kParamMaxDensity, 4000);
        ASSERT_EQ(kDriverOk, Driver().UpdateScanGeometry());
        m_pTarget->ClearLog();
        ASSERT_EQ(kDriverOk, Driver().SendLookupTables());
        std::vector<uint8_t> table = Device().Table(1);
        ASSERT_EQ(256u, table.size());
        EXPECT_EQ(c.first, table[0]);
        EXPECT_EQ(c.last, table[255]);
        EXPECT_TRUE(std::is_sorted(table.rbegin(), table.rend()));
        EXPECT_EQ(GammaLine(1, table), Conversation().back());
        EXPECT_TRUE(Device().Table(2).empty());
    }
}

TEST_F(OrbelCommandTest, ColourScanPassesThroughRedGreenAndBlue)
{
    Start();
    SelectSmallWindow(kImageRgb);
    m_Settings.SetParam(kParamDriverGamma, 0);
    // Below the film minimum, above the ceiling, and a value that rounds up.
    m_Settings.SetParam(kParamMinDensityRed, 50);
    m_Settings.SetParam(kParamMinDensityGreen, 3960);
    m_Settings.SetParam(kParamMinDensityBlue, 1550);
    m_pTarget->ClearLog();
    uint16_t stop = 0;
    std::vector<CBenchImage> planes = ScanPasses(stop);
    EXPECT_EQ(kDriverOk, stop);
    ASSERT_EQ(3u, planes.size());

    Lines want = {"> APIN", "> OUT8", "> SFC10", "> CP",   "> GML8", "> IF15", "> SPUP", "> NHD",
                  "> AP50", "> AVOF", "> SDON",  "> DN01", "> BRT0", "> CNT0", "> SFT0"};
    for (int n = 1; n <= 3; ++n)
        want.push_back(GammaLine(n, Device().Table(n)));
    const std::string window = "> BXZ 1000,0,1010,125,2,2,V";
    Append(want, {"> FR,R", "< 1 1", "> GM1T8", "> MV1000,R", "< 1 1", window});
    Append(want, ImageReads(5, 62));
    // Each further pass starts with the drain: nothing announced, one byte read all the same.
    Append(want, {"< 0 4", "< 0 1", "> FG,R", "< 1 1", "> DN20", "> GM2T8", "> MV1000,R", "< 1 1", window});
    Append(want, ImageReads(5, 62));
    Append(want, {"< 0 4", "< 0 1", "> FB,R", "< 1 1", "> DN16", "> GM3T8", "> MV1000,R", "< 1 1", window});
    Append(want, ImageReads(5, 62));
    Append(want, {"< 0 4", "> PSOF", "> PVOF", "> IF15", "> INM"});
    EXPECT_EQ(want, Conversation());

    std::vector<COrbelPass> passes = Device().Passes();
    ASSERT_EQ(3u, passes.size());
    EXPECT_EQ('R', passes[0].filter);
    EXPECT_EQ('G', passes[1].filter);
    EXPECT_EQ('B', passes[2].filter);
    EXPECT_EQ(3, passes[2].table);
}

TEST_F(OrbelCommandTest, FocusAndDensityArguments)
{
    struct Case {
        int32_t focus;
        int32_t density;
        const char* focusText;
        const char* densityText;
    } const kCases[] = {
        {65280, 2000, "> AF,R", "> DN20"},
        {0, 50, "> SFC10", "> DN01"},
        {100, 1550, "> SFC146", "> DN16"},
        {10, 1549, "> SFC24", "> DN15"},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.focusText);
        Start();
        SelectSmallWindow(kImageGrey);
        m_Settings.SetParam(kParamDriverGamma, c.focus);
        m_Settings.SetParam(kParamMinDensity, c.density);
        m_pTarget->ClearLog();
        ASSERT_EQ(kDriverOk, Driver().SendLookupTables());
        Lines said = Conversation();
        ASSERT_GE(said.size(), 12u);
        EXPECT_EQ(c.focusText, said[2]);
        // The automatic focus reads its answer byte.
        size_t answer = std::string(c.focusText) == "> AF,R" ? 1 : 0;
        if (answer != 0) {
            EXPECT_EQ("< 1 1", said[3]);
        }
        EXPECT_EQ(c.densityText, said[11 + answer]);
    }
}

TEST_F(OrbelCommandTest, ReflectiveOriginalsAreRefusedAfterTheFocus)
{
    Start();
    SelectSmallWindow(kImageGrey);
    m_Settings.SetParam(kParamOriginal, 0);
    m_Settings.SetParam(kParamDriverGamma, 0);
    m_pTarget->ClearLog();
    EXPECT_EQ(kDriverFailed, Driver().SendLookupTables());
    EXPECT_EQ((Lines{"> APIN", "> OUT8", "> SFC10"}), Conversation());
}

TEST_F(OrbelCommandTest, AbortedEndSendsNoDrain)
{
    Start();
    SelectSmallWindow(kImageGrey);
    ASSERT_EQ(kDriverOk, StartScan());
    m_pTarget->ClearLog();
    EXPECT_EQ(kDriverOk, Driver().StopScan(1));
    EXPECT_EQ((Lines{"> PVOF", "> PSOF", "> IF15", "> INM"}), Conversation());
}

// What is left at the end of a pass is read in pieces of at most 5010 bytes, whatever its count,
// until a header announces at most one byte.
TEST_F(OrbelCommandTest, DrainReadsAnyCountInPieces)
{
    struct Case {
        const char* leftover;
        Lines stopReads;
        Lines passReads;
    } const kCases[] = {
        {"0", {"< 0 4"}, {"< 0 4", "< 0 1"}},
        {"1", {"< 0 4", "< 0 1"}, {"< 0 4", "< 0 1"}},
        {"2", {"< 0 4", "< 0 2", "< 0 4"}, {"< 0 4", "< 0 2", "< 0 4", "< 0 1"}},
        {"5010", {"< 0 4", "< 0 5010", "< 0 4"}, {"< 0 4", "< 0 5010", "< 0 4", "< 0 1"}},
        {"12000", {"< 0 4", "< 0 5010", "< 0 5010", "< 0 1980", "< 0 4"},
         {"< 0 4", "< 0 5010", "< 0 5010", "< 0 1980", "< 0 4", "< 0 1"}},
        {"65535", {"< 0 4", "< 0 5010", "< 0 5010", "< 0 5010", "< 0 5010", "< 0 5010", "< 0 5010", "< 0 5010",
                   "< 0 5010", "< 0 5010", "< 0 5010", "< 0 5010", "< 0 5010", "< 0 5010", "< 0 405", "< 0 4"},
         {}},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.leftover);
        for (bool pass : {false, true}) {
            if (pass && c.passReads.empty())
                continue;
            Start({{"leftover", c.leftover}});
            SelectSmallWindow(pass ? kImageRgb : kImageGrey);
            ASSERT_EQ(kDriverOk, StartScan());
            ASSERT_EQ(kDriverOk, ReadImage(Driver()).status);
            m_pTarget->ClearLog();
            if (pass) {
                EXPECT_EQ(kDriverOk, Driver().StartPass(0, 1));
                Lines said = Conversation();
                said.resize(std::min(said.size(), c.passReads.size()));
                EXPECT_EQ(c.passReads, said);
            } else {
                EXPECT_EQ(kDriverOk, Driver().StopScan(0));
                Lines want = c.stopReads;
                Append(want, {"> PSOF", "> PVOF", "> IF15", "> INM"});
                EXPECT_EQ(want, Conversation());
            }
        }
    }
}

// A line announced with another length than the window's, longer, shorter or empty, is a transfer
// fault: the read stops there with the lines before it taken whole, and the stop drains the rest.
TEST_F(OrbelCommandTest, ALineOfAnotherCountFailsTheRead)
{
    auto startScan = [this](const std::string& linecount) {
        Start({{"linecount", linecount}});
        SelectFilm(kImageGrey, 793, 1, 0, 800, 1000, 64);
        m_Settings.SetParam(kParamMinDensity, 100);
        m_Settings.SetParam(kParamMaxDensity, 4000);
        return StartScan();
    };
    ASSERT_EQ(kDriverOk, startScan("9999:0"));
    const uint32_t width = m_Settings.GetBytesPerLine();
    const uint32_t lines = m_Settings.GetLineCount();
    ASSERT_GT(lines, 4u);
    Driver().StopScan(1);
    const std::string kCounts[] = {"2:4000", "1:20", "0:30", "3:0", "3:1", "4:" + std::to_string(width - 1)};
    for (const std::string& linecount : kCounts) {
        SCOPED_TRACE(linecount);
        ASSERT_EQ(kDriverOk, startScan(linecount));
        std::vector<uint8_t> image(size_t(width) * lines, 0xEE);
        EXPECT_EQ(kDriverFailed, Driver().ReadData(image.data(), 0, uint16_t(lines), uint16_t(width)));
        EXPECT_EQ(uint32_t(std::atoi(linecount.c_str())), Driver().m_nLinesRead);
        EXPECT_EQ(kDriverOk, Driver().StopScan(1));
    }
}

TEST_F(OrbelCommandTest, DeviceRejectsTextsOutsideItsVocabulary)
{
    struct Case {
        const char* text;
        uint8_t asc;
    } const kCases[] = {
        {"NHD\r\n", 0},          {"NHDX\r\n", 0x20},          {"NHD", 0x20},
        {"DN5\r\n", 0x20},       {"MV01,R\r\n", 0x20},        {"GM4T8\r\n", 0x20},
        {"BXZ 1,0,10,125,2,2,V\r\n", 0}, {"BXZ 10,0,10,125,2,2,V\r\n", 0x26}, {"BXZ 1,0,10,125,2,2,R\r\n", 0x20},
        {"WGM1T,1,2\r\n", 0x20},
    };
    Start();
    // Before any pass, nothing is pending: filler that announces nothing. pending: filler that announces nothing.
    CScsiFixedBuffer<4> header;
    std::memset(header.GetData(), 0xFF, 4);
    ASSERT_EQ(kDriverOk, g_pScsiChannel->Read10(header, 4, 0, 0, true, 30000, 32));
    EXPECT_EQ(0, header.GetData()[1]);
    EXPECT_EQ(0, header.GetData()[2]);
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.text);
        std::string text = c.text;
        CScsiExternalBuffer data(text.data(), uint32_t(text.size()));
        uint16_t result = g_pScsiChannel->Send10(data, 0, 0, 30000, 32);
        if (c.asc == 0) {
            EXPECT_EQ(kDriverOk, result);
            continue;
        }
        EXPECT_EQ(2, result & 0xFF);
        EXPECT_EQ(5, data.m_sense[2] & 0x0F);
        EXPECT_EQ(c.asc, data.m_sense[12]);
    }
}

TEST_F(OrbelCommandTest, TranscriptLinesCarryTheCommandTexts)
{
    Start();
    SelectSmallWindow(kImageGrey);
    const std::string path = testsupport::ProgramDirectory() + "orbel_transcript.txt";
    ASSERT_TRUE(m_pTarget->SetTranscriptFile(path));
    ASSERT_EQ(kDriverOk, Driver().SetScanParameters(&m_Settings));
    std::ifstream in(path);
    Lines lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    in.close();
    DeleteFileA(path.c_str());
    // TEST UNIT READY, then each SEND with its length and text, each answer READ as a bare CDB.
    const Lines want = {
        "00 00 00 00 00 00",
        "00 00 00 00 00 00",
        "2a 00 00 00 00 00 00 00 06 00 > 6 \"FG,R\"",
        "00 00 00 00 00 00",
        "28 00 01 00 00 00 00 00 01 00",
        "00 00 00 00 00 00",
        "2a 00 00 00 00 00 00 00 07 00 > 7 \"GM1T8\"",
        "00 00 00 00 00 00",
        "2a 00 00 00 00 00 00 00 0a 00 > 10 \"MV1000,R\"",
        "00 00 00 00 00 00",
        "28 00 01 00 00 00 00 00 01 00",
    };
    EXPECT_EQ(want, lines);
}
