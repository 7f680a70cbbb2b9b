// Stored objects and chains of flavour parts through the installed engine, over a copy of the
// default colour-correction content.

#include <windows.h>

#include <gtest/gtest.h>
#include <lcms2.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/cms/CmsEngine.h"
#include "tests/engine/EngineFixture.h"

using namespace enginetest;

namespace {

constexpr int kObjectName = 0x307041;

std::string g_base;  // "<temp>\MIREVANT\"

std::string Part(const char* relative) { return g_base + "CCORR\\" + relative + ".icc"; }

// An 8-bit bitmap as a DIB holds it: blue, green, red bytes, rows padded to four bytes.
struct CBitmap {
    int width, height, rowStep;
    std::vector<uint8_t> bytes;
    CCmsImageDesc desc = {};

    CBitmap(int w, int h, int channels) : width(w), height(h), rowStep((w * channels + 3) / 4 * 4)
    {
        bytes.resize(static_cast<size_t>(rowStep) * h);
        uint32_t seed = 99;
        for (uint8_t& b : bytes)
            b = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 16);
        desc.imageWidth = desc.width = w;
        desc.imageHeight = desc.height = h;
        desc.channelCount = channels;
        desc.layout = channels == 1 ? kCmsSpaceGrey : kCmsSpaceRgb;
        desc.channels[0] = {0, bytes.data(), 8, channels, rowStep};
        for (int c = 0; c < channels; ++c)
            desc.channelOffset[c] = channels - 1 - c;
    }

    // The pixels without the row padding.
    std::vector<uint8_t> Pixels() const
    {
        std::vector<uint8_t> pixels;
        for (int y = 0; y < height; ++y)
            pixels.insert(
                pixels.end(), bytes.begin() + y * rowStep, bytes.begin() + y * rowStep + width * desc.channelCount);
        return pixels;
    }
};

// Little CMS itself on the same link files, pixel rows as the bitmap holds them.
std::vector<uint8_t> BareChain(const std::vector<std::string>& paths, const CBitmap& bitmap)
{
    std::vector<cmsHPROFILE> profiles;
    for (const std::string& path : paths)
        profiles.push_back(cmsOpenProfileFromFile(path.c_str(), "r"));
    cmsHTRANSFORM transform =
        cmsCreateMultiprofileTransform(profiles.data(), static_cast<cmsUInt32Number>(profiles.size()), TYPE_BGR_8,
            TYPE_BGR_8, cmsGetHeaderRenderingIntent(profiles[0]), 0);
    std::vector<uint8_t> pixels = bitmap.Pixels();
    EXPECT_NE(transform, nullptr);
    if (transform != nullptr) {
        cmsDoTransform(transform, pixels.data(), pixels.data(), static_cast<cmsUInt32Number>(pixels.size() / 3));
        cmsDeleteTransform(transform);
    }
    for (cmsHPROFILE profile : profiles)
        cmsCloseProfile(profile);
    return pixels;
}

int MaxDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b)
{
    EXPECT_EQ(a.size(), b.size());
    int worst = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        worst = std::max(worst, std::abs(int(a[i]) - int(b[i])));
    return worst;
}

}  // namespace

class ChainTest : public CEngineInstanceTest {
protected:
    static void SetUpTestSuite()
    {
        g_base = MakeTempFolder("chain") + "MIREVANT\\";
        std::string installed = InstalledBase() + "MIREVANT\\";
        ASSERT_TRUE(CopyTree(installed + "PROFILES\\", g_base + "PROFILES\\"));
        ASSERT_TRUE(CopyTree(installed + "OBJECTS\\", g_base + "OBJECTS\\"));
        ASSERT_TRUE(CopyTree(installed + "CCORR\\", g_base + "CCORR\\"));
    }

    static void TearDownTestSuite() { RemoveTree(g_base.substr(0, g_base.size() - std::strlen("MIREVANT\\"))); }

    std::string Store() const override { return g_base; }

    void TearDown() override
    {
        for (CmsChainEntry& entry : m_entries)
            m_engine->FreeHandle(&entry.handle);
        m_engine->FreeHandle(&m_combined);
        CEngineInstanceTest::TearDown();
    }

