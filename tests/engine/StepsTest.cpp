// The engine's processing steps through the DLL's table, as a scan's output stage uses them: step
// records, combined into one chain, sized, then run over the whole image or block by block.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "core/cms/CmsEngine.h"
#include "tests/engine/EngineFixture.h"

using namespace enginetest;

namespace {


// An image in memory: pixels interleaved, 8 bits, 16-bit words or packed bits a sample.
class CTestImage {
public:
    CTestImage() = default;
    CTestImage(int width, int height, int samples, int bits)
        : m_nWidth(width), m_nHeight(height), m_nSamples(samples), m_nBits(bits),
          m_nRowStep(bits == 1 ? (width + 7) / 8 : width * samples * (bits == 8 ? 1 : 2)),
          m_bytes(static_cast<size_t>(m_nRowStep) * height, 0)
    {
    }

    int Width() const { return m_nWidth; }
    int Height() const { return m_nHeight; }
    const std::vector<uint8_t>& Bytes() const { return m_bytes; }

    int Get(int x, int y, int c = 0) const
    {
        const uint8_t* p = Sample(x, y, c);
        return m_nBits == 8 ? p[0] : p[0] | (p[1] << 8);
    }

    void Set(int x, int y, int c, int value)
    {
        uint8_t* p = const_cast<uint8_t*>(Sample(x, y, c));
        p[0] = static_cast<uint8_t>(value & 0xFF);
        if (m_nBits > 8)
            p[1] = static_cast<uint8_t>(value >> 8);
    }

    void Fill(const std::function<int(int x, int y, int c)>& value)
    {
        for (int y = 0; y < m_nHeight; ++y)
            for (int x = 0; x < m_nWidth; ++x)
                for (int c = 0; c < m_nSamples; ++c)
                    Set(x, y, c, value(x, y, c));
    }

    bool IsBlack(int x, int y) const { return (m_bytes[y * m_nRowStep + x / 8] & (0x80 >> (x % 8))) != 0; }

    // Lines first..first+lines-1 of the image, as a block descriptor.
    CCmsImageDesc Desc(int first, int lines) const
    {
        CCmsImageDesc desc = {};
        desc.imageWidth = desc.width = m_nWidth;
        desc.imageHeight = m_nHeight;
        desc.height = lines;
        desc.channelCount = m_nSamples;
        desc.layout = m_nBits == 1 ? kCmsSpaceBitmap
            : m_nSamples == 1      ? kCmsSpaceGrey
            : m_nSamples == 3      ? kCmsSpaceRgb
                                   : kCmsSpaceCmyk;
        int sampleBytes = m_nBits == 8 ? 1 : 2;
        desc.channels[0].data = const_cast<uint8_t*>(m_bytes.data()) + static_cast<size_t>(first) * m_nRowStep;
        desc.channels[0].bitsPerSample = m_nBits;
        desc.channels[0].pixelStep = m_nSamples * sampleBytes;
        desc.channels[0].rowStep = m_nRowStep;
        for (int c = 0; c < m_nSamples; ++c)
            desc.channelOffset[c] = c * sampleBytes;
        return desc;
    }

    void CopyLines(const CCmsImageDesc& from, int lines, int toLine)
    {
        std::memcpy(m_bytes.data() + static_cast<size_t>(toLine) * m_nRowStep, from.channels[0].data,
            static_cast<size_t>(lines) * m_nRowStep);
    }

private:
    const uint8_t* Sample(int x, int y, int c) const
    {
        int sampleBytes = m_nBits == 8 ? 1 : 2;
        return m_bytes.data() + static_cast<size_t>(y) * m_nRowStep + (x * m_nSamples + c) * sampleBytes;
    }

