#include "drivers/koval/KovalDriver.h"

#include "core/devices/ModelTable.h"
#include "core/scsi/ScsiBuffer.h"
#include "tests/drivers/koval/KovalBench.h"

#include <cstring>
#include <vector>

namespace {

class KovalIdentifyTest : public KovalBench { };

void FillInquiry(CScsiInquiryBuffer& inquiry, const char* product)
{
    std::vector<uint8_t> image = CVirtualTarget::MakeInquiryImage(6, "ZELK", product, "1.00");
    std::memcpy(inquiry.GetData(), image.data(), image.size());
}

}  // namespace

TEST_F(KovalIdentifyTest, ModelTableAcceptsEachProductByItsMaskBit)
{
    struct Case {
        const char* product;
        uint32_t mask;
        bool accepted;
    };
    const Case kCases[] = {
        {"KOVAL           ", 0xFFFFFFFF, true}, {"KOVAL PLUS      ", 0xFFFFFFFF, true},
        {"KOVAL PLUS      ", 0xFFFFFFDF, false},  // bit 0x20 clear
        {"KOVAL           ", 0xFFFFFFDF, true}, {"KOVAL           ", 0xFFFFFFFD, false},  // bit 0x02 clear
        {"KOVAL PLUS      ", 0x00000020, true}, {"KOVAL II        ", 0xFFFFFFFF, false},  // another entry's product
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(testing::Message() << c.product << " mask " << std::hex << c.mask);
        g_ModelEnableMask = c.mask;
        CScsiInquiryBuffer inquiry;
        FillInquiry(inquiry, c.product);
        EXPECT_EQ(c.accepted, g_ModelDescriptors[kModelKoval]->Match(inquiry));
    }
    g_ModelEnableMask = 0xFFFFFFFF;
    std::unique_ptr<CScannerDriver> driver(g_ModelDescriptors[kModelKoval]->Create());
    EXPECT_NE(nullptr, dynamic_cast<CKovalDriver*>(driver.get()));
}

TEST_F(KovalIdentifyTest, ProductGivesKindDensitiesAndTransparencyFlags)
{
    struct Case {
        const char* model;
        const char* transparency;
        const char* checkBufferStatus;  // INI value, null when absent
        uint32_t kind;
        CDensityLimits reflective;
        CDensityLimits transparencyLimits;
        uint8_t capabilities;
        int32_t bufferStatus;
    };
    const Case kCases[] = {
        {"koval", "0", nullptr, 2, {10, 225, 420, 4000}, {119, 400, 744, 4000}, 0x89, 0},
        {"koval", "1", nullptr, 2, {10, 225, 420, 4000}, {119, 400, 744, 4000}, 0x9D, 0},
        {"kovalplus", "0", nullptr, 32, {0, 204, 418, 2300}, {80, 301, 481, 3300}, 0x89, 1},
        {"kovalplus", "1", "0", 32, {0, 204, 418, 2300}, {80, 301, 481, 3300}, 0x9D, 0},
        {"koval", "0", "1", 2, {10, 225, 420, 4000}, {119, 400, 744, 4000}, 0x89, 0},  // KOVAL PLUS only
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(testing::Message() << c.model << " transparency " << c.transparency);
        SetIni(c.kind == 32 ? "KOVAL PLUS" : "KOVAL", "CheckBufferStatus", c.checkBufferStatus);
        Start({{"model", c.model}, {"transparency", c.transparency}});
        const CKovalDriver& d = Driver();
        EXPECT_EQ(c.kind, d.m_nKind);
        EXPECT_EQ(c.reflective.m_nMinimum, d.m_ReflectiveDensity.m_nMinimum);
        EXPECT_EQ(c.reflective.m_nMinimumCeiling, d.m_ReflectiveDensity.m_nMinimumCeiling);
        EXPECT_EQ(c.reflective.m_nMaximumFloor, d.m_ReflectiveDensity.m_nMaximumFloor);
        EXPECT_EQ(c.reflective.m_nMaximum, d.m_ReflectiveDensity.m_nMaximum);
        EXPECT_EQ(c.transparencyLimits.m_nMinimum, d.m_TransparencyDensity.m_nMinimum);
        EXPECT_EQ(c.transparencyLimits.m_nMaximum, d.m_TransparencyDensity.m_nMaximum);
        EXPECT_EQ(c.capabilities, d.m_nCapabilityFlags);
        EXPECT_EQ(c.bufferStatus, d.m_bBufferStatus);
        EXPECT_EQ(13, d.m_nImageTypeFlags);
        EXPECT_EQ(2400u, d.m_nMaxResolutionForType);
        EXPECT_EQ(29400, d.m_ReflectiveBed.m_nHeight);
        EXPECT_EQ(3175, d.m_TransparencyBed.m_nOffsetX);
        EXPECT_STREQ("ZELK", d.m_strVendor);
        SetIni(c.kind == 32 ? "KOVAL PLUS" : "KOVAL", "CheckBufferStatus", nullptr);
    }
}

TEST_F(KovalIdentifyTest, ResolutionAndScanModeRules)
{
    struct Case {
        int32_t type;
        int32_t resolution;
        int32_t quality;
        int32_t rotation;
        uint32_t clamped;
        uint32_t mode;
    };
    const Case kCases[] = {
        {kImageGrey, 400, 1, 0, 600, 2},  // quality steps up to 75, 150, 300, 600
        {kImageRgb, 250, 1, 0, 300, 3}, {kImageGrey, 250, 2, 0, 250, 2},
        {kImageGrey, 10, 2, 0, 30, 2},  // clamped into 30..600
        {kImageGrey, 1200, 2, 0, 600, 2}, {kImageLineArt, 300, 2, 0, 300, 0},  // the device's line art
        {kImageLineArt, 300, 1, 0, 300, 2},  // quality: grey, thresholded on the host
        {kImageLineArt, 300, 2, 90, 300, 2}, {kImageLineArt, 1200, 2, 0, 600, 2},  // beyond the device's range
    };
    Start();
    for (const Case& c : kCases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << " at " << c.resolution);
        Select(c.type, c.resolution, 0, 0, 2540, 2540);
        m_Settings.SetParam(kParamQuality, c.quality);
        m_Settings.SetParam(kParamRotation, c.rotation);
        EXPECT_EQ(c.clamped, Driver().ClampResolutionX(uint32_t(c.resolution)));
        EXPECT_EQ(c.mode, Driver().ScanModeForImageType(c.type));
    }
}
