#include "core/driver/ScannerDriver.h"
#include "core/settings/ScanSettings.h"
#include "core/scsi/ScsiChannel.h"
#include "core/settings/SettingsFile.h"
#include "framework/App.h"
#include "tests/support/Screenshot.h"

#include "tests/support/TestApplication.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

class BareDriverTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_pDriver = std::make_unique<CScannerDriver>();
        m_pDriver->InitCapabilities();
        g_pScannerDriver = m_pDriver.get();
        g_pScanSettings = &m_Settings;
    }
    void TearDown() override
    {
        g_pScanSettings = nullptr;
        g_pScannerDriver = nullptr;
    }

    std::unique_ptr<CScannerDriver> m_pDriver;
    CScanSettings m_Settings;
};

std::vector<uint32_t> ResolutionList(const CScannerDriver& driver)
{
    std::vector<uint32_t> list;
    for (const uint32_t* r = driver.m_pResolutionList; *r != 0; ++r)
        list.push_back(*r);
    return list;
}

}  // namespace

TEST_F(BareDriverTest, CapabilitiesOfTheBareBase)
{
    const CScannerDriver& d = *m_pDriver;
    EXPECT_EQ(kKindBareDriver, d.m_nKind);
    EXPECT_EQ(0u, SettingsSlotForKind(d.m_nKind));
    EXPECT_EQ((std::vector<uint32_t>{50, 100, 200, 400, 800, 1600}), ResolutionList(d));
    for (int original = 0; original <= 3; ++original) {
        EXPECT_EQ(40000u, d.GetBedWidth(original));
        EXPECT_EQ(60000u, d.GetBedHeight(original));
        EXPECT_EQ(0u, d.GetBedOffsetX(original));
    }
    EXPECT_EQ(0u, d.GetMinDensity(0));
    EXPECT_EQ(4000u, d.GetMaxDensity(0));
    EXPECT_EQ(300u, d.m_TransparencyDensity.m_nMinimumCeiling);
    EXPECT_EQ(10, d.m_ResolutionRange[3].m_nMinimum);
    EXPECT_EQ(2400, d.m_ResolutionRange[0].m_nMaximum);
    EXPECT_EQ(3600, d.m_nCapabilityWords[7]);
    EXPECT_EQ(1200u, m_pDriver->GetMaxResolutionForType(kImageCmyk));
    EXPECT_EQ(29, d.m_nImageTypeFlags);
    EXPECT_EQ(31, d.m_nCapabilityFlags);
    EXPECT_TRUE(d.CanScanReflective());
    EXPECT_FALSE(d.IsCamera());
    EXPECT_EQ(3, d.m_nState);
    EXPECT_EQ(1, d.m_bLineArt);
    EXPECT_EQ(0u, d.m_nLinesRead);
    EXPECT_EQ(0, d.m_pHolderTable[0].m_nHolderWidth);   // only the end record
    EXPECT_NE(nullptr, g_pFormatTable);
}

TEST_F(BareDriverTest, BareDriverCannotScan)
{
    // The scan job's order: a bare driver must stop it at the first step that needs a device (the
    // prescan before it only runs when the settings ask for one).
    EXPECT_NE(kDriverOk, m_pDriver->ReserveDevice());
    EXPECT_EQ(kDriverFailed, m_pDriver->UpdateScanGeometry());
    EXPECT_EQ(kDriverFailed, m_pDriver->SetScanParameters(&m_Settings));
    EXPECT_NE(kDriverOk, m_pDriver->StartScanCommand(0));
    uint8_t buffer[16] = {};
    EXPECT_NE(kDriverOk, m_pDriver->ReadData(buffer, 0, 1, 16));
}

TEST_F(BareDriverTest, SimpleOperations)
{
    CScannerDriver& d = *m_pDriver;
    uint8_t lines[4] = {};
    int32_t status = 7;
    EXPECT_EQ(3u, d.PostProcessLines(lines, 3, &m_Settings, &status));
    EXPECT_EQ(0, status);
    EXPECT_EQ(3u, d.PreProcessLines(lines, 3, &m_Settings));
    d.m_nLinesRead = 40;
    EXPECT_EQ(kDriverOk, d.StopScan(0));
    EXPECT_EQ(0u, d.m_nLinesRead);
    EXPECT_EQ(1, d.IsLutRising(3));
    EXPECT_EQ(0, d.HasHardwareSharpening());
    d.m_nCapabilityFlags |= kCapHardwareSharpening;
    EXPECT_EQ(1, d.HasHardwareSharpening());
    EXPECT_DOUBLE_EQ(1.0, d.GetGammaOverride());

    m_Settings.SetParam(kParamScreenRuling, 0);
    EXPECT_EQ(1, d.IsScreenRulingOff());
    m_Settings.SetParamAllTypes(kParamImageType, kImageGrey);
    m_Settings.SetParam(kParamScreenRuling, 133);
    EXPECT_EQ(0, d.IsScreenRulingOff());
    EXPECT_EQ(0, d.CheckLineArt());
    m_Settings.SetParamAllTypes(kParamImageType, kImageLineArt);
    d.m_bLineArt = 0;
    EXPECT_EQ(1, d.CheckLineArt());
    EXPECT_EQ(1, d.m_bLineArt);
}

