#include "framework/CmdUI.h"
#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "framework/Wnd.h"

#include "tests/framework/TestResources.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

enum { ID_DRAWN_BUTTON = 400, ID_DRAWN_LIST, ID_PARENT_DRAWN, ID_PLAIN_BUTTON };
const UINT kMeasuredHeight = 21;

class CDrawnButton : public CButton {
public:
    std::vector<DRAWITEMSTRUCT> m_draws;

protected:
    void DrawItem(LPDRAWITEMSTRUCT item) override { m_draws.push_back(*item); }
};

// Items are numbers kept as item data; the list sorts them by value.
class CDrawnList : public CListBox {
public:
    std::vector<DRAWITEMSTRUCT> m_draws;
    std::vector<MEASUREITEMSTRUCT> m_measures;
    std::vector<COMPAREITEMSTRUCT> m_compares;
    std::vector<DELETEITEMSTRUCT> m_deletes;

protected:
    void DrawItem(LPDRAWITEMSTRUCT item) override { m_draws.push_back(*item); }
    void MeasureItem(LPMEASUREITEMSTRUCT item) override
    {
        m_measures.push_back(*item);
        item->itemHeight = kMeasuredHeight;
    }
    int CompareItem(LPCOMPAREITEMSTRUCT item) override
    {
        m_compares.push_back(*item);
        return item->itemData1 < item->itemData2 ? -1 : item->itemData1 > item->itemData2 ? 1 : 0;
    }
    void DeleteItem(LPDELETEITEMSTRUCT item) override { m_deletes.push_back(*item); }
};

// A parent that maps nothing of owner-draw: the reflection is the window's own default.
class CPlainParent : public CWnd {
public:
    // Only a shown window paints, so only the drawing cases show theirs.
    BOOL CreateShown() { return CreateParent(WS_VISIBLE); }
    BOOL CreateHidden() { return CreateParent(0); }

private:
    BOOL CreateParent(DWORD visible)
    {
        return CreateEx(0, nullptr, "parent", WS_POPUP | visible, 0, 0, 240, 200, nullptr, nullptr);
    }
};

