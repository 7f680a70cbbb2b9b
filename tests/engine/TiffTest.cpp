// The image files the engine DLL writes, read back with libtiff: fields, samples and the failures
// that must leave no file behind. The profile tag is checked on the engine's file table directly,
// because nothing behind the DLL's table notes profiles in this build.

#include <windows.h>

#include <gtest/gtest.h>
#include <tiffio.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/cms/CmsEngine.h"
#include "engine/EngineError.h"
#include "engine/ImageFiles.h"
#include "engine/WrittenProfiles.h"
#include "tests/engine/EngineFixture.h"

using namespace enginetest;

namespace {

std::string g_folder;

constexpr uint8_t kFill = 0xEE;  // the bytes around the samples, so a misplaced read shows

struct CLayoutCase {
    const char* name;
    int32_t layout;
    int channels;
    int bits;  // as the descriptor declares them
    uint16_t storedBits;
    uint16_t photometric;
};

const CLayoutCase kLayouts[] = {
    {"bitmap", kCmsSpaceBitmap, 1, 1, 1, PHOTOMETRIC_MINISWHITE},
    {"grey 8", kCmsSpaceGrey, 1, 8, 8, PHOTOMETRIC_MINISBLACK},
    {"grey 12 in 16", kCmsSpaceGrey, 1, 12, 16, PHOTOMETRIC_MINISBLACK},
    {"RGB 8", kCmsSpaceRgb, 3, 8, 8, PHOTOMETRIC_RGB},
    {"RGB 16", kCmsSpaceRgb, 3, 16, 16, PHOTOMETRIC_RGB},
    {"CMYK 8", kCmsSpaceCmyk, 4, 8, 8, PHOTOMETRIC_SEPARATED},
};

// Every pixel, line and channel differs, and the values reach the top of the declared bits.
unsigned SampleValue(int x, int y, int c, int bits)
{
    if (bits == 1)
        return (x + 3 * y + c) % 5 == 0 ? 1 : 0;
    return (unsigned)(x * 4099 + y * 257 + c * 16411 + 7) & ((1u << bits) - 1);
}

// An image in memory as a scan leaves it: pixels wider apart than their samples, lines wider than
// their pixels, the channels in reverse order within a pixel, the gaps filled with kFill. Also the
// lines a file of it should hold.
struct CSourceImage {
    CSourceImage(const CLayoutCase& kind, int width, int height)
    {
        bool bitmap = kind.bits == 1;
        int sampleBytes = kind.bits > 8 ? 2 : 1;
        int pixelStep = kind.channels * sampleBytes + 1;
        int lineBytes = bitmap ? (width + 7) / 8 : width * kind.channels * sampleBytes;
        int rowStep = (bitmap ? lineBytes : width * pixelStep) + 3;
        memory.assign((size_t)rowStep * height, kFill);
        desc.imageWidth = desc.width = width;
        desc.imageHeight = desc.height = height;
        desc.channelCount = kind.channels;
        desc.layout = kind.layout;
        desc.scale[0] = 1200.0f;
        desc.scale[1] = 600.0f;
        for (int c = 0; c < kind.channels; ++c) {
            desc.channels[c] = {0, memory.data(), kind.bits, pixelStep, rowStep};
            desc.channelOffset[c] = (kind.channels - 1 - c) * sampleBytes;
        }
        for (int y = 0; y < height; ++y) {
            uint8_t* line = memory.data() + (size_t)y * rowStep;
            std::vector<uint8_t> stored(lineBytes, 0);
            for (int x = 0; x < width; ++x) {
                for (int c = 0; c < kind.channels; ++c) {
                    unsigned value = SampleValue(x, y, c, kind.bits);
                    if (bitmap) {
                        uint8_t bit = (uint8_t)(0x80 >> (x % 8));
                        line[x / 8] = (uint8_t)(value ? line[x / 8] | bit : line[x / 8] & ~bit);
                        stored[x / 8] |= value ? bit : 0;
                        continue;
                    }
                    uint8_t* sample = line + x * pixelStep + desc.channelOffset[c];
                    size_t at = ((size_t)x * kind.channels + c) * sampleBytes;
                    for (int b = 0; b < sampleBytes; ++b)
                        sample[b] = stored[at + b] = (uint8_t)(value >> (8 * b));
                }
            }
            lines.push_back(stored);
        }
    }

