#pragma once

// The string through which every part of the program obtains a catalog text. It is a CString, so
// a text can be joined, searched and passed on like any other string.

#include "framework/String.h"

class CMsgString : public CString {
public:
    CMsgString() = default;
    CMsgString(const char* text) : CString(text) {}
    CMsgString(const CString& text) : CString(text) {}
    explicit CMsgString(int id) { LoadMessage(id); }
    virtual ~CMsgString() = default;
    CMsgString(const CMsgString&) = default;
    CMsgString& operator=(const CMsgString&) = default;

    // The catalog text of id (empty when it has none); the catalog's found flag: 0 for an id outside
    // 3000..4492 or while no catalog is loaded, else 1 (also for an empty or absent message).
    virtual int LoadMessage(int id);
};
