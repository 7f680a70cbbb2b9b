// The engine DLL's contract, through its exports, over a fixture store: the default profiles of
// the installation, device links made here, a corrupt profile and the film types.

#include <windows.h>

#include <gtest/gtest.h>
#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "core/cms/CmsEngine.h"
#include "tests/engine/EngineFixture.h"

using namespace enginetest;

namespace {

std::string g_store;   // "<temp>\MIREVANT\"

bool SaveLink(const std::string& path, const char* to, cmsUInt64Number attributes)
{
    cmsHPROFILE source = cmsCreate_sRGBProfile();
    cmsHPROFILE target = cmsOpenProfileFromFile(to, "r");
    cmsUInt32Number targetFormat = cmsGetColorSpace(target) == cmsSigCmykData ? TYPE_CMYK_8
                                                                              : TYPE_RGB_8;
    cmsHTRANSFORM transform = cmsCreateTransform(source, TYPE_RGB_8, target, targetFormat,
                                                 INTENT_PERCEPTUAL, 0);
    cmsHPROFILE link = cmsTransform2DeviceLink(transform, 4.3, 0);
    cmsSetHeaderAttributes(link, attributes);
    bool ok = cmsSaveProfileToFile(link, path.c_str());
    cmsCloseProfile(link);
    cmsDeleteTransform(transform);
    cmsCloseProfile(target);
    cmsCloseProfile(source);
    return ok;
}

std::vector<std::string> ListSearch(CCmsEngine* engine)
{
    std::vector<std::string> names;
    char* name = nullptr;
    while (engine->NextSearchResult(&name) == 0 && name != nullptr)
        names.push_back(name);
    return names;
}

bool Near(float a, float b) { return std::fabs(a - b) < 1e-4f; }

}  // namespace

class EngineTest : public CEngineInstanceTest {
protected:
    static void SetUpTestSuite()
    {

        g_store = MakeTempFolder("store") + "MIREVANT\\";
        std::string installed = InstalledBase() + "MIREVANT\\";
        ASSERT_TRUE(CopyTree(installed + "PROFILES\\", g_store + "PROFILES\\"));
        ASSERT_TRUE(CopyTree(installed + "OBJECTS\\cnegs\\", g_store + "OBJECTS\\cnegs\\"));
        ASSERT_TRUE(WriteTextFile(g_store + "PROFILES\\BROKEN.icc", "this is no profile"));
        ASSERT_TRUE(WriteTextFile(g_store + "PROFILES\\notes.txt", "not listed"));
        std::string cmyk = g_store + "PROFILES\\CMYKOUT.icc";
        std::string rgb = g_store + "PROFILES\\RGBOUT.icc";
        ASSERT_TRUE(SaveLink(g_store + "OBJECTS\\PHOTO.icc", rgb.c_str(), 0));
        ASSERT_TRUE(SaveLink(g_store + "OBJECTS\\SLIDE.icc", rgb.c_str(), 0x1));
        ASSERT_TRUE(SaveLink(g_store + "OBJECTS\\NEGPRESS.icc", cmyk.c_str(), 0x5));
        ASSERT_TRUE(SaveLink(g_store + "OBJECTS\\PRESS.icc", cmyk.c_str(), 0));
    }

    static void TearDownTestSuite()
    {
        RemoveTree(g_store.substr(0, g_store.size() - std::strlen("MIREVANT\\")));
    }

    std::string Store() const override { return g_store; }

    void ExpectError(int code, const char* textPart)
    {
        EXPECT_EQ(m_engine->GetLastErrorCode(), code);
        EXPECT_NE(std::strstr(m_engine->GetLastErrorText(), textPart), nullptr)
            << m_engine->GetLastErrorText();
    }

};

