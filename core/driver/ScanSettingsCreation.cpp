#include "core/driver/ScanSettingsCreation.h"

#include "core/cms/CmsEngine.h"
#include "core/cms/CmsEngineIni.h"
#include "core/cms/CmsEngineInstance.h"
#include "core/cms/CmsRecords.h"
#include "core/driver/ScannerDriver.h"
#include "core/messages/MessageReporter.h"
#include "core/settings/ScanSettings.h"

#include <cstring>
#include <new>

int32_t g_bProfileSupport = 1;

namespace {

constexpr uint8_t kImageTypeHalftoneBit = 0x02;
constexpr int32_t kOriginalReflective = 0;
constexpr int32_t kOriginalTransparency = 1;
// Without a driver the batch selection is the bare base's bed, 400 x 600 mm.
constexpr int32_t kNoDriverBedWidth = 40000;
constexpr int32_t kNoDriverBedHeight = 60000;
constexpr int kMsgNoMemory = 3317;

struct CDefault {
    uint16_t id;
    int32_t value;
};

// Stored in this order; the density and format defaults come from the driver between them.
const CDefault kFirstDefaults[] = {
    {kParamViewFlag, 0},
    {kParamLengthUnit, 2},
    {kParamRulingTexts, 7},
    {kParamResolution, 100},
    {kParamScale, 100},
};
const CDefault kMiddleDefaults[] = {
    {kParamRangeMode, 0},
    {kParamFormControlA, 2},
    {kParamFormControlB, 3},
    {kParamToneCode, 0xFF00},
    {kParamCustomGamma, 20},
    {kParamSharpness, 0},
    {kParamScreenRuling, 0},
    {kParamFlavourState, 0},
    {kParamColourRoute, 0},
    {kParamProfileDialog, 0},
    {kParamFormatIndex, 0},
    {kParamStoredA, 100},
    {kParamStoredB, 100},
    {kParamCameraValue, 0},
    {kParamDriverGamma, 0xFF00},
    {kParamCameraPreview, 150},
    {kParamPreviewValue, 150},
    {kParamReservedA, 10},
    {kParamReservedB, 10},
    {kParamReservedC, 10},
    {kParamReservedD, 10},
    {kParamWindowId, 0},
    {kParamComposition, 2},
    {kParamOutputBits, 8},
    {kParamHalftonePattern, 0},
    {kParamPaddingType, 0},
    {kParamPaddingFlags, 3},
    {kParamBitOrdering, 0},
    {kParamWindow49, 0},
    {kParamWindow50, 0},
    {kParamWindow51, 0},
    {kParamWindow52, 0},
    {kParamWindow53, 0},
    {kParamWindow54, 1},
    {kParamWindow55, 1},
    {kParamWindow56, 0},
    {kParamWindowSummaryA, 1},
    {kParamWindowSummaryB, 1},
    {kParamWindowSummaryC, 1},
    {kParamWindow60, 1},
    {kParamWindow61, 0},
    {kParamWindow62, 0},
    {kParamWindow63, 0},
    {kParamWindow64, 0},
    {kParamWindow65, 0},
};
const CDefault kLevelDefaults[] = {
    {kParamAutoMinimum, 0},
    {kParamAutoMaximum, 0},
    {kParamStoredHundred, 100},
    {kParamToneLow, 0},
    {kParamToneHigh, 100},
    {kParamGainRed, 100},
    {kParamGainGreen, 100},
    {kParamGainBlue, 100},
    {kParamThreshold, 50},
    {kParamSelLeft, 0},
    {kParamSelTop, 0},
    {kParamSelRight, 2000},
    {kParamSelBottom, 2000},
    {kParamOriginX, 0},
    {kParamOriginY, 0},
    {kParamPreviewOffsetX, 0},
    {kParamPreviewOffsetY, 0},
    {kParamPreviewWidth, 1},
    {kParamPreviewHeight, 1},
    {kParamGeneralPrefB, 0},
    {kParamQuality, 1},
    {kParamQualityFactor, 20},
    {kParamFilmHolder, 0},
    {kParamColourManagement, 0},
    {kParamColourPreference, 1},
    {kParamPreviewFlag, 0},
};
const CDefault kLastDefaults[] = {
    {kParamPreviewTone, 0xFF00},
    {kParamPreviewGamma, 10},
    {kParamValueDisplay, 3},
    {kParamSharpenRadius, 0},
    {kParamSharpenLow, 0},
    {kParamSharpenHigh, 1},
    {kParamSharpenLevel, 10},
    {kParamPreviewLevelA, 0},
    {kParamOriginalChange, 0},
    {kParamPreviewLevelB, 128},
    {kParamSelectorPreview, 0},
    {kParamClipHigh, 1000},
    {kParamClipLow, 1000},
    {kParamGeneralPrefA, 64},
    {kParamRotation, 0},
    {kParamMirror, 0},
};

struct CTypeBlockDefaults {
    int32_t channels;       // id 139
    int32_t bits;           // id 138
    int32_t binary;         // id 140
};
const CTypeBlockDefaults kTypeBlocks[kImageTypeCount] = {
    {1, 1, 1}, {1, 1, 1}, {1, 8, 0}, {3, 8, 0}, {4, 8, 0},
};

void StoreAll(CScanSettings& settings, const CDefault* defaults, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        settings.SetParamAllTypes(defaults[i].id, defaults[i].value);
}

template <size_t N>
void StoreAll(CScanSettings& settings, const CDefault (&defaults)[N])
{
    StoreAll(settings, defaults, N);
}

// The batch values that replace the interactive ones.
struct CBatchValues {
    bool batch;
    int32_t bedWidth;
    int32_t bedHeight;
};

// A batch start scans in the first image type the device offers: a camera without line art would
// otherwise be asked for a type it cannot deliver.
int32_t FirstOfferedType(const CScannerDriver* driver)
{
    for (int32_t t = 0; driver != nullptr && t < kImageTypeCount; ++t) {
        if ((driver->m_nImageTypeFlags & (1u << t)) != 0)
            return t;
    }
    return kImageLineArt;
}

void StoreDefaults(CScanSettings& settings, const CScannerDriver* driver, const CBatchValues& batch)
{
    settings.SetParamAllTypes(kParamImageType, batch.batch ? FirstOfferedType(driver) : kImageRgb);
    for (uint16_t t = 0; t < kImageTypeCount; ++t) {
        settings.SetParamForType(t, kParamChannels, kTypeBlocks[t].channels);
        settings.SetParamForType(t, kParamBitsPerChannel, kTypeBlocks[t].bits);
        settings.SetParamForType(t, kParamBinary, kTypeBlocks[t].binary);
    }
    StoreAll(settings, kFirstDefaults);
    bool reflective = driver == nullptr || driver->CanScanReflective();
    settings.SetParamAllTypes(kParamOriginal, reflective ? kOriginalReflective : kOriginalTransparency);
    StoreAll(settings, kMiddleDefaults);
    // No driver: the densities of the whole reflective range.
    int32_t minDensity = driver != nullptr ? (int32_t)driver->GetMinDensity(0) : 0;
    int32_t maxDensity = driver != nullptr ? (int32_t)driver->GetMaxDensity(0) : 4000;
    settings.SetParamAllTypes(kParamMinDensity, minDensity);
    settings.SetParamAllTypes(kParamMaxDensity, maxDensity);
    StoreAll(settings, kLevelDefaults);
    settings.SetParamAllTypes(kParamMinSnapshot, minDensity);
    settings.SetParamAllTypes(kParamMaxSnapshot, maxDensity);
    StoreAll(settings, kLastDefaults);
    if (!batch.batch)
        return;
    settings.SetParamAllTypes(kParamRangeMode, 2);
    settings.SetParamForType(kImageLineArt, kParamRangeMode, 5);
    settings.SetParamAllTypes(kParamToneCode, kToneCustom);
    settings.SetParamAllTypes(kParamCustomGamma, 18);
    settings.SetParamAllTypes(kParamSelRight, batch.bedWidth);
    settings.SetParamAllTypes(kParamSelBottom, batch.bedHeight);
    settings.SetParamAllTypes(kParamQuality, 2);
}

void StoreCorrectionDefaults(CScanSettings& settings)
{
    CmsCorrectionBlock& block = settings.CorrectionBlock();
    block.reserved = 0;
    settings.m_bLevelsDirty = 1;
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < 256; ++i) {
            block.curveIn[c][i] = (float)i;
            block.curveOut[c][i] = (float)(255 - i);
        }
}

