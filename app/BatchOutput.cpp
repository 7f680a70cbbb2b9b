#include "app/BatchOutput.h"

#include "app/RecordTexts.h"
#include "app/ScanStatus.h"
#include "core/driver/ScannerDriver.h"
#include "core/image/Dib.h"
#include "core/image/Print.h"
#include "core/messages/MessageReporter.h"
#include "core/messages/MsgString.h"
#include "core/scan/ScanJob.h"
#include "core/scan/ScanServices.h"
#include "core/scsi/ScsiTransport.h"
#include "core/settings/ScanSettings.h"
#include "core/settings/SettingsFile.h"

#include <commdlg.h>

#include <algorithm>
#include <memory>

namespace {

constexpr int32_t kStateScanning = 2;
constexpr int32_t kStateIdle = 3;
constexpr uint16_t kScanAllLines = 1;
constexpr uint16_t kScanAborted = 252;
constexpr uint32_t kLargestPrint = 16760832;
constexpr int kMsgCannotOpen = 3312;
// A print without memory for its image: the general text, which asks for a smaller selection.
constexpr int kMsgNoMemory = 3317;
constexpr int kMsgCmykNotPrintable = 3502;
constexpr int kMsgNoPrinter = 3425;
constexpr int kMsgPrintFailed = 4374;
constexpr int kMsgPrintDocument = 4375;
constexpr int kMsgPrinting = 4479;
constexpr int kMsgPrintTooLarge = 4476;
constexpr int kHundredthsPerInch = 2540;
constexpr int kMsgDeviceBusy = 4483;
constexpr int kMsgEmptySelection = 4486;
constexpr int kMsgSelectionTooSmall = 3428;
constexpr int kMsgUnscannableSettings = 3429;
constexpr int kMsgStopped = 3307;

bool g_bBatchStopped = false;

// Lets the window messages through while the device works; the user stops a batch with the abort
// flag of the progress window.
int BatchProgressCallback(int32_t)
{
    MSG msg;
    if (MessageLookDue()) {
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    // The transports clear the abort flag once they have seen it; the exit code needs it later.
    const bool stop = g_UserAbort != 0;
    if (stop)
        g_bBatchStopped = true;
    return stop;
}

// Keeps the driver's state word at "scan or print running" for the lifetime of the object.
class CDriverBusy {
public:
    CDriverBusy() { SetState(kStateScanning); }
    ~CDriverBusy() { SetState(kStateIdle); }
    CDriverBusy(const CDriverBusy&) = delete;
    CDriverBusy& operator=(const CDriverBusy&) = delete;

private:
    static void SetState(int32_t state)
    {
        if (g_pScannerDriver)
            g_pScannerDriver->m_nState = state;
    }
};

// The scan core answers 252 both for a stop and for a failure it has reported; only a stop (the
// user's, or a scanner in use elsewhere) is "stopped" to a caller.
int ExitCodeOfScan(uint16_t result, uint16_t success)
{
    if (result == success)
        return kExitOutputWritten;
    if (result != kScanAborted)
        return kExitScanFailed;
    // The core never reports a user stop; the log still says why the run left no file.
    if (g_bBatchStopped || BatchProgressCancelled()) {
        ReportMessage(kMsgStopped);
        return kExitAborted;
    }
    return g_MessageReporter.GetMessageId() == kMsgDeviceBusy ? kExitAborted : kExitScanFailed;
}

int RunScanToFile(const CBatchOutput& output)
{
    if (output.fileNameTooLong || output.fileName.IsEmpty()) {
        // A cut name would write some other file than the one asked for.
        ReportMessage(kMsgCannotOpen, (LPCSTR)output.fileName);
        return kExitScanFailed;
    }
    const CDriverBusy busy;
    CScanJob job(g_pScanSettings, BatchProgressCallback);
    const uint16_t result = job.ScanToFile(output.fileName);
    job.EndScan();
    return ExitCodeOfScan(result, kScanAllLines);
}

CDib* CreatePrintSink(uint32_t dpi)
{
    const uint32_t width = g_pScanSettings->RotatedPixelWidth();
    const uint32_t height = g_pScanSettings->RotatedPixelHeight();
    switch (g_pScanSettings->GetParam(kParamImageType)) {
    case 0:
    case 1:
        return new CDib1(width, height, dpi);
    case 2:
        return new CDib8(width, height, dpi);
    case 3:
        return new CDib24(width, height, dpi);
    default:
        return nullptr;
    }
}

CString PrintDocumentName()
{
    CString name = CMsgString(kMsgPrintDocument);
    name += " (";
    if (g_pScannerDriver)
        name += g_pScannerDriver->m_strProduct;
    return name + ")";
}

CString PrinterName(const PRINTDLGA& dialog)
{
    if (!dialog.hDevNames)
        return CString();
    const DEVNAMES* names = (const DEVNAMES*)GlobalLock(dialog.hDevNames);
    const CString device = (const char*)names + names->wDeviceOffset;
    GlobalUnlock(dialog.hDevNames);
    return device;
}

void FreePrinterSetup(PRINTDLGA& dialog)
{
    if (dialog.hDC)
        DeleteDC(dialog.hDC);
    if (dialog.hDevMode)
        GlobalFree(dialog.hDevMode);
    if (dialog.hDevNames)
        GlobalFree(dialog.hDevNames);
    dialog.hDC = nullptr;
    dialog.hDevMode = dialog.hDevNames = nullptr;
}

// Without a printer there is no name to give: the text says so instead of naming an empty one.
void ReportPrinterRefused(const PRINTDLGA& dialog)
{
    const CString printer = PrinterName(dialog);
    if (printer.IsEmpty())
        ReportMessage(kMsgNoPrinter);
    else
        ReportMessage(kMsgPrintFailed, (LPCSTR)printer);
}

int PrintSink(CDib& sink, PRINTDLGA& dialog, BOOL withDialog)
{
    ReportScanStatus(kMsgPrinting, 0);
    const CPrintPage page = {GetDeviceCaps(dialog.hDC, HORZRES), GetDeviceCaps(dialog.hDC, VERTRES),
                             GetDeviceCaps(dialog.hDC, LOGPIXELSX), GetDeviceCaps(dialog.hDC, LOGPIXELSY)};
    const int32_t selection[4] = {g_pScanSettings->GetParam(kParamSelLeft), g_pScanSettings->GetParam(kParamSelTop),
        g_pScanSettings->GetParam(kParamSelRight), g_pScanSettings->GetParam(kParamSelBottom)};
    const RECT target = PrintTargetRect(
        selection, g_pScanSettings->GetParam(kParamScale), page, withDialog, g_nPrintMarginX, g_nPrintMarginY);
    const int copies = withDialog ? dialog.nCopies : g_nPrintCopies;
    const uint32_t errors = PrintDibCopies(sink, target, 1, PrintDocumentName(), dialog.hDC, copies);
    dialog.hDC = nullptr;   // deleted by the printing
    if (errors == 0)
        return kExitOutputWritten;
    ReportMessage(kMsgPrintFailed, (LPCSTR)PrinterName(dialog));
    return kExitScanFailed;
}

}  // namespace

RECT PrintTargetRect(const int32_t selection[4], int32_t scale, const CPrintPage& page, BOOL centred,
                     int32_t marginX, int32_t marginY)
{
    RECT rect;
    if (centred) {
        const int64_t left = (int64_t)selection[0] * scale / 100, top = (int64_t)selection[1] * scale / 100;
        const int64_t right = (int64_t)selection[2] * scale / 100, bottom = (int64_t)selection[3] * scale / 100;
        const int64_t height = std::min<int64_t>((bottom - top) * page.dpiY / kHundredthsPerInch, page.height);
        const int64_t width = std::min<int64_t>((right - left) * page.dpiX / kHundredthsPerInch, page.width);
        rect.top = (LONG)((page.height - height) / 2);
        rect.left = (LONG)((page.width - width) / 2);
        rect.bottom = (LONG)(rect.top + height);
        rect.right = (LONG)(rect.left + width);
        return rect;
    }
    const int64_t width = std::max<int64_t>(selection[2] - selection[0], 5);
    const int64_t height = std::max<int64_t>(selection[3] - selection[1], 5);
    rect.left = (LONG)((int64_t)page.dpiX * marginX * 100 / kHundredthsPerInch);
    rect.top = (LONG)((int64_t)page.dpiY * marginY * 100 / kHundredthsPerInch);
    rect.right = (LONG)(rect.left + (width * scale / 100) * page.dpiX / kHundredthsPerInch);
    rect.bottom = (LONG)(rect.top + (height * scale / 100) * page.dpiY / kHundredthsPerInch);
    return rect;
}

int PrintScan(BOOL withDialog)
{
    if (g_pScanSettings->ImageBytes() > kLargestPrint) {
        ReportMessage(kMsgPrintTooLarge);
        return kExitScanFailed;
    }
    // Nobody would answer the print dialog of a batch start: its default, the default printer.
    const bool showDialog = withDialog && g_bInteractive;
    PRINTDLGA dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.Flags = PD_NOSELECTION | PD_NOPAGENUMS | PD_RETURNDC;
    if (!showDialog)
        dialog.Flags |= PD_RETURNDEFAULT;
    dialog.nCopies = 1;
    if (!PrintDlgA(&dialog) || !dialog.hDC) {
        if (showDialog && CommDlgExtendedError() == 0)
            return kExitAborted;  // the user cancelled the dialog
        ReportPrinterRefused(dialog);
        FreePrinterSetup(dialog);
        return kExitScanFailed;
    }
    const uint32_t scale = (uint32_t)g_pScanSettings->GetParam(kParamScale);
    const uint32_t dpi = scale ? (uint32_t)g_pScanSettings->GetParam(kParamResolution) * 100 / scale : 0;
    int exitCode = kExitScanFailed;
    {
        const CDriverBusy busy;
        if (g_pScanSettings->GetParam(kParamImageType) >= 4) {
            ReportMessage(kMsgCmykNotPrintable);
        } else {
            std::unique_ptr<CDib> sink(CreatePrintSink(dpi));
            CScanJob job(g_pScanSettings, BatchProgressCallback);
            if (!sink || !sink->m_pBits) {
                ReportMessage(kMsgNoMemory);
            } else {
                const uint16_t result = job.ScanToMemory(*sink);
                exitCode = result <= 1 ? PrintSink(*sink, dialog, withDialog) : ExitCodeOfScan(result, 0);
            }
            job.EndScan();
        }
    }
    FreePrinterSetup(dialog);
    return exitCode;
}

int RunBatchOutput(const CBatchOutput& output)
{
    if (output.kind != kBatchNoOutput && !output.emptySelection.IsEmpty()) {
        ReportMessage(
            output.selectionTooSmall ? kMsgSelectionTooSmall : kMsgEmptySelection, (LPCSTR)output.emptySelection);
        return kExitScanFailed;
    }
    // Checked here, before any command reaches the scanner, as the line's own geometry is.
    if (output.unscannableGeometry) {
        ReportMessage(kMsgUnscannableSettings, (LPCSTR)GetSettingsFileName());
        return kExitScanFailed;
    }
    if (output.kind != kBatchNoOutput && output.refusal != 0) {
        ReportMessage(output.refusal, (LPCSTR)output.refusalValue);
        return kExitScanFailed;
    }
    switch (output.kind) {
    case kBatchScanToFile:
        return RunScanToFile(output);
    case kBatchPrintAtMargins:
        return PrintScan(FALSE);
    case kBatchPrintWithDialog:
        return PrintScan(TRUE);
    default:
        return kExitNoOutput;
    }
}
