#include "drivers/telmari/TelmariDriver.h"

#include "core/cms/CmsRecords.h"
#include "core/devices/ModelTable.h"
#include "core/scsi/ScsiBuffer.h"
#include "tests/drivers/telmari/TelmariBench.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

class TelmariIdentifyTest : public TelmariBench { };

}  // namespace

TEST_F(TelmariIdentifyTest, ModelTableTakesEachProductByItsMaskBitAndRenamesByRevision)
{
    struct Case {
        const char* product;
        const char* revision;
        uint32_t mask;
        int entry;  // the entry that accepts it, -1 none
        const char* productAfter;
        bool ultraClass;
    };
    const Case kCases[] = {
        {"TELMARI", "1.00", 0xFFFFFFFF, kModelTelmari, "TELMARI         ", false},
        {"TELMARI", "1.00", 0xFFFFFFFB, -1, "TELMARI         ", false},  // bit 0x4 clear
        {"TELMARI PLUS", "2.40", 0xFFFFFFFF, kModelTelmariUltra, "TELMARI PLUS    ", true},
        {"TELMARI PLUS", "2.5", 0xFFFFFFFF, kModelTelmariUltra, "TELMARI PLUS    ", true},
        {"TELMARI PLUS", "2.51", 0xFFFFFFFF, kModelTelmariUltra, "TELMARI ULTRA   ", true},
        {"TELMARI PLUS", "3.00", 0x00000080, kModelTelmariUltra, "TELMARI ULTRA   ", true},
        {"TELMARI PLUS", "2.40", 0xFFFFFF7F, -1, "TELMARI PLUS    ", false},  // bit 0x80 clear
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(testing::Message() << c.product << " " << c.revision << " mask " << std::hex << c.mask);
        g_ModelEnableMask = c.mask;
        int accepted = -1;
        CScsiInquiryBuffer inquiry;
        for (int entry : {int(kModelTelmari), int(kModelTelmariUltra)}) {
            std::vector<uint8_t> image = CVirtualTarget::MakeInquiryImage(6, "ZELK", c.product, c.revision);
            std::memcpy(inquiry.GetData(), image.data(), image.size());
            if (g_ModelDescriptors[entry]->Match(inquiry)) {
                accepted = entry;
                break;
            }
        }
        EXPECT_EQ(c.entry, accepted);
        EXPECT_EQ(0, std::memcmp(inquiry.GetData() + 16, c.productAfter, 16));
        if (accepted < 0)
            continue;
        std::unique_ptr<CScannerDriver> driver(g_ModelDescriptors[accepted]->Create());
        EXPECT_NE(nullptr, dynamic_cast<CTelmariDriver*>(driver.get()));
        EXPECT_EQ(c.ultraClass, dynamic_cast<CTelmariUltraDriver*>(driver.get()) != nullptr);
    }
    g_ModelEnableMask = 0xFFFFFFFF;
}

