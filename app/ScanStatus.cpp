#include "app/ScanStatus.h"

#include "app/BatchInterpreter.h"
#include "app/BrelvaneStatusBar.h"
#include "app/FormAccess.h"
#include "core/driver/ScannerDriver.h"
#include "core/messages/MsgString.h"
#include "core/messages/TraceLog.h"
#include "core/scsi/ScsiTransport.h"
#include "dialogs/ProgressDlg.h"
#include "framework/App.h"
#include "resources/dialogs/Progress.h"

namespace {

constexpr int kMsgPrescanPrefix = 3285;
constexpr int kMsgPreviewPrefix = 3286;
constexpr int kMsgPass = 3302;
constexpr int kMsgPipelineStart = 3298;
constexpr int kMsgPipelineStartZero = 3299;
constexpr int kMsgJobStart = 3293;
constexpr int kMsgJobStartZero = 3300;
constexpr int kMsgCancelPrefix = 3305;
constexpr int kMsgCancelling = 3306;
constexpr int kMsgCancelled = 3307;
constexpr int kMsgBatchProgressTitle = 3001;

uint16_t g_nLastId = 0xFFFF;
uint32_t g_nLastValue = 0xFFFF;

CString Percent(uint32_t value)
{
    CString text;
    text.Format("%lu %%", (unsigned long)value);
    return text;
}

CString Prefix()
{
    if (!g_pScannerDriver)
        return CString();
    if (g_pScannerDriver->m_nState == 0)
        return CMsgString(kMsgPrescanPrefix);
    if (g_pScannerDriver->m_nState == 1)
        return CMsgString(kMsgPreviewPrefix);
    return g_pScannerDriver->m_strProduct + " : ";
}

CString ProgressText(int messageId, uint32_t value)
{
    if (value < 1000)
        return CMsgString(messageId) + " " + Percent(value);
    if (value < 4000) {
        CString pass;
        pass.Format(" %lu, ", (unsigned long)(value / 1000));
        return CMsgString(kMsgPass) + pass + Percent(value % 1000);
    }
    return CMsgString(messageId) + "  ";
}

bool CreateBatchProgress()
{
    if (g_strBatchProgressTitle.IsEmpty())
        g_strBatchProgressTitle = CMsgString(kMsgBatchProgressTitle);
    auto* dialog = new CProgressDlg(g_strBatchProgressTitle, 0);
    dialog->m_bCancel = 0;
    if (!dialog->Create(IDD_PROGRESS)) {
        delete dialog;
        return false;
    }
    dialog->ShowWindow(SW_SHOW);
    dialog->UpdateWindow();
    g_pBatchProgressDlg = dialog;
    return true;
}

// Lets the window's Cancel through while the scan goes on; a message the application's
// pre-translation takes (the dialog's own keyboard handling) ends the round.
void PumpProgressMessages()
{
    if (!MessageLookDue())
        return;
    CWinApp* app = AfxGetApp();
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (app != nullptr && app->PreTranslateMessage(&msg))
            return;
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
}

}  // namespace

CProgressDlg* g_pBatchProgressDlg = nullptr;

bool MessageLookDue()
{
    static DWORD lastLook = 0;
    const DWORD now = GetTickCount();
    if (now == lastLook)
        return false;
    lastLook = now;
    return true;
}

CString ScanStatusText(int messageId, uint32_t value)
{
    switch (messageId) {
    case 3294:
    case 4051:
        return Prefix() + ProgressText(messageId, value);
    case kMsgJobStart:
        return Prefix() + (value == 0 ? CMsgString(kMsgJobStartZero) + ", " : CMsgString(messageId) + ", " + Percent(value));
    case kMsgPipelineStart:
        return Prefix() + (value == 0 ? CMsgString(kMsgPipelineStartZero) : CMsgString(messageId) + ", " + Percent(value));
    case kMsgCancelling:
        return CMsgString(kMsgCancelPrefix) + CMsgString(messageId);
    default:
        return Prefix() + CMsgString(messageId);
    }
}

void ShowScanStatus(int messageId, int32_t value)
{
    if ((uint16_t)messageId == g_nLastId && (uint32_t)value == g_nLastValue)
        return;
    g_nLastId = (uint16_t)messageId;
    g_nLastValue = (uint32_t)value;
    const CString text = ScanStatusText(messageId, (uint32_t)value);
    if (MainForm())
        SetFormStatusText(text);
    else if (g_pTraceLog)
        g_pTraceLog->Printf("%s", (LPCSTR)text);
}

void ResetScanStatus()
{
    g_nLastId = 0xFFFF;
    g_nLastValue = 0xFFFF;
}

void ShowBatchProgress(int messageId, int32_t value)
{
    if (g_pBatchProgressDlg == nullptr && !CreateBatchProgress())
        return;
    if (g_pBatchProgressDlg->m_bCancel) {
        messageId = kMsgCancelled;
        g_UserAbort = 1;
    }
    PumpProgressMessages();
    // The pump may have run a handler that closed the window.
    if (g_pBatchProgressDlg != nullptr)
        g_pBatchProgressDlg->SetProgress((uint32_t)value, ScanStatusText(messageId, (uint32_t)value));
}

void ShowScanProgress(int messageId, int32_t value)
{
    ShowScanStatus(messageId, value);
    if (g_bBatchProgress)
        ShowBatchProgress(messageId, value);
}

bool BatchProgressCancelled() { return g_pBatchProgressDlg != nullptr && g_pBatchProgressDlg->m_bCancel != 0; }

void DestroyBatchProgress()
{
    if (g_pBatchProgressDlg == nullptr)
        return;
    g_pBatchProgressDlg->DestroyWindow();
    delete g_pBatchProgressDlg;
    g_pBatchProgressDlg = nullptr;
}