    // The descriptor of lines first..first+count-1, as the caller passes each block.
    CCmsImageDesc Block(int first, int count) const
    {
        CCmsImageDesc block = desc;
        block.height = count;
        block.channels[0].data = const_cast<uint8_t*>(memory.data()) + (size_t)first * desc.channels[0].rowStep;
        return block;
    }

    CCmsImageDesc desc = {};
    std::vector<uint8_t> memory;
    std::vector<std::vector<uint8_t>> lines;
};

struct CTiffContent {
    bool littleEndian = false;
    int directories = 0;
    uint32_t width = 0, height = 0;
    uint16_t bits = 0, samples = 0, photometric = 0, compression = 0, planar = 0, unit = 0;
    bool hasInkSet = false;
    uint16_t inkSet = 0;
    float xResolution = 0, yResolution = 0;
    bool hasProfile = false;
    std::vector<uint8_t> profile;
    std::vector<std::vector<uint8_t>> lines;
};

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool ReadTiff(const std::string& path, CTiffContent& out)
{
    std::vector<uint8_t> bytes = ReadBytes(path);
    out.littleEndian = bytes.size() > 2 && bytes[0] == 'I' && bytes[1] == 'I';
    TIFF* tiff = TIFFOpen(path.c_str(), "r");
    if (tiff == nullptr)
        return false;
    out.directories = TIFFNumberOfDirectories(tiff);
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &out.width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &out.height);
    TIFFGetField(tiff, TIFFTAG_BITSPERSAMPLE, &out.bits);
    TIFFGetField(tiff, TIFFTAG_SAMPLESPERPIXEL, &out.samples);
    TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &out.photometric);
    TIFFGetField(tiff, TIFFTAG_COMPRESSION, &out.compression);
    TIFFGetField(tiff, TIFFTAG_PLANARCONFIG, &out.planar);
    TIFFGetField(tiff, TIFFTAG_RESOLUTIONUNIT, &out.unit);
    TIFFGetField(tiff, TIFFTAG_XRESOLUTION, &out.xResolution);
    TIFFGetField(tiff, TIFFTAG_YRESOLUTION, &out.yResolution);
    out.hasInkSet = TIFFGetField(tiff, TIFFTAG_INKSET, &out.inkSet) == 1;
    uint32_t profileSize = 0;
    void* profile = nullptr;
    out.hasProfile = TIFFGetField(tiff, TIFFTAG_ICCPROFILE, &profileSize, &profile) == 1;
    if (out.hasProfile)
        out.profile.assign((uint8_t*)profile, (uint8_t*)profile + profileSize);
    std::vector<uint8_t> line(TIFFScanlineSize(tiff));
    for (uint32_t y = 0; y < out.height; ++y) {
        if (TIFFReadScanline(tiff, line.data(), y, 0) < 0)
            break;
        out.lines.push_back(line);
    }
    TIFFClose(tiff);
    return true;
}

}  // namespace

class TiffTest : public CEngineInstanceTest {
protected:
    static void SetUpTestSuite()
    {
        g_folder = MakeTempFolder("tiff");
    }

    static void TearDownTestSuite()
    {
        RemoveTree(g_folder);
    }

    void ExpectError(int code, const std::string& textPart)
    {
        EXPECT_EQ(m_engine->GetLastErrorCode(), code);
        EXPECT_NE(std::strstr(m_engine->GetLastErrorText(), textPart.c_str()), nullptr) << m_engine->GetLastErrorText();
    }

    // Creates, writes in blocks of blockLines (the last one what is left) and closes: 0 when all
    // three succeed.
    int WriteImage(const std::string& path, const CSourceImage& image, int blockLines)
    {
        int32_t slot[2] = {-1, -1};
        CCmsImageDesc desc = image.desc;
        if (m_engine->CreateImageFile(path.c_str(), &desc, 0, slot) != 0)
            return 1;
        for (int y = 0; y < image.desc.imageHeight; y += blockLines) {
            desc = image.Block(y, std::min(blockLines, image.desc.imageHeight - y));
            if (m_engine->WriteImageBlock(&desc, slot) != 0)
                return 1;
        }
        return m_engine->CloseImageFile(&desc, slot);
    }

};

