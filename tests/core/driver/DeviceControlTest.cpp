// The base's device operations against a virtual scanner, through both transports.

#include "core/scsi/ScsiChannel.h"
#include "core/scsi/TransportFactory.h"
#include "core/util/Clock.h"
#include "sim/VirtualBus.h"
#include "tests/core/driver/DriverTestSupport.h"
#include "tests/support/SimBusConnection.h"

#include <algorithm>
#include <optional>
#include <string>

namespace {

constexpr int kTarget = 3;

// Takes the SCAN and OBJECT POSITION commands that the generic device refuses.
class CScanningTarget : public CVirtualTarget {
protected:
    void OnUnknown(const CSimCdb& cdb, CSimTransfer& io, CSimReply& reply) override
    {
        if (cdb.Opcode() == 0x1B || cdb.Opcode() == 0x31)
            return;
        CVirtualTarget::OnUnknown(cdb, io, reply);
    }
};

class DeviceControlTest : public DriverFixture, public ::testing::WithParamInterface<ScsiDriverId> {
protected:
    void SetUp() override
    {
        DriverFixture::SetUp();
        g_UserAbort = 0;
        m_bus.AddHost(CSimHostInfo());
        CSimAddress address;
        address.target = kTarget;
        m_pDevice = m_bus.Attach(address, std::make_unique<CScanningTarget>());
        m_pDevice->SetInquiryImage(CVirtualTarget::MakeInquiryImage(6, "ZELK", "FLATBED 600", "2.09"));
        m_connection.emplace(m_bus);
        ASSERT_TRUE(m_connection->IsConnected());
        m_pTransport = BuildTransport(GetParam());
        ASSERT_EQ(kMsgScsiOpened, m_pTransport->Open());
        m_pTransport->SelectAdapter(0);
        m_pTransport->SetBus(0);
        m_pTransport->SelectTarget(kTarget);
        m_pChannel = std::make_unique<CScsiChannel>(m_pTransport, ChannelKindOf(GetParam()));
        g_pScsiChannel = m_pChannel.get();
    }
    void TearDown() override
    {
        g_pScsiChannel = nullptr;
        m_pChannel.reset();
        delete m_pTransport;
        m_connection.reset();
        g_UserAbort = 0;
        DriverFixture::TearDown();
    }
    size_t Count(uint8_t opcode) const
    {
        std::vector<CSimLogEntry> log = m_pDevice->Log();
        return (size_t)std::count_if(log.begin(), log.end(), [&](const CSimLogEntry& e) { return e.cdb[0] == opcode; });
    }
    void Fault(SimFaultKind kind, int opcode, int count, uint8_t key = 0, uint32_t ms = 0)
    {
        CSimFault fault;
        fault.kind = kind;
        fault.opcode = opcode;
        fault.count = count;
        fault.sense.key = key;
        fault.ms = ms;
        m_pDevice->AddFault(fault);
    }

    CVirtualBus m_bus;
    CVirtualTarget* m_pDevice = nullptr;
    CScsiTransport* m_pTransport = nullptr;
    std::unique_ptr<CScsiChannel> m_pChannel;
    std::optional<CSimBusConnection> m_connection;
};

std::string TransportName(const ::testing::TestParamInfo<ScsiDriverId>& info)
{
    return info.param == kScsiDriverAspi32 ? "Aspi" : "NtPassThrough";
}

}  // namespace

TEST_P(DeviceControlTest, WaitReadyRetriesBusyUntilReady)
{
    m_pDevice->SetTestUnitReadyScript({{TurStep::Busy, 3}, {TurStep::Ready, 1}});
    EXPECT_EQ(kDriverOk, m_pDriver->WaitReady(5000));
    EXPECT_EQ(4u, Count(0x00));
    EXPECT_TRUE(m_Reports.Ids().empty());
}

