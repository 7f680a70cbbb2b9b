#pragma once

// Points, sizes and rectangles as the Win32 structures themselves, so they pass straight to any
// call that takes a POINT*, SIZE* or RECT*.

#include <windows.h>

class CSize : public SIZE {
public:
    CSize() { cx = cy = 0; }
    CSize(int x, int y) { cx = x; cy = y; }
    CSize(SIZE size) : SIZE(size) {}
    explicit CSize(DWORD packed) { cx = (short)LOWORD(packed); cy = (short)HIWORD(packed); }

    bool operator==(const SIZE& other) const { return cx == other.cx && cy == other.cy; }
    bool operator!=(const SIZE& other) const { return !(*this == other); }
    CSize operator+(const SIZE& other) const { return CSize(cx + other.cx, cy + other.cy); }
    CSize operator-(const SIZE& other) const { return CSize(cx - other.cx, cy - other.cy); }
};

class CPoint : public POINT {
public:
    CPoint() { x = y = 0; }
    CPoint(int initX, int initY) { x = initX; y = initY; }
    CPoint(POINT point) : POINT(point) {}
    // A point packed into an LPARAM of a mouse message; the coordinates are signed.
    explicit CPoint(LPARAM packed) { x = (short)LOWORD(packed); y = (short)HIWORD(packed); }

    void Offset(int dx, int dy) { x += dx; y += dy; }
    void Offset(SIZE size) { Offset(size.cx, size.cy); }
    bool operator==(const POINT& other) const { return x == other.x && y == other.y; }
    bool operator!=(const POINT& other) const { return !(*this == other); }
    CPoint operator+(const SIZE& size) const { return CPoint(x + size.cx, y + size.cy); }
    CPoint operator-(const SIZE& size) const { return CPoint(x - size.cx, y - size.cy); }
    CSize operator-(const POINT& other) const { return CSize(x - other.x, y - other.y); }
    CPoint& operator+=(const SIZE& size) { Offset(size); return *this; }
    CPoint& operator-=(const SIZE& size) { Offset(-size.cx, -size.cy); return *this; }
};

class CRect : public RECT {
public:
    CRect() { left = top = right = bottom = 0; }
    CRect(int l, int t, int r, int b) { SetRect(l, t, r, b); }
    CRect(const RECT& rect) : RECT(rect) {}
    CRect(const RECT* rect) : RECT(*rect) {}
    CRect(POINT topLeft, SIZE size) { SetRect(topLeft.x, topLeft.y, topLeft.x + size.cx, topLeft.y + size.cy); }
    CRect(POINT topLeft, POINT bottomRight) { SetRect(topLeft.x, topLeft.y, bottomRight.x, bottomRight.y); }

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    CSize Size() const { return CSize(Width(), Height()); }
    CPoint& TopLeft() { return *reinterpret_cast<CPoint*>(&left); }
    CPoint& BottomRight() { return *reinterpret_cast<CPoint*>(&right); }
    CPoint TopLeft() const { return CPoint(left, top); }
    CPoint BottomRight() const { return CPoint(right, bottom); }
    CPoint CenterPoint() const { return CPoint((left + right) / 2, (top + bottom) / 2); }

    operator LPRECT() { return this; }
    operator LPCRECT() const { return this; }

    BOOL IsRectEmpty() const { return ::IsRectEmpty(this); }
    BOOL IsRectNull() const { return left == 0 && top == 0 && right == 0 && bottom == 0; }
    BOOL PtInRect(POINT point) const { return ::PtInRect(this, point); }
    void SetRect(int l, int t, int r, int b) { ::SetRect(this, l, t, r, b); }
    void SetRectEmpty() { ::SetRectEmpty(this); }
    void CopyRect(LPCRECT source) { ::CopyRect(this, source); }
    BOOL EqualRect(LPCRECT other) const { return ::EqualRect(this, other); }
    void InflateRect(int dx, int dy) { ::InflateRect(this, dx, dy); }
    void InflateRect(SIZE size) { ::InflateRect(this, size.cx, size.cy); }
    void DeflateRect(int dx, int dy) { ::InflateRect(this, -dx, -dy); }
    void DeflateRect(SIZE size) { ::InflateRect(this, -size.cx, -size.cy); }
    void OffsetRect(int dx, int dy) { ::OffsetRect(this, dx, dy); }
    void OffsetRect(POINT point) { ::OffsetRect(this, point.x, point.y); }
    void OffsetRect(SIZE size) { ::OffsetRect(this, size.cx, size.cy); }
    BOOL IntersectRect(LPCRECT a, LPCRECT b) { return ::IntersectRect(this, a, b); }
    BOOL UnionRect(LPCRECT a, LPCRECT b) { return ::UnionRect(this, a, b); }
    BOOL SubtractRect(LPCRECT a, LPCRECT b) { return ::SubtractRect(this, a, b); }
    void NormalizeRect();

    bool operator==(const RECT& other) const { return ::EqualRect(this, &other) != FALSE; }
    bool operator!=(const RECT& other) const { return !(*this == other); }
    CRect& operator+=(POINT point) { OffsetRect(point); return *this; }
    CRect& operator-=(POINT point) { OffsetRect(-point.x, -point.y); return *this; }
    CRect operator+(POINT point) const { CRect r(*this); r.OffsetRect(point); return r; }
    CRect operator-(POINT point) const { CRect r(*this); r.OffsetRect(-point.x, -point.y); return r; }
    CRect operator&(const RECT& other) const { CRect r; r.IntersectRect(this, &other); return r; }
    CRect operator|(const RECT& other) const { CRect r; r.UnionRect(this, &other); return r; }
};

inline void CRect::NormalizeRect()
{
    if (left > right) {
        const LONG swap = left;
        left = right;
        right = swap;
    }
    if (top > bottom) {
        const LONG swap = top;
        top = bottom;
        bottom = swap;
    }
}
