// brelvane.exe as a caller starts it: a batch command line against a virtual KOVAL II described by
// a bus description file, run in a folder of its own with the catalog and our ASPI manager. Message
// boxes of the child are read and answered here, so that no case waits on a box.

#include "core/scan/OutputFile.h"
#include "sim/TestChart.h"
#include "tests/support/Screenshot.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct CChildRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::vector<std::string> boxes;   // texts of the message boxes the child showed
};

struct CBoxSearch {
    DWORD processId;
    std::vector<std::string>* boxes;
};

// A window of the child that a user could see.
bool IsShownBy(HWND window, DWORD processId)
{
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    return owner == processId && IsWindowVisible(window);
}

BOOL CALLBACK AnswerBox(HWND window, LPARAM param)
{
    CBoxSearch& search = *(CBoxSearch*)param;
    char className[32] = {};
    GetClassNameA(window, className, sizeof className);
    if (!IsShownBy(window, search.processId) || strcmp(className, "#32770") != 0)
        return TRUE;
    // A message box holds its text in the static 0xFFFF; the batch progress window is a dialog too.
    if (GetDlgItem(window, 0xFFFF) == nullptr)
        return TRUE;
    char text[1024] = {};
    GetDlgItemTextA(window, 0xFFFF, text, sizeof text);
    search.boxes->push_back(text);
    PostMessageA(window, WM_COMMAND, IDOK, 0);
    return TRUE;
}

class CEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_Dir = testsupport::ProgramDirectory() + "e2e\\";
        CreateDirectoryA(m_Dir.c_str(), nullptr);
        const std::string bin = testsupport::ProgramDirectory() + "..\\bin\\";
        for (const char* file : {"brelvane.exe", "WNASPI32.DLL", "ENG.MSG"})
            ASSERT_TRUE(CopyFileA((bin + file).c_str(), (m_Dir + file).c_str(), FALSE)) << file;
        for (const char* file : {"ZELK2.INI", "zelkbat.txt", "BRELVANE.LOG", "out.bmp", "busy.bmp"})
            DeleteFileA((m_Dir + file).c_str());
    }

    void Describe(const std::string& text, const char* name = "SIMBUS.TXT")
    {
        std::ofstream(m_Dir + name, std::ios::binary) << text;
        SetEnvironmentVariableA("BRELVANE_SIMBUS", (m_Dir + name).c_str());
    }

    PROCESS_INFORMATION Start(const std::string& arguments)
    {
        std::string command = "\"" + m_Dir + "brelvane.exe\" " + arguments;
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        EXPECT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, m_Dir.c_str(),
                                   &startup, &process));
        return process;
    }

    static CChildRun Finish(const PROCESS_INFORMATION& process, DWORD timeoutMs = 120000)
    {
        CChildRun run;
        CBoxSearch search = {process.dwProcessId, &run.boxes};
        const DWORD start = GetTickCount();
        while (WaitForSingleObject(process.hProcess, 100) == WAIT_TIMEOUT) {
            EnumWindows(AnswerBox, (LPARAM)&search);
            if (GetTickCount() - start > timeoutMs) {
                ADD_FAILURE() << "brelvane.exe did not end";
                TerminateProcess(process.hProcess, 99);
            }
        }
        GetExitCodeProcess(process.hProcess, &run.exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        return run;
    }

    CChildRun Run(const std::string& arguments) { return Finish(Start(arguments)); }

    std::string IniValue(const char* section, const char* key)
    {
        char value[256] = {};
        GetPrivateProfileStringA(section, key, "absent", value, sizeof value, (m_Dir + "ZELK2.INI").c_str());
        return value;
    }

    std::string ReadText(const char* name)
    {
        std::ifstream in(m_Dir + name, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // The catalog text of a message up to its first conversion, as it stands in a log line.
    std::string CatalogText(int id)
    {
        std::ifstream catalog(m_Dir + "ENG.MSG");
        const std::string key = std::to_string(id) + " \"";
        std::string line;
        while (std::getline(catalog, line))
            if (line.compare(0, key.size(), key) == 0) {
                const std::string text = line.substr(key.size(), line.rfind('"') - key.size());
                return text.substr(0, text.find('%'));
            }
        return "(no text " + std::to_string(id) + ")";
    }

    // Whether a log line holds the whole catalog text of a message: every piece of it between the
    // values, in order.
    bool HoldsCatalogText(const std::string& line, int id)
    {
        const std::string key = std::to_string(id) + " \"";
        std::ifstream catalog(m_Dir + "ENG.MSG");
        std::string text;
        while (std::getline(catalog, text) && text.compare(0, key.size(), key) != 0) { }
        if (text.compare(0, key.size(), key) != 0)
            return false;
        text = text.substr(key.size(), text.rfind('"') - key.size());
        for (size_t at = 0, from = 0;;) {
            const size_t percent = std::min(text.find('%', from), text.size());
            const std::string piece = text.substr(from, percent - from);
            if (!piece.empty() && (at = line.find(piece, at)) == std::string::npos)
                return false;
            at += piece.size();
            // The value's conversion ends at its type letter.
            const size_t type = text.find_first_of("cdiuxXs", percent);
            if (type == std::string::npos)
                return true;
            from = type + 1;
        }
    }

    bool Exists(const char* name)
    {
        return GetFileAttributesA((m_Dir + name).c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    std::string m_Dir;
};

// Every line of the batch log opens with the date and time: "YYYY-MM-DD hh:mm:ss ".
bool IsDatedLogLine(const std::string& line)
{
    const char* const shape = "dddd-dd-dd dd:dd:dd ";
    if (line.size() <= strlen(shape))
        return false;
    for (size_t i = 0; shape[i]; ++i)
        if (shape[i] == 'd' ? !isdigit((unsigned char)line[i]) : line[i] != shape[i])
            return false;
    return true;
}

std::vector<std::string> LogLines(const std::string& log)
{
    std::vector<std::string> lines;
    std::istringstream in(log);
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line.substr(0, line.find('\r')));
    return lines;
}

const char* const kOneKoval2 = "host 0\ndevice 0 0 4 kind=koval2\n";

// A BMP file's image, top row first: 24-bit pixels as red, green, blue; 8-bit pixels one byte
// each; 1-bit rows as their packed bytes.
struct CBmp {
    int width = 0, height = 0, bits = 0;
    std::vector<uint8_t> samples;
};

bool ReadBmp(const std::string& path, CBmp& bmp)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (data.size() < 54 || data[0] != 'B' || data[1] != 'M')
        return false;
    auto u32 = [&](size_t at) { return uint32_t(data[at] | data[at + 1] << 8 | data[at + 2] << 16 | data[at + 3] << 24); };
    const uint32_t offset = u32(10);
    bmp.width = (int)u32(18);
    bmp.height = (int)u32(22);
    bmp.bits = data[28] | data[29] << 8;
    const size_t rowBytes = ((size_t)bmp.width * (size_t)bmp.bits + 7) / 8;
    const size_t stride = (rowBytes + 3) & ~(size_t)3;
    if (data.size() < offset + stride * (size_t)bmp.height)
        return false;
    bmp.samples.clear();
    for (int y = 0; y < bmp.height; ++y) {
        const uint8_t* row = &data[offset + stride * (size_t)(bmp.height - 1 - y)];
        if (bmp.bits != 24) {
            bmp.samples.insert(bmp.samples.end(), row, row + rowBytes);
            continue;
        }
        for (int x = 0; x < bmp.width; ++x)
            for (int c = 0; c < 3; ++c)
                bmp.samples.push_back(row[x * 3 + 2 - c]);
    }
    return true;
}

TEST_F(CEndToEnd, BatchScanWritesTheChartAndEnds)
{
    Describe(kOneKoval2);
    const std::string out = m_Dir + "out.bmp";
    const CChildRun run = Run("\"rgb resppi:300 selmm:0,0,100,80 gamma:1 scan:" + out + "\"");
    EXPECT_TRUE(run.boxes.empty()) << run.boxes.front();
    EXPECT_EQ(0u, run.exitCode);
    CBmp bmp;
    ASSERT_TRUE(ReadBmp(out, bmp) && bmp.bits == 24) << "no 24-bit BMP at " << out;
    EXPECT_NEAR(100 / 25.4 * 300, bmp.width, 2.0);
    EXPECT_NEAR(80 / 25.4 * 300, bmp.height, 2.0);
    CChartWindow window;
    window.xResolution = window.yResolution = 300;
    window.pixelsPerLine = bmp.width;
    window.lines = bmp.height;
    window.channels = 3;
    const std::vector<uint8_t> chart = CTestChart::Render(window);
    ASSERT_EQ(chart.size(), bmp.samples.size());
    size_t differing = 0;
    for (size_t i = 0; i < chart.size(); ++i)
        differing += std::abs(int(chart[i]) - int(bmp.samples[i])) > 8;
    // gamma 1 keeps the chart's values; edges of fine lines may fall one pixel apart; everything else matches the chart
    EXPECT_LT(differing, chart.size() / 100) << differing << " of " << chart.size() << " samples differ from the chart";
    EXPECT_EQ("0", IniValue("General", "ADF"));
    EXPECT_EQ("1", IniValue("General", "File extension"));
    EXPECT_EQ("4", IniValue("General", "TargetID"));
    EXPECT_EQ("00000000", IniValue("ZELK-Brelvane 32 V2.09 - Scanning Software-2.09-", "ColorRGB"));
}

// A value far beyond the bed ends at the bed, as one just beyond it does; it never wraps round.
TEST_F(CEndToEnd, SelectionBeyondTheBedEndsAtTheBed)
{
    Describe(kOneKoval2);
    CBmp sizes[2];
    const char* const farEdges[] = {"1000,1000", "1e308,1e308"};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(farEdges[i]);
        DeleteFileA((m_Dir + "out.bmp").c_str());
        const std::string line = std::string("\"rgb resppi:300 gamma:1 selmm:100,150,") +
                                 farEdges[i] + " scan:" + m_Dir + "out.bmp\"";
        const CChildRun run = Finish(Start(line), 60000);
        EXPECT_EQ(0u, run.exitCode);
        ASSERT_TRUE(ReadBmp(m_Dir + "out.bmp", sizes[i]));
    }
    EXPECT_GT(sizes[0].width, 1000);
    EXPECT_GT(sizes[0].height, 1000);
    EXPECT_EQ(sizes[0].width, sizes[1].width);
    EXPECT_EQ(sizes[0].height, sizes[1].height);
}

TEST_F(CEndToEnd, BatchStartWithoutOutputCommandEnds)
{
    Describe(kOneKoval2);
    // "scan" anywhere makes a batch start; without an output command the run must still end.
    const CChildRun run = Run("\"rgb resppi:300 c:\\scans\\x.bmp\"");
    EXPECT_EQ(3u, run.exitCode);
    EXPECT_TRUE(run.boxes.empty());
    // A line from a response file never opens the window, even without "scan" anywhere.
    std::ofstream(m_Dir + "settings.rsp") << "rgb resppi:300\n";
    const CChildRun fromFile = Run("\"@" + m_Dir + "settings.rsp\"");
    EXPECT_EQ(3u, fromFile.exitCode);
    EXPECT_TRUE(fromFile.boxes.empty());
}

struct CTiffFacts {
    uint32_t width = 0, height = 0;
    uint16_t bits = 0, samples = 0;
    std::string profile;   // the ICC tag's bytes, empty without one
    uint32_t largest = 0;  // the largest sample
};

bool ReadTiffFacts(const std::string& path, CTiffFacts& facts)
{
    TIFF* tiff = TIFFOpen(path.c_str(), "r");
    if (tiff == nullptr)
        return false;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &facts.width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &facts.height);
    TIFFGetField(tiff, TIFFTAG_BITSPERSAMPLE, &facts.bits);
    TIFFGetField(tiff, TIFFTAG_SAMPLESPERPIXEL, &facts.samples);
    uint32_t count = 0;
    void* data = nullptr;
    if (TIFFGetField(tiff, TIFFTAG_ICCPROFILE, &count, &data) == 1 && data != nullptr)
        facts.profile.assign((const char*)data, count);
    std::vector<uint8_t> line((size_t)TIFFScanlineSize(tiff));
    for (uint32_t y = 0; y < facts.height; ++y) {
        if (TIFFReadScanline(tiff, line.data(), y, 0) != 1)
            break;
        for (size_t i = 0; i < line.size(); i += facts.bits / 8)
            facts.largest = std::max<uint32_t>(facts.largest, facts.bits == 16 ? line[i] | line[i + 1] << 8 : line[i]);
    }
    TIFFClose(tiff);
    return true;
}

