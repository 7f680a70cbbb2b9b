// Identification, capabilities, format table, resolution rules, the host tables and the sense
// codes of the ZANDOR family.

#include "drivers/zandor/ZandorDriver.h"

#include "core/devices/ZandorInquiryBlock.h"
#include "core/messages/MessageReporter.h"
#include "core/scsi/ScsiChannel.h"
#include "core/settings/ScanSettings.h"
#include "core/util/ByteOrder.h"

#include <algorithm>
#include <cstring>
#include <new>

CFormatTable* CZandorDriver::s_pFormatTable = nullptr;

namespace {

constexpr uint32_t kCommandTimeout = 30000;
constexpr uint32_t kTransportTimeout = 300000;
constexpr int kSenseBytes = 32;
constexpr uint8_t kCapTransparencyAndNegative = 0x14;
constexpr uint8_t kCapZandorFlags = 0x88;
constexpr uint8_t kInqTransparencyUnit = 0x80;  // byte 45
constexpr uint8_t kInqColour = 0x80;  // byte 46
constexpr uint32_t kHundredthMmPerInch = 2540;
constexpr CBedArea kTransparencyBed = {0, 0, 12700, 10160};
constexpr int32_t kOriginalNegative = 2;

const uint32_t kResolutions300[] = {75, 93, 112, 131, 150, 187, 225, 262, 300, 375, 450, 525, 600, 65535, 0};
const uint32_t kResolutions400[] = {100, 125, 150, 175, 200, 250, 300, 350, 400, 500, 600, 700, 800, 65535, 0};

// Message id, original kind (0 reflective, 1 transparency), width, height (1/100 mm).
const CStaticFormatEntry kZandorFormats[] = {
    {3167, 0, 21000, 29700, 0, 0, 0, 0},
    {3169, 0, 10000, 15000, 0, 0, 0, 0},
    {3170, 0, 15000, 10000, 0, 0, 0, 0},
    {3171, 0, 12750, 17850, 0, 0, 0, 0},
    {3172, 0, 17850, 12750, 0, 0, 0, 0},
    {3173, 0, 13000, 18000, 0, 0, 0, 0},
    {3174, 0, 18000, 13000, 0, 0, 0, 0},
    {3192, 0, 21590, 27940, 0, 0, 0, 0},
    {3193, 0, 21590, 35560, 0, 0, 0, 0},
    {3175, 0, 99999, 99999, 0, 0, 0, 0},
    {3175, 1, 99999, 99999, 0, 0, 0, 0},
    {3176, 1, 2500, 3600, 0, 0, 0, 0},
    {3177, 1, 3600, 2500, 0, 0, 0, 0},
    {3180, 1, 5600, 5600, 0, 0, 0, 0},
    {3183, 1, 6012, 9111, 0, 0, 0, 0},
    {3184, 1, 9111, 6012, 0, 0, 0, 0},
    {3186, 1, 11702, 8705, 0, 0, 0, 0},
    {3181, 1, 12413, 10000, 0, 0, 0, 0},
    {3187, 0, 21000, 29700, 0, 0, 0, 0},
    {0, 0, 0, 0, 0, 0, 0, 0},
};

struct CZandorModel {
    char code;
    bool is300;  // the 300-ppi member of a code that has two; ignored where there is one
    int32_t model;
    uint8_t imageTypes;
};

const CZandorModel kModels[] = {
    {'1', true, 1, 5},
    {'1', false, 2, 5},
    {'2', true, 3, 1},
    {'2', false, 4, 1},
    {'3', true, 5, 5},
    {'3', false, 5, 5},
    {'4', true, 6, 13},
    {'4', false, 6, 13},
};

uint16_t BedLength(uint32_t steps, uint32_t stepsPerInch)
{
    return uint16_t(std::min<uint32_t>(steps * kHundredthMmPerInch / stepsPerInch, 0xFFFF));
}

bool IsNewerModel(int32_t model) { return model == 5 || model == 6; }

}  // namespace

void CZandorLut::LoadTable(const uint16_t* table, uint32_t count)
{
    for (uint32_t i = 0; i < std::min(count, kEntries); ++i)
        m_nTable[i] = uint8_t(table[i]);
}

CScannerDriver* CreateZandorDriver() { return new (std::nothrow) CZandorDriver; }

CZandorDriver::~CZandorDriver()
{
    ReleaseSharedFormatTable(s_pFormatTable);
    m_pFormatTable = nullptr;
}

