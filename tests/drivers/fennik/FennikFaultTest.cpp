// Faults of a FENNIK scan: each ends the scan with the family's result and message, and none hangs.

#include "drivers/fennik/FennikDriver.h"

#include "core/scan/ShellServices.h"
#include "core/util/Clock.h"
#include "tests/drivers/fennik/FennikBench.h"

#include <string>
#include <vector>

namespace {

struct FaultCase {
    const char* name;
    SimFaultKind kind;
    int opcode;
    std::vector<uint8_t> sense;     // key, ASC, ASCQ for Check; a whole sense block for raw
    bool raw;
    uint16_t result;
    std::vector<int> messages;
};

std::vector<uint8_t> FixedSense(uint8_t key, uint8_t asc, uint8_t ascq, uint8_t byte18 = 0, uint8_t byte19 = 0)
{
    std::vector<uint8_t> sense(20, 0);
    sense[0] = 0x70;
    sense[2] = key;
    sense[7] = 12;
    sense[12] = asc;
    sense[13] = ascq;
    sense[18] = byte18;
    sense[19] = byte19;
    return sense;
}

// A read that fails without a reason the family reports itself gives the image read text of every
// family, once, from the driver.
const std::vector<FaultCase> kFaults = {
    // Both transports try a command again after BUSY, with all its data.
    {"BusyWindow", SimFaultKind::Busy, 0x24, {}, false, kDriverOk, {}},
    {"BusyImageRead", SimFaultKind::Busy, 0x28, {}, false, kDriverOk, {}},
    {"ParameterList", SimFaultKind::Check, 0x24, {5, 0x26, 0}, false, kDriverAborted, {3340}},
    {"LogicalUnit", SimFaultKind::Check, 0x1B, {5, 0x25, 0}, false, kDriverAborted, {3439}},
    {"CommandSequence", SimFaultKind::Check, 0x1B, {5, 0x2C, 0}, false, kDriverAborted, {3442}},
    {"NoSenseCode", SimFaultKind::Check, 0x1B, {5, 0, 0}, false, kDriverAborted, {3441}},
    {"PaperJam", SimFaultKind::Check, 0x1B, {2, 0x3B, 0x05}, false, kDriverAborted, {3338}},
    {"EndOfMedium", SimFaultKind::Check, 0x1B, {2, 0x3B, 0x09}, false, kDriverAborted, {3402}},
    {"ManualIntervention", SimFaultKind::Check, 0x1B, {2, 0x04, 0x03}, false, kDriverAborted, {3451}},
    {"AbortedCommand", SimFaultKind::Check, 0x28, {11, 0x47, 0}, false, kDriverAborted, {3340}},
    {"HardwareOtherCode", SimFaultKind::Check, 0x28, {4, 0x44, 0}, false, kDriverAborted, {3335}},
    {"MediumErrorKey", SimFaultKind::Check, 0x28, {3, 0x11, 0}, false, kDriverAborted, {3335}},
    {"HardwareCarriage", SimFaultKind::Check, 0x1B, FixedSense(4, 0, 0, 0x02), true, kDriverAborted, {4465}},
    {"HardwareTransparencyUnit", SimFaultKind::Check, 0x1B, FixedSense(4, 0, 0, 0, 0x01), true, kDriverAborted,
     {4472}},
    {"HardwareWithoutBits", SimFaultKind::Check, 0x1B, FixedSense(4, 0, 0), true, kDriverFailed, {}},
    {"IncorrectLength", SimFaultKind::Check, 0x28, FixedSense(0x25, 0, 0), true, kDriverAborted, {3351}},
    {"ImageReadDies", SimFaultKind::Hang, 0x28, {}, false, kDriverAborted, {3335}},
    {"UserCancels", SimFaultKind::Abort, 0x00, {}, false, kDriverAborted, {}},
};

// The status-bar texts a scan shows.
class CStatusRecorder : public CShellServices {
public:
    void ShowScanStatus(int messageId, int32_t) override { m_Shown.push_back(messageId); }
    std::vector<int> m_Shown;
};

class FennikFaultTest : public FennikBench, public testing::WithParamInterface<ScsiDriverId> {
protected:
    void TearDown() override
    {
        g_UserAbort = 0;
        FennikBench::TearDown();
    }
};

}  // namespace

