#include "engine/Steps.h"

#include <lcms2.h>

#include <cmath>
#include <vector>

#include "core/cms/CmsRecords.h"
#include "engine/EngineError.h"

namespace {

// A longer screen period would hold hundreds of lines back and blur away the image itself.
constexpr double kLongestPeriod = 256.0;
constexpr int kLargestKernel = 31;
constexpr int kCurveKindPoints = 3;

bool IsPositive(float value) { return std::isfinite(value) && value > 0.0f; }

bool IsShare(float value) { return value >= 0.0f && value <= 1.0f; }

// Lines and pixels after resampling n from one resolution to another: the first and the last
// pixel centres stay in place.
bool ResampledCount(int n, float from, float to, int& count)
{
    double last = std::floor(static_cast<double>(n - 1) * to / from);
    if (!(last < kMostLinePixels))
        return false;
    count = static_cast<int>(last) + 1;
    return true;
}

int AddResampleStage(const char* step, const CLineShape& in, float fromX, float fromY, float toX, float toY,
    ResampleKernel kernel, StageList& stages, CEngineError& error)
{
    int width, height;
    if (!ResampledCount(in.width, fromX, toX, width) || !ResampledCount(in.height, fromY, toY, height))
        return error.Fail(kCmsErrArgument, "%s: %d x %d pixels from %g x %g to %g x %g per inch is too large", step,
            in.width, in.height, fromX, fromY, toX, toY);
    stages.push_back(MakeResampleStage(
        in, width, height, static_cast<double>(fromX) / toX, static_cast<double>(fromY) / toY, kernel));
    return 0;
}

class CGreyStep final : public CStep {
public:
    explicit CGreyStep(const float weights[3]) : m_fWeights {weights[0], weights[1], weights[2]} { }

    int AddStages(const CLineShape& in, StageList& stages, CEngineError& error) const override
    {
        if (in.samples != 3)
            return error.Fail(kCmsErrCannotCombine, "grey step: takes RGB pixels, not %d samples", in.samples);
        stages.push_back(MakeMixStage(in, m_fWeights));
        return 0;
    }

private:
    float m_fWeights[3];
};

class CLineArtStep final : public CStep {
public:
    CLineArtStep(float from, float to, float threshold) : m_fFrom(from), m_fTo(to), m_fThreshold(threshold) { }

    int AddStages(const CLineShape& in, StageList& stages, CEngineError& error) const override
    {
        if (in.samples != 1)
            return error.Fail(kCmsErrCannotCombine, "line-art step: takes grey pixels, not %d samples", in.samples);
        if (AddResampleStage(
                "line-art step", in, m_fFrom, m_fFrom, m_fTo, m_fTo, ResampleKernel::Linear, stages, error) != 0)
            return 1;
        stages.push_back(MakeThresholdStage(stages.back()->Output(), 256.0f * m_fThreshold));
        return 0;
    }

private:
    float m_fFrom;
    float m_fTo;
    float m_fThreshold;
};

class CDescreenStep final : public CStep {
public:
    explicit CDescreenStep(double period) : m_dPeriod(period) { }

    int AddStages(const CLineShape& in, StageList& stages, CEngineError&) const override
    {
        // A box no wider than a pixel leaves every pixel as it is.
        if (m_dPeriod > 1.0)
            stages.push_back(MakeBoxStage(in, m_dPeriod));
        return 0;
    }

private:
    double m_dPeriod;  // pixels; 0 without a screen
};

class CResampleStep final : public CStep {
public:
    CResampleStep(ResampleKernel kernel, const float resolutions[4])
        : m_kernel(kernel), m_fResolutions {resolutions[0], resolutions[1], resolutions[2], resolutions[3]}
    {
    }

