// Colour management over the installed engine and its default content: what the engine holds, and
// the scan's steps and transforms as the output stage runs them.

#include "colour/ChromabondChain.h"
#include "colour/CmsEngineLoader.h"
#include "colour/EngineCurve.h"
#include "colour/FlavorFile.h"
#include "colour/ToneCurveFile.h"
#include "colour/CmsResult.h"
#include "colour/ScanTransforms.h"
#include "core/cms/CmsEngineInstance.h"
#include "tests/engine/EngineFixture.h"
#include "tests/support/Reports.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <fstream>
#include <iterator>
#include <memory>
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

namespace {

std::string ReadFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string IccTagOf(const std::string& path)
{
    TIFF* tiff = TIFFOpen(path.c_str(), "r");
    if (tiff == nullptr)
        return "(no TIFF)";
    uint32_t count = 0;
    void* data = nullptr;
    std::string tag;
    if (TIFFGetField(tiff, TIFFTAG_ICCPROFILE, &count, &data) == 1 && data != nullptr)
        tag.assign((const char*)data, count);
    TIFFClose(tiff);
    return tag;
}

}  // namespace

// A file carries the profile of the transform that wrote its data; the same memory written again
// without one, as the next scan of the same process does, gives a file without a profile.
TEST_F(EngineRoadTest, OnlyDataAProfileTransformWroteCarryItsProfile)
{
    std::vector<uint8_t> block(4 * 3 * 2, 100);
    CCmsImageDesc desc = {};
    desc.imageWidth = desc.width = 4;
    desc.imageHeight = desc.height = 2;
    desc.channelCount = 3;
    for (int c = 0; c < 3; ++c) {
        desc.channels[c] = CmsChannelDesc{0, block.data() + c, 8, 3, 12};
        desc.channelOffset[c] = c;
    }
    desc.scale[0] = desc.scale[1] = 300;
    desc.layout = kCmsSpaceRgb;
    CmsHandle transform = {};
    const char* names[2] = {"REFLECT", "RGBOUT"};
    const int flags[2] = {0, 0};
    ASSERT_EQ(0, m_pEngine->CreateTransformFromProfiles(2, names, flags, &transform)) << m_pEngine->GetLastErrorText();

    const std::string folder = enginetest::MakeTempFolder("profiletag");
    const std::string managed = folder + "managed.tif", plain = folder + "plain.tif";
    ASSERT_EQ(0, g_EngineImageFile.Open(managed.c_str(), &desc, 0)) << m_pEngine->GetLastErrorText();
    ASSERT_EQ(0, m_pEngine->ApplyTransform(&transform, &desc, &desc)) << m_pEngine->GetLastErrorText();
    EXPECT_EQ(0, g_EngineImageFile.Write(&desc));
    EXPECT_EQ(0, g_EngineImageFile.Close(&desc));
    ASSERT_EQ(0, g_EngineImageFile.Open(plain.c_str(), &desc, 0));
    EXPECT_EQ(0, g_EngineImageFile.Write(&desc));
    EXPECT_EQ(0, g_EngineImageFile.Close(&desc));
    m_pEngine->FreeHandle(&transform);

    const std::string rgbOut = ReadFileBytes(std::string(m_Loader.GetEngineDirectory()) + "PROFILES\\RGBOUT.icc");
    ASSERT_FALSE(rgbOut.empty());
    EXPECT_EQ(rgbOut, IccTagOf(managed));
    EXPECT_EQ("", IccTagOf(plain));
    enginetest::RemoveTree(folder);
}

// The program unloads the engine at exit: nothing the engine did may keep its library in memory.
TEST(EngineLibrary, IsUnloadedOnceItsLoaderEndsAfterTransforms)
{
    {
        CCmsEngineLoader loader;
        ASSERT_TRUE(loader.IsLoaded()) << loader.GetFailedFile();
        CCmsEngine* engine = loader.GetInstance(nullptr);
        ASSERT_NE(nullptr, engine);
        const char* joinable[2] = {"REFLECT", "RGBOUT"};
        const char* refused[3] = {"REFLECT", "CMYKOUT", "GENERIC"};
        const int flags[3] = {0, 0, 0};
        CmsHandle transform = {};
        EXPECT_EQ(0, engine->CreateTransformFromProfiles(2, joinable, flags, &transform));
        engine->FreeHandle(&transform);
        engine->CreateTransformFromProfiles(3, refused, flags, &transform);
        engine->FreeHandle(&transform);
        loader.FreeInstance(engine);
    }
    EXPECT_EQ(nullptr, GetModuleHandleA("CMS02732.DLL"));
}