TEST_P(FennikFaultTest, EachFaultEndsTheScanWithItsResultAndMessage)
{
    for (const FaultCase& c : kFaults) {
        SCOPED_TRACE(c.name);
        // Our ASPI manager reports a command that dies only at the driver's 30-second time-out.
        if (c.kind == SimFaultKind::Hang && GetParam() == kScsiDriverAspi32)
            continue;
        Start({}, GetParam());
        Select(kImageGrey, 100, 0, 0, 2540, 2540);
        CSimFault fault;
        fault.kind = c.kind;
        fault.opcode = c.opcode;
        // The image read is the last READ(10): skip the preparation and calibration reads.
        fault.skip = c.opcode == 0x28 ? 19 : c.opcode == 0x00 ? 2 : 0;
        fault.ms = 200;
        if (c.raw)
            fault.rawSense = c.sense;
        else if (!c.sense.empty())
            fault.sense = {c.sense[0], c.sense[1], c.sense[2]};
        Device().AddFault(fault);
        m_Messages.Clear();
        uint32_t start = MillisecondClock();
        CFennikImage image = ScanFromReserve();
        EXPECT_LT(ClockElapsed(start), 5000u);
        EXPECT_EQ(c.result, image.status);
        EXPECT_EQ(c.messages, m_Messages.Ids());
        EXPECT_FALSE(Device().IsReservedByHost());
        g_UserAbort = 0;
    }
}

TEST_P(FennikFaultTest, BecomingReadyForEverGivesUpAtTheDeadline)
{
    Start({}, GetParam());
    Select(kImageGrey, 100, 0, 0, 2540, 2540);
    Driver().m_nBecomingReadyLimit = 1500;
    CSimFault fault;
    fault.kind = SimFaultKind::Check;
    fault.opcode = 0x00;
    fault.count = 0;
    fault.sense = {2, 0x04, 0x01};
    Device().AddFault(fault);
    uint32_t start = MillisecondClock();
    CFennikImage image = ScanFromReserve();
    uint32_t elapsed = ClockElapsed(start);
    EXPECT_EQ(kDriverFailed, image.status);
    EXPECT_GE(elapsed, 1500u);
    EXPECT_LT(elapsed, 5000u);
    EXPECT_TRUE(m_Messages.Ids().empty());
}

TEST_P(FennikFaultTest, BecomingReadyPollsUntilReady)
{
    Start({}, GetParam());
    CSimFault fault;
    fault.kind = SimFaultKind::Check;
    fault.opcode = 0x00;
    fault.count = 2;
    fault.sense = {2, 0x04, 0x01};
    Device().AddFault(fault);
    Device().ClearLog();
    CStatusRecorder status;
    CShellServicesScope scope(status);
    EXPECT_EQ(kDriverOk, Driver().WaitReady(60000));
    EXPECT_EQ(3u, Commands({0x00}).size());
    EXPECT_EQ(std::vector<int>{4436}, status.m_Shown);
}

TEST_P(FennikFaultTest, StagingBufferThatCannotHoldALineIsAMemoryFailure)
{
    struct Case {
        const char* name;
        const char* bigBuffer;      // kilobytes; "" leaves the block out
    };
    const Case kCases[] = {{"Missing", ""}, {"SmallerThanOneLine", "8"}};
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Start({}, GetParam());
        SetIni("FENNIK", "BigBuffer", c.bigBuffer);
        Driver().InitCapabilities();
        if (*c.bigBuffer == 0) {
            Driver().m_Staging.Free();
            Driver().m_Staging = CGlobalBlock();
        }
        // 8.5 inches of colour at 600 ppi: 15300 bytes a line.
        Select(kImageRgb, 600, 0, 0, 21590, 500);
        Device().ClearLog();
        CFennikImage image = ScanFromReserve();
        EXPECT_EQ(kDriverNoMemory, image.status);
        EXPECT_TRUE(Commands({0x1B}).empty());
        EXPECT_FALSE(Device().IsReservedByHost());
    }
}

INSTANTIATE_TEST_SUITE_P(Transports, FennikFaultTest, testing::Values(kScsiDriverNtScsi, kScsiDriverAspi32),
                         TransportName);
