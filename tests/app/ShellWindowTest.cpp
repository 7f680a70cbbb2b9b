// The windows of the start-up and the placement of a printed scan.

#include "app/BatchOutput.h"
#include "app/Ctl3dLoader.h"
#include "app/SplashWnd.h"
#include "core/settings/SettingsFile.h"
#include "tests/support/Screenshot.h"

#include <gtest/gtest.h>

namespace {

TEST(SplashWindow, BitmapSizeByModeAndStatusColour)
{
    const struct {
        int32_t simplified;
        LONG width;
    } cases[] = {{0, 221}, {1, 256}};
    for (const auto& c : cases) {
        g_bSimplifiedMode = c.simplified;
        CSplashWnd splash;
        ASSERT_TRUE(splash.CreateSplashWindow());
        RECT window;
        splash.GetWindowRect(&window);
        EXPECT_EQ(c.width, window.right - window.left);
        EXPECT_EQ(256, window.bottom - window.top);
        splash.UpdateWindow();
        splash.ShowSplashStatus("            %s            ", "Looking for the scanner");
        splash.ShowSplashStatus("     %s %d     ", "Target", 4);
        if (!c.simplified)
            testsupport::TakeScreenshot("app_splash");
        // the band is dark in both bitmaps: the text is white, and some of it lies on the baseline row
        HDC dc = ::GetDC(splash.m_hWnd);
        int white = 0;
        for (int x = 0; x < c.width; ++x)
            for (int y = 192; y <= 200; ++y)
                white += ::GetPixel(dc, x, y) == RGB(255, 255, 255);
        ::ReleaseDC(splash.m_hWnd, dc);
        EXPECT_GT(white, 10);
        splash.DestroyWindow();
    }
    g_bSimplifiedMode = 0;
}

TEST(PrintPlacement, CentredOrAtTheMargins)
{
    // 100 x 50 mm selected from (10, 20) mm; a 300 dpi page of 2400 x 3300 pixels
    const int32_t selection[4] = {1000, 2000, 11000, 7000};
    const CPrintPage page = {2400, 3300, 300, 300};
    const struct {
        int32_t scale;
        BOOL centred;
        int32_t marginX, marginY;
        RECT expected;
    } cases[] = {
        {100, TRUE, 0, 0, {(2400 - 1181) / 2, (3300 - 590) / 2, (2400 - 1181) / 2 + 1181, (3300 - 590) / 2 + 590}},
        // larger than the page: limited to it
        {400, TRUE, 0, 0, {0, (3300 - 2362) / 2, 2400, (3300 - 2362) / 2 + 2362}},
        {100, FALSE, 10, 20, {118, 236, 118 + 1181, 236 + 590}},
        {50, FALSE, 0, 0, {0, 0, 590, 295}},
    };
    for (const auto& c : cases) {
        const RECT r = PrintTargetRect(selection, c.scale, page, c.centred, c.marginX, c.marginY);
        EXPECT_EQ(c.expected.left, r.left) << c.scale << " " << c.centred;
        EXPECT_EQ(c.expected.top, r.top) << c.scale << " " << c.centred;
        EXPECT_EQ(c.expected.right, r.right) << c.scale << " " << c.centred;
        EXPECT_EQ(c.expected.bottom, r.bottom) << c.scale << " " << c.centred;
    }
    // an empty selection prints at least 5/100 mm
    const int32_t empty[4] = {0, 0, 0, 0};
    const RECT r = PrintTargetRect(empty, 100, page, FALSE, 0, 0);
    EXPECT_EQ(0, r.right);
    EXPECT_EQ(0, r.bottom);
}

TEST(Ctl3dLoader, LoadsOnFirstUseAndRegisters)
{
    CCtl3dLoader loader;
    EXPECT_FALSE(loader.IsLoaded());
    // the system directory of the test prefix holds a ctl3d32.dll
    EXPECT_TRUE(loader.Register(GetModuleHandleA(nullptr)));
    EXPECT_TRUE(loader.IsLoaded());
    EXPECT_EQ(kCtl3dNoError, loader.GetError());
    EXPECT_NE(nullptr, GetModuleHandleA("ctl3d32"));
}

}  // namespace
