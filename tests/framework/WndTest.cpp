#include "framework/Controls.h"
#include "framework/File.h"
#include "framework/Wnd.h"

#include "tests/framework/ReporterProbe.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

enum { ID_BASE_ONLY = 200, ID_OVERRIDDEN, ID_CLAIMED, ID_DECLINED, ID_RANGE_FIRST = 300, ID_RANGE_LAST = 309 };
const UINT WM_PROBE = WM_APP + 1;
const UINT WM_THROW_FILE = WM_APP + 2;
const UINT WM_THROW_STD = WM_APP + 3;
const UINT WM_THROW_OTHER = WM_APP + 4;

class CProbeWnd : public CWnd {
public:
    int m_creates = 0;
    int m_destroys = 0;
    bool m_postNcDestroy = false;
    bool m_throwOnCreate = false;
    CString m_trail;   // one letter per handler run, in order
    CPoint m_click;
    CSize m_size;

    BOOL CreateHidden() { return CreateEx(0, nullptr, "probe", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr); }

protected:
    int OnCreate(LPCREATESTRUCT cs)
    {
        ++m_creates;
        if (m_throwOnCreate)
            throw std::runtime_error("create failed");
        return CWnd::OnCreate(cs);
    }
    void OnDestroy() { ++m_destroys; CWnd::OnDestroy(); }
    void PostNcDestroy() override { m_postNcDestroy = true; }
    void OnBaseOnly() { m_trail += 'b'; }
    void OnOverridden() { m_trail += 'o'; }
    void OnDeclinedByBase() { m_trail += 'd'; }
    void OnRange(UINT id) { m_trail += (char)('0' + (id - ID_RANGE_FIRST)); }
    LRESULT OnProbe(WPARAM wParam, LPARAM lParam) { return (LRESULT)(wParam + lParam); }
    LRESULT OnThrowFile(WPARAM, LPARAM) { AfxThrowFileException(CFileException::diskFull, -1, "x.tc"); }
    LRESULT OnThrowStd(WPARAM, LPARAM) { throw std::runtime_error("bad handler"); }
    LRESULT OnThrowOther(WPARAM, LPARAM) { throw 42; }
    void OnLButtonDown(UINT, CPoint point) { m_click = point; }
    void OnSize(UINT, int cx, int cy) { m_size = CSize(cx, cy); }

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CProbeWnd, CWnd)
    ON_WM_CREATE()
    ON_WM_DESTROY()
    ON_WM_LBUTTONDOWN()
    ON_WM_SIZE()
    ON_COMMAND(ID_BASE_ONLY, OnBaseOnly)
    ON_COMMAND(ID_OVERRIDDEN, OnOverridden)
    ON_COMMAND(ID_DECLINED, OnDeclinedByBase)
    ON_COMMAND_RANGE(ID_RANGE_FIRST, ID_RANGE_LAST, OnRange)
    ON_MESSAGE(WM_PROBE, OnProbe)
    ON_MESSAGE(WM_THROW_FILE, OnThrowFile)
    ON_MESSAGE(WM_THROW_STD, OnThrowStd)
    ON_MESSAGE(WM_THROW_OTHER, OnThrowOther)
END_MESSAGE_MAP()

class CDerivedProbeWnd : public CProbeWnd {
protected:
    void OnDerivedOverride() { m_trail += 'O'; }
    BOOL OnClaimed(UINT) { m_trail += 'C'; return TRUE; }
    BOOL OnDeclined(UINT) { m_trail += 'D'; return FALSE; }

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CDerivedProbeWnd, CProbeWnd)
    ON_COMMAND(ID_OVERRIDDEN, OnDerivedOverride)
    ON_COMMAND_EX(ID_CLAIMED, OnClaimed)
    ON_COMMAND_EX(ID_DECLINED, OnDeclined)
END_MESSAGE_MAP()

// A command as a menu sends it (no control), and as a button's BN_CLICKED would.
void SendCommand(CWnd& wnd, UINT id)
{
    wnd.SendMessage(WM_COMMAND, MAKEWPARAM(id, 0), 0);
}

TEST(MessageMap, CommandsFollowTheClassChain)
{
    CDerivedProbeWnd wnd;
    ASSERT_TRUE(wnd.CreateHidden());
    EXPECT_EQ(1, wnd.m_creates);

    struct {
        UINT id;
        const char* trail;
    } const cases[] = {
        {ID_BASE_ONLY, "b"},       // found in the base class's map
        {ID_OVERRIDDEN, "O"},      // the derived entry hides the base entry
        {ID_CLAIMED, "C"},         // ON_COMMAND_EX that takes the command
        {ID_DECLINED, "Dd"},       // ON_COMMAND_EX that declines: the search goes on to the base
        {ID_RANGE_FIRST + 3, "3"}, // a range passes the id
        {ID_RANGE_LAST + 1, ""},   // nobody's
    };
    for (const auto& c : cases) {
        wnd.m_trail.Empty();
        SendCommand(wnd, c.id);
        EXPECT_STREQ(c.trail, wnd.m_trail) << c.id;
    }

    // An accelerator's code 1 counts as a menu command.
    wnd.m_trail.Empty();
    wnd.SendMessage(WM_COMMAND, MAKEWPARAM(ID_BASE_ONLY, 1), 0);
    EXPECT_STREQ("b", wnd.m_trail);
}

