// The main form in a frame of the test: its controls from the template with the catalog's texts
// and the dialog font, the layout that follows the frame's size, the view states, and Close, which
// saves and ends the window and takes the driver and the settings record with it.

#include "app/DialogLocalizer.h"
#include "app/RecordTexts.h"
#include "core/driver/ScannerDriver.h"
#include "core/messages/MsgString.h"
#include "core/scsi/ScsiTransport.h"
#include "core/settings/ScanParams.h"
#include "core/settings/ScanSettings.h"
#include "core/settings/SettingsFile.h"
#include "framework/App.h"
#include "framework/Frame.h"
#include "resources/dialogs/MainForm.h"
#include "tests/app/AppTestEnvironment.h"
#include "tests/support/Reports.h"
#include "tests/support/Screenshot.h"
#include "view/BrelvaneView.h"
#include "view/FileDialogRunner.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <vector>
#include <string>

namespace {

// Shown by its own style, whether or not the frame is on the screen.
bool IsShownControl(const CWnd& form, int id)
{
    return (GetWindowLongA(GetDlgItem(form.m_hWnd, id), GWL_STYLE) & WS_VISIBLE) != 0;
}

CRect PlaceOf(const CWnd& form, int id)
{
    CRect place;
    GetWindowRect(GetDlgItem(form.m_hWnd, id), &place);
    form.ScreenToClient(&place);
    return place;
}

// A frame of the test that holds the form as the program's frame does, with a driver and a settings
// record that the form takes over.
class CMainView : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetTestIni();
        m_SettingsFile = testsupport::ProgramDirectory() + "VIEW.ZLK";
        DeleteFileA(m_SettingsFile.c_str());
        g_pScannerDriver = new CScannerDriver;
        g_pScanSettings = new CScanSettings;
        g_pScanSettings->m_nVersion = 521;
        SetProgramTitle("Brelvane");
        SetSettingsFileName(m_SettingsFile.c_str());
        g_pDialogLocalizer = new CDialogLocalizer(FALSE);
        m_pFrame = new CFrameWnd;
        m_pFrame->CreateEx(0, AfxRegisterWndClass(0, nullptr, (HBRUSH)(COLOR_WINDOW + 1)), "Brelvane - view",
            WS_OVERLAPPEDWINDOW, 0, 0, 900, 700, nullptr, nullptr);
        m_hFrame = m_pFrame->m_hWnd;
        m_pSavedMain = TestApp().m_pMainWnd;
        TestApp().m_pMainWnd = m_pFrame;
        CRect area;
        m_pFrame->GetClientRect(&area);
        m_pView = new CBrelvaneView(m_pFrame, area, g_pDialogLocalizer->m_nFormTemplate);
        m_pFrame->SetActiveView(m_pView);
    }
    void TearDown() override
    {
        // the frame deletes itself with its window: only its handle says whether it is still there
        if (IsWindow(m_hFrame))
            m_pFrame->DestroyWindow();
        m_pFrame = nullptr;
        TestApp().m_pMainWnd = m_pSavedMain;
        delete g_pDialogLocalizer;
        g_pDialogLocalizer = nullptr;
        // whatever the form did not take
        delete g_pScannerDriver;
        g_pScannerDriver = nullptr;
        delete g_pScanSettings;
        g_pScanSettings = nullptr;
        g_UserAbort = 0;
        DeleteFileA(m_SettingsFile.c_str());
        ResetTestIni();
    }

    std::string m_SettingsFile;
    CFrameWnd* m_pFrame = nullptr;
    HWND m_hFrame = nullptr;
    CBrelvaneView* m_pView = nullptr;
    CWnd* m_pSavedMain = nullptr;
};

TEST_F(CMainView, FormShowsTheCatalogTextsInTheDialogFont)
{
    ASSERT_EQ(m_pView, g_pView);
    ASSERT_NE(nullptr, m_pView->m_hWnd);
    const HFONT dialogFont = g_pDialogLocalizer->DialogFont();
    const int labelled[] = {3746, 3747, 3748, 3750, 3751, 3752, 3753, 3754, 3756, 3757, 3758, 3761, 3762, 3763, 3664,
        3658, 3662, 3670, 3660};
    for (int id : labelled) {
        HWND control = GetDlgItem(m_pView->m_hWnd, id);
        ASSERT_NE(nullptr, control) << id;
        EXPECT_EQ(std::string((const char*)CMsgString(id)), TextOf(control)) << id;
        EXPECT_EQ(dialogFont, (HFONT)SendMessageA(control, WM_GETFONT, 0, 0)) << id;
    }
    // every control of the form's table is there, the hidden ones hidden
    const int hidden[] = {3666, 3038, 3755, 3759, 5300, 5299, 5042, 5181, 5026, 5040, 3676, 3680, 3678, 3749};
    for (int id : hidden) {
        HWND control = GetDlgItem(m_pView->m_hWnd, id);
        ASSERT_NE(nullptr, control) << id;
        EXPECT_FALSE(IsShownControl(*m_pView, id)) << id;
    }
    EXPECT_EQ(std::string((const char*)CMsgString(3287)), TextOf(GetDlgItem(m_pView->m_hWnd, IDC_FORM_STATUS)));
    m_pFrame->ShowWindow(SW_SHOW);
    m_pFrame->UpdateWindow();
    testsupport::TakeScreenshot("app_main_form");
}

