#include <cstring>
#include <fstream>

#include "core/scsi/AspiTransport.h"
#include "core/scsi/LibraryHolder.h"
#include "core/scsi/ScsiBuffer.h"
#include "core/util/Clock.h"
#include "framework/App.h"
#include "tests/core/scsi/ScsiBench.h"
#include "tests/support/Screenshot.h"

namespace {

using AspiTest = ScsiBench;

void NameHost(CSimHostInfo& host, const char* name)
{
    std::memset(host.name, 0, sizeof host.name);
    std::strncpy(host.name, name, sizeof host.name - 1);
}

TEST_F(AspiTest, OpenCountsTheManagersAdapters)
{
    m_bus.AddHost(CSimHostInfo());
    OpenTransport(kScsiDriverAspi32);
    EXPECT_EQ(m_pTransport->GetAdapterCount(), 2);
    std::vector<std::string> lines = TraceLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Winaspi 32 SCSI driver installed"), lines.end());
}

TEST_F(AspiTest, ManagerNotReady)
{
    m_bus.SetManagerReady(false);
    CAspiTransport transport;
    EXPECT_EQ(transport.Open(), kMsgAspiNotReady);
    std::vector<std::string> lines = TraceLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "ASPI manager initialization failed"), lines.end());
}

TEST_F(AspiTest, UnopenedTransportRefusesCommands)
{
    CAspiTransport transport;
    CScsiFixedBuffer<6> block;
    const uint8_t tur[6] = {};
    EXPECT_EQ(transport.Exec6(tur, 0, block), kScsiFailed);
    EXPECT_EQ(transport.StartAsync6(tur, 0, block), kScsiFailed);
    EXPECT_EQ(transport.FinishAsync(), kScsiGood);
}

TEST_F(AspiTest, TransportDeletedDuringAReadLeavesNothingPending)
{
    CSimFault hang;
    hang.kind = SimFaultKind::Hang;
    hang.opcode = 0x28;
    Device().AddFault(hang);
    {
        CScsiByteBuffer block(16);
        OpenTransport(kScsiDriverAspi32);
        ASSERT_EQ(Channel().Read10(block, 16, 0, 0, false, 3000, 32), kScsiGood);
        m_channel.reset();
        delete m_pTransport;
        m_pTransport = nullptr;
    }
    OpenTransport(kScsiDriverAspi32);
    CScsiFixedBuffer<6> tur;
    EXPECT_EQ(Channel().TestUnitReady(tur, 3000, 32), kScsiGood);
}

TEST_F(AspiTest, MissingLibraryReportsItsLoadError)
{
    CLibraryHolder holder("NOSUCHASPI.DLL");
    EXPECT_NE(holder.GetError(), 0xFFFFu);
    EXPECT_NE(holder.GetError(), 0u);
    EXPECT_EQ(holder.GetEntry("SendASPI32Command"), nullptr);
}

TEST_F(AspiTest, AdapterInquiryDecidesTargetsAndOverlap)
{
    struct Case {
        const char* name;
        int targets;
        bool extended;
        int expectedTargets;
        bool sparrow;
    };
    const Case cases[] = {
        {"AHA-2940", 8, true, 8, false},
        {"AHA-2940W", 16, true, 16, false},
        {"ULTRA WIDE", 32, true, 32, false},
        {"NO EXTENSION", 32, false, 8, false},
        {"AIC SPARROW 2", 8, true, 8, true},
        {"Sparrow", 16, true, 16, true},
    };
    SetIni("BlackList", "1", "NOTHING-LIKE-IT");
    for (const Case& c : cases) {
        CSimHostInfo& host = *m_bus.Host(0);
        NameHost(host, c.name);
        host.targets = c.targets;
        host.extendedInquiry = c.extended;
        CAspiTransport transport;
        ASSERT_EQ(transport.Open(), kMsgScsiOpened);
        transport.SelectAdapter(0);
        EXPECT_EQ(transport.GetTargetCount(), c.expectedTargets) << c.name;
        EXPECT_EQ(transport.IsSparrowAdapter(), c.sparrow) << c.name;
        EXPECT_EQ(transport.SupportsAsync(), !c.sparrow) << c.name;
        EXPECT_STREQ(transport.GetAdapterName(), c.name);
    }
}

