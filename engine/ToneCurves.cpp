#include "engine/ToneCurves.h"

#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "engine/EngineError.h"
#include "engine/EngineHandle.h"
#include "engine/FileBytes.h"

namespace {

constexpr char kMagic[4] = {'T', 'C', 'R', 'V'};
constexpr uint16_t kVersion = 1;
constexpr size_t kHeaderSize = 40;
constexpr size_t kDescriptionOffset = 12;
constexpr int kDescriptionLength = 25;
constexpr int kMaxCurves = 5;
constexpr int kMinPoints = 2;
constexpr int kMaxPoints = 256;
// Entries of the tabulated curve over 0..255: fine enough that linear steps between entries stay
// far below a level.
constexpr int kTableEntries = 4096;

// The points of a ".tc" file: curve by curve, the x values, then the y values.
class CCurveSet final : public CEngineObject {
public:
    CCurveSet(int points, int curves, int flag)
        : m_nPoints(points), m_nCurves(curves), m_nFlag(flag), m_values(static_cast<size_t>(points) * curves * 2)
    {
    }

    float* Xs(int curve) { return m_values.data() + static_cast<size_t>(curve) * m_nPoints * 2; }
    float* Ys(int curve) { return Xs(curve) + m_nPoints; }
    void HandOut(float** xs, float** ys)
    {
        for (int c = 0; c < m_nCurves; ++c) {
            xs[c] = Xs(c);
            ys[c] = Ys(c);
        }
    }

    int m_nPoints;
    int m_nCurves;
    int m_nFlag;
    char m_szDescription[kDescriptionLength + 1] = {};
    std::vector<float> m_values;
};

class CFittedCurve final : public CEngineObject {
public:
    explicit CFittedCurve(cmsToneCurve* curve) : m_pCurve(curve) { }
    ~CFittedCurve() override { cmsFreeToneCurve(m_pCurve); }

