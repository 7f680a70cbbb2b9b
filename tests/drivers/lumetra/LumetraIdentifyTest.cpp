// Identification of the LUMETRA camera: the model table's entry, the vendor INQUIRY block with its
// resolution lists and sensor, the camera's own defaults and the nearest-resolution rule.

#include "drivers/lumetra/LumetraDriver.h"

#include "core/devices/ModelTable.h"
#include "core/scsi/ScsiBuffer.h"
#include "tests/drivers/lumetra/LumetraBench.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

class LumetraIdentifyTest : public LumetraBench { };

std::vector<uint32_t> ListOf(const uint32_t* list)
{
    std::vector<uint32_t> entries;
    for (uint32_t i = 0; i <= kLumetraListEntries && list[i] != 0; ++i)
        entries.push_back(list[i]);
    return entries;
}

// A vendor block as the camera sends it: ranges 100..max both ways, the lists, a 1800 x 1200 sensor.
std::vector<uint8_t> VendorBlock(uint32_t maximum, uint32_t count, uint32_t first)
{
    std::vector<uint8_t> d(kLumetraInquiryBytes, 0);
    auto put = [&d](size_t at, uint32_t v) {
        d[at] = uint8_t(v >> 8);
        d[at + 1] = uint8_t(v);
    };
    for (size_t at : {104u, 142u}) {
        put(at, 100);
        put(at + 2, maximum);
    }
    put(108, count);
    put(146, count);
    // Each list in its own area: 16 slots between the horizontal count and the second ranges.
    for (uint32_t i = 0; i < 16; ++i) {
        put(110 + 2 * i, first - 10 * i);
        put(148 + 2 * i, first - 10 * i);
    }
    put(220, 1800);
    put(222, 1200);
    put(238, 512);
    return d;
}

}  // namespace

TEST_F(LumetraIdentifyTest, ModelTableAcceptsBothProductsByBit2000)
{
    struct Case {
        const char* product;
        uint32_t mask;
        bool accepted;
    };
    const Case kCases[] = {
        {"LUMETRA         ", 0xFFFFFFFF, true}, {"Ocellus Camera  ", 0x00002000, true},
        {"LUMETRA         ", 0xFFFFDFFF, false}, {"Lumetra         ", 0xFFFFFFFF, false},  // the comparison is exact
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(testing::Message() << c.product << " mask " << std::hex << c.mask);
        g_ModelEnableMask = c.mask;
        CScsiInquiryBuffer inquiry;
        std::vector<uint8_t> image = CVirtualTarget::MakeInquiryImage(6, "ZELK", c.product, "1.00");
        std::memcpy(inquiry.GetData(), image.data(), image.size());
        EXPECT_EQ(c.accepted, g_ModelDescriptors[kModelLumetra]->Match(inquiry));
    }
    g_ModelEnableMask = 0xFFFFFFFF;
    std::unique_ptr<CScannerDriver> driver(g_ModelDescriptors[kModelLumetra]->Create());
    EXPECT_NE(nullptr, dynamic_cast<CLumetraDriver*>(driver.get()));
}

TEST_F(LumetraIdentifyTest, InquiryGivesListsSensorBedAndCameraFlags)
{
    for (const char* model : {"lumetra", "ocellus"}) {
        SCOPED_TRACE(model);
        Start({{"model", model}});
        const CLumetraDriver& d = Driver();
        EXPECT_STREQ("Lumetra", d.m_strProduct) << "one INI section for both products";
        EXPECT_STREQ("ZELK", d.m_strVendor);
        EXPECT_STREQ("1.00", d.m_strRevision);
        EXPECT_EQ(kKindLumetra, d.m_nKind);
        EXPECT_TRUE(d.IsCamera());
        EXPECT_EQ(12, d.m_nImageTypeFlags) << "grey and RGB only";
        EXPECT_EQ(137, d.m_nCapabilityFlags);
        EXPECT_EQ((std::vector<uint32_t> {1200, 600, 300, 150}), ListOf(d.m_nHorizontalList));
        EXPECT_EQ((std::vector<uint32_t> {1200, 600, 300, 150}), ListOf(d.m_nVerticalList));
        // 1800 x 1200 pixels at 1200 ppi.
        EXPECT_EQ(3810, d.m_ReflectiveBed.m_nWidth);
        EXPECT_EQ(2540, d.m_ReflectiveBed.m_nHeight);
        EXPECT_EQ(1, d.m_TransparencyBed.m_nWidth);
        EXPECT_EQ(100, d.m_ResolutionRange[2].m_nMinimum);
        EXPECT_EQ(1200, d.m_ResolutionRange[3].m_nMaximum);
        EXPECT_EQ(1024u, d.m_nBufferSize);
        EXPECT_EQ(1800u, Driver().GetMaxResolutionForType(kImageGrey));
        EXPECT_EQ(1800u, Driver().GetMaxResolutionForType(kImageRgb));
        EXPECT_EQ(4000u, d.m_ReflectiveDensity.m_nMaximum);
        EXPECT_EQ(100, d.m_nFirmwareLowest);
    }
}

