#include "dialogs/Localize.h"

#include "core/messages/MsgString.h"
#include "framework/Wnd.h"

namespace {

constexpr int kFirstCatalogControl = 3001;
constexpr int kLastCatalogControl = 7999;

}  // namespace

void Localize(CWnd* dialog)
{
    for (HWND child = ::GetWindow(dialog->m_hWnd, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
        const int id = ::GetDlgCtrlID(child);
        if (id < kFirstCatalogControl || id > kLastCatalogControl)
            continue;
        // A text missing from the catalog leaves the placeholder rather than a blank control.
        CMsgString text(id);
        if (!text.IsEmpty())
            ::SetWindowTextA(child, text);
    }
}
