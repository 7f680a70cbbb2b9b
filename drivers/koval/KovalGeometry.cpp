// The KOVAL scan geometry (the device's drop pattern predicts exactly what it delivers) and the SET
// WINDOW parameter list with one 48-byte descriptor per colour in 1/1200 inch.

#include "drivers/koval/KovalDriver.h"

#include "core/scsi/ScsiBuffer.h"
#include "core/scsi/ScsiChannel.h"
#include "core/settings/ScanSettings.h"
#include "core/util/ByteOrder.h"
#include "core/util/Numeric.h"

#include <algorithm>
#include <cstring>

namespace {

uint8_t g_KovalDropMask[kKovalDropMaskSize];

constexpr uint32_t kStepsPerInch = 1200;
constexpr uint32_t kReadyTimeout = 60000;
constexpr uint32_t kWindowTimeout = 5000;
constexpr int kSenseBytes = 32;
constexpr uint32_t kHeaderBytes = 8;
constexpr uint32_t kDescriptorBytes = 48;
constexpr uint32_t kMinimumPixels = 16;
// Last 1/1200-inch step of the reflective and the transparency bed.
constexpr uint32_t kReflectiveLastX = 9599;
constexpr uint32_t kReflectiveLastY = 16799;
constexpr uint32_t kTransparencyLastX = 7180;
constexpr uint32_t kTransparencyLastY = 10157;
constexpr uint8_t kCapTransparency = 0x04;

bool IsColourMode(uint32_t mode) { return mode == 3 || mode == 4; }

uint32_t CeilingSteps(uint32_t pixels, uint32_t resolution)
{
    return (pixels * kStepsPerInch + resolution - 1) / resolution;
}

}  // namespace

void KovalBuildDropMask(uint32_t resolution, uint8_t* mask, uint32_t n)
{
    n = std::min<uint32_t>(n, kKovalDropMaskSize - 1);
    for (uint32_t i = 1; i <= n; ++i)
        mask[i] = 1;
    uint32_t base = resolution <= 600 ? 600 : 1200;
    if (resolution >= base)
        return;
    uint32_t drops = base - resolution;
    for (uint32_t i = 1; i <= drops; ++i) {
        uint32_t c = base * i / drops;
        mask[c] = 0;
        if (c >= n)
            break;
    }
}

uint32_t KovalCountForLength(uint32_t length, uint32_t resolution)
{
    if (length == 0)
        return 0;
    resolution = std::min<uint32_t>(resolution, kStepsPerInch);
    uint32_t rest = length % kStepsPerInch;
    if (resolution <= 600)
        rest /= 2;  // counted in 1/600-inch steps
    KovalBuildDropMask(resolution, g_KovalDropMask, rest);
    uint32_t count = length / kStepsPerInch * resolution;
    for (uint32_t i = 1; i <= rest; ++i)
        count += g_KovalDropMask[i];
    return std::max<uint32_t>(count, 1);
}

uint32_t KovalUnitsForLength(uint32_t length, uint32_t resolution, uint32_t bits, int even)
{
    uint32_t perByte = bits != 0 && bits < 8 ? 8 / bits : 1;
    uint32_t units = KovalCountForLength(length, resolution) / perByte;
    if (even != 0)
        units &= ~1u;
    return std::max<uint32_t>(units, 1);
}

