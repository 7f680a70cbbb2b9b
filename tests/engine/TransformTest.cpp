// The engine's colour transforms through its exports: profile to profile and through the default
// colour links, pixel layouts and in-place rules, the build callbacks, opened profiles' attributes,
// the info records' texts and separations. Results are checked against Little CMS run here on
// the same profile files.

#include <windows.h>

#include <gtest/gtest.h>
#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <cstring>
#include <string>
#include <vector>

#include "core/cms/CmsEngine.h"
#include "engine/Transform.h"
#include "engine/EngineError.h"
#include "tests/engine/EngineFixture.h"

using namespace enginetest;

namespace {

std::string g_transformStore;  // "<temp>\MIREVANT\"

std::string ProfilePath(const char* name) { return g_transformStore + "PROFILES\\" + name + ".icc"; }

// A link from one profile file to another that keeps its sequence but names no destination, as
// links made elsewhere are.
bool SaveForeignLink(const std::string& path, const char* from, const char* to)
{
    cmsHPROFILE source = cmsOpenProfileFromFile(ProfilePath(from).c_str(), "r");
    cmsHPROFILE target = cmsOpenProfileFromFile(ProfilePath(to).c_str(), "r");
    cmsHTRANSFORM transform =
        cmsCreateTransform(source, TYPE_RGB_16, target, TYPE_RGB_16, INTENT_PERCEPTUAL, cmsFLAGS_KEEP_SEQUENCE);
    cmsHPROFILE link = cmsTransform2DeviceLink(transform, 4.3, 0);
    bool ok = link != nullptr && cmsSaveProfileToFile(link, path.c_str());
    cmsCloseProfile(link);
    cmsDeleteTransform(transform);
    cmsCloseProfile(target);
    cmsCloseProfile(source);
    return ok;
}

// Pixels of every kind: the corners of the cube, greys, and a spread of mixed colours.
std::vector<uint16_t> VariedSamples(int pixels, int channels, int bits)
{
    const uint32_t top = (1u << bits) - 1;
    std::vector<uint16_t> samples(static_cast<size_t>(pixels) * channels);
    uint32_t seed = 12345;
    for (int p = 0; p < pixels; ++p)
        for (int c = 0; c < channels; ++c) {
            seed = seed * 1103515245u + 12345u;
            uint32_t value = p < 8 ? ((p >> c) & 1) * top : p < 16 ? (p - 8) * top / 7 : (seed >> 8) % (top + 1);
            samples[static_cast<size_t>(p) * channels + c] = static_cast<uint16_t>(value);
        }
    return samples;
}

// An image in memory with its descriptor: channels at the given byte offsets within pixels of
// pixelStep bytes, rows of rowStep bytes.
struct CImage {
    std::vector<uint8_t> bytes;
    CCmsImageDesc desc = {};

    CImage(int32_t layout, int channels, int bits, int width, int height, std::vector<int> offsets, int pixelStep,
        int rowStep)
        : bytes(static_cast<size_t>(rowStep) * height, 0xEE)
    {
        desc.imageWidth = desc.width = width;
        desc.imageHeight = desc.height = height;
        desc.channelCount = channels;
        desc.layout = layout;
        for (int c = 0; c < channels; ++c) {
            desc.channels[c] = {0, bytes.data(), bits, pixelStep, rowStep};
            desc.channelOffset[c] = offsets[c];
        }
    }

    int SampleBytes() const { return desc.channels[0].bitsPerSample > 8 ? 2 : 1; }

    uint8_t* At(int x, int y, int c)
    {
        const CmsChannelDesc& ch = desc.channels[0];
        return bytes.data() + static_cast<size_t>(y) * ch.rowStep + static_cast<size_t>(x) * ch.pixelStep +
            desc.channelOffset[c];
    }

    uint16_t Get(int x, int y, int c)
    {
        uint16_t value = *At(x, y, c);
        if (SampleBytes() == 2)
            std::memcpy(&value, At(x, y, c), 2);
        return value;
    }

    void Set(int x, int y, int c, uint16_t value)
    {
        if (SampleBytes() == 2)
            std::memcpy(At(x, y, c), &value, 2);
        else
            *At(x, y, c) = static_cast<uint8_t>(value);
    }

    // Samples in pixel order, channel by channel, as VariedSamples makes them.
    void Fill(const std::vector<uint16_t>& samples)
    {
        int width = desc.width;
        for (size_t i = 0; i < samples.size(); ++i) {
            int pixel = static_cast<int>(i) / desc.channelCount;
            Set(pixel % width, pixel / width, static_cast<int>(i) % desc.channelCount, samples[i]);
        }
    }

