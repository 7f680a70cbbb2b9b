// The main frame with its tool bar, tips and status bar, under Xvfb: placement, layout, the summary
// and readout texts, the tip timings and the pictures of the window.

#include "app/BrelvaneStatusBar.h"
#include "app/FormAccess.h"
#include "app/MainFrame.h"
#include "app/TipWnd.h"
#include "core/messages/MessageCatalog.h"
#include "core/messages/MessageReporter.h"
#include "core/messages/MsgString.h"
#include "core/settings/ScanParams.h"
#include "core/settings/ScanSettings.h"
#include "core/settings/SettingsFile.h"
#include "framework/App.h"
#include "framework/View.h"
#include "resources/dialogs/MainForm.h"
#include "tests/app/AppTestEnvironment.h"
#include "tests/support/Screenshot.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace {

void Pump(DWORD milliseconds)
{
    const DWORD end = GetTickCount() + milliseconds;
    do {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(10);
    } while ((LONG)(end - GetTickCount()) > 0);
}

std::string Ini(const char* key)
{
    char value[64] = {};
    GetPrivateProfileStringA("General", key, "", value, sizeof value, TestIniPath().c_str());
    return value;
}

void SetIni(const char* key, const char* value)
{
    WritePrivateProfileStringA("General", key, value, TestIniPath().c_str());
}

std::string ItemText(CWnd* form, int id)
{
    CString text;
    form->GetDlgItemText(id, text);
    return (const char*)text;
}

// A form from the main template whose Close command and the Ctrl+O command can be watched.
class CProbeForm : public CFormView {
public:
    CProbeForm() : CFormView(IDD_MAIN_FORM) { }
    int m_nCloses = 0;
    int m_nOpens = 0;
    bool m_bOpenEnabled = true;

protected:
    void OnClose() { ++m_nCloses; }
    void OnOpen() { ++m_nOpens; }
    void OnUpdateOpen(CCmdUI* ui) { ui->Enable(m_bOpenEnabled); }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CProbeForm, CFormView)
    ON_COMMAND(IDC_FORM_CLOSE, OnClose)
    ON_COMMAND(5190, OnOpen)
    ON_UPDATE_COMMAND_UI(5190, OnUpdateOpen)
END_MESSAGE_MAP()

class MainFrameTest : public testing::Test {
protected:
    void SetUp() override
    {
        ResetTestIni();
        m_nSavedInteractive = g_bInteractive;
        m_nSavedSimplified = g_bSimplifiedMode;
        g_bInteractive = 1;
        g_bSimplifiedMode = 0;
        g_nViewState = 0;
    }
    void TearDown() override
    {
        if (m_pFrame)
            CloseFrame();
        g_bInteractive = m_nSavedInteractive;
        g_bSimplifiedMode = m_nSavedSimplified;
        g_nViewState = 0;
    }

    void OpenFrame(bool withForm = true)
    {
        m_pFrame = new CMainFrame;
        TestApp().m_pMainWnd = m_pFrame;
        ASSERT_TRUE(m_pFrame->CreateFrame(
            CMainFrame::RegisterFrameClass(GetModuleHandleA(nullptr), g_bSimplifiedMode), "Brelvane - frame test"));
        if (!withForm)
            return;
        m_pForm = new CProbeForm;
        ASSERT_TRUE(m_pForm->Create(nullptr, nullptr, WS_VISIBLE, m_pFrame->m_rcFree, m_pFrame, AFX_IDW_PANE_FIRST));
        m_pFrame->m_pForm = m_pForm;
        m_pFrame->SetActiveView(m_pForm);
        m_pFrame->RecalcLayout();
    }
    // The main window's end posts a quit message: it must not reach the next test's loops.
    void CloseFrame()
    {
        TestApp().m_pMainWnd = nullptr;
        m_pFrame->DestroyWindow();
        m_pFrame = nullptr;
        m_pForm = nullptr;
    }
    CRect WindowRect() const
    {
        CRect rect;
        m_pFrame->GetWindowRect(&rect);
        return rect;
    }

    CMainFrame* m_pFrame = nullptr;
    CProbeForm* m_pForm = nullptr;
    int m_nSavedInteractive = 1;
    int32_t m_nSavedSimplified = 0;
};

