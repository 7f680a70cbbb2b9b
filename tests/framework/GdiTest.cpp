#include "framework/Gdi.h"
#include "framework/Wnd.h"

#include <gtest/gtest.h>

namespace {

TEST(CRect, GeometryHelpers)
{
    CRect r(10, 20, 4, 2);
    r.NormalizeRect();
    EXPECT_EQ(CRect(4, 2, 10, 20), r);
    EXPECT_EQ(6, r.Width());
    EXPECT_EQ(CPoint(7, 11), r.CenterPoint());
    EXPECT_EQ(CRect(5, 5, 10, 20), r & CRect(5, 5, 30, 30));
    EXPECT_TRUE((r & CRect(50, 50, 60, 60)).IsRectEmpty());
    r.DeflateRect(1, 2);
    EXPECT_EQ(CRect(5, 4, 9, 18), r);
    EXPECT_EQ(CRect(6, 6, 10, 20), r + CPoint(1, 2));
    EXPECT_EQ(CPoint(-3, -1), CPoint((LPARAM)MAKELPARAM(-3, -1)));
}

TEST(CDC, MemoryDrawingAndObjectSelection)
{
    CDC memory;
    ASSERT_TRUE(memory.CreateCompatibleDC(nullptr));
    CBitmap bitmap;
    CClientDC screen(nullptr);
    ASSERT_TRUE(bitmap.CreateCompatibleBitmap(&screen, 20, 20));
    CBitmap* oldBitmap = memory.SelectObject(&bitmap);
    ASSERT_NE(nullptr, oldBitmap);

    const CRect area(0, 0, 20, 20);
    memory.FillSolidRect(area, RGB(0, 0, 255));
    EXPECT_EQ(RGB(0, 0, 255), memory.GetPixel(10, 10));

    CPen red(PS_SOLID, 1, RGB(255, 0, 0));
    CPen* oldPen = memory.SelectObject(&red);
    memory.MoveTo(0, 5);
    memory.LineTo(20, 5);
    EXPECT_EQ(RGB(255, 0, 0), memory.GetPixel(10, 5));
    EXPECT_EQ(RGB(0, 0, 255), memory.GetPixel(10, 6));

    // The object handed back is the one that was selected before, and selecting it back frees ours.
    EXPECT_EQ(red.m_hObject, memory.SelectObject(oldPen)->m_hObject);
    EXPECT_EQ(bitmap.m_hObject, memory.SelectObject(oldBitmap)->m_hObject);
    BITMAP info = {};
    ASSERT_TRUE(bitmap.GetBitmap(&info));
    EXPECT_EQ(20, info.bmWidth);
}

class CPaintProbe : public CWnd {
public:
    int m_paints = 0;

protected:
    void OnPaint()
    {
        CPaintDC dc(this);
        ++m_paints;
        CBrush brush(RGB(0, 128, 0));
        CRect client;
        GetClientRect(&client);
        dc.FillRect(client, &brush);
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CPaintProbe, CWnd)
    ON_WM_PAINT()
END_MESSAGE_MAP()

TEST(CPaintDC, PaintHandlerValidatesTheWindow)
{
    CPaintProbe wnd;
    ASSERT_TRUE(wnd.CreateEx(0, nullptr, "paint", WS_POPUP | WS_VISIBLE, 0, 0, 60, 40, nullptr, nullptr));
    wnd.Invalidate();
    wnd.UpdateWindow();
    const int paints = wnd.m_paints;
    EXPECT_GE(paints, 1);
    // EndPaint validated the window: nothing left to paint.
    EXPECT_FALSE(GetUpdateRect(wnd.m_hWnd, nullptr, FALSE));
    wnd.UpdateWindow();
    EXPECT_EQ(paints, wnd.m_paints);
}

}  // namespace
