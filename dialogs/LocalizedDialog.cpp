#include "dialogs/LocalizedDialog.h"

#include "core/messages/MsgString.h"

namespace {

constexpr int kFirstCatalogControl = 3001;
constexpr int kLastCatalogControl = 7999;
// Templates hold far fewer; the bound keeps a broken window list from running on.
constexpr int kMostControls = 256;

}  // namespace

BOOL CLocalizedDialog::OnInitDialog()
{
    CDialog::OnInitDialog();
    Localize(this);
    return TRUE;
}

void Localize(CWnd* window)
{
    HWND child = ::GetWindow(window->m_hWnd, GW_CHILD);
    for (int count = 0; child != nullptr && count < kMostControls; ++count, child = ::GetWindow(child, GW_HWNDNEXT)) {
        const int id = ::GetDlgCtrlID(child);
        if (id < kFirstCatalogControl || id > kLastCatalogControl)
            continue;
        // A text missing from the catalog leaves the placeholder rather than a blank control.
        CMsgString text(id);
        if (!text.IsEmpty())
            ::SetWindowTextA(child, text);
    }
}
