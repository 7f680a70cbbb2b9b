#include "app/TipWnd.h"

#include "app/FormAccess.h"
#include "core/devices/DeviceSearch.h"
#include "core/settings/SettingsFile.h"
#include "framework/App.h"

#include <algorithm>
#include <cstdlib>

int32_t g_bButtonTips = 1;
int32_t g_bComboBoxTips = 0;
CTipWnd* g_pTipWnd = nullptr;

namespace {

constexpr UINT_PTR kTipTimer = 1;
constexpr int kFirstDelay = 1000;
constexpr int kNextDelay = 300;
constexpr int kMsgToolBarCaption = 3001;
constexpr int kFirstHookedId = 3001;
constexpr int kLastHookedId = 7999;

bool ViewAllowsTracking() { return g_nViewState == 0 || g_nViewState == 4; }
bool ViewBusy() { return g_nViewState == 1 || g_nViewState == 2; }

}  // namespace

// ---- CTipWnd ----

BEGIN_MESSAGE_MAP(CTipWnd, CWnd)
    ON_WM_TIMER()
    ON_WM_PAINT()
END_MESSAGE_MAP()

CTipWnd::CTipWnd() : m_nCurrentId(0), m_pTracked(nullptr), m_nDelay(kFirstDelay) { }

CTipWnd::~CTipWnd() = default;

void CTipWnd::MakeFont(int size)
{
    m_Font.DeleteObject();
    LOGFONTA logFont = {};
    if (::SystemParametersInfoA(SPI_GETICONTITLELOGFONT, sizeof logFont, &logFont, 0)) {
        if (size != 0)
            logFont.lfHeight = -std::abs(size);
        if (m_Font.CreateFontIndirect(&logFont))
            return;
    }
    m_Font.CreateStockObject(SYSTEM_FONT);
}

BOOL CTipWnd::Create(CWnd* owner, int fontSize)
{
    MakeFont(fontSize);
    const LPCSTR className = AfxRegisterWndClass(CS_SAVEBITS, nullptr, nullptr);
    return CreateEx(0, className, "", WS_POPUP, 0, 0, 1, 1, owner ? owner->m_hWnd : nullptr, nullptr);
}

int CTipWnd::SetTipFont(int size)
{
    MakeFont(size);
    return 1;
}

void CTipWnd::TrackTip(const RECT& rect, int id, CWnd* window)
{
    if (id == m_nCurrentId || !m_hWnd || !ViewAllowsTracking())
        return;
    CRect screen(rect);
    if (window)
        window->ClientToScreen(&screen);
    m_rcTracked = screen;
    m_nCurrentId = id;
    m_pTracked = window;
    ShowWindow(SW_HIDE);
    KillTimer(kTipTimer);
    SetTimer(kTipTimer, (UINT)m_nDelay);
}

void CTipWnd::HideTip(const RECT&, int, CWnd*) { Hide(); }

void CTipWnd::Hide()
{
    m_nCurrentId = 0;
    if (m_hWnd) {
        KillTimer(kTipTimer);
        ShowWindow(SW_HIDE);
    }
    m_nDelay = kFirstDelay;
}

CPoint CTipWnd::TipPosition(CPoint cursor, CSize text, const CRect& mainWindow)
{
    CPoint place(cursor.x, cursor.y + 20);
    if (place.x + text.cx + 30 > mainWindow.right)
        place.x = cursor.x - text.cx - 10;
    if (place.y + text.cy > mainWindow.bottom)
        place.y = cursor.y - text.cy - 30;
    return place;
}

