#pragma once

// CDialog: a dialog built from a template in the resources. DoModal runs it modally and returns the
// code EndDialog was given (or -1 when the dialog could not be created); Create makes it modeless.
// IDOK and IDCANCEL reach the virtual OnOK and OnCancel through CDialog's message map.

#include "framework/Wnd.h"

// The dialog manager's callback of every framework dialog and form: the window is subclassed at
// creation, so the message maps see every message first and nothing is left to do here.
INT_PTR CALLBACK AfxDlgProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

class CDialog : public CWnd {
    DECLARE_DYNAMIC(CDialog)
    DECLARE_MESSAGE_MAP()
public:
    CDialog();
    explicit CDialog(UINT templateId, CWnd* parent = nullptr);
    explicit CDialog(LPCSTR templateName, CWnd* parent = nullptr);

    virtual INT_PTR DoModal();
    virtual BOOL Create(UINT templateId, CWnd* parent = nullptr);
    BOOL Create(LPCSTR templateName, CWnd* parent = nullptr);
    void EndDialog(INT_PTR result) { ::EndDialog(m_hWnd, result); }

    // TRUE lets the dialog manager set the focus to the first control.
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();

    BOOL PreTranslateMessage(MSG* msg) override;
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    void GotoDlgCtrl(CWnd* control) { SendMessage(WM_NEXTDLGCTL, (WPARAM)control->m_hWnd, TRUE); }
    void NextDlgCtrl() const { SendMessage(WM_NEXTDLGCTL, 0, FALSE); }
    void PrevDlgCtrl() const { SendMessage(WM_NEXTDLGCTL, 1, FALSE); }
    void SetDefID(UINT id) { SendMessage(DM_SETDEFID, id); }
    DWORD GetDefID() const { return (DWORD)SendMessage(DM_GETDEFID); }
    void MapDialogRect(LPRECT rect) const { ::MapDialogRect(m_hWnd, rect); }

protected:
    LPCSTR m_lpszTemplateName;
    CWnd* m_pParentWnd;

private:
    LPCDLGTEMPLATEA LoadTemplate() const;
    HWND ParentHandle() const;
};