TEST_F(TiffTest, EachLayoutReadsBackWithItsFieldsAndSamples)
{
    for (const CLayoutCase& kind : kLayouts) {
        SCOPED_TRACE(kind.name);
        CSourceImage image(kind, 13, 10);
        std::string path = g_folder + "layout.tif";
        ASSERT_EQ(WriteImage(path, image, 4), 0) << m_engine->GetLastErrorText();
        EXPECT_EQ(m_engine->GetLastErrorCode(), 0);

        CTiffContent file;
        ASSERT_TRUE(ReadTiff(path, file));
        EXPECT_TRUE(file.littleEndian);
        EXPECT_EQ(file.directories, 1);
        EXPECT_EQ(file.width, 13u);
        EXPECT_EQ(file.height, 10u);
        EXPECT_EQ(file.bits, kind.storedBits);
        EXPECT_EQ(file.samples, kind.channels);
        EXPECT_EQ(file.photometric, kind.photometric);
        EXPECT_EQ(file.compression, COMPRESSION_NONE);
        EXPECT_EQ(file.planar, PLANARCONFIG_CONTIG);
        EXPECT_EQ(file.unit, RESUNIT_INCH);
        EXPECT_FLOAT_EQ(file.xResolution, 1200.0f);
        EXPECT_FLOAT_EQ(file.yResolution, 600.0f);
        EXPECT_EQ(file.hasInkSet, kind.layout == kCmsSpaceCmyk);
        if (file.hasInkSet) {
            EXPECT_EQ(file.inkSet, INKSET_CMYK);
        }
        EXPECT_FALSE(file.hasProfile);
        EXPECT_EQ(file.lines, image.lines);
    }
}

