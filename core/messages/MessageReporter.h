#pragma once

// The one way the program tells the user of an error or an event: a catalog message formatted with
// the caller's values and put out by the reporter's mode as a message box, a log file entry, or both.
// A batch job list switches to the log so that a run of many scans is not stopped by boxes.

#include "framework/String.h"

#include <windows.h>

#include <cstdarg>
#include <cstdint>

constexpr int32_t kReportSilent = 0;
constexpr int32_t kReportBox = 1;
constexpr int32_t kReportLog = 2;
constexpr int32_t kReportLogAndBox = 3;

// Message 3312: the reporter's log file could not be written; its one value is the file name.
constexpr int kMsgLogFileFailed = 3312;
// Message 3308: the caption of every box.
constexpr int kMsgBoxCaption = 3308;

class CMessageReporter {
public:
    // The box function the reporter calls; tests put their own in so that no test waits on a box.
    typedef int(WINAPI* BoxFunction)(HWND owner, LPCSTR text, LPCSTR caption, UINT style);

    void Report(int id, va_list args);
    void FlushMessage();
    void SetReportMode(int32_t mode, const CString& logFileName);
    void AppendMessageLog();
    // One line of the log (and of standard error when the process has one), as a message is.
    bool LogLine(const CString& text);

    BoxFunction SetBoxFunction(BoxFunction box);
    // A question in a box without an owner (application-modal): the catalog texts of textId and
    // captionId, the buttons and icon of style. The answer (IDRETRY, IDCANCEL, ...) of the box
    // function in use, so that a batch start takes the default answer and a test answers itself.
    int Ask(int textId, int captionId, UINT style);

    int32_t GetMessageId() const { return m_nMessageId; }
    int32_t GetMode() const { return m_nMode; }
    const CString& GetText() const { return m_strText; }
    const CString& GetLogFileName() const { return m_strLogFile; }

private:
    void ReportFormatted(int id, ...);
    void ShowBox();
    void FallBackToBox();

    int32_t m_nMessageId = 0;
    int32_t m_nMode = kReportBox;
    CString m_strLogFile;
    CString m_strText;
    BoxFunction m_pBox = nullptr;
};

extern CMessageReporter g_MessageReporter;

// 1 for an interactive start, 0 for a batch start; the application's start-up sets it before any
// message can be reported. Boxes of a batch start come to the foreground.
extern int g_bInteractive;

// The box function of a start with nobody at the screen: the text goes to the log as a line and
// the box's default answer is taken (Abort of Abort/Retry/Ignore, Cancel where there is one, else
// OK).
int WINAPI AnswerBoxInLog(HWND owner, LPCSTR text, LPCSTR caption, UINT style);

// Asks g_MessageReporter's question (CMessageReporter::Ask).
int AskQuestion(int textId, int captionId, UINT style);

// Reports catalog message id, formatted with the values that follow, through g_MessageReporter.
void ReportMessage(int id, ...);
// The twin entry some callers use; the same report.
void ReportMessageAlt(int id, ...);
