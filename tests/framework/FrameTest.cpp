#include "framework/App.h"
#include "framework/Controls.h"
#include "framework/Frame.h"
#include "framework/View.h"

#include "tests/framework/TestResources.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Commands of the route tests: who handles each is in the names.
enum : UINT {
    ID_VIEW_ONLY = 400,
    ID_FRAME_ONLY,
    ID_APP_ONLY,
    ID_EVERYONE,  // view, frame and application all have a handler: the view's runs
    ID_NO_HANDLER,
    ID_VIEW_DISABLES,  // the frame handles it, the view's update handler disables it
    ID_PASSED_ON,  // the view's update handler passes on, the frame's sets the text
};

std::string g_trail;  // one letter per command handler run, in order

class CRouteApp : public CWinApp {
protected:
    void OnAppOnly() { g_trail += 'A'; }
    void OnEveryone() { g_trail += 'a'; }
    void OnUpdateRun(CCmdUI* ui) { ui->SetText("run by the application"); }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CRouteApp, CWinApp)
    ON_COMMAND(ID_APP_ONLY, OnAppOnly)
    ON_COMMAND(ID_EVERYONE, OnEveryone)
    ON_UPDATE_COMMAND_UI(IDC_FORM_RUN, OnUpdateRun)
END_MESSAGE_MAP()

class CRouteView : public CFormView {
public:
    explicit CRouteView(bool* deleted, UINT templateId = IDD_FORM_TEST) : CFormView(templateId), m_pDeleted(deleted) { }
    ~CRouteView() override { *m_pDeleted = true; }
    int m_activations = 0;
    bool m_bRunEnabled = false;

    void OnActivateView(BOOL activate, CView* activateView, CView* deactiveView) override
    {
        m_activations += activate ? 1 : -1;
        CFormView::OnActivateView(activate, activateView, deactiveView);
    }

protected:
    void OnViewOnly() { g_trail += 'V'; }
    void OnEveryone() { g_trail += 'v'; }
    void OnUpdateEveryone(CCmdUI* ui)
    {
        ui->Enable(TRUE);
        ui->SetCheck(1);
    }
    void OnUpdateDisabled(CCmdUI* ui) { ui->Enable(FALSE); }
    void OnUpdatePassedOn(CCmdUI* ui)
    {
        ui->SetCheck(1);
        ui->ContinueRouting();
    }
    void OnUpdateRun(CCmdUI* ui) { ui->Enable(m_bRunEnabled); }
    void OnUpdateSwitch(CCmdUI* ui) { ui->SetCheck(1); }
    DECLARE_MESSAGE_MAP()

private:
    bool* m_pDeleted;
};

BEGIN_MESSAGE_MAP(CRouteView, CFormView)
    ON_COMMAND(ID_VIEW_ONLY, OnViewOnly)
    ON_COMMAND(ID_EVERYONE, OnEveryone)
    ON_UPDATE_COMMAND_UI(ID_EVERYONE, OnUpdateEveryone)
    ON_UPDATE_COMMAND_UI_RANGE(ID_VIEW_DISABLES, ID_VIEW_DISABLES, OnUpdateDisabled)
    ON_UPDATE_COMMAND_UI(ID_ACCEL_DISABLED, OnUpdateDisabled)
    ON_UPDATE_COMMAND_UI(ID_PASSED_ON, OnUpdatePassedOn)
    ON_UPDATE_COMMAND_UI(IDC_FORM_RUN, OnUpdateRun)
    ON_UPDATE_COMMAND_UI(IDC_FORM_SWITCH, OnUpdateSwitch)
END_MESSAGE_MAP()

class CRouteFrame : public CFrameWnd {
public:
    explicit CRouteFrame(bool* deleted) : m_pDeleted(deleted) { }
    ~CRouteFrame() override { *m_pDeleted = true; }

    BOOL CreateHidden()
    {
        return CreateEx(0, nullptr, "route frame", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr);
    }

protected:
    void OnFrameOnly() { g_trail += 'F'; }
    void OnEveryone() { g_trail += 'f'; }
    void OnViewDisables() { g_trail += 'D'; }
    void OnAccelDisabled() { g_trail += 'X'; }
    void OnAccelEnabled() { g_trail += 'E'; }
    void OnUpdatePassedOn(CCmdUI* ui) { ui->SetText("frame text"); }
    void OnUpdateState(CCmdUI* ui) { ui->SetText("updated"); }
    DECLARE_MESSAGE_MAP()

private:
    bool* m_pDeleted;
};

