// Flavour chains against an engine that records what it is handed: counting of shared handles,
// the slots a chain passes, combining, and what a failure does.

#include "colour/ChromabondChain.h"
#include "core/cms/CmsEngineInstance.h"
#include "core/image/Dib.h"
#include "tests/support/RefusingCmsEngine.h"
#include "tests/support/Reports.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

class CChainEngine : public CRefusingCmsEngine {
public:
    int FreeHandle(CmsHandle* handle) override
    {
        m_Freed.push_back(handle->bytes[0]);
        memset(handle, 0, sizeof *handle);
        return 0;
    }
    int LoadObject(const char* path, CmsHandle* object) override
    {
        if (std::string(path) == "missing.icc")
            return Fail(26, path);
        object->bytes[0] = (uint8_t)++m_nSerial;
        return 0;
    }
    int GetAttributes(int, void*, int, ...) override { return 0; }
    int SetAttributes(int, void*, int, ...) override { return 0; }
    int ApplyChain(int count, CmsChainEntry* entries, CCmsImageDesc*, CCmsImageDesc*) override
    {
        m_Applied.clear();
        for (int i = 0; i < count; ++i)
            m_Applied.push_back(entries[i].handle.bytes[0]);
        return m_bRefuse ? Fail(18, "grey with colour") : 0;
    }
    int CombineChain(int count, CmsChainEntry* entries, CmsHandle* combined) override
    {
        m_Applied.clear();
        for (int i = 0; i < count; ++i)
            m_Applied.push_back(entries[i].handle.bytes[0]);
        if (m_bRefuse)
            return 18;
        combined->bytes[0] = 99;
        return 0;
    }

    bool m_bRefuse = false;
    std::vector<int> m_Freed;
    std::vector<int> m_Applied;

private:
    int m_nSerial = 0;
};

}  // namespace

class ChromabondChainTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        LoadEnglishCatalog();
        g_pCmsEngine = &m_Engine;
    }
    void TearDown() override { g_pCmsEngine = nullptr; }

    CChainEngine m_Engine;
};

