#include "core/util/DirWalker.h"

#include <cstring>

namespace {

bool IsDotEntry(const char* name)
{
    return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

// Junctions and links may point back up the tree; following them could visit a directory for ever.
bool IsWalkableDirectory(const WIN32_FIND_DATAA& entry)
{
    return (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && !IsDotEntry(entry.cFileName);
}

}  // namespace

BOOL CDirWalker::Walk(const char* start, Callback callback)
{
    m_pCallback = callback;
    const DWORD length = GetCurrentDirectoryA(sizeof m_szSavedDir, m_szSavedDir);
    if (length == 0 || length >= sizeof m_szSavedDir)
        return FALSE;
    CharUpperA(m_szSavedDir);
    if (!SetCurrentDirectoryA(start))
        return FALSE;
    GetCurrentDirectoryA(sizeof m_szCurrentDir, m_szCurrentDir);
    WalkCurrent(0);
    return SetCurrentDirectoryA(m_szSavedDir) ? TRUE : FALSE;
}

void CDirWalker::WalkCurrent(int depth)
{
    // A path of MAX_PATH characters cannot hold more levels than this.
    if (depth > MAX_PATH / 2)
        return;
    char here[MAX_PATH];
    std::strcpy(here, m_szCurrentDir);

    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA("*", &entry);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        if (!IsWalkableDirectory(entry) || !SetCurrentDirectoryA(entry.cFileName))
            continue;
        GetCurrentDirectoryA(sizeof m_szCurrentDir, m_szCurrentDir);
        m_pCallback(m_szCurrentDir);
        WalkCurrent(depth + 1);
        // Back by the full path rather than "..", which leads elsewhere after a mounted folder.
        SetCurrentDirectoryA(here);
        std::strcpy(m_szCurrentDir, here);
    } while (FindNextFileA(find, &entry));
    FindClose(find);
}
