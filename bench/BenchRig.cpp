#include "bench/BenchRig.h"

#include "core/devices/DeviceSearch.h"
#include "core/messages/MessageCatalog.h"
#include "core/messages/MessageReporter.h"
#include "core/messages/ProgramDirectory.h"
#include "core/scan/ScanJob.h"
#include "core/scsi/TransportFactory.h"
#include "drivers/fennik/FennikDriver.h"
#include "drivers/orbel/OrbelDriver.h"
#include "drivers/koval/KovalDriver.h"
#include "drivers/koval2/Koval2Driver.h"
#include "drivers/zandor/ZandorDriver.h"
#include "drivers/tmr/TmrDriver.h"
#include "drivers/telmari/TelmariDriver.h"
#include "drivers/koval2/OstravelDriver.h"
#include "drivers/lumetra/LumetraDriver.h"
#include "framework/App.h"
#include "sim/AspiManager.h"
#include "sim/FennikDevice.h"
#include "sim/OrbelDevice.h"
#include "sim/Koval2Device.h"
#include "sim/KovalDevice.h"
#include "sim/TelmariDevice.h"
#include "sim/OstravelDevice.h"
#include "sim/LumetraDevice.h"
#include "sim/SimOptions.h"
#include "sim/ZandorDevice.h"
#include "sim/TmrDevice.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kTarget = 4;

std::vector<std::string> g_Reports;

// A family's device and the stopwatch it wears; the rig keeps the one, the bus owns the other.
struct CFamilyParts {
    std::unique_ptr<CVirtualTarget> device;
    CDeviceStopwatch* stopwatch = nullptr;
};

template <class TDevice>
CFamilyParts MakeTimed(const CSimOptions& options)
{
    auto device = std::make_unique<CTimedDevice<TDevice>>(options);
    CFamilyParts parts;
    parts.stopwatch = device.get();
    parts.device = std::move(device);
    return parts;
}

CFamilyParts MakeDevice(BenchFamily family)
{
    CSimOptions options;
    switch (family) {
    case kBenchFennik:
        // Colour arrives as three planes per line into the driver's staging buffer, which
        // interleaves them; host calibration and the speed value stay on, as the unit ships.
        return MakeTimed<CFennikDevice>(options);
    case kBenchKovalPlus:
        // The buffer holds the whole image from the start: every status poll lets the read go.
        options.Set("model", "kovalplus");
        options.Set("fill", "0");
        return MakeTimed<CKovalDevice>(options);
    case kBenchZandor:
        // The colour model: three passes in bands of 64 lines, each band and pass its own SCAN.
        return MakeTimed<CZandorDevice>(options);
    case kBenchTmr:
        // Under way at the first status read after SCAN.
        options.Set("startpolls", "0");
        return MakeTimed<CTmrDevice>(options);
    case kBenchTelmari:
        // Ready for the next pass at once: colour costs its three passes and nothing more.
        options.Set("statepolls", "0");
        return MakeTimed<CTelmariDevice>(options);
    case kBenchOstravel:
        // A sensor as uneven as the calibration is meant for.
        options.Set("nonuniform", "20");
        return MakeTimed<COstravelDevice>(options);
    case kBenchLumetra:
        // Every line is in the camera's buffer from the start.
        return MakeTimed<CLumetraDevice>(options);
    case kBenchOrbel:
        return MakeTimed<COrbelDevice>(options);
    case kBenchKoval2:
        break;
    }
    // Identity tables that keep the chart's values, and every line ready at once.
    options.Set("lut", "1");
    options.Set("readylines", "0");
    return MakeTimed<CKoval2Device>(options);
}

std::unique_ptr<CScannerDriver> MakeFamilyDriver(BenchFamily family)
{
    switch (family) {
    case kBenchFennik:
        return std::make_unique<CFennikDriver>();
    case kBenchKovalPlus:
        return std::make_unique<CKovalDriver>();
    case kBenchZandor:
        return std::make_unique<CZandorDriver>();
    case kBenchTmr:
        return std::make_unique<CTmrDriver>();
    case kBenchTelmari:
        return std::make_unique<CTelmariDriver>();
    case kBenchOstravel:
        return std::make_unique<COstravelDriver>();
    case kBenchLumetra:
        return std::make_unique<CLumetraDriver>();
    case kBenchOrbel:
        return std::make_unique<COrbelDriver>();
    case kBenchKoval2:
        break;
    }
    return std::make_unique<CKoval2Driver>();
}

