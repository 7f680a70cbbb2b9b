// The tone lookup table the devices apply: computed once here from the settings, packed by each
// family's CLutBuffer.

#include "core/driver/LutBuffer.h"
#include "core/driver/ScannerDriver.h"
#include "core/driver/ToneCurveSet.h"
#include "core/scan/ShellServices.h"

#include "core/cms/CmsRecords.h"
#include "core/messages/MessageReporter.h"
#include "core/settings/ScanSettings.h"
#include "core/util/GlobalBlock.h"
#include "core/util/Numeric.h"
#include "framework/App.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>

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

// One table: its entries and the steps that shape each of them, fixed before any entry is computed.
struct CLutPlan {
    uint32_t count = 0;
    uint32_t max = 0;
    bool rising = true;
    int channel = 0;  // 0 after the original's rule: only negatives keep 1-3
    bool invert = false;
    bool threshold = false;
    int32_t thresholdPercent = 0;
    uint32_t thresholdEntry = 0;
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
    double filmGain = 1;
    double filmBase = 0;
    double filmDivisor = 1;
    bool gammaStep = false;
    double gamma = 1;
    bool outputStep = false;
    double outA = 1;
    double outB = 0;
};

// The device's density limits, as dot areas.
struct CDeviceRange {
    int32_t ceiling;
    int32_t floor;
    int32_t minimum;
    int32_t maximum;
};

// The densities and gain the settings choose for one table, as dot areas and per cent.
struct CChosenRange {
    int channel;
    int32_t lo;
    int32_t hi;
    int32_t gainPercent;
};

CChosenRange ChosenRange(const CScanSettings& settings, int channel)
{
    if (channel < 1 || channel > 3)
        return {0, DotArea(settings.GetParam(kParamMinDensity)), DotArea(settings.GetParam(kParamMaxDensity)), 100};
    // Channels count from 1 for red.
    uint16_t offset = (uint16_t)(channel - 1);
    return {channel, DotArea(settings.GetParam((uint16_t)(kParamMinDensityRed + offset))),
        DotArea(settings.GetParam((uint16_t)(kParamMaxDensityRed + offset))),
        settings.GetParam((uint16_t)(kParamGainRed + offset))};
}

// The chosen range stretched over the device's: the film curve's offset and the range step.
void PlanRange(CLutPlan& plan, const CDeviceRange& device, const CChosenRange& chosen)
{
    int32_t ceiling = std::min(device.ceiling, chosen.lo);
    int32_t floor = std::max(device.floor, chosen.hi);
    // A collapsed chosen range or device range would divide by zero: the range then spans at least
    // one unit of the dot-area scale.
    double chosenSpan = chosen.hi > chosen.lo ? (double)(chosen.hi - chosen.lo) : 1.0;
    double deviceSpan = device.maximum > device.minimum ? (double)(device.maximum - device.minimum) : 1.0;
    double k = deviceSpan / chosenSpan;
    plan.filmC = -(1.0 - (double)(chosen.hi - device.minimum) / deviceSpan) * k;
    int32_t span = floor > ceiling ? floor - ceiling : 0;
    int32_t L = span != 0 ? (chosen.lo - ceiling) * 10000 / span : 0;
    int32_t H = span != 0 ? 10000 - (floor - chosen.hi) * 10000 / span : 10000;
    if (H == 10000 && L == 0)
        return;
    plan.rangeStep = true;
    float d = (1.0f - (float)L / 10000.0f) - (1.0f - (float)H / 10000.0f);
    if (d == 0)
        d = 1e-7f;
    plan.slope = 1.0f / d;
    plan.offset = -(1.0f - (float)H / 10000.0f) * (float)plan.slope;
}

void PlanTone(CLutPlan& plan, const CScanSettings& settings, uint32_t mode)
{
    int32_t tone = settings.GetParam(kParamToneCode);
    plan.invert = tone == kToneInvert;
    if (tone == kToneThreshold || tone == kToneThresholdInverse) {
        int32_t percent = settings.GetParam(kParamThreshold);
        plan.threshold = mode == 0;
        plan.thresholdPercent = tone == kToneThreshold ? percent : 100 - percent;
    }
    plan.thresholdEntry = (uint16_t)((uint64_t)plan.count * (uint32_t)std::max(plan.thresholdPercent, 0) / 100);
}

