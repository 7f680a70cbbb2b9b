// The colour-correction block of a colour negative: filled from the settings, completed by the
// colour engine from the film type; BuildScannerLut reads its inversion curves.

#include "core/driver/ScannerDriver.h"

#include "colour/CmsEngine.h"
#include "core/cms/CmsEngineInstance.h"
#include "core/cms/CmsRecords.h"
#include "core/settings/ScanSettings.h"

#include <cmath>
#include <cstring>

namespace {

constexpr uint32_t kCorrectionBaseFlags = 0x18;
constexpr uint32_t kCorrectionPrepared = 0x8000;
constexpr uint32_t kCorrectionDensitySet1 = 0x4000;
constexpr uint32_t kCorrectionDensitySet2 = 0x20000;

float Density(const CScanSettings& settings, uint16_t id) { return (float)settings.GetParam(id) / 1000.0f; }

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
    CmsHandle filmType = {};
    if (g_pCmsEngine->OpenFilmType(settings.GetFilmTypeName(settings.GetCurrentType()), &filmType) != 0)
        return kDriverFailed;
    int result = g_pCmsEngine->ComputeFilmCorrection(&filmType, m_pCorrectionBlock);
    g_pCmsEngine->FreeHandle(&filmType);
    if (result != 0)
        return kDriverFailed;
    const CmsCorrectionBlock& block = *m_pCorrectionBlock;
    for (int c = 0; c < 3; ++c)
        settings.SetParam((uint16_t)(68 + c), (int32_t)(block.resultMin[c] * 1000.0f));
    for (int c = 0; c < 3; ++c)
        settings.SetParam((uint16_t)(71 + c), (int32_t)(block.resultMax[c] * 1000.0f));
    return kDriverOk;
}

uint16_t CScannerDriver::PrepareFilmColourCorrection()
{
    if (g_pScanSettings == nullptr)
        return kDriverFailed;
    uint16_t result = AllocateCorrectionBlock();
    if (result != kDriverOk)
        return result;
    const CScanSettings& settings = *g_pScanSettings;
    CmsCorrectionBlock& block = *m_pCorrectionBlock;
    block.flags = kCorrectionBaseFlags;
    for (int c = 0; c < 3; ++c) {
        block.gamma[c] = 1.0f;
        block.limit[c] = 20.0f;
    }
    block.flags |= kCorrectionPrepared;
    bool fogSet = false;
    for (int c = 0; c < 3; ++c) {
        block.fog[c] = Density(settings, (uint16_t)(101 + c));
        fogSet = fogSet || std::ceil(block.fog[c] * 1000.0f) != 0;
    }
    if (fogSet)
        block.flags |= kCorrectionFogSet;
    for (int c = 0; c < 3; ++c) {
        block.minDensity[c] = Density(settings, (uint16_t)(135 + c));
        block.maxDensity[c] = Density(settings, (uint16_t)(124 + c));
    }
    int32_t densitySet = settings.GetParam(123);
    if (densitySet == 0 || densitySet == 1) {
        for (int c = 0; c < 3; ++c)
            block.densitySet1[c] = Density(settings, (uint16_t)(129 + c));
        block.flags |= kCorrectionDensitySet1;
    } else if (densitySet == 2 || densitySet == 3) {
        for (int c = 0; c < 3; ++c)
            block.densitySet2[c] = Density(settings, (uint16_t)(132 + c));
        block.flags |= kCorrectionDensitySet2;
    }
    memcpy(block.maxDensityCopy, block.maxDensity, sizeof block.maxDensityCopy);
    memcpy(block.minDensityCopy, block.minDensity, sizeof block.minDensityCopy);
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
