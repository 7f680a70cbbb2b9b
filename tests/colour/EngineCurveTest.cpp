// Tone curves over an engine that fits straight lines between the points, so that every value the
// curve classes hand out can be checked by hand.

#include "colour/EngineCurve.h"
#include "core/cms/CmsEngineInstance.h"
#include "tests/support/RefusingCmsEngine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <vector>

namespace {

class CLineEngine : public CRefusingCmsEngine {
public:
    int FreeHandle(CmsHandle* handle) override
    {
        if (!handle->IsEmpty())
            ++m_nFreed;
        memset(handle, 0, sizeof *handle);
        return 0;
    }
    int FitCurve(CmsHandle* fit, CmsHandle*, const float* xs, const float* ys, int count, int) override
    {
        if (count < 2)
            return Fail(2, "fewer than two points");
        ++m_nFits;
        int id = ++m_nSerial;
        memcpy(fit->bytes, &id, sizeof id);
        m_Fits[id] = {std::vector<float>(xs, xs + count), std::vector<float>(ys, ys + count)};
        return 0;
    }
    int EvaluateCurve(CmsHandle* fit, CmsHandle*, float* x, float* y, int) override
    {
        int id = 0;
        memcpy(&id, fit->bytes, sizeof id);
        auto found = m_Fits.find(id);
        if (found == m_Fits.end())
            return Fail(24, "no fit");
        const auto& [xs, ys] = found->second;
        size_t i = 1;
        while (i + 1 < xs.size() && xs[i] < *x)
            ++i;
        *y = ys[i - 1] + (ys[i] - ys[i - 1]) * (*x - xs[i - 1]) / (xs[i] - xs[i - 1]);
        return 0;
    }
    int ReadCurveFile(CmsHandle*, const char*, int* points, int* curves, int* third, float** xs, float** ys) override
    {
        *points = (int)m_FileXs[0].size();
        *curves = (int)m_FileXs.size();
        *third = 1;
        for (size_t c = 0; c < m_FileXs.size(); ++c) {
            xs[c] = m_FileXs[c].data();
            ys[c] = m_FileYs[c].data();
        }
        return 0;
    }
    int GetCurveDescription(CmsHandle*, char* text, int size) override
    {
        snprintf(text, (size_t)size, "%s", "from the file");
        return 0;
    }
    int BeginCurveWrite(CmsHandle*, int points, int curves, int, float** xs, float** ys) override
    {
        m_WrittenXs.assign((size_t)curves, std::vector<float>((size_t)points, -1.0f));
        m_WrittenYs = m_WrittenXs;
        for (int c = 0; c < curves; ++c) {
            xs[c] = m_WrittenXs[(size_t)c].data();
            ys[c] = m_WrittenYs[(size_t)c].data();
        }
        return 0;
    }
    int SetCurveDescription(CmsHandle*, const char* text) override
    {
        m_strDescription = text;
        return 0;
    }
    int WriteCurveFile(CmsHandle*, const char*) override { return 0; }

    int m_nFits = 0;
    int m_nFreed = 0;
    std::vector<std::vector<float>> m_FileXs, m_FileYs, m_WrittenXs, m_WrittenYs;
    std::string m_strDescription;

private:
    int m_nSerial = 0;
    std::map<int, std::pair<std::vector<float>, std::vector<float>>> m_Fits;
};

}  // namespace

class EngineCurveTest : public ::testing::Test {
protected:
    void SetUp() override { g_pCmsEngine = &m_Engine; }
    void TearDown() override { g_pCmsEngine = nullptr; }

    CLineEngine m_Engine;
};

TEST_F(EngineCurveTest, ADefaultCurveIsTheIdentityFittedOnFirstUse)
{
    CEngineCurve curve;
    ASSERT_EQ(2, curve.PointCount());
    EXPECT_EQ(MakeCurvePoint(0, 0), curve.GetPoint(0));
    EXPECT_EQ(MakeCurvePoint(255, 255), curve.GetPoint(1));
    EXPECT_TRUE(curve.IsChanged());
    EXPECT_FLOAT_EQ(100.0f, curve.Evaluate(100));
    EXPECT_FLOAT_EQ(7.0f, curve.Evaluate(7));
    EXPECT_EQ(1, m_Engine.m_nFits);
    EXPECT_FALSE(curve.IsChanged());
}