// A parent that draws one owner-drawn button itself and chains to the default for the others.
class CDrawingParent : public CPlainParent {
public:
    std::vector<DRAWITEMSTRUCT> m_draws;
    int m_cursorRequests = 0;
    HWND m_cursorWindow = nullptr;
    UINT m_hitTest = 0;
    UINT m_mouseMessage = 0;

protected:
    void OnDrawItem(int id, LPDRAWITEMSTRUCT item)
    {
        if (id == ID_PARENT_DRAWN)
            m_draws.push_back(*item);
        else
            CWnd::OnDrawItem(id, item);
    }
    BOOL OnSetCursor(CWnd* wnd, UINT hitTest, UINT message)
    {
        ++m_cursorRequests;
        m_cursorWindow = wnd ? wnd->m_hWnd : nullptr;
        m_hitTest = hitTest;
        m_mouseMessage = message;
        return TRUE;
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CDrawingParent, CPlainParent)
ON_WM_DRAWITEM()
ON_WM_SETCURSOR()
END_MESSAGE_MAP()

void Repaint(CWnd& wnd)
{
    wnd.RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

// The last drawing of an owner-drawn button names that button and its whole client area.
void ExpectButtonDrawing(const std::vector<DRAWITEMSTRUCT>& draws, const CButton& button, UINT id)
{
    ASSERT_FALSE(draws.empty()) << id;
    const DRAWITEMSTRUCT& draw = draws.back();
    CRect client;
    button.GetClientRect(&client);
    EXPECT_EQ((UINT)ODT_BUTTON, draw.CtlType) << id;
    EXPECT_EQ(id, draw.CtlID);
    EXPECT_EQ(button.m_hWnd, draw.hwndItem) << id;
    EXPECT_NE(nullptr, draw.hDC) << id;
    EXPECT_EQ(client, CRect(draw.rcItem)) << id;
}

void RunButtonCase(CPlainParent& parent, bool parentMapsDrawItem)
{
    ASSERT_TRUE(parent.CreateShown());
    CDrawnButton drawn;
    ASSERT_TRUE(drawn.Create("drawn", BS_OWNERDRAW | WS_VISIBLE, CRect(10, 10, 90, 40), &parent, ID_DRAWN_BUTTON));
    CDrawnButton byParent;
    ASSERT_TRUE(
        byParent.Create("parent's", BS_OWNERDRAW | WS_VISIBLE, CRect(10, 50, 90, 80), &parent, ID_PARENT_DRAWN));
    Repaint(parent);

    ExpectButtonDrawing(drawn.m_draws, drawn, ID_DRAWN_BUTTON);
    if (parentMapsDrawItem) {
        // The parent's own handler takes its button: the control's object is not asked.
        EXPECT_TRUE(byParent.m_draws.empty());
        ExpectButtonDrawing(static_cast<CDrawingParent&>(parent).m_draws, byParent, ID_PARENT_DRAWN);
    } else {
        ExpectButtonDrawing(byParent.m_draws, byParent, ID_PARENT_DRAWN);
    }
}

TEST(OwnerDraw, ButtonDrawsItselfUnderAnyParent)
{
    {
        SCOPED_TRACE("parent without owner-draw entries");
        CPlainParent parent;
        RunButtonCase(parent, false);
    }
    {
        SCOPED_TRACE("parent with its own WM_DRAWITEM handler");
        CDrawingParent parent;
        RunButtonCase(parent, true);
    }
}

TEST(OwnerDraw, DrawingWithoutControlObjectGoesToTheDefaultProcedure)
{
    CPlainParent parent;
    ASSERT_TRUE(parent.CreateHidden());
    // A control made without an object: nothing to hand the drawing to.
    const HWND bare = ::CreateWindowExA(0, "BUTTON", "bare", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, 10, 90, 80, 30,
        parent.m_hWnd, (HMENU)(UINT_PTR)ID_PLAIN_BUTTON, nullptr, nullptr);
    ASSERT_NE(nullptr, bare);
    DRAWITEMSTRUCT draw = {ODT_BUTTON, ID_PLAIN_BUTTON, 0, ODA_DRAWENTIRE, 0, bare, nullptr, {0, 0, 80, 30}, 0};
    EXPECT_EQ(FALSE, parent.SendMessage(WM_DRAWITEM, ID_PLAIN_BUTTON, (LPARAM)&draw));
    // A menu's item names a menu handle where a control's names its window: never taken for one.
    CDrawnButton drawn;
    ASSERT_TRUE(drawn.Create("drawn", BS_OWNERDRAW, CRect(0, 0, 10, 10), &parent, ID_DRAWN_BUTTON));
    DRAWITEMSTRUCT menuDraw = {ODT_MENU, 0, ID_DRAWN_BUTTON, ODA_DRAWENTIRE, 0, drawn.m_hWnd, nullptr, {}, 0};
    EXPECT_EQ(FALSE, parent.SendMessage(WM_DRAWITEM, 0, (LPARAM)&menuDraw));
    EXPECT_TRUE(drawn.m_draws.empty());
}

// Fills a sorted owner-drawn list with three numbers and follows each owner-draw message to the
// list's own object.
void ExpectListAnswersItself(CWnd& parent, CDrawnList& list, UINT id, bool measuresEachItem)
{
    const ULONG_PTR added[] = {30, 10, 20};
    const ULONG_PTR sorted[] = {10, 20, 30};
    for (const ULONG_PTR value : added)
        ASSERT_GE(list.AddString(reinterpret_cast<LPCSTR>(value)), 0);

    // Measured by its own object, and the height it gave is the list's.
    ASSERT_FALSE(list.m_measures.empty());
    for (const MEASUREITEMSTRUCT& measure : list.m_measures) {
        EXPECT_EQ((UINT)ODT_LISTBOX, measure.CtlType);
        EXPECT_EQ(id, measure.CtlID);
    }
    if (measuresEachItem) {
        ASSERT_EQ(3u, list.m_measures.size());
        EXPECT_EQ(added[2], list.m_measures.back().itemData);
    }
    EXPECT_EQ((int)kMeasuredHeight, list.GetItemHeight(0));

    // Sorted by its own comparison of the item data.
    ASSERT_FALSE(list.m_compares.empty());
    for (const COMPAREITEMSTRUCT& compare : list.m_compares) {
        EXPECT_EQ((UINT)ODT_LISTBOX, compare.CtlType);
        EXPECT_EQ(id, compare.CtlID);
        EXPECT_EQ(list.m_hWnd, compare.hwndItem);
    }
    ASSERT_EQ(3, list.GetCount());
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(sorted[i], list.GetItemData(i)) << i;

    // Drawn by its own object, every item with its data and place.
    Repaint(parent);
    ASSERT_GE(list.m_draws.size(), 3u);
    for (const DRAWITEMSTRUCT& draw : list.m_draws) {
        EXPECT_EQ((UINT)ODT_LISTBOX, draw.CtlType);
        EXPECT_EQ(list.m_hWnd, draw.hwndItem);
        ASSERT_LT(draw.itemID, 3u);
        EXPECT_EQ(sorted[draw.itemID], draw.itemData);
        CRect place;
        list.GetItemRect((int)draw.itemID, &place);
        EXPECT_EQ(place, CRect(draw.rcItem));
    }

    // Told of each item that goes, so that it can free what the data holds.
    list.DeleteString(1);
    ASSERT_EQ(1u, list.m_deletes.size());
    EXPECT_EQ(sorted[1], list.m_deletes[0].itemData);
    EXPECT_EQ(list.m_hWnd, list.m_deletes[0].hwndItem);
    list.ResetContent();  // in whatever order the list box likes
    ASSERT_EQ(3u, list.m_deletes.size());
    EXPECT_EQ(sorted[0] + sorted[2], list.m_deletes[1].itemData + list.m_deletes[2].itemData);
    EXPECT_NE(list.m_deletes[1].itemData, list.m_deletes[2].itemData);
}

struct ListCase {
    const char* name;
    DWORD style;
    bool measuresEachItem;  // LBS_OWNERDRAWVARIABLE asks per item, LBS_OWNERDRAWFIXED once at creation
};

const ListCase kListCases[] = {
    {"fixed", LBS_OWNERDRAWFIXED, false},
    {"variable", LBS_OWNERDRAWVARIABLE, true},
};

TEST(OwnerDraw, ListBoxMeasuresSortsDrawsAndDeletesItsItems)
{
    for (const ListCase& c : kListCases) {
        SCOPED_TRACE(c.name);
        CDrawingParent parent;
        ASSERT_TRUE(parent.CreateShown());
        CDrawnList list;
        ASSERT_TRUE(list.Create(
            c.style | LBS_SORT | WS_VISIBLE | WS_VSCROLL, CRect(100, 10, 230, 190), &parent, ID_DRAWN_LIST));
        ExpectListAnswersItself(parent, list, ID_DRAWN_LIST, c.measuresEachItem);
    }
}

// The dialog manager makes the controls; the dialog binds them to their objects at WM_INITDIALOG.
class COwnerDrawDialog : public CDialog {
public:
    CDrawnButton m_button;
    CDrawnList m_list;

protected:
    BOOL OnInitDialog() override
    {
        m_button.SubclassDlgItem(IDC_OWNERDRAW_BUTTON, this);
        m_list.SubclassDlgItem(IDC_OWNERDRAW_LIST, this);
        return TRUE;
    }
};

TEST(OwnerDraw, DialogControlsBoundLaterAnswerThemselves)
{
    COwnerDrawDialog dialog;
    ASSERT_TRUE(dialog.Create(IDD_OWNERDRAW_TEST));
    ASSERT_NE(nullptr, dialog.m_button.m_hWnd);
    ASSERT_NE(nullptr, dialog.m_list.m_hWnd);
    ExpectListAnswersItself(dialog, dialog.m_list, IDC_OWNERDRAW_LIST, true);
    ExpectButtonDrawing(dialog.m_button.m_draws, dialog.m_button, IDC_OWNERDRAW_BUTTON);
    dialog.DestroyWindow();
}

TEST(OwnerDraw, SetCursorReachesTheParentsHandler)
{
    CDrawingParent parent;
    ASSERT_TRUE(parent.CreateHidden());
    CButton button;
    ASSERT_TRUE(button.Create("plain", BS_PUSHBUTTON | WS_VISIBLE, CRect(10, 10, 90, 40), &parent, ID_PLAIN_BUTTON));
    // A child's default procedure asks its parent first; the parent's TRUE ends the search.
    EXPECT_EQ(TRUE, button.SendMessage(WM_SETCURSOR, (WPARAM)button.m_hWnd, MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)));
    EXPECT_EQ(1, parent.m_cursorRequests);
    EXPECT_EQ(button.m_hWnd, parent.m_cursorWindow);
    EXPECT_EQ((UINT)HTCLIENT, parent.m_hitTest);
    EXPECT_EQ((UINT)WM_MOUSEMOVE, parent.m_mouseMessage);
}

// ---- SetRadio ----

struct MenuEntryState {
    bool radio;
    bool checked;
    bool grayed;
};

MenuEntryState ReadMenuEntry(HMENU menu, UINT index, CString& text)
{
    char buffer[32] = {};
    MENUITEMINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_STRING;
    info.dwTypeData = buffer;
    info.cch = sizeof buffer;
    EXPECT_TRUE(::GetMenuItemInfoA(menu, index, TRUE, &info));
    text = buffer;
    return {(info.fType & MFT_RADIOCHECK) != 0, (info.fState & MFS_CHECKED) != 0, (info.fState & MFS_GRAYED) != 0};
}

TEST(CmdUI, SetRadioMarksOneMenuEntry)
{
    const char* const names[] = {"Best", "Good", "Fast"};
    HMENU menu = ::CreatePopupMenu();
    for (UINT i = 0; i < 3; ++i)
        ::AppendMenuA(menu, MF_STRING | (i == 2 ? MF_GRAYED : 0), 500 + i, names[i]);

    // Each row is one update pass: the handler of entry i calls SetRadio(i == chosen).
    struct {
        int chosen;
    } const passes[] = {{1}, {0}, {2}, {-1}};
    for (const auto& pass : passes) {
        for (UINT i = 0; i < 3; ++i) {
            CCmdUI ui;
            ui.m_hMenu = menu;
            ui.m_nIndex = i;
            ui.m_nID = 500 + i;
            ui.SetRadio((int)i == pass.chosen);
        }
        for (UINT i = 0; i < 3; ++i) {
            CString text;
            const MenuEntryState state = ReadMenuEntry(menu, i, text);
            const bool chosen = (int)i == pass.chosen;
            EXPECT_EQ(chosen, state.radio) << pass.chosen << " " << i;
            EXPECT_EQ(chosen, state.checked) << pass.chosen << " " << i;
            // The entry keeps its text and its enabled state.
            EXPECT_STREQ(names[i], text);
            EXPECT_EQ(i == 2, state.grayed) << pass.chosen << " " << i;
        }
    }
    ::DestroyMenu(menu);
}

TEST(CmdUI, SetRadioChecksAButton)
{
    CPlainParent parent;
    ASSERT_TRUE(parent.CreateHidden());
    CButton button;
    ASSERT_TRUE(button.Create("choice", BS_RADIOBUTTON | WS_VISIBLE, CRect(10, 10, 90, 40), &parent, ID_PLAIN_BUTTON));
    CCmdUI ui;
    ui.m_nID = ID_PLAIN_BUTTON;
    ui.m_pOther = &button;
    ui.SetRadio(TRUE);
    EXPECT_EQ(BST_CHECKED, button.GetCheck());
    ui.SetRadio(FALSE);
    EXPECT_EQ(BST_UNCHECKED, button.GetCheck());
}

}  // namespace
