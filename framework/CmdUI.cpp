#include "framework/CmdUI.h"

#include "framework/Wnd.h"

CCmdUI::CCmdUI()
    : m_nID(0), m_nIndex(0), m_hMenu(nullptr), m_pOther(nullptr), m_bEnableChanged(FALSE), m_bContinueRouting(FALSE)
{
}

void CCmdUI::Enable(BOOL on)
{
    m_bEnableChanged = TRUE;
    if (m_hMenu) {
        ::EnableMenuItem(m_hMenu, m_nIndex, MF_BYPOSITION | (on ? MF_ENABLED : MF_GRAYED));
        return;
    }
    if (!m_pOther)
        return;
    // A control that loses its enabled state while it has the focus would leave the keyboard
    // stranded: the focus moves on first.
    if (!on && ::GetFocus() == m_pOther->m_hWnd)
        ::SendMessageA(::GetParent(m_pOther->m_hWnd), WM_NEXTDLGCTL, 0, FALSE);
    m_pOther->EnableWindow(on);
}

void CCmdUI::SetCheck(int check)
{
    if (m_hMenu)
        ::CheckMenuItem(m_hMenu, m_nIndex, MF_BYPOSITION | (check ? MF_CHECKED : MF_UNCHECKED));
    else if (m_pOther)
        m_pOther->SendMessage(BM_SETCHECK, (WPARAM)check);
}

void CCmdUI::SetRadio(BOOL on)
{
    if (!m_hMenu) {
        SetCheck(on ? 1 : 0);
        return;
    }
    MENUITEMINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_STATE;
    if (!::GetMenuItemInfoA(m_hMenu, m_nIndex, TRUE, &info))
        return;
    // The radio type only shapes the check mark: an entry that is off is a plain unchecked one.
    info.fType = on ? info.fType | MFT_RADIOCHECK : info.fType & ~MFT_RADIOCHECK;
    info.fState = on ? info.fState | MFS_CHECKED : info.fState & ~MFS_CHECKED;
    ::SetMenuItemInfoA(m_hMenu, m_nIndex, TRUE, &info);
}

void CCmdUI::SetText(LPCSTR text)
{
    if (m_hMenu) {
        // ModifyMenu replaces the whole entry: its state flags must be given again.
        const UINT state = ::GetMenuState(m_hMenu, m_nIndex, MF_BYPOSITION) & (MF_GRAYED | MF_DISABLED | MF_CHECKED);
        ::ModifyMenuA(m_hMenu, m_nIndex, MF_BYPOSITION | MF_STRING | state, m_nID, text);
        return;
    }
    if (!m_pOther)
        return;
    CString current;
    m_pOther->GetWindowText(current);
    if (current != (text ? text : ""))  // no flicker for a text that stays
        m_pOther->SetWindowText(text);
}

BOOL CCmdUI::DoUpdate(CCmdTarget* target, BOOL disableIfNoHandler)
{
    m_bEnableChanged = FALSE;
    const BOOL handled = target->OnCmdMsg(m_nID, CN_UPDATE_COMMAND_UI, reinterpret_cast<LPARAM>(this));
    if (!handled && disableIfNoHandler && !m_bEnableChanged && !target->OnCmdMsg(m_nID, CN_COMMAND_QUERY, 0))
        Enable(FALSE);
    return handled;
}

void CCmdStateProbe::Enable(BOOL on)
{
    m_bEnableChanged = TRUE;
    m_bEnabled = on;
}
