#pragma once

// The tone curves of a curve file, as the lookup-table computation uses them. The colour engine
// computes them; the shell's table loads them (core/scan/ShellServices.h).

#include <cstdint>

class CToneCurveSet {
public:
    virtual ~CToneCurveSet() = default;
    // 0 one curve; 1 four curves (red, green, blue, then a common curve); 2 five curves.
    virtual int GetMode() = 0;
    // Prepares curve index for a table of count entries of at most max.
    virtual void Fit(int index, uint32_t max, uint32_t count) = 0;
    // The curve at x, both on the 0..255 scale.
    virtual float Evaluate(int index, float x) = 0;
};
