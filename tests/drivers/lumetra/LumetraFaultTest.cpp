// Faults of a LUMETRA scan: each ends the scan with the family's result and message, and none hangs.

#include "drivers/lumetra/LumetraDriver.h"

#include "core/util/Clock.h"
#include "tests/drivers/lumetra/LumetraBench.h"

#include <vector>

namespace {

struct FaultCase {
    const char* name;
    SimFaultKind kind;
    int opcode;
    int count;  // hits; 0 every time
    std::vector<uint8_t> sense;  // key, ASC, ASCQ for Check; a whole sense block when raw
    bool raw;
    // Through the pass-through, which repeats a command answered BUSY but reports a data-in command
    // so repeated as one that moved too little; our ASPI manager repeats a BUSY once, as real
    // managers do.
    uint16_t result;
    std::vector<int> messages;
};

std::vector<uint8_t> IncorrectLengthSense()
{
    std::vector<uint8_t> sense(18, 0);
    sense[0] = 0x70;
    sense[2] = 0x20 | 4;
    sense[7] = 10;
    return sense;
}

const std::vector<FaultCase> kFaults = {
    // Both transports try a command again after BUSY, with all its data.
    {"BusyGetWindow", SimFaultKind::Busy, 0x25, 1, {}, false, kDriverOk, {}},
    {"BusyImageRead", SimFaultKind::Busy, 0x28, 1, {}, false, kDriverOk, {}},
    {"BusyTableSend", SimFaultKind::Busy, 0x2A, 1, {}, false, kDriverOk, {}},
    {"Lamp", SimFaultKind::Check, 0x28, 1, {4, 0xB0, 0x00}, false, kDriverAborted, {3356}},
    {"Carriage", SimFaultKind::Check, 0x1B, 1, {4, 0xB0, 0x01}, false, kDriverAborted, {3357}},
    {"Calibration", SimFaultKind::Check, 0x24, 1, {2, 0xB0, 0x02}, false, kDriverAborted, {3358}},
    {"FirstCameraCode", SimFaultKind::Check, 0x28, 1, {3, 0xB0, 0x03}, false, kDriverAborted, {4052}},
    {"CameraCode", SimFaultKind::Check, 0x34, 1, {4, 0xB0, 0x0A}, false, kDriverAborted, {4059}},
    {"LastCameraCode", SimFaultKind::Check, 0x2A, 1, {9, 0xB0, 0x19}, false, kDriverAborted, {4074}},
    {"BeyondTheCameraCodes", SimFaultKind::Check, 0x28, 1, {4, 0xB0, 0x1A}, false, kDriverAborted, {3340}},
    {"InvalidCommand", SimFaultKind::Check, 0x1B, 1, {5, 0x20, 0}, false, kDriverAborted, {3342}},
    {"InvalidField", SimFaultKind::Check, 0x28, 1, {5, 0x24, 0}, false, kDriverAborted, {3343}},
    {"InvalidParameter", SimFaultKind::Check, 0x24, 1, {5, 0x26, 0}, false, kDriverAborted, {3344}},
    {"AbortedWithoutCode", SimFaultKind::Check, 0x28, 1, {11, 0, 0}, false, kDriverAborted, {3340}},
    {"HardwareWithoutCode", SimFaultKind::Check, 0x28, 1, {4, 0, 0}, false, kDriverAborted, {}},
    {"UnknownKey", SimFaultKind::Check, 0x28, 1, {13, 0xB0, 0x05}, false, kDriverFailed, {}},
    {"RecoveredOnReadyTest", SimFaultKind::Check, 0x00, 1, {1, 0xB0, 0x04}, false, kDriverOk, {4053}},
    {"UnitAttentionOnce", SimFaultKind::Check, 0x24, 1, {6, 0x29, 0}, false, kDriverOk, {}},
    {"UnitAttentionOnceOnRead", SimFaultKind::Check, 0x28, 1, {6, 0x29, 0}, false, kDriverOk, {}},
    {"UnitAttentionAlways", SimFaultKind::Check, 0x25, 0, {6, 0x29, 0}, false, kDriverAborted, {3340}},
    {"IncorrectLength", SimFaultKind::Check, 0x28, 1, IncorrectLengthSense(), true, kDriverAborted, {3351}},
    {"ShortRead", SimFaultKind::ShortTransfer, 0x28, 1, {}, false, 0x1200, {}},
    {"ImageReadDies", SimFaultKind::Hang, 0x28, 1, {}, false, 0, {}},
    {"UserCancels", SimFaultKind::Abort, 0x28, 1, {}, false, kDriverAborted, {}},
};

class LumetraFaultTest : public LumetraBench, public testing::WithParamInterface<ScsiDriverId> { };

}  // namespace

TEST_P(LumetraFaultTest, EachFaultEndsTheScanWithItsResultAndMessage)
{
    for (const FaultCase& c : kFaults) {
        SCOPED_TRACE(c.name);
        // Our ASPI manager reports a command that dies only at the driver's 30-second time-out.
        if (c.kind == SimFaultKind::Hang && GetParam() == kScsiDriverAspi32)
            continue;
        Start({}, GetParam());
        SelectPlain(kImageRgb, 150, 0, 0, 1000, 1000);
        CSimFault fault;
        fault.kind = c.kind;
        fault.opcode = c.opcode;
        fault.count = c.count;
        fault.ms = 200;
        fault.bytes = 10;
        if (c.raw)
            fault.rawSense = c.sense;
        else if (!c.sense.empty())
            fault.sense = {c.sense[0], c.sense[1], c.sense[2]};
        Device().AddFault(fault);
        m_Messages.Clear();
        uint32_t start = MillisecondClock();
        CBenchImage image = ScanFromReserve();
        EXPECT_LT(ClockElapsed(start), 5000u);
        if (c.kind == SimFaultKind::Hang)
            EXPECT_NE(kDriverOk, image.status);
        else
            EXPECT_EQ(c.result, image.status);
        EXPECT_EQ(c.messages, m_Messages.Ids());
        if (image.status == kDriverOk) {
            EXPECT_EQ(Device().LastScan().lines, image.lines) << "a whole picture";
        }
        EXPECT_FALSE(Device().IsReservedByHost());
        g_UserAbort = 0;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Transports, LumetraFaultTest, testing::Values(kScsiDriverNtScsi, kScsiDriverAspi32), TransportName);
