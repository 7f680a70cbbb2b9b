// The output file's checks before a scan, and the temporary files a scan writes into first: which
// names are ours, and which of ours a later run may remove.

#include "core/scan/OutputFile.h"
#include "tests/support/Screenshot.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <string>

namespace {

bool IsOnDisk(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

TEST(OutputFile, DeviceNamesWithOrWithoutExtensionOrFolder)
{
    struct Case {
        const char* path;
        bool device;
    };
    const Case kCases[] = {
        {"CON", true},
        {"con.txt", true},
        {"C:\\scans\\nul.bmp", true},
        {"prn", true},
        {"aux.zlk", true},
        {"COM1", true},
        {"com9.tif", true},
        {"LPT1", true},
        {"lpt3.a.b", true},
        {"con .bmp", true},
        {"d:/x/Con", true},
        {"console.bmp", false},
        {"com10", false},
        {"comx.bmp", false},
        {"nulx", false},
        {"C:\\con\\a.bmp", false},
        {"scan.bmp", false},
        {"", false},
    };
    for (const Case& c : kCases)
        EXPECT_EQ(c.device, IsDeviceName(c.path)) << c.path;
}

TEST(OutputFile, NamesThatCannotBecomeTheOutputAreRefused)
{
    const std::string folder = testsupport::ProgramDirectory() + "output-file-test\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    CreateDirectoryA((folder + "sub.bmp").c_str(), nullptr);
    const std::string readOnly = folder + "readonly.bmp", writable = folder + "old.bmp";
    std::ofstream(readOnly) << "kept";
    std::ofstream(writable) << "replaced";
    SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);
    char program[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, program, sizeof program);
    struct Case {
        std::string path;
        bool writable;
    };
    const Case kCases[] = {
        {folder + "new.bmp", true},
        {writable, true},
        {folder + "sub.bmp", false},
        {folder, false},
        {"\\", false},
        {readOnly, false},
        {program, false},
        {folder + "COM1.bmp", false},
        {"NUL", false},
        {"", false},
    };
    for (const Case& c : kCases)
        EXPECT_EQ(c.writable, CanOpenForWriting(c.path.c_str())) << c.path;
    SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(readOnly.c_str());
    DeleteFileA(writable.c_str());
    RemoveDirectoryA((folder + "sub.bmp").c_str());
    RemoveDirectoryA(folder.c_str());
}

TEST(TemporaryFiles, OnlyNamesWithTheirCheckValueAreOurs)
{
    const CTemporaryOwner owner = {0x1234, 0x01DB4F2A12345678ull};
    const std::string name = TemporaryFileName(owner);
    CTemporaryOwner parsed = {};
    ASSERT_TRUE(ParseTemporaryFileName(name.c_str(), parsed)) << name;
    EXPECT_EQ(owner.processId, parsed.processId);
    EXPECT_EQ(owner.startTime, parsed.startTime);
    std::string otherCheck = name;
    otherCheck[otherCheck.size() - 5] = otherCheck[otherCheck.size() - 5] == '0' ? '1' : '0';
    std::string otherOwner = name;
    otherOwner[4] = otherOwner[4] == '0' ? '1' : '0';
    for (const std::string& foreign : {otherCheck, otherOwner, std::string("brv1A2B.tmp"),
             name.substr(0, name.size() - 4) + ".bmp", "xyz" + name.substr(3), name + ".tmp"})
        EXPECT_FALSE(ParseTemporaryFileName(foreign.c_str(), parsed)) << foreign;
}

// A file of ours whose maker has ended goes; one a running process of ours writes, one of another
// program's, a name that fails its check and a folder stay.
TEST(TemporaryFiles, OnlyStaleFilesOfOursAreRemoved)
{
    const std::string folder = testsupport::ProgramDirectory() + "stale-temp-test\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    const CTemporaryOwner self = CurrentTemporaryOwner();
    ASSERT_TRUE(IsOwnerRunning(self));
    // This process's id with another start time: a process that had the id before and is gone.
    const CTemporaryOwner gone = {self.processId, self.startTime - 10000000};
    EXPECT_FALSE(IsOwnerRunning(gone));
    const std::string stale = folder + TemporaryFileName(gone);
    const std::string staleFolder = folder + TemporaryFileName({self.processId, self.startTime - 20000000});
    std::string forged = folder + TemporaryFileName({self.processId, self.startTime - 30000000});
    forged[forged.size() - 5] = forged[forged.size() - 5] == '0' ? '1' : '0';
    const std::string foreign = folder + "brv1A2B.tmp";
    for (const std::string& file : {stale, forged, foreign})
        std::ofstream(file) << "image";
    CreateDirectoryA(staleFolder.c_str(), nullptr);
    const std::string live = CreateTemporaryFile(folder);
    ASSERT_FALSE(live.empty());

    EXPECT_EQ(1, RemoveStaleTemporaryFiles(folder));
    EXPECT_FALSE(IsOnDisk(stale));
    for (const std::string& kept : {live, forged, foreign, staleFolder})
        EXPECT_TRUE(IsOnDisk(kept)) << kept;

    for (const std::string& file : {live, forged, foreign})
        DeleteFileA(file.c_str());
    RemoveDirectoryA(staleFolder.c_str());
    RemoveDirectoryA(folder.c_str());
}

TEST(TemporaryFiles, EachNewFileOfAProcessHasANameOfItsOwn)
{
    const std::string folder = testsupport::ProgramDirectory() + "new-temp-test\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string first = CreateTemporaryFile(folder), second = CreateTemporaryFile(folder);
    ASSERT_FALSE(first.empty());
    EXPECT_NE(first, second);
    EXPECT_TRUE(IsOnDisk(first) && IsOnDisk(second));
    EXPECT_EQ("", CreateTemporaryFile(folder + "no-such-folder\\"));
    DeleteFileA(first.c_str());
    DeleteFileA(second.c_str());
    RemoveDirectoryA(folder.c_str());
}

}  // namespace
