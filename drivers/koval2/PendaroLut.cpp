#include "drivers/koval2/PendaroLut.h"

#include <algorithm>
#include <cstring>

CPendaroLut::CPendaroLut(uint32_t entries, uint16_t maxValue)
    : CBlockLutBuffer(entries, maxValue, maxValue == 255 ? entries : 2u * entries)
{
}

void CPendaroLut::LoadTable(const uint16_t* table, uint32_t count)
{
    uint8_t* data = GetData();
    if (data == nullptr)
        return;
    if (GetMaxValue() == 255) {
        count = std::min(count, GetLength());
        for (uint32_t i = 0; i < count; ++i)
            data[i] = uint8_t(std::min<uint16_t>(table[i], 255));
        return;
    }
    count = std::min(count, GetLength() / 2);
    std::memcpy(data, table, 2u * count);
}
