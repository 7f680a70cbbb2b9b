#include "framework/ControlBar.h"

#include "framework/Gdi.h"
#include "framework/Module.h"

#include <algorithm>

IMPLEMENT_DYNAMIC(CControlBar, CWnd)
IMPLEMENT_DYNAMIC(CToolBar, CControlBar)
IMPLEMENT_DYNAMIC(CStatusBar, CControlBar)

namespace {

constexpr int kBorder = 2;  // the width of a bar's border line and of the margin inside it

HFONT BarFont(HFONT font) { return font ? font : static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT)); }

}  // namespace

// ---- CControlBar ----

BEGIN_MESSAGE_MAP(CControlBar, CWnd)
    ON_WM_PAINT()
    ON_MESSAGE(WM_SIZEPARENT, OnSizeParent)
    ON_MESSAGE(WM_IDLEUPDATECMDUI, OnIdleUpdateCmdUI)
    ON_MESSAGE(WM_SETFONT, OnSetFontMessage)
    ON_MESSAGE(WM_GETFONT, OnGetFontMessage)
END_MESSAGE_MAP()

CControlBar::CControlBar() : m_dwStyle(0), m_dwDockStyle(0), m_hFont(nullptr) { }

BOOL CControlBar::CreateBar(DWORD style, CWnd* parent, UINT id)
{
    m_dwStyle = style & (CBRS_ALIGN_ANY | 0x0FF0);
    const LPCSTR className =
        AfxRegisterWndClass(CS_DBLCLKS, ::LoadCursorA(nullptr, (LPCSTR)IDC_ARROW), (HBRUSH)(COLOR_BTNFACE + 1));
    const DWORD windowStyle = (style & (WS_VISIBLE | WS_DISABLED)) | WS_CHILD | WS_CLIPSIBLINGS;
    return CWnd::CreateEx(0, className, nullptr, windowStyle, CRect(0, 0, 0, 0), parent, id);
}

void CControlBar::SetBarStyle(DWORD style)
{
    m_dwStyle = style & (CBRS_ALIGN_ANY | 0x0FF0);
    if (m_hWnd)
        Invalidate();
}

CRect CControlBar::InsideRect() const
{
    CRect rect;
    GetClientRect(&rect);
    if (m_dwStyle & CBRS_BORDER_TOP)
        rect.top += kBorder;
    if (m_dwStyle & CBRS_BORDER_BOTTOM)
        rect.bottom -= kBorder;
    if (m_dwStyle & CBRS_BORDER_LEFT)
        rect.left += kBorder;
    if (m_dwStyle & CBRS_BORDER_RIGHT)
        rect.right -= kBorder;
    return rect;
}

LRESULT CControlBar::OnSizeParent(WPARAM, LPARAM lParam)
{
    auto* layout = reinterpret_cast<AFX_SIZEPARENTPARAMS*>(lParam);
    if (!(GetStyle() & WS_VISIBLE))
        return 0;
    CRect strip(layout->rect);
    const CSize size = CalcFixedLayout(TRUE, IsHorizontal());
    if (m_dwStyle & CBRS_ALIGN_TOP) {
        strip.bottom = std::min(strip.bottom, strip.top + size.cy);
        layout->rect.top = strip.bottom;
    } else if (m_dwStyle & CBRS_ALIGN_BOTTOM) {
        strip.top = std::max(strip.top, strip.bottom - size.cy);
        layout->rect.bottom = strip.top;
    } else if (m_dwStyle & CBRS_ALIGN_LEFT) {
        strip.right = std::min(strip.right, strip.left + size.cx);
        layout->rect.left = strip.right;
    } else if (m_dwStyle & CBRS_ALIGN_RIGHT) {
        strip.left = std::max(strip.left, strip.right - size.cx);
        layout->rect.right = strip.left;
    } else {
        return 0;
    }
    if (!layout->bQuery)
        SetWindowPos(nullptr, strip.left, strip.top, strip.Width(), strip.Height(), SWP_NOZORDER | SWP_NOACTIVATE);
    return 0;
}