TEST(MainFramePlacement, SavedPlaceIsKeptOnScreen)
{
    const CRect screen(0, 0, 1024, 768);
    const struct {
        const char* name;
        int x, y, width, height;
        CRect expected;
    } cases[] = {
        {"fresh: the minimum size at 0, 0", 0, 0, 700, 560, CRect(0, 0, 700, 560)},
        {"left edge off: the right edge stays", -20, 10, 800, 600, CRect(0, 10, 780, 610)},
        {"top edge off", 30, -50, 800, 600, CRect(30, 0, 830, 550)},
        {"partly off to the right is left alone", 900, 100, 800, 600, CRect(900, 100, 1700, 700)},
        {"wholly off: 0, 0 with the saved size", 3000, 2000, 800, 600, CRect(0, 0, 800, 600)},
        {"wholly off and larger than the screen", 3000, 100, 1600, 1200, CRect(0, 0, 1024, 768)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, CMainFrame::InitialPlacement(c.x, c.y, c.width, c.height, screen)) << c.name;
}

TEST_F(MainFrameTest, OpensAtTheSavedPlaceAndWritesItBack)
{
    OpenFrame();
    // Fresh INI: at 0, 0 with exactly the minimum size, which holds the form and the bars.
    const CSize minimum = m_pFrame->m_sizeMinTrack;
    EXPECT_EQ(CRect(0, 0, minimum.cx, minimum.cy), WindowRect());
    CRect form;
    m_pForm->GetClientRect(&form);
    EXPECT_GE(form.Width(), m_pFrame->m_rcFree.Width());
    MINMAXINFO info = {};
    m_pFrame->SendMessage(WM_GETMINMAXINFO, 0, (LPARAM)&info);
    EXPECT_EQ(minimum.cx, info.ptMinTrackSize.x);
    EXPECT_EQ(minimum.cy, info.ptMinTrackSize.y);
    CloseFrame();

    // The left edge 20 pixels off the screen: the window opens at 0 and the right edge stays.
    SetIni("WindowX", "-20");
    SetIni("WindowW", std::to_string(minimum.cx + 120).c_str());
    SetIni("WindowH", std::to_string(minimum.cy + 10).c_str());
    OpenFrame();
    EXPECT_EQ(CRect(0, 0, minimum.cx + 100, minimum.cy + 10), WindowRect());
    EXPECT_EQ(std::to_string(minimum.cx + 100), Ini("WindowW"));
}

TEST_F(MainFrameTest, ZoomedStateComesBackAfterTheTimerAndMinimisingWritesNothing)
{
    const struct {
        const char* zoomed;
        bool maximised;
    } cases[] = {{"1", true}, {"2", false}, {"0", false}};
    for (const auto& c : cases) {
        ResetTestIni();
        SetIni("Zoomed", c.zoomed);
        OpenFrame();
        m_pFrame->ShowWindow(SW_SHOW);
        EXPECT_FALSE(m_pFrame->IsZoomed()) << "before the timer, Zoomed " << c.zoomed;
        m_pFrame->SendMessage(WM_TIMER, 1);
        EXPECT_EQ(c.maximised, m_pFrame->IsZoomed() != 0) << "Zoomed " << c.zoomed;
        CloseFrame();
    }

    ResetTestIni();
    OpenFrame();
    m_pFrame->ShowWindow(SW_SHOW);
    const CSize size = m_pFrame->m_sizeMinTrack + CSize(20, 10);
    m_pFrame->MoveWindow(40, 30, size.cx, size.cy);
    const std::string width = std::to_string(size.cx);
    const std::string height = std::to_string(size.cy);
    auto placement = [] {
        return Ini("WindowX") + "," + Ini("WindowY") + "," + Ini("WindowW") + "," + Ini("WindowH") + "," +
            Ini("Zoomed");
    };
    const std::string before = placement();
    EXPECT_EQ("40,30," + width + "," + height + ",0", before);
    m_pFrame->ShowWindow(SW_MINIMIZE);
    EXPECT_TRUE(m_pFrame->IsIconic());
    EXPECT_EQ(before, placement());
    m_pFrame->ShowWindow(SW_RESTORE);
    m_pFrame->ShowWindow(SW_MAXIMIZE);
    // Maximised: Zoomed 1, and the last normal place and size stay.
    EXPECT_EQ("40,30," + width + "," + height + ",1", placement());
}

// A drag of the frame or its border moves it in many steps: the placement is written once, when
// the drag ends, not at every step.
TEST_F(MainFrameTest, ADragWritesThePlacementOnceItEnds)
{
    ResetTestIni();
    OpenFrame();
    m_pFrame->ShowWindow(SW_SHOW);
    const CSize size = m_pFrame->m_sizeMinTrack;
    m_pFrame->MoveWindow(40, 30, size.cx, size.cy);
    auto placement = [] {
        return Ini("WindowX") + "," + Ini("WindowY") + "," + Ini("WindowW") + "," + Ini("WindowH") + "," +
            Ini("Zoomed");
    };
    const std::string before = placement();
    m_pFrame->SendMessage(WM_ENTERSIZEMOVE);
    for (int step = 1; step <= 5; ++step) {
        m_pFrame->MoveWindow(40 + step, 30 + 2 * step, size.cx + 3 * step, size.cy + step);
        EXPECT_EQ(before, placement()) << "step " << step;
    }
    m_pFrame->SendMessage(WM_EXITSIZEMOVE);
    EXPECT_EQ("45,40," + std::to_string(size.cx + 15) + "," + std::to_string(size.cy + 5) + ",0", placement());
}

TEST_F(MainFrameTest, BarsAndFormShareTheClientArea)
{
    OpenFrame();
    CRect client;
    m_pFrame->GetClientRect(&client);
    CRect tool;
    m_pFrame->m_wndToolBar.GetWindowRect(&tool);
    m_pFrame->ScreenToClient(&tool);
    CRect status;
    g_pStatusBar->GetWindowRect(&status);
    m_pFrame->ScreenToClient(&status);
    CRect form;
    m_pForm->GetWindowRect(&form);
    m_pFrame->ScreenToClient(&form);
    EXPECT_EQ(0, tool.top);
    EXPECT_EQ(tool.bottom, form.top);
    EXPECT_EQ(form.bottom, status.top);
    EXPECT_EQ(client.bottom, status.bottom);
    EXPECT_EQ(form, m_pFrame->m_rcFree);

    // Toolbar 0: the bar goes and the form grows into its place at the next layout.
    SetIni("Toolbar", "0");
    m_pFrame->ResetControlBars();
    EXPECT_FALSE(m_pFrame->m_wndToolBar.IsWindowVisible());
    m_pForm->GetWindowRect(&form);
    m_pFrame->ScreenToClient(&form);
    EXPECT_EQ(0, form.top);

    // The close box is the form's Close command; without a form the frame simply goes.
    m_pFrame->SendMessage(WM_CLOSE);
    EXPECT_EQ(1, m_pForm->m_nCloses);
    EXPECT_TRUE(IsWindow(m_pFrame->m_hWnd));
    m_pForm->DestroyWindow();
    bool gone = false;
    TestApp().m_pMainWnd = nullptr;
    const HWND frame = m_pFrame->m_hWnd;
    m_pFrame->SendMessage(WM_CLOSE);
    gone = !IsWindow(frame);
    m_pFrame = nullptr;
    EXPECT_TRUE(gone);
    EXPECT_EQ(nullptr, g_pStatusBar);
    EXPECT_EQ(nullptr, g_pTipWnd);
}

TEST_F(MainFrameTest, DisabledCommandThroughTheAcceleratorDoesNotRun)
{
    // "MainAccelTable": Ctrl+O and Ctrl+S, nothing else.
    const HACCEL table = LoadAcceleratorsA(GetModuleHandleA(nullptr), "MainAccelTable");
    ASSERT_NE(nullptr, table);
    ACCEL entries[8] = {};
    ASSERT_EQ(2, CopyAcceleratorTableA(table, entries, 8));
    EXPECT_EQ('O', entries[0].key);
    EXPECT_EQ(5190, entries[0].cmd);
    EXPECT_EQ('S', entries[1].key);
    EXPECT_EQ(5192, entries[1].cmd);
    for (const ACCEL& entry : {entries[0], entries[1]})
        EXPECT_EQ(FVIRTKEY | FCONTROL, entry.fVirt & ~0x80);

    OpenFrame();
    ASSERT_NE(nullptr, m_pFrame->m_hAccelTable);
    // What the accelerator sends: the command with code 1 and no control.
    m_pForm->m_bOpenEnabled = false;
    m_pFrame->SendMessage(WM_COMMAND, MAKEWPARAM(5190, 1), 0);
    EXPECT_EQ(0, m_pForm->m_nOpens);
    m_pForm->m_bOpenEnabled = true;
    m_pFrame->SendMessage(WM_COMMAND, MAKEWPARAM(5190, 1), 0);
    EXPECT_EQ(1, m_pForm->m_nOpens);
}

TEST_F(MainFrameTest, StatusPanesTakeTheirWidthsFromTheCatalog)
{
    OpenFrame();
    CBrelvaneStatusBar& bar = *g_pStatusBar;
    ASSERT_EQ(17, bar.GetCount());
    EXPECT_EQ(AFX_IDW_STATUS_BAR, (UINT)bar.GetDlgCtrlID());
    UINT id, style;
    int width;
    bar.GetPaneInfo(0, id, style, width);
    EXPECT_EQ(3000u, id);
    EXPECT_EQ(SBPS_DISABLED | SBPS_NOBORDERS, style);
    EXPECT_EQ(0, width);
    for (UINT value : {3264u, 3266u, 3268u, 3270u, 3272u, 3274u, 3249u}) {
        const int index = bar.CommandToIndex(value);
        bar.GetPaneInfo(index, id, style, width);
        EXPECT_EQ(bar.TextWidth(CMsgString((int)value)), width) << value;
        EXPECT_GT(width, bar.TextWidth("0.00 D")) << value << " is narrower than its values";
    }
    EXPECT_EQ(SBPS_STRETCH, bar.GetPaneStyle(16));
    EXPECT_EQ(SBPS_NOBORDERS, bar.GetPaneStyle(bar.CommandToIndex(3263)));

    // A pane id without a catalog text stops the set-up: the later panes stay empty and 0 wide.
    ASSERT_TRUE(CMsgString(3004).IsEmpty());
    const UINT ids[] = {3214, 3004, 3215};
    EXPECT_FALSE(bar.SetIndicatorsEx(ids, 3));
    ASSERT_EQ(3, bar.GetCount());
    bar.GetPaneInfo(0, id, style, width);
    EXPECT_EQ(3214u, id);
    EXPECT_GT(width, 0);
    bar.GetPaneInfo(2, id, style, width);
    EXPECT_EQ(0u, id);
    EXPECT_EQ(0, width);
}

// A settings record of a known geometry: 1/100 mm, 300 ppi, grey.
CScanSettings MakeSettings(int32_t unit, int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t scale)
{
    CScanSettings settings;
    settings.SetParamAllTypes(kParamImageType, 2);
    settings.SetParamAllTypes(kParamLengthUnit, unit);
    settings.SetParamAllTypes(kParamResolution, 254);
    settings.SetParamAllTypes(kParamScale, scale);
    settings.SetParamAllTypes(kParamSelLeft, left);
    settings.SetParamAllTypes(kParamSelTop, top);
    settings.SetParamAllTypes(kParamSelRight, right);
    settings.SetParamAllTypes(kParamSelBottom, bottom);
    return settings;
}

TEST(SettingsSummary, LinesFollowTheSettings)
{
    const std::string mm = Text(3145);
    const std::string pixels = Text(3144);
    const struct {
        const char* name;
        int32_t unit, left, top, right, bottom, scale, mirror, rotation;
        std::string first, second;
    } cases[] = {
        {"millimetres", 0, 1000, 500, 11000, 5500, 100, 0, 0, "Selection: X 10.0, Y 5.0, W 100.0 x 50.0 " + mm,
            "Output: Size:100.0 x 50.0 " + mm},
        {"the scale sizes the output", 0, 0, 0, 10000, 5000, 200, 0, 0, "Selection: X 0.0, Y 0.0, W 100.0 x 50.0 " + mm,
            "Output: Size:200.0 x 100.0 " + mm},
        // 0.05 mm reads 0.1 mm; the 0.02 mm of the selection itself would read 0.0.
        {"narrower than 5 counts as 5", 0, 1000, 1000, 1002, 1000, 100, 0, 0,
            "Selection: X 10.0, Y 10.0, W 0.1 x 0.1 " + mm, "Output: Size:0.1 x 0.1 " + mm},
        {"pixels ignore the scale", 4, 0, 0, 10000, 5000, 300, 0, 0, "Selection: X 0, Y 0, W 1000 x 500 " + pixels,
            "Output: Size:1000 x 500 " + pixels},
        {"mirror both ways and rotation", 0, 0, 0, 10000, 5000, 100, 3, 90,
            "Selection: X 0.0, Y 0.0, W 100.0 x 50.0 " + mm,
            "Output: Size:100.0 x 50.0 " + mm + ", Mirror horizontal and vertical, Rotation 90 \xB0"},
        {"mirror one way", 0, 0, 0, 10000, 5000, 100, 2, 0, "Selection: X 0.0, Y 0.0, W 100.0 x 50.0 " + mm,
            "Output: Size:100.0 x 50.0 " + mm + ", Mirror vertical"},
    };
    for (const auto& c : cases) {
        CScanSettings settings = MakeSettings(c.unit, c.left, c.top, c.right, c.bottom, c.scale);
        settings.SetParamAllTypes(kParamMirror, c.mirror);
        settings.SetParamAllTypes(kParamRotation, c.rotation);
        const CSettingsSummary summary = SettingsSummaryLines(settings, false);
        EXPECT_EQ(c.first, summary.szFirst) << c.name;
        EXPECT_EQ(c.second, summary.szSecond) << c.name;
    }
    // Tarvoset mode: the memory a scan needs closes the second line.
    const CScanSettings settings = MakeSettings(0, 0, 0, 10000, 5000, 100);
    char memory[kFormatValueSize] = {};
    settings.FormatValue(memory, (int32_t)settings.ImageBytes(), 13, 254);
    EXPECT_EQ("Output: Size:100.0 x 50.0 " + mm + ", Memory: " + memory, SettingsSummaryLines(settings, true).szSecond);
}

TEST(SettingsSummary, OverlongCatalogTextsAreCutNotOverrun)
{
    // A catalog whose selection label alone is longer than a line.
    const std::string folder = testsupport::ProgramDirectory();
    std::ifstream in(folder + "ENG.MSG");
    std::stringstream catalog;
    std::string line;
    const std::string longText(400, 'L');
    while (std::getline(in, line))
        catalog << (line.rfind("3064 ", 0) == 0 ? "3064 \"" + longText + "\"" : line) << "\n";
    const std::string path = folder + "LONGSUM.MSG";
    std::ofstream(path) << catalog.str();
    CMessageCatalog* saved = g_pMessageCatalog;
    g_pMessageCatalog = new CMessageCatalog(path.c_str());
    const CSettingsSummary summary = SettingsSummaryLines(MakeSettings(0, 0, 0, 10000, 5000, 100), false);
    delete g_pMessageCatalog;
    g_pMessageCatalog = saved;
    DeleteFileA(path.c_str());
    EXPECT_EQ(std::string(255, 'L'), summary.szFirst);
    EXPECT_EQ(0, summary.szSecond[255]);
}

TEST_F(MainFrameTest, SummaryAndReadoutWriteTheFormAndThePanes)
{
    OpenFrame();
    CScanSettings settings = MakeSettings(0, 1000, 500, 11000, 5500, 100);
    CScanSettings* savedSettings = g_pScanSettings;
    g_pScanSettings = &settings;
    CBrelvaneStatusBar& bar = *g_pStatusBar;
    auto pane = [&](UINT id) { return std::string((const char*)bar.GetPaneText(bar.CommandToIndex(id))); };

    // The quality title is written on a change only, or after the option refresh's reset.
    settings.SetParamAllTypes(kParamQuality, 1);
    ResetQualityTitle();
    ShowSettingsSummary(&settings);
    EXPECT_EQ("Selection: X 10.0, Y 5.0, W 100.0 x 50.0 " + Text(3145), ItemText(m_pForm, IDC_FORM_SUMMARY_1));
    EXPECT_EQ(Text(3012) + " - " + Text(3196), ItemText(m_pForm, IDC_FORM_IMAGE_INFO));
    char memory[kFormatValueSize] = {};
    settings.FormatValue(memory, (int32_t)settings.ImageBytes(), 13, 254);
    EXPECT_EQ(memory, pane(3249));
    m_pForm->SetDlgItemText(IDC_FORM_IMAGE_INFO, "kept");
    ShowSettingsSummary(&settings);
    EXPECT_EQ("kept", ItemText(m_pForm, IDC_FORM_IMAGE_INFO));
    settings.SetParamAllTypes(kParamQuality, 7);
    ShowSettingsSummary(&settings);
    EXPECT_EQ(Text(3012) + " - ", ItemText(m_pForm, IDC_FORM_IMAGE_INFO));
    m_pForm->SetDlgItemText(IDC_FORM_IMAGE_INFO, "kept");
    ResetQualityTitle();
    ShowSettingsSummary(&settings);
    EXPECT_EQ(Text(3012) + " - ", ItemText(m_pForm, IDC_FORM_IMAGE_INFO));

    // The readout: levels in the chosen unit; line art reads 0 up to a green of 128.
    const struct {
        const char* name;
        int32_t type, unit, corrected;
        uint32_t raw, correctedColour;
        std::string raw1, raw2, corrected1, label1, label2;
    } readouts[] = {
        {"line art 128", 0, 3, 1, 0x008000, 0x008100, "0", "", "1", Text(3202), ""},
        {"line art 129", 0, 3, 0, 0x008100, 0x008100, "1", "", "", Text(3202), ""},
        {"grey levels", 2, 3, 1, 0x204060, 0x00FF00, "64 ", "", "255 ", Text(3202), ""},
        {"grey per cent", 2, 2, 1, 0x00FF00, 0x000000, "100 %", "", "0 %", Text(3202), ""},
        {"colour levels", 3, 3, 1, 0x030201, 0x060504, "1 ", "2 ", "4 ", Text(3199), Text(3200)},
        {"corrected group off", 3, 3, 0, 0x030201, 0x060504, "1 ", "2 ", "", Text(3199), Text(3200)},
        {"unknown unit", 3, 9, 1, 0x030201, 0x060504, "", "", "", Text(3199), Text(3200)},
    };
    for (const auto& r : readouts) {
        settings.SetParamAllTypes(kParamImageType, r.type);
        settings.SetParamAllTypes(kParamValueDisplay, r.unit);
        settings.SetParamAllTypes(kParamPreviewFlag, r.corrected);
        ResetColorReadout();
        ShowColorReadout(r.raw, r.correctedColour);
        EXPECT_EQ(r.raw1, pane(3264)) << r.name;
        EXPECT_EQ(r.raw2, pane(3266)) << r.name;
        EXPECT_EQ(r.corrected1, pane(3270)) << r.name;
        EXPECT_EQ(r.label1, pane(3263)) << r.name;
        EXPECT_EQ(r.label1, pane(3269)) << r.name;
        EXPECT_EQ(r.label2, pane(3265)) << r.name;
    }
    // The same colours again change nothing.
    bar.SetPaneText(bar.CommandToIndex(3264), "marker");
    ShowColorReadout(0x030201, 0x060504);
    EXPECT_EQ("marker", pane(3264));

    // The form's status line.
    SetFormStatusMessage(3064);
    EXPECT_EQ(Text(3064), ItemText(m_pForm, IDC_FORM_STATUS));
    g_pScanSettings = savedSettings;
}

TEST_F(MainFrameTest, ABatchStartsHiddenFrameHasNoBarsNoFormAndKeepsNoPlacement)
{
    // Before the frame exists, then with a batch start's hidden frame: the writers find nothing to
    // write to and must not fault.
    ASSERT_EQ(nullptr, g_pStatusBar);
    CScanSettings settings = MakeSettings(0, 0, 0, 10000, 5000, 100);
    ShowSettingsSummary(&settings);
    ShowColorReadout(1, 2);
    SetFormStatusText("nowhere");
    SetIni("Zoomed", "1");
    g_bInteractive = 0;
    OpenFrame(false);
    EXPECT_EQ(nullptr, g_pStatusBar);
    EXPECT_EQ(nullptr, g_pTipWnd);
    EXPECT_EQ(nullptr, MainForm());
    EXPECT_EQ(nullptr, ::GetWindow(m_pFrame->m_hWnd, GW_CHILD));
    ShowSettingsSummary(&settings);
    ShowColorReadout(1, 2);
    SetFormStatusText("hidden");
    // A maximised last session must not show the frame once a long scan has run past the timer.
    Pump(2300);
    EXPECT_FALSE(m_pFrame->IsWindowVisible());
    // The hidden window's size is not the user's: the next interactive start opens where it was.
    m_pFrame->MoveWindow(10, 20, 700, 500, TRUE);
    for (const char* key : {"WindowX", "WindowY", "WindowW", "WindowH"})
        EXPECT_EQ("", Ini(key)) << key;
    EXPECT_EQ("1", Ini("Zoomed"));
}

TEST(TipPlacement, OpensAwayFromTheMainWindowEdges)
{
    const CRect main(0, 0, 800, 600);
    const CSize text(100, 30);
    const struct {
        const char* name;
        CPoint cursor, expected;
    } cases[] = {
        {"room everywhere", CPoint(100, 100), CPoint(100, 120)},
        {"near the right edge", CPoint(700, 100), CPoint(590, 120)},
        {"near the bottom", CPoint(100, 560), CPoint(100, 500)},
        {"near both", CPoint(700, 560), CPoint(590, 500)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, CTipWnd::TipPosition(c.cursor, text, main)) << c.name;
}

TEST_F(MainFrameTest, ToolBarTipsFollowTheMouse)
{
    OpenFrame();
    m_pFrame->ShowWindow(SW_SHOW);
    Pump(100);
    CTipToolBar& bar = m_pFrame->m_wndToolBar;
    ASSERT_EQ(23, bar.GetCount());
    auto hover = [&](int index) {
        CRect item;
        bar.GetItemRect(index, &item);
        CPoint point = item.CenterPoint();
        CPoint screen = point;
        bar.ClientToScreen(&screen);
        SetCursorPos(screen.x, screen.y);
        bar.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(point.x, point.y));
    };
    hover(4);  // Scan
    EXPECT_EQ(3664, g_pTipWnd->GetCurrentId());
    EXPECT_EQ(1000, g_pTipWnd->GetDelay());
    Pump(600);
    EXPECT_FALSE(g_pTipWnd->IsWindowVisible()) << "shown before its delay";
    Pump(700);
    ASSERT_TRUE(g_pTipWnd->IsWindowVisible());
    EXPECT_EQ(Text(3665), (const char*)g_pTipWnd->GetTipText());
    EXPECT_EQ(300, g_pTipWnd->GetDelay());
    testsupport::TakeScreenshot("main-tip");

    hover(5);  // the next button: 300 ms
    EXPECT_FALSE(g_pTipWnd->IsWindowVisible());
    Pump(500);
    EXPECT_TRUE(g_pTipWnd->IsWindowVisible());
    EXPECT_EQ(Text(3715), (const char*)g_pTipWnd->GetTipText());

    // A scan starts: the shown tip goes at the next tick, and no new one is tracked.
    g_nViewState = 2;
    Pump(400);
    EXPECT_FALSE(g_pTipWnd->IsWindowVisible());
    EXPECT_EQ(1000, g_pTipWnd->GetDelay());
    hover(6);
    EXPECT_EQ(0, g_pTipWnd->GetCurrentId());
    g_nViewState = 4;  // batch list mode tracks again
    hover(6);
    EXPECT_EQ(3716, g_pTipWnd->GetCurrentId());

    // A press hides the tip at once; ButtonTips off tracks nothing.
    CRect pressed;
    bar.GetItemRect(6, &pressed);
    bar.SendMessage(WM_LBUTTONDOWN, 0, MAKELPARAM(pressed.CenterPoint().x, pressed.CenterPoint().y));
    bar.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(-5, -5));  // released outside: no command
    EXPECT_EQ(0, g_pTipWnd->GetCurrentId());
    g_bButtonTips = 0;
    hover(7);
    EXPECT_EQ(0, g_pTipWnd->GetCurrentId());
    g_bButtonTips = 1;

    // A separator is no button: nothing is tracked over it.
    static const UINT kIds[] = {3664, 0, 3714};
    CTipToolBar separated;
    separated.CreateTipToolBar(m_pFrame, "ToolIcons", kIds, 3, 0xE810);
    CRect gap;
    separated.GetItemRect(1, &gap);
    g_pTipWnd->HideTip(gap, 0, nullptr);
    separated.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(gap.CenterPoint().x, gap.CenterPoint().y));
    EXPECT_EQ(0, g_pTipWnd->GetCurrentId());
    separated.DestroyWindow();
}