    std::vector<uint16_t> Samples()
    {
        std::vector<uint16_t> samples;
        for (int y = 0; y < desc.height; ++y)
            for (int x = 0; x < desc.width; ++x)
                for (int c = 0; c < desc.channelCount; ++c)
                    samples.push_back(Get(x, y, c));
        return samples;
    }
};

CImage Rgb(int bits, int width, int height)
{
    int step = bits > 8 ? 6 : 3;
    int offset = bits > 8 ? 2 : 1;
    return CImage(kCmsSpaceRgb, 3, bits, width, height, {0, offset, 2 * offset}, step, step * width);
}

CImage Cmyk(int width, int height) { return CImage(kCmsSpaceCmyk, 4, 8, width, height, {0, 1, 2, 3}, 4, 4 * width); }

int MaxDifference(const std::vector<uint16_t>& a, const std::vector<uint16_t>& b)
{
    EXPECT_EQ(a.size(), b.size());
    int worst = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        worst = std::max(worst, std::abs(int(a[i]) - int(b[i])));
    return worst;
}

// What Little CMS itself makes of the samples through the profile files, at 16 bits or, with
// eightBits, at 8.
std::vector<uint16_t> BareTransform(
    const std::vector<std::string>& paths, const std::vector<uint16_t>& rgb, bool cmykOut, bool eightBits = false)
{
    std::vector<cmsHPROFILE> profiles;
    for (const std::string& path : paths)
        profiles.push_back(cmsOpenProfileFromFile(path.c_str(), "r"));
    cmsUInt32Number in = eightBits ? TYPE_RGB_8 : TYPE_RGB_16;
    cmsUInt32Number out = cmykOut ? (eightBits ? TYPE_CMYK_8 : TYPE_CMYK_16) : in;
    cmsHTRANSFORM transform = cmsCreateMultiprofileTransform(profiles.data(),
        static_cast<cmsUInt32Number>(profiles.size()), in, out, cmsGetHeaderRenderingIntent(profiles[0]), 0);
    size_t pixels = rgb.size() / 3;
    std::vector<uint8_t> narrowIn(rgb.begin(), rgb.end());
    std::vector<uint16_t> result(pixels * (cmykOut ? 4 : 3));
    std::vector<uint8_t> narrowOut(result.size());
    if (transform != nullptr) {
        if (eightBits)
            cmsDoTransform(transform, narrowIn.data(), narrowOut.data(), static_cast<cmsUInt32Number>(pixels));
        else
            cmsDoTransform(transform, rgb.data(), result.data(), static_cast<cmsUInt32Number>(pixels));
        cmsDeleteTransform(transform);
    }
    if (eightBits)
        result.assign(narrowOut.begin(), narrowOut.end());
    for (cmsHPROFILE profile : profiles)
        cmsCloseProfile(profile);
    return result;
}

std::vector<uint16_t> To8(std::vector<uint16_t> samples)
{
    for (uint16_t& s : samples)
        s = static_cast<uint16_t>((s * 255u + 32767u) / 65535u);
    return samples;
}

std::vector<uint16_t> To16(std::vector<uint16_t> samples)
{
    for (uint16_t& s : samples)
        s = static_cast<uint16_t>(s * 257u);
    return samples;
}

// The build callbacks' record.
std::vector<std::pair<int, int>> g_steps;
int g_nCancelAfter = -1;  // -1: never

void __cdecl RecordProgress(void* context, int step, int total)
{
    EXPECT_EQ(context, nullptr);
    g_steps.emplace_back(step, total);
}

int __cdecl CancelWhenTold()
{
    return g_nCancelAfter >= 0 && static_cast<int>(g_steps.size()) > g_nCancelAfter ? 1 : 0;
}

}  // namespace

class TransformTest : public CEngineInstanceTest {
protected:
    static void SetUpTestSuite()
    {
        g_transformStore = MakeTempFolder("xform") + "MIREVANT\\";
        std::string installed = InstalledBase() + "MIREVANT\\";
        ASSERT_TRUE(CopyTree(installed + "PROFILES\\", g_transformStore + "PROFILES\\"));
        ASSERT_TRUE(CopyTree(installed + "OBJECTS\\", g_transformStore + "OBJECTS\\"));
        ASSERT_TRUE(WriteTextFile(g_transformStore + "PROFILES\\BROKEN.icc", "this is no profile"));
        // A link among the profiles, to chain it where its colour space does not fit.
        ASSERT_TRUE(CopyFileA((g_transformStore + "OBJECTS\\RGBLINK.icc").c_str(), ProfilePath("LINKCOPY").c_str(), FALSE));
        ASSERT_TRUE(CopyFileA(ProfilePath("GENERIC").c_str(), (g_transformStore + "OBJECTS\\NOTLINK.icc").c_str(), FALSE));
        ASSERT_TRUE(SaveForeignLink(g_transformStore + "OBJECTS\\MONITOR.icc", "GENERIC", "RGBOUT"));
    }

    static void TearDownTestSuite()
    {
        RemoveTree(g_transformStore.substr(0, g_transformStore.size() - std::strlen("MIREVANT\\")));
    }

    std::string Store() const override { return g_transformStore; }

    void SetUp() override
    {
        CEngineInstanceTest::SetUp();
        g_steps.clear();
        g_nCancelAfter = -1;
    }

