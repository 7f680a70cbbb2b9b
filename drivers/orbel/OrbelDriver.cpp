// Identification, capabilities, format table, resolution rules, scan geometry and the colour
// correction of the ORBEL 35 family.

#include "drivers/orbel/OrbelDriver.h"

#include "core/cms/CmsRecords.h"
#include "core/scsi/ScsiBuffer.h"
#include "core/scsi/ScsiChannel.h"
#include "core/settings/ScanSettings.h"
#include "framework/App.h"

#include <cstring>
#include <new>

CFormatTable* COrbelDriver::s_pFormatTable = nullptr;

namespace {

constexpr uint32_t kInquiryTimeout = 30000;
constexpr int kSenseBytes = 32;
constexpr uint16_t kMinimumResolution = 127;
constexpr uint16_t kMaximumResolution = 3175;
// The film area's width and height, 1/100 mm; the device addresses it in this many steps.
constexpr int64_t kAreaSize = 4000;
constexpr int64_t kAreaSteps = 4999;
constexpr CBedArea kFilmBed = {0, 0, 4000, 4000};
const uint16_t kCapabilityWords[8] = {2056, 2056, 10, 10, 2, 2, 0, 3600};
constexpr CDensityLimits kNoReflectiveDensity = {0, 0, 0, 0};
constexpr CDensityLimits kFilmDensity = {100, 2000, 4000, 4000};
constexpr uint8_t kImageTypesLineArtGreyRgb = 13;
// Bit 0 clear: colour comes in three passes; bit 3 clear: no reflective originals.
constexpr uint8_t kCapOrbelFlags = 180;
constexpr uint32_t kBufferKilobytes = 1024;
constexpr uint16_t kFirmwareLowest = 100;
constexpr uint16_t kFirmwareHighest = 200;
// The flags the engine expects of this family's correction block before the later bits (most families start at 24).
constexpr uint32_t kCorrectionFlagsOrbel = 22;

// 65535 before the end marks the list's "other" entry for the resolution selector.
const uint32_t kOrbelResolutions[] = {63,   100,  150,  158,  200,  300,  317,  396,  400,  529,  600,  793,
                                      800,  1000, 1587, 2000, 3000, 3175, 4000, 5000, 6350, 65535, 0};

// Message id, original kind, width, height, left, top (1/100 mm).
const CStaticFormatEntry kOrbelFormats[] = {
    {3175, 1, 99999, 99999, 0, 0, 0, 0},
    {3176, 1, 2290, 3370, 900, 340, 0, 0},
    {3177, 1, 3370, 2280, 340, 900, 0, 0},
    {3187, 1, 21000, 29700, 0, 0, 0, 0},
    {0, 0, 0, 0, 0, 0, 0, 0},
};

// The largest whole fraction of the maximum that does not exceed r; the maximum above it.
uint32_t WholeFraction(uint32_t r, uint32_t maximum)
{
    uint32_t q = r != 0 ? maximum / r : 0;
    return q != 0 ? maximum / q : maximum;
}

}  // namespace

CScannerDriver* CreateOrbelDriver() { return new (std::nothrow) COrbelDriver; }

uint32_t OrbelSteps(int32_t length)
{
    int64_t scaled = int64_t(length) * kAreaSteps;
    int64_t steps = scaled / kAreaSize;
    if (scaled > 0 && scaled % kAreaSize != 0)
        ++steps;
    return steps > 0 ? uint32_t(steps) : 0;
}

uint32_t OrbelDensityValue(uint32_t density) { return (density * 5 + 250) * 2 / 1000; }

COrbelDriver::~COrbelDriver()
{
    ReleaseSharedFormatTable(s_pFormatTable);
    m_pFormatTable = nullptr;
    FreeCorrectionBlockIfAny();
}

uint16_t COrbelDriver::Identify()
{
    CScsiInquiryBuffer inquiry;
    uint16_t result = g_pScsiChannel != nullptr ? g_pScsiChannel->Inquiry(inquiry, kInquiryTimeout, kSenseBytes)
                                                : uint16_t(kDriverFailed);
    if (result == kDriverOk) {
        SetVendorName(inquiry.GetVendor());
        SetProductName(inquiry.GetProduct());
        SetRevisionText(inquiry.GetRevision());
    }
    for (CResolutionRange& range : m_ResolutionRange)
        range = {kMinimumResolution, kMaximumResolution};
    m_ReflectiveBed = kFilmBed;
    m_TransparencyBed = kFilmBed;
    std::memcpy(m_nCapabilityWords, kCapabilityWords, sizeof m_nCapabilityWords);
    m_ReflectiveDensity = kNoReflectiveDensity;
    m_TransparencyDensity = kFilmDensity;
    m_nImageTypeFlags = kImageTypesLineArtGreyRgb;
    m_nCapabilityFlags = kCapOrbelFlags;
    std::memset(m_nFurtherFlags, 0, sizeof m_nFurtherFlags);
    m_nMaxResolutionForType = 2 * kMaximumResolution;
    m_nBufferSize = kBufferKilobytes;
    m_nReserved = 0;
    return result;
}

void COrbelDriver::InitCapabilities()
{
    m_pResolutionList = kOrbelResolutions;
    m_nKind = kKindOrbel;
    m_nFirmwareLowest = kFirmwareLowest;
    m_nFirmwareHighest = kFirmwareHighest;
    Identify();
    if (s_pFormatTable == nullptr)
        s_pFormatTable = new (std::nothrow) CFormatTable;
    if (s_pFormatTable != nullptr)
        m_pFormatTable = BuildFormatTable(kOrbelFormats, s_pFormatTable);
}

