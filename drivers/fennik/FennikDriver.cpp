// Identification, capabilities, format table, resolution rules, lookup tables, feeder operations
// and the sense handling of the FENNIK family.

#include "drivers/fennik/FennikDriver.h"

#include "core/messages/MessageReporter.h"
#include "core/scan/ShellServices.h"
#include "core/scsi/ScsiBuffer.h"
#include "core/scsi/ScsiChannel.h"
#include "core/settings/ScanSettings.h"
#include "core/settings/SettingsFile.h"
#include "core/util/Clock.h"
#include "core/util/CpuInfo.h"
#include "framework/App.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

CFormatTable* CFennikDriver::s_pFormatTable = nullptr;

namespace {

constexpr uint32_t kCommandTimeout = 30000;
constexpr uint32_t kReadyTimeout = 60000;
constexpr int kSenseBytes = 32;
constexpr uint32_t kLargestRead = 58368;
constexpr uint32_t kPollMs = 1000;

// INQUIRY vendor bytes.
constexpr int kInqRevisionMark = 36;
constexpr int kInqFlags = 37;
constexpr int kInqOptical = 48;
constexpr uint8_t kFlagFeeder = 0x40;
constexpr uint8_t kFlagTransparency = 0x20;
constexpr uint8_t kFlagSpeed = 0x10;

constexpr uint16_t kSenseEndOfData = 0x0005;
constexpr uint16_t kSenseBecomingReady = 0x0401;

constexpr int kMsgNoMemory = 3317;
constexpr int kMsgWrongLength = 3351;
constexpr int kMsgBecomingReady = 4436;
constexpr int kMsgNoPaper = 3339;

const uint32_t kFennikResolutions[] = {50, 75, 100, 150, 200, 300, 400, 500, 600, 800, 1000, 1200, 2400, 65535, 0};
const uint16_t kCapabilityWords[8] = {2056, 2056, 10, 10, 2, 2, 0, 0};
constexpr CBedArea kReflectiveBed = {0, 0, 21590, 29692};
constexpr CBedArea kTransparencyBed = {0, 0, 20100, 25200};
constexpr uint32_t kFeederWidth = 21600;
constexpr uint32_t kFeederHeight = 35500;

// Message id, original kind (0 reflective, 1 transparency), width, height, left, top (1/100 mm).
const CStaticFormatEntry kFennikFormats[] = {
    {3167, 0, 21000, 29700, 300, 0, 0, 0},
    {3175, 0, 99999, 99999, 0, 0, 0, 0},
    {3175, 1, 99999, 99999, 0, 0, 0, 0},
    {3178, 1, 3570, 3150, 8090, 1690, 0, 0},
    {3180, 1, 5810, 5810, 7020, 2020, 0, 0},
    {3185, 1, 9580, 12090, 5210, 1650, 0, 0},
    {3186, 1, 12130, 9580, 3900, 2200, 0, 0},
    {3187, 0, 21000, 29700, 0, 0, 0, 0},
    {0, 0, 0, 0, 0, 0, 0, 0},
};

bool TakeUserAbort()
{
    if (g_UserAbort == 0)
        return false;
    g_UserAbort = 0;
    return true;
}

int GeneralInt(const char* key, int fallback)
{
    return (int)AfxGetApp()->GetProfileInt("General", key, fallback);
}

}  // namespace

CScannerDriver* CreateFennikDriver()
{
    return new (std::nothrow) CFennikDriver;
}

CFennikDriver::~CFennikDriver()
{
    // A feeder job keeps the unit reserved between sheets; a driver that goes mid-job must not
    // leave the scanner locked to nobody.
    if (m_bReserved)
        Release();
    ReleaseSharedFormatTable(s_pFormatTable);
    m_pFormatTable = nullptr;
    FreeBlock(m_Staging);
    FreeBlock(m_HeldLine);
}

void CFennikDriver::FreeBlock(CGlobalBlock& block)
{
    block.Free();
    block = CGlobalBlock();
}

int CFennikDriver::ModelInt(const char* key, int fallback) const
{
    return (int)AfxGetApp()->GetProfileInt(m_strProduct, key, fallback);
}