uint16_t CZandorDriver::Identify()
{
    if (g_pScsiChannel == nullptr)
        return kDriverFailed;
    CZandorInquiryBlock inquiry;
    uint16_t result = g_pScsiChannel->Inquiry(inquiry, kCommandTimeout, kSenseBytes);
    if (result != kDriverOk)
        return result;
    const uint8_t* data = inquiry.GetData();
    SetVendorName(inquiry.GetVendor());
    SetProductName(inquiry.GetModelName());
    char revision[kZandorRevisionLength + 1];
    inquiry.GetRevision(revision);
    SetRevisionText(revision);

    bool is300 = GetBe16(data + 5) == 300;
    m_nModel = 0;
    m_nImageTypeFlags = 0;
    for (const CZandorModel& entry : kModels) {
        if (entry.code == char(data[41]) && entry.is300 == is300) {
            m_nModel = entry.model;
            m_nImageTypeFlags = entry.imageTypes;
        }
    }
    m_nColourFlag = m_nModel == kColourModel && (data[46] & kInqColour) ? 0x80 : 0;
    m_nBitsPerSample = data[44];

    CResolutionRange optical = {uint16_t(GetBe16(data + 9) / 10), uint16_t(GetBe16(data + 11) / 10)};
    m_ResolutionRange[0] = optical;
    m_ResolutionRange[1] = optical;
    // A step unit of 0 would divide by zero below.
    uint32_t stepsPerInch = std::max<uint32_t>(GetBe16(data + 7) / 10, 1);
    uint16_t step = uint16_t(stepsPerInch);
    m_ResolutionRange[2] = m_ResolutionRange[3] = {step, step};
    m_ReflectiveBed = {0, 0, BedLength(GetBe16(data + 13), stepsPerInch), BedLength(GetBe16(data + 15), stepsPerInch)};
    m_TransparencyBed = kTransparencyBed;
    m_nBufferSize = GetBe16(data + 17);
    m_nMaxResolutionForType = 4u * optical.m_nMaximum;

    bool newer = IsNewerModel(m_nModel);
    m_ReflectiveDensity = newer ? CDensityLimits {0, 250, 1800, 2400} : CDensityLimits {0, 300, 1800, 2400};
    m_TransparencyDensity = newer ? CDensityLimits {0, 300, 0, 4000} : CDensityLimits {0, 600, 0, 4000};
    m_MinDotArea = newer ? CDotAreaRange {-6, 51} : CDotAreaRange {-13, 43};
    m_MaxDotArea = newer ? CDotAreaRange {14, 114} : CDotAreaRange {76, 132};

    m_nCapabilityFlags = kCapZandorFlags;
    if (data[45] & kInqTransparencyUnit)
        m_nCapabilityFlags |= kCapTransparencyAndNegative;
    std::memset(m_nFurtherFlags, 0, sizeof m_nFurtherFlags);
    return kDriverOk;
}

void CZandorDriver::InitCapabilities()
{
    m_nKind = kKindZandor;
    m_nLinesRead = 0;
    m_nLinesInBand = 0;
    m_nFirmwareLowest = 100;
    m_nFirmwareHighest = 9999;
    m_nReserveState = 255;
    // A device that does not answer INQUIRY stays an unknown model with no image type.
    m_nModel = 0;
    m_nImageTypeFlags = 0;
    Identify();
    switch (m_nModel) {
    case 1:
    case 3:
        m_pResolutionList = kResolutions300;
        break;
    case 0:
        m_pResolutionList = s_ResolutionList;
        break;
    default:
        m_pResolutionList = kResolutions400;
        break;
    }
    if (s_pFormatTable == nullptr)
        s_pFormatTable = new (std::nothrow) CFormatTable;
    if (s_pFormatTable != nullptr)
        m_pFormatTable = BuildFormatTable(kZandorFormats, s_pFormatTable);
    if (g_pScsiChannel != nullptr && g_pScsiChannel->GetTransport() != nullptr)
        g_pScsiChannel->GetTransport()->SetTimeout(kTransportTimeout);
}

void CZandorDriver::RebuildFormatTable()
{
    if (s_pFormatTable != nullptr)
        RebuildKeepingUserFormat(kZandorFormats, s_pFormatTable);
}

uint16_t CZandorDriver::UpdateScanGeometry()
{
    uint16_t result = UpdateSharedScanGeometry();
    // The device's own line art comes with set bits black, as the host's thresholded line art.
    if (result == kDriverOk)
        m_bLineArt = 1;
    return result;
}