TEST(ScannerDriver, ScanModeForImageType)
{
    CScannerDriver driver;
    const uint32_t kModes[] = {2, 1, 2, 3, 3, 0, 0};
    for (int type = 0; type <= 5; ++type)
        EXPECT_EQ(kModes[type], driver.ScanModeForImageType(type)) << type;
    EXPECT_EQ(0u, driver.ScanModeForImageType(-1));
}

TEST(ScannerDriver, InquiryTextsLoseTrailingBlanks)
{
    struct Case { const char* text; const char* stored; };
    const Case kCases[] = {
        {"FILMSCAN 35     ", "FILMSCAN 35"},
        {"   ", " "},             // the first character is always kept
        {"", ""},
        {" A ", " A"},
        {"X", "X"},
    };
    CScannerDriver driver;
    for (const Case& c : kCases) {
        driver.SetProductName(c.text);
        driver.SetVendorName(c.text);
        driver.SetRevisionText(c.text);
        EXPECT_STREQ(c.stored, driver.m_strProduct) << '"' << c.text << '"';
        EXPECT_STREQ(c.stored, driver.m_strVendor);
        EXPECT_STREQ(c.stored, driver.m_strRevision);
    }
}

TEST_F(BareDriverTest, BedsAndDensitiesFollowTheOriginal)
{
    CScannerDriver& d = *m_pDriver;
    d.m_ReflectiveBed = {1, 2, 21600, 29700};
    d.m_TransparencyBed = {3, 4, 3600, 2400};
    d.m_ReflectiveDensity = {100, 300, 300, 2500};
    d.m_TransparencyDensity = {200, 2000, 3000, 3600};
    struct Case { int32_t original; uint32_t width, offsetY, minDensity, maxDensity; };
    const Case kCases[] = {
        {0, 21600, 2, 100, 2500},
        {1, 3600, 4, 200, 3600},
        {2, 3600, 4, 200, 3600},
        {3, 21600, 2, 100, 2500},
    };
    for (const Case& c : kCases) {
        m_Settings.SetParamAllTypes(kParamOriginal, c.original);
        EXPECT_EQ(c.width, d.GetBedWidth(c.original));
        EXPECT_EQ(c.offsetY, d.GetBedOffsetY(c.original));
        EXPECT_EQ(c.minDensity, d.GetMinDensity(0)) << c.original;
        EXPECT_EQ(c.maxDensity, d.GetMaxDensity(0)) << c.original;
    }
}

TEST_F(BareDriverTest, DefaultSettingsByOriginal)
{
    struct Case { int32_t original; int32_t tone; int32_t storedOriginal; int32_t quality; int32_t levels; };
    const Case kCases[] = {
        {0, 0xFF00, 0, 2, 0},
        {1, 0xFF03, 1, 2, 0},
        {2, 0xFF03, 1, 1, 3600},   // a negative is left as a transparency with gamma 1.5
    };
    m_pDriver->m_TransparencyDensity = {200, 2000, 3000, 3600};
    for (const Case& c : kCases) {
        CScanSettings settings;
        g_pScanSettings = &settings;
        settings.SetParamAllTypes(kParamImageType, kImageRgb);
        settings.SetParamAllTypes(kParamOriginal, c.original);
        m_pDriver->SetDefaultSettings(&settings);
        for (int t = 0; t < kImageTypeCount; ++t) {
            EXPECT_EQ(c.tone, settings.GetParamForType(t, kParamToneCode)) << c.original;
            EXPECT_EQ(c.storedOriginal, settings.GetParamForType(t, kParamOriginal)) << c.original;
            EXPECT_EQ(c.quality, settings.GetParamForType(t, kParamQuality));
            EXPECT_EQ(2, settings.GetParamForType(t, kParamRangeMode));
            EXPECT_EQ(8, settings.GetParamForType(t, kParamBitsPerChannel));
            EXPECT_EQ(0xFF00, settings.GetParamForType(t, kParamDriverGamma));
            EXPECT_EQ(100, settings.GetParamForType(t, kParamGainGreen));
        }
        EXPECT_EQ(c.levels, settings.GetParam(kParamLevelsMaxGreen));
        EXPECT_EQ(c.original == 0 ? 4000 : 3600, settings.GetParam(kParamMaxDensity));
        EXPECT_EQ(settings.GetParam(kParamMaxDensity), settings.GetParam(kParamMaxDensityGreen));
    }
    g_pScanSettings = &m_Settings;
}

