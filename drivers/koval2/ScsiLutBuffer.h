#pragma once

// The lookup-table block of the KOVAL II family: one byte per entry for tables of up to 256 entries,
// else two bytes per entry, high byte first, as the device reads them.

#include "drivers/koval2/BlockLutBuffer.h"

#include <cstdint>

class CScsiLutBuffer : public CBlockLutBuffer {
public:
    // Reports message 3317 and keeps no block when the memory cannot be had.
    CScsiLutBuffer(uint32_t entries, uint32_t maxValue);

    void LoadTable(const uint16_t* table, uint32_t count) override;
};
