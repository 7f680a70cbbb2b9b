// The progress window on screen: the bar is read back from the window's pixels, so what is checked
// is what a user sees, pass coding and the frame's edges included.

#include "core/messages/MsgString.h"
#include "dialogs/ProgressDlg.h"
#include "resources/dialogs/Progress.h"
#include "tests/support/Screenshot.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class ProgressDlgTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_pDialog = new CProgressDlg(CString("Scanning test"), 0);
        ASSERT_TRUE(m_pDialog->Create(IDD_PROGRESS));
        m_pDialog->ShowWindow(SW_SHOW);
        m_pDialog->UpdateWindow();
        HWND frame = ::GetDlgItem(m_pDialog->m_hWnd, IDC_PROGRESS_FRAME);
        ::GetWindowRect(frame, &m_Frame);
        ::MapWindowPoints(HWND_DESKTOP, m_pDialog->m_hWnd, (LPPOINT)&m_Frame, 2);
    }

    void TearDown() override
    {
        if (m_pDialog == nullptr)
            return;
        m_pDialog->DestroyWindow();
        delete m_pDialog;
    }

    // A repaint wipes the bar: each case starts from an empty frame.
    void Repaint() const
    {
        ::RedrawWindow(m_pDialog->m_hWnd, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    }

    // Width of the bar as drawn: bar pixels (the bitmap's blues, no red) from the inner left edge on.
    int DrawnWidth() const
    {
        HDC dc = ::GetDC(m_pDialog->m_hWnd);
        const int y = (m_Frame.top + m_Frame.bottom) / 2;
        int width = 0;
        for (int x = m_Frame.left + 2; x < m_Frame.right + 40; ++x) {
            const COLORREF pixel = ::GetPixel(dc, x, y);
            if (GetRValue(pixel) != 0 || GetBValue(pixel) < 0x80)
                break;
            ++width;
        }
        ::ReleaseDC(m_pDialog->m_hWnd, dc);
        return width;
    }

    // What was drawn reaches the screen once the window's messages have run.
    std::string Screenshot() const
    {
        for (int round = 0; round < 10; ++round) {
            MSG msg;
            while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
                ::DispatchMessageA(&msg);
            ::Sleep(20);
        }
        return testsupport::TakeScreenshot("progress");
    }

    int InnerWidth() const { return m_Frame.right - m_Frame.left - 4; }

    std::string Text() const
    {
        char text[256] = {};
        ::GetDlgItemTextA(m_pDialog->m_hWnd, IDC_PROGRESS_TEXT, text, sizeof text);
        return text;
    }

    CProgressDlg* m_pDialog = nullptr;
    RECT m_Frame = {};
};

struct CBarCase {
    uint32_t value;
    int percent;   // of the frame's inner width
};

const CBarCase kBars[] = {
    {0, 0},      {50, 50},    {100, 100},
    {1050, 16},  {2050, 33},  {3050, 50}, {3100, 100},   // pass k of three ends at k thirds
    {4000, 100}, {4500, 100}, {1000, 100},                // never beyond the frame
};

TEST_F(ProgressDlgTest, BarCoversItsShareOfTheFrame)
{
    ASSERT_GT(InnerWidth(), 100);
    for (const CBarCase& bar : kBars) {
        SCOPED_TRACE(bar.value);
        Repaint();
        m_pDialog->SetProgress(bar.value, CString());
        const int expected = InnerWidth() * bar.percent / 100;
        EXPECT_NEAR(expected, DrawnWidth(), 1);
    }
    Repaint();
    m_pDialog->SetProgress(2050, CString("KOVAL II : Scanning pass 2, 50 %"));
    EXPECT_FALSE(Screenshot().empty());
}

TEST_F(ProgressDlgTest, SmallerValueKeepsTheLongerBarUntilRepainted)
{
    m_pDialog->SetProgress(60, CString());
    m_pDialog->SetProgress(0, CString());
    EXPECT_NEAR(InnerWidth() * 60 / 100, DrawnWidth(), 1);
    Repaint();
    EXPECT_EQ(0, DrawnWidth());
}

TEST_F(ProgressDlgTest, EmptyTextKeepsTheMessageLine)
{
    char caption[64] = {};
    ::GetWindowTextA(m_pDialog->m_hWnd, caption, sizeof caption);
    EXPECT_STREQ("Scanning test", caption);
    EXPECT_EQ(std::string(CMsgString(IDC_PROGRESS_TEXT)), Text()) << "a text id of 0 keeps the localized line";
    m_pDialog->SetProgress(10, CString("KOVAL : Reading"));
    m_pDialog->SetProgress(20, CString());
    EXPECT_EQ("KOVAL : Reading", Text());
}

TEST_F(ProgressDlgTest, CancelRaisesTheFlagAndKeepsTheWindow)
{
    HWND cancel = ::GetDlgItem(m_pDialog->m_hWnd, IDC_PROGRESS_CANCEL);
    char text[64] = {};
    ::GetWindowTextA(cancel, text, sizeof text);
    EXPECT_STREQ(CMsgString(IDC_PROGRESS_CANCEL), text);
    EXPECT_EQ(0, m_pDialog->m_bCancel);
    ::SendMessageA(cancel, BM_CLICK, 0, 0);
    EXPECT_EQ(1, m_pDialog->m_bCancel);
    ::SendMessageA(m_pDialog->m_hWnd, WM_COMMAND, IDCANCEL, 0);   // Escape
    EXPECT_EQ(1, m_pDialog->m_bCancel);
    EXPECT_TRUE(::IsWindow(m_pDialog->m_hWnd));
    EXPECT_TRUE(::IsWindowVisible(m_pDialog->m_hWnd));
}

TEST(ProgressDlgTitle, TextIdFillsTheMessageLine)
{
    CProgressDlg dialog(CString("Preview"), 3037);
    ASSERT_TRUE(dialog.Create(IDD_PROGRESS));
    char text[256] = {};
    ::GetDlgItemTextA(dialog.m_hWnd, IDC_PROGRESS_TEXT, text, sizeof text);
    EXPECT_STREQ(CMsgString(3037), text);
    dialog.DestroyWindow();
}

}  // namespace
