#pragma once

// The standard formats a driver offers: paper and film sizes plus one user-defined entry. A class's
// static table names its formats by catalog message id; its runtime table holds the texts, clipped
// to the driver's beds.

#include "framework/String.h"

#include <cstdint>

constexpr int kFormatTableEntries = 50;

// Entry of a static table; the entry whose message id is 0 ends the table.
struct CStaticFormatEntry {
    uint16_t m_nMessageId;
    int32_t m_nKind;            // 0 reflective, 1 transparency
    int32_t m_nWidth;           // 1/100 mm
    int32_t m_nHeight;
    int32_t m_nOffsetX;         // position of the format on the bed, 1/100 mm
    int32_t m_nOffsetY;
    int32_t m_nHolder;          // film holder value, copied with the entry
    uint16_t m_nExtra;          // copied with the entry
};

// Entry of a runtime table; the first entry with an empty name and all numbers 0 ends it.
struct CFormatEntry {
    CString m_strName;
    int32_t m_nKind = 0;
    int32_t m_nWidth = 0;
    int32_t m_nHeight = 0;
    int32_t m_nOffsetX = 0;
    int32_t m_nOffsetY = 0;
    int32_t m_nHolder = 0;
    uint16_t m_nExtra = 0;
};

// A class's runtime table: the count word (always 50) and the entries.
struct CFormatTable {
    uint32_t m_nCount = kFormatTableEntries;
    CFormatEntry m_Entries[kFormatTableEntries];
};
