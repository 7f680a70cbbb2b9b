#include "sim/TestChart.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

struct CPatch {
    uint8_t r, g, b;
};

const CPatch kPatches[2][6] = {
    {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {0, 255, 255}, {255, 0, 255}, {255, 255, 0}},
    {{0, 0, 0}, {64, 64, 64}, {128, 128, 128}, {192, 192, 192}, {255, 255, 255}, {255, 128, 0}},
};

// Every decision is taken on positions snapped to a grid of 2^-24 inch. A pixel centre that falls
// exactly on an edge of a region (1.0 inch down, say) is computed with a rounding error whose
// sign depends on the precision the arithmetic ran at: the x87 unit keeps more bits in registers
// than in memory, and the main thread runs at 64 bits while other threads run at 53. Snapped to
// the grid, such a centre lands on the edge itself on every thread and at every optimisation.
// The grid is dyadic so that no pixel centre of a device window falls half way between two steps.
constexpr int64_t kGrid = int64_t(1) << 24;                     // steps per inch
constexpr int64_t kGridWidth = 17 * kGrid / 2;                  // 8.5 inches
constexpr int64_t kGridHeight = 117 * kGrid / 10 + 1;           // 11.7 inches, rounded up

constexpr int64_t Inches(double inches) { return int64_t(inches * double(kGrid)); }

int64_t Snap(double inches)
{
    return std::llround(inches * double(kGrid));
}

// Rounded to the nearest step of 65535 across the chart, half steps up.
uint16_t Ramp(int64_t x)
{
    x = std::clamp<int64_t>(x, 0, kGridWidth);
    return uint16_t((2 * x * 65535 + kGridWidth) / (2 * kGridWidth));
}

bool Within(int64_t v, double from, double to) { return v >= Inches(from) && v < Inches(to); }

void Set(uint16_t rgb[3], uint16_t r, uint16_t g, uint16_t b)
{
    rgb[0] = r;
    rgb[1] = g;
    rgb[2] = b;
}

// Snapped position of a line (or a column) centre; -1 far off the chart, before the grid could
// overflow, and for a position that is not a number.
int64_t SnapOnChart(double inches, double extent)
{
    if (!(inches > -1 && inches < 2 * extent))
        return -1;
    return Snap(inches);
}

double LineCentre(const CChartWindow& window, int line)
{
    return window.top + (line + 0.5) / window.yResolution;
}

}  // namespace

int CTestChart::RowKind(double yInches)
{
    int64_t y = SnapOnChart(yInches, kHeight);
    if (y < 0 || y >= kGridHeight)
        return 0;
    if (y < Inches(1.0))
        return 1;
    if (y < Inches(2.5))
        return 2 + int((y - Inches(1.0)) / Inches(0.5));
    if (y < Inches(4.5))
        return 5 + int((y - Inches(2.5)) / kGrid);
    if (y < Inches(6.0))
        return 7;
    // Below the line groups a line differs only by the parts of the mark and the blue square it
    // crosses.
    return 8 + (Within(y, 6.5, 9.5) ? 1 : 0) + (Within(y, 6.5, 7.0) ? 2 : 0) +
           (Within(y, 7.75, 8.25) ? 4 : 0) + (Within(y, 10.5, 11.5) ? 8 : 0);
}

int CTestChart::LineKind(const CChartWindow& window, int line)
{
    return RowKind(LineCentre(window, line));
}

bool CTestChart::InMark(int64_t x, int64_t y)
{
    bool stem = Within(x, 1.0, 1.5) && Within(y, 6.5, 9.5);
    bool topArm = Within(x, 1.5, 3.0) && Within(y, 6.5, 7.0);
    bool middleArm = Within(x, 1.5, 2.5) && Within(y, 7.75, 8.25);
    return stem || topArm || middleArm;
}

void CTestChart::Colour(double xInches, double yInches, uint16_t rgb[3])
{
    Set(rgb, 65535, 65535, 65535);
    int64_t x = SnapOnChart(xInches, kWidth);
    int64_t y = SnapOnChart(yInches, kHeight);
    if (x < 0 || y < 0 || x >= kGridWidth || y >= kGridHeight)
        return;
    if (y < Inches(1.0)) {
        uint16_t v = Ramp(x);
        Set(rgb, v, v, v);
    } else if (y < Inches(2.5)) {
        int channel = int((y - Inches(1.0)) / Inches(0.5));
        Set(rgb, 0, 0, 0);
        rgb[channel] = Ramp(x);
    } else if (y < Inches(4.5)) {
        const CPatch& p = kPatches[(y - Inches(2.5)) / kGrid][6 * x / kGridWidth];
        Set(rgb, uint16_t(p.r * 257), uint16_t(p.g * 257), uint16_t(p.b * 257));
    } else if (y < Inches(6.0)) {
        // Four groups of line pairs, each twice as fine as the one before: periods of 0.1 inch
        // over 2^group, dark in the first half.
        int group = int(4 * x / kGridWidth);
        int64_t halfPeriods = x * 20 * (int64_t(1) << group) / kGrid;
        if (halfPeriods % 2 == 0)
            Set(rgb, 0, 0, 0);
    } else if (InMark(x, y)) {
        Set(rgb, 0, 0, 0);
    } else if (Within(x, 7.0, 8.0) && Within(y, 10.5, 11.5)) {
        Set(rgb, 0, 0, 65535);
    }
}

uint16_t CTestChart::Grey(const uint16_t rgb[3])
{
    return uint16_t((rgb[0] * 299u + rgb[1] * 587u + rgb[2] * 114u) / 1000u);
}

size_t CTestChart::BytesPerLine(const CChartWindow& window)
{
    size_t bits = size_t(window.pixelsPerLine) * window.channels * window.bitsPerSample;
    return (bits + 7) / 8;
}

void CTestChart::RenderLine(const CChartWindow& window, int line, uint8_t* out)
{
    std::memset(out, 0, BytesPerLine(window));
    double y = LineCentre(window, line);
    size_t byte = 0;
    for (int i = 0; i < window.pixelsPerLine; ++i) {
        double x = window.left + (i + 0.5) / window.xResolution;
        uint16_t rgb[3];
        Colour(x, y, rgb);
        uint16_t grey = Grey(rgb);
        if (window.bitsPerSample == 1) {
            bool white = grey >= 0x8000;
            if (white != window.invert)
                out[i / 8] |= uint8_t(0x80 >> (i % 8));
            continue;
        }
        for (int c = 0; c < window.channels; ++c) {
            uint16_t v = window.channels == 1 ? grey : rgb[c];
            if (window.invert)
                v = uint16_t(~v);
            if (window.bitsPerSample == 8) {
                out[byte++] = uint8_t(v >> 8);
            } else if (window.bigEndian16) {
                out[byte++] = uint8_t(v >> 8);
                out[byte++] = uint8_t(v);
            } else {
                out[byte++] = uint8_t(v);
                out[byte++] = uint8_t(v >> 8);
            }
        }
    }
}

std::vector<uint8_t> CTestChart::Render(const CChartWindow& window)
{
    size_t bytesPerLine = BytesPerLine(window);
    std::vector<uint8_t> image(bytesPerLine * size_t(window.lines));
    for (int line = 0; line < window.lines; ++line)
        RenderLine(window, line, image.data() + bytesPerLine * line);
    return image;
}
