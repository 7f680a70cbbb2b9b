// The driver base's prescan, the levels analysis and histogram it shares with the preview and the
// histogram dialog, and the spike filter of quality scans.

#include "core/driver/ScannerDriver.h"

#include "core/image/Dib.h"
#include "core/messages/MessageReporter.h"
#include "core/scan/ScanJob.h"
#include "core/scan/ScanServices.h"
#include "core/scan/ShellServices.h"
#include "core/settings/ScanSettings.h"
#include "core/util/GlobalBlock.h"
#include "core/util/Numeric.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>


namespace {

constexpr int kMsgNoMemory = 3317;
constexpr int kMsgUnsupportedImage = 3340;

constexpr int32_t kOriginalReflective = 0;
constexpr int32_t kOriginalTransparency = 1;
constexpr int32_t kOriginalNegative = 2;
constexpr int32_t kQualityMode = 1;
constexpr int32_t kSpeedMode = 2;
constexpr int32_t kToneGamma15 = 0xFF03;

constexpr uint32_t kScanModeGrey = 2;
constexpr uint32_t kScanModeRgb = 3;
constexpr uint32_t kHistogramLevels = 256;
constexpr uint32_t kHistogramBytes = 3 * kHistogramLevels * sizeof(int32_t);

// The prescan aims at a 256 x 256 image whatever the size of the selection.
constexpr double kPrescanPixels = 65536.0;
constexpr double kHundredthMmPerInch = 2540.0;

// The bright search never goes below this level, the dark search never above the other.
constexpr uint32_t kLowestBrightLevel = 10;
constexpr uint32_t kHighestDarkLevel = 240;
constexpr uint32_t kMinimumDensitySpan = 100;

bool WantsPrescan(const CScanSettings& s)
{
    int32_t type = s.GetCurrentType();
    if (type == kImageLineArt)
        return false;
    bool automatic = s.GetParam(kParamAutoMinimum) != 0 || s.GetParam(kParamAutoMaximum) != 0 ||
                     s.GetParam(kParamRangeMode) == 0;
    if (automatic && s.GetParam(kParamPreviewFlag) == 0)
        return true;
    return s.GetParam(kParamOriginal) == kOriginalNegative && s.GetParam(kParamPrescanDone) == 0 &&
           type != kImageGrey;
}

// The global record as it was before the prescan changed it; put back however the prescan ends.
class CSettingsRestorer {
public:
    explicit CSettingsRestorer(CScanSettings* saved) : m_pSaved(saved) {}
    ~CSettingsRestorer() { Restore(); }
    CSettingsRestorer(const CSettingsRestorer&) = delete;
    CSettingsRestorer& operator=(const CSettingsRestorer&) = delete;

