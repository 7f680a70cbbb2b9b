#pragma once

// Exposure of one colour channel from the density settings, as the KOVAL II command set takes it in
// its exposure page: an exposure (integration time) byte and the high and low levels.

#include <cstdint>

struct CExposureRange {
    uint32_t m_nDeviceMinimum;      // densities in 1/1000 D of the current original kind
    uint32_t m_nDeviceMaximum;
    uint32_t m_nMinimumCeiling;     // the highest minimum density the setting may take
    uint32_t m_nMaximumFloor;       // the lowest maximum density
};

struct CExposure {
    uint8_t m_nExposure;
    uint8_t m_nHigh;
    uint8_t m_nLow;
};

// limit: the largest exposure value (121 grey, 220 quality, 150 speed for KOVAL II).
CExposure ComputeExposure(uint32_t minDensity, uint32_t maxDensity, const CExposureRange& range,
                          uint32_t limit);
