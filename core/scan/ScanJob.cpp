// The scan job.

#include "core/scan/ScanJob.h"

#include "core/image/Dib.h"
#include "core/messages/MessageReporter.h"
#include "core/scan/ImageWriter.h"
#include "core/scan/OutputFile.h"
#include "core/scan/OutputPipeline.h"
#include "core/scan/ScanServices.h"
#include "core/scan/ShellServices.h"
#include "core/scsi/ScsiTransport.h"
#include "core/settings/ScanSettings.h"
#include "core/util/SpillFile.h"
#include "core/util/SystemUtil.h"
#include "framework/App.h"

#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <cstdlib>
#include <string>

time_t g_ScanStartTime = 0;
time_t g_ScanEndTime = 0;

namespace {

constexpr int kMsgScanComplete = 3287;
constexpr int kMsgSettingParameters = 3289;
constexpr int kMsgPreparing = 3290;
constexpr int kMsgSendingTables = 3291;
constexpr int kMsgStarting = 3293;
constexpr int kMsgReading = 3294;
constexpr int kMsgNextPass = 3296;
constexpr int kMsgTemporaryNotWritten = 3311;
constexpr int kMsgFileNotOpened = 3312;
constexpr int kMsgWriteFailed = 3314;
constexpr int kMsgNoMemory = 3317;
constexpr int kMsgReadFailed = 3318;
constexpr int kMsgBmpTooDeep = 3320;
constexpr int kMsgCmykToMemory = 3328;
constexpr int kMsgPipelineFailed = 3329;
constexpr int kMsgScanFailed = 3334;
constexpr int kMsgNoDiskSpace = 3349;
constexpr int kMsgCheckingBusy = 4482;
constexpr int kMsgDeviceBusy = 4483;
constexpr int kMsgSettleWait = 4491;

constexpr int32_t kDriverOwnPrescan = 0;
constexpr int32_t kDriverScanning = 2;
constexpr int32_t kOriginalNegative = 2;
constexpr uint32_t kBusyRecheckMs = 10000;
constexpr double kSpaceMargin = 1.02;

// A new, empty file beside `path` for the image to be written into: moving it over the old file
// is then a rename within one volume. Files that earlier runs ended by force left there go first.
// Empty when the folder takes no new file.
std::string TemporaryImageName(const char* path)
{
    std::string folder = path;
    size_t end = folder.find_last_of("\\/:");
    folder = end == std::string::npos ? std::string() : folder.substr(0, end + 1);
    RemoveStaleTemporaryFiles(folder);
    return CreateTemporaryFile(folder);
}

bool ReplaceWithNewFile(const char* temporary, const char* path)
{
    return MoveFileExA(temporary, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool IsColour(int32_t type)
{
    return type == kImageRgb || type == kImageCmyk;
}

// Reports a failed sink or start code the way every caller of a scan does.
void ReportScanFailure(uint16_t code)
{
    if (code == kDriverLockFailed)
        ReportMessage(kMsgReadFailed);
    else if (code == kDriverNoMemory)
        ReportMessage(kMsgNoMemory);
    else
        ReportMessage(kMsgScanFailed);
}

}  // namespace

CScanJob::CScanJob(CScanSettings* settings, ScanProgressCallback callback)
{
    g_ScanStartTime = time(nullptr);
    Attach(settings, callback);
}

void CScanJob::Attach(CScanSettings* settings, ScanProgressCallback callback)
{
    m_pSettings = settings;
    if (callback == nullptr)
        return;
    m_pfnProgress = callback;
    if (g_pScannerDriver != nullptr)
        g_pScannerDriver->SetProgressCallback(callback);
}

int CScanJob::ReportProgress(int32_t value)
{
    if (m_pfnProgress != nullptr)
        m_pfnProgress(value);
    return 0;
}

uint16_t CScanJob::BeginReadPass(int32_t argument)
{
    ReportScanStatus(kMsgNextPass, 0);
    m_reader.NextPass();
    m_nLastResult = g_pScannerDriver->StartPass(0, argument);
    return m_nLastResult;
}

// An atom left by a process that died is not renewed; one that comes back within the wait belongs
// to a process that is scanning.
uint16_t CScanJob::CheckDeviceFree()
{
    CString name = DeviceBusyAtomName();
    ATOM atom = GlobalFindAtomA(name);
    ReportScanStatus(kMsgCheckingBusy, 0);
    if (atom == 0)
        return kDriverOk;
    GlobalDeleteAtom(atom);
    DelayPumping(kBusyRecheckMs);
    if (GlobalFindAtomA(name) == 0)
        return kDriverOk;
    m_bDeviceBusy = 1;
    ReportMessage(kMsgDeviceBusy);
    return kDriverAborted;
}

uint16_t CScanJob::PrepareDriver()
{
    CScannerDriver* driver = g_pScannerDriver;
    CScanSettings* s = m_pSettings;
    ReportScanStatus(kMsgStarting, 0);
    uint16_t result = driver->PrescanIfNeeded(s, m_pfnProgress);
    if (result == 0)
        result = driver->ReserveDevice();
    if (result == 0)
        result = driver->UpdateScanGeometry();
    if (result != 0)
        return result;
    s->m_bScanStateA = 0;
    s->m_bScanStateB = 1;
    if (s->GetParam(kParamOriginal) == kOriginalNegative && IsColour(s->GetCurrentType())) {
        bool engine = Shell().UsesEngineCorrection() != 0;
        result = engine ? driver->PrepareEngineColourCorrection() : driver->PrepareColourCorrection();
        if (result != 0)
            return result;
    }
    ReportScanStatus(kMsgSendingTables, 0);
    if ((result = driver->SendLookupTables()) != 0)
        return result;
    ReportScanStatus(kMsgSettingParameters, 0);
    if ((result = driver->SetScanParameters(s)) != 0)
        return result;
    ReportScanStatus(kMsgPreparing, 0);
    if ((result = driver->PrepareScan()) != 0)
        return result;
    s->m_bScanStateA = 1;
    s->m_bScanStateB = 1;
    return kDriverOk;
}

uint16_t CScanJob::StartScan(uint16_t readerMode, uint16_t passes, const char* path)
{
    CScannerDriver* driver = g_pScannerDriver;
    if (driver != nullptr && driver->m_nState != kDriverOwnPrescan) {
        uint16_t result = CheckDeviceFree();
        if (result != 0)
            return result;
    }
    m_bDeviceBusy = 0;
    if (driver == nullptr || driver->m_nKind == kKindBareDriver || m_pSettings == nullptr)
        return kDriverFailed;
    uint16_t result = PrepareDriver();
    if (result != 0)
        return result;
    if (BeginOutputPipeline() != 0) {
        ReportMessage(kMsgPipelineFailed);
        return kDriverAborted;
    }
    if ((result = m_reader.Start(readerMode, 0, passes)) != 0)
        return result;
    if ((result = m_output.Prepare(m_reader)) != 0)
        return result;
    if (CheckDiskSpace(path, passes) == 0)
        return kDriverAborted;
    ReportScanStatus(kMsgReading, 0);
    return driver->StartScanCommand(0);
}

uint16_t CScanJob::PassesForType() const
{
    bool onePass = (g_pScannerDriver->m_nCapabilityFlags & kCapColourOnePass) != 0;
    return IsColour(m_pSettings->GetCurrentType()) && !onePass ? 3 : 1;
}

uint16_t CScanJob::StartFileScan(const char* path)
{
    if (g_pScannerDriver == nullptr || m_pSettings == nullptr)
        return kDriverFailed;
    m_pSettings->ResetDerivedGeometry();
    return ReportStartFailure(StartScan(0, PassesForType(), path));
}

// Another initiator holding the scanner is the same stop as one of our processes scanning on it:
// nothing of ours to release, and the caller hears "busy", not "failed".
uint16_t CScanJob::ReportStartFailure(uint16_t result)
{
    if (result == 0 || result == kDriverAborted)
        return result;
    if ((result & 0xFF) == kScsiReservationConflict) {
        m_bDeviceBusy = 1;
        ReportMessage(kMsgDeviceBusy);
        return kDriverAborted;
    }
    ReportScanFailure(result);
    return result;
}

uint16_t CScanJob::ScanToFile(const char* path)
{
    // A BMP cannot hold deeper samples; refusing here costs the user no scan.
    if (WritesBmpFiles() && m_pSettings != nullptr && m_pSettings->GetParam(kParamBitsPerChannel) > 8 &&
        m_pSettings->GetCurrentType() >= kImageGrey) {
        ReportMessage(kMsgBmpTooDeep);
        m_nLastResult = kDriverAborted;
        return m_nLastResult;
    }
    // A name that cannot become the file is told before the scanner is touched, and not as a full disk.
    if (!CanOpenForWriting(path)) {
        ReportMessage(kMsgFileNotOpened, path);
        m_nLastResult = kDriverAborted;
        return m_nLastResult;
    }
    m_nLastResult = StartFileScan(path);
    if (m_nLastResult != 0)
        return m_nLastResult;
    std::string temporary = TemporaryImageName(path);
    m_nLastResult = kDriverFailed;
    if (!temporary.empty())
        m_nLastResult = OpenImageWriter(temporary.c_str());
    if (m_nLastResult != 0) {
        CloseImageWriter();
        if (!temporary.empty())
            DeleteFileA(temporary.c_str());
        ReportMessage(kMsgFileNotOpened, path);
        return m_nLastResult;
    }
    m_nLastResult = m_output.ToFile(m_reader, *this);
    bool whole = CloseImageWriter() == 0 && m_nLastResult == 1;
    if (whole && ReplaceWithNewFile(temporary.c_str(), path))
        return m_nLastResult;
    // Asked while the partial file still takes its room: once it is gone the disk looks roomy again.
    const bool writeFailed = !whole && (m_output.m_bWriteFailed || m_nLastResult == 1);
    const bool full = writeFailed && LacksRoomFor(path);
    // Blocks fill a BMP from its end: a file of an unfinished scan is missing its top lines. The
    // file it was to replace stays as it was.
    DeleteFileA(temporary.c_str());
    if (whole) {
        // The image was written whole; only its name refused it.
        ReportMessage(kMsgFileNotOpened, path);
        m_nLastResult = kDriverAborted;
    } else if (writeFailed) {
        // "The disk may be full" sends the user to free space; only a disk without room earns it.
        if (full)
            ReportMessage(kMsgWriteFailed, path);
        else
            ReportMessage(kMsgTemporaryNotWritten);
        m_nLastResult = kDriverAborted;
    }
    return m_nLastResult;
}

// Whether the drive of path has less room than the whole image.
bool CScanJob::LacksRoomFor(const char* path) const
{
    return (double)Shell().DriveSpace(path).freeBytes <= (double)m_pSettings->ImageBytes() * kSpaceMargin;
}

uint16_t CScanJob::ScanToMemory(CDib& sink)
{
    if (m_pSettings == nullptr || g_pScannerDriver == nullptr)
        return kDriverFailed;
    if (m_pSettings->GetCurrentType() == kImageCmyk) {
        ReportMessage(kMsgCmykToMemory);
        return kDriverAborted;
    }
    m_pSettings->ResetDerivedGeometry();
    uint16_t result = StartScan(1, PassesForType(), "");
    m_nLastResult = result;
    if (ReportStartFailure(result) != 0)
        return kDriverAborted;
    result = m_output.ToDib(m_reader, *this, sink);
    m_nLastResult = result;
    if (result == 0 || result == kDriverAborted)
        return result;
    ReportScanFailure(result);
    return kDriverAborted;
}

int CScanJob::CheckDiskSpace(const char* path, uint16_t passes)
{
    bool hasPath = path != nullptr && path[0] != '\0';
    double need = (double)m_pSettings->ImageBytes() * kSpaceMargin;
    CDriveSpace output = {0, 0};
    if (hasPath) {
        output = Shell().DriveSpace(path);
        if ((double)output.freeBytes <= need) {
            ReportMessage(kMsgNoDiskSpace, path);
            return 0;
        }
    }
    if (passes <= 1)
        return 1;
    double scan = (double)m_pSettings->GetBytesPerLine() * m_pSettings->GetLineCount();
    CTempFileName temp;
    const char* tempName = temp.GetName() != nullptr ? temp.GetName() : "";
    CDriveSpace tempDrive = Shell().DriveSpace(tempName);
    double extra = hasPath && tempDrive.drive == output.drive ? need : 0;
    if ((double)tempDrive.freeBytes <= scan * 2 + extra) {
        ReportMessage(kMsgNoDiskSpace, tempName);
        return 0;
    }
    return 1;
}

bool CScanJob::NeedsSettleWait() const
{
    CScannerDriver* driver = g_pScannerDriver;
    CScanSettings* s = m_pSettings;
    if (driver == nullptr || s == nullptr || s->GetCurrentType() != kImageLineArt)
        return false;
    uint16_t resolution = (uint16_t)s->GetParam(kParamResolution);
    if (resolution != 200 || driver->m_nState != kDriverScanning)
        return false;
    if (driver->m_nKind != 0x1000 && driver->m_nKind != 0x8000 && driver->m_nKind != 0x10000)
        return false;
    return (uint32_t)(s->RotatedPixelHeight() * 25.4 / resolution) >= 239;
}

// These models must rest after a long line-art page before the next command; the wait counts
// from the job's construction, with a little random spread.
void CScanJob::SettleWait()
{
    int target = 34 + std::min(4, rand() / 10000);
    g_ScanEndTime = time(nullptr);
    long long delay = ((long long)target - (long long)(g_ScanEndTime - g_ScanStartTime)) * 1000;
    if (delay <= 0)
        return;
    ReportScanStatus(kMsgSettleWait, 0);
    DelayPumping((uint32_t)delay);
}

void CScanJob::DeleteBusyAtom()
{
    CString name = DeviceBusyAtomName();
    for (ATOM atom = GlobalFindAtomA(name); atom != 0; atom = GlobalFindAtomA(name))
        if (GlobalDeleteAtom(atom) != 0)
            break;
}

void CScanJob::EndScan()
{
    g_UserAbort = 0;
    CScannerDriver* driver = g_pScannerDriver;
    if (m_bDeviceBusy == 0) {
        if (driver != nullptr)
            driver->StopScan(0);
        EndOutputPipeline();
        if (NeedsSettleWait() && (m_nLastResult == 0 || m_nLastResult == 1))
            SettleWait();
        if (driver != nullptr && driver->m_nState != kDriverOwnPrescan) {
            CString sound = AfxGetApp()->GetProfileString("Sounds", "BrelvaneEndScan", "");
            if (!sound.IsEmpty())
                sndPlaySoundA(sound, SND_ASYNC | SND_NODEFAULT);
            ReportScanStatus(kMsgScanComplete, 0);
        }
        DeleteBusyAtom();
    }
    if (m_pSettings != nullptr)
        m_pSettings->m_bScanStateA = m_pSettings->m_bScanStateB = 0;
    m_output.Free();
    m_reader.Free();
}
