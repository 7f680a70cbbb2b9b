#include "drivers/koval2/Koval2Driver.h"

#include "core/messages/MsgString.h"
#include "drivers/koval2/Koval2Tables.h"
#include "tests/drivers/koval2/Koval2Bench.h"

#include <vector>

namespace {

struct InquiryCase {
    const char* product;
    uint8_t byte56, byte57, byte62, byte63, byte64, byte65, byte66;
    // Expected:
    uint32_t kind;
    uint16_t maxResolution;
    uint8_t imageTypes;
    uint8_t capabilities;
    uint32_t lutEntries;
    uint32_t lutMaximum;
    uint8_t depthFlags;
    int32_t transparencyUnit;
};

const InquiryCase kInquiryCases[] = {
    // product,            56, 57,   62,   63,   64, 65, 66,   kind,  max,  types, caps, lut,   max,   depths, TU
    {"KOVAL II        ",   1, 0x05, 0,    0,    0,  0, 0x01, 0x800,  600,  0x0D, 0x09, 256,   255,   0x01, 0},
    {"KOVAL II        ",   1, 0x05, 0,    0x40, 1,  2, 0x22, 0x800,  1200, 0x0D, 0x1D, 1024,  1023,  0x03, 1},
    {"DX-700          ",   0, 0x04, 0,    0,    1,  0, 0x44, 0x800,  1200, 0x0C, 0x09, 4096,  4095,  0x07, 0},
    {"KOVAL II        ",   0, 0x01, 0,    0,    0,  0, 0x68, 0x800,  600,  0x01, 0x09, 65536, 65535, 0x17, 0},
    {"KOVAL II        ",   0, 0x05, 0,    0,    0,  0, 0x8C, 0x800,  600,  0x0D, 0x09, 4096,  4095,  0x07, 0},
    {"KOVAL II        ",   0, 0x05, 0,    0,    0,  0, 0x00, 0x800,  600,  0x0D, 0x09, 0,     255,   0x01, 0},
    {"BIRAVO          ",   0, 0x05, 0,    0,    0,  0, 0x02, 0x4000, 1000, 0x0D, 0x1D, 1024,  255,   0x01, 1},
    {"BIRAVO          ",   0, 0x05, 0,    0,    1,  0, 0x24, 0x4000, 2000, 0x0D, 0x1D, 4096,  1023,  0x03, 1},
    {"SOMETHING ELSE  ",   0, 0x05, 0x5D, 0,    1,  0, 0x01, 0x4000, 2000, 0x0D, 0x1D, 256,   255,   0x01, 1},
    {"SOMETHING ELSE  ",   0, 0x05, 0,    0,    0,  0, 0x01, 0x1,    600,  0x0D, 0x09, 256,   255,   0x01, 0},
};

std::vector<uint8_t> InquiryImage(const InquiryCase& c)
{
    std::vector<uint8_t> image = CVirtualTarget::MakeInquiryImage(6, "ZELK", c.product, "3.05", 96);
    image[56] = c.byte56;
    image[57] = c.byte57;
    image[62] = c.byte62;
    image[63] = c.byte63;
    image[64] = c.byte64;
    image[65] = c.byte65;
    image[66] = c.byte66;
    return image;
}

class Koval2IdentifyTest : public DriverBench {};

}  // namespace

