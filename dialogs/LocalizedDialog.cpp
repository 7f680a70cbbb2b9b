#include "dialogs/LocalizedDialog.h"

#include "app/DialogLocalizer.h"

BOOL CLocalizedDialog::OnInitDialog()
{
    CDialog::OnInitDialog();
    Localize(this);
    return TRUE;
}

void Localize(CWnd* window)
{
    if (g_pDialogLocalizer)
        g_pDialogLocalizer->Localize(window, nullptr, TRUE);
    else
        LocalizeChildren(window->m_hWnd, nullptr, TRUE);
}
