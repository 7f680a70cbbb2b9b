#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "sim/VirtualTarget.h"

namespace {

// Runs one command block against a target, with a data buffer of the given size.
struct CRun {
    CSimReply reply;
    std::vector<uint8_t> data;
};

CRun Send(CVirtualTarget& target, std::vector<uint8_t> cdb, int direction = 0, uint32_t length = 0,
          std::vector<uint8_t> out = {})
{
    CRun run;
    run.data = out.empty() ? std::vector<uint8_t>(length, 0xEE) : out;
    CSimCommand cmd;
    cmd.cdb = cdb.data();
    cmd.cdbLength = int(cdb.size());
    cmd.direction = direction;
    cmd.data = run.data.data();
    cmd.length = uint32_t(run.data.size());
    run.reply = target.Execute(cmd);
    return run;
}

const std::vector<uint8_t> kTur = {0x00, 0, 0, 0, 0, 0};

TEST(VirtualTarget, InquiryHonoursAllocationLength)
{
    CVirtualTarget target;
    target.SetInquiryImage(CVirtualTarget::MakeInquiryImage(6, "ZELK", "SCANNER ONE", "2.09", 40));
    struct Case {
        uint8_t allocation;
        uint32_t buffer;
        uint32_t expected;
    };
    const Case cases[] = {{5, 96, 5}, {36, 96, 36}, {255, 96, 40}, {96, 20, 20}, {0, 96, 0}};
    for (const Case& c : cases) {
        CRun run = Send(target, {0x12, 0, 0, 0, c.allocation, 0}, kSimDataIn, c.buffer);
        EXPECT_EQ(run.reply.status, kSimGood);
        EXPECT_EQ(run.reply.transferred, c.expected) << int(c.allocation);
        if (c.expected >= 5) {
            EXPECT_EQ(run.data[0], 6);
            EXPECT_EQ(run.data[4], 35);
        }
        if (c.expected < c.buffer) {
            EXPECT_EQ(run.data[c.expected], 0xEE) << "wrote past the allocation length";
        }
    }
    EXPECT_EQ(std::string(reinterpret_cast<char*>(target.InquiryImage().data()) + 16, 16),
              "SCANNER ONE     ");
}

TEST(VirtualTarget, FaultsHitTheCommandsTheyMatch)
{
    CVirtualTarget target;
    CSimFault busy;
    busy.kind = SimFaultKind::Busy;
    busy.opcode = 0x00;
    busy.skip = 1;
    busy.count = 2;
    target.AddFault(busy);
    CSimFault check;
    check.kind = SimFaultKind::Check;
    check.opcode = 0x17;
    check.sense = CSimSense{0x06, 0x29, 0x01};
    target.AddFault(check);

    // skip 1: the first TUR passes, the next two are busy, then the fault is spent.
    const uint8_t expected[] = {kSimGood, kSimBusy, kSimBusy, kSimGood};
    for (uint8_t status : expected)
        EXPECT_EQ(Send(target, kTur).reply.status, status);

    CRun release = Send(target, {0x17, 0, 0, 0, 0, 0});
    ASSERT_EQ(release.reply.status, kSimCheckCondition);
    EXPECT_EQ(release.reply.senseLength, 18);
    EXPECT_EQ(release.reply.sense[0], 0x70);
    EXPECT_EQ(release.reply.sense[2], 0x06);
    EXPECT_EQ(release.reply.sense[7], 10);
    EXPECT_EQ(release.reply.sense[12], 0x29);
    EXPECT_EQ(release.reply.sense[13], 0x01);

    // REQUEST SENSE hands the same bytes out once.
    CRun sense = Send(target, {0x03, 0, 0, 0, 18, 0}, kSimDataIn, 18);
    EXPECT_EQ(sense.data[2], 0x06);
    EXPECT_EQ(sense.data[12], 0x29);
    EXPECT_EQ(Send(target, {0x03, 0, 0, 0, 18, 0}, kSimDataIn, 18).data[2], 0);
}

TEST(VirtualTarget, CarrierFaults)
{
    struct Case {
        SimFaultKind kind;
        SimDisposition disposition;
        uint8_t status;
        uint32_t delay;
        bool abort;
    };
    const Case cases[] = {
        {SimFaultKind::Delay, SimDisposition::Complete, kSimGood, 150, false},
        {SimFaultKind::Hang, SimDisposition::Hang, kSimGood, 0, false},
        {SimFaultKind::NoSelect, SimDisposition::NoTarget, kSimGood, 0, false},
        {SimFaultKind::Abort, SimDisposition::Complete, kSimBusy, 0, true},
    };
    for (const Case& c : cases) {
        CVirtualTarget target;
        CSimFault fault;
        fault.kind = c.kind;
        fault.ms = 150;
        target.AddFault(fault);
        CSimReply reply = Send(target, kTur).reply;
        EXPECT_EQ(reply.disposition, c.disposition) << int(c.kind);
        EXPECT_EQ(reply.status, c.status) << int(c.kind);
        EXPECT_EQ(reply.delayMs, c.delay) << int(c.kind);
        EXPECT_EQ(reply.abortRequested, c.abort) << int(c.kind);
        EXPECT_EQ(Send(target, kTur).reply.disposition, SimDisposition::Complete) << "spent";
    }
}

TEST(VirtualTarget, BusyStretchEndsAfterItsTime)
{
    CVirtualTarget target;
    CSimFault fault;
    fault.kind = SimFaultKind::BusyFor;
    fault.ms = 200;
    target.AddFault(fault);
    EXPECT_EQ(Send(target, kTur).reply.status, kSimBusy);
    EXPECT_EQ(Send(target, kTur).reply.status, kSimBusy);
    Sleep(250);
    EXPECT_EQ(Send(target, kTur).reply.status, kSimGood);
}

TEST(VirtualTarget, TestUnitReadyScript)
{
    CVirtualTarget target;
    target.SetTestUnitReadyScript(
        {{TurStep::Busy, 2}, {TurStep::NotReady, 1}, {TurStep::Ready, 1}});
    const uint8_t expected[] = {kSimBusy, kSimBusy, kSimCheckCondition, kSimGood, kSimGood};
    for (uint8_t status : expected)
        EXPECT_EQ(Send(target, kTur).reply.status, status);
}

TEST(VirtualTarget, ForeignReservationBlocksAllButInquirySenseAndRelease)
{
    CVirtualTarget target;
    target.SetForeignReservation(true);
    EXPECT_EQ(Send(target, {0x16, 0, 0, 0, 0, 0}).reply.status, kSimReservationConflict);
    EXPECT_EQ(Send(target, kTur).reply.status, kSimReservationConflict);
    EXPECT_EQ(Send(target, {0x12, 0, 0, 0, 36, 0}, kSimDataIn, 36).reply.status, kSimGood);
    EXPECT_EQ(Send(target, {0x17, 0, 0, 0, 0, 0}).reply.status, kSimGood);
    EXPECT_FALSE(target.IsReservedByHost());

    target.SetForeignReservation(false);
    EXPECT_EQ(Send(target, {0x16, 0, 0, 0, 0, 0}).reply.status, kSimGood);
    EXPECT_TRUE(target.IsReservedByHost());
    EXPECT_EQ(Send(target, {0x17, 0, 0, 0, 0, 0}).reply.status, kSimGood);
    EXPECT_FALSE(target.IsReservedByHost());
}

TEST(VirtualTarget, ReadAndSendDispatchByDataTypeAndQualifier)
{
    CVirtualTarget target;
    target.SetReadData(0x81, 0x0203, {1, 2, 3, 4, 5, 6});
    CRun read = Send(target, {0x28, 0, 0x81, 0, 0x02, 0x03, 0, 0, 4, 0}, kSimDataIn, 8);
    EXPECT_EQ(read.reply.status, kSimGood);
    EXPECT_EQ(read.reply.transferred, 4u) << "the CDB's transfer length limits the data";
    EXPECT_EQ(read.data, (std::vector<uint8_t>{1, 2, 3, 4, 0xEE, 0xEE, 0xEE, 0xEE}));

    CRun other = Send(target, {0x28, 0, 0x81, 0, 0x02, 0x04, 0, 0, 4, 0}, kSimDataIn, 4);
    EXPECT_EQ(other.reply.status, kSimCheckCondition);
    EXPECT_EQ(other.reply.sense[2], 5);
    EXPECT_EQ(other.reply.sense[12], 0x24);

    Send(target, {0x2A, 0, 0xA2, 0, 0, 7, 0, 0, 4, 0}, kSimDataOut, 0, {0, 0, 1, 0x2C});
    EXPECT_EQ(target.SentData(0xA2, 7), (std::vector<uint8_t>{0, 0, 1, 0x2C}));
    EXPECT_TRUE(target.SentData(0xA2, 8).empty());
}

TEST(VirtualTarget, ShortTransferAndUnknownCommand)
{
    CVirtualTarget target;
    target.SetReadData(0x00, 0, std::vector<uint8_t>(16, 0x55));
    CSimFault fault;
    fault.kind = SimFaultKind::ShortTransfer;
    fault.bytes = 10;
    target.AddFault(fault);
    CRun read = Send(target, {0x28, 0, 0, 0, 0, 0, 0, 0, 16, 0}, kSimDataIn, 16);
    EXPECT_EQ(read.reply.status, kSimGood);
    EXPECT_EQ(read.reply.transferred, 10u);
    EXPECT_EQ(read.data[9], 0x55);
    EXPECT_EQ(read.data[10], 0xEE);

    CRun unknown = Send(target, {0xC5, 0, 0, 0, 0, 0});
    EXPECT_EQ(unknown.reply.status, kSimCheckCondition);
    EXPECT_EQ(unknown.reply.sense[12], 0x20);
}

TEST(VirtualTarget, LogKeepsEveryCommandInOrder)
{
    CVirtualTarget target;
    Send(target, kTur);
    Send(target, {0x2A, 0, 0x80, 0, 0, 1, 0, 0, 3, 0}, kSimDataOut, 0, {9, 8, 7});
    std::vector<std::string> expected = {"00 00 00 00 00 00", "2a 00 80 00 00 01 00 00 03 00"};
    EXPECT_EQ(target.Transcript(), expected);
    std::vector<CSimLogEntry> log = target.Log();
    EXPECT_EQ(log[1].dataOut, (std::vector<uint8_t>{9, 8, 7}));
    EXPECT_EQ(log[1].direction, kSimDataOut);
    target.ClearLog();
    EXPECT_TRUE(target.Log().empty());
}

}  // namespace