    void Restore()
    {
        if (m_pSaved != nullptr && g_pScanSettings != nullptr)
            g_pScanSettings->Assign(*m_pSaved);
        m_pSaved.reset();
    }

private:
    std::unique_ptr<CScanSettings> m_pSaved;
};

// The resolution that gives about 65536 pixels over the selection; one the device cannot come
// within 10 per cent of is left unclamped.
int32_t PrescanResolution(const CScanSettings& s, CScannerDriver& driver)
{
    double w = std::max<int32_t>(s.GetParam(kParamSelRight) - s.GetParam(kParamSelLeft), kMinSelectionLength);
    double h = std::max<int32_t>(s.GetParam(kParamSelBottom) - s.GetParam(kParamSelTop), kMinSelectionLength);
    uint32_t r = (uint32_t)(std::sqrt(kPrescanPixels / (w * h)) * kHundredthMmPerInch);
    uint32_t c = driver.ClampResolutionX(r);
    if (110 * c / 100 < r || 90 * c / 100 > r)
        return (int32_t)r;
    return (int32_t)c;
}

void ApplyPrescanSettings(CScanSettings& s, CScannerDriver& driver)
{
    int32_t type = s.GetCurrentType();
    if (type == kImageLineArt || type == kImageHalftone)
        s.SetParamAllTypes(kParamImageType, kImageGrey);
    else if (type == kImageCmyk)
        s.SetParamAllTypes(kParamImageType, kImageRgb);
    s.SetParamAllTypes(kParamBitsPerChannel, 8);

    int32_t transparencyTone = driver.GetGammaOverride() == 1.0 ? kToneGamma15 : kToneDefault;
    switch (s.GetParam(kParamOriginal)) {
    case kOriginalReflective:
        s.SetParamAllTypes(kParamQuality, kSpeedMode);
        s.SetParamAllTypes(kParamToneCode, kToneDefault);
        break;
    case kOriginalTransparency:
        s.SetParamAllTypes(kParamQuality, kSpeedMode);
        s.SetParamAllTypes(kParamToneCode, transparencyTone);
        break;
    case kOriginalNegative:
        s.SetParamAllTypes(kParamOriginal, kOriginalTransparency);
        s.SetParamAllTypes(kParamQuality, kQualityMode);
        s.SetParamAllTypes(kParamToneCode, transparencyTone);
        break;
    default:
        break;
    }

    const int32_t neutral[][2] = {
        {kParamFlavourState, 0},
        {kParamColourRoute, 0},
        {kParamDriverGamma, kToneDefault},
        {kParamGainRed, 100},
        {kParamGainGreen, 100},
        {kParamGainBlue, 100},
        {kParamMinDensity, (int32_t)driver.GetMinDensity(0)},
        {kParamMaxDensity, (int32_t)driver.GetMaxDensity(0)},
        {kParamScreenRuling, 0},
        {kParamToneLow, 0},
        {kParamToneHigh, 100},
        {kParamSharpness, 0},
        {kParamRotation, 0},
        {kParamMirror, 0},
    };
    for (const auto& value : neutral)
        s.SetParamAllTypes((uint16_t)value[0], value[1]);
    s.SetParam(kParamResolution, PrescanResolution(s, driver));
}

std::unique_ptr<CDib> PrescanImage(const CScanSettings& s)
{
    uint32_t width = s.RotatedPixelWidth();
    uint32_t height = s.RotatedPixelHeight();
    uint32_t dpi = (uint32_t)s.GetParam(kParamResolution);
    if (s.GetCurrentType() == kImageGrey)
        return std::unique_ptr<CDib>(new (std::nothrow) CDib8(width, height, dpi));
    return std::unique_ptr<CDib>(new (std::nothrow) CDib24(width, height, dpi));
}

int32_t CurveExponent(const CScanSettings& s, CScannerDriver& driver)
{
    double fixed = driver.GetGammaOverride();
    if (fixed != 1.0 && s.GetParam(kParamOriginal) != kOriginalReflective)
        return (int32_t)(fixed * 10);
    return (int32_t)(s.GammaForPreset() * 10);
}

void StoreFoundDensities(CScanSettings& s, const CLevelDensities& found)
{
    bool negative = s.GetParam(kParamOriginal) == kOriginalNegative;
    bool range = s.GetParam(kParamRangeMode) == 0 || negative;
    if (range || s.GetParam(kParamAutoMinimum) != 0) {
        s.SetParam(kParamMinDensity, (int32_t)found.m_nMinimum);
        for (uint16_t i = 0; negative && i < 3; ++i) {
            int32_t value = (int32_t)found.m_nChannelMin[2 - i];
            s.SetParam((uint16_t)(kParamMinDensityRed + i), value);
            s.SetParam((uint16_t)(kParamLevelsMinRed + i), value);
        }
    }
    if (range || s.GetParam(kParamAutoMaximum) != 0) {
        s.SetParam(kParamMaxDensity, (int32_t)found.m_nMaximum);
        for (uint16_t i = 0; negative && i < 3; ++i) {
            int32_t value = (int32_t)found.m_nChannelMax[2 - i];
            s.SetParam((uint16_t)(kParamMaxDensityRed + i), value);
            s.SetParam((uint16_t)(kParamLevelsMaxRed + i), value);
        }
    }
}

// new[i] := old[i x 1000 / ratio], 0 beyond the top level; a ratio that is not positive leaves
// the channel alone rather than dividing by it.
void ScaleLevelAxis(int32_t* counters, uint32_t ratio)
{
    if (ratio == 0)
        return;
    int32_t old[kHistogramLevels];
    memcpy(old, counters, sizeof old);
    for (uint32_t i = 0; i < kHistogramLevels; ++i) {
        uint32_t from = (uint32_t)((uint64_t)i * 1000 / ratio);
        counters[i] = from < kHistogramLevels ? old[from] : 0;
    }
}

void ApplyGainsAndScale(int32_t* histogram, const CScanSettings& s, int32_t imageType, uint32_t scanMode)
{
    if ((imageType != kImageRgb && imageType != kImageCmyk) || scanMode != kScanModeRgb)
        return;
    if (s.GetParam(kParamOriginal) != kOriginalNegative) {
        // Channel 0 is blue, channel 2 red.
        const uint16_t gains[3] = {kParamGainBlue, kParamGainGreen, kParamGainRed};
        for (int c = 0; c < 3; ++c) {
            int32_t gain = s.GetParam(gains[c]);
            if (gain > 0 && gain != 100)
                ScaleLevelAxis(histogram + c * kHistogramLevels, (uint32_t)gain * 10);
        }
    }
    int32_t divisor = s.GetParam(kParamPreviewValue);
    if (divisor <= 0)
        return;
    int64_t q = (int64_t)s.GetParam(kParamCameraPreview) * 1000 / divisor;
    if (q <= 0 || q == 1000 || q > UINT32_MAX)
        return;
    for (int c = 0; c < 3; ++c)
        ScaleLevelAxis(histogram + c * kHistogramLevels, (uint32_t)q);
}

// The brightest and darkest levels that hold more than the clip counts of pixels.
void FindLevels(const int32_t* counters, uint64_t hiCount, uint64_t loCount, uint32_t& bright, uint32_t& dark)
{
    uint32_t b = 255;
    uint64_t sum = 0;
    while (sum < hiCount && b > kLowestBrightLevel)
        sum += (uint32_t)counters[b--];
    if (b != 255)
        ++b;
    uint32_t d = 0;
    sum = 0;
    while (sum < loCount && d < kHighestDarkLevel)
        sum += (uint32_t)counters[d++];
    if (d != 0)
        --d;
    bright = b;
    dark = d;
}

void LimitPair(uint32_t& minimum, uint32_t& maximum, uint32_t ceiling, uint32_t top)
{
    minimum = std::min(minimum, ceiling);
    maximum = std::max(maximum, minimum + kMinimumDensitySpan);
    maximum = std::min(maximum, top);
}

void SmoothSpikes8(uint8_t* line, uint32_t pixels, uint32_t samples)
{
    for (uint32_t p = 1; p + 1 < pixels; p += 2) {
        for (uint32_t i = 0; i < samples; ++i) {
            uint8_t a = line[(p - 1) * samples + i];
            uint8_t c = line[(p + 1) * samples + i];
            uint8_t& s = line[p * samples + i];
            if ((s < a && s < c) || (s > a && s > c))
                s = (uint8_t)((c >> 1) + (a >> 1));
        }
    }
}

void SmoothSpikes16(uint8_t* bytes, uint32_t pixels, uint32_t samples)
{
    for (uint32_t p = 1; p + 1 < pixels; p += 2) {
        for (uint32_t i = 0; i < samples; ++i) {
            uint16_t a, s, c;
            memcpy(&a, bytes + 2 * ((p - 1) * samples + i), 2);
            memcpy(&s, bytes + 2 * (p * samples + i), 2);
            memcpy(&c, bytes + 2 * ((p + 1) * samples + i), 2);
            if ((s < a && s < c) || (s > a && s > c)) {
                s = (uint16_t)((c >> 1) + (a >> 1));
                memcpy(bytes + 2 * (p * samples + i), &s, 2);
            }
        }
    }
}

}  // namespace

