// The TM-R family's identification: the model table entry, what the INQUIRY data give the driver,
// the device's own resolution list and the clamps that walk it.

#include "drivers/tmr/TmrDriver.h"

#include "core/devices/ModelTable.h"
#include "core/scsi/ScsiBuffer.h"
#include "tests/drivers/tmr/TmrBench.h"

#include <cstring>
#include <vector>

namespace {

class TmrIdentifyTest : public TmrBench { };

std::vector<uint32_t> ListOf(const CScannerDriver& driver)
{
    std::vector<uint32_t> list;
    for (int i = 0; i < CTmrDriver::kResolutionListSize; ++i) {
        list.push_back(driver.m_pResolutionList[i]);
        if (driver.m_pResolutionList[i] == 0)
            break;
    }
    return list;
}

}  // namespace

TEST_F(TmrIdentifyTest, ModelTableAcceptsBothProductsByTheirMaskBit)
{
    struct Case {
        const char* product;
        uint32_t mask;
        bool accepted;
    };
    const Case kCases[] = {
        {"TM-R            ", 0xFFFFFFFF, true},
        {"TM-R-S          ", 0xFFFFFFFF, true},
        {"TM-R-S          ", 0x00000200, true},
        {"TM-R            ", 0xFFFFFDFF, false},  // bit 0x200 clear
        {"TM-R-S          ", 0xFFFFFDFF, false},
        {"TM-R-X          ", 0xFFFFFFFF, false},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(testing::Message() << c.product << " mask " << std::hex << c.mask);
        g_ModelEnableMask = c.mask;
        CScsiInquiryBuffer inquiry;
        std::vector<uint8_t> image = CVirtualTarget::MakeInquiryImage(6, "ZELK", c.product, "1.00");
        std::memcpy(inquiry.GetData(), image.data(), image.size());
        EXPECT_EQ(c.accepted, g_ModelDescriptors[kModelTmr]->Match(inquiry));
    }
    g_ModelEnableMask = 0xFFFFFFFF;
    std::unique_ptr<CScannerDriver> driver(g_ModelDescriptors[kModelTmr]->Create());
    EXPECT_NE(nullptr, dynamic_cast<CTmrDriver*>(driver.get()));
}

// Lists of none, some and all 16 words always end with 65535 and 0; one that lists nothing falls
// back to resolution range 1. The clamps walk the list whatever its length.
TEST_F(TmrIdentifyTest, ResolutionListsOfEveryLengthAreEndedAndWalked)
{
    struct Clamp {
        uint32_t asked;
        uint32_t given;
    };
    struct Case {
        const char* name;
        const char* words;
        std::vector<uint32_t> list;
        std::vector<Clamp> clamps;
    };
    const Case kCases[] = {
        {"none", "", {50, 1200, 65535, 0}, {{500, 50}, {10, 50}, {1200, 1200}, {5000, 1200}}},
        {"five", "1200,600,300,150,75", {75, 150, 300, 600, 1200, 65535, 0},
            {{500, 300}, {50, 75}, {2000, 1200}, {150, 150}}},
        {"sixteen", "1200,1000,900,800,720,600,500,400,360,300,240,200,150,100,75,50",
            {50, 75, 100, 150, 200, 240, 300, 360, 400, 500, 600, 720, 800, 900, 1000, 1200, 65535, 0},
            {{2000, 1200}, {1199, 1000}, {10, 50}, {370, 360}}},
        {"default", nullptr, {50, 75, 100, 150, 200, 300, 400, 600, 1200, 65535, 0}, {{250, 200}, {65535, 1200}}},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        CDeviceOptions options;
        if (c.words != nullptr)
            options.push_back({"resolutions", c.words});
        Start(options);
        EXPECT_EQ(c.list, ListOf(Driver()));
        Select(kImageGrey, 300, 0, 0, 2540, 2540);
        for (const Clamp& k : c.clamps) {
            EXPECT_EQ(k.given, Driver().ClampResolutionX(k.asked)) << k.asked;
            EXPECT_EQ(k.given, Driver().ClampResolutionY(k.asked)) << k.asked;
        }
    }
}

