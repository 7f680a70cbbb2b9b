#include "framework/Controls.h"
#include "framework/Dialog.h"

#include "tests/framework/ReporterProbe.h"
#include "tests/framework/TestResources.h"
#include "tests/support/Screenshot.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <stdexcept>

namespace {

const INT_PTR kApplyCode = 4242;
const INT_PTR kWatchdogCode = -2;   // the script never ended the dialog
enum { kScriptTimer = 1, kWatchdogTimer = 2 };

// The test dialog runs a script once it is on screen: DoModal does not return to the test until
// the dialog ends, so the script plays the user.
class CScriptedDialog : public CDialog {
public:
    CScriptedDialog() : CDialog(IDD_FRAMEWORK_TEST) {}

    std::function<void(CScriptedDialog&)> m_script;
    int m_initCalls = 0;
    int m_applyClicks = 0;
    int m_kindChanges = 0;
    int m_listDoubleClicks = 0;
    CString m_nameAtApply;

    // Lets the dialog paint before the script goes on.
    void Settle()
    {
        UpdateWindow();
        for (int i = 0; i < 30; ++i) {
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
            Sleep(10);
        }
    }
    void Click(int id) { ::SendMessageA(::GetDlgItem(m_hWnd, id), BM_CLICK, 0, 0); }

protected:
    BOOL OnInitDialog() override
    {
        ++m_initCalls;
        CDialog::OnInitDialog();
        SetTimer(kScriptTimer, 50);
        SetTimer(kWatchdogTimer, 15000);
        return TRUE;
    }
    void OnTimer(UINT_PTR id)
    {
        KillTimer(id);
        if (id == kWatchdogTimer)
            EndDialog(kWatchdogCode);
        else if (m_script)
            m_script(*this);
    }
    void OnApply()
    {
        ++m_applyClicks;
        GetDlgItemText(IDC_NAME, m_nameAtApply);
        EndDialog(kApplyCode);
    }
    void OnThrow() { throw std::runtime_error("button handler failed"); }
    void OnKindChange() { ++m_kindChanges; }
    void OnListDoubleClick() { ++m_listDoubleClicks; }

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CScriptedDialog, CDialog)
    ON_WM_TIMER()
    ON_BN_CLICKED(IDC_APPLY, OnApply)
    ON_BN_CLICKED(IDC_THROW, OnThrow)
    ON_CBN_SELCHANGE(IDC_KIND, OnKindChange)
    ON_LBN_DBLCLK(IDC_LIST, OnListDoubleClick)
END_MESSAGE_MAP()

TEST(Dialog, ButtonClickEndsModalDialogWithHandlerCode)
{
    CScriptedDialog dialog;
    std::string screenshot;
    dialog.m_script = [&](CScriptedDialog& dlg) {
        dlg.SetDlgItemText(IDC_NAME, "flatbed");
        // No owner: centred on the work area.
        dlg.CenterWindow();
        CRect work;
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
        CRect placed;
        dlg.GetWindowRect(&placed);
        EXPECT_LE(abs(placed.CenterPoint().x - work.CenterPoint().x), 1);
        EXPECT_LE(abs(placed.CenterPoint().y - work.CenterPoint().y), 1);
        dlg.Settle();
        screenshot = testsupport::TakeScreenshot("framework_dialog");
        dlg.Click(IDC_APPLY);
    };
    EXPECT_EQ(kApplyCode, dialog.DoModal());
    EXPECT_EQ(1, dialog.m_initCalls);
    EXPECT_EQ(1, dialog.m_applyClicks);
    EXPECT_STREQ("flatbed", dialog.m_nameAtApply);
    EXPECT_EQ(nullptr, dialog.m_hWnd);
    EXPECT_FALSE(screenshot.empty());
}

TEST(Dialog, CancelReachesBaseClassHandler)
{
    CScriptedDialog dialog;
    dialog.m_script = [](CScriptedDialog& dlg) { dlg.Click(IDCANCEL); };
    EXPECT_EQ(IDCANCEL, dialog.DoModal());
    EXPECT_EQ(0, dialog.m_applyClicks);
}

TEST(Dialog, ExceptionInClickHandlerIsReportedAndDialogStaysUsable)
{
    CReporterProbe reporter;
    CScriptedDialog dialog;
    dialog.m_script = [&](CScriptedDialog& dlg) {
        dlg.Click(IDC_THROW);
        EXPECT_TRUE(IsWindow(dlg.m_hWnd));
        dlg.Click(IDC_APPLY);
    };
    EXPECT_EQ(kApplyCode, dialog.DoModal());
    EXPECT_EQ(1, reporter.NewReports());
    ASSERT_EQ(1u, CReporterProbe::Reports().size());
    EXPECT_NE(std::string::npos, CReporterProbe::Reports()[0].find("button handler failed"));
}

TEST(Dialog, ControlsAndNotifications)
{
    CScriptedDialog dialog;
    dialog.m_script = [](CScriptedDialog& dlg) {
        CComboBox* kind = CComboBox::FromHandle(::GetDlgItem(dlg.m_hWnd, IDC_KIND));
        const char* names[] = {"Flatbed", "Film", "Filmstrip", "Camera"};
        for (int i = 0; i < 4; ++i)
            kind->SetItemData(kind->AddString(names[i]), 100 + i);
        EXPECT_EQ(1, kind->FindStringExact(-1, "film"));     // whole text, any case
        EXPECT_EQ(1, kind->FindString(-1, "Fil"));           // first prefix match
        EXPECT_EQ(2, kind->FindString(1, "Fil"));            // after the start index
        EXPECT_EQ(CB_ERR, kind->FindStringExact(-1, "Fil"));
        CString text;
        kind->GetLBText(2, text);
        EXPECT_STREQ("Filmstrip", text);
        kind->GetLBText(9, text);
        EXPECT_TRUE(text.IsEmpty());
        EXPECT_EQ(103u, kind->GetItemData(3));
        kind->SetCurSel(3);
        dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_KIND, CBN_SELCHANGE), (LPARAM)kind->m_hWnd);
        EXPECT_EQ(1, dlg.m_kindChanges);