uint16_t CScannerDriver::PrescanIfNeeded(CScanSettings*, ScanProgressCallback progress)
{
    if (g_pScanSettings == nullptr || !WantsPrescan(*g_pScanSettings) || s_bPrescanAllowed == 0)
        return kDriverOk;
    int32_t state = m_nState;
    m_nState = 0;
    s_bPrescanAllowed = 0;
    uint16_t result = AutoPrescan(progress);
    s_bPrescanAllowed = 1;
    m_nState = state;
    return result;
}

uint16_t CScannerDriver::AutoPrescan(ScanProgressCallback progress)
{
    if (Shell().UsesEngineCorrection() != 0)
        return kDriverOk;
    if (g_pScanSettings == nullptr)
        return kDriverFailed;
    CScanSettings& settings = *g_pScanSettings;
    // Without a copy the settings could not be put back: no prescan then.
    CScanSettings* copy = new (std::nothrow) CScanSettings(settings);
    if (copy == nullptr) {
        ReportMessage(kMsgNoMemory);
        return kDriverFailed;
    }
    CSettingsRestorer restorer(copy);
    ApplyPrescanSettings(settings, *this);

    int32_t type = settings.GetCurrentType();
    if (type != kImageGrey && type != kImageRgb) {
        ReportMessage(kMsgUnsupportedImage);
        return kDriverFailed;
    }
    std::unique_ptr<CDib> image = PrescanImage(settings);
    if (image == nullptr || image->m_pBits == nullptr) {
        ReportMessage(kMsgNoMemory);
        return kDriverFailed;
    }

    CLevelDensities found = {};
    uint16_t result;
    {
        CScanJob job(&settings, progress);
        result = job.ScanToMemory(*image);
        if (result == kDriverOk) {
            uint32_t width = (uint32_t)image->m_pHeader->biWidth;
            uint32_t height = image->m_nHeight;
            AnalyzePreviewLevels(image->m_pBits, image->m_nStride, width, height, 0, 0, width, height,
                                 CurveExponent(settings, *this), (uint32_t)type, type, found);
        }
        job.EndScan();
    }
    image.reset();
    // A prescan started while the "Profile support" status window is open would leave it behind.
    Shell().CloseProfileStatus();

    restorer.Restore();
    if (result == kDriverOk)
        StoreFoundDensities(settings, found);
    return result;
}