TEST_F(TelmariIdentifyTest, InquiryImagesGiveKindBedsFlagsAndLimits)
{
    struct Case {
        CDeviceOptions device;
        uint32_t kind;
        const char* product;
        uint8_t flags;  // second flag byte
        uint8_t third, fifth;
        CDensityLimits reflective, transparency;
        uint16_t transparencyRight, transparencyBottom;  // 1/100 mm
        uint32_t maxX[3], maxY[3];  // line art, grey, colour
        uint32_t maxForTypes;
        std::vector<int> messages;
    };
    const CDensityLimits kTelmariReflective = {0, 470, 300, 4000}, kTelmariFilm = {0, 600, 0, 4000};
    const CDensityLimits kUltraReflective = {0, 2000, 300, 4000}, kUltraFilm = {0, 2000, 0, 4000};
    const Case kCases[] = {
        {{}, 4, "TELMARI", 0xDC, 9, 0, kTelmariReflective, kTelmariFilm, 20320, 25400, {2400, 2400, 1800},
            {2400, 2400, 1800}, 1800, {}},
        // The plain TELMARI keeps a refused probe quiet and offers no negatives.
        {{{"negatives", "0"}}, 4, "TELMARI", 0xCC, 9, 0, kTelmariReflective, kTelmariFilm, 20320, 25400,
            {2400, 2400, 1800}, {2400, 2400, 1800}, 1800, {}},
        // Its transparency bit is fixed; the bed it reports is empty.
        {{{"transparency", "0"}}, 4, "TELMARI", 0xDC, 9, 0, kTelmariReflective, kTelmariFilm, 0, 0, {2400, 2400, 1800},
            {2400, 2400, 1800}, 1800, {}},
        // The capability block replaces the built-in maxima.
        {{{"model", "plus"}}, 0x80, "TELMARI PLUS", 0xDC, 13, 3, kUltraReflective, kUltraFilm, 20320, 25400,
            {2400, 2400, 2400}, {2400, 2400, 2400}, 2400, {}},
        {{{"model", "ultra"}}, 0x80, "TELMARI ULTRA", 0xDC, 13, 3, kUltraReflective, kUltraFilm, 20320, 25400,
            {2400, 2400, 2400}, {2400, 2400, 1800}, 1800, {}},
        {{{"model", "ultra"}, {"transparency", "0"}}, 0x80, "TELMARI ULTRA", 0xC8, 13, 3, kUltraReflective, kUltraFilm,
            0, 0, {2400, 2400, 2400}, {2400, 2400, 1800}, 1800, {3434}},
        // The probe's refusal only leaves negatives off: nothing the user could act on is said.
        {{{"model", "plus"}, {"negatives", "0"}}, 0x80, "TELMARI PLUS", 0xCC, 13, 3, kUltraReflective, kUltraFilm,
            20320, 25400, {2400, 2400, 2400}, {2400, 2400, 2400}, 2400, {}},
        {{{"model", "plus"}, {"revision", "2.5"}}, 0x80, "TELMARI PLUS", 0xDC, 13, 3, kUltraReflective, kUltraFilm,
            20320, 25400, {2400, 2400, 2400}, {2400, 2400, 2400}, 2400, {}},
        {{{"model", "plus"}, {"revision", "2.51"}}, 0x80, "TELMARI ULTRA", 0xDC, 13, 3, kUltraReflective, kUltraFilm,
            20320, 25400, {2400, 2400, 2400}, {2400, 2400, 2400}, 2400, {}},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(testing::PrintToString(c.device));
        m_Messages.Clear();
        Start(c.device);
        const CTelmariDriver& d = Driver();
        EXPECT_EQ(c.kind, d.m_nKind);
        EXPECT_STREQ("ZELK", d.m_strVendor);
        EXPECT_STREQ(c.product, d.m_strProduct);
        EXPECT_EQ(c.flags, d.m_nCapabilityFlags);
        EXPECT_EQ(0x0D, d.m_nImageTypeFlags);
        EXPECT_EQ(c.third, d.m_nFurtherFlags[0]);
        EXPECT_EQ(c.fifth, d.m_nFurtherFlags[2]);
        EXPECT_EQ(c.reflective.m_nMinimumCeiling, d.m_ReflectiveDensity.m_nMinimumCeiling);
        EXPECT_EQ(c.reflective.m_nMaximumFloor, d.m_ReflectiveDensity.m_nMaximumFloor);
        EXPECT_EQ(c.transparency.m_nMinimumCeiling, d.m_TransparencyDensity.m_nMinimumCeiling);
        EXPECT_EQ(c.transparency.m_nMaximumFloor, d.m_TransparencyDensity.m_nMaximumFloor);
        EXPECT_EQ(4000u, d.m_TransparencyDensity.m_nMaximum);
        // 8500 x 11700 thousandths of an inch.
        EXPECT_EQ(21590, d.m_ReflectiveBed.m_nWidth);
        EXPECT_EQ(29718, d.m_ReflectiveBed.m_nHeight);
        EXPECT_EQ(c.transparencyRight, d.m_TransparencyBed.m_nWidth);
        EXPECT_EQ(c.transparencyBottom, d.m_TransparencyBed.m_nHeight);
        for (int r = 0; r < 4; ++r) {
            EXPECT_EQ(50, d.m_ResolutionRange[r].m_nMinimum);
            EXPECT_EQ(2400, d.m_ResolutionRange[r].m_nMaximum);
        }
        EXPECT_EQ(2400, d.m_nCapabilityWords[0]);
        EXPECT_EQ(2400, d.m_nCapabilityWords[7]);
        EXPECT_EQ(1024u, d.m_nBufferSize);
        EXPECT_EQ(100, d.m_nFirmwareLowest);
        EXPECT_EQ(9999, d.m_nFirmwareHighest);
        for (int t = 0; t < 3; ++t) {
            EXPECT_EQ(c.maxX[t], d.m_nMaxResolutionX[t]) << t;
            EXPECT_EQ(c.maxY[t], d.m_nMaxResolutionY[t]) << t;
        }
        EXPECT_EQ(c.maxForTypes, d.m_nMaxResolutionForType);
        EXPECT_EQ(c.messages, m_Messages.Ids());
        EXPECT_EQ(1, d.m_bReadFix);
    }
}