void COrbelDriver::SetDefaultSettings(CScanSettings* settings)
{
    CScannerDriver::SetDefaultSettings(settings);
    if (settings != nullptr)
        settings->SetParamAllTypes(kParamQuality, 1);
}

void COrbelDriver::RebuildFormatTable()
{
    if (s_pFormatTable != nullptr)
        RebuildKeepingUserFormat(kOrbelFormats, s_pFormatTable);
}

uint32_t COrbelDriver::PreProcessLines(uint8_t* buffer, uint32_t lines, CScanSettings* settings)
{
    if (AfxGetApp()->GetProfileInt(m_strProduct, "Odd/Even", 1) != 0)
        FilterSpikes(buffer, lines, settings, m_nResolutionX);
    return 0;
}

uint32_t COrbelDriver::ClampResolutionX(uint32_t r)
{
    if (g_pScanSettings != nullptr && g_pScanSettings->GetCurrentType() != kImageLineArt &&
        g_pScanSettings->GetParam(kParamScreenRuling) != 0)
        r = 4 * (uint32_t)g_pScanSettings->GetParam(kParamScreenRuling);
    return CScannerDriver::ClampResolutionX(WholeFraction(r, m_ResolutionRange[0].m_nMaximum));
}

uint32_t COrbelDriver::ClampResolutionY(uint32_t r)
{
    if (g_pScanSettings != nullptr && g_pScanSettings->GetParam(kParamScreenRuling) != 0)
        return ClampResolutionX(r);
    return CScannerDriver::ClampResolutionY(WholeFraction(r, m_ResolutionRange[1].m_nMaximum));
}

int COrbelDriver::IsLutRising(uint32_t scanMode) { return scanMode == 2 || scanMode == 3 ? 0 : 1; }

uint32_t COrbelDriver::ScanModeForImageType(int32_t imageType)
{
    switch (imageType) {
    case kImageLineArt:
    case kImageHalftone:
    case kImageGrey:
        return 2;
    case kImageRgb:
    case kImageCmyk:
        return 3;
    default:
        return (uint32_t)imageType;
    }
}

uint16_t COrbelDriver::UpdateScanGeometry()
{
    if (g_pScanSettings == nullptr)
        return kDriverFailed;
    uint32_t resolution = (uint32_t)g_pScanSettings->GetParam(kParamResolution);
    m_nResolutionX = uint16_t(ClampResolutionX(resolution));
    m_nResolutionY = uint16_t(ClampResolutionY(resolution));
    return UpdateSharedScanGeometry();
}

uint32_t COrbelDriver::StepFactorX() const
{
    uint32_t q = m_nResolutionX != 0 ? m_ResolutionRange[0].m_nMaximum / m_nResolutionX : 0;
    return q != 0 ? q : 1;
}

uint32_t COrbelDriver::StepFactorY() const
{
    uint32_t q = m_nResolutionY != 0 ? m_ResolutionRange[1].m_nMaximum / m_nResolutionY : 0;
    return q != 0 ? q : 1;
}

uint16_t COrbelDriver::PrepareScan()
{
    if (g_pScanSettings == nullptr)
        return kDriverFailed;
    CScanSettings& settings = *g_pScanSettings;
    uint32_t resolution = (uint32_t)settings.GetParam(kParamResolution);
    m_nResolutionX = uint16_t(ClampResolutionX(resolution));
    m_nResolutionY = uint16_t(ClampResolutionY(resolution));
    uint32_t left = OrbelSteps(settings.GetParam(kParamSelLeft));
    uint32_t right = OrbelSteps(settings.GetParam(kParamSelRight));
    uint32_t top = OrbelSteps(settings.GetParam(kParamSelTop));
    uint32_t bottom = OrbelSteps(settings.GetParam(kParamSelBottom));
    uint32_t pixels = right > left ? (right - left) / StepFactorX() : 0;
    uint32_t lines = bottom > top ? (bottom - top) / StepFactorY() : 0;
    if (pixels < 2)
        pixels = 1;
    if (lines < 2)
        lines = 1;
    uint32_t mode = settings.GetScanMode();
    bool imaged = mode == 2 || mode == 3;
    settings.m_nPixelsPerLine = imaged ? pixels : 0;
    settings.m_nLineCount = imaged ? lines : 0;
    settings.m_nBytesPerLine = imaged ? pixels : 0;
    UpdateSharedScanGeometry();
    return kDriverOk;
}

uint16_t COrbelDriver::ReserveDevice() { return kDriverOk; }

uint16_t COrbelDriver::PrepareColourCorrection()
{
    float maximum = (float)GetMaxDensity(0) / 1000.0f;
    const float maximumDensities[3] = {maximum, maximum, maximum};
    CFilmCorrection film;
    film.maximumDensities = maximumDensities;
    film.baseFlags = kCorrectionFlagsOrbel;
    return PrepareFilmColourCorrection(film);
}

void COrbelDriver::FreeCorrectionBlockIfAny()
{
    if (m_hCorrectionBlock == nullptr)
        return;
    GlobalUnlock(m_hCorrectionBlock);
    GlobalFree(m_hCorrectionBlock);
    m_hCorrectionBlock = nullptr;
    m_pCorrectionBlock = nullptr;
}