// Outside its points a curve keeps the value at its end points.
TEST_F(EngineCurveTest, EvaluationOutsideThePointsTakesTheEnds)
{
    const float xs[3] = {20, 100, 200};
    const float ys[3] = {50, 150, 250};
    CEngineCurve curve(3, xs, ys);
    EXPECT_FLOAT_EQ(50.0f, curve.Evaluate(0));
    EXPECT_FLOAT_EQ(100.0f, curve.Evaluate(60));
    EXPECT_FLOAT_EQ(250.0f, curve.Evaluate(255));
    EXPECT_EQ(MakeCurvePoint(60, 100), curve.EvaluateAt(60));
}

// A curve whose points were all taken away still answers, and such a set is not saved.
TEST_F(EngineCurveTest, CurvesWithoutTwoPointsStaySafe)
{
    CEngineCurveSet set(0);
    CEngineCurve& curve = *set.GetCurve(0);
    EXPECT_TRUE(curve.RemovePoint(0));
    curve.SetPoint(255, 200);
    EXPECT_FLOAT_EQ(200.0f, curve.Evaluate(30));
    EXPECT_TRUE(curve.RemovePoint(255));
    EXPECT_EQ(0, curve.PointCount());
    EXPECT_FLOAT_EQ(30.0f, curve.Evaluate(30));
    EXPECT_FALSE(curve.RemovePoint(30));
    EXPECT_EQ(1, set.Save("x.tc"));
    EXPECT_EQ(kCmsErrArgument, set.TakeError());
    EXPECT_EQ(0, set.TakeError());
    EXPECT_TRUE(m_Engine.m_WrittenXs.empty());
}

TEST_F(EngineCurveTest, PointsStayInOrderOfX)
{
    CEngineCurve curve;
    curve.SetPoint(128, 64);
    curve.SetPoint(64, 10);
    curve.SetPoint(128, 90);
    ASSERT_EQ(4, curve.PointCount());
    EXPECT_EQ((std::vector<uint32_t>{MakeCurvePoint(0, 0), MakeCurvePoint(64, 10), MakeCurvePoint(128, 90),
                                     MakeCurvePoint(255, 255)}),
              (std::vector<uint32_t>{curve.GetPoint(0), curve.GetPoint(1), curve.GetPoint(2), curve.GetPoint(3)}));
    EXPECT_EQ(2, curve.IndexOfX(128));
    EXPECT_EQ(-1, curve.IndexOfX(100));
    uint32_t found = 0;
    EXPECT_TRUE(curve.FindPointNear(66, 12, 2, found));
    EXPECT_EQ(MakeCurvePoint(64, 10), found);
    EXPECT_FALSE(curve.FindPointNear(70, 10, 2, found));
    EXPECT_TRUE(curve.IsEndPoint(255, 255));
    EXPECT_FALSE(curve.IsEndPoint(64, 10));
    curve.Invert();
    EXPECT_EQ(MakeCurvePoint(64, 245), curve.GetPoint(1));
    EXPECT_TRUE(curve.IsInverted());
}

TEST_F(EngineCurveTest, NeighboursOfAPlaceOnTheCurve)
{
    struct Case {
        uint32_t x;
        int32_t left[2], right[2];
        bool atOrBeforeFirst, beforeFirst, atOrAfterLast, afterLast;
    };
    // Points at 10, 100, 200.
    const Case cases[] = {
        {5, {-1, 77}, {100, 120}, true, true, false, false},
        {10, {-1, 77}, {100, 120}, true, false, false, false},
        {50, {10, 20}, {100, 120}, false, false, false, false},
        {100, {10, 20}, {200, 220}, false, false, false, false},
        {200, {100, 120}, {256, 77}, false, false, true, false},
        {230, {100, 120}, {256, 77}, false, false, true, true},
    };
    const float xs[3] = {10, 100, 200};
    const float ys[3] = {20, 120, 220};
    CEngineCurve curve(3, xs, ys);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.x);
        int32_t lx, ly, rx, ry;
        curve.FindNeighbours(c.x, 77, lx, ly, rx, ry);
        EXPECT_EQ((std::vector<int32_t>{c.left[0], c.left[1], c.right[0], c.right[1]}),
                  (std::vector<int32_t>{lx, ly, rx, ry}));
        EXPECT_EQ((std::vector<bool>{c.atOrBeforeFirst, c.beforeFirst, c.atOrAfterLast, c.afterLast}),
                  (std::vector<bool>{curve.AtOrBeforeFirst(), curve.BeforeFirst(), curve.AtOrAfterLast(),
                                     curve.AfterLast()}));
    }
}

