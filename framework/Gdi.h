#pragma once

// GDI objects and device contexts. A wrapper owns its handle and deletes it when destroyed;
// wrappers returned by FromHandle or SelectObject are temporaries that own nothing.

#include "framework/Geometry.h"
#include "framework/HandleMap.h"
#include "framework/Object.h"
#include "framework/String.h"

class CWnd;

class CGdiObject : public CObject {
    DECLARE_DYNAMIC(CGdiObject)
public:
    CGdiObject() : m_hObject(nullptr) {}
    CGdiObject(const CGdiObject&) = delete;
    CGdiObject& operator=(const CGdiObject&) = delete;
    ~CGdiObject() override { DeleteObject(); }

    HGDIOBJ m_hObject;
    operator HGDIOBJ() const { return m_hObject; }

    static CGdiObject* FromHandle(HGDIOBJ handle) { return CTempMap<CGdiObject, HGDIOBJ>::FromHandle(handle); }
    BOOL Attach(HGDIOBJ handle);
    HGDIOBJ Detach();
    BOOL DeleteObject();
    int GetObject(int size, LPVOID buffer) const { return ::GetObjectA(m_hObject, size, buffer); }
    BOOL CreateStockObject(int index) { return Attach(::GetStockObject(index)); }
    BOOL UnrealizeObject() { return ::UnrealizeObject(m_hObject); }

    void SetTempHandle(HGDIOBJ handle) { m_hObject = handle; }   // for the temporary maps only
};

class CPen : public CGdiObject {
    DECLARE_DYNAMIC(CPen)
public:
    CPen() = default;
    CPen(int style, int width, COLORREF color) { CreatePen(style, width, color); }
    static CPen* FromHandle(HPEN handle) { return CTempMap<CPen, HGDIOBJ>::FromHandle(handle); }
    operator HPEN() const { return (HPEN)m_hObject; }
    BOOL CreatePen(int style, int width, COLORREF color) { return Attach(::CreatePen(style, width, color)); }
    BOOL CreatePenIndirect(const LOGPEN* logPen) { return Attach(::CreatePenIndirect(logPen)); }
    int GetLogPen(LOGPEN* logPen) const { return GetObject(sizeof *logPen, logPen); }
};

class CBitmap;

class CBrush : public CGdiObject {
    DECLARE_DYNAMIC(CBrush)
public:
    CBrush() = default;
    explicit CBrush(COLORREF color) { CreateSolidBrush(color); }
    CBrush(int hatch, COLORREF color) { CreateHatchBrush(hatch, color); }
    static CBrush* FromHandle(HBRUSH handle) { return CTempMap<CBrush, HGDIOBJ>::FromHandle(handle); }
    operator HBRUSH() const { return (HBRUSH)m_hObject; }
    BOOL CreateSolidBrush(COLORREF color) { return Attach(::CreateSolidBrush(color)); }
    BOOL CreateHatchBrush(int hatch, COLORREF color) { return Attach(::CreateHatchBrush(hatch, color)); }
    BOOL CreatePatternBrush(CBitmap* bitmap);
    BOOL CreateSysColorBrush(int index) { return Attach(::GetSysColorBrush(index)); }
    BOOL CreateBrushIndirect(const LOGBRUSH* logBrush) { return Attach(::CreateBrushIndirect(logBrush)); }
};

class CFont : public CGdiObject {
    DECLARE_DYNAMIC(CFont)
public:
    static CFont* FromHandle(HFONT handle) { return CTempMap<CFont, HGDIOBJ>::FromHandle(handle); }
    operator HFONT() const { return (HFONT)m_hObject; }
    BOOL CreateFontIndirect(const LOGFONTA* logFont) { return Attach(::CreateFontIndirectA(logFont)); }
    BOOL CreateFont(int height, int width, int escapement, int orientation, int weight, BYTE italic,
                    BYTE underline, BYTE strikeOut, BYTE charSet, BYTE outPrecision, BYTE clipPrecision,
                    BYTE quality, BYTE pitchAndFamily, LPCSTR faceName)
    {
        return Attach(::CreateFontA(height, width, escapement, orientation, weight, italic, underline,
                                    strikeOut, charSet, outPrecision, clipPrecision, quality,
                                    pitchAndFamily, faceName));
    }
    int GetLogFont(LOGFONTA* logFont) const { return GetObject(sizeof *logFont, logFont); }
};

class CDC;