    // Loads the parts into the chain's entries, in order.
    void LoadChain(std::vector<const char*> parts)
    {
        for (const char* part : parts) {
            CmsChainEntry entry = {{}, 1};
            ASSERT_EQ(m_engine->LoadObject(Part(part).c_str(), &entry.handle), 0) << m_engine->GetLastErrorText();
            m_entries.push_back(entry);
        }
    }

    int ApplyChain(CBitmap& source, CBitmap& destination)
    {
        return m_engine->ApplyChain(
            static_cast<int>(m_entries.size()), m_entries.data(), &source.desc, &destination.desc);
    }

    std::string Name(CmsHandle& object)
    {
        const char* name = nullptr;
        EXPECT_EQ(m_engine->GetAttributes(kCmsCategoryObjects, &object, kObjectName, &name), 0)
            << m_engine->GetLastErrorText();
        return name != nullptr ? name : "(null)";
    }

    std::vector<CmsChainEntry> m_entries;
    CmsHandle m_combined = {};
};

TEST_F(ChainTest, DefaultPartsCarryTheirKindAndTheirFileNameAsDisplayName)
{
    struct Case {
        const char* part;
        int kind;
        int32_t space;
    };
    const Case cases[] = {{"rgb\\Warmer", 34, kCmsSpaceRgb}, {"rgb\\Contrast", 35, kCmsSpaceRgb},
        {"rgb\\Saturate", 36, kCmsSpaceRgb}, {"cmyk\\Warmer", 34, kCmsSpaceCmyk},
        {"gray\\Brighter", 35, kCmsSpaceGrey}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.part);
        CmsObjectInfo info;
        ASSERT_EQ(m_engine->GetProfileInfo(Part(c.part).c_str(), 4, &info), 0) << m_engine->GetLastErrorText();
        EXPECT_EQ(info.objectKind, c.kind);
        EXPECT_EQ(info.classCode, kCmsClassLink);
        EXPECT_EQ(info.inputSpace, c.space);
        EXPECT_EQ(info.outputSpace, c.space);
        EXPECT_STREQ(info.displayName, std::strrchr(c.part, '\\') + 1);
    }
    for (const char* folder : {"gray\\user", "rgb\\user", "cmyk\\user", "thelast"})
        EXPECT_NE(GetFileAttributesA((g_base + "CCORR\\" + folder).c_str()), INVALID_FILE_ATTRIBUTES) << folder;
}

TEST_F(ChainTest, SavedObjectKeepsTheLoadedBytesAndItsName)
{
    std::string copy = g_base + "CCORR\\rgb\\user\\Copy.icc";
    ASSERT_TRUE(CopyFileA(Part("rgb\\Warmer").c_str(), copy.c_str(), FALSE));
    const std::vector<uint8_t> original = ReadBytes(copy);
    CmsHandle object = {};
    ASSERT_EQ(m_engine->LoadObject(copy.c_str(), &object), 0) << m_engine->GetLastErrorText();
    m_entries.push_back({object, 1});
    EXPECT_EQ(Name(object), "Warmer");
    // The object lives in memory: its file may go.
    ASSERT_TRUE(DeleteFileA(copy.c_str()));
    std::string saved = g_base + "CCORR\\rgb\\user\\Saved.icc";
    ASSERT_TRUE(WriteTextFile(saved, "an older file"));
    ASSERT_EQ(m_engine->SaveObject(&object, saved.c_str()), 0) << m_engine->GetLastErrorText();
    EXPECT_EQ(ReadBytes(saved), original);

    ASSERT_EQ(m_engine->SetAttributes(kCmsCategoryObjects, &object, kObjectName, "rgb\\Warmer.icc"), 0);
    EXPECT_EQ(Name(object), "rgb\\Warmer.icc");

    // A save that cannot be written keeps the old file.
    std::string missingFolder = g_base + "CCORR\\absent\\x.icc";
    EXPECT_EQ(m_engine->SaveObject(&object, missingFolder.c_str()), 1);
    EXPECT_EQ(m_engine->GetLastErrorCode(), kCmsErrWrite);
    EXPECT_EQ(ReadBytes(saved), original);
    DeleteFileA(saved.c_str());
}