TEST(MessageMap, WindowMessagesUnpackTheirArguments)
{
    CProbeWnd wnd;
    ASSERT_TRUE(wnd.CreateHidden());
    EXPECT_EQ(7, wnd.SendMessage(WM_PROBE, 3, 4));
    // Mouse coordinates are signed: a drag left of the window gives a negative x.
    wnd.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(-5, 17));
    EXPECT_EQ(CPoint(-5, 17), wnd.m_click);
    wnd.MoveWindow(0, 0, 300, 200);
    CRect client;
    wnd.GetClientRect(&client);
    EXPECT_EQ(client.Size(), wnd.m_size);
    // Unhandled messages reach the default procedure.
    wnd.SetWindowText("renamed");
    CString title;
    wnd.GetWindowText(title);
    EXPECT_STREQ("renamed", title);
}

TEST(MessageMap, DestructionDetachesTheObject)
{
    CProbeWnd wnd;
    ASSERT_TRUE(wnd.CreateHidden());
    const HWND hWnd = wnd.m_hWnd;
    EXPECT_EQ(&wnd, CWnd::FromHandle(hWnd));
    EXPECT_EQ(&wnd, CWnd::FromHandlePermanent(hWnd));
    EXPECT_TRUE(wnd.DestroyWindow());
    EXPECT_EQ(1, wnd.m_destroys);
    EXPECT_TRUE(wnd.m_postNcDestroy);
    EXPECT_EQ(nullptr, wnd.m_hWnd);
    EXPECT_EQ(nullptr, CWnd::FromHandlePermanent(hWnd));
    EXPECT_FALSE(IsWindow(hWnd));
}

struct ThrowCase {
    UINT message;
    const char* reportMentions;
};

const ThrowCase kThrows[] = {
    {WM_THROW_FILE, "CFileException: x.tc"},
    {WM_THROW_STD, "bad handler"},
    {WM_THROW_OTHER, "unknown"},
};

TEST(MessageMap, HandlerExceptionsAreCaughtAndReported)
{
    CReporterProbe reporter;
    CProbeWnd wnd;
    ASSERT_TRUE(wnd.CreateHidden());
    for (const ThrowCase& c : kThrows) {
        EXPECT_EQ(0, wnd.SendMessage(c.message));
        ASSERT_FALSE(CReporterProbe::Reports().empty());
        EXPECT_NE(std::string::npos, CReporterProbe::Reports().back().find(c.reportMentions))
            << CReporterProbe::Reports().back();
    }
    EXPECT_EQ(3, reporter.NewReports());
    // The window keeps working afterwards.
    EXPECT_EQ(5, wnd.SendMessage(WM_PROBE, 2, 3));
}

TEST(MessageMap, ExceptionInOnCreateFailsTheCreation)
{
    CReporterProbe reporter;
    CProbeWnd wnd;
    wnd.m_throwOnCreate = true;
    EXPECT_FALSE(wnd.CreateHidden());
    EXPECT_EQ(1, reporter.NewReports());
    EXPECT_EQ(nullptr, wnd.m_hWnd);
}

TEST(MessageMap, SubclassedControlKeepsItsOwnBehaviour)
{
    const HWND hWnd = CreateWindowA("STATIC", "before", WS_POPUP, 0, 0, 50, 20, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(hWnd);
    CProbeWnd wnd;
    ASSERT_TRUE(wnd.SubclassWindow(hWnd));
    EXPECT_EQ(9, SendMessageA(hWnd, WM_PROBE, 4, 5));
    wnd.SetWindowText("after");
    char text[16] = {};
    GetWindowTextA(hWnd, text, sizeof text);
    EXPECT_STREQ("after", text);

    EXPECT_EQ(hWnd, wnd.UnsubclassWindow());
    EXPECT_EQ(0, SendMessageA(hWnd, WM_PROBE, 4, 5));
    DestroyWindow(hWnd);
}

// Counts its own deletions, to see when the temporary map lets go of it.
class CCountedButton : public CButton {
public:
    ~CCountedButton() override { ++s_deleted; }
    static int s_deleted;
};
int CCountedButton::s_deleted = 0;

TEST(HandleMap, TemporariesLiveUntilDeleteTempMaps)
{
    const HWND hWnd = CreateWindowA("BUTTON", "b", WS_POPUP | BS_AUTOCHECKBOX, 0, 0, 50, 20, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(hWnd);
    EXPECT_EQ(nullptr, CWnd::FromHandlePermanent(hWnd));
    EXPECT_EQ(nullptr, CWnd::FromHandle(nullptr));

    CCountedButton::s_deleted = 0;
    CCountedButton* first = AfxWndFromHandle<CCountedButton>(hWnd);
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(first, AfxWndFromHandle<CCountedButton>(hWnd));
    EXPECT_EQ(hWnd, first->m_hWnd);
    first->SetCheck(BST_CHECKED);
    EXPECT_EQ(BST_CHECKED, first->GetCheck());

    AfxDeleteTempMaps();
    EXPECT_EQ(1, CCountedButton::s_deleted);
    // Deleting the wrapper left the window alone.
    EXPECT_TRUE(IsWindow(hWnd));
    DestroyWindow(hWnd);
}

}  // namespace
