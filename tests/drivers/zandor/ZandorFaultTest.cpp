// Faults of a ZANDOR scan: each ends the scan with the family's result and message, and none hangs.

#include "drivers/zandor/ZandorDriver.h"

#include "core/util/Clock.h"
#include "tests/drivers/zandor/ZandorBench.h"

#include <vector>

namespace {

struct FaultCase {
    const char* name;
    SimFaultKind kind;
    int opcode;
    int skip;
    uint8_t code;  // the device's sense code byte
    uint16_t result;
    std::vector<int> messages;
};

// The first READ(10) of a scan is the window status after the first SCAN; image reads follow.
const std::vector<FaultCase> kFaults = {
    {"BusyWhileWaitingReady", SimFaultKind::Busy, 0x00, 0, 0, kDriverOk, {}},
    {"BusyFirstScan", SimFaultKind::Busy, 0x1B, 0, 0, kDriverOk, {}},
    {"BusyImageRead", SimFaultKind::Busy, 0x28, 1, 0, kDriverOk, {}},
    {"BusyWindowStatus", SimFaultKind::Busy, 0x28, 0, 0, kDriverOk, {}},
    {"NotReady", SimFaultKind::Check, 0x00, 0, 0x02, kDriverAborted, {3353}},
    {"HardwareOnScan", SimFaultKind::Check, 0x1B, 0, 0x04, kDriverAborted, {3352}},
    {"ParameterOnWindow", SimFaultKind::Check, 0x24, 0, 0x10, kDriverAborted, {3343}},
    {"DataOnImageRead", SimFaultKind::Check, 0x28, 1, 0x11, kDriverAborted, {3354}},
    {"InvalidOnImageRead", SimFaultKind::Check, 0x28, 1, 0x20, kDriverAborted, {3355}},
    {"OtherCodeOnStatus", SimFaultKind::Check, 0x28, 0, 0x33, kDriverAborted, {3340}},
    {"CodeZeroOnImageRead", SimFaultKind::Check, 0x28, 1, 0x00, kDriverFailed, {}},
    {"ShortImageRead", SimFaultKind::ShortTransfer, 0x28, 1, 0, kScsiDataUnderrun, {}},
    {"ImageReadDies", SimFaultKind::Hang, 0x28, 1, 0, kDriverFailed, {}},
    {"UserCancels", SimFaultKind::Abort, 0x00, 1, 0, kDriverAborted, {}},
};

class ZandorFaultTest : public ZandorBench, public testing::WithParamInterface<ScsiDriverId> {
protected:
    void TearDown() override
    {
        g_UserAbort = 0;
        ZandorBench::TearDown();
    }

    void StartGrey()
    {
        Start({{"model", "gs400"}, {"band", "16"}}, GetParam());
        Select(kImageGrey, 100, 0, 0, 2540, 2540);
        Driver().m_nBusyLimit = 1500;
    }

    // Starts a colour scan and reads its first pass whole.
    void ReadFirstPass()
    {
        Start({{"model", "color"}, {"band", "16"}}, GetParam());
        Select(kImageRgb, 100, 0, 0, 2540, 1016);
        Driver().m_nBusyLimit = 1500;
        ASSERT_EQ(kDriverOk, StartScan());
        uint32_t lines = m_Settings.GetLineCount();
        std::vector<uint8_t> plane(size_t(lines) * m_Settings.GetBytesPerLine());
        ASSERT_EQ(
            kDriverOk, Driver().ReadData(plane.data(), 0, uint16_t(lines), uint16_t(m_Settings.GetBytesPerLine())));
    }

    void AddScanFault(SimFaultKind kind, uint8_t code = 0)
    {
        CSimFault fault;
        fault.kind = kind;
        fault.opcode = 0x1B;
        fault.count = 0;
        fault.sense = {0, code, 0};
        Device().AddFault(fault);
    }
};

}  // namespace

