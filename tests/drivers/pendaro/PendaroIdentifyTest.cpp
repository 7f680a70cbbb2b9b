// The model table's PENDARO and OSTRAVEL entries and what the drivers make of the INQUIRY data.

#include "core/devices/ModelTable.h"
#include "core/scsi/ScsiBuffer.h"
#include "drivers/koval2/PendaroTables.h"
#include "tests/drivers/pendaro/PendaroBench.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kNoEntry = -1;

struct EntryCase {
    const char* name;
    const char* vendor;
    const char* product;
    uint32_t mask;
    int entry;
};

const EntryCase kEntries[] = {
    {"Pendaro", "ZELK", "Pendaro", 0xFFFFFFFF, kModelPendaro},
    {"PendaroOfTlx", "TLX SC31", "Pendaro", 0x100, kModelPendaro},
    {"PendaroIIOfGenora", "GENORA", "Pendaro II", 0x1000, kModelPendaro},
    {"DX690OnTheFirstBit", "ZELK", "DX-690", 0x100, kModelPendaro},
    {"DX690NotOnTheSecondBit", "ZELK", "DX-690", 0x1000, kNoEntry},
    {"PendaroMaskedOff", "ZELK", "Pendaro", ~0x100u, kNoEntry},
    {"PendaroOfTalvinex", "TALVINEX", "Pendaro", 0xFFFFFFFF, kNoEntry},
    {"Ostravel", "TLX SC31", "Ostravel", 0x8000, kModelOstravel},
    {"OstravelMaskedOff", "ZELK", "Ostravel", ~0x8000u, kNoEntry},
};

struct KindCase {
    const char* name;
    CDeviceOptions device;
    uint32_t kind;
    uint16_t minimum, maximum;
    uint16_t opticalLow, opticalHigh;
    uint32_t bufferSize;
    uint8_t capabilities;
    const uint32_t* resolutions;
};

const KindCase kKinds[] = {
    {"Pendaro", {}, kKindPendaro, 30, 600, 300, 600, 64, 0x09, kPendaroResolutions},
    {"PendaroTransparencyOnly", {{"transparency", "1"}}, kKindPendaro, 30, 600, 300, 600, 64, 0x0D,
     kPendaroResolutions},
    {"PendaroII", {{"model", "pendaro2"}, {"transparency", "1"}}, kKindPendaro2, 32, 800, 400, 800, 256, 0x1D,
     kPendaro2Resolutions},
    {"DX690IsTheSecondKind", {{"model", "dx690"}, {"highres", "0"}}, kKindPendaro2, 32, 400, 400, 800, 256, 0x09,
     kPendaro2Resolutions},
};

class PendaroIdentifyTest : public PendaroBench {
protected:
    void TearDown() override
    {
        g_ModelEnableMask = 0xFFFFFFFF;
        PendaroBench::TearDown();
    }
};

}  // namespace

TEST_F(PendaroIdentifyTest, ModelTableEntriesAndMaskBits)
{
    for (const EntryCase& c : kEntries) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> image = CVirtualTarget::MakeInquiryImage(6, c.vendor, c.product, "1.00", 96);
        CScsiInquiryBuffer inquiry;
        std::memcpy(inquiry.GetData(), image.data(), image.size());
        g_ModelEnableMask = c.mask;
        int entry = kNoEntry;
        for (int i = 0; g_ModelDescriptors[i] != nullptr && entry == kNoEntry; ++i) {
            if (g_ModelDescriptors[i]->Match(inquiry))
                entry = i;
        }
        EXPECT_EQ(c.entry, entry);
        if (entry == kNoEntry)
            continue;
        std::unique_ptr<CScannerDriver> driver(g_ModelDescriptors[entry]->GetDriverFactory()());
        ASSERT_NE(nullptr, driver);
        EXPECT_EQ(entry == kModelOstravel, dynamic_cast<COstravelDriver*>(driver.get()) != nullptr);
        EXPECT_NE(nullptr, dynamic_cast<CPendaroDriver*>(driver.get()));
    }
}

