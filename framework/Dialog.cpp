#include "framework/Dialog.h"

#include "framework/App.h"
#include "framework/Module.h"

IMPLEMENT_DYNAMIC(CDialog, CWnd)

BEGIN_MESSAGE_MAP(CDialog, CWnd)
    ON_COMMAND(IDOK, OnOK)
    ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

// Every message, WM_INITDIALOG included, passes the message map (inside the window procedure's
// exception guard) before the dialog manager sees it.
INT_PTR CALLBACK AfxDlgProc(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG;
}

CDialog::CDialog() : m_lpszTemplateName(nullptr), m_pParentWnd(nullptr) {}

CDialog::CDialog(UINT templateId, CWnd* parent)
    : m_lpszTemplateName(MAKEINTRESOURCEA(templateId)), m_pParentWnd(parent)
{
}

CDialog::CDialog(LPCSTR templateName, CWnd* parent) : m_lpszTemplateName(templateName), m_pParentWnd(parent) {}

INT_PTR CDialog::DoModal()
{
    const LPCDLGTEMPLATEA dialogTemplate = LoadTemplate();
    if (!dialogTemplate)
        return -1;
    HookWindowCreate();
    const INT_PTR result = ::DialogBoxIndirectParamA(AfxGetResourceHandle(), dialogTemplate, ParentHandle(),
                                                     AfxDlgProc, 0);
    UnhookWindowCreate();
    return result;
}

BOOL CDialog::Create(UINT templateId, CWnd* parent)
{
    return Create(MAKEINTRESOURCEA(templateId), parent);
}

BOOL CDialog::Create(LPCSTR templateName, CWnd* parent)
{
    m_lpszTemplateName = templateName;
    m_pParentWnd = parent;
    const LPCDLGTEMPLATEA dialogTemplate = LoadTemplate();
    if (!dialogTemplate)
        return FALSE;
    HookWindowCreate();
    const HWND hWnd = ::CreateDialogIndirectParamA(AfxGetResourceHandle(), dialogTemplate, ParentHandle(),
                                                   AfxDlgProc, 0);
    UnhookWindowCreate();
    return hWnd != nullptr;
}

BOOL CDialog::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    if (message != WM_INITDIALOG)
        return CWnd::OnWndMsg(message, wParam, lParam, result);
    UnhookWindowCreate();
    *result = OnInitDialog();
    return TRUE;
}

BOOL CDialog::OnInitDialog()
{
    return TRUE;
}

void CDialog::OnOK()
{
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

BOOL CDialog::PreTranslateMessage(MSG* msg)
{
    // Keyboard navigation of a modeless dialog; a modal one gets it from the dialog manager's loop.
    return msg->message >= WM_KEYFIRST && msg->message <= WM_KEYLAST && ::IsDialogMessageA(m_hWnd, msg);
}

LPCDLGTEMPLATEA CDialog::LoadTemplate() const
{
    const HINSTANCE module = AfxGetResourceHandle();
    const HRSRC resource = ::FindResourceA(module, m_lpszTemplateName, (LPCSTR)RT_DIALOG);
    const HGLOBAL loaded = resource ? ::LoadResource(module, resource) : nullptr;
    return loaded ? static_cast<LPCDLGTEMPLATEA>(::LockResource(loaded)) : nullptr;
}

HWND CDialog::ParentHandle() const
{
    if (m_pParentWnd)
        return m_pParentWnd->m_hWnd;
    const CWnd* main = AfxGetMainWnd();
    return main ? main->m_hWnd : nullptr;
}