void PlanGain(CLutPlan& plan, int32_t gainPercent, uint32_t scale)
{
    if (gainPercent != 100) {
        plan.gainStep = true;
        plan.gain = (float)gainPercent / 100.0f;
    }
    if (scale != 1000) {
        plan.scaleStep = true;
        plan.scale = (float)scale / 1000.0f;
    }
}

void PlanGamma(CLutPlan& plan, float gamma, float previewGamma)
{
    if (gamma != 0 && 1.0f / gamma != 1.0f) {
        plan.gammaStep = true;
        plan.gamma = gamma;
    }
    if (previewGamma != 1.0f && previewGamma != 0) {
        plan.filmStep = true;
        plan.filmExponent = 1.0f / previewGamma;
    }
}

// Grey images keep the output range of their preferences; the others use the whole range.
void PlanOutput(CLutPlan& plan, const CScanSettings& settings, int32_t type)
{
    int32_t outLow = type == kImageGrey ? settings.GetParam(kParamToneLow) : 0;
    int32_t outHigh = type == kImageGrey ? settings.GetParam(kParamToneHigh) : 100;
    if (outLow != 0 || outHigh != 100) {
        plan.outputStep = true;
        plan.outA = (float)(outHigh - outLow) / 100.0f;
        plan.outB = (float)(100 - outHigh) / 100.0f;
    }
}

void PlanFilmCurve(CLutPlan& plan)
{
    // A gain of 0 leaves nothing to shape.
    plan.filmGain = plan.gain > 0 ? std::pow(1.0 / plan.gain, plan.filmExponent - 1.0) : 1.0;
    plan.filmBase = std::pow(-plan.filmC, plan.filmExponent);
    plan.filmDivisor = std::pow(1.0 - plan.filmC, plan.filmExponent) - plan.filmBase;
    if (plan.filmDivisor == 0 || !std::isfinite(plan.filmDivisor))
        plan.filmDivisor = 1;
}

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
    if (path.IsEmpty() || !Shell().LoadsToneCurves())
        return;
    curves.set = Shell().LoadToneCurves(path);
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

// The value each entry starts from: its place in the table, or for a negative's colour channel the
// colour-correction block's inversion curve.
class CLutInput {
public:
    CLutInput(const CLutPlan& plan, const CmsCorrectionBlock* block)
        : m_nCount(plan.count), m_nMax(plan.max), m_bInverted(plan.channel >= 1 && block != nullptr)
    {
        if (!m_bInverted)
            return;
        m_pCurve.reset(new (std::nothrow) uint16_t[m_nCount]);
        if (m_pCurve == nullptr)
            return;
        const float* x = block->curveIn[plan.channel - 1];
        const float* y = block->curveOut[plan.channel - 1];
        for (uint32_t i = 0; i < m_nCount; ++i)
            m_pCurve[i] = m_nCount > 1 ? InvertedEntry(x, y, i, m_nCount, m_nMax) : (uint16_t)m_nMax;
    }

    double At(uint32_t i) const
    {
        uint32_t n = m_nCount;
        if (!m_bInverted)
            return n > 1 ? (double)i / (double)(n - 1) : 0;
        // Without memory for the curve, the plain inversion that a default block holds.
        return m_pCurve != nullptr ? (double)m_pCurve[i] / m_nMax : 1.0 - (n > 1 ? (double)i / (n - 1) : 0);
    }

private:
    uint32_t m_nCount;
    uint32_t m_nMax;
    bool m_bInverted;
    std::unique_ptr<uint16_t[]> m_pCurve;
};

// The planned steps applied to one entry's starting value, each clamped to 0..1.
double ShapeEntry(const CLutPlan& plan, const CToneCurves& curves, double v)
{
    if (plan.gainStep)
        v = Clamp01(plan.gain * v);
    if (plan.scaleStep)
        v = Clamp01(plan.scale * v);
    if (plan.rangeStep && plan.channel == 0)
        v = Clamp01(plan.slope * v + plan.offset);
    if (plan.greyNegative)
        v = 1 - v;
    if (plan.filmStep)
        v = Clamp01((plan.filmGain * std::pow(v - plan.filmC, plan.filmExponent) - plan.filmBase) / plan.filmDivisor);
    if (plan.gammaStep)
        v = Clamp01(std::pow(v, 1.0 / plan.gamma));
    if (curves.set != nullptr)
        v = curves.Apply(v);
    if (plan.outputStep)
        v = Clamp01(plan.outA * v + plan.outB);
    return v;
}

