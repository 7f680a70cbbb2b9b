#pragma once

// The memory of a lookup-table block shared by the KOVAL II family's table layouts: each layout
// chooses the block size and packs the entries; this class owns the block.

#include "core/driver/LutBuffer.h"
#include "core/util/GlobalBlock.h"

#include <cstdint>

class CBlockLutBuffer : public CLutBuffer {
public:
    ~CBlockLutBuffer() override;
    CBlockLutBuffer(const CBlockLutBuffer&) = delete;
    CBlockLutBuffer& operator=(const CBlockLutBuffer&) = delete;

    uint32_t GetLength() override;
    uint8_t* GetData() override;
    uint32_t GetMaxValue() override { return m_nMaxValue; }
    uint32_t GetEntryCount() override { return m_nEntries; }

protected:
    // Reports message 3317 and keeps no block when the memory cannot be had.
    CBlockLutBuffer(uint32_t entries, uint32_t maxValue, uint32_t bytes);

private:
    CGlobalBlock* m_pBlock = nullptr;
    uint32_t m_nEntries;
    uint32_t m_nMaxValue;
};
