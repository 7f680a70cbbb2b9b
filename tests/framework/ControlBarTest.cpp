#include "framework/App.h"
#include "framework/ControlBar.h"
#include "framework/Frame.h"

#include "tests/framework/TempFolder.h"
#include "tests/framework/TestResources.h"

#include <gtest/gtest.h>

#include <string>

namespace {

enum : UINT { ID_RUN = 500, ID_STOP, ID_CHECKED, ID_NOBODY, ID_PANE_TEXT = 520 };

class CBarApp : public CWinApp {};

class CBarFrame : public CFrameWnd {
public:
    int m_nRuns = 0;
    int m_nStops = 0;
    bool m_bStopEnabled = true;

    BOOL CreateHidden() { return CreateEx(0, nullptr, "bars", WS_OVERLAPPEDWINDOW, 0, 0, 500, 300, nullptr, nullptr); }

protected:
    void OnRun() { ++m_nRuns; }
    void OnStop() { ++m_nStops; }
    void OnChecked() {}
    void OnUpdateStop(CCmdUI* ui) { ui->Enable(m_bStopEnabled); }
    void OnUpdateChecked(CCmdUI* ui) { ui->SetCheck(1); }
    void OnUpdatePaneText(CCmdUI* ui) { ui->SetText("from the handler"); }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CBarFrame, CFrameWnd)
    ON_COMMAND(ID_RUN, OnRun)
    ON_COMMAND(ID_STOP, OnStop)
    ON_COMMAND(ID_CHECKED, OnChecked)
    ON_UPDATE_COMMAND_UI(ID_STOP, OnUpdateStop)
    ON_UPDATE_COMMAND_UI(ID_CHECKED, OnUpdateChecked)
    ON_UPDATE_COMMAND_UI(ID_PANE_TEXT, OnUpdatePaneText)
END_MESSAGE_MAP()

class ControlBarTest : public testing::Test {
protected:
    void SetUp() override
    {
        m_strProfile = m_Folder.Path("bars.ini");
        m_App.m_pszProfileName = m_strProfile.c_str();
        m_pFrame = new CBarFrame;
        ASSERT_TRUE(m_pFrame->CreateHidden());
        ASSERT_TRUE(m_Tools.Create(m_pFrame, WS_CHILD | WS_VISIBLE | CBRS_ALIGN_TOP | CBRS_TOOLTIPS | CBRS_FLYBY));
        ASSERT_TRUE(m_Status.Create(m_pFrame));
        static const UINT kButtons[] = {ID_RUN, 0, ID_STOP, ID_CHECKED, ID_NOBODY};
        ASSERT_TRUE(m_Tools.SetButtons(kButtons, 5));
        m_pFrame->RecalcLayout();
    }
    void TearDown() override { m_pFrame->DestroyWindow(); }

    void Click(int index)
    {
        CRect item;
        m_Tools.GetItemRect(index, &item);
        const LPARAM at = MAKELPARAM(item.CenterPoint().x, item.CenterPoint().y);
        m_Tools.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, at);
        m_Tools.SendMessage(WM_LBUTTONUP, 0, at);
    }
    CRect ChildRect(CWnd& child)
    {
        CRect rect;
        child.GetWindowRect(&rect);
        m_pFrame->ScreenToClient(&rect);
        return rect;
    }

    CTempFolder m_Folder;
    std::string m_strProfile;
    CBarApp m_App;
    CBarFrame* m_pFrame = nullptr;
    CToolBar m_Tools;
    CStatusBar m_Status;
};

