#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// A window of the chart as a device would scan it. Positions are in inches from the chart's
// top-left corner; each pixel samples the chart at its centre.
struct CChartWindow {
    double left = 0;
    double top = 0;
    int xResolution = 100;
    int yResolution = 100;
    int pixelsPerLine = 0;
    int lines = 0;
    int bitsPerSample = 8;  // 1 (line art, grey only), 8 or 16
    int channels = 1;       // 1 grey, 3 RGB (pixel-interleaved)
    bool invert = false;    // normal: values rise with brightness; inverted: every bit flipped
    bool bigEndian16 = true;
};

// The picture every virtual scanner sees on its glass: grey and colour ramps, colour patches,
// fine line groups and an "F" mark whose shape shows any rotation or mirroring. Deterministic,
// so that a test can render the same window and compare it with what a scan wrote.
class CTestChart {
public:
    static constexpr double kWidth = 8.5;
    static constexpr double kHeight = 11.7;

    // 16-bit linear RGB at a point; white outside the chart.
    static void Colour(double x, double y, uint16_t rgb[3]);
    static uint16_t Grey(const uint16_t rgb[3]);
    static size_t BytesPerLine(const CChartWindow& window);
    static void RenderLine(const CChartWindow& window, int line, uint8_t* out);
    static std::vector<uint8_t> Render(const CChartWindow& window);
    // Lines of a window with equal kinds are equal: a line's colours depend on its position only
    // through the bands of the chart and the parts of the mark it crosses.
    static int LineKind(const CChartWindow& window, int line);

private:
    static int RowKind(double y);
    // x and y in steps of the chart's grid.
    static bool InMark(int64_t x, int64_t y);
};