    int AddStages(const CLineShape& in, StageList& stages, CEngineError& error) const override
    {
        return AddResampleStage("resampling step", in, m_fResolutions[0], m_fResolutions[1], m_fResolutions[2],
            m_fResolutions[3], m_kernel, stages, error);
    }

private:
    ResampleKernel m_kernel;
    float m_fResolutions[4];  // from x, from y, to x, to y
};

class CSharpenStep final : public CStep {
public:
    CSharpenStep(int kernel, const CSharpenShape& sharpen) : m_nKernel(kernel), m_sharpen(sharpen) { }

    int AddStages(const CLineShape& in, StageList& stages, CEngineError&) const override
    {
        stages.push_back(MakeSharpenStage(in, m_nKernel, m_sharpen));
        return 0;
    }

private:
    int m_nKernel;
    CSharpenShape m_sharpen;
};

// The weights as the one matrix stage of a Little CMS pipeline. The pipeline is linear, so its
// values at the three unit pixels are the whole transform; those are what the stage keeps.
int GreyCoefficients(const float weights[3], float coefficients[3], CEngineError& error)
{
    const cmsFloat64Number matrix[3] = {weights[0] / 256.0, weights[1] / 256.0, weights[2] / 256.0};
    cmsPipeline* pipeline = cmsPipelineAlloc(nullptr, 3, 1);
    cmsStage* stage = pipeline != nullptr ? cmsStageAllocMatrix(nullptr, 1, 3, matrix, nullptr) : nullptr;
    if (stage == nullptr || !cmsPipelineInsertStage(pipeline, cmsAT_END, stage)) {
        if (stage != nullptr)
            cmsStageFree(stage);
        if (pipeline != nullptr)
            cmsPipelineFree(pipeline);
        return error.Fail(kCmsErrNoMemory, "CreateGreyStep");
    }
    for (int c = 0; c < 3; ++c) {
        cmsFloat32Number unit[3] = {0.0f, 0.0f, 0.0f};
        unit[c] = 1.0f;
        cmsPipelineEvalFloat(unit, &coefficients[c], pipeline);
    }
    cmsPipelineFree(pipeline);
    return 0;
}

// The polyline through the points, level on 0..1 to share; flat beyond the first and last point.
double PointCurveAt(const float* points, int count, double x)
{
    if (x <= points[0])
        return points[1];
    for (int i = 1; i < count; ++i) {
        double x0 = points[2 * i - 2], x1 = points[2 * i];
        if (x <= x1)
            return x1 == x0 ? points[2 * i + 1]
                            : points[2 * i - 1] + (points[2 * i + 1] - points[2 * i - 1]) * (x - x0) / (x1 - x0);
    }
    return points[2 * count - 1];
}

// The share of sharpening at each table step, from the points as a Little CMS tone curve; without
// points the full share at every level.
int ShareTable(int count, const float* points, std::vector<float>& share, CEngineError& error)
{
    constexpr int kSteps = CSharpenShape::kShareSteps;
    share.assign(kSteps + 1, 1.0f);
    if (count == 0)
        return 0;
    for (int n = 0; n <= kSteps; ++n)
        share[n] = static_cast<float>(PointCurveAt(points, count, static_cast<double>(n) / kSteps));
    cmsToneCurve* curve = cmsBuildTabulatedToneCurveFloat(nullptr, kSteps + 1, share.data());
    if (curve == nullptr)
        return error.Fail(kCmsErrNoMemory, "CreateSharpenStep");
    for (int n = 0; n <= kSteps; ++n)
        share[n] = cmsEvalToneCurveFloat(curve, static_cast<float>(n) / kSteps);
    cmsFreeToneCurve(curve);
    return 0;
}

int CheckPoints(int count, const float* points, CEngineError& error)
{
    if (count < 0 || (count > 0 && points == nullptr))
        return error.Fail(kCmsErrArgument, "CreateSharpenStep: %d points", count);
    for (int i = 0; i < count; ++i) {
        float x = points[2 * i], y = points[2 * i + 1];
        if (!IsShare(x) || !IsShare(y) || (i > 0 && x < points[2 * i - 2]))
            return error.Fail(kCmsErrArgument, "CreateSharpenStep: point %d (%g, %g)", i, x, y);
    }
    return 0;
}

}  // namespace

