// The PENDARO flatbeds: identification, capabilities, window limits, exposure pages, lookup tables,
// resolution steps, the document feeder and its paper prompt. Everything else is the KOVAL II
// command set and data path.

#include "drivers/koval2/PendaroDriver.h"

#include "core/messages/MessageReporter.h"
#include "core/scsi/ScsiBuffer.h"
#include "core/scsi/ScsiChannel.h"
#include "core/settings/ScanSettings.h"
#include "core/util/ByteOrder.h"
#include "core/util/Clock.h"
#include "core/util/SystemUtil.h"
#include "drivers/koval2/Koval2Exposure.h"
#include "drivers/koval2/Koval2ScanCommon.h"
#include "drivers/koval2/PendaroLut.h"
#include "drivers/koval2/PendaroTables.h"

#include <algorithm>
#include <cstring>
#include <new>

CFormatTable* CPendaroDriver::s_pPendaroTable = nullptr;

namespace {

constexpr int kInqScaling = 56;
constexpr int kInqImageTypes = 57;
constexpr int kInqGrouping = 59;
constexpr int kInqAccessories = 63;
constexpr int kInqHighResolution = 64;
constexpr int kInqPageLength = 65;
constexpr int kInqLookupTable = 66;
constexpr int kInqExposureLimit = 73;

constexpr uint8_t kFeederFitted = 0x04;
constexpr uint8_t kFeederSheet = 0x08;
constexpr uint8_t kTransparencyFitted = 0x40;
constexpr uint8_t kFeederStatus = 0x80;

constexpr uint32_t kHundredthMmPerInch = 2540;
constexpr uint32_t kBufferStatusWait = 90000;
constexpr uint32_t kFeederSettleMs = 3000;
constexpr int kMsgNoMemory = 3317;
constexpr int kMsgLutTooLarge = 3415;
constexpr int kMsgNoPaper = 3339;
constexpr int kMsgNoFeeder = 4457;
constexpr uint8_t kPendaroLutCommand = 0x27;

const uint16_t kCapabilityWords[8] = {2056, 2056, 10, 10, 2, 2, 0, 3600};

bool ProductIs(const uint8_t* inquiry, const char* product)
{
    return std::memcmp(inquiry + 16, product, 16) == 0;
}

bool IsTransparent(int32_t original) { return original == 1 || original == 2; }

uint32_t PendaroLutEntries(uint8_t bits)
{
    if (bits & 0x08)
        return 65536;
    if (bits & 0x04)
        return 4096;
    if (bits & 0x02)
        return 1024;
    return 256;
}

uint32_t PendaroLutMaximum(uint8_t bits)
{
    static const uint32_t kMaximum[4] = {255, 1023, 4095, 65535};
    return (bits & 0x80) != 0 ? 255 : kMaximum[(bits >> 5) & 3];
}

}  // namespace

CScannerDriver* CreatePendaroDriver()
{
    return new (std::nothrow) CPendaroDriver;
}

CPendaroDriver::~CPendaroDriver()
{
    if (!m_bFormatTableReleased)
        ReleaseClassTable(s_pPendaroTable);
}

uint32_t CPendaroDriver::GetMaxResolutionForType(int32_t) { return 2400; }

uint16_t CPendaroDriver::ReadInquiry(uint8_t* data, size_t size)
{
    CScsiInquiryBuffer inquiry;
    inquiry.GetData()[4] = 0;
    uint16_t result = g_pScsiChannel != nullptr ? g_pScsiChannel->Inquiry(inquiry, kCommandTimeout, kSenseBytes)
                                                : uint16_t(kDriverFailed);
    SetVendorName(inquiry.GetVendor());
    SetProductName(inquiry.GetProduct());
    SetRevisionText(inquiry.GetRevision());
    std::memcpy(data, inquiry.GetData(), std::min<size_t>(size, 96));

    m_nScalingFlags = (data[kInqScaling] & 0x01) != 0 ? 1 : data[kInqScaling];
    m_bDeviceLineArt = data[kInqImageTypes] & 0x01;
    m_bGreyAndColour = (data[kInqImageTypes] >> 2) & 0x01;
    m_nSampleGrouping = (data[kInqGrouping] & 0x40) != 0 ? 8 : 1;
    m_bFeederPresent = (data[kInqAccessories] & kFeederFitted) != 0 ? 1 : 0;
    m_bTransparencyUnit = (data[kInqAccessories] & kTransparencyFitted) != 0 ? 1 : 0;
    m_bHighResolution = data[kInqHighResolution];
    m_bLongPage = (data[kInqPageLength] >> 1) & 0x01;
    m_nExposureLimit = std::max<uint8_t>(data[kInqExposureLimit], 14);
    m_nLutEntries = PendaroLutEntries(data[kInqLookupTable]);
    m_nLutMaximum = PendaroLutMaximum(data[kInqLookupTable]);
    m_nBedHeight = 35560;
    m_nBedWidth = 21590;
    return result;
}

