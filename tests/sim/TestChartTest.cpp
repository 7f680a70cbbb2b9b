#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>

#include "sim/TestChart.h"

namespace {

CChartWindow Window(double left, double top, int pixels, int lines, int bits, int channels)
{
    CChartWindow w;
    w.left = left;
    w.top = top;
    w.pixelsPerLine = pixels;
    w.lines = lines;
    w.bitsPerSample = bits;
    w.channels = channels;
    return w;
}

TEST(TestChart, RegionsHaveTheirColours)
{
    struct Case {
        double x, y;
        uint16_t r, g, b;
    };
    const Case cases[] = {
        {0.01, 0.5, 77, 77, 77},  // dark end of the grey ramp
        {8.49, 0.5, 65458, 65458, 65458},
        {4.25, 1.25, 32768, 0, 0},        // red ramp at half way
        {4.25, 2.25, 0, 0, 32768},        // blue ramp
        {0.5, 3.0, 65535, 0, 0},          // red patch
        {8.0, 4.0, 65535, 32896, 0},      // orange patch
        {1.2, 9.0, 0, 0, 0},              // the stem of the mark
        {2.7, 6.7, 0, 0, 0},              // its top arm
        {2.7, 8.0, 65535, 65535, 65535},  // no arm that far right in the middle
        {7.5, 11.0, 0, 0, 65535},
        {9.0, 1.0, 65535, 65535, 65535},  // off the chart
    };
    for (const Case& c : cases) {
        uint16_t rgb[3];
        CTestChart::Colour(c.x, c.y, rgb);
        EXPECT_NEAR(rgb[0], c.r, 16) << c.x << "," << c.y;
        EXPECT_NEAR(rgb[1], c.g, 16) << c.x << "," << c.y;
        EXPECT_NEAR(rgb[2], c.b, 16) << c.x << "," << c.y;
    }
}

// The device renders on the ASPI manager's and the NT worker's threads, whose floating-point
// precision differs from the main thread's: a pixel centre on a region edge must fall on the same
// side whatever rounding the last bit of its position saw.
TEST(TestChart, EdgesDoNotDependOnTheLastBitOfAPosition)
{
    const double edges[] = {1.0, 3.5};   // grey ramp / red band, the two rows of colour patches
    const double xs[] = {0.0, 0.3, 4.25, 8.0};
    for (double edge : edges)
        for (double x : xs) {
            uint16_t at[3], below[3], above[3];
            CTestChart::Colour(x, edge, at);
            CTestChart::Colour(x, std::nextafter(edge, 0.0), below);
            CTestChart::Colour(x, std::nextafter(edge, 2 * edge), above);
            for (int c = 0; c < 3; ++c) {
                EXPECT_EQ(at[c], below[c]) << x << "," << edge;
                EXPECT_EQ(at[c], above[c]) << x << "," << edge;
            }
        }
}

TEST(TestChart, MarkShowsMirroringAndRotation)
{
    // The mark's window and its mirror image differ, and so do it and its upside-down image.
    CChartWindow w = Window(0.8, 6.3, 250, 350, 8, 1);
    std::vector<uint8_t> image = CTestChart::Render(w);
    std::vector<uint8_t> mirrored(image.size());
    std::vector<uint8_t> flipped(image.size());
    for (int y = 0; y < w.lines; ++y) {
        for (int x = 0; x < w.pixelsPerLine; ++x) {
            mirrored[y * 250 + x] = image[y * 250 + (249 - x)];
            flipped[y * 250 + x] = image[(349 - y) * 250 + x];
        }
    }
    EXPECT_NE(image, mirrored);
    EXPECT_NE(image, flipped);
    EXPECT_NE(std::count(image.begin(), image.end(), 0), 0);
}

TEST(TestChart, DepthsAndPolarity)
{
    // One line across the grey ramp at 10 ppi: 85 pixels.
    CChartWindow grey = Window(0, 0.5, 85, 1, 8, 1);
    grey.xResolution = grey.yResolution = 10;
    std::vector<uint8_t> g8 = CTestChart::Render(grey);
    EXPECT_TRUE(std::is_sorted(g8.begin(), g8.end()));
    EXPECT_LT(g8.front(), 2);
    EXPECT_GT(g8.back(), 253);

    CChartWindow wide = grey;
    wide.bitsPerSample = 16;
    std::vector<uint8_t> g16 = CTestChart::Render(wide);
    ASSERT_EQ(g16.size(), 170u);
    EXPECT_EQ(g16[84], g8[42]) << "big-endian: the high byte first";
    wide.bigEndian16 = false;
    EXPECT_EQ(CTestChart::Render(wide)[85], g8[42]);

    CChartWindow inverted = grey;
    inverted.invert = true;
    std::vector<uint8_t> i8 = CTestChart::Render(inverted);
    for (size_t i = 0; i < g8.size(); ++i)
        EXPECT_EQ(uint8_t(~g8[i]), i8[i]);

    CChartWindow lineArt = grey;
    lineArt.bitsPerSample = 1;
    std::vector<uint8_t> bits = CTestChart::Render(lineArt);
    ASSERT_EQ(bits.size(), 11u);
    EXPECT_EQ(bits[0], 0x00) << "dark end";
    EXPECT_EQ(bits[9], 0xFF) << "bright end";
    EXPECT_EQ(bits[10], 0xF8) << "five pixels in the last byte, padding bits clear";
}

TEST(TestChart, RgbWindowIsPixelInterleaved)
{
    CChartWindow w = Window(0.5, 3.0, 2, 1, 8, 3);
    w.xResolution = 1;  // pixel centres at x = 1.0 (red patch) and 2.0 (green patch)
    std::vector<uint8_t> rgb = CTestChart::Render(w);
    EXPECT_EQ(rgb, (std::vector<uint8_t>{255, 0, 0, 0, 255, 0}));
    EXPECT_EQ(CTestChart::BytesPerLine(w), 6u);
}

TEST(TestChart, LinesOfOneKindAreEqual)
{
    // Windows whose lines cross every band edge, the mark's arms and the chart's lower end, at
    // resolutions whose line centres fall on the edges themselves (100, 200) and between them.
    struct Case {
        const char* name;
        CChartWindow window;
        int resolution;
    };
    const Case cases[] = {
        {"whole page grey", Window(0, 0, 425, 0, 8, 1), 50},
        {"rgb 16-bit on the edges", Window(0.25, 0.0, 600, 0, 16, 3), 200},
        {"line art over the blue square", Window(6.9, 5.9, 120, 0, 1, 1), 100},
        {"odd resolution from off the top", Window(0.9, -0.3, 25, 0, 8, 3), 73},
    };
    for (const Case& c : cases) {
        CChartWindow w = c.window;
        w.xResolution = w.yResolution = c.resolution;
        w.lines = int((CTestChart::kHeight + 0.5 - w.top) * c.resolution);
        std::vector<uint8_t> direct = CTestChart::Render(w);
        size_t bytes = CTestChart::BytesPerLine(w);
        std::map<int, int> firstOfKind;
        for (int line = 0; line < w.lines; ++line) {
            int first = firstOfKind.emplace(CTestChart::LineKind(w, line), line).first->second;
            ASSERT_TRUE(std::equal(direct.begin() + bytes * line, direct.begin() + bytes * (line + 1),
                                   direct.begin() + bytes * first))
                << c.name << ": line " << line << " differs from line " << first << " of its kind";
        }
    }
}

}  // namespace
