#include "drivers/koval2/Koval2Exposure.h"

#include "core/util/Numeric.h"

#include <algorithm>

CExposure ComputeExposure(uint32_t minDensity, uint32_t maxDensity, const CExposureRange& range,
                          uint32_t limit)
{
    // Absorbed fractions in 1/10000, normalised to the part of the scale the device can tell apart.
    uint32_t lo = DensityToDotArea(range.m_nDeviceMinimum);
    uint32_t hi = DensityToDotArea(range.m_nDeviceMaximum);
    uint32_t amax = std::min(DensityToDotArea(maxDensity), hi);
    amax = std::max(amax, DensityToDotArea(range.m_nMaximumFloor));
    uint32_t amin = std::max(DensityToDotArea(minDensity), lo);
    amin = std::min(amin, DensityToDotArea(range.m_nMinimumCeiling));
    uint32_t span = hi > lo ? hi - lo : 1;
    amax = (amax > lo ? amax - lo : 0) * 10000 / span;
    amin = (amin > lo ? amin - lo : 0) * 10000 / span;
    amax = std::min<uint32_t>(amax, 10000);
    amin = std::min<uint32_t>(amin, 9999);

    uint32_t e = std::min<uint32_t>(1000000 / (10000 - amin), limit);
    uint32_t stepped = ((e - 100) / 3) * 3 + 100;
    CExposure exposure;
    exposure.m_nExposure = uint8_t((e - 100) / 3 + 7);
    exposure.m_nHigh = uint8_t((((10000 - amax) * stepped / 100) * 255) / 10000);
    // e never exceeds 1000000 / (10000 - amin), so the low level stays within 10000.
    uint32_t lowLevel = (10000 - amin) * stepped / 100;
    exposure.m_nLow = uint8_t(255 - (((10000 - lowLevel) * 255) / 10000));
    return exposure;
}