// The bytes of a 2 x 2 RGB image at 300 pixels per inch as both builds must store them: header,
// the pixels as one strip, the directory in tag order, then the values that do not fit an entry.
TEST_F(TiffTest, BothBuildsStoreTheSameBytes)
{
    // clang-format off
    const std::vector<uint8_t> expected = {
        'I', 'I', 42, 0, 20, 0, 0, 0,
        10, 11, 12, 20, 21, 22,
        30, 31, 32, 40, 41, 42,
        13, 0,
        0x00, 0x01, 3, 0, 1, 0, 0, 0, 2, 0, 0, 0,        // width 2
        0x01, 0x01, 3, 0, 1, 0, 0, 0, 2, 0, 0, 0,        // height 2
        0x02, 0x01, 3, 0, 3, 0, 0, 0, 198, 0, 0, 0,      // bits 8, 8, 8 at 198
        0x03, 0x01, 3, 0, 1, 0, 0, 0, 1, 0, 0, 0,        // no compression
        0x06, 0x01, 3, 0, 1, 0, 0, 0, 2, 0, 0, 0,        // RGB
        0x11, 0x01, 4, 0, 1, 0, 0, 0, 8, 0, 0, 0,        // strip at 8
        0x15, 0x01, 3, 0, 1, 0, 0, 0, 3, 0, 0, 0,        // 3 samples per pixel
        0x16, 0x01, 3, 0, 1, 0, 0, 0, 2, 0, 0, 0,        // 2 rows per strip
        0x17, 0x01, 4, 0, 1, 0, 0, 0, 12, 0, 0, 0,       // strip of 12 bytes
        0x1A, 0x01, 5, 0, 1, 0, 0, 0, 182, 0, 0, 0,      // x resolution at 182
        0x1B, 0x01, 5, 0, 1, 0, 0, 0, 190, 0, 0, 0,      // y resolution at 190
        0x1C, 0x01, 3, 0, 1, 0, 0, 0, 1, 0, 0, 0,        // one plane
        0x28, 0x01, 3, 0, 1, 0, 0, 0, 2, 0, 0, 0,        // inch
        0, 0, 0, 0,                                      // no next directory
        44, 1, 0, 0, 1, 0, 0, 0,                         // 300 / 1
        44, 1, 0, 0, 1, 0, 0, 0,
        8, 0, 8, 0, 8, 0,
    };
    // clang-format on
    CSourceImage image({"RGB 8", kCmsSpaceRgb, 3, 8, 8, PHOTOMETRIC_RGB}, 2, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            for (int c = 0; c < 3; ++c)
                image.memory[y * image.desc.channels[0].rowStep + x * 4 + image.desc.channelOffset[c]] =
                    (uint8_t)(10 * (2 * y + x + 1) + c);
    image.desc.scale[0] = image.desc.scale[1] = 300.0f;
    std::string path = g_folder + "bytes.tif";
    ASSERT_EQ(WriteImage(path, image, 1), 0) << m_engine->GetLastErrorText();
    EXPECT_EQ(ReadBytes(path), expected);
}

TEST_F(TiffTest, CreateRefusesWhatAFileCannotHoldAndMakesNoFile)
{
    CSourceImage image(kLayouts[3], 4, 4);
    const std::vector<std::pair<const char*, std::function<void(CCmsImageDesc&)>>> cases = {
        {"unknown layout", [](CCmsImageDesc& d) { d.layout = kCmsSpaceLab; }},
        {"one bit in three channels",
            [](CCmsImageDesc& d) {
                d.layout = kCmsSpaceBitmap;
                d.channels[0].bitsPerSample = 1;
            }},
        {"grey in three channels", [](CCmsImageDesc& d) { d.layout = kCmsSpaceGrey; }},
        {"four bits",
            [](CCmsImageDesc& d) {
                for (auto& ch : d.channels)
                    ch.bitsPerSample = 4;
            }},
        {"seventeen bits",
            [](CCmsImageDesc& d) {
                for (auto& ch : d.channels)
                    ch.bitsPerSample = 17;
            }},
        {"channels of different bits", [](CCmsImageDesc& d) { d.channels[2].bitsPerSample = 16; }},
        {"width 0", [](CCmsImageDesc& d) { d.imageWidth = 0; }},
        {"height 0", [](CCmsImageDesc& d) { d.imageHeight = 0; }},
        {"beyond 4 GiB", [](CCmsImageDesc& d) { d.imageWidth = d.imageHeight = 40000; }},
        {"no resolution", [](CCmsImageDesc& d) { d.scale[1] = 0.0f; }},
    };
    std::string path = g_folder + "refused.tif";
    int32_t slot[2] = {};
    for (const auto& [name, change] : cases) {
        SCOPED_TRACE(name);
        CCmsImageDesc desc = image.desc;
        change(desc);
        EXPECT_EQ(m_engine->CreateImageFile(path.c_str(), &desc, 0, slot), 1);
        ExpectError(kCmsErrArgument, "CreateImageFile");
        EXPECT_FALSE(FileExists(path));
    }
    CCmsImageDesc desc = image.desc;
    EXPECT_EQ(m_engine->CreateImageFile(nullptr, &desc, 0, slot), 1);
    ExpectError(kCmsErrArgument, "CreateImageFile");
    EXPECT_EQ(m_engine->CreateImageFile(path.c_str(), nullptr, 0, slot), 1);
    ExpectError(kCmsErrArgument, "CreateImageFile");
    EXPECT_EQ(m_engine->CreateImageFile(path.c_str(), &desc, 0, nullptr), 1);
    ExpectError(kCmsErrArgument, "CreateImageFile");
    EXPECT_EQ(m_engine->CreateImageFile(path.c_str(), &desc, 1, slot), 1);
    ExpectError(kCmsErrArgument, "flags 1");
    EXPECT_FALSE(FileExists(path));
}

TEST_F(TiffTest, FileInAMissingFolderFailsWithItsPath)
{
    CSourceImage image(kLayouts[1], 4, 4);
    std::string path = g_folder + "absent\\scan.tif";
    int32_t slot[2] = {};
    EXPECT_EQ(m_engine->CreateImageFile(path.c_str(), &image.desc, 0, slot), 1);
    ExpectError(kCmsErrWrite, path);
}

TEST_F(TiffTest, CloseBeforeTheLastLineFailsAndRemovesTheFile)
{
    CSourceImage image(kLayouts[1], 4, 10);
    std::string path = g_folder + "short.tif";
    int32_t slot[2] = {};
    ASSERT_EQ(m_engine->CreateImageFile(path.c_str(), &image.desc, 0, slot), 0);
    CCmsImageDesc block = image.Block(0, 4);
    ASSERT_EQ(m_engine->WriteImageBlock(&block, slot), 0);
    EXPECT_EQ(m_engine->CloseImageFile(&block, slot), 1);
    ExpectError(kCmsErrIncomplete, path);
    EXPECT_FALSE(FileExists(path));
    // The close freed the slot.
    EXPECT_EQ(m_engine->WriteImageBlock(&block, slot), 1);
    ExpectError(kCmsErrArgument, "WriteImageBlock");
}

// A refused block spoils the file: later blocks fail too, and the close removes it.
TEST_F(TiffTest, RefusedBlockLeavesNoFile)
{
    CSourceImage image(kLayouts[3], 5, 6);
    const std::vector<std::pair<const char*, std::function<void(CCmsImageDesc&)>>> cases = {
        {"another width", [](CCmsImageDesc& d) { d.width = 4; }},
        {"another layout",
            [](CCmsImageDesc& d) {
                d.layout = kCmsSpaceCmyk;
                d.channelCount = 4;
            }},
        {"no lines", [](CCmsImageDesc& d) { d.height = 0; }},
        {"past the last line", [](CCmsImageDesc& d) { d.height = 3; }},
        {"no data", [](CCmsImageDesc& d) { d.channels[0].data = nullptr; }},
        {"channel outside the pixel", [](CCmsImageDesc& d) { d.channelOffset[0] = 4; }},
    };
    std::string path = g_folder + "refusedblock.tif";
    for (const auto& [name, change] : cases) {
        SCOPED_TRACE(name);
        int32_t slot[2] = {};
        ASSERT_EQ(m_engine->CreateImageFile(path.c_str(), &image.desc, 0, slot), 0);
        CCmsImageDesc block = image.Block(0, 4);
        ASSERT_EQ(m_engine->WriteImageBlock(&block, slot), 0);
        CCmsImageDesc wrong = image.Block(4, 2);
        change(wrong);
        EXPECT_EQ(m_engine->WriteImageBlock(&wrong, slot), 1);
        ExpectError(kCmsErrArgument, "WriteImageBlock");
        CCmsImageDesc rest = image.Block(4, 2);
        EXPECT_EQ(m_engine->WriteImageBlock(&rest, slot), 1);
        ExpectError(kCmsErrWrite, path);
        EXPECT_TRUE(FileExists(path));
        EXPECT_EQ(m_engine->CloseImageFile(&rest, slot), 1);
        ExpectError(kCmsErrIncomplete, path);
        EXPECT_FALSE(FileExists(path));
    }
}

TEST_F(TiffTest, BlockAfterTheLastLineSpoilsAWholeImage)
{
    CSourceImage image(kLayouts[1], 5, 4);
    std::string path = g_folder + "extrablock.tif";
    int32_t slot[2] = {};
    ASSERT_EQ(m_engine->CreateImageFile(path.c_str(), &image.desc, 0, slot), 0);
    CCmsImageDesc block = image.Block(0, 4);
    ASSERT_EQ(m_engine->WriteImageBlock(&block, slot), 0);
    CCmsImageDesc extra = image.Block(3, 1);
    EXPECT_EQ(m_engine->WriteImageBlock(&extra, slot), 1);
    ExpectError(kCmsErrArgument, "WriteImageBlock");
    EXPECT_EQ(m_engine->CloseImageFile(&block, slot), 1);
    ExpectError(kCmsErrWrite, path);
    EXPECT_FALSE(FileExists(path));
}

TEST_F(TiffTest, SlotsOfClosedFilesReachNothing)
{
    CSourceImage image(kLayouts[1], 4, 2);
    std::string first = g_folder + "first.tif";
    std::string second = g_folder + "second.tif";
    int32_t slot[2] = {};
    CCmsImageDesc block = image.Block(0, 2);
    EXPECT_EQ(m_engine->WriteImageBlock(&block, slot), 1);
    ExpectError(kCmsErrArgument, "WriteImageBlock");
    EXPECT_EQ(m_engine->CloseImageFile(&block, slot), 1);
    ExpectError(kCmsErrArgument, "CloseImageFile");

    ASSERT_EQ(m_engine->CreateImageFile(first.c_str(), &image.desc, 0, slot), 0);
    int32_t stale[2] = {slot[0], slot[1]};
    ASSERT_EQ(m_engine->WriteImageBlock(&block, slot), 0);
    ASSERT_EQ(m_engine->CloseImageFile(&block, slot), 0);
    // The next file takes the freed place in the table; the old slot must not find it.
    ASSERT_EQ(m_engine->CreateImageFile(second.c_str(), &image.desc, 0, slot), 0);
    EXPECT_EQ(m_engine->WriteImageBlock(&block, stale), 1);
    ExpectError(kCmsErrArgument, "WriteImageBlock");
    EXPECT_EQ(m_engine->CloseImageFile(&block, stale), 1);
    ASSERT_EQ(m_engine->WriteImageBlock(&block, slot), 0);
    EXPECT_EQ(m_engine->CloseImageFile(&block, slot), 0);
    EXPECT_TRUE(FileExists(first));
    EXPECT_TRUE(FileExists(second));
}

TEST_F(TiffTest, TwoFilesOpenAtOnceStaySeparate)
{
    CSourceImage grey(kLayouts[1], 7, 5);
    CSourceImage rgb(kLayouts[4], 3, 6);
    std::string greyPath = g_folder + "both_grey.tif";
    std::string rgbPath = g_folder + "both_rgb.tif";
    int32_t greySlot[2] = {}, rgbSlot[2] = {};
    ASSERT_EQ(m_engine->CreateImageFile(greyPath.c_str(), &grey.desc, 0, greySlot), 0);
    ASSERT_EQ(m_engine->CreateImageFile(rgbPath.c_str(), &rgb.desc, 0, rgbSlot), 0);
    for (int y = 0; y < 6; y += 2) {
        CCmsImageDesc rgbBlock = rgb.Block(y, 2);
        ASSERT_EQ(m_engine->WriteImageBlock(&rgbBlock, rgbSlot), 0) << m_engine->GetLastErrorText();
        CCmsImageDesc greyBlock = grey.Block(y, std::min(2, 5 - y));
        ASSERT_EQ(m_engine->WriteImageBlock(&greyBlock, greySlot), 0) << m_engine->GetLastErrorText();
    }
    ASSERT_EQ(m_engine->CloseImageFile(&rgb.desc, rgbSlot), 0);
    ASSERT_EQ(m_engine->CloseImageFile(&grey.desc, greySlot), 0);
    CTiffContent greyFile, rgbFile;
    ASSERT_TRUE(ReadTiff(greyPath, greyFile));
    ASSERT_TRUE(ReadTiff(rgbPath, rgbFile));
    EXPECT_EQ(greyFile.lines, grey.lines);
    EXPECT_EQ(rgbFile.lines, rgb.lines);
}

TEST_F(TiffTest, FreedInstanceRemovesItsUnfinishedFile)
{
    CSourceImage image(kLayouts[1], 4, 4);
    std::string path = g_folder + "abandoned.tif";
    int32_t slot[2] = {};
    ASSERT_EQ(m_engine->CreateImageFile(path.c_str(), &image.desc, 0, slot), 0);
    CCmsImageDesc block = image.Block(0, 2);
    ASSERT_EQ(m_engine->WriteImageBlock(&block, slot), 0);
    FreeEngine();
    EXPECT_FALSE(FileExists(path));
}

// The profile a transform noted for a block's memory goes into the file; one noted before the
// file was created belongs to an earlier scan that left its data in the same buffer.
TEST(TiffProfileTest, FirstBlockTakesTheProfileNotedSinceCreate)
{
    std::string folder = MakeTempFolder("tiffprofile");
    CSourceImage image(kLayouts[3], 3, 4);
    auto profile = std::make_shared<const std::vector<uint8_t>>(std::vector<uint8_t> {1, 2, 3, 4, 5, 6, 7});
    struct CProfileCase {
        const char* name;
        bool noteBeforeCreate;
        bool noteAfterCreate;
    };
    const CProfileCase cases[] = {{"noted for this file", false, true}, {"left from an earlier scan", true, false}};
    for (const CProfileCase& entry : cases) {
        SCOPED_TRACE(entry.name);
        CImageFiles files;
        CWrittenProfiles written;
        CEngineError error;
        std::string path = folder + "profile.tif";
        int32_t slot[2] = {};
        CCmsImageDesc first = image.Block(0, 2);
        if (entry.noteBeforeCreate)
            written.Note(first.channels[0].data, profile);
        ASSERT_EQ(files.Create(path.c_str(), &image.desc, 0, slot, written, error), 0) << error.Text();
        if (entry.noteAfterCreate)
            written.Note(first.channels[0].data, profile);
        ASSERT_EQ(files.Write(&first, slot, written, error), 0) << error.Text();
        CCmsImageDesc second = image.Block(2, 2);
        ASSERT_EQ(files.Write(&second, slot, written, error), 0) << error.Text();
        ASSERT_EQ(files.Close(&second, slot, error), 0) << error.Text();

        CTiffContent file;
        ASSERT_TRUE(ReadTiff(path, file));
        EXPECT_EQ(file.hasProfile, entry.noteAfterCreate);
        if (entry.noteAfterCreate) {
            EXPECT_EQ(file.profile, *profile);
        }
        EXPECT_EQ(file.lines, image.lines);
    }
    RemoveTree(folder);
}
