// Faults of PENDARO and OSTRAVEL scans: each ends the scan with the family's result and message,
// and none hangs.

#include "core/util/Clock.h"
#include "tests/drivers/pendaro/PendaroBench.h"

#include <string>
#include <vector>

namespace {

struct FaultCase {
    const char* name;
    SimFaultKind kind;
    int opcode;
    int skip;
    std::vector<uint8_t> rawSense;      // vendor sense: class, then its bit fields
    uint16_t result;
    std::vector<int> messages;
};

const FaultCase kScanFaults[] = {
    // Both transports try a command again after BUSY, with all its data.
    {"BusyWindow", SimFaultKind::Busy, 0x04, 0, {}, kDriverOk, {}},
    {"GeneralClassAtStart", SimFaultKind::Check, 0x1B, 0, {0x80, 0, 0, 0}, kDriverAborted, {3340}},
    {"CommandClassWindow", SimFaultKind::Check, 0x04, 0, {0x81, 0x01, 0, 0}, kDriverAborted, {3342}},
    {"ClassWithoutMessageRead", SimFaultKind::Check, 0x08, 0, {0x82, 0x08, 0, 0}, kDriverAborted, {}},
    {"UnitClassStart", SimFaultKind::Check, 0x1B, 0, {0x83, 0x10, 0, 0}, kDriverAborted, {3401}},
    {"UnitClassSecondByteExposure", SimFaultKind::Check, 0x15, 0, {0x83, 0, 0x01, 0}, kDriverAborted, {3405}},
    {"LampClassStatus", SimFaultKind::Check, 0x0F, 0, {0x84, 0x04, 0, 0}, kDriverAborted, {3411}},
    {"OtherOfLampClassRead", SimFaultKind::Check, 0x08, 0, {0x84, 0, 0, 0}, kDriverFailed, {}},
    {"ShortRead", SimFaultKind::ShortTransfer, 0x08, 0, {}, kDriverFailed, {}},
    {"ImageReadDies", SimFaultKind::Hang, 0x08, 0, {}, kDriverFailed, {}},
    {"UserCancels", SimFaultKind::Abort, 0x00, 1, {}, kDriverAborted, {}},
};

// The calibration's own commands: the mode block, the shading status, the shading lines, the end
// of the sampling and the tables.
const FaultCase kCalibrationFaults[] = {
    {"UnitClassShadingStart", SimFaultKind::Check, 0x11, 0, {0x83, 0x10, 0, 0}, kDriverAborted, {3401}},
    {"GeneralClassShadingStatus", SimFaultKind::Check, 0x0F, 0, {0x80, 0, 0, 0}, kDriverAborted, {3340}},
    {"ShortShadingLine", SimFaultKind::ShortTransfer, 0x08, 3, {}, kDriverFailed, {}},
    {"LampClassTable", SimFaultKind::Check, 0x0C, 0, {0x84, 0x04, 0, 0}, kDriverAborted, {3411}},
    {"UserCancelsAtTheStatus", SimFaultKind::Abort, 0x0F, 0, {}, kDriverAborted, {}},
};

CSimFault FaultOf(const FaultCase& c)
{
    CSimFault fault;
    fault.kind = c.kind;
    fault.opcode = c.opcode;
    fault.skip = c.skip;
    fault.ms = 200;
    fault.bytes = 100;
    fault.rawSense = c.rawSense;
    return fault;
}

template <class TBench>
class FaultRun : public TBench {
protected:
    void TearDown() override
    {
        g_UserAbort = 0;
        TBench::TearDown();
    }

    void Run(const FaultCase& c, ScsiDriverId transport)
    {
        // Our ASPI manager reports a command that dies only at the driver's 30-second time-out.
        if (c.kind == SimFaultKind::Hang && transport == kScsiDriverAspi32)
            return;
        this->Start({{"lut", "1"}, {"shadingpixels", "64"}}, transport);
        this->Select(kImageRgb, 100, 0, 0, 2540, 2540);
        this->Device().AddFault(FaultOf(c));
        this->m_Messages.Clear();
        uint32_t start = MillisecondClock();
        CBenchImage image = this->ScanFromPrescan();
        EXPECT_LT(ClockElapsed(start), 5000u);
        EXPECT_EQ(c.result, image.status);
        EXPECT_EQ(c.messages, this->m_Messages.Ids());
        EXPECT_FALSE(this->Device().IsScanning());
        g_UserAbort = 0;
    }
};

class PendaroFaultTest : public FaultRun<PendaroBench>, public testing::WithParamInterface<ScsiDriverId> {};
class OstravelFaultTest : public FaultRun<OstravelBench>, public testing::WithParamInterface<ScsiDriverId> {};

}  // namespace

TEST_P(PendaroFaultTest, EachFaultEndsTheScanWithItsResultAndMessage)
{
    for (const FaultCase& c : kScanFaults) {
        SCOPED_TRACE(c.name);
        Run(c, GetParam());
    }
}

TEST_P(OstravelFaultTest, EachFaultEndsTheScanWithItsResultAndMessage)
{
    for (const FaultCase& c : kCalibrationFaults) {
        SCOPED_TRACE(c.name);
        Run(c, GetParam());
        EXPECT_TRUE(Commands({0x04}).empty()) << "a failed calibration sends no window";
    }
}

INSTANTIATE_TEST_SUITE_P(Transports, PendaroFaultTest, testing::Values(kScsiDriverNtScsi, kScsiDriverAspi32),
                         TransportName);
INSTANTIATE_TEST_SUITE_P(Transports, OstravelFaultTest, testing::Values(kScsiDriverNtScsi, kScsiDriverAspi32),
                         TransportName);
