// A TM-R held by another host or busy: retried once a second, the user asked every period whether
// to wait on (boxes through the report recorder), a batch start giving up after its limit, a user
// abort ending the wait at once.

#include "drivers/tmr/TmrDriver.h"

#include "core/messages/MessageReporter.h"
#include "core/scan/ShellServices.h"
#include "core/scsi/ScsiChannel.h"
#include "core/scsi/ScsiTransport.h"
#include "core/util/Clock.h"
#include "tests/drivers/tmr/TmrBench.h"

#include <vector>

namespace {

constexpr int kMsgReserved = 3375;

class CStatusRecorder : public CShellServices {
public:
    void ShowScanStatus(int messageId, int32_t) override { m_Shown.push_back(messageId); }
    std::vector<int> m_Shown;
};

class TmrReserveTest : public TmrBench {
protected:
    void TearDown() override
    {
        g_UserAbort = 0;
        TmrBench::TearDown();
    }
};

// Gives RESERVE its answers in turn, then good ones: both transports retry BUSY themselves until
// their time-out, so a held or busy device reaches the driver only through one that hands the
// status straight back.
class CScriptedTransport : public CScsiTransport {
public:
    TransportResult Exec6(const uint8_t*, int, CScsiBuffer&) override
    {
        ++m_nCommands;
        return m_nNext < m_Answers.size() ? m_Answers[m_nNext++] : TransportResult(kScsiGood);
    }
    std::vector<TransportResult> m_Answers;
    size_t m_nNext = 0;
    int m_nCommands = 0;
};

}  // namespace

TEST_F(TmrReserveTest, HeldOrBusyDevicesAskEveryPeriodAndTakeTheAnswer)
{
    constexpr TransportResult kConflict = kScsiReservationConflict;
    constexpr TransportResult kBusy = kScsiBusy;
    constexpr TransportResult kCheck = kScsiCheckCondition;  // with sense bytes of zero: no sense
    struct Case {
        const char* name;
        std::vector<TransportResult> answers;
        uint32_t period;  // ms between questions
        int answer;
        uint16_t result;
        int questions;
        int reserves;
    };
    const Case kCases[] = {
        {"conflict, no question within the period", {kConflict, kConflict}, 300000, IDCANCEL, kDriverOk, 0, 3},
        {"conflict, Retry each period", {kConflict, kConflict, kConflict}, 0, IDRETRY, kDriverOk, 3, 4},
        {"conflict, Cancel", {kConflict, kConflict, kConflict}, 0, IDCANCEL, kDriverAborted, 1, 1},
        {"busy, Retry", {kBusy, kBusy}, 0, IDRETRY, kDriverOk, 2, 3},
        {"busy, Cancel", {kBusy, kBusy}, 0, IDCANCEL, kDriverAborted, 1, 1},
        {"busy then conflict, Retry", {kBusy, kConflict}, 0, IDRETRY, kDriverOk, 2, 3},
        // A sense the family's table lets pass does not make the device free.
        {"passing sense, Retry", {kCheck, kCheck}, 0, IDRETRY, kDriverOk, 2, 3},
        {"passing sense, Cancel", {kCheck, kCheck}, 0, IDCANCEL, kDriverAborted, 1, 1},
        {"selection lost", {TransportResult(0x1100)}, 0, IDRETRY, kDriverFailed, 0, 1},
    };
    StartShort();
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        CScriptedTransport transport;
        transport.m_Answers = c.answers;
        CScsiChannel channel(&transport, kScsiChannelNone);
        CScsiChannel* bus = g_pScsiChannel;
        g_pScsiChannel = &channel;
        Driver().m_nQuestionPeriodMs = c.period;
        m_Messages.Clear();
        m_Messages.SetAnswer(c.answer);
        CStatusRecorder status;
        CShellServicesScope scope(status);
        uint16_t result = Driver().ReserveDevice();
        g_pScsiChannel = bus;
        EXPECT_EQ(c.result, result);
        EXPECT_EQ(std::vector<int>(size_t(c.questions), kMsgReserved), m_Messages.Ids());
        EXPECT_EQ(c.reserves, transport.m_nCommands);
        // Every try the device refused shows the status line.
        size_t refused = c.result == kDriverOk ? c.answers.size() : size_t(c.questions);
        EXPECT_EQ(std::vector<int>(refused, kMsgReserved), status.m_Shown);
    }
}

// The virtual device held by another host: tried once a pause until it is free.
TEST_F(TmrReserveTest, TriesComeOnceAPauseApart)
{
    StartShort({{"conflict", "3"}});
    Driver().m_nRetryPauseMs = 200;
    uint32_t start = MillisecondClock();
    EXPECT_EQ(kDriverOk, Driver().ReserveDevice());
    uint32_t elapsed = ClockElapsed(start);
    EXPECT_GE(elapsed, 600u);
    EXPECT_LT(elapsed, 3000u);
    EXPECT_EQ(4u, Commands({0x16}).size());
    EXPECT_TRUE(Device().IsReservedByHost());
    EXPECT_TRUE(m_Messages.Ids().empty());
}

// A batch start has nobody to answer: it asks nothing, and after its limit the held scanner goes up
// as a reservation conflict (the scan job's "in use by another program"); a passing sense as a
// failure.
TEST_F(TmrReserveTest, ABatchStartGivesUpAfterItsLimit)
{
    struct Case {
        const char* name;
        const char* conflicts;
        uint16_t result;
    };
    const Case kCases[] = {
        {"held for ever", "100000", kScsiReservationConflict},
        {"free within the limit", "2", kDriverOk},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        StartShort({{"conflict", c.conflicts}});
        Driver().m_nRetryPauseMs = 100;
        Driver().m_nBatchReserveLimitMs = 800;
        m_Messages.Clear();
        g_bInteractive = 0;
        const uint32_t start = MillisecondClock();
        const uint16_t result = Driver().ReserveDevice();
        g_bInteractive = 1;
        EXPECT_EQ(c.result, result);
        EXPECT_LT(ClockElapsed(start), 3000u);
        EXPECT_TRUE(m_Messages.Ids().empty()) << "a batch start asks no question";
    }
}

TEST_F(TmrReserveTest, UserAbortEndsTheWaitAtOnce)
{
    StartShort({{"conflict", "100"}});
    Driver().m_nRetryPauseMs = 1000;
    CSimFault abort;
    abort.kind = SimFaultKind::Abort;
    abort.opcode = 0x16;
    abort.skip = 2;
    Device().AddFault(abort);
    uint32_t start = MillisecondClock();
    EXPECT_EQ(kDriverAborted, Driver().ReserveDevice());
    EXPECT_LT(ClockElapsed(start), 3500u);
    EXPECT_EQ(3u, Commands({0x16}).size());
    EXPECT_TRUE(m_Messages.Ids().empty());
}
