#include "framework/App.h"

#include "framework/CmdUI.h"
#include "framework/Document.h"
#include "framework/HandleMap.h"
#include "framework/Module.h"

IMPLEMENT_DYNAMIC(CWinApp, CCmdTarget)

namespace {

CWinApp* g_app = nullptr;

// The private profile functions cannot report the length they need: grow until the text fits.
const DWORD kMaxProfileString = 65536;

CString ModuleTitle()
{
    char path[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    CString title(path);
    title = title.Mid(title.ReverseFind('\\') + 1);
    const int dot = title.ReverseFind('.');
    return dot < 0 ? title : title.Left(dot);
}

}  // namespace

CWinApp::CWinApp(LPCSTR appName)
    : m_hInstance(nullptr), m_lpCmdLine(nullptr), m_nCmdShow(SW_SHOWNORMAL), m_pMainWnd(nullptr),
      m_msgCur()
{
    ASSERT(!g_app);
    g_app = this;
    m_strExeName = ModuleTitle();
    m_strAppName = appName ? CString(appName) : m_strExeName;
    m_strDefaultProfileName = m_strExeName + ".INI";
    m_pszAppName = m_strAppName;
    m_pszExeName = m_strExeName;
    m_pszProfileName = m_strDefaultProfileName;
}

CWinApp::~CWinApp()
{
    for (POSITION pos = GetFirstDocTemplatePosition(); pos;)
        delete GetNextDocTemplate(pos);
    if (g_app == this)
        g_app = nullptr;
}

void CWinApp::SetupInstance(HINSTANCE instance, LPSTR cmdLine, int cmdShow)
{
    m_hInstance = instance;
    m_lpCmdLine = cmdLine;
    m_nCmdShow = cmdShow;
    AfxSetInstanceHandle(instance);
}

BOOL CWinApp::InitApplication()
{
    return TRUE;
}

BOOL CWinApp::InitInstance()
{
    return TRUE;
}

int CWinApp::ExitInstance()
{
    return (int)m_msgCur.wParam;
}

int CWinApp::Run()
{
    // Without a main window nothing could ever end the loop.
    if (!m_pMainWnd)
        ::PostQuitMessage(0);
    BOOL idle = TRUE;
    LONG idleCount = 0;
    for (;;) {
        while (idle && !::PeekMessageA(&m_msgCur, nullptr, 0, 0, PM_NOREMOVE))
            if (!OnIdle(idleCount++))
                idle = FALSE;
        do {
            if (!PumpMessage())
                return ExitInstance();
            if (IsIdleMessage(&m_msgCur)) {
                idle = TRUE;
                idleCount = 0;
            }
        } while (::PeekMessageA(&m_msgCur, nullptr, 0, 0, PM_NOREMOVE));
    }
}

BOOL CWinApp::OnIdle(LONG count)
{
    if (count <= 0) {
        if (m_pMainWnd && m_pMainWnd->m_hWnd)
            m_pMainWnd->SendMessage(WM_IDLEUPDATECMDUI, TRUE);
        return TRUE;   // a later pass frees the temporaries, after the user-interface updates
    }
    if (count == 1)
        AfxDeleteTempMaps();
    return FALSE;
}

BOOL CWinApp::PumpMessage()
{
    const BOOL got = ::GetMessageA(&m_msgCur, nullptr, 0, 0);
    if (got == 0)
        return FALSE;
    if (got > 0 && !PreTranslateMessage(&m_msgCur)) {
        ::TranslateMessage(&m_msgCur);
        ::DispatchMessageA(&m_msgCur);
    }
    return TRUE;
}

BOOL CWinApp::IsIdleMessage(MSG* msg)
{
    // Messages that come all the time without anything happening must not restart idle work.
    static POINT lastMousePosition = {-1, -1};
    static UINT lastMouseMessage = 0;
    const UINT kCaretBlink = 0x0118;
    if (msg->message == WM_MOUSEMOVE || msg->message == WM_NCMOUSEMOVE) {
        const bool same = msg->message == lastMouseMessage && msg->pt.x == lastMousePosition.x &&
                          msg->pt.y == lastMousePosition.y;
        lastMousePosition = msg->pt;
        lastMouseMessage = msg->message;
        return !same;
    }
    return msg->message != WM_PAINT && msg->message != kCaretBlink;
}

BOOL CWinApp::PreTranslateMessage(MSG* msg)
{
    const HWND main = m_pMainWnd ? m_pMainWnd->m_hWnd : nullptr;
    if (CWnd::WalkPreTranslateTree(main, msg))
        return TRUE;
    // Messages of windows outside the main window (modeless dialogs) still get its accelerators.
    return main && msg->hwnd != main && !::IsChild(main, msg->hwnd) && m_pMainWnd->PreTranslateMessage(msg);
}

UINT CWinApp::GetProfileInt(LPCSTR section, LPCSTR entry, int defaultValue)
{
    return ::GetPrivateProfileIntA(section, entry, defaultValue, m_pszProfileName);
}

BOOL CWinApp::WriteProfileInt(LPCSTR section, LPCSTR entry, int value)
{
    CString text;
    text.Format("%d", value);
    return ::WritePrivateProfileStringA(section, entry, text, m_pszProfileName);
}

CString CWinApp::GetProfileString(LPCSTR section, LPCSTR entry, LPCSTR defaultValue)
{
    CString value;
    for (DWORD size = 256; size <= kMaxProfileString; size *= 2) {
        const DWORD length = ::GetPrivateProfileStringA(section, entry, defaultValue ? defaultValue : "",
                                                        value.GetBuffer((int)size), size, m_pszProfileName);
        value.ReleaseBuffer((int)length);
        if (length < size - 1)
            break;
    }
    return value;
}

BOOL CWinApp::WriteProfileString(LPCSTR section, LPCSTR entry, LPCSTR value)
{
    return ::WritePrivateProfileStringA(section, entry, value, m_pszProfileName);
}

CWinApp* AfxGetApp()
{
    return g_app;
}

CWnd* AfxGetMainWnd()
{
    return g_app ? g_app->m_pMainWnd : nullptr;
}

int AfxWinMain(HINSTANCE instance, HINSTANCE, LPSTR cmdLine, int cmdShow)
{
    CWinApp* app = AfxGetApp();
    if (!app)
        return -1;
    app->SetupInstance(instance, cmdLine, cmdShow);
    int exitCode;
    if (app->InitApplication() && app->InitInstance()) {
        exitCode = app->Run();
    } else {
        // What a failed start created still gets cleaned up.
        if (app->m_pMainWnd)
            app->m_pMainWnd->DestroyWindow();
        exitCode = app->ExitInstance();
    }
    AfxDeleteTempMaps();
    return exitCode;
}

int AfxMessageBox(LPCSTR text, UINT type, UINT)
{
    HWND owner = nullptr;
    if (CWnd* main = AfxGetMainWnd())
        owner = ::GetLastActivePopup(main->m_hWnd);
    return ::MessageBoxA(owner, text, g_app ? g_app->m_pszAppName : nullptr, type);
}

int AfxMessageBox(UINT textId, UINT type, UINT helpId)
{
    CString text;
    text.LoadString(textId);
    return AfxMessageBox(text, type, helpId);
}

CWaitCursor::CWaitCursor() : m_previous(::SetCursor(::LoadCursorA(nullptr, (LPCSTR)IDC_WAIT))) {}

CWaitCursor::~CWaitCursor()
{
    ::SetCursor(m_previous);
}

void CWaitCursor::Restore()
{
    ::SetCursor(::LoadCursorA(nullptr, (LPCSTR)IDC_WAIT));
}