TEST_F(Koval2IdentifyTest, VendorBytesGiveKindResolutionsAndAccessories)
{
    auto device = std::make_unique<CVirtualTarget>();
    CVirtualTarget* target = device.get();
    Connect(std::move(device));
    for (const InquiryCase& c : kInquiryCases) {
        SCOPED_TRACE(testing::Message() << c.product << " byte66=" << int(c.byte66));
        target->SetInquiryImage(InquiryImage(c));
        CKoval2Driver driver;
        ASSERT_EQ(kDriverOk, driver.Identify());
        EXPECT_EQ(c.kind, driver.m_nKind);
        for (const CResolutionRange& range : driver.m_ResolutionRange) {
            EXPECT_EQ(6, range.m_nMinimum);
            EXPECT_EQ(c.maxResolution, range.m_nMaximum);
        }
        EXPECT_EQ(4u * c.maxResolution, driver.m_nMaxResolutionForType);
        EXPECT_EQ(c.imageTypes, driver.m_nImageTypeFlags);
        EXPECT_EQ(c.capabilities, driver.m_nCapabilityFlags);
        EXPECT_EQ(c.lutEntries, driver.m_nLutEntries);
        EXPECT_EQ(c.lutMaximum, driver.m_nLutMaximum);
        EXPECT_EQ(c.depthFlags, driver.m_nFurtherFlags[2]);
        EXPECT_EQ(c.transparencyUnit, driver.m_bTransparencyUnit);
        EXPECT_EQ(c.kind == kKindBiravo ? 1 : 0, driver.m_nFurtherFlags[0]);
        EXPECT_EQ((c.byte65 >> 1) & 1, driver.m_bLongPage);
        EXPECT_EQ(c.byte56, driver.m_nScalingFlags);
        EXPECT_STREQ("ZELK", driver.m_strVendor);
        EXPECT_STREQ("3.05", driver.m_strRevision);
        EXPECT_EQ(1024u, driver.m_nBufferSize);
    }
}

TEST_F(Koval2IdentifyTest, BedsAndDensitiesByKind)
{
    struct Case {
        const char* product;
        uint16_t bedWidth, bedHeight;
        CDensityLimits reflective, transparency;
        const uint32_t* resolutions;
        uint32_t lastResolution;
    };
    const Case kCases[] = {
        {"KOVAL II        ", 21040, 35560, {50, 900, 1000, 2300}, {80, 1000, 1100, 3300}, kKoval2Resolutions, 2400},
        {"BIRAVO          ", 20300, 35500, {70, 900, 2300, 2300}, {150, 1000, 3400, 3400}, kBiravoResolutions, 4000},
    };
    auto device = std::make_unique<CVirtualTarget>();
    CVirtualTarget* target = device.get();
    Connect(std::move(device));
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.product);
        target->SetInquiryImage(CVirtualTarget::MakeInquiryImage(6, "ZELK", c.product, "1.00", 96));
        CKoval2Driver driver;
        driver.Identify();
        EXPECT_EQ(c.bedWidth, driver.m_ReflectiveBed.m_nWidth);
        EXPECT_EQ(c.bedHeight, driver.m_ReflectiveBed.m_nHeight);
        EXPECT_EQ(20225, driver.m_TransparencyBed.m_nWidth);
        EXPECT_EQ(25400, driver.m_TransparencyBed.m_nHeight);
        EXPECT_EQ(c.reflective.m_nMaximumFloor, driver.m_ReflectiveDensity.m_nMaximumFloor);
        EXPECT_EQ(c.reflective.m_nMinimum, driver.m_ReflectiveDensity.m_nMinimum);
        EXPECT_EQ(c.transparency.m_nMaximum, driver.m_TransparencyDensity.m_nMaximum);
        EXPECT_EQ(c.transparency.m_nMinimumCeiling, driver.m_TransparencyDensity.m_nMinimumCeiling);
        EXPECT_EQ(c.resolutions, driver.m_pResolutionList);
        const uint32_t* r = driver.m_pResolutionList;
        while (r[1] != 65535)
            ++r;
        EXPECT_EQ(c.lastResolution, *r);
    }
}

class Koval2TablesTest : public Koval2Bench {};