void CPendaroDriver::SetPendaroCapabilities()
{
    uint16_t maximum = m_bHighResolution != 0 ? m_nOpticalHigh : m_nOpticalLow;
    uint16_t minimum = m_nKind == kKindPendaro2 ? 32 : 30;
    for (CResolutionRange& range : m_ResolutionRange)
        range = {minimum, maximum};
    m_nMaxResolutionForType = 2400;
    m_ReflectiveBed = {0, 0, 21540, 35560};
    m_TransparencyBed = {0, 0, 20225, 25400};
    std::memcpy(m_nCapabilityWords, kCapabilityWords, sizeof m_nCapabilityWords);
    m_nReserved = 0;
    m_nBufferSize = m_nKind == kKindPendaro2 ? 256 : 64;
    m_ReflectiveDensity = {50, 900, 1000, 2300};
    m_TransparencyDensity = {80, 1000, 1100, 3300};
    m_nImageTypeFlags = (1u << kImageLineArt) | (1u << kImageGrey) | (1u << kImageRgb);
    m_nCapabilityFlags = kCapColourOnePass | kCapReflective;
    if (m_bTransparencyUnit)
        m_nCapabilityFlags |= m_nKind == kKindPendaro2 ? 0x14 : 0x04;
    std::memset(m_nFurtherFlags, 0, sizeof m_nFurtherFlags);
    m_nFurtherFlags[2] = 1;
}

uint16_t CPendaroDriver::Identify()
{
    uint8_t data[96] = {};
    uint16_t result = ReadInquiry(data, sizeof data);
    if (ProductIs(data, "Pendaro II      ") || ProductIs(data, "DX-690          ")) {
        m_nKind = kKindPendaro2;
        m_pResolutionList = kPendaro2Resolutions;
    } else if (ProductIs(data, "Pendaro         ")) {
        m_nKind = kKindPendaro;
        m_pResolutionList = kPendaroResolutions;
    }
    bool second = m_nKind == kKindPendaro2;
    m_nOpticalLow = second ? 400 : 300;
    m_nOpticalHigh = second ? 800 : 600;
    SetPendaroCapabilities();
    return result;
}

void CPendaroDriver::InitCapabilities()
{
    m_nReadyDeadline = MillisecondClock();
    m_nScanStartTimeout = kCommandTimeout;
    m_nBufferWaitMs = kBufferStatusWait;
    m_pResolutionList = kPendaroResolutions;
    Identify();
    m_nFirmwareLowest = 302;
    m_nFirmwareHighest = 310;
    if (s_pPendaroTable == nullptr)
        s_pPendaroTable = new CFormatTable;
    m_pFormatTable = BuildFormatTable(kPendaroFormats, s_pPendaroTable);
    m_bFeederInUse = ProfileInt("ADF", 0) != 0 ? 1 : 0;
    m_bFeederStatus = 0;
    AllocateTransferBlocks();
}

void CPendaroDriver::RebuildFormatTable()
{
    if (s_pPendaroTable != nullptr)
        RebuildKeepingUserFormat(kPendaroFormats, s_pPendaroTable);
}

