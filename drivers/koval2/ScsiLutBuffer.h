#pragma once

// The lookup-table block of the KOVAL II family: one byte per entry for tables of up to 256 entries,
// else two bytes per entry, high byte first, as the device reads them.

#include "core/driver/LutBuffer.h"
#include "core/util/GlobalBlock.h"

#include <cstdint>

class CScsiLutBuffer : public CLutBuffer {
public:
    // Reports message 3317 and keeps no block when the memory cannot be had.
    CScsiLutBuffer(uint32_t entries, uint32_t maxValue);
    ~CScsiLutBuffer() override;

    uint32_t GetLength() override;
    uint8_t* GetData() override;
    void LoadTable(const uint16_t* table, uint32_t count) override;
    uint32_t GetMaxValue() override { return m_nMaxValue; }
    uint32_t GetEntryCount() override { return m_nEntries; }

private:
    CGlobalBlock* m_pBlock = nullptr;
    uint32_t m_nEntries;
    uint32_t m_nMaxValue;
};