TEST_F(TelmariIdentifyTest, FormatTablesClipTransparenciesToTheBedEdges)
{
    struct Case {
        const char* model;
        int entry;
        int32_t width, height, x, y, holder;
        uint16_t extra;
    };
    const Case kCases[] = {
        {"telmari", 0, 21590, 29718, 0, 0, 0, 0},  // A3 on the A4 glass
        {"telmari", 19, 20320, 25400, 0, 0, 0, 0},  // the largest transparency, to the right and bottom edges
        {"telmari", 20, 2500, 3600, 3346, 3199, 1, 2983},
        {"ultra", 20, 2700, 3800, 3246, 3099, 1, 2983},
        {"ultra", 29, 20320, 25400, 14850, 22020, 32, 2983},
        {"ultra", 31, 3800, 3800, 7250, 10200, 128, 4150},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(testing::Message() << c.model << " entry " << c.entry);
        Start({{"model", c.model}});
        const CFormatEntry& e = Driver().m_pFormatTable->m_Entries[c.entry];
        EXPECT_EQ(c.width, e.m_nWidth);
        EXPECT_EQ(c.height, e.m_nHeight);
        EXPECT_EQ(c.x, e.m_nOffsetX);
        EXPECT_EQ(c.y, e.m_nOffsetY);
        EXPECT_EQ(c.holder, e.m_nHolder);
        EXPECT_EQ(c.extra, e.m_nExtra);
    }
    Start({{"model", "ultra"}});
    EXPECT_EQ(24, Driver().m_pHolderTable[23].m_nHole);
    EXPECT_EQ(0, Driver().m_pHolderTable[24].m_nHolderWidth);  // the end record
    EXPECT_STREQ("", Driver().m_pFormatTable->m_Entries[33].m_strName);
}

