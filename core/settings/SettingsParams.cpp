// Parameter routing of the settings record: which blocks an id is stored in, and the ids whose
// value is adjusted or copied on the way in.

#include "core/driver/ScannerDriver.h"
#include "core/settings/ScanSettings.h"

namespace {

// The order every all-types store walks the blocks in.
const uint16_t kAllTypesOrder[kImageTypeCount] = {0, 2, 1, 3, 4};

bool IsSharedAcrossTypes(uint16_t id)
{
    return id == kParamImageType || id == kParamFormatIndex || (id >= kParamSelLeft && id <= kParamOriginY);
}

}  // namespace

void CScanSettings::SetParam(uint16_t id, int32_t value)
{
    if (IsSharedAcrossTypes(id)) {
        SetParamAllTypes(id, value);
        return;
    }
    if (id == kParamOriginal) {
        // Line art cannot be scanned from a negative; it takes the positive transparency instead.
        SetParamForType(kImageLineArt, id, value == 2 ? 1 : value);
        for (uint16_t t = kImageHalftone; t <= kImageCmyk; ++t)
            SetParamForType(t, id, value);
        return;
    }
    if (id >= kParamGainRed && id <= kParamGainBlue) {
        SetParamForType(kImageRgb, id, value);
        SetParamForType(kImageCmyk, id, value);
        return;
    }
    SetParamForType((uint16_t)GetCurrentType(), id, value);
}

void CScanSettings::SetParamAllTypes(uint16_t id, int32_t value)
{
    for (uint16_t t : kAllTypesOrder)
        SetParamForType(t, id, value);
}

void CScanSettings::StoreInBlock(uint16_t type, uint16_t id, int32_t value)
{
    if (type < kImageTypeCount && id < kParamCount)
        m_Slot.m_nParams[type][id] = value;
}

void CScanSettings::StoreInBlocks(int first, int last, uint16_t id, int32_t value)
{
    for (int t = first; t <= last; ++t)
        StoreInBlock((uint16_t)t, id, value);
}

void CScanSettings::NormaliseSampleFormat(uint16_t type)
{
    int32_t* block = m_Slot.m_nParams[type];
    if (type == kImageLineArt || type == kImageHalftone) {
        block[kParamChannels] = 1;
        block[kParamBitsPerChannel] = 1;
        block[kParamBinary] = 1;
        return;
    }
    block[kParamChannels] = type == kImageGrey ? 1 : type == kImageRgb ? 3 : 4;
    if (block[kParamBitsPerChannel] < 8)
        block[kParamBitsPerChannel] = 8;
}

int32_t CScanSettings::LimitDensity(uint16_t id, int32_t value) const
{
    if (g_pScannerDriver == nullptr)
        return value;
    if (id == kParamMinDensity) {
        uint32_t minimum = g_pScannerDriver->GetMinDensity(0);
        return (uint32_t)value < minimum ? (int32_t)minimum : value;
    }
    uint32_t maximum = g_pScannerDriver->GetMaxDensity(0);
    return (uint32_t)value > maximum ? (int32_t)maximum : value;
}

void CScanSettings::SetParamForType(uint16_t type, uint16_t id, int32_t value)
{
    if (IsSharedAcrossTypes(id)) {
        if (id == kParamImageType && type < kImageTypeCount)
            NormaliseSampleFormat(type);
        StoreInBlocks(0, kImageTypeCount - 1, id, value);
        return;
    }
    switch (id) {
    case kParamResolution:
    case kParamScale:
        if (type == kImageLineArt)
            StoreInBlock(type, id, value);
        else
            StoreInBlocks(kImageHalftone, kImageCmyk, id, value);
        return;
    case kParamRangeMode: {
        // Without reflective originals line art has no automatic range: it falls back to threshold.
        if (type == kImageLineArt && value == 0 && g_pScannerDriver != nullptr &&
            !g_pScannerDriver->CanScanReflective())
            value = 5;
        StoreInBlock(type, id, value);
        return;
    }
    case kParamToneCode:
        if (value == kToneHalf || value == kToneEightTenths) {
            StoreInBlock(type, kParamToneCode, kToneCustom);
            StoreInBlock(type, kParamCustomGamma, value == kToneHalf ? 5 : 8);
            return;
        }
        StoreInBlock(type, id, value);
        return;
    case kParamSharpness:
        StoreInBlocks(kImageHalftone, kImageCmyk, id, value);
        if ((uint32_t)value <= 100)
            StoreInBlock(type, kParamSharpenLevel, value);
        return;
    case kParamScreenRuling:
        StoreInBlocks(kImageHalftone, kImageCmyk, id, value);
        return;
    case kParamMinDensity:
    case kParamMaxDensity: {
        value = LimitDensity(id, value);
        uint16_t firstCopy = id == kParamMinDensity ? kParamMinDensityRed : kParamMaxDensityRed;
        for (uint16_t copy = firstCopy; copy < firstCopy + 3; ++copy)
            StoreInBlock(type, copy, value);
        StoreInBlock(type, id, value);
        return;
    }
    case kParamCustomGamma:
        for (uint16_t copy = kParamCustomGammaRed; copy <= kParamCustomGammaBlue; ++copy)
            StoreInBlock(type, copy, value);
        StoreInBlock(type, id, value);
        return;
    default:
        StoreInBlock(type, id, value);
        return;
    }
}

int CScanSettings::ClampSelection()
{
    if (g_pScannerDriver == nullptr)
        return 1;
    const CScannerDriver& driver = *g_pScannerDriver;
    int32_t original = GetParam(kParamOriginal);
    int unchanged = 1;
    uint32_t offsetX = driver.GetBedOffsetX(original);
    uint32_t offsetY = driver.GetBedOffsetY(original);
    if ((uint32_t)(GetParam(kParamOriginX) + GetParam(kParamSelLeft)) < offsetX) {
        SetParam(kParamSelLeft, (int32_t)offsetX - GetParam(kParamOriginX));
        unchanged = 0;
    }
    if ((uint32_t)(GetParam(kParamOriginY) + GetParam(kParamSelTop)) < offsetY) {
        SetParam(kParamSelTop, (int32_t)offsetY - GetParam(kParamOriginY));
        unchanged = 0;
    }
    if ((uint32_t)GetParam(kParamSelRight) > driver.GetBedWidth(original)) {
        SetParam(kParamSelRight, (int32_t)driver.GetBedWidth(original));
        unchanged = 0;
    }
    if ((uint32_t)GetParam(kParamSelBottom) > driver.GetBedHeight(original)) {
        SetParam(kParamSelBottom, (int32_t)driver.GetBedHeight(original));
        unchanged = 0;
    }
    return unchanged;
}