TEST_F(EngineTest, ProfileSearchListsEveryProfileByNameAndThenEnds)
{
    ASSERT_EQ(m_engine->BeginProfileSearch(0, nullptr), 0);
    EXPECT_EQ(ListSearch(m_engine), (std::vector<std::string>{"BROKEN", "CMYKOUT", "GENERIC",
                                                              "NEGATIVE", "REFLECT", "RGBOUT",
                                                              "TRANSP"}));
    // Past the end the search keeps answering "no more names", not an error.
    char* name = reinterpret_cast<char*>(1);
    EXPECT_EQ(m_engine->NextSearchResult(&name), 0);
    EXPECT_EQ(name, nullptr);
    m_engine->EndSearch();
    EXPECT_EQ(m_engine->NextSearchResult(&name), 1);
    EXPECT_EQ(name, nullptr);
    EXPECT_EQ(m_engine->GetLastErrorCode(), kCmsErrSearch);
}

TEST_F(EngineTest, NewSearchEndsTheOpenOne)
{
    ASSERT_EQ(m_engine->BeginProfileSearch(0, nullptr), 0);
    char* name = nullptr;
    ASSERT_EQ(m_engine->NextSearchResult(&name), 0);
    const char* folder = nullptr;
    ASSERT_EQ(m_engine->SetAttributes(kCmsCategoryObjects, nullptr, kCmsAttrObjectFolder, "cnegs\\"), 0);
    ASSERT_EQ(m_engine->BeginFolderSearch(), 0);
    EXPECT_EQ(ListSearch(m_engine), (std::vector<std::string>{"NEG100", "NEG400"}));
    ASSERT_EQ(m_engine->GetAttributes(kCmsCategoryObjects, nullptr, kCmsAttrObjectFolder, &folder), 0);
    EXPECT_STREQ(folder, "cnegs\\");
}

TEST_F(EngineTest, LinkSearchMatchesInputModeAndOutputSpace)
{
    struct Case {
        int32_t mode;
        int32_t space;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {kCmsModeReflective, kCmsSpaceRgb, {"PHOTO"}},
        {kCmsModeTransparency, kCmsSpaceRgb, {"SLIDE"}},
        {kCmsModeNegativeLink, kCmsSpaceCmyk, {"NEGPRESS"}},
        {kCmsModeReflective, kCmsSpaceCmyk, {"PRESS"}},
        {kCmsModeNegativeLink, kCmsSpaceRgb, {}},
    };
    for (const Case& c : cases) {
        CmsObjectInfo filter = {};
        filter.inputMode = c.mode;
        filter.outputSpace = c.space;
        ASSERT_EQ(m_engine->BeginProfileSearch(1, &filter), 0);
        EXPECT_EQ(ListSearch(m_engine), c.names) << std::hex << c.mode << " " << c.space;
        m_engine->EndSearch();
    }
    EXPECT_EQ(m_engine->BeginProfileSearch(1, nullptr), 1);
    EXPECT_EQ(m_engine->GetLastErrorCode(), kCmsErrArgument);
}