TEST_F(PendaroIdentifyTest, KindsResolutionsAndAccessories)
{
    for (const KindCase& c : kKinds) {
        SCOPED_TRACE(c.name);
        Start(c.device);
        const CPendaroDriver& driver = Driver();
        EXPECT_EQ(c.kind, driver.m_nKind);
        for (const CResolutionRange& range : driver.m_ResolutionRange) {
            EXPECT_EQ(c.minimum, range.m_nMinimum);
            EXPECT_EQ(c.maximum, range.m_nMaximum);
        }
        EXPECT_EQ(c.opticalLow, driver.m_nOpticalLow);
        EXPECT_EQ(c.opticalHigh, driver.m_nOpticalHigh);
        EXPECT_EQ(c.bufferSize, driver.m_nBufferSize);
        EXPECT_EQ(c.capabilities, driver.m_nCapabilityFlags);
        EXPECT_EQ(c.resolutions, driver.m_pResolutionList);
        EXPECT_EQ(0x0D, driver.m_nImageTypeFlags);
        EXPECT_EQ(2400u, driver.m_nMaxResolutionForType);
        EXPECT_EQ(21540, driver.m_ReflectiveBed.m_nWidth);
        EXPECT_EQ(35560, driver.m_ReflectiveBed.m_nHeight);
        EXPECT_EQ(1, driver.m_nFurtherFlags[2]);
        EXPECT_EQ(1024u, driver.m_nLutEntries);   // the device's default byte 66, 0x02
        EXPECT_EQ(255u, driver.m_nLutMaximum);
    }
}

TEST_F(PendaroIdentifyTest, VendorBytesOfTheDevice)
{
    struct Case {
        const char* name;
        CDeviceOptions device;
        uint8_t grouping;
        uint8_t exposureLimit;
        int32_t feeder;
        uint32_t lutEntries, lutMaximum;
    };
    const Case kCases[] = {
        {"Defaults", {}, 1, 47, 0, 1024, 255},
        {"GroupingAndFeeder", {{"grouping", "8"}, {"feeder", "0"}}, 8, 47, 1, 1024, 255},
        {"LimitRaisedTo14", {{"exposurelimit", "3"}}, 1, 14, 0, 1024, 255},
        {"WideTable", {{"lut", "0x44"}}, 1, 47, 0, 4096, 4095},
        {"Bit7MeansByteEntries", {{"lut", "0xE1"}}, 1, 47, 0, 256, 255},
        {"NoSizeBitIs256", {{"lut", "0x20"}}, 1, 47, 0, 256, 1023},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Start(c.device);
        EXPECT_EQ(c.grouping, Driver().m_nSampleGrouping);
        EXPECT_EQ(c.exposureLimit, Driver().m_nExposureLimit);
        EXPECT_EQ(c.feeder, Driver().m_bFeederPresent);
        EXPECT_EQ(c.lutEntries, Driver().m_nLutEntries);
        EXPECT_EQ(c.lutMaximum, Driver().m_nLutMaximum);
    }
}

TEST_F(PendaroIdentifyTest, ResolutionSteps)
{
    struct Case {
        const char* name;
        CDeviceOptions device;
        int32_t type;
        int32_t quality;
        uint32_t asked;
        uint32_t clamped;
    };
    const Case kCases[] = {
        {"PercentStepsOfTheLowerOptical", {}, kImageGrey, 2, 100, 102},
        {"ExactStepKept", {}, kImageGrey, 2, 150, 150},
        {"AboveTheLowerStepsOnTheHigher", {}, kImageGrey, 2, 301, 306},
        {"HighestIsTheHigherOptical", {}, kImageRgb, 2, 2400, 600},
        {"BelowTheRangeRaised", {}, kImageGrey, 2, 10, 30},
        {"QualityQuarter", {}, kImageGrey, 1, 60, 75},
        {"QualityHalf", {}, kImageGrey, 1, 100, 150},
        {"QualityOptical", {}, kImageRgb, 1, 200, 300},
        {"QualityDouble", {}, kImageRgb, 1, 700, 600},
        {"QualityNotForLineArt", {}, kImageLineArt, 1, 100, 102},
        {"SecondKindSteps", {{"model", "pendaro2"}}, kImageGrey, 2, 101, 104},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Start(c.device);
        Select(c.type, int32_t(c.asked), 0, 0, 1000, 1000);
        m_Settings.SetParam(kParamQuality, c.quality);
        EXPECT_EQ(c.clamped, Driver().ClampResolutionX(c.asked));
        EXPECT_EQ(c.clamped, Driver().ClampResolutionY(c.asked));
    }
}