uint32_t CFennikDriver::GetTransferSize()
{
    return m_nTransferKb * 1024;
}

uint16_t CFennikDriver::Identify()
{
    CScsiInquiryBuffer inquiry;
    uint8_t* data = inquiry.GetData();
    data[4] = 0;
    uint16_t raw = g_pScsiChannel != nullptr ? g_pScsiChannel->Inquiry(inquiry, kCommandTimeout, kSenseBytes)
                                             : uint16_t(kDriverFailed);
    m_nLastResult = CheckResult(raw, inquiry);
    if (m_nLastResult != kDriverOk)
        return m_nLastResult;
    SetVendorName(inquiry.GetVendor());
    SetProductName(inquiry.GetProduct());
    CString revision = inquiry.GetRevision();
    revision += ' ';
    revision += char(data[kInqRevisionMark]);
    SetRevisionText(revision);
    m_nInquiryLength = data[4];

    m_nOpticalResolution = (uint32_t(data[kInqOptical]) << 8) | data[kInqOptical + 1];
    uint16_t optical = uint16_t(std::min<uint32_t>(m_nOpticalResolution, 0x7FFF));
    m_ResolutionRange[0] = m_ResolutionRange[1] = {20, optical};
    m_ResolutionRange[2] = m_ResolutionRange[3] = {20, uint16_t(2 * optical)};
    m_nBufferSize = 128u >> (2 - std::clamp(ModelInt("RingBufferMode", 2), 0, 2));
    m_ReflectiveBed = kReflectiveBed;
    m_TransparencyBed = kTransparencyBed;
    m_nMaxResolutionForType = 2400;
    std::memcpy(m_nCapabilityWords, kCapabilityWords, sizeof m_nCapabilityWords);
    m_ReflectiveDensity = {50, 50, 2000, 2000};
    m_TransparencyDensity = {70, 70, 2500, 2500};
    m_nImageTypeFlags = (1u << kImageLineArt) | (1u << kImageGrey) | (1u << kImageRgb);
    m_nCapabilityFlags = kCapColourOnePass | kCapReflective;
    std::memset(m_nFurtherFlags, 0, sizeof m_nFurtherFlags);
    m_bFeederPresent = (data[kInqFlags] & kFlagFeeder) != 0 ? 1 : 0;
    m_bTransparencyUnit = (data[kInqFlags] & kFlagTransparency) != 0 ? 1 : 0;
    if (m_bTransparencyUnit)
        m_nCapabilityFlags |= 0x04;
    m_bSpeedTable = (data[kInqFlags] & kFlagSpeed) != 0 ? 1 : 0;

    CScsiTransport* transport = g_pScsiChannel->GetTransport();
    m_nTransportMaximum = transport != nullptr ? transport->GetMaxTransfer() : kLargestRead;
    m_nReadChunk = std::min(m_nTransportMaximum, kLargestRead);
    AfxGetApp()->WriteProfileInt("General", "ScanBuffer", int(m_nReadChunk / 1024));
    return m_nLastResult;
}

void CFennikDriver::InitCapabilities()
{
    m_nKind = kKindFennik;
    m_pResolutionList = kFennikResolutions;
    m_nFirmwareLowest = 100;
    m_nFirmwareHighest = 9999;
    m_bEndOfFeederJob = 0;
    m_bFeederIdle = 1;
    m_nInquiryLength = 0;
    Identify();
    if (s_pFormatTable == nullptr)
        s_pFormatTable = new (std::nothrow) CFormatTable;
    m_pFormatTable = s_pFormatTable != nullptr ? BuildFormatTable(kFennikFormats, s_pFormatTable) : nullptr;

    FreeBlock(m_HeldLine);
    FreeBlock(m_Staging);
    m_nTransferKb = (uint32_t)std::max(ModelInt("BigBuffer", 0), 0);
    if (m_nTransferKb == 0)
        m_nTransferKb = GetPhysicalMemoryMb() >= 16 && GetCpuFamily() > 4 ? 128 : 512;
    m_Staging.Alloc(GetTransferSize(), 1, GMEM_MOVEABLE);
}