TEST_F(EngineTest, ProfileInfoDescribesTheDefaultProfiles)
{
    struct Case {
        const char* name;
        int32_t classCode;
        int32_t outputMode;
        int32_t inputSpace;
        int32_t outputSpace;
        const char* displayName;
    };
    const Case cases[] = {
        {"GENERIC", kCmsClassMonitor, 0, kCmsSpaceXyz, kCmsSpaceRgb, "Generic monitor"},
        {"REFLECT", kCmsClassInput, kCmsModeReflective, kCmsSpaceRgb, kCmsSpaceRgb,
         "Generic scanner: reflective originals"},
        {"TRANSP", kCmsClassInput, kCmsModeTransparency, kCmsSpaceRgb, kCmsSpaceRgb,
         "Generic scanner: slides"},
        {"NEGATIVE", kCmsClassInput, kCmsModeNegative, kCmsSpaceRgb, kCmsSpaceRgb,
         "Generic scanner: colour negatives"},
        {"RGBOUT", kCmsClassOutput, 0, kCmsSpaceXyz, kCmsSpaceRgb, "Generic RGB output: photo paper"},
        {"CMYKOUT", kCmsClassOutput, 0, kCmsSpaceLab, kCmsSpaceCmyk,
         "Generic CMYK output: coated paper"},
    };
    for (const Case& c : cases) {
        CmsObjectInfo info;
        std::memset(&info, 0xAB, sizeof info);
        ASSERT_EQ(m_engine->GetProfileInfo(c.name, 0, &info), 0) << c.name;
        EXPECT_EQ(info.classCode, c.classCode) << c.name;
        EXPECT_EQ(info.outputMode, c.outputMode) << c.name;
        EXPECT_EQ(info.inputMode, c.outputMode) << c.name;
        EXPECT_EQ(info.inputSpace, c.inputSpace) << c.name;
        EXPECT_EQ(info.outputSpace, c.outputSpace) << c.name;
        EXPECT_STREQ(info.displayName, c.displayName);
        EXPECT_GE(std::strcmp(info.version, "2.0"), 0) << info.version;
        EXPECT_GT(info.created, 1600000000) << c.name;   // written by the build, not 1970
        EXPECT_EQ(info.reserved4[0], 0) << "the record is cleared first";
    }
}

TEST_F(EngineTest, ObjectInfoFindsLinksFilmTypesAndProfiles)
{
    CmsObjectInfo info;
    ASSERT_EQ(m_engine->GetObjectInfo("NEGPRESS", &info), 0);
    EXPECT_EQ(info.classCode, kCmsClassLink);
    EXPECT_EQ(info.inputSpace, kCmsSpaceRgb);
    EXPECT_EQ(info.outputSpace, kCmsSpaceCmyk);
    ASSERT_EQ(m_engine->GetObjectInfo("GENERIC", &info), 0);
    EXPECT_EQ(info.classCode, kCmsClassMonitor);
    EXPECT_EQ(m_engine->GetObjectInfo("NEG100", &info), 1) << "film types live in cnegs\\ only";
    ASSERT_EQ(m_engine->SetAttributes(kCmsCategoryObjects, nullptr, kCmsAttrObjectFolder, "cnegs\\"), 0);
    ASSERT_EQ(m_engine->GetObjectInfo("NEG100", &info), 0);
    EXPECT_EQ(info.classCode, kCmsClassFilmType);
    EXPECT_EQ(info.outputMode, kCmsModeNegative);
    EXPECT_STREQ(info.description, "Colour negative ISO 100");
    ASSERT_EQ(m_engine->GetProfileInfo((g_store + "OBJECTS\\cnegs\\NEG400.flm").c_str(), 4, &info), 0);
    EXPECT_STREQ(info.displayName, "NEG400");
}

TEST_F(EngineTest, UnreadableOrMissingObjectsAreEngineErrors)
{
    CmsObjectInfo info;
    EXPECT_EQ(m_engine->GetProfileInfo("BROKEN", 0, &info), 1);
    ExpectError(kCmsErrCorrupt, "BROKEN.icc");
    EXPECT_EQ(m_engine->GetProfileInfo("ABSENT", 0, &info), 1);
    ExpectError(kCmsErrNotFound, "ABSENT");
    CmsHandle film = {};
    std::string broken = g_store + "OBJECTS\\cnegs\\BADFILM.flm";
    ASSERT_TRUE(WriteTextFile(broken, "Description=x\nBase=0.3 nonsense\nRange=2 2 2\n"));
    EXPECT_EQ(m_engine->OpenFilmType("BADFILM", &film), 1);
    ExpectError(kCmsErrCorrupt, "BADFILM");
    EXPECT_TRUE(film.IsEmpty());
    DeleteFileA(broken.c_str());
    // A successful call clears the last error.
    ASSERT_EQ(m_engine->GetProfileInfo("GENERIC", 0, &info), 0);
    EXPECT_EQ(m_engine->GetLastErrorCode(), 0);
}

