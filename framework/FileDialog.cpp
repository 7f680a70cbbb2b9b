#include "framework/FileDialog.h"

#include "framework/App.h"
#include "framework/Module.h"

#include <cstring>

IMPLEMENT_DYNAMIC(CFileDialog, CObject)

CFileDialog::CFileDialog(BOOL openFileDialog, LPCSTR defaultExt, LPCSTR fileName, DWORD flags,
                         LPCSTR filter, CWnd* parent)
    : m_ofn(), m_bOpenFileDialog(openFileDialog), m_strFilter(filter), m_strDefaultExt(defaultExt),
      m_szFileName(), m_szFileTitle()
{
    if (fileName)
        ::lstrcpynA(m_szFileName, fileName, MAX_PATH);
    // The common dialog wants NUL separators; '|' is what a resource string can hold.
    m_strFilter.Replace('|', '\0');
    m_strFilter += '\0';   // the list ends with an empty entry even when the caller left out "||"
    m_ofn.lStructSize = sizeof m_ofn;
    m_ofn.hwndOwner = parent ? parent->m_hWnd : nullptr;
    m_ofn.hInstance = AfxGetInstanceHandle();
    m_ofn.lpstrFilter = m_strFilter.IsEmpty() ? nullptr : (LPCSTR)m_strFilter;
    m_ofn.lpstrFile = m_szFileName;
    m_ofn.nMaxFile = MAX_PATH;
    m_ofn.lpstrFileTitle = m_szFileTitle;
    m_ofn.nMaxFileTitle = MAX_PATH;
    m_ofn.lpstrDefExt = m_strDefaultExt.IsEmpty() ? nullptr : (LPCSTR)m_strDefaultExt;
    m_ofn.Flags = flags | OFN_EXPLORER;
}

INT_PTR CFileDialog::DoModal()
{
    if (!m_ofn.hwndOwner)
        if (CWnd* main = AfxGetMainWnd())
            m_ofn.hwndOwner = main->m_hWnd;
    const BOOL chosen = m_bOpenFileDialog ? ::GetOpenFileNameA(&m_ofn) : ::GetSaveFileNameA(&m_ofn);
    return chosen ? IDOK : IDCANCEL;
}

CString CFileDialog::GetFileTitle() const
{
    CString name = GetFileName();
    const int dot = name.ReverseFind('.');
    return dot < 0 ? name : name.Left(dot);
}
