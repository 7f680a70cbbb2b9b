#include "core/util/DiskSpace.h"
#include "core/util/GlobalBlock.h"
#include "core/util/SpillFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> Pattern(uint32_t size)
{
    std::vector<uint8_t> bytes(size);
    for (uint32_t i = 0; i < size; ++i)
        bytes[i] = (uint8_t)(i * 7 + i / 251);
    return bytes;
}

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Points the temporary directory elsewhere for the life of the object.
class CTempDirOverride {
public:
    explicit CTempDirOverride(const char* dir)
    {
        char old[MAX_PATH] = {};
        m_hadOld = GetEnvironmentVariableA("TMP", old, sizeof old) > 0;
        m_old = old;
        SetEnvironmentVariableA("TMP", dir);
    }
    ~CTempDirOverride() { SetEnvironmentVariableA("TMP", m_hadOld ? m_old.c_str() : nullptr); }

private:
    bool m_hadOld;
    std::string m_old;
};

TEST(GlobalBlock, AllocLocksAndFreeIsRepeatable)
{
    CGlobalBlock block(1000, 0);
    ASSERT_NE(block.m_pData, nullptr);
    EXPECT_EQ(block.m_nSize, 1000u);
    EXPECT_GE(GlobalSize(block.m_hMem), 1000u);
    static_cast<uint8_t*>(block.m_pData)[999] = 0x5A;
    block.Free();
    EXPECT_EQ(block.m_hMem, nullptr);
    block.Free();
    EXPECT_EQ(block.m_hMem, nullptr);
}

TEST(GlobalBlock, ImpossibleSizeLeavesNoData)
{
    if (sizeof(void*) > 4)
        GTEST_SKIP() << "a 64-bit process can allocate nearly 4 GB";
    CGlobalBlock block(0xFFFFFF00u, 0);
    EXPECT_EQ(block.m_pData, nullptr);
    EXPECT_EQ(block.m_hMem, nullptr);
    block.Free();
}

// A handle the owner freed is no longer known to the system.
bool IsFreed(HGLOBAL handle) { return GlobalSize(handle) == 0; }

TEST(ScopedBlock, FreesOnEveryWayOut)
{
    HGLOBAL first = nullptr;
    HGLOBAL second = nullptr;
    {
        CScopedBlock block(100, GMEM_MOVEABLE | GMEM_ZEROINIT);
        ASSERT_NE(block.Data(), nullptr);
        EXPECT_EQ(static_cast<uint8_t*>(block.Data())[99], 0);
        first = GlobalHandle(block.Data());
        ASSERT_NE(first, nullptr);
        block.Alloc(200);
        ASSERT_NE(block.Data(), nullptr);
        second = GlobalHandle(block.Data());
        // The system may hand the freed handle out again for the new block.
        EXPECT_TRUE(IsFreed(first) || first == second) << "a new block replaces the old one";
        EXPECT_FALSE(IsFreed(second));
    }
    EXPECT_TRUE(IsFreed(second)) << "the block goes with its owner";

    CScopedBlock block(100);
    HGLOBAL third = GlobalHandle(block.Data());
    block.Free();
    EXPECT_EQ(block.Data(), nullptr);
    EXPECT_TRUE(IsFreed(third));
}

TEST(ScopedBlock, ReleaseHandsOnTheLockedBlock)
{
    HGLOBAL handle = nullptr;
    {
        CScopedBlock block(100);
        ASSERT_NE(block.Data(), nullptr);
        static_cast<uint8_t*>(block.Data())[42] = 0x5A;
        handle = block.Release();
        EXPECT_EQ(block.Data(), nullptr);
        EXPECT_EQ(block.Release(), nullptr);
    }
    ASSERT_FALSE(IsFreed(handle));
    EXPECT_EQ(GlobalFlags(handle) & GMEM_LOCKCOUNT, 1u);
    EXPECT_EQ(static_cast<uint8_t*>(GlobalLock(handle))[42], 0x5A);
    GlobalUnlock(handle);
    GlobalUnlock(handle);
    GlobalFree(handle);
}

struct SpillCase {
    const char* name;
    uint32_t constructedSize;  // decides memory or file
    bool inMemory;
};

// 0xFFFFFF00 bytes cannot be had in a 32-bit process (and are above the budget in any), which forces
// the temporary file. A size the process could allocate but that is above the budget goes to the
// file too.
const SpillCase kSpillCases[] = {
    {"memory", 300000, true},
    {"memory, the whole budget", kSpillMemoryBudget, true},
    {"file, above the budget", kSpillMemoryBudget + 1, false},
    {"file, size 0", 0, false},
    {"file, memory refused", 0xFFFFFF00u, false},
};

