// Tone curves through the installed engine: the fitted curve's values, and ".tc" files both ways.

#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/cms/CmsEngine.h"
#include "tests/engine/EngineFixture.h"

using namespace enginetest;

namespace {

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void AppendFloat(std::vector<uint8_t>& bytes, float value)
{
    uint8_t raw[4];
    std::memcpy(raw, &value, 4);
    bytes.insert(bytes.end(), raw, raw + 4);
}

// A ".tc" file as the format gives it, built by hand: the header, then curve by curve the x values
// and the y values.
std::vector<uint8_t> CurveFile(
    int curves, int points, int flag, const char* description, const std::vector<std::vector<float>>& values)
{
    std::vector<uint8_t> bytes = {'T', 'C', 'R', 'V', 1, 0, static_cast<uint8_t>(curves), 0,
        static_cast<uint8_t>(points), static_cast<uint8_t>(points >> 8), static_cast<uint8_t>(flag), 0};
    std::vector<uint8_t> text(28, 0);
    std::memcpy(text.data(), description, std::strlen(description));
    bytes.insert(bytes.end(), text.begin(), text.end());
    for (const std::vector<float>& curve : values)
        for (float value : curve)
            AppendFloat(bytes, value);
    return bytes;
}

// The identity as one grey curve of two points with flag 1 and description "Grey".
// clang-format off
const std::vector<uint8_t> kGreyIdentityFile = {
    'T', 'C', 'R', 'V', 1, 0, 1, 0, 2, 0, 1, 0,            // magic, version, curves, points, flag
    'G', 'r', 'e', 'y', 0, 0, 0, 0, 0, 0, 0, 0, 0,         // description, 26 bytes padded with zeros
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0,                                                   // the 0 word
    0, 0, 0, 0, 0x00, 0x00, 0x7F, 0x43,                     // x: 0, 255
    0, 0, 0, 0, 0x00, 0x00, 0x7F, 0x43,                     // y: 0, 255
};
// clang-format on

}  // namespace

class CurveTest : public CEngineInstanceTest {
protected:
    static void SetUpTestSuite() { s_folder = MakeTempFolder("curves"); }
    static void TearDownTestSuite() { RemoveTree(s_folder); }

    void TearDown() override
    {
        for (CmsHandle* handle : {&m_fit, &m_table, &m_set})
            m_engine->FreeHandle(handle);
        CEngineInstanceTest::TearDown();
    }

    int Fit(const std::vector<float>& xs, const std::vector<float>& ys)
    {
        m_engine->FreeHandle(&m_fit);
        return m_engine->FitCurve(&m_fit, &m_table, xs.data(), ys.data(), static_cast<int>(xs.size()), 0);
    }

    float Evaluate(float x)
    {
        float y = -1;
        EXPECT_EQ(m_engine->EvaluateCurve(&m_fit, &m_table, &x, &y, 1), 0) << m_engine->GetLastErrorText();
        return y;
    }

    int Read(const std::string& path)
    {
        m_engine->FreeHandle(&m_set);
        return m_engine->ReadCurveFile(&m_set, path.c_str(), &m_nPoints, &m_nCurves, &m_nFlag, m_xs, m_ys);
    }

    static std::string s_folder;
    CmsHandle m_fit = {}, m_table = {}, m_set = {};
    int m_nPoints = 0, m_nCurves = 0, m_nFlag = 0;
    float* m_xs[5] = {};
    float* m_ys[5] = {};
};

std::string CurveTest::s_folder;

