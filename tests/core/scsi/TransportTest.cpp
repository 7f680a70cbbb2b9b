#include <cstring>

#include "core/scsi/ScsiBuffer.h"
#include "core/util/Clock.h"
#include "sim/TestChart.h"
#include "tests/core/scsi/ScsiBench.h"

namespace {

CSimFault Fault(SimFaultKind kind, int opcode = -1, int count = 1)
{
    CSimFault fault;
    fault.kind = kind;
    fault.opcode = opcode;
    fault.count = count;
    return fault;
}

std::vector<uint8_t> ChartBytes()
{
    CChartWindow w;
    w.top = 2.5;
    w.pixelsPerLine = 200;
    w.lines = 20;
    w.channels = 3;
    return CTestChart::Render(w);
}

using TransportTest = TransportBench;

TEST_P(TransportTest, EmptyTargetAnswersNoDevice)
{
    m_pTransport->SelectTarget(5);
    CScsiInquiryBuffer block;
    EXPECT_EQ(Channel().Inquiry(block, 1000, kSense), kScsiNoDevice);
}

TEST_P(TransportTest, EmptyTargetWithRetryRunsToTheTimeOut)
{
    m_pTransport->SelectTarget(5);
    m_pTransport->SetRetry(true);
    CScsiFixedBuffer<6> block;
    uint32_t start = MillisecondClock();
    EXPECT_EQ(Channel().TestUnitReady(block, 600, kSense), kScsiTimeout);
    EXPECT_GE(ClockElapsed(start), 590u);
}

TEST_P(TransportTest, BusyIsRetriedUntilItEnds)
{
    Device().AddFault(Fault(SimFaultKind::Busy, 0x00, 2));
    CScsiFixedBuffer<6> block;
    EXPECT_EQ(Channel().TestUnitReady(block, 5000, kSense), kScsiGood);
    EXPECT_EQ(Device().Transcript().size(), 3u);
}

// The repeat after BUSY moves all the data again, out and in.
TEST_P(TransportTest, BusyIsRetriedWithAllItsData)
{
    const std::vector<uint8_t> bytes = ChartBytes();
    Device().AddFault(Fault(SimFaultKind::Busy, 0x2A, 1));
    Device().AddFault(Fault(SimFaultKind::Busy, 0x28, 1));
    Device().SetReadData(0x81, 0, bytes);
    std::vector<uint8_t> sent(bytes);
    CScsiExternalBuffer out(sent.data(), uint32_t(sent.size()));
    EXPECT_EQ(Channel().Send10(out, 0x93, 0, 5000, kSense), kScsiGood);
    EXPECT_EQ(bytes, Device().SentData(0x93, 0));
    std::vector<uint8_t> read(bytes.size(), 0);
    CScsiExternalBuffer in(read.data(), uint32_t(read.size()));
    EXPECT_EQ(Channel().Read10(in, uint32_t(read.size()), 0x81, 0, true, 5000, kSense), kScsiGood);
    EXPECT_EQ(bytes, read);
    EXPECT_EQ(Device().Transcript().size(), 4u);
}

TEST_P(TransportTest, BusyUntilTheDeadlineIsATimeOut)
{
    Device().AddFault(Fault(SimFaultKind::Busy, 0x00, 0));
    CScsiFixedBuffer<6> block;
    uint32_t start = MillisecondClock();
    EXPECT_EQ(Channel().TestUnitReady(block, 700, kSense), kScsiTimeout);
    EXPECT_GE(ClockElapsed(start), 690u);
    EXPECT_GE(Device().Transcript().size(), 2u) << "re-sent every 250 ms";
}

TEST_P(TransportTest, AbortDuringTheWaitEndsWith252)
{
    CSimFault fault = Fault(SimFaultKind::Abort, 0x00, 0);
    Device().AddFault(fault);
    CScsiFixedBuffer<6> block;
    EXPECT_EQ(Channel().TestUnitReady(block, 5000, kSense), kScsiUserAbort);
    EXPECT_EQ(g_UserAbort, 0) << "the wait that saw the flag clears it";
    Device().ClearFaults();
    EXPECT_EQ(Channel().TestUnitReady(block, 5000, kSense), kScsiGood);
}

TEST_P(TransportTest, CheckConditionCopiesTheSenseBytes)
{
    CSimFault fault = Fault(SimFaultKind::Check, 0x00);
    fault.sense = CSimSense{0x03, 0x3B, 0x08};
    Device().AddFault(fault);
    CScsiFixedBuffer<6> block;
    EXPECT_EQ(Channel().TestUnitReady(block, 5000, kSense), kScsiCheckCondition);
    EXPECT_EQ(block.m_sense[0], 0x70);
    EXPECT_EQ(block.m_sense[2], 0x03);
    EXPECT_EQ(block.m_sense[7], 10);
    EXPECT_EQ(block.m_sense[12], 0x3B);
    EXPECT_EQ(block.m_sense[13], 0x08);
}

TEST_P(TransportTest, SenseNeverRunsPastThe32ByteAreas)
{
    CSimFault fault = Fault(SimFaultKind::Check, 0x00);
    fault.rawSense.assign(32, 0x5A);
    Device().AddFault(fault);
    CScsiFixedBuffer<6> block;
    std::memset(block.m_sense, 0xAA, sizeof block.m_sense);
    EXPECT_EQ(Channel().TestUnitReady(block, 5000, 255), kScsiCheckCondition);
    EXPECT_EQ(Device().Log().at(0).senseLength, 32) << "asked the device for no more than fits";
    EXPECT_EQ(block.m_sense[31], 0x5A);
    for (int i = 32; i < 40; ++i)
        EXPECT_EQ(block.m_sense[i], 0xAA) << i;
    Channel().TestUnitReady(block, 5000, 14);
    EXPECT_EQ(Device().Log().at(1).senseLength, 14);
}

TEST_P(TransportTest, ReservationConflictIsPassedOn)
{
    Device().SetForeignReservation(true);
    CScsiFixedBuffer<6> block;
    EXPECT_EQ(Channel().ReserveUnit(block, 5000, kSense), 0x18);
    CScsiInquiryBuffer inquiry;
    EXPECT_EQ(Channel().Inquiry(inquiry, 1000, kSense), kScsiGood);
}

TEST_P(TransportTest, SynchronousAndOverlappedReadsDeliverTheSameData)
{
    std::vector<uint8_t> chart = ChartBytes();
    Device().SetReadData(0x00, 0, chart);
    uint32_t n = uint32_t(chart.size());
    CScsiByteBuffer sync(n);
    ASSERT_EQ(Channel().Read10(sync, n, 0x00, 0, true, 5000, kSense), kScsiGood);
    EXPECT_EQ(std::memcmp(sync.GetData(), chart.data(), n), 0);

    ASSERT_TRUE(m_pTransport->SupportsAsync());
    Device().AddFault([] {
        CSimFault delay;
        delay.kind = SimFaultKind::Delay;
        delay.ms = 300;
        return delay;
    }());
    CScsiByteBuffer overlapped(n);
    ASSERT_EQ(Channel().Read10(overlapped, n, 0x00, 0, false, 5000, kSense), kScsiGood);
    PostPing();
    EXPECT_EQ(m_pTransport->FinishAsync(), kScsiGood);
    EXPECT_EQ(Pings(), 1) << "the wait dispatched the window's message";
    EXPECT_EQ(std::memcmp(overlapped.GetData(), chart.data(), n), 0);
    EXPECT_EQ(m_pTransport->FinishAsync(), kScsiGood) << "nothing pending any more";
}

// A data phase that moved fewer bytes than asked would leave stale memory at the end of the block.
TEST_P(TransportTest, AShortReadFailsSynchronousAndOverlapped)
{
    std::vector<uint8_t> chart = ChartBytes();
    Device().SetReadData(0x00, 0, chart);
    uint32_t n = uint32_t(chart.size());
    for (bool synchronous : {true, false}) {
        SCOPED_TRACE(synchronous ? "synchronous" : "overlapped");
        CSimFault fault = Fault(SimFaultKind::ShortTransfer, 0x28);
        fault.bytes = n - 1;
        Device().AddFault(fault);
        CScsiByteBuffer block(n);
        TransportResult result = Channel().Read10(block, n, 0x00, 0, synchronous, 5000, kSense);
        if (!synchronous) {
            ASSERT_EQ(result, kScsiGood);
            result = m_pTransport->FinishAsync();
        }
        EXPECT_EQ(result, kScsiDataUnderrun) << "host adapter status 0x12 on either transport";
        Device().ClearFaults();
        CScsiByteBuffer whole(n);
        EXPECT_EQ(Channel().Read10(whole, n, 0x00, 0, true, 5000, kSense), kScsiGood);
    }
}

TEST_P(TransportTest, OverlappedReadAbortedByTheUser)
{
    CSimFault hang = Fault(SimFaultKind::Hang, 0x28);
    hang.ms = 400;
    Device().AddFault(hang);
    CScsiByteBuffer block(64);
    ASSERT_EQ(Channel().Read10(block, 64, 0, 0, false, 5000, kSense), kScsiGood);
    PostAbort();
    uint32_t start = MillisecondClock();
    EXPECT_EQ(m_pTransport->FinishAsync(), kScsiUserAbort);
    EXPECT_LT(ClockElapsed(start), 3000u);
    EXPECT_EQ(g_UserAbort, 0);
}

TEST_P(TransportTest, CommandsWhileAReadIsPendingAreRefused)
{
    Device().SetReadData(0x00, 0, std::vector<uint8_t>(16, 1));
    Device().AddFault([] {
        CSimFault delay;
        delay.kind = SimFaultKind::Delay;
        delay.ms = 200;
        return delay;
    }());
    CScsiByteBuffer block(16);
    ASSERT_EQ(Channel().Read10(block, 16, 0, 0, false, 5000, kSense), kScsiGood);
    CScsiFixedBuffer<6> tur;
    EXPECT_EQ(Channel().TestUnitReady(tur, 5000, kSense), kScsiFailed);
    EXPECT_EQ(m_pTransport->FinishAsync(), kScsiGood);
    EXPECT_EQ(Channel().TestUnitReady(tur, 5000, kSense), kScsiGood);
}

TEST_P(TransportTest, MissingDataMemoryIsRefusedBeforeSending)
{
    CScsiExternalBuffer missing(nullptr, 4096);
    EXPECT_EQ(Channel().Read10(missing, 4096, 0, 0, true, 5000, kSense), kScsiNoMemory);
    EXPECT_EQ(Channel().Read10(missing, 4096, 0, 0, false, 5000, kSense), kScsiNoMemory);
    EXPECT_TRUE(Device().Log().empty());
    CScsiFixedBuffer<6> tur;
    EXPECT_EQ(Channel().TestUnitReady(tur, 5000, kSense), kScsiGood) << "nothing left pending";
}

TEST_P(TransportTest, BlockWhoseMemoryFailedIsRefusedBeforeSending)
{
    if (sizeof(void*) > 4)
        GTEST_SKIP() << "a 64-bit process can allocate nearly 4 GB";
    CScsiByteBuffer huge(0xFFFFF000u);
    ASSERT_EQ(huge.GetData(), nullptr);
    EXPECT_EQ(Channel().Send10(huge, 0x80, 0, 5000, kSense), kScsiNoMemory);
    EXPECT_TRUE(Device().Log().empty());
}

TEST_P(TransportTest, EmptyBlockTransfersNothing)
{
    CScsiByteBuffer none(0);
    ASSERT_NE(none.GetData(), nullptr);
    EXPECT_EQ(Channel().TestUnitReady(none, 5000, kSense), kScsiGood);
    EXPECT_EQ(Device().Log().at(0).length, 0u);
}

TEST_P(TransportTest, TraceWritesStatusLineThenCommandBlock)
{
    delete m_pTransport;
    m_pTransport = nullptr;
    m_channel.reset();
    SetIni("General", "LogSCSI", "1");
    OpenTransport(GetParam());
    Device().SetReadData(0x81, 0x0203, std::vector<uint8_t>(8, 0));
    CScsiByteBuffer block(8);
    ASSERT_EQ(Channel().Read10(block, 8, 0x81, 0x0203, true, 5000, kSense), kScsiGood);
    CScsiFixedBuffer<6> tur;
    m_pTransport->SelectTarget(5);
    Channel().TestUnitReady(tur, 5000, kSense);
    std::vector<std::string> lines = TraceLines();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[lines.size() - 4], "SCSI Read, Status 0000, Host 00, Target 00");
    EXPECT_EQ(lines[lines.size() - 3], "CDB 28 00 81 00 02 03 00 00 08 00");
    EXPECT_EQ(lines[lines.size() - 2], "SCSI Test unit ready, Status 1100, Host 11, Target 00");
    EXPECT_EQ(lines[lines.size() - 1], "CDB 00 00 00 00 00 00");
}

TEST_P(TransportTest, NoTraceWithoutLogScsi)
{
    CScsiFixedBuffer<6> tur;
    Channel().TestUnitReady(tur, 5000, kSense);
    for (const std::string& line : TraceLines()) {
        EXPECT_EQ(line.find("CDB "), std::string::npos) << line;
        EXPECT_EQ(line.find("SCSI Test"), std::string::npos) << line;
    }
}

INSTANTIATE_TEST_SUITE_P(BothTransports, TransportTest,
                         testing::Values(kScsiDriverAspi32, kScsiDriverNtScsi), TransportName);

TEST(TransportNames, OpcodesOfTheStatusLine)
{
    const struct {
        uint8_t opcode;
        const char* name;
    } cases[] = {
        {0x24, "Define window parameters"},         {0x04, "Define window parameters"},
        {0x34, "Get Data Buffer Status"},           {0x16, "Reserve Unit / Mode select1"},
        {0xCD, "Read string (compatibility mode)"}, {0x99, "Unknown"},
    };
    for (const auto& c : cases)
        EXPECT_STREQ(CScsiTransport::OpcodeName(c.opcode), c.name);
}

}  // namespace