TEST_F(EngineTest, NamesThatWouldLeaveTheStoreAreRefused)
{
    const char* names[] = {"..\\PROFILES\\GENERIC", "a\\b", "a/b", "C:GENERIC", "NEG*", "NEG?00",
                           "..", ""};
    CmsObjectInfo info;
    CmsHandle handle = {};
    const float measurement[4] = {0.3f, 0.6f, 0.9f, -1.0f};
    for (const char* name : names) {
        EXPECT_EQ(m_engine->GetProfileInfo(name, 0, &info), 1) << name;
        EXPECT_EQ(m_engine->GetLastErrorCode(), kCmsErrBadName) << name;
        EXPECT_EQ(m_engine->GetObjectInfo(name, &info), 1) << name;
        EXPECT_EQ(m_engine->OpenFilmType(name, &handle), 1) << name;
        EXPECT_EQ(m_engine->GetLastErrorCode(), kCmsErrBadName) << name;
        EXPECT_EQ(m_engine->RegisterFilmType("NEG100", name, measurement), 1) << name;
        EXPECT_EQ(m_engine->GetLastErrorCode(), kCmsErrBadName) << name;
        EXPECT_EQ(m_engine->DeleteObject(1, name), 1) << name;
    }
    for (const char* folder : {"..\\", "\\", "C:\\", "cnegs\\..\\..\\", "a\\\\b"}) {
        EXPECT_EQ(m_engine->SetAttributes(kCmsCategoryObjects, nullptr, kCmsAttrObjectFolder, folder), 1)
            << folder;
        EXPECT_EQ(m_engine->GetLastErrorCode(), kCmsErrBadName) << folder;
    }
}

TEST_F(EngineTest, FolderTextStaysValidAfterALaterSet)
{
    const char* saved = nullptr;
    ASSERT_EQ(m_engine->GetAttributes(kCmsCategoryObjects, nullptr, kCmsAttrObjectFolder, &saved), 0);
    ASSERT_NE(saved, nullptr);
    EXPECT_STREQ(saved, "");
    ASSERT_EQ(m_engine->SetAttributes(kCmsCategoryObjects, nullptr, kCmsAttrObjectFolder, "cnegs"), 0);
    const char* current = nullptr;
    ASSERT_EQ(m_engine->GetAttributes(kCmsCategoryObjects, nullptr, kCmsAttrObjectFolder, &current), 0);
    EXPECT_STREQ(current, "cnegs\\");
    EXPECT_STREQ(saved, "");
    ASSERT_EQ(m_engine->SetAttributes(kCmsCategoryObjects, nullptr, kCmsAttrObjectFolder, saved), 0);
    ASSERT_EQ(m_engine->GetAttributes(kCmsCategoryObjects, nullptr, kCmsAttrObjectFolder, &current), 0);
    EXPECT_STREQ(current, "");
    EXPECT_STREQ(saved, "");
    EXPECT_EQ(m_engine->SetAttributes(kCmsCategoryObjects, nullptr, 0x307041, "x"), 1);
    EXPECT_EQ(m_engine->GetLastErrorCode(), kCmsErrAttribute);
}