    int m_nWidth = 0;
    int m_nHeight = 0;
    int m_nSamples = 1;
    int m_nBits = 8;
    int m_nRowStep = 0;
    std::vector<uint8_t> m_bytes;
};

using StepMaker = std::function<int(CCmsEngine*, CmsHandle*)>;

StepMaker Grey()
{
    return [](CCmsEngine* e, CmsHandle* h) { return e->CreateGreyStep(h, 77.0f, 151.0f, 28.0f); };
}

StepMaker LineArt(float from, float to, float threshold)
{
    return [=](CCmsEngine* e, CmsHandle* h) { return e->CreateStep8(h, from, to, threshold); };
}

StepMaker Descreen(float resolution, float ruling)
{
    return [=](CCmsEngine* e, CmsHandle* h) { return e->CreateStep4(h, resolution, ruling, resolution); };
}

StepMaker Resample(int mode, float from, float to)
{
    return [=](CCmsEngine* e, CmsHandle* h) { return e->CreateStep6(h, mode, from, from, to, to); };
}

const std::vector<float> kSixPoints = {0, 0, 10 / 255.0f, 0, 15 / 255.0f, 1, 240 / 255.0f, 1, 250 / 255.0f, 0, 1, 0};
const std::vector<float> kFourPoints = {0, 1, 240 / 255.0f, 1, 250 / 255.0f, 0, 1, 0};
const std::vector<float> kNoPoints;

// Threshold 10 as the caller passes it: no sharpening below 5 levels of local difference, all of it
// from 10 on.
StepMaker Sharpen(
    int kernel, float amount, const std::vector<float>& points, float low = 5 / 255.0f, float high = 10 / 255.0f)
{
    return [=](CCmsEngine* e, CmsHandle* h) {
        return e->CreateSharpenStep(h, kernel, amount, 3, static_cast<int>(points.size() / 2),
            points.empty() ? nullptr : points.data(), low, high);
    };
}

// A resolution that makes w pixels into `wanted` pixels at 300 per inch, as the caller computes it.
float ScannedResolution(int w, int wanted) { return static_cast<float>(w - 1) * 300.0f / (wanted - 0.05f); }

int Noise(int x, int y, int c)
{
    uint32_t n = static_cast<uint32_t>(x * 73856093 ^ y * 19349663 ^ c * 83492791);
    n = n * 1103515245u + 12345u;
    return static_cast<int>((n >> 16) & 0xFF);
}

}  // namespace

class StepsTest : public CEngineInstanceTest {
protected:
    // One record for the steps the way the output stage makes it: each step, then combined with
    // two or more, every step record freed at once.
    ::testing::AssertionResult MakeChain(const std::vector<StepMaker>& steps, CmsHandle& chain)
    {
        std::vector<CmsHandle> records(steps.size(), CmsHandle {});
        std::vector<CmsHandle*> pointers;
        for (size_t i = 0; i < steps.size(); ++i) {
            if (steps[i](m_engine, &records[i]) != 0)
                return ::testing::AssertionFailure() << "step " << i << ": " << m_engine->GetLastErrorText();
            pointers.push_back(&records[i]);
        }
        chain = {};
        if (steps.size() == 1) {
            chain = records[0];
            return ::testing::AssertionSuccess();
        }
        if (m_engine->CombineTransforms(&chain, static_cast<int>(pointers.size()), pointers.data()) != 0)
            return ::testing::AssertionFailure() << m_engine->GetLastErrorText();
        for (CmsHandle& record : records)
            m_engine->FreeHandle(&record);
        return ::testing::AssertionSuccess();
    }

    // Sizes with the whole image as one block, then runs it whole.
    ::testing::AssertionResult RunWhole(
        CmsHandle& chain, const CTestImage& source, int samples, int bits, CTestImage& out)
    {
        CCmsImageDesc pair[2] = {source.Desc(0, source.Height()), {}};
        if (m_engine->TransformImage(&chain, pair, 1) != 0)
            return ::testing::AssertionFailure() << "sizing: " << m_engine->GetLastErrorText();
        out = CTestImage(pair[1].imageWidth, pair[1].imageHeight, samples, bits);
        pair[1] = out.Desc(0, 0);
        if (m_engine->TransformImage(&chain, pair, 2) != 0)
            return ::testing::AssertionFailure() << m_engine->GetLastErrorText();
        if (pair[1].width != out.Width() || pair[1].height != out.Height())
            return ::testing::AssertionFailure() << "wrote " << pair[1].width << " x " << pair[1].height;
        return ::testing::AssertionSuccess();
    }