std::string ReadBinary(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A batch start that fails anywhere ends by itself, shows no box, leaves its reason as one dated
// line in the batch log and no output file behind. A run that stands something in for what the line
// asked says so in the log too, and writes what the line that asks for it directly would write.
struct CFailedBatch {
    const char* name;
    const char* bus;         // the virtual bus the run sees
    const char* arguments;   // "%D" stands for the run's folder, "%L" for a long name
    DWORD exitCode;
    int messageId;
    const char* output = "out.bmp";   // the file the line names, in the run's folder
    bool written = false;             // whether the run leaves it
    const char* sameAs = nullptr;     // a line whose file must hold the same bytes, on the same bus
    uint16_t bits = 0;                // bits per sample of a written TIFF, when not 0
    bool differs = false;             // the file of sameAs must differ instead: the line changes the image
};

const char* const kNoDevice = "host 0\n";
const char* const kKoval2 = "host 0\ndevice 0 0 4 kind=koval2\n";
const char* const kKoval2Reserved = "host 0\ndevice 0 0 4 kind=koval2 reserved=foreign\n";
const char* const kFailingInquiry =
    "host 0\ndevice 0 0 4 kind=koval2\nfault 0 0 4 kind=check opcode=0x12 count=0 sense=4/44/00\n";
const char* const kUnknownProduct = "host 0\ndevice 0 0 4 kind=generic vendor=\"ZELK\" product=\"NOSUCH 9000\"\n";
const char* const kBadBusLine = "host 0\ndevice 0 0 4 kind=koval2\nno such line\n";
const char* const kKoval2FailingRead =
    "host 0\ndevice 0 0 4 kind=koval2\nfault 0 0 4 kind=check opcode=0x08 count=0 sense=3/11/00\n";
const char* const kKoval2ShortRead =
    "host 0\ndevice 0 0 4 kind=koval2\nfault 0 0 4 kind=short opcode=0x08 skip=1 bytes=100\n";
const char* const kKoval2VendorSense =
    "host 0\ndevice 0 0 4 kind=koval2\nfault 0 0 4 kind=check opcode=0x08 count=0 rawsense=84/04/00/00\n";
const std::string kLongName(250, '_');
const std::string kHugeName(5000, 'n');
const char* const kTmrHeldForEver = "host 0\ndevice 0 0 4 kind=tmr conflict=100000\n";
const char* const kFennikFailingRead =
    "host 0\ndevice 0 0 4 kind=fennik\nfault 0 0 4 kind=check opcode=0x28 count=0 sense=3/11/00\n";
const char* const kOrbelLongLine = "host 0\ndevice 0 0 4 kind=orbel linecount=5:10\n";
const char* const kUltraWithoutNegatives = "host 0\ndevice 0 0 4 kind=telmari model=ultra negatives=0\n";
const char* const kGreyZandor = "host 0\ndevice 0 0 4 kind=zandor model=gs400\n";
const char* const kDeepKoval2 = "host 0\ndevice 0 0 4 kind=koval2 lut=0x62\n";
const char* const kOstravel = "host 0\ndevice 0 0 4 kind=ostravel\n";
const char* const kFennikEmptyFeeder = "host 0\ndevice 0 0 4 kind=fennik feeder=0\n";
const char* const kPendaroWithoutFeeder = "host 0\ndevice 0 0 4 kind=pendaro\n";

const CFailedBatch kFailedBatches[] = {
    {"no scanner", kNoDevice, "\"rgb resppi:300 scan:%Dout.bmp\"", 4, 3316},
    {"failing INQUIRY", kFailingInquiry, "\"rgb resppi:300 scan:%Dout.bmp\"", 4, 3316},
    {"unknown product", kUnknownProduct, "\"rgb resppi:300 scan:%Dout.bmp\"", 4, 3316},
    {"bad bus description", kBadBusLine, "\"rgb resppi:300 scan:%Dout.bmp\"", 4, 3316},
    {"scanner reserved by another program", kKoval2Reserved,
     "\"rgb resppi:100 selmm:0,0,10,10 scan:%Dout.bmp\"", 2, 4483},
    {"device failing mid-scan", kKoval2FailingRead,
     "\"rgb resppi:300 selmm:0,0,50,50 scan:%Dout.bmp\"", 1, 3340},
    {"short image read", kKoval2ShortRead, "\"rgb resppi:300 selmm:0,0,50,50 scan:%Dout.bmp\"", 1, 3335},
    {"vendor sense while reading", kKoval2VendorSense, "\"rgb resppi:300 selmm:0,0,50,50 scan:%Dout.bmp\"", 1,
     3411},
    {"missing settings file", kKoval2, "\"rgb set:nosuch.zlk scan:%Dout.bmp\"", 4, 3310},
    {"settings file name too long", kKoval2, "\"rgb set:%D%L.zlk scan:%Dout.bmp\"", 4, 3310},
    // The test prefix has no printer; a batch start shows no print dialog either.
    {"no printer", kKoval2, "\"rgb resppi:100 selmm:0,0,10,10 prn:10,10,1\"", 1, 3425},
    {"no printer for the print dialog", kKoval2, "\"rgb resppi:100 print\"", 1, 3425},
    {"reversed selection", kKoval2, "\"rgb selmm:50,50,10,10 scan:%Dout.bmp\"", 1, 4486},
    {"missing response file", kKoval2, "\"@%Dnosuch.rsp\"", 4, 3310},
    {"empty response file", kKoval2, "\"@%Dempty.rsp\"", 4, 3310},
    {"binary response file", kKoval2, "\"@%Dbinary.rsp\"", 4, 3310},
    {"response file is a folder", kKoval2, "\"@%Dfolder.rsp\"", 4, 3310},
    {"response files nested beyond the depth", kKoval2, "\"@%Dnest0.rsp\"", 4, 3426},
    {"TM-R held by another host for ever", kTmrHeldForEver, "\"trans rgb resppi:300 selmm:0,0,10,10 scan:%Dout.bmp\"",
     2, 4483},
    {"FENNIK failing read", kFennikFailingRead, "\"rgb resppi:300 selmm:0,0,50,50 scan:%Dout.bmp\"", 1, 3335},
    {"output is a folder", kKoval2, "\"rgb resppi:100 selmm:0,0,10,10 scan:%Dfolder.bmp\"", 1, 3312},
    {"output is read-only", kKoval2, "\"rgb resppi:100 selmm:0,0,10,10 scan:%Dreadonly.bmp\"", 1, 3312},
    {"output is the program itself", kKoval2, "\"rgb resppi:100 selmm:0,0,10,10 scan:%Dbrelvane.exe\"", 1, 3312},
    {"output is a backslash", kKoval2, "\"rgb scan:\\ resppi:100 selmm:0,0,10,10\"", 1, 3312},
    {"output CON", kKoval2, "\"rgb resppi:100 selmm:0,0,10,10 scan:con\"", 1, 3312},
    {"output NUL.bmp", kKoval2, "\"rgb resppi:100 selmm:0,0,10,10 scan:%Dnul.bmp\"", 1, 3312},
    {"output PRN.tif", kKoval2, "\"rgb resppi:100 selmm:0,0,10,10 scan:prn.tif\"", 1, 3312},
    {"output AUX", kKoval2, "\"rgb resppi:100 selmm:0,0,10,10 scan:%Daux\"", 1, 3312},
    {"output COM1.bmp", kKoval2, "\"rgb resppi:100 selmm:0,0,10,10 scan:com1.bmp\"", 1, 3312},
    {"output LPT1", kKoval2, "\"rgb resppi:100 selmm:0,0,10,10 scan:lpt1\"", 1, 3312},
    {"output name of 5000 characters", kKoval2, "\"rgb resppi:100 selmm:0,0,10,10 scan:%D%H.bmp\"", 1, 3312},
    {"settings file COM1", kKoval2, "\"rgb set:COM1 scan:%Dout.bmp\"", 4, 3310},
    {"settings file CON", kKoval2, "\"rgb set:CON scan:%Dout.bmp\"", 4, 3310},
    {"settings file of a few bytes", kKoval2, "\"rgb set:%Dfew.zlk scan:%Dout.bmp\"", 4, 3310},
    {"settings file of no bytes", kKoval2, "\"rgb set:%Dnothing.zlk scan:%Dout.bmp\"", 4, 3310},
    {"settings of resolution -1", kKoval2, "\"set:%Dnoresolution.zlk scan:%Dout.bmp\"", 1, 3429},
    {"selection below the smallest scan", kKoval2, "\"rgb resppi:300 selmm:0,0,0.1,0.1 scan:%Dout.bmp\"", 1, 3428},
    {"ORBEL 35 line shorter than the window", kOrbelLongLine,
     "\"trans rgb resppi:300 selmm:0,0,30,30 scan:%Dout.bmp\"", 1, 3335},
    {"TELMARI ULTRA without negatives asked for a negative", kUltraWithoutNegatives,
     "\"neg rgb resppi:100 selmm:0,0,20,20 scan:%Dout.bmp\"", 1, 4456},
    {"KOVAL II asked for CMYK scans RGB", kKoval2, "\"cmyk resppi:100 selmm:0,0,20,20 scan:%Dout.bmp\"", 0, 4455,
     "out.bmp", true, "\"rgb resppi:100 selmm:0,0,20,20 scan:%Dsame.bmp\""},
    {"KOVAL II asked for halftone scans line art", kKoval2,
     "\"half resppi:100 selmm:0,0,20,20 scan:%Dout.bmp\"", 0, 4455, "out.bmp", true,
     "\"line resppi:100 selmm:0,0,20,20 scan:%Dsame.bmp\""},
    {"grey ZANDOR asked for RGB scans grey", kGreyZandor, "\"rgb resppi:100 selmm:0,0,20,20 scan:%Dout.bmp\"", 0,
     4455, "out.bmp", true, "\"gray resppi:100 selmm:0,0,20,20 scan:%Dsame.bmp\""},
    {"CMYK settings slot on the KOVAL II scans RGB", kKoval2,
     "\"set:CMPROF.ZLK resppi:100 selmm:0,0,20,20 scan:%Dout.tif\"", 0, 4455, "out.tif", true},
    {"16 bits into a TIFF", kDeepKoval2, "\"rgb bits:16 resppi:100 selmm:0,0,20,20 scan:%Dout.tif\"", 0, 0, "out.tif",
     true, nullptr, 16},
    {"16 bits of a 10-bit KOVAL II", kKoval2, "\"rgb bits:16 resppi:100 selmm:0,0,20,20 scan:%Dout.tif\"", 0, 4458,
     "out.tif", true},
    {"16 bits into a BMP", kDeepKoval2, "\"rgb bits:16 resppi:100 selmm:0,0,20,20 scan:%Dout.bmp\"", 1, 3320},
    {"FENNIK with an empty feeder", kFennikEmptyFeeder, "\"adf rgb resppi:100 selmm:0,0,20,20 scan:%Dout.bmp\"", 1,
     3339},
    {"PENDARO without a feeder", kPendaroWithoutFeeder, "\"adf rgb resppi:100 selmm:0,0,20,20 scan:%Dout.bmp\"", 1,
     4457},
    {"KOVAL II asked for its feeder", kKoval2, "\"adf rgb resppi:100 selmm:0,0,20,20 scan:%Dout.bmp\"", 1, 4457},
    {"densities reach the scan", kKoval2, "\"gray resppi:100 selmm:20,20,80,80 gamma:1 dens:0.3,1.5 scan:%Dout.bmp\"",
     0, 0, "out.bmp", true, "\"gray resppi:100 selmm:20,20,80,80 gamma:1 scan:%Dsame.bmp\"", 0, true},
    {"densities reach the OSTRAVEL scan", kOstravel,
     "\"gray resppi:100 selmm:20,20,60,60 gamma:1 dens:0.3,1.5 scan:%Dout.bmp\"", 0, 0, "out.bmp", true,
     "\"gray resppi:100 selmm:20,20,60,60 gamma:1 scan:%Dsame.bmp\"", 0, true},
    {"auto finds the range of the selection", kKoval2,
     "\"gray resppi:100 selmm:20,20,80,80 gamma:1 auto scan:%Dout.bmp\"", 0, 0, "out.bmp", true,
     "\"gray resppi:100 selmm:20,20,80,80 gamma:1 scan:%Dsame.bmp\"", 0, true},
};

// A copy of the run folder's settings file for the KOVAL II with the resolution of every image type
// made -1.
void WriteSettingsWithoutResolution(const std::string& from, const std::string& to)
{
    std::ifstream in(from, std::ios::binary);
    std::vector<char> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    constexpr size_t kSlotSize = 14576, kParams = 145, kResolution = 4;
    for (size_t slot = 0; slot + kSlotSize <= file.size(); slot += kSlotSize) {
        if (file[slot] == 0 && file[slot + 1] == 0 && file[slot + 2] == 0 && file[slot + 3] == 0)
            continue;  // a slot nobody wrote
        for (size_t type = 0; type < 5; ++type)
            std::fill_n(&file[slot + 4 + (type * kParams + kResolution) * 4], 4, '\xFF');
    }
    std::ofstream(to, std::ios::binary).write(file.data(), (std::streamsize)file.size());
}

std::string InRunFolder(std::string arguments, const std::string& folder)
{
    for (size_t at; (at = arguments.find("%D")) != std::string::npos;)
        arguments.replace(at, 2, folder);
    for (size_t at; (at = arguments.find("%L")) != std::string::npos;)
        arguments.replace(at, 2, kLongName);
    for (size_t at; (at = arguments.find("%H")) != std::string::npos;)
        arguments.replace(at, 2, kHugeName);
    return arguments;
}

TEST_F(CEndToEnd, BatchStartsEndWithTheirStatusLogLineAndFile)
{
    std::ofstream(m_Dir + "empty.rsp", std::ios::binary);
    std::ofstream(m_Dir + "binary.rsp", std::ios::binary)
        << std::string("rgb\0\x01\x02scan:out.bmp", 17);
    CreateDirectoryA((m_Dir + "folder.rsp").c_str(), nullptr);
    // Each response file names the next, a thousand deep.
    for (int i = 0; i < 1000; ++i)
        std::ofstream(m_Dir + "nest" + std::to_string(i) + ".rsp") << "@" << m_Dir << "nest" << i + 1 << ".rsp\n";
    CreateDirectoryA((m_Dir + "folder.bmp").c_str(), nullptr);
    std::ofstream(m_Dir + "readonly.bmp") << "kept";
    SetFileAttributesA((m_Dir + "readonly.bmp").c_str(), FILE_ATTRIBUTE_READONLY);
    std::ofstream(m_Dir + "few.zlk") << "ZLK";
    std::ofstream(m_Dir + "nothing.zlk");
    WriteSettingsWithoutResolution(testsupport::ProgramDirectory() + "..\\bin\\CMPROF.ZLK", m_Dir + "noresolution.zlk");
    // A run ended by force left its temporary file; another program left one of a similar name.
    const CTemporaryOwner gone = {GetCurrentProcessId(), CurrentTemporaryOwner().startTime - 10000000};
    const std::string stale = m_Dir + TemporaryFileName(gone), foreign = m_Dir + "brv1A2B.tmp";
    std::ofstream(stale) << "half an image";
    std::ofstream(foreign) << "not ours";
    const std::string bin = testsupport::ProgramDirectory() + "..\\bin\\";
    ASSERT_TRUE(CopyFileA((bin + "CMPROF.ZLK").c_str(), (m_Dir + "CMPROF.ZLK").c_str(), FALSE));
    for (const CFailedBatch& batch : kFailedBatches) {
        SCOPED_TRACE(batch.name);
        DeleteFileA((m_Dir + "zelkbat.txt").c_str());
        DeleteFileA((m_Dir + batch.output).c_str());
        Describe(batch.bus);
        const DWORD start = GetTickCount();
        const CChildRun run = Finish(Start(InRunFolder(batch.arguments, m_Dir)), 60000);
        EXPECT_LT(GetTickCount() - start, 60000u);
        EXPECT_EQ(batch.exitCode, run.exitCode);
        EXPECT_TRUE(run.boxes.empty()) << run.boxes.front();
        const std::vector<std::string> lines = LogLines(ReadText("zelkbat.txt"));
        bool logged = false;
        for (const std::string& line : lines) {
            EXPECT_TRUE(IsDatedLogLine(line)) << line;
            logged = logged || HoldsCatalogText(line, batch.messageId);
        }
        if (batch.messageId != 0)
            EXPECT_TRUE(logged) << "no line of message " << batch.messageId << " in " << ReadText("zelkbat.txt");
        else
            EXPECT_TRUE(lines.empty()) << ReadText("zelkbat.txt");
        EXPECT_EQ(batch.written, Exists(batch.output));
        if (batch.bits != 0) {
            CTiffFacts facts;
            ASSERT_TRUE(ReadTiffFacts(m_Dir + batch.output, facts));
            EXPECT_EQ(batch.bits, facts.bits);
        }
        if (batch.sameAs == nullptr)
            continue;
        DeleteFileA((m_Dir + "same.bmp").c_str());
        EXPECT_EQ(0u, Finish(Start(InRunFolder(batch.sameAs, m_Dir)), 60000).exitCode);
        const std::string written = ReadBinary(m_Dir + batch.output);
        EXPECT_FALSE(written.empty());
        EXPECT_EQ(batch.differs, written != ReadBinary(m_Dir + "same.bmp")) << batch.sameAs;
    }
    EXPECT_FALSE(Exists(stale.substr(m_Dir.size()).c_str())) << "the stale temporary file stayed";
    EXPECT_TRUE(Exists("brv1A2B.tmp")) << "a file that is not ours was removed";
    EXPECT_EQ("kept", ReadText("readonly.bmp"));
    SetFileAttributesA((m_Dir + "readonly.bmp").c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(foreign.c_str());
}

// A batch scan does not resample: "scale:" keeps the pixels of "resppi:" and states the printed
// size through the resolution the file records.
TEST_F(CEndToEnd, BatchScaleIsTheResolutionTheFileRecords)
{
    Describe(kOneKoval2);
    const struct {
        const char* scale;
        int dpi;
    } kCases[] = {{"scale:100", 300}, {"scale:50", 600}, {"scale:1000", 30}, {"scale:1", 30000}};
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.scale);
        DeleteFileA((m_Dir + "out.bmp").c_str());
        const std::string line =
            std::string("\"gray resppi:300 selmm:0,0,20,10 ") + c.scale + " scan:" + m_Dir + "out.bmp\"";
        EXPECT_EQ(0u, Finish(Start(line), 60000).exitCode);
        const std::string file = ReadBinary(m_Dir + "out.bmp");
        ASSERT_GT(file.size(), 54u);
        auto u32 = [&](size_t at) {
            const uint8_t* b = (const uint8_t*)file.data() + at;
            return uint32_t(b[0] | b[1] << 8 | b[2] << 16 | b[3] << 24);
        };
        EXPECT_NEAR(20 / 25.4 * 300, u32(18), 2.0);
        EXPECT_NEAR(10 / 25.4 * 300, u32(22), 2.0);
        EXPECT_NEAR(c.dpi, u32(38) * 0.0254, c.dpi / 1000.0 + 1);
    }
}

