#pragma once

// CFileDialog: the common file open or save dialog. The filter is written with '|' separators
// ("Curves (*.tc)|*.tc|All files (*.*)|*.*||"); m_ofn may be adjusted before DoModal.

#include "framework/Wnd.h"

#include <commdlg.h>

class CFileDialog : public CObject {
    DECLARE_DYNAMIC(CFileDialog)
public:
    CFileDialog(BOOL openFileDialog, LPCSTR defaultExt = nullptr, LPCSTR fileName = nullptr,
                DWORD flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, LPCSTR filter = nullptr,
                CWnd* parent = nullptr);

    // IDOK with a file chosen, IDCANCEL otherwise (also when the dialog could not open).
    virtual INT_PTR DoModal();

    CString GetPathName() const { return m_szFileName; }
    CString GetFileName() const { return m_szFileName + m_ofn.nFileOffset; }
    CString GetFileExt() const { return m_ofn.nFileExtension ? m_szFileName + m_ofn.nFileExtension : ""; }
    CString GetFileTitle() const;

    OPENFILENAMEA m_ofn;

protected:
    BOOL m_bOpenFileDialog;
    CString m_strFilter;
    CString m_strDefaultExt;
    char m_szFileName[MAX_PATH];
    char m_szFileTitle[MAX_PATH];
};
