#include "drivers/koval2/PendaroLut.h"

#include "core/messages/MessageReporter.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int kMsgNoMemory = 3317;

}  // namespace

CPendaroLut::CPendaroLut(uint32_t entries, uint16_t maxValue) : m_nEntries(entries), m_nMaxValue(maxValue)
{
    uint32_t bytes = maxValue == 255 ? entries : 2u * entries;
    m_pBlock = new CGlobalBlock(bytes, 1);
    if (m_pBlock->m_hMem == nullptr || m_pBlock->m_pData == nullptr) {
        ReportMessage(kMsgNoMemory);
        m_pBlock->Free();
        delete m_pBlock;
        m_pBlock = nullptr;
    }
}

CPendaroLut::~CPendaroLut()
{
    if (m_pBlock != nullptr) {
        m_pBlock->Free();
        delete m_pBlock;
    }
}

uint32_t CPendaroLut::GetLength()
{
    return m_pBlock != nullptr ? m_pBlock->m_nSize : 0;
}

uint8_t* CPendaroLut::GetData()
{
    return m_pBlock != nullptr ? static_cast<uint8_t*>(m_pBlock->m_pData) : nullptr;
}

void CPendaroLut::LoadTable(const uint16_t* table, uint32_t count)
{
    uint8_t* data = GetData();
    if (data == nullptr)
        return;
    if (m_nMaxValue == 255) {
        count = std::min(count, m_pBlock->m_nSize);
        for (uint32_t i = 0; i < count; ++i)
            data[i] = uint8_t(std::min<uint16_t>(table[i], 255));
        return;
    }
    count = std::min(count, m_pBlock->m_nSize / 2);
    std::memcpy(data, table, 2u * count);
}
