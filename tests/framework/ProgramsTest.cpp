#include "tests/support/Screenshot.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The deliverables folder, beside the tests folder of the build tree.
std::string Deliverable(const char* name)
{
    return testsupport::ProgramDirectory() + "..\\bin\\" + name;
}

std::string VersionString(const std::string& file, const char* key)
{
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(file.c_str(), &handle);
    if (size == 0)
        return "";
    std::vector<char> block(size);
    if (!GetFileVersionInfoA(file.c_str(), 0, size, block.data()))
        return "";
    WORD* translation = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", (void**)&translation, &length) || length < 4)
        return "";
    char query[64];
    wsprintfA(query, "\\StringFileInfo\\%04X%04X\\%s", translation[0], translation[1], key);
    char* value = nullptr;
    if (!VerQueryValueA(block.data(), query, (void**)&value, &length))
        return "";
    return value;
}

DWORD RunToExit(const std::string& file)
{
    std::string commandLine = "\"" + file + "\"";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return (DWORD)-1;
    CloseHandle(pi.hThread);
    DWORD exitCode = (DWORD)-2;
    if (WaitForSingleObject(pi.hProcess, 30000) == WAIT_OBJECT_0)
        GetExitCodeProcess(pi.hProcess, &exitCode);
    CloseHandle(pi.hProcess);
    return exitCode;
}

struct ProgramCase {
    const char* file;
    const char* internalName;
    bool endsByItself;   // brelvane's interactive start waits for its user: app_tests drive it
};

const ProgramCase kPrograms[] = {
    {"brelvane.exe", "Brelvane", false},
    {"VARE32.EXE", "Tone", true},   // the name brelvane starts the editor by
};

TEST(Programs, DeliverablesCarryTheirVersion)
{
    for (const ProgramCase& c : kPrograms) {
        const std::string file = Deliverable(c.file);
        SCOPED_TRACE(file);
        ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(file.c_str()));
        EXPECT_NE(std::string::npos, VersionString(file, "InternalName").find(c.internalName));
        EXPECT_EQ(0u, VersionString(file, "FileVersion").rfind("2.9.", 0));
        EXPECT_EQ("Brelvane", VersionString(file, "ProductName"));
        if (c.endsByItself) {
            EXPECT_EQ(0u, RunToExit(file));
        }
    }
}

}  // namespace
