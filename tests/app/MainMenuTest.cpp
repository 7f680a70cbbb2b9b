// The localized menu bar: built from the menu tables with the catalog's texts and adapted to the
// INI switches, the scanner and the profiles flag.

#include "app/MainMenu.h"
#include "core/driver/ScannerDriver.h"
#include "core/messages/MessageCatalog.h"
#include "core/messages/MsgString.h"
#include "core/settings/ScanParams.h"
#include "core/settings/ScanSettings.h"
#include "core/settings/SettingsFile.h"
#include "framework/App.h"
#include "framework/Frame.h"
#include "tests/app/AppTestEnvironment.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

enum { kFile, kBatch, kPreferences, kQuality, kTools, kPopups };

std::string ItemText(HMENU menu, UINT position)
{
    char text[256] = {};
    GetMenuStringA(menu, position, text, sizeof text, MF_BYPOSITION);
    return text;
}

std::vector<UINT> Commands(HMENU popup)
{
    std::vector<UINT> ids;
    for (int i = 0; i < GetMenuItemCount(popup); ++i)
        ids.push_back(GetMenuItemID(popup, i));
    return ids;
}

// A top-level window of the test that owns whatever menu is built for it.
struct CMenuWindow {
    CMenuWindow()
    {
        window.CreateEx(0, AfxRegisterWndClass(0), "menu test", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr);
    }
    ~CMenuWindow() { window.DestroyWindow(); }
    CWnd window;
};

TEST(MainMenu, BuildsAdaptedToSwitchesScannerAndProfiles)
{
    const std::vector<UINT> sevenTools = {3738, 3712, 4077, 4040, 4038, 4044, 4042};
    const std::vector<UINT> fourPreferences = {5186, 5187, 5188, 5189};
    const struct {
        const char* name;
        int inputCalibration, outputCalibration;  // -1: no key in the INI file
        uint8_t scannerFlags;
        BOOL profiles;
        int32_t tarvoset;
        int builds;
        std::vector<UINT> tools;
        std::vector<UINT> preferences;
        bool qualityByResolution;
    } cases[] = {
        {"default INI", -1, -1, 0, TRUE, 0, 1, sevenTools, fourPreferences, false},
        {"input calibration", 1, 0, 0, TRUE, 0, 1, {3738, 3712, 4077, 4040, 4038, 4044, 4042, 5263}, fourPreferences,
            false},
        {"output calibration", 0, 1, 0, TRUE, 0, 1, {3738, 3712, 4077, 4040, 4038, 4044, 4042, 5264}, fourPreferences,
            false},
        {"both wizards", 1, 1, 0, TRUE, 0, 1, {3738, 3712, 4077, 4040, 4038, 4044, 4042, 5263, 5264}, fourPreferences,
            false},
        {"profiles off", -1, -1, 0, FALSE, 0, 1, sevenTools, {5186, 5187, 5188}, false},
        // the camera bit beside it changes nothing
        {"quality steps", -1, -1, 0x01 | 0x02, TRUE, 0, 1, sevenTools, fourPreferences, true},
        {"built twice", -1, -1, 0, TRUE, 0, 2, sevenTools, fourPreferences, false},
        {"Tarvoset after a bar", -1, -1, 0, TRUE, 1, 2, {}, {}, false},
    };
    // the separator's place has no text in the catalog; a separator stands there all the same
    ASSERT_TRUE(CMsgString(3585).IsEmpty());
    CScannerDriver driver;
    g_pScannerDriver = &driver;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ResetTestIni();
        if (c.inputCalibration >= 0)
            TestApp().WriteProfileInt("General", "InputCalibration", c.inputCalibration);
        if (c.outputCalibration >= 0)
            TestApp().WriteProfileInt("General", "OutputCalibration", c.outputCalibration);
        driver.m_nFurtherFlags[1] = c.scannerFlags;
        CMenuWindow frame;
        std::vector<HMENU> bars;
        for (int build = 0; build < c.builds; ++build) {
            // only the last build of a Tarvoset case runs in that mode
            g_bSimplifiedMode = build == c.builds - 1 ? c.tarvoset : 0;
            BuildMainMenu(&frame.window, CurrentMainMenuOptions(c.profiles));
            bars.push_back(GetMenu(frame.window.m_hWnd));
        }
        g_bSimplifiedMode = 0;
        // every bar but the one on the window was destroyed
        for (size_t i = 0; i + 1 < bars.size(); ++i)
            EXPECT_FALSE(IsMenu(bars[i]));
        HMENU bar = GetMenu(frame.window.m_hWnd);
        if (c.tarvoset) {
            EXPECT_EQ(nullptr, bar);
            continue;
        }
        ASSERT_NE(nullptr, bar);
        ASSERT_EQ(kPopups, GetMenuItemCount(bar));
        const int titles[kPopups] = {3579, 3577, 3578, 3599, 4079};
        for (int p = 0; p < kPopups; ++p)
            EXPECT_EQ(Text(titles[p]), ItemText(bar, p));  // the quality popup keeps its own title
        EXPECT_EQ((std::vector<UINT> {5190, 5191, 5192, 5193}), Commands(GetSubMenu(bar, kFile)));
        HMENU batch = GetSubMenu(bar, kBatch);
        EXPECT_EQ((std::vector<UINT> {5011, 5014, 5010, 5015, 5012, 0, 5173, 5174, 5018}), Commands(batch));
        EXPECT_NE(0u, GetMenuState(batch, 5, MF_BYPOSITION) & MF_SEPARATOR);
        EXPECT_EQ(c.preferences, Commands(GetSubMenu(bar, kPreferences)));
        EXPECT_EQ(c.tools, Commands(GetSubMenu(bar, kTools)));
        HMENU quality = GetSubMenu(bar, kQuality);
        EXPECT_EQ((std::vector<UINT> {5198, 5199, 5200}), Commands(quality));
        const int qualityTexts[] = {3601, 3602, 3603};
        const char* const resolutions[] = {" 400)", " 200)", " 100)"};
        for (int i = 0; i < 3; ++i) {
            const std::string expected = c.qualityByResolution
                ? Text(qualityTexts[i]) + " (" + Text(4102) + resolutions[i]
                : Text(qualityTexts[i]);
            EXPECT_EQ(expected, ItemText(quality, i));
            EXPECT_EQ(0u, GetMenuState(quality, i, MF_BYPOSITION) & (MF_GRAYED | MF_DISABLED | MF_POPUP));
        }
    }
    g_pScannerDriver = nullptr;
    ResetTestIni();
}

