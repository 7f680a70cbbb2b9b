#pragma once

// The curves of a ".tc" file as the scanner's lookup tables read them.

#include "colour/EngineCurve.h"
#include "core/driver/ToneCurveSet.h"

class CEngineToneCurves : public CToneCurveSet {
public:
    explicit CEngineToneCurves(const char* path) : m_Set(path) { }

    bool IsLoaded() const { return m_Set.LastResult() == 0 && m_Set.GetCurveCount() > 0; }
    int GetMode() override { return m_Set.GetMode(); }
    void Fit(int index, uint32_t max, uint32_t count) override;
    float Evaluate(int index, float x) override;

private:
    CEngineCurveSet m_Set;
};

// The curves of a curve file; null after reporting why it cannot be read. The caller deletes them.
CToneCurveSet* LoadToneCurveFile(const char* path);