// A device that sends less INQUIRY data than it announces is still found and scans; the commands
// of the run stay in the transcript file after the process has ended.
TEST_F(CEndToEnd, ShortInquiryStillFindsTheScannerAndTheTranscriptKeepsTheRun)
{
    const std::string transcript = m_Dir + "transcript.txt";
    Describe("host 0\ndevice 0 0 4 kind=koval2 transcript=\"" + transcript + "\"\n" +
             "fault 0 0 4 kind=short opcode=0x12 count=0 bytes=80\n");
    const CChildRun run = Run("\"gray resppi:300 selmm:0,0,10,10 scan:" + m_Dir + "out.bmp\"");
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_TRUE(run.boxes.empty()) << run.boxes.front();
    EXPECT_TRUE(Exists("out.bmp"));
    const std::vector<std::string> lines = LogLines(ReadText("transcript.txt"));
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ("12 00 00 00 05 00", lines[0]) << "the search's INQUIRY comes first";
    EXPECT_EQ("12 00 00 00 60 00", lines[1]);
    auto has = [&](const std::string& line) { return std::find(lines.begin(), lines.end(), line) != lines.end(); };
    EXPECT_TRUE(has("55 00 00 00 00 00 00 08 00 01 > 2048")) << "the grey table with its byte count";
    EXPECT_TRUE(has("04 00 00 00 09 00 > 9")) << "the window";
    EXPECT_EQ("1b 00 00 00 00 00", lines.back()) << "the scan's stop, the last command";
}