TEST_F(AspiTest, EmptyBlackListIsSeededAndHidesThatAdapter)
{
    NameHost(*m_bus.Host(0), "esdi_506 ctrl");
    CAspiTransport transport;
    ASSERT_EQ(transport.Open(), kMsgScsiOpened);
    transport.SelectAdapter(0);
    EXPECT_EQ(transport.GetTargetCount(), 0);
    EXPECT_EQ(AfxGetApp()->GetProfileString("BlackList", "1", ""), CString("ESDI_506"));
    std::vector<std::string> lines = TraceLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Host adapter: esdi_506 ctrl, NumTargets 0"), lines.end());
}

TEST_F(AspiTest, BlackListFragmentsAreMatchedInAnyCase)
{
    SetIni("BlackList", "1", "FOO");
    SetIni("BlackList", "2", "bar card");
    SetIni("BlackList", "4", "AHA");  // after a gap: not read
    const struct {
        const char* identifier;
        int listed;
    } cases[] = {{"MY BAR CARD 2", 1}, {"foo", 1}, {"AHA-2940", 0}, {"", 0}};
    for (const auto& c : cases)
        EXPECT_EQ(CAspiTransport::CheckAdapterBlackList(c.identifier), c.listed) << c.identifier;
}

TEST_F(AspiTest, ScanBufferLimitsTheTransfer)
{
    const struct {
        const char* scanBuffer;
        uint32_t expected;
    } cases[] = {{"16", 16384}, {"0", 61440}, {"32", 32768}, {"100", 61440}, {"-4", 61440}};
    for (const auto& c : cases) {
        SetIni("General", "ScanBuffer", c.scanBuffer);
        CAspiTransport transport;
        EXPECT_EQ(transport.GetMaxTransfer(), c.expected) << c.scanBuffer;
    }
    // The base transport has no limit of its own: ScanBuffer alone, else 0.
    SetIni("General", "ScanBuffer", "16");
    EXPECT_EQ(CScsiTransport().GetMaxTransfer(), 16384u);
    SetIni("General", "ScanBuffer", "0");
    EXPECT_EQ(CScsiTransport().GetMaxTransfer(), 0u);
}

TEST_F(AspiTest, PostRoutineRunsOnTheManagersThread)
{
    OpenTransport(kScsiDriverAspi32);
    CScsiFixedBuffer<6> block;
    EXPECT_EQ(Channel().TestUnitReady(block, 5000, 32), kScsiGood);
    EXPECT_NE(LastPostThread(), 0u);
    EXPECT_NE(LastPostThread(), GetCurrentThreadId());
}

TEST_F(AspiTest, ImmediateCompletionIsNotWaitedFor)
{
    m_bus.Host(0)->immediate = true;
    OpenTransport(kScsiDriverAspi32);
    Device().SetReadData(0, 0, {7, 7, 7, 7});
    CScsiByteBuffer block(4);
    uint32_t start = MillisecondClock();
    EXPECT_EQ(Channel().Read10(block, 4, 0, 0, true, 3000, 32), kScsiGood);
    ASSERT_EQ(Channel().Read10(block, 4, 0, 0, false, 3000, 32), kScsiGood);
    EXPECT_EQ(m_pTransport->FinishAsync(), kScsiGood);
    EXPECT_LT(ClockElapsed(start), 2500u) << "not a whole time-out";
    EXPECT_EQ(block.GetData()[3], 7);
}

