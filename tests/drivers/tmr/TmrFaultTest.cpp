// Faults of a TM-R scan: each ends the scan with the family's result and message from its sense
// table, and none hangs.

#include "drivers/tmr/TmrDriver.h"

#include "core/util/Clock.h"
#include "tests/drivers/tmr/TmrBench.h"

#include <string>
#include <vector>

namespace {

struct FaultCase {
    const char* name;
    CDeviceOptions device;
    SimFaultKind kind;
    int opcode;
    int skip;
    std::vector<uint8_t> sense;  // key, ASC, ASCQ; or a whole sense block when raw
    bool raw;
    uint16_t result;
    std::vector<int> messages;
};

std::vector<uint8_t> RawSense(uint8_t byte2, uint8_t asc, uint8_t ascq)
{
    std::vector<uint8_t> sense(18, 0);
    sense[0] = 0x70;
    sense[2] = byte2;
    sense[7] = 10;
    sense[12] = asc;
    sense[13] = ascq;
    return sense;
}

// The image is the READ(10) after the three status and two parameter reads of PrepareScan.
constexpr int kImageRead = 5;

const std::vector<FaultCase> kFaults = {
    {"ScannerBusy", {}, SimFaultKind::Check, 0x1B, 0, {5, 0x90, 0x00}, false, kDriverAborted, {3413}},
    {"Code9002", {}, SimFaultKind::Check, 0x1B, 0, {4, 0x90, 0x02}, false, kDriverAborted, {3412}},
    {"Code2601", {}, SimFaultKind::Check, 0x24, 0, {5, 0x26, 0x01}, false, kDriverAborted, {3412}},
    {"Code9004", {}, SimFaultKind::Check, 0x1B, 0, {2, 0x90, 0x04}, false, kDriverAborted, {3337}},
    {"Code9006", {}, SimFaultKind::Check, 0x24, 0, {4, 0x90, 0x06}, false, kDriverAborted, {3438}},
    {"Code900E", {}, SimFaultKind::Check, 0x28, kImageRead, {4, 0x90, 0x0E}, false, kDriverAborted, {3438}},
    {"HardwareKey", {}, SimFaultKind::Check, 0x1B, 0, {4, 0x44, 0}, false, kDriverAborted, {3352}},
    {"IllegalRequestKey", {}, SimFaultKind::Check, 0x24, 0, {5, 0x24, 0}, false, kDriverAborted, {3343}},
    {"MediumErrorKey", {}, SimFaultKind::Check, 0x1B, 0, {3, 0x11, 0}, false, kDriverFailed, {}},
    {"RecoveredCountsAsGood", {}, SimFaultKind::Check, 0x00, 1, {1, 0x17, 0}, false, kDriverOk, {3376}},
    {"IncorrectLength", {}, SimFaultKind::Check, 0x28, kImageRead, RawSense(0x25, 0, 0), true, kDriverAborted, {3351}},
    // Both transports try a command again after BUSY, with all its data.
    {"BusyWindow", {}, SimFaultKind::Busy, 0x24, 0, {}, false, kDriverOk, {}},
    {"BusyImageRead", {}, SimFaultKind::Busy, 0x28, kImageRead, {}, false, kDriverOk, {}},
    {"ShortImageRead", {}, SimFaultKind::ShortTransfer, 0x28, kImageRead, {}, false, kDriverFailed, {}},
    {"ImageReadDies", {}, SimFaultKind::Hang, 0x28, kImageRead, {}, false, kDriverFailed, {}},
    {"UserCancels", {}, SimFaultKind::Abort, 0x00, 2, {}, false, kDriverAborted, {}},
    {"NeverUnderWay", {{"startpolls", "100000"}}, SimFaultKind::Delay, 0x00, 0, {}, false, kDriverFailed, {}},
};

class TmrFaultTest : public TmrBench, public testing::WithParamInterface<ScsiDriverId> {
protected:
    void TearDown() override
    {
        g_UserAbort = 0;
        TmrBench::TearDown();
    }
};

}  // namespace

TEST_P(TmrFaultTest, EachFaultEndsTheScanWithItsResultAndMessage)
{
    for (const FaultCase& c : kFaults) {
        SCOPED_TRACE(c.name);
        // Our ASPI manager reports a command that dies only at the driver's 30-second time-out.
        if (c.kind == SimFaultKind::Hang && GetParam() == kScsiDriverAspi32)
            continue;
        StartShort(c.device, GetParam());
        Select(kImageRgb, 100, 0, 0, 2540, 1270);
        CSimFault fault;
        fault.kind = c.kind;
        fault.opcode = c.opcode;
        fault.skip = c.skip;
        fault.ms = 200;
        fault.bytes = 100;
        if (c.raw)
            fault.rawSense = c.sense;
        else if (!c.sense.empty())
            fault.sense = {c.sense[0], c.sense[1], c.sense[2]};
        Device().AddFault(fault);
        m_Messages.Clear();
        uint32_t start = MillisecondClock();
        CBenchImage image = ScanFromReserve();
        EXPECT_LT(ClockElapsed(start), 8000u);
        EXPECT_EQ(c.result, image.status);
        EXPECT_EQ(c.messages, m_Messages.Ids());
        EXPECT_FALSE(Device().IsReservedByHost());
        g_UserAbort = 0;
    }
}

// SCAN of the running scan that the device keeps refusing: tried again after a pause, until the
// deadline or a user abort, never for ever.
TEST_P(TmrFaultTest, ARefusedScanEndsAtTheDeadlineOrTheAbort)
{
    struct Case {
        const char* name;
        SimFaultKind kind;
        uint16_t result;
        uint32_t least;
    };
    const Case kCases[] = {
        {"refused for ever", SimFaultKind::Check, kDriverFailed, 1000},
        {"user aborts", SimFaultKind::Abort, kDriverAborted, 0},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        StartShort({}, GetParam());
        Select(kImageRgb, 100, 0, 0, 2540, 1270);
        ASSERT_EQ(kDriverOk, StartScan());
        CSimFault fault;
        fault.kind = c.kind;
        fault.opcode = 0x1B;
        fault.count = 0;
        // A sense the family's table lets pass: the device is not done refusing.
        fault.sense = {0, 0, 0};
        Device().AddFault(fault);
        Device().ClearLog();
        uint32_t start = MillisecondClock();
        EXPECT_EQ(c.result, Driver().StartPass(0, 0x80));
        uint32_t elapsed = ClockElapsed(start);
        EXPECT_GE(elapsed, c.least);
        EXPECT_LT(elapsed, 5000u);
        std::vector<CSimLogEntry> scans = Commands({0x1B});
        ASSERT_FALSE(scans.empty());
        EXPECT_EQ(0x80, scans[0].cdb[5]);
        EXPECT_LT(scans.size(), 200u) << "tries come a pause apart";
        Driver().StopScan(0);
        g_UserAbort = 0;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Transports, TmrFaultTest, testing::Values(kScsiDriverNtScsi, kScsiDriverAspi32), TransportName);
