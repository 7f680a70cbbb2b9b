#include "sim/TestChart.h"

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

uint16_t Ramp(double x)
{
    double v = x / CTestChart::kWidth;
    return uint16_t(std::lround(std::fmin(std::fmax(v, 0.0), 1.0) * 65535.0));
}

void Set(uint16_t rgb[3], uint16_t r, uint16_t g, uint16_t b)
{
    rgb[0] = r;
    rgb[1] = g;
    rgb[2] = b;
}

}  // namespace

bool CTestChart::InMark(double x, double y)
{
    bool stem = x >= 1.0 && x < 1.5 && y >= 6.5 && y < 9.5;
    bool topArm = x >= 1.5 && x < 3.0 && y >= 6.5 && y < 7.0;
    bool middleArm = x >= 1.5 && x < 2.5 && y >= 7.75 && y < 8.25;
    return stem || topArm || middleArm;
}

void CTestChart::Colour(double x, double y, uint16_t rgb[3])
{
    Set(rgb, 65535, 65535, 65535);
    if (x < 0 || y < 0 || x >= kWidth || y >= kHeight)
        return;
    if (y < 1.0) {
        uint16_t v = Ramp(x);
        Set(rgb, v, v, v);
    } else if (y < 2.5) {
        int channel = int((y - 1.0) / 0.5);
        Set(rgb, 0, 0, 0);
        rgb[channel] = Ramp(x);
    } else if (y < 4.5) {
        const CPatch& p = kPatches[int(y - 2.5)][int(x / (kWidth / 6))];
        Set(rgb, uint16_t(p.r * 257), uint16_t(p.g * 257), uint16_t(p.b * 257));
    } else if (y < 6.0) {
        // Four groups of line pairs, each twice as fine as the one before.
        int group = int(x / (kWidth / 4));
        double period = 0.1 / double(1 << group);
        if (std::fmod(x, period) < period / 2)
            Set(rgb, 0, 0, 0);
    } else if (InMark(x, y)) {
        Set(rgb, 0, 0, 0);
    } else if (x >= 7.0 && x < 8.0 && y >= 10.5 && y < 11.5) {
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
    double y = window.top + (line + 0.5) / window.yResolution;
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