int CScannerDriver::AnalyzePreviewLevels(const uint8_t* data, uint32_t stride, uint32_t width, uint32_t height,
                                         uint32_t x, uint32_t y, uint32_t pixels, uint32_t lines, int32_t exponent,
                                         uint32_t scanMode, int32_t imageType, CLevelDensities& densities)
{
    const CScanSettings* s = g_pScanSettings;
    uint32_t presetMin = s != nullptr ? (uint32_t)s->GetParam(kParamMinDensity) : GetMinDensity(0);
    uint32_t presetMax = s != nullptr ? (uint32_t)s->GetParam(kParamMaxDensity) : GetMaxDensity(0);
    densities.m_nMinimum = presetMin;
    densities.m_nMaximum = presetMax;
    for (int c = 0; c < 3; ++c) {
        densities.m_nChannelMin[c] = presetMin;
        densities.m_nChannelMax[c] = presetMax;
    }

    int channels = 0;
    int32_t* histogram = nullptr;
    if (ComputeHistogram(channels, histogram, data, stride, width, height, x, y, pixels, lines, scanMode,
                         imageType) != kDriverOk)
        return 0;
    if (imageType < kImageRgb)
        channels = 1;

    // 64-bit: a clip value times a large preview's pixel count does not fit in 32 bits.
    uint64_t area = (uint64_t)lines * pixels;
    uint64_t hiCount = s != nullptr ? (uint64_t)(uint32_t)s->GetParam(kParamClipHigh) * area / 100000 : 0;
    uint64_t loCount = s != nullptr ? (uint64_t)(uint32_t)s->GetParam(kParamClipLow) * area / 100000 : 0;

    uint32_t bright[3] = {};
    uint32_t dark[3] = {};
    uint32_t overallBright = 0;
    uint32_t overallDark = 255;
    for (int c = 0; c < channels; ++c) {
        FindLevels(histogram + c * kHistogramLevels, hiCount, loCount, bright[c], dark[c]);
        overallBright = std::max(overallBright, bright[c]);
        overallDark = std::min(overallDark, dark[c]);
    }

    int32_t low = (int32_t)GetMinDensity(0);
    int32_t high = (int32_t)GetMaxDensity(0);
    auto density = [&](uint32_t level) { return (uint32_t)LevelToDensity((int32_t)level, low, high, exponent); };
    densities.m_nMinimum = density(overallBright);
    densities.m_nMaximum = density(overallDark);
    for (int c = 0; c < 3; ++c) {
        densities.m_nChannelMin[c] = channels == 3 ? density(bright[c]) : densities.m_nMinimum;
        densities.m_nChannelMax[c] = channels == 3 ? density(dark[c]) : densities.m_nMaximum;
    }

    uint32_t ceiling = GetMinDensityCeiling(1);
    uint32_t top = GetMaxDensity(0);
    LimitPair(densities.m_nMinimum, densities.m_nMaximum, ceiling, top);
    for (int c = 0; c < 3; ++c)
        LimitPair(densities.m_nChannelMin[c], densities.m_nChannelMax[c], ceiling, top);
    return 0;
}

