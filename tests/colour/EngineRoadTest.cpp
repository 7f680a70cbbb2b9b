// Colour management over the installed engine and its default content: what the engine holds, and
// the scan's steps and transforms as the output stage runs them.

#include "colour/CmsEngineLoader.h"
#include "colour/CmsResult.h"
#include "colour/ScanTransforms.h"
#include "core/cms/CmsEngineInstance.h"
#include "tests/support/Reports.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

class EngineRoadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        LoadEnglishCatalog();
        ASSERT_TRUE(m_Loader.IsLoaded()) << m_Loader.GetFailedFile();
        m_pEngine = m_Loader.GetInstance(nullptr);
        ASSERT_NE(nullptr, m_pEngine);
        g_pCmsEngine = m_pEngine;
    }
    void TearDown() override
    {
        g_pCmsEngine = nullptr;
        if (m_pEngine != nullptr)
            m_Loader.FreeInstance(m_pEngine);
    }
    std::string CurrentFolder()
    {
        const char* folder = nullptr;
        m_pEngine->GetAttributes(kCmsCategoryObjects, nullptr, kCmsAttrObjectFolder, &folder);
        return folder != nullptr ? folder : "";
    }

    CCmsEngineLoader m_Loader;
    CCmsEngine* m_pEngine = nullptr;
};

TEST_F(EngineRoadTest, TheDefaultContentHoldsALinkOfEveryKindAndTheFilmTypes)
{
    struct Case {
        const char* name;
        int32_t space;
        int32_t mode;
        bool found;
    };
    const Case cases[] = {
        {"rgb reflective", kCmsSpaceRgb, kCmsModeReflective, true},
        {"rgb slides", kCmsSpaceRgb, kCmsModeTransparency, true},
        {"rgb negatives", kCmsSpaceRgb, kCmsModeNegative, true},
        {"cmyk reflective", kCmsSpaceCmyk, kCmsModeReflective, true},
        {"cmyk slides", kCmsSpaceCmyk, kCmsModeTransparency, false},
        {"film types", kCmsModeNegative, kCmsModeNegative, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(0, m_pEngine->SetAttributes(kCmsCategoryObjects, nullptr, kCmsAttrObjectFolder, ""));
        CReportRecorder reports;
        EXPECT_EQ(c.found, HasProfileOfKind(c.space, c.mode));
        EXPECT_EQ(c.found ? std::vector<int>{} : std::vector<int>{3536}, reports.Ids());
        EXPECT_EQ("", CurrentFolder());
    }
}