TEST_F(CMainView, LayoutFollowsTheFramesSize)
{
    CRect client;
    m_pView->GetClientRect(&client);
    const int width = client.Width();
    const int height = client.Height();
    const struct {
        const char* name;
        int width, height;
        int dx, dy;  // the move since the call before
    } cases[] = {
        {"first call after creation", width + 60, height + 40, 60, 40},
        {"the same size again", width + 60, height + 40, 0, 0},
        {"an empty area", 0, 0, 0, 0},
        {"after the empty area", width + 60, height + 40, 0, 0},
        {"smaller", width + 10, height + 5, -50, -35},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const CRect scan = PlaceOf(*m_pView, IDC_FORM_SCAN);
        const CRect status = PlaceOf(*m_pView, IDC_FORM_STATUS);
        const CRect group = PlaceOf(*m_pView, IDC_FORM_PREVIEW_GROUP);
        const CRect lowerLeft = PlaceOf(*m_pView, IDC_FORM_LOWER_LEFT_GROUP);
        const CRect mode = PlaceOf(*m_pView, IDC_FORM_MODE);
        m_pView->LayoutControls(c.width, c.height);
        EXPECT_EQ(scan.left, PlaceOf(*m_pView, IDC_FORM_SCAN).left);
        EXPECT_EQ(scan.top + c.dy, PlaceOf(*m_pView, IDC_FORM_SCAN).top);
        EXPECT_EQ(scan.Size(), PlaceOf(*m_pView, IDC_FORM_SCAN).Size());
        EXPECT_EQ(status.top + c.dy, PlaceOf(*m_pView, IDC_FORM_STATUS).top);
        EXPECT_EQ(status.Width() + c.dx, PlaceOf(*m_pView, IDC_FORM_STATUS).Width());
        EXPECT_EQ(group.TopLeft(), PlaceOf(*m_pView, IDC_FORM_PREVIEW_GROUP).TopLeft());
        EXPECT_EQ(group.Width() + c.dx, PlaceOf(*m_pView, IDC_FORM_PREVIEW_GROUP).Width());
        EXPECT_EQ(group.Height() + c.dy, PlaceOf(*m_pView, IDC_FORM_PREVIEW_GROUP).Height());
        EXPECT_EQ(lowerLeft.Height() + c.dy, PlaceOf(*m_pView, IDC_FORM_LOWER_LEFT_GROUP).Height());
        EXPECT_EQ(lowerLeft.Width(), PlaceOf(*m_pView, IDC_FORM_LOWER_LEFT_GROUP).Width());
        EXPECT_EQ(mode, PlaceOf(*m_pView, IDC_FORM_MODE));  // the left column stays
        // normal mode: the Options button and the Tarvoset placeholder's twin stay hidden
        EXPECT_FALSE(IsShownControl(*m_pView, IDC_FORM_OPTIONS));
        EXPECT_FALSE(IsShownControl(*m_pView, IDC_FORM_ZOOM_PLACE));
        EXPECT_TRUE(IsShownControl(*m_pView, IDC_FORM_ZOOM));
        EXPECT_TRUE(IsShownControl(*m_pView, IDC_FORM_SCAN));
    }
}

TEST_F(CMainView, AltIsEatenOnlyWhileTheDeviceWorks)
{
    const struct {
        int32_t state;
        BOOL eaten;
    } cases[] = {
        {kViewIdle, FALSE}, {kViewPreviewing, TRUE}, {kViewScanning, TRUE}, {kViewClosing, TRUE}, {kViewBatch, FALSE}};
    for (const auto& c : cases) {
        m_pView->SetViewState(c.state);
        // addressed to the frame, so that the form's dialog keys do not take it either way
        MSG alt = {m_pFrame->m_hWnd, WM_SYSKEYDOWN, 'F', 1 << 29, 0, {}};
        EXPECT_EQ(c.eaten, m_pView->PreTranslateMessage(&alt)) << c.state;
        MSG menuKey = {m_pFrame->m_hWnd, WM_KEYDOWN, VK_MENU, 0, 0, {}};
        EXPECT_EQ(c.eaten, m_pView->PreTranslateMessage(&menuKey)) << c.state;
        MSG plain = {m_pFrame->m_hWnd, WM_KEYDOWN, 'F', 0, 0, {}};
        EXPECT_FALSE(m_pView->PreTranslateMessage(&plain)) << c.state;
    }
    m_pView->SetViewState(kViewIdle);
}