uint16_t CZandorDriver::PrescanIfNeeded(CScanSettings* settings, ScanProgressCallback progress)
{
    if (settings != nullptr && settings->GetParam(kParamOriginal) == kOriginalNegative)
        return CScannerDriver::PrescanIfNeeded(settings, progress);
    return kDriverOk;
}

uint32_t CZandorDriver::ClampResolutionX(uint32_t r)
{
    if (g_pScanSettings != nullptr && g_pScanSettings->GetCurrentType() != kImageLineArt &&
        g_pScanSettings->GetParam(kParamScreenRuling) != 0)
        r = 4 * uint32_t(g_pScanSettings->GetParam(kParamScreenRuling));
    uint32_t chosen = r;
    if (m_pResolutionList != nullptr && m_pResolutionList[0] != 0) {
        const uint32_t* entry = m_pResolutionList;
        while (entry[1] != 0 && *entry < r)
            ++entry;
        chosen = *entry;
    }
    return std::clamp<uint32_t>(chosen, m_ResolutionRange[0].m_nMinimum,
        std::max(m_ResolutionRange[0].m_nMinimum, m_ResolutionRange[0].m_nMaximum));
}

uint32_t CZandorDriver::ClampResolutionY(uint32_t resolution) { return ClampResolutionX(resolution); }

int CZandorDriver::IsLutRising(uint32_t scanMode) { return scanMode <= 4 ? 0 : 1; }

uint32_t CZandorDriver::ScanModeForImageType(int32_t imageType) { return ScanModeWithDeviceLineArt(imageType); }

// Every sample the host sees went through a table: grey samples (also those the engine turns into
// line art or halftone) through the green one, colour through one per channel. The device's ink
// values reach nobody unmapped.
uint16_t CZandorDriver::SendLookupTables()
{
    if (g_pScanSettings == nullptr)
        return kDriverFailed;
    switch (g_pScanSettings->GetScanMode()) {
    case 2:
        return DownloadLut(&m_GreenLut, 0);
    case 3:
    case 4: {
        uint16_t result = DownloadLut(&m_RedLut, 1);
        if (result == kDriverOk)
            result = DownloadLut(&m_GreenLut, 2);
        if (result == kDriverOk)
            result = DownloadLut(&m_BlueLut, 3);
        return result;
    }
    default:
        return kDriverOk;
    }
}

uint8_t CZandorDriver::Widen(uint8_t v) const
{
    if (m_nBitsPerSample != 6)
        return v;
    return uint8_t(((v * 4) & 0xFF) | ((v >> 4) & 3));
}

void CZandorDriver::ApplyLutToLines(uint32_t lines, uint8_t* buffer)
{
    if (g_pScanSettings == nullptr || buffer == nullptr)
        return;
    const CScanSettings& settings = *g_pScanSettings;
    uint32_t b = settings.GetBytesPerLine();
    uint32_t m = std::min(settings.GetPixelsPerLine(), b);
    switch (settings.GetScanMode()) {
    case 2:
        for (uint32_t i = 0; i < lines; ++i) {
            uint8_t* line = buffer + size_t(i) * b;
            for (uint32_t x = 0; x < m; ++x)
                line[x] = m_GreenLut.m_nTable[Widen(line[x])];
        }
        break;
    case 3:
    case 4:
        for (uint32_t i = 0; i < lines; ++i) {
            uint8_t* pixel = buffer + size_t(i) * 3 * b;
            for (uint32_t x = 0; x < m; ++x, pixel += 3) {
                pixel[0] = m_RedLut.m_nTable[Widen(pixel[0])];
                pixel[1] = m_GreenLut.m_nTable[Widen(pixel[1])];
                pixel[2] = m_BlueLut.m_nTable[Widen(pixel[2])];
            }
        }
        break;
    default:
        break;
    }
}

uint32_t CZandorDriver::PostProcessLines(uint8_t* buffer, uint32_t lines, CScanSettings*, int32_t* status)
{
    if (status != nullptr)
        *status = 0;
    ApplyLutToLines(lines, buffer);
    return lines;
}

uint16_t CZandorDriver::HandleSense(const uint8_t* sense)
{
    uint8_t code = sense[0] & 0x7F;
    if (code == 0)
        return kDriverOk;
    switch (code) {
    case 0x02:
        ReportMessage(3353);
        break;
    case 0x04:
        ReportMessage(3352);
        break;
    case 0x10:
        ReportMessage(3343);
        break;
    case 0x11:
        ReportMessage(3354);
        break;
    case 0x20:
        ReportMessage(3355);
        break;
    default:
        ReportMessage(3340);
        break;
    }
    return kDriverAborted;
}