    // Sizes for blocks of blockLines, runs the blocks through a buffer of the size given, and
    // gathers the lines. Every block's lines must fit and the largest must fill the buffer.
    ::testing::AssertionResult RunBlocks(
        CmsHandle& chain, const CTestImage& source, int blockLines, int samples, int bits, CTestImage& out)
    {
        CCmsImageDesc pair[2] = {source.Desc(0, blockLines), {}};
        if (m_engine->TransformImage(&chain, pair, 1) != 0)
            return ::testing::AssertionFailure() << "sizing: " << m_engine->GetLastErrorText();
        CTestImage buffer(pair[1].width, pair[1].height, samples, bits);
        out = CTestImage(pair[1].imageWidth, pair[1].imageHeight, samples, bits);
        pair[1] = buffer.Desc(0, 0);
        if (m_engine->BeginBlockTransform(&chain, pair) != 0)
            return ::testing::AssertionFailure() << "begin: " << m_engine->GetLastErrorText();
        int written = 0, most = 0;
        for (int first = 0; first < source.Height(); first += blockLines) {
            CCmsImageDesc block = source.Desc(first, std::min(blockLines, source.Height() - first));
            CCmsImageDesc lines = buffer.Desc(0, 0);
            if (m_engine->TransformBlock(&chain, &block, &lines) != 0)
                return ::testing::AssertionFailure() << "line " << first << ": " << m_engine->GetLastErrorText();
            if (lines.height > buffer.Height() || written + lines.height > out.Height())
                return ::testing::AssertionFailure() << lines.height << " lines at line " << first << " into "
                                                     << buffer.Height() << ", " << written << " written before";
            out.CopyLines(lines, lines.height, written);
            written += lines.height;
            most = std::max(most, lines.height);
        }
        if (m_engine->EndBlockTransform(&chain) != 0)
            return ::testing::AssertionFailure() << "end: " << m_engine->GetLastErrorText();
        if (written != out.Height() || most != buffer.Height())
            return ::testing::AssertionFailure() << written << " lines of " << out.Height() << ", at most " << most
                                                 << " a block where sizing said " << buffer.Height();
        return ::testing::AssertionSuccess();
    }

    void ExpectError(int code)
    {
        EXPECT_EQ(m_engine->GetLastErrorCode(), code) << m_engine->GetLastErrorText();
        EXPECT_STRNE(m_engine->GetLastErrorText(), "");
    }

};

TEST_F(StepsTest, GreyStepWeighsRedGreenAndBlue)
{
    struct Case {
        int inBits, outBits;
    };
    for (Case c : {Case {8, 8}, Case {16, 16}, Case {12, 8}, Case {8, 16}}) {
        SCOPED_TRACE(std::to_string(c.inBits) + " to " + std::to_string(c.outBits) + " bits");
        const int inMax = (1 << c.inBits) - 1, outMax = (1 << c.outBits) - 1;
        CTestImage source(4, 2, 3, c.inBits);
        source.Fill([&](int x, int, int ch) { return x == 3 || x == ch ? inMax : 0; });  // red, green, blue, white
        CmsHandle chain;
        ASSERT_TRUE(MakeChain({Grey()}, chain));
        CTestImage out;
        ASSERT_TRUE(RunWhole(chain, source, 1, c.outBits, out));
        ASSERT_EQ(out.Width(), 4);
        const double weights[4] = {77, 151, 28, 256};
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 4; ++x)
                EXPECT_NEAR(out.Get(x, y), outMax * weights[x] / 256.0, 1.0) << x;
        m_engine->FreeHandle(&chain);
    }
}

TEST_F(StepsTest, LineArtIsBlackBelowTheThresholdLevel)
{
    struct Case {
        int bits;
        float threshold;
        std::vector<int> levels;
    };
    // 16 bits: 32896 is level 128.0 exactly, 32895 just below it.
    const Case cases[] = {
        {8, 0.5f, {127, 128, 0, 255, 127, 128, 128, 127, 200, 100}},
        {8, 0.25f, {63, 64, 0, 255, 63, 64, 64, 63, 200, 10}},
        {16, 0.5f, {32895, 32896, 0, 65535, 32895, 32896, 32896, 32895, 50000, 100}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.bits) + " bits, threshold " + std::to_string(c.threshold));
        CTestImage source(10, 3, 1, c.bits);
        source.Fill([&](int x, int, int) { return c.levels[x]; });
        CmsHandle chain;
        ASSERT_TRUE(MakeChain({LineArt(300.0f, 300.0f, c.threshold)}, chain));
        CTestImage out;
        ASSERT_TRUE(RunWhole(chain, source, 1, 1, out));
        for (int y = 0; y < 3; ++y) {
            // MSB first, bit 1 black: black, white, black, white, black, white, white, black | white, black.
            EXPECT_EQ(out.Bytes()[y * 2], 0xA9) << y;
            EXPECT_EQ(out.Bytes()[y * 2 + 1], 0x40) << y;
        }
        m_engine->FreeHandle(&chain);
    }
}