LRESULT CControlBar::OnIdleUpdateCmdUI(WPARAM wParam, LPARAM)
{
    if (!(GetStyle() & WS_VISIBLE))
        return 0;
    if (CFrameWnd* frame = GetParentFrame())
        OnUpdateCmdUI(frame, (BOOL)wParam);
    return 0;
}

LRESULT CControlBar::OnSetFontMessage(WPARAM wParam, LPARAM lParam)
{
    m_hFont = reinterpret_cast<HFONT>(wParam);
    if (lParam)
        Invalidate();
    return 0;
}

LRESULT CControlBar::OnGetFontMessage(WPARAM, LPARAM) { return reinterpret_cast<LRESULT>(m_hFont); }

void CControlBar::OnPaint()
{
    CPaintDC dc(this);
    CRect client;
    GetClientRect(&client);
    ::FillRect(dc.m_hDC, &client, ::GetSysColorBrush(COLOR_BTNFACE));
    UINT edges = 0;
    if (m_dwStyle & CBRS_BORDER_TOP)
        edges |= BF_TOP;
    if (m_dwStyle & CBRS_BORDER_BOTTOM)
        edges |= BF_BOTTOM;
    if (m_dwStyle & CBRS_BORDER_LEFT)
        edges |= BF_LEFT;
    if (m_dwStyle & CBRS_BORDER_RIGHT)
        edges |= BF_RIGHT;
    if (edges)
        ::DrawEdge(dc.m_hDC, &client, EDGE_ETCHED, edges);
    DoPaint(&dc);
}

// ---- CToolBar ----

BEGIN_MESSAGE_MAP(CToolBar, CControlBar)
    ON_WM_LBUTTONDOWN()
    ON_WM_LBUTTONUP()
    ON_WM_MOUSEMOVE()
END_MESSAGE_MAP()

namespace {

// A tool bar button's state lives in its style word, set by the idle updates.
class CToolCmdUI : public CCmdUI {
public:
    void Enable(BOOL on) override
    {
        m_bEnableChanged = TRUE;
        auto* bar = static_cast<CToolBar*>(m_pOther);
        const UINT style = bar->GetButtonStyle((int)m_nIndex);
        bar->SetButtonStyle((int)m_nIndex, on ? style & ~TBBS_DISABLED : (style | TBBS_DISABLED) & ~TBBS_PRESSED);
    }
    void SetCheck(int check) override
    {
        auto* bar = static_cast<CToolBar*>(m_pOther);
        const UINT style = bar->GetButtonStyle((int)m_nIndex);
        bar->SetButtonStyle((int)m_nIndex, check ? style | TBBS_CHECKED : style & ~TBBS_CHECKED);
    }
    void SetText(LPCSTR) override { }
};

}  // namespace

CToolBar::CToolBar() : m_hBitmap(nullptr), m_sizeButton(23, 22), m_sizeImage(16, 15), m_nPressed(-1) { }

CToolBar::~CToolBar()
{
    if (m_hBitmap)
        ::DeleteObject(m_hBitmap);
}

BOOL CToolBar::Create(CWnd* parent, DWORD style, UINT id) { return CreateBar(style, parent, id); }

BOOL CToolBar::LoadBitmap(LPCSTR name)
{
    const HBITMAP bitmap = static_cast<HBITMAP>(::LoadImageA(AfxGetResourceHandle(), name, IMAGE_BITMAP, 0, 0, 0));
    if (!bitmap)
        return FALSE;
    if (m_hBitmap)
        ::DeleteObject(m_hBitmap);
    m_hBitmap = bitmap;
    BITMAP info = {};
    ::GetObjectA(bitmap, sizeof info, &info);
    // The images are square-ish strips of the bitmap's height; the width stays what SetSizes gave.
    m_sizeImage.cy = info.bmHeight;
    m_sizeButton.cy = std::max<LONG>(m_sizeButton.cy, info.bmHeight + 7);
    return TRUE;
}