TEST_F(CEndToEnd, SecondProcessIsToldTheDeviceIsBusy)
{
    Describe(std::string("host 0\ndevice 0 0 4 kind=koval2 readylines=16\n") +
             "fault 0 0 4 kind=delay opcode=0x08 count=0 ms=250\n");
    const PROCESS_INFORMATION slow =
        Start("\"rgb resppi:300 selmm:0,0,100,80 scan:" + m_Dir + "out.bmp\"");
    Sleep(3000);
    const CChildRun second = Run("\"rgb resppi:300 selmm:0,0,20,20 scan:" + m_Dir + "busy.bmp\"");
    const CChildRun first = Finish(slow);
    EXPECT_TRUE(first.boxes.empty()) << first.boxes.front();
    EXPECT_EQ(0u, first.exitCode);
    EXPECT_EQ(2u, second.exitCode);
    EXPECT_TRUE(second.boxes.empty()) << second.boxes.front();
    const std::string log = ReadText("zelkbat.txt");
    EXPECT_NE(std::string::npos, log.find(CatalogText(4483))) << log;
    EXPECT_FALSE(Exists("busy.bmp"));
}

struct CFrameSearch {
    DWORD processId;
    HWND frame;
};

BOOL CALLBACK FindVisibleFrame(HWND window, LPARAM param)
{
    CFrameSearch& search = *(CFrameSearch*)param;
    if (IsShownBy(window, search.processId) && (GetWindowLongA(window, GWL_STYLE) & WS_CAPTION) == WS_CAPTION)
        search.frame = window;
    return TRUE;
}

TEST_F(CEndToEnd, InteractiveStartShowsTheFrameAndKeepsTheFeederChoice)
{
    Describe(kOneKoval2);
    WritePrivateProfileStringA("General", "ADF", "1", (m_Dir + "ZELK2.INI").c_str());
    const PROCESS_INFORMATION process = Start("rgb resppi:600");
    CFrameSearch search = {process.dwProcessId, nullptr};
    for (int wait = 0; wait < 300 && !search.frame; ++wait) {
        Sleep(100);
        EnumWindows(FindVisibleFrame, (LPARAM)&search);
    }
    ASSERT_NE(nullptr, search.frame) << "no main window";
    char title[256] = {};
    GetWindowTextA(search.frame, title, sizeof title);
    EXPECT_EQ(0u, std::string(title).find("Brelvane 32 V2.09 - ")) << title;
    // Without a saved placement the window opens at its minimum size, which holds the form and the
    // bars, and keeps that size in the INI file.
    RECT rect;
    GetWindowRect(search.frame, &rect);
    EXPECT_GE(rect.right - rect.left, 640);
    EXPECT_GE(rect.bottom - rect.top, 480);
    PostMessageA(search.frame, WM_CLOSE, 0, 0);
    const CChildRun run = Finish(process, 30000);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ("1", IniValue("General", "ADF"));
    EXPECT_EQ(std::to_string(rect.right - rect.left), IniValue("General", "WindowW"));
    EXPECT_EQ(std::to_string(rect.bottom - rect.top), IniValue("General", "WindowH"));
}

