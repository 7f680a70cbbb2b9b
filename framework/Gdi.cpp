#include "framework/Gdi.h"

#include "framework/Module.h"
#include "framework/Wnd.h"

IMPLEMENT_DYNAMIC(CGdiObject, CObject)
IMPLEMENT_DYNAMIC(CPen, CGdiObject)
IMPLEMENT_DYNAMIC(CBrush, CGdiObject)
IMPLEMENT_DYNAMIC(CFont, CGdiObject)
IMPLEMENT_DYNAMIC(CBitmap, CGdiObject)
IMPLEMENT_DYNAMIC(CPalette, CGdiObject)
IMPLEMENT_DYNAMIC(CDC, CObject)
IMPLEMENT_DYNAMIC(CPaintDC, CDC)
IMPLEMENT_DYNAMIC(CClientDC, CDC)
IMPLEMENT_DYNAMIC(CWindowDC, CDC)

// ---- GDI objects ----

BOOL CGdiObject::Attach(HGDIOBJ handle)
{
    DeleteObject();
    m_hObject = handle;
    return handle != nullptr;
}

HGDIOBJ CGdiObject::Detach()
{
    const HGDIOBJ handle = m_hObject;
    m_hObject = nullptr;
    return handle;
}

BOOL CGdiObject::DeleteObject()
{
    if (!m_hObject)
        return FALSE;
    return ::DeleteObject(Detach());
}

BOOL CBrush::CreatePatternBrush(CBitmap* bitmap)
{
    return Attach(::CreatePatternBrush((HBITMAP)bitmap->m_hObject));
}

BOOL CBitmap::LoadBitmap(LPCSTR resourceName)
{
    return Attach(::LoadBitmapA(AfxGetResourceHandle(), resourceName));
}

BOOL CBitmap::CreateCompatibleBitmap(CDC* dc, int width, int height)
{
    return Attach(::CreateCompatibleBitmap(dc->m_hDC, width, height));
}

BOOL CPalette::CreateHalftonePalette(CDC* dc)
{
    return Attach(::CreateHalftonePalette(dc->m_hDC));
}

// ---- device contexts ----

CDC::~CDC()
{
    DeleteDC();
}

BOOL CDC::Attach(HDC hDC)
{
    m_hDC = hDC;
    return hDC != nullptr;
}

HDC CDC::Detach()
{
    const HDC hDC = m_hDC;
    m_hDC = nullptr;
    return hDC;
}

BOOL CDC::DeleteDC()
{
    if (!m_hDC)
        return FALSE;
    return ::DeleteDC(Detach());
}

void CDC::FillSolidRect(LPCRECT rect, COLORREF color)
{
    // An opaque empty text run fills with the background colour without a brush to create.
    const COLORREF old = ::SetBkColor(m_hDC, color);
    ::ExtTextOutA(m_hDC, 0, 0, ETO_OPAQUE, rect, nullptr, 0, nullptr);
    ::SetBkColor(m_hDC, old);
}

CPaintDC::CPaintDC(CWnd* wnd) : m_ps(), m_hWnd(wnd->m_hWnd)
{
    Attach(::BeginPaint(m_hWnd, &m_ps));
}

CPaintDC::~CPaintDC()
{
    ::EndPaint(m_hWnd, &m_ps);
    Detach();
}

CClientDC::CClientDC(CWnd* wnd) : m_hWnd(wnd ? wnd->m_hWnd : nullptr)
{
    Attach(::GetDC(m_hWnd));
}

CClientDC::~CClientDC()
{
    ::ReleaseDC(m_hWnd, Detach());
}

CWindowDC::CWindowDC(CWnd* wnd) : m_hWnd(wnd ? wnd->m_hWnd : nullptr)
{
    Attach(::GetWindowDC(m_hWnd));
}

CWindowDC::~CWindowDC()
{
    ::ReleaseDC(m_hWnd, Detach());
}