BOOL CToolBar::SetButtons(const UINT* ids, int count)
{
    if (!ids || count < 0)
        return FALSE;
    m_Buttons.clear();
    int image = 0;
    for (int i = 0; i < count; ++i) {
        if (ids[i] == 0)
            m_Buttons.push_back({0, TBBS_SEPARATOR, -1});
        else
            m_Buttons.push_back({ids[i], TBBS_BUTTON, image++});
    }
    if (m_hWnd)
        Invalidate();
    return TRUE;
}

void CToolBar::SetSizes(SIZE button, SIZE image)
{
    m_sizeButton = button;
    m_sizeImage = image;
}

int CToolBar::CommandToIndex(UINT id) const
{
    for (int i = 0; i < GetCount(); ++i)
        if (m_Buttons[(size_t)i].nID == id && !(m_Buttons[(size_t)i].nStyle & TBBS_SEPARATOR))
            return i;
    return -1;
}

UINT CToolBar::GetItemID(int index) const
{
    return index >= 0 && index < GetCount() ? m_Buttons[(size_t)index].nID : 0;
}

void CToolBar::GetItemRect(int index, LPRECT rect) const
{
    ::SetRectEmpty(rect);
    if (index < 0 || index >= GetCount())
        return;
    const bool horizontal = IsHorizontal() || !(m_dwStyle & CBRS_ALIGN_ANY);
    const CRect inside = InsideRect();
    int offset = 0;
    for (int i = 0; i < index; ++i)
        offset += (m_Buttons[(size_t)i].nStyle & TBBS_SEPARATOR) ? kSeparatorWidth
                                                                 : (horizontal ? m_sizeButton.cx : m_sizeButton.cy);
    const bool separator = m_Buttons[(size_t)index].nStyle & TBBS_SEPARATOR;
    if (horizontal) {
        const int x = inside.left + kBorder + offset;
        ::SetRect(rect, x, inside.top + kBorder, x + (separator ? kSeparatorWidth : m_sizeButton.cx),
            inside.top + kBorder + m_sizeButton.cy);
    } else {
        const int y = inside.top + kBorder + offset;
        ::SetRect(rect, inside.left + kBorder, y, inside.left + kBorder + m_sizeButton.cx,
            y + (separator ? kSeparatorWidth : m_sizeButton.cy));
    }
}

UINT CToolBar::GetButtonStyle(int index) const
{
    return index >= 0 && index < GetCount() ? m_Buttons[(size_t)index].nStyle : 0;
}

void CToolBar::SetButtonStyle(int index, UINT style)
{
    if (index < 0 || index >= GetCount() || m_Buttons[(size_t)index].nStyle == style)
        return;
    m_Buttons[(size_t)index].nStyle = style;
    if (m_hWnd) {
        CRect item;
        GetItemRect(index, &item);
        InvalidateRect(&item);
    }
}

int CToolBar::HitTest(CPoint point) const
{
    for (int i = 0; i < GetCount(); ++i) {
        if (m_Buttons[(size_t)i].nStyle & TBBS_SEPARATOR)
            continue;
        CRect item;
        GetItemRect(i, &item);
        if (item.PtInRect(point))
            return i;
    }
    return -1;
}

CSize CToolBar::CalcFixedLayout(BOOL, BOOL horizontal)
{
    int length = 0;
    for (const Button& button : m_Buttons)
        length += (button.nStyle & TBBS_SEPARATOR) ? kSeparatorWidth : (horizontal ? m_sizeButton.cx : m_sizeButton.cy);
    int borders = 2 * kBorder;
    if (m_dwStyle & CBRS_BORDER_TOP)
        borders += kBorder;
    if (m_dwStyle & CBRS_BORDER_BOTTOM)
        borders += kBorder;
    return horizontal ? CSize(length + 2 * kBorder, m_sizeButton.cy + borders)
                      : CSize(m_sizeButton.cx + 4 * kBorder, length + borders);
}

