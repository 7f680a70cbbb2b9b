#include "framework/App.h"
#include "framework/Document.h"
#include "framework/View.h"

#include "tests/framework/TestResources.h"

#include <gtest/gtest.h>

#include <string>

namespace {

int g_nLiveDocs = 0;
int g_nLiveViews = 0;
std::string g_docTrail;

class CTestDoc : public CDocument {
    DECLARE_DYNCREATE(CTestDoc)
public:
    CTestDoc() { ++g_nLiveDocs; }
    ~CTestDoc() override { --g_nLiveDocs; }
    BOOL OnNewDocument() override
    {
        g_docTrail += 'N';
        return CDocument::OnNewDocument();
    }
    BOOL OnOpenDocument(LPCSTR path) override
    {
        g_docTrail += 'O';
        return std::string(path) != "unreadable.tc" && CDocument::OnOpenDocument(path);
    }
    BOOL OnSaveDocument(LPCSTR path) override
    {
        m_strSavedTo = path;
        return CDocument::OnSaveDocument(path);
    }
    std::string m_strSavedTo;

protected:
    void OnDocCommand() { g_docTrail += 'D'; }
    DECLARE_MESSAGE_MAP()
};

IMPLEMENT_DYNCREATE(CTestDoc, CDocument)
BEGIN_MESSAGE_MAP(CTestDoc, CDocument)
    ON_COMMAND(ID_DOC_COMMAND, OnDocCommand)
END_MESSAGE_MAP()

class CTestView : public CView {
    DECLARE_DYNCREATE(CTestView)
public:
    CTestView() { ++g_nLiveViews; }
    ~CTestView() override { --g_nLiveViews; }
    int m_nInitialUpdates = 0;
    int m_nUpdates = 0;
    void OnInitialUpdate() override
    {
        ++m_nInitialUpdates;
        CView::OnInitialUpdate();
    }
    void OnUpdate(CView* sender, LPARAM hint, CObject* hintObject) override
    {
        ++m_nUpdates;
        CView::OnUpdate(sender, hint, hintObject);
    }
};

IMPLEMENT_DYNCREATE(CTestView, CView)

class DocumentTest : public testing::Test {
protected:
    void SetUp() override
    {
        g_docTrail.clear();
        m_pTemplate = new CDocTemplate(
            IDR_DOC_TEST, RUNTIME_CLASS(CTestDoc), RUNTIME_CLASS(CFrameWnd), RUNTIME_CLASS(CTestView));
        m_App.AddDocTemplate(m_pTemplate);
    }
    void TearDown() override
    {
        while (POSITION pos = m_pTemplate->GetFirstDocPosition())
            m_pTemplate->GetNextDoc(pos)->OnCloseDocument();
        EXPECT_EQ(0, g_nLiveDocs);
        EXPECT_EQ(0, g_nLiveViews);
    }
    static CTestView* FirstView(CDocument* doc)
    {
        POSITION pos = doc->GetFirstViewPosition();
        return pos ? static_cast<CTestView*>(doc->GetNextView(pos)) : nullptr;
    }