void CPendaroDriver::WindowLimits(bool transparent, uint32_t x0, uint32_t y0, uint32_t& xmax, uint32_t& ymax) const
{
    auto limit = [](uint32_t extent, uint32_t origin) { return extent > origin ? extent - origin : 0; };
    uint32_t o = m_nOpticalLow;
    xmax = limit(o * (transparent ? 20300 : 21590) / kHundredthMmPerInch, x0);
    ymax = limit(o * (transparent ? 25400 : 35560) / kHundredthMmPerInch, y0);
}

uint32_t CPendaroDriver::ExposureLimit() const
{
    uint32_t limit = m_nExposureLimit * 3u + 79;
    if (g_pScanSettings->GetParam(kParamQuality) != 1)
        limit /= 2;
    // The exposure computation steps from 100 up: a smaller limit would wrap its exposure byte.
    return std::max<uint32_t>(limit, 100);
}

uint16_t CPendaroDriver::SendDensityMode(uint32_t resolution, int channel, uint32_t minDensity, uint32_t maxDensity)
{
    uint16_t result = WaitReady(kLongTimeout);
    if (result != kDriverOk)
        return result;
    CExposureRange range = {GetMinDensity(0), GetMaxDensity(0), GetMinDensityCeiling(0), GetMaxDensityFloor(0)};
    CExposure exposure = ComputeExposure(minDensity, maxDensity, range, ExposureLimit());

    const CScanSettings& settings = *g_pScanSettings;
    bool high = m_bHighResolution != 0 && resolution > m_nOpticalLow;
    uint32_t reference = m_bFeederInUse ? (high ? 600 : 300) : high ? m_nOpticalHigh : m_nOpticalLow;
    CScsiFixedBuffer<11> page;
    uint8_t* data = page.GetData();
    data[0] = uint8_t(0x83 + channel * 0x20) | (m_nSampleGrouping == 1 ? 0x08 : 0);
    data[1] = m_nScalingFlags == 1 ? uint8_t(resolution * 100 / reference) : 50;
    data[2] = exposure.m_nExposure;
    data[3] = 7;
    data[4] = uint8_t(settings.GetParam(kParamHalftonePattern));
    data[5] = m_nKind == kKindPendaro || m_nState < 0 || m_nState > 1 ? 1 : 0;
    data[6] = exposure.m_nHigh;
    data[7] = exposure.m_nLow;
    uint32_t bedResolution = (data[0] & 0x08) == 0 ? 8 : m_bFeederInUse ? 300 : m_nOpticalLow;
    PutLe16(data + 8, uint16_t(m_nBedHeight * bedResolution / kHundredthMmPerInch));
    data[10] = 0x80;
    return CheckResult(g_pScsiChannel->ModeSelect(page, m_bLongPage ? 11 : 10, kCommandTimeout, kSenseBytes), page);
}

uint16_t CPendaroDriver::SendExposurePages(CScanSettings* settings)
{
    uint32_t r = ClampResolutionX((uint32_t)settings->GetParam(kParamResolution));
    if (!IsColourMode(settings->GetScanMode()))
        return SendDensityMode(r, 0, (uint32_t)settings->GetParam(kParamMinDensity),
                               (uint32_t)settings->GetParam(kParamMaxDensity));
    static const uint16_t kChannelIds[3][2] = {
        {kParamMinDensityRed, kParamMaxDensityRed},
        {kParamMinDensityGreen, kParamMaxDensityGreen},
        {kParamMinDensityBlue, kParamMaxDensityBlue},
    };
    uint16_t result = kDriverOk;
    for (int channel = 1; channel <= 3 && result == kDriverOk; ++channel)
        result = SendDensityMode(r, channel, (uint32_t)settings->GetParam(kChannelIds[channel - 1][0]),
                                 (uint32_t)settings->GetParam(kChannelIds[channel - 1][1]));
    return result;
}

uint16_t CPendaroDriver::SetScanParameters(CScanSettings* settings)
{
    uint16_t result = SendWindow(settings);
    if (result == kDriverOk)
        result = SendExposurePages(settings);
    // A refused page is no scan of the density the user asked for: it ends the scan as well.
    if (result != kDriverOk)
        return result;
    return SendBitDepth(settings, 0);
}