int WINAPI RecordBox(HWND, LPCSTR text, LPCSTR, UINT)
{
    g_Reports.push_back(text != nullptr ? text : "");
    return IDOK;
}

bool LoadCatalog()
{
    auto* catalog = new CMessageCatalog(CString("ENG.MSG"));
    CString path = ProgramDirectory() + "ENG.MSG";
    if (!catalog->Load(path)) {
        printf("cannot load the catalog %s\n", (const char*)path);
        delete catalog;
        return false;
    }
    catalog->m_nState = kCatalogLoaded;
    g_pMessageCatalog = catalog;
    return true;
}

}  // namespace

CBenchRig::~CBenchRig()
{
    g_pScannerDriver = nullptr;
    m_pDriver.reset();
    g_pScsiChannel = nullptr;
    m_channel.reset();
    delete m_pTransport;
    DetachManager();
    g_pScanSettings = nullptr;
    g_MessageReporter.SetBoxFunction(nullptr);
    delete g_pMessageCatalog;
    g_pMessageCatalog = nullptr;
    DeleteFileA(m_strIni.c_str());
    delete m_pApp;
}

bool CBenchRig::Open(const std::string& folder, BenchFamily family)
{
    m_pApp = new CWinApp("scan_bench");
    m_strIni = folder + "scan_bench.ini";
    m_pApp->m_pszProfileName = m_strIni.c_str();
    // Spill files of the output stage land beside the scanned files and go with the folder.
    SetEnvironmentVariableA("TMP", folder.c_str());
    SetEnvironmentVariableA("TEMP", folder.c_str());
    if (!LoadCatalog())
        return false;
    g_MessageReporter.SetBoxFunction(RecordBox);
    g_UserAbort = 0;
    g_pScanSettings = &m_Settings;
    if (!OpenChannel(family))
        return false;
    MakeDriver(family);
    return true;
}

bool CBenchRig::OpenChannel(BenchFamily family)
{
    // The manager completes each request inside the send call: the host never waits on a thread,
    // and the device's time is part of the caller's.
    CSimHostInfo host;
    host.immediate = true;
    m_bus.AddHost(host);
    CSimAddress address;
    address.target = kTarget;
    CFamilyParts parts = MakeDevice(family);
    m_pDevice = parts.stopwatch;
    m_bus.Attach(address, std::move(parts.device));
    if (!AttachManager())
        return false;
    m_pTransport = BuildTransport(kScsiDriverAspi32);
    if (m_pTransport->Open() != kMsgScsiOpened) {
        printf("cannot open the SCSI transport over the virtual bus\n");
        return false;
    }
    m_pTransport->SelectAdapter(0);
    m_pTransport->SetBus(0);
    m_pTransport->SelectTarget(kTarget);
    g_TransferSize = m_pTransport->GetMaxTransfer();   // as opening the device caches it
    g_DeviceTransferSize = g_TransferSize;
    m_channel = std::make_unique<CScsiChannel>(m_pTransport, ChannelKindOf(kScsiDriverAspi32));
    g_pScsiChannel = m_channel.get();
    return true;
}

void CBenchRig::MakeDriver(BenchFamily family)
{
    // Scans follow each other at once: no carriage return delay.
    m_pApp->WriteProfileString("General", "DisableSleep", "1");
    m_pApp->WriteProfileString("Ostravel", "DisableSleep", "1");
    m_pDriver = MakeFamilyDriver(family);
    g_pScannerDriver = m_pDriver.get();
    m_pDriver->InitCapabilities();
    m_pDriver->SetDefaultSettings(&m_Settings);
}