void CFennikDriver::RebuildFormatTable()
{
    if (s_pFormatTable != nullptr)
        RebuildKeepingUserFormat(kFennikFormats, s_pFormatTable);
}

uint16_t CFennikDriver::UpdateScanGeometry()
{
    uint16_t result = UpdateSharedScanGeometry();
    // Device line art arrives with set bits white and is inverted back as it is read, so every
    // FENNIK line art reaches the output stage with set bits black.
    if (result == kDriverOk)
        m_bLineArt = 1;
    return result;
}

uint32_t CFennikDriver::GetMaxWidth(int32_t original) const
{
    if (original == 0 && m_bFeederPresent && m_bFeederActive)
        return kFeederWidth;
    return GetBedWidth(original);
}

uint32_t CFennikDriver::GetMaxHeight(int32_t original) const
{
    if (original == 0 && m_bFeederPresent && m_bFeederActive)
        return kFeederHeight;
    return GetBedHeight(original);
}

int32_t CFennikDriver::GetOptimalStroke()
{
    return ModelInt("OptimalStroke", 10);
}

int CFennikDriver::IsLutRising(uint32_t scanMode)
{
    return scanMode == 0 ? 0 : 1;
}

uint32_t CFennikDriver::ClampResolutionX(uint32_t r)
{
    if (g_pScanSettings != nullptr) {
        const CScanSettings& settings = *g_pScanSettings;
        int32_t type = settings.GetCurrentType();
        bool photo = type != kImageLineArt && type != kImageHalftone;
        if (!IsScreenRulingOff() && photo && settings.GetParam(kParamScreenRuling) != 0)
            r = 4 * (uint32_t)settings.GetParam(kParamScreenRuling);
        if (settings.GetParam(kParamQuality) == 1 && photo)
            r = r <= 75 ? 75 : r <= 150 ? 150 : 300;
    }
    return std::clamp<uint32_t>(r, m_ResolutionRange[0].m_nMinimum, m_ResolutionRange[0].m_nMaximum);
}

uint32_t CFennikDriver::ClampResolutionY(uint32_t resolution)
{
    return ClampResolutionX(resolution);
}

uint32_t CFennikDriver::GetOptimalResolution(int32_t formatIndex)
{
    if (m_pFormatTable == nullptr || formatIndex < 0 || formatIndex >= kFormatTableEntries)
        return 30;
    const CFormatEntry& entry = m_pFormatTable->m_Entries[formatIndex];
    double area = (double)(uint32_t)entry.m_nWidth * (double)(uint32_t)entry.m_nHeight;
    if (area <= 0)
        return 30;
    uint32_t q = (uint32_t)(std::sqrt((double)g_PreviewBufferBytes / area) * 2540.0);
    static const uint32_t kCandidates[] = {30, 50, 75, 150};
    uint32_t best = kCandidates[0];
    for (uint32_t candidate : kCandidates) {
        uint32_t distance = candidate > q ? candidate - q : q - candidate;
        uint32_t bestDistance = best > q ? best - q : q - best;
        if (distance < bestDistance)
            best = candidate;
    }
    return best;
}

uint32_t CFennikDriver::ScanModeForImageType(int32_t imageType)
{
    switch (imageType) {
    case kImageLineArt: break;
    case kImageHalftone:
    case kImageGrey: return 2;
    case kImageRgb:
    case kImageCmyk: return 3;
    default: return 0;
    }
    if (g_pScanSettings == nullptr)
        return 2;
    const CScanSettings& settings = *g_pScanSettings;
    uint32_t resolution = (uint32_t)settings.GetParam(kParamResolution);
    bool deviceLineArt = settings.GetParam(kParamQuality) != 1 && settings.GetParam(kParamRotation) == 0 &&
                         settings.GetParam(kParamMirror) == 0 && resolution >= m_ResolutionRange[0].m_nMinimum &&
                         resolution <= m_ResolutionRange[0].m_nMaximum;
    return deviceLineArt ? 0 : 2;
}

