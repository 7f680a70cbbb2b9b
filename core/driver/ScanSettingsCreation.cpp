#include "core/driver/ScanSettingsCreation.h"

#include "colour/CmsEngine.h"
#include "colour/CmsEngineLoader.h"
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
    {1, 0}, {2, 2}, {3, 7}, {4, 100}, {6, 100},
};
const CDefault kMiddleDefaults[] = {
    {9, 0}, {10, 2}, {11, 3}, {12, 0xFF00}, {95, 20}, {14, 0}, {16, 0}, {143, 0}, {18, 0},
    {144, 0}, {20, 0}, {32, 100}, {33, 100}, {35, 0}, {36, 0xFF00}, {37, 150}, {23, 150},
    {38, 10}, {39, 10}, {40, 10}, {41, 10}, {42, 0}, {43, 2}, {44, 8}, {45, 0}, {46, 0}, {47, 3},
    {48, 0}, {49, 0}, {50, 0}, {51, 0}, {52, 0}, {53, 0}, {54, 1}, {55, 1}, {56, 0},
    {57, 1}, {58, 1}, {59, 1}, {60, 1}, {61, 0}, {62, 0}, {63, 0}, {64, 0}, {65, 0},
};
const CDefault kLevelDefaults[] = {
    {74, 0}, {75, 0}, {76, 100}, {77, 0}, {78, 100}, {79, 100}, {80, 100}, {81, 100}, {82, 50},
    {83, 0}, {84, 0}, {85, 2000}, {86, 2000}, {87, 0}, {88, 0},
    {89, 0}, {90, 0}, {91, 1}, {92, 1}, {22, 0}, {21, 1}, {99, 20}, {104, 0}, {94, 0}, {105, 1},
    {106, 0},
};
const CDefault kLastDefaults[] = {
    {109, 0xFF00}, {110, 10}, {111, 3}, {112, 0}, {113, 0}, {114, 1}, {115, 10},
    {127, 0}, {100, 0}, {128, 128}, {122, 0}, {142, 1000}, {141, 1000}, {5, 64}, {34, 0}, {93, 0},
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

void StoreDefaults(CScanSettings& settings, const CScannerDriver* driver, const CBatchValues& batch)
{
    settings.SetParamAllTypes(kParamImageType, batch.batch ? kImageLineArt : kImageRgb);
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
    settings.SetParamAllTypes(107, minDensity);
    settings.SetParamAllTypes(108, maxDensity);
    StoreAll(settings, kLastDefaults);
    if (!batch.batch)
        return;
    settings.SetParamAllTypes(kParamRangeMode, 2);
    settings.SetParamForType(kImageLineArt, kParamRangeMode, 5);
    settings.SetParamAllTypes(kParamToneCode, kToneCustom);
    settings.SetParamAllTypes(kParamCustomGamma, 18);
    settings.SetParamAllTypes(kParamSelRight, batch.bedWidth);
    settings.SetParamAllTypes(kParamSelBottom, batch.bedHeight);
    settings.SetParamAllTypes(21, 2);
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
