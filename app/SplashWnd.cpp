#include "app/SplashWnd.h"

#include "core/messages/BoundedFormat.h"
#include "core/messages/MsgString.h"
#include "core/settings/SettingsFile.h"
#include "framework/App.h"

#include <cstdarg>

namespace {

constexpr int kMsgSplashTitle = 3275;
// The band of the bitmap the status line is drawn in, and the pixel that tells its brightness.
constexpr int kBandTop = 191;
constexpr int kBandBottom = 205;
constexpr int kBaseline = 200;
constexpr int kProbeX = 22;
constexpr int kProbeY = 189;

}  // namespace

BEGIN_MESSAGE_MAP(CSplashWnd, CWnd)
    ON_WM_PAINT()
END_MESSAGE_MAP()

CSplashWnd::~CSplashWnd()
{
    if (m_MemoryDC.m_hDC) {
        if (m_hPreviousBitmap)
            ::SelectObject(m_MemoryDC.m_hDC, m_hPreviousBitmap);
        m_MemoryDC.DeleteDC();
    }
}

BOOL CSplashWnd::CreateSplashWindow()
{
    m_Bitmap.LoadBitmap(g_bSimplifiedMode ? "tarvoset" : "brelvane");
    if (m_Bitmap.m_hObject)
        m_Bitmap.GetBitmap(&m_BitmapInfo);
    const CMsgString title(kMsgSplashTitle);
    CWnd* main = AfxGetMainWnd();
    const HWND owner = main ? main->m_hWnd : ::GetDesktopWindow();
    const LPCSTR className = AfxRegisterWndClass(CS_SAVEBITS, nullptr, nullptr, nullptr);
    const BOOL created = CreateEx(0, className, title, WS_POPUP | WS_VISIBLE, 0, 0, m_BitmapInfo.bmWidth,
                                  m_BitmapInfo.bmHeight, owner, nullptr);
    if (!created)
        return FALSE;
    RECT over;
    if (main && main->m_hWnd)
        main->GetWindowRect(&over);
    else
        ::SetRect(&over, 0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN));
    SetWindowPos(nullptr, (over.left + over.right - m_BitmapInfo.bmWidth) / 2,
                 (over.top + over.bottom - m_BitmapInfo.bmHeight) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    m_MemoryDC.CreateCompatibleDC(nullptr);
    if (m_Bitmap.m_hObject)
        m_hPreviousBitmap = ::SelectObject(m_MemoryDC.m_hDC, m_Bitmap.m_hObject);
    return created;
}

void CSplashWnd::OnPaint()
{
    CPaintDC dc(this);
    dc.BitBlt(0, 0, m_BitmapInfo.bmWidth, m_BitmapInfo.bmHeight, &m_MemoryDC, 0, 0, SRCCOPY);
}

void CSplashWnd::ShowSplashStatus(const char* format, ...)
{
    char text[256];
    va_list args;
    va_start(args, format);
    BoundedFormatV(text, 255, format, args);
    va_end(args);
    RECT client;
    GetClientRect(&client);
    // The bitmap is painted over the band first, so nothing of the previous line shows through.
    const RECT band = {0, kBandTop, client.right, kBandBottom};
    RedrawWindow(&band, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    CClientDC dc(this);
    CFont font;
    font.CreateFont(10, 6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Arial");
    CFont* previous = dc.SelectObject(&font);
    dc.SetBkMode(TRANSPARENT);
    dc.SetTextAlign(TA_CENTER | TA_BASELINE);
    const COLORREF probe = dc.GetPixel(kProbeX, kProbeY);
    const int brightness = (GetRValue(probe) + GetGValue(probe) + GetBValue(probe)) / 3;
    dc.SetTextColor(brightness > 128 ? RGB(0, 0, 0) : RGB(255, 255, 255));
    dc.TextOut(client.right / 2, kBaseline, text, lstrlenA(text));
    dc.SelectObject(previous);
}

void ShowSearchStatusOnSplash(CWnd* splash, const char* text)
{
    static_cast<CSplashWnd*>(splash)->ShowSplashStatus("%s", text);
}
