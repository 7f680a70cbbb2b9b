#include "view/BrelvaneView.h"

#include "app/BrelvaneStatusBar.h"
#include "app/DialogLocalizer.h"
#include "app/FormAccess.h"
#include "app/RecordTexts.h"
#include "app/TipWnd.h"
#include "core/driver/ScanSettingsCreation.h"
#include "core/driver/ScannerDriver.h"
#include "core/messages/MsgString.h"
#include "core/scan/ScanServices.h"
#include "core/scsi/ScsiTransport.h"
#include "core/settings/ScanParams.h"
#include "core/settings/ScanSettings.h"
#include "core/settings/SettingsFile.h"
#include "framework/App.h"
#include "framework/CmdUI.h"
#include "resources/dialogs/MainForm.h"

IMPLEMENT_DYNAMIC(CBrelvaneView, CFormView)

CBrelvaneView* g_pView = nullptr;
CBrush* g_pButtonFaceBrush = nullptr;

namespace {

constexpr UINT kFormId = 1;
constexpr UINT kCmdStop = 3714;
constexpr int kMsgStopping = 3307;
constexpr int kMsgReady = 3287;
const char* const kBarState = "BrelvaneControlBars";

// How LayoutControls moves a control by the change of the form's size.
enum : int {
    kMoveRight = 1,
    kMoveDown = 2,
    kWiden = 4,
    kHeighten = 8,
};

enum class Shown { kAlways, kNormalOnly, kTarvosetOnly };

struct CLayoutRule {
    int nId;
    int nFlags;
    Shown shown;
};

// The zoom placeholders look swapped on purpose: the slider lies over 5026 in normal mode and over
// 5265 in Tarvoset mode, and the placeholder under it stays hidden.
constexpr CLayoutRule kLayout[] = {
    {IDC_FORM_IMAGE_INFO, kMoveDown | kWiden, Shown::kAlways},
    {IDC_FORM_SUMMARY_2, kMoveDown | kWiden, Shown::kAlways},
    {IDC_FORM_SUMMARY_1, kMoveDown | kWiden, Shown::kAlways},
    {IDC_FORM_STATUS, kMoveDown | kWiden, Shown::kAlways},
    {IDC_FORM_SCAN, kMoveDown, Shown::kAlways},
    {IDC_FORM_CLOSE, kMoveDown, Shown::kAlways},
    {IDC_FORM_PREVIEW, kMoveDown, Shown::kAlways},
    {IDC_FORM_ZOOM, kMoveDown, Shown::kNormalOnly},
    {IDC_FORM_INFO, kMoveDown, Shown::kNormalOnly},
    {IDC_FORM_OPTIONS, kMoveDown, Shown::kTarvosetOnly},
    {IDC_FORM_PREVIEW_GROUP, kWiden | kHeighten, Shown::kAlways},
    {IDC_FORM_ZOOM_PLACE, kWiden | kHeighten, Shown::kTarvosetOnly},
    {IDC_FORM_TARVOSET_ZOOM_PLACE, kWiden | kHeighten, Shown::kNormalOnly},
    {IDC_FORM_LOWER_LEFT_GROUP, kHeighten, Shown::kAlways},
};

BOOL IsShown(Shown shown)
{
    switch (shown) {
    case Shown::kNormalOnly:
        return !g_bSimplifiedMode;
    case Shown::kTarvosetOnly:
        return g_bSimplifiedMode != 0;
    default:
        return TRUE;
    }
}

BOOL IsAltKey(const MSG* msg)
{
    if (msg->message != WM_KEYDOWN && msg->message != WM_KEYUP && msg->message != WM_SYSKEYDOWN &&
        msg->message != WM_SYSKEYUP)
        return FALSE;
    const WPARAM key = msg->wParam;
    return key == VK_LMENU || key == VK_RMENU || key == VK_MENU || (msg->lParam & (1 << 29)) != 0;
}

int ProfileInt(const char* section, const char* key, int fallback)
{
    return (int)AfxGetApp()->GetProfileInt(section, key, fallback);
}

}  // namespace

BEGIN_MESSAGE_MAP(CBrelvaneView, CFormView)
ON_WM_CREATE()
ON_WINDOW_MESSAGE(WM_SHOWWINDOW, self->OnShowWindow((BOOL)wParam, (UINT)lParam))
ON_COMMAND_EX(IDC_FORM_CLOSE, OnCloseCommand)
ON_COMMAND_EX(kCmdStop, OnCloseCommand)
END_MESSAGE_MAP()