TEST_F(ChainTest, ObjectsThatCannotBeLoadedAreRefused)
{
    std::string broken = g_base + "CCORR\\rgb\\user\\Broken.icc";
    ASSERT_TRUE(WriteTextFile(broken, "this is no object"));
    CmsHandle object = {};
    const std::vector<std::pair<std::string, int>> cases = {
        {broken, kCmsErrCorrupt}, {g_base + "CCORR\\rgb\\Absent.icc", kCmsErrNotFound}, {"", kCmsErrArgument}};
    for (const auto& [path, code] : cases) {
        SCOPED_TRACE(path);
        EXPECT_EQ(m_engine->LoadObject(path.c_str(), &object), 1);
        EXPECT_EQ(m_engine->GetLastErrorCode(), code);
        EXPECT_TRUE(object.IsEmpty());
    }
    DeleteFileA(broken.c_str());
    EXPECT_EQ(m_engine->SaveObject(&object, (g_base + "x.icc").c_str()), 1);
    EXPECT_EQ(m_engine->GetLastErrorCode(), kCmsErrBadHandle);
}

TEST_F(ChainTest, RelativePathsStartAtTheCurrentFolder)
{
    char saved[MAX_PATH];
    ASSERT_NE(GetCurrentDirectoryA(MAX_PATH, saved), 0u);
    ASSERT_TRUE(SetCurrentDirectoryA((g_base + "CCORR").c_str()));
    CmsObjectInfo info;
    EXPECT_EQ(m_engine->GetProfileInfo("rgb\\Contrast", 4, &info), 0) << m_engine->GetLastErrorText();
    EXPECT_EQ(info.objectKind, 35);
    EXPECT_EQ(m_engine->GetProfileInfo("rgb\\Contrast.icc", 4, &info), 0) << m_engine->GetLastErrorText();
    CmsHandle object = {};
    EXPECT_EQ(m_engine->LoadObject("rgb\\Contrast", &object), 0) << m_engine->GetLastErrorText();
    m_entries.push_back({object, 1});
    EXPECT_EQ(m_engine->SaveObject(&object, "rgb\\user\\Relative.icc"), 0) << m_engine->GetLastErrorText();
    ASSERT_TRUE(SetCurrentDirectoryA(saved));
    EXPECT_EQ(ReadBytes(g_base + "CCORR\\rgb\\user\\Relative.icc"), ReadBytes(Part("rgb\\Contrast")));
    EXPECT_EQ(m_engine->GetProfileInfo("rgb\\Contrast", 4, &info), 1);
    EXPECT_EQ(m_engine->GetLastErrorCode(), kCmsErrNotFound);
    DeleteFileA((g_base + "CCORR\\rgb\\user\\Relative.icc").c_str());
}

TEST_F(ChainTest, SetProfileInfoWritesTheDescriptionGetProfileInfoReads)
{
    std::string path = g_base + "CCORR\\gray\\user\\Described.icc";
    ASSERT_TRUE(CopyFileA(Part("gray\\Brighter").c_str(), path.c_str(), FALSE));
    CmsObjectInfo info;
    ASSERT_EQ(m_engine->GetProfileInfo(path.c_str(), 4, &info), 0);
    EXPECT_STREQ(info.description, "Brighter");
    std::strcpy(info.description, "Lighter mid-tones for grey scans");
    ASSERT_EQ(m_engine->SetProfileInfo(path.c_str(), 4, &info), 0) << m_engine->GetLastErrorText();
    CmsObjectInfo again;
    ASSERT_EQ(m_engine->GetProfileInfo(path.c_str(), 4, &again), 0);
    EXPECT_STREQ(again.description, "Lighter mid-tones for grey scans");
    EXPECT_STREQ(again.displayName, "Brighter");
    EXPECT_EQ(again.objectKind, 35);
    EXPECT_EQ(m_engine->SetProfileInfo((g_base + "CCORR\\gray\\Absent").c_str(), 4, &info), 1);
    EXPECT_EQ(m_engine->GetLastErrorCode(), kCmsErrNotFound);
    EXPECT_EQ(m_engine->SetProfileInfo(path.c_str(), 0, &info), 1);
    EXPECT_EQ(m_engine->GetLastErrorCode(), kCmsErrArgument);
    DeleteFileA(path.c_str());
}

