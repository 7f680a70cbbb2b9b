#include "tests/drivers/support/DriverBench.h"

#include "core/devices/DeviceSearch.h"
#include "core/driver/ScannerDriver.h"
#include "core/scsi/TransportFactory.h"
#include "framework/App.h"
#include "sim/SimOptions.h"
#include "tests/support/Screenshot.h"

#include <algorithm>
#include <cstdlib>

CWinApp* DriverBench::s_pApp = nullptr;

namespace {

std::string g_IniPath;

}  // namespace

std::vector<CSimLogEntry> EntriesWithOpcode(const CVirtualTarget& target, uint8_t opcode)
{
    std::vector<CSimLogEntry> found;
    for (const CSimLogEntry& entry : target.Log()) {
        if (!entry.cdb.empty() && entry.cdb[0] == opcode)
            found.push_back(entry);
    }
    return found;
}

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

void DriverBench::ConnectDevice(CreateDeviceFn create, const CDeviceOptions& options, ScsiDriverId id)
{
    m_Settings = CScanSettings();
    CSimOptions simOptions;
    for (const auto& option : options)
        simOptions.Set(option.first, option.second);
    Connect(create(simOptions), id);
}

void DriverBench::InstallDriver(CScannerDriver& driver)
{
    g_pScannerDriver = &driver;
    driver.InitCapabilities();
    driver.SetDefaultSettings(&m_Settings);
}

void DriverBench::Select(int32_t type, int32_t resolution, int32_t left, int32_t top, int32_t width, int32_t height)
{
    m_Settings.SetParam(kParamImageType, type);
    m_Settings.SetParam(kParamResolution, resolution);
    m_Settings.SetParam(kParamSelLeft, left);
    m_Settings.SetParam(kParamSelTop, top);
    m_Settings.SetParam(kParamSelRight, left + width);
    m_Settings.SetParam(kParamSelBottom, top + height);
    // The line-art threshold of a new settings record: the chart's own line art splits there too.
    m_Settings.SetParamAllTypes(kParamThreshold, 50);
}

std::vector<CSimLogEntry> DriverBench::Commands(std::initializer_list<uint8_t> opcodes) const
{
    std::vector<CSimLogEntry> found;
    for (const CSimLogEntry& entry : m_pTarget->Log()) {
        if (!entry.cdb.empty() && std::find(opcodes.begin(), opcodes.end(), entry.cdb[0]) != opcodes.end())
            found.push_back(entry);
    }
    return found;
}

uint16_t DriverBench::StartScan(CScannerDriver& driver)
{
    uint16_t (*steps[])(CScannerDriver&, CScanSettings&) = {
        [](CScannerDriver& d, CScanSettings&) { return d.ReserveDevice(); },
        [](CScannerDriver& d, CScanSettings&) { return d.UpdateScanGeometry(); },
        [](CScannerDriver& d, CScanSettings&) { return d.SendLookupTables(); },
        [](CScannerDriver& d, CScanSettings& s) { return d.SetScanParameters(&s); },
        [](CScannerDriver& d, CScanSettings&) { return d.PrepareScan(); },
        [](CScannerDriver& d, CScanSettings&) { return d.StartScanCommand(0); },
    };
    for (auto step : steps) {
        uint16_t result = step(driver, m_Settings);
        if (result != kDriverOk)
            return result;
    }
    return kDriverOk;
}

CBenchImage DriverBench::ScanFromReserve(CScannerDriver& driver)
{
    CBenchImage image;
    image.status = StartScan(driver);
    if (image.status == kDriverOk)
        image = ReadImage(driver);
    driver.StopScan(0);
    return image;
}

CBenchImage DriverBench::ReadImage(CScannerDriver& driver)
{
    CBenchImage image;
    image.bytesPerLine = m_Settings.GetBytesPerLine();
    uint32_t lineSize = driver.GetLineOverhead() + image.bytesPerLine;
    uint32_t perTransfer = std::max<uint32_t>(driver.GetTransferSize() / lineSize, 1);
    std::vector<uint8_t> buffer(std::max<size_t>(driver.GetTransferSize(), size_t(perTransfer) * lineSize));
    uint32_t total = m_Settings.GetLineCount();
    while (image.lines < total) {
        uint32_t n = std::min(perTransfer, total - image.lines);
        uint32_t delivered = 0;
        for (int round = 0; round < 30 && delivered == 0; ++round) {
            image.status = driver.ReadData(buffer.data(), 0, uint16_t(n), uint16_t(image.bytesPerLine));
            if (image.status != kDriverOk)
                return image;
            delivered = driver.PostProcessLines(buffer.data(), n, &m_Settings, &image.postStatus);
            if (image.postStatus != 0)
                return image;
        }
        if (delivered == 0)
            break;
        image.bytes.insert(image.bytes.end(), buffer.begin(), buffer.begin() + delivered * image.bytesPerLine);
        image.lines += delivered;
    }
    return image;
}

std::vector<uint8_t> LineArtOfLight(const std::vector<uint8_t>& light, uint32_t pixels, uint32_t lines,
                                    uint32_t bytesPerLine, int threshold)
{
    std::vector<uint8_t> bits(size_t(bytesPerLine) * lines, 0);
    for (uint32_t y = 0; y < lines; ++y)
        for (uint32_t x = 0; x < pixels; ++x)
            if (light[size_t(y) * pixels + x] < threshold)
                bits[size_t(y) * bytesPerLine + x / 8] |= uint8_t(0x80 >> (x % 8));
    return bits;
}

size_t CountBeyondOneLevel(const std::vector<uint8_t>& expected, const std::vector<uint8_t>& image)
{
    size_t count = 0;
    for (size_t i = 0; i < expected.size() && i < image.size(); ++i)
        count += std::abs(int(expected[i]) - int(image[i])) > 1 ? 1 : 0;
    return count;
}
