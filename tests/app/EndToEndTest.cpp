// brelvane.exe as a caller starts it: a batch command line against a virtual KOVAL II described by
// a bus description file, run in a folder of its own with the catalog and our ASPI manager. Message
// boxes of the child are read and answered here, so that no case waits on a box.

#include "core/devices/ModelTable.h"
#include "sim/TestChart.h"
#include "tests/support/Screenshot.h"

#include <gtest/gtest.h>

#include <windows.h>

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

BOOL CALLBACK AnswerBox(HWND window, LPARAM param)
{
    CBoxSearch& search = *(CBoxSearch*)param;
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char className[32] = {};
    GetClassNameA(window, className, sizeof className);
    if (owner != search.processId || strcmp(className, "#32770") != 0 || !IsWindowVisible(window))
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
        if (!g_ModelDescriptors[kModelKoval2]->GetDriverFactory())
            GTEST_SKIP() << "this build carries no KOVAL II family in its model table";
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

    std::string m_Dir;
};

const char* const kOneKoval2 = "host 0\ndevice 0 0 4 kind=koval2\n";

struct CBmp {
    int width = 0, height = 0, bits = 0;
    std::vector<uint8_t> rgb;   // top-down, R G B
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
    if (bmp.bits != 24)
        return false;
    const size_t stride = ((size_t)bmp.width * 3 + 3) & ~(size_t)3;
    if (data.size() < offset + stride * (size_t)bmp.height)
        return false;
    bmp.rgb.resize((size_t)bmp.width * bmp.height * 3);
    for (int y = 0; y < bmp.height; ++y) {
        const uint8_t* row = &data[offset + stride * (size_t)(bmp.height - 1 - y)];
        for (int x = 0; x < bmp.width; ++x)
            for (int c = 0; c < 3; ++c)
                bmp.rgb[((size_t)y * bmp.width + x) * 3 + c] = row[x * 3 + 2 - c];
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
    ASSERT_TRUE(ReadBmp(out, bmp)) << "no 24-bit BMP at " << out;
    EXPECT_NEAR(100 / 25.4 * 300, bmp.width, 2.0);
    EXPECT_NEAR(80 / 25.4 * 300, bmp.height, 2.0);
    CChartWindow window;
    window.xResolution = window.yResolution = 300;
    window.pixelsPerLine = bmp.width;
    window.lines = bmp.height;
    window.channels = 3;
    const std::vector<uint8_t> chart = CTestChart::Render(window);
    ASSERT_EQ(chart.size(), bmp.rgb.size());
    size_t differing = 0;
    for (size_t i = 0; i < chart.size(); ++i)
        differing += std::abs(int(chart[i]) - int(bmp.rgb[i])) > 8;
    // gamma 1 keeps the chart's values; edges of fine lines may fall one pixel apart; everything else matches the chart
    EXPECT_LT(differing, chart.size() / 100) << differing << " of " << chart.size() << " samples differ from the chart";
    EXPECT_EQ("0", IniValue("General", "ADF"));
    EXPECT_EQ("1", IniValue("General", "File extension"));
    EXPECT_EQ("4", IniValue("General", "TargetID"));
    EXPECT_EQ("00000000", IniValue("ZELK-Brelvane 32 V2.09 - Scanning Software-2.09-", "ColorRGB"));
}

TEST_F(CEndToEnd, BatchStartWithoutOutputCommandEnds)
{
    Describe(kOneKoval2);
    // "scan" anywhere makes a batch start; without an output command the run must still end.
    const CChildRun run = Run("\"rgb resppi:300 c:\\scans\\x.bmp\"");
    EXPECT_EQ(3u, run.exitCode);
    EXPECT_TRUE(run.boxes.empty());
}

TEST_F(CEndToEnd, FailingDeviceGivesNonZeroExitAndLogsItsMessage)
{
    Describe(std::string(kOneKoval2) + "fault 0 0 4 kind=check opcode=0x08 count=0 sense=3/11/00\n");
    const CChildRun run = Run("\"rgb resppi:300 selmm:0,0,50,50 scan:" + m_Dir + "out.bmp\"");
    EXPECT_NE(0u, run.exitCode);
    EXPECT_NE(4u, run.exitCode) << "the start itself failed";
    ASSERT_FALSE(run.boxes.empty());
    const std::string log = ReadText("zelkbat.txt");
    EXPECT_NE(std::string::npos, log.find(run.boxes.front())) << "log: " << log;
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((m_Dir + "out.bmp").c_str()));
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
    char busy[512] = {};
    ASSERT_FALSE(second.boxes.empty());
    // the catalog text of 4483
    std::ifstream catalog(m_Dir + "ENG.MSG");
    std::string line;
    for (int id = 3000; std::getline(catalog, line) && id <= 4483; ++id)
        if (id == 4483)
            snprintf(busy, sizeof busy, "%s", line.c_str());
    const std::string text = busy;
    const std::string quoted = text.substr(text.find('"') + 1, text.rfind('"') - text.find('"') - 1);
    EXPECT_EQ(quoted, second.boxes.back());
}

struct CFrameSearch {
    DWORD processId;
    HWND frame;
};

BOOL CALLBACK FindVisibleFrame(HWND window, LPARAM param)
{
    CFrameSearch& search = *(CFrameSearch*)param;
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search.processId && IsWindowVisible(window) && (GetWindowLongA(window, GWL_STYLE) & WS_CAPTION) == WS_CAPTION)
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
    RECT rect;
    GetWindowRect(search.frame, &rect);
    EXPECT_EQ(640, rect.right - rect.left);
    EXPECT_EQ(480, rect.bottom - rect.top);
    PostMessageA(search.frame, WM_CLOSE, 0, 0);
    const CChildRun run = Finish(process, 30000);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ("1", IniValue("General", "ADF"));
}

TEST_F(CEndToEnd, MissingCatalogEndsTheStartWithItsBox)
{
    Describe(kOneKoval2);
    DeleteFileA((m_Dir + "ENG.MSG").c_str());
    const CChildRun run = Run("\"rgb scan:out.bmp\"");
    EXPECT_EQ(4u, run.exitCode);
    ASSERT_EQ(1u, run.boxes.size());
    EXPECT_EQ(0u, run.boxes[0].find("There's a problem loading (ENG.MSG)."));
}

}  // namespace