void CBenchRig::Select(int32_t type, int32_t resolution, int32_t width, int32_t height, int32_t bits,
                       int32_t rotation, bool bmp)
{
    m_pApp->WriteProfileString("General", "File extension", bmp ? "1" : "0");
    m_Settings.SetParam(kParamImageType, type);
    m_Settings.SetParam(kParamResolution, resolution);
    m_Settings.SetParam(kParamSelLeft, 0);
    m_Settings.SetParam(kParamSelTop, 0);
    m_Settings.SetParam(kParamSelRight, width);
    m_Settings.SetParam(kParamSelBottom, height);
    m_Settings.SetParam(kParamBitsPerChannel, bits);
    m_Settings.SetParamAllTypes(kParamScale, 100);
    m_Settings.SetParam(kParamRotation, rotation);
    m_Settings.SetParam(kParamOriginal, 0);
}

uint16_t CBenchRig::ScanToFile(const char* path)
{
    CScanJob job(&m_Settings, nullptr);
    uint16_t result = job.ScanToFile(path);
    job.EndScan();
    return result;
}

uint64_t CBenchRig::ReadThroughDriver()
{
    CScannerDriver& d = *m_pDriver;
    if (d.PrescanIfNeeded(&m_Settings, nullptr) != kDriverOk || d.ReserveDevice() != kDriverOk ||
        d.UpdateScanGeometry() != kDriverOk || d.SendLookupTables() != kDriverOk ||
        d.SetScanParameters(&m_Settings) != kDriverOk || d.PrepareScan() != kDriverOk ||
        d.StartScanCommand(0) != kDriverOk) {
        d.StopScan(0);
        return 0;
    }
    uint32_t bytesPerLine = m_Settings.GetBytesPerLine();
    uint32_t lineSize = d.GetLineOverhead() + bytesPerLine;
    uint32_t perTransfer = std::max<uint32_t>(d.GetTransferSize() / lineSize, 1);
    // A three-pass scanner sends one plane per pass; the driver converts the interleaved lines of
    // the last, three planes wide, as the reader hands them over.
    bool threePass = m_Settings.GetChannels() == 3 && (d.m_nCapabilityFlags & kCapColourOnePass) == 0;
    int passes = threePass ? 3 : 1;
    std::vector<uint8_t> buffer((size_t)perTransfer * lineSize * passes);
    uint32_t total = m_Settings.GetLineCount();
    uint32_t lines = 0;
    int32_t status = 0;
    for (int pass = 0; pass < passes; ++pass) {
        if (pass > 0 && (lines != total || d.StartPass(0, 0x80) != kDriverOk))
            break;
        bool last = pass + 1 == passes;
        for (lines = 0; lines < total;) {
            uint32_t n = std::min(perTransfer, total - lines);
            uint32_t delivered = 0;
            for (int round = 0; round < 30 && delivered == 0; ++round) {
                if (d.ReadData(buffer.data(), 0, uint16_t(n), uint16_t(bytesPerLine)) != kDriverOk)
                    break;
                d.PreProcessLines(buffer.data(), n, &m_Settings);
                delivered = last ? d.PostProcessLines(buffer.data(), n, &m_Settings, &status) : n;
                if (status != 0)
                    break;
            }
            if (delivered == 0)
                break;
            lines += delivered;
        }
    }
    d.StopScan(0);
    return lines == total ? (uint64_t)total * bytesPerLine * passes : 0;
}

bool CBenchRig::AttachManager()
{
    m_manager = LoadLibraryA("WNASPI32.DLL");
    auto attach = m_manager != nullptr ? reinterpret_cast<SimAttachBusProc>(reinterpret_cast<void (*)()>(
                                             GetProcAddress(m_manager, SIM_ATTACH_BUS)))
                                       : nullptr;
    if (attach == nullptr) {
        printf("cannot load our WNASPI32.DLL beside the program\n");
        return false;
    }
    attach(&m_bus);
    return true;
}

void CBenchRig::DetachManager()
{
    if (m_manager == nullptr)
        return;
    auto attach = reinterpret_cast<SimAttachBusProc>(
        reinterpret_cast<void (*)()>(GetProcAddress(m_manager, SIM_ATTACH_BUS)));
    if (attach != nullptr)
        attach(nullptr);
    FreeLibrary(m_manager);
    m_manager = nullptr;
}

std::vector<std::string> CBenchRig::Reports() const
{
    return g_Reports;
}
