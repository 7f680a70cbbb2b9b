// The tone lookup table the devices apply: computed once here from the settings, packed by each
// family's CLutBuffer.

#include "core/driver/LutBuffer.h"
#include "core/driver/ScannerDriver.h"
#include "core/driver/ToneCurveSet.h"

#include "core/cms/CmsRecords.h"
#include "core/messages/MessageReporter.h"
#include "core/settings/ScanSettings.h"
#include "core/util/GlobalBlock.h"
#include "core/util/Numeric.h"
#include "framework/App.h"

#include <algorithm>
#include <cmath>
#include <new>

ToneCurveLoader g_pfnLoadToneCurves = nullptr;

namespace {

constexpr int kMsgNoMemory = 3317;
constexpr int kMsgToneCurvesUnavailable = 3331;
constexpr int32_t kToneCurveFile = 0xFF07;
constexpr int32_t kToneInvert = 0xFF01;
constexpr int32_t kToneThreshold = 0xFF0B;
constexpr int32_t kToneThresholdInverse = 0xFF0E;
constexpr int32_t kOriginalNegative = 2;

double Clamp01(double x)
{
    // NaN (a power of a negative base) counts as black rather than reaching the integer cast.
    if (!(x > 0))
        return 0;
    return x >= 1 ? 1 : x;
}

int32_t DotArea(int32_t density) { return (int32_t)DensityToDotArea((uint32_t)std::max(density, 0)); }

// The steps of one table, fixed before the entries are computed.
struct CLutPlan {
    int channel = 0;                // 0 after the original's rule: only negatives keep 1-3
    bool invert = false;
    bool threshold = false;
    int32_t thresholdPercent = 0;
    bool gainStep = false;
    double gain = 1;
    bool scaleStep = false;
    double scale = 1;
    bool rangeStep = false;
    double slope = 1;
    double offset = 0;
    bool greyNegative = false;
    bool filmStep = false;
    double filmExponent = 1;
    double filmC = 0;
    bool gammaStep = false;
    double gamma = 1;
    bool outputStep = false;
    double outA = 1;
    double outB = 0;
};

// The user's edited curves (INI General/ToneCurve) when the tone code asks for them: the first
// curve, and for the colour channels of an RGB image with four curves a common second curve.
struct CToneCurves {
    CToneCurveSet* set = nullptr;
    int first = 0;
    int second = -1;

    CToneCurves() = default;
    ~CToneCurves() { delete set; }
    CToneCurves(const CToneCurves&) = delete;
    CToneCurves& operator=(const CToneCurves&) = delete;
    double Apply(double v) const
    {
        float y = set->Evaluate(first, (float)(255.0 * v));
        if (second >= 0)
            y = set->Evaluate(second, y);
        return y / 255.0;
    }
};

// The curve file the settings ask for, or an empty text when they ask for none.
CString ToneCurvePath(int32_t tone)
{
    if (tone != kToneCurveFile || AfxGetApp() == nullptr)
        return CString();
    return AfxGetApp()->GetProfileString("General", "ToneCurve", "");
}

void LoadToneCurves(CToneCurves& curves, int32_t tone, int32_t type, int channel, uint32_t max, uint32_t n)
{
    CString path = ToneCurvePath(tone);
    if (path.IsEmpty() || g_pfnLoadToneCurves == nullptr)
        return;
    curves.set = g_pfnLoadToneCurves(path);
    if (curves.set == nullptr)
        return;
    if (type == kImageRgb && curves.set->GetMode() == 1 && channel >= 1 && channel <= 3) {
        curves.first = channel - 1;
        curves.second = 3;
    }
    curves.set->Fit(curves.first, max, n);
    if (curves.second >= 0)
        curves.set->Fit(curves.second, max, n);
}

// Entry i of a table of n that the negative's inversion curve (x rising, y its output) gives: the
// curve is searched for f = i x 255 / (n - 1) and interpolated with its neighbour.
uint16_t InvertedEntry(const float* x, const float* y, uint32_t i, uint32_t n, uint32_t max)
{
    double f = (double)i * 255.0 / (double)(n - 1);
    int j = 128;
    for (int step = 64;; step /= 2) {
        if (x[j] == f)
            break;
        int next = x[j] < f ? j + step : j - step;
        next = std::clamp(next, 0, 255);
        if (next == j || step == 0)
            break;
        j = next;
    }
    if (x[j] == f)
        return (uint16_t)(max * y[j] / 255.0);
    int k = j == 255 ? 254 : j == 0 ? 1 : x[j] < f ? j + 1 : j - 1;
    if (x[k] == x[j])
        return (uint16_t)(max * y[j] / 255.0);
    double value = y[j] + (y[k] - y[j]) / (x[k] - x[j]) * (f - x[j]);
    return (uint16_t)std::clamp(max * value / 255.0, 0.0, (double)max);
}

}  // namespace