TEST_F(Koval2TablesTest, BiravoFormatsAndHoldersAreInstalled)
{
    Start({{"model", "biravo"}});
    const CKoval2Driver& d = Driver();
    ASSERT_NE(nullptr, d.m_pFormatTable);
    EXPECT_EQ(kBiravoHolders, d.m_pHolderTable);
    int holes = 0;
    for (const HoleRecord* hole = d.m_pHolderTable; hole->m_nHolderWidth != 0; ++hole) {
        ++holes;
        EXPECT_EQ(holes, hole->m_nHole);
    }
    EXPECT_EQ(30, holes);
    EXPECT_EQ(8u, d.m_pHolderTable[18].m_nFormatMask);         // hole 19: first of holder 3
    EXPECT_EQ(3750, d.m_pHolderTable[18].m_nCentreX);
    // Whole-bed entries are clipped to the beds; the formats keep their holder bits.
    const CFormatEntry& wholeBed = d.m_pFormatTable->m_Entries[0];
    EXPECT_EQ(20300, wholeBed.m_nWidth);
    EXPECT_EQ(35500, wholeBed.m_nHeight);
    const CFormatEntry& wholeFilm = d.m_pFormatTable->m_Entries[7];
    EXPECT_EQ(20225, wholeFilm.m_nWidth);
    EXPECT_EQ(25400, wholeFilm.m_nHeight);
    EXPECT_EQ(8, d.m_pFormatTable->m_Entries[11].m_nHolder);
    EXPECT_TRUE(d.m_pFormatTable->m_Entries[13].m_strName.IsEmpty());
    EXPECT_EQ(1, d.m_nFurtherFlags[0]);
}

TEST_F(Koval2TablesTest, RebuildKeepsTheUserFormat)
{
    Start();
    CKoval2Driver& d = Driver();
    CFormatEntry& user = d.m_pFormatTable->m_Entries[28];
    ASSERT_STREQ(CMsgString(3187), user.m_strName);
    user.m_nWidth = 30000;          // wider than the bed: a rebuild must not clip it
    user.m_nOffsetX = 777;
    d.m_pFormatTable->m_Entries[0].m_nWidth = 5;
    d.RebuildFormatTable();
    EXPECT_EQ(30000, d.m_pFormatTable->m_Entries[28].m_nWidth);
    EXPECT_EQ(777, d.m_pFormatTable->m_Entries[28].m_nOffsetX);
    EXPECT_EQ(21000, d.m_pFormatTable->m_Entries[0].m_nWidth);
    EXPECT_EQ(29, [&] { int n = 0; while (!d.m_pFormatTable->m_Entries[n].m_strName.IsEmpty()) ++n; return n; }());
}

class Koval2ResolutionTest : public Koval2Bench {};

TEST_F(Koval2ResolutionTest, ClampByKindQualityRulingAndTransferSize)
{
    struct Case {
        const char* model;
        int32_t type;
        int32_t quality;
        int32_t ruling;
        int32_t selectionWidth;     // 1/100 mm
        uint32_t requested;
        uint32_t expected;
    };
    const Case kCases[] = {
        {"koval2", kImageGrey, 2, 0, 2540, 300, 300},
        {"koval2", kImageGrey, 2, 0, 2540, 301, 306},       // up to a multiple of 600 / 100
        {"koval2", kImageGrey, 2, 0, 2540, 1000, 1008},     // above 600 the step is 1200 / 100
        {"koval2", kImageGrey, 2, 0, 2540, 5000, 1200},
        {"koval2", kImageGrey, 2, 0, 2540, 2, 6},
        {"koval2", kImageGrey, 1, 0, 2540, 200, 300},       // quality steps upward
        {"koval2", kImageGrey, 1, 0, 2540, 900, 1200},
        {"koval2", kImageLineArt, 1, 0, 2540, 200, 204},    // no quality steps for line art
        {"koval2", kImageGrey, 2, 40, 2540, 300, 162},      // 4 x ruling, rounded to the step
        {"koval2", kImageRgb, 2, 0, 20000, 1200, 1200},
        {"biravo", kImageGrey, 2, 0, 2540, 333, 333},
        {"biravo", kImageGrey, 1, 0, 2540, 333, 500},
        {"biravo", kImageGrey, 1, 0, 2540, 1500, 2000},
    };
    Start({{"model", "koval2"}});
    for (const Case& c : kCases) {
        SCOPED_TRACE(testing::Message() << c.model << " " << c.requested << " quality " << c.quality);
        if (std::string(c.model) == "biravo") {
            Driver().m_nKind = kKindBiravo;
            Driver().m_nOpticalLow = 1000;
            Driver().m_nOpticalHigh = 2000;
            for (CResolutionRange& range : Driver().m_ResolutionRange)
                range = {6, 2000};
        }
        Select(c.type, int32_t(c.requested), 0, 0, c.selectionWidth, 2540);
        m_Settings.SetParam(kParamQuality, c.quality);
        m_Settings.SetParam(kParamScreenRuling, c.ruling);
        EXPECT_EQ(c.expected, Driver().ClampResolutionX(c.requested));
        EXPECT_EQ(c.expected, Driver().ClampResolutionY(c.requested));
    }
}

