#pragma once

// The program's own version block: the title of the main window ("Brelvane 32 V2.09 - ..."), the
// company and product-version texts that name the image-mode key section, and the file version
// packed into 32 bits (major, minor, third, fourth part, one byte each, major highest).

#include "framework/String.h"

#include <cstdint>

struct CVersionTexts {
    CString productVersion;
    CString company;
    uint32_t packedVersion = 0;
};

// Appends the version suffix to title (replaced first by the InternalName when there is one, and by
// "Tarvoset" in Tarvoset mode). The program's own file when file is null.
void GetVersionStrings(CString& title, CVersionTexts& texts, const char* file = nullptr);

// The settings record's version word: major x 256 + minor.
inline uint16_t VersionWord(uint32_t packedVersion)
{
    return (uint16_t)(packedVersion >> 16);
}