void StoreNames(CScanSettings& settings)
{
    for (int i = 0; i < kProfileNameCount; ++i)
        settings.SetProfileName(i, "None");
    for (int t = 0; t < kImageTypeCount; ++t) {
        settings.SetFlavorName(t, "");
        settings.SetLinkName(t, "");
        settings.SetFilmTypeName(t, "");
    }
}

int32_t EnginePresence() { return IsColourEngineMissing() ? 0 : 1; }

void DecideColourManagement(CScanSettings& settings)
{
    if (!g_bProfileSupport) {
        settings.SetParamAllTypes(kParamColourManagement, EnginePresence());
        return;
    }
    if (DetectProfileKinds() == 0) {
        g_bProfileSupport = 0;
        settings.SetParamAllTypes(kParamColourManagement, EnginePresence());
    }
}

int BuildRecord(const CBatchValues& batch)
{
    CScanSettings* settings = new (std::nothrow) CScanSettings;
    if (settings == nullptr) {
        ReportMessage(kMsgNoMemory);
        return 0;
    }
    delete g_pScanSettings;
    g_pScanSettings = settings;
    StoreDefaults(*settings, g_pScannerDriver, batch);
    StoreCorrectionDefaults(*settings);
    if (g_pScannerDriver != nullptr)
        g_pScannerDriver->SelectUserFormat();
    StoreNames(*settings);
    DecideColourManagement(*settings);
    settings->ResetDerivedGeometry();
    return 1;
}

