#include "framework/Document.h"

#include "framework/App.h"
#include "framework/View.h"

IMPLEMENT_DYNAMIC(CDocument, CCmdTarget)
IMPLEMENT_DYNAMIC(CDocTemplate, CCmdTarget)

// ---- CDocument ----

CDocument::CDocument() : m_bAutoDelete(TRUE), m_pDocTemplate(nullptr), m_bModified(FALSE) {}

CDocument::~CDocument()
{
    // Views outliving their document must not call back into it.
    for (POSITION pos = GetFirstViewPosition(); pos;)
        GetNextView(pos)->m_pDocument = nullptr;
    if (m_pDocTemplate)
        m_pDocTemplate->RemoveDocument(this);
}

void CDocument::SetTitle(LPCSTR title)
{
    m_strTitle = title ? title : "";
    UpdateFrameCounts();
}

void CDocument::SetPathName(LPCSTR path, BOOL)
{
    m_strPathName = path ? path : "";
    const int slash = m_strPathName.ReverseFind('\\');
    SetTitle(m_strPathName.Mid(slash + 1));
}

void CDocument::AddView(CView* view)
{
    if (!view || m_viewList.Find(view))
        return;
    m_viewList.AddTail(view);
    view->m_pDocument = this;
}

void CDocument::RemoveView(CView* view)
{
    if (POSITION pos = m_viewList.Find(view)) {
        m_viewList.RemoveAt(pos);
        view->m_pDocument = nullptr;
    }
}

void CDocument::UpdateAllViews(CView* sender, LPARAM hint, CObject* hintObject)
{
    for (POSITION pos = GetFirstViewPosition(); pos;)
        if (CView* view = GetNextView(pos); view != sender)
            view->OnUpdate(sender, hint, hintObject);
}

void CDocument::UpdateFrameCounts()
{
    CPtrList frames;
    for (POSITION pos = GetFirstViewPosition(); pos;)
        if (CFrameWnd* frame = GetNextView(pos)->GetParentFrame(); frame && !frames.Find(frame))
            frames.AddTail(frame);
    int number = frames.GetCount() > 1 ? 1 : 0;
    for (POSITION pos = frames.GetHeadPosition(); pos;) {
        auto* frame = static_cast<CFrameWnd*>(frames.GetNext(pos));
        frame->m_nWindow = number ? number++ : 0;
        frame->OnUpdateFrameTitle(TRUE);
    }
}

void CDocument::DeleteContents() {}

BOOL CDocument::OnNewDocument()
{
    DeleteContents();
    m_strPathName.Empty();
    SetModifiedFlag(FALSE);
    return TRUE;
}

BOOL CDocument::OnOpenDocument(LPCSTR)
{
    DeleteContents();
    SetModifiedFlag(FALSE);
    return TRUE;
}

BOOL CDocument::OnSaveDocument(LPCSTR)
{
    SetModifiedFlag(FALSE);
    return TRUE;
}

void CDocument::OnCloseDocument()
{
    // Destroying a frame destroys its views, which leave the list as they go.
    while (POSITION pos = GetFirstViewPosition()) {
        CView* view = GetNextView(pos);
        CFrameWnd* frame = view->GetParentFrame();
        if (frame)
            frame->DestroyWindow();
        else
            view->DestroyWindow();
        RemoveView(view);
    }
    DeleteContents();
    if (m_bAutoDelete)
        delete this;
}

BOOL CDocument::SaveModified()
{
    if (!IsModified())
        return TRUE;
    CString question;
    question.Format("Save changes to %s?", (LPCSTR)(m_strPathName.IsEmpty() ? m_strTitle : m_strPathName));
    switch (AfxMessageBox(question, MB_YESNOCANCEL | MB_ICONQUESTION)) {
    case IDCANCEL: return FALSE;
    case IDYES: return DoFileSave();
    default: return TRUE;
    }
}