void CTipWnd::OnTimer(UINT_PTR)
{
    CPoint cursor;
    ::GetCursorPos(&cursor);
    if (!m_rcTracked.PtInRect(cursor) || ViewBusy()) {
        Hide();
        return;
    }
    if (IsWindowVisible())
        return;
    // A catalog line without text is no tip.
    m_strTip = CMsgString(m_nCurrentId + 1);
    if (m_strTip.IsEmpty())
        return;
    m_nDelay = kNextDelay;
    m_rcText = CRect(5, 5, 300, 0);
    {
        CClientDC dc(this);
        const HGDIOBJ old = ::SelectObject(dc.m_hDC, m_Font.m_hObject);
        ::DrawTextA(dc.m_hDC, m_strTip, m_strTip.GetLength(), &m_rcText, DT_WORDBREAK | DT_CALCRECT);
        ::SelectObject(dc.m_hDC, old);
    }
    CRect main;
    if (CWnd* mainWnd = AfxGetMainWnd(); mainWnd && mainWnd->m_hWnd)
        mainWnd->GetWindowRect(&main);
    else
        main = CRect(0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN));
    const CSize text(m_rcText.Width(), m_rcText.Height());
    const CPoint place = TipPosition(cursor, text, main);
    SetWindowPos(HWND_TOP, place.x, place.y, text.cx + 10, text.cy + 4, SWP_NOACTIVATE);
    ShowWindow(SW_SHOWNA);
}

void CTipWnd::OnPaint()
{
    CPaintDC dc(this);
    const HDC hdc = dc.m_hDC;
    const bool oldWindows = g_nWindowsClass < 3;
    const HBRUSH brush =
        oldWindows ? ::CreateSolidBrush(RGB(255, 255, 128)) : ::CreateSolidBrush(::GetSysColor(COLOR_INFOBK));
    ::SetTextColor(hdc, oldWindows ? RGB(0, 0, 0) : ::GetSysColor(COLOR_INFOTEXT));
    ::SetBkMode(hdc, TRANSPARENT);
    CRect client;
    GetClientRect(&client);
    const HGDIOBJ oldBrush = ::SelectObject(hdc, brush);
    ::Rectangle(hdc, client.left, client.top, client.right, client.bottom);
    ::SelectObject(hdc, oldBrush);
    ::DeleteObject(brush);
    const HGDIOBJ oldFont = ::SelectObject(hdc, m_Font.m_hObject);
    CRect text(m_rcText);
    text.OffsetRect(0, -4);
    ::DrawTextA(hdc, m_strTip, m_strTip.GetLength(), &text, DT_CENTER | DT_WORDBREAK);
    ::SelectObject(hdc, oldFont);
}

// ---- CTipToolBar ----

BEGIN_MESSAGE_MAP(CTipToolBar, CToolBar)
    ON_WM_MOUSEMOVE()
    ON_WM_LBUTTONDOWN()
END_MESSAGE_MAP()

CTipToolBar::CTipToolBar() : m_nButtonCount(0), m_pButtonIds(nullptr) { }

void CTipToolBar::CreateTipToolBar(CWnd* parent, LPCSTR bitmapName, const UINT* ids, int count, UINT id)
{
    m_nButtonCount = count;
    m_pButtonIds = ids;
    if (!Create(parent,
            WS_CHILD | WS_VISIBLE | CBRS_ALIGN_TOP | CBRS_BORDER_BOTTOM | CBRS_FLYBY | CBRS_TOOLTIPS |
                CBRS_SIZE_DYNAMIC,
            id))
        return;
    if (!LoadBitmap(bitmapName) || !SetButtons(ids, count))
        return;
    SetWindowText(CMsgString(kMsgToolBarCaption));
}

void CTipToolBar::OnMouseMove(UINT flags, CPoint point)
{
    if (g_bButtonTips && g_pTipWnd) {
        const int index = HitTest(point);
        if (index >= 0) {
            CRect item;
            GetItemRect(index, &item);
            g_pTipWnd->TrackTip(item, (int)GetItemID(index), this);
        }
    }
    CToolBar::OnMouseMove(flags, point);
}

void CTipToolBar::OnLButtonDown(UINT flags, CPoint point)
{
    if (g_bButtonTips && g_pTipWnd) {
        const int index = HitTest(point);
        if (index >= 0) {
            CRect item;
            GetItemRect(index, &item);
            g_pTipWnd->HideTip(item, (int)GetItemID(index), this);
        }
    }
    CToolBar::OnLButtonDown(flags, point);
}

