#include "tests/support/Screenshot.h"

#include <windows.h>

#include <cstdlib>
#include <string>

namespace testsupport {
namespace {

std::string BuildDirectory()
{
    const char* dir = std::getenv("BRELVANE_BUILD_DIR");
    return dir ? dir : "";
}

// Wine starts host programs given by a Z: path and passes host paths through unchanged, but a wait
// on such a process returns at once: callers poll for what the program leaves behind.
bool RunHostShell(const std::string& script)
{
    std::string commandLine = "Z:\\bin\\sh -c \"" + script + "\"";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &si, &pi))
        return false;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}

bool HostFileExists(const std::string& hostPath)
{
    std::string winPath = "Z:" + hostPath;
    for (char& c : winPath)
        if (c == '/')
            c = '\\';
    return GetFileAttributesA(winPath.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

std::string TakeScreenshot(const char* name)
{
    const std::string build = BuildDirectory();
    if (build.empty())
        return "";
    const std::string dir = build + "/screenshots";
    const std::string png = dir + "/" + name + ".png";
    // The picture appears under its name only when complete.
    if (!RunHostShell("mkdir -p " + dir + " && rm -f " + png + " && import -window root png:" + png +
                      ".part && mv " + png + ".part " + png))
        return "";
    for (int waited = 0; waited < 30000; waited += 100) {
        if (HostFileExists(png))
            return png;
        Sleep(100);
    }
    return "";
}

std::string ProgramDirectory()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir = path;
    return dir.substr(0, dir.find_last_of('\\') + 1);
}

int CountProgramFiles(const char* pattern)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((ProgramDirectory() + pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    int count = 0;
    do {
        ++count;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return count;
}

}  // namespace testsupport
