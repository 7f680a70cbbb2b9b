#include "CatalogFiles.h"

#include "core/messages/MessageCatalog.h"
#include "core/messages/MessageReporter.h"
#include "core/messages/MessageValues.h"
#include "framework/App.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using testcatalog::PathOf;

struct Box {
    HWND owner;
    std::string text;
    std::string caption;
    UINT style;
};

std::vector<Box> g_boxes;

int WINAPI RecordBox(HWND owner, LPCSTR text, LPCSTR caption, UINT style)
{
    g_boxes.push_back({owner, text ? text : "", caption ? caption : "", style});
    return IDOK;
}

// The log without the date and time that open its lines; "(undated)" marks a line without them.
std::string Undated(const std::string& log)
{
    const size_t prefix = strlen("2026-12-10 21:00:00 ");
    std::string result;
    size_t start = 0;
    for (size_t end; (end = log.find("\r\n", start)) != std::string::npos; start = end + 2) {
        const std::string line = log.substr(start, end - start);
        const bool dated = line.size() > prefix && line[4] == '-' && line[7] == '-' &&
                           line[10] == ' ' && line[13] == ':' && line[16] == ':' && line[19] == ' ';
        result += (dated ? line.substr(prefix) : "(undated)" + line) + "\r\n";
    }
    return result + log.substr(start);
}

void Report(CMessageReporter& reporter, int id, ...)
{
    va_list args;
    va_start(args, id);
    reporter.Report(id, args);
    va_end(args);
}

// Ids whose callers pass no values, a number and a text, and two texts.
constexpr int kMsgPlain = 3400;
constexpr int kMsgWithValues = 3378;
constexpr int kMsgLong = 3327;

class ReporterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        testcatalog::WriteCatalog("RPT.MSG", {{kMsgBoxCaption, "Brelvane test"},
                                              {kMsgLogFileFailed, "cannot write %s"},
                                              {kMsgPlain, "plain"},
                                              {kMsgWithValues, "entry %d: %s\\r\\n"},
                                              {kMsgLong, "%s|%s"}});
        g_pMessageCatalog = new CMessageCatalog("RPT.MSG");
        ASSERT_TRUE(g_pMessageCatalog->IsUsable());
        m_reporter.SetBoxFunction(RecordBox);
        g_boxes.clear();
        m_log = PathOf("reporter-test.log");
        DeleteFileA(m_log.c_str());
        g_bInteractive = 1;
    }
    void TearDown() override
    {
        delete g_pMessageCatalog;
        g_pMessageCatalog = nullptr;
        DeleteFileA(PathOf("RPT.MSG").c_str());
        DeleteFileA(m_log.c_str());
        g_bInteractive = 1;
    }

    CMessageReporter m_reporter;
    std::string m_log;
};

TEST_F(ReporterTest, NothingToFlushBeforeTheFirstReport)
{
    m_reporter.FlushMessage();
    EXPECT_TRUE(g_boxes.empty());
    EXPECT_EQ(m_reporter.GetMessageId(), 0);
}

struct ModeCase {
    int32_t mode;
    size_t boxes;
    const char* log;   // null: no log file
};

const ModeCase kModes[] = {
    {kReportSilent, 0, nullptr},
    {kReportBox, 2, nullptr},
    {kReportLog, 0, "plain\r\nentry 7: seven\r\n"},
    {kReportLogAndBox, 2, "plain\r\nentry 7: seven\r\n"},
};

TEST_F(ReporterTest, ModesShowAndWrite)
{
    for (const ModeCase& c : kModes) {
        g_boxes.clear();
        DeleteFileA(m_log.c_str());
        m_reporter.SetReportMode(c.mode, m_log.c_str());
        Report(m_reporter, kMsgPlain);
        Report(m_reporter, kMsgWithValues, 7, "seven");
        EXPECT_EQ(m_reporter.GetText(), CString("entry 7: seven\r\n")) << c.mode;
        EXPECT_EQ(m_reporter.GetMessageId(), kMsgWithValues);
        ASSERT_EQ(g_boxes.size(), c.boxes) << "mode " << c.mode;
        if (c.boxes) {
            EXPECT_EQ(g_boxes[0].text, "plain");
            EXPECT_EQ(g_boxes[1].text, "entry 7: seven\r\n");
            EXPECT_EQ(g_boxes[1].caption, "Brelvane test");
            EXPECT_EQ(g_boxes[1].style, (UINT)MB_OK);
            EXPECT_EQ(g_boxes[1].owner, nullptr);
        }
        if (c.log)
            EXPECT_EQ(Undated(testcatalog::ReadAll(m_log)), c.log) << "mode " << c.mode;
        else
            EXPECT_EQ(GetFileAttributesA(m_log.c_str()), INVALID_FILE_ATTRIBUTES) << "mode " << c.mode;
        EXPECT_EQ(m_reporter.GetMode(), c.mode);
    }
}