namespace {

class OstravelIdentifyTest : public OstravelBench {};

}  // namespace

TEST_F(OstravelIdentifyTest, CapabilitiesFromTheVendorBytes)
{
    struct Case {
        const char* name;
        CDeviceOptions device;
        uint16_t maximum;
        uint8_t highResolution;
        uint8_t depths;
        uint8_t capabilities;
        uint32_t lutEntries, lutMaximum;
    };
    const Case kCases[] = {
        {"Defaults", {}, 1200, 1, 0x17, 0x09, 1024, 1023},
        {"HigherOpticalWithheld", {{"nohigh", "1"}}, 600, 0, 0x17, 0x09, 1024, 1023},
        {"NoHighResolutionFlag", {{"highres", "0"}}, 600, 0, 0x17, 0x09, 1024, 1023},
        {"EightBitsOnly", {{"depths", "0"}}, 1200, 1, 0x01, 0x09, 1024, 1023},
        {"TwelveBits", {{"depths", "0x04"}}, 1200, 1, 0x05, 0x09, 1024, 1023},
        {"TransparencyAndNegatives", {{"transparency", "1"}}, 1200, 1, 0x17, 0x1D, 1024, 1023},
        {"NoTableSize", {{"lut", "0x20"}}, 1200, 1, 0x17, 0x09, 0, 1023},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Start(c.device);
        const COstravelDriver& driver = Driver();
        EXPECT_EQ(kKindOstravel, driver.m_nKind);
        EXPECT_EQ(600, driver.m_nOpticalLow);
        EXPECT_EQ(1200, driver.m_nOpticalHigh);
        EXPECT_EQ(c.highResolution, driver.m_bHighResolution);
        for (const CResolutionRange& range : driver.m_ResolutionRange) {
            EXPECT_EQ(30, range.m_nMinimum);
            EXPECT_EQ(c.maximum, range.m_nMaximum);
        }
        EXPECT_EQ(c.depths, driver.m_nFurtherFlags[2]);
        EXPECT_EQ(c.capabilities, driver.m_nCapabilityFlags);
        EXPECT_EQ(c.lutEntries, driver.m_nLutEntries);
        EXPECT_EQ(c.lutMaximum, driver.m_nLutMaximum);
        EXPECT_EQ(kOstravelResolutions, driver.m_pResolutionList);
        EXPECT_EQ(21590, driver.m_ReflectiveBed.m_nWidth);
        EXPECT_EQ(20200, driver.m_TransparencyBed.m_nWidth);
        EXPECT_EQ(256u, driver.m_nBufferSize);
        EXPECT_EQ(0x0D, driver.m_nImageTypeFlags);
    }
}

TEST_F(OstravelIdentifyTest, QualityStepsAndTheReturnDelay)
{
    struct Case {
        int32_t quality;
        uint32_t asked;
        uint32_t clamped;
    };
    const Case kCases[] = {{1, 76, 150}, {1, 75, 75}, {1, 301, 600}, {1, 700, 1200}, {2, 700, 700}, {2, 10, 30}};
    Start();
    for (const Case& c : kCases) {
        SCOPED_TRACE(testing::Message() << c.quality << " " << c.asked);
        Select(kImageGrey, int32_t(c.asked), 0, 0, 1000, 1000);
        m_Settings.SetParam(kParamQuality, c.quality);
        EXPECT_EQ(c.clamped, Driver().ClampResolutionX(c.asked));
    }
    // The carriage's return: at least 2 s, else the selection's bottom over 40.
    Select(kImageGrey, 100, 0, 0, 1000, 1000);
    EXPECT_EQ(2000u, Driver().GetReturnDelay());
    Select(kImageGrey, 100, 0, 10000, 1000, 25000);
    EXPECT_EQ(8750u, Driver().GetReturnDelay());
}