TEST_F(EngineTest, FilmCorrectionGivesTheDensitiesOfTheFilm)
{
    // NEG100: base 0.28 0.62 0.95, range 2.0 2.2 2.4.
    struct Case {
        const char* what;
        uint32_t flags;
        float fog[3];
        float measuredMin[3];
        float measuredMax[3];
        float min[3];
        float max[3];
    };
    const Case cases[] = {
        {"nothing measured", 0x8018, {}, {}, {}, {0.28f, 0.62f, 0.95f}, {2.28f, 2.82f, 3.35f}},
        {"measured inside the film's range", 0x8018, {}, {0.30f, 0.70f, 1.00f},
         {1.80f, 2.10f, 2.50f}, {0.30f, 0.70f, 1.00f}, {1.80f, 2.10f, 2.50f}},
        {"minimum below the bare film", 0x8018, {}, {0.10f, 0.50f, 0.90f}, {}, {0.28f, 0.62f, 0.95f},
         {2.28f, 2.82f, 3.35f}},
        {"maximum beyond the dye range", 0x8018, {}, {}, {2.50f, 3.00f, 5.00f}, {0.28f, 0.62f, 0.95f},
         {2.28f, 2.82f, 3.35f}},
        {"fog density measured", 0x8019, {0.40f, 0.80f, 1.10f}, {}, {}, {0.40f, 0.80f, 1.10f},
         {2.40f, 3.00f, 3.50f}},
        {"fog present but flag clear", 0x8018, {0.40f, 0.80f, 1.10f}, {}, {}, {0.28f, 0.62f, 0.95f},
         {2.28f, 2.82f, 3.35f}},
        {"nonsense measurements", 0x8018, {}, {NAN, -1.0f, 100.0f}, {INFINITY, -2.0f, NAN},
         {0.28f, 0.62f, 0.95f}, {2.28f, 2.82f, 3.35f}},
    };
    CmsHandle film;
    std::memset(&film, 0x5A, sizeof film);   // callers pass stack records that hold anything
    ASSERT_EQ(m_engine->OpenFilmType("NEG100", &film), 0);
    for (const Case& c : cases) {
        static CmsCorrectionBlock block;
        std::memset(&block, 0, sizeof block);
        block.flags = c.flags;
        for (int i = 0; i < 3; ++i) {
            block.fog[i] = c.fog[i];
            block.minDensity[i] = c.measuredMin[i];
            block.maxDensity[i] = c.measuredMax[i];
        }
        ASSERT_EQ(m_engine->ComputeFilmCorrection(&film, &block), 0) << c.what;
        for (int i = 0; i < 3; ++i) {
            EXPECT_TRUE(Near(block.resultMin[i], c.min[i])) << c.what << " " << i << " "
                                                            << block.resultMin[i];
            EXPECT_TRUE(Near(block.resultMax[i], c.max[i])) << c.what << " " << i << " "
                                                            << block.resultMax[i];
        }
    }
    ASSERT_EQ(m_engine->FreeHandle(&film), 0);
    EXPECT_TRUE(film.IsEmpty());
    static CmsCorrectionBlock block;
    EXPECT_EQ(m_engine->ComputeFilmCorrection(&film, &block), 1);
    EXPECT_EQ(m_engine->GetLastErrorCode(), kCmsErrBadHandle);
    EXPECT_EQ(m_engine->OpenFilmType("NEG999", &film), 1);
    EXPECT_EQ(m_engine->GetLastErrorCode(), kCmsErrNotFound);
}

// The block comes back whole: besides the densities, every channel's inversion curve, whose
// input rises over the scanner's scale and whose output is the positive of the film's density.
TEST_F(EngineTest, FilmCorrectionFillsTheInversionCurves)
{
    CmsHandle film = {};
    ASSERT_EQ(m_engine->OpenFilmType("NEG100", &film), 0);
    static CmsCorrectionBlock block;
    std::memset(&block, 0, sizeof block);
    block.flags = 0x8018;
    ASSERT_EQ(m_engine->ComputeFilmCorrection(&film, &block), 0);
    for (int c = 0; c < 3; ++c) {
        SCOPED_TRACE(c);
        const float* x = block.curveIn[c];
        const float* y = block.curveOut[c];
        EXPECT_EQ(0.0f, x[0]);
        EXPECT_EQ(255.0f, x[255]);
        EXPECT_EQ(255.0f, y[0]);        // no light through: the densest highlight
        EXPECT_EQ(0.0f, y[255]);        // clear film is below the base: black
        for (int j = 1; j < 256; ++j) {
            ASSERT_LT(x[j - 1], x[j]) << j;
            ASSERT_GE(y[j - 1], y[j]) << j;
            double density = -std::log10(x[j] / 255.0);
            double span = block.resultMax[c] - block.resultMin[c];
            double level = (density - block.resultMin[c]) / span;
            double want = 255.0 * std::min(std::max(level, 0.0), 1.0);
            ASSERT_NEAR(want, y[j], 0.05) << j;
        }
        // Dense film keeps its points: many lie where less than 1/100 of the light passes.
        int dense = (int)std::count_if(x, x + 256, [](float v) { return v > 0 && v < 2.55f; });
        EXPECT_GT(dense, 25);
    }
    m_engine->FreeHandle(&film);
}

