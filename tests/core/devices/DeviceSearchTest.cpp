// The device search over the virtual bus, through our ASPI manager DLL and the NT pass-through seam,
// with the INI file it leaves behind.

#include "tests/support/OwnWindows.h"
#include "core/devices/DeviceSearch.h"
#include "core/devices/FoundDevice.h"
#include "core/devices/ModelTable.h"
#include "core/driver/ScannerDriver.h"
#include "core/scan/ShellServices.h"
#include "core/scsi/ScsiChannel.h"
#include "core/scsi/TransportFactory.h"
#include "dialogs/ChooseScannerDlg.h"
#include "framework/App.h"
#include "framework/Collections.h"
#include "sim/VirtualBus.h"
#include "tests/support/Screenshot.h"
#include "tests/support/SimBusConnection.h"

#include "tests/support/TestApplication.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace {

const std::string g_IniPath = testsupport::ProgramDirectory() + "devices_test.ini";

const auto* const g_pEnvironment = ::testing::AddGlobalTestEnvironment(
    new testsupport::CTestApplication("core_devices_tests", g_IniPath, {.englishCatalog = true}));

std::string Ini(const char* section, const char* key)
{
    char value[256];
    GetPrivateProfileStringA(section, key, "<none>", value, sizeof value, g_IniPath.c_str());
    return value;
}

void SetIni(const char* section, const char* key, const char* value)
{
    WritePrivateProfileStringA(section, key, value, g_IniPath.c_str());
}

// What the device search left in [General].
struct CIniAddress {
    std::string driver, host, bus, target;
    bool operator==(const CIniAddress& o) const
    {
        return driver == o.driver && host == o.host && bus == o.bus && target == o.target;
    }
};

CIniAddress IniAddress()
{
    return {
        Ini("General", "SCSIDriver"), Ini("General", "HostID"), Ini("General", "BusID"), Ini("General", "TargetID")};
}

std::ostream& operator<<(std::ostream& out, const CIniAddress& a)
{
    return out << a.driver << "/" << a.host << "/" << a.bus << "/" << a.target;
}

// Notes the crash guard's value while each INQUIRY runs.
class CGuardWatchingTarget : public CVirtualTarget {
public:
    std::vector<std::string> m_GuardSeen;

protected:
    void OnInquiry(const CSimCdb& cdb, CSimTransfer& io, CSimReply& reply) override
    {
        m_GuardSeen.push_back(Ini("General", "DangerousMPD"));
        CVirtualTarget::OnInquiry(cdb, io, reply);
    }
};

int g_nDriversCreated = 0;

// Stands in for the KOVAL family's driver, which is not built yet.
class CStandInDriver : public CScannerDriver {
public:
    void InitCapabilities() override
    {
        CScannerDriver::InitCapabilities();
        m_nKind = 2;
    }
};

CScannerDriver* CreateStandIn()
{
    ++g_nDriversCreated;
    return new CStandInDriver;
}

std::deque<int> g_BoxAnswers;
int g_nBoxes = 0;
std::string g_BoxText;

int WINAPI AnswerBox(HWND, LPCSTR text, LPCSTR, UINT)
{
    ++g_nBoxes;
    g_BoxText = text;
    int answer = g_BoxAnswers.empty() ? IDABORT : g_BoxAnswers.front();
    if (!g_BoxAnswers.empty())
        g_BoxAnswers.pop_front();
    return answer;
}

std::vector<std::string> g_ChooserLines;
int g_nChooserAnswer = -1;  // -1: cancel

int ChooseForTest(CObList& devices, int* position)
{
    g_ChooserLines.clear();
    for (POSITION pos = devices.GetHeadPosition(); pos != nullptr;)
        g_ChooserLines.push_back((const char*)static_cast<CFoundDevice*>(devices.GetNext(pos))->GetDescription());
    if (g_nChooserAnswer < 0)
        return 0;
    *position = g_nChooserAnswer;
    return 1;
}

std::vector<std::string> g_SplashLines;

