#include "drivers/koval2/BlockLutBuffer.h"

#include "core/messages/MessageReporter.h"

namespace {

constexpr int kMsgNoMemory = 3317;

}  // namespace

CBlockLutBuffer::CBlockLutBuffer(uint32_t entries, uint32_t maxValue, uint32_t bytes)
    : m_nEntries(entries), m_nMaxValue(maxValue)
{
    m_pBlock = new CGlobalBlock(bytes, 1);
    if (m_pBlock->m_hMem == nullptr || m_pBlock->m_pData == nullptr) {
        ReportMessage(kMsgNoMemory);
        m_pBlock->Free();
        delete m_pBlock;
        m_pBlock = nullptr;
    }
}

CBlockLutBuffer::~CBlockLutBuffer()
{
    if (m_pBlock != nullptr) {
        m_pBlock->Free();
        delete m_pBlock;
    }
}

uint32_t CBlockLutBuffer::GetLength()
{
    return m_pBlock != nullptr ? m_pBlock->m_nSize : 0;
}

uint8_t* CBlockLutBuffer::GetData()
{
    return m_pBlock != nullptr ? static_cast<uint8_t*>(m_pBlock->m_pData) : nullptr;
}