    void TearDown() override
    {
        if (!m_transform.IsEmpty())
            m_engine->FreeHandle(&m_transform);
        CEngineInstanceTest::TearDown();
    }

    int Create(std::vector<const char*> names)
    {
        if (!m_transform.IsEmpty())
            m_engine->FreeHandle(&m_transform);
        const int flags[4] = {};
        return m_engine->CreateTransformFromProfiles(static_cast<int>(names.size()), names.data(), flags, &m_transform);
    }

    int Apply(CImage& source, CImage& destination)
    {
        return m_engine->ApplyTransform(&m_transform, &source.desc, &destination.desc);
    }

    void ExpectError(int code, const char* textPart)
    {
        EXPECT_EQ(m_engine->GetLastErrorCode(), code);
        EXPECT_NE(std::strstr(m_engine->GetLastErrorText(), textPart), nullptr) << m_engine->GetLastErrorText();
    }

    CmsHandle m_transform = {};
};

TEST_F(TransformTest, ProfileToItselfKeepsTheLevels)
{
    struct Case {
        const char* profile;
        int bits;
    };
    const Case cases[] = {
        {"GENERIC", 8}, {"GENERIC", 12}, {"GENERIC", 16}, {"RGBOUT", 8}, {"RGBOUT", 12}, {"RGBOUT", 16}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.profile) + " " + std::to_string(c.bits));
        ASSERT_EQ(Create({c.profile, c.profile}), 0) << m_engine->GetLastErrorText();
        CImage source = Rgb(c.bits, 61, 7);
        CImage destination = Rgb(c.bits, 61, 7);
        std::vector<uint16_t> samples = VariedSamples(61 * 7, 3, c.bits);
        source.Fill(samples);
        ASSERT_EQ(Apply(source, destination), 0) << m_engine->GetLastErrorText();
        EXPECT_LE(MaxDifference(destination.Samples(), samples), 1);
    }
}

TEST_F(TransformTest, ResultsAreLittleCmsResultsOfTheProfileFiles)
{
    const std::vector<uint16_t> samples = VariedSamples(40 * 3, 3, 16);
    const std::vector<std::string> paths = {ProfilePath("REFLECT"), ProfilePath("RGBOUT")};
    std::vector<uint16_t> bare = BareTransform(paths, samples, false);

    ASSERT_EQ(Create({"REFLECT", "RGBOUT"}), 0) << m_engine->GetLastErrorText();
    CImage wide = Rgb(16, 40, 3), wideOut = Rgb(16, 40, 3);
    wide.Fill(samples);
    ASSERT_EQ(Apply(wide, wideOut), 0) << m_engine->GetLastErrorText();
    EXPECT_EQ(wideOut.Samples(), bare);

    // The same pixels at 8 bits through the same handle: another format pair, bound on demand.
    CImage narrow = Rgb(8, 40, 3), narrowOut = Rgb(8, 40, 3);
    narrow.Fill(To8(samples));
    ASSERT_EQ(Apply(narrow, narrowOut), 0) << m_engine->GetLastErrorText();
    EXPECT_EQ(narrowOut.Samples(), BareTransform(paths, To8(samples), false, true));

    // 12 significant bits in 16-bit words: scaled to the full range around Little CMS and back.
    std::vector<uint16_t> twelve = samples, full = samples;
    for (size_t i = 0; i < samples.size(); ++i) {
        twelve[i] = static_cast<uint16_t>(samples[i] >> 4);
        full[i] = static_cast<uint16_t>((twelve[i] * 65535u + 2047u) / 4095u);
    }
    std::vector<uint16_t> expected = BareTransform(paths, full, false);
    for (uint16_t& value : expected)
        value = static_cast<uint16_t>((value * 4095u + 32767u) / 65535u);
    CImage deep = Rgb(12, 40, 3), deepOut = Rgb(12, 40, 3);
    deep.Fill(twelve);
    ASSERT_EQ(Apply(deep, deepOut), 0) << m_engine->GetLastErrorText();
    EXPECT_LE(MaxDifference(deepOut.Samples(), expected), 1);
}

TEST_F(TransformTest, ReflectiveToCmykFillsFourChannels)
{
    const std::vector<uint16_t> samples = VariedSamples(30, 3, 8);
    ASSERT_EQ(Create({"REFLECT", "CMYKOUT"}), 0) << m_engine->GetLastErrorText();
    CImage source = Rgb(8, 30, 1);
    CImage destination = Cmyk(30, 1);
    source.Fill(samples);
    ASSERT_EQ(Apply(source, destination), 0) << m_engine->GetLastErrorText();
    std::vector<uint16_t> bare =
        To8(BareTransform({ProfilePath("REFLECT"), ProfilePath("CMYKOUT")}, To16(samples), true));
    EXPECT_LE(MaxDifference(destination.Samples(), bare), 1);
    // Pixel 0 is black, pixel 7 white (the cube's corners): ink against paper.
    EXPECT_GT(destination.Get(0, 0, 3), 100);
    for (int c = 0; c < 4; ++c)
        EXPECT_LE(destination.Get(7, 0, c), 2) << c;

    // RGB data into an RGB destination is refused: the transform ends in CMYK.
    CImage rgbOut = Rgb(8, 30, 1);
    EXPECT_EQ(Apply(source, rgbOut), 1);
    ExpectError(kCmsErrArgument, "CMYK");
}