TEST_P(DeviceControlTest, SenseKeysBecomeMessagesAndCodes)
{
    struct Case {
        uint8_t key;
        uint16_t result;
        int message;
    };
    const Case kCases[] = {
        {3, kDriverFailed, 0},
        {4, kDriverAborted, 3341},
        {5, kDriverFailed, 0},
        {2, kDriverAborted, 3340},
        {11, kDriverAborted, 3340},
    };
    for (const Case& c : kCases) {
        m_Reports.Clear();
        m_pDevice->ClearFaults();
        Fault(SimFaultKind::Check, 0x00, 0, c.key);
        EXPECT_EQ(c.result, m_pDriver->WaitReady(2000)) << "sense key " << (int)c.key;
        EXPECT_EQ(c.message == 0 ? std::vector<int> {} : std::vector<int> {c.message}, m_Reports.Ids())
            << "sense key " << (int)c.key;
    }
}

TEST_P(DeviceControlTest, UnitAttentionRepeatsTheCommandOnce)
{
    // After a reset the device tells of it once; the command itself did not run.
    Fault(SimFaultKind::Check, 0x00, 1, 6);
    EXPECT_EQ(kDriverOk, m_pDriver->WaitReady(2000));
    EXPECT_EQ(2u, Count(0x00));
    EXPECT_TRUE(m_Reports.Ids().empty());

    Fault(SimFaultKind::Check, 0x16, 1, 6);
    EXPECT_EQ(kDriverOk, m_pDriver->ReserveDevice());
    EXPECT_EQ(2u, Count(0x16));
    EXPECT_TRUE(m_pDevice->IsReservedByHost());

    // A device that keeps answering UNIT ATTENTION never ran the command: a reported failure.
    m_pDevice->ClearLog();
    Fault(SimFaultKind::Check, 0x1B, 0, 6);
    EXPECT_EQ(kDriverAborted, m_pDriver->StartScanCommand(0));
    EXPECT_EQ(2u, Count(0x1B));
    EXPECT_EQ(std::vector<int> {3347}, m_Reports.Ids());
}

using HandleSenseTest = DriverFixture;

TEST_F(HandleSenseTest, OnlyCurrentErrorsAreRead)
{
    uint8_t sense[18] = {0xF0, 0, 6};  // valid bit set: still a current error
    EXPECT_EQ(kDriverAborted, m_pDriver->HandleSense(sense));
    sense[0] = 0x71;  // a deferred error
    sense[2] = 4;
    EXPECT_EQ(kDriverFailed, m_pDriver->HandleSense(sense));
    EXPECT_EQ(std::vector<int> {3347}, m_Reports.Ids());
}

TEST_P(DeviceControlTest, ScanReadAndUnloadCommands)
{
    m_pDriver->m_nLinesRead = 9;
    EXPECT_EQ(kDriverOk, m_pDriver->StartScanCommand(0x81));
    EXPECT_EQ(0u, m_pDriver->m_nLinesRead);
    std::vector<CSimLogEntry> log = m_pDevice->Log();
    ASSERT_EQ(2u, log.size());
    EXPECT_EQ("00 00 00 00 00 00", log[0].CdbText());
    EXPECT_EQ("1b 00 00 00 01 00", log[1].CdbText());
    EXPECT_EQ(std::vector<uint8_t> {0x81}, log[1].dataOut);

    std::vector<uint8_t> lines(3 * 40);
    for (size_t i = 0; i < lines.size(); ++i)
        lines[i] = (uint8_t)i;
    m_pDevice->SetReadData(0, 0x81, lines);
    std::vector<uint8_t> buffer(lines.size());
    EXPECT_EQ(kDriverOk, m_pDriver->ReadData(buffer.data(), 0x81, 3, 40));
    EXPECT_EQ(lines, buffer);
    EXPECT_EQ(3u, m_pDriver->m_nLinesRead);
    EXPECT_EQ("28 00 00 00 00 81 00 00 78 00", m_pDevice->Log().back().CdbText());
    EXPECT_EQ(kDriverOk, m_pDriver->ReadData(buffer.data(), 0x81, 0, 40));
    EXPECT_EQ("28 00 00 00 00 81 00 00 00 00", m_pDevice->Log().back().CdbText());
    EXPECT_EQ(3u, m_pDriver->m_nLinesRead);
    // A CHECK CONDITION of a read goes back to the caller as it came.
    EXPECT_EQ(kScsiCheckCondition, m_pDriver->ReadData(buffer.data(), 0x82, 1, 40) & 0xFF);
    EXPECT_TRUE(m_Reports.Ids().empty());

    EXPECT_EQ(kDriverOk, m_pDriver->UnloadOriginal());
    EXPECT_EQ(0x31, m_pDevice->Log().back().cdb[0]);
}

