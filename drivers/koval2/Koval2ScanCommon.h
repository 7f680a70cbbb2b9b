#pragma once

// What the KOVAL II commands and data path share: the timeouts of the family's commands, its colour
// scan modes and the sample widening the user may ask for.

#include "core/settings/ScanSettings.h"
#include "framework/App.h"

#include <cstdint>

constexpr uint32_t kCommandTimeout = 30000;
constexpr uint32_t kLongTimeout = 60000;
constexpr int kSenseBytes = 32;

inline int ProfileInt(const char* key, int fallback)
{
    return (int)AfxGetApp()->GetProfileInt("General", key, fallback);
}

inline bool IsColourMode(uint32_t mode) { return mode == 3 || mode == 4; }

// Top bits of a 16-bit sample repeated into the low bits, when the user wants the samples widened
// before the colour engine sees them.
inline uint32_t SampleShift(const CScanSettings& settings)
{
    if (ProfileInt("Shiftto16beforeCMS", 0) == 0)
        return 0;
    uint32_t bits = settings.GetBitsPerChannel();
    return bits < 16 ? 16 - bits : 0;
}
