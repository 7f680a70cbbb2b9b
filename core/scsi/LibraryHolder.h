#pragma once

#include <windows.h>

// A DLL loaded at run time for as long as the holder lives.
class CLibraryHolder {
public:
    explicit CLibraryHolder(const char* fileName);
    virtual ~CLibraryHolder();
    CLibraryHolder(const CLibraryHolder&) = delete;
    CLibraryHolder& operator=(const CLibraryHolder&) = delete;

    // 0xFFFF when the module loaded, else the system's error code of the load.
    virtual DWORD GetError();
    FARPROC GetEntry(const char* name) const;

private:
    HMODULE m_module;
    DWORD m_error;
};