TEST_F(StepsTest, ResamplingMakesTheWantedSizeAndKeepsAFlatField)
{
    struct Case {
        int mode, bits, width, height, wantedWidth, wantedHeight;
    };
    // Both axes at the resolution that makes width into wantedWidth; heights follow from it.
    const Case cases[] = {
        {1, 8, 100, 40, 250, 99},
        {2, 8, 100, 40, 250, 99},
        {1, 16, 250, 60, 100, 24},
        {2, 16, 250, 60, 100, 24},
        {1, 8, 7, 7, 3, 3},
        {2, 8, 3, 5, 7, 14},
        {2, 8, 9, 9, 9, 9},
        {1, 8, 1000, 3, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(
            "mode " + std::to_string(c.mode) + ", " + std::to_string(c.width) + " to " + std::to_string(c.wantedWidth));
        const int level = c.bits == 8 ? 173 : 40000;
        CTestImage source(c.width, c.height, 3, c.bits);
        source.Fill([&](int, int, int ch) { return level - 20 * ch; });
        CmsHandle chain;
        float from = ScannedResolution(c.width, c.wantedWidth);
        ASSERT_TRUE(MakeChain({Resample(c.mode, from, 300.0f)}, chain));
        CTestImage out;
        ASSERT_TRUE(RunWhole(chain, source, 3, c.bits, out));
        EXPECT_EQ(out.Width(), c.wantedWidth);
        EXPECT_EQ(out.Height(), c.wantedHeight);
        int wrong = 0;
        for (int y = 0; y < out.Height(); ++y)
            for (int x = 0; x < out.Width(); ++x)
                for (int ch = 0; ch < 3; ++ch)
                    wrong += out.Get(x, y, ch) != level - 20 * ch;
        EXPECT_EQ(wrong, 0);
        m_engine->FreeHandle(&chain);
    }
}

TEST_F(StepsTest, ResamplingInterpolatesAndAveragesDetailAway)
{
    // A plane stays a plane, doubled or halved, apart from the edges a reduction repeats.
    CTestImage ramp(3, 3, 1, 8);
    ramp.Fill([](int x, int y, int) { return 100 * x + 10 * y; });
    CmsHandle chain;
    ASSERT_TRUE(MakeChain({Resample(1, 150.0f, 300.0f)}, chain));
    CTestImage doubled;
    ASSERT_TRUE(RunWhole(chain, ramp, 1, 8, doubled));
    ASSERT_EQ(doubled.Width(), 5);
    ASSERT_EQ(doubled.Height(), 5);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(doubled.Get(x, y), 50 * x + 5 * y) << x << "," << y;
    m_engine->FreeHandle(&chain);

    CTestImage plane(40, 40, 1, 8);
    plane.Fill([](int x, int y, int) { return 3 * x + 2 * y; });
    ASSERT_TRUE(MakeChain({Resample(1, 600.0f, 300.0f)}, chain));
    CTestImage halved;
    ASSERT_TRUE(RunWhole(chain, plane, 1, 8, halved));
    for (int y = 1; y < halved.Height() - 1; ++y)
        for (int x = 1; x < halved.Width() - 1; ++x)
            ASSERT_EQ(halved.Get(x, y), 6 * x + 4 * y) << x << "," << y;
    m_engine->FreeHandle(&chain);

    // Halved, a one-pixel checkerboard is mid grey, not one of its colours picked out.
    CTestImage board(40, 40, 1, 8);
    board.Fill([](int x, int y, int) { return (x + y) % 2 * 255; });
    for (int mode : {1, 2}) {
        ASSERT_TRUE(MakeChain({Resample(mode, 600.0f, 300.0f)}, chain));
        CTestImage half;
        ASSERT_TRUE(RunWhole(chain, board, 1, 8, half));
        for (int y = 2; y < half.Height() - 2; ++y)
            for (int x = 2; x < half.Width() - 2; ++x)
                ASSERT_NEAR(half.Get(x, y), 127.5, 1.0) << "mode " << mode << " at " << x << "," << y;
        m_engine->FreeHandle(&chain);
    }

    // At equal resolutions either kernel leaves every pixel as it was.
    CTestImage noise(23, 17, 3, 8);
    noise.Fill(Noise);
    for (int mode : {1, 2}) {
        ASSERT_TRUE(MakeChain({Resample(mode, 300.0f, 300.0f)}, chain));
        CTestImage same;
        ASSERT_TRUE(RunWhole(chain, noise, 3, 8, same));
        EXPECT_EQ(same.Bytes(), noise.Bytes()) << "mode " << mode;
        m_engine->FreeHandle(&chain);
    }
}

TEST_F(StepsTest, DescreeningFlattensTheScreenAndKeepsARamp)
{
    // Dots two pixels wide every four pixels: a screen of 100 lines at 400 pixels per inch.
    CTestImage dots(32, 32, 1, 8);
    dots.Fill([](int x, int y, int) { return x % 4 < 2 && y % 4 < 2 ? 0 : 255; });
    CmsHandle chain;
    ASSERT_TRUE(MakeChain({Descreen(400.0f, 100.0f)}, chain));
    CTestImage flat;
    ASSERT_TRUE(RunWhole(chain, dots, 1, 8, flat));
    ASSERT_EQ(flat.Width(), 32);
    for (int y = 2; y < 30; ++y)
        for (int x = 2; x < 30; ++x)
            ASSERT_NEAR(flat.Get(x, y), 255 * 12 / 16.0, 1.0) << x << "," << y;

    CTestImage ramp(64, 8, 1, 8);
    ramp.Fill([](int x, int, int) { return 4 * x; });
    CTestImage filtered;
    ASSERT_TRUE(RunWhole(chain, ramp, 1, 8, filtered));
    double sumIn = 0, sumOut = 0;
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 64; ++x) {
            sumIn += ramp.Get(x, y);
            sumOut += filtered.Get(x, y);
            if (x >= 2 && x < 62) {
                EXPECT_NEAR(filtered.Get(x, y), ramp.Get(x, y), 1.0) << x;
            }
        }
    }
    EXPECT_NEAR(sumOut / (64 * 8), sumIn / (64 * 8), 0.5);
    m_engine->FreeHandle(&chain);

    // Without a screen nothing changes.
    ASSERT_TRUE(MakeChain({Descreen(400.0f, 0.0f)}, chain));
    CTestImage same;
    ASSERT_TRUE(RunWhole(chain, dots, 1, 8, same));
    EXPECT_EQ(same.Bytes(), dots.Bytes());
    m_engine->FreeHandle(&chain);
}