// Kinds of one profile by its class and sub-kind words; an input profile's kind of original is
// its first sub-kind word (byte 1240).
uint32_t KindsOf(const CmsObjectInfo& info)
{
    switch (info.classCode) {
    case kCmsClassOutput:
        if (info.outputSpace == kCmsSpaceRgb)
            return 0x10;
        return info.outputSpace == kCmsSpaceCmyk ? 0x20 : 0;
    case kCmsClassInput:
        if (info.outputMode == kCmsModeReflective)
            return 0x4;
        return info.outputMode == kCmsModeTransparency ? 0x2 : 0;
    case kCmsClassMonitor:
        return 0x10 | 0x8;
    default:
        return 0;
    }
}

}  // namespace

int CreateScanSettings()
{
    if (g_pScannerDriver != nullptr)
        g_pScannerDriver->m_nImageTypeFlags &= (uint8_t)~kImageTypeHalftoneBit;
    if (!g_bInteractive) {
        CreateFixedScanSettings();
        return g_pScanSettings != nullptr ? 1 : 0;
    }
    return BuildRecord(CBatchValues{false, 0, 0});
}

void CreateFixedScanSettings()
{
    const CScannerDriver* driver = g_pScannerDriver;
    int32_t width = driver != nullptr ? (int32_t)driver->GetBedWidth(kOriginalReflective) : kNoDriverBedWidth;
    int32_t height = driver != nullptr ? (int32_t)driver->GetBedHeight(kOriginalReflective) : kNoDriverBedHeight;
    BuildRecord(CBatchValues{true, width, height});
}

int32_t DetectProfileKinds()
{
    if (g_pCmsEngine == nullptr || g_pCmsEngine->BeginProfileSearch(0, nullptr) == 1)
        return 0;
    uint32_t kinds = 0;
    for (;;) {
        char* name = nullptr;
        if (g_pCmsEngine->NextSearchResult(&name) == 1 || name == nullptr || *name == '\0')
            break;
        CmsObjectInfo info;
        memset(&info, 0, sizeof info);
        if (g_pCmsEngine->GetProfileInfo(name, 0, &info) != 0)
            continue;
        if (strncmp(info.version, "2.0", sizeof info.version) < 0)
            continue;
        kinds |= KindsOf(info);
    }
    g_pCmsEngine->EndSearch();
    if ((kinds & 0x6) == 0 || (kinds & 0x30) == 0)
        kinds = 0;
    if (g_pScanSettings != nullptr)
        g_pScanSettings->SetParamAllTypes(kParamColourManagement, (int32_t)kinds);
    return (int32_t)kinds;
}

int DeleteScanSettings()
{
    delete g_pScanSettings;
    g_pScanSettings = nullptr;
    return 1;
}
