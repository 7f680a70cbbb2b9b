// Device faults during a TELMARI scan: each ends with the result and message of the family's
// sense table, or is ridden out, and never hangs; the device is released every time.

#include "drivers/telmari/TelmariDriver.h"

#include "core/util/Clock.h"
#include "tests/drivers/support/JobBench.h"
#include "tests/drivers/telmari/TelmariBench.h"

#include <string>
#include <vector>

namespace {

class TelmariFaultTest : public TelmariBench { };

class TelmariJobFaultTest : public JobBench<TelmariBench> {
protected:
    TelmariJobFaultTest() : JobBench("telmari_fault.bmp") { }
};

CSimFault Skipping(CSimFault fault, int skip)
{
    fault.skip = skip;
    return fault;
}

}  // namespace

TEST_F(TelmariFaultTest, FaultsEndTheScanWithResultAndMessage)
{
    struct Case {
        const char* name;
        const char* model;
        int32_t type;
        CSimFault fault;
        uint16_t result;
        std::vector<int> messages;
        int scans;  // SCAN commands the device saw; -1 as many as the deadline allows
        ScsiDriverId transport = kScsiDriverNtScsi;
        int32_t original = 0;   // 2 for a negative, which sends the film values after the window
    };
    CSimFault hang = Skipping(TelmariFault(SimFaultKind::Hang, 0x28), 1);  // the image read, after the information
    hang.ms = 1500;
    CSimFault shortRead = Skipping(TelmariFault(SimFaultKind::ShortTransfer, 0x28), 1);
    shortRead.bytes = 100;
    const Case kCases[] = {
        // The transport repeats a BUSY command with all its data.
        {"busy SCAN a while", "telmari", kImageGrey, TelmariFault(SimFaultKind::Busy, 0x1B, 2), 0, {}, 3},
        {"busy SCAN a while through ASPI", "telmari", kImageGrey, TelmariFault(SimFaultKind::Busy, 0x1B, 2), 0, {}, 3,
            kScsiDriverAspi32},
        // The next pass's SCAN stays busy: given up at the deadline.
        {"busy SCAN for good", "telmari", kImageRgb, Skipping(TelmariFault(SimFaultKind::Busy, 0x1B, 0), 1), 255, {},
            -1},
        {"user abort while SCAN is busy", "telmari", kImageRgb, Skipping(TelmariFault(SimFaultKind::Abort, 0x1B), 1),
            252, {}, 2},
        {"busy buffer status", "ultra", kImageGrey, TelmariFault(SimFaultKind::Busy, 0x34, 3), 0, {}, 1},
        {"user abort while waiting for data", "telmari", kImageGrey, TelmariFault(SimFaultKind::Abort, 0x34), 252, {},
            1},
        {"window refused", "telmari", kImageGrey, TelmariCheck(0x24, 5, 0x2600), 252, {3442}, 0},
        // The first film value, after the one table: a scan of other film values would be wrong.
        {"film value refused", "telmari", kImageGrey, Skipping(TelmariCheck(0x2A, 5, 0x2600), 1), 252, {3442}, 0,
            kScsiDriverNtScsi, 2},
        {"film value refused by the ULTRA", "ultra", kImageGrey, Skipping(TelmariCheck(0x2A, 5, 0x2600), 1), 252,
            {3442}, 0, kScsiDriverNtScsi, 2},
        {"lamp failure on SCAN", "ultra", kImageGrey, TelmariCheck(0x1B, 4, 0x8041), 252, {3443}, 1},
        {"cover open on the read", "telmari", kImageGrey, Skipping(TelmariCheck(0x28, 2, 0x803C), 1), 252, {3453}, 1},
        {"recovered error on the read", "telmari", kImageGrey, Skipping(TelmariCheck(0x28, 1, 0x8001), 1), 0, {3438},
            1},
        {"unit attention once on SCAN", "telmari", kImageGrey, TelmariCheck(0x1B, 6, 0x2900), 0, {}, 2},
        {"unit attention twice on SCAN", "telmari", kImageGrey, TelmariCheck(0x1B, 6, 0x2900, 2), 252, {3438}, 2},
        {"unit attention once on the table", "plus", kImageGrey, TelmariCheck(0x2A, 6, 0x2900), 0, {}, 1},
        // The job reports these as a failed scan (3334).
        {"a read that never answers", "telmari", kImageGrey, hang, 255, {}, 1},
        {"short read", "telmari", kImageGrey, shortRead, 0x1200, {}, 1},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Start({{"model", c.model}}, c.transport);
        ShortenWaits(1500, 5000);
        m_Messages.Clear();
        g_UserAbort = 0;
        Select(c.type, 100, 0, 0, 1270, 1270);
        m_Settings.SetParam(kParamOriginal, c.original);
        Device().AddFault(c.fault);
        Device().ClearLog();
        uint32_t start = MillisecondClock();
        CBenchImage image = ScanFromReserve();
        EXPECT_EQ(c.result, image.status);
        EXPECT_EQ(c.messages, m_Messages.Ids());
        if (c.scans >= 0) {
            EXPECT_EQ(size_t(c.scans), EntriesWithOpcode(Device(), 0x1B).size());
        }
        EXPECT_LT(ClockElapsed(start), 8000u);
        EXPECT_FALSE(Device().IsScanning());
        EXPECT_EQ(1u, EntriesWithOpcode(Device(), 0x17).size()) << "released";
    }
    g_UserAbort = 0;
}

TEST_F(TelmariJobFaultTest, JobReportsTheFailureAndWritesNoFile)
{
    struct Case {
        const char* name;
        CSimFault fault;
        uint16_t result;
        std::vector<int> messages;
    };
    CSimFault shortRead = Skipping(TelmariFault(SimFaultKind::ShortTransfer, 0x28), 1);
    shortRead.bytes = 100;
    const Case kCases[] = {
        {"window refused", TelmariCheck(0x24, 5, 0x2600), 252, {3442}},
        // The reader's read failure, then the job's scan failure.
        {"short read", shortRead, 252, {3335}},
        {"hardware error on the second pass", Skipping(TelmariCheck(0x1B, 4, 0x8100), 1), 252, {3450}},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Start();
        m_Messages.Clear();
        SelectForJob(kImageRgb, 100, 0, 500, 500, 2540, 1270);
        Device().AddFault(c.fault);
        EXPECT_EQ(c.result, ScanToFile());
        EXPECT_EQ(c.messages, m_Messages.Ids());
        EXPECT_TRUE(ReadOutput().empty()) << "no file of a failed scan";
        EXPECT_FALSE(Device().IsScanning());
    }
}
