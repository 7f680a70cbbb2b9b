// Identification and capabilities of the six ZANDOR models from the family's own INQUIRY layout,
// the resolution rules and the host tables.

#include "drivers/zandor/ZandorDriver.h"

#include "core/devices/ModelTable.h"
#include "core/devices/ZandorInquiryBlock.h"
#include "core/scsi/ScsiBuffer.h"
#include "tests/drivers/zandor/ZandorBench.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

class ZandorIdentifyTest : public ZandorBench {
protected:
    // Changes INQUIRY bytes of the attached device and identifies it again.
    void Reidentify(const std::vector<std::pair<size_t, uint8_t>>& bytes)
    {
        std::vector<uint8_t> image = Device().InquiryImage();
        for (const auto& change : bytes)
            image[change.first] = change.second;
        Device().SetInquiryImage(image);
        Driver().InitCapabilities();
    }
};

std::vector<uint32_t> ListOf(const uint32_t* list)
{
    std::vector<uint32_t> values;
    for (; list != nullptr && *list != 0; ++list)
        values.push_back(*list);
    return values;
}

const std::vector<uint32_t> k300List = {75, 93, 112, 131, 150, 187, 225, 262, 300, 375, 450, 525, 600, 65535};
const std::vector<uint32_t> k400List = {100, 125, 150, 175, 200, 250, 300, 350, 400, 500, 600, 700, 800, 65535};

}  // namespace

TEST_F(ZandorIdentifyTest, ModelTableAcceptsTheSignatureWhateverTheVendorField)
{
    Start();
    struct Case {
        const char* signature;
        uint32_t mask;
        bool accepted;
    };
    const Case kCases[] = {{"ZELK0", 0xFFFFFFFF, true}, {"ZELK0", 0xFFFFFFEF, false}, {"ZELK1", 0xFFFFFFFF, false}};
    std::vector<uint8_t> image = Device().InquiryImage();
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.signature);
        g_ModelEnableMask = c.mask;
        CScsiInquiryBuffer inquiry;
        std::memcpy(inquiry.GetData(), image.data(), image.size());
        std::memcpy(inquiry.GetData() + 36, c.signature, 5);
        EXPECT_EQ(c.accepted, g_ModelDescriptors[kModelZandor]->Match(inquiry));
        if (c.accepted) {
            EXPECT_EQ(0, std::memcmp(inquiry.GetData() + 16, "Zandor Color", 12));
        }
    }
    g_ModelEnableMask = 0xFFFFFFFF;
    std::unique_ptr<CScannerDriver> driver(g_ModelDescriptors[kModelZandor]->Create());
    EXPECT_NE(nullptr, dynamic_cast<CZandorDriver*>(driver.get()));
}