struct CTitledWindowSearch {
    DWORD processId;
    const char* title;
    HWND window;
};

BOOL CALLBACK FindTitledWindow(HWND window, LPARAM param)
{
    CTitledWindowSearch& search = *(CTitledWindowSearch*)param;
    char title[256] = {};
    GetWindowTextA(window, title, sizeof title);
    if (IsShownBy(window, search.processId) && strcmp(title, search.title) == 0)
        search.window = window;
    return TRUE;
}

// The visible window of the child with the title, once it shows a status; null after the wait.
HWND AwaitProgressWindow(const PROCESS_INFORMATION& process, const char* title, const std::string& status)
{
    CTitledWindowSearch search = {process.dwProcessId, title, nullptr};
    for (int wait = 0; wait < 600; ++wait) {
        search.window = nullptr;
        EnumWindows(FindTitledWindow, (LPARAM)&search);
        char text[256] = {};
        if (search.window != nullptr)
            GetDlgItemTextA(search.window, 3043, text, sizeof text);
        if (search.window != nullptr && std::string(text).find(status) != std::string::npos)
            return search.window;
        if (WaitForSingleObject(process.hProcess, 100) != WAIT_TIMEOUT)
            return nullptr;
    }
    return nullptr;
}

// A slow scan: every READ(6) of the device takes a while, so a user has time to press Cancel.
const char* const kSlowKoval2 = "host 0\ndevice 0 0 4 kind=koval2 readylines=16\n"
                                "fault 0 0 4 kind=delay opcode=0x08 count=0 ms=150\n";

TEST_F(CEndToEnd, ProgressWindowFollowsTheScanAndItsCancelStopsIt)
{
    Describe(kSlowKoval2);
    // The batch line is read in lower case, its title included.
    const PROCESS_INFORMATION process =
        Start("rgb resppi:300 selmm:0,0,100,80 progress:\"test run\" scan:" + m_Dir + "out.bmp");
    const HWND window = AwaitProgressWindow(process, "test run", "KOVAL");
    ASSERT_NE(nullptr, window) << "no progress window showing the scan";
    EXPECT_FALSE(testsupport::TakeScreenshot("batch_progress").empty());
    const HWND cancel = GetDlgItem(window, 3822);
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(3822, BN_CLICKED), (LPARAM)cancel);
    const CChildRun run = Finish(process, 60000);
    EXPECT_EQ(2u, run.exitCode);
    EXPECT_TRUE(run.boxes.empty()) << run.boxes.front();
    EXPECT_FALSE(Exists("out.bmp"));
    EXPECT_EQ(0, testsupport::CountProgramFiles("e2e\\*.tmp"));
    const std::string log = ReadText("zelkbat.txt");
    EXPECT_NE(std::string::npos, log.find(CatalogText(3307))) << log;
}

TEST_F(CEndToEnd, ProgressWithoutTitleTakesTheCatalogTitle)
{
    Describe(kSlowKoval2);
    const PROCESS_INFORMATION process = Start("\"gray resppi:150 selmm:0,0,50,50 progress scan:" + m_Dir + "out.bmp\"");
    const std::string title = CatalogText(3001);
    const HWND window = AwaitProgressWindow(process, title.c_str(), "");
    const CChildRun run = Finish(process, 60000);
    EXPECT_NE(nullptr, window) << "no window titled " << title;
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_TRUE(Exists("out.bmp"));
}

TEST_F(CEndToEnd, NoProgressWindowWithoutTheKeyword)
{
    Describe(kSlowKoval2);
    const PROCESS_INFORMATION process = Start("\"gray resppi:150 selmm:0,0,50,50 scan:" + m_Dir + "out.bmp\"");
    const std::string title = CatalogText(3001);
    bool shown = false;
    while (WaitForSingleObject(process.hProcess, 50) == WAIT_TIMEOUT) {
        CTitledWindowSearch search = {process.dwProcessId, title.c_str(), nullptr};
        EnumWindows(FindTitledWindow, (LPARAM)&search);
        shown = shown || search.window != nullptr;
    }
    const CChildRun run = Finish(process);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_FALSE(shown);
}

TEST_F(CEndToEnd, MissingCatalogEndsTheBatchStartWithItsLogLine)
{
    Describe(kOneKoval2);
    DeleteFileA((m_Dir + "ENG.MSG").c_str());
    const CChildRun run = Finish(Start("\"rgb scan:out.bmp\""), 60000);
    EXPECT_EQ(4u, run.exitCode);
    EXPECT_TRUE(run.boxes.empty()) << run.boxes.front();
    const std::vector<std::string> lines = LogLines(ReadText("zelkbat.txt"));
    ASSERT_EQ(1u, lines.size()) << ReadText("zelkbat.txt");
    EXPECT_TRUE(IsDatedLogLine(lines[0])) << lines[0];
    EXPECT_NE(std::string::npos, lines[0].find("There's a problem loading (ENG.MSG).")) << lines[0];
}

}  // namespace


