#include "core/messages/MessageReporter.h"

#include "core/messages/MessageArguments.h"
#include "core/messages/MessageValues.h"
#include "core/messages/MsgString.h"
#include "framework/App.h"
#include "framework/File.h"

#include <cstdio>

CMessageReporter g_MessageReporter;
int g_bInteractive = 1;

namespace {

HWND MainWindowHandle()
{
    const CWnd* mainWnd = AfxGetMainWnd();
    return mainWnd ? mainWnd->m_hWnd : nullptr;
}

// The local date and time that opens each log line, so that runs kept in one log stay apart.
CString LogLinePrefix()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    char prefix[32];
    snprintf(prefix, sizeof prefix, "%04u-%02u-%02u %02u:%02u:%02u ", now.wYear, now.wMonth,
             now.wDay, now.wHour, now.wMinute, now.wSecond);
    return prefix;
}

void WriteStandardError(const CString& line)
{
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    if (error == nullptr || error == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(error, (const char*)line, (DWORD)line.GetLength(), &written, nullptr);
}

bool AppendToFile(const CString& path, const CString& line)
{
    CFile file;
    const UINT mode =
        CFile::modeCreate | CFile::modeNoTruncate | CFile::modeWrite | CFile::shareDenyWrite;
    if (!file.Open(path, mode))
        return false;
    const DWORD length = (DWORD)line.GetLength();
    DWORD written = 0;
    const bool ok =
        SetFilePointer(file.m_hFile, 0, nullptr, FILE_END) != INVALID_SET_FILE_POINTER &&
        WriteFile(file.m_hFile, (const char*)line, length, &written, nullptr) && written == length;
    file.Abort();
    return ok;
}

// A text of several lines stays one line of the log.
CString OneLine(const CString& text)
{
    CString line = text;
    line.TrimRight("\r\n");
    line.Replace('\r', ' ');
    line.Replace('\n', ' ');
    return line;
}

}  // namespace

void CMessageReporter::Report(int id, va_list args)
{
    m_nMessageId = id;
    const CMessageValues values(MessageArgumentKinds(id), args);
    const CMsgString format(id);
    // A message without a usable text still says which it is and with what.
    m_strText = format.IsEmpty() ? values.Describe(id) : values.Format(format);
    FlushMessage();
}

void CMessageReporter::ReportFormatted(int id, ...)
{
    va_list args;
    va_start(args, id);
    Report(id, args);
    va_end(args);
}

void CMessageReporter::FlushMessage()
{
    if (m_nMessageId == 0)
        return;
    switch (m_nMode) {
    case kReportBox:
        ShowBox();
        break;
    case kReportLog:
        AppendMessageLog();
        break;
    case kReportLogAndBox:
        AppendMessageLog();
        // A failed log has shown the text in a box already and left the mode at 1.
        if (m_nMode != kReportBox)
            ShowBox();
        break;
    default:
        break;
    }
}

void CMessageReporter::SetReportMode(int32_t mode, const CString& logFileName)
{
    m_nMode = mode;
    m_strLogFile = logFileName;
}

void CMessageReporter::AppendMessageLog()
{
    if (!LogLine(m_strText))
        FallBackToBox();
}

bool CMessageReporter::LogLine(const CString& text)
{
    const CString line = LogLinePrefix() + OneLine(text) + "\r\n";
    WriteStandardError(line);
    return AppendToFile(m_strLogFile, line);
}

CMessageReporter::BoxFunction CMessageReporter::SetBoxFunction(BoxFunction box)
{
    const BoxFunction previous = m_pBox;
    m_pBox = box;
    return previous;
}

void CMessageReporter::ShowBox()
{
    const CMsgString caption(kMsgBoxCaption);
    const HWND owner = MainWindowHandle();
    UINT style = MB_OK;
    // A batch start has no window the user is looking at; its box must not hide behind others.
    if (owner && !g_bInteractive)
        style |= MB_SETFOREGROUND;
    const BoxFunction box = m_pBox ? m_pBox : MessageBoxA;
    box(owner, m_strText, caption, style);
}

int CMessageReporter::Ask(int textId, int captionId, UINT style)
{
    m_nMessageId = textId;
    m_strText = CMsgString(textId);
    const CMsgString caption(captionId);
    const BoxFunction box = m_pBox ? m_pBox : MessageBoxA;
    return box(nullptr, m_strText, caption, style | MB_TASKMODAL);
}

void CMessageReporter::FallBackToBox()
{
    // Nobody would answer a box: standard error has had the line already.
    if (!g_bInteractive)
        return;
    const CString setAside = m_strText;
    const CString failedLog = m_strLogFile;
    SetReportMode(kReportBox, CString());
    ReportFormatted(kMsgLogFileFailed, (const char*)failedLog);
    m_strText = setAside;
    ShowBox();
}

int WINAPI AnswerBoxInLog(HWND, LPCSTR text, LPCSTR, UINT style)
{
    g_MessageReporter.LogLine(text);
    switch (style & MB_TYPEMASK) {
    case MB_ABORTRETRYIGNORE:
        return IDABORT;
    case MB_OKCANCEL:
    case MB_RETRYCANCEL:
    case MB_YESNOCANCEL:
        return IDCANCEL;
    case MB_YESNO:
        return IDNO;
    default:
        return IDOK;
    }
}

int AskQuestion(int textId, int captionId, UINT style) { return g_MessageReporter.Ask(textId, captionId, style); }

void ReportMessage(int id, ...)
{
    va_list args;
    va_start(args, id);
    g_MessageReporter.Report(id, args);
    va_end(args);
}

void ReportMessageAlt(int id, ...)
{
    va_list args;
    va_start(args, id);
    g_MessageReporter.Report(id, args);
    va_end(args);
}
