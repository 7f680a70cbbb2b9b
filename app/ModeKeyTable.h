#pragma once

// The per-image-type invert masks and byte-swap flags in the INI file, kept in a section named after
// the program's version texts so that every program version has its own set.

#include "framework/String.h"

#include <cstdint>

class CModeKeyTable {
public:
    CModeKeyTable() : m_strDefaultMask("00000000") {}

    CString SectionName() const;
    static const char* ModeKeyName(int32_t imageType);
    static const char* SwapKeyName(int32_t imageType);

    // Whether the mask of the type has a bit of the current driver's kind.
    BOOL IsModeEnabled(int32_t imageType) const;
    void SetModeEnabled(int32_t imageType, BOOL on);
    int GetSwapBytes(int32_t imageType) const;
    void SetSwapBytes(int32_t imageType, int value);
    // Makes all five mask keys exist with their current or default values.
    void WriteAll();

    void SetCompany(const char* text) { m_strCompany = text; }
    void SetTitle(const char* text) { m_strTitle = text; }
    void SetProductVersion(const char* text) { m_strProductVersion = text; }
    void SetExtra(const char* text) { m_strExtra = text; }

private:
    uint32_t ReadMask(int32_t imageType) const;
    void WriteMask(int32_t imageType, uint32_t mask);

    CString m_strCompany;
    CString m_strTitle;
    CString m_strProductVersion;
    CString m_strExtra;
    CString m_strDefaultMask;
};

extern CModeKeyTable* g_pModeKeyTable;