        CListBox* list = CListBox::FromHandle(::GetDlgItem(dlg.m_hWnd, IDC_LIST));
        list->AddString("one");
        list->AddString("two");
        list->GetText(1, text);
        EXPECT_STREQ("two", text);
        dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_LIST, LBN_DBLCLK), (LPARAM)list->m_hWnd);
        EXPECT_EQ(1, dlg.m_listDoubleClicks);

        dlg.CheckRadioButton(IDC_FAST, IDC_SLOW, IDC_SLOW);
        EXPECT_EQ(IDC_SLOW, dlg.GetCheckedRadioButton(IDC_FAST, IDC_SLOW));
        EXPECT_EQ(0u, dlg.IsDlgButtonChecked(IDC_FAST));

        dlg.SetDlgItemInt(IDC_NAME, (UINT)-42);
        BOOL translated = FALSE;
        EXPECT_EQ(-42, (int)dlg.GetDlgItemInt(IDC_NAME, &translated));
        EXPECT_TRUE(translated);
        dlg.Click(IDOK);
    };
    EXPECT_EQ(IDOK, dialog.DoModal());
}

TEST(Dialog, ModelessCreateAndDestroy)
{
    CScriptedDialog dialog;
    ASSERT_TRUE(dialog.Create(IDD_FRAMEWORK_TEST));
    EXPECT_EQ(1, dialog.m_initCalls);
    EXPECT_EQ(&dialog, CWnd::FromHandlePermanent(dialog.m_hWnd));
    EXPECT_TRUE(dialog.IsWindowVisible());
    dialog.DestroyWindow();
    EXPECT_EQ(nullptr, dialog.m_hWnd);
}

class CFailingInitDialog : public CDialog {
protected:
    BOOL OnInitDialog() override { throw std::runtime_error("init failed"); }
};

TEST(Dialog, ExceptionInOnInitDialogIsReported)
{
    CReporterProbe reporter;
    CFailingInitDialog dialog;
    ASSERT_TRUE(dialog.Create(IDD_FRAMEWORK_TEST));
    EXPECT_EQ(1, reporter.NewReports());
    dialog.DestroyWindow();
}

TEST(Dialog, MissingTemplateFails)
{
    CDialog dialog(9999);
    EXPECT_EQ(-1, dialog.DoModal());
    EXPECT_FALSE(dialog.Create(9999));
}

TEST(CString, LoadStringFromResources)
{
    CString text;
    EXPECT_TRUE(text.LoadString(IDS_GREETING));
    EXPECT_STREQ("Hello from the string table", text);
    // Longer than the first buffer tried.
    EXPECT_TRUE(text.LoadString(IDS_LONG));
    EXPECT_EQ(284, text.GetLength());
    EXPECT_STREQ("-end", text.Right(4));
    EXPECT_FALSE(text.LoadString(9999));
    EXPECT_TRUE(text.IsEmpty());
}

}  // namespace
