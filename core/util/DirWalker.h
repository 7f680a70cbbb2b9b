#pragma once

// Depth-first walk over the directories below a start directory, calling back with each one's full
// path (the start directory itself is not passed). The process's current directory moves through the
// tree and is restored at the end.

#include <windows.h>

class CDirWalker {
public:
    typedef void (*Callback)(const char* fullPath);

    // FALSE when the start directory cannot be entered or the former directory cannot be restored.
    BOOL Walk(const char* start, Callback callback);

private:
    void WalkCurrent(int depth);

    Callback m_pCallback = nullptr;
    char m_szSavedDir[MAX_PATH] = {};
    char m_szCurrentDir[MAX_PATH] = {};
};
