#include "core/devices/ModelTable.h"
#include "core/devices/ZandorInquiryBlock.h"
#include "core/driver/ScannerDriver.h"
#include "core/scsi/ScsiBuffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// Standard INQUIRY data with the fields exactly as given (no padding added).
void FillInquiry(CScsiInquiryBuffer& inquiry, const std::string& vendor, const std::string& product,
                 const std::string& revision)
{
    uint8_t* data = inquiry.GetData();
    memset(data, 0, 96);
    data[0] = 6;
    data[4] = 31;
    memcpy(data + 8, vendor.data(), std::min<size_t>(vendor.size(), 8));
    memcpy(data + 16, product.data(), std::min<size_t>(product.size(), 16));
    memcpy(data + 32, revision.data(), std::min<size_t>(revision.size(), 4));
}

std::string Field(CScsiInquiryBuffer& inquiry, int offset, int length)
{
    return std::string(reinterpret_cast<const char*>(inquiry.GetData()) + offset, (size_t)length);
}

class ModelTableTest : public ::testing::Test {
protected:
    void TearDown() override { g_ModelEnableMask = 0xFFFFFFFF; }
};

}  // namespace

TEST_F(ModelTableTest, ProductsFindTheirEntries)
{
    struct Case {
        const char* vendor;
        const char* product;
        const char* revision;
        uint32_t mask;
        int32_t index;
        const char* productAfter;   // null: unchanged
    };
    const Case kCases[] = {
        {"ZELK    ", "KOVAL           ", "1.00", 0xFFFFFFFF, 1, nullptr},
        {"ZELK    ", "KOVAL PLUS      ", "1.00", 0xFFFFFFDF, -1, nullptr},
        {"ZELK    ", "KOVAL           ", "1.00", 0xFFFFFFDF, 1, nullptr},
        {"ZELK    ", "TELMARI PLUS    ", "2.6 ", 0xFFFFFFFF, 6, "TELMARI ULTRA   "},
        {"ZELK    ", "TELMARI PLUS    ", "2.5 ", 0xFFFFFFFF, 6, nullptr},
        {"ZELK    ", "TELMARI PLUS    ", "2.6 ", 0xFFFFFF7F, -1, nullptr},
        {"ZELK    ", "TELMARI         ", "3.0 ", 0xFFFFFFFF, 5, nullptr},
        {"KESTRIAN", "KESTSCAN_A4____1", "1.0 ", 0, 11, nullptr},
        {"KESTRIAN", "KESTSCAN_LGL___1", "1.0 ", 0, 11, nullptr},
        {"KESTRIAN", "FENNIK          ", "1.0 ", 0xFFFFFFFF, -1, nullptr},
        {"ZELK    ", "FENNIK          ", "1.0 ", 0, -1, nullptr},
        {"ZELK    ", "Fennik          ", "1.0 ", 0x10000, 11, nullptr},
        {"TALVINEX", "Pendaro         ", "1.0 ", 0xFFFFFFFF, -1, nullptr},
        {"TALVINEX", "KOVAL II        ", "1.0 ", 0xFFFFFFFF, 9, nullptr},
        {"TLX SC31", "DX-690          ", "1.0 ", 0xFFFFFFFF, 0, nullptr},
        {"TLX SC31", "DX-700          ", "1.0 ", 0xFFFFFFFF, 9, nullptr},
        {"GENORA  ", "Pendaro II      ", "1.0 ", 0x100, -1, nullptr},
        {"GENORA  ", "Pendaro II      ", "1.0 ", 0x1000, 0, nullptr},
        {"GENORA  ", "BIRAVO          ", "1.0 ", 0x4000, 9, nullptr},
        {"GENORA  ", "BIRAVO          ", "1.0 ", 0x800, -1, nullptr},
        // No entry lists QUARDEL: no mask bit could enable or withhold it.
        {"ZELK    ", "QUARDEL         ", "1.0 ", 0xFFFFFFFF, -1, nullptr},
        {"ZELK    ", "Ostravel        ", "1.0 ", 0xFFFFFFFF, 2, nullptr},
        {"GENORA  ", "Ostravel        ", "1.0 ", 0xFFFF7FFF, -1, nullptr},
        {"VARDEN  ", "VF-3510AF       ", "1.0 ", 0xFFFFFFFF, 3, nullptr},
        {"VARDEN  ", "KOVAL           ", "1.0 ", 0xFFFFFFFF, -1, nullptr},
        {"ZELK    ", "ORBEL 35        ", "1.0 ", 0x40, 3, nullptr},
        {"ZELK    ", "TM-R-S          ", "1.0 ", 0x200, 4, nullptr},
        {"ZELK    ", "TM-R            ", "1.0 ", 0xFFFFFDFF, -1, nullptr},
        {"ZELK    ", "KILTORRA        ", "1.0 ", 0x400, 7, nullptr},
        {"ZELK    ", "Ocellus Camera  ", "1.0 ", 0x2000, 10, nullptr},
        {"ZELK    ", "LUMETRA         ", "1.0 ", 0x2000, 10, nullptr},
        // Padding is part of the name: zero bytes or a lower-case vendor do not match.
        {"ZELK    ", "KOVAL\0\0\0\0\0\0\0\0\0\0\0", "1.0 ", 0xFFFFFFFF, -1, nullptr},
        {"ZELK", "KOVAL           ", "1.0 ", 0xFFFFFFFF, -1, nullptr},
        {"zelk    ", "KOVAL           ", "1.0 ", 0xFFFFFFFF, -1, nullptr},
    };
    for (const Case& c : kCases) {
        CScsiInquiryBuffer inquiry;
        FillInquiry(inquiry, c.vendor, std::string(c.product, 16), c.revision);
        g_ModelEnableMask = c.mask;
        std::string what = std::string(c.vendor) + "/" + Field(inquiry, 16, 16) + "/" + c.revision;
        EXPECT_EQ(c.index, FirstMatchingModel(inquiry, false)) << what;
        EXPECT_EQ(c.productAfter != nullptr ? c.productAfter : std::string(c.product, 16),
                  Field(inquiry, 16, 16))
            << what;
    }
}