TEST_F(CurveTest, FittedCurvesPassThroughThePointsAndStayWithinTheEnds)
{
    struct Case {
        const char* name;
        std::vector<float> xs, ys;
        std::vector<std::pair<float, float>> expected;  // x, y
        float tolerance;
    };
    const Case cases[] = {
        {"identity", {0, 255}, {0, 255}, {{0, 0}, {64, 64}, {128.5f, 128.5f}, {255, 255}}, 0.05f},
        {"inversion", {0, 255}, {255, 0}, {{0, 255}, {100, 155}, {255, 0}}, 0.05f},
        {"points kept", {0, 64, 192, 255}, {0, 32, 224, 255}, {{0, 0}, {64, 32}, {192, 224}, {255, 255}}, 0.5f},
        {"flat beyond the end points", {50, 200}, {20, 230},
            {{-10, 20}, {0, 20}, {50, 20}, {200, 230}, {255, 230}, {300, 230}}, 0.1f},
        {"values kept to 0..255", {0, 128, 255}, {-40, 128, 300}, {{0, 0}, {255, 255}}, 0.05f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(Fit(c.xs, c.ys), 0) << m_engine->GetLastErrorText();
        EXPECT_TRUE(m_table.IsEmpty());
        for (auto [x, y] : c.expected)
            EXPECT_NEAR(Evaluate(x), y, c.tolerance) << "at " << x;
    }
}

TEST_F(CurveTest, MonotonePointsGiveAMonotoneCurveWithoutOvershoot)
{
    struct Case {
        const char* name;
        std::vector<float> xs, ys;
    };
    const Case cases[] = {
        {"S-curve", {0, 64, 192, 255}, {0, 32, 224, 255}},
        // A plain cubic spline swings below 0 before the step and above 255 after it.
        {"step", {0, 100, 150, 255}, {0, 0, 255, 255}},
        // A steep rise into a nearly flat run: unlimited tangents carry the curve above 110.
        {"knee", {0, 10, 255}, {0, 100, 110}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(Fit(c.xs, c.ys), 0) << m_engine->GetLastErrorText();
        // The tabulated curve steps linearly between its entries, a small fraction of a level; an
        // overshooting cubic would leave the range by levels.
        const float slack = 0.02f;
        float previous = Evaluate(0);
        for (float x = 0.5f; x <= 255; x += 0.5f) {
            float y = Evaluate(x);
            ASSERT_GE(y, previous - 1e-4f) << "at " << x;
            previous = y;
        }
        for (size_t k = 0; k + 1 < c.xs.size(); ++k)
            for (float x = c.xs[k]; x <= c.xs[k + 1]; x += 1) {
                float y = Evaluate(x);
                EXPECT_GE(y, c.ys[k] - slack) << "at " << x;
                EXPECT_LE(y, c.ys[k + 1] + slack) << "at " << x;
            }
    }
}

TEST_F(CurveTest, PointsThatMakeNoCurveAreRefused)
{
    const std::vector<std::pair<std::vector<float>, std::vector<float>>> cases = {
        {{}, {}}, {{10}, {10}}, {{0, 0}, {0, 255}}, {{0, 200, 100}, {0, 50, 255}}, {{0, NAN}, {0, 255}}};
    for (const auto& [xs, ys] : cases) {
        SCOPED_TRACE(xs.size());
        EXPECT_EQ(Fit(xs, ys), 1);
        EXPECT_EQ(m_engine->GetLastErrorCode(), kCmsErrArgument);
        EXPECT_TRUE(m_fit.IsEmpty());
    }
    float x = 1, y = 0;
    EXPECT_EQ(m_engine->EvaluateCurve(&m_fit, &m_table, &x, &y, 1), 1);
    EXPECT_EQ(m_engine->GetLastErrorCode(), kCmsErrBadHandle);
}

TEST_F(CurveTest, WrittenFileHasTheFormatsBytes)
{
    ASSERT_EQ(m_engine->BeginCurveWrite(&m_set, 2, 1, 1, m_xs, m_ys), 0) << m_engine->GetLastErrorText();
    m_xs[0][0] = 0, m_xs[0][1] = 255, m_ys[0][0] = 0, m_ys[0][1] = 255;
    ASSERT_EQ(m_engine->SetCurveDescription(&m_set, "Grey"), 0);
    std::string path = s_folder + "grey.tc";
    ASSERT_EQ(m_engine->WriteCurveFile(&m_set, path.c_str()), 0) << m_engine->GetLastErrorText();
    EXPECT_EQ(ReadBytes(path), kGreyIdentityFile);
}

TEST_F(CurveTest, ReadFileGivesItsCountsPointsAndDescription)
{
    std::string path = s_folder + "golden.tc";
    WriteBytes(path, kGreyIdentityFile);
    ASSERT_EQ(Read(path), 0) << m_engine->GetLastErrorText();
    EXPECT_EQ(m_nPoints, 2);
    EXPECT_EQ(m_nCurves, 1);
    EXPECT_EQ(m_nFlag, 1);
    EXPECT_EQ(std::vector<float>(m_xs[0], m_xs[0] + 2), (std::vector<float> {0, 255}));
    EXPECT_EQ(std::vector<float>(m_ys[0], m_ys[0] + 2), (std::vector<float> {0, 255}));
    char text[26];
    std::memset(text, 'x', sizeof text);
    ASSERT_EQ(m_engine->GetCurveDescription(&m_set, text, sizeof text), 0);
    EXPECT_STREQ(text, "Grey");
    // The arrays stay the record's until it is released, also after the file is gone.
    DeleteFileA(path.c_str());
    EXPECT_EQ(m_xs[0][1], 255);
}

TEST_F(CurveTest, CurvesEndAtTheirLastRisingPointAndValuesAreKeptTo0To255)
{
    std::string path = s_folder + "short.tc";
    WriteBytes(path,
        CurveFile(3, 4, 1, "Short",
            {{0, 128, 255, 0}, {0, 100, 255, 0},  // three points, then zeros
                {0, 200, 100, 255}, {0, 50, 70, 255},  // x falls after 200
                {-5, 300, 0, 0}, {-1, 400, 0, 0}}));  // out of range
    ASSERT_EQ(Read(path), 0) << m_engine->GetLastErrorText();
    ASSERT_EQ(m_nCurves, 3);
    auto xs = [&](int c) { return std::vector<float>(m_xs[c], m_xs[c] + 4); };
    auto ys = [&](int c) { return std::vector<float>(m_ys[c], m_ys[c] + 4); };
    EXPECT_EQ(xs(0), (std::vector<float> {0, 128, 255, 0}));
    EXPECT_EQ(ys(0), (std::vector<float> {0, 100, 255, 0}));
    EXPECT_EQ(xs(1), (std::vector<float> {0, 200, 0, 0}));
    EXPECT_EQ(ys(1), (std::vector<float> {0, 50, 0, 0}));
    EXPECT_EQ(xs(2), (std::vector<float> {0, 255, 0, 0}));
    EXPECT_EQ(ys(2), (std::vector<float> {0, 255, 0, 0}));
}

TEST_F(CurveTest, FilesThatDisagreeWithTheFormatAreRefused)
{
    std::vector<uint8_t> truncated(kGreyIdentityFile.begin(), kGreyIdentityFile.end() - 1);
    std::vector<uint8_t> oversized = kGreyIdentityFile;
    oversized.insert(oversized.end(), 4, 0);
    std::vector<uint8_t> badMagic = kGreyIdentityFile;
    badMagic[3] = 'X';
    std::vector<uint8_t> badVersion = kGreyIdentityFile;
    badVersion[4] = 2;
    std::vector<float> two = {0, 255};
    const std::vector<std::pair<const char*, std::vector<uint8_t>>> cases = {
        {"truncated", truncated},
        {"oversized", oversized},
        {"bad magic", badMagic},
        {"version", badVersion},
        {"header only", std::vector<uint8_t>(kGreyIdentityFile.begin(), kGreyIdentityFile.begin() + 20)},
        {"no curves", CurveFile(0, 2, 1, "", {})},
        {"six curves", CurveFile(6, 2, 1, "", std::vector<std::vector<float>>(12, two))},
        {"one point", CurveFile(1, 1, 1, "", {{0}, {0}})},
        {"NaN", CurveFile(1, 2, 1, "", {{0, 255}, {0, NAN}})},
    };
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        std::string path = s_folder + "bad.tc";
        WriteBytes(path, bytes);
        EXPECT_EQ(Read(path), 1);
        EXPECT_EQ(m_engine->GetLastErrorCode(), kCmsErrCorrupt);
        EXPECT_TRUE(m_set.IsEmpty());
    }
    EXPECT_EQ(Read(s_folder + "absent.tc"), 1);
    EXPECT_EQ(m_engine->GetLastErrorCode(), kCmsErrNotFound);
}

TEST_F(CurveTest, SetsOfOneToFiveCurvesRoundTripAndLongDescriptionsAreCut)
{
    for (int curves = 1; curves <= 5; ++curves) {
        SCOPED_TRACE(curves);
        ASSERT_EQ(m_engine->BeginCurveWrite(&m_set, 3, curves, 1, m_xs, m_ys), 0);
        for (int c = 0; c < curves; ++c)
            for (int i = 0; i < 3; ++i)
                m_xs[c][i] = 100.0f * i + c, m_ys[c][i] = 255.0f - 50.0f * i - c;
        ASSERT_EQ(m_engine->SetCurveDescription(&m_set, "A description of thirty chars"), 0);
        std::string path = s_folder + "set.tc";
        ASSERT_EQ(m_engine->WriteCurveFile(&m_set, path.c_str()), 0) << m_engine->GetLastErrorText();
        ASSERT_EQ(Read(path), 0) << m_engine->GetLastErrorText();
        EXPECT_EQ(m_nCurves, curves);
        EXPECT_EQ(m_nPoints, 3);
        for (int c = 0; c < curves; ++c)
            for (int i = 0; i < 3; ++i) {
                EXPECT_EQ(m_xs[c][i], 100.0f * i + c);
                EXPECT_EQ(m_ys[c][i], 255.0f - 50.0f * i - c);
            }
        char text[26];
        ASSERT_EQ(m_engine->GetCurveDescription(&m_set, text, sizeof text), 0);
        EXPECT_STREQ(text, "A description of thirty c");
    }
    float* xs[5];
    float* ys[5];
    for (auto [points, curves] : {std::pair {1, 1}, {257, 1}, {2, 0}, {2, 6}}) {
        CmsHandle set = {};
        EXPECT_EQ(m_engine->BeginCurveWrite(&set, points, curves, 1, xs, ys), 1);
        EXPECT_EQ(m_engine->GetLastErrorCode(), kCmsErrArgument);
        EXPECT_TRUE(set.IsEmpty());
    }
}
