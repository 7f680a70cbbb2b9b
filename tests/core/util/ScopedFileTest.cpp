#include "core/util/ScopedFile.h"
#include "core/util/SpillFile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

const std::string kTen = "abcdefghij";

std::vector<char> Bytes(const std::string& text) { return std::vector<char>(text.begin(), text.end()); }

// A fresh temporary file holding `content`, deleted with the fixture.
class ScopedFileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(m_temp.GetName(), nullptr); }

    const char* Path() const { return m_temp.GetName(); }

    void Fill(const std::string& content)
    {
        CScopedFile file;
        ASSERT_TRUE(file.Open(Path(), GENERIC_WRITE, CREATE_ALWAYS));
        ASSERT_TRUE(file.WriteAll(content.data(), (uint32_t)content.size()));
    }

    std::vector<char> Content()
    {
        CScopedFile file;
        std::vector<char> content;
        EXPECT_TRUE(file.Open(Path(), GENERIC_READ, OPEN_EXISTING));
        EXPECT_TRUE(file.ReadAll(content));
        return content;
    }

private:
    CTempFileName m_temp;
};

struct ReadCase {
    const char* name;
    uint32_t offset;
    uint32_t count;
    long expected;
    const char* bytes;  // what arrives in front of the untouched rest of the buffer
};

const ReadCase kReadCases[] = {
    {"inside", 2, 4, 4, "cdef"},
    {"short at the end", 6, 8, 4, "ghij"},
    {"at the end", 10, 5, 0, ""},
    {"beyond the end", 20, 5, 0, ""},
    {"nothing asked", 3, 0, 0, ""},
};

TEST_F(ScopedFileTest, ReadAtStopsAtTheEnd)
{
    Fill(kTen);
    CScopedFile file;
    ASSERT_TRUE(file.Open(Path(), GENERIC_READ, OPEN_EXISTING));
    for (const ReadCase& c : kReadCases) {
        std::string buffer(12, '#');
        EXPECT_EQ(file.ReadAt(c.offset, buffer.data(), c.count), c.expected) << c.name;
        EXPECT_EQ(buffer, c.bytes + std::string(12 - strlen(c.bytes), '#')) << c.name;
    }
}

struct WriteCase {
    const char* name;
    uint32_t offset;
    const char* bytes;
    std::string after;
};

const WriteCase kWriteCases[] = {
    {"over the start", 0, "XY", "XYcdefghij"},
    {"inside", 4, "XYZ", "abcdXYZhij"},
    {"across the end", 8, "XYZ", "abcdefghXYZ"},
    {"beyond the end leaves a gap of zeros", 12, "XY", kTen + std::string(2, '\0') + "XY"},
};

TEST_F(ScopedFileTest, WriteAtKeepsTheRestOfTheFile)
{
    for (const WriteCase& c : kWriteCases) {
        Fill(kTen);
        {
            CScopedFile file;
            ASSERT_TRUE(file.Open(Path(), GENERIC_WRITE, OPEN_EXISTING)) << c.name;
            EXPECT_TRUE(file.WriteAt(c.offset, c.bytes, (uint32_t)strlen(c.bytes))) << c.name;
        }
        EXPECT_EQ(Content(), Bytes(c.after)) << c.name;
    }
}

TEST_F(ScopedFileTest, WriteAllReplacesAndReadAllGivesItBackInChunks)
{
    std::string big(200000, '\0');  // several 0xFFFE chunks
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = (char)(i * 7 + i / 251);
    Fill(big);
    EXPECT_EQ(Content(), Bytes(big));
}

TEST_F(ScopedFileTest, ReadAllOfAnEmptyFileEmptiesTheBuffer)
{
    Fill("");
    CScopedFile file;
    ASSERT_TRUE(file.Open(Path(), GENERIC_READ, OPEN_EXISTING));
    std::vector<char> content = Bytes("stale");
    EXPECT_TRUE(file.ReadAll(content));
    EXPECT_TRUE(content.empty());
}

TEST_F(ScopedFileTest, TransfersAgainstTheHandlesAccessFail)
{
    Fill(kTen);
    char buffer[4] = {};
    std::vector<char> content;
    {
        CScopedFile file;
        ASSERT_TRUE(file.Open(Path(), GENERIC_WRITE, OPEN_EXISTING));
        EXPECT_EQ(file.ReadAt(0, buffer, sizeof buffer), -1);
        EXPECT_FALSE(file.ReadAll(content));
    }
    {
        CScopedFile file;
        ASSERT_TRUE(file.Open(Path(), GENERIC_READ, OPEN_EXISTING));
        EXPECT_FALSE(file.WriteAt(0, "XY", 2));
        EXPECT_FALSE(file.WriteAll("XY", 2));
    }
    EXPECT_EQ(Content(), Bytes(kTen));
}

TEST_F(ScopedFileTest, OpenFileIsNotShared)
{
    Fill(kTen);
    CScopedFile first;
    ASSERT_TRUE(first.Open(Path(), GENERIC_READ, OPEN_EXISTING));
    CScopedFile second;
    EXPECT_FALSE(second.Open(Path(), GENERIC_READ, OPEN_EXISTING));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_SHARING_VIOLATION);
    EXPECT_TRUE(first.Close());
    EXPECT_FALSE(first.IsOpen());
    EXPECT_TRUE(second.Open(Path(), GENERIC_READ, OPEN_EXISTING));
}

TEST_F(ScopedFileTest, MissingFileDoesNotOpen)
{
    const std::string missing = std::string(Path()) + ".missing";
    CScopedFile file;
    EXPECT_FALSE(file.Open(missing.c_str(), GENERIC_READ, OPEN_EXISTING));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(file.IsOpen());
    EXPECT_TRUE(file.Close());
}

}  // namespace