TEST_F(StepsTest, SharpeningSteepensEdgesAndLeavesFlatAreas)
{
    struct Case {
        const char* name;
        int left, right, kernel;
        float amount;
        const std::vector<float>& points;
        int expected[4];  // the two pixels either side of the edge, left to right
    };
    const Case cases[] = {
        {"3 taps", 60, 190, 3, 1.0f, kSixPoints, {60, 28, 223, 190}},
        // The second pixels differ by 8.1 levels from their blur: 0.62 of the way from 5 to 10.
        {"5 taps", 60, 190, 5, 1.0f, kSixPoints, {55, 19, 231, 195}},
        {"amount 3", 100, 140, 3, 3.0f, kSixPoints, {100, 70, 170, 140}},
        {"below the least difference", 100, 103, 3, 6.0f, kSixPoints, {100, 100, 103, 103}},
        {"no share at the ends", 5, 250, 3, 1.0f, kSixPoints, {5, 5, 250, 250}},
        {"no share in the highlights", 5, 250, 3, 1.0f, kFourPoints, {5, 0, 250, 250}},
        {"no curve", 5, 250, 3, 1.0f, kNoPoints, {5, 0, 255, 250}},
    };
    constexpr int kEdge = 10;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CTestImage source(20, 9, 1, 8);
        source.Fill([&](int x, int, int) { return x < kEdge ? c.left : c.right; });
        CmsHandle chain;
        ASSERT_TRUE(MakeChain({Sharpen(c.kernel, c.amount, c.points)}, chain));
        CTestImage out;
        ASSERT_TRUE(RunWhole(chain, source, 1, 8, out));
        for (int y = 0; y < 9; ++y) {
            for (int x = 0; x < 20; ++x) {
                if (x < kEdge - 2 || x > kEdge + 1) {
                    ASSERT_EQ(out.Get(x, y), source.Get(x, y)) << "flat at " << x << "," << y;
                } else {
                    ASSERT_NEAR(out.Get(x, y), c.expected[x - kEdge + 2], 1) << x << "," << y;
                }
            }
        }
        m_engine->FreeHandle(&chain);
    }
}

