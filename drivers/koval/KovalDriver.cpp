// Identification, capabilities, format table, resolution rules and the lookup-table block of the
// KOVAL family.

#include "drivers/koval/KovalDriver.h"

#include "core/messages/MessageReporter.h"
#include "core/scsi/ScsiBuffer.h"
#include "core/scsi/ScsiChannel.h"
#include "core/settings/ScanSettings.h"
#include "core/util/GlobalBlock.h"
#include "framework/App.h"

#include <algorithm>
#include <cstring>
#include <new>

CFormatTable* CKovalDriver::s_pFormatTable = nullptr;

namespace {

constexpr uint32_t kInquiryTimeout = 5000;
constexpr int kSenseBytes = 32;
constexpr uint8_t kInqTransparencyUnit = 0x02;  // byte 1
constexpr uint8_t kCapTransparencyAndNegative = 0x14;
constexpr uint8_t kCapKovalFlags = 0x89;
constexpr uint8_t kImageTypesLineArtGreyRgb = 13;
constexpr uint16_t kMinimumResolution = 30;
constexpr uint16_t kMaximumResolution = 600;
constexpr uint32_t kBufferKilobytes = 1024;
constexpr CBedArea kReflectiveBed = {0, 0, 20300, 29400};
constexpr CBedArea kTransparencyBed = {3175, 2896, 15200, 21500};
const uint16_t kCapabilityWords[8] = {2056, 2056, 10, 10, 2, 2, 0, 3600};
constexpr uint32_t kLutEntries = 1024;
constexpr uint32_t kLutWorkBytes = 2048;
constexpr int kMsgNoMemory = 3317;
constexpr uint32_t kOpticalResolution = 600;

struct CKovalKind {
    uint32_t kind;
    CDensityLimits reflective;
    CDensityLimits transparency;
};
const CKovalKind kKoval = {kKindKoval, {10, 225, 420, 4000}, {119, 400, 744, 4000}};
const CKovalKind kKovalPlus = {kKindKovalPlus, {0, 204, 418, 2300}, {80, 301, 481, 3300}};

// 65535 before the end marks the list's "other" entry for the resolution selector.
const uint32_t kKovalResolutions[] = {50, 100, 150, 200, 250, 300, 400, 500, 600, 800, 1000, 1200, 2400, 65535, 0};

// Message id, original kind (0 reflective, 1 transparency), width, height, left, top (1/100 mm).
const CStaticFormatEntry kKovalFormats[] = {
    {3175, 0, 99999, 99999, 0, 0, 0, 0},
    {3169, 0, 10000, 15000, 0, 0, 0, 0},
    {3170, 0, 15000, 10000, 0, 0, 0, 0},
    {3171, 0, 12750, 17850, 0, 0, 0, 0},
    {3172, 0, 17850, 12750, 0, 0, 0, 0},
    {3173, 0, 13000, 18000, 0, 0, 0, 0},
    {3174, 0, 18000, 13000, 0, 0, 0, 0},
    {3175, 1, 99999, 99999, 0, 0, 0, 0},
    {3169, 1, 10000, 15000, 0, 0, 0, 0},
    {3170, 1, 15000, 10000, 0, 0, 0, 0},
    {3171, 1, 12750, 17850, 0, 0, 0, 0},
    {3173, 1, 13000, 18000, 0, 0, 0, 0},
    {3176, 1, 2600, 3700, 2300, 1850, 0, 0},
    {3177, 1, 3700, 2600, 1850, 2300, 0, 0},
    {3180, 1, 5700, 5700, 1850, 2300, 0, 0},
    {3181, 1, 12000, 9600, 1850, 2300, 0, 0},
    {3182, 1, 9600, 12000, 2300, 1850, 0, 0},
    {3183, 1, 5600, 8700, 0, 0, 0, 0},
    {3184, 1, 8700, 5600, 0, 0, 0, 0},
    {3185, 1, 8700, 11700, 2300, 1850, 0, 0},
    {3186, 1, 11700, 8700, 1850, 2300, 0, 0},
    {3187, 0, 20320, 29400, 0, 0, 0, 0},
    {0, 0, 0, 0, 0, 0, 0, 0},
};

}  // namespace

CScannerDriver* CreateKovalDriver() { return new (std::nothrow) CKovalDriver; }

CKovalDriver::~CKovalDriver()
{
    ReleaseSharedFormatTable(s_pFormatTable);
    m_pFormatTable = nullptr;
}

