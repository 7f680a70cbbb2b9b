#include "core/devices/DeviceSearch.h"

#include "core/devices/FoundDevice.h"
#include "core/devices/ModelTable.h"
#include "core/driver/ScannerDriver.h"
#include "core/messages/MessageReporter.h"
#include "core/messages/MsgString.h"
#include "core/messages/TraceLog.h"
#include "core/scsi/ScsiBuffer.h"
#include "core/scsi/ScsiChannel.h"
#include "core/scan/ShellServices.h"
#include "core/scsi/TransportFactory.h"
#include "framework/App.h"
#include "framework/Collections.h"
#include "framework/Wnd.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

int32_t g_nWindowsClass = 4;
uint32_t g_TransferSize = 0;
uint32_t g_DeviceTransferSize = 0;
const char* g_pszEngineIniFile = nullptr;

namespace {

constexpr const char* kGeneral = "General";
constexpr const char* kBlackList = "BlackList";
constexpr uint8_t kNoAddress = 255;
constexpr int kMsgLookingForDevice = 3276;
constexpr int kMsgNoScanner = 3316;
constexpr uint32_t kInquiryTimeoutMs = 1000;
constexpr int kSenseBytes = 32;
constexpr uint8_t kScannerDeviceType = 6;
constexpr int kTryListSize = 8;

// Adapters whose scans are known to be safe: never blacklisted.
const char* const kExemptAdapters[] = {"AHA154X", "AIC78XX", "FD16_700", "SPARROW"};

void Trace(const char* format, ...)
{
    if (g_pTraceLog == nullptr)
        return;
    char line[256];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    g_pTraceLog->Printf("%s", line);
}

void ShowStatus(CWnd* splash, int show, const char* format, ...)
{
    if (!show || splash == nullptr)
        return;
    char text[255];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    Shell().ShowSplashStatus(splash, text);
}

int ProfileInt(const char* section, const char* key, int fallback)
{
    return (int)AfxGetApp()->GetProfileInt(section, key, fallback);
}

void WriteProfileInt(const char* section, const char* key, int value)
{
    AfxGetApp()->WriteProfileInt(section, key, value);
}

void WriteSearchAddress(int driver, int host, int bus, int target)
{
    WriteProfileInt(kGeneral, "SCSIDriver", driver);
    WriteProfileInt(kGeneral, "HostID", host);
    WriteProfileInt(kGeneral, "BusID", bus);
    WriteProfileInt(kGeneral, "TargetID", target);
}

// The first transport to try and the try-list, by Windows class and the stored first choice.
ScsiDriverId ChooseTransports(ScsiDriverId (&tryList)[kTryListSize])
{
    for (ScsiDriverId& id : tryList)
        id = kScsiDriverNone;
    int dosAspi = ProfileInt(kGeneral, "DosAspi", 0);
    int stored = ProfileInt(kGeneral, "SCSIDriver", 0);
    switch (g_nWindowsClass) {
    case 0:
    case 1:
        if (dosAspi != 0) {
            tryList[0] = kScsiDriverDosAspi;
            return kScsiDriverDosAspi;
        }
        tryList[0] = kScsiDriverWinAspi16;
        tryList[1] = kScsiDriverPnrCard;
        tryList[2] = kScsiDriverPczCard;
        tryList[3] = kScsiDriverDosAspi;
        return (stored & 0x10) != 0 ? (ScsiDriverId)stored : kScsiDriverWinAspi16;
    case 2:
    case 4:
        tryList[0] = kScsiDriverNtScsi;
        tryList[1] = kScsiDriverAspi32;
        tryList[2] = kScsiDriverRpc;
        return (stored & 0x88) == 0x88 ? (ScsiDriverId)stored : kScsiDriverNtScsi;
    default:
        tryList[0] = kScsiDriverAspi32;
        return (stored & 0x48) == 0x48 ? (ScsiDriverId)stored : kScsiDriverAspi32;
    }
}

// The next try-list entry after the current position, skipping the first choice.
ScsiDriverId NextTryListEntry(const ScsiDriverId (&tryList)[kTryListSize])
{
    while (g_ScsiTryIndex < kTryListSize && tryList[g_ScsiTryIndex] != kScsiDriverNone) {
        ScsiDriverId id = tryList[g_ScsiTryIndex++];
        if (id != g_FirstScsiDriver)
            return id;
    }
    return kScsiDriverNone;
}

CScsiTransport* Transport() { return g_pScsiChannel->GetTransport(); }

void CreateBareDriver()
{
    g_pScannerDriver = new (std::nothrow) CScannerDriver;
}

// Probes the selected target; true when a scanner answered and was added. 0 in *ok when memory ran
// out while recording it.
bool ProbeTarget(CWnd* splash, int show, CObList& devices, uint8_t host, uint8_t bus, uint8_t target,
                 bool fullScan, int* ok)
{
    CScsiTransport* transport = Transport();
    Trace("Looking for device %d", target);
    ShowStatus(splash, show, "     %s %d     ", (const char*)CMsgString(kMsgLookingForDevice), target);
    transport->SelectTarget(target);
    CScsiInquiryBuffer inquiry;
    inquiry.GetData()[4] = 0;
    // Left behind by a crash during the INQUIRY: the next start blacklists the adapter.
    AfxGetApp()->WriteProfileString(kGeneral, "DangerousMPD", transport->GetAdapterName());
    TransportResult result = g_pScsiChannel->Inquiry(inquiry, kInquiryTimeoutMs, kSenseBytes);
    AfxGetApp()->WriteProfileString(kGeneral, "DangerousMPD", "");
    if (result != kScsiGood)
        return false;
    if (inquiry.GetData()[0] != kScannerDeviceType) {
        if (fullScan)
            Trace("ID %d, No scanner device", target);
        return false;
    }
    if (fullScan)
        Trace("Scanner found on %d", target);
    CScsiInquiryBuffer* copy = new (std::nothrow) CScsiInquiryBuffer;
    CFoundDevice* device = copy != nullptr ? new (std::nothrow) CFoundDevice(copy, target, host, bus) : nullptr;
    if (device == nullptr) {
        delete copy;
        *ok = 0;
        return false;
    }
    memcpy(copy->GetData(), inquiry.GetData(), inquiry.GetLength());
    if (fullScan)
        Trace("Adding %s", (const char*)device->GetDescription());
    devices.AddTail(device);
    return true;
}

// A device opened: its driver exists, the splash names it.
void OpenDevice(CWnd* splash, int show, CFoundDevice& device)
{
    OpenScannerDevice(device);
    ShowStatus(splash, show, "            %s            ", (const char*)device.GetDescription());
}

// Opens the device the user picks among several; false when the chooser was cancelled, which
// leaves the bare driver (no scanner).
bool OpenChosenDevice(CWnd* splash, int show, CObList& devices)
{
    int position = 0;
    POSITION chosen = Shell().ChooseScanner(devices, &position) == 1 ? devices.FindIndex(position) : nullptr;
    if (chosen == nullptr) {
        CreateBareDriver();
        return false;
    }
    OpenDevice(splash, show, *static_cast<CFoundDevice*>(devices.GetAt(chosen)));
    return true;
}

// The next start asks this address first and opens this transport first.
void RememberAddress(ScsiDriverId driver, bool chooserCancelled)
{
    CScsiTransport* transport = Transport();
    // After a cancelled choice the transport rests on the last target probed, which is no device
    // the user chose: the next start must scan the whole bus again.
    if (chooserCancelled)
        WriteSearchAddress(driver, kNoAddress, kNoAddress, kNoAddress);
    else
        WriteSearchAddress(driver, transport->GetAdapter(), transport->GetBus(), transport->GetTarget());
    transport->SetRetry(true);
}

enum class NoScannerAnswer { Abort, Retry, Ignore };

NoScannerAnswer AskNoScanner()
{
    CWnd* main = AfxGetMainWnd();
    int answer = Shell().SearchBox(main != nullptr ? main->m_hWnd : nullptr, CMsgString(kMsgNoScanner),
                                   CMsgString(kMsgBoxCaption), MB_ABORTRETRYIGNORE | MB_ICONSTOP);
    // The INI must not keep an address the search never confirmed.
    WriteSearchAddress(kScsiDriverNone, kNoAddress, kNoAddress, kNoAddress);
    if (answer == IDRETRY)
        return NoScannerAnswer::Retry;
    if (answer == IDIGNORE)
        return NoScannerAnswer::Ignore;
    return NoScannerAnswer::Abort;
}

}  // namespace