TEST_F(StepsTest, BlocksGiveWhatTheWholeImageGives)
{
    struct Case {
        const char* name;
        int samples, bits;
        std::vector<StepMaker> steps;
        int outSamples, outBits;
    };
    const Case cases[] = {
        {"grey, descreen, bicubic up, sharpen, line art", 3, 8,
            {Grey(), Descreen(350.0f, 100.0f), Resample(2, 300.0f, 510.0f), Sharpen(5, 3.0f, kSixPoints),
                LineArt(510.0f, 510.0f, 0.5f)},
            1, 1},
        {"descreen, bilinear down, sharpen, 16 bits", 3, 16,
            {Descreen(600.0f, 133.0f), Resample(1, 600.0f, 270.0f), Sharpen(3, 1.0f, kFourPoints)}, 3, 16},
        {"line art at twice the resolution", 1, 8, {LineArt(150.0f, 300.0f, 0.5f)}, 1, 1},
        {"bicubic to a third", 1, 8, {Resample(2, 900.0f, 300.0f)}, 1, 8},
        {"CMYK sharpened", 4, 8, {Sharpen(3, 6.0f, kNoPoints, 0.0f, 0.0f)}, 4, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CTestImage source(37, 41, c.samples, c.bits);
        source.Fill([&](int x, int y, int ch) {
            int level = (Noise(x, y, ch) / 2 + 3 * x + 2 * y) % 256;
            return c.bits == 8 ? level : level * 256 + x;
        });
        CmsHandle chain;
        ASSERT_TRUE(MakeChain(c.steps, chain));
        CTestImage whole;
        ASSERT_TRUE(RunWhole(chain, source, c.outSamples, c.outBits, whole));
        for (int blockLines : {1, 2, 7, 16, 41, 50}) {
            CTestImage blocks;
            ASSERT_TRUE(RunBlocks(chain, source, blockLines, c.outSamples, c.outBits, blocks)) << blockLines;
            EXPECT_EQ(blocks.Width(), whole.Width());
            EXPECT_TRUE(blocks.Bytes() == whole.Bytes()) << "blocks of " << blockLines;
        }
        m_engine->FreeHandle(&chain);
    }
}

TEST_F(StepsTest, SizingGivesTheOutputAndTheLargestBlock)
{
    // Doubling holds one line back for the interpolation, so every block but the first passes on
    // two lines for each it takes; the last block brings out the held line as well.
    CmsHandle chain;
    ASSERT_TRUE(MakeChain({Grey(), Resample(1, 150.0f, 300.0f)}, chain));
    CTestImage source(30, 20, 3, 8);
    CCmsImageDesc pair[2] = {source.Desc(0, 8), {}};
    ASSERT_EQ(m_engine->TransformImage(&chain, pair, 1), 0) << m_engine->GetLastErrorText();
    EXPECT_EQ(pair[1].imageWidth, 59);
    EXPECT_EQ(pair[1].imageHeight, 39);
    EXPECT_EQ(pair[1].width, 59);
    EXPECT_EQ(pair[1].height, 16);
    m_engine->FreeHandle(&chain);
}

TEST_F(StepsTest, CombiningSkipsEmptyRecordsAndRefusesOthers)
{
    CTestImage source(31, 12, 3, 8);
    source.Fill(Noise);
    CmsHandle reference;
    ASSERT_TRUE(MakeChain({Grey(), Resample(2, 300.0f, 200.0f)}, reference));
    CTestImage expected;
    ASSERT_TRUE(RunWhole(reference, source, 1, 8, expected));

    CmsHandle records[3] = {};
    ASSERT_EQ(m_engine->CreateGreyStep(&records[0], 77.0f, 151.0f, 28.0f), 0);
    ASSERT_EQ(m_engine->CreateStep6(&records[2], 2, 300.0f, 300.0f, 200.0f, 200.0f), 0);
    CmsHandle* pointers[3] = {&records[0], &records[1], &records[2]};
    CmsHandle chain = {};
    ASSERT_EQ(m_engine->CombineTransforms(&chain, 3, pointers), 0) << m_engine->GetLastErrorText();

    CmsHandle film = {};
    ASSERT_EQ(m_engine->OpenFilmType("NEG100", &film), 0) << m_engine->GetLastErrorText();
    CmsHandle stranger;
    std::memset(&stranger, 0x5A, sizeof stranger);
    for (CmsHandle* other : {&film, &stranger}) {
        CmsHandle* mixed[2] = {&records[0], other};
        CmsHandle out = {};
        EXPECT_EQ(m_engine->CombineTransforms(&out, 2, mixed), 1);
        ExpectError(kCmsErrCannotCombine);
        EXPECT_TRUE(out.IsEmpty());
    }
    m_engine->FreeHandle(&film);

    CmsHandle out = {};
    CmsHandle* withNull[2] = {&records[0], nullptr};
    const std::vector<std::function<int()>> wrongCalls = {
        [&] { return m_engine->CombineTransforms(&out, 0, pointers); },
        [&] { return m_engine->CombineTransforms(&out, 2, nullptr); },
        [&] { return m_engine->CombineTransforms(nullptr, 2, pointers); },
        [&] { return m_engine->CombineTransforms(&out, 2, withNull); },
    };
    for (size_t i = 0; i < wrongCalls.size(); ++i) {
        EXPECT_EQ(wrongCalls[i](), 1) << i;
        ExpectError(kCmsErrArgument);
        EXPECT_TRUE(out.IsEmpty()) << i;
    }

    // The chain holds its steps itself; so does a chain combined from chains.
    m_engine->FreeHandle(&records[0]);
    m_engine->FreeHandle(&records[2]);
    CTestImage combined;
    ASSERT_TRUE(RunWhole(chain, source, 1, 8, combined));
    EXPECT_EQ(combined.Bytes(), expected.Bytes());

    CmsHandle sharpen = {};
    ASSERT_EQ(m_engine->CreateSharpenStep(&sharpen, 3, 1.0f, 3, 0, nullptr, 0.0f, 0.0f), 0);
    CmsHandle* chains[2] = {&chain, &sharpen};
    CmsHandle longer = {};
    ASSERT_EQ(m_engine->CombineTransforms(&longer, 2, chains), 0) << m_engine->GetLastErrorText();
    m_engine->FreeHandle(&chain);
    m_engine->FreeHandle(&sharpen);
    CTestImage sharpened;
    ASSERT_TRUE(RunWhole(longer, source, 1, 8, sharpened));
    EXPECT_EQ(sharpened.Width(), expected.Width());
    EXPECT_NE(sharpened.Bytes(), expected.Bytes());
    m_engine->FreeHandle(&longer);
    m_engine->FreeHandle(&reference);

    // With only empty records the chain copies the data.
    CmsHandle empty[2] = {};
    CmsHandle* emptyPointers[2] = {&empty[0], &empty[1]};
    ASSERT_EQ(m_engine->CombineTransforms(&chain, 2, emptyPointers), 0);
    CTestImage copy;
    ASSERT_TRUE(RunWhole(chain, source, 3, 8, copy));
    EXPECT_EQ(copy.Bytes(), source.Bytes());
    m_engine->FreeHandle(&chain);
}

TEST_F(StepsTest, StepParametersOutOfRangeAreRefused)
{
    const float descending[4] = {0.5f, 1.0f, 0.2f, 0.0f};
    const std::vector<std::pair<const char*, std::function<int(CmsHandle*)>>> calls = {
        {"grey without handle", [&](CmsHandle*) { return m_engine->CreateGreyStep(nullptr, 77, 151, 28); }},
        {"grey weight NaN", [&](CmsHandle* h) { return m_engine->CreateGreyStep(h, NAN, 151, 28); }},
        {"line art threshold", [&](CmsHandle* h) { return m_engine->CreateStep8(h, 300, 300, 1.5f); }},
        {"line art resolution", [&](CmsHandle* h) { return m_engine->CreateStep8(h, 0, 300, 0.5f); }},
        {"descreen ruling", [&](CmsHandle* h) { return m_engine->CreateStep4(h, 300, -1, 300); }},
        {"descreen period", [&](CmsHandle* h) { return m_engine->CreateStep4(h, 4800, 2, 300); }},
        {"resample mode", [&](CmsHandle* h) { return m_engine->CreateStep6(h, 0, 300, 300, 150, 150); }},
        {"resample infinite", [&](CmsHandle* h) { return m_engine->CreateStep6(h, 1, 300, 300, INFINITY, 150); }},
        {"sharpen kernel", [&](CmsHandle* h) { return m_engine->CreateSharpenStep(h, 1, 1, 3, 0, nullptr, 0, 0); }},
        {"sharpen curve kind", [&](CmsHandle* h) { return m_engine->CreateSharpenStep(h, 3, 1, 2, 0, nullptr, 0, 0); }},
        {"sharpen amount", [&](CmsHandle* h) { return m_engine->CreateSharpenStep(h, 3, -1, 3, 0, nullptr, 0, 0); }},
        {"sharpen low above high",
            [&](CmsHandle* h) { return m_engine->CreateSharpenStep(h, 3, 1, 3, 0, nullptr, 0.2f, 0.1f); }},
        {"sharpen points missing",
            [&](CmsHandle* h) { return m_engine->CreateSharpenStep(h, 3, 1, 3, 2, nullptr, 0, 0); }},
        {"sharpen points descending",
            [&](CmsHandle* h) { return m_engine->CreateSharpenStep(h, 3, 1, 3, 2, descending, 0, 0); }},
    };
    for (const auto& [name, call] : calls) {
        CmsHandle h = {};
        EXPECT_EQ(call(&h), 1) << name;
        ExpectError(kCmsErrArgument);
        EXPECT_TRUE(h.IsEmpty()) << name;
    }
}

TEST_F(StepsTest, RunsRefuseDataTheStepsCannotTakeAndCallsOutOfOrder)
{
    CTestImage grey(8, 8, 1, 8), rgb(8, 8, 3, 8), bits(8, 8, 1, 1), out(8, 8, 1, 8);
    CmsHandle greyStep, lineArt, sharpen;
    ASSERT_TRUE(MakeChain({Grey()}, greyStep));
    ASSERT_TRUE(MakeChain({LineArt(300.0f, 300.0f, 0.5f)}, lineArt));
    ASSERT_TRUE(MakeChain({Sharpen(3, 1.0f, kNoPoints)}, sharpen));
    CmsHandle film = {};
    ASSERT_EQ(m_engine->OpenFilmType("NEG100", &film), 0);

    struct Case {
        const char* name;
        CmsHandle* chain;
        const CTestImage* source;
        const CTestImage* destination;
        int mode, code;
        bool beginFails;  // the source alone is wrong; else the destination shows it block by block
    };
    const Case cases[] = {
        {"grey step on grey data", &greyStep, &grey, &out, 1, kCmsErrCannotCombine, true},
        {"line art on RGB data", &lineArt, &rgb, &out, 2, kCmsErrCannotCombine, true},
        {"bits into the steps", &sharpen, &bits, &out, 2, kCmsErrArgument, true},
        {"bits out of sharpening", &sharpen, &grey, &bits, 2, kCmsErrArgument, false},
        {"RGB out of a grey chain", &sharpen, &grey, &rgb, 2, kCmsErrArgument, false},
        {"mode 3", &sharpen, &grey, &out, 3, kCmsErrArgument, false},
        {"a film type", &film, &grey, &out, 1, kCmsErrBadHandle, true},
    };
    for (const Case& c : cases) {
        CCmsImageDesc pair[2] = {c.source->Desc(0, 8), c.destination->Desc(0, 0)};
        EXPECT_EQ(m_engine->TransformImage(c.chain, pair, c.mode), 1) << c.name;
        ExpectError(c.code);
        EXPECT_EQ(m_engine->BeginBlockTransform(c.chain, pair), c.beginFails ? 1 : 0) << c.name;
        if (c.beginFails) {
            ExpectError(c.code);
        } else if (c.mode == 2) {
            EXPECT_EQ(m_engine->TransformBlock(c.chain, &pair[0], &pair[1]), 1) << c.name;
        }
        m_engine->EndBlockTransform(c.chain);
    }

    CCmsImageDesc pair[2] = {grey.Desc(0, 8), out.Desc(0, 0)};
    CCmsImageDesc block = grey.Desc(0, 4), lines = out.Desc(0, 0);
    EXPECT_EQ(m_engine->TransformBlock(&sharpen, &block, &lines), 1);
    ExpectError(kCmsErrArgument);
    ASSERT_EQ(m_engine->BeginBlockTransform(&sharpen, pair), 0) << m_engine->GetLastErrorText();
    ASSERT_EQ(m_engine->TransformBlock(&sharpen, &block, &lines), 0) << m_engine->GetLastErrorText();
    EXPECT_EQ(lines.height, 3) << "one line held back for the kernel";
    CCmsImageDesc tooMany = grey.Desc(0, 5);
    EXPECT_EQ(m_engine->TransformBlock(&sharpen, &tooMany, &lines), 1);
    ExpectError(kCmsErrArgument);
    CCmsImageDesc narrower = grey.Desc(4, 4);
    narrower.width = 7;
    EXPECT_EQ(m_engine->TransformBlock(&sharpen, &narrower, &lines), 1);
    ExpectError(kCmsErrArgument);
    ASSERT_EQ(m_engine->EndBlockTransform(&sharpen), 0);
    CCmsImageDesc rest = grey.Desc(4, 4);
    EXPECT_EQ(m_engine->TransformBlock(&sharpen, &rest, &lines), 1);
    ExpectError(kCmsErrArgument);

    // Sized for blocks of one line (at most two out, with the last), a block of four is refused
    // before it is taken.
    CCmsImageDesc sizing[2] = {grey.Desc(0, 1), {}};
    ASSERT_EQ(m_engine->TransformImage(&sharpen, sizing, 1), 0) << m_engine->GetLastErrorText();
    EXPECT_EQ(sizing[1].height, 2);
    ASSERT_EQ(m_engine->BeginBlockTransform(&sharpen, pair), 0);
    EXPECT_EQ(m_engine->TransformBlock(&sharpen, &block, &lines), 1);
    ExpectError(kCmsErrArgument);
    CCmsImageDesc one = grey.Desc(0, 1);
    ASSERT_EQ(m_engine->TransformBlock(&sharpen, &one, &lines), 0) << m_engine->GetLastErrorText();
    EXPECT_EQ(lines.height, 0);

    for (CmsHandle* h : {&greyStep, &lineArt, &sharpen, &film})
        EXPECT_EQ(m_engine->FreeHandle(h), 0);
}