TEST_F(AspiTest, OverlappedCheckConditionBringsItsSense)
{
    OpenTransport(kScsiDriverAspi32);
    CSimFault fault;
    fault.kind = SimFaultKind::Check;
    fault.sense = CSimSense {0x04, 0x44, 0x00};
    Device().AddFault(fault);
    CScsiByteBuffer block(4);
    ASSERT_EQ(Channel().Read10(block, 4, 0, 0, false, 3000, 32), kScsiGood);
    EXPECT_EQ(m_pTransport->FinishAsync(), kScsiCheckCondition);
    EXPECT_EQ(block.m_sense[2], 0x04);
    EXPECT_EQ(block.m_sense[12], 0x44);
}

TEST_F(AspiTest, LateCompletionDoesNotEndTheNextWait)
{
    // The manager finishes the first request at 700 ms, long after its 300 ms time-out, while
    // the second one (done at 1100 ms) is being waited for.
    OpenTransport(kScsiDriverAspi32);
    CSimFault slow;
    slow.kind = SimFaultKind::Delay;
    slow.opcode = 0x00;
    slow.ms = 700;
    Device().AddFault(slow);
    slow.opcode = 0x28;
    slow.ms = 400;
    Device().AddFault(slow);
    Device().SetReadData(0, 0, {5, 6, 7, 8});
    CScsiFixedBuffer<6> tur;
    EXPECT_EQ(Channel().TestUnitReady(tur, 300, 32), kScsiTimeout);
    CScsiByteBuffer data(4);
    EXPECT_EQ(Channel().Read10(data, 4, 0, 0, true, 3000, 32), kScsiGood);
    EXPECT_EQ(data.GetData()[3], 8);
}

TEST_F(AspiTest, RequestThatNeverCompletesTimesOutAndIsReleasedSafely)
{
    OpenTransport(kScsiDriverAspi32);
    CSimFault hang;
    hang.kind = SimFaultKind::Hang;
    hang.opcode = 0x00;
    Device().AddFault(hang);
    CScsiFixedBuffer<6> block;
    uint32_t start = MillisecondClock();
    EXPECT_EQ(Channel().TestUnitReady(block, 400, 32), kScsiTimeout);
    EXPECT_GE(ClockElapsed(start), 390u);
    // The manager completes the abandoned request late; that must not end the next wait early.
    Device().AddFault([] {
        CSimFault delay;
        delay.kind = SimFaultKind::Delay;
        delay.ms = 300;
        return delay;
    }());
    Device().SetReadData(0, 0, {1, 2, 3, 4});
    CScsiByteBuffer data(4);
    EXPECT_EQ(Channel().Read10(data, 4, 0, 0, true, 3000, 32), kScsiGood);
    EXPECT_EQ(data.GetData()[3], 4);
    EXPECT_EQ(HeldRequests(), 0);
}

}  // namespace

namespace {

TEST_F(AspiTest, ManagerReadsTheBusDescriptionNamedByTheEnvironment)
{
    std::string path = testsupport::ProgramDirectory() + "scsi_bus_description.txt";
    {
        std::ofstream file(path);
        file << "host 0 name=\"DEMO PORT\"\n"
                "host 1\n"
                "device 1 0 6 vendor=\"DEMO\" product=\"FILE SCANNER\"\n";
    }
    SetEnvironmentVariableA("BRELVANE_SIMBUS", path.c_str());
    m_connection->AttachToManager(nullptr);
    CAspiTransport transport;
    EXPECT_EQ(transport.Open(), kMsgScsiOpened);
    EXPECT_EQ(transport.GetAdapterCount(), 2);
    transport.SelectAdapter(1);
    transport.SelectTarget(6);
    CScsiChannel channel(&transport, kScsiChannelAspi32);
    CScsiInquiryBuffer inquiry;
    EXPECT_EQ(channel.Inquiry(inquiry, 1000, 32), kScsiGood);
    EXPECT_EQ(inquiry.GetProduct(), CString("FILE SCANNER    "));
    SetEnvironmentVariableA("BRELVANE_SIMBUS", nullptr);
    m_connection->AttachToManager(nullptr);
}

}  // namespace