// ---- CTipHookWnd, CTipControlTable ----

BEGIN_MESSAGE_MAP(CTipHookWnd, CWnd)
    ON_WM_MOUSEMOVE()
END_MESSAGE_MAP()

void CTipHookWnd::OnMouseMove(UINT flags, CPoint point)
{
    const int id = GetDlgCtrlID();
    // Labels numbered one after the other would show the next label as the tip.
    const HWND parent = ::GetParent(m_hWnd);
    const bool nextIsControl = parent && ::GetDlgItem(parent, id + 1);
    if (g_bButtonTips && g_pTipWnd && !nextIsControl) {
        CRect client;
        GetClientRect(&client);
        g_pTipWnd->TrackTip(client, id, this);
    }
    CWnd::OnMouseMove(flags, point);
}

CTipControlTable::~CTipControlTable() { ReleaseHooks(); }

void CTipControlTable::SubclassChildren(CWnd* parent)
{
    if (!g_bButtonTips || g_bSimplifiedMode || !parent)
        return;
    int count = HookCount();
    for (HWND child = ::GetTopWindow(parent->m_hWnd); child && count < kMaxHooks;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        const int id = ::GetDlgCtrlID(child);
        if (id < kFirstHookedId || id > kLastHookedId || CWnd::FromHandlePermanent(child))
            continue;
        auto* hook = new CTipHookWnd;
        if (!hook->SubclassWindow(child)) {
            delete hook;
            continue;
        }
        m_pHooks[count++] = hook;
    }
    m_pHooks[count] = nullptr;
}

void CTipControlTable::ReleaseHooks()
{
    for (int i = 0; i <= kMaxHooks && m_pHooks[i]; ++i) {
        if (m_pHooks[i]->m_hWnd)
            m_pHooks[i]->UnsubclassWindow();
        delete m_pHooks[i];
        m_pHooks[i] = nullptr;
    }
}

int CTipControlTable::HookCount() const
{
    int count = 0;
    while (count < kMaxHooks && m_pHooks[count])
        ++count;
    return count;
}

// ---- CTransparentBitmap ----

void CTransparentBitmap::DrawTransparentBitmap(CDC* dc, int x, int y, int width, int height, int sourceX, int sourceY)
{
    BITMAP info = {};
    if (!m_hObject || !GetBitmap(&info))
        return;
    const HDC target = dc->m_hDC;
    const HDC source = ::CreateCompatibleDC(target);
    const HDC maskDc = ::CreateCompatibleDC(target);
    const HBITMAP mask = ::CreateBitmap(info.bmWidth, info.bmHeight, 1, 1, nullptr);
    const HGDIOBJ oldSource = ::SelectObject(source, m_hObject);
    const HGDIOBJ oldMask = ::SelectObject(maskDc, mask);
    ::SetBkColor(source, m_crTransparent);
    ::BitBlt(maskDc, 0, 0, info.bmWidth, info.bmHeight, source, 0, 0, SRCCOPY);
    const COLORREF oldBack = ::SetBkColor(target, RGB(255, 255, 255));
    const COLORREF oldText = ::SetTextColor(target, RGB(0, 0, 0));
    ::BitBlt(target, x, y, width, height, source, sourceX, sourceY, SRCINVERT);
    ::BitBlt(target, x, y, width, height, maskDc, sourceX, sourceY, SRCAND);
    ::BitBlt(target, x, y, width, height, source, sourceX, sourceY, SRCINVERT);
    ::SetBkColor(target, oldBack);
    ::SetTextColor(target, oldText);
    ::SelectObject(source, oldSource);
    ::SelectObject(maskDc, oldMask);
    ::DeleteObject(mask);
    ::DeleteDC(maskDc);
    ::DeleteDC(source);
}