TEST_F(CMainView, CloseWhileScanningAsksTheScanToStop)
{
    m_pView->SetViewState(kViewScanning);
    g_UserAbort = 0;
    SendMessageA(m_pView->m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_FORM_CLOSE, BN_CLICKED),
        (LPARAM)GetDlgItem(m_pView->m_hWnd, IDC_FORM_CLOSE));
    EXPECT_EQ(1, g_UserAbort);
    EXPECT_EQ(kViewClosing, m_pView->GetViewState());
    EXPECT_TRUE(m_pView->PumpViewMessages());
    EXPECT_TRUE(IsWindow(m_pFrame->m_hWnd));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(m_SettingsFile.c_str()));
    // a second close while the stop is pending only asks again
    m_pView->OnCloseCommand(0);
    EXPECT_TRUE(IsWindow(m_pFrame->m_hWnd));
}

TEST_F(CMainView, CloseSavesAndTakesTheDriverAndRecordWithTheWindow)
{
    const struct {
        const char* name;
        int32_t state;
        UINT command;  // 0: called as the frame's close box does
        int32_t tarvoset;
    } cases[] = {
        {"the Close button when idle", kViewIdle, IDC_FORM_CLOSE, 0},
        {"the close box in batch mode", kViewBatch, 0, 0},
        {"the close box in Tarvoset mode", kViewIdle, 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (!m_pFrame)
            SetUp();
        g_bSimplifiedMode = c.tarvoset;
        m_pView->m_nTarvosetColor = 2;
        m_pView->m_nTarvosetMedium = 1;
        m_pView->SetViewState(c.state);
        g_pScanSettings->SetParamAllTypes(kParamResolution, 432);
        g_pScanSettings->SetParamAllTypes(kParamScale, 150);
        if (c.command)
            SendMessageA(m_pView->m_hWnd, WM_COMMAND, MAKEWPARAM(c.command, BN_CLICKED),
                (LPARAM)GetDlgItem(m_pView->m_hWnd, c.command));
        else
            m_pView->OnCloseCommand(0);
        g_bSimplifiedMode = 0;
        EXPECT_FALSE(IsWindow(m_hFrame));
        EXPECT_EQ(nullptr, g_pView);
        EXPECT_EQ(nullptr, g_pScannerDriver);
        EXPECT_EQ(nullptr, g_pScanSettings);
        EXPECT_EQ(m_SettingsFile, std::string(TestApp().GetProfileString("General", "SettingsFile", "")));
        // the Tarvoset choices are kept only in that mode
        EXPECT_EQ(c.tarvoset ? 2 : -1, (int)TestApp().GetProfileInt("Selections", "Color", -1));
        EXPECT_EQ(c.tarvoset ? 1 : -1, (int)TestApp().GetProfileInt("Selections", "Medium", -1));
        EXPECT_EQ(c.tarvoset ? 150 : -1, (int)TestApp().GetProfileInt("Selections", "Scale", -1));
        // the file holds the record as it was at the close
        g_pScanSettings = new CScanSettings;
        g_pScanSettings->m_nVersion = 521;
        ASSERT_TRUE(LoadSettings(m_SettingsFile.c_str()));
        EXPECT_EQ(432, g_pScanSettings->GetParam(kParamResolution));
        TearDown();
    }
}

int AnswerWithRefusedFile(CFileDialog& dialog)
{
    const std::string path = testsupport::ProgramDirectory() + "REFUSED.ZLK";
    lstrcpynA(dialog.m_ofn.lpstrFile, path.c_str(), (int)dialog.m_ofn.nMaxFile);
    return IDOK;
}

TEST_F(CMainView, CloseAfterARefusedOpenWritesThePreviousFile)
{
    // a file of a foreign kind: the loader refuses it
    const std::string refused = testsupport::ProgramDirectory() + "REFUSED.ZLK";
    const std::string foreign(5000, 'x');
    std::ofstream(refused, std::ios::binary) << foreign;
    RetitleMainWindow();
    const FileDialogRunner previous = SetFileDialogRunner(AnswerWithRefusedFile);
    {
        CReportRecorder reports;
        SendMessageA(m_pFrame->m_hWnd, WM_COMMAND, 5190, 0);  // File, Open, through the frame's route
        EXPECT_EQ(std::vector<int> {kMsgSettingsFileRefused}, reports.Ids());
    }
    SetFileDialogRunner(previous);
    EXPECT_EQ("Brelvane - " + m_SettingsFile, TextOf(m_pFrame->m_hWnd));
    g_pScanSettings->SetParamAllTypes(kParamResolution, 345);
    m_pView->OnCloseCommand(0);
    EXPECT_FALSE(IsWindow(m_pFrame->m_hWnd));
    std::ifstream in(refused, std::ios::binary);
    EXPECT_EQ(foreign, std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
    in.close();
    DeleteFileA(refused.c_str());
    g_pScanSettings = new CScanSettings;
    g_pScanSettings->m_nVersion = 521;
    ASSERT_TRUE(LoadSettings(m_SettingsFile.c_str()));
    EXPECT_EQ(345, g_pScanSettings->GetParam(kParamResolution));
}

}  // namespace