// The shell as the search sees it: the engine loaded or not as the case says, splash lines
// recorded, boxes and the choice answered by the case, or the Choose Scanner dialog itself on the
// screen.
class CSearchShell : public CShellServices {
public:
    bool LoadColourEngine(const char* iniFile) override
    {
        m_EngineInis.push_back(iniFile != nullptr ? iniFile : "<none>");
        return m_bEngineLoads;
    }
    void ShowSplashStatus(CWnd*, const char* text) override { g_SplashLines.push_back(text); }
    int SearchBox(HWND owner, LPCSTR text, LPCSTR caption, UINT style) override
    {
        return AnswerBox(owner, text, caption, style);
    }
    int ChooseScanner(CObList& devices, int* position) override
    {
        if (!m_bDialogOnScreen)
            return ChooseForTest(devices, position);
        CChooseScannerDlg dialog(devices, position, nullptr);
        return dialog.DoModal() == 1 ? 1 : 0;
    }

    bool m_bDialogOnScreen = false;
    bool m_bEngineLoads = true;
    std::vector<std::string> m_EngineInis;
};

class DeviceSearchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DeleteFileA(g_IniPath.c_str());
        m_Bus.AddHost(CSimHostInfo());
        m_Connection.emplace(m_Bus);
        ASSERT_TRUE(m_Connection->IsConnected());
        m_pfnSavedFactory = g_ModelDescriptors[kModelKoval]->GetDriverFactory();
        g_ModelDescriptors[kModelKoval]->SetDriverFactory(CreateStandIn);
        g_nWindowsClass = 3;
        g_nDriversCreated = 0;
        g_BoxAnswers.clear();
        g_nBoxes = 0;
        g_nChooserAnswer = -1;
        g_ChooserLines.clear();
        g_SplashLines.clear();
    }
    void TearDown() override
    {
        delete g_pScannerDriver;
        g_pScannerDriver = nullptr;
        DeleteScsiChannel();
        g_ModelDescriptors[kModelKoval]->SetDriverFactory(m_pfnSavedFactory);
        m_Connection.reset();
    }
    template <class Target = CVirtualTarget>
    Target* AddDevice(int target, const char* product, uint8_t type = 6, int host = 0)
    {
        CSimAddress address;
        address.host = host;
        address.target = target;
        auto* device = static_cast<Target*>(m_Bus.Attach(address, std::make_unique<Target>()));
        device->SetInquiryImage(CVirtualTarget::MakeInquiryImage(type, "ZELK", product, "1.00"));
        return device;
    }
    static size_t Inquiries(const CVirtualTarget* device)
    {
        size_t n = 0;
        for (const CSimLogEntry& entry : device->Log())
            n += entry.cdb[0] == 0x12 ? 1 : 0;
        return n;
    }
    int Search() { return FindScanner(&m_Splash, 1); }

    CVirtualBus m_Bus;
    std::optional<CSimBusConnection> m_Connection;
    DriverFactory m_pfnSavedFactory = nullptr;
    CSearchShell m_Shell;
    CShellServicesScope m_ShellScope{m_Shell};
    CWnd m_Splash;
};

}  // namespace

TEST_F(DeviceSearchTest, NoScannerAskedAbortRetryIgnore)
{
    AddDevice(2, "DISK", 0);
    g_BoxAnswers = {IDRETRY, IDABORT};
    EXPECT_EQ(0, Search());
    EXPECT_EQ(2, g_nBoxes);
    EXPECT_NE(std::string::npos, g_BoxText.find("No scanner"));
    EXPECT_EQ(nullptr, g_pScannerDriver);
    EXPECT_EQ((CIniAddress {"0", "255", "255", "255"}), IniAddress());

    g_BoxAnswers = {IDIGNORE};
    EXPECT_EQ(1, Search());
    ASSERT_NE(nullptr, g_pScannerDriver);
    EXPECT_EQ(kKindBareDriver, g_pScannerDriver->m_nKind);
    EXPECT_NE(nullptr, g_pScannerDriver->m_pFormatTable) << "capabilities are filled";
    // Without a scanner the base transport's zeros are remembered.
    EXPECT_EQ((CIniAddress {"0", "0", "0", "0"}), IniAddress());
}

