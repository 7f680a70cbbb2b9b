// The KILTORRA as the model table and its INQUIRY data make it: kind, ranges, beds, densities and
// flags, and the resolution and scan-mode rules.

#include "drivers/kiltorra/KiltorraDriver.h"

#include "core/devices/ModelTable.h"
#include "core/scsi/ScsiBuffer.h"
#include "tests/drivers/kiltorra/KiltorraBench.h"

#include <cstring>
#include <memory>
#include <vector>

namespace {

class KiltorraIdentifyTest : public KiltorraBench { };

}  // namespace

TEST_F(KiltorraIdentifyTest, ModelTableAcceptsTheProductByItsMaskBit)
{
    struct Case {
        const char* vendor;
        const char* product;
        uint32_t mask;
        bool accepted;
    };
    const Case kCases[] = {
        {"ZELK", "KILTORRA", 0xFFFFFFFF, true},
        {"ZELK", "KILTORRA", 0x00000400, true},
        {"ZELK", "KILTORRA", 0xFFFFFBFF, false},  // bit 0x400 clear
        {"VARDEN", "KILTORRA", 0xFFFFFFFF, false},
        {"ZELK", "KOVAL", 0xFFFFFFFF, false},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(testing::Message() << c.vendor << " " << c.product << " mask " << std::hex << c.mask);
        g_ModelEnableMask = c.mask;
        std::vector<uint8_t> image = CVirtualTarget::MakeInquiryImage(6, c.vendor, c.product, "1.00");
        CScsiInquiryBuffer inquiry;
        std::memcpy(inquiry.GetData(), image.data(), image.size());
        EXPECT_EQ(c.accepted, g_ModelDescriptors[kModelKiltorra]->Match(inquiry));
    }
    g_ModelEnableMask = 0xFFFFFFFF;
    std::unique_ptr<CScannerDriver> driver(g_ModelDescriptors[kModelKiltorra]->Create());
    EXPECT_NE(nullptr, dynamic_cast<CKiltorraDriver*>(driver.get()));
}

TEST_F(KiltorraIdentifyTest, InquiryGivesRangesBedsAndTheFixedCapabilities)
{
    Start();
    const CKiltorraDriver& d = Driver();
    EXPECT_EQ(1024u, d.m_nKind);
    EXPECT_STREQ("ZELK", d.m_strVendor);
    EXPECT_STREQ("KILTORRA", d.m_strProduct);
    for (const CResolutionRange& range : d.m_ResolutionRange) {
        EXPECT_EQ(50, range.m_nMinimum);
        EXPECT_EQ(2700, range.m_nMaximum);
    }
    // 1/1000 inch to 1/100 mm.
    EXPECT_EQ(21590, d.m_ReflectiveBed.m_nWidth);
    EXPECT_EQ(29718, d.m_ReflectiveBed.m_nHeight);
    EXPECT_EQ(20320, d.m_TransparencyBed.m_nWidth);
    EXPECT_EQ(25400, d.m_TransparencyBed.m_nHeight);
    EXPECT_EQ(0, d.m_TransparencyBed.m_nOffsetX);
    EXPECT_EQ(1024u, d.m_nBufferSize);
    EXPECT_EQ(5400u, d.m_nMaxResolutionForType);
    EXPECT_EQ(13, d.m_nImageTypeFlags);
    EXPECT_EQ(221, d.m_nCapabilityFlags);
    EXPECT_EQ(1, d.m_nFurtherFlags[0]);
    EXPECT_EQ(100, d.m_nFirmwareLowest);
    EXPECT_EQ(9999, d.m_nFirmwareHighest);
    const CDensityLimits reflective = {0, 2000, 300, 4000};
    const CDensityLimits film = {0, 4000, 0, 4000};
    EXPECT_EQ(0, std::memcmp(&reflective, &d.m_ReflectiveDensity, sizeof reflective));
    EXPECT_EQ(0, std::memcmp(&film, &d.m_TransparencyDensity, sizeof film));
    EXPECT_EQ(1, Driver().HasHardwareSharpening());
    EXPECT_EQ(kToneDefault, m_Settings.GetParam(kParamToneCode));
}

TEST_F(KiltorraIdentifyTest, FormatTableKeepsHolderPlacesAndClipsWhatExceedsTheBed)
{
    Start();
    const CFormatTable& table = *Driver().m_pFormatTable;
    struct Case {
        int index;
        int32_t width, height, left, top;
    };
    const Case kCases[] = {
        {0, 21000, 29700, 0, 0},  // A4 fits the reflective bed
        {1, 21590, 29718, 0, 0},  // the largest reflective format is the bed
        {3, 21590, 29718, 0, 0},  // legal is longer than the bed
        {4, 2500, 3600, 9250, 23998},  // a slide keeps its place in the holder
        {26, 20320, 25400, 340, 4800},  // fits: keeps its offsets
        {27, 20320, 25400, 0, 0},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.index);
        const CFormatEntry& e = table.m_Entries[c.index];
        EXPECT_EQ(c.width, e.m_nWidth);
        EXPECT_EQ(c.height, e.m_nHeight);
        EXPECT_EQ(c.left, e.m_nOffsetX);
        EXPECT_EQ(c.top, e.m_nOffsetY);
    }
    EXPECT_STREQ("35 mm Slide Portrait", table.m_Entries[4].m_strName);
    EXPECT_EQ(2, table.m_Entries[4].m_nHolder);
    EXPECT_TRUE(table.m_Entries[29].m_strName.IsEmpty());
}

TEST_F(KiltorraIdentifyTest, ResolutionAndScanModeRules)
{
    struct Case {
        int32_t type;
        int32_t resolution;
        int32_t ruling;
        int32_t rotation;
        uint32_t x;
        uint32_t y;
        uint32_t mode;
    };
    const Case kCases[] = {
        {kImageGrey, 300, 60, 0, 240, 240, 2},  // the ruling sets the resolution
        {kImageGrey, 300, 80, 0, 300, 300, 2},  // above 69 lpi the ruling is off
        {kImageRgb, 4000, 0, 0, 2700, 2700, 3},  // range clamp
        {kImageRgb, 10, 0, 0, 50, 50, 3},
        {kImageLineArt, 600, 0, 0, 600, 600, 0},  // the device's own line art
        {kImageLineArt, 600, 60, 0, 600, 600, 0},  // line art keeps its resolution under a ruling
        {kImageLineArt, 600, 0, 90, 600, 600, 2},  // rotated: grey, thresholded on the host
        {kImageLineArt, 3000, 0, 0, 2700, 2700, 2},
    };
    Start();
    for (const Case& c : kCases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << " at " << c.resolution << " ruling " << c.ruling);
        Select(c.type, c.resolution, 0, 0, 2540, 2540);
        m_Settings.SetParam(kParamScreenRuling, c.ruling);
        m_Settings.SetParam(kParamRotation, c.rotation);
        EXPECT_EQ(c.x, Driver().ClampResolutionX(uint32_t(c.resolution)));
        EXPECT_EQ(c.y, Driver().ClampResolutionY(uint32_t(c.resolution)));
        EXPECT_EQ(c.mode, Driver().ScanModeForImageType(c.type));
    }
}