uint16_t CFennikDriver::BuildChannelLut(uint8_t* destination, int channel)
{
    CScopedBlock block(2048);
    if (destination == nullptr || block.Data() == nullptr) {
        ReportMessage(kMsgNoMemory);
        return kDriverAborted;
    }
    uint16_t* entries = static_cast<uint16_t*>(block.Data());
    BuildScannerLut(entries, 1024, 255, channel, 1000);
    for (int i = 0; i < 1024; ++i)
        destination[i] = uint8_t(entries[i]);
    return kDriverOk;
}

uint16_t CFennikDriver::SendTable(int channel, uint8_t qualifier)
{
    CScsiByteBuffer table(1024);
    if (table.GetData() == nullptr)
        return kDriverFailed;
    if (BuildChannelLut(table.GetData(), channel) != kDriverOk)
        return kDriverFailed;
    uint16_t result = WaitReady(kReadyTimeout);
    if (result != kDriverOk)
        return result;
    return CheckResult(g_pScsiChannel->Send10WithControl(table, 3, qualifier, 0, kCommandTimeout, kSenseBytes), table);
}

uint16_t CFennikDriver::SendLookupTables()
{
    const CScanSettings& settings = *g_pScanSettings;
    if (m_nState == 1 && settings.GetParam(kParamOriginal) == 0)
        return kDriverOk;
    uint32_t mode = settings.GetScanMode();
    if (mode == 0)
        return kDriverOk;
    if (mode < 3)
        return SendTable(0, 0x80);
    uint16_t result = kDriverOk;
    for (int channel = 1; channel <= 3 && result == kDriverOk; ++channel)
        result = SendTable(channel, uint8_t(0x80 + channel));
    return result;
}

uint16_t CFennikDriver::EnableFeeder(int on)
{
    m_bFeederActive = 0;
    if (on == 0)
        return 1;
    if (!m_bFeederPresent)
        return 0;
    m_bFeederActive = 1;
    return 1;
}

int CFennikDriver::DetectFeeder()
{
    uint8_t data[96];
    if (WaitReady(kReadyTimeout) != kDriverOk || InquireAgain(data) != kDriverOk)
        return 0;
    m_bFeederPresent = (data[kInqFlags] & kFlagFeeder) != 0 ? 1 : 0;
    if (!m_bFeederPresent)
        return 0;
    EnableFeeder(1);
    return 1;
}

int CFennikDriver::IsFeederLoaded()
{
    uint8_t data[96];
    if (WaitReady(kReadyTimeout) != kDriverOk || InquireAgain(data) != kDriverOk)
        return 0;
    return (data[kInqFlags] & kFlagFeeder) != 0 ? 1 : 0;
}

uint16_t CFennikDriver::ResetFeeder()
{
    m_bFeederActive = 0;
    uint8_t data[96];
    if (WaitReady(kReadyTimeout) != kDriverOk)
        return 0;
    InquireAgain(data);
    EnableFeeder(1);
    return 1;
}

uint16_t CFennikDriver::InquireAgain(uint8_t* data)
{
    CScsiInquiryBuffer inquiry;
    inquiry.GetData()[4] = m_nInquiryLength;
    uint16_t result = CheckResult(g_pScsiChannel->Inquiry(inquiry, kCommandTimeout, kSenseBytes), inquiry);
    std::memcpy(data, inquiry.GetData(), 96);
    return result;
}

uint16_t CFennikDriver::ReserveDevice()
{
    if (GeneralInt("ADF", 0) != 0) {
        m_bFeederActive = 1;
        m_bEndOfFeederJob = 0;
        m_bFeederIdle = 1;
    } else {
        m_bFeederActive = 0;
    }
    uint16_t result = WaitReady(kReadyTimeout);
    if (result != kDriverOk)
        return result;
    // The device shows its feeder only while it holds paper; the glass in its place would be
    // another original than the one asked for.
    if (m_bFeederActive) {
        uint8_t data[96];
        result = InquireAgain(data);
        if (result != kDriverOk)
            return result;
        m_bFeederPresent = (data[kInqFlags] & kFlagFeeder) != 0 ? 1 : 0;
        if (!m_bFeederPresent) {
            m_bFeederActive = 0;
            ReportMessage(kMsgNoPaper);
            return kDriverAborted;
        }
    }
    CScsiByteBuffer none(0);
    result = g_pScsiChannel->ReserveUnit(none, kCommandTimeout, kSenseBytes);
    if (result == kDriverOk)
        m_bReserved = true;
    return result;
}