int CheckDangerousAdapter()
{
    CString name = AfxGetApp()->GetProfileString(kGeneral, "DangerousMPD", "");
    if (name.IsEmpty())
        return 0;
    name.MakeUpper();
    for (const char* exempt : kExemptAdapters)
        if (name == exempt)
            return 0;
    int n = 1;
    char key[16];
    for (;; ++n) {
        snprintf(key, sizeof key, "%d", n);
        if (AfxGetApp()->GetProfileString(kBlackList, key, "Not Found") == "Not Found")
            break;
    }
    AfxGetApp()->WriteProfileString(kBlackList, key, name);
    AfxGetApp()->WriteProfileString(kGeneral, "DangerousMPD", "");
    return 1;
}

int ScanScsiBus(CWnd* splash, int show, CObList& devices)
{
    CheckDangerousAdapter();
    CScsiTransport* transport = Transport();
    uint8_t host = (uint8_t)ProfileInt(kGeneral, "HostID", kNoAddress);
    uint8_t target = (uint8_t)ProfileInt(kGeneral, "TargetID", kNoAddress);
    uint8_t bus = (uint8_t)ProfileInt(kGeneral, "BusID", 0);
    int ok = 1;
    if (host != kNoAddress && target != kNoAddress) {
        transport->SelectAdapter(host);
        transport->SetBus(bus);
        transport->SetLun(0);
        transport->SelectTarget(target);
        if (transport->GetTargetCount() == 0)
            Trace("Blacklisted Adapter Skipped");
        else if (ProbeTarget(splash, show, devices, host, bus, target, false, &ok))
            return 1;
        if (!ok)
            return 0;
    }
    for (uint8_t h = 0; h < transport->GetAdapterCount(); ++h) {
        transport->SelectAdapter(h);
        transport->SetLun(0);
        for (uint8_t b = 0; (int)b < transport->GetBusCount(); ++b) {
            transport->SetBus(b);
            for (uint8_t t = 0; t < transport->GetTargetCount(); ++t) {
                ProbeTarget(splash, show, devices, h, b, t, true, &ok);
                if (!ok)
                    return 0;
            }
        }
    }
    return 1;
}