TEST(MainMenu, TableStatesWithAndWithoutCatalog)
{
    HMENU popup = CreatePopupMenu();
    ASSERT_TRUE(BuildMenuFromTable(popup, 5182));
    ASSERT_EQ(9, GetMenuItemCount(popup));
    EXPECT_NE(0u, GetMenuState(popup, 5, MF_BYPOSITION) & MF_SEPARATOR);
    const UINT grey[] = {5014, 5015, 5012, 5173, 5174, 5018};
    for (UINT id : grey)
        EXPECT_NE(0u, GetMenuState(popup, id, MF_BYCOMMAND) & MF_GRAYED) << id;
    EXPECT_EQ(0u, GetMenuState(popup, 5011, MF_BYCOMMAND) & MF_GRAYED);
    EXPECT_EQ(Text(3580), ItemText(popup, 0));
    DestroyMenu(popup);

    // without any catalog the items are still there, with empty texts
    CMessageCatalog* catalog = g_pMessageCatalog;
    g_pMessageCatalog = nullptr;
    popup = CreatePopupMenu();
    EXPECT_TRUE(BuildMenuFromTable(popup, 5184));
    EXPECT_EQ((std::vector<UINT> {5190, 5191, 5192, 5193}), Commands(popup));
    EXPECT_EQ("", ItemText(popup, 0));
    DestroyMenu(popup);
    g_pMessageCatalog = catalog;

    popup = CreatePopupMenu();
    EXPECT_FALSE(BuildMenuFromTable(popup, 5185));  // no such table
    EXPECT_EQ(0, GetMenuItemCount(popup));
    DestroyMenu(popup);
}

