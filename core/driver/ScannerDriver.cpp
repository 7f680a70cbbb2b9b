#include "core/driver/ScannerDriver.h"

#include "core/settings/ScanSettings.h"

#include <cstring>

CScannerDriver* g_pScannerDriver = nullptr;
CFormatTable* g_pFormatTable = nullptr;

int32_t CScannerDriver::s_bPrescanAllowed = 1;

// The base has no film holders: its table is the end record alone.
const HoleRecord CScannerDriver::s_HolderTable[] = {{}};

const uint32_t CScannerDriver::s_ResolutionList[] = {50, 100, 200, 400, 800, 1600, 0};

// 99999 stands for the whole bed: building the runtime table clips it to the bed size.
const CStaticFormatEntry CScannerDriver::s_StaticFormats[] = {
    {3175, 0, 99999, 99999, 0, 0, 0, 0},
    {3175, 1, 99999, 99999, 0, 0, 0, 0},
    {3187, 0, 21000, 29700, 0, 0, 0, 0},
    {0, 0, 0, 0, 0, 0, 0, 0},
};

namespace {

const CResolutionRange kBaseResolutionRange = {10, 2400};
const CBedArea kBaseBed = {0, 0, 40000, 60000};
const uint16_t kBaseCapabilityWords[8] = {2056, 2056, 10, 10, 2, 2, 0, 3600};
const CDensityLimits kBaseDensities = {0, 300, 300, 4000};
constexpr uint32_t kBaseMaxResolution = 1200;
constexpr uint8_t kBaseImageTypes = 0x1D;       // line art, grey, RGB, CMYK
constexpr uint8_t kBaseCapabilities = 0x1F;

CString WithoutTrailingBlanks(const char* text)
{
    int length = text != nullptr ? (int)strlen(text) : 0;
    if (length == 0)
        return CString();
    int i = length - 1;
    while (i > 0 && text[i] == ' ')
        --i;
    return CString(text, i + 1);
}

}  // namespace

CScannerDriver::CScannerDriver()
    : m_pHolderTable(s_HolderTable), m_pResolutionList(s_ResolutionList)
{
}

CScannerDriver::~CScannerDriver()
{
    ReleaseSharedFormatTable(g_pFormatTable);
    FreeCorrectionBlock();
    if (m_hHistogram != nullptr) {
        GlobalUnlock(m_hHistogram);
        GlobalFree(m_hHistogram);
        m_hHistogram = nullptr;
        m_pHistogram = nullptr;
    }
    // Only the current driver may clear the global: deleting a replaced or temporary driver must
    // not leave the program believing there is no scanner.
    if (g_pScannerDriver == this)
        g_pScannerDriver = nullptr;
}

uint32_t CScannerDriver::GetMaxResolutionForType(int32_t)
{
    return m_nMaxResolutionForType;
}

void CScannerDriver::InitCapabilities()
{
    for (CResolutionRange& range : m_ResolutionRange)
        range = kBaseResolutionRange;
    m_ReflectiveBed = kBaseBed;
    m_TransparencyBed = kBaseBed;
    memcpy(m_nCapabilityWords, kBaseCapabilityWords, sizeof m_nCapabilityWords);
    m_ReflectiveDensity = kBaseDensities;
    m_TransparencyDensity = kBaseDensities;
    m_nReserved = 0;
    m_nLinesRead = 0;
    m_nMaxResolutionForType = kBaseMaxResolution;
    m_nImageTypeFlags = kBaseImageTypes;
    m_nCapabilityFlags = kBaseCapabilities;
    memset(m_nFurtherFlags, 0, sizeof m_nFurtherFlags);
    if (g_pFormatTable == nullptr)
        g_pFormatTable = new CFormatTable;
    m_pFormatTable = BuildFormatTable(s_StaticFormats, g_pFormatTable);
}

void CScannerDriver::SetDefaultSettings(CScanSettings* settings)
{
    int32_t original = settings->GetParam(kParamOriginal);
    settings->SetParamAllTypes(kParamAutoMinimum, 0);
    settings->SetParamAllTypes(kParamAutoMaximum, 0);
    settings->SetParamAllTypes(kParamRangeMode, 2);     // tonal range by densities
    settings->SetParamAllTypes(kParamMinDensity, (int32_t)GetMinDensity(0));
    settings->SetParamAllTypes(kParamMaxDensity, (int32_t)GetMaxDensity(0));
    struct Default { uint16_t id; int32_t value; };
    static const Default kDefaults[] = {
        {kParamQuality, 2},
        {kParamSharpness, 0},
        {kParamScreenRuling, 0},
        {kParamToneLow, 0},
        {kParamToneHigh, 100},
        {kParamDriverGamma, kToneDefault},
        {kParamPreviewTone, kToneDefault},
        {kParamToneCode, kToneDefault},
        {kParamGainRed, 100},
        {kParamGainGreen, 100},
        {kParamGainBlue, 100},
        {kParamBitsPerChannel, 8},
        {kParamBinary, 0},
    };
    for (const Default& d : kDefaults)
        settings->SetParamAllTypes(d.id, d.value);
    if (original == 1)
        settings->SetParamAllTypes(kParamToneCode, 0xFF03);
    if (original == 2) {
        settings->SetParamAllTypes(kParamToneCode, 0xFF03);
        settings->SetParamAllTypes(kParamOriginal, 1);
        settings->SetParamAllTypes(kParamQuality, 1);
        int32_t maximum = settings->GetParam(kParamMaxDensity);
        for (uint16_t id = kParamLevelsMaxRed; id <= kParamLevelsMaxBlue; ++id)
            settings->SetParam(id, maximum);
    }
}

