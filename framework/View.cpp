#include "framework/View.h"

#include "framework/Dialog.h"
#include "framework/Document.h"
#include "framework/Gdi.h"
#include "framework/Module.h"

#include <cstring>
#include <vector>

IMPLEMENT_DYNAMIC(CView, CWnd)
IMPLEMENT_DYNAMIC(CFormView, CView)

BEGIN_MESSAGE_MAP(CView, CWnd)
    ON_WM_PAINT()
    ON_WM_MOUSEACTIVATE()
    ON_WM_DESTROY()
    ON_MESSAGE(WM_INITIALUPDATE, OnInitialUpdateMessage)
END_MESSAGE_MAP()

CView::CView() : m_bCreating(FALSE), m_pDocument(nullptr) {}

CView::~CView()
{
    if (m_pDocument)
        m_pDocument->RemoveView(this);
}

BOOL CView::OnCmdMsg(UINT id, int code, LPARAM lParam)
{
    return CWnd::OnCmdMsg(id, code, lParam) || (m_pDocument && m_pDocument->OnCmdMsg(id, code, lParam));
}

void CView::OnUpdate(CView*, LPARAM, CObject*)
{
    Invalidate();
}

LRESULT CView::OnInitialUpdateMessage(WPARAM, LPARAM)
{
    OnInitialUpdate();
    return 0;
}

BOOL CView::Create(
    LPCSTR className, LPCSTR windowName, DWORD style, const RECT& rect, CWnd* parent, UINT id, LPVOID param)
{
    m_bCreating = TRUE;
    const BOOL created = CWnd::Create(className, windowName, style, rect, parent, id, param);
    m_bCreating = FALSE;
    return created;
}

void CView::OnDraw(CDC*) { }

void CView::OnActivateView(BOOL activate, CView*, CView*)
{
    // Keyboard input follows the active view, but only inside the active window.
    const CFrameWnd* frame = GetParentFrame();
    if (activate && frame && ::GetActiveWindow() == frame->m_hWnd)
        SetFocus();
}

void CView::OnInitialUpdate()
{
    OnUpdate(nullptr, 0, nullptr);
}

void CView::OnPaint()
{
    CPaintDC dc(this);
    OnDraw(&dc);
}

int CView::OnMouseActivate(CWnd* desktop, UINT hitTest, UINT message)
{
    const int result = CWnd::OnMouseActivate(desktop, hitTest, message);
    if (CFrameWnd* frame = GetParentFrame())
        frame->SetActiveView(this);
    return result;
}

void CView::OnDestroy()
{
    if (CFrameWnd* frame = GetParentFrame(); frame && frame->GetActiveView() == this)
        frame->SetActiveView(nullptr, FALSE);
    CWnd::OnDestroy();
}

void CView::PostNcDestroy()
{
    if (!m_bCreating)
        delete this;
}

// ---- CFormView ----

namespace {

// A copy of the template with the style of a child window: the template may be written as a
// pop-up dialog, and a resource is read-only.
std::vector<BYTE> ChildTemplate(LPCSTR name)
{
    const HINSTANCE module = AfxGetResourceHandle();
    const HRSRC resource = ::FindResourceA(module, name, (LPCSTR)RT_DIALOG);
    const HGLOBAL loaded = resource ? ::LoadResource(module, resource) : nullptr;
    const BYTE* bytes = loaded ? static_cast<const BYTE*>(::LockResource(loaded)) : nullptr;
    const DWORD size = resource ? ::SizeofResource(module, resource) : 0;
    if (!bytes || size < 18)
        return {};
    std::vector<BYTE> copy(bytes, bytes + size);
    WORD signature = 0;
    std::memcpy(&signature, &copy[2], sizeof signature);
    // The extended layout starts with a version word and the signature 0xFFFF, then help id,
    // extended style and style; the plain one starts with style and extended style.
    const size_t styleAt = signature == 0xFFFF ? 12 : 0;
    const size_t exStyleAt = signature == 0xFFFF ? 8 : 4;
    DWORD style = 0;
    DWORD exStyle = 0;
    std::memcpy(&style, &copy[styleAt], sizeof style);
    std::memcpy(&exStyle, &copy[exStyleAt], sizeof exStyle);
    style &= ~(WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | DS_MODALFRAME | WS_VISIBLE | WS_DISABLED);
    style |= WS_CHILD;
    exStyle |= WS_EX_CONTROLPARENT;
    std::memcpy(&copy[styleAt], &style, sizeof style);
    std::memcpy(&copy[exStyleAt], &exStyle, sizeof exStyle);
    return copy;
}

}  // namespace

CFormView::CFormView(UINT templateId) : m_lpszTemplateName(MAKEINTRESOURCEA(templateId)) { }

CFormView::CFormView(LPCSTR templateName) : m_lpszTemplateName(templateName) { }

BOOL CFormView::Create(LPCSTR, LPCSTR, DWORD style, const RECT& rect, CWnd* parent, UINT id, LPVOID)
{
    const std::vector<BYTE> dialogTemplate = ChildTemplate(m_lpszTemplateName);
    if (dialogTemplate.empty() || !parent)
        return FALSE;
    m_bCreating = TRUE;
    HookWindowCreate();
    const HWND hWnd = ::CreateDialogIndirectParamA(AfxGetResourceHandle(),
        reinterpret_cast<LPCDLGTEMPLATEA>(dialogTemplate.data()), parent->m_hWnd, AfxDlgProc, 0);
    UnhookWindowCreate();
    m_bCreating = FALSE;
    if (!hWnd)
        return FALSE;
    ::SetWindowLongPtrA(hWnd, GWLP_ID, (LONG_PTR)id);
    CRect place(rect);
    if (place.IsRectEmpty()) {
        CRect own;
        ::GetWindowRect(hWnd, &own);
        place = CRect(place.TopLeft(), own.Size());
    }
    ::SetWindowPos(hWnd, nullptr, place.left, place.top, place.Width(), place.Height(),
        SWP_NOZORDER | SWP_NOACTIVATE | ((style & WS_VISIBLE) ? SWP_SHOWWINDOW : 0));
    return TRUE;
}

BOOL CFormView::PreTranslateMessage(MSG* msg)
{
    if (msg->message < WM_KEYFIRST || msg->message > WM_KEYLAST)
        return FALSE;
    if (CFrameWnd* frame = GetParentFrame(); frame && frame->TranslateAccelerators(msg))
        return TRUE;
    return ::IsDialogMessageA(m_hWnd, msg);
}