    CWinApp m_App;
    CDocTemplate* m_pTemplate = nullptr;   // the application's
};

TEST_F(DocumentTest, DocStringsAreTheFieldsOfTheResource)
{
    const char* expected[] = {"Curves", "Tone", "ToneCurve ", "ToneCurve (*.tc)", ".tc", "ZelkToneCurves",
        "ZelkToneCurves type"};
    CString text;
    for (int i = 0; i < 7; ++i) {
        EXPECT_TRUE(m_pTemplate->GetDocString(text, (CDocTemplate::DocStringIndex)i)) << i;
        EXPECT_STREQ(expected[i], text) << i;
    }
    CDocTemplate missing(9999, RUNTIME_CLASS(CTestDoc), RUNTIME_CLASS(CFrameWnd), RUNTIME_CLASS(CTestView));
    EXPECT_FALSE(missing.GetDocString(text, CDocTemplate::docName));
    EXPECT_TRUE(text.IsEmpty());
    EXPECT_STREQ("CTestView", m_pTemplate->m_pViewClass->m_lpszClassName);
}

TEST_F(DocumentTest, TemplateMakesDocumentFrameAndView)
{
    CDocument* doc = m_pTemplate->OpenDocumentFile(nullptr, FALSE);
    ASSERT_NE(nullptr, doc);
    EXPECT_EQ("N", g_docTrail);
    EXPECT_EQ(m_pTemplate, doc->GetDocTemplate());
    CTestView* view = FirstView(doc);
    ASSERT_NE(nullptr, view);
    EXPECT_EQ(doc, view->GetDocument());
    EXPECT_EQ((int)AFX_IDW_PANE_FIRST, view->GetDlgCtrlID());
    CFrameWnd* frame = view->GetParentFrame();
    ASSERT_NE(nullptr, frame);
    EXPECT_EQ(view, frame->GetActiveView());
    EXPECT_EQ(doc, frame->GetActiveDocument());
    EXPECT_EQ(1, view->m_nInitialUpdates);
    EXPECT_FALSE(frame->IsWindowVisible());
    CString title;
    frame->GetWindowText(title);
    EXPECT_STREQ("Curves", title);   // the resource's title stays while the document has none

    // Commands reach the document through the frame and the view.
    frame->SendMessage(WM_COMMAND, MAKEWPARAM(ID_DOC_COMMAND, 0), 0);
    EXPECT_EQ("ND", g_docTrail);

    // A second frame on the same document: both are numbered, and updates skip the sender.
    doc->SetTitle("Tone1");
    CFrameWnd* second = m_pTemplate->CreateNewFrame(doc, frame);
    ASSERT_NE(nullptr, second);
    m_pTemplate->InitialUpdateFrame(second, doc, FALSE);
    CString secondTitle;
    frame->GetWindowText(title);
    second->GetWindowText(secondTitle);
    EXPECT_STREQ("Tone1:1", title);
    EXPECT_STREQ("Tone1:2", secondTitle);
    CTestView* other = static_cast<CTestView*>(second->GetActiveView());
    const int before = view->m_nUpdates;
    doc->UpdateAllViews(view);
    EXPECT_EQ(before, view->m_nUpdates);
    EXPECT_EQ(2, other->m_nUpdates);   // its first update and this one

    // Closing the document takes its frames and views with it.
    const HWND frames[] = {frame->m_hWnd, second->m_hWnd};
    doc->OnCloseDocument();
    EXPECT_FALSE(IsWindow(frames[0]));
    EXPECT_FALSE(IsWindow(frames[1]));
    EXPECT_EQ(nullptr, m_pTemplate->GetFirstDocPosition());
}

TEST_F(DocumentTest, OpeningReadsThePathAndAFailureLeavesNothing)
{
    CDocument* doc = m_pTemplate->OpenDocumentFile("C:\\curves\\portrait.tc", FALSE);
    ASSERT_NE(nullptr, doc);
    EXPECT_EQ("O", g_docTrail);
    EXPECT_STREQ("C:\\curves\\portrait.tc", doc->GetPathName());
    EXPECT_STREQ("portrait.tc", doc->GetTitle());
    EXPECT_FALSE(doc->IsModified());
    doc->OnCloseDocument();

    EXPECT_EQ(nullptr, m_pTemplate->OpenDocumentFile("unreadable.tc", FALSE));
    EXPECT_EQ(nullptr, m_pTemplate->GetFirstDocPosition());
    EXPECT_EQ(0, g_nLiveDocs);
    EXPECT_EQ(0, g_nLiveViews);
}

TEST_F(DocumentTest, SavingAndClosing)
{
    auto* doc = static_cast<CTestDoc*>(m_pTemplate->OpenDocumentFile(nullptr, FALSE));
    ASSERT_NE(nullptr, doc);
    doc->SetModifiedFlag();
    // The base asks no name: without a path nothing is saved.
    EXPECT_FALSE(doc->DoFileSave());
    EXPECT_TRUE(doc->IsModified());
    EXPECT_TRUE(doc->DoSave("C:\\curves\\new.tc", FALSE));
    EXPECT_EQ("C:\\curves\\new.tc", doc->m_strSavedTo);
    EXPECT_TRUE(doc->GetPathName().IsEmpty());   // without replace the document keeps its name
    EXPECT_FALSE(doc->IsModified());
    EXPECT_TRUE(doc->DoSave("C:\\curves\\kept.tc"));
    EXPECT_STREQ("kept.tc", doc->GetTitle());
    EXPECT_TRUE(doc->DoFileSave());
    EXPECT_EQ("C:\\curves\\kept.tc", doc->m_strSavedTo);
    // Not modified: Close needs no question.
    doc->OnFileClose();
    EXPECT_EQ(0, g_nLiveDocs);
}

}  // namespace
