#include "drivers/koval2/ScsiLutBuffer.h"

#include "core/messages/MessageReporter.h"

namespace {

constexpr int kMsgNoMemory = 3317;
constexpr uint32_t kLargestByteTable = 256;

}  // namespace

CScsiLutBuffer::CScsiLutBuffer(uint32_t entries, uint32_t maxValue)
    : m_nEntries(entries), m_nMaxValue(maxValue)
{
    uint32_t bytes = entries <= kLargestByteTable ? entries : 2 * entries;
    m_pBlock = new CGlobalBlock(bytes, 1);
    if (m_pBlock->m_hMem == nullptr || m_pBlock->m_pData == nullptr) {
        ReportMessage(kMsgNoMemory);
        m_pBlock->Free();
        delete m_pBlock;
        m_pBlock = nullptr;
    }
}

CScsiLutBuffer::~CScsiLutBuffer()
{
    if (m_pBlock != nullptr) {
        m_pBlock->Free();
        delete m_pBlock;
    }
}

uint32_t CScsiLutBuffer::GetLength()
{
    return m_pBlock != nullptr ? m_pBlock->m_nSize : 0;
}

uint8_t* CScsiLutBuffer::GetData()
{
    return m_pBlock != nullptr ? static_cast<uint8_t*>(m_pBlock->m_pData) : nullptr;
}

void CScsiLutBuffer::LoadTable(const uint16_t* table, uint32_t count)
{
    uint8_t* data = GetData();
    if (data == nullptr)
        return;
    bool oneByte = m_pBlock->m_nSize <= kLargestByteTable;
    uint32_t fits = oneByte ? m_pBlock->m_nSize : m_pBlock->m_nSize / 2;
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
