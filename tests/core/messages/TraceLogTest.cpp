#include "core/messages/ProgramDirectory.h"
#include "core/messages/TraceLog.h"
#include "tests/core/messages/CatalogFiles.h"
#include "tests/support/Screenshot.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

namespace {

class TraceLogTest : public ::testing::Test {
protected:
    void SetUp() override { m_path = testsupport::ProgramDirectory() + "TRACE-TEST.LOG"; }
    void TearDown() override { DeleteFileA(m_path.c_str()); }
    std::string m_path;
};

TEST_F(TraceLogTest, EmptiedAtStartAndOneLineFeedPerLine)
{
    {
        std::ofstream old(m_path, std::ios::binary);
        old << "lines of the previous start\n";
    }
    CTraceLog trace(m_path.c_str());
    ASSERT_TRUE(trace.IsOn());
    EXPECT_EQ(testcatalog::ReadAll(m_path), "");
    trace.Printf("Looking for device %d", 3);
    trace.Printf("SCSI Async Status %04x, Host %02x, Target %02x\n", 0x12, 1, 5);
    trace.Printf("Adding %s", "KOVAL");
    EXPECT_EQ(testcatalog::ReadAll(m_path),
              "Looking for device 3\nSCSI Async Status 0012, Host 01, Target 05\n\nAdding KOVAL\n");
}

TEST_F(TraceLogTest, LongLineIsCutNotOverflowed)
{
    CTraceLog trace(m_path.c_str());
    const std::string longName(3000, 'n');
    trace.Printf("Adding %s", longName.c_str());
    trace.Printf("after");
    const std::string expected = ("Adding " + longName).substr(0, 511) + "\nafter\n";
    EXPECT_EQ(testcatalog::ReadAll(m_path), expected);
}

TEST_F(TraceLogTest, UncreatableFileTurnsTracingOffSilently)
{
    const std::string path = testsupport::ProgramDirectory() + "no-such-dir\\BRELVANE.LOG";
    CTraceLog trace(path.c_str());
    EXPECT_FALSE(trace.IsOn());
    trace.Printf("Scanner found on %d", 2);
    EXPECT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(TraceLogTest, FileErrorStopsTracingForGood)
{
    CTraceLog trace(m_path.c_str());
    trace.Printf("one");
    // Another process holding the file open shuts the trace out.
    HANDLE holder = CreateFileA(m_path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    trace.Printf("lost");
    CloseHandle(holder);
    EXPECT_FALSE(trace.IsOn());
    trace.Printf("never written");
    EXPECT_EQ(testcatalog::ReadAll(m_path), "one\n");
}

TEST(TraceLog, DefaultFileLivesInTheProgramDirectory)
{
    CTraceLog trace;
    EXPECT_STREQ(trace.GetPath(), ProgramDirectory() + "BRELVANE.LOG");
    EXPECT_TRUE(trace.IsOn());
}

}  // namespace
