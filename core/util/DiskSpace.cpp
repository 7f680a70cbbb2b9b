#include "core/util/DiskSpace.h"

#include <windows.h>

#include <cctype>

namespace {

bool HasDriveLetter(const char* path)
{
    return path[0] != '\0' && path[1] == ':';
}

char DriveLetterOf(const char* path)
{
    if (HasDriveLetter(path))
        return path[0];
    char tempDir[MAX_PATH];
    const DWORD length = GetTempPathA(sizeof tempDir, tempDir);
    if (length > 0 && length < sizeof tempDir && HasDriveLetter(tempDir))
        return tempDir[0];
    return 'C';
}

}  // namespace

CDiskSpace::CDiskSpace(const char* path)
{
    if (!path)
        return;
    const char letter = (char)std::tolower((unsigned char)DriveLetterOf(path));
    m_nDrive = (uint16_t)(letter - 98);

    const char root[] = {letter, ':', '\\', '\0'};
    ULARGE_INTEGER available, total, totalFree;
    // The extended query reports drives beyond 2 GB correctly; the plain one caps them.
    if (!GetDiskFreeSpaceExA(root, &available, &total, &totalFree))
        return;
    m_nFreeBytes = available.QuadPart;
    m_nTotalBytes = total.QuadPart;
}