// The README's colour-managed scans from the settings files the build wrote: each TIFF holds the
// output profile's colours and carries that profile; a scan without colour management carries none.
TEST_F(CEndToEnd, ColourManagedScansWriteTiffsCarryingTheirProfile)
{
    // Tables of 16-bit values: a 48-bit scan then fills the whole range.
    Describe("host 0\ndevice 0 0 4 kind=koval2 lut=0x62\n");
    const std::string bin = testsupport::ProgramDirectory() + "..\\bin\\";
    for (const char* file : {"CMPROF.ZLK", "CMMON.ZLK", "CMLINK.ZLK"})
        ASSERT_TRUE(CopyFileA((bin + file).c_str(), (m_Dir + file).c_str(), FALSE)) << file;
    const std::string rgbOut = ReadBinary(bin + "cmsbase\\MIREVANT\\PROFILES\\RGBOUT.icc");
    ASSERT_FALSE(rgbOut.empty());
    struct Case {
        const char* settings;
        const char* file;
        uint16_t bits;
        bool profile;
    };
    const Case cases[] = {
        {"set:CMPROF.ZLK ", "cm16.tif", 16, true},
        {"set:CMMON.ZLK ", "cmmon.tif", 8, true},
        {"set:CMLINK.ZLK ", "cmlk.tif", 8, true},
        {"", "plain.tif", 8, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        DeleteFileA((m_Dir + c.file).c_str());
        const CChildRun run = Run(std::string("\"") + c.settings + "rgb resppi:300 selmm:10,10,60,50 scan:" + c.file + "\"");
        EXPECT_EQ(0u, run.exitCode) << ReadText("zelkbat.txt");
        EXPECT_TRUE(run.boxes.empty());
        CTiffFacts facts;
        ASSERT_TRUE(ReadTiffFacts(m_Dir + c.file, facts)) << "no TIFF " << c.file;
        EXPECT_NEAR(50 / 25.4 * 300, facts.width, 2.0);
        EXPECT_NEAR(40 / 25.4 * 300, facts.height, 2.0);
        EXPECT_EQ(c.bits, facts.bits);
        EXPECT_EQ(3, facts.samples);
        // Deep samples use the 16-bit range, not a table's 8 or 10 bits inside 16-bit words.
        if (c.bits == 16) {
            EXPECT_GT(facts.largest, 4095u);
        }
        EXPECT_EQ(c.profile ? rgbOut : std::string(), facts.profile);
    }
}

// A settings file naming a profile the engine does not have stops the scan with that name.
TEST_F(CEndToEnd, AMissingProfileStopsTheScanWithItsName)
{
    Describe(kOneKoval2);
    const std::string bin = testsupport::ProgramDirectory() + "..\\bin\\";
    std::string settings = ReadBinary(bin + "CMPROF.ZLK");
    ASSERT_FALSE(settings.empty());
    for (size_t at; (at = settings.find(std::string("RGBOUT\0", 7))) != std::string::npos;)
        settings.replace(at, 6, "NOPROF");
    std::ofstream(m_Dir + "NOPROF.ZLK", std::ios::binary) << settings;
    DeleteFileA((m_Dir + "zelkbat.txt").c_str());
    const CChildRun run = Run("\"set:NOPROF.ZLK rgb resppi:300 selmm:10,10,60,50 scan:np.tif\"");
    EXPECT_EQ(1u, run.exitCode);
    EXPECT_NE(std::string::npos, ReadText("zelkbat.txt").find("NOPROF")) << ReadText("zelkbat.txt");
    EXPECT_FALSE(Exists("np.tif"));
}

// Every family a batch line can scan from writes a file of exactly the selected size; line art
// rows hold whole bytes.
TEST_F(CEndToEnd, EveryFamilyScansTheSelectionIntoABmp)
{
    struct Case {
        const char* device;
        const char* line;
        int width, height, bits;
    };
    const Case cases[] = {
        {"kind=fennik", "gray resppi:300 selmm:10,10,60,50 scan:out.bmp", 590, 472, 8},
        {"kind=fennik", "rgb resppi:300 selmm:10,10,60,50 scan:out.bmp", 590, 472, 24},
        {"kind=fennik model=kestscana4", "line resppi:300 selmm:10,10,60,50 scan:out.bmp", 592, 472, 1},
        {"kind=fennik transparency=1", "trans rgb resppi:300 selmm:10,10,40,40 scan:out.bmp", 354, 354, 24},
        {"kind=koval", "gray resppi:300 selmm:10,10,60,50 scan:out.bmp", 590, 472, 8},
        {"kind=koval model=kovalplus", "rgb resppi:300 selmm:10,10,60,50 scan:out.bmp", 590, 472, 24},
        {"kind=koval", "line resppi:300 selmm:10,10,60,50 scan:out.bmp", 592, 472, 1},
        // Windows of even width: one pixel wider than the odd selection; line art rows are whole bytes.
        {"kind=tmr", "gray resppi:200 selmm:10,10,60,50 scan:out.bmp", 393, 314, 8},
        {"kind=tmr model=tmrs", "rgb resppi:200 selmm:10,10,60,50 scan:out.bmp", 393, 314, 24},
        {"kind=tmr", "line resppi:200 selmm:10,10,60,50 scan:out.bmp", 400, 314, 1},
        {"kind=telmari", "rgb resppi:300 selmm:10,10,60,50 scan:out.bmp", 590, 472, 24},
        {"kind=telmari model=plus", "line resppi:300 selmm:10,10,60,50 scan:out.bmp", 592, 472, 1},
        {"kind=telmari model=ultra", "neg gray resppi:300 selmm:10,10,40,40 scan:out.bmp", 354, 354, 8},
        {"kind=pendaro", "gray resppi:300 selmm:10,10,60,50 scan:out.bmp", 590, 472, 8},
        {"kind=pendaro model=dx690", "rgb resppi:300 selmm:10,10,60,50 scan:out.bmp", 590, 472, 24},
        {"kind=pendaro", "line resppi:300 selmm:10,10,60,50 scan:out.bmp", 592, 472, 1},
        // Resampled on tall and on tiny selections: 201 for 200, and far above the optics.
        {"kind=pendaro", "gray resppi:200 selmm:0,0,100,200 scan:out.bmp", 787, 1574, 8},
        {"kind=koval2", "gray resppi:99999 selmm:0,0,2,2 scan:out.bmp", 377, 377, 8},
        {"kind=pendaro feeder=1", "adf gray resppi:300 selmm:10,10,60,50 scan:out.bmp", 590, 472, 8},
        {"kind=ostravel nonuniform=20", "gray resppi:300 selmm:10,10,60,50 scan:out.bmp", 590, 472, 8},
        {"kind=ostravel nonuniform=20", "rgb resppi:300 selmm:10,10,60,50 scan:out.bmp", 590, 472, 24},
        {"kind=ostravel", "line resppi:300 selmm:10,10,60,50 scan:out.bmp", 592, 472, 1},
        {"kind=lumetra", "gray resppi:300 selmm:5,2,26,23 scan:out.bmp", 248, 248, 8},
        {"kind=lumetra model=ocellus", "rgb resppi:600 selmm:5,2,26,23 scan:out.bmp", 496, 496, 24},
        // No image type on the line: the camera's first type (grey), not the line art it lacks.
        {"kind=lumetra", "resppi:300 selmm:5,2,26,23 scan:out.bmp", 248, 248, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.device) + ": " + c.line);
        Describe(std::string("host 0\ndevice 0 0 4 ") + c.device + "\n");
        DeleteFileA((m_Dir + "out.bmp").c_str());
        DeleteFileA((m_Dir + "zelkbat.txt").c_str());
        const CChildRun run = Run(std::string("\"") + c.line + "\"");
        EXPECT_EQ(0u, run.exitCode) << ReadText("zelkbat.txt");
        EXPECT_TRUE(run.boxes.empty());
        CBmp bmp;
        ASSERT_TRUE(ReadBmp(m_Dir + "out.bmp", bmp));
        EXPECT_EQ((std::vector<int>{c.width, c.height, c.bits}), (std::vector<int>{bmp.width, bmp.height, bmp.bits}));
    }
}

// A batch start shows no paper prompt: an empty document feeder takes Abort and says why in the log.
TEST_F(CEndToEnd, PendaroBatchStartWithAnEmptyFeederTakesAbort)
{
    Describe("host 0\ndevice 0 0 4 kind=pendaro feeder=0\n");
    const CChildRun run = Finish(Start("\"adf gray resppi:150 selmm:0,0,20,20 scan:out.bmp\""), 60000);
    EXPECT_NE(0u, run.exitCode);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_NE(std::string::npos, ReadText("zelkbat.txt").find(CatalogText(3339))) << ReadText("zelkbat.txt");
    EXPECT_FALSE(Exists("out.bmp"));
}

namespace {

// A one-curve ".tc" file through the points (0, y0) and (255, y255), as the engine writes it.
void WriteLineCurve(const std::string& path, float y0, float y255)
{
    std::string bytes = "TCRV";
    auto put16 = [&](uint16_t v) { bytes += char(v & 0xFF); bytes += char(v >> 8); };
    auto putFloat = [&](float f) {
        uint32_t v;
        memcpy(&v, &f, sizeof v);
        for (int i = 0; i < 4; ++i)
            bytes += char((v >> (8 * i)) & 0xFF);
    };
    put16(1);
    put16(1);
    put16(2);
    put16(1);
    bytes += std::string(26, '\0');
    put16(0);
    putFloat(0);
    putFloat(255);
    putFloat(y0);
    putFloat(y255);
    std::ofstream(path, std::ios::binary) << bytes;
}

}  // namespace

// CMTONE.ZLK takes its tone from the curve file of [General] ToneCurve: an inverting curve gives the
// negative of what the identity gives.
TEST_F(CEndToEnd, ACurveFileShapesTheScan)
{
    Describe(kOneKoval2);
    const std::string bin = testsupport::ProgramDirectory() + "..\\bin\\";
    ASSERT_TRUE(CopyFileA((bin + "CMTONE.ZLK").c_str(), (m_Dir + "CMTONE.ZLK").c_str(), FALSE));
    WriteLineCurve(m_Dir + "ident.tc", 0, 255);
    WriteLineCurve(m_Dir + "invert.tc", 255, 0);
    std::vector<CBmp> images;
    for (const char* curve : {"ident.tc", "invert.tc"}) {
        SCOPED_TRACE(curve);
        ASSERT_TRUE(WritePrivateProfileStringA("General", "ToneCurve", (m_Dir + curve).c_str(),
                                               (m_Dir + "ZELK2.INI").c_str()));
        DeleteFileA((m_Dir + "out.bmp").c_str());
        const CChildRun run = Run("\"set:CMTONE.ZLK gray resppi:150 selmm:0,0,100,60 scan:out.bmp\"");
        ASSERT_EQ(0u, run.exitCode) << ReadText("zelkbat.txt");
        CBmp image;
        ASSERT_TRUE(ReadBmp(m_Dir + "out.bmp", image) && image.bits == 8);
        images.push_back(image);
    }
    ASSERT_EQ(images[0].samples.size(), images[1].samples.size());
    size_t apart = 0;
    for (size_t i = 0; i < images[0].samples.size(); ++i)
        apart += std::abs(int(images[0].samples[i]) + int(images[1].samples[i]) - 255) > 2;
    EXPECT_EQ(0u, apart);
    EXPECT_NE(images[0].samples, images[1].samples);
}

// Dark pixels of a control on the screen: its text drawn on the light form.
int DarkPixels(HWND control)
{
    RECT place;
    GetWindowRect(control, &place);
    const HDC screen = GetDC(nullptr);
    int count = 0;
    for (LONG y = place.top; y < place.bottom; ++y)
        for (LONG x = place.left; x < place.right; ++x) {
            const COLORREF pixel = GetPixel(screen, x, y);
            count += GetRValue(pixel) + GetGValue(pixel) + GetBValue(pixel) < 300 ? 1 : 0;
        }
    ReleaseDC(nullptr, screen);
    return count;
}