void CFennikDriver::Release()
{
    if (g_pScsiChannel != nullptr) {
        CScsiByteBuffer none(0);
        g_pScsiChannel->ReleaseUnit(none, kCommandTimeout, kSenseBytes);
    }
    m_bReserved = false;
}

uint16_t CFennikDriver::CheckResult(uint16_t result, CScsiBuffer& block)
{
    if (result == kDriverOk || result == kDriverAborted || result == kDriverFailed)
        return result;
    if ((result >> 8) != 0)
        return kDriverFailed;
    switch (result & 0xFF) {
    case kScsiGood: return kDriverOk;
    case kScsiCheckCondition: return HandleSense(block.m_sense);
    default: return kDriverFailed;
    }
}

uint16_t CFennikDriver::HandleSense(const uint8_t* sense)
{
    uint16_t code = uint16_t((sense[12] << 8) | sense[13]);
    if (sense[2] & 0x20) {
        ReportMessage(kMsgWrongLength);
        return kDriverAborted;
    }
    switch (sense[2] & 0x0F) {
    case 0: return kDriverOk;
    case 2:
        if (code == kSenseBecomingReady)
            return WaitWhileBecomingReady();
        ReportSenseCode(code);
        return kDriverAborted;
    case 4: return code == 0 ? ReportHardwareBits(sense) : uint16_t(kDriverFailed);
    case 5:
    case 9:
    case 11: ReportSenseCode(code); return kDriverAborted;
    default: return kDriverFailed;
    }
}

uint16_t CFennikDriver::ReportHardwareBits(const uint8_t* sense)
{
    for (int bit = 0; bit < 8; ++bit) {
        if (sense[18] & (1 << bit)) {
            ReportMessage(4464 + bit);
            return kDriverAborted;
        }
    }
    for (int bit = 0; bit < 4; ++bit) {
        if (sense[19] & (1 << bit)) {
            ReportMessage(4472 + bit);
            return kDriverAborted;
        }
    }
    return kDriverFailed;
}

// A unit that keeps saying it is becoming ready is given as long as the slowest family waits; after
// that the scan fails like any unanswered wait, and the job reports it.
uint16_t CFennikDriver::WaitWhileBecomingReady()
{
    Shell().ShowScanStatus(kMsgBecomingReady, 0);
    uint32_t start = MillisecondClock();
    for (;;) {
        if (TakeUserAbort())
            return kDriverAborted;
        CScsiByteBuffer none(0);
        uint16_t result = g_pScsiChannel->TestUnitReady(none, kCommandTimeout, kSenseBytes);
        if (result == kDriverOk || result == kDriverAborted || result == kDriverFailed)
            return result;
        if ((result >> 8) != 0 || (result & 0xFF) != kScsiCheckCondition)
            return kDriverFailed;
        uint16_t code = uint16_t((none.m_sense[12] << 8) | none.m_sense[13]);
        if (code != kSenseBecomingReady || (none.m_sense[2] & 0x0F) != 2)
            return HandleSense(none.m_sense);
        if (ClockElapsed(start) >= m_nBecomingReadyLimit)
            return kDriverFailed;
        PumpMessages(std::min(kPollMs, m_nBecomingReadyLimit));
    }
}

void CFennikDriver::ReportSenseCode(uint16_t code)
{
    switch (code) {
    case 0x0000: ReportMessage(3441, (unsigned long)code); return;
    case kSenseEndOfData:
        if (m_bFeederIdle)
            ReportMessage(3406);
        m_bFeederIdle = 1;
        m_bEndOfFeederJob = 1;
        return;
    case 0x0403: ReportMessage(3451); m_bEndOfFeederJob = 1; return;
    case 0x2500: ReportMessage(3439); return;
    case 0x2C00: ReportMessage(3442); return;
    case 0x3B05: ReportMessage(3338); m_bEndOfFeederJob = 1; return;
    case 0x3B09: ReportMessage(3402); m_bEndOfFeederJob = 1; return;
    default: ReportMessage(3340); return;
    }
}
