#pragma once

// Documents and document templates. A CDocument holds the data that its views show; a template
// knows the classes of a kind of document, its frame and its view and makes the three together:
// the document, a frame loaded from the template's resource id (title, icon, menu, accelerators)
// whose creation makes the view, and the first update of that frame. There is no serialisation:
// a document that reads or writes a file overrides OnOpenDocument and OnSaveDocument. No MDI, no
// shell registration; file dialogs belong to the program.

#include "framework/Collections.h"
#include "framework/Frame.h"
#include "framework/String.h"

class CDocTemplate;
class CView;

class CDocument : public CCmdTarget {
    DECLARE_DYNAMIC(CDocument)
public:
    CDocument();
    ~CDocument() override;

    const CString& GetTitle() const { return m_strTitle; }
    virtual void SetTitle(LPCSTR title);
    const CString& GetPathName() const { return m_strPathName; }
    // Also makes the file's name (without folder) the title.
    virtual void SetPathName(LPCSTR path, BOOL addToRecentList = TRUE);
    CDocTemplate* GetDocTemplate() const { return m_pDocTemplate; }
    virtual BOOL IsModified() { return m_bModified; }
    virtual void SetModifiedFlag(BOOL modified = TRUE) { m_bModified = modified; }

    void AddView(CView* view);
    void RemoveView(CView* view);
    POSITION GetFirstViewPosition() const { return m_viewList.GetHeadPosition(); }
    CView* GetNextView(POSITION& pos) const { return static_cast<CView*>(m_viewList.GetNext(pos)); }
    void UpdateAllViews(CView* sender, LPARAM hint = 0, CObject* hintObject = nullptr);
    // Numbers the frames of the document's views (1, 2, ... when there are several) and retitles them.
    void UpdateFrameCounts();

    virtual void DeleteContents();
    // Empty contents, no path, not modified.
    virtual BOOL OnNewDocument();
    // The base empties the contents and clears the modified flag; reading is the derived class's.
    virtual BOOL OnOpenDocument(LPCSTR path);
    // The base only clears the modified flag; writing is the derived class's.
    virtual BOOL OnSaveDocument(LPCSTR path);
    // Destroys the frames of the views and deletes the document.
    virtual void OnCloseDocument();
    // TRUE when the document may close. The base allows it when nothing is modified and asks the
    // user (Yes saves, Cancel keeps it open) otherwise.
    virtual BOOL SaveModified();
    // Saves under path (the base needs one: asking for a name is the program's), and with replace the
    // path becomes the document's.
    virtual BOOL DoSave(LPCSTR path, BOOL replace = TRUE);
    virtual BOOL DoFileSave();
    // The Close command: SaveModified, then OnCloseDocument.
    void OnFileClose();

    BOOL m_bAutoDelete;   // OnCloseDocument deletes the document

protected:
    friend class CDocTemplate;
    CString m_strTitle;
    CString m_strPathName;
    CDocTemplate* m_pDocTemplate;
    CPtrList m_viewList;
    BOOL m_bModified;
};

// What a frame's creation needs to make its view.
struct CCreateContext {
    const CRuntimeClass* m_pNewViewClass = nullptr;
    CDocument* m_pCurrentDoc = nullptr;
    CDocTemplate* m_pNewDocTemplate = nullptr;
    CFrameWnd* m_pCurrentFrame = nullptr;
};

class CDocTemplate : public CCmdTarget {
    DECLARE_DYNAMIC(CDocTemplate)
public:
    // The string resource resourceId holds the fields of DocStringIndex separated by '\n'.
    CDocTemplate(UINT resourceId, const CRuntimeClass* docClass, const CRuntimeClass* frameClass,
                 const CRuntimeClass* viewClass);
    ~CDocTemplate() override;

    enum DocStringIndex { windowTitle, docName, fileNewName, filterName, filterExt, regFileTypeId, regFileTypeName };
    virtual BOOL GetDocString(CString& text, DocStringIndex index) const;

    // A new, empty document of the template's class, entered in its list; NULL when it cannot be
    // made. Neither OnNewDocument nor a frame.
    virtual CDocument* CreateNewDocument();
    // A frame of the template's class for the document, loaded from the resource id, with the view
    // made in its creation; NULL (and no window) when that fails.
    virtual CFrameWnd* CreateNewFrame(CDocument* doc, CFrameWnd* other);
    // Active view, the first update of every view, show, retitle.
    virtual void InitialUpdateFrame(CFrameWnd* frame, CDocument* doc, BOOL makeVisible = TRUE);
    // Document, frame, then OnOpenDocument(path) or, without a path, OnNewDocument; NULL and nothing
    // left behind when a step fails.
    virtual CDocument* OpenDocumentFile(LPCSTR path, BOOL makeVisible = TRUE);

    virtual void AddDocument(CDocument* doc);
    virtual void RemoveDocument(CDocument* doc);
    POSITION GetFirstDocPosition() const { return m_docList.GetHeadPosition(); }
    CDocument* GetNextDoc(POSITION& pos) const { return static_cast<CDocument*>(m_docList.GetNext(pos)); }

    UINT m_nIDResource;
    const CRuntimeClass* m_pDocClass;
    const CRuntimeClass* m_pFrameClass;
    const CRuntimeClass* m_pViewClass;

protected:
    CPtrList m_docList;
};