std::string WindowText(HWND window)
{
    char text[512] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

// An interactive start on the virtual KOVAL II: the form in the dialog font the display calls for,
// the localized menu, the title; Close (the form's button or the close box) saves the settings file
// and the INI keys and ends the program with 0.
TEST_F(CEndToEnd, MainWindowClosesSavingTheSettingsFileAndIniKeys)
{
    const struct {
        const char* name;
        const char* trueType;   // WIN.INI [TrueType] TTEnable; null: not set
        bool closeButton;       // else the close box
        const char* section;
        const char* face;
        const char* size;
        const char* screenshot;
    } cases[] = {
        {"normal screen, Close button", nullptr, true, "DialogFont", "Arial", "8", "main-e2e"},
        {"TrueType off, close box", "0", false, "SmallDialogFont", "Small Fonts", "7", "main-small-fonts"},
    };
    std::vector<LONG> scanHeights;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Describe(kOneKoval2);
        DeleteFileA((m_Dir + "ZELK2.INI").c_str());
        DeleteFileA((m_Dir + "ZELK2.ZLK").c_str());
        WriteProfileStringA("TrueType", "TTEnable", c.trueType);
        const PROCESS_INFORMATION process = Start("");
        CFrameSearch search = {process.dwProcessId, nullptr};
        for (int wait = 0; wait < 300 && !search.frame; ++wait) {
            Sleep(100);
            EnumWindows(FindVisibleFrame, (LPARAM)&search);
        }
        WriteProfileStringA("TrueType", "TTEnable", nullptr);
        if (!search.frame) {
            ADD_FAILURE() << "no main window";
            TerminateProcess(process.hProcess, 99);
            Finish(process);
            continue;
        }
        const std::string title = WindowText(search.frame);
        EXPECT_EQ(0u, title.find("Brelvane 32 V2.09 - ")) << title;
        EXPECT_EQ(title.size() - 9, title.rfind("ZELK2.ZLK")) << title;
        // the bar itself belongs to the child: its entries are the in-process menu tests' to read
        EXPECT_NE(nullptr, GetMenu(search.frame));
        const HWND form = GetDlgItem(search.frame, 1);
        ASSERT_NE(nullptr, form);
        EXPECT_EQ(CatalogText(3746), WindowText(GetDlgItem(form, 3746)));
        EXPECT_EQ(CatalogText(3658), WindowText(GetDlgItem(form, 3658)));
        EXPECT_EQ(CatalogText(3287), WindowText(GetDlgItem(form, 5041)));
        // The first paint of the form comes a while after the frame shows, control by control, and
        // later still on a busy machine.
        const int probed[] = {3746, 3747, 3752, 3664, 5041};
        auto painted = [&form, &probed] {
            for (int id : probed)
                if (DarkPixels(GetDlgItem(form, id)) <= 5)
                    return false;
            return true;
        };
        const DWORD shown = GetTickCount();
        while (!painted() && GetTickCount() - shown < 20000)
            Sleep(100);
        EXPECT_FALSE(testsupport::TakeScreenshot(c.screenshot).empty());
        for (int id : probed)
            EXPECT_GT(DarkPixels(GetDlgItem(form, id)), 5) << "control " << id;
        RECT scan;
        GetWindowRect(GetDlgItem(form, 3664), &scan);
        scanHeights.push_back(scan.bottom - scan.top);
        if (c.closeButton)
            PostMessageA(form, WM_COMMAND, MAKEWPARAM(3658, BN_CLICKED), (LPARAM)GetDlgItem(form, 3658));
        else
            PostMessageA(search.frame, WM_CLOSE, 0, 0);
        const CChildRun run = Finish(process, 30000);
        EXPECT_EQ(0u, run.exitCode);
        EXPECT_TRUE(run.boxes.empty()) << run.boxes.front();
        EXPECT_TRUE(Exists("ZELK2.ZLK"));
        const std::string settingsFile = IniValue("General", "SettingsFile");
        EXPECT_EQ(settingsFile.size() - 9, settingsFile.rfind("ZELK2.ZLK")) << settingsFile;
        EXPECT_NE("absent", IniValue("General", "Version"));
        EXPECT_NE("absent", IniValue("General", "WindowW"));
        EXPECT_EQ(c.face, IniValue(c.section, "Name"));
        EXPECT_EQ(c.size, IniValue(c.section, "Size"));
        EXPECT_NE("absent", IniValue("BrelvaneControlBars", "BarE800"));
    }
    // the small template's dialog units are smaller
    ASSERT_EQ(2u, scanHeights.size());
    EXPECT_LT(scanHeights[1], scanHeights[0]);
}

namespace {

// One batch scan compared with the chart it saw. The line gets the selection and the output added; `reach` is how far
// (output pixels) the interpolation rings beside an edge, so that only pixels farther from any edge are held to the
// chart's level.
struct CChartScan {
    const char* device;
    const char* line;
    int resolution;
    double selection[4];  // left, top, right, bottom in mm
    int reach;
};

// The chart's levels as the output should hold them, channel by channel (one for grey and line
// art), and the grey the line-art threshold decides on.
struct CChartPlanes {
    int width = 0, height = 0, channels = 1;
    std::vector<int> levels;  // (y * width + x) * channels + c
    std::vector<int> basis;  // the levels edges and flat areas are judged on; kBusy where none can be
};

// Line pairs finer than three output pixels a line: a scan averages them, the chart's samples alias.
constexpr int kBusy = -1000;

bool IsBusy(double x, double y, int resolution)
{
    if (y < 4.5 || y >= 6.0 || x < 0 || x >= CTestChart::kWidth)
        return false;
    const int group = int(4 * x / CTestChart::kWidth);
    return 0.05 * resolution / (1 << group) < 3;
}

int Turned(const CChartScan& scan, const std::string& word)
{
    const std::string line = scan.line;
    const size_t at = line.find(word);
    return at == std::string::npos ? 0 : std::atoi(line.c_str() + at + word.size());
}

// The chart over the selection at the output resolution, mirrored (hor: upside down, ver: each
// line reversed) and then turned clockwise as the line asks.
CChartPlanes ExpectedChart(const CChartScan& scan, int channels, bool lineArt)
{
    CChartWindow window;
    window.left = scan.selection[0] / 25.4;
    window.top = scan.selection[1] / 25.4;
    window.xResolution = window.yResolution = scan.resolution;
    window.pixelsPerLine = int((scan.selection[2] - scan.selection[0]) / 25.4 * scan.resolution);
    window.lines = int((scan.selection[3] - scan.selection[1]) / 25.4 * scan.resolution);
    window.channels = channels;
    const std::vector<uint8_t> chart = CTestChart::Render(window);
    const std::string line = scan.line;
    const bool upsideDown = line.find("hor") != std::string::npos;
    const bool reversed = !upsideDown && line.find("ver") != std::string::npos;
    const int rotation = Turned(scan, "rot:");
    const bool sideways = rotation == 90 || rotation == 270;
    const int w = window.pixelsPerLine, h = window.lines;
    CChartPlanes planes;
    planes.width = sideways ? h : w;
    planes.height = sideways ? w : h;
    planes.channels = channels;
    planes.levels.resize(size_t(w) * h * channels);
    planes.basis.resize(planes.levels.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int mx = reversed ? w - 1 - x : x, my = upsideDown ? h - 1 - y : y;
            int ox = mx, oy = my;
            if (rotation == 90)
                ox = h - 1 - my, oy = mx;
            else if (rotation == 180)
                ox = w - 1 - mx, oy = h - 1 - my;
            else if (rotation == 270)
                ox = my, oy = w - 1 - mx;
            const bool busy = IsBusy(
                window.left + (x + 0.5) / scan.resolution, window.top + (y + 0.5) / scan.resolution, scan.resolution);
            for (int c = 0; c < channels; ++c) {
                const int level = chart[(size_t(y) * w + x) * channels + c];
                const size_t at = (size_t(oy) * planes.width + ox) * channels + c;
                planes.basis[at] = busy ? kBusy : level;
                planes.levels[at] = lineArt ? (level >= 128 ? 255 : 0) : level;
            }
        }
    return planes;
}

// The scan's levels in the same order; line art as 0 (black) and 255.
std::vector<int> ScannedLevels(const CBmp& bmp, const CChartPlanes& planes)
{
    std::vector<int> levels(planes.levels.size());
    const size_t rowBytes = bmp.bits == 1 ? size_t(bmp.width + 7) / 8 : size_t(bmp.width) * bmp.bits / 8;
    for (int y = 0; y < planes.height; ++y)
        for (int x = 0; x < planes.width; ++x)
            for (int c = 0; c < planes.channels; ++c) {
                const uint8_t* row = &bmp.samples[rowBytes * y];
                const int level =
                    bmp.bits == 1 ? ((row[x / 8] & (0x80 >> (x % 8))) != 0 ? 0 : 255) : row[x * planes.channels + c];
                levels[(size_t(y) * planes.width + x) * planes.channels + c] = level;
            }
    return levels;
}

// The spread of the basis around each pixel (max - min within `reach` pixels), channel by channel.
std::vector<int> LocalSpread(const CChartPlanes& planes, int reach)
{
    const int w = planes.width, h = planes.height, n = planes.channels;
    std::vector<int> low(planes.basis.size()), high(planes.basis.size()), spread(planes.basis.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < n; ++c) {
                int lo = 255, hi = kBusy;
                for (int i = std::max(0, x - reach); i <= std::min(w - 1, x + reach); ++i) {
                    const int v = planes.basis[(size_t(y) * w + i) * n + c];
                    lo = std::min(lo, v);
                    hi = std::max(hi, v);
                }
                low[(size_t(y) * w + x) * n + c] = lo;
                high[(size_t(y) * w + x) * n + c] = hi;
            }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < n; ++c) {
                int lo = 255, hi = kBusy;
                for (int j = std::max(0, y - reach); j <= std::min(h - 1, y + reach); ++j) {
                    lo = std::min(lo, low[(size_t(j) * w + x) * n + c]);
                    hi = std::max(hi, high[(size_t(j) * w + x) * n + c]);
                }
                spread[(size_t(y) * w + x) * n + c] = hi - lo;
            }
    return spread;
}