CBrelvaneView::CBrelvaneView(CWnd* parent, const RECT& area, UINT templateId) : CFormView(templateId)
{
    m_Logo.LoadBitmap("TRVS_MAN");
    m_PinIcon.LoadBitmap("PIN_OUT");
    m_ButtonFaceBrush.CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
    g_pButtonFaceBrush = &m_ButtonFaceBrush;
    g_pView = this;
    g_nViewState = kViewIdle;
    if (!Create(nullptr, nullptr, WS_VISIBLE, area, parent, kFormId))
        return;
    m_bOwnsRecords = TRUE;
    // Active from the start, so that the status writers, which find the form as the frame's active
    // view, reach it while the options are applied.
    if (CFrameWnd* frame = GetParentFrame())
        frame->SetActiveView(this, FALSE);
    // The template's size as the dialog manager made it: the first layout moves the controls by
    // the frame's change from there.
    m_nPreviousWidth = m_CreationClientRect.Width();
    m_nPreviousHeight = m_CreationClientRect.Height();
    SetWindowPos(nullptr, 0, 0, m_nPreviousWidth, m_nPreviousHeight, SWP_NOZORDER | SWP_NOACTIVATE);
    ApplyViewOptions();
}

CBrelvaneView::~CBrelvaneView()
{
    // A view whose window was never made took nothing: the exit frees the driver and the record.
    if (m_bOwnsRecords) {
        delete g_pScannerDriver;
        g_pScannerDriver = nullptr;
        if (g_pScanSettings)
            DeleteScanSettings();
    }
    if (g_pButtonFaceBrush == &m_ButtonFaceBrush)
        g_pButtonFaceBrush = nullptr;
    if (g_pView == this) {
        g_pView = nullptr;
        g_nViewState = kViewIdle;
    }
}

int CBrelvaneView::OnCreate(LPCREATESTRUCT)
{
    if (Default() == -1)
        return -1;
    GetClientRect(&m_CreationClientRect);
    return 0;
}

void CBrelvaneView::OnShowWindow(BOOL show, UINT)
{
    Default();
    if (show)
        RefreshStatus();
}

BOOL CBrelvaneView::PreTranslateMessage(MSG* msg)
{
    // The menu must not open while the device works: handlers that run then refuse most work.
    if (IsAltKey(msg) && !IsReady())
        return TRUE;
    return CFormView::PreTranslateMessage(msg);
}

void CBrelvaneView::OnDraw(CDC*) { RefreshStatus(); }

void CBrelvaneView::RefreshStatus()
{
    if (!m_hWnd)
        return;
    if (CFrameWnd* frame = GetParentFrame())
        UpdateDialogControls(frame, FALSE);
    CWnd* main = AfxGetMainWnd();
    if (main && main->m_hWnd) {
        main->UpdateWindow();
        if (HWND toolBar = ::GetDlgItem(main->m_hWnd, AFX_IDW_TOOLBAR)) {
            ::SendMessageA(toolBar, WM_IDLEUPDATECMDUI, 0, 0);
            ::UpdateWindow(toolBar);
        }
    }
    if (g_bSimplifiedMode || !::GetDlgItem(m_hWnd, IDC_FORM_HOLDER))
        return;
    // Only a change is drawn again: painting calls this too, and an invalidation on every paint
    // would ask for the next paint for ever.
    const int16_t mode = m_nViewState != kViewIdle ? 4 : 1;
    if (mode == m_nHolderFrameMode)
        return;
    m_nHolderFrameMode = mode;
    InvalidateHolderFrame(TRUE);
}

void CBrelvaneView::RefreshControls()
{
    RefreshStatus();
    InvalidateHolderFrame(FALSE);
    ResetColorReadout();
    ShowColorReadout(0, 0);
}

void CBrelvaneView::InvalidateHolderFrame(BOOL erase)
{
    HWND holder = ::GetDlgItem(m_hWnd, IDC_FORM_HOLDER);
    if (!holder)
        return;
    CRect place;
    ::GetWindowRect(holder, &place);
    ScreenToClient(&place);
    InvalidateRect(&place, erase);
}

void CBrelvaneView::SetViewState(int32_t state)
{
    m_nViewState = state;
    g_nViewState = state;
    RefreshStatus();
}

BOOL CBrelvaneView::PumpViewMessages()
{
    CWinApp* app = AfxGetApp();
    app->OnIdle(0);
    if (!InSendMessage()) {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (app->PreTranslateMessage(&msg))
                continue;
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
    }
    return m_nViewState == kViewClosing;
}

int CBrelvaneView::ScanProgressCallback(int32_t) { return g_pView ? g_pView->PumpViewMessages() : 0; }