// A proof for the monitor: the input, output and monitor profiles in one transform, the data going
// into the output's colours and from there to the monitor's.
TEST_F(TransformTest, ThreeProfilesMakeOneTransform)
{
    const std::vector<uint16_t> samples = VariedSamples(20, 3, 16);
    ASSERT_EQ(Create({"REFLECT", "CMYKOUT", "GENERIC"}), 0) << m_engine->GetLastErrorText();
    CImage source = Rgb(16, 20, 1), destination = Rgb(16, 20, 1);
    source.Fill(samples);
    ASSERT_EQ(Apply(source, destination), 0) << m_engine->GetLastErrorText();
    std::vector<uint16_t> bare =
        BareTransform({ProfilePath("REFLECT"), ProfilePath("CMYKOUT"), ProfilePath("CMYKOUT"), ProfilePath("GENERIC")},
            samples, false);
    EXPECT_EQ(destination.Samples(), bare);
}

TEST_F(TransformTest, InPlaceGivesWhatSeparateBuffersGive)
{
    for (int bits : {8, 16}) {
        SCOPED_TRACE(bits);
        ASSERT_EQ(Create({"REFLECT", "RGBOUT"}), 0);
        std::vector<uint16_t> samples = VariedSamples(33 * 5, 3, bits);
        CImage source = Rgb(bits, 33, 5), destination = Rgb(bits, 33, 5);
        source.Fill(samples);
        ASSERT_EQ(Apply(source, destination), 0) << m_engine->GetLastErrorText();
        ASSERT_EQ(Apply(source, source), 0) << m_engine->GetLastErrorText();
        EXPECT_EQ(source.Samples(), destination.Samples());
        EXPECT_NE(source.Samples(), samples);
    }
}

TEST_F(TransformTest, OverlappingBuffersInAnotherLayoutAreRefused)
{
    ASSERT_EQ(Create({"REFLECT", "RGBOUT"}), 0);
    CImage image = Rgb(8, 16, 4);
    image.Fill(VariedSamples(64, 3, 8));
    const std::vector<uint8_t> before = image.bytes;

    CCmsImageDesc shifted = image.desc;  // one pixel on: the same rows, overlapping
    for (int c = 0; c < 3; ++c)
        shifted.channels[c].data += 3;
    shifted.width = 15;
    CCmsImageDesc source = image.desc;
    source.width = 15;
    CCmsImageDesc reversed = source;  // the same memory read as BGR
    reversed.channelOffset[0] = 2;
    reversed.channelOffset[2] = 0;
    for (CCmsImageDesc* destination : {&shifted, &reversed}) {
        EXPECT_EQ(m_engine->ApplyTransform(&m_transform, &source, destination), 1);
        ExpectError(kCmsErrArgument, "overlap");
    }
    EXPECT_EQ(image.bytes, before) << "nothing written";

    // The rows after the source's last row do not overlap it.
    CCmsImageDesc top = image.desc, bottom = image.desc;
    top.height = bottom.height = 2;
    for (int c = 0; c < 3; ++c)
        bottom.channels[c].data += 2 * image.desc.channels[0].rowStep;
    EXPECT_EQ(m_engine->ApplyTransform(&m_transform, &top, &bottom), 0) << m_engine->GetLastErrorText();
}