// One object held by a dialog list and by the chain lives until its last holder lets go.
TEST_F(ChromabondChainTest, SharedHandlesFreeTheirObjectOnTheLastRelease)
{
    struct Case {
        const char* name;
        int copies;   // further holders acquired through copies
        std::vector<bool> releases;   // what each release answers
    };
    const Case cases[] = {
        {"one holder", 0, {true, false}},
        {"two holders", 1, {false, true}},
        {"three holders", 2, {false, false, true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_Engine.m_Freed.clear();
        CChromabondHandle handle;
        ASSERT_TRUE(handle.Load("Warmer.icc"));
        std::vector<CChromabondHandle> holders(1, handle);
        for (int i = 0; i < c.copies; ++i) {
            CChromabondHandle copy = handle;
            ASSERT_TRUE(copy.Acquire("ignored"));
            holders.push_back(copy);
        }
        EXPECT_EQ(c.copies + 1, handle.Holders());
        EXPECT_EQ("Warmer.icc", handle.GetName());
        std::vector<bool> answers;
        for (size_t i = 0; i < c.releases.size(); ++i)
            answers.push_back(holders[std::min(i, holders.size() - 1)].Release());
        EXPECT_EQ(c.releases, answers);
        EXPECT_EQ(1u, m_Engine.m_Freed.size());
    }
}

TEST_F(ChromabondChainTest, AFailedLoadLeavesTheHandleEmpty)
{
    CChromabondHandle handle;
    EXPECT_FALSE(handle.Load("missing.icc"));
    EXPECT_TRUE(handle.IsEmpty());
    EXPECT_EQ(nullptr, handle.Record());
    EXPECT_FALSE(handle.Release());
}

// A second load of a handle that has its object only adds a holder: the shared object stays.
TEST_F(ChromabondChainTest, LoadingAHeldHandleAgainKeepsItsObject)
{
    CChromabondHandle handle;
    ASSERT_TRUE(handle.Load("Warmer.icc"));
    const uint8_t object = handle.Record()->bytes[0];
    ASSERT_TRUE(handle.Load("Contrast.icc"));
    EXPECT_EQ(object, handle.Record()->bytes[0]);
    EXPECT_EQ(2, handle.Holders());
}

// Entries without an object are left out of what the engine gets; the engine's refusal stops the
// caller with its reason.
TEST_F(ChromabondChainTest, ApplyPassesTheEntriesThatHaveAnObject)
{
    auto* entries = new CChromabondHandle[3];
    ASSERT_TRUE(entries[0].Load("Warmer.icc"));
    ASSERT_TRUE(entries[2].Load("Contrast.icc"));
    CChromabondChain chain;
    chain.Set(entries, 3);
    CCmsImageDesc source = {}, destination = {};
    EXPECT_TRUE(chain.Apply(source, destination));
    EXPECT_EQ((std::vector<int>{1, 2}), m_Engine.m_Applied);
    EXPECT_FALSE(chain.IsChanged());
    CReportRecorder reports;
    m_Engine.m_bRefuse = true;
    EXPECT_FALSE(chain.Apply(source, destination));
    EXPECT_EQ(std::vector<int>{3507}, reports.Ids());
    for (int i = 0; i < 3; ++i)
        entries[i].Release();
}

TEST_F(ChromabondChainTest, AnEmptyChainCallsNothing)
{
    CChromabondChain chain;
    CCmsImageDesc source = {}, destination = {};
    EXPECT_TRUE(chain.Apply(source, destination));
    CDib24 dib(4, 4, 300);
    std::vector<uint8_t> other(dib.m_nStride * 4);
    EXPECT_EQ(dib.m_pBits, chain.ApplyToDib(dib, dib.m_pBits, other.data()));
    EXPECT_TRUE(m_Engine.m_Applied.empty());
}

// A bitmap the engine cannot convert is shown as it was.
TEST_F(ChromabondChainTest, ABitmapTheEngineRefusesKeepsItsBits)
{
    auto* entries = new CChromabondHandle[1];
    ASSERT_TRUE(entries[0].Load("Warmer.icc"));
    CChromabondChain chain;
    chain.Set(entries, 1);
    CDib24 dib(4, 4, 300);
    std::vector<uint8_t> other(dib.m_nStride * 4);
    EXPECT_EQ(other.data(), chain.ApplyToDib(dib, dib.m_pBits, other.data()));
    CReportRecorder reports;
    m_Engine.m_bRefuse = true;
    EXPECT_EQ(dib.m_pBits, chain.ApplyToDib(dib, dib.m_pBits, other.data()));
    EXPECT_EQ(std::vector<int>{3507}, reports.Ids());
    entries[0].Release();
}

// Combining one entry still asks the engine and leaves one owned entry holding the result.
TEST_F(ChromabondChainTest, CombineLeavesOneOwnedEntry)
{
    auto* entries = new CChromabondHandle[1];
    ASSERT_TRUE(entries[0].Load("Warmer.icc"));
    CChromabondHandle kept = entries[0];
    CChromabondChain chain;
    chain.Set(entries, 1);
    ASSERT_TRUE(chain.Combine());
    EXPECT_EQ(std::vector<int>{1}, m_Engine.m_Applied);
    ASSERT_EQ(1, chain.GetCount());
    EXPECT_TRUE(chain.OwnsEntries());
    EXPECT_EQ(99, chain.GetEntries()[0].Record()->bytes[0]);
    chain.Clear();
    EXPECT_EQ(std::vector<int>{99}, m_Engine.m_Freed);
    EXPECT_FALSE(chain.OwnsEntries());
    EXPECT_TRUE(kept.Release());
}

TEST_F(ChromabondChainTest, ANameIsTheFileNameWithoutFolderOrExtension)
{
    CChromabondChain chain;
    chain.SetName("C:\\MIREVANT\\CCORR\\thelast\\lastrgb.flv");
    EXPECT_EQ("lastrgb", chain.GetName());
    chain.SetName(std::string(300, 'a').c_str());
    EXPECT_EQ(255u, chain.GetName().size());
    chain.SetName("");
    EXPECT_EQ("", chain.GetName());
}
