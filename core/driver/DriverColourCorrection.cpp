// The colour-correction block of a colour negative: filled from the settings, completed by the
// colour engine from the film type; BuildScannerLut reads its inversion curves.

#include "core/driver/ScannerDriver.h"

#include "core/cms/CmsEngine.h"
#include "core/cms/CmsEngineInstance.h"
#include "core/cms/CmsRecords.h"
#include "core/settings/ScanSettings.h"

#include <cmath>
#include <cstring>
#include <string>

namespace {

constexpr uint32_t kCorrectionPrepared = 0x8000;
constexpr uint32_t kCorrectionDensitySet1 = 0x4000;
constexpr uint32_t kCorrectionDensitySet2 = 0x20000;

constexpr int kCategoryObjects = 3;
constexpr int kAttributeFolder = 0x103041;
constexpr const char* kFilmTypeFolder = "cnegs\\";

float Density(const CScanSettings& settings, uint16_t id) { return (float)settings.GetParam(id) / 1000.0f; }

// With no film type named, the first one the engine lists, as the film-type dialog opens on it;
// empty when the engine lists none. The engine's current folder is put back.
std::string DefaultFilmType(CCmsEngine& engine)
{
    const char* previous = nullptr;
    if (engine.GetAttributes(kCategoryObjects, nullptr, kAttributeFolder, &previous) != 0)
        previous = nullptr;
    std::string saved = previous != nullptr ? previous : "";
    std::string first;
    char* name = nullptr;
    if (engine.SetAttributes(kCategoryObjects, nullptr, kAttributeFolder, kFilmTypeFolder) == 0 &&
        engine.BeginFolderSearch() == 0 && engine.NextSearchResult(&name) == 0 && name != nullptr)
        first = name;
    engine.EndSearch();
    engine.SetAttributes(kCategoryObjects, nullptr, kAttributeFolder, saved.c_str());
    return first;
}

}  // namespace

void CScannerDriver::FreeCorrectionBlock()
{
    if (m_hCorrectionBlock != nullptr) {
        GlobalUnlock(m_hCorrectionBlock);
        GlobalFree(m_hCorrectionBlock);
    }
    m_hCorrectionBlock = nullptr;
    m_pCorrectionBlock = nullptr;
}

uint16_t CScannerDriver::AllocateCorrectionBlock()
{
    // The previous scan's block is replaced, not leaked.
    FreeCorrectionBlock();
    HGLOBAL handle = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(CmsCorrectionBlock));
    if (handle == nullptr)
        return kDriverNoMemory;
    void* block = GlobalLock(handle);
    if (block == nullptr) {
        GlobalFree(handle);
        return kDriverLockFailed;
    }
    m_hCorrectionBlock = handle;
    m_pCorrectionBlock = static_cast<CmsCorrectionBlock*>(block);
    return kDriverOk;
}

// The engine completes the block from the film type; its six densities become the per-channel
// density settings.
uint16_t CScannerDriver::RunColourCorrection()
{
    if (g_pCmsEngine == nullptr || g_pScanSettings == nullptr)
        return kDriverFailed;
    CScanSettings& settings = *g_pScanSettings;
    std::string name = settings.GetFilmTypeName(settings.GetCurrentType());
    if (name.empty())
        name = DefaultFilmType(*g_pCmsEngine);
    CmsHandle filmType = {};
    if (name.empty() || g_pCmsEngine->OpenFilmType(name.c_str(), &filmType) != 0)
        return kDriverFailed;
    int result = g_pCmsEngine->ComputeFilmCorrection(&filmType, m_pCorrectionBlock);
    g_pCmsEngine->FreeHandle(&filmType);
    if (result != 0)
        return kDriverFailed;
    const CmsCorrectionBlock& block = *m_pCorrectionBlock;
    for (int c = 0; c < 3; ++c)
        settings.SetParam((uint16_t)(kParamMinDensityRed + c), (int32_t)(block.resultMin[c] * 1000.0f));
    for (int c = 0; c < 3; ++c)
        settings.SetParam((uint16_t)(kParamMaxDensityRed + c), (int32_t)(block.resultMax[c] * 1000.0f));
    return kDriverOk;
}

uint16_t CScannerDriver::PrepareFilmColourCorrection(const CFilmCorrection& film)
{
    if (g_pScanSettings == nullptr)
        return kDriverFailed;
    uint16_t result = AllocateCorrectionBlock();
    if (result != kDriverOk)
        return result;
    const CScanSettings& settings = *g_pScanSettings;
    CmsCorrectionBlock& block = *m_pCorrectionBlock;
    block.flags = film.baseFlags;
    for (int c = 0; c < 3; ++c) {
        block.gamma[c] = film.gamma;
        block.limit[c] = 20.0f;
    }
    block.flags |= kCorrectionPrepared;
    bool fogSet = false;
    for (int c = 0; c < 3; ++c) {
        block.fog[c] = Density(settings, (uint16_t)(kParamFogRed + c));
        fogSet = fogSet || std::ceil(block.fog[c] * 1000.0f) != 0;
    }
    if (fogSet)
        block.flags |= kCorrectionFogSet;
    for (int c = 0; c < 3; ++c) {
        block.minDensity[c] = Density(settings, (uint16_t)(kParamLevelsMinRed + c));
        block.maxDensity[c] = Density(settings, (uint16_t)(kParamLevelsMaxRed + c));
    }
    int32_t densitySet = settings.GetParam(kParamPrescanDone);
    if (densitySet == 0 || densitySet == 1) {
        for (int c = 0; c < 3; ++c)
            block.densitySet1[c] = Density(settings, (uint16_t)(kParamLevelsSet1Red + c));
        block.flags |= kCorrectionDensitySet1;
    } else if (densitySet == 2 || densitySet == 3) {
        for (int c = 0; c < 3; ++c)
            block.densitySet2[c] = Density(settings, (uint16_t)(kParamLevelsSet2Red + c));
        block.flags |= kCorrectionDensitySet2;
    }
    memcpy(block.maxDensityCopy, film.maximumDensities != nullptr ? film.maximumDensities : block.maxDensity,
           sizeof block.maxDensityCopy);
    memcpy(block.minDensityCopy, film.minimumDensities != nullptr ? film.minimumDensities : block.minDensity,
           sizeof block.minDensityCopy);
    return RunColourCorrection();
}

uint16_t CScannerDriver::PrepareEngineColourCorrection()
{
    if (g_pScanSettings == nullptr)
        return kDriverFailed;
    uint16_t result = AllocateCorrectionBlock();
    if (result != kDriverOk)
        return result;
    memcpy(m_pCorrectionBlock, &g_pScanSettings->CorrectionBlock(), sizeof(CmsCorrectionBlock));
    memcpy(m_pCorrectionBlock->minDensityCopy, m_pCorrectionBlock->minDensity, sizeof(float) * 3);
    memcpy(m_pCorrectionBlock->maxDensityCopy, m_pCorrectionBlock->maxDensity, sizeof(float) * 3);
    return RunColourCorrection();
}