TEST_F(ChainTest, ChainIsLittleCmsOfItsLinksInOrder)
{
    LoadChain({"rgb\\Warmer", "rgb\\Contrast"});
    CBitmap source(37, 5, 3), destination(37, 5, 3);
    const std::vector<uint8_t> expected = BareChain({Part("rgb\\Warmer"), Part("rgb\\Contrast")}, source);
    ASSERT_EQ(ApplyChain(source, destination), 0) << m_engine->GetLastErrorText();
    EXPECT_EQ(destination.Pixels(), expected);
    EXPECT_NE(destination.Pixels(), source.Pixels());
    // Again, in place: the kept transform gives the same.
    ASSERT_EQ(ApplyChain(source, source), 0) << m_engine->GetLastErrorText();
    EXPECT_EQ(source.Pixels(), expected);

    // The other order is another chain.
    std::swap(m_entries[0], m_entries[1]);
    CBitmap fresh(37, 5, 3), reversed(37, 5, 3);
    ASSERT_EQ(ApplyChain(fresh, reversed), 0) << m_engine->GetLastErrorText();
    EXPECT_EQ(reversed.Pixels(), BareChain({Part("rgb\\Contrast"), Part("rgb\\Warmer")}, fresh));
}

TEST_F(ChainTest, CombinedLinkGivesWhatTheChainGives)
{
    LoadChain({"rgb\\Warmer", "rgb\\Contrast", "rgb\\Saturate"});
    ASSERT_EQ(m_engine->CombineChain(3, m_entries.data(), &m_combined), 0) << m_engine->GetLastErrorText();
    CBitmap source(64, 8, 3), viaChain(64, 8, 3), viaLink(64, 8, 3);
    ASSERT_EQ(ApplyChain(source, viaChain), 0) << m_engine->GetLastErrorText();
    CmsChainEntry combined = {m_combined, 1};
    ASSERT_EQ(m_engine->ApplyChain(1, &combined, &source.desc, &viaLink.desc), 0) << m_engine->GetLastErrorText();
    EXPECT_LE(MaxDifference(viaLink.Pixels(), viaChain.Pixels()), 2);

    // The combined link is an object like the others: saved by Little CMS, loaded again.
    std::string path = g_base + "CCORR\\rgb\\user\\Combined.icc";
    ASSERT_EQ(m_engine->SaveObject(&m_combined, path.c_str()), 0) << m_engine->GetLastErrorText();
    CmsObjectInfo info;
    ASSERT_EQ(m_engine->GetProfileInfo(path.c_str(), 4, &info), 0) << m_engine->GetLastErrorText();
    EXPECT_EQ(info.classCode, kCmsClassLink);
    EXPECT_EQ(info.inputSpace, kCmsSpaceRgb);
    // Dated as its first part, so that the same chain always gives the same bytes.
    CmsObjectInfo first;
    ASSERT_EQ(m_engine->GetProfileInfo(Part("rgb\\Warmer").c_str(), 4, &first), 0);
    EXPECT_EQ(info.created, first.created);
    DeleteFileA(path.c_str());

    // One entry combines too.
    CmsHandle single = {};
    ASSERT_EQ(m_engine->CombineChain(1, m_entries.data(), &single), 0) << m_engine->GetLastErrorText();
    EXPECT_EQ(m_engine->FreeHandle(&single), 0);
}

