#pragma once

// The 3-D dialog look of the oldest Windows versions comes from "ctl3d32.dll", which the program does
// not link: the loader finds it in the system directory on first use (expanding a compressed copy
// from the search path when it is missing there) and binds its entry points by name. Every wrapper
// answers 0 when the library or the entry point is missing, so the program keeps its flat look.

#include <windows.h>

#include <cstdint>

enum Ctl3dError : uint16_t {
    kCtl3dNoError = 0,
    kCtl3dNoEntryPoint = 1,
    kCtl3dNoSystemDirectory = 2,
    kCtl3dLoadFailed = 3,
};

class CCtl3dLoader {
public:
    CCtl3dLoader() = default;
    ~CCtl3dLoader();
    CCtl3dLoader(const CCtl3dLoader&) = delete;
    CCtl3dLoader& operator=(const CCtl3dLoader&) = delete;

    BOOL SubclassDlg3d(HWND window, WORD controls);
    BOOL ColorChange();
    // Registers the instance and subclasses its later dialogs; whether an instance is registered.
    BOOL Register(HINSTANCE instance);

    BOOL IsLoaded() const { return m_bLoaded; }
    uint16_t GetError() const { return m_nError; }

private:
    typedef BOOL(WINAPI* InstanceProc)(HINSTANCE);
    typedef BOOL(WINAPI* SubclassDlgProc)(HWND, WORD);
    typedef BOOL(WINAPI* VoidProc)();

    int Load();
    void BindEntryPoints();
    bool Ready();
    BOOL CallInstance(int entry, HINSTANCE instance);

    int32_t m_bLoaded = 0;
    uint16_t m_nError = kCtl3dNoError;
    HMODULE m_hModule = nullptr;
    HINSTANCE m_hRegistered = nullptr;
    FARPROC m_pfnEntries[11] = {};
};

// Copies (and expands) one open file onto another through LZ32.dll's LZCopy; -100 when that library
// or its export is missing.
LONG CopyCompressedFile(HFILE source, HFILE destination);