TEST_F(Koval2ResolutionTest, SelectionLineWiderThanTheTransferLowersTheResolution)
{
    // An adapter that moves 8 KB at a time: an RGB line of 20 cm at 600 ppi (14174 bytes) does not
    // fit.
    Host()->maxTransfer = 8192;
    Start();
    Select(kImageRgb, 600, 0, 0, 20000, 2540);
    uint32_t lineBytes = m_Settings.LineBytesForWidth(20000);
    uint32_t transfer = Driver().GetTransferSize();
    ASSERT_EQ(8192u, transfer);
    uint32_t lowered = 600 * transfer / lineBytes * 100 / 104;
    uint32_t expected = (lowered + 5) / 6 * 6;
    EXPECT_EQ(expected, Driver().ClampResolutionX(600));
    // In quality mode the lowered value snaps down to a step.
    m_Settings.SetParam(kParamQuality, 1);
    EXPECT_EQ(300u, Driver().ClampResolutionX(600));
}

TEST_F(Koval2ResolutionTest, DeviceLineArtOnlyWhenNothingNeedsTheHost)
{
    Start();
    struct Case {
        const char* what;
        int32_t type, resolution, rotation, mirror, quality;
        uint32_t mode;
    };
    const Case kCases[] = {
        {"line art", kImageLineArt, 300, 0, 0, 2, 0},
        {"rotated", kImageLineArt, 300, 90, 0, 2, 2},
        {"mirrored", kImageLineArt, 300, 0, 1, 2, 2},
        {"quality", kImageLineArt, 300, 0, 0, 1, 2},
        {"off the step", kImageLineArt, 301, 0, 0, 2, 2},
        {"above the range", kImageLineArt, 5000, 0, 0, 2, 2},
        {"halftone", kImageHalftone, 300, 0, 0, 2, 2},
        {"grey", kImageGrey, 300, 0, 0, 2, 2},
        {"rgb", kImageRgb, 300, 0, 0, 2, 3},
        {"cmyk", kImageCmyk, 300, 0, 0, 2, 3},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.what);
        Select(c.type, c.resolution, 0, 0, 2540, 2540);
        m_Settings.SetParam(kParamRotation, c.rotation);
        m_Settings.SetParam(kParamMirror, c.mirror);
        m_Settings.SetParam(kParamQuality, c.quality);
        EXPECT_EQ(c.mode, Driver().ScanModeForImageType(c.type));
    }
    EXPECT_EQ(3600u, Driver().GetMaxResolutionForType(kImageLineArt));
    EXPECT_EQ(2400u, Driver().GetMaxResolutionForType(kImageRgb));
}

TEST_F(Koval2TablesTest, ATemporaryDriverLeavesTheCurrentOnesTable)
{
    Start();
    CFormatTable* table = Driver().m_pFormatTable;
    ASSERT_NE(nullptr, table);
    {
        CKoval2Driver temporary;
    }
    EXPECT_EQ(table, CKoval2Driver::s_pFormatTable);
    EXPECT_STREQ(CMsgString(3167), Driver().m_pFormatTable->m_Entries[0].m_strName);
}
