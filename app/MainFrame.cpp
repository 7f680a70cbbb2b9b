#include "app/MainFrame.h"

IMPLEMENT_DYNCREATE(CMainFrame, CFrameWnd)

namespace {

constexpr int kIconMain = 32000;
constexpr int kIconTarvoset = 32001;

}  // namespace

LPCSTR CMainFrame::RegisterFrameClass(HINSTANCE instance, BOOL simplified)
{
    const HICON icon = LoadIconA(instance, MAKEINTRESOURCEA(simplified ? kIconTarvoset : kIconMain));
    return AfxRegisterWndClass(CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS, nullptr, (HBRUSH)(COLOR_WINDOW + 1), icon);
}

BOOL CMainFrame::CreateFrame(LPCSTR className, LPCSTR title)
{
    return CreateEx(0, className, title, WS_OVERLAPPEDWINDOW, 0, 0, 640, 480, nullptr, nullptr);
}
