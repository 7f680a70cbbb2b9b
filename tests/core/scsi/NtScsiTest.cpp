#include "core/scsi/NtScsiTransport.h"
#include "core/scsi/ScsiBuffer.h"
#include "core/util/Clock.h"
#include "tests/core/scsi/ScsiBench.h"

namespace {

using NtScsiTest = ScsiBench;

void AddScanner(CVirtualBus& bus, int n, int host, int path, int target)
{
    CSimAddress a;
    a.host = host;
    a.bus = path;
    a.target = target;
    bus.AddScannerDevice(n, a);
}

TEST_F(NtScsiTest, OpenCountsPortsUpToTheFirstMissing)
{
    m_bus.AddHost(CSimHostInfo());
    CNtScsiTransport transport(&Io());
    EXPECT_EQ(transport.Open(), kMsgScsiOpened);
    EXPECT_EQ(transport.GetAdapterCount(), 2);
    EXPECT_TRUE(transport.SupportsAsync());
    std::vector<std::string> expected = {"\\\\.\\Scsi0:", "\\\\.\\Scsi1:", "\\\\.\\Scsi2:", "\\\\.\\SCANNER0"};
    EXPECT_EQ(Io().OpenAttempts(), expected);
    EXPECT_EQ(Io().OpenHandles(), 0);
}

TEST_F(NtScsiTest, NoPortAtAll)
{
    CVirtualBus empty;
    CSimDeviceIo io(empty);
    CNtScsiTransport transport(&io);
    EXPECT_EQ(transport.Open(), kMsgNoNtScsiPort);
}

TEST_F(NtScsiTest, SelectAdapterRescansAndReadsThePort)
{
    struct Case {
        uint32_t maxTransfer, pages, expected;
    };
    const Case cases[] = {{65536, 17, 61440}, {32768, 5, 16384}, {20000, 0, 20000}};
    m_bus.Host(0)->buses = 2;
    for (const Case& c : cases) {
        m_bus.Host(0)->maxTransfer = c.maxTransfer;
        m_bus.Host(0)->maxPages = c.pages;
        CNtScsiTransport transport(&Io());
        ASSERT_EQ(transport.Open(), kMsgScsiOpened);
        transport.SelectAdapter(0);
        EXPECT_EQ(transport.GetBusCount(), 2);
        EXPECT_EQ(transport.GetMaxTransfer(), c.expected) << c.maxTransfer << "/" << c.pages;
    }
    EXPECT_EQ(Io().Rescans(0), 3);
    EXPECT_EQ(Io().OpenHandles(), 0);
}

TEST_F(NtScsiTest, ScannerClassDevicesAreOpenedByTheirAddress)
{
    m_bus.AddHost(CSimHostInfo());
    AddScanner(m_bus, 0, 1, 0, 4);
    AddScanner(m_bus, 1, 0, 0, 3);
    CNtScsiTransport transport(&Io());
    ASSERT_EQ(transport.Open(), kMsgScsiOpened);
    EXPECT_EQ(transport.ScannerIndex(1, 0, 4), 0);
    EXPECT_EQ(transport.ScannerIndex(0, 0, 3), 1);
    EXPECT_EQ(transport.ScannerIndex(0, 0, 2), 0xFFFF);

    transport.SelectAdapter(0);
    transport.SelectTarget(3);
    EXPECT_EQ(Io().OpenAttempts().back(), "\\\\.\\SCANNER1");
    CScsiFixedBuffer<6> block;
    const uint8_t tur[6] = {};
    EXPECT_EQ(transport.Exec6(tur, 0, block), kScsiGood);
    EXPECT_EQ(Device().Transcript().size(), 1u);

    size_t attempts = Io().OpenAttempts().size();
    transport.SelectTarget(5);
    EXPECT_EQ(Io().OpenAttempts().size(), attempts) << "no device there: nothing opened";
    EXPECT_EQ(transport.Exec6(tur, 0, block), kScsiFailed);
}

TEST_F(NtScsiTest, ScannerTableIsBoundsChecked)
{
    // A scanner on the second path at target 4 has entry 12, which a wide target 12 on the first
    // path would alias; a scanner at a wide target itself has no entry at all.
    AddScanner(m_bus, 0, 0, 1, 4);
    AddScanner(m_bus, 1, 0, 0, 12);
    m_bus.Host(0)->targets = 16;
    CNtScsiTransport transport(&Io());
    ASSERT_EQ(transport.Open(), kMsgScsiOpened);
    EXPECT_EQ(transport.ScannerIndex(0, 1, 4), 0);
    EXPECT_EQ(transport.ScannerIndex(0, 0, 12), 0xFFFF);
    EXPECT_EQ(transport.ScannerIndex(8, 0, 0), 0xFFFF);
    transport.SelectAdapter(0);
    size_t attempts = Io().OpenAttempts().size();
    transport.SelectTarget(12);
    EXPECT_EQ(Io().OpenAttempts().size(), attempts);
}

TEST_F(NtScsiTest, AbandonedOverlappedRequestStaysWithTheWorker)
{
    OpenTransport(kScsiDriverNtScsi);
    CSimFault hang;
    hang.kind = SimFaultKind::Hang;
    hang.opcode = 0x28;
    hang.ms = 700;
    Device().AddFault(hang);
    {
        CScsiByteBuffer block(64);
        ASSERT_EQ(Channel().Read10(block, 64, 0, 0, false, 200, 32), kScsiGood);
        EXPECT_EQ(m_pTransport->FinishAsync(), kScsiTimeout);
    }
    CScsiFixedBuffer<6> tur;
    EXPECT_EQ(Channel().TestUnitReady(tur, 3000, 32), kScsiFailed) << "the worker still holds it";
    uint32_t start = MillisecondClock();
    while (g_NtBusy && ClockElapsed(start) < 3000)
        Sleep(10);
    EXPECT_EQ(g_NtBusy, 0);
    EXPECT_EQ(Channel().TestUnitReady(tur, 3000, 32), kScsiGood);
}

}  // namespace