// Windows DIBs hold blue first and pad their rows to four bytes.
TEST_F(TransformTest, BgrWithPaddedRowsGivesTheColoursOfRgb)
{
    const int width = 13, height = 4;
    const int dibRow = (width * 3 + 3) & ~3;
    std::vector<uint16_t> samples = VariedSamples(width * height, 3, 8);
    ASSERT_EQ(Create({"TRANSP", "GENERIC"}), 0);
    CImage rgb = Rgb(8, width, height), rgbOut = Rgb(8, width, height);
    rgb.Fill(samples);
    ASSERT_EQ(Apply(rgb, rgbOut), 0);

    CImage bgr(kCmsSpaceRgb, 3, 8, width, height, {2, 1, 0}, 3, dibRow);
    CImage bgrOut(kCmsSpaceRgb, 3, 8, width, height, {2, 1, 0}, 3, dibRow);
    bgr.Fill(samples);
    EXPECT_EQ(bgr.bytes[2], samples[0]) << "red lies third in memory";
    ASSERT_EQ(Apply(bgr, bgrOut), 0) << m_engine->GetLastErrorText();
    EXPECT_EQ(bgrOut.Samples(), rgbOut.Samples());
    EXPECT_EQ(bgrOut.bytes[dibRow - 1], 0xEE) << "row padding left alone";

    // A bottom-up DIB: the base is the last row in memory, the row step negative.
    CImage bottomUp(kCmsSpaceRgb, 3, 8, width, height, {2, 1, 0}, 3, dibRow);
    CImage bottomUpOut(kCmsSpaceRgb, 3, 8, width, height, {2, 1, 0}, 3, dibRow);
    bottomUp.Fill(samples);
    for (CImage* image : {&bottomUp, &bottomUpOut})
        for (int c = 0; c < 3; ++c) {
            image->desc.channels[c].data += (height - 1) * dibRow;
            image->desc.channels[c].rowStep = -dibRow;
        }
    ASSERT_EQ(Apply(bottomUp, bottomUpOut), 0) << m_engine->GetLastErrorText();
    for (int c = 0; c < 3; ++c) {  // read back top down, as it lies in memory
        bottomUpOut.desc.channels[c].data = bottomUpOut.bytes.data();
        bottomUpOut.desc.channels[c].rowStep = dibRow;
    }
    EXPECT_EQ(bottomUpOut.Samples(), rgbOut.Samples());

    // Four bytes a pixel with the padding first, and blue first with padding after.
    for (std::vector<int> offsets : {std::vector<int> {1, 2, 3}, std::vector<int> {2, 1, 0}}) {
        CImage padded(kCmsSpaceRgb, 3, 8, width, height, offsets, 4, 4 * width);
        CImage paddedOut(kCmsSpaceRgb, 3, 8, width, height, offsets, 4, 4 * width);
        padded.Fill(samples);
        ASSERT_EQ(Apply(padded, paddedOut), 0) << m_engine->GetLastErrorText();
        EXPECT_EQ(paddedOut.Samples(), rgbOut.Samples()) << offsets[0];
    }
}

TEST_F(TransformTest, DescriptorsTheEngineCannotTakeAreRefused)
{
    ASSERT_EQ(Create({"REFLECT", "RGBOUT"}), 0);
    struct Case {
        const char* what;
        void (*spoil)(CCmsImageDesc&);
    };
    const Case cases[] = {
        {"no data", [](CCmsImageDesc& d) { d.channels[0].data = nullptr; }},
        {"7 bits", [](CCmsImageDesc& d) { d.channels[0].bitsPerSample = 7; }},
        {"layout", [](CCmsImageDesc& d) { d.layout = 0xC01003; }},
        {"offsets", [](CCmsImageDesc& d) { d.channelOffset[1] = 2; }},
        {"pixel step", [](CCmsImageDesc& d) { d.channels[0].pixelStep = 2; }},
        {"row step", [](CCmsImageDesc& d) { d.channels[0].rowStep = 10; }},
        {"grey layout with three channels", [](CCmsImageDesc& d) { d.layout = kCmsSpaceGrey; }},
    };
    for (const Case& c : cases) {
        CImage source = Rgb(8, 8, 2), destination = Rgb(8, 8, 2);
        c.spoil(source.desc);
        EXPECT_EQ(Apply(source, destination), 1) << c.what;
        EXPECT_EQ(m_engine->GetLastErrorCode(), kCmsErrArgument) << c.what;
    }
    CImage source = Rgb(8, 8, 2), smaller = Rgb(8, 8, 1);
    EXPECT_EQ(Apply(source, smaller), 1);
    ExpectError(kCmsErrArgument, "smaller");
    EXPECT_EQ(m_engine->ApplyTransform(&m_transform, nullptr, &source.desc), 1);
    EXPECT_EQ(m_engine->GetLastErrorCode(), kCmsErrArgument);
    CmsHandle film = {};
    ASSERT_EQ(m_engine->OpenFilmType("NEG100", &film), 0);
    EXPECT_EQ(m_engine->ApplyTransform(&film, &source.desc, &smaller.desc), 1);
    EXPECT_EQ(m_engine->GetLastErrorCode(), kCmsErrBadHandle);
    m_engine->FreeHandle(&film);
}

TEST_F(TransformTest, ProfilesThatCannotBeUsedAreNamed)
{
    struct Case {
        std::vector<const char*> names;
        int code;
        const char* text;
    };
    const Case cases[] = {
        {{"REFLECT", "NOSUCH"}, kCmsErrNotFound, "NOSUCH"},
        {{"BROKEN", "RGBOUT"}, kCmsErrCorrupt, "BROKEN"},
        {{"REFLECT", "LINKCOPY"}, kCmsErrBadProfile, "REFLECT, LINKCOPY"},
        {{"REFLECT", "..\\RGBOUT"}, kCmsErrBadName, "..\\RGBOUT"},
        {{"REFLECT"}, kCmsErrArgument, "1 profiles"},
        {{"REFLECT", nullptr}, kCmsErrArgument, "no profile name"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Create(c.names), 1) << c.text;
        ExpectError(c.code, c.text);
        EXPECT_TRUE(m_transform.IsEmpty()) << c.text;
    }
    EXPECT_EQ(m_engine->CreateTransformFromProfiles(2, nullptr, nullptr, &m_transform), 1);
    EXPECT_EQ(m_engine->GetLastErrorCode(), kCmsErrArgument);
}

