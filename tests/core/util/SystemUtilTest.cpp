#include "core/util/Clock.h"
#include "core/util/CpuInfo.h"
#include "core/util/DirWalker.h"
#include "core/util/Palettes.h"
#include "core/util/SystemUtil.h"
#include "framework/Gdi.h"
#include "tests/support/Screenshot.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string CurrentDirectory()
{
    char dir[MAX_PATH];
    GetCurrentDirectoryA(sizeof dir, dir);
    return dir;
}

TEST(SystemUtil, Directories)
{
    EXPECT_STREQ((const char*)ProgramDirectory(), testsupport::ProgramDirectory().c_str());
    const CString windows = WindowsDirectory();
    ASSERT_GT(windows.GetLength(), 3);
    EXPECT_EQ(windows[windows.GetLength() - 1], '\\');
    EXPECT_NE(GetFileAttributesA(windows), INVALID_FILE_ATTRIBUTES);
}

int g_timerTicks = 0;
void CALLBACK CountTick(HWND, UINT, UINT_PTR, DWORD) { ++g_timerTicks; }

TEST(SystemUtil, DelayPumpingWaitsTheFullTimeAndDispatches)
{
    const uint32_t before = MillisecondClock();
    DelayPumping(0);
    EXPECT_LT(ClockElapsed(before), 50u);

    g_timerTicks = 0;
    const UINT_PTR timer = SetTimer(nullptr, 0, 20, CountTick);
    ASSERT_NE(timer, 0u);
    const uint32_t start = MillisecondClock();
    DelayPumping(300);
    const uint32_t elapsed = ClockElapsed(start);
    KillTimer(nullptr, timer);
    EXPECT_GE(elapsed, 300u);
    EXPECT_LT(elapsed, 2000u);
    // The timer's messages only run when the wait dispatches them.
    EXPECT_GE(g_timerTicks, 3);
}

std::vector<std::string> g_visited;
void Visit(const char* path) { g_visited.push_back(path); }

class DirWalkerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        m_root = std::string(temp) + "walk" + std::to_string(GetCurrentProcessId());
        for (const char* sub : {"", "\\a", "\\a\\b", "\\a\\c", "\\a\\c\\d", "\\empty"})
            CreateDirectoryA((m_root + sub).c_str(), nullptr);
        // A file among the directories is not walked into.
        CloseHandle(CreateFileA((m_root + "\\a\\file.txt").c_str(), GENERIC_WRITE, 0, nullptr,
                                CREATE_ALWAYS, 0, nullptr));
        g_visited.clear();
    }
    void TearDown() override
    {
        DeleteFileA((m_root + "\\a\\file.txt").c_str());
        for (const char* sub : {"\\a\\c\\d", "\\a\\c", "\\a\\b", "\\a", "\\empty", ""})
            RemoveDirectoryA((m_root + sub).c_str());
    }

    size_t IndexOf(const std::string& sub)
    {
        for (size_t i = 0; i < g_visited.size(); ++i)
            if (_stricmp(g_visited[i].c_str(), (m_root + sub).c_str()) == 0)
                return i;
        return SIZE_MAX;
    }

    std::string m_root;
};

TEST_F(DirWalkerTest, VisitsEveryDirectoryBeforeItsChildren)
{
    const std::string before = CurrentDirectory();
    CDirWalker walker;
    EXPECT_TRUE(walker.Walk((m_root + "\\a").c_str(), Visit));
    ASSERT_EQ(g_visited.size(), 3u);
    EXPECT_NE(IndexOf("\\a\\b"), SIZE_MAX);
    EXPECT_LT(IndexOf("\\a\\c"), IndexOf("\\a\\c\\d"));
    EXPECT_EQ(IndexOf("\\a\\c\\d"), IndexOf("\\a\\c") + 1);
    EXPECT_EQ(_stricmp(CurrentDirectory().c_str(), before.c_str()), 0);
}

TEST_F(DirWalkerTest, EmptyAndMissingStarts)
{
    const std::string before = CurrentDirectory();
    CDirWalker walker;
    EXPECT_TRUE(walker.Walk((m_root + "\\empty").c_str(), Visit));
    EXPECT_TRUE(g_visited.empty());
    EXPECT_FALSE(walker.Walk((m_root + "\\missing").c_str(), Visit));
    EXPECT_TRUE(g_visited.empty());
    EXPECT_EQ(_stricmp(CurrentDirectory().c_str(), before.c_str()), 0);
}

TEST(CpuInfo, FamilyAndModelAgree)
{
    const uint16_t family = GetCpuFamily();
    const uint32_t model = GetCpuModel();
    if (family == 0xFFFF) {
        EXPECT_EQ(model, 0xFFFF00u);
    } else {
        // Any machine that runs this is a Pentium or later; the family sits in bits 8-11 of the
        // signature, which the model value carries shifted by 8.
        EXPECT_GE(family, 5);
        EXPECT_EQ((model >> 16) & 0x0F, family);
    }
}

TEST(CpuInfo, PhysicalMemory)
{
    MEMORYSTATUSEX status = {};
    status.dwLength = sizeof status;
    ASSERT_TRUE(GlobalMemoryStatusEx(&status));
    EXPECT_EQ(GetPhysicalMemoryMb(), (uint32_t)(status.ullTotalPhys >> 20) + 1);
    EXPECT_GT(GetPhysicalMemoryMb(), 16u);
}

struct PaletteCase {
    uint16_t (*build)(CPalette&, int&);
    int step;
    int entries;
    PALETTEENTRY last;
};

const PaletteCase kPalettes[] = {
    {BuildCubePalette, 51, 216, {255, 255, 255, 0}},
    {BuildGreyPalette, 2, 128, {254, 254, 254, 0}},
};

TEST(Palettes, EntriesAndSteps)
{
    for (const PaletteCase& c : kPalettes) {
        CPalette palette;
        int step = 0;
        ASSERT_EQ(c.build(palette, step), kPaletteBuilt);
        EXPECT_EQ(step, c.step);
        ASSERT_EQ(palette.GetEntryCount(), c.entries);
        PALETTEENTRY first = {1, 1, 1, 1}, last = {};
        palette.GetPaletteEntries(0, 1, &first);
        palette.GetPaletteEntries(c.entries - 1, 1, &last);
        EXPECT_EQ(first.peRed + first.peGreen + first.peBlue + first.peFlags, 0);
        EXPECT_EQ(last.peRed, c.last.peRed);
        EXPECT_EQ(last.peGreen, c.last.peGreen);
        EXPECT_EQ(last.peBlue, c.last.peBlue);
        EXPECT_EQ(last.peFlags, 0);
    }
    // Entry 36 r + 6 g + b of the cube: r = 1, g = 2, b = 3.
    CPalette cube;
    int step = 0;
    BuildCubePalette(cube, step);
    PALETTEENTRY entry = {};
    cube.GetPaletteEntries(36 + 12 + 3, 1, &entry);
    EXPECT_EQ(entry.peRed, 51);
    EXPECT_EQ(entry.peGreen, 102);
    EXPECT_EQ(entry.peBlue, 153);
}

}  // namespace
