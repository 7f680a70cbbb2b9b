#include "colour/EngineCurve.h"

#include "core/cms/CmsEngine.h"
#include "core/cms/CmsEngineInstance.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr int kModeGrey = 0;
constexpr int kModeRgb = 1;
constexpr int kModeCmyk = 2;

// A level from a float, truncated as a point keeps it; what no level can be counts as 0.
uint32_t LevelOf(float value)
{
    if (!(value > 0))
        return 0;
    return value >= 255 ? 255 : (uint32_t)value;
}

int ModeForCount(int count)
{
    return count == 4 ? kModeRgb : count == 5 ? kModeCmyk : kModeGrey;
}

int CurveCountForMode(int mode)
{
    return mode == kModeRgb ? 4 : mode == kModeCmyk ? 5 : 1;
}

// The points of a stored curve: the run from the first whose whole x keeps rising, so that the
// zeros after a shorter curve end it.
int RisingRun(const float* xs, int count)
{
    int n = count > 0 ? 1 : 0;
    while (n < count && (int)xs[n] > (int)xs[n - 1])
        ++n;
    return n;
}

bool HasNaN(const float* values, int count)
{
    for (int i = 0; i < count; ++i)
        if (std::isnan(values[i]))
            return true;
    return false;
}

}  // namespace

bool IsCmsHandleEmpty(const CmsHandle& record) { return record.IsEmpty(); }

void FreeCmsHandle(CmsHandle& record)
{
    if (record.IsEmpty())
        return;
    if (g_pCmsEngine != nullptr)
        g_pCmsEngine->FreeHandle(&record);
    memset(&record, 0, sizeof record);
}

CEngineCurve::CEngineCurve() { Reset(); }

CEngineCurve::CEngineCurve(int count, const float* xs, const float* ys)
{
    Reset();
    m_Points.clear();
    for (int i = 0; i < count; ++i)
        m_Points.push_back(MakeCurvePoint(LevelOf(xs[i]), LevelOf(ys[i])));
}

CEngineCurve::CEngineCurve(const CEngineCurve& other)
    : m_Points(other.m_Points), m_bChanged(other.m_bChanged), m_bInverted(other.m_bInverted),
      m_nYMax(other.m_nYMax), m_nFitMax(other.m_nFitMax), m_nFitEntries(other.m_nFitEntries)
{
    // The engine's records belong to one curve each: the copy gets a fit of its own.
    Fit(m_nFitMax, m_nFitEntries);
    m_bChanged = other.m_bChanged;
}

CEngineCurve::~CEngineCurve() { FreeFit(); }

void CEngineCurve::Reset()
{
    m_bChanged = true;
    m_bInverted = false;
    m_nXMax = m_nYMax = 255;
    m_nFitMax = 255;
    m_nFitEntries = 256;
    m_nLowLimit = 0;
    m_nHighLimit = 255;
    ClearEdgeFlags();
    m_Points = {MakeCurvePoint(0, 0), MakeCurvePoint(255, 255)};
}

void CEngineCurve::FreeFit()
{
    FreeCmsHandle(m_Fit[0]);
    FreeCmsHandle(m_Fit[1]);
}

void CEngineCurve::ClearEdgeFlags()
{
    m_bAtOrBeforeFirst = m_bBeforeFirst = m_bAtOrAfterLast = m_bAfterLast = false;
}

int CEngineCurve::Fit(uint32_t maximum, uint32_t entries)
{
    FreeFit();
    m_nFitMax = maximum;
    m_nFitEntries = entries;
    std::vector<float> xs(m_Points.size()), ys(m_Points.size());
    GetPointsAsFloats(xs.data(), ys.data());
    int result = 1;
    if (g_pCmsEngine != nullptr)
        result = g_pCmsEngine->FitCurve(&m_Fit[0], &m_Fit[1], xs.data(), ys.data(), (int)xs.size(), 0);
    m_bChanged = false;
    return result;
}

float CEngineCurve::Evaluate(float x)
{
    if (m_bChanged)
        Fit(m_nFitMax, m_nFitEntries);
    return EvaluateFitted(x);
}

float CEngineCurve::EvaluateFitted(float x)
{
    if (m_Points.empty())
        return x;
    if (m_Points.size() == 1)
        return (float)CurvePointY(m_Points[0]);
    x = std::clamp(x, (float)CurvePointX(m_Points.front()), (float)CurvePointX(m_Points.back()));
    float y = x;
    // Without a fit (no engine, or one that refused) the curve passes the level on unchanged.
    if (g_pCmsEngine == nullptr || g_pCmsEngine->EvaluateCurve(&m_Fit[0], &m_Fit[1], &x, &y, 1) != 0)
        return x;
    return y;
}

