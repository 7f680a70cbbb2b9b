#include "core/scsi/ScsiTransport.h"

#include <algorithm>

#include "core/messages/TraceLog.h"
#include "core/scsi/ScsiBuffer.h"
#include "framework/App.h"

volatile int32_t g_UserAbort = 0;

namespace {

struct COpcodeName {
    uint8_t opcode;
    const char* name;
};

const COpcodeName kScsiOpcodeNames[] = {
    {0x00, "Test unit ready"},
    {0x03, "Request sense"},
    {0x04, "Define window parameters"},
    {0x24, "Define window parameters"},
    {0x08, "Read"},
    {0x28, "Read"},
    {0x0C, "Download calibration data"},
    {0x0F, "Get Data Buffer Status"},
    {0x34, "Get Data Buffer Status"},
    {0x10, "Set Accessory"},
    {0x11, "Start sampling shading data"},
    {0x12, "Inquiry"},
    {0x15, "Mode Select command"},
    {0x16, "Reserve Unit / Mode select1"},
    {0x17, "Release Unit"},
    {0x19, "Mode Sense1 command"},
    {0x1A, "Mode Sense command"},
    {0x1B, "Scan"},
    {0x1C, "Receive diagnostic results"},
    {0x1D, "Send diagnostic"},
    {0x25, "Get Window Parameters"},
    {0x2A, "Write"},
    {0x31, "Medium Position"},
    {0x55, "Lookup Table Down Load"},
    {0xC0, "Write data to bitmap buffer"},
    {0xC1, "Read data from bitmap buffer"},
    {0xCC, "Write string (compatibility mode)"},
    {0xCD, "Read string (compatibility mode)"},
};

}  // namespace

CScsiTransport::CScsiTransport()
{
    m_logScsi = int32_t(AfxGetApp()->GetProfileInt("General", "LogSCSI", 0));
}

CScsiTransport::~CScsiTransport() = default;

uint16_t CScsiTransport::Open()
{
    return kMsgScsiOpened;
}

void CScsiTransport::Close(HANDLE) {}

int CScsiTransport::GetBusCount()
{
    return 1;
}

uint32_t CScsiTransport::GetMaxTransfer()
{
    int kilobytes = int(AfxGetApp()->GetProfileInt("General", "ScanBuffer", 0));
    return kilobytes > 0 ? LimitByScanBuffer(UINT32_MAX) : m_maxTransfer;
}

int CScsiTransport::ReservedOperation1()
{
    return 1;
}

int CScsiTransport::ReservedOperation2()
{
    return 1;
}

bool CScsiTransport::SupportsAsync()
{
    return false;
}

TransportResult CScsiTransport::FinishAsync()
{
    return kScsiGood;
}

TransportResult CScsiTransport::Exec10(const uint8_t*, int, CScsiBuffer&)
{
    return kScsiFailed;
}

TransportResult CScsiTransport::Exec6(const uint8_t*, int, CScsiBuffer&)
{
    return kScsiFailed;
}

TransportResult CScsiTransport::StartAsync10(const uint8_t*, int, CScsiBuffer&)
{
    return kScsiFailed;
}

TransportResult CScsiTransport::StartAsync6(const uint8_t*, int, CScsiBuffer&)
{
    return kScsiFailed;
}

void CScsiTransport::SelectAdapter(uint8_t adapter)
{
    m_adapter = adapter;
}

void CScsiTransport::SetBus(uint8_t bus)
{
    m_bus = bus;
}

void CScsiTransport::SetLun(uint8_t lun)
{
    m_lun = lun;
}

void CScsiTransport::SelectTarget(uint8_t target)
{
    m_target = target;
}

void CScsiTransport::SetTimeout(uint32_t milliseconds)
{
    m_timeout = milliseconds;
}

void CScsiTransport::SetSenseLength(int bytes)
{
    // Both request blocks have room for 32 sense bytes; a larger count would let the manager or
    // the port write past them.
    m_senseLength = uint8_t(std::clamp<int>(bytes, 0, int(kScsiSenseAreaUsed)));
}

uint8_t CScsiTransport::GetAdapter()
{
    return m_adapter;
}

uint8_t CScsiTransport::GetBus()
{
    return m_bus;
}

uint8_t CScsiTransport::GetLun()
{
    return m_lun;
}

uint8_t CScsiTransport::GetTarget()
{
    return m_target;
}

uint8_t CScsiTransport::GetAdapterCount()
{
    return m_adapterCount;
}

uint8_t CScsiTransport::GetTargetCount()
{
    return 8;
}

bool CScsiTransport::IsSparrowAdapter()
{
    return false;
}

void CScsiTransport::SetRetry(bool retry)
{
    m_retry = retry ? 1 : 0;
}

const char* CScsiTransport::GetAdapterName()
{
    return "SCSIDriver";
}

uint32_t CScsiTransport::LimitByScanBuffer(uint32_t limit)
{
    int kilobytes = int(AfxGetApp()->GetProfileInt("General", "ScanBuffer", 0));
    if (kilobytes <= 0)
        return limit;
    uint64_t bytes = uint64_t(kilobytes) * 1024;
    return bytes < limit ? uint32_t(bytes) : limit;
}

bool CScsiTransport::IsDataMissing(CScsiBuffer& data)
{
    return data.GetLength() != 0 && data.GetData() == nullptr;
}

const char* CScsiTransport::OpcodeName(uint8_t opcode)
{
    for (const COpcodeName& entry : kScsiOpcodeNames) {
        if (entry.opcode == opcode)
            return entry.name;
    }
    return "Unknown";
}

void CScsiTransport::LogScsiStatus(uint8_t opcode, TransportResult result)
{
    if (g_pTraceLog == nullptr)
        return;
    g_pTraceLog->Printf("SCSI %s, Status %04x, Host %02x, Target %02x", OpcodeName(opcode),
                        unsigned(result), unsigned(result >> 8), unsigned(result & 0xFF));
}

void CScsiTransport::LogCdb(const uint8_t* cdb, int length, TransportResult result)
{
    if (!m_logScsi || g_pTraceLog == nullptr)
        return;
    LogScsiStatus(cdb[0], result);
    if (length == 6) {
        g_pTraceLog->Printf("CDB %02x %02x %02x %02x %02x %02x", cdb[0], cdb[1], cdb[2], cdb[3],
                            cdb[4], cdb[5]);
    } else if (length == 10) {
        g_pTraceLog->Printf("CDB %02x %02x %02x %02x %02x %02x %02x %02x %02x %02x", cdb[0], cdb[1],
                            cdb[2], cdb[3], cdb[4], cdb[5], cdb[6], cdb[7], cdb[8], cdb[9]);
    }
}