TEST_F(DeviceSearchTest, OneScannerIsOpenedAndRemembered)
{
    AddDevice(1, "DISK", 0);
    AddDevice(2, "UNKNOWN FLATBED");  // a scanner no entry takes is dropped
    // So is one of a family that registered no factory: this program links no driver.
    AddDevice(3, "TM-R");
    auto* koval = AddDevice<CGuardWatchingTarget>(4, "KOVAL");
    EXPECT_EQ(1, Search());
    EXPECT_EQ(1, g_nDriversCreated);
    ASSERT_NE(nullptr, g_pScannerDriver);
    EXPECT_EQ(2u, g_pScannerDriver->m_nKind) << "the driver's capabilities were initialised";
    EXPECT_EQ(0, g_nBoxes);
    EXPECT_TRUE(g_ChooserLines.empty());
    EXPECT_EQ((CIniAddress {"204", "0", "0", "4"}), IniAddress());
    EXPECT_EQ(4, g_pScsiChannel->GetTransport()->GetTarget());
    EXPECT_EQ("", Ini("General", "DangerousMPD"));
    // While its INQUIRY ran, the guard named the adapter.
    ASSERT_FALSE(koval->m_GuardSeen.empty());
    EXPECT_EQ("VIRTUAL HOST", koval->m_GuardSeen.back());
    EXPECT_EQ(std::string(12, ' ') + "KOVAL           " + std::string(12, ' '), g_SplashLines.back());
}

TEST_F(DeviceSearchTest, TwoScannersAskTheUser)
{
    AddDevice(2, "KOVAL");
    AddDevice(5, "KOVAL PLUS");
    g_nChooserAnswer = 1;
    EXPECT_EQ(1, Search());
    EXPECT_EQ((std::vector<std::string> {"KOVAL           ", "KOVAL PLUS      "}), g_ChooserLines);
    ASSERT_NE(nullptr, g_pScannerDriver);
    EXPECT_EQ((CIniAddress {"204", "0", "0", "5"}), IniAddress());

    // Cancelled: no scanner, and no half-probed address for the next start.
    delete g_pScannerDriver;
    g_nChooserAnswer = -1;
    SetIni("General", "HostID", "255");
    EXPECT_EQ(1, Search());
    ASSERT_NE(nullptr, g_pScannerDriver);
    EXPECT_EQ(kKindBareDriver, g_pScannerDriver->m_nKind);
    EXPECT_EQ((CIniAddress {"204", "255", "255", "255"}), IniAddress());
}

namespace {

int g_nDialogTicks = 0;
bool g_bDialogSeen = false;

// Plays the user in the real chooser: cancels it once it is on screen.
void CALLBACK CancelChooser(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND dialog = testsupport::FindOwnWindow("Choose Scanner");
    if (dialog == nullptr) {
        if (++g_nDialogTicks > 200)
            ::KillTimer(nullptr, timer);
        return;
    }
    ::KillTimer(nullptr, timer);
    g_bDialogSeen = true;
    ::SendMessageA(::GetDlgItem(dialog, 3822), BM_CLICK, 0, 0);
}

}  // namespace

TEST_F(DeviceSearchTest, TheChooserDialogCancelledOnScreen)
{
    AddDevice(2, "KOVAL");
    AddDevice(5, "KOVAL PLUS");
    m_Shell.m_bDialogOnScreen = true;
    g_bDialogSeen = false;
    g_nDialogTicks = 0;
    ::SetTimer(nullptr, 0, 50, CancelChooser);
    EXPECT_EQ(1, Search());
    EXPECT_TRUE(g_bDialogSeen);
    ASSERT_NE(nullptr, g_pScannerDriver);
    EXPECT_EQ(kKindBareDriver, g_pScannerDriver->m_nKind);
    EXPECT_EQ(0, g_nDriversCreated);
    EXPECT_EQ((CIniAddress {"204", "255", "255", "255"}), IniAddress());
}

TEST_F(DeviceSearchTest, RememberedAddressIsAskedFirst)
{
    CVirtualTarget* first = AddDevice(2, "KOVAL");
    CVirtualTarget* remembered = AddDevice(5, "KOVAL PLUS");
    SetIni("General", "HostID", "0");
    SetIni("General", "TargetID", "5");
    EXPECT_EQ(1, Search());
    EXPECT_TRUE(g_ChooserLines.empty()) << "the full scan is skipped";
    EXPECT_EQ(0u, Inquiries(first));
    EXPECT_GE(Inquiries(remembered), 1u);
    EXPECT_EQ((CIniAddress {"204", "0", "0", "5"}), IniAddress());

    // HostID 255 means none remembered, whatever TargetID says.
    delete g_pScannerDriver;
    SetIni("General", "HostID", "255");
    g_nChooserAnswer = 0;
    EXPECT_EQ(1, Search());
    EXPECT_EQ(2u, g_ChooserLines.size());
    EXPECT_GE(Inquiries(first), 1u);
}