TEST_F(TransformTest, DefaultLinksOpenAndTransform)
{
    struct Case {
        const char* link;
        const char* input;
        const char* output;
        bool cmyk;
    };
    const Case cases[] = {
        {"RGBLINK", "REFLECT", "RGBOUT", false},
        {"SLIDELNK", "TRANSP", "RGBOUT", false},
        {"NEGLINK", "NEGATIVE", "RGBOUT", false},
        {"CMYKLINK", "REFLECT", "CMYKOUT", true},
    };
    const std::vector<uint16_t> samples = VariedSamples(50, 3, 8);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.link);
        ASSERT_EQ(m_engine->OpenLink(c.link, &m_transform), 0) << m_engine->GetLastErrorText();
        CImage source = Rgb(8, 50, 1);
        CImage destination = c.cmyk ? Cmyk(50, 1) : Rgb(8, 50, 1);
        source.Fill(samples);
        ASSERT_EQ(Apply(source, destination), 0) << m_engine->GetLastErrorText();
        // The link is a sampled table of the profiles' transform.
        std::vector<uint16_t> bare =
            To8(BareTransform({ProfilePath(c.input), ProfilePath(c.output)}, To16(samples), c.cmyk));
        EXPECT_LE(MaxDifference(destination.Samples(), bare), 3);
        m_engine->FreeHandle(&m_transform);
    }
    EXPECT_EQ(m_engine->OpenLink("NOLINK", &m_transform), 1);
    ExpectError(kCmsErrNotFound, "NOLINK");
    EXPECT_EQ(m_engine->OpenLink("NOTLINK", &m_transform), 1);
    ExpectError(kCmsErrBadProfile, "not a colour link");
    EXPECT_TRUE(m_transform.IsEmpty());
    // Links are objects of the current folder, not profiles.
    ASSERT_EQ(m_engine->SetAttributes(kCmsCategoryObjects, nullptr, kCmsAttrObjectFolder, "cnegs\\"), 0);
    EXPECT_EQ(m_engine->OpenLink("RGBLINK", &m_transform), 1);
    EXPECT_EQ(m_engine->GetLastErrorCode(), kCmsErrNotFound);
}

TEST_F(TransformTest, DefaultLinksAreFoundByOriginalAndOutputSpace)
{
    struct Case {
        int32_t mode;
        int32_t space;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {kCmsModeReflective, kCmsSpaceRgb, {"MONITOR", "RGBLINK"}},
        {kCmsModeTransparency, kCmsSpaceRgb, {"SLIDELNK"}},
        {kCmsModeNegativeLink, kCmsSpaceRgb, {"NEGLINK"}},
        {kCmsModeReflective, kCmsSpaceCmyk, {"CMYKLINK"}},
    };
    for (const Case& c : cases) {
        CmsObjectInfo filter = {};
        filter.inputMode = c.mode;
        filter.outputSpace = c.space;
        ASSERT_EQ(m_engine->BeginProfileSearch(1, &filter), 0);
        std::vector<std::string> names;
        char* name = nullptr;
        while (m_engine->NextSearchResult(&name) == 0 && name != nullptr)
            names.push_back(name);
        EXPECT_EQ(names, c.names) << std::hex << c.mode << " " << c.space;
    }
    CmsObjectInfo info;
    ASSERT_EQ(m_engine->GetObjectInfo("NEGLINK", &info), 0);
    EXPECT_EQ(info.classCode, kCmsClassLink);
    EXPECT_EQ(info.inputMode, kCmsModeNegativeLink);
    EXPECT_EQ(info.inputSpace, kCmsSpaceRgb);
}

