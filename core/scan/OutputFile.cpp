#include "core/scan/OutputFile.h"

#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstring>

namespace {

const char* const kDeviceNames[] = {"CON", "PRN", "AUX", "NUL", "COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7",
    "COM8", "COM9", "LPT1", "LPT2", "LPT3", "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9", "CONIN$", "CONOUT$"};

// "brv" + 8 digits of process id + 16 of start time + 4 of sequence + 8 of check + ".tmp".
constexpr size_t kPrefixLength = 3;
constexpr size_t kNameDigits = 8 + 16 + 4 + 8;
constexpr size_t kTemporaryNameLength = kPrefixLength + kNameDigits + 4;
// Mixed into the check value, so that a name made up of any other program's numbers fails it.
const char* const kTemporaryKey = "brelvane scan image, temporary";

uint32_t g_nTemporarySequence = 0;

const char* BaseName(const char* path)
{
    const char* base = path;
    for (const char* p = path; *p; ++p)
        if (*p == '\\' || *p == '/' || *p == ':')
            base = p + 1;
    return base;
}

uint32_t CheckValue(uint32_t processId, uint64_t startTime, uint32_t sequence)
{
    uint32_t hash = 2166136261u;
    auto mix = [&hash](uint8_t byte) { hash = (hash ^ byte) * 16777619u; };
    for (const char* k = kTemporaryKey; *k; ++k)
        mix((uint8_t)*k);
    for (int i = 0; i < 4; ++i)
        mix((uint8_t)(processId >> (8 * i)));
    for (int i = 0; i < 8; ++i)
        mix((uint8_t)(startTime >> (8 * i)));
    for (int i = 0; i < 4; ++i)
        mix((uint8_t)(sequence >> (8 * i)));
    return hash;
}

bool ReadHex(const char* text, size_t digits, uint64_t& value)
{
    value = 0;
    for (size_t i = 0; i < digits; ++i) {
        const char c = text[i];
        if (!std::isxdigit((unsigned char)c) || std::islower((unsigned char)c))
            return false;
        value = value * 16 + (uint64_t)(std::isdigit((unsigned char)c) ? c - '0' : c - 'A' + 10);
    }
    return true;
}

std::string NameOf(const CTemporaryOwner& owner, uint32_t sequence)
{
    char name[64];
    snprintf(name, sizeof name, "brv%08lX%016llX%04lX%08lX.tmp", (unsigned long)owner.processId,
        (unsigned long long)owner.startTime, (unsigned long)(sequence & 0xFFFF),
        (unsigned long)CheckValue(owner.processId, owner.startTime, sequence & 0xFFFF));
    return name;
}

uint64_t StartTimeOf(HANDLE process)
{
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user))
        return 0;
    return (uint64_t)created.dwHighDateTime << 32 | created.dwLowDateTime;
}

// The running program itself opens for writing on some systems; writing over it must not be tried.
bool IsThisProgram(const char* path)
{
    char program[MAX_PATH], full[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, program, sizeof program);
    if (length == 0 || length >= sizeof program)
        return false;
    const DWORD fullLength = GetFullPathNameA(path, sizeof full, full, nullptr);
    return fullLength > 0 && fullLength < sizeof full && lstrcmpiA(full, program) == 0;
}

}  // namespace

bool IsDeviceName(const char* path)
{
    std::string stem = BaseName(path);
    stem = stem.substr(0, stem.find('.'));
    // The system ignores blanks before the extension: "con .txt" is the console too.
    while (!stem.empty() && stem.back() == ' ')
        stem.pop_back();
    for (const char* device : kDeviceNames)
        if (lstrcmpiA(stem.c_str(), device) == 0)
            return true;
    return false;
}

bool CanOpenForWriting(const char* path)
{
    const size_t length = path ? strlen(path) : 0;
    if (length == 0 || path[length - 1] == '\\' || path[length - 1] == '/' || IsDeviceName(path) || IsThisProgram(path))
        return false;
    const DWORD attributes = GetFileAttributesA(path);
    // A new file: whether its folder takes one shows when the temporary file is made beside it.
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return true;
    if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))
        return false;
    const HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

std::string TemporaryFileName(const CTemporaryOwner& owner) { return NameOf(owner, 0); }

bool ParseTemporaryFileName(const char* name, CTemporaryOwner& owner)
{
    if (strlen(name) != kTemporaryNameLength || strncmp(name, "brv", kPrefixLength) != 0 ||
        lstrcmpiA(name + kPrefixLength + kNameDigits, ".tmp") != 0)
        return false;
    uint64_t processId, startTime, sequence, check;
    const char* digits = name + kPrefixLength;
    if (!ReadHex(digits, 8, processId) || !ReadHex(digits + 8, 16, startTime) || !ReadHex(digits + 24, 4, sequence) ||
        !ReadHex(digits + 28, 8, check))
        return false;
    if (check != CheckValue((uint32_t)processId, startTime, (uint32_t)sequence))
        return false;
    owner = {(uint32_t)processId, startTime};
    return true;
}

CTemporaryOwner CurrentTemporaryOwner() { return {GetCurrentProcessId(), StartTimeOf(GetCurrentProcess())}; }

bool IsOwnerRunning(const CTemporaryOwner& owner)
{
    const HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, owner.processId);
    if (process == nullptr)
        // A process we may not look at is there all the same; only one that is gone frees its file.
        return GetLastError() == ERROR_ACCESS_DENIED;
    DWORD exitCode = 0;
    const bool running =
        GetExitCodeProcess(process, &exitCode) && exitCode == STILL_ACTIVE && StartTimeOf(process) == owner.startTime;
    CloseHandle(process);
    return running;
}

int RemoveStaleTemporaryFiles(const std::string& folder)
{
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA((folder + "brv*.tmp").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    int removed = 0;
    do {
        CTemporaryOwner owner;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
            ParseTemporaryFileName(found.cFileName, owner) && !IsOwnerRunning(owner) &&
            DeleteFileA((folder + found.cFileName).c_str()))
            ++removed;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return removed;
}

std::string CreateTemporaryFile(const std::string& folder)
{
    const CTemporaryOwner owner = CurrentTemporaryOwner();
    // A name of this process still in use (a file left by an earlier scan of this run) is passed by.
    for (int attempt = 0; attempt < 0x10000; ++attempt) {
        const std::string path = folder + NameOf(owner, g_nTemporarySequence++ & 0xFFFF);
        const HANDLE file =
            CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            return path;
        }
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
            return std::string();
    }
    return std::string();
}