uint32_t CEngineCurve::EvaluateAt(uint32_t x)
{
    return MakeCurvePoint(x, (uint32_t)std::max(0.0f, std::floor(Evaluate((float)x))));
}

void CEngineCurve::GetPointsAsFloats(float* xs, float* ys) const
{
    for (size_t i = 0; i < m_Points.size(); ++i) {
        xs[i] = (float)CurvePointX(m_Points[i]);
        ys[i] = (float)CurvePointY(m_Points[i]);
    }
}

int CEngineCurve::IndexOfX(uint32_t x) const
{
    for (size_t i = 0; i < m_Points.size(); ++i)
        if (CurvePointX(m_Points[i]) == x)
            return (int)i;
    return -1;
}

void CEngineCurve::SetPoint(uint32_t x, uint32_t y)
{
    m_bChanged = true;
    auto at = std::find_if(m_Points.begin(), m_Points.end(), [x](uint32_t p) { return CurvePointX(p) >= x; });
    if (at != m_Points.end() && CurvePointX(*at) == x)
        *at = MakeCurvePoint(x, y);
    else
        m_Points.insert(at, MakeCurvePoint(x, y));
}

bool CEngineCurve::RemovePoint(uint32_t x)
{
    if (m_Points.empty())
        return false;
    int index = IndexOfX(x);
    if (index >= 0)
        m_Points.erase(m_Points.begin() + index);
    m_bChanged = true;
    return true;
}

bool CEngineCurve::FindPointNear(uint32_t x, uint32_t y, uint32_t tolerance, uint32_t& point) const
{
    for (uint32_t p : m_Points) {
        uint32_t dx = CurvePointX(p) > x ? CurvePointX(p) - x : x - CurvePointX(p);
        uint32_t dy = CurvePointY(p) > y ? CurvePointY(p) - y : y - CurvePointY(p);
        if (dx <= tolerance && dy <= tolerance) {
            point = p;
            return true;
        }
    }
    return false;
}

bool CEngineCurve::IsEndPoint(uint32_t x, uint32_t y) const
{
    if (m_Points.empty())
        return false;
    uint32_t point = MakeCurvePoint(x, y);
    return point == m_Points.front() || point == m_Points.back();
}

void CEngineCurve::FindNeighbours(uint32_t x, uint32_t y, int32_t& leftX, int32_t& leftY, int32_t& rightX,
                                  int32_t& rightY)
{
    ClearEdgeFlags();
    leftX = rightX = -1;
    leftY = rightY = (int32_t)y;
    const size_t n = m_Points.size();
    if (n == 0)
        return;
    auto set = [](uint32_t point, int32_t& px, int32_t& py) {
        px = (int32_t)CurvePointX(point);
        py = (int32_t)CurvePointY(point);
    };
    const uint32_t firstX = CurvePointX(m_Points.front());
    const uint32_t lastX = CurvePointX(m_Points.back());
    if (x <= firstX) {
        m_bAtOrBeforeFirst = true;
        m_bBeforeFirst = x < firstX;
        if (n > 1)
            set(m_Points[1], rightX, rightY);
        return;
    }
    if (x >= lastX) {
        m_bAtOrAfterLast = true;
        m_bAfterLast = x > lastX;
        if (n > 1)
            set(m_Points[n - 2], leftX, leftY);
        rightX = (int32_t)m_nXMax + 1;
        return;
    }
    size_t right = 0;
    while (CurvePointX(m_Points[right]) <= x)
        ++right;
    set(m_Points[right], rightX, rightY);
    size_t left = right - 1;
    if (CurvePointX(m_Points[left]) == x && left > 0)
        --left;
    set(m_Points[left], leftX, leftY);
}

void CEngineCurve::Invert()
{
    for (uint32_t& p : m_Points)
        p = MakeCurvePoint(CurvePointX(p), m_nYMax - std::min(CurvePointY(p), m_nYMax));
    m_bInverted = !m_bInverted;
    m_bChanged = true;
}