// A screen ruling asks for four times its lines per inch, except for line art and halftone.
TEST_F(TmrIdentifyTest, ScreenRulingAsksForFourTimesItsRuling)
{
    struct Case {
        int32_t type;
        uint32_t given;
    };
    const Case kCases[] = {{kImageRgb, 400}, {kImageGrey, 400}, {kImageLineArt, 1200}, {kImageHalftone, 1200}};
    Start({{"resolutions", "1200,600,400,300"}});
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.type);
        Select(c.type, 1200, 0, 0, 2540, 2540);
        m_Settings.SetParam(kParamScreenRuling, 100);
        EXPECT_EQ(c.given, Driver().ClampResolutionX(1200));
    }
}

TEST_F(TmrIdentifyTest, InquiryGivesBedsRangesFlagsAndTheTransparencyChoice)
{
    struct Case {
        const char* name;
        CDeviceOptions device;
        const char* disableTrans;  // INI value in the section of the whole product field; null: none
        const char* section;
        uint8_t capabilities;
    };
    const Case kCases[] = {
        {"TM-R with transparency", {}, nullptr, "TM-R            ", 0x9D},
        {"TM-R-S with transparency", {{"model", "tmrs"}}, nullptr, "TM-R-S          ", 0x9D},
        {"no transparency bed", {{"transparency", "0"}}, nullptr, "TM-R            ", 0x89},
        {"DisableTrans=1", {}, "1", "TM-R            ", 0x89},
        {"DisableTrans=0", {}, "0", "TM-R            ", 0x9D},
        {"DisableTrans=1 of the other product", {{"model", "tmrs"}}, "1", "TM-R            ", 0x9D},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        SetIni(c.section, "DisableTrans", c.disableTrans);
        Start(c.device);
        const CTmrDriver& d = Driver();
        EXPECT_EQ(kKindTmr, d.m_nKind);
        EXPECT_EQ(100, d.m_nFirmwareLowest);
        EXPECT_EQ(400, d.m_nFirmwareHighest);
        EXPECT_EQ(c.capabilities, d.m_nCapabilityFlags);
        EXPECT_EQ(0x0D, d.m_nImageTypeFlags);
        EXPECT_EQ(50, d.m_ResolutionRange[0].m_nMinimum);
        EXPECT_EQ(1200, d.m_ResolutionRange[0].m_nMaximum);
        EXPECT_EQ(1200, d.m_ResolutionRange[3].m_nMaximum);
        EXPECT_EQ(4800u, d.m_nMaxResolutionForType);
        EXPECT_EQ(21590, d.m_ReflectiveBed.m_nWidth);
        EXPECT_EQ(29718, d.m_ReflectiveBed.m_nHeight);
        bool bed = c.device.empty() || c.device[0].first != "transparency";
        EXPECT_EQ(bed ? 20320 : 0, d.m_TransparencyBed.m_nWidth);
        EXPECT_EQ(bed ? 25400 : 0, d.m_TransparencyBed.m_nHeight);
        EXPECT_EQ(2056, d.m_nCapabilityWords[0]);
        EXPECT_EQ(3600, d.m_nCapabilityWords[7]);
        EXPECT_EQ(1024u, d.m_nBufferSize);
        EXPECT_EQ(4000u, d.m_ReflectiveDensity.m_nMaximumFloor);
        EXPECT_EQ(0u, d.m_TransparencyDensity.m_nMaximumFloor);
        EXPECT_EQ(4000u, d.m_TransparencyDensity.m_nMaximum);
        EXPECT_EQ(3u, Driver().ScanModeForImageType(kImageLineArt));
        EXPECT_EQ(3u, Driver().ScanModeForImageType(kImageGrey));
        EXPECT_EQ(0u, Driver().ScanModeForImageType(7));
        SetIni(c.section, "DisableTrans", nullptr);
    }
}