CKovalWindowArea CKovalDriver::WindowArea(const CScanSettings& settings)
{
    CKovalWindowArea area;
    area.m_nResolution = ClampResolutionX((uint32_t)settings.GetParam(kParamResolution));
    area.m_nX0 = (uint32_t)ScaleRound(
        settings.GetParam(kParamSelLeft) + settings.GetParam(kParamOriginX), kStepsPerInch, 2540, 1);
    area.m_nY0 = (uint32_t)ScaleRound(
        settings.GetParam(kParamSelTop) + settings.GetParam(kParamOriginY), kStepsPerInch, 2540, 1);
    uint32_t w = 0;
    uint32_t h = 0;
    settings.ScannerPixelSize(w, h);
    w = std::max(w, kMinimumPixels);
    area.m_nWidth = CeilingSteps(w, area.m_nResolution);
    area.m_nLength = CeilingSteps(h, area.m_nResolution);
    bool reflective = settings.GetParam(kParamOriginal) == 0;
    // Unsigned on purpose: a window that starts beyond the bed keeps its size, and the device
    // refuses it.
    area.m_nWidth = std::min((reflective ? kReflectiveLastX : kTransparencyLastX) - area.m_nX0, area.m_nWidth);
    area.m_nLength = std::min((reflective ? kReflectiveLastY : kTransparencyLastY) - area.m_nY0, area.m_nLength);
    return area;
}

uint16_t CKovalDriver::PrepareScan()
{
    if (g_pScanSettings == nullptr)
        return kDriverFailed;
    CScanSettings& settings = *g_pScanSettings;
    CKovalWindowArea area = WindowArea(settings);
    uint32_t x = area.m_nResolution;
    uint32_t mode = settings.GetScanMode();
    if (mode == 0) {
        settings.m_nBytesPerLine = KovalUnitsForLength(area.m_nWidth, x, 1, 0);
        settings.m_nPixelsPerLine = 8 * settings.m_nBytesPerLine;
    } else if (mode == 2) {
        settings.m_nPixelsPerLine = settings.m_nBytesPerLine = KovalUnitsForLength(area.m_nWidth, x, 8, 0);
    } else if (IsColourMode(mode)) {
        settings.m_nPixelsPerLine = KovalUnitsForLength(area.m_nWidth, x, 8, 0);
        settings.m_nBytesPerLine = 3 * settings.m_nPixelsPerLine;
    }
    if (mode != 1)
        settings.m_nLineCount = KovalCountForLength(area.m_nLength, x);
    UpdateSharedScanGeometry();
    return kDriverOk;
}

void CKovalDriver::ShadowAndHighlight(
    const CScanSettings& settings, uint16_t minId, uint16_t maxId, uint8_t& shadow, uint8_t& highlight) const
{
    int32_t lo = (int32_t)DensityToDotArea((uint32_t)settings.GetParam(minId));
    int32_t hi = (int32_t)DensityToDotArea((uint32_t)settings.GetParam(maxId));
    int32_t m0 = (int32_t)DensityToDotArea(GetMinDensity(0));
    int32_t m1 = (int32_t)DensityToDotArea(GetMinDensityCeiling(0));
    int32_t maxFloor = (int32_t)DensityToDotArea(GetMaxDensityFloor(0));
    int32_t maxTop = (int32_t)DensityToDotArea(GetMaxDensity(0));
    lo = lo < m0 ? m0 : lo > m1 ? m1 : lo;
    hi = hi < maxFloor ? maxFloor : hi > maxTop ? maxTop : hi;
    int32_t s = m1 == m0 ? 50 : 50 - (lo - m0) * 50 / (m1 - m0);
    int32_t l = maxTop == maxFloor ? 0 : 50 - (hi - maxFloor) * 50 / (maxTop - maxFloor);
    if (l + 1 > s) {
        s = l + 1;
        if (s > 50) {
            s = 50;
            l = 49;
        }
    }
    shadow = uint8_t(s);
    highlight = uint8_t(l);
}