TEST_F(MainFrameTest, DialogControlsGetHooksThatLeaveWithoutTakingTheControls)
{
    OpenFrame();
    CTipControlTable table;
    table.SubclassChildren(m_pForm);
    const int hooks = table.HookCount();
    EXPECT_GT(hooks, 10);
    const HWND scan = ::GetDlgItem(m_pForm->m_hWnd, IDC_FORM_SCAN);
    ASSERT_NE(nullptr, CWnd::FromHandlePermanent(scan));
    // Hovering a hooked button tracks it; its id + 1 is no control of the form.
    ASSERT_EQ(nullptr, ::GetDlgItem(m_pForm->m_hWnd, IDC_FORM_SCAN + 1));
    ::SendMessageA(scan, WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
    EXPECT_EQ(IDC_FORM_SCAN, g_pTipWnd->GetCurrentId());
    // The id after the second summary line (5028) is the first line (5029): that label would be its
    // tip, so it shows none.
    const HWND summary = ::GetDlgItem(m_pForm->m_hWnd, IDC_FORM_SUMMARY_2);
    ASSERT_NE(nullptr, ::GetDlgItem(m_pForm->m_hWnd, IDC_FORM_SUMMARY_2 + 1));
    ASSERT_NE(nullptr, CWnd::FromHandlePermanent(summary));
    ::SendMessageA(summary, WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
    EXPECT_EQ(IDC_FORM_SCAN, g_pTipWnd->GetCurrentId());

    table.ReleaseHooks();
    EXPECT_EQ(0, table.HookCount());
    EXPECT_TRUE(IsWindow(scan));
    EXPECT_EQ(nullptr, CWnd::FromHandlePermanent(scan));
    ::SendMessageA(scan, WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));  // no hook left to call

    // Neither with ButtonTips off nor in the Tarvoset mode.
    for (int32_t* flag : {&g_bButtonTips, &g_bSimplifiedMode}) {
        const int32_t saved = *flag;
        *flag = saved ? 0 : 1;
        table.SubclassChildren(m_pForm);
        EXPECT_EQ(0, table.HookCount());
        *flag = saved;
    }
}

TEST(TransparentBitmap, BackgroundShowsWhereTheTransparentColourIs)
{
    const HDC screen = GetDC(nullptr);
    CTransparentBitmap bitmap;
    ASSERT_TRUE(bitmap.Attach(CreateCompatibleBitmap(screen, 4, 1)));
    const HDC source = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(source, bitmap.m_hObject);
    const COLORREF pixels[4] = {RGB(255, 0, 255), RGB(200, 0, 0), RGB(255, 0, 255), RGB(0, 120, 0)};
    for (int x = 0; x < 4; ++x)
        SetPixel(source, x, 0, pixels[x]);
    SelectObject(source, old);
    DeleteDC(source);

    CDC target;
    target.Attach(CreateCompatibleDC(screen));
    const HBITMAP canvas = CreateCompatibleBitmap(screen, 6, 1);
    old = SelectObject(target.m_hDC, canvas);
    for (int x = 0; x < 6; ++x)
        SetPixel(target.m_hDC, x, 0, RGB(0, 0, 200));
    SetBkColor(target.m_hDC, RGB(1, 2, 3));
    SetTextColor(target.m_hDC, RGB(4, 5, 6));
    bitmap.DrawTransparentBitmap(&target, 1, 0, 4, 1, 0, 0);
    const COLORREF expected[6] = {
        RGB(0, 0, 200), RGB(0, 0, 200), RGB(200, 0, 0), RGB(0, 0, 200), RGB(0, 120, 0), RGB(0, 0, 200)};
    for (int x = 0; x < 6; ++x)
        EXPECT_EQ(expected[x], GetPixel(target.m_hDC, x, 0)) << "pixel " << x;
    // The destination's colours are its own again.
    EXPECT_EQ(RGB(1, 2, 3), GetBkColor(target.m_hDC));
    EXPECT_EQ(RGB(4, 5, 6), GetTextColor(target.m_hDC));
    SelectObject(target.m_hDC, old);
    DeleteObject(canvas);
    ReleaseDC(nullptr, screen);
}

// Counts the pixels of a rectangle of the screen that differ from the colour given.
int PixelsUnlike(const CRect& screenRect, COLORREF colour)
{
    const HDC screen = GetDC(nullptr);
    int count = 0;
    for (int y = screenRect.top; y < screenRect.bottom; ++y)
        for (int x = screenRect.left; x < screenRect.right; ++x)
            count += GetPixel(screen, x, y) != colour ? 1 : 0;
    ReleaseDC(nullptr, screen);
    return count;
}

TEST_F(MainFrameTest, PicturesOfTheMainWindow)
{
    OpenFrame();
    m_pFrame->ShowWindow(SW_SHOW);
    m_pFrame->UpdateWindow();
    CScanSettings settings = MakeSettings(0, 1000, 500, 11000, 5500, 100);
    CScanSettings* savedSettings = g_pScanSettings;
    g_pScanSettings = &settings;
    ResetColorReadout();
    ShowColorReadout(0x336699, 0x336699);
    ShowSettingsSummary(&settings);
    Pump(300);
    EXPECT_FALSE(testsupport::TakeScreenshot("main").empty());

    // Every tool bar cell holds a picture, not just the button face and its frame.
    CTipToolBar& bar = m_pFrame->m_wndToolBar;
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    for (int i = 0; i < bar.GetCount(); ++i) {
        CRect cell;
        bar.GetItemRect(i, &cell);
        cell.DeflateRect(4, 4);
        bar.ClientToScreen(&cell);
        EXPECT_GT(PixelsUnlike(cell, face), 8) << "tool bar cell " << i;
    }
    // The panes show their texts.
    for (UINT id : {3214u, 3263u, 3264u, 3261u, 3249u}) {
        CRect rect;
        g_pStatusBar->GetItemRect(g_pStatusBar->CommandToIndex(id), &rect);
        rect.DeflateRect(2, 2);
        g_pStatusBar->ClientToScreen(&rect);
        EXPECT_GT(PixelsUnlike(rect, face), 5) << "pane " << id;
    }
    g_pScanSettings = savedSettings;
    CloseFrame();

    // Tarvoset mode: neither bar, the form fills the client area.
    g_bSimplifiedMode = 1;
    OpenFrame();
    m_pFrame->ShowWindow(SW_SHOW);
    Pump(300);
    EXPECT_FALSE(testsupport::TakeScreenshot("main-tarvoset").empty());
    EXPECT_FALSE(m_pFrame->m_wndToolBar.IsWindowVisible());
    EXPECT_FALSE(g_pStatusBar->IsWindowVisible());
    CRect client;
    m_pFrame->GetClientRect(&client);
    EXPECT_EQ(client, m_pFrame->m_rcFree);
}

}  // namespace