int CScannerDriver::BuildScannerLut(uint16_t* table, uint32_t n, uint32_t max, int channel, uint32_t scale)
{
    if (table == nullptr || n == 0 || g_pScanSettings == nullptr)
        return 0;
    const CScanSettings& settings = *g_pScanSettings;
    int32_t type = settings.GetParam(kParamImageType);
    int32_t original = settings.GetParam(kParamOriginal);
    uint32_t mode = settings.GetScanMode();

    int32_t ceiling = DotArea((int32_t)GetMinDensityCeiling(0));
    int32_t floor = DotArea((int32_t)GetMaxDensityFloor(0));
    int32_t deviceMin = DotArea((int32_t)GetMinDensity(0));
    int32_t deviceMax = DotArea((int32_t)GetMaxDensity(0));
    int32_t lo, hi, gainPercent = 100;
    if (channel >= 1 && channel <= 3) {
        // Channels count from 1 for red.
        lo = DotArea(settings.GetParam((uint16_t)(kParamMinDensityRed + channel - 1)));
        hi = DotArea(settings.GetParam((uint16_t)(kParamMaxDensityRed + channel - 1)));
        gainPercent = settings.GetParam((uint16_t)(kParamGainRed + channel - 1));
    } else {
        channel = 0;
        lo = DotArea(settings.GetParam(kParamMinDensity));
        hi = DotArea(settings.GetParam(kParamMaxDensity));
    }
    ceiling = std::min(ceiling, lo);
    floor = std::max(floor, hi);

    CLutPlan plan;
    // A collapsed chosen range or device range would divide by zero: the range then spans at least
    // one unit of the dot-area scale.
    double chosenSpan = hi > lo ? (double)(hi - lo) : 1.0;
    double deviceSpan = deviceMax > deviceMin ? (double)(deviceMax - deviceMin) : 1.0;
    double k = deviceSpan / chosenSpan;
    plan.filmC = -(1.0 - (double)(hi - deviceMin) / deviceSpan) * k;
    int32_t span = floor > ceiling ? floor - ceiling : 0;
    int32_t L = span != 0 ? (lo - ceiling) * 10000 / span : 0;
    int32_t H = span != 0 ? 10000 - (floor - hi) * 10000 / span : 10000;

    if (original == kOriginalNegative) {
        gainPercent = 100;
        plan.channel = channel;
    }
    int32_t tone = settings.GetParam(kParamToneCode);
    plan.invert = tone == kToneInvert;
    if (tone == kToneThreshold || tone == kToneThresholdInverse) {
        int32_t percent = settings.GetParam(kParamThreshold);
        plan.threshold = mode == 0;
        plan.thresholdPercent = tone == kToneThreshold ? percent : 100 - percent;
    }
    float gamma = settings.GammaForPreset();
    float previewGamma =
        GetGammaOverride() == 1.0 && original != kOriginalNegative ? settings.PreviewGamma() : 1.0f;
    int32_t outLow = type == kImageGrey ? settings.GetParam(kParamToneLow) : 0;
    int32_t outHigh = type == kImageGrey ? settings.GetParam(kParamToneHigh) : 100;

    if (gainPercent != 100) {
        plan.gainStep = true;
        plan.gain = (float)gainPercent / 100.0f;
    }
    if (scale != 1000) {
        plan.scaleStep = true;
        plan.scale = (float)scale / 1000.0f;
    }
    if (H != 10000 || L != 0) {
        plan.rangeStep = true;
        float d = (1.0f - (float)L / 10000.0f) - (1.0f - (float)H / 10000.0f);
        if (d == 0)
            d = 1e-7f;
        plan.slope = 1.0f / d;
        plan.offset = -(1.0f - (float)H / 10000.0f) * (float)plan.slope;
    }
    if (gamma != 0 && 1.0f / gamma != 1.0f) {
        plan.gammaStep = true;
        plan.gamma = gamma;
    }
    if (previewGamma != 1.0f && previewGamma != 0) {
        plan.filmStep = true;
        plan.filmExponent = 1.0f / previewGamma;
    }
    if (outLow != 0 || outHigh != 100) {
        plan.outputStep = true;
        plan.outA = (float)(outHigh - outLow) / 100.0f;
        plan.outB = (float)(100 - outHigh) / 100.0f;
    }
    plan.greyNegative = type == kImageGrey && original == kOriginalNegative;

    CToneCurves curves;
    LoadToneCurves(curves, tone, type, plan.channel, max, n);

    uint16_t* inverse = nullptr;
    bool invertedInput = false;
    if (plan.channel >= 1 && m_pCorrectionBlock != nullptr) {
        invertedInput = true;
        inverse = new (std::nothrow) uint16_t[n];
        if (inverse != nullptr) {
            const float* x = m_pCorrectionBlock->curveIn[plan.channel - 1];
            const float* y = m_pCorrectionBlock->curveOut[plan.channel - 1];
            for (uint32_t i = 0; i < n; ++i)
                inverse[i] = n > 1 ? InvertedEntry(x, y, i, n, max) : (uint16_t)max;
        }
    }

    // The film curve's gain factor: a gain of 0 leaves nothing to shape.
    double filmGain = plan.gain > 0 ? std::pow(1.0 / plan.gain, plan.filmExponent - 1.0) : 1.0;
    double filmBase = std::pow(-plan.filmC, plan.filmExponent);
    double filmDivisor = std::pow(1.0 - plan.filmC, plan.filmExponent) - filmBase;
    if (filmDivisor == 0 || !std::isfinite(filmDivisor))
        filmDivisor = 1;
    uint32_t thresholdEntry = (uint16_t)((uint64_t)n * (uint32_t)std::max(plan.thresholdPercent, 0) / 100);
    int rising = IsLutRising(mode);
    for (uint32_t i = 0; i < n; ++i) {
        double v;
        if (invertedInput)
            // Without memory for the curve, the plain inversion that a default block holds.
            v = inverse != nullptr ? (double)inverse[i] / max : 1.0 - (n > 1 ? (double)i / (n - 1) : 0);
        else
            v = n > 1 ? (double)i / (double)(n - 1) : 0;
        if (plan.threshold && plan.channel == 0) {
            v = i >= thresholdEntry ? 1 : 0;
        } else {
            if (plan.gainStep)
                v = Clamp01(plan.gain * v);
            if (plan.scaleStep)
                v = Clamp01(plan.scale * v);
            if (plan.rangeStep && plan.channel == 0)
                v = Clamp01(plan.slope * v + plan.offset);
            if (plan.greyNegative)
                v = 1 - v;
            if (plan.filmStep)
                v = Clamp01((filmGain * std::pow(v - plan.filmC, plan.filmExponent) - filmBase) / filmDivisor);
            if (plan.gammaStep)
                v = Clamp01(std::pow(v, 1.0 / plan.gamma));
            if (curves.set != nullptr)
                v = curves.Apply(v);
            if (plan.outputStep)
                v = Clamp01(plan.outA * v + plan.outB);
        }
        uint32_t e = (uint32_t)std::floor(max * Clamp01(v) + 0.1);
        if (e > max)
            e = max;
        if (plan.invert)
            e = max - e;
        table[rising ? i : n - 1 - i] = (uint16_t)e;
    }
    delete[] inverse;
    return plan.rangeStep || plan.filmStep || plan.gammaStep || plan.outputStep ? 1 : 0;
}

uint16_t CScannerDriver::DownloadLut(CLutBuffer* block, int channel)
{
    if (block == nullptr) {
        ReportMessage(kMsgNoMemory);
        return kDriverAborted;
    }
    // Without a curve loader the user's curve would silently give way to the plain table.
    bool curvesWanted = g_pScanSettings != nullptr &&
                        !ToneCurvePath(g_pScanSettings->GetParam(kParamToneCode)).IsEmpty();
    if (curvesWanted && g_pfnLoadToneCurves == nullptr) {
        ReportMessage(kMsgToneCurvesUnavailable);
        return kDriverAborted;
    }
    uint32_t n = block->GetEntryCount();
    CGlobalBlock memory(std::max<uint32_t>(n, 1) * 2, 0);
    uint16_t* table = static_cast<uint16_t*>(memory.m_pData);
    if (table == nullptr) {
        memory.Free();
        ReportMessage(kMsgNoMemory);
        return kDriverAborted;
    }
    BuildScannerLut(table, n, block->GetMaxValue(), channel, 1000);
    block->LoadTable(table, n);
    memory.Free();
    return kDriverOk;
}