uint32_t CPendaroDriver::GetReturnDelay() const
{
    int32_t bottom = g_pScanSettings->GetParam(kParamSelBottom) + g_pScanSettings->GetParam(kParamOriginY);
    return std::max<uint32_t>(2000, (uint32_t)std::max(bottom, 0) * 10 / 17);
}

uint32_t CPendaroDriver::ReturnDelay() const { return GetReturnDelay(); }

uint16_t CPendaroDriver::StopScan(int32_t flag)
{
    uint16_t result = CKoval2Driver::StopScan(flag);
    // The feeder needs its sheet out before the next command; a test run turns settle waits off.
    if (m_bFeederPresent && m_bFeederInUse) {
        if (ProfileInt("DisableSleep", 0) == 0)
            PumpMessages(kFeederSettleMs);
        WaitReady(kLongTimeout);
    }
    return result;
}

uint16_t CPendaroDriver::ReserveDevice()
{
    if (ProfileInt("DisableSleep", 0) == 0 && !ClockReached(m_nReadyDeadline))
        DelayPumping(m_nReadyDeadline - MillisecondClock());
    return kDriverOk;
}

uint16_t CPendaroDriver::SendPendaroTables(CLutBuffer& table, uint8_t tableByte)
{
    int32_t type = g_pScanSettings->GetCurrentType();
    uint16_t result = kDriverOk;
    if (type != kImageRgb && type != kImageCmyk) {
        result = DownloadLut(&table, 0);
        if (result == kDriverOk)
            result = SendTable(table, tableByte, kPendaroLutCommand);
        return result;
    }
    for (int channel = 1; channel <= 3 && result == kDriverOk; ++channel) {
        result = DownloadLut(&table, channel);
        if (result == kDriverOk)
            result = SendTable(table, uint8_t(tableByte | (channel << 6)), kPendaroLutCommand);
    }
    return result;
}

uint16_t CPendaroDriver::SendLookupTables()
{
    uint16_t result = WaitReady(kLongTimeout);
    if (result != kDriverOk)
        return result;
    if (m_nLutEntries == 0)
        return kDriverOk;       // the device has no tables to load
    bool ostravel = m_nKind == 0x8000;
    uint32_t maximum = m_nLutMaximum;
    if (!ostravel) {
        uint32_t bits = (uint32_t)std::clamp<int32_t>(g_pScanSettings->GetParam(kParamBitsPerChannel), 8, 16);
        maximum = std::min<uint32_t>((1u << bits) - 1, m_nLutMaximum);
    }
    CPendaroLut* table = new (std::nothrow) CPendaroLut(m_nLutEntries, uint16_t(maximum));
    if (table == nullptr) {
        ReportMessage(kMsgNoMemory);
        return kDriverAborted;
    }
    if (table->GetData() == nullptr) {
        delete table;
        return kDriverFailed;
    }
    if (table->GetLength() > 0xFFFF) {
        // The CDB carries the table length in 16 bits; a longer table would arrive cut short.
        ReportMessage(kMsgLutTooLarge);
        delete table;
        return kDriverAborted;
    }
    // The device reads the byte as "my maximum is not 255", whatever width the entries have.
    uint8_t tableByte = m_nLutMaximum != 255 ? 1 : 0;
    if (g_pScanSettings->GetCurrentType() == kImageLineArt && g_pScanSettings->GetScanMode() == 0)
        g_pScanSettings->SetParam(kParamToneCode, ostravel ? 0xFF0E : 0xFF0B);
    result = SendPendaroTables(*table, tableByte);
    delete table;
    return result;
}

uint8_t CPendaroDriver::AccessoryByte() const
{
    uint8_t accessory = 0xE0;
    if (m_bFeederInUse)
        accessory |= 0x01;
    if (g_pScanSettings->GetParam(kParamQuality) == 1)
        accessory |= 0x02;
    if (IsTransparent(g_pScanSettings->GetParam(kParamOriginal)))
        accessory |= 0x04;
    return accessory;
}