TEST_F(EngineCurveTest, ACopyHasAFitOfItsOwn)
{
    int freedBefore = 0;
    {
        auto original = std::make_unique<CEngineCurve>();
        original->SetPoint(128, 200);
        EXPECT_FLOAT_EQ(200.0f, original->Evaluate(128));
        CEngineCurve copy(*original);
        original.reset();
        freedBefore = m_Engine.m_nFreed;
        EXPECT_FLOAT_EQ(200.0f, copy.Evaluate(128));
    }
    EXPECT_EQ(freedBefore + 1, m_Engine.m_nFreed);
}

// A file's curves end where their x stops rising; values beyond the levels are kept within them,
// and a value that is no number refuses the whole file.
TEST_F(EngineCurveTest, LoadTakesEachCurveUpToItsTrailingZeros)
{
    struct Case {
        const char* name;
        std::vector<std::vector<float>> xs, ys;
        int result;
        int mode;
        std::vector<int> points;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Case cases[] = {
        {"grey", {{0, 128, 255}}, {{0, 100, 255}}, 0, 0, {3}},
        {"rgb with a shorter curve",
         {{0, 255, 0}, {0, 128, 255}, {0, 255, 0}, {0, 255, 0}},
         {{0, 255, 0}, {0, 64, 255}, {10, 245, 0}, {0, 255, 0}},
         0,
         1,
         {2, 3, 2, 2}},
        {"two curves", {{0, 255}, {0, 255}}, {{0, 255}, {0, 255}}, 0, 0, {2, 2}},
        {"out of range", {{-5, 300}}, {{-1, 999}}, 0, 0, {2}},
        {"no number", {{0, 255}}, {{0, nan}}, 1, -1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_Engine.m_FileXs = c.xs;
        m_Engine.m_FileYs = c.ys;
        CEngineCurveSet set("curves.tc");
        EXPECT_EQ(c.result, set.LastResult());
        if (c.result != 0) {
            EXPECT_EQ(kCmsErrCorrupt, set.TakeError());
            EXPECT_EQ(0, set.GetCurveCount());
            continue;
        }
        EXPECT_EQ(c.mode, set.GetMode());
        EXPECT_EQ("from the file", set.GetDescription());
        ASSERT_EQ((int)c.points.size(), set.GetCurveCount());
        for (size_t i = 0; i < c.points.size(); ++i)
            EXPECT_EQ(c.points[i], set.GetCurve((int)i)->PointCount()) << i;
    }
    m_Engine.m_FileXs = {{-5, 300}};
    m_Engine.m_FileYs = {{-1, 999}};
    CEngineCurveSet clamped("curves.tc");
    EXPECT_EQ(MakeCurvePoint(0, 0), clamped.GetCurve(0)->GetPoint(0));
    EXPECT_EQ(MakeCurvePoint(255, 255), clamped.GetCurve(0)->GetPoint(1));
}

// Shorter curves are written with zeros after their last point, which a read takes as their end.
TEST_F(EngineCurveTest, SaveWritesEveryCurveZeroPadded)
{
    CEngineCurveSet set(1);
    set.GetCurve(1)->SetPoint(128, 64);
    set.SetDescription("a description longer than twenty-five characters");
    EXPECT_EQ(0, set.Save("curves.tc"));
    ASSERT_EQ(4u, m_Engine.m_WrittenXs.size());
    EXPECT_EQ((std::vector<float>{0, 255, 0}), m_Engine.m_WrittenXs[0]);
    EXPECT_EQ((std::vector<float>{0, 128, 255}), m_Engine.m_WrittenXs[1]);
    EXPECT_EQ((std::vector<float>{0, 64, 255}), m_Engine.m_WrittenYs[1]);
    EXPECT_EQ(25u, m_Engine.m_strDescription.size());
}