TEST_F(ReporterTest, FlushShowsTheLastMessageAgain)
{
    Report(m_reporter, kMsgWithValues, 1, "one");
    m_reporter.FlushMessage();
    ASSERT_EQ(g_boxes.size(), 2u);
    EXPECT_EQ(g_boxes[1].text, g_boxes[0].text);
}

TEST_F(ReporterTest, LogAppendsAfterEarlierRuns)
{
    {
        std::ofstream earlier(m_log, std::ios::binary);
        earlier << "earlier run\r\n";
    }
    m_reporter.SetReportMode(kReportLog, m_log.c_str());
    Report(m_reporter, kMsgWithValues, 2, "two");
    EXPECT_EQ(Undated(testcatalog::ReadAll(m_log)), "(undated)earlier run\r\nentry 2: two\r\n");
}

TEST_F(ReporterTest, EachMessageIsOneDatedLineWhateverItsLineEnds)
{
    m_reporter.SetReportMode(kReportLog, m_log.c_str());
    Report(m_reporter, kMsgLong, "first\r\nsecond", "third\n");
    Report(m_reporter, kMsgPlain);
    EXPECT_EQ(Undated(testcatalog::ReadAll(m_log)), "first  second|third\r\nplain\r\n");
}

// A batch start: a log that cannot be written shows no box either, as nobody would answer it.
TEST_F(ReporterTest, FailingLogOfABatchStartShowsNoBox)
{
    g_bInteractive = 0;
    m_reporter.SetReportMode(kReportLog, PathOf("no-such-folder\\zelkbat.txt").c_str());
    Report(m_reporter, kMsgPlain);
    EXPECT_TRUE(g_boxes.empty());
}

struct BoxAnswerCase {
    UINT style;
    int answer;
};

const BoxAnswerCase kBoxAnswers[] = {
    {MB_OK, IDOK},
    {MB_ABORTRETRYIGNORE | MB_ICONSTOP, IDABORT},
    {MB_OKCANCEL, IDCANCEL},
    {MB_RETRYCANCEL, IDCANCEL},
    {MB_YESNOCANCEL, IDCANCEL},
    {MB_YESNO, IDNO},
};

TEST_F(ReporterTest, BoxesAnsweredInTheLogTakeTheirDefaultAndLeaveALine)
{
    const CMessageReporter::BoxFunction previous = g_MessageReporter.SetBoxFunction(RecordBox);
    g_MessageReporter.SetReportMode(kReportLog, m_log.c_str());
    std::string expected;
    for (const BoxAnswerCase& c : kBoxAnswers) {
        const std::string text = "box " + std::to_string(c.style);
        EXPECT_EQ(c.answer, AnswerBoxInLog(nullptr, text.c_str(), "caption", c.style)) << text;
        expected += text + "\r\n";
    }
    g_MessageReporter.SetReportMode(kReportBox, CString());
    g_MessageReporter.SetBoxFunction(previous);
    EXPECT_TRUE(g_boxes.empty());
    EXPECT_EQ(Undated(testcatalog::ReadAll(m_log)), expected);
}


TEST_F(ReporterTest, FailingLogFallsBackToBoxesOnce)
{
    const std::string badLog = PathOf("no-such-folder\\zelkbat.txt");
    for (int32_t mode : {kReportLog, kReportLogAndBox}) {
        g_boxes.clear();
        m_reporter.SetReportMode(mode, badLog.c_str());
        Report(m_reporter, kMsgWithValues, 3, "three");
        ASSERT_EQ(g_boxes.size(), 2u) << "mode " << mode;
        EXPECT_EQ(g_boxes[0].text, "cannot write " + badLog);
        EXPECT_EQ(g_boxes[1].text, "entry 3: three\r\n");
        EXPECT_EQ(m_reporter.GetMode(), kReportBox);
        EXPECT_EQ(m_reporter.GetLogFileName(), CString());
        EXPECT_EQ(m_reporter.GetText(), CString("entry 3: three\r\n"));

        // The reporter stays with boxes afterwards.
        Report(m_reporter, kMsgPlain);
        EXPECT_EQ(g_boxes.size(), 3u);
    }
}

TEST_F(ReporterTest, ATextAskingForMoreValuesIsNeverFormatted)
{
    // The log failure passes one file name; this catalog's text would read a second value.
    delete g_pMessageCatalog;
    testcatalog::WriteCatalog("RPT.MSG", {{kMsgLogFileFailed, "%s%n"}, {kMsgPlain, "plain"}});
    g_pMessageCatalog = new CMessageCatalog("RPT.MSG");
    const std::string badLog = PathOf("no-such-folder\\zelkbat.txt");
    m_reporter.SetReportMode(kReportLog, badLog.c_str());
    Report(m_reporter, kMsgPlain);
    ASSERT_EQ(g_boxes.size(), 2u);
    // The reason is not lost with the text: the id and the value stand in for it.
    EXPECT_EQ(g_boxes[0].text, "Message 3312: " + badLog);
    EXPECT_EQ(g_boxes[1].text, "plain");
    EXPECT_EQ(m_reporter.GetMode(), kReportBox);
}