TEST_F(EngineTest, RegisteredFilmTypeTakesTheMeasuredBase)
{
    const float measurement[4] = {0.41f, 0.73f, 1.12f, -1.0f};
    ASSERT_EQ(m_engine->RegisterFilmType("NEG400", "MYFILM", measurement), 0)
        << m_engine->GetLastErrorText();
    CmsHandle film = {};
    ASSERT_EQ(m_engine->OpenFilmType("MYFILM", &film), 0);
    static CmsCorrectionBlock block;
    std::memset(&block, 0, sizeof block);
    ASSERT_EQ(m_engine->ComputeFilmCorrection(&film, &block), 0);
    EXPECT_TRUE(Near(block.resultMin[0], 0.41f) && Near(block.resultMin[2], 1.12f));
    EXPECT_TRUE(Near(block.resultMax[1], 0.73f + 2.0f)) << "the base film type's dye range";
    m_engine->FreeHandle(&film);

    ASSERT_EQ(m_engine->SetAttributes(kCmsCategoryObjects, nullptr, kCmsAttrObjectFolder, "cnegs\\"), 0);
    ASSERT_EQ(m_engine->BeginFolderSearch(), 0);
    EXPECT_EQ(ListSearch(m_engine), (std::vector<std::string>{"MYFILM", "NEG100", "NEG400"}));
    ASSERT_EQ(m_engine->DeleteObject(1, "MYFILM"), 0);
    ASSERT_EQ(m_engine->BeginFolderSearch(), 0);
    EXPECT_EQ(ListSearch(m_engine), (std::vector<std::string>{"NEG100", "NEG400"}));
    EXPECT_EQ(m_engine->DeleteObject(1, "MYFILM"), 1);
    EXPECT_EQ(m_engine->GetLastErrorCode(), kCmsErrNotFound);

    EXPECT_EQ(m_engine->RegisterFilmType("NOBASE", "OTHER", measurement), 1);
    EXPECT_EQ(m_engine->GetLastErrorCode(), kCmsErrNotFound);
    const float nonsense[4] = {NAN, 0.5f, 0.5f, -1.0f};
    EXPECT_EQ(m_engine->RegisterFilmType("NEG100", "OTHER", nonsense), 1);
    EXPECT_EQ(m_engine->GetLastErrorCode(), kCmsErrArgument);
}

TEST_F(EngineTest, OperationsOfLaterBuildsAnswerNotAvailable)
{
    CmsHandle h = {};
    CCmsImageDesc desc[2] = {};
    const std::vector<std::pair<const char*, std::function<int()>>> calls = {
        {"BuildProfile", [&] { return m_engine->BuildProfile(2, kCmsClassOutput, "X", 0); }},
        {"DetectImageBorders", [&] { return m_engine->DetectImageBorders(nullptr, desc); }},
    };
    for (const auto& [name, call] : calls) {
        EXPECT_EQ(call(), 1) << name;
        ExpectError(kCmsErrNotAvailable, "not available in this engine build");
        EXPECT_NE(std::strstr(m_engine->GetLastErrorText(), name), nullptr) << name;
        EXPECT_TRUE(h.IsEmpty()) << name;
    }
}