// The one histogram block of the driver, locked. A block that lost its pointer is locked again
// rather than replaced, so that no block is left behind.
bool CScannerDriver::LockHistogramBlock()
{
    if (m_hHistogram != nullptr && m_pHistogram == nullptr) {
        m_pHistogram = static_cast<int32_t*>(GlobalLock(m_hHistogram));
        if (m_pHistogram == nullptr) {
            GlobalFree(m_hHistogram);
            m_hHistogram = nullptr;
        }
    }
    if (m_hHistogram != nullptr)
        return true;
    CScopedBlock block(kHistogramBytes, GMEM_MOVEABLE | GMEM_ZEROINIT);
    if (block.Data() == nullptr)
        return false;
    m_pHistogram = static_cast<int32_t*>(block.Data());
    m_hHistogram = block.Release();
    return true;
}

uint16_t CScannerDriver::ComputeHistogram(int& channels, int32_t*& histogram, const uint8_t* data, uint32_t stride,
                                          uint32_t width, uint32_t height, uint32_t x, uint32_t y, uint32_t pixels,
                                          uint32_t lines, uint32_t scanMode, int32_t imageType)
{
    if (scanMode != kScanModeGrey && scanMode != kScanModeRgb) {
        channels = scanMode == 4 ? 3 : 1;
        return kDriverFailed;
    }
    channels = scanMode == kScanModeRgb ? 3 : 1;

    if (!LockHistogramBlock())
        return kDriverFailed;
    memset(m_pHistogram, 0, kHistogramBytes);
    histogram = m_pHistogram;

    // The area is kept inside the image so that a selection reaching past it reads nothing beyond.
    pixels = x < width ? std::min(pixels, width - x) : 0;
    lines = y < height ? std::min(lines, height - y) : 0;
    uint32_t pixelBytes = (uint32_t)channels;
    bool weightedGrey = scanMode == kScanModeRgb && imageType <= kImageGrey;
    for (uint32_t line = y; line < y + lines; ++line) {
        const uint8_t* p = data + (size_t)line * stride + (size_t)x * pixelBytes;
        for (uint32_t i = 0; i < pixels; ++i, p += pixelBytes) {
            if (weightedGrey) {
                ++histogram[(77 * p[2] + 151 * p[1] + 28 * p[0]) >> 8];
                continue;
            }
            for (int c = 0; c < channels; ++c)
                ++histogram[c * kHistogramLevels + p[c]];
        }
    }
    if (weightedGrey)
        channels = 1;

    if (g_pScanSettings != nullptr)
        ApplyGainsAndScale(histogram, *g_pScanSettings, imageType, scanMode);
    return kDriverOk;
}

uint32_t CScannerDriver::FilterSpikes(uint8_t* data, uint32_t lines, CScanSettings* settings,
                                      uint32_t opticalResolution)
{
    if (g_pScanSettings == nullptr || settings == nullptr || g_pScanSettings->GetParam(kParamScreenRuling) != 0)
        return lines;
    if (ClampResolutionX((uint32_t)settings->GetParam(kParamResolution)) != opticalResolution ||
        settings->GetParam(kParamQuality) != kQualityMode)
        return lines;
    uint32_t mode = settings->GetScanMode();
    if (mode != kScanModeGrey && mode != kScanModeRgb)
        return lines;
    uint32_t samples = mode == kScanModeRgb ? 3 : 1;
    uint32_t pixels = settings->GetPixelsPerLine();
    uint32_t stride = settings->GetBytesPerLine();
    if (settings->GetBitsPerChannel() > 8) {
        for (uint32_t line = 0; line < lines; ++line)
            SmoothSpikes16(data + (size_t)line * stride, pixels, samples);
        return lines;
    }
    if (mode == kScanModeRgb && (m_nCapabilityFlags & kCapColourOnePass) == 0)
        stride *= 3;
    for (uint32_t line = 0; line < lines; ++line)
        SmoothSpikes8(data + (size_t)line * stride, pixels, samples);
    return lines;
}