TEST_F(ZandorIdentifyTest, ModelCodeAndResolutionWordPickTheModel)
{
    struct Case {
        const char* model;
        int32_t expected;
        const char* product;
        uint8_t imageTypes;
        const std::vector<uint32_t>* list;
        CResolutionRange range;
        CDensityLimits reflective;
        CDotAreaRange minimumDots;
        CDotAreaRange maximumDots;
        int32_t colourFlag;
    };
    const CDensityLimits older = {0, 300, 1800, 2400};
    const CDensityLimits newer = {0, 250, 1800, 2400};
    const Case kCases[] = {
        {"gs300", 1, "Zandor M20GS/M30GS", 5, &k300List, {75, 600}, older, {-13, 43}, {76, 132}, 0},
        {"gs400", 2, "Zandor M20GS/M30GS", 5, &k400List, {100, 800}, older, {-13, 43}, {76, 132}, 0},
        {"la300", 3, "Zandor M20/M30", 1, &k300List, {75, 600}, older, {-13, 43}, {76, 132}, 0},
        {"la400", 4, "Zandor M20/M30", 1, &k400List, {100, 800}, older, {-13, 43}, {76, 132}, 0},
        {"ii", 5, "Zandor II", 5, &k400List, {100, 800}, newer, {-6, 51}, {14, 114}, 0},
        {"color", 6, "Zandor Color", 13, &k400List, {100, 800}, newer, {-6, 51}, {14, 114}, 0x80},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.model);
        Start({{"model", c.model}});
        CZandorDriver& d = Driver();
        EXPECT_EQ(c.expected, d.m_nModel);
        EXPECT_EQ(kKindZandor, d.m_nKind);
        EXPECT_STREQ("ZELK", d.m_strVendor);
        // The whole 18-character name: it is also the model's INI section.
        EXPECT_STREQ(c.product, d.m_strProduct);
        EXPECT_STREQ("1.00", d.m_strRevision);
        EXPECT_EQ(c.imageTypes, d.m_nImageTypeFlags);
        EXPECT_EQ(*c.list, ListOf(d.m_pResolutionList));
        EXPECT_EQ(c.range.m_nMinimum, d.m_ResolutionRange[0].m_nMinimum);
        EXPECT_EQ(c.range.m_nMaximum, d.m_ResolutionRange[0].m_nMaximum);
        EXPECT_EQ(4u * c.range.m_nMaximum, d.m_nMaxResolutionForType);
        EXPECT_EQ(400, d.m_ResolutionRange[2].m_nMinimum);
        EXPECT_EQ(c.reflective.m_nMinimumCeiling, d.m_ReflectiveDensity.m_nMinimumCeiling);
        EXPECT_EQ(c.reflective.m_nMaximum, d.m_ReflectiveDensity.m_nMaximum);
        EXPECT_EQ(c.minimumDots.m_nLow, d.m_MinDotArea.m_nLow);
        EXPECT_EQ(c.minimumDots.m_nHigh, d.m_MinDotArea.m_nHigh);
        EXPECT_EQ(c.maximumDots.m_nLow, d.m_MaxDotArea.m_nLow);
        EXPECT_EQ(c.maximumDots.m_nHigh, d.m_MaxDotArea.m_nHigh);
        EXPECT_EQ(c.colourFlag, d.m_nColourFlag);
        // 3400 x 4680 steps of 1/400 inch.
        EXPECT_EQ(21590, d.m_ReflectiveBed.m_nWidth);
        EXPECT_EQ(29718, d.m_ReflectiveBed.m_nHeight);
        EXPECT_EQ(12700, d.m_TransparencyBed.m_nWidth);
        EXPECT_EQ(256u, d.m_nBufferSize);
        EXPECT_EQ(0x88, d.m_nCapabilityFlags);
        EXPECT_EQ(8, d.m_nBitsPerSample);
        EXPECT_EQ(255, d.m_nReserveState);
    }
}

TEST_F(ZandorIdentifyTest, InquiryVariantsGiveTheirCapabilities)
{
    Start({{"model", "gs400"}, {"bits", "6"}, {"transparency", "1"}});
    EXPECT_EQ(6, Driver().m_nBitsPerSample);
    EXPECT_EQ(0x9C, Driver().m_nCapabilityFlags);

    // An unknown model code: no image type, and the base's resolution list.
    Reidentify({{41, '9'}});
    EXPECT_EQ(0, Driver().m_nModel);
    EXPECT_STREQ("Unknown Scanner", Driver().m_strProduct);
    EXPECT_EQ(0, Driver().m_nImageTypeFlags);
    EXPECT_EQ(ListOf(CScannerDriver::s_ResolutionList), ListOf(Driver().m_pResolutionList));

    // Step unit 3000 (1/300 inch) and 2550 steps: a letter-wide bed.
    Reidentify({{41, '1'}, {7, 3000 >> 8}, {8, 3000 & 0xFF}, {13, 2550 >> 8}, {14, 2550 & 0xFF}});
    EXPECT_EQ(21590, Driver().m_ReflectiveBed.m_nWidth);
    EXPECT_EQ(300, Driver().m_ResolutionRange[3].m_nMaximum);

    // Step unit 0 counts as one step per inch instead of dividing by zero; the bed saturates.
    Reidentify({{7, 0}, {8, 0}});
    EXPECT_EQ(1, Driver().m_ResolutionRange[2].m_nMinimum);
    EXPECT_EQ(1, Driver().m_ResolutionRange[3].m_nMaximum);
    EXPECT_EQ(65535, Driver().m_ReflectiveBed.m_nWidth);

    // A device that does not answer INQUIRY is an unknown model that offers nothing to scan.
    CSimFault fault;
    fault.kind = SimFaultKind::Check;
    fault.opcode = 0x12;
    fault.sense = {0, 0x04, 0};
    Device().AddFault(fault);
    Driver().InitCapabilities();
    EXPECT_EQ(0, Driver().m_nModel);
    EXPECT_EQ(0, Driver().m_nImageTypeFlags);
}

