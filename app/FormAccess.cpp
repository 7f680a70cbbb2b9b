#include "app/FormAccess.h"

#include "framework/App.h"
#include "framework/Frame.h"
#include "framework/View.h"

int32_t g_nViewState = 0;

CWnd* MainForm()
{
    auto* frame = dynamic_cast<CFrameWnd*>(AfxGetMainWnd());
    if (!frame || !frame->m_hWnd)
        return nullptr;
    CView* view = frame->GetActiveView();
    return view && view->m_hWnd ? view : nullptr;
}

void SetMainFormItemText(int id, const char* text)
{
    CWnd* form = MainForm();
    if (!form)
        return;
    if (const HWND item = ::GetDlgItem(form->m_hWnd, id))
        ::SetWindowTextA(item, text);
}