TEST(ScannerDriverLifetime, DeletingClearsTheGlobalOnlyForTheCurrentDriver)
{
    auto* current = new CScannerDriver;
    current->InitCapabilities();
    current->m_pFormatTable = g_pFormatTable;
    g_pScannerDriver = current;

    auto* other = new CScannerDriver;
    other->m_pFormatTable = g_pFormatTable;
    delete other;
    EXPECT_EQ(current, g_pScannerDriver);
    // The current driver still reads the shared base table.
    EXPECT_NE(nullptr, g_pFormatTable);

    delete current;
    EXPECT_EQ(nullptr, g_pScannerDriver);
    EXPECT_EQ(nullptr, g_pFormatTable);
}

namespace {

// The transport and the driver's model values read their profile through the application object.
const std::string g_IniPath = testsupport::ProgramDirectory() + "driver_test.ini";
const auto* const g_pTestApplication = ::testing::AddGlobalTestEnvironment(
    new testsupport::CTestApplication("core_driver_tests", g_IniPath));

class DriverProfileTest : public BareDriverTest {
protected:
    void SetUp() override
    {
        BareDriverTest::SetUp();
        DeleteFileA(g_IniPath.c_str());
        m_pDriver->SetProductName("MODEL Y         ");
    }
    const char* IniPath() const { return g_IniPath.c_str(); }
};

}  // namespace

TEST_F(DriverProfileTest, ModelValuesLiveInTheProductSection)
{
    EXPECT_EQ(0, m_pDriver->LoadBlocking());
    EXPECT_EQ(15, m_pDriver->GetOptimalStroke());

    m_pDriver->m_nBlocking = 6;
    EXPECT_EQ(6, m_pDriver->SaveBlocking());
    EXPECT_EQ(6, (int)GetPrivateProfileIntA("MODEL Y", "Blocking", -1, IniPath()));
    m_pDriver->m_nBlocking = 0;
    EXPECT_EQ(6, m_pDriver->LoadBlocking());
    EXPECT_EQ(6, m_pDriver->m_nBlocking);

    WritePrivateProfileStringA("MODEL Y", "OptimalStroke", "40", IniPath());
    EXPECT_EQ(40, m_pDriver->GetOptimalStroke());
}

namespace {

// An access method that moves at most 61440 bytes, lowered to m_nLimit by the user's setting.
class CFixedTransferTransport : public CScsiTransport {
public:
    uint32_t GetMaxTransfer() override
    {
        m_maxTransfer = 61440;
        return m_nLimit;
    }
    uint32_t m_nLimit = 61440;
};

}  // namespace

TEST_F(BareDriverTest, TransferSizeIsAskedOfTheTransportEachTime)
{
    g_pScsiChannel = nullptr;
    EXPECT_EQ(0u, m_pDriver->GetTransferSize());

    // A device whose widest line (1 inch at 300 ppi) is far below either size.
    m_pDriver->m_ReflectiveBed = {0, 0, 2540, 2540};
    m_pDriver->m_TransparencyBed = {0, 0, 2540, 2540};
    m_pDriver->m_ResolutionRange[0] = {6, 300};
    CFixedTransferTransport transport;
    CScsiChannel channel(&transport, kScsiChannelNone);
    g_pScsiChannel = &channel;
    EXPECT_EQ(61440u, m_pDriver->GetTransferSize());
    transport.m_nLimit = 32768;                 // the user lowered General/ScanBuffer
    EXPECT_EQ(32768u, m_pDriver->GetTransferSize());
    g_pScsiChannel = nullptr;
}

// A transfer size setting below one line would leave no line per transfer: the widest line the
// driver offers is the floor, as far as the access method can move it.
TEST_F(BareDriverTest, TransferSizeIsAtLeastTheWidestLineTheTransportCanMove)
{
    struct Case {
        const char* name;
        uint16_t bedWidth;          // 1/100 mm
        uint16_t maxResolution;
        uint32_t setting;           // what the transport allows after General/ScanBuffer
        uint32_t expected;
    };
    const Case kCases[] = {
        {"setting above a line", 2540, 300, 4096, 4096},
        {"setting below a line", 2540, 300, 1024, 300 * 6},
        {"line wider than the access method moves", 25400, 1200, 1024, 61440},
    };
    CFixedTransferTransport transport;
    CScsiChannel channel(&transport, kScsiChannelNone);
    g_pScsiChannel = &channel;
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        m_pDriver->m_ReflectiveBed = {0, 0, c.bedWidth, 2540};
        m_pDriver->m_TransparencyBed = {0, 0, uint16_t(c.bedWidth / 2), 2540};
        m_pDriver->m_ResolutionRange[0] = {6, c.maxResolution};
        transport.m_nLimit = c.setting;
        EXPECT_EQ(c.expected, m_pDriver->GetTransferSize());
    }
    g_pScsiChannel = nullptr;
}
