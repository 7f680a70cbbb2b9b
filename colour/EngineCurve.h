#pragma once

// Tone curves as control points, evaluated through the smooth curve the colour engine fits to
// them, and the curve sets of ".tc" files, which the engine reads and writes. Both programs carry
// these: brelvane reads curve files for its lookup tables, the tone editor edits and writes them.

#include "core/cms/CmsRecords.h"

#include <cstdint>
#include <string>
#include <vector>

// True when all 64 bytes are 0.
bool IsCmsHandleEmpty(const CmsHandle& record);
// Releases a record that is not empty through the engine and zeroes it.
void FreeCmsHandle(CmsHandle& record);

// A control point: x in the low 16 bits, y in the high 16 bits.
constexpr uint32_t MakeCurvePoint(uint32_t x, uint32_t y) { return (x & 0xFFFF) | (y << 16); }
constexpr uint32_t CurvePointX(uint32_t point) { return point & 0xFFFF; }
constexpr uint32_t CurvePointY(uint32_t point) { return point >> 16; }

class CEngineCurve {
public:
    CEngineCurve();
    // Points from float arrays, truncated to whole levels and kept within 0..255.
    CEngineCurve(int count, const float* xs, const float* ys);
    CEngineCurve(const CEngineCurve& other);
    CEngineCurve& operator=(const CEngineCurve&) = delete;
    virtual ~CEngineCurve();

    void Reset();
    // Fits the engine's curve through the points; the engine's result (0 success).
    int Fit(uint32_t maximum, uint32_t entries);
    // The curve at x, fitted first when the points changed.
    float Evaluate(float x);
    // The fitted curve at x clamped to the points' range; without two points the identity, or the
    // one point's level.
    float EvaluateFitted(float x);
    // The point (x, the curve at x rounded down).
    uint32_t EvaluateAt(uint32_t x);

    int PointCount() const { return (int)m_Points.size(); }
    uint32_t GetPoint(int index) const { return m_Points[(size_t)index]; }
    void GetPointsAsFloats(float* xs, float* ys) const;
    int IndexOfX(uint32_t x) const;
    void SetPoint(uint32_t x, uint32_t y);
    bool RemovePoint(uint32_t x);
    bool FindPointNear(uint32_t x, uint32_t y, uint32_t tolerance, uint32_t& point) const;
    bool IsEndPoint(uint32_t x, uint32_t y) const;
    // The points left and right of x, not counting one exactly at x; beyond the ends a virtual
    // neighbour at -1 or the x maximum + 1 with y, and the edge flags say which end.
    void FindNeighbours(uint32_t x, uint32_t y, int32_t& leftX, int32_t& leftY, int32_t& rightX, int32_t& rightY);
    void Invert();

    bool IsChanged() const { return m_bChanged; }
    bool IsInverted() const { return m_bInverted; }
    bool AtOrBeforeFirst() const { return m_bAtOrBeforeFirst; }
    bool BeforeFirst() const { return m_bBeforeFirst; }
    bool AtOrAfterLast() const { return m_bAtOrAfterLast; }
    bool AfterLast() const { return m_bAfterLast; }
    void ClearAtOrBeforeFirst() { m_bAtOrBeforeFirst = false; }
    void ClearBeforeFirst() { m_bBeforeFirst = false; }
    void ClearAtOrAfterLast() { m_bAtOrAfterLast = false; }
    void ClearAfterLast() { m_bAfterLast = false; }
    // The two limits the tone editor keeps for its own use, and the fit's entry count.
    void SetLowLimit(uint32_t value) { m_nLowLimit = value; }
    void SetHighLimit(uint32_t value) { m_nHighLimit = value; }
    uint32_t GetLowLimit() const { return m_nLowLimit; }
    uint32_t GetHighLimit() const { return m_nHighLimit; }
    void SetFitEntries(uint32_t entries) { m_nFitEntries = entries; }

private:
    void ClearEdgeFlags();
    void FreeFit();

    std::vector<uint32_t> m_Points;
    bool m_bChanged = true;
    bool m_bInverted = false;
    uint32_t m_nXMax = 255;
    uint32_t m_nYMax = 255;
    uint32_t m_nFitMax = 255;
    uint32_t m_nFitEntries = 256;
    bool m_bAtOrBeforeFirst = false;
    bool m_bBeforeFirst = false;
    bool m_bAtOrAfterLast = false;
    bool m_bAfterLast = false;
    uint32_t m_nLowLimit = 0;
    uint32_t m_nHighLimit = 255;
    CmsHandle m_Fit[2] = {};
};

// The curves of one ".tc" file: one (grey), four (RGB: red, green, blue, then the common curve) or
// five (CMYK).
class CEngineCurveSet {
public:
    static constexpr int kMaxCurves = 5;
    static constexpr int kDescriptionSize = 26;

    CEngineCurveSet() = default;
    // Mode 1: four curves, 2: five, anything else one; each a default curve.
    explicit CEngineCurveSet(int mode);
    explicit CEngineCurveSet(const char* path);
    CEngineCurveSet(const CEngineCurveSet&) = delete;
    CEngineCurveSet& operator=(const CEngineCurveSet&) = delete;
    virtual ~CEngineCurveSet();

    int GetMode() const { return m_nMode; }
    int GetCurveCount() const { return m_nCurveCount; }
    CEngineCurve* GetCurve(int index) const;
    // Takes ownership of curve and hands back the one it replaces.
    CEngineCurve* ReplaceCurve(int index, CEngineCurve* curve);
    void SetDescription(const char* text);
    const std::string& GetDescription() const { return m_strDescription; }

    // The engine's result, 0 on success; after a failure TakeError tells why.
    int Load(const char* path);
    int Save(const char* path);
    int LastResult() const { return m_nLastResult; }
    int TakeError();

private:
    void DeleteCurves();

    int m_nMode = 0;
    int m_nCurveCount = 0;
    CEngineCurve* m_pCurves[kMaxCurves] = {};
    std::string m_strDescription;
    int m_nLastResult = 0;
    int m_nError = 0;
};
