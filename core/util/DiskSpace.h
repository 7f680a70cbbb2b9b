#pragma once

// Free and total bytes of a drive, for the disk-space check before a scan. The counts are 64-bit:
// drives beyond 4 GB are common and a 32-bit product would wrap to a small number.

#include <cstdint>

class CDiskSpace {
public:
    // A null path leaves everything 0; a path without a drive letter measures the drive of the
    // temporary directory. A drive that cannot be queried has 0 free and 0 total bytes.
    explicit CDiskSpace(const char* path);

    int SameDrive(const CDiskSpace& other) const { return m_nDrive == other.m_nDrive ? 1 : 0; }

    uint64_t m_nTotalBytes = 0;
    uint64_t m_nFreeBytes = 0;
    uint16_t m_nDrive = 0;
};