TEST_P(DeviceControlTest, UserAbortEndsTheWait)
{
    m_bus.SetAbortHook([] { g_UserAbort = 1; });
    Fault(SimFaultKind::Abort, 0x00, 1);
    Fault(SimFaultKind::BusyFor, 0x00, 0, 0, 60000);
    uint32_t start = MillisecondClock();
    EXPECT_EQ(kDriverAborted, m_pDriver->WaitReady(60000));
    EXPECT_LT(ClockElapsed(start), 2000u);
}

namespace {

// Answers every command with one result, as a transport that gives BUSY and selection time-outs
// straight back instead of retrying them itself.
class CFixedResultTransport : public CScsiTransport {
public:
    TransportResult Exec6(const uint8_t*, int, CScsiBuffer&) override
    {
        ++m_nCommands;
        return m_nResult;
    }
    TransportResult m_nResult = kScsiBusy;
    int m_nCommands = 0;
};

class WaitReadyLoopTest : public DriverFixture {
protected:
    void SetUp() override
    {
        DriverFixture::SetUp();
        g_pScsiChannel = &m_Channel;
    }
    void TearDown() override
    {
        g_pScsiChannel = nullptr;
        DriverFixture::TearDown();
    }
    CFixedResultTransport m_Transport;
    CScsiChannel m_Channel {&m_Transport, kScsiChannelNone};
};

}  // namespace

TEST_F(WaitReadyLoopTest, BusyAndSelectionTimeoutsWaitUntilTheDeadline)
{
    for (TransportResult result : {TransportResult(kScsiBusy), TransportResult(0x1100)}) {
        m_Transport.m_nResult = result;
        m_Transport.m_nCommands = 0;
        uint32_t start = MillisecondClock();
        EXPECT_EQ(kDriverFailed, m_pDriver->WaitReady(600)) << result;
        uint32_t elapsed = ClockElapsed(start);
        EXPECT_GE(elapsed, 600u);
        EXPECT_LT(elapsed, 2000u);
        // One TEST UNIT READY about every 100 ms.
        EXPECT_GE(m_Transport.m_nCommands, 5) << result;
        EXPECT_LE(m_Transport.m_nCommands, 8) << result;
    }
    EXPECT_TRUE(m_Reports.Ids().empty()) << "the time-out is the caller's to report";
}

TEST_F(WaitReadyLoopTest, OtherAnswersEndTheWaitAtOnce)
{
    struct Case {
        TransportResult answer;
        uint16_t result;
    };
    const Case kCases[] = {
        {0x0400, kDriverFailed},  // another host adapter status
        {kScsiTimeout, kDriverFailed},
        {0x18, kDriverFailed},  // reservation conflict
        {kScsiUserAbort, kDriverAborted},
        {kScsiFailed, kDriverFailed},
    };
    for (const Case& c : kCases) {
        m_Transport.m_nResult = c.answer;
        m_Transport.m_nCommands = 0;
        EXPECT_EQ(c.result, m_pDriver->WaitReady(5000)) << c.answer;
        EXPECT_EQ(1, m_Transport.m_nCommands) << c.answer;
    }
}

INSTANTIATE_TEST_SUITE_P(
    BothTransports, DeviceControlTest, ::testing::Values(kScsiDriverAspi32, kScsiDriverNtScsi), TransportName);
