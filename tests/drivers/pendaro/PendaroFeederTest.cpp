// The PENDARO document feeder: its paper prompt and the three answers, the batch start's default
// answer, transparencies that never use the feeder, and sheets that feed.

#include "core/messages/MessageReporter.h"
#include "sim/TestChart.h"
#include "tests/drivers/pendaro/PendaroBench.h"

#include <windows.h>

#include <vector>

namespace {

constexpr int kMsgNoPaper = 3339;

class PendaroFeederTest : public PendaroBench {
protected:
    void SetUp() override
    {
        PendaroBench::SetUp();
        SetIni("General", "ADF", "1");
    }
};

}  // namespace

TEST_F(PendaroFeederTest, EmptyFeederPromptsAndTheAnswerDecides)
{
    struct Case {
        const char* name;
        std::vector<int> answers;
        uint16_t result;
        size_t boxes;
        bool scans;
    };
    const Case kCases[] = {
        {"Abort", {IDABORT}, kDriverAborted, 1, false},
        {"IgnoreScansFromTheGlass", {IDIGNORE}, kDriverOk, 1, true},
        {"RetryAsksAgain", {IDRETRY, IDRETRY, IDIGNORE}, kDriverOk, 3, true},
        {"RetryThenAbort", {IDRETRY, IDABORT}, kDriverAborted, 2, false},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Start({{"feeder", "0"}, {"lut", "1"}});
        Select(kImageGrey, 150, 0, 0, 2540, 2540);
        m_Messages.Clear();
        m_Messages.AnswerWith(c.answers);
        Device().ClearLog();
        CBenchImage image = ScanFromPrescan();
        EXPECT_EQ(c.result, image.status);
        EXPECT_EQ(std::vector<int>(c.boxes, kMsgNoPaper), m_Messages.Ids());
        for (unsigned style : m_Messages.Styles())
            EXPECT_EQ(unsigned(MB_ABORTRETRYIGNORE), style & MB_TYPEMASK);
        EXPECT_EQ(c.scans, !Commands({0x1B}).empty());
        if (!c.scans)
            continue;
        EXPECT_EQ(0, Device().LastScan().accessory & 0x01);
        EXPECT_TRUE(CTestChart::Render(Device().LastScan().chart) == image.bytes);
    }
}

TEST_F(PendaroFeederTest, BatchStartTakesAbortWithoutABox)
{
    Start({{"feeder", "0"}});
    Select(kImageGrey, 150, 0, 0, 2540, 2540);
    // A batch start answers every box in its log and takes the default answer.
    CMessageReporter::BoxFunction previous = g_MessageReporter.SetBoxFunction(AnswerBoxInLog);
    CBenchImage image = ScanFromPrescan();
    g_MessageReporter.SetBoxFunction(previous);
    EXPECT_EQ(kDriverAborted, image.status);
    EXPECT_EQ(kMsgNoPaper, g_MessageReporter.GetMessageId());
    EXPECT_TRUE(Commands({0x1B}).empty());
}

TEST_F(PendaroFeederTest, SheetInTheFeederScansWithoutAQuestion)
{
    Start({{"feeder", "2"}, {"lut", "1"}});
    Select(kImageGrey, 150, 0, 0, 2540, 2540);
    CBenchImage image = ScanFromPrescan();
    ASSERT_EQ(kDriverOk, image.status);
    EXPECT_TRUE(m_Messages.Ids().empty());
    EXPECT_EQ(0x01, Device().LastScan().accessory & 0x01);
    EXPECT_EQ(1, Device().FeederSheets());
    EXPECT_EQ(1, Driver().m_bFeederStatus);
    EXPECT_TRUE(CTestChart::Render(Device().LastScan().chart) == image.bytes);
}

TEST_F(PendaroFeederTest, TransparencyNeverUsesTheFeeder)
{
    Start({{"feeder", "0"}, {"transparency", "1"}, {"lut", "1"}});
    Select(kImageRgb, 150, 3000, 3000, 2540, 2540);
    m_Settings.SetParam(kParamOriginal, 1);
    CBenchImage image = ScanFromPrescan();
    ASSERT_EQ(kDriverOk, image.status);
    EXPECT_TRUE(m_Messages.Ids().empty());
    EXPECT_EQ(0x04, Device().LastScan().accessory & 0x05);
}

TEST_F(PendaroFeederTest, FeederSlots)
{
    struct Case {
        const char* name;
        CDeviceOptions device;
        int detected;
        int32_t present;
        uint16_t enabled;
        uint8_t inUse;
    };
    const Case kCases[] = {
        {"NoFeeder", {}, 0, 0, 0, 0},
        {"FittedAndEmpty", {{"feeder", "0"}}, 0, 1, 1, 1},
        {"SheetLoaded", {{"feeder", "1"}}, 1, 1, 1, 1},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Start(c.device);
        EXPECT_EQ(c.detected, Driver().DetectFeeder());
        EXPECT_EQ(c.present, Driver().IsFeederLoaded());
        EXPECT_EQ(c.present, Driver().ResetFeeder());
        EXPECT_EQ(c.enabled, Driver().EnableFeeder(1));
        EXPECT_EQ(c.inUse, Driver().m_bFeederInUse);
        EXPECT_EQ(1, Driver().EnableFeeder(0));
        EXPECT_EQ(0, Driver().m_bFeederInUse);
    }
}