TEST_F(TransformTest, CallbacksFollowTheBuildAndCanStopIt)
{
    ASSERT_EQ(m_engine->SetAttributes(
                  kCmsCategoryCallbacks, nullptr, kCmsAttrProgress, RecordProgress, kCmsAttrCancelled, CancelWhenTold),
        0);
    ASSERT_EQ(Create({"REFLECT", "RGBOUT"}), 0);
    ASSERT_GE(g_steps.size(), 2u);
    EXPECT_EQ(g_steps.front().first, 0);
    EXPECT_EQ(g_steps.back().first, g_steps.back().second);
    for (size_t i = 1; i < g_steps.size(); ++i)
        EXPECT_GT(g_steps[i].first, g_steps[i - 1].first);

    // Stopped at the start, midway and at the very end: 7, and no handle.
    const int calls = static_cast<int>(g_steps.size());
    for (int after : {1, calls / 2, calls}) {
        ASSERT_EQ(m_engine->FreeHandle(&m_transform), 0);
        g_steps.clear();
        g_nCancelAfter = after - 1;
        EXPECT_EQ(Create({"REFLECT", "RGBOUT"}), 1) << after;
        EXPECT_EQ(m_engine->GetLastErrorCode(), kCmsErrCancelled);
        EXPECT_TRUE(m_transform.IsEmpty());
        EXPECT_EQ(static_cast<int>(g_steps.size()), after) << "the build ends at the refusal";
    }
    g_nCancelAfter = 0;
    g_steps.clear();
    EXPECT_EQ(m_engine->OpenLink("RGBLINK", &m_transform), 1);
    EXPECT_EQ(m_engine->GetLastErrorCode(), kCmsErrCancelled);

    // Null removes them; one callback alone ends its list with a 0.
    ASSERT_EQ(
        m_engine->SetAttributes(kCmsCategoryCallbacks, nullptr, kCmsAttrProgress, nullptr, kCmsAttrCancelled, nullptr),
        0);
    g_steps.clear();
    ASSERT_EQ(Create({"REFLECT", "RGBOUT"}), 0);
    EXPECT_TRUE(g_steps.empty());
    ASSERT_EQ(m_engine->SetAttributes(kCmsCategoryCallbacks, nullptr, kCmsAttrProgress, RecordProgress, 0), 0);
    ASSERT_EQ(Create({"REFLECT", "RGBOUT"}), 0);
    EXPECT_FALSE(g_steps.empty());
    EXPECT_EQ(m_engine->SetAttributes(kCmsCategoryCallbacks, nullptr, 0x109142, RecordProgress, 0), 1);
    EXPECT_EQ(m_engine->GetLastErrorCode(), kCmsErrAttribute);
}

TEST_F(TransformTest, OpenedProfilesTellGammasAndPrimaries)
{
    struct Case {
        const char* profile;
        float gamma;
        float gammaTolerance;
        float primaries[6];
    };
    const Case cases[] = {
        {"GENERIC", 2.2f, 0.1f, {0.64f, 0.33f, 0.30f, 0.60f, 0.15f, 0.06f}},
        {"RGBOUT", 2.2f, 0.01f, {0.64f, 0.33f, 0.21f, 0.71f, 0.15f, 0.06f}},
        {"REFLECT", 1.8f, 0.01f, {0.64f, 0.33f, 0.30f, 0.60f, 0.15f, 0.06f}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.profile);
        CmsHandle profile = {};
        ASSERT_EQ(m_engine->OpenProfile(0, c.profile, &profile), 0) << m_engine->GetLastErrorText();
        float gammas[3] = {}, xy[6] = {};
        ASSERT_EQ(m_engine->GetAttributes(kCmsCategoryObjects, &profile, kCmsAttrProfileGammas, gammas), 0);
        for (float gamma : gammas)
            EXPECT_NEAR(gamma, c.gamma, c.gammaTolerance);
        ASSERT_EQ(m_engine->GetAttributes(kCmsCategoryObjects, &profile, kCmsAttrProfilePrimaries, xy), 0);
        for (int i = 0; i < 6; ++i)
            EXPECT_NEAR(xy[i], c.primaries[i], 0.002f) << i;
        EXPECT_EQ(m_engine->GetAttributes(kCmsCategoryObjects, &profile, 0x117122, gammas), 1);
        EXPECT_EQ(m_engine->GetLastErrorCode(), kCmsErrAttribute);
        ASSERT_EQ(m_engine->FreeHandle(&profile), 0);
    }
    CmsHandle cmyk = {};
    ASSERT_EQ(m_engine->OpenProfile(0, "CMYKOUT", &cmyk), 0);
    float gammas[3];
    EXPECT_EQ(m_engine->GetAttributes(kCmsCategoryObjects, &cmyk, kCmsAttrProfileGammas, gammas), 1);
    EXPECT_EQ(m_engine->GetLastErrorCode(), kCmsErrBadProfile);
    m_engine->FreeHandle(&cmyk);
    EXPECT_EQ(m_engine->GetAttributes(kCmsCategoryObjects, &cmyk, kCmsAttrProfileGammas, gammas), 1);
    EXPECT_EQ(m_engine->GetLastErrorCode(), kCmsErrBadHandle);
    EXPECT_EQ(m_engine->OpenProfile(0, "NOSUCH", &cmyk), 1);
    EXPECT_EQ(m_engine->GetLastErrorCode(), kCmsErrNotFound);
    EXPECT_EQ(m_engine->OpenProfile(0, "BROKEN", &cmyk), 1);
    EXPECT_EQ(m_engine->GetLastErrorCode(), kCmsErrCorrupt);
    EXPECT_TRUE(cmyk.IsEmpty());
}