void CBrelvaneView::MoveControl(int id, int flags, BOOL shown, int dx, int dy)
{
    HWND control = ::GetDlgItem(m_hWnd, id);
    if (!control)
        return;
    CRect place;
    ::GetWindowRect(control, &place);
    ScreenToClient(&place);
    if (flags & kMoveRight)
        place.OffsetRect(dx, 0);
    if (flags & kMoveDown)
        place.OffsetRect(0, dy);
    if (flags & kWiden)
        place.right += dx;
    if (flags & kHeighten)
        place.bottom += dy;
    ::SetWindowPos(control, nullptr, place.left, place.top, place.Width(), place.Height(),
        SWP_NOZORDER | SWP_NOACTIVATE | (shown ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
}

void CBrelvaneView::LayoutControls(int width, int height)
{
    // An empty area (a minimised frame) would squeeze the controls to nothing, losing their sizes.
    if (width <= 0 || height <= 0)
        return;
    if (m_nPreviousWidth == 0)
        m_nPreviousWidth = width;
    if (m_nPreviousHeight == 0)
        m_nPreviousHeight = height;
    const int dx = width - m_nPreviousWidth;
    const int dy = height - m_nPreviousHeight;
    for (const CLayoutRule& rule : kLayout)
        MoveControl(rule.nId, rule.nFlags, IsShown(rule.shown), dx, dy);
    // The logo's place is laid out only where the logo is shown.
    if (g_bSimplifiedMode)
        MoveControl(IDC_FORM_LOGO_SIZE, kMoveDown, TRUE, dx, dy);
    m_nGrowthX += dx;
    m_nGrowthY += dy;
    m_nPreviousWidth = width;
    m_nPreviousHeight = height;
}

void CBrelvaneView::ApplyViewOptions()
{
    m_nTarvosetColor = m_nTarvosetMedium = m_nTarvosetOutput = 0;
    m_bAutoDetect = 0;
    m_bFreezeSettings = 0;
    if (g_bSimplifiedMode) {
        m_bAutoDetectBox = m_bFreezeBox = m_bToolbar = m_bZoomSlider = 0;
        m_nTarvosetMedium = ProfileInt("Selections", "Medium", 0);
        m_nTarvosetColor = ProfileInt("Selections", "Color", 0);
        m_nTarvosetOutput = ProfileInt("Selections", "Output", 0);
        m_bAutoDetect = ProfileInt("Selections", "Detect", 0);
    } else {
        m_bFreezeBox = ProfileInt("General", "FreezeBox", 1);
        m_bAutoDetectBox = ProfileInt("General", "AutoDetectBox", 0);
        m_bToolbar = ProfileInt("General", "Toolbar", 1);
        m_bZoomSlider = ProfileInt("General", "ZoomSlider", 1);
    }
    g_bComboBoxTips = ProfileInt("General", "ComboBoxTips", 0) != 0;
    g_bButtonTips = ProfileInt("General", "ButtonTips", 1) != 0;
    if (g_pDialogLocalizer)
        g_pDialogLocalizer->Localize(this, nullptr, TRUE);
    if (g_pStatusBar && g_pDialogLocalizer)
        g_pStatusBar->SetupStatusPanes(g_pDialogLocalizer->DialogFont());
    RefreshControls();
    ResetQualityTitle();
    ShowSettingsSummary(g_pScanSettings);
    SetFormStatusMessage(kMsgReady);
}

void CBrelvaneView::EnableRangeCombo(BOOL enable)
{
    m_bRangeComboDisabled = !enable;
    if (HWND range = ::GetDlgItem(m_hWnd, IDC_FORM_RANGE))
        ::EnableWindow(range, enable);
}

void CBrelvaneView::SaveTarvosetSelections()
{
    CWinApp* app = AfxGetApp();
    if (g_pScanSettings)
        app->WriteProfileInt("Selections", "Scale", g_pScanSettings->GetParam(kParamScale));
    app->WriteProfileInt("Selections", "Color", m_nTarvosetColor);
    app->WriteProfileInt("Selections", "Medium", m_nTarvosetMedium);
    app->WriteProfileInt("Selections", "Output", m_nTarvosetOutput);
    app->WriteProfileInt("Selections", "Detect", m_bAutoDetect);
}

BOOL CBrelvaneView::OnCloseCommand(UINT)
{
    if (!IsReady()) {
        g_UserAbort = 1;
        SetViewState(kViewClosing);
        ReportScanStatus(kMsgStopping, 0);
        return TRUE;
    }
    if (g_bSimplifiedMode)
        SaveTarvosetSelections();
    if (CFrameWnd* frame = GetParentFrame())
        frame->SaveBarState(kBarState);
    CWnd* main = AfxGetMainWnd();
    if (main && main->m_hWnd)
        main->ShowWindow(SW_HIDE);
    SaveSettings(GetSettingsFileName());
    if (main && main->m_hWnd)
        main->DestroyWindow();
    return TRUE;
}
