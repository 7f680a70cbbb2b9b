#include "core/messages/MessageReporter.h"

#include "core/messages/BoundedFormat.h"
#include "core/messages/MsgString.h"
#include "framework/App.h"
#include "framework/File.h"

CMessageReporter g_MessageReporter;
int g_bInteractive = 1;

namespace {

HWND MainWindowHandle()
{
    const CWnd* mainWnd = AfxGetMainWnd();
    return mainWnd ? mainWnd->m_hWnd : nullptr;
}

}  // namespace

void CMessageReporter::Report(int id, va_list args)
{
    m_strText.Empty();
    m_nMessageId = id;
    const CMsgString format(id);
    BoundedFormatV(m_szFormatBuffer, sizeof m_szFormatBuffer, format, args);
    m_strText = m_szFormatBuffer;
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
    if (!WriteLog())
        FallBackToBox();
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

bool CMessageReporter::WriteLog()
{
    CFile file;
    if (!file.Open(m_strLogFile, CFile::modeCreate | CFile::modeNoTruncate | CFile::modeWrite |
                                     CFile::shareDenyWrite))
        return false;
    const DWORD length = (DWORD)m_strText.GetLength();
    DWORD written = 0;
    const bool ok = SetFilePointer(file.m_hFile, 0, nullptr, FILE_END) != INVALID_SET_FILE_POINTER &&
                    WriteFile(file.m_hFile, (const char*)m_strText, length, &written, nullptr) &&
                    written == length;
    file.Abort();
    return ok;
}

void CMessageReporter::FallBackToBox()
{
    const CString setAside = m_strText;
    const CString failedLog = m_strLogFile;
    SetReportMode(kReportBox, CString());
    ReportFormatted(kMsgLogFileFailed, (const char*)failedLog);
    m_strText = setAside;
    ShowBox();
}

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