class CBitmap : public CGdiObject {
    DECLARE_DYNAMIC(CBitmap)
public:
    static CBitmap* FromHandle(HBITMAP handle) { return CTempMap<CBitmap, HGDIOBJ>::FromHandle(handle); }
    operator HBITMAP() const { return (HBITMAP)m_hObject; }
    BOOL LoadBitmap(LPCSTR resourceName);
    BOOL LoadBitmap(UINT resourceId) { return LoadBitmap(MAKEINTRESOURCEA(resourceId)); }
    BOOL LoadOEMBitmap(UINT bitmapId) { return Attach(::LoadBitmapA(nullptr, MAKEINTRESOURCEA(bitmapId))); }
    BOOL CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits) { return Attach(::CreateBitmap(width, height, planes, bitsPerPixel, bits)); }
    BOOL CreateBitmapIndirect(const BITMAP* bitmap) { return Attach(::CreateBitmapIndirect(bitmap)); }
    BOOL CreateCompatibleBitmap(CDC* dc, int width, int height);
    int GetBitmap(BITMAP* bitmap) const { return GetObject(sizeof *bitmap, bitmap); }
    LONG GetBitmapBits(LONG count, LPVOID bits) const { return ::GetBitmapBits((HBITMAP)m_hObject, count, bits); }
    LONG SetBitmapBits(LONG count, const void* bits) { return ::SetBitmapBits((HBITMAP)m_hObject, (DWORD)count, bits); }
};

class CPalette : public CGdiObject {
    DECLARE_DYNAMIC(CPalette)
public:
    static CPalette* FromHandle(HPALETTE handle) { return CTempMap<CPalette, HGDIOBJ>::FromHandle(handle); }
    operator HPALETTE() const { return (HPALETTE)m_hObject; }
    BOOL CreatePalette(const LOGPALETTE* logPalette) { return Attach(::CreatePalette(logPalette)); }
    BOOL CreateHalftonePalette(CDC* dc);
    int GetEntryCount() const { WORD count = 0; GetObject(sizeof count, &count); return count; }
    UINT GetPaletteEntries(UINT start, UINT count, LPPALETTEENTRY entries) const { return ::GetPaletteEntries((HPALETTE)m_hObject, start, count, entries); }
    UINT SetPaletteEntries(UINT start, UINT count, const PALETTEENTRY* entries) { return ::SetPaletteEntries((HPALETTE)m_hObject, start, count, entries); }
    BOOL ResizePalette(UINT entries) { return ::ResizePalette((HPALETTE)m_hObject, entries); }
    void AnimatePalette(UINT start, UINT count, const PALETTEENTRY* entries) { ::AnimatePalette((HPALETTE)m_hObject, start, count, entries); }
    UINT GetNearestPaletteIndex(COLORREF color) const { return ::GetNearestPaletteIndex((HPALETTE)m_hObject, color); }
};

class CDC : public CObject {
    DECLARE_DYNAMIC(CDC)
public:
    CDC() : m_hDC(nullptr) {}
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;
    ~CDC() override;   // deletes a DC it created or attached

    HDC m_hDC;
    operator HDC() const { return m_hDC; }

    static CDC* FromHandle(HDC hDC) { return CTempMap<CDC, HDC>::FromHandle(hDC); }
    void SetTempHandle(HDC hDC) { m_hDC = hDC; }   // for the temporary maps only
    BOOL Attach(HDC hDC);
    HDC Detach();
    BOOL DeleteDC();
    BOOL CreateCompatibleDC(CDC* dc) { return Attach(::CreateCompatibleDC(dc ? dc->m_hDC : nullptr)); }
    BOOL CreateDC(LPCSTR driver, LPCSTR device, LPCSTR output, const DEVMODEA* initData) { return Attach(::CreateDCA(driver, device, output, initData)); }
    BOOL CreateIC(LPCSTR driver, LPCSTR device, LPCSTR output, const DEVMODEA* initData) { return Attach(::CreateICA(driver, device, output, initData)); }