void MatchScannerModels(CObList& devices)
{
    POSITION pos = devices.GetHeadPosition();
    while (pos != nullptr) {
        POSITION current = pos;
        CFoundDevice* device = static_cast<CFoundDevice*>(devices.GetNext(pos));
        device->m_nModelIndex = FirstMatchingModel(*device->m_pInquiry, true);
        if (device->m_nModelIndex < 0) {
            devices.RemoveAt(current);
            delete device;
        }
    }
}

void OpenScannerDevice(CFoundDevice& device)
{
    CScsiTransport* transport = Transport();
    transport->SelectAdapter(device.m_nHost);
    transport->SetBus(device.m_nBus);
    transport->SelectTarget(device.m_nTarget);
    g_TransferSize = transport->GetMaxTransfer();
    g_DeviceTransferSize = g_TransferSize;
    bool matched = device.m_nModelIndex >= 0 && device.m_nModelIndex < kModelCount;
    g_pScannerDriver = matched ? g_ModelDescriptors[device.m_nModelIndex]->Create() : nullptr;
}

void DeleteFoundDevices(CObList& devices)
{
    POSITION pos = devices.GetHeadPosition();
    while (pos != nullptr)
        delete static_cast<CFoundDevice*>(devices.GetNext(pos));
    devices.RemoveAll();
}

int FindScanner(CWnd* splash, int show)
{
    if (!Shell().LoadColourEngine(g_pszEngineIniFile))
        return 0;
    if (show && splash != nullptr) {
        splash->Invalidate();
        splash->UpdateWindow();
    }
    Trace("Brelvane 32 bit version");
    ScsiDriverId tryList[kTryListSize];
    ScsiDriverId driver = ChooseTransports(tryList);
    g_FirstScsiDriver = driver;
    g_ScsiTryIndex = 0;
    CObList devices;
    bool found = false;
    bool chooserCancelled = false;
    for (;;) {
        CreateTransport(&driver, tryList);
        DeleteFoundDevices(devices);
        ScanScsiBus(splash, show, devices);
        MatchScannerModels(devices);
        if (devices.GetCount() >= 2) {
            chooserCancelled = !OpenChosenDevice(splash, show, devices);
            found = true;
            break;
        }
        if (devices.GetCount() == 1) {
            OpenDevice(splash, show, *static_cast<CFoundDevice*>(devices.GetHead()));
            found = true;
            break;
        }
        driver = NextTryListEntry(tryList);
        if (driver != kScsiDriverNone)
            continue;
        CreateTransport(&driver, tryList);
        NoScannerAnswer answer = AskNoScanner();
        if (answer == NoScannerAnswer::Abort)
            break;
        if (answer == NoScannerAnswer::Retry) {
            driver = tryList[0];
            g_ScsiTryIndex = 1;
            continue;
        }
        CreateBareDriver();
        found = true;
        break;
    }
    // A driver that could not be made (memory) leaves the program without a scanner, not without a
    // driver.
    if (found && g_pScannerDriver == nullptr)
        CreateBareDriver();
    found = found && g_pScannerDriver != nullptr;
    if (found)
        RememberAddress(driver, chooserCancelled);
    DeleteFoundDevices(devices);
    if (g_pScannerDriver != nullptr) {
        g_pScannerDriver->InitCapabilities();
        g_DeviceTransferSize = g_pScannerDriver->GetTransferSize();
        g_TransferSize = g_DeviceTransferSize;
    }
    return found ? 1 : 0;
}
