#pragma once

// CView: the child of a frame that fills the area its bars leave (id AFX_IDW_PANE_FIRST). CFormView
// is a view made from a dialog template: the template's controls in a child window, with the
// dialog manager's keyboard handling. A view deletes itself with its window, so it is made with new;
// one whose Create failed is still its caller's to delete.

#include "framework/Frame.h"

class CDC;
class CDocument;

class CView : public CWnd {
    DECLARE_DYNAMIC(CView)
    DECLARE_MESSAGE_MAP()
public:
    CView();
    ~CView() override;   // leaves its document

    // A plain child window of the default class; WS_CHILD is added.
    BOOL Create(LPCSTR className, LPCSTR windowName, DWORD style, const RECT& rect, CWnd* parent, UINT id,
        LPVOID param = nullptr) override;

    // The document the view shows, or NULL.
    CDocument* GetDocument() const { return m_pDocument; }
    // The view's own maps, then its document's.
    BOOL OnCmdMsg(UINT id, int code, LPARAM lParam) override;
    // The document changed; the base repaints.
    virtual void OnUpdate(CView* sender, LPARAM hint, CObject* hintObject);

    virtual void OnDraw(CDC* dc);
    virtual void OnActivateView(BOOL activate, CView* activateView, CView* deactiveView);
    virtual void OnInitialUpdate();

protected:
    friend class CDocument;
    LRESULT OnInitialUpdateMessage(WPARAM, LPARAM);
    void OnPaint();
    int OnMouseActivate(CWnd* desktop, UINT hitTest, UINT message);
    void OnDestroy();
    void PostNcDestroy() override;

    // Set while Create runs: a window that dies inside its own creation must not take the object.
    BOOL m_bCreating;
    CDocument* m_pDocument;
};

class CFormView : public CView {
    DECLARE_DYNAMIC(CFormView)
public:
    explicit CFormView(UINT templateId);
    explicit CFormView(LPCSTR templateName);

    // The template's dialog as a child of parent with the given id, moved to rect (the template's
    // own size at rect's corner when rect is empty); className and windowName are not used, and of
    // style only WS_VISIBLE counts.
    BOOL Create(LPCSTR className, LPCSTR windowName, DWORD style, const RECT& rect, CWnd* parent, UINT id,
        LPVOID param = nullptr) override;

    // The frame's accelerators first, then the dialog keys (Tab, arrows, mnemonics).
    BOOL PreTranslateMessage(MSG* msg) override;

protected:
    LPCSTR m_lpszTemplateName;
};