uint32_t CScannerDriver::GetLineOverhead() { return 0; }

uint32_t CScannerDriver::PostProcessLines(uint8_t*, uint32_t lines, CScanSettings*, int32_t* status)
{
    *status = 0;
    return lines;
}

uint32_t CScannerDriver::PreProcessLines(uint8_t*, uint32_t lines, CScanSettings*) { return lines; }

uint16_t CScannerDriver::UpdateScanGeometry() { return kDriverFailed; }
uint16_t CScannerDriver::SetScanParameters(CScanSettings*) { return kDriverFailed; }
uint16_t CScannerDriver::StartPass(int32_t, int32_t) { return kDriverOk; }

uint16_t CScannerDriver::StopScan(int32_t)
{
    m_nLinesRead = 0;
    return kDriverOk;
}

uint16_t CScannerDriver::Identify() { return kDriverOk; }
uint16_t CScannerDriver::PrepareScan() { return kDriverOk; }
uint16_t CScannerDriver::WaitForData(uint8_t, uint32_t, uint32_t) { return kDriverOk; }
uint16_t CScannerDriver::SendLookupTables() { return kDriverOk; }
uint16_t CScannerDriver::PrepareColourCorrection() { return kDriverOk; }

int CScannerDriver::CheckLineArt()
{
    if (g_pScanSettings == nullptr || g_pScanSettings->GetCurrentType() != kImageLineArt)
        return 0;
    m_bLineArt = 1;
    return 1;
}

int CScannerDriver::IsLutRising(uint32_t) { return 1; }

int CScannerDriver::HasHardwareSharpening()
{
    return (m_nCapabilityFlags & kCapHardwareSharpening) != 0 ? 1 : 0;
}

int CScannerDriver::IsScreenRulingOff()
{
    return g_pScanSettings != nullptr && g_pScanSettings->GetParam(kParamScreenRuling) == 0 ? 1 : 0;
}

double CScannerDriver::GetGammaOverride() { return 1.0; }
uint16_t CScannerDriver::ResetFeeder() { return kDriverOk; }
int CScannerDriver::IsFeederLoaded() { return 0; }
int CScannerDriver::DetectFeeder() { return 0; }
uint16_t CScannerDriver::EnableFeeder(int) { return kDriverOk; }

uint32_t CScannerDriver::ScanModeForImageType(int32_t imageType)
{
    switch (imageType) {
    case kImageLineArt:
    case kImageGrey: return 2;      // grey data
    case kImageHalftone: return 1;  // bitmap data
    case kImageRgb:
    case kImageCmyk: return 3;      // RGB data
    default: return 0;
    }
}

void CScannerDriver::ReleaseSharedFormatTable(CFormatTable*& table)
{
    bool tableInUse =
        g_pScannerDriver != nullptr && g_pScannerDriver != this && g_pScannerDriver->m_pFormatTable == table;
    if (!tableInUse) {
        delete table;
        table = nullptr;
    }
}

uint32_t CScannerDriver::ScanModeWithDeviceLineArt(int32_t imageType)
{
    switch (imageType) {
    case kImageLineArt:
        break;
    case kImageHalftone:
    case kImageGrey:
        return 2;
    case kImageRgb:
    case kImageCmyk:
        return 3;
    default:
        return 0;
    }
    if (g_pScanSettings == nullptr)
        return 2;
    const CScanSettings& settings = *g_pScanSettings;
    uint32_t resolution = uint32_t(settings.GetParam(kParamResolution));
    bool deviceLineArt = ClampResolutionX(resolution) == resolution && settings.GetParam(kParamRotation) == 0 &&
        settings.GetParam(kParamMirror) == 0;
    return deviceLineArt ? 0 : 2;
}

void CScannerDriver::SetVendorName(const char* text) { m_strVendor = WithoutTrailingBlanks(text); }
void CScannerDriver::SetProductName(const char* text) { m_strProduct = WithoutTrailingBlanks(text); }
void CScannerDriver::SetRevisionText(const char* text) { m_strRevision = WithoutTrailingBlanks(text); }

const CBedArea& CScannerDriver::BedFor(int32_t original) const
{
    return original == 1 || original == 2 ? m_TransparencyBed : m_ReflectiveBed;
}

const CDensityLimits& CScannerDriver::DensityFor(int32_t original) const
{
    return original == 1 || original == 2 ? m_TransparencyDensity : m_ReflectiveDensity;
}

uint32_t CScannerDriver::GetBedWidth(int32_t original) const { return BedFor(original).m_nWidth; }
uint32_t CScannerDriver::GetBedHeight(int32_t original) const { return BedFor(original).m_nHeight; }
uint32_t CScannerDriver::GetBedOffsetX(int32_t original) const { return BedFor(original).m_nOffsetX; }
uint32_t CScannerDriver::GetBedOffsetY(int32_t original) const { return BedFor(original).m_nOffsetY; }

namespace {

int32_t CurrentOriginal()
{
    return g_pScanSettings != nullptr ? g_pScanSettings->GetParam(kParamOriginal) : 0;
}

}  // namespace

uint32_t CScannerDriver::GetMinDensity(int32_t) const { return DensityFor(CurrentOriginal()).m_nMinimum; }
uint32_t CScannerDriver::GetMaxDensity(int32_t) const { return DensityFor(CurrentOriginal()).m_nMaximum; }

void CScannerDriver::SetProgressCallback(ScanProgressCallback) {}
