#pragma once

// The lookup-table block of the PENDARO and OSTRAVEL devices: one byte per entry when the table's
// largest value is 255, else two bytes per entry in the machine's byte order (little-endian), as
// these devices read them.

#include "drivers/koval2/BlockLutBuffer.h"

#include <cstdint>

class CPendaroLut : public CBlockLutBuffer {
public:
    // Reports message 3317 and keeps no block when the memory cannot be had.
    CPendaroLut(uint32_t entries, uint16_t maxValue);

    void LoadTable(const uint16_t* table, uint32_t count) override;
};