void CKovalDriver::BuildDescriptor(
    const CScanSettings& settings, const CKovalWindowArea& area, int window, uint8_t* out)
{
    static const uint16_t kDensityIds[3][2] = {
        {kParamMinDensityRed, kParamMaxDensityRed},
        {kParamMinDensityGreen, kParamMaxDensityGreen},
        {kParamMinDensityBlue, kParamMaxDensityBlue},
    };
    uint32_t mode = settings.GetScanMode();
    bool colour = IsColourMode(mode);
    std::memset(out, 0, kDescriptorBytes);
    out[0] = colour ? uint8_t(window + 1) : uint8_t(settings.GetParam(kParamWindowId));
    PutBe16(out + 2, uint16_t(area.m_nResolution));
    PutBe16(out + 4, uint16_t(area.m_nResolution));
    PutBe16(out + 8, uint16_t(area.m_nX0));
    PutBe16(out + 12, uint16_t(area.m_nY0));
    PutBe32(out + 14, area.m_nWidth);
    PutBe32(out + 18, area.m_nLength);
    out[22] = 128;
    out[23] = mode == 0 ? uint8_t(settings.GetParam(kParamThreshold) * 255 / 100) : 128;
    out[24] = 128;
    out[25] = uint8_t(settings.GetParam(kParamComposition));
    out[26] = uint8_t(settings.GetParam(kParamOutputBits));
    PutBe16(out + 27, 0x0005);
    out[29] = uint8_t(settings.GetParam(kParamPaddingType) | settings.GetParam(kParamPaddingFlags));
    PutBe16(out + 30, uint16_t(settings.GetParam(kParamBitOrdering)));
    out[40] = 1;
    out[41] = colour ? uint8_t(0x80 >> window) : 0;
    uint16_t minId = colour ? kDensityIds[window][0] : uint16_t(kParamMinDensity);
    uint16_t maxId = colour ? kDensityIds[window][1] : uint16_t(kParamMaxDensity);
    ShadowAndHighlight(settings, minId, maxId, out[42], out[43]);
    bool reflective = settings.GetParam(kParamOriginal) == 0;
    out[47] = !reflective && (m_nCapabilityFlags & kCapTransparency) != 0 ? 255 : 17;
}

uint16_t CKovalDriver::SetScanParameters(CScanSettings* settings)
{
    uint16_t result = WaitReady(kReadyTimeout);
    if (result != kDriverOk)
        return result;
    settings->SetParam(kParamPaddingFlags, 3);
    settings->SetParam(kParamBitOrdering, 0);
    bool reflective = settings->GetParam(kParamOriginal) == 0;
    settings->SetParam(kParamWindow54, reflective ? 1 : 0);
    settings->SetParam(kParamDriverGamma, reflective ? 0 : 2400);
    settings->SetParam(kParamWindow61, reflective ? 3 : 1);

    uint32_t mode = settings->GetScanMode();
    if (mode != 0 && mode != 2 && mode != 3)
        return kDriverFailed;
    settings->SetParam(kParamPaddingType, 0);
    settings->SetParam(kParamComposition, mode == 0 ? 0 : mode == 2 ? 2 : 5);
    settings->SetParam(kParamOutputBits, mode == 0 ? 1 : 8);
    settings->SetParam(kParamHalftonePattern, 4);
    settings->SetParam(kParamWindowSummaryA, 1);
    settings->SetParam(kParamWindowSummaryB, mode == 0 ? 8 : 1);
    settings->SetParam(kParamWindowSummaryC, 2);
    uint32_t windows = mode == 3 ? 3 : 1;

    CKovalWindowArea area = WindowArea(*settings);
    CScsiByteBuffer list(kHeaderBytes + windows * kDescriptorBytes);
    uint8_t* data = list.GetData();
    if (data == nullptr)
        return kDriverNoMemory;
    std::memset(data, 0, kHeaderBytes);
    PutBe16(data + 6, uint16_t(windows * kDescriptorBytes));
    for (uint32_t w = 0; w < windows; ++w)
        BuildDescriptor(*settings, area, int(w), data + kHeaderBytes + w * kDescriptorBytes);
    m_nLastResult = g_pScsiChannel->SetWindow(list, kWindowTimeout, kSenseBytes);
    if (IsUnitAttention(m_nLastResult, list.m_sense))
        m_nLastResult = g_pScsiChannel->SetWindow(list, kWindowTimeout, kSenseBytes);
    return m_nLastResult;
}