uint16_t CPendaroDriver::CheckFeeder()
{
    // No paper can be put into a feeder that is not there: no question, the scan stops.
    if (m_bFeederInUse && !m_bFeederPresent) {
        ReportMessage(kMsgNoFeeder);
        return kDriverAborted;
    }
    while (m_bFeederInUse) {
        if (DetectFeeder() != 0)
            return kDriverOk;
        switch (AskQuestion(kMsgNoPaper, kMsgBoxCaption, MB_ABORTRETRYIGNORE)) {
        case IDRETRY:
            break;
        case IDIGNORE:
            m_bFeederInUse = 0;
            return kDriverOk;
        default:
            return kDriverAborted;
        }
    }
    return kDriverOk;
}

uint16_t CPendaroDriver::PrescanIfNeeded(CScanSettings* settings, ScanProgressCallback progress)
{
    m_bFeederInUse = ProfileInt("ADF", 0) != 0 ? 1 : 0;
    if (IsTransparent(settings->GetParam(kParamOriginal))) {
        if (!m_bTransparencyUnit)
            return kDriverFailed;
        m_bFeederInUse = 0;
    }
    uint16_t result = CheckFeeder();
    if (result != kDriverOk)
        return result;
    result = CScannerDriver::PrescanIfNeeded(settings, progress);
    if (ProfileInt("DisableSleep", 0) == 0 && !ClockReached(m_nReadyDeadline))
        DelayPumping(m_nReadyDeadline - MillisecondClock());
    if (result != kDriverOk)
        return result;
    return SendAccessories();
}

uint16_t CPendaroDriver::PrepareColourCorrection()
{
    float maximum = (float)GetMaxDensity(0) / 1000.0f;
    float minimum = (float)GetMinDensity(0) / 1000.0f;
    const float maximumDensities[3] = {maximum, maximum, maximum};
    const float minimumDensities[3] = {minimum, minimum, minimum};
    CFilmCorrection film;
    film.maximumDensities = maximumDensities;
    film.minimumDensities = minimumDensities;
    return PrepareFilmColourCorrection(film);
}

uint32_t CPendaroDriver::ClampResolutionX(uint32_t r)
{
    const CResolutionRange& range = m_ResolutionRange[0];
    if (g_pScanSettings == nullptr)
        return std::clamp<uint32_t>(r, range.m_nMinimum, range.m_nMaximum);
    const CScanSettings& settings = *g_pScanSettings;
    bool lineArt = settings.GetCurrentType() == kImageLineArt;
    if (!lineArt && settings.GetParam(kParamScreenRuling) != 0)
        r = 4 * (uint32_t)settings.GetParam(kParamScreenRuling);
    uint32_t o = m_nOpticalLow;
    if (!lineArt && settings.GetParam(kParamQuality) == 1)
        return r <= o / 4 ? o / 4 : r <= o / 2 ? o / 2 : r <= o ? o : 2 * o;
    r = std::clamp<uint32_t>(r, range.m_nMinimum, range.m_nMaximum);
    uint32_t q = m_bHighResolution != 0 && r > o ? m_nOpticalHigh : o;
    uint32_t step = q / 100;
    uint32_t s = (r * 100 / q) * step;
    if (s != r)
        r = s + step;
    return std::min(r, q);
}

int CPendaroDriver::DetectFeeder()
{
    if (WaitReady(kLongTimeout) != kDriverOk)
        return 0;
    CScsiInquiryBuffer inquiry;
    inquiry.GetData()[4] = 0;
    g_pScsiChannel->Inquiry(inquiry, kCommandTimeout, kSenseBytes);
    uint8_t accessories = inquiry.GetData()[kInqAccessories];
    if ((accessories & kFeederFitted) == 0) {
        m_bFeederPresent = 0;
        return 0;
    }
    m_bFeederPresent = 1;
    EnableFeeder(1);
    if (accessories & kFeederStatus)
        m_bFeederStatus = 1;
    return (accessories & kFeederSheet) != 0 ? 1 : 0;
}

uint16_t CPendaroDriver::EnableFeeder(int on)
{
    m_bFeederInUse = 0;
    if (!on)
        return 1;
    if (!m_bFeederPresent)
        return 0;
    m_bFeederInUse = 1;
    return 1;
}

uint16_t CPendaroDriver::ResetFeeder() { return uint16_t(m_bFeederPresent); }

int CPendaroDriver::IsFeederLoaded() { return m_bFeederPresent; }
