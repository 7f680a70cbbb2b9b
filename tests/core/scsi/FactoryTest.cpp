#include <algorithm>

#include "core/scsi/ScsiBuffer.h"
#include "core/scsi/TransportFactory.h"
#include "tests/core/scsi/ScsiBench.h"

namespace {

class FactoryTest : public ScsiBench {
protected:
    void TearDown() override
    {
        DeleteScsiChannel();
        ScsiBench::TearDown();
    }

    size_t CountTrace(const std::string& text) const
    {
        std::vector<std::string> lines = TraceLines();
        return size_t(std::count(lines.begin(), lines.end(), text));
    }

    // No NT port answers and the ASPI manager is not ready.
    void FailBothTransports()
    {
        m_noPorts = std::make_unique<CSimDeviceIo>(m_emptyBus);
        SetDeviceIo(m_noPorts.get());
        m_bus.SetManagerReady(false);
    }

    CVirtualBus m_emptyBus;
    std::unique_ptr<CSimDeviceIo> m_noPorts;
};

TEST_F(FactoryTest, TryListEndsWithTheBaseTransport)
{
    FailBothTransports();
    const ScsiDriverId list[] = {kScsiDriverNtScsi, kScsiDriverAspi32, kScsiDriverRpc,
                                 kScsiDriverNone};
    ScsiDriverId id = kScsiDriverNtScsi;
    g_FirstScsiDriver = kScsiDriverNtScsi;
    g_ScsiTryIndex = 0;
    CreateTransport(&id, list);
    EXPECT_EQ(id, kScsiDriverNone);
    ASSERT_NE(g_pScsiChannel, nullptr);
    EXPECT_EQ(g_pScsiChannel->GetKind(), kScsiChannelNone);
    EXPECT_EQ(CountTrace("ASPI manager initialization failed"), 1u);
    EXPECT_EQ(CountTrace("RPC not supported"), 1u);
    CScsiFixedBuffer<6> block;
    EXPECT_EQ(g_pScsiChannel->TestUnitReady(block, 1000, 32), kScsiFailed);
    EXPECT_EQ(g_ScsiTryIndex, 3) << "the index rests on the terminating 0";

    id = kScsiDriverDosAspi;
    CreateTransport(&id, list);
    EXPECT_EQ(id, kScsiDriverNone);
    EXPECT_EQ(g_ScsiTryIndex, 3);
    EXPECT_EQ(CountTrace("Dos ASPI not supported"), 1u);
}

TEST_F(FactoryTest, FirstChoiceIsNotOpenedTwice)
{
    m_bus.SetManagerReady(false);
    const ScsiDriverId list[] = {kScsiDriverAspi32, kScsiDriverNtScsi, kScsiDriverNone};
    ScsiDriverId id = kScsiDriverAspi32;
    g_FirstScsiDriver = kScsiDriverAspi32;
    g_ScsiTryIndex = 0;
    CreateTransport(&id, list);
    EXPECT_EQ(id, kScsiDriverNtScsi);
    EXPECT_EQ(g_pScsiChannel->GetKind(), kScsiChannelNtScsi);
    EXPECT_EQ(CountTrace("ASPI manager initialization failed"), 1u);
    EXPECT_EQ(CountTrace("NT SCSI driver installed"), 1u);
    EXPECT_EQ(g_ScsiTryIndex, 2);
}

TEST_F(FactoryTest, EveryIdBuildsItsTransport)
{
    const struct {
        ScsiDriverId id;
        ScsiChannelKind kind;
        uint16_t open;
        const char* trace;
    } cases[] = {
        {kScsiDriverPnrCard, kScsiChannelPnrCard, kMsgScsiNotSupported, "PNR card not supported"},
        {kScsiDriverPczCard, kScsiChannelPczCard, kMsgScsiNotSupported, "PCZ card not supported"},
        {kScsiDriverDosAspi, kScsiChannelDosAspi, kMsgScsiNotSupported, "Dos ASPI not supported"},
        {kScsiDriverRpc, kScsiChannelRpc, kMsgScsiNotSupported, "RPC not supported"},
        {kScsiDriverWinAspi16, kScsiChannelWinAspi16, kMsgScsiNotSupported,
         "Winaspi 16 not supported"},
        {kScsiDriverNtScsi, kScsiChannelNtScsi, kMsgScsiOpened, "NT SCSI driver installed"},
        {kScsiDriverAspi32, kScsiChannelAspi32, kMsgScsiOpened, "Winaspi 32 SCSI driver installed"},
        {ScsiDriverId(77), kScsiChannelNone, kMsgScsiOpened, nullptr},
    };
    for (const auto& c : cases) {
        std::unique_ptr<CScsiTransport> transport(BuildTransport(c.id));
        EXPECT_EQ(transport->Open(), c.open) << int(c.id);
        EXPECT_EQ(ChannelKindOf(c.id), c.kind);
        if (c.trace != nullptr) {
            EXPECT_EQ(CountTrace(c.trace), 1u) << c.trace;
        }
    }
}

}  // namespace