int MakeGreyStep(float red, float green, float blue, StepPointer& step, CEngineError& error)
{
    const float weights[3] = {red, green, blue};
    for (float weight : weights)
        if (!std::isfinite(weight) || weight < 0.0f)
            return error.Fail(kCmsErrArgument, "CreateGreyStep: weight %g", weight);
    float coefficients[3];
    if (GreyCoefficients(weights, coefficients, error) != 0)
        return 1;
    step = std::make_shared<CGreyStep>(coefficients);
    return 0;
}

int MakeLineArtStep(float from, float to, float threshold, StepPointer& step, CEngineError& error)
{
    if (!IsPositive(from) || !IsPositive(to))
        return error.Fail(kCmsErrArgument, "CreateStep8: resolution %g to %g", from, to);
    if (!IsShare(threshold))
        return error.Fail(kCmsErrArgument, "CreateStep8: threshold %g", threshold);
    step = std::make_shared<CLineArtStep>(from, to, threshold);
    return 0;
}

int MakeDescreenStep(float resolution, float ruling, float wanted, StepPointer& step, CEngineError& error)
{
    if (!IsPositive(resolution) || !IsPositive(wanted))
        return error.Fail(kCmsErrArgument, "CreateStep4: resolution %g to %g", resolution, wanted);
    if (!(ruling >= 0.0f && std::isfinite(ruling)))
        return error.Fail(kCmsErrArgument, "CreateStep4: screen ruling %g", ruling);
    double period = ruling > 0.0f ? static_cast<double>(resolution) / ruling : 0.0;
    if (period > kLongestPeriod)
        return error.Fail(
            kCmsErrArgument, "CreateStep4: a screen of %g lines at %g pixels per inch", ruling, resolution);
    step = std::make_shared<CDescreenStep>(period);
    return 0;
}

int MakeResampleStep(int mode, float fromX, float fromY, float toX, float toY, StepPointer& step, CEngineError& error)
{
    if (mode != 1 && mode != 2)
        return error.Fail(kCmsErrArgument, "CreateStep6: mode %d", mode);
    const float resolutions[4] = {fromX, fromY, toX, toY};
    for (float resolution : resolutions)
        if (!IsPositive(resolution))
            return error.Fail(kCmsErrArgument, "CreateStep6: resolution %g", resolution);
    step = std::make_shared<CResampleStep>(mode == 1 ? ResampleKernel::Linear : ResampleKernel::Cubic, resolutions);
    return 0;
}

int MakeSharpenStep(int kernel, float amount, int curveKind, int pointCount, const float* points, float low, float high,
    StepPointer& step, CEngineError& error)
{
    if (kernel < 3 || kernel > kLargestKernel)
        return error.Fail(kCmsErrArgument, "CreateSharpenStep: kernel %d", kernel);
    if (!(amount >= 0.0f && std::isfinite(amount)))
        return error.Fail(kCmsErrArgument, "CreateSharpenStep: amount %g", amount);
    if (curveKind != kCurveKindPoints)
        return error.Fail(kCmsErrArgument, "CreateSharpenStep: curve kind %d", curveKind);
    if (!IsShare(low) || !IsShare(high) || low > high)
        return error.Fail(kCmsErrArgument, "CreateSharpenStep: differences %g to %g", low, high);
    if (CheckPoints(pointCount, points, error) != 0)
        return 1;
    auto share = std::make_shared<std::vector<float>>();
    if (ShareTable(pointCount, points, *share, error) != 0)
        return 1;
    CSharpenShape sharpen {amount, low, high, share};
    // A blur of an even width would shift the image by half a pixel.
    step = std::make_shared<CSharpenStep>(kernel | 1, sharpen);
    return 0;
}
