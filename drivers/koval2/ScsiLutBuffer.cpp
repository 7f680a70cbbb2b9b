#include "drivers/koval2/ScsiLutBuffer.h"

namespace {

constexpr uint32_t kLargestByteTable = 256;

}  // namespace

CScsiLutBuffer::CScsiLutBuffer(uint32_t entries, uint32_t maxValue)
    : CBlockLutBuffer(entries, maxValue, entries <= kLargestByteTable ? entries : 2 * entries)
{
}

void CScsiLutBuffer::LoadTable(const uint16_t* table, uint32_t count)
{
    uint8_t* data = GetData();
    if (data == nullptr)
        return;
    uint32_t size = GetLength();
    bool oneByte = size <= kLargestByteTable;
    uint32_t fits = oneByte ? size : size / 2;
    if (count > fits)
        count = fits;
    for (uint32_t i = 0; i < count; ++i) {
        if (oneByte) {
            data[i] = uint8_t(table[i]);
        } else {
            data[2 * i] = uint8_t(table[i] >> 8);
            data[2 * i + 1] = uint8_t(table[i]);
        }
    }
}
