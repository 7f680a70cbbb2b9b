// The colour side of a scan against a recording engine: which profiles the scan transforms join,
// what the step list becomes, which records are freed, and how an engine failure reaches the user.

#include "colour/CmsResult.h"
#include "colour/EngineScanColour.h"
#include "colour/ScanTransforms.h"
#include "core/cms/CmsEngineInstance.h"
#include "core/image/Dib.h"
#include "core/settings/ScanSettings.h"
#include "tests/support/RefusingCmsEngine.h"
#include "tests/support/Reports.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// Fills every handle with its own serial number, records each call as a line of text and counts
// the handles freed.
class CRecordingEngine : public CRefusingCmsEngine {
public:
    int FreeHandle(CmsHandle* handle) override
    {
        if (!handle->IsEmpty())
            m_Freed.push_back(handle->bytes[0]);
        memset(handle, 0, sizeof *handle);
        return 0;
    }
    int GetProfileInfo(const char*, int, CmsObjectInfo* info) override
    {
        memset(info, 0, sizeof *info);
        info->classCode = m_nOutputClass;
        return 0;
    }
    int CreateTransformFromProfiles(int count, const char** names, const int*, CmsHandle* transform) override
    {
        if (m_bRefuseProfiles)
            return Fail(26, names[1]);
        m_Calls.push_back(count == 2 ? std::string(names[0]) + ">" + names[1] : "?");
        return Fill(transform);
    }
    int ApplyTransform(CmsHandle* transform, CCmsImageDesc*, CCmsImageDesc*) override
    {
        m_Calls.push_back("apply " + std::to_string(transform->bytes[0]));
        return m_nApplyResult == 0 ? 0 : Fail(m_nApplyResult, "refused");
    }
    int CreateSharpenStep(CmsHandle* step, int kernel, float amount, int, int points, const float*, float low,
                          float high) override
    {
        char text[96];
        snprintf(text, sizeof text, "sharpen %d %.1f %d %.0f %.0f", kernel, amount, points, low * 255, high * 255);
        m_Calls.push_back(text);
        return Fill(step);
    }
    int CreateStep4(CmsHandle* step, float a, float b, float c) override { return Step("descreen", step, a, b, c); }
    int CreateStep6(CmsHandle* step, int mode, float a, float, float c, float) override
    {
        return Step("resample", step, (float)mode, a, c);
    }
    int CreateStep8(CmsHandle* step, float a, float b, float c) override { return Step("line art", step, a, b, c); }
    int CreateGreyStep(CmsHandle* step, float r, float g, float b) override { return Step("grey", step, r, g, b); }
    int CombineTransforms(CmsHandle* out, int count, CmsHandle** steps) override
    {
        std::string text = "combine";
        for (int i = 0; i < count; ++i)
            text += " " + std::to_string(steps[i]->bytes[0]);
        m_Calls.push_back(text);
        return Fill(out);
    }
    int TransformImage(CmsHandle* transform, CCmsImageDesc*, int mode) override
    {
        m_Calls.push_back("run " + std::to_string(transform->bytes[0]) + " mode " + std::to_string(mode));
        return 0;
    }
    int OpenLink(const char* name, CmsHandle* handle) override
    {
        if (std::string(name) == "absent")
            return Fail(26, name);
        m_Calls.push_back(std::string("link ") + name);
        return Fill(handle);
    }

    int32_t m_nOutputClass = kCmsClassOutput;
    bool m_bRefuseProfiles = false;
    int m_nApplyResult = 0;
    std::vector<std::string> m_Calls;
    std::vector<int> m_Freed;

private:
    int Fill(CmsHandle* handle)
    {
        memset(handle, 0, sizeof *handle);
        handle->bytes[0] = (uint8_t)++m_nSerial;
        return 0;
    }
    int Step(const char* name, CmsHandle* step, float a, float b, float c)
    {
        char text[96];
        snprintf(text, sizeof text, "%s %g %g %g", name, a, b, c);
        m_Calls.push_back(text);
        return Fill(step);
    }
    int m_nSerial = 0;
};

}  // namespace

class ScanTransformsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        LoadEnglishCatalog();
        g_pCmsEngine = &m_Engine;
        g_pScanSettings = &m_Settings;
        const char* names[kProfileNameCount] = {"inRefl", "inFilm", "outRgb", "outCmyk", "None"};
        for (int i = 0; i < kProfileNameCount; ++i)
            m_Settings.SetProfileName(i, names[i]);
        SetType(kImageRgb);
    }
    void TearDown() override
    {
        FreeScanTransforms();
        g_pCmsEngine = nullptr;
        g_pScanSettings = nullptr;
    }
    void SetType(int32_t type) { m_Settings.SetParamAllTypes(kParamImageType, type); }

    CRecordingEngine m_Engine;
    CScanSettings m_Settings;
};

// The input profile follows the original, the output profile the image type; with a monitor
// profile the image passes through the monitor's space unless the output is a monitor profile.
TEST_F(ScanTransformsTest, ProfileRouteJoinsTheProfilesOfTheOriginalAndTheImageType)
{
    struct Case {
        const char* name;
        int32_t type;
        int32_t original;
        const char* monitor;
        int32_t outputClass;
        std::vector<std::string> built;
        bool secondary;
        bool main;
    };
    const Case cases[] = {
        {"rgb reflective", kImageRgb, 0, "None", kCmsClassOutput, {"inRefl>outRgb"}, false, true},
        {"cmyk slide", kImageCmyk, 1, "None", kCmsClassOutput, {"inFilm>outCmyk"}, false, true},
        {"rgb negative", kImageRgb, 2, "None", kCmsClassOutput, {"inFilm>outRgb"}, false, true},
        {"through the monitor", kImageRgb, 0, "mon", kCmsClassOutput, {"inRefl>mon", "mon>outRgb"}, true, true},
        {"monitor as output", kImageRgb, 0, "mon", kCmsClassMonitor, {"inRefl>outRgb"}, true, false},
        {"cmyk through the monitor", kImageCmyk, 0, "mon", kCmsClassMonitor, {"inRefl>mon", "mon>outCmyk"}, true,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_Engine.m_Calls.clear();
        m_Engine.m_nOutputClass = c.outputClass;
        SetType(c.type);
        m_Settings.SetParamAllTypes(kParamOriginal, c.original);
        m_Settings.SetProfileName(4, c.monitor);
        CDescriptorPair pair = {};
        EXPECT_TRUE(RebuildScanTransforms(pair));
        EXPECT_EQ(c.built, m_Engine.m_Calls);
        EXPECT_EQ(c.secondary, IsSecondaryTransformInUse());
        EXPECT_EQ(c.main, IsMainTransformInUse());
    }
}

// A build that fails tells the user why: the engine's reason, or that no profile is chosen.
TEST_F(ScanTransformsTest, AFailedBuildIsReportedWithItsReason)
{
    CReportRecorder reports;
    CDescriptorPair pair = {};
    m_Engine.m_bRefuseProfiles = true;
    EXPECT_FALSE(RebuildScanTransforms(pair));
    EXPECT_EQ((std::vector<std::string>{"Colour management error 26: outRgb"}), reports.Texts());
    reports.Clear();
    m_Engine.m_bRefuseProfiles = false;
    m_Settings.SetProfileName(2, "None");
    EXPECT_FALSE(RebuildScanTransforms(pair));
    EXPECT_EQ(std::vector<int>{3332}, reports.Ids());
    EXPECT_FALSE(IsMainTransformInUse());
}

// Only transforms in use touch a block; a failing one stops it with the engine's reason.
TEST_F(ScanTransformsTest, BlocksPassOnlyTheTransformsInUse)
{
    CEngineScanColour colour;
    CDescriptorPair pair = {};
    EXPECT_TRUE(colour.ApplySecondaryTransform(pair));
    EXPECT_TRUE(colour.ApplyMainTransform(pair));
    EXPECT_TRUE(m_Engine.m_Calls.empty());

    ASSERT_TRUE(colour.RebuildScanTransforms(pair));
    m_Engine.m_Calls.clear();
    EXPECT_TRUE(colour.ApplySecondaryTransform(pair));
    EXPECT_TRUE(colour.ApplyMainTransform(pair));
    EXPECT_EQ(std::vector<std::string>{"apply 1"}, m_Engine.m_Calls);

    CReportRecorder reports;
    m_Engine.m_nApplyResult = 16;
    EXPECT_FALSE(colour.ApplyMainTransform(pair));
    EXPECT_EQ(std::vector<int>{3510}, reports.Ids());
}

TEST_F(ScanTransformsTest, AColourLinkIsOpenedByName)
{
    CDescriptorPair pair = {};
    EXPECT_TRUE(OpenLinkTransform(pair, "RGBLINK"));
    EXPECT_TRUE(IsMainTransformInUse());
    CReportRecorder reports;
    EXPECT_FALSE(OpenLinkTransform(pair, "absent"));
    EXPECT_FALSE(IsMainTransformInUse());
    EXPECT_EQ(std::vector<int>{3511}, reports.Ids());
}

// Each build takes the list as it is: the threshold a descreening step raises is raised for that
// build only. Every step record is freed once it is combined; a single step becomes the output
// transform itself.
TEST_F(ScanTransformsTest, TheStepListBuildsOneTransformAndFreesItsRecords)
{
    struct Case {
        const char* name;
        COutputSteps steps;
        std::vector<std::string> calls;
        std::vector<int> freed;
    };
    COutputSteps descreenAndSharpen;
    descreenAndSharpen.Add(4, 299.0f, 133.0f, 300.0f);
    descreenAndSharpen.Add(3, 3.0f, 3.0f, 1.0f, 10.0f);
    COutputSteps single;
    single.Add(50);
    COutputSteps withUnknownKind;
    withUnknownKind.Add(8, 300.0f, 150.0f, 0.5f);
    withUnknownKind.Add(7);
    withUnknownKind.Add(6, 300.0f, 300.0f, 150.0f, 150.0f);
    const Case cases[] = {
        {"descreen and sharpen",
         descreenAndSharpen,
         {"descreen 299 133 300", "sharpen 3 3.0 6 8 13", "combine 1 2", "run 3 mode 1"},
         {1, 2, 3}},
        {"one step", single, {"grey 77 151 28", "run 1 mode 1"}, {1}},
        {"a kind the engine has no step for",
         withUnknownKind,
         {"line art 300 150 0.5", "resample 2 300 150", "combine 1 0 2", "run 3 mode 1"},
         {1, 2, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (int run = 0; run < 2; ++run) {
            CRecordingEngine engine;
            g_pCmsEngine = &engine;
            CDescriptorPair pair = {};
            EXPECT_TRUE(RunOutputTransform(pair, c.steps, 1));
            EXPECT_EQ(c.calls, engine.m_Calls);
            EXPECT_EQ(c.freed, engine.m_Freed);
        }
    }
}

TEST_F(ScanTransformsTest, AnEmptyStepListIsRefused)
{
    CReportRecorder reports;
    CDescriptorPair pair = {};
    EXPECT_FALSE(RunOutputTransform(pair, COutputSteps(), 1));
    EXPECT_EQ(std::vector<int>{3521}, reports.Ids());
    EXPECT_TRUE(m_Engine.m_Calls.empty());
}

TEST_F(ScanTransformsTest, EndingWithoutAnOutputTransformDoesNothing)
{
    EXPECT_TRUE(EndOutputTransform());
    EXPECT_TRUE(m_Engine.m_Freed.empty());
}

namespace {

class CFailingEngine : public CRefusingCmsEngine {
public:
    int Raise(int code, const char* text) { return Fail(code, text); }
};

}  // namespace

TEST(CheckCmsResult, EachEngineCodeHasItsMessage)
{
    LoadEnglishCatalog();
    struct Case {
        int code;
        const char* text;
        std::vector<std::string> shown;
    };
    const Case cases[] = {
        {6, "image block", {"Colour management: not enough memory: image block"}},
        {7, "", {"Colour management: the operation was stopped."}},
        {9, "C:\\a.icc", {"Colour management: the file could not be read: C:\\a.icc"}},
        {16, "RGBOUT", {"Colour management: the profile is not valid: RGBOUT"}},
        {18, "", {"The parts could not be combined."}},
        {21, "stopped", {}},
        {26, "REFLECT", {"Colour management error 26: REFLECT"}},
        {29, "", {"Colour management error 29."}},
        {0, "", {}},
    };
    CFailingEngine engine;
    g_pCmsEngine = &engine;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        CReportRecorder reports;
        EXPECT_FALSE(CheckCmsResult(engine.Raise(c.code, c.text)));
        EXPECT_EQ(c.shown, reports.Texts());
    }
    CReportRecorder reports;
    EXPECT_TRUE(CheckCmsResult(0));
    EXPECT_TRUE(CheckCmsResult(2));
    EXPECT_TRUE(reports.Ids().empty());
    g_pCmsEngine = nullptr;
}

TEST(CodeTexts, NameTheCodesOfTheirFamily)
{
    LoadEnglishCatalog();
    CReportRecorder reports;
    EXPECT_EQ("RGB", SpaceCodeText(kCmsSpaceRgb));
    EXPECT_EQ("CMYK", SpaceCodeText(kCmsSpaceCmyk));
    EXPECT_EQ("Unknown", SpaceCodeText(0));
    EXPECT_EQ("Reflective", ModeCodeText(kCmsModeReflective));
    EXPECT_EQ("Negative", ModeCodeText(kCmsModeNegative));
    EXPECT_EQ("GCR", ModificationCodeText(0xC01005));
    EXPECT_TRUE(reports.Ids().empty());
    EXPECT_EQ("", SpaceCodeText(kCmsModeReflective));
    EXPECT_EQ("", ModeCodeText(0xC09004));
    EXPECT_EQ("", ModificationCodeText(0xC03005));
    EXPECT_EQ((std::vector<int>{3417, 3418, 3416}), reports.Ids());
}

TEST(ImageDesc, ABitmapIsDescribedBlueFirstWithItsPaddedRows)
{
    CDib24 colour(5, 3, 300);
    ASSERT_NE(nullptr, colour.m_pBits);
    CCmsImageDesc desc = {};
    desc.DescribeDib(colour, colour.m_pBits);
    EXPECT_EQ(kCmsSpaceRgb, desc.layout);
    EXPECT_EQ(3, desc.channelCount);
    EXPECT_EQ((std::vector<int32_t>{2, 1, 0}),
              std::vector<int32_t>(desc.channelOffset, desc.channelOffset + 3));
    EXPECT_EQ(colour.m_pBits, desc.channels[0].data);
    EXPECT_EQ(3, desc.channels[0].pixelStep);
    EXPECT_EQ(16, desc.channels[0].rowStep);
    EXPECT_EQ(5, desc.width);
    EXPECT_EQ(3, desc.height);

    CDib8 grey(5, 3, 300);
    desc.DescribeDib(grey, grey.m_pBits);
    EXPECT_EQ(kCmsSpaceGrey, desc.layout);
    EXPECT_EQ(1, desc.channelCount);
    EXPECT_EQ(8, desc.channels[0].rowStep);
}

TEST(ImageDesc, GeometryWithoutPixelStepTakesTheBytesOfItsSamples)
{
    CCmsImageDesc desc = {};
    desc.channels[0].bitsPerSample = 1;
    EXPECT_EQ(2, desc.SetGeometry(0, 0, 9, 4));
    desc.channels[0].bitsPerSample = 8;
    EXPECT_EQ(9, desc.SetGeometry(0, 0, 9, 4));
    desc.channels[0].pixelStep = 6;
    EXPECT_EQ(54, desc.SetGeometry(1, 2, 9, 4));
    EXPECT_EQ(1, desc.x);
    EXPECT_EQ(4, desc.height);
}