void CToolBar::OnUpdateCmdUI(CFrameWnd* target, BOOL disableIfNoHandler)
{
    CToolCmdUI state;
    state.m_pOther = this;
    for (int i = 0; i < GetCount(); ++i) {
        if (m_Buttons[(size_t)i].nStyle & TBBS_SEPARATOR)
            continue;
        state.m_nIndex = (UINT)i;
        state.m_nID = m_Buttons[(size_t)i].nID;
        state.DoUpdate(target, disableIfNoHandler);
    }
}

void CToolBar::DoPaint(CDC* dc)
{
    const HDC hdc = dc->m_hDC;
    const HDC images = ::CreateCompatibleDC(hdc);
    const HGDIOBJ old = m_hBitmap ? ::SelectObject(images, m_hBitmap) : nullptr;
    for (int i = 0; i < GetCount(); ++i) {
        const Button& button = m_Buttons[(size_t)i];
        CRect item;
        GetItemRect(i, &item);
        if (button.nStyle & TBBS_SEPARATOR) {
            CRect line(item.CenterPoint().x - 1, item.top + 1, item.CenterPoint().x + 1, item.bottom - 1);
            ::DrawEdge(hdc, &line, EDGE_ETCHED, BF_LEFT);
            continue;
        }
        const bool sunken = button.nStyle & (TBBS_PRESSED | TBBS_CHECKED);
        ::DrawEdge(hdc, &item, sunken ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
        if (!m_hBitmap)
            continue;
        const int shift = sunken ? 1 : 0;
        const int x = item.left + (item.Width() - m_sizeImage.cx) / 2 + shift;
        const int y = item.top + (item.Height() - m_sizeImage.cy) / 2 + shift;
        if (!(button.nStyle & TBBS_DISABLED)) {
            ::BitBlt(hdc, x, y, m_sizeImage.cx, m_sizeImage.cy, images, button.nImage * m_sizeImage.cx, 0, SRCCOPY);
            continue;
        }
        // A disabled image: what is not button face becomes the embossed shape of the image.
        const HDC mono = ::CreateCompatibleDC(hdc);
        const HBITMAP mask = ::CreateBitmap(m_sizeImage.cx, m_sizeImage.cy, 1, 1, nullptr);
        const HGDIOBJ oldMask = ::SelectObject(mono, mask);
        ::SetBkColor(images, ::GetSysColor(COLOR_BTNFACE));
        ::BitBlt(mono, 0, 0, m_sizeImage.cx, m_sizeImage.cy, images, button.nImage * m_sizeImage.cx, 0, SRCCOPY);
        ::DrawStateA(
            hdc, nullptr, nullptr, (LPARAM)mask, 0, x, y, m_sizeImage.cx, m_sizeImage.cy, DST_BITMAP | DSS_DISABLED);
        ::SelectObject(mono, oldMask);
        ::DeleteObject(mask);
        ::DeleteDC(mono);
    }
    if (old)
        ::SelectObject(images, old);
    ::DeleteDC(images);
}

void CToolBar::OnLButtonDown(UINT, CPoint point)
{
    const int index = HitTest(point);
    if (index < 0 || (GetButtonStyle(index) & TBBS_DISABLED))
        return;
    m_nPressed = index;
    SetButtonStyle(index, GetButtonStyle(index) | TBBS_PRESSED);
    SetCapture();
}

void CToolBar::OnMouseMove(UINT, CPoint point)
{
    if (m_nPressed < 0)
        return;
    const UINT style = GetButtonStyle(m_nPressed);
    SetButtonStyle(m_nPressed, HitTest(point) == m_nPressed ? style | TBBS_PRESSED : style & ~TBBS_PRESSED);
}

void CToolBar::OnLButtonUp(UINT, CPoint point)
{
    if (m_nPressed < 0)
        return;
    const int index = m_nPressed;
    m_nPressed = -1;
    ReleaseCapture();
    SetButtonStyle(index, GetButtonStyle(index) & ~TBBS_PRESSED);
    // A button is a command as a menu entry is (no control in lParam), so the frame's state check
    // applies to it too.
    if (HitTest(point) == index)
        if (CWnd* owner = GetParentFrame() ? (CWnd*)GetParentFrame() : GetParent())
            owner->SendMessage(WM_COMMAND, MAKEWPARAM(GetItemID(index), 0), 0);
}

// ---- CStatusBar ----

namespace {

class CStatusCmdUI : public CCmdUI {
public:
    void Enable(BOOL on) override
    {
        m_bEnableChanged = TRUE;
        auto* bar = static_cast<CStatusBar*>(m_pOther);
        const UINT style = bar->GetPaneStyle((int)m_nIndex);
        bar->SetPaneStyle((int)m_nIndex, on ? style & ~SBPS_DISABLED : style | SBPS_DISABLED);
    }
    void SetCheck(int check) override
    {
        auto* bar = static_cast<CStatusBar*>(m_pOther);
        const UINT style = bar->GetPaneStyle((int)m_nIndex);
        bar->SetPaneStyle((int)m_nIndex, check ? style | SBPS_POPOUT : style & ~SBPS_POPOUT);
    }
    void SetText(LPCSTR text) override { static_cast<CStatusBar*>(m_pOther)->SetPaneText((int)m_nIndex, text); }
};

}  // namespace

CStatusBar::CStatusBar() = default;

BOOL CStatusBar::Create(CWnd* parent, DWORD style, UINT id) { return CreateBar(style, parent, id); }

BOOL CStatusBar::AllocPanes(int count)
{
    if (count < 0)
        return FALSE;
    m_Panes.assign((size_t)count, Pane {0, SBPS_NORMAL, 0, CString()});
    return TRUE;
}

BOOL CStatusBar::SetIndicators(const UINT* ids, int count)
{
    if (!ids || !AllocPanes(count))
        return FALSE;
    for (int i = 0; i < count; ++i) {
        CString text;
        if (ids[i] != 0 && !text.LoadString(ids[i]))
            return FALSE;
        SetPaneInfo(i, ids[i], SBPS_NORMAL, TextWidth(text));
        SetPaneText(i, text, FALSE);
    }
    if (m_hWnd)
        Invalidate();
    return TRUE;
}

int CStatusBar::CommandToIndex(UINT id) const
{
    for (int i = 0; i < GetCount(); ++i)
        if (m_Panes[(size_t)i].nID == id)
            return i;
    return -1;
}

UINT CStatusBar::GetItemID(int index) const
{
    return index >= 0 && index < GetCount() ? m_Panes[(size_t)index].nID : 0;
}

void CStatusBar::GetItemRect(int index, LPRECT rect) const
{
    ::SetRectEmpty(rect);
    if (index < 0 || index >= GetCount())
        return;
    const CRect inside = InsideRect();
    int fixed = 0;
    int stretchers = 0;
    for (const Pane& pane : m_Panes) {
        fixed += pane.nWidth + 2 * kPaneMargin + kPaneGap;
        stretchers += (pane.nStyle & SBPS_STRETCH) ? 1 : 0;
    }
    const int spare = std::max(0, inside.Width() - kBorder - fixed);
    int x = inside.left + kBorder;
    for (int i = 0; i <= index; ++i) {
        const Pane& pane = m_Panes[(size_t)i];
        int width = pane.nWidth + 2 * kPaneMargin;
        if ((pane.nStyle & SBPS_STRETCH) && stretchers)
            width += spare / stretchers;
        if (i == index)
            ::SetRect(rect, x, inside.top + kBorder, std::min<LONG>(x + width, inside.right), inside.bottom - 1);
        x += width + kPaneGap;
    }
}

void CStatusBar::GetPaneInfo(int index, UINT& id, UINT& style, int& width) const
{
    id = GetItemID(index);
    style = GetPaneStyle(index);
    width = index >= 0 && index < GetCount() ? m_Panes[(size_t)index].nWidth : 0;
}

void CStatusBar::SetPaneInfo(int index, UINT id, UINT style, int width)
{
    if (index < 0 || index >= GetCount())
        return;
    m_Panes[(size_t)index].nID = id;
    m_Panes[(size_t)index].nStyle = style;
    m_Panes[(size_t)index].nWidth = std::max(0, width);
    if (m_hWnd)
        Invalidate();
}

UINT CStatusBar::GetPaneStyle(int index) const
{
    return index >= 0 && index < GetCount() ? m_Panes[(size_t)index].nStyle : 0;
}

void CStatusBar::SetPaneStyle(int index, UINT style)
{
    if (index < 0 || index >= GetCount() || m_Panes[(size_t)index].nStyle == style)
        return;
    m_Panes[(size_t)index].nStyle = style;
    if (m_hWnd) {
        CRect item;
        GetItemRect(index, &item);
        InvalidateRect(&item);
    }
}

CString CStatusBar::GetPaneText(int index) const
{
    return index >= 0 && index < GetCount() ? m_Panes[(size_t)index].strText : CString();
}

BOOL CStatusBar::SetPaneText(int index, LPCSTR text, BOOL update)
{
    if (index < 0 || index >= GetCount())
        return FALSE;
    Pane& pane = m_Panes[(size_t)index];
    if (pane.strText == (text ? text : ""))
        return TRUE;
    pane.strText = text ? text : "";
    if (m_hWnd) {
        CRect item;
        GetItemRect(index, &item);
        InvalidateRect(&item);
        if (update)
            UpdateWindow();
    }
    return TRUE;
}

int CStatusBar::TextWidth(LPCSTR text)
{
    const HDC screen = ::GetDC(nullptr);
    const HGDIOBJ old = ::SelectObject(screen, BarFont(m_hFont));
    SIZE size = {};
    ::GetTextExtentPoint32A(screen, text ? text : "", text ? ::lstrlenA(text) : 0, &size);
    ::SelectObject(screen, old);
    ::ReleaseDC(nullptr, screen);
    return size.cx;
}

CSize CStatusBar::CalcFixedLayout(BOOL, BOOL)
{
    const HDC screen = ::GetDC(nullptr);
    const HGDIOBJ old = ::SelectObject(screen, BarFont(m_hFont));
    TEXTMETRICA metrics = {};
    ::GetTextMetricsA(screen, &metrics);
    ::SelectObject(screen, old);
    ::ReleaseDC(nullptr, screen);
    int height = metrics.tmHeight + 2 * kPaneMargin + 2 * kBorder;
    if (m_dwStyle & CBRS_BORDER_TOP)
        height += kBorder;
    if (m_dwStyle & CBRS_BORDER_BOTTOM)
        height += kBorder;
    return CSize(32767, height);
}

void CStatusBar::OnUpdateCmdUI(CFrameWnd* target, BOOL disableIfNoHandler)
{
    CStatusCmdUI state;
    state.m_pOther = this;
    for (int i = 0; i < GetCount(); ++i) {
        state.m_nIndex = (UINT)i;
        state.m_nID = m_Panes[(size_t)i].nID;
        if (state.m_nID)
            state.DoUpdate(target, disableIfNoHandler);
    }
}

void CStatusBar::DoPaint(CDC* dc)
{
    const HDC hdc = dc->m_hDC;
    const HGDIOBJ old = ::SelectObject(hdc, BarFont(m_hFont));
    ::SetBkMode(hdc, TRANSPARENT);
    ::SetTextColor(hdc, ::GetSysColor(COLOR_BTNTEXT));
    for (int i = 0; i < GetCount(); ++i) {
        const Pane& pane = m_Panes[(size_t)i];
        CRect item;
        GetItemRect(i, &item);
        if (item.IsRectEmpty())
            continue;
        if (!(pane.nStyle & SBPS_NOBORDERS))
            ::DrawEdge(hdc, &item, (pane.nStyle & SBPS_POPOUT) ? BDR_RAISEDINNER : BDR_SUNKENOUTER, BF_RECT);
        if (pane.nStyle & SBPS_DISABLED)
            continue;
        CRect text(item);
        text.DeflateRect(kPaneMargin, 1);
        ::DrawTextA(hdc, pane.strText, pane.strText.GetLength(), &text,
            DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    }
    ::SelectObject(hdc, old);
}
