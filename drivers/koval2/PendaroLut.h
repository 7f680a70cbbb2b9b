#pragma once

// The lookup-table block of the PENDARO and OSTRAVEL devices: one byte per entry when the table's
// largest value is 255, else two bytes per entry in the machine's byte order (little-endian), as
// these devices read them.

#include "core/driver/LutBuffer.h"
#include "core/util/GlobalBlock.h"

#include <cstdint>

class CPendaroLut : public CLutBuffer {
public:
    // Reports message 3317 and keeps no block when the memory cannot be had.
    CPendaroLut(uint32_t entries, uint16_t maxValue);
    ~CPendaroLut() override;
    CPendaroLut(const CPendaroLut&) = delete;
    CPendaroLut& operator=(const CPendaroLut&) = delete;

    uint32_t GetLength() override;
    uint8_t* GetData() override;
    void LoadTable(const uint16_t* table, uint32_t count) override;
    uint32_t GetMaxValue() override { return m_nMaxValue; }
    uint32_t GetEntryCount() override { return m_nEntries; }

private:
    CGlobalBlock* m_pBlock = nullptr;
    uint32_t m_nEntries;
    uint16_t m_nMaxValue;
};