// A curve set written through the engine reads back as it was, and the curves pass their points.
TEST_F(EngineRoadTest, CurveFilesKeepTheirCurves)
{
    const std::string folder = enginetest::MakeTempFolder("curves");
    const std::string path = folder + "s-curve.tc";
    CEngineCurveSet written(1);
    written.GetCurve(3)->SetPoint(64, 40);
    written.GetCurve(3)->SetPoint(192, 215);
    written.GetCurve(0)->Invert();
    written.SetDescription("an S-curve");
    ASSERT_EQ(0, written.Save(path.c_str())) << written.TakeError();
    CEngineCurveSet read(path.c_str());
    ASSERT_EQ(0, read.LastResult()) << read.TakeError();
    EXPECT_EQ(1, read.GetMode());
    ASSERT_EQ(4, read.GetCurveCount());
    EXPECT_EQ("an S-curve", read.GetDescription());
    EXPECT_EQ(4, read.GetCurve(3)->PointCount());
    EXPECT_EQ(2, read.GetCurve(1)->PointCount());
    EXPECT_NEAR(40.0f, read.GetCurve(3)->Evaluate(64), 0.5f);
    EXPECT_NEAR(215.0f, read.GetCurve(3)->Evaluate(192), 0.5f);
    EXPECT_NEAR(255.0f, read.GetCurve(0)->Evaluate(0), 0.5f);
    EXPECT_NEAR(0.0f, read.GetCurve(0)->Evaluate(255), 0.5f);
    CEngineCurveSet missing((folder + "absent.tc").c_str());
    EXPECT_NE(0, missing.LastResult());
    EXPECT_NE(0, missing.TakeError());
    enginetest::RemoveTree(folder);
}

// The default flavour parts as a chain: a flavour file of them reads back into a chain that
// changes a picture exactly as the parts themselves do.
TEST_F(EngineRoadTest, AFlavourFileOfTheDefaultPartsActsAsTheParts)
{
    const std::string ini = enginetest::MakeTempFolder("flavourini") + "mirevant.ini";
    std::string base = enginetest::InstalledBase();
    base.pop_back();
    ASSERT_TRUE(enginetest::WriteTextFile(ini, "[Zelk CMS]\r\nBaseDir=" + base + "\r\n"));
    const std::string ccorr = ColourCorrectionFolder(ini.c_str()) + "\\";
    auto* entries = new CChromabondHandle[2];
    ASSERT_TRUE(entries[0].Load((ccorr + "rgb\\Warmer.icc").c_str()));
    ASSERT_TRUE(entries[1].Load((ccorr + "rgb\\Contrast.icc").c_str()));
    CChromabondChain chain;
    chain.Set(entries, 2, true);

    auto picture = [](std::vector<uint8_t>& pixels) {
        CCmsImageDesc desc = {};
        desc.imageWidth = desc.width = 4;
        desc.imageHeight = desc.height = 1;
        desc.channelCount = 3;
        for (int c = 0; c < 3; ++c) {
            desc.channels[c] = CmsChannelDesc{0, pixels.data() + c, 8, 3, 12};
            desc.channelOffset[c] = c;
        }
        desc.layout = kCmsSpaceRgb;
        return desc;
    };
    const std::vector<uint8_t> original = {20, 40, 60, 128, 128, 128, 200, 100, 50, 240, 240, 240};
    std::vector<uint8_t> byParts = original;
    CCmsImageDesc partsDesc = picture(byParts);
    ASSERT_TRUE(chain.Apply(partsDesc, partsDesc));
    EXPECT_NE(original, byParts);

    ASSERT_TRUE(SaveFlavorFile(chain, "rgb\\user\\test.flv", ini.c_str()));
    CFlavorPartList parts;
    ASSERT_TRUE(ReadFlavorFile(0, "rgb\\user\\test.flv", parts, ini.c_str()));
    DeleteFileA((ccorr + "rgb\\user\\test.flv").c_str());
    ASSERT_EQ(2u, parts.Size());
    CChromabondChain fromFile;
    parts.MoveInto(fromFile);
    std::vector<uint8_t> byFile = original;
    CCmsImageDesc fileDesc = picture(byFile);
    ASSERT_TRUE(fromFile.Apply(fileDesc, fileDesc));
    EXPECT_EQ(byParts, byFile);

    // The default content's flavour file holds the same two parts.
    CFlavorPartList portraitParts;
    ASSERT_TRUE(ReadFlavorFile(0, "rgb\\Portrait.flv", portraitParts, ini.c_str()));
    CChromabondChain portrait;
    portraitParts.MoveInto(portrait);
    std::vector<uint8_t> byPortrait = original;
    CCmsImageDesc portraitDesc = picture(byPortrait);
    ASSERT_TRUE(portrait.Apply(portraitDesc, portraitDesc));
    EXPECT_EQ(byParts, byPortrait);
    chain.Clear();
    fromFile.Clear();
    portrait.Clear();
}

// The scanner tables read a curve file through the same curves: levels in, levels out.
TEST_F(EngineRoadTest, ToneCurveFilesGiveTheTablesTheirLevels)
{
    const std::string folder = enginetest::MakeTempFolder("tonefile");
    const std::string path = folder + "invert.tc";
    CEngineCurveSet written(0);
    written.GetCurve(0)->Invert();
    ASSERT_EQ(0, written.Save(path.c_str()));
    std::unique_ptr<CToneCurveSet> curves(LoadToneCurveFile(path.c_str()));
    ASSERT_NE(nullptr, curves);
    EXPECT_EQ(0, curves->GetMode());
    curves->Fit(0, 1023, 1024);
    EXPECT_NEAR(255.0f, curves->Evaluate(0, 0), 0.5f);
    EXPECT_NEAR(155.0f, curves->Evaluate(0, 100), 0.5f);
    EXPECT_NEAR(0.0f, curves->Evaluate(0, 255), 0.5f);
    CReportRecorder reports;
    EXPECT_EQ(nullptr, LoadToneCurveFile((folder + "absent.tc").c_str()));
    EXPECT_EQ(1u, reports.Ids().size());
    enginetest::RemoveTree(folder);
}
