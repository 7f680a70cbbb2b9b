// Sizes of the selection and of the coming scan, and the gamma and ruling values shown to the user.

#include "core/driver/ScannerDriver.h"
#include "core/settings/ScanSettings.h"
#include "core/util/Numeric.h"

#include <algorithm>

namespace {

constexpr double kHundredthMmPerInch = 2540;

uint32_t CeilDiv(uint64_t numerator, uint64_t denominator)
{
    return denominator == 0 ? 0 : (uint32_t)((numerator + denominator - 1) / denominator);
}

float GammaForCode(int32_t code, int32_t customTenths)
{
    switch (code) {
    case 0xFF02: return 1.2f;
    case 0xFF03: return 1.5f;
    case 0xFF04: return 1.8f;
    case 0xFF05: return 2.2f;
    case kToneCustom: return (float)customTenths / 10.0f;
    case kToneHalf: return 0.5f;
    case kToneEightTenths: return 0.8f;
    default: return 1.0f;
    }
}

}  // namespace

bool CScanSettings::IsRotatedSideways() const
{
    int32_t rotation = GetParam(kParamRotation);
    return rotation == 90 || rotation == 270;
}

uint32_t CScanSettings::SelectionWidth() const
{
    return (uint32_t)std::max(GetParam(kParamSelRight) - GetParam(kParamSelLeft), kMinSelectionLength);
}

uint32_t CScanSettings::SelectionHeight() const
{
    return (uint32_t)std::max(GetParam(kParamSelBottom) - GetParam(kParamSelTop), kMinSelectionLength);
}

uint32_t CScanSettings::PixelsForLength(uint32_t length) const
{
    return (uint32_t)ScaleRound(length, (uint32_t)GetParam(kParamResolution), kHundredthMmPerInch, 1);
}

uint32_t CScanSettings::BytesForPixels(uint32_t pixels) const
{
    uint32_t bits = m_nScanMode == 0 ? 1 : m_nBitsPerChannel > 8 ? 16 : 8;
    return CeilDiv((uint64_t)pixels * m_nChannels * bits, 8);
}

uint32_t CScanSettings::LineBytesForWidth(uint32_t width) const
{
    uint32_t channels = 0;
    uint32_t bits = 8;
    switch (GetCurrentType()) {
    case kImageLineArt:
    case kImageHalftone: channels = 1; bits = 1; break;
    // Grey and RGB samples above 8 bits travel as 16-bit words until a sink narrows them.
    case kImageGrey: channels = 1; bits = GetParam(kParamBitsPerChannel) > 8 ? 16 : 8; break;
    case kImageRgb: channels = 3; bits = GetParam(kParamBitsPerChannel) > 8 ? 16 : 8; break;
    case kImageCmyk: channels = 4; break;
    default: return 0;
    }
    return CeilDiv((uint64_t)PixelsForLength(width) * channels * bits, 8);
}

uint32_t CScanSettings::ImageBytes() const
{
    return LineBytesForWidth(SelectionWidth()) * PixelsForLength(SelectionHeight());
}

uint32_t CScanSettings::PixelsForBytes(int type, uint32_t bytes, uint32_t channels, uint32_t bits, int packed)
{
    if (type == kImageLineArt || type == kImageHalftone) {
        channels = 1;
        bits = 1;
    } else if (type >= kImageGrey && type <= kImageCmyk) {
        channels = type == kImageGrey ? 1 : type == kImageRgb ? 3 : 4;
        bits = std::max(bits, 8u);
    }
    if (channels == 0)
        return bytes;
    uint32_t bitsPerPixel = packed == 1 ? bits : (bits + 7) / 8 * 8 * channels;
    if (bitsPerPixel == 0)
        return bytes;
    return CeilDiv((uint64_t)bytes * 8, bitsPerPixel);
}

uint32_t CScanSettings::OutputPixelsPerLine() const
{
    return IsRotatedSideways() ? m_nLineCount : m_nPixelsPerLine;
}

uint32_t CScanSettings::OutputLineCount() const
{
    return IsRotatedSideways() ? m_nPixelsPerLine : m_nLineCount;
}

uint32_t CScanSettings::OutputBytesPerLine() const
{
    return BytesForPixels(OutputPixelsPerLine());
}

uint32_t CScanSettings::SelectionLineBytes() const
{
    return LineBytesForWidth(IsRotatedSideways() ? SelectionHeight() : SelectionWidth());
}

uint32_t CScanSettings::RotatedPixelWidth() const
{
    uint32_t length = IsRotatedSideways() ? SelectionHeight() : SelectionWidth();
    int32_t type = GetCurrentType();
    // One-bit images are as wide as their whole bytes.
    if (type == kImageLineArt || type == kImageHalftone)
        return LineBytesForWidth(length) * 8;
    return PixelsForLength(length);
}

uint32_t CScanSettings::RotatedPixelHeight() const
{
    return PixelsForLength(IsRotatedSideways() ? SelectionWidth() : SelectionHeight());
}

uint32_t CScanSettings::ClampedResolutionX() const
{
    uint32_t resolution = (uint32_t)GetParam(kParamResolution);
    return g_pScannerDriver != nullptr ? g_pScannerDriver->ClampResolutionX(resolution) : resolution;
}

void CScanSettings::DevicePixelSize(uint32_t& width, uint32_t& height) const
{
    uint64_t device = ClampedResolutionX();
    uint64_t requested = std::max<uint32_t>((uint32_t)GetParam(kParamResolution), 1);
    width = CeilDiv(RotatedPixelWidth() * device, requested) + 1;
    height = CeilDiv(RotatedPixelHeight() * device, requested) + 1;
}

void CScanSettings::ScannerPixelSize(uint32_t& width, uint32_t& height) const
{
    DevicePixelSize(width, height);
    if (IsRotatedSideways())
        std::swap(width, height);
}

float CScanSettings::GammaForPreset() const
{
    return GammaForCode(GetParam(kParamToneCode), GetParam(kParamCustomGamma));
}

float CScanSettings::PreviewGamma() const
{
    if (g_pScannerDriver != nullptr) {
        double fixed = g_pScannerDriver->GetGammaOverride();
        if (fixed != 1.0)
            return (float)fixed;
    }
    return GammaForCode(GetParam(kParamPreviewTone), GetParam(kParamPreviewGamma));
}

uint32_t CScanSettings::RulingForResolution(uint32_t value) const
{
    double divisor = (double)GetParam(kParamQualityFactor) * GetParam(kParamScale);
    return (uint32_t)ScaleRound(value, 1000, divisor, 0);
}

uint32_t CScanSettings::RulingForResolutionCm(uint32_t value) const
{
    double divisor = (double)GetParam(kParamScale) * GetParam(kParamQualityFactor) * 254;
    return (uint32_t)ScaleRound(value, 100000, divisor, 0);
}