// A file name of thousands of characters keeps its beginning and end; the words around it stay.
TEST_F(ReporterTest, LongValuesAreShortenedInTheirMiddle)
{
    const std::string first(400, 'a');
    const std::string second(900, 'b');
    const std::string fits(kLongestMessageValue, 'c');
    struct LongCase {
        std::string first, second, expected;
    };
    const LongCase kCases[] = {
        {first, second,
            std::string(100, 'a') + "..." + std::string(57, 'a') + "|" + std::string(100, 'b') + "..." +
                std::string(57, 'b')},
        {fits, "x", fits + "|x"},
    };
    for (const LongCase& c : kCases) {
        g_boxes.clear();
        Report(m_reporter, kMsgLong, c.first.c_str(), c.second.c_str());
        EXPECT_EQ(std::string(m_reporter.GetText()), c.expected);
        ASSERT_EQ(g_boxes.size(), 1u);
        EXPECT_EQ(g_boxes[0].text, c.expected);
    }
    g_boxes.clear();
    Report(m_reporter, kMsgWithValues, 5, std::string(5000, 'n').c_str());
    EXPECT_EQ(
        std::string(m_reporter.GetText()), "entry 5: " + std::string(100, 'n') + "..." + std::string(57, 'n') + "\r\n");
}

TEST_F(ReporterTest, AMessageWithoutTextGivesItsIdAndValues)
{
    delete g_pMessageCatalog;
    // A text that asks for other values than its callers pass is dropped as the catalog is read.
    testcatalog::WriteCatalog("RPT.MSG", {{kMsgWithValues, "entry %s: %d"}});
    g_pMessageCatalog = new CMessageCatalog("RPT.MSG");
    Report(m_reporter, 3999);
    Report(m_reporter, kMsgWithValues, 7, "seven");
    Report(m_reporter, kMsgLong, "one", std::string(300, 'z').c_str());
    ASSERT_EQ(g_boxes.size(), 3u);
    EXPECT_EQ(g_boxes[0].text, "Message 3999");
    EXPECT_EQ(g_boxes[1].text, "Message 3378: 7, seven");
    EXPECT_EQ(g_boxes[2].text, "Message 3327: one, " + std::string(100, 'z') + "..." + std::string(57, 'z'));
    EXPECT_EQ(m_reporter.GetMessageId(), kMsgLong);
}

TEST_F(ReporterTest, BoxesBelongToTheMainWindowAndComeForwardInABatchStart)
{
    // Before a main window exists the box has no owner in either kind of start.
    for (int interactive : {1, 0}) {
        g_boxes.clear();
        g_bInteractive = interactive;
        Report(m_reporter, kMsgPlain);
        ASSERT_EQ(g_boxes.size(), 1u);
        EXPECT_EQ(g_boxes[0].owner, nullptr);
        EXPECT_EQ(g_boxes[0].style, (UINT)MB_OK);
    }

    CWinApp app("reporter test");
    CWnd mainWnd;
    ASSERT_TRUE(mainWnd.CreateEx(0, "STATIC", "main", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                 nullptr));
    app.m_pMainWnd = &mainWnd;
    struct StartCase {
        int interactive;
        UINT style;
    };
    const StartCase kStarts[] = {{1, MB_OK}, {0, MB_OK | MB_SETFOREGROUND}};
    for (const StartCase& c : kStarts) {
        g_boxes.clear();
        g_bInteractive = c.interactive;
        Report(m_reporter, kMsgPlain);
        ASSERT_EQ(g_boxes.size(), 1u);
        EXPECT_EQ(g_boxes[0].owner, mainWnd.m_hWnd);
        EXPECT_EQ(g_boxes[0].style, c.style) << "interactive " << c.interactive;
    }
    app.m_pMainWnd = nullptr;
    mainWnd.DestroyWindow();
}

TEST_F(ReporterTest, ReportMessageUsesTheGlobalReporter)
{
    const CMessageReporter::BoxFunction previous = g_MessageReporter.SetBoxFunction(RecordBox);
    ReportMessage(kMsgWithValues, 4, "four");
    ReportMessageAlt(kMsgWithValues, 5, "five");
    g_MessageReporter.SetBoxFunction(previous);
    ASSERT_EQ(g_boxes.size(), 2u);
    EXPECT_EQ(g_boxes[0].text, "entry 4: four\r\n");
    EXPECT_EQ(g_boxes[1].text, "entry 5: five\r\n");
    EXPECT_EQ(g_MessageReporter.GetMessageId(), kMsgWithValues);
}

}  // namespace
