// Faults of an ORBEL 35 scan: each ends the scan with the transport's result, and none hangs.

#include "core/util/Clock.h"
#include "tests/drivers/orbel/OrbelBench.h"

#include <vector>

namespace {

struct FaultCase {
    const char* name;
    SimFaultKind kind;
    int opcode;
    int skip;                   // commands of that opcode let through first
    std::vector<uint8_t> sense; // key, ASC, ASCQ
    uint16_t ntResult;          // 0xFFFF: any failure
    uint16_t aspiResult;
};

// A grey scan's SENDs: 15 set-up texts and one gamma line, then FG,R, GM1T8, MV, BXZ. Its READs:
// the answers of FG,R and MV, then a header and the bytes of each line.
const std::vector<FaultCase> kFaults = {
    // Both transports try a command again after BUSY, with all its data.
    {"BusySetUpText", SimFaultKind::Busy, 0x2A, 3, {}, kDriverOk, kDriverOk},
    {"TextRejected", SimFaultKind::Check, 0x2A, 5, {5, 0x20, 0}, 0x02, 0x02},
    {"GammaLineRejected", SimFaultKind::Check, 0x2A, 15, {5, 0x26, 0}, 0x02, 0x02},
    {"HeaderReadFails", SimFaultKind::Check, 0x28, 4, {4, 0x44, 0}, 0x02, 0x02},
    {"LineCutShort", SimFaultKind::ShortTransfer, 0x28, 5, {}, kScsiDataUnderrun, kScsiDataUnderrun},
    {"LineReadDies", SimFaultKind::Hang, 0x28, 5, {}, 0xFFFF, 0xFFFF},
    {"UserCancels", SimFaultKind::Abort, 0x28, 5, {}, kDriverAborted, kDriverAborted},
};

class OrbelFaultTest : public OrbelBench, public testing::WithParamInterface<ScsiDriverId> {
protected:
    void TearDown() override
    {
        g_UserAbort = 0;
        OrbelBench::TearDown();
    }
};

}  // namespace

TEST_P(OrbelFaultTest, EachFaultEndsTheScanWithItsResult)
{
    for (const FaultCase& c : kFaults) {
        SCOPED_TRACE(c.name);
        // Our ASPI manager reports a command that dies only at the driver's 30-second time-out.
        if (c.kind == SimFaultKind::Hang && GetParam() == kScsiDriverAspi32)
            continue;
        Start({}, GetParam());
        SelectFilm(kImageGrey, 317, 1, 0, 0, 1000, 1000);
        CSimFault fault;
        fault.kind = c.kind;
        fault.opcode = c.opcode;
        fault.skip = c.skip;
        fault.ms = 200;
        fault.bytes = 3;
        if (!c.sense.empty())
            fault.sense = {c.sense[0], c.sense[1], c.sense[2]};
        Device().AddFault(fault);
        m_Messages.Clear();
        uint32_t start = MillisecondClock();
        uint16_t result = 0;
        ScanPasses(result);
        uint32_t elapsed = ClockElapsed(start);
        uint16_t want = GetParam() == kScsiDriverAspi32 ? c.aspiResult : c.ntResult;
        if (want == 0xFFFF)
            EXPECT_NE(kDriverOk, result);
        else
            EXPECT_EQ(want, result);
        EXPECT_LT(elapsed, 8000u);
        EXPECT_TRUE(m_Messages.Ids().empty());
        g_UserAbort = 0;
        Device().ClearFaults();
        // An aborted end still reaches the device after any fault.
        EXPECT_EQ(kDriverOk, Driver().StopScan(1));
        EXPECT_EQ("INM", Device().Commands().back());
    }
}

INSTANTIATE_TEST_SUITE_P(Transports, OrbelFaultTest, testing::Values(kScsiDriverNtScsi, kScsiDriverAspi32),
                         TransportName);
