// What a batch scan leaves in place of its output file when the scanner fails in the middle of the
// image: brelvane.exe against a virtual KOVAL II whose READ(6) delivers short, in a folder of its
// own. Message boxes of the child are answered here, so that no case waits on a box.

#include "tests/support/Screenshot.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

namespace {

BOOL CALLBACK AnswerChildBox(HWND window, LPARAM processId)
{
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char className[32] = {};
    GetClassNameA(window, className, sizeof className);
    if (owner == (DWORD)processId && strcmp(className, "#32770") == 0 && IsWindowVisible(window))
        PostMessageA(window, WM_COMMAND, IDOK, 0);
    return TRUE;
}

// Runs brelvane.exe in `folder` with `arguments`; its exit code, or 99 when it had to be ended.
DWORD RunBrelvane(const std::string& folder, const std::string& arguments)
{
    std::string command = "\"" + folder + "brelvane.exe\" " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                        &startup, &process))
        return 99;
    const DWORD start = GetTickCount();
    while (WaitForSingleObject(process.hProcess, 100) == WAIT_TIMEOUT) {
        EnumWindows(AnswerChildBox, (LPARAM)process.dwProcessId);
        if (GetTickCount() - start > 120000)
            TerminateProcess(process.hProcess, 99);
    }
    DWORD exitCode = 99;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return exitCode;
}

std::string ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool AnyFileLike(const std::string& pattern)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    FindClose(search);
    return true;
}

TEST(BatchOutputFile, AShortReadMidScanFailsAndKeepsTheOldFile)
{
    const std::string folder = testsupport::ProgramDirectory() + "e2e_output\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string bin = testsupport::ProgramDirectory() + "..\\bin\\";
    for (const char* file : {"brelvane.exe", "WNASPI32.DLL", "ENG.MSG"})
        ASSERT_TRUE(CopyFileA((bin + file).c_str(), (folder + file).c_str(), FALSE)) << file;
    DeleteFileA((folder + "ZELK2.INI").c_str());
    std::ofstream(folder + "SIMBUS.TXT", std::ios::binary)
        << "host 0\ndevice 0 0 4 kind=koval2\nfault 0 0 4 kind=short opcode=0x08 skip=3 bytes=100\n";
    SetEnvironmentVariableA("BRELVANE_SIMBUS", (folder + "SIMBUS.TXT").c_str());
    const std::string out = folder + "out.bmp";
    const std::string old = "the picture scanned yesterday";
    std::ofstream(out, std::ios::binary) << old;

    DWORD exitCode = RunBrelvane(folder, "\"rgb resppi:300 selmm:0,0,100,80 scan:" + out + "\"");

    EXPECT_NE(0u, exitCode);
    EXPECT_NE(99u, exitCode) << "brelvane.exe did not end";
    EXPECT_EQ(old, ReadWholeFile(out));
    EXPECT_FALSE(AnyFileLike(folder + "brv*.tmp")) << "a half-written image was left behind";
    SetEnvironmentVariableA("BRELVANE_SIMBUS", nullptr);
}

}  // namespace