BEGIN_MESSAGE_MAP(CRouteFrame, CFrameWnd)
    ON_COMMAND(ID_FRAME_ONLY, OnFrameOnly)
    ON_COMMAND(ID_EVERYONE, OnEveryone)
    ON_COMMAND(ID_VIEW_DISABLES, OnViewDisables)
    ON_COMMAND(ID_PASSED_ON, OnFrameOnly)
    ON_COMMAND(ID_ACCEL_DISABLED, OnAccelDisabled)
    ON_COMMAND(ID_ACCEL_ENABLED, OnAccelEnabled)
    ON_UPDATE_COMMAND_UI(ID_PASSED_ON, OnUpdatePassedOn)
    ON_UPDATE_COMMAND_UI(IDC_FORM_STATE, OnUpdateState)
END_MESSAGE_MAP()

// A bar that takes a fixed strip of the layout rectangle at one edge, as the real bars do.
class CStripBar : public CWnd {
public:
    CStripBar(int height, bool top) : m_nHeight(height), m_bTop(top) { }
    int m_nLayouts = 0;
    int m_nIdleUpdates = 0;
    CFrameWnd* m_pRelayout = nullptr;  // asks this frame for a layout from inside one

    BOOL CreateIn(CWnd* parent, UINT id)
    {
        return Create(nullptr, nullptr, WS_VISIBLE, CRect(0, 0, 10, 10), parent, id);
    }

protected:
    LRESULT OnSizeParent(WPARAM, LPARAM lParam)
    {
        ++m_nLayouts;
        if (m_pRelayout)
            m_pRelayout->RecalcLayout();
        auto* layout = reinterpret_cast<AFX_SIZEPARENTPARAMS*>(lParam);
        CRect strip(layout->rect);
        if (m_bTop) {
            strip.bottom = strip.top + m_nHeight;
            layout->rect.top += m_nHeight;
        } else {
            strip.top = strip.bottom - m_nHeight;
            layout->rect.bottom -= m_nHeight;
        }
        if (!layout->bQuery)
            MoveWindow(&strip);
        return 0;
    }
    LRESULT OnIdleUpdate(WPARAM, LPARAM)
    {
        ++m_nIdleUpdates;
        return 0;
    }
    DECLARE_MESSAGE_MAP()

private:
    int m_nHeight;
    bool m_bTop;
};

BEGIN_MESSAGE_MAP(CStripBar, CWnd)
    ON_MESSAGE(WM_SIZEPARENT, OnSizeParent)
    ON_MESSAGE(WM_IDLEUPDATECMDUI, OnIdleUpdate)
END_MESSAGE_MAP()

// A frame with the test form as its active view, and the application object they route to.
class FrameTest : public testing::Test {
protected:
    void SetUp() override
    {
        g_trail.clear();
        m_pFrame = new CRouteFrame(&m_bFrameDeleted);
        ASSERT_TRUE(m_pFrame->CreateHidden());
        m_App.m_pMainWnd = m_pFrame;
        m_pView = new CRouteView(&m_bViewDeleted);
        ASSERT_TRUE(m_pView->Create(nullptr, nullptr, WS_VISIBLE, CRect(0, 0, 0, 0), m_pFrame, AFX_IDW_PANE_FIRST));
        m_pFrame->SetActiveView(m_pView);
    }
    // The main window's end would post the quit message that ends the next test's message loop.
    void DestroyFrame()
    {
        m_App.m_pMainWnd = nullptr;
        m_pFrame->DestroyWindow();
    }
    void TearDown() override
    {
        if (!m_bFrameDeleted)
            DestroyFrame();
    }

    void SendMenuCommand(UINT id) { m_pFrame->SendMessage(WM_COMMAND, MAKEWPARAM(id, 0), 0); }
    // A key as the message loop would offer it, addressed to a control of the form.
    BOOL OfferKey(UINT key)
    {
        MSG msg = {};
        msg.hwnd = ::GetDlgItem(m_pView->m_hWnd, IDC_FORM_EDIT);
        msg.message = WM_KEYDOWN;
        msg.wParam = key;
        msg.lParam = 1;
        return m_App.PreTranslateMessage(&msg);
    }

    CRouteApp m_App;
    CRouteFrame* m_pFrame = nullptr;
    CRouteView* m_pView = nullptr;
    bool m_bFrameDeleted = false;
    bool m_bViewDeleted = false;
};

TEST_F(FrameTest, MenuCommandsGoViewThenFrameThenApplication)
{
    const struct {
        UINT id;
        const char* trail;
    } cases[] = {
        {ID_VIEW_ONLY, "V"},
        {ID_FRAME_ONLY, "F"},
        {ID_APP_ONLY, "A"},
        {ID_EVERYONE, "v"},
        {ID_NO_HANDLER, ""},
        {ID_VIEW_DISABLES, ""},  // a disabled command is not run, though the frame has a handler
        {ID_PASSED_ON, "F"},
    };
    for (const auto& c : cases) {
        g_trail.clear();
        SendMenuCommand(c.id);
        EXPECT_EQ(c.trail, g_trail) << "command " << c.id;
    }
    // A control's own notification is not a menu command: no state check stands in its way.
    g_trail.clear();
    m_pFrame->SendMessage(WM_COMMAND, MAKEWPARAM(ID_VIEW_DISABLES, BN_CLICKED), (LPARAM)m_pView->m_hWnd);
    EXPECT_EQ("D", g_trail);
}

