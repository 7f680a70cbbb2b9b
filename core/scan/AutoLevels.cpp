// Automatic levels from the preview, and the colour-correction block the colour engine completes
// for negatives.

#include "core/scan/AutoLevels.h"

#include "core/cms/CmsEngine.h"
#include "core/cms/CmsEngineInstance.h"
#include "core/cms/CmsRecords.h"
#include "core/driver/ScannerDriver.h"
#include "core/messages/MessageReporter.h"
#include "core/settings/ScanSettings.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <tuple>
#include <utility>

namespace {

constexpr int kMsgEngineError = 3512;

constexpr int32_t kOriginalNegative = 2;
constexpr int32_t kLevelsMaxCap = 2500;
constexpr int64_t kSmallestArea = 1000;

constexpr uint32_t kCorrectionBaseFlags = 0x18;
constexpr uint32_t kCorrectionPrepared = 0x8000;
constexpr uint32_t kCorrectionDensitySet1 = 0x4000;
constexpr uint32_t kCorrectionDensitySet2 = 0x20000;
constexpr float kCorrectionLimit = 20.0f;

struct CFrameRect {
    int64_t left, top, right, bottom;
};

struct CPreviewArea {
    int64_t x, y, width, height;
};

// The selection in the preview's own frame, after mirroring and rotation.
CFrameRect SelectionInPreview(const CScanSettings& s)
{
    int64_t l = s.GetParam(kParamSelLeft);
    int64_t t = s.GetParam(kParamSelTop);
    int64_t r = s.GetParam(kParamSelRight);
    int64_t b = s.GetParam(kParamSelBottom);
    int64_t wp = s.GetParam(kParamPreviewWidth);
    int64_t hp = s.GetParam(kParamPreviewHeight);
    int32_t rotation = s.GetParam(kParamRotation);
    int32_t mirror = s.GetParam(kParamMirror);
    bool sideways = rotation == 90 || rotation == 270;
    if (mirror & 2) {
        int64_t extent = sideways ? hp : wp;
        std::tie(l, r) = std::make_pair(extent - r, extent - l);
    }
    if (mirror & 1) {
        int64_t extent = sideways ? wp : hp;
        std::tie(t, b) = std::make_pair(extent - b, extent - t);
    }
    switch (rotation) {
    case 90:
        return {wp - b, l, wp - t, r};
    case 180:
        return {wp - r, hp - b, wp - l, hp - t};
    case 270:
        return {t, hp - r, b, hp - l};
    default:
        return {l, t, r, b};
    }
}

// The part of a W x H bottom-up preview that the selection covers, or its middle 90 per cent when
// the preview area is empty or the selection covers fewer than 1000 pixels.
CPreviewArea AnalysisArea(const CScanSettings& s, int64_t W, int64_t H, int32_t left, int32_t top, int32_t right,
                          int32_t bottom)
{
    const CPreviewArea margins = {5 * W / 100, 5 * H / 100, 90 * W / 100, 90 * H / 100};
    int64_t w = 2 * ((int64_t)right - left);
    int64_t h = 2 * ((int64_t)bottom - top);
    // Tested before the divisions below, not after.
    if (w < 1 || h < 1)
        return margins;
    CFrameRect sel = SelectionInPreview(s);
    int64_t dx = (int64_t)s.GetParam(kParamPreviewOffsetX) - 2 * (int64_t)left;
    int64_t dy = (int64_t)s.GetParam(kParamPreviewOffsetY) - 2 * (int64_t)top;
    int64_t x0 = std::clamp<int64_t>(sel.left + dx, 0, w);
    int64_t x1 = std::clamp<int64_t>(sel.right + dx, 0, w);
    int64_t y0 = std::clamp<int64_t>(sel.top + dy, 0, h);
    int64_t y1 = std::clamp<int64_t>(sel.bottom + dy, 0, h);

    CPreviewArea area;
    area.x = std::min(x0 * W / w, W - 1);
    int64_t yTop = std::min(y0 * H / h, H - 1);
    area.width = std::min((x1 - x0) * W / w, W - area.x);
    area.height = std::min((y1 - y0) * H / h, H - yTop);
    area.y = H - yTop - area.height;
    if (area.width < 1 || area.height < 1 || area.width * area.height < kSmallestArea)
        return margins;
    return area;
}

void MeasureLevels(CScanSettings& s, const uint8_t* bits, int64_t W, int64_t H, uint32_t bitCount,
                   const CPreviewArea& area)
{
    if (g_pScannerDriver == nullptr)
        return;
    uint32_t stride = (uint32_t)((bitCount * W + 31) / 32 * 4);
    uint32_t kind = bitCount == 8 ? 2 : 3;
    int32_t exponent = (int32_t)(s.PreviewGamma() * 10);
    CLevelDensities found = {};
    g_pScannerDriver->AnalyzePreviewLevels(bits, stride, (uint32_t)W, (uint32_t)H, (uint32_t)area.x,
                                           (uint32_t)area.y, (uint32_t)area.width, (uint32_t)area.height, exponent,
                                           kind, (int32_t)kind, found);
    // Red, green, blue are bytes 2, 1, 0 of a pixel.
    for (uint16_t i = 0; i < 3; ++i) {
        int32_t maximum = std::min<int32_t>((int32_t)found.m_nChannelMax[2 - i], kLevelsMaxCap);
        int32_t minimum = (int32_t)found.m_nChannelMin[2 - i];
        s.SetParam((uint16_t)(kParamLevelsMaxRed + i), maximum);
        s.SetParam((uint16_t)(kParamLevelsMinRed + i), minimum);
        s.SetParam((uint16_t)(kParamLevelsSet1Red + i), maximum);
        s.SetParam((uint16_t)(kParamLevelsSet2Red + i), maximum);
    }
}

float Density(const CScanSettings& s, uint16_t id)
{
    return (float)s.GetParam(id) / 1000.0f;
}

void FillCorrectionBlock(CScanSettings& s)
{
    CmsCorrectionBlock& block = s.CorrectionBlock();
    float gamma = s.PreviewGamma();
    block.flags = kCorrectionBaseFlags;
    bool fogSet = false;
    for (int c = 0; c < 3; ++c) {
        block.gamma[c] = gamma;
        block.limit[c] = kCorrectionLimit;
    }
    block.flags |= kCorrectionPrepared;
    for (int c = 0; c < 3; ++c) {
        block.fog[c] = Density(s, (uint16_t)(kParamFogRed + c));
        fogSet = fogSet || std::ceil(block.fog[c] * 1000.0f) != 0;
        block.minDensity[c] = Density(s, (uint16_t)(kParamLevelsMinRed + c));
        block.maxDensity[c] = Density(s, (uint16_t)(kParamLevelsMaxRed + c));
    }
    if (fogSet)
        block.flags |= kCorrectionFogSet;
    int32_t choice = s.GetParam(kParamPrescanDone);
    if (choice == 0 || choice == 1) {
        for (int c = 0; c < 3; ++c)
            block.densitySet1[c] = Density(s, (uint16_t)(kParamLevelsSet1Red + c));
        block.flags |= kCorrectionDensitySet1;
    } else if (choice == 2 || choice == 3) {
        for (int c = 0; c < 3; ++c)
            block.densitySet2[c] = Density(s, (uint16_t)(kParamLevelsSet2Red + c));
        block.flags |= kCorrectionDensitySet2;
    }
    for (int c = 0; c < 3; ++c) {
        block.maxDensityCopy[c] = Density(s, kParamMaxSnapshot);
        block.minDensityCopy[c] = Density(s, kParamMinSnapshot);
    }
}

int EngineErrorCode(int result)
{
    int code = g_pCmsEngine->GetLastErrorCode();
    return code != 0 ? code : result;
}

// Only a negative with a named film type has a film correction to ask the engine for.
void ApplyFilmCorrection(CScanSettings& s)
{
    const char* film = s.GetFilmTypeName(s.GetCurrentType());
    if (g_pCmsEngine == nullptr || s.GetParam(kParamOriginal) != kOriginalNegative || film == nullptr ||
        film[0] == '\0')
        return;
    CmsHandle handle = {};
    int result = g_pCmsEngine->OpenFilmType(film, &handle);
    if (result != 0) {
        ReportMessage(kMsgEngineError, EngineErrorCode(result));
        return;
    }
    CmsCorrectionBlock& block = s.CorrectionBlock();
    result = g_pCmsEngine->ComputeFilmCorrection(&handle, &block);
    if (result != 0)
        ReportMessage(kMsgEngineError, EngineErrorCode(result));
    g_pCmsEngine->FreeHandle(&handle);
    if (result != 0)
        return;
    for (uint16_t c = 0; c < 3; ++c)
        s.SetParam((uint16_t)(kParamMinDensityRed + c), (int32_t)(block.resultMin[c] * 1000.0f));
    for (uint16_t c = 0; c < 3; ++c)
        s.SetParam((uint16_t)(kParamMaxDensityRed + c), (int32_t)(block.resultMax[c] * 1000.0f));
}

}  // namespace

void AutoLevels(CScanSettings& settings, const uint8_t* bits, const BITMAPINFOHEADER& header, int32_t left,
                int32_t top, int32_t right, int32_t bottom)
{
    if (settings.CorrectionBlock().reserved != 0 && settings.m_bLevelsDirty == 0)
        return;
    settings.m_bLevelsDirty = 1;

    int64_t W = header.biWidth;
    int64_t H = std::abs((int64_t)header.biHeight);
    uint32_t bitCount = header.biBitCount;
    bool measurable = bits != nullptr && W > 0 && H > 0 && (bitCount == 8 || bitCount == 24);
    if (measurable && (settings.GetParam(kParamLevelsMaxRed) == 0 || settings.GetParam(kParamPrescanDone) == 0))
        MeasureLevels(settings, bits, W, H, bitCount, AnalysisArea(settings, W, H, left, top, right, bottom));
    FillCorrectionBlock(settings);
    ApplyFilmCorrection(settings);
}