// The value of entry i of the table, before the table's direction is applied.
uint16_t EntryValue(const CLutPlan& plan, const CToneCurves& curves, const CLutInput& input, uint32_t i)
{
    double v;
    if (plan.threshold && plan.channel == 0)
        v = i >= plan.thresholdEntry ? 1 : 0;
    else
        v = ShapeEntry(plan, curves, input.At(i));
    uint32_t e = (uint32_t)std::floor(plan.max * Clamp01(v) + 0.1);
    if (e > plan.max)
        e = plan.max;
    if (plan.invert)
        e = plan.max - e;
    return (uint16_t)e;
}

// Everything one table is built from, fixed before its entries are computed.
CLutPlan PlanLut(
    CScannerDriver& driver, const CScanSettings& settings, uint32_t n, uint32_t max, int channel, uint32_t scale)
{
    int32_t type = settings.GetParam(kParamImageType);
    int32_t original = settings.GetParam(kParamOriginal);
    uint32_t mode = settings.GetScanMode();
    CLutPlan plan;
    plan.count = n;
    plan.max = max;
    plan.rising = driver.IsLutRising(mode) != 0;
    // Line art thresholded on the host is judged on the light itself, as the device's own line art
    // is at the resolutions it scans: no tone, range or gamma may move a dark patch past the
    // threshold first.
    if (type == kImageLineArt && mode != 0)
        return plan;
    const CDeviceRange device = {DotArea((int32_t)driver.GetMinDensityCeiling(0)),
        DotArea((int32_t)driver.GetMaxDensityFloor(0)), DotArea((int32_t)driver.GetMinDensity(0)),
        DotArea((int32_t)driver.GetMaxDensity(0))};
    const CChosenRange chosen = ChosenRange(settings, channel);
    PlanRange(plan, device, chosen);
    // A negative keeps its channel and its neutral gain: its colour comes from the correction.
    bool negative = original == kOriginalNegative;
    if (negative)
        plan.channel = chosen.channel;
    PlanTone(plan, settings, mode);
    float previewGamma = driver.GetGammaOverride() == 1.0 && !negative ? settings.PreviewGamma() : 1.0f;
    PlanGain(plan, negative ? 100 : chosen.gainPercent, scale);
    PlanGamma(plan, settings.GammaForPreset(), previewGamma);
    PlanOutput(plan, settings, type);
    plan.greyNegative = type == kImageGrey && negative;
    PlanFilmCurve(plan);
    return plan;
}

bool ShapesTheRange(const CLutPlan& plan)
{
    return plan.rangeStep || plan.filmStep || plan.gammaStep || plan.outputStep;
}

}  // namespace

int CScannerDriver::BuildScannerLut(uint16_t* table, uint32_t n, uint32_t max, int channel, uint32_t scale)
{
    if (table == nullptr || n == 0 || g_pScanSettings == nullptr)
        return 0;
    const CLutPlan plan = PlanLut(*this, *g_pScanSettings, n, max, channel, scale);
    CToneCurves curves;
    LoadToneCurves(curves, g_pScanSettings->GetParam(kParamToneCode), g_pScanSettings->GetParam(kParamImageType),
        plan.channel, max, n);
    const CLutInput input(plan, m_pCorrectionBlock);
    for (uint32_t i = 0; i < n; ++i)
        table[plan.rising ? i : n - 1 - i] = EntryValue(plan, curves, input, i);
    return ShapesTheRange(plan) ? 1 : 0;
}

uint16_t CScannerDriver::DownloadLut(CLutBuffer* block, int channel)
{
    if (block == nullptr) {
        ReportMessage(kMsgNoMemory);
        return kDriverAborted;
    }
    // Without a curve loader the user's curve would silently give way to the plain table.
    bool curvesWanted =
        g_pScanSettings != nullptr && !ToneCurvePath(g_pScanSettings->GetParam(kParamToneCode)).IsEmpty();
    if (curvesWanted && !Shell().LoadsToneCurves()) {
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