TEST_F(FrameTest, AcceleratorOfDisabledCommandDoesNotRun)
{
    ASSERT_FALSE(m_pFrame->LoadAccelTable("no such table"));
    ASSERT_TRUE(m_pFrame->LoadAccelTable(MAKEINTRESOURCEA(IDR_FRAME_ACCEL)));
    EXPECT_TRUE(OfferKey(VK_F6));
    EXPECT_EQ("E", g_trail);
    // The key is taken either way: it is the accelerator's, only its command is refused.
    EXPECT_TRUE(OfferKey(VK_F5));
    EXPECT_EQ("E", g_trail);
}

TEST_F(FrameTest, MenuPopupTakesItsStatesFromTheRoute)
{
    const HMENU popup = ::CreatePopupMenu();
    const HMENU sub = ::CreatePopupMenu();
    const struct {
        UINT id;
        UINT flags;  // as the menu was built
        bool grayed, checked;  // after the state pass
        const char* text;
    } items[] = {
        {ID_VIEW_ONLY, MF_GRAYED, true, false, "view only"},  // a handler but no update handler: kept
        {ID_APP_ONLY, 0, false, false, "app only"}, {ID_NO_HANDLER, 0, true, false, "no handler"},
        {ID_VIEW_DISABLES, 0, true, false, "disabled"}, {ID_EVERYONE, MF_GRAYED, false, true, "everyone"},
        {ID_PASSED_ON, MF_GRAYED, true, true, "frame text"},  // both update handlers had their say
    };
    for (const auto& item : items)
        ::AppendMenuA(
            popup, MF_STRING | item.flags, item.id, item.text == std::string("frame text") ? "old" : item.text);
    ::AppendMenuA(popup, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuA(sub, MF_STRING, ID_NO_HANDLER, "inside");
    ::AppendMenuA(popup, MF_POPUP, (UINT_PTR)sub, "sub");

    m_pFrame->SendMessage(WM_INITMENUPOPUP, (WPARAM)popup, MAKELPARAM(0, FALSE));

    for (int i = 0; i < (int)std::size(items); ++i) {
        const UINT state = ::GetMenuState(popup, (UINT)i, MF_BYPOSITION);
        char text[64] = {};
        ::GetMenuStringA(popup, (UINT)i, text, sizeof text, MF_BYPOSITION);
        EXPECT_EQ(items[i].grayed, (state & MF_GRAYED) != 0) << items[i].text;
        EXPECT_EQ(items[i].checked, (state & MF_CHECKED) != 0) << items[i].text;
        EXPECT_STREQ(items[i].text, text);
        EXPECT_EQ(items[i].id, ::GetMenuItemID(popup, i));
    }
    // The sub-popup gets its own pass when it opens, not with its parent's.
    EXPECT_EQ(0u, ::GetMenuState(sub, 0, MF_BYPOSITION) & MF_GRAYED);
    // The system menu is the window manager's.
    m_pFrame->SendMessage(WM_INITMENUPOPUP, (WPARAM)sub, MAKELPARAM(0, TRUE));
    EXPECT_EQ(0u, ::GetMenuState(sub, 0, MF_BYPOSITION) & MF_GRAYED);
    ::DestroyMenu(popup);
}

TEST_F(FrameTest, IdleUpdatesReachBarsAndTheFormControls)
{
    CStripBar bar(12, true);
    ASSERT_TRUE(bar.CreateIn(m_pFrame, AFX_IDW_TOOLBAR));
    CButton* run = (CButton*)m_pView->GetDlgItem(IDC_FORM_RUN);
    CButton* idle = (CButton*)m_pView->GetDlgItem(IDC_FORM_IDLE);
    ASSERT_TRUE(run && idle);

    m_App.OnIdle(0);
    EXPECT_EQ(1, bar.m_nIdleUpdates);
    // The view's handler comes first and wins; the application's text update never ran.
    EXPECT_FALSE(run->IsWindowEnabled());
    CString text;
    run->GetWindowText(text);
    EXPECT_STREQ("Run", text);
    EXPECT_EQ(BST_CHECKED, ((CButton*)m_pView->GetDlgItem(IDC_FORM_SWITCH))->GetCheck());
    m_pView->GetDlgItemText(IDC_FORM_STATE, text);
    EXPECT_STREQ("updated", text);
    // Without the disable-if-no-handler rule a button nobody handles stays as it was.
    EXPECT_TRUE(idle->IsWindowEnabled());

    m_pView->m_bRunEnabled = true;
    m_App.OnIdle(0);
    EXPECT_TRUE(run->IsWindowEnabled());

    m_pView->UpdateDialogControls(m_pFrame, TRUE);
    EXPECT_FALSE(idle->IsWindowEnabled());
    EXPECT_TRUE(m_pView->GetDlgItem(IDC_FORM_EDIT)->IsWindowEnabled());
    EXPECT_TRUE(m_pView->GetDlgItem(IDC_FORM_GROUP)->IsWindowEnabled());
    bar.DestroyWindow();
}

TEST_F(FrameTest, LayoutGivesThePaneWhatTheBarsLeave)
{
    CStripBar top(20, true);
    CStripBar bottom(15, false);
    ASSERT_TRUE(top.CreateIn(m_pFrame, AFX_IDW_TOOLBAR));
    ASSERT_TRUE(bottom.CreateIn(m_pFrame, AFX_IDW_STATUS_BAR));
    CRect client;
    m_pFrame->GetClientRect(&client);

    CRect before;
    m_pView->GetWindowRect(&before);
    CRect free;
    m_pFrame->RepositionBars(0, 0xFFFF, AFX_IDW_PANE_FIRST, reposQuery, &free);
    EXPECT_EQ(CRect(0, 20, client.right, client.bottom - 15), free);
    CRect after;
    m_pView->GetWindowRect(&after);
    EXPECT_EQ(before, after);  // a query moves nothing

    m_pFrame->RecalcLayout();
    CRect pane;
    m_pView->GetWindowRect(&pane);
    m_pFrame->ScreenToClient(&pane);
    EXPECT_EQ(free, pane);
    CRect strip;
    top.GetWindowRect(&strip);
    m_pFrame->ScreenToClient(&strip);
    EXPECT_EQ(CRect(0, 0, client.right, 20), strip);

    // A bar that asks for a layout while one runs is not laid out twice (nor forever).
    top.m_pRelayout = m_pFrame;
    const int layouts = top.m_nLayouts;
    m_pFrame->RecalcLayout();
    EXPECT_EQ(layouts + 1, top.m_nLayouts);
    top.DestroyWindow();
    bottom.DestroyWindow();
}

TEST_F(FrameTest, FormViewIsAChildPaneThatGoesWithItsWindow)
{
    EXPECT_EQ(m_pView, m_pFrame->GetActiveView());
    EXPECT_EQ(m_pFrame, m_pView->GetParentFrame());
    EXPECT_EQ((int)AFX_IDW_PANE_FIRST, m_pView->GetDlgCtrlID());
    const DWORD style = m_pView->GetStyle();
    EXPECT_TRUE(style & WS_CHILD);
    EXPECT_FALSE(style & (WS_POPUP | WS_CAPTION));
    EXPECT_TRUE(m_pView->IsWindowVisible() || !m_pFrame->IsWindowVisible());
    EXPECT_NE(nullptr, m_pView->GetDlgItem(IDC_FORM_EDIT));
    // An empty place takes the template's own size.
    CRect own;
    m_pView->GetClientRect(&own);
    EXPECT_GT(own.Width(), 100);

    // Destroying the view's window deletes it and leaves the frame without an active view.
    m_pView->DestroyWindow();
    EXPECT_TRUE(m_bViewDeleted);
    EXPECT_EQ(nullptr, m_pFrame->GetActiveView());
    SendMenuCommand(ID_FRAME_ONLY);  // the route still works without a view
    EXPECT_EQ("F", g_trail);

    // A second view is deleted with the frame.
    bool secondDeleted = false;
    auto* second = new CRouteView(&secondDeleted);
    ASSERT_TRUE(second->Create(nullptr, nullptr, WS_VISIBLE, CRect(0, 0, 50, 40), m_pFrame, AFX_IDW_PANE_FIRST));
    m_pFrame->SetActiveView(second);
    EXPECT_EQ(1, second->m_activations);
    DestroyFrame();
    EXPECT_TRUE(secondDeleted);
    EXPECT_TRUE(m_bFrameDeleted);
}

TEST(FormView, FailedCreateLeavesTheObjectToItsCaller)
{
    bool deleted = false;
    auto* view = new CRouteView(&deleted, 9999);
    CWnd parent;
    ASSERT_TRUE(parent.CreateEx(0, nullptr, "parent", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr));
    EXPECT_FALSE(view->Create(nullptr, nullptr, WS_VISIBLE, CRect(), &parent, AFX_IDW_PANE_FIRST));
    EXPECT_FALSE(deleted);
    EXPECT_EQ(nullptr, view->m_hWnd);
    delete view;
    EXPECT_TRUE(deleted);
}

}  // namespace