CEngineCurveSet::CEngineCurveSet(int mode)
{
    m_nMode = mode == kModeRgb || mode == kModeCmyk ? mode : kModeGrey;
    m_nCurveCount = CurveCountForMode(m_nMode);
    for (int c = 0; c < m_nCurveCount; ++c)
        m_pCurves[c] = new CEngineCurve;
}

CEngineCurveSet::CEngineCurveSet(const char* path) { Load(path); }

CEngineCurveSet::~CEngineCurveSet() { DeleteCurves(); }

void CEngineCurveSet::DeleteCurves()
{
    for (int c = kMaxCurves - 1; c >= 0; --c) {
        delete m_pCurves[c];
        m_pCurves[c] = nullptr;
    }
    m_nCurveCount = 0;
}

CEngineCurve* CEngineCurveSet::GetCurve(int index) const
{
    return index >= 0 && index < kMaxCurves ? m_pCurves[index] : nullptr;
}

CEngineCurve* CEngineCurveSet::ReplaceCurve(int index, CEngineCurve* curve)
{
    if (index < 0 || index >= kMaxCurves)
        return curve;
    CEngineCurve* old = m_pCurves[index];
    m_pCurves[index] = curve;
    return old;
}

void CEngineCurveSet::SetDescription(const char* text)
{
    m_strDescription = text != nullptr ? std::string(text).substr(0, kDescriptionSize - 1) : std::string();
}

int CEngineCurveSet::Load(const char* path)
{
    if (g_pCmsEngine == nullptr)
        return m_nLastResult = 1;
    CmsHandle record = {};
    int points = 0, curves = 0, third = 0;
    float* xs[kMaxCurves] = {};
    float* ys[kMaxCurves] = {};
    m_nLastResult = g_pCmsEngine->ReadCurveFile(&record, path, &points, &curves, &third, xs, ys);
    curves = std::clamp(curves, 0, kMaxCurves);
    bool readable = m_nLastResult == 0;
    for (int c = 0; readable && c < curves; ++c)
        readable = xs[c] != nullptr && ys[c] != nullptr && !HasNaN(xs[c], points) && !HasNaN(ys[c], points);
    if (m_nLastResult != 0) {
        m_nError = g_pCmsEngine->GetLastErrorCode();
    } else if (!readable) {
        // A level that is no number would become any point at all.
        m_nLastResult = 1;
        m_nError = kCmsErrCorrupt;
    } else {
        DeleteCurves();
        for (int c = 0; c < curves; ++c)
            m_pCurves[c] = new CEngineCurve(RisingRun(xs[c], points), xs[c], ys[c]);
        m_nCurveCount = curves;
        m_nMode = ModeForCount(curves);
        char description[kDescriptionSize] = {};
        g_pCmsEngine->GetCurveDescription(&record, description, kDescriptionSize);
        description[kDescriptionSize - 1] = '\0';
        m_strDescription = description;
    }
    FreeCmsHandle(record);
    return m_nLastResult;
}

int CEngineCurveSet::Save(const char* path)
{
    int points = 0;
    for (int c = 0; c < m_nCurveCount; ++c) {
        // A curve of fewer than two points has no shape a file could keep.
        if (m_pCurves[c] == nullptr || m_pCurves[c]->PointCount() < 2) {
            m_nError = kCmsErrArgument;
            return 1;
        }
        points = std::max(points, m_pCurves[c]->PointCount());
    }
    if (g_pCmsEngine == nullptr || m_nCurveCount == 0)
        return 1;
    CmsHandle record = {};
    float* xs[kMaxCurves] = {};
    float* ys[kMaxCurves] = {};
    int result = g_pCmsEngine->BeginCurveWrite(&record, points, m_nCurveCount, 1, xs, ys);
    if (result != 0) {
        m_nError = g_pCmsEngine->GetLastErrorCode();
        FreeCmsHandle(record);
        return result;
    }
    for (int c = 0; c < m_nCurveCount; ++c) {
        memset(xs[c], 0, sizeof(float) * (size_t)points);
        memset(ys[c], 0, sizeof(float) * (size_t)points);
        m_pCurves[c]->GetPointsAsFloats(xs[c], ys[c]);
    }
    g_pCmsEngine->SetCurveDescription(&record, m_strDescription.c_str());
    result = g_pCmsEngine->WriteCurveFile(&record, path);
    if (result != 0)
        m_nError = g_pCmsEngine->GetLastErrorCode();
    FreeCmsHandle(record);
    return result;
}

int CEngineCurveSet::TakeError()
{
    int error = m_nError;
    m_nError = 0;
    return error;
}