TEST_F(ControlBarTest, ToolBarButtonsSeparatorsAndCommands)
{
    EXPECT_FALSE(m_Tools.LoadBitmap("no such strip"));
    ASSERT_EQ(5, m_Tools.GetCount());
    CRect rects[5];
    for (int i = 0; i < 5; ++i)
        m_Tools.GetItemRect(i, &rects[i]);
    // Side by side, a separator narrower than a button, and no button under a separator.
    for (int i = 1; i < 5; ++i)
        EXPECT_EQ(rects[i - 1].right, rects[i].left) << i;
    EXPECT_EQ(CToolBar::kSeparatorWidth, rects[1].Width());
    EXPECT_GT(rects[0].Width(), rects[1].Width());
    EXPECT_EQ(-1, m_Tools.HitTest(rects[1].CenterPoint()));
    EXPECT_EQ(2, m_Tools.HitTest(rects[2].CenterPoint()));
    EXPECT_EQ(2, m_Tools.CommandToIndex(ID_STOP));
    EXPECT_EQ(-1, m_Tools.CommandToIndex(0));
    CRect none;
    m_Tools.GetItemRect(9, &none);
    EXPECT_TRUE(none.IsRectEmpty());

    // The idle pass: states from the update handlers, and no handler at all greys the button.
    m_pFrame->m_bStopEnabled = false;
    m_pFrame->SendMessage(WM_IDLEUPDATECMDUI, TRUE);
    EXPECT_EQ(0u, m_Tools.GetButtonStyle(0) & TBBS_DISABLED);
    EXPECT_NE(0u, m_Tools.GetButtonStyle(2) & TBBS_DISABLED);
    EXPECT_NE(0u, m_Tools.GetButtonStyle(3) & TBBS_CHECKED);
    EXPECT_NE(0u, m_Tools.GetButtonStyle(4) & TBBS_DISABLED);

    Click(0);
    EXPECT_EQ(1, m_pFrame->m_nRuns);
    Click(2);   // greyed: the press is refused
    EXPECT_EQ(0, m_pFrame->m_nStops);
    // Greyed only since the last idle pass: the command itself still asks its update handler.
    m_Tools.SetButtonStyle(2, TBBS_BUTTON);
    Click(2);
    EXPECT_EQ(0, m_pFrame->m_nStops);
    m_pFrame->m_bStopEnabled = true;
    Click(2);
    EXPECT_EQ(1, m_pFrame->m_nStops);
    // Released away from the button: nothing runs.
    CRect item;
    m_Tools.GetItemRect(0, &item);
    m_Tools.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(item.CenterPoint().x, item.CenterPoint().y));
    m_Tools.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(item.right + 40, item.CenterPoint().y));
    EXPECT_EQ(1, m_pFrame->m_nRuns);
}

TEST_F(ControlBarTest, StatusPanesByIdWithWidthsTextsAndStyles)
{
    const UINT ids[] = {0, IDS_GREETING, ID_PANE_TEXT};
    // A pane id without a string stops the set-up.
    EXPECT_FALSE(m_Status.SetIndicators(ids, 3));
    m_Status.SetPaneInfo(2, ID_PANE_TEXT, SBPS_NORMAL, 60);
    UINT id, style;
    int width;
    m_Status.GetPaneInfo(1, id, style, width);
    EXPECT_EQ((UINT)IDS_GREETING, id);
    EXPECT_EQ(m_Status.TextWidth("Hello from the string table"), width);
    EXPECT_STREQ("Hello from the string table", m_Status.GetPaneText(1));
    EXPECT_EQ(2, m_Status.CommandToIndex(ID_PANE_TEXT));

    // The stretching pane takes what the others leave.
    m_Status.SetPaneStyle(0, SBPS_STRETCH | SBPS_NOBORDERS);
    m_pFrame->RecalcLayout();
    CRect client;
    m_Status.GetClientRect(&client);
    CRect first, second, third;
    m_Status.GetItemRect(0, &first);
    m_Status.GetItemRect(1, &second);
    m_Status.GetItemRect(2, &third);
    EXPECT_GT(first.Width(), 100);
    EXPECT_LT(first.right, second.left);
    EXPECT_EQ(width + 2 * CStatusBar::kPaneMargin, second.Width());
    EXPECT_LE(third.right, client.right);
    EXPECT_GE(third.right, client.right - 4);

    // Update handlers give texts; a pane nobody handles is greyed only when asked to.
    m_Status.OnUpdateCmdUI(m_pFrame, FALSE);
    EXPECT_STREQ("from the handler", m_Status.GetPaneText(2));
    EXPECT_EQ(0u, m_Status.GetPaneStyle(1) & SBPS_DISABLED);
    m_Status.OnUpdateCmdUI(m_pFrame, TRUE);
    EXPECT_NE(0u, m_Status.GetPaneStyle(1) & SBPS_DISABLED);
    EXPECT_FALSE(m_Status.SetPaneText(7, "out of range"));
}