TEST_F(DeviceSearchTest, BlacklistedAdapterIsSkipped)
{
    AddDevice(4, "KOVAL");
    SetIni("BlackList", "1", "ESDI_506");
    SetIni("BlackList", "2", "virtual");
    SetIni("General", "HostID", "0");
    SetIni("General", "TargetID", "4");
    g_BoxAnswers = {IDABORT};
    EXPECT_EQ(0, Search());
    EXPECT_EQ(1, g_nBoxes);
    EXPECT_EQ(nullptr, g_pScannerDriver);
    EXPECT_EQ((CIniAddress {"0", "255", "255", "255"}), IniAddress());
}

TEST_F(DeviceSearchTest, AnInterruptedScanBlacklistsItsAdapterAtTheNextStart)
{
    struct Case {
        const char* guard;
        bool blacklisted;
        const char* guardAfter;
    };
    const Case kCases[] = {
        {"Fancy Adapter", true, ""},
        {"aha154x", false, "aha154x"},  // the four safe adapters are never blacklisted
        {"SPARROW", false, "SPARROW"},
        {"", false, ""},
    };
    for (const Case& c : kCases) {
        DeleteFileA(g_IniPath.c_str());
        SetIni("BlackList", "1", "ESDI_506");
        SetIni("BlackList", "2", "OLD CARD");
        SetIni("General", "DangerousMPD", c.guard);
        EXPECT_EQ(c.blacklisted ? 1 : 0, CheckDangerousAdapter()) << c.guard;
        EXPECT_EQ(c.blacklisted ? "FANCY ADAPTER" : "<none>", Ini("BlackList", "3")) << c.guard;
        EXPECT_EQ(c.guardAfter, Ini("General", "DangerousMPD")) << c.guard;
    }

    // Through the search: the adapter left in the guard goes on the list before the bus scan.
    AddDevice(3, "KOVAL");
    DeleteFileA(g_IniPath.c_str());
    SetIni("General", "DangerousMPD", "VIRTUAL HOST");
    g_BoxAnswers = {IDABORT};
    EXPECT_EQ(0, Search());
    std::vector<std::string> blackList = {Ini("BlackList", "1"), Ini("BlackList", "2")};
    EXPECT_NE(blackList.end(), std::find(blackList.begin(), blackList.end(), "VIRTUAL HOST"));
    EXPECT_EQ("", Ini("General", "DangerousMPD"));
}

TEST_F(DeviceSearchTest, WindowsNtTriesItsTransportsInOrder)
{
    AddDevice(4, "KOVAL");
    m_Bus.AddScannerDevice(0, CSimAddress {0, 0, 4, 0});
    g_nWindowsClass = 4;
    // A stored Win32s id fails the bit test: the NT pass-through comes first.
    SetIni("General", "SCSIDriver", "243");
    EXPECT_EQ(1, Search());
    EXPECT_EQ("141", Ini("General", "SCSIDriver"));
    delete g_pScannerDriver;
    // The ASPI manager stored: it stays the first choice.
    SetIni("General", "SCSIDriver", "204");
    EXPECT_EQ(1, Search());
    EXPECT_EQ("204", Ini("General", "SCSIDriver"));
    delete g_pScannerDriver;
    // No ASPI manager: the search moves on to the pass-through.
    m_Bus.SetManagerReady(false);
    SetIni("General", "SCSIDriver", "204");
    EXPECT_EQ(1, Search());
    EXPECT_EQ("141", Ini("General", "SCSIDriver"));
}

TEST_F(DeviceSearchTest, WithoutTheEngineNoTransportIsOpened)
{
    CVirtualTarget* koval = AddDevice(4, "KOVAL");
    m_Shell.m_bEngineLoads = false;
    g_pszEngineIniFile = "search_engine.ini";
    EXPECT_EQ(0, Search());
    g_pszEngineIniFile = nullptr;
    EXPECT_EQ(std::vector<std::string> {"search_engine.ini"}, m_Shell.m_EngineInis);
    EXPECT_EQ(0u, Inquiries(koval));
    EXPECT_EQ(0, g_nBoxes) << "the shell reported the failed load; the search adds nothing";
    EXPECT_TRUE(g_SplashLines.empty());
    EXPECT_EQ(nullptr, g_pScannerDriver);
    EXPECT_EQ(nullptr, g_pScsiChannel) << "no transport is opened without the engine";
}