TEST_F(LumetraIdentifyTest, DefaultsAreTheCameras)
{
    Start();
    struct Case {
        uint16_t id;
        int32_t value;
    };
    const Case kCases[] = {
        {kParamAutoMinimum, 1},
        {kParamAutoMaximum, 1},
        {kParamCameraPreview, 150},
        {kParamPreviewValue, 150},
        {kParamMaxDensity, 4000},
        {kParamToneCode, 0xFF00},
        {kParamBitsPerChannel, 8},
        {kParamCameraValue, 0},
    };
    for (int type : {kImageGrey, kImageRgb})
        for (const Case& c : kCases)
            EXPECT_EQ(c.value, m_Settings.GetParamForType(type, c.id)) << "type " << type << " id " << c.id;
}

TEST_F(LumetraIdentifyTest, VendorBlocksOutOfBoundsKeepTheDriverSound)
{
    struct Case {
        const char* name;
        uint32_t maximum;
        uint32_t count;
        uint32_t length;  // bytes of INQUIRY data received
        size_t entries;  // list entries taken
        uint16_t bedWidth;  // 1/100 mm
        bool baseRule;  // the resolution rule of the base (the range) instead of the list
    };
    const Case kCases[] = {
        {"Listed", 1200, 4, 242, 4, 3810, false},
        {"MoreThan31", 1200, 500, 242, 31, 3810, false},  // each list holds 31 entries and its end
        {"PastTheData", 1200, 31, 130, 10, 40000, false},  // only what arrived is read: no sensor size
        {"NoMaximum", 0, 4, 242, 4, 40000, false},  // the base's bed instead of a division by 0
        {"EmptyList", 1200, 0, 242, 0, 3810, true},  // the base's rule instead of 0 ppi
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Start();
        CLumetraDriver& d = Driver();
        d.CScannerDriver::InitCapabilities();
        std::memset(d.m_nHorizontalList, 0xEE, sizeof d.m_nHorizontalList);
        std::vector<uint8_t> block = VendorBlock(c.maximum, c.count, 1200);
        d.TakeVendorBlock(block.data(), c.length);
        std::vector<uint32_t> list = ListOf(d.m_nHorizontalList);
        EXPECT_EQ(c.entries, list.size());
        EXPECT_EQ(0u, d.m_nHorizontalList[c.entries]);
        EXPECT_EQ(c.bedWidth, d.m_ReflectiveBed.m_nWidth);
        uint32_t clamped = d.ClampResolutionX(300);
        if (c.baseRule) {
            EXPECT_EQ(300u, clamped);
        } else {
            EXPECT_NE(list.end(), std::find(list.begin(), list.end(), clamped)) << clamped;
        }
    }
}

TEST_F(LumetraIdentifyTest, NearestResolutionOfTheList)
{
    struct Case {
        std::vector<uint32_t> list;
        uint32_t asked;
        uint32_t chosen;
    };
    const Case kCases[] = {
        {{3175, 1587, 793}, 4000, 3175},
        {{3175, 1587, 793}, 1200, 1587},
        {{3175, 1587, 793}, 1000, 793},
        {{3175, 1587, 793}, 1190, 1587},  // exactly between: the higher
        {{3175, 1587, 793}, 100, 793},
        {{3175, 1587, 793}, 1587, 1587},
        {{1200, 600, 300, 150}, 450, 600},
        {{1200, 600, 300, 150}, 449, 300},
        {{1200}, 100, 1200},
    };
    Start();
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.asked);
        std::memset(Driver().m_nHorizontalList, 0, sizeof Driver().m_nHorizontalList);
        std::copy(c.list.begin(), c.list.end(), Driver().m_nHorizontalList);
        EXPECT_EQ(c.chosen, Driver().ClampResolutionX(c.asked));
        EXPECT_EQ(c.chosen, Driver().ClampResolutionY(c.asked));
    }
}
