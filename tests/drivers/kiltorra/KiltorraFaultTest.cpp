// Faults of a KILTORRA scan: each ends the scan with the family's result and message, and none
// hangs.

#include "drivers/kiltorra/KiltorraDriver.h"

#include "core/util/Clock.h"
#include "tests/drivers/kiltorra/KiltorraBench.h"

#include <vector>

namespace {

struct FaultCase {
    const char* name;
    SimFaultKind kind;
    int opcode;
    int skip;
    int count;
    std::vector<uint8_t> sense;  // key, ASC, ASCQ; or a whole sense block when raw
    bool raw;
    uint16_t result;
    std::vector<int> messages;
};

std::vector<uint8_t> FixedSense(uint8_t key, uint8_t asc, uint8_t ascq)
{
    std::vector<uint8_t> sense(18, 0);
    sense[0] = 0x70;
    sense[2] = key;
    sense[7] = 10;
    sense[12] = asc;
    sense[13] = ascq;
    return sense;
}

// The image read is the third READ(10): the empty read and the status come first.
constexpr int kImageRead = 2;

const std::vector<FaultCase> kFaults = {
    // Both transports repeat a command the device answered BUSY.
    {"BusyWindow", SimFaultKind::Busy, 0x24, 0, 1, {}, false, kDriverOk, {}},
    {"NotReadyAtScan", SimFaultKind::Check, 0x1B, 0, 1, {2, 0x08, 0}, false, kDriverAborted, {3439}},
    {"InvalidFieldInCdb", SimFaultKind::Check, 0x1B, 0, 1, {5, 0x24, 0}, false, kDriverAborted, {3442}},
    {"MemoryFailure", SimFaultKind::Check, 0x28, kImageRead, 1, {4, 0x60, 0}, false, kDriverAborted, {3447}},
    {"HolderNotRecognised", SimFaultKind::Check, 0x24, 0, 1, {4, 0xA0, 0x22}, false, kDriverAborted, {3470}},
    {"VendorCodeUnknown", SimFaultKind::Check, 0x24, 0, 1, {4, 0xA0, 0x40}, false, kDriverAborted, {3340}},
    {"CommandStopped", SimFaultKind::Check, 0x1B, 0, 1, {11, 0x47, 0}, false, kDriverAborted, {3464}},
    {"OtherKeyUnreported", SimFaultKind::Check, 0x1B, 0, 1, {8, 0, 0}, false, kDriverFailed, {}},
    // Recovered errors are reported and the command counts as done.
    {"RecoveredLamp", SimFaultKind::Check, 0x00, 0, 1, {1, 0xA0, 0x06}, false, kDriverOk, {3443}},
    // UNIT ATTENTION: the command goes once more; a second one ends the scan.
    {"UnitAttentionOnce", SimFaultKind::Check, 0x24, 0, 1, {6, 0x29, 0}, false, kDriverOk, {}},
    {"UnitAttentionTwice", SimFaultKind::Check, 0x24, 0, 2, {6, 0x29, 0}, false, kDriverAborted, {3340}},
    {"UnitAttentionOnTheRead", SimFaultKind::Check, 0x28, kImageRead, 1, {6, 0x29, 0}, false, kDriverOk, {}},
    {"IncorrectLength", SimFaultKind::Check, 0x28, kImageRead, 1, FixedSense(0x25, 0, 0), true, kDriverAborted, {3351}},
    {"BusyImageReadRetried", SimFaultKind::Busy, 0x28, kImageRead, 3, {}, false, kDriverOk, {}},
    {"ShortImageRead", SimFaultKind::ShortTransfer, 0x28, kImageRead, 1, {}, false, 0x1200, {}},
    {"UserCancelsTheRead", SimFaultKind::Abort, 0x28, kImageRead, 1, {}, false, kDriverAborted, {}},
};

class KiltorraFaultTest : public KiltorraBench, public testing::WithParamInterface<ScsiDriverId> {
protected:
    void TearDown() override
    {
        g_UserAbort = 0;
        KiltorraBench::TearDown();
    }
};

class KiltorraHangTest : public KiltorraBench { };

}  // namespace

TEST_P(KiltorraFaultTest, EachFaultEndsTheScanWithItsResultAndMessage)
{
    for (const FaultCase& c : kFaults) {
        SCOPED_TRACE(c.name);
        Start({}, GetParam());
        Select(kImageGrey, 100, 0, 0, 2540, 2540);
        CSimFault fault;
        fault.kind = c.kind;
        fault.opcode = c.opcode;
        fault.skip = c.skip;
        fault.count = c.count;
        fault.bytes = 100;
        if (c.raw)
            fault.rawSense = c.sense;
        else if (!c.sense.empty())
            fault.sense = {c.sense[0], c.sense[1], c.sense[2]};
        Device().AddFault(fault);
        m_Messages.Clear();
        uint32_t start = MillisecondClock();
        CBenchImage image = ScanFromReserve();
        EXPECT_LT(ClockElapsed(start), 5000u);
        EXPECT_EQ(c.result, image.status);
        EXPECT_EQ(c.messages, m_Messages.Ids());
        if (image.status == kDriverOk) {
            EXPECT_EQ(100u, image.lines);
        }
        EXPECT_FALSE(Device().IsReservedByHost());
        EXPECT_FALSE(Device().IsScanning());
        g_UserAbort = 0;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Transports, KiltorraFaultTest, testing::Values(kScsiDriverNtScsi, kScsiDriverAspi32), TransportName);

// Through the pass-through only: our ASPI manager gives up on a command that never completes only
// at the driver's 30-second time-out.
TEST_F(KiltorraHangTest, ADeviceThatNeverAnswersTheReadEndsInTime)
{
    Start();
    Select(kImageGrey, 100, 0, 0, 2540, 2540);
    CSimFault fault;
    fault.kind = SimFaultKind::Hang;
    fault.opcode = 0x28;
    fault.skip = kImageRead;
    fault.ms = 200;
    Device().AddFault(fault);
    uint32_t start = MillisecondClock();
    CBenchImage image = ScanFromReserve();
    EXPECT_LT(ClockElapsed(start), 5000u);
    EXPECT_NE(kDriverOk, image.status);
    EXPECT_FALSE(Device().IsReservedByHost());
}