TEST_F(TransformTest, InfoRecordsGiveDevicesMediaAndWhitePoint)
{
    struct Case {
        const char* object;
        int code;
        const char* text;
    };
    const Case cases[] = {
        {"RGBLINK", kCmsInfoInputDevice, "Generic scanner"},
        {"RGBLINK", kCmsInfoInputMedium, "reflective originals"},
        {"RGBLINK", kCmsInfoOutputDevice, "Generic RGB output"},
        {"RGBLINK", kCmsInfoOutputMedium, "photo paper"},
        {"CMYKLINK", kCmsInfoOutputMedium, "coated paper"},
        {"MONITOR", kCmsInfoInputDevice, "Generic monitor"},
        {"MONITOR", kCmsInfoInputMedium, ""},
        {"GENERIC", kCmsInfoWhitePoint, "D6504"},
        {"REFLECT", kCmsInfoWhitePoint, "D5001"},
    };
    for (const Case& c : cases) {
        CmsObjectInfo info = {};
        ASSERT_EQ(m_engine->GetObjectInfo(c.object, &info), 0) << c.object;
        char text[64];
        std::memset(text, 'x', sizeof text);
        ASSERT_EQ(m_engine->FormatInfoAttribute(&info, c.code, text), 0) << c.object << m_engine->GetLastErrorText();
        EXPECT_STREQ(text, c.text) << c.object << " 0x" << std::hex << c.code;
    }
    CmsObjectInfo info = {};
    char text[64] = "unchanged";
    EXPECT_EQ(m_engine->FormatInfoAttribute(&info, kCmsInfoInputDevice, text), 1);
    ExpectError(kCmsErrArgument, "did not fill");
    EXPECT_STREQ(text, "");
    ASSERT_EQ(m_engine->GetProfileInfo("GENERIC", 0, &info), 0);
    EXPECT_EQ(m_engine->FormatInfoAttribute(&info, 0x3230A1, text), 1);
    EXPECT_EQ(m_engine->GetLastErrorCode(), kCmsErrAttribute);
    EXPECT_EQ(m_engine->FormatInfoAttribute(&info, kCmsInfoInputDevice, text), 1);
    ExpectError(kCmsErrBadProfile, "not a colour link");
    // The record keeps its key when copied; another object's record finds its own.
    CmsObjectInfo copy = info;
    ASSERT_EQ(m_engine->GetObjectInfo("RGBLINK", &info), 0);
    ASSERT_EQ(m_engine->FormatInfoAttribute(&copy, kCmsInfoWhitePoint, text), 0);
    EXPECT_STREQ(text, "D6504");
}

TEST_F(TransformTest, CmykProfilesAndLinksStateTheirSeparation)
{
    struct Case {
        const char* object;
        int32_t modification;
        uint32_t values[3];
    };
    const Case cases[] = {
        {"CMYKOUT", kCmsSeparationGcr, {50, 95, 300}},
        {"CMYKLINK", kCmsSeparationGcr, {50, 95, 300}},
        {"RGBOUT", 0, {0, 0, 0}},
        {"RGBLINK", 0, {0, 0, 0}},
    };
    for (const Case& c : cases) {
        CmsObjectInfo info;
        ASSERT_EQ(m_engine->GetObjectInfo(c.object, &info), 0) << c.object;
        EXPECT_EQ(info.modification, c.modification) << c.object;
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(info.modValues[i], c.values[i]) << c.object << " " << i;
    }
}

// The data a transform writes are in its destination profile: the file's own bytes, read once, for
// a profile transform and for a link that names its destination; none for other links.
TEST(TransformDestination, IsTheLastProfileOrTheOneTheLinkNames)
{
    std::string objects = InstalledBase() + "MIREVANT\\OBJECTS\\";
    std::string profiles = InstalledBase() + "MIREVANT\\PROFILES\\";
    EXPECT_EQ(LinkDestinationName(objects + "RGBLINK.icc"), "RGBOUT");
    EXPECT_EQ(LinkDestinationName(objects + "CMYKLINK.icc"), "CMYKOUT");
    EXPECT_EQ(LinkDestinationName(profiles + "GENERIC.icc"), "");

    CEngineError error;
    std::unique_ptr<CColourTransform> transform;
    CTransformRecipe recipe {
        {profiles + "REFLECT.icc", profiles + "RGBOUT.icc"}, {"REFLECT", "RGBOUT"}, profiles + "RGBOUT.icc"};
    ASSERT_EQ(CColourTransform::Build(recipe, CBuildCallbacks(), error, transform), 0) << error.Text();
    ASSERT_NE(transform->DestinationBytes(), nullptr);
    FILE* file = std::fopen((profiles + "RGBOUT.icc").c_str(), "rb");
    ASSERT_NE(file, nullptr);
    std::vector<uint8_t> bytes(transform->DestinationBytes()->size() + 1);
    size_t got = std::fread(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    bytes.resize(got);
    EXPECT_EQ(bytes, *transform->DestinationBytes());

    CTransformRecipe foreign {{objects + "RGBLINK.icc"}, {"RGBLINK"}, ""};
    ASSERT_EQ(CColourTransform::Build(foreign, CBuildCallbacks(), error, transform), 0) << error.Text();
    EXPECT_EQ(transform->DestinationBytes(), nullptr);
}