TEST_P(ZandorFaultTest, EachFaultEndsTheScanWithItsResultAndMessage)
{
    for (const FaultCase& c : kFaults) {
        SCOPED_TRACE(c.name);
        // Our ASPI manager reports a command that dies only at the driver's 30-second time-out.
        if (c.kind == SimFaultKind::Hang && GetParam() == kScsiDriverAspi32)
            continue;
        StartGrey();
        CSimFault fault;
        fault.kind = c.kind;
        fault.opcode = c.opcode;
        fault.skip = c.skip;
        fault.count = c.kind == SimFaultKind::Busy ? 2 : 1;
        fault.ms = 200;
        fault.bytes = 100;
        fault.sense = {0, c.code, 0};
        Device().AddFault(fault);
        m_Messages.Clear();
        uint32_t start = MillisecondClock();
        CBenchImage image = ScanFromReserve();
        EXPECT_LT(ClockElapsed(start), 5000u);
        EXPECT_EQ(c.result, image.status);
        EXPECT_EQ(c.messages, m_Messages.Ids());
        if (c.result == kDriverOk) {
            EXPECT_EQ(m_Settings.GetLineCount(), image.lines);
        }
        EXPECT_FALSE(Device().IsReservedByHost());
        g_UserAbort = 0;
    }
}

TEST_P(ZandorFaultTest, FurtherPassWhileTheDeviceStaysBusy)
{
    struct Case {
        const char* name;
        SimFaultKind kind;
        uint8_t code;
        uint16_t result;
        std::vector<int> messages;
        uint32_t atLeastMs;
    };
    const Case kCases[] = {
        // Busy for ever: the pass gives up at the deadline instead of sending SCAN for ever.
        {"BusyForEver", SimFaultKind::Busy, 0, kDriverFailed, {}, 1500},
        // The user presses Stop while the device is busy.
        {"UserStops", SimFaultKind::Abort, 0, kDriverAborted, {}, 0},
        {"Refused", SimFaultKind::Check, 0x20, kDriverAborted, {3355}, 0},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        ReadFirstPass();
        AddScanFault(c.kind, c.code);
        m_Messages.Clear();
        uint32_t start = MillisecondClock();
        EXPECT_EQ(c.result, Driver().StartPass(0, 0x80));
        uint32_t elapsed = ClockElapsed(start);
        EXPECT_GE(elapsed, c.atLeastMs);
        EXPECT_LT(elapsed, 5000u);
        EXPECT_EQ(c.messages, m_Messages.Ids());
        Driver().StopScan(0);
        g_UserAbort = 0;
    }
}

TEST_P(ZandorFaultTest, NextBandWhileTheDeviceStaysBusyOrRefuses)
{
    struct Case {
        const char* name;
        SimFaultKind kind;
        uint8_t code;
        uint16_t result;
        std::vector<int> messages;
    };
    const Case kCases[] = {
        {"BusyForEver", SimFaultKind::Busy, 0, kDriverFailed, {}},
        {"UserStops", SimFaultKind::Abort, 0, kDriverAborted, {}},
        // A refused band change is reported once, and the read fails as reported.
        {"Refused", SimFaultKind::Check, 0x04, kDriverAborted, {3352}},
        {"RefusedWithoutCode", SimFaultKind::Check, 0x00, kDriverFailed, {}},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        StartGrey();
        ASSERT_EQ(kDriverOk, StartScan());
        AddScanFault(c.kind, c.code);
        uint32_t bytesPerLine = m_Settings.GetBytesPerLine();
        std::vector<uint8_t> block(size_t(40) * bytesPerLine);
        m_Messages.Clear();
        uint32_t start = MillisecondClock();
        EXPECT_EQ(c.result, Driver().ReadData(block.data(), 0, 40, uint16_t(bytesPerLine)));
        EXPECT_LT(ClockElapsed(start), 5000u);
        EXPECT_EQ(c.messages, m_Messages.Ids());
        Driver().StopScan(0);
        g_UserAbort = 0;
    }
}

TEST_P(ZandorFaultTest, StopReleasesOnlyAReservedDevice)
{
    StartGrey();
    CSimFault fault;
    fault.kind = SimFaultKind::Check;
    fault.opcode = 0x16;
    fault.sense = {0, 0x02, 0};
    Device().AddFault(fault);
    EXPECT_EQ(kDriverAborted, Driver().ReserveDevice());
    Device().ClearLog();
    Driver().StopScan(0);
    EXPECT_TRUE(Commands({0x17}).empty());
    EXPECT_EQ(255, Driver().m_nReserveState);

    EXPECT_EQ(kDriverOk, Driver().ReserveDevice());
    Driver().StopScan(0);
    EXPECT_EQ(1u, Commands({0x17}).size());
    EXPECT_FALSE(Device().IsReservedByHost());
}

INSTANTIATE_TEST_SUITE_P(
    Transports, ZandorFaultTest, testing::Values(kScsiDriverNtScsi, kScsiDriverAspi32), TransportName);