BOOL CDocument::DoSave(LPCSTR path, BOOL replace)
{
    if (!path || !*path || !OnSaveDocument(path))
        return FALSE;
    if (replace)
        SetPathName(path);
    return TRUE;
}

BOOL CDocument::DoFileSave()
{
    return DoSave(m_strPathName, TRUE);
}

void CDocument::OnFileClose()
{
    if (SaveModified())
        OnCloseDocument();
}

// ---- CDocTemplate ----

CDocTemplate::CDocTemplate(UINT resourceId, const CRuntimeClass* docClass, const CRuntimeClass* frameClass,
    const CRuntimeClass* viewClass)
    : m_nIDResource(resourceId), m_pDocClass(docClass), m_pFrameClass(frameClass), m_pViewClass(viewClass)
{
}

CDocTemplate::~CDocTemplate()
{
    for (POSITION pos = GetFirstDocPosition(); pos;)
        GetNextDoc(pos)->m_pDocTemplate = nullptr;
}

BOOL CDocTemplate::GetDocString(CString& text, DocStringIndex index) const
{
    text.Empty();
    CString all;
    if (!all.LoadString(m_nIDResource))
        return FALSE;
    int start = 0;
    for (int field = 0; field < (int)index; ++field) {
        const int end = all.Find('\n', start);
        if (end < 0)
            return FALSE;
        start = end + 1;
    }
    const int end = all.Find('\n', start);
    text = end < 0 ? all.Mid(start) : all.Mid(start, end - start);
    return TRUE;
}

CDocument* CDocTemplate::CreateNewDocument()
{
    CObject* object = m_pDocClass ? m_pDocClass->CreateObject() : nullptr;
    auto* doc = dynamic_cast<CDocument*>(object);
    if (!doc) {
        delete object;
        return nullptr;
    }
    AddDocument(doc);
    return doc;
}

CFrameWnd* CDocTemplate::CreateNewFrame(CDocument* doc, CFrameWnd* other)
{
    CObject* object = m_pFrameClass ? m_pFrameClass->CreateObject() : nullptr;
    auto* frame = dynamic_cast<CFrameWnd*>(object);
    if (!frame) {
        delete object;
        return nullptr;
    }
    CCreateContext context;
    context.m_pNewViewClass = m_pViewClass;
    context.m_pCurrentDoc = doc;
    context.m_pNewDocTemplate = this;
    context.m_pCurrentFrame = other;
    // A frame whose window was made and destroyed again has deleted itself already.
    return frame->LoadFrame(m_nIDResource, WS_OVERLAPPEDWINDOW, nullptr, &context) ? frame : nullptr;
}

void CDocTemplate::InitialUpdateFrame(CFrameWnd* frame, CDocument* doc, BOOL makeVisible)
{
    frame->InitialUpdateFrame(doc, makeVisible);
}

CDocument* CDocTemplate::OpenDocumentFile(LPCSTR path, BOOL makeVisible)
{
    CDocument* doc = CreateNewDocument();
    if (!doc)
        return nullptr;
    CFrameWnd* frame = CreateNewFrame(doc, nullptr);
    if (!frame) {
        delete doc;
        return nullptr;
    }
    const BOOL ready = path ? doc->OnOpenDocument(path) : doc->OnNewDocument();
    if (!ready) {
        frame->DestroyWindow();
        delete doc;
        return nullptr;
    }
    if (path)
        doc->SetPathName(path);
    InitialUpdateFrame(frame, doc, makeVisible);
    return doc;
}

void CDocTemplate::AddDocument(CDocument* doc)
{
    if (!doc || m_docList.Find(doc))
        return;
    m_docList.AddTail(doc);
    doc->m_pDocTemplate = this;
}

void CDocTemplate::RemoveDocument(CDocument* doc)
{
    if (POSITION pos = m_docList.Find(doc)) {
        m_docList.RemoveAt(pos);
        doc->m_pDocTemplate = nullptr;
    }
}