TEST_F(ModelTableTest, ZandorNonStandardInquiryIsRewritten)
{
    struct Case { char modelCode; uint32_t mask; int32_t index; std::string product; };
    const Case kCases[] = {
        {'3', 0xFFFFFFFF, 8, std::string("Zandor II\0\0\0\0\0\0\0", 16)},
        {'1', 0x10, 8, "Zandor M20GS/M30"},     // a longer name is cut to the field
        {'9', 0x10, 8, std::string("Unknown Scanner\0", 16)},
        {'3', 0xFFFFFFEF, -1, ""},
    };
    for (const Case& c : kCases) {
        CScsiInquiryBuffer inquiry;
        uint8_t* data = inquiry.GetData();
        memset(data, 0, 96);
        data[0] = 6;
        data[4] = 50;                                 // 55 bytes, the family's block
        memcpy(data + 20, "1.20\0\0\0\0", 8);         // the family's revision text
        memcpy(data + 36, "ZELK0", 5);
        data[41] = (uint8_t)c.modelCode;
        g_ModelEnableMask = c.mask;
        EXPECT_EQ(c.index, FirstMatchingModel(inquiry, false)) << c.modelCode;
        if (c.index < 0) {
            EXPECT_EQ(std::string(8, '\0'), Field(inquiry, 8, 8)) << "a refused record is not touched";
            continue;
        }
        EXPECT_EQ("ZELK    ", Field(inquiry, 8, 8));
        EXPECT_EQ(c.product, Field(inquiry, 16, 16));
        EXPECT_EQ(std::string("1.20", 4), Field(inquiry, 32, 4));
    }
    // A short record: only the bytes it holds are read, so the signature is missing.
    CScsiInquiryBuffer shortRecord;
    memset(shortRecord.GetData(), 0, 96);
    shortRecord.GetData()[4] = 31;
    memcpy(shortRecord.GetData() + 36, "ZELK0", 5);
    EXPECT_FALSE(g_ModelDescriptors[kModelZandor]->Match(shortRecord));
}

namespace {

CScannerDriver* CreatePlainDriver() { return new CScannerDriver; }

}  // namespace

TEST_F(ModelTableTest, OnlyCarriedEntriesTakeDevices)
{
    ASSERT_EQ(nullptr, g_ModelDescriptors[kModelCount]);
    for (int i = 0; i < kModelCount; ++i) {
        if (!g_ModelDescriptors[i]->IsCarried()) {
            EXPECT_EQ(nullptr, g_ModelDescriptors[i]->Create()) << i;
        }
    }

    CModelDescriptor& koval = *g_ModelDescriptors[kModelKoval];
    DriverFactory saved = koval.GetDriverFactory();
    CScsiInquiryBuffer inquiry;
    FillInquiry(inquiry, "ZELK    ", "KOVAL           ", "1.0 ");
    koval.SetDriverFactory(nullptr);
    EXPECT_EQ(-1, FirstMatchingModel(inquiry, true));
    koval.SetDriverFactory(CreatePlainDriver);
    EXPECT_EQ(kModelKoval, FirstMatchingModel(inquiry, true));
    CScannerDriver* driver = koval.Create();
    ASSERT_NE(nullptr, driver);
    EXPECT_EQ(kKindBareDriver, driver->m_nKind) << "no entry sets fields of its driver";
    delete driver;
    koval.SetDriverFactory(saved);
}
