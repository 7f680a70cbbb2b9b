#include "tests/drivers/support/DriverBench.h"

#include "core/devices/DeviceSearch.h"
#include "core/scsi/TransportFactory.h"
#include "framework/App.h"
#include "tests/support/Screenshot.h"

CWinApp* DriverBench::s_pApp = nullptr;

namespace {

std::string g_IniPath;

}  // namespace

std::string TransportName(const testing::TestParamInfo<ScsiDriverId>& info)
{
    return info.param == kScsiDriverAspi32 ? "Aspi" : "NtPassThrough";
}

void DriverBench::SetUp()
{
    if (s_pApp == nullptr) {
        s_pApp = new CWinApp("drivers_tests");
        g_IniPath = testsupport::ProgramDirectory() + "drivers_tests.ini";
        s_pApp->m_pszProfileName = g_IniPath.c_str();
    }
    DeleteFileA(g_IniPath.c_str());
    LoadEnglishCatalog();
    g_UserAbort = 0;
    g_pScanSettings = &m_Settings;
    m_bus.AddHost(CSimHostInfo());
    // An abort fault stands for the user pressing Cancel while the command runs.
    m_bus.SetAbortHook([] { g_UserAbort = 1; });
}

void DriverBench::Connect(std::unique_ptr<CVirtualTarget> device, ScsiDriverId id)
{
    Disconnect();
    CSimAddress address;
    address.target = kTarget;
    m_pTarget = m_bus.Attach(address, std::move(device));
    m_connection.emplace(m_bus, id);
    ASSERT_TRUE(m_connection->IsConnected());
    m_pTransport = BuildTransport(id);
    ASSERT_EQ(m_pTransport->Open(), kMsgScsiOpened);
    m_pTransport->SelectAdapter(0);
    m_pTransport->SetBus(0);
    m_pTransport->SelectTarget(kTarget);
    g_TransferSize = m_pTransport->GetMaxTransfer();  // as opening the device caches it
    g_DeviceTransferSize = g_TransferSize;
    m_channel = std::make_unique<CScsiChannel>(m_pTransport, ChannelKindOf(id));
    g_pScsiChannel = m_channel.get();
}

void DriverBench::TearDown()
{
    Disconnect();
    g_pScanSettings = nullptr;
    g_UserAbort = 0;
}

void DriverBench::Disconnect()
{
    g_pScsiChannel = nullptr;
    m_channel.reset();
    delete m_pTransport;
    m_pTransport = nullptr;
    m_connection.reset();
}

void DriverBench::Describe(const std::string& text)
{
    std::string error;
    ASSERT_TRUE(m_bus.LoadDescription(text, &error)) << error;
}

void DriverBench::SetIni(const char* section, const char* key, const char* value)
{
    AfxGetApp()->WriteProfileString(section, key, value);
}

int DriverBench::GetIni(const char* section, const char* key, int fallback)
{
    return (int)AfxGetApp()->GetProfileInt(section, key, fallback);
}