TEST_F(TelmariIdentifyTest, ResolutionClampsAndScanModes)
{
    struct Case {
        const char* model;
        int32_t type;
        int32_t resolution;
        int32_t bits;
        int32_t ruling;
        int32_t rotation;
        uint32_t x, y;
        uint32_t mode;
    };
    const Case kCases[] = {
        {"telmari", kImageGrey, 600, 8, 0, 0, 600, 600, 2},
        // A ruling below 70 descreens at four pixels per line, in both directions.
        {"telmari", kImageGrey, 600, 8, 60, 0, 240, 240, 2},
        {"telmari", kImageGrey, 600, 8, 85, 0, 600, 600, 2},
        {"telmari", kImageLineArt, 600, 1, 60, 0, 600, 600, 0},  // line art is not descreened
        {"telmari", kImageGrey, 3000, 8, 0, 0, 2400, 2400, 2},
        {"telmari", kImageRgb, 2400, 8, 0, 0, 1800, 1800, 3},
        {"telmari", kImageGrey, 20, 8, 0, 0, 50, 50, 2},
        {"telmari", kImageLineArt, 3000, 1, 0, 0, 2400, 2400, 2},  // beyond the device: grey, thresholded here
        {"telmari", kImageLineArt, 600, 1, 0, 90, 600, 600, 2},  // rotated: grey, thresholded here
        {"telmari", kImageHalftone, 300, 1, 0, 0, 300, 300, 2},
        // Deep ULTRA scans stop at 1200; the PLUS is not limited so.
        {"ultra", kImageGrey, 2000, 16, 0, 0, 1200, 1200, 2},
        {"ultra", kImageRgb, 2000, 12, 0, 0, 1200, 1200, 3},
        {"ultra", kImageGrey, 2000, 8, 0, 0, 2000, 2000, 2},
        {"plus", kImageGrey, 2000, 16, 0, 0, 2000, 2000, 2},
    };
    std::string model;
    for (const Case& c : kCases) {
        SCOPED_TRACE(testing::Message() << c.model << " type " << c.type << " at " << c.resolution << " bits " << c.bits
                                        << " ruling " << c.ruling);
        if (model != c.model)
            Start({{"model", c.model}});
        model = c.model;
        Select(c.type, c.resolution, 0, 0, 2540, 2540);
        m_Settings.SetParam(kParamBitsPerChannel, c.bits);
        m_Settings.SetParam(kParamScreenRuling, c.ruling);
        m_Settings.SetParam(kParamRotation, c.rotation);
        EXPECT_EQ(c.x, Driver().ClampResolutionX(uint32_t(c.resolution)));
        EXPECT_EQ(c.y, Driver().ClampResolutionY(uint32_t(c.resolution)));
        EXPECT_EQ(c.mode, Driver().ScanModeForImageType(c.type));
    }
}

TEST_F(TelmariIdentifyTest, FilmGammaSharpeningAndDefaults)
{
    Start();
    EXPECT_EQ(0xFF00, m_Settings.GetParamForType(kImageRgb, kParamToneCode));
    EXPECT_EQ(0xFF00, m_Settings.GetParamForType(kImageLineArt, kParamToneCode));
    const double kGamma[3] = {1.0, 1.5, 1.5};
    for (int32_t original = 0; original < 3; ++original) {
        m_Settings.SetParam(kParamOriginal, original);
        EXPECT_EQ(kGamma[original], Driver().GetGammaOverride()) << original;
    }
    const struct {
        int32_t sharpness;
        int expected;
    } kSharpness[] = {{0, 1}, {50, 1}, {0xFFFE, 0}};
    Select(kImageGrey, 300, 0, 0, 2540, 2540);  // line art keeps no sharpness
    for (const auto& s : kSharpness) {
        m_Settings.SetParam(kParamSharpness, s.sharpness);
        EXPECT_EQ(s.expected, Driver().HasHardwareSharpening()) << s.sharpness;
    }
    // The engine learns of the device's film gamma through the correction block of a negative.
    Select(kImageRgb, 300, 0, 0, 2540, 2540);
    m_Settings.SetParam(kParamOriginal, 2);
    Driver().PrepareColourCorrection();
    ASSERT_NE(nullptr, Driver().m_pCorrectionBlock);
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ(1.5f, Driver().m_pCorrectionBlock->gamma[c]) << c;
    Driver().StopScan(0);
    EXPECT_EQ(nullptr, Driver().m_pCorrectionBlock);
    for (uint32_t mode = 0; mode < 5; ++mode)
        EXPECT_EQ(mode == 0 || mode == 2 || mode == 3 ? 1 : 0, Driver().IsLutRising(mode)) << mode;
}
