#include "tests/support/Reports.h"

#include "core/messages/MessageCatalog.h"
#include "core/messages/MessageReporter.h"
#include "tests/support/Screenshot.h"

#include <gtest/gtest.h>

namespace {

std::vector<int> g_ReportedIds;
std::vector<std::string> g_ReportedTexts;
std::vector<unsigned> g_BoxStyles;
std::vector<int> g_BoxAnswers;
size_t g_nNextAnswer = 0;
CMessageReporter::BoxFunction g_PreviousBox = nullptr;
int g_nAnswer = IDOK;

int WINAPI RecordBox(HWND, LPCSTR text, LPCSTR, UINT style)
{
    g_ReportedIds.push_back(g_MessageReporter.GetMessageId());
    g_ReportedTexts.push_back(text != nullptr ? text : "");
    g_BoxStyles.push_back(style);
    return g_nNextAnswer < g_BoxAnswers.size() ? g_BoxAnswers[g_nNextAnswer++] : g_nAnswer;
}

}  // namespace

void LoadEnglishCatalog()
{
    if (g_pMessageCatalog != nullptr)
        return;
    auto* catalog = new CMessageCatalog(CString("ENG.MSG"));
    std::string path = testsupport::ProgramDirectory() + "ENG.MSG";
    ASSERT_TRUE(catalog->Load(CString(path.c_str())));
    catalog->m_nState = kCatalogLoaded;
    g_pMessageCatalog = catalog;
}

CReportRecorder::CReportRecorder()
{
    Clear();
    g_nAnswer = IDOK;
    g_PreviousBox = g_MessageReporter.SetBoxFunction(RecordBox);
}

CReportRecorder::~CReportRecorder() { g_MessageReporter.SetBoxFunction(g_PreviousBox); }

const std::vector<int>& CReportRecorder::Ids() const { return g_ReportedIds; }

std::vector<std::string> CReportRecorder::Texts() const { return g_ReportedTexts; }

void CReportRecorder::Clear()
{
    g_ReportedIds.clear();
    g_ReportedTexts.clear();
    g_BoxStyles.clear();
    g_BoxAnswers.clear();
    g_nNextAnswer = 0;
}

void CReportRecorder::SetAnswer(int answer) { g_nAnswer = answer; }

void CReportRecorder::AnswerWith(const std::vector<int>& answers)
{
    g_BoxAnswers = answers;
    g_nNextAnswer = 0;
}

const std::vector<unsigned>& CReportRecorder::Styles() const { return g_BoxStyles; }
