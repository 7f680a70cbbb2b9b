// The procedure every framework window runs through, the hook that binds a new window to its
// object, and the reporter of the exceptions the procedure stops; kept apart from CWnd itself so
// that frames, views and control bars can each have a file of their own.

#include "framework/Wnd.h"

#include "framework/App.h"
#include "framework/Exception.h"
#include "framework/File.h"

#include <exception>

namespace {

// The message being handled, for Default(); saved and restored around nested messages.
MSG g_currentMessage = {};

// Window creation: the object the next created window belongs to, and the hook that binds it.
CWnd* g_windowInit = nullptr;
HHOOK g_createHook = nullptr;

AFX_EXCEPTION_REPORTER g_exceptionReporter = nullptr;
int g_reportedExceptions = 0;

void ReportException(LPCSTR kind, LPCSTR detail, UINT message) noexcept
{
    ++g_reportedExceptions;
    // Reporting runs inside a catch block of the window procedure: nothing may escape from here.
    try {
        CString text;
        text.Format("An unexpected error (%s%s%s) occurred while handling window message 0x%04X. "
                    "The operation was not completed.",
            kind, detail[0] ? ": " : "", detail, message);
        if (g_exceptionReporter)
            g_exceptionReporter(text);
        else
            AfxMessageBox(text, MB_ICONSTOP | MB_OK);
    } catch (...) {
        ::MessageBeep(MB_ICONSTOP);
    }
}

bool IsImeWindow(HWND hWnd)
{
    char className[16] = {};
    ::GetClassNameA(hWnd, className, sizeof className);
    return ::lstrcmpiA(className, "IME") == 0;
}

}  // namespace

AFX_EXCEPTION_REPORTER AfxSetExceptionReporter(AFX_EXCEPTION_REPORTER reporter)
{
    const AFX_EXCEPTION_REPORTER previous = g_exceptionReporter;
    g_exceptionReporter = reporter;
    return previous;
}

int AfxGetReportedExceptionCount() { return g_reportedExceptions; }

LRESULT AfxCallWndProc(CWnd* wnd, HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    const MSG saved = g_currentMessage;
    g_currentMessage.hwnd = hWnd;
    g_currentMessage.message = message;
    g_currentMessage.wParam = wParam;
    g_currentMessage.lParam = lParam;
    LRESULT result = 0;
    // Nothing may unwind into user32: it has no idea of C++ exceptions.
    try {
        result = wnd->WindowProc(message, wParam, lParam);
    } catch (CException* e) {
        const CFileException* fileError = dynamic_cast<CFileException*>(e);
        ReportException(
            e->GetRuntimeClass()->m_lpszClassName, fileError ? (LPCSTR)fileError->m_strFileName : "", message);
        e->Delete();
        result = message == WM_CREATE ? -1 : 0;
    } catch (const std::exception& e) {
        ReportException("exception", e.what(), message);
        result = message == WM_CREATE ? -1 : 0;
    } catch (...) {
        ReportException("unknown exception", "", message);
        result = message == WM_CREATE ? -1 : 0;
    }
    if (message == WM_NCDESTROY)
        wnd->OnNcDestroyed();
    g_currentMessage = saved;
    return result;
}

LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    CWnd* wnd = CWnd::FromHandlePermanent(hWnd);
    if (!wnd)
        return ::DefWindowProcA(hWnd, message, wParam, lParam);
    return AfxCallWndProc(wnd, hWnd, message, wParam, lParam);
}

LRESULT CALLBACK AfxCbtFilterHook(int code, WPARAM wParam, LPARAM lParam)
{
    const HWND hWnd = reinterpret_cast<HWND>(wParam);
    if (code == HCBT_CREATEWND && g_windowInit && !IsImeWindow(hWnd)) {
        CWnd* wnd = g_windowInit;
        g_windowInit = nullptr;
        wnd->Attach(hWnd);
        const WNDPROC previous =
            reinterpret_cast<WNDPROC>(::SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&AfxWndProc)));
        if (previous != &AfxWndProc)
            wnd->m_pfnSuper = previous;
    }
    return ::CallNextHookEx(g_createHook, code, wParam, lParam);
}

LRESULT CWnd::Default()
{
    return DefWindowProc(g_currentMessage.message, g_currentMessage.wParam, g_currentMessage.lParam);
}

LRESULT CWnd::ReflectOrDefault()
{
    LRESULT result = 0;
    if (ReflectChildNotify(g_currentMessage.message, g_currentMessage.wParam, g_currentMessage.lParam, &result))
        return result;
    return Default();
}

void CWnd::HookWindowCreate()
{
    if (!g_createHook)
        g_createHook = ::SetWindowsHookExA(WH_CBT, AfxCbtFilterHook, nullptr, ::GetCurrentThreadId());
    g_windowInit = this;
}

BOOL CWnd::UnhookWindowCreate()
{
    if (g_createHook) {
        ::UnhookWindowsHookEx(g_createHook);
        g_createHook = nullptr;
    }
    const BOOL created = g_windowInit == nullptr;
    g_windowInit = nullptr;
    return created;
}