TEST_F(ChainTest, PartsOfDifferentColourSpacesCannotBeJoined)
{
    LoadChain({"gray\\Brighter", "rgb\\Warmer"});
    CBitmap grey(16, 4, 1), out(16, 4, 1);
    const std::vector<uint8_t> before = out.bytes;
    EXPECT_EQ(ApplyChain(grey, out), 1);
    EXPECT_EQ(m_engine->GetLastErrorCode(), kCmsErrCannotCombine);
    EXPECT_STREQ(m_engine->GetLastErrorText(), "ApplyChain: Warmer takes RGB data, the part before gives grey");
    EXPECT_EQ(out.bytes, before);
    EXPECT_EQ(m_engine->CombineChain(2, m_entries.data(), &m_combined), 1);
    EXPECT_EQ(m_engine->GetLastErrorCode(), kCmsErrCannotCombine);
    EXPECT_TRUE(m_combined.IsEmpty());
}

TEST_F(ChainTest, ChainsThatAreNoChainsAreRefused)
{
    LoadChain({"rgb\\Warmer"});
    CBitmap source(8, 2, 3), destination(8, 2, 3);
    CmsChainEntry notAnObject = {{}, 1};
    struct Case {
        const char* name;
        int count;
        CmsChainEntry* entries;
        int code;
    };
    const Case cases[] = {{"empty", 0, m_entries.data(), kCmsErrArgument}, {"null", 1, nullptr, kCmsErrArgument},
        {"empty handle", 1, &notAnObject, kCmsErrBadHandle}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(m_engine->ApplyChain(c.count, c.entries, &source.desc, &destination.desc), 1);
        EXPECT_EQ(m_engine->GetLastErrorCode(), c.code);
        EXPECT_EQ(m_engine->CombineChain(c.count, c.entries, &m_combined), 1);
        EXPECT_EQ(m_engine->GetLastErrorCode(), c.code);
        EXPECT_TRUE(m_combined.IsEmpty());
    }
    // An RGB chain does not take grey data.
    CBitmap grey(8, 2, 1);
    EXPECT_EQ(ApplyChain(grey, grey), 1);
    EXPECT_EQ(m_engine->GetLastErrorCode(), kCmsErrArgument);
    // A profile is an object too, but no part of a chain, before or after a link.
    CmsChainEntry profile = {{}, 1};
    ASSERT_EQ(m_engine->LoadObject((g_base + "PROFILES\\GENERIC.icc").c_str(), &profile.handle), 0);
    m_entries.push_back(profile);
    EXPECT_EQ(ApplyChain(source, destination), 1);
    EXPECT_EQ(m_engine->GetLastErrorCode(), kCmsErrCannotCombine);
    m_engine->FreeHandle(&m_entries[0].handle);
    m_entries.erase(m_entries.begin());
    EXPECT_EQ(ApplyChain(source, destination), 1);
    EXPECT_EQ(m_engine->GetLastErrorCode(), kCmsErrCannotCombine);
}

TEST_F(ChainTest, AttributeSearchListsTheObjectsOfAFolder)
{
    ASSERT_TRUE(WriteTextFile(g_base + "CCORR\\rgb\\Notes.txt", "not an object"));
    std::string folder = g_base + "CCORR\\rgb\\";
    ASSERT_EQ(m_engine->BeginAttributeSearch(7, 0x203081, 4, 0x300000, 0, 0x106041, folder.c_str()), 0)
        << m_engine->GetLastErrorText();
    std::vector<std::string> names;
    char* name = nullptr;
    while (m_engine->NextSearchResult(&name) == 0 && name != nullptr && *name != '\0')
        names.push_back(name);
    EXPECT_EQ(m_engine->EndSearch(), 0);
    EXPECT_EQ(names, (std::vector<std::string> {"Contrast", "Saturate", "Warmer"}));
    DeleteFileA((g_base + "CCORR\\rgb\\Notes.txt").c_str());

    std::string absent = g_base + "CCORR\\absent\\";
    EXPECT_EQ(m_engine->BeginAttributeSearch(7, 0x203081, 4, 0x300000, 0, 0x106041, absent.c_str()), 1);
    EXPECT_EQ(m_engine->GetLastErrorCode(), kCmsErrNotFound);
    EXPECT_EQ(m_engine->BeginAttributeSearch(7, 0x999999, 4, 0), 1);
    EXPECT_EQ(m_engine->GetLastErrorCode(), kCmsErrAttribute);
}