TEST_F(ControlBarTest, DockingHidingAndTheLayout)
{
    CRect client;
    m_pFrame->GetClientRect(&client);
    const CRect tools = ChildRect(m_Tools);
    const CRect status = ChildRect(m_Status);
    EXPECT_EQ(0, tools.top);
    EXPECT_EQ(client.bottom, status.bottom);
    CRect free;
    m_pFrame->RepositionBars(0, 0xFFFF, AFX_IDW_PANE_FIRST, reposQuery, &free);
    EXPECT_EQ(CRect(0, tools.bottom, client.right, status.top), free);

    // A bar may go only where both it and the frame allow.
    m_pFrame->DockControlBar(&m_Tools, AFX_IDW_DOCKBAR_BOTTOM);
    EXPECT_EQ(0, ChildRect(m_Tools).top) << "docked without being allowed";
    m_Tools.EnableDocking(CBRS_ALIGN_TOP | CBRS_ALIGN_BOTTOM);
    m_pFrame->EnableDocking(CBRS_ALIGN_ANY);
    m_pFrame->DockControlBar(&m_Tools, AFX_IDW_DOCKBAR_BOTTOM);
    EXPECT_EQ(client.bottom, ChildRect(m_Status).bottom);
    EXPECT_EQ(ChildRect(m_Status).top, ChildRect(m_Tools).bottom);
    m_pFrame->DockControlBar(&m_Tools, AFX_IDW_DOCKBAR_LEFT);
    EXPECT_NE(0u, m_Tools.GetBarStyle() & CBRS_ALIGN_BOTTOM);
    m_pFrame->DockControlBar(&m_Tools, AFX_IDW_DOCKBAR_TOP);
    EXPECT_EQ(0, ChildRect(m_Tools).top);
    EXPECT_EQ(&m_Tools, m_pFrame->GetControlBar(AFX_IDW_TOOLBAR));

    // A hidden bar takes no room; a delayed show waits for the next layout.
    m_pFrame->ShowControlBar(&m_Tools, FALSE, FALSE);
    m_pFrame->RepositionBars(0, 0xFFFF, AFX_IDW_PANE_FIRST, reposQuery, &free);
    EXPECT_EQ(0, free.top);
    m_pFrame->ShowControlBar(&m_Tools, TRUE, TRUE);
    EXPECT_TRUE(m_Tools.GetStyle() & WS_VISIBLE);
    m_pFrame->RepositionBars(0, 0xFFFF, AFX_IDW_PANE_FIRST, reposQuery, &free);
    EXPECT_EQ(tools.bottom, free.top);
}

TEST_F(ControlBarTest, BarStateRoundTripsThroughTheProfile)
{
    m_Tools.EnableDocking(CBRS_ALIGN_ANY);
    m_Status.EnableDocking(CBRS_ALIGN_BOTTOM);
    m_pFrame->EnableDocking(CBRS_ALIGN_ANY);
    m_pFrame->DockControlBar(&m_Tools, AFX_IDW_DOCKBAR_LEFT);
    m_pFrame->ShowControlBar(&m_Status, FALSE, FALSE);
    m_pFrame->SaveBarState("TestBars");
    EXPECT_EQ("left 1", std::string(m_App.GetProfileString("TestBars", "BarE800")));
    EXPECT_EQ("bottom 0", std::string(m_App.GetProfileString("TestBars", "BarE801")));

    m_pFrame->DockControlBar(&m_Tools, AFX_IDW_DOCKBAR_TOP);
    m_pFrame->ShowControlBar(&m_Status, TRUE, FALSE);
    m_pFrame->LoadBarState("TestBars");
    EXPECT_NE(0u, m_Tools.GetBarStyle() & CBRS_ALIGN_LEFT);
    EXPECT_FALSE(m_Status.GetStyle() & WS_VISIBLE);
    CRect tools = ChildRect(m_Tools);
    EXPECT_EQ(0, tools.left);
    EXPECT_GT(tools.Height(), tools.Width());

    // Damaged or missing entries, and edges a bar may not take, leave the bars as they are.
    const struct {
        const char* value;
        DWORD align;
        bool visible;
    } entries[] = {{"middle 1", CBRS_ALIGN_LEFT, true}, {"top 7", CBRS_ALIGN_LEFT, true},
        {"", CBRS_ALIGN_LEFT, true}, {"top 0", CBRS_ALIGN_TOP, false}};
    for (const auto& entry : entries) {
        m_pFrame->DockControlBar(&m_Tools, AFX_IDW_DOCKBAR_LEFT);
        m_pFrame->ShowControlBar(&m_Tools, TRUE, FALSE);
        m_App.WriteProfileString("TestBars", "BarE800", entry.value[0] ? entry.value : nullptr);
        m_pFrame->LoadBarState("TestBars");
        EXPECT_NE(0u, m_Tools.GetBarStyle() & entry.align) << entry.value;
        EXPECT_EQ(entry.visible, (m_Tools.GetStyle() & WS_VISIBLE) != 0) << entry.value;
    }
    m_App.WriteProfileString("TestBars", "BarE801", "top 1");
    m_pFrame->LoadBarState("TestBars");
    EXPECT_NE(0u, m_Status.GetBarStyle() & CBRS_ALIGN_BOTTOM);
    EXPECT_TRUE(m_Status.GetStyle() & WS_VISIBLE);
}

}  // namespace
