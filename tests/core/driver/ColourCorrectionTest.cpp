#include "core/cms/CmsEngineInstance.h"
#include "core/cms/CmsRecords.h"
#include "tests/core/driver/DriverTestSupport.h"
#include "tests/core/driver/FakeCmsEngine.h"

#include <cstring>

namespace {

class ColourCorrectionTest : public DriverFixture {
protected:
    void SetUp() override
    {
        DriverFixture::SetUp();
        g_pCmsEngine = &m_Engine;
        m_Settings.SetParamAllTypes(kParamImageType, kImageRgb);
        m_Settings.SetParamAllTypes(kParamOriginal, 2);
        m_Settings.SetCurrentFilmTypeName("Portra 160");
        const int32_t values[][2] = {
            {101, 120}, {102, 0}, {103, 0}, {135, 250}, {136, 260}, {137, 270},
            {124, 2100}, {125, 2200}, {126, 2300}, {129, 1000}, {130, 1100}, {131, 1200},
            {132, 500}, {133, 600}, {134, 700}, {123, 0},
        };
        for (const auto& v : values)
            m_Settings.SetParam((uint16_t)v[0], v[1]);
    }
    void TearDown() override
    {
        g_pCmsEngine = nullptr;
        DriverFixture::TearDown();
    }

    template <class T>
    T At(size_t offset) const
    {
        T value;
        memcpy(&value, m_Engine.m_BlockSeen.data() + offset, sizeof value);
        return value;
    }

    CFakeCmsEngine m_Engine;
};

}  // namespace

TEST_F(ColourCorrectionTest, BlockBytesForAColourNegative)
{
    m_Engine.m_Results[0] = 1.25f;
    m_Engine.m_Results[5] = 2.5f;
    ASSERT_EQ(kDriverOk, m_pDriver->PrepareFilmColourCorrection());
    ASSERT_EQ(sizeof(CmsCorrectionBlock), m_Engine.m_BlockSeen.size());
    EXPECT_EQ("Portra 160", m_Engine.m_strOpenedFilm);
    EXPECT_EQ(0x8018u | 0x1u | 0x4000u, At<uint32_t>(0));
    EXPECT_FLOAT_EQ(1.0f, At<float>(4));
    EXPECT_FLOAT_EQ(0.12f, At<float>(16));
    EXPECT_FLOAT_EQ(0.25f, At<float>(28));
    EXPECT_FLOAT_EQ(2.3f, At<float>(48));
    EXPECT_FLOAT_EQ(0.27f, At<float>(60));     // copy of 28-39
    EXPECT_FLOAT_EQ(2.1f, At<float>(64));      // copy of 40-51
    EXPECT_FLOAT_EQ(1.1f, At<float>(80));
    EXPECT_FLOAT_EQ(20.0f, At<float>(96));
    EXPECT_FLOAT_EQ(0.0f, At<float>(6540));    // the second density set is not chosen
    EXPECT_EQ(1250, m_Settings.GetParam(kParamMinDensityRed));
    EXPECT_EQ(2500, m_Settings.GetParam(kParamMaxDensityBlue));
    EXPECT_NE(nullptr, m_pDriver->m_pCorrectionBlock);
}

TEST_F(ColourCorrectionTest, DensitySetChoice)
{
    struct Case { int32_t choice; uint32_t flags; float set1; float set2; };
    const Case kCases[] = {
        {1, 0x4000, 1.0f, 0.0f},
        {2, 0x20000, 0.0f, 0.5f},
        {3, 0x20000, 0.0f, 0.5f},
        {4, 0, 0.0f, 0.0f},
    };
    m_Settings.SetParam(kParamFogRed, 0);
    for (const Case& c : kCases) {
        m_Settings.SetParam(kParamPrescanDone, c.choice);
        ASSERT_EQ(kDriverOk, m_pDriver->PrepareFilmColourCorrection());
        EXPECT_EQ(0x8018u | c.flags, At<uint32_t>(0)) << c.choice;
        EXPECT_FLOAT_EQ(c.set1, At<float>(76)) << c.choice;
        EXPECT_FLOAT_EQ(c.set2, At<float>(6540)) << c.choice;
    }
}

TEST_F(ColourCorrectionTest, EngineCorrectionStartsFromTheRecordsBlock)
{
    CmsCorrectionBlock& stored = m_Settings.CorrectionBlock();
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < 256; ++i) {
            stored.curveIn[c][i] = (float)i;
            stored.curveOut[c][i] = (float)(255 - i);
        }
    stored.minDensity[1] = 0.3f;
    stored.maxDensity[2] = 2.7f;
    ASSERT_EQ(kDriverOk, m_pDriver->PrepareEngineColourCorrection());
    EXPECT_FLOAT_EQ(254.0f, At<float>(128 + 254 * 4));
    EXPECT_FLOAT_EQ(1.0f, At<float>(3200 + 254 * 4));
    EXPECT_FLOAT_EQ(0.3f, At<float>(56));
    EXPECT_FLOAT_EQ(2.7f, At<float>(72));
}

TEST_F(ColourCorrectionTest, EngineRefusalsLeaveTheDensitiesAlone)
{
    m_Settings.SetParam(kParamMinDensityRed, 42);
    m_Engine.m_nOpenResult = 6;
    EXPECT_EQ(kDriverFailed, m_pDriver->PrepareFilmColourCorrection());
    m_Engine.m_nOpenResult = 0;
    m_Engine.m_nComputeResult = 9;
    EXPECT_EQ(kDriverFailed, m_pDriver->PrepareEngineColourCorrection());
    EXPECT_EQ(42, m_Settings.GetParam(kParamMinDensityRed));
    g_pCmsEngine = nullptr;
    EXPECT_EQ(kDriverFailed, m_pDriver->PrepareFilmColourCorrection());
    EXPECT_TRUE(m_Reports.Ids().empty());
}

// With no film type named the scan takes the first one the engine lists, and the engine's object
// folder is put back; an engine that lists none fails the correction before opening anything.
TEST_F(ColourCorrectionTest, NoFilmTypeNamedTakesTheFirstListed)
{
    m_Settings.SetCurrentFilmTypeName("");
    m_Engine.m_FilmTypes = {"NEG100", "NEG400"};
    ASSERT_EQ(kDriverOk, m_pDriver->PrepareFilmColourCorrection());
    EXPECT_EQ("NEG100", m_Engine.m_strOpenedFilm);
    EXPECT_EQ("saved\\", m_Engine.m_strFolder);

    m_Engine.m_strOpenedFilm.clear();
    m_Engine.m_FilmTypes.clear();
    EXPECT_EQ(kDriverFailed, m_pDriver->PrepareFilmColourCorrection());
    EXPECT_EQ("", m_Engine.m_strOpenedFilm);
    EXPECT_EQ("saved\\", m_Engine.m_strFolder);
}

TEST_F(ColourCorrectionTest, AFamilysMaximumDensitiesReplaceTheLevelsCopy)
{
    const float maximum[3] = {3.3f, 3.3f, 3.3f};
    CFilmCorrection film;
    film.maximumDensities = maximum;
    ASSERT_EQ(kDriverOk, m_pDriver->PrepareFilmColourCorrection(film));
    for (size_t offset : {64u, 68u, 72u})
        EXPECT_FLOAT_EQ(3.3f, At<float>(offset)) << offset;
    EXPECT_FLOAT_EQ(2.1f, At<float>(40));       // the levels themselves stay
    EXPECT_FLOAT_EQ(0.25f, At<float>(52));      // the minimum densities are still copied
}