TEST(MainMenu, RemoveLeavesTheWindowWithout)
{
    CMenuWindow frame;
    BuildMainMenu(&frame.window, CurrentMainMenuOptions(TRUE));
    HMENU bar = GetMenu(frame.window.m_hWnd);
    ASSERT_NE(nullptr, bar);
    RemoveMainMenu(&frame.window);
    EXPECT_EQ(nullptr, GetMenu(frame.window.m_hWnd));
    EXPECT_FALSE(IsMenu(bar));
}

// A popup as the frame shows it: the states its commands' handlers give.
TEST(MainMenu, EntriesWithoutAnyHandlerAreGreyAsThePopupOpens)
{
    ResetTestIni();
    TestApp().WriteProfileInt("General", "InputCalibration", 1);
    CFrameWnd* frame = new CFrameWnd;
    ASSERT_TRUE(
        frame->CreateEx(0, AfxRegisterWndClass(0), "frame", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr));
    CWnd* savedMain = TestApp().m_pMainWnd;
    TestApp().m_pMainWnd = frame;
    BuildMainMenu(frame, CurrentMainMenuOptions(TRUE));
    HMENU bar = GetMenu(frame->m_hWnd);
    const struct {
        int popup;
        UINT command;
        bool grey;
    } cases[] = {
        // the application's settings-file and quality commands
        {kFile, 5190, false},
        {kFile, 5193, false},
        {kQuality, 5198, false},
        {kQuality, 5200, false},
        // commands whose handlers come with later parts of the program
        {kBatch, 5011, true},
        {kPreferences, 5186, true},
        {kTools, 3738, true},
        {kTools, 5263, true},
    };
    for (int p = 0; p < kPopups; ++p)
        SendMessageA(frame->m_hWnd, WM_INITMENUPOPUP, (WPARAM)GetSubMenu(bar, p), p);
    for (const auto& c : cases) {
        const UINT state = GetMenuState(GetSubMenu(bar, c.popup), c.command, MF_BYCOMMAND);
        EXPECT_EQ(c.grey, (state & MF_GRAYED) != 0) << c.command;
    }
    TestApp().m_pMainWnd = savedMain;
    frame->DestroyWindow();
    ResetTestIni();
}

// The Quality menu marks the record's quality with a radio mark, and only that one.
TEST(MainMenu, QualityMenuMarksTheRecordsQuality)
{
    ResetTestIni();
    CFrameWnd* frame = new CFrameWnd;
    ASSERT_TRUE(
        frame->CreateEx(0, AfxRegisterWndClass(0), "frame", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr));
    CWnd* savedMain = TestApp().m_pMainWnd;
    TestApp().m_pMainWnd = frame;
    CScanSettings* savedSettings = g_pScanSettings;
    CScanSettings settings;
    g_pScanSettings = &settings;
    BuildMainMenu(frame, CurrentMainMenuOptions(TRUE));
    HMENU quality = GetSubMenu(GetMenu(frame->m_hWnd), kQuality);
    // 5198 speed (2), 5199 quality (1), 5200 extra (0)
    for (int32_t value : {2, 1, 0}) {
        SCOPED_TRACE(value);
        settings.SetParam(kParamQuality, value);
        SendMessageA(frame->m_hWnd, WM_INITMENUPOPUP, (WPARAM)quality, kQuality);
        for (UINT command = 5198; command <= 5200; ++command) {
            MENUITEMINFOA info = {};
            info.cbSize = sizeof info;
            info.fMask = MIIM_FTYPE | MIIM_STATE;
            ASSERT_TRUE(GetMenuItemInfoA(quality, command, FALSE, &info));
            const bool marked = command == 5200u - (UINT)value;
            EXPECT_EQ(marked, (info.fState & MFS_CHECKED) != 0) << command;
            EXPECT_EQ(marked, (info.fType & MFT_RADIOCHECK) != 0) << command;
            EXPECT_EQ(0u, info.fState & MFS_GRAYED) << command;
        }
    }
    g_pScanSettings = savedSettings;
    TestApp().m_pMainWnd = savedMain;
    frame->DestroyWindow();
    ResetTestIni();
}

}  // namespace
