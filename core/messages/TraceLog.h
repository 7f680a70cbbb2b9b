#pragma once

// The technical trace "BRELVANE.LOG" in the program directory, for service staff. Emptied at every
// start; opened and closed around each line so that the trace is complete on disk whatever happens
// to the process. The first file error turns tracing off for good, silently.

#include "framework/String.h"

class CFile;

class CTraceLog {
public:
    CTraceLog();
    // For the tests: a trace in another file.
    explicit CTraceLog(const CString& path);
    ~CTraceLog();
    CTraceLog(const CTraceLog&) = delete;
    CTraceLog& operator=(const CTraceLog&) = delete;

    // One line: the wsprintf-formatted text (at most 511 characters) and a line feed. The format
    // is checked at compile time, as a value of the wrong kind would crash the formatting.
    void Printf(const char* format, ...) FRAMEWORK_PRINTF(2, 3);

    bool IsOn() const { return m_pFile != nullptr; }
    const CString& GetPath() const { return *m_pPath; }

private:
    void Create();
    bool WriteLine(const char* text, int length);

    CFile* m_pFile = nullptr;
    CString* m_pPath = nullptr;
};

extern CTraceLog* g_pTraceLog;