    // The previously selected object, as a temporary.
    CPen* SelectObject(CPen* pen) { return CPen::FromHandle((HPEN)::SelectObject(m_hDC, pen->m_hObject)); }
    CBrush* SelectObject(CBrush* brush) { return CBrush::FromHandle((HBRUSH)::SelectObject(m_hDC, brush->m_hObject)); }
    CFont* SelectObject(CFont* font) { return CFont::FromHandle((HFONT)::SelectObject(m_hDC, font->m_hObject)); }
    CBitmap* SelectObject(CBitmap* bitmap) { return CBitmap::FromHandle((HBITMAP)::SelectObject(m_hDC, bitmap->m_hObject)); }
    CGdiObject* SelectObject(CGdiObject* object) { return CGdiObject::FromHandle(::SelectObject(m_hDC, object->m_hObject)); }
    CGdiObject* SelectStockObject(int index) { return CGdiObject::FromHandle(::SelectObject(m_hDC, ::GetStockObject(index))); }
    CPalette* SelectPalette(CPalette* palette, BOOL forceBackground) { return CPalette::FromHandle(::SelectPalette(m_hDC, (HPALETTE)palette->m_hObject, forceBackground)); }
    UINT RealizePalette() { return ::RealizePalette(m_hDC); }

    int SaveDC() { return ::SaveDC(m_hDC); }
    BOOL RestoreDC(int savedDC) { return ::RestoreDC(m_hDC, savedDC); }
    int GetDeviceCaps(int index) const { return ::GetDeviceCaps(m_hDC, index); }
    int SetMapMode(int mode) { return ::SetMapMode(m_hDC, mode); }
    CPoint SetWindowOrg(int x, int y) { CPoint old; ::SetWindowOrgEx(m_hDC, x, y, &old); return old; }
    CPoint SetViewportOrg(int x, int y) { CPoint old; ::SetViewportOrgEx(m_hDC, x, y, &old); return old; }
    void DPtoLP(LPPOINT points, int count = 1) const { ::DPtoLP(m_hDC, points, count); }
    void LPtoDP(LPPOINT points, int count = 1) const { ::LPtoDP(m_hDC, points, count); }
    int IntersectClipRect(int l, int t, int r, int b) { return ::IntersectClipRect(m_hDC, l, t, r, b); }
    int IntersectClipRect(LPCRECT rect) { return ::IntersectClipRect(m_hDC, rect->left, rect->top, rect->right, rect->bottom); }
    int ExcludeClipRect(LPCRECT rect) { return ::ExcludeClipRect(m_hDC, rect->left, rect->top, rect->right, rect->bottom); }
    int SelectClipRgn(HRGN region) { return ::SelectClipRgn(m_hDC, region); }
    int GetClipBox(LPRECT rect) const { return ::GetClipBox(m_hDC, rect); }

    COLORREF SetTextColor(COLORREF color) { return ::SetTextColor(m_hDC, color); }
    COLORREF SetBkColor(COLORREF color) { return ::SetBkColor(m_hDC, color); }
    int SetBkMode(int mode) { return ::SetBkMode(m_hDC, mode); }
    UINT SetTextAlign(UINT flags) { return ::SetTextAlign(m_hDC, flags); }
    int SetROP2(int mode) { return ::SetROP2(m_hDC, mode); }
    int SetStretchBltMode(int mode) { return ::SetStretchBltMode(m_hDC, mode); }

    CPoint MoveTo(int x, int y) { CPoint old; ::MoveToEx(m_hDC, x, y, &old); return old; }
    CPoint MoveTo(POINT point) { return MoveTo(point.x, point.y); }
    BOOL LineTo(int x, int y) { return ::LineTo(m_hDC, x, y); }
    BOOL LineTo(POINT point) { return LineTo(point.x, point.y); }
    BOOL Polyline(const POINT* points, int count) { return ::Polyline(m_hDC, points, count); }
    BOOL Polygon(const POINT* points, int count) { return ::Polygon(m_hDC, points, count); }
    BOOL Rectangle(int l, int t, int r, int b) { return ::Rectangle(m_hDC, l, t, r, b); }
    BOOL Rectangle(LPCRECT rect) { return ::Rectangle(m_hDC, rect->left, rect->top, rect->right, rect->bottom); }
    BOOL Ellipse(int l, int t, int r, int b) { return ::Ellipse(m_hDC, l, t, r, b); }
    BOOL Ellipse(LPCRECT rect) { return ::Ellipse(m_hDC, rect->left, rect->top, rect->right, rect->bottom); }
    void FillRect(LPCRECT rect, CBrush* brush) { ::FillRect(m_hDC, rect, (HBRUSH)brush->m_hObject); }
    void FrameRect(LPCRECT rect, CBrush* brush) { ::FrameRect(m_hDC, rect, (HBRUSH)brush->m_hObject); }
    void InvertRect(LPCRECT rect) { ::InvertRect(m_hDC, rect); }
    void DrawFocusRect(LPCRECT rect) { ::DrawFocusRect(m_hDC, rect); }
    void FillSolidRect(LPCRECT rect, COLORREF color);
    COLORREF SetPixel(int x, int y, COLORREF color) { return ::SetPixel(m_hDC, x, y, color); }
    COLORREF GetPixel(int x, int y) const { return ::GetPixel(m_hDC, x, y); }

