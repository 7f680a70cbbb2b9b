#include "framework/Controls.h"

IMPLEMENT_DYNAMIC(CStatic, CWnd)
IMPLEMENT_DYNAMIC(CButton, CWnd)
IMPLEMENT_DYNAMIC(CEdit, CWnd)
IMPLEMENT_DYNAMIC(CListBox, CWnd)
IMPLEMENT_DYNAMIC(CComboBox, CWnd)
IMPLEMENT_DYNAMIC(CScrollBar, CWnd)

void CListBox::GetText(int index, CString& text) const
{
    const int length = GetTextLen(index);
    if (length == LB_ERR) {
        text.Empty();
        return;
    }
    GetText(index, text.GetBuffer(length));
    text.ReleaseBuffer();
}

void CComboBox::GetLBText(int index, CString& text) const
{
    const int length = GetLBTextLen(index);
    if (length == CB_ERR) {
        text.Empty();
        return;
    }
    GetLBText(index, text.GetBuffer(length));
    text.ReleaseBuffer();
}