TEST(SpillFile, GivesBackIdenticalBytesAndLeavesNoFile)
{
    const std::vector<uint8_t> data = Pattern(300000);  // several 0xFFFE chunks
    for (const SpillCase& c : kSpillCases) {
        std::string tempName;
        {
            CSpillFile spill(c.constructedSize);
            ASSERT_TRUE(spill.IsUsable()) << c.name;
            EXPECT_EQ(spill.IsInMemory(), c.inMemory) << c.name;
            ASSERT_NE(spill.GetTempName(), nullptr) << c.name;
            tempName = spill.GetTempName();
            EXPECT_TRUE(FileExists(tempName)) << c.name;
            // Written in uneven pieces, as the output stage writes lines.
            uint32_t written = 0;
            while (written < data.size()) {
                const uint32_t piece = std::min<uint32_t>(7777, (uint32_t)data.size() - written);
                ASSERT_EQ(spill.WriteData(data.data() + written, piece), piece) << c.name;
                written += piece;
            }
            spill.Rewind();
            std::vector<uint8_t> back(data.size());
            EXPECT_EQ(spill.Read(back.data(), (UINT)back.size()), back.size()) << c.name;
            EXPECT_EQ(back, data) << c.name;

            spill.Rewind();
            EXPECT_EQ(spill.SeekBy(1000), 1000u) << c.name;
            uint8_t one = 0;
            EXPECT_EQ(spill.Read(&one, 1), 1u) << c.name;
            EXPECT_EQ(one, data[1000]) << c.name;
            EXPECT_EQ(spill.SeekTo(250000), 250000u) << c.name;
            EXPECT_EQ(spill.Read(&one, 1), 1u) << c.name;
            EXPECT_EQ(one, data[250000]) << c.name;
        }
        EXPECT_FALSE(FileExists(tempName)) << c.name;
    }
}

TEST(SpillFile, ReadAtTheEndReturnsWhatArrived)
{
    for (uint32_t size : {100u, 0u}) {
        CSpillFile spill(size);
        const std::vector<uint8_t> data = Pattern(100);
        spill.WriteData(data.data(), 100);
        spill.Rewind();
        spill.SeekBy(60);
        uint8_t back[100];
        std::memset(back, 0xEE, sizeof back);
        EXPECT_EQ(spill.Read(back, 100), 40u) << "size " << size;
        EXPECT_EQ(std::memcmp(back, data.data() + 60, 40), 0);
        EXPECT_EQ(back[40], 0xEE);
    }
}

TEST(SpillFile, MemoryStreamStaysWithinItsBlock)
{
    CSpillFile spill(10);
    ASSERT_TRUE(spill.IsInMemory());
    const std::vector<uint8_t> data = Pattern(25);
    EXPECT_EQ(spill.WriteData(data.data(), 25), 10u);
    EXPECT_EQ(spill.SeekBy(-1000), 0u);
    EXPECT_EQ(spill.SeekBy(1000), 10u);
    EXPECT_EQ(spill.SeekTo(1000), 10u);
    EXPECT_EQ(spill.SeekTo(4), 4u);
}

TEST(SpillFile, MissingTemporaryDirectoryIsAnError)
{
    CTempDirOverride temp("C:\\no-such-directory-for-spill\\");
    CSpillFile spill(0);
    EXPECT_FALSE(spill.IsUsable());
    uint8_t bytes[4] = {1, 2, 3, 4};
    EXPECT_EQ(spill.WriteData(bytes, 4), 0u);
    EXPECT_EQ(spill.Read(bytes, 4), 0u);
    EXPECT_EQ(bytes[0], 1);
}

TEST(TempFileName, CreatesAndDeletesItsFile)
{
    std::string name;
    {
        CTempFileName temp;
        ASSERT_NE(temp.GetName(), nullptr);
        name = temp.GetName();
        EXPECT_TRUE(FileExists(name));
        EXPECT_NE(name.find("pas"), std::string::npos);
    }
    EXPECT_FALSE(FileExists(name));
}

TEST(DiskSpace, CountsBeyond32Bits)
{
    CDiskSpace space("c:\\some\\file.tif");
    ULARGE_INTEGER available, total, totalFree;
    ASSERT_TRUE(GetDiskFreeSpaceExA("C:\\", &available, &total, &totalFree));
    EXPECT_EQ(space.m_nTotalBytes, total.QuadPart);
    EXPECT_GT(space.m_nTotalBytes, 0u);
    EXPECT_LE(space.m_nFreeBytes, space.m_nTotalBytes);
    EXPECT_EQ(space.m_nDrive, 1);
}

TEST(DiskSpace, DriveCodes)
{
    EXPECT_EQ(CDiskSpace("C:\\a").SameDrive(CDiskSpace("c:\\b")), 1);
    EXPECT_EQ(CDiskSpace("C:\\a").SameDrive(CDiskSpace("Z:\\b")), 0);

    char tempDir[MAX_PATH];
    GetTempPathA(sizeof tempDir, tempDir);
    const std::string tempDrive = std::string(1, tempDir[0]) + ":\\";
    EXPECT_EQ(CDiskSpace("relative\\name.bmp").SameDrive(CDiskSpace(tempDrive.c_str())), 1);
    EXPECT_EQ(CDiskSpace("\\\\server\\share\\x").SameDrive(CDiskSpace(tempDrive.c_str())), 1);

    CDiskSpace none(nullptr);
    EXPECT_EQ(none.m_nTotalBytes, 0u);
    EXPECT_EQ(none.m_nFreeBytes, 0u);
    EXPECT_EQ(none.m_nDrive, 0);
}

}  // namespace