    BOOL PatBlt(int x, int y, int width, int height, DWORD rop) { return ::PatBlt(m_hDC, x, y, width, height, rop); }
    BOOL BitBlt(int x, int y, int width, int height, CDC* source, int xSrc, int ySrc, DWORD rop) { return ::BitBlt(m_hDC, x, y, width, height, source ? source->m_hDC : nullptr, xSrc, ySrc, rop); }
    BOOL StretchBlt(int x, int y, int width, int height, CDC* source, int xSrc, int ySrc, int srcWidth, int srcHeight, DWORD rop) { return ::StretchBlt(m_hDC, x, y, width, height, source ? source->m_hDC : nullptr, xSrc, ySrc, srcWidth, srcHeight, rop); }
    int StretchDIBits(int x, int y, int width, int height, int xSrc, int ySrc, int srcWidth, int srcHeight, const void* bits, const BITMAPINFO* info, UINT usage, DWORD rop) { return ::StretchDIBits(m_hDC, x, y, width, height, xSrc, ySrc, srcWidth, srcHeight, bits, info, usage, rop); }
    int SetDIBitsToDevice(int x, int y, DWORD width, DWORD height, int xSrc, int ySrc, UINT startScan, UINT scanLines, const void* bits, const BITMAPINFO* info, UINT usage) { return ::SetDIBitsToDevice(m_hDC, x, y, width, height, xSrc, ySrc, startScan, scanLines, bits, info, usage); }

    BOOL TextOut(int x, int y, LPCSTR text, int length) { return ::TextOutA(m_hDC, x, y, text, length); }
    BOOL TextOut(int x, int y, const CString& text) { return ::TextOutA(m_hDC, x, y, text, text.GetLength()); }
    BOOL ExtTextOut(int x, int y, UINT options, LPCRECT rect, LPCSTR text, UINT length, const INT* widths) { return ::ExtTextOutA(m_hDC, x, y, options, rect, text, length, widths); }
    int DrawText(LPCSTR text, int length, LPRECT rect, UINT format) { return ::DrawTextA(m_hDC, text, length, rect, format); }
    int DrawText(const CString& text, LPRECT rect, UINT format) { return ::DrawTextA(m_hDC, text, text.GetLength(), rect, format); }
    CSize GetTextExtent(LPCSTR text, int length) const { CSize size; ::GetTextExtentPoint32A(m_hDC, text, length, &size); return size; }
    CSize GetTextExtent(const CString& text) const { return GetTextExtent(text, text.GetLength()); }
    BOOL GetTextMetrics(LPTEXTMETRICA metrics) const { return ::GetTextMetricsA(m_hDC, metrics); }

    // Printing.
    int StartDoc(const DOCINFOA* docInfo) { return ::StartDocA(m_hDC, docInfo); }
    int EndDoc() { return ::EndDoc(m_hDC); }
    int AbortDoc() { return ::AbortDoc(m_hDC); }
    int StartPage() { return ::StartPage(m_hDC); }
    int EndPage() { return ::EndPage(m_hDC); }
    int SetAbortProc(ABORTPROC abortProc) { return ::SetAbortProc(m_hDC, abortProc); }
};

// The DC of a WM_PAINT handler: BeginPaint on construction, EndPaint on destruction.
class CPaintDC : public CDC {
    DECLARE_DYNAMIC(CPaintDC)
public:
    explicit CPaintDC(CWnd* wnd);
    ~CPaintDC() override;
    PAINTSTRUCT m_ps;

protected:
    HWND m_hWnd;
};

// A window's client-area DC, released on destruction.
class CClientDC : public CDC {
    DECLARE_DYNAMIC(CClientDC)
public:
    explicit CClientDC(CWnd* wnd);
    ~CClientDC() override;

protected:
    HWND m_hWnd;
};

// The whole window's DC, frame included, released on destruction.
class CWindowDC : public CDC {
    DECLARE_DYNAMIC(CWindowDC)
public:
    explicit CWindowDC(CWnd* wnd);
    ~CWindowDC() override;

protected:
    HWND m_hWnd;
};
