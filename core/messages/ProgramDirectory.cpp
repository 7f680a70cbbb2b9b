#include "core/messages/ProgramDirectory.h"

#include <windows.h>

CString ProgramDirectory()
{
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return CString();
    CString directory(path);
    return directory.Left(directory.ReverseFind('\\') + 1);
}
