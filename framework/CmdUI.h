#pragma once

// Command-state updates. Before a menu drops down, at idle time for the bars and the active form,
// and before a menu or accelerator command runs, the framework asks the command's update handler
// (ON_UPDATE_COMMAND_UI) through a CCmdUI that stands for the item: a menu entry, a control, a bar
// button or pane. The handler says enabled, checked or what text; the CCmdUI applies it to its item.

#include "framework/CmdTarget.h"

class CWnd;

// Sent by CWinApp::OnIdle(0) to the main window; a frame updates its bars and its active form.
constexpr UINT WM_IDLEUPDATECMDUI = WM_USER + 0x7300;

class CCmdUI {
public:
    CCmdUI();
    CCmdUI(const CCmdUI&) = delete;
    CCmdUI& operator=(const CCmdUI&) = delete;
    virtual ~CCmdUI() = default;

    UINT m_nID;
    UINT m_nIndex;  // position in the menu or bar
    HMENU m_hMenu;  // the popup of a menu entry, else NULL
    CWnd* m_pOther;  // the control or bar of any other item, else NULL
    BOOL m_bEnableChanged;
    BOOL m_bContinueRouting;

    virtual void Enable(BOOL on = TRUE);
    virtual void SetCheck(int check = 1);  // 0 off, 1 on, 2 indeterminate
    virtual void SetText(LPCSTR text);
    // The item stands for one of several choices: a menu entry gets a radio mark when on, any
    // other item is checked as by SetCheck.
    void SetRadio(BOOL on = TRUE);
    // Called by an update handler that wants the next target in the route to answer as well.
    void ContinueRouting() { m_bContinueRouting = TRUE; }

    // Asks target's route for the update handler of m_nID. Without one, and when disableIfNoHandler
    // is set, the item is greyed when no command handler on the route would take it; an item with a
    // command handler keeps the state it has. TRUE when an update handler answered.
    BOOL DoUpdate(CCmdTarget* target, BOOL disableIfNoHandler);
};

// The state a command's update handler gives, without any item to show it on: the frames ask it
// before a menu or accelerator command runs.
class CCmdStateProbe : public CCmdUI {
public:
    BOOL m_bEnabled = TRUE;
    void Enable(BOOL on = TRUE) override;
    void SetCheck(int) override { }
    void SetText(LPCSTR) override { }
};

// void memberFxn(CCmdUI*)
#define ON_UPDATE_COMMAND_UI_RANGE(id, lastId, memberFxn)                                                              \
    {WM_COMMAND, (UINT)CN_UPDATE_COMMAND_UI, (UINT)(id), (UINT)(lastId),                                               \
        [](CCmdTarget* target, WPARAM, LPARAM lParam, LRESULT&) -> BOOL {                                              \
            CCmdUI* ui = reinterpret_cast<CCmdUI*>(lParam);                                                            \
            ui->m_bContinueRouting = FALSE;                                                                            \
            static_cast<ThisClass*>(target)->memberFxn(ui);                                                            \
            return !ui->m_bContinueRouting;                                                                            \
        }},
#define ON_UPDATE_COMMAND_UI(id, memberFxn) ON_UPDATE_COMMAND_UI_RANGE(id, id, memberFxn)
