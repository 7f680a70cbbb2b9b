// Which devices the FENNIK entry of the model table takes, and what the driver makes of the
// vendor INQUIRY bytes.

#include "drivers/fennik/FennikDriver.h"

#include "core/devices/ModelTable.h"
#include "core/messages/MsgString.h"
#include "core/scsi/ScsiBuffer.h"
#include "tests/drivers/fennik/FennikBench.h"

namespace {

constexpr int kNoEntry = -1;

struct IdentifyCase {
    const char* name;
    CDeviceOptions device;
    uint32_t mask;              // [General] Supported
    int entry;                  // model index the table gives, or kNoEntry
    // Expected of the driver when the entry takes the device:
    uint8_t capabilities;
    int32_t feeder;
    int32_t speed;
};

const IdentifyCase kCases[] = {
    {"Fennik", {}, 0xFFFFFFFF, kModelFennik, 0x09, 0, 1},
    {"FennikMixedCase", {{"product", "Fennik"}}, 0x10000, kModelFennik, 0x09, 0, 1},
    {"FennikBitClear", {}, 0xFFFEFFFF, kNoEntry, 0, 0, 0},
    {"KestrianA4WhateverTheMask", {{"model", "kestscana4"}}, 0, kModelFennik, 0x09, 0, 1},
    {"KestrianLegalWhateverTheMask", {{"model", "kestscanlgl"}}, 0, kModelFennik, 0x09, 0, 1},
    {"KestrianVendorNamesOnlyItsOwnProducts", {{"vendor", "KESTRIAN"}}, 0xFFFFFFFF, kNoEntry, 0, 0, 0},
    {"FennikProductOfAnotherVendor", {{"vendor", "TALVINEX"}}, 0xFFFFFFFF, kNoEntry, 0, 0, 0},
    {"TransparencyFeederNoSpeed", {{"transparency", "1"}, {"feeder", "2"}, {"speed", "0"}}, 0x10000,
     kModelFennik, 0x0D, 1, 0},
};

class FennikIdentifyTest : public FennikBench {
protected:
    void TearDown() override
    {
        g_ModelEnableMask = 0xFFFFFFFF;
        FennikBench::TearDown();
    }

    int MatchingEntry()
    {
        CScsiInquiryBuffer inquiry;
        EXPECT_EQ(0, g_pScsiChannel->Inquiry(inquiry, 30000, 32));
        for (int i = 0; g_ModelDescriptors[i] != nullptr; ++i) {
            if (g_ModelDescriptors[i]->Match(inquiry))
                return i;
        }
        return kNoEntry;
    }
};

}  // namespace

TEST_F(FennikIdentifyTest, EntryAndCapabilitiesFromTheInquiryData)
{
    for (const IdentifyCase& c : kCases) {
        SCOPED_TRACE(c.name);
        Start(c.device);
        g_ModelEnableMask = c.mask;
        int entry = MatchingEntry();
        EXPECT_EQ(c.entry, entry);
        if (entry != kModelFennik)
            continue;
        std::unique_ptr<CScannerDriver> created(g_ModelDescriptors[entry]->GetDriverFactory()());
        CFennikDriver* driver = dynamic_cast<CFennikDriver*>(created.get());
        ASSERT_NE(nullptr, driver);
        g_pScannerDriver = driver;
        driver->InitCapabilities();
        EXPECT_EQ(kKindFennik, driver->m_nKind);
        EXPECT_STREQ("1.00 A", driver->m_strRevision);
        EXPECT_EQ(0x0D, driver->m_nImageTypeFlags);
        EXPECT_EQ(c.capabilities, driver->m_nCapabilityFlags);
        EXPECT_EQ(c.feeder, driver->m_bFeederPresent);
        EXPECT_EQ((c.capabilities & 0x04) != 0 ? 1 : 0, driver->m_bTransparencyUnit);
        EXPECT_EQ(c.speed, driver->m_bSpeedTable);
        EXPECT_EQ(20, driver->m_ResolutionRange[0].m_nMinimum);
        EXPECT_EQ(600, driver->m_ResolutionRange[1].m_nMaximum);
        EXPECT_EQ(1200, driver->m_ResolutionRange[3].m_nMaximum);
        EXPECT_EQ(128u, driver->m_nBufferSize);
        EXPECT_EQ(21590, driver->m_ReflectiveBed.m_nWidth);
        EXPECT_EQ(25200, driver->m_TransparencyBed.m_nHeight);
        EXPECT_EQ(2500u, driver->m_TransparencyDensity.m_nMaximum);
        // The scan buffer the device search and the reader size their transfers by.
        EXPECT_EQ(57, GetIni("General", "ScanBuffer", 0));
        g_pScannerDriver = m_pDriver.get();
    }
}

TEST_F(FennikIdentifyTest, ResolutionRules)
{
    Start();
    struct Case {
        int32_t type;
        int32_t quality;
        uint32_t asked, expected;
    };
    const Case kRules[] = {
        {kImageRgb, 1, 100, 150}, {kImageRgb, 1, 200, 300}, {kImageRgb, 1, 75, 75}, {kImageRgb, 0, 10, 20},
        {kImageGrey, 0, 2400, 600}, {kImageLineArt, 1, 100, 100},
    };
    for (const Case& c : kRules) {
        SCOPED_TRACE(testing::Message() << c.type << "/" << c.quality << "/" << c.asked);
        m_Settings.SetParam(kParamImageType, c.type);
        m_Settings.SetParamAllTypes(kParamQuality, c.quality);
        EXPECT_EQ(c.expected, Driver().ClampResolutionX(c.asked));
    }
}

TEST_F(FennikIdentifyTest, StagingBufferByMachine)
{
    // BigBuffer 0 chooses by the machine; a value sets the kilobytes.
    Start();
    uint32_t automatic = Driver().GetTransferSize();
    EXPECT_TRUE(automatic == 128u * 1024 || automatic == 512u * 1024);
    SetIni("FENNIK", "BigBuffer", "64");
    Driver().InitCapabilities();
    EXPECT_EQ(65536u, Driver().GetTransferSize());
}

TEST_F(FennikIdentifyTest, RebuildKeepsTheUserFormat)
{
    Start();
    CFennikDriver& d = Driver();
    const int32_t clippedLetter = d.m_pFormatTable->m_Entries[0].m_nWidth;
    CFormatEntry& user = d.m_pFormatTable->m_Entries[7];
    ASSERT_STREQ(CMsgString(3187), user.m_strName);
    user.m_nWidth = 90000;          // wider than any bed: a rebuild must not clip it
    user.m_nOffsetX = 777;
    d.m_pFormatTable->m_Entries[0].m_nWidth = 5;
    d.RebuildFormatTable();
    EXPECT_EQ(90000, d.m_pFormatTable->m_Entries[7].m_nWidth);
    EXPECT_EQ(777, d.m_pFormatTable->m_Entries[7].m_nOffsetX);
    EXPECT_EQ(clippedLetter, d.m_pFormatTable->m_Entries[0].m_nWidth);
}