TEST_F(ZandorIdentifyTest, ResolutionsSnapToTheModelsList)
{
    struct Case {
        const char* model;
        int32_t type;
        int32_t ruling;
        uint32_t asked;
        uint32_t given;
    };
    const Case kCases[] = {
        {"gs300", kImageGrey, 0, 200, 225},
        {"gs300", kImageGrey, 60, 240, 262},
        {"gs300", kImageGrey, 0, 700, 600},
        {"gs300", kImageGrey, 0, 50, 75},
        {"gs300", kImageLineArt, 60, 240, 262},
        {"color", kImageRgb, 0, 300, 300},
        {"color", kImageRgb, 0, 301, 350},
        {"color", kImageRgb, 0, 2000, 800},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(testing::Message() << c.model << " " << c.asked << " ruling " << c.ruling);
        Start({{"model", c.model}});
        m_Settings.SetParam(kParamImageType, c.type);
        m_Settings.SetParam(kParamScreenRuling, c.ruling);
        EXPECT_EQ(c.given, Driver().ClampResolutionX(c.asked));
        EXPECT_EQ(c.given, Driver().ClampResolutionY(c.asked));
    }
}

TEST_F(ZandorIdentifyTest, ScanModesAndFallingTables)
{
    Start();
    Select(kImageLineArt, 300, 0, 0, 2540, 2540);
    EXPECT_EQ(0u, Driver().ScanModeForImageType(kImageLineArt));
    // Line art the device cannot make at the resolution, or that is to be turned, comes from grey.
    m_Settings.SetParam(kParamResolution, 301);
    EXPECT_EQ(2u, Driver().ScanModeForImageType(kImageLineArt));
    m_Settings.SetParam(kParamResolution, 300);
    m_Settings.SetParam(kParamRotation, 90);
    EXPECT_EQ(2u, Driver().ScanModeForImageType(kImageLineArt));
    EXPECT_EQ(2u, Driver().ScanModeForImageType(kImageGrey));
    EXPECT_EQ(3u, Driver().ScanModeForImageType(kImageRgb));
    for (uint32_t mode = 0; mode <= 4; ++mode)
        EXPECT_EQ(0, Driver().IsLutRising(mode));
}

TEST_F(ZandorIdentifyTest, HostTablesMapInkToLightAndWidenSixBitSamples)
{
    struct Case {
        const char* bits;
        uint8_t raw;
        uint8_t index;  // the table entry the sample goes through
    };
    const Case kCases[] = {{"6", 63, 255}, {"6", 32, 130}, {"6", 0, 0}, {"8", 32, 32}, {"8", 255, 255}};
    for (const Case& c : kCases) {
        SCOPED_TRACE(testing::Message() << c.bits << " bits, raw " << int(c.raw));
        Start({{"model", "ii"}, {"bits", c.bits}});
        EXPECT_EQ(c.index, Driver().Widen(c.raw));
    }

    // Grey fills only the green table; colour all three. Built falling over the device's whole
    // density range, each table turns ink back into light.
    Start();
    Select(kImageGrey, 100, 0, 0, 2540, 2540);
    m_Settings.SetParam(kParamMinDensity, int32_t(Driver().GetMinDensity(0)));
    m_Settings.SetParam(kParamMaxDensity, int32_t(Driver().GetMaxDensity(0)));
    ASSERT_EQ(kDriverOk, Driver().UpdateScanGeometry());
    ASSERT_EQ(kDriverOk, Driver().SendLookupTables());
    const uint8_t* green = Driver().m_GreenLut.m_nTable;
    EXPECT_EQ(255, green[0]);
    EXPECT_EQ(0, green[255]);
    for (int i = 1; i < 256; ++i)
        EXPECT_LE(green[i], green[i - 1]);
    for (uint8_t entry : Driver().m_RedLut.m_nTable)
        EXPECT_EQ(0, entry);
    m_Settings.SetParam(kParamImageType, kImageRgb);
    m_Settings.SetParam(kParamMinDensity, int32_t(Driver().GetMinDensity(0)));
    m_Settings.SetParam(kParamMaxDensity, int32_t(Driver().GetMaxDensity(0)));
    ASSERT_EQ(kDriverOk, Driver().UpdateScanGeometry());
    ASSERT_EQ(kDriverOk, Driver().SendLookupTables());
    EXPECT_EQ(255, Driver().m_RedLut.m_nTable[0]);
    EXPECT_EQ(0, Driver().m_BlueLut.m_nTable[255]);
    // No table crosses the bus.
    EXPECT_TRUE(Commands({0x2A}).empty());
}