    cmsToneCurve* m_pCurve;
};

float ClampLevel(float value) { return std::clamp(value, 0.0f, 255.0f); }

uint16_t LoadU16(const uint8_t* at) { return static_cast<uint16_t>(at[0] | at[1] << 8); }

void StoreU16(uint8_t* at, uint16_t value)
{
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

// Tangents of a monotone cubic through the points (Fritsch-Carlson): between monotone neighbours
// the curve neither overshoots nor turns back.
std::vector<double> MonotoneTangents(const std::vector<double>& x, const std::vector<double>& y)
{
    const size_t n = x.size();
    std::vector<double> secant(n - 1), tangent(n);
    for (size_t k = 0; k + 1 < n; ++k)
        secant[k] = (y[k + 1] - y[k]) / (x[k + 1] - x[k]);
    tangent[0] = secant[0];
    tangent[n - 1] = secant[n - 2];
    for (size_t k = 1; k + 1 < n; ++k)
        tangent[k] = secant[k - 1] * secant[k] <= 0 ? 0.0 : (secant[k - 1] + secant[k]) / 2;
    for (size_t k = 0; k + 1 < n; ++k) {
        if (secant[k] == 0) {
            tangent[k] = tangent[k + 1] = 0;
            continue;
        }
        double a = tangent[k] / secant[k], b = tangent[k + 1] / secant[k];
        if (a < 0)
            tangent[k] = a = 0;
        if (b < 0)
            tangent[k + 1] = b = 0;
        double length = a * a + b * b;
        if (length > 9) {
            double tau = 3 / std::sqrt(length);
            tangent[k] = tau * a * secant[k];
            tangent[k + 1] = tau * b * secant[k];
        }
    }
    return tangent;
}

// The cubic Hermite value at t; flat beyond the first and last point.
double Interpolate(const std::vector<double>& x, const std::vector<double>& y, const std::vector<double>& m, double t)
{
    if (t <= x.front())
        return y.front();
    if (t >= x.back())
        return y.back();
    size_t k = std::upper_bound(x.begin(), x.end(), t) - x.begin() - 1;
    double h = x[k + 1] - x[k], s = (t - x[k]) / h;
    double s2 = s * s, s3 = s2 * s;
    return (2 * s3 - 3 * s2 + 1) * y[k] + (s3 - 2 * s2 + s) * h * m[k] + (-2 * s3 + 3 * s2) * y[k + 1] +
        (s3 - s2) * h * m[k + 1];
}

// A file's curve ends at the first x that does not rise; what follows reads as zeros, as a shorter
// curve is written.
void EndAtFirstFall(float* xs, float* ys, int points)
{
    int n = 1;
    while (n < points && xs[n] > xs[n - 1])
        ++n;
    std::fill(xs + n, xs + points, 0.0f);
    std::fill(ys + n, ys + points, 0.0f);
}

CCurveSet* CurveSetOf(CmsHandle* set, const char* operation, CEngineError& error)
{
    auto* curves = HandleObject<CCurveSet>(set, EngineObjectKind::CurveSet);
    if (curves == nullptr)
        error.Fail(kCmsErrBadHandle, "%s: not a curve set", operation);
    return curves;
}

int ParseCurveFile(const std::vector<uint8_t>& bytes, const char* path, CCurveSet*& out, CEngineError& error)
{
    if (bytes.size() < kHeaderSize || std::memcmp(bytes.data(), kMagic, 4) != 0 || LoadU16(&bytes[4]) != kVersion)
        return error.Fail(kCmsErrCorrupt, "%s is not a curve file", path);
    int curves = LoadU16(&bytes[6]), points = LoadU16(&bytes[8]);
    if (curves < 1 || curves > kMaxCurves || points < kMinPoints || points > kMaxPoints ||
        bytes.size() != kHeaderSize + 8 * static_cast<size_t>(points) * curves)
        return error.Fail(kCmsErrCorrupt, "%s: counts and length disagree", path);
    auto* set = new CCurveSet(points, curves, LoadU16(&bytes[10]));
    std::memcpy(set->m_szDescription, &bytes[kDescriptionOffset], kDescriptionLength);
    std::memcpy(set->m_values.data(), &bytes[kHeaderSize], set->m_values.size() * sizeof(float));
    for (float& value : set->m_values) {
        if (std::isnan(value)) {
            delete set;
            return error.Fail(kCmsErrCorrupt, "%s: a value is not a number", path);
        }
        value = ClampLevel(value);
    }
    for (int c = 0; c < curves; ++c)
        EndAtFirstFall(set->Xs(c), set->Ys(c), points);
    out = set;
    return 0;
}

}  // namespace

int BeginCurveSetWrite(
    CmsHandle* set, int pointCount, int curveCount, int flag, float** xs, float** ys, CEngineError& error)
{
    if (set == nullptr || xs == nullptr || ys == nullptr)
        return error.Fail(kCmsErrArgument, "BeginCurveWrite: no handle or arrays");
    if (pointCount < kMinPoints || pointCount > kMaxPoints || curveCount < 1 || curveCount > kMaxCurves || flag < 0 ||
        flag > 0xFFFF)
        return error.Fail(
            kCmsErrArgument, "BeginCurveWrite: %d points, %d curves, flag %d", pointCount, curveCount, flag);
    try {
        auto* curves = new CCurveSet(pointCount, curveCount, flag);
        curves->HandOut(xs, ys);
        WriteHandle(set, EngineObjectKind::CurveSet, curves);
        return 0;
    } catch (const std::bad_alloc&) {
        return error.Fail(kCmsErrNoMemory, "BeginCurveWrite");
    }
}

int ReadCurveSetFile(CmsHandle* set, const char* path, int* pointCount, int* curveCount, int* flag, float** xs,
    float** ys, CEngineError& error)
{
    if (set == nullptr || path == nullptr || pointCount == nullptr || curveCount == nullptr || flag == nullptr ||
        xs == nullptr || ys == nullptr)
        return error.Fail(kCmsErrArgument, "ReadCurveFile: a null argument");
    std::vector<uint8_t> bytes;
    if (!ReadFileBytes(path, bytes))
        return error.Fail(kCmsErrNotFound, "%s", path);
    CCurveSet* curves = nullptr;
    try {
        if (ParseCurveFile(bytes, path, curves, error) != 0)
            return 1;
    } catch (const std::bad_alloc&) {
        return error.Fail(kCmsErrNoMemory, "ReadCurveFile: %s", path);
    }
    curves->HandOut(xs, ys);
    *pointCount = curves->m_nPoints;
    *curveCount = curves->m_nCurves;
    *flag = curves->m_nFlag;
    WriteHandle(set, EngineObjectKind::CurveSet, curves);
    return 0;
}

int SetCurveSetDescription(CmsHandle* set, const char* text, CEngineError& error)
{
    CCurveSet* curves = CurveSetOf(set, "SetCurveDescription", error);
    if (curves == nullptr)
        return 1;
    if (text == nullptr)
        return error.Fail(kCmsErrArgument, "SetCurveDescription: no text");
    std::memset(curves->m_szDescription, 0, sizeof curves->m_szDescription);
    std::strncpy(curves->m_szDescription, text, kDescriptionLength);
    return 0;
}

int GetCurveSetDescription(CmsHandle* set, char* text, int size, CEngineError& error)
{
    CCurveSet* curves = CurveSetOf(set, "GetCurveDescription", error);
    if (curves == nullptr)
        return 1;
    if (text == nullptr || size <= 0)
        return error.Fail(kCmsErrArgument, "GetCurveDescription: no room for the text");
    size_t length = std::min(std::strlen(curves->m_szDescription), static_cast<size_t>(size - 1));
    std::memcpy(text, curves->m_szDescription, length);
    text[length] = '\0';
    return 0;
}

int WriteCurveSetFile(CmsHandle* set, const char* path, CEngineError& error)
{
    CCurveSet* curves = CurveSetOf(set, "WriteCurveFile", error);
    if (curves == nullptr)
        return 1;
    if (path == nullptr)
        return error.Fail(kCmsErrArgument, "WriteCurveFile: no path");
    if (std::any_of(curves->m_values.begin(), curves->m_values.end(), [](float v) { return std::isnan(v); }))
        return error.Fail(kCmsErrArgument, "WriteCurveFile: a value is not a number");
    try {
        std::vector<uint8_t> bytes(kHeaderSize + curves->m_values.size() * sizeof(float));
        std::memcpy(bytes.data(), kMagic, 4);
        StoreU16(&bytes[4], kVersion);
        StoreU16(&bytes[6], static_cast<uint16_t>(curves->m_nCurves));
        StoreU16(&bytes[8], static_cast<uint16_t>(curves->m_nPoints));
        StoreU16(&bytes[10], static_cast<uint16_t>(curves->m_nFlag));
        std::memcpy(&bytes[kDescriptionOffset], curves->m_szDescription, kDescriptionLength);
        for (size_t i = 0; i < curves->m_values.size(); ++i) {
            float value = ClampLevel(curves->m_values[i]);
            std::memcpy(&bytes[kHeaderSize + i * sizeof(float)], &value, sizeof value);
        }
        if (!ReplaceFileBytes(path, bytes))
            return error.Fail(kCmsErrWrite, "%s", path);
        return 0;
    } catch (const std::bad_alloc&) {
        return error.Fail(kCmsErrNoMemory, "WriteCurveFile");
    }
}

int FitToneCurve(CmsHandle* fit, const float* xs, const float* ys, int count, CEngineError& error)
{
    if (fit == nullptr || xs == nullptr || ys == nullptr)
        return error.Fail(kCmsErrArgument, "FitCurve: no handle or points");
    if (count < 2)
        return error.Fail(kCmsErrArgument, "FitCurve: %d points, at least 2 are needed", count);
    std::vector<double> x(count), y(count);
    for (int i = 0; i < count; ++i) {
        if (!std::isfinite(xs[i]) || !std::isfinite(ys[i]) || (i > 0 && xs[i] <= xs[i - 1]))
            return error.Fail(kCmsErrArgument, "FitCurve: point %d is not finite or not right of the one before", i);
        x[i] = ClampLevel(xs[i]);
        y[i] = ClampLevel(ys[i]);
    }
    std::vector<double> tangents = MonotoneTangents(x, y);
    std::vector<float> table(kTableEntries);
    for (int i = 0; i < kTableEntries; ++i) {
        double level = Interpolate(x, y, tangents, 255.0 * i / (kTableEntries - 1));
        table[i] = static_cast<float>(std::clamp(level, 0.0, 255.0) / 255.0);
    }
    cmsToneCurve* curve = cmsBuildTabulatedToneCurveFloat(nullptr, kTableEntries, table.data());
    if (curve == nullptr)
        return error.Fail(kCmsErrNoMemory, "FitCurve");
    WriteHandle(fit, EngineObjectKind::Curve, new CFittedCurve(curve));
    return 0;
}

int EvaluateToneCurve(CmsHandle* fit, const float* x, float* y, int count, CEngineError& error)
{
    auto* curve = HandleObject<CFittedCurve>(fit, EngineObjectKind::Curve);
    if (curve == nullptr)
        return error.Fail(kCmsErrBadHandle, "EvaluateCurve: not a fitted curve");
    if (x == nullptr || y == nullptr || count < 0)
        return error.Fail(kCmsErrArgument, "EvaluateCurve: no values");
    for (int i = 0; i < count; ++i) {
        float level = std::isnan(x[i]) ? 0.0f : ClampLevel(x[i]);
        y[i] = ClampLevel(255.0f * cmsEvalToneCurveFloat(curve->m_pCurve, level / 255.0f));
    }
    return 0;
}