uint16_t CKovalDriver::Identify()
{
    CScsiInquiryBuffer inquiry;
    uint8_t* data = inquiry.GetData();
    data[4] = 0;
    m_nLastResult = g_pScsiChannel != nullptr ? g_pScsiChannel->Inquiry(inquiry, kInquiryTimeout, kSenseBytes)
                                              : uint16_t(kDriverFailed);
    if (m_nLastResult != kDriverOk)
        return m_nLastResult;
    SetVendorName(inquiry.GetVendor());
    SetProductName(inquiry.GetProduct());
    SetRevisionText(inquiry.GetRevision());

    for (CResolutionRange& range : m_ResolutionRange)
        range = {kMinimumResolution, kMaximumResolution};
    m_ReflectiveBed = kReflectiveBed;
    m_TransparencyBed = kTransparencyBed;
    std::memcpy(m_nCapabilityWords, kCapabilityWords, sizeof m_nCapabilityWords);
    m_nBufferSize = kBufferKilobytes;
    m_nMaxResolutionForType = 4 * kMaximumResolution;
    m_nImageTypeFlags = kImageTypesLineArtGreyRgb;
    m_nCapabilityFlags = kCapKovalFlags;
    std::memset(m_nFurtherFlags, 0, sizeof m_nFurtherFlags);

    const CKovalKind& kind = std::memcmp(data + 16, "KOVAL PLUS", 10) == 0 ? kKovalPlus : kKoval;
    m_nKind = kind.kind;
    m_ReflectiveDensity = kind.reflective;
    m_TransparencyDensity = kind.transparency;
    if (data[1] & kInqTransparencyUnit)
        m_nCapabilityFlags |= kCapTransparencyAndNegative;
    return kDriverOk;
}

void CKovalDriver::InitCapabilities()
{
    m_pResolutionList = kKovalResolutions;
    Identify();
    m_bBufferStatus = 0;
    if (IsKovalPlus())
        m_bBufferStatus = AfxGetApp()->GetProfileInt(m_strProduct, "CheckBufferStatus", 1) != 0 ? 1 : 0;
    if (s_pFormatTable == nullptr)
        s_pFormatTable = new (std::nothrow) CFormatTable;
    if (s_pFormatTable != nullptr)
        m_pFormatTable = BuildFormatTable(kKovalFormats, s_pFormatTable);
}

void CKovalDriver::RebuildFormatTable()
{
    if (s_pFormatTable != nullptr)
        RebuildKeepingUserFormat(kKovalFormats, s_pFormatTable);
}

uint32_t CKovalDriver::PreProcessLines(uint8_t* buffer, uint32_t lines, CScanSettings* settings)
{
    FilterSpikes(buffer, lines, settings, kOpticalResolution);
    return 0;
}

uint16_t CKovalDriver::UpdateScanGeometry()
{
    uint16_t result = UpdateSharedScanGeometry();
    // The device's own line art comes with set bits black, as the host's thresholded line art.
    if (result == kDriverOk)
        m_bLineArt = 1;
    return result;
}

uint32_t CKovalDriver::ClampResolutionX(uint32_t r)
{
    if (g_pScanSettings != nullptr) {
        const CScanSettings& settings = *g_pScanSettings;
        bool notLineArt = settings.GetCurrentType() != kImageLineArt;
        if (notLineArt && settings.GetParam(kParamScreenRuling) != 0)
            r = 4 * (uint32_t)settings.GetParam(kParamScreenRuling);
        if (notLineArt && settings.GetParam(kParamQuality) == 1)
            r = r <= 75 ? 75 : r <= 150 ? 150 : r <= 300 ? 300 : 600;
    }
    return std::clamp<uint32_t>(r, m_ResolutionRange[0].m_nMinimum, m_ResolutionRange[0].m_nMaximum);
}

uint32_t CKovalDriver::ClampResolutionY(uint32_t resolution) { return ClampResolutionX(resolution); }

int CKovalDriver::IsLutRising(uint32_t scanMode) { return scanMode == 0 ? 0 : 1; }

uint32_t CKovalDriver::ScanModeForImageType(int32_t imageType)
{
    switch (imageType) {
    case kImageHalftone:
    case kImageGrey:
        return 2;
    case kImageRgb:
    case kImageCmyk:
        return 3;
    case kImageLineArt:
        break;
    default:
        return 0;
    }
    if (g_pScanSettings == nullptr)
        return 2;
    const CScanSettings& settings = *g_pScanSettings;
    int32_t resolution = settings.GetParam(kParamResolution);
    bool deviceLineArt = resolution >= m_ResolutionRange[0].m_nMinimum &&
        resolution <= m_ResolutionRange[0].m_nMaximum && settings.GetParam(kParamRotation) == 0 &&
        settings.GetParam(kParamMirror) == 0 && settings.GetParam(kParamQuality) != 1;
    return deviceLineArt ? 0 : 2;
}

uint16_t CKovalDriver::BuildLutBlock(uint8_t* destination, int colourFlag)
{
    CGlobalBlock work(kLutWorkBytes, 0);
    if (destination == nullptr || work.m_pData == nullptr) {
        work.Free();
        ReportMessage(kMsgNoMemory);
        return kDriverAborted;
    }
    uint16_t* table = static_cast<uint16_t*>(work.m_pData);
    int tables = colourFlag != 0 ? 3 : 1;
    int firstChannel = colourFlag != 0 ? 1 : 0;
    uint8_t* out = destination;
    *out++ = uint8_t(tables);
    for (int channel = firstChannel; channel < firstChannel + tables; ++channel) {
        *out++ = uint8_t(channel);
        BuildScannerLut(table, kLutEntries, 255, channel, 1000);
        for (uint32_t i = 0; i < kLutEntries; ++i)
            *out++ = uint8_t(table[i]);
    }
    work.Free();
    return kDriverOk;
}
