#include "tests/core/scsi/ScsiBench.h"

#include <fstream>

#include "core/messages/TraceLog.h"
#include "core/scsi/TransportFactory.h"
#include "framework/App.h"
#include "sim/AspiManager.h"
#include "tests/support/Screenshot.h"

CWinApp* ScsiBench::s_pApp = nullptr;

namespace {

std::string g_IniPath;
std::string g_TracePath;
int g_Pings = 0;

LRESULT CALLBACK UserWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_APP) {
        g_UserAbort = 1;
        return 0;
    }
    if (message == WM_APP + 1) {
        ++g_Pings;
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND CreateUserWindow()
{
    WNDCLASSA wc {};
    wc.lpfnWndProc = UserWindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "ScsiBenchUser";
    RegisterClassA(&wc);
    return CreateWindowA("ScsiBenchUser", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
}

}  // namespace

std::string TransportName(const testing::TestParamInfo<ScsiDriverId>& info)
{
    return info.param == kScsiDriverAspi32 ? "Aspi" : "NtPassThrough";
}

void ScsiBench::SetUp()
{
    if (s_pApp == nullptr) {
        s_pApp = new CWinApp("core_scsi_tests");
        g_IniPath = testsupport::ProgramDirectory() + "scsi_tests.ini";
        g_TracePath = testsupport::ProgramDirectory() + "scsi_trace.log";
        s_pApp->m_pszProfileName = g_IniPath.c_str();
    }
    DeleteFileA(g_IniPath.c_str());
    g_UserAbort = 0;
    g_Pings = 0;
    m_bus.AddHost(CSimHostInfo());
    m_pDevice = AddDevice(0, 0, kTarget);
    m_pDevice->SetInquiryImage(CVirtualTarget::MakeInquiryImage(6, "ZELK", "FLATBED 600", "2.09"));
    m_connection.emplace(m_bus);
    ASSERT_TRUE(m_connection->IsConnected());
    m_pTrace = new CTraceLog(CString(g_TracePath.c_str()));
    g_pTraceLog = m_pTrace;
    m_window = CreateUserWindow();
    m_bus.SetAbortHook([this] { PostAbort(); });
}

void ScsiBench::TearDown()
{
    m_channel.reset();
    delete m_pTransport;
    m_pTransport = nullptr;
    m_connection.reset();
    g_pTraceLog = nullptr;
    delete m_pTrace;
    DestroyWindow(m_window);
    g_UserAbort = 0;
}

DWORD ScsiBench::LastPostThread() const
{
    auto proc = m_connection->ManagerEntry<SimLastPostThreadProc>(SIM_LAST_POST_THREAD);
    return proc != nullptr ? proc() : 0;
}

int ScsiBench::HeldRequests() const
{
    auto proc = m_connection->ManagerEntry<SimHeldRequestsProc>(SIM_HELD_REQUESTS);
    return proc != nullptr ? proc() : -1;
}

int ScsiBench::Pings() { return g_Pings; }

CVirtualTarget* ScsiBench::AddDevice(int host, int bus, int target)
{
    CSimAddress address;
    address.host = host;
    address.bus = bus;
    address.target = target;
    return m_bus.Attach(address, std::make_unique<CVirtualTarget>());
}

CScsiTransport* ScsiBench::OpenTransport(ScsiDriverId id, uint8_t target)
{
    m_pTransport = BuildTransport(id);
    EXPECT_EQ(m_pTransport->Open(), kMsgScsiOpened);
    m_pTransport->SelectAdapter(0);
    m_pTransport->SetBus(0);
    m_pTransport->SelectTarget(target);
    m_channel = std::make_unique<CScsiChannel>(m_pTransport, ChannelKindOf(id));
    return m_pTransport;
}

void ScsiBench::SetIni(const char* section, const char* key, const char* value)
{
    AfxGetApp()->WriteProfileString(section, key, value);
}

std::vector<std::string> ScsiBench::TraceLines() const
{
    std::vector<std::string> lines;
    std::ifstream file(g_TracePath);
    std::string line;
    while (std::getline(file, line))
        lines.push_back(line);
    return lines;
}
