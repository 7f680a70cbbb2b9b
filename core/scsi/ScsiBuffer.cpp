#include "core/scsi/ScsiBuffer.h"

#include <algorithm>

#include "core/util/GlobalBlock.h"

namespace {

uint32_t InquiryLength(const uint8_t* data, uint32_t capacity)
{
    return std::min<uint32_t>(uint32_t(data[4]) + 5, capacity);
}

CString InquiryField(const uint8_t* data, int offset, int width)
{
    return CString(reinterpret_cast<const char*>(data) + offset, width);
}

}  // namespace

uint32_t CScsiInquiryBuffer::GetLength()
{
    return InquiryLength(m_data, sizeof m_data);
}

CString CScsiInquiryBuffer::Field(int offset, int width) const
{
    return InquiryField(m_data, offset, width);
}

uint32_t CLongInquiryBuffer::GetLength()
{
    return InquiryLength(m_data, sizeof m_data);
}

CString CLongInquiryBuffer::GetVendor() const
{
    return InquiryField(m_data, 8, 8);
}

CString CLongInquiryBuffer::GetProduct() const
{
    return InquiryField(m_data, 16, 16);
}

CString CLongInquiryBuffer::GetRevision() const
{
    return InquiryField(m_data, 32, 4);
}

CScsiByteBuffer::CScsiByteBuffer(uint32_t length) : m_length(length)
{
    if (length == 0)
        return;
    m_pBlock = new CGlobalBlock(length, 1);
    if (m_pBlock->m_pData == nullptr) {
        delete m_pBlock;
        m_pBlock = nullptr;
        return;
    }
    std::memset(m_pBlock->m_pData, 0, length);
}

CScsiByteBuffer::~CScsiByteBuffer()
{
    if (m_pBlock != nullptr) {
        m_pBlock->Free();
        delete m_pBlock;
    }
}

uint8_t* CScsiByteBuffer::GetData()
{
    if (m_length == 0)
        return m_empty;
    return m_pBlock != nullptr ? static_cast<uint8_t*>(m_pBlock->m_pData) : nullptr;
}

CScsiWindowList::CScsiWindowList(uint32_t descriptors, uint32_t descriptorLength)
    : CScsiByteBuffer(8 + descriptors * descriptorLength), m_descriptorLength(descriptorLength)
{
    uint8_t* data = GetData();
    if (data == nullptr)
        return;
    data[6] = uint8_t(descriptorLength >> 8);
    data[7] = uint8_t(descriptorLength);
}

bool CScsiWindowList::SetDescriptor(uint32_t index, CScsiBuffer& source)
{
    uint8_t* data = GetData();
    uint64_t offset = 8 + uint64_t(index) * m_descriptorLength;
    uint32_t count = source.GetLength();
    if (data == nullptr || source.GetData() == nullptr || offset + count > GetLength())
        return false;
    std::memcpy(data + offset, source.GetData(), count);
    return true;
}
