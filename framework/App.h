#pragma once

// CWinApp: the program's one application object. Its constructor makes it the global object that
// WinMain (AppMain.cpp) drives: InitInstance, then Run (the message loop with idle processing)
// when that succeeds, and ExitInstance in either case.

#include "framework/CmdTarget.h"
#include "framework/Collections.h"
#include "framework/String.h"
#include "framework/Wnd.h"

class CDocTemplate;

class CWinApp : public CCmdTarget {
    DECLARE_DYNAMIC(CWinApp)
public:
    explicit CWinApp(LPCSTR appName = nullptr);
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;
    ~CWinApp() override;

    // Fills in the instance, command line and names; WinMain calls it before InitInstance.
    void SetupInstance(HINSTANCE instance, LPSTR cmdLine, int cmdShow);

    virtual BOOL InitApplication();
    virtual BOOL InitInstance();
    virtual int ExitInstance();   // the process exit code
    virtual int Run();
    // Idle work while the queue is empty; count says how often it ran since the last message.
    // TRUE asks for another call. Count 1 frees the temporary wrappers of FromHandle.
    virtual BOOL OnIdle(LONG count);
    virtual BOOL PreTranslateMessage(MSG* msg);
    virtual BOOL IsIdleMessage(MSG* msg);
    BOOL PumpMessage();   // FALSE once WM_QUIT arrived

    // Profile values live in the file named by m_pszProfileName: by default the program's name
    // with ".INI" (so in the Windows directory); a program may point it at a private INI path and
    // must restore it before the object is destroyed. A NULL value deletes the key, a NULL entry
    // the whole section.
    UINT GetProfileInt(LPCSTR section, LPCSTR entry, int defaultValue);
    BOOL WriteProfileInt(LPCSTR section, LPCSTR entry, int value);
    CString GetProfileString(LPCSTR section, LPCSTR entry, LPCSTR defaultValue = nullptr);
    BOOL WriteProfileString(LPCSTR section, LPCSTR entry, LPCSTR value);

    // The application owns its document templates and deletes them with itself.
    void AddDocTemplate(CDocTemplate* docTemplate) { m_templateList.AddTail(docTemplate); }
    POSITION GetFirstDocTemplatePosition() const { return m_templateList.GetHeadPosition(); }
    CDocTemplate* GetNextDocTemplate(POSITION& pos) const
    {
        return static_cast<CDocTemplate*>(m_templateList.GetNext(pos));
    }

    HINSTANCE m_hInstance;
    LPSTR m_lpCmdLine;
    int m_nCmdShow;
    LPCSTR m_pszAppName;
    LPCSTR m_pszExeName;
    LPCSTR m_pszProfileName;
    CWnd* m_pMainWnd;
    MSG m_msgCur;

private:
    CPtrList m_templateList;
    CString m_strAppName;
    CString m_strExeName;
    CString m_strDefaultProfileName;
};

CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();

// Runs the global application object; WinMain's whole body.
int AfxWinMain(HINSTANCE instance, HINSTANCE previous, LPSTR cmdLine, int cmdShow);

// A message box owned by the main window, titled with the application name.
int AfxMessageBox(LPCSTR text, UINT type = MB_OK, UINT helpId = 0);
int AfxMessageBox(UINT textId, UINT type = MB_OK, UINT helpId = (UINT)-1);

// The hourglass for the lifetime of the object.
class CWaitCursor {
public:
    CWaitCursor();
    ~CWaitCursor();
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;
    void Restore();   // the hourglass again, after something changed the cursor

private:
    HCURSOR m_previous;
};