// Pixels inside the chart's flat areas (patches, bands, ramps, the mark) whose level is not the
// chart's; line art only where the grey is clearly on one side of the threshold.
std::string PatchFaults(const CChartPlanes& planes, const std::vector<int>& scanned, int reach, bool lineArt)
{
    const std::vector<int> spread = LocalSpread(planes, reach);
    size_t faults = 0, held = 0;
    std::ostringstream first;
    for (size_t i = 0; i < scanned.size(); ++i) {
        if (spread[i] > 3 || planes.basis[i] == kBusy || (lineArt && std::abs(planes.basis[i] - 128) < 24))
            continue;
        ++held;
        if (std::abs(scanned[i] - planes.levels[i]) <= 8)
            continue;
        if (faults++ < 3) {
            const size_t pixel = i / planes.channels;
            first << " (" << pixel % planes.width << ", " << pixel / planes.width << ") " << scanned[i] << " for "
                  << planes.levels[i] << ";";
        }
    }
    if (held < scanned.size() / 4)
        return "only " + std::to_string(held) + " pixels lie in flat areas";
    return faults == 0 ? std::string() : std::to_string(faults) + " pixels differ:" + first.str();
}

// Every straight step of the chart between two flat stretches, across the rows or down the columns:
// the scan must cross the middle level within one pixel of where the chart does.
struct CEdgeCount {
    size_t checked = 0;
    size_t off = 0;
    std::string first;
};

void CheckEdges(const CChartPlanes& planes, const std::vector<int>& scanned, bool down, bool lineArt, CEdgeCount& count)
{
    const int along = down ? planes.height : planes.width;
    const int across = down ? planes.width : planes.height;
    const int n = planes.channels;
    for (int a = 0; a < across; ++a)
        for (int c = 0; c < n; ++c) {
            auto at = [&](int p, int side = 0) {
                const int b = std::clamp(a + side, 0, across - 1);
                return (size_t(down ? p : b) * planes.width + (down ? b : p)) * n + c;
            };
            auto straight = [&](int p) {
                for (int side = -2; side <= 2; ++side)
                    if (planes.basis[at(p, side)] != planes.basis[at(p)] || planes.basis[at(p)] == kBusy)
                        return false;
                return true;
            };
            // A step next to the first or last pixel counts too: a last column copied from the one
            // before it hides the step.
            for (int p = 1; p < along; ++p) {
                const int before = planes.basis[at(p - 1)], after = planes.basis[at(p)];
                const int from = planes.levels[at(p - 1)], to = planes.levels[at(p)];
                const bool flatBefore = p < 2 || std::abs(planes.basis[at(p - 2)] - before) <= 3;
                const bool flatAfter = p + 1 >= along || std::abs(planes.basis[at(p + 1)] - after) <= 3;
                if (std::abs(after - before) < 24 || from == to || !flatBefore || !flatAfter || !straight(p - 1) ||
                    !straight(p))
                    continue;
                // Grey close to the threshold may fall either way.
                if (lineArt && (std::abs(before - 128) < 24 || std::abs(after - 128) < 24))
                    continue;
                const int middle = (from + to) / 2;
                int nearest = 99;
                for (int q = std::max(1, p - 4); q <= std::min(along - 1, p + 4); ++q)
                    if ((scanned[at(q - 1)] < middle) != (scanned[at(q)] < middle))
                        nearest = std::min(nearest, std::abs(q - p));
                ++count.checked;
                if (nearest <= 1)
                    continue;
                if (count.off++ < 3)
                    count.first += std::string(" ") + (down ? "row " : "column ") + std::to_string(p) + " at " +
                        std::to_string(a) + " off by " + std::to_string(nearest) + ";";
            }
        }
}

const CChartScan kChartScans[] = {
    // KOVAL II: resampled (201 for 200), native, interpolated above its optics
    {"kind=koval2", "rgb gamma:1", 200, {0, 0, 100, 200}, 4},
    {"kind=koval2", "gray gamma:1", 300, {0, 0, 60, 250}, 3},
    // Twice and four times its optics, on the coarsest line pairs (the device places its window in
    // steps of 1/300 inch).
    {"kind=koval2", "gray gamma:1", 2400, {0, 127, 4, 131}, 6},
    {"kind=koval2", "rgb rot:90 gamma:1", 4800, {0, 127, 2, 129}, 12},
    // Line art is judged on the light whatever the gamma: dark patches stay black at 100 as at 300.
    {"kind=koval2", "line", 75, {0, 50, 210, 120}, 3},
    {"kind=koval2", "line", 100, {0, 50, 210, 120}, 3},
    {"kind=koval2", "line", 200, {0, 50, 210, 120}, 3},
    {"kind=koval2", "line", 300, {0, 50, 210, 120}, 3},
    {"kind=koval2", "rgb hor gamma:1", 150, {10, 160, 110, 297}, 4},
    {"kind=koval2", "rgb ver gamma:1", 75, {0, 150, 200, 297}, 4},
    {"kind=koval2", "gray rot:90 gamma:1", 100, {0, 0, 100, 250}, 4},
    {"kind=koval2", "gray rot:270 gamma:1", 200, {0, 160, 100, 250}, 4},
    {"kind=koval2", "rgb rot:180 gamma:1", 100, {0, 0, 210, 150}, 4},
    // PENDARO: 102 for 100, 201 for 200 over a tall selection
    {"kind=pendaro", "rgb gamma:1", 100, {0, 0, 100, 250}, 4},
    {"kind=pendaro", "gray gamma:1", 200, {0, 0, 100, 200}, 4},
    {"kind=ostravel", "rgb gamma:1", 100, {0, 0, 100, 250}, 4},
    {"kind=tmr", "rgb gamma:1", 100, {0, 0, 100, 250}, 3},
    {"kind=kiltorra", "rgb gamma:1", 100, {0, 0, 100, 250}, 3},
    // 251 pixels, the last of them past the end of the mark's middle arm: an even window one pixel
    // short would leave the arm's black in it.
    {"kind=tmr", "gray gamma:1", 100, {0, 190, 64, 215}, 3},
    {"kind=kiltorra", "gray gamma:1", 100, {0, 190, 64, 215}, 3},
    {"kind=fennik", "rgb gamma:1", 100, {0, 0, 100, 250}, 3},
    {"kind=koval", "gray gamma:1", 100, {0, 0, 100, 250}, 3},
    {"kind=telmari", "rgb gamma:1", 100, {0, 0, 100, 250}, 3},
    {"kind=zandor", "gray gamma:1", 100, {0, 0, 100, 250}, 3},
    // The film scanner's frame holds the chart's first inch and the colour ramps below it.
    {"kind=orbel", "trans rgb gamma:1", 300, {0, 0, 30, 30}, 3},
    {"kind=orbel", "trans gray gamma:1", 500, {0, 0, 30, 30}, 4},
};

}  // namespace

// Scans at native and resampled resolutions, mirrored and turned, hold the chart: every flat area
// at its level, every edge within one pixel of where the chart puts it.
TEST_F(CEndToEnd, ScansHoldTheChartPatchByPatchAndEdgeByEdge)
{
    for (const CChartScan& scan : kChartScans) {
        std::ostringstream line;
        line << "\"" << scan.line << " resppi:" << scan.resolution << " selmm:" << scan.selection[0] << ","
             << scan.selection[1] << "," << scan.selection[2] << "," << scan.selection[3] << " scan:out.bmp\"";
        SCOPED_TRACE(std::string(scan.device) + ": " + line.str());
        Describe(std::string("host 0\ndevice 0 0 4 ") + scan.device + "\n");
        DeleteFileA((m_Dir + "out.bmp").c_str());
        DeleteFileA((m_Dir + "zelkbat.txt").c_str());
        const CChildRun run = Run(line.str());
        EXPECT_EQ(0u, run.exitCode) << ReadText("zelkbat.txt");
        CBmp bmp;
        if (!ReadBmp(m_Dir + "out.bmp", bmp)) {
            ADD_FAILURE() << "no BMP";
            continue;
        }
        const bool lineArt = bmp.bits == 1;
        const CChartPlanes planes = ExpectedChart(scan, bmp.bits == 24 ? 3 : 1, lineArt);
        // Line art rows hold whole bytes: the file may be up to seven pixels wider than the selection.
        EXPECT_LE(std::abs(bmp.width - planes.width), lineArt ? 8 : 1);
        EXPECT_LE(std::abs(bmp.height - planes.height), 1);
        if (bmp.width < planes.width || bmp.height < planes.height)
            continue;
        const std::vector<int> scanned = ScannedLevels(bmp, planes);
        EXPECT_EQ("", PatchFaults(planes, scanned, scan.reach, lineArt));
        CEdgeCount edges;
        CheckEdges(planes, scanned, false, lineArt, edges);
        CheckEdges(planes, scanned, true, lineArt, edges);
        EXPECT_GT(edges.checked, 0u);
        EXPECT_EQ(0u, edges.off) << "of " << edges.checked << " edges:" << edges.first;
    }
}
