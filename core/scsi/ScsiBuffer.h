#pragma once

#include <cstdint>
#include <cstring>

#include "framework/String.h"

class CGlobalBlock;

// The data block of one SCSI command: what to transfer, and the place for the sense bytes of a
// command that ends with CHECK CONDITION. Owned by the sender; the channel and the transports only
// borrow it for the command (an overlapped read until FinishAsync).
class CScsiBuffer {
public:
    CScsiBuffer() { std::memset(m_sense, 0, sizeof m_sense); }
    virtual ~CScsiBuffer() = default;
    CScsiBuffer(const CScsiBuffer&) = delete;
    CScsiBuffer& operator=(const CScsiBuffer&) = delete;

    // Bytes to transfer, and the allocation length the commands put into the CDB.
    virtual uint32_t GetLength() = 0;
    virtual uint8_t* GetData() = 0;

    uint8_t m_sense[40];
};

// Standard INQUIRY data: type in byte 0, additional length in byte 4, identification from byte 8.
class CScsiInquiryBuffer : public CScsiBuffer {
public:
    CScsiInquiryBuffer() { std::memset(m_data, 0, sizeof m_data); }
    uint32_t GetLength() override;
    uint8_t* GetData() override { return m_data; }
    CString GetVendor() const { return Field(8, 8); }
    CString GetProduct() const { return Field(16, 16); }
    CString GetRevision() const { return Field(32, 4); }

protected:
    CString Field(int offset, int width) const;

private:
    uint8_t m_data[96];
};

// INQUIRY data with vendor-specific bytes beyond byte 95.
class CLongInquiryBuffer : public CScsiBuffer {
public:
    CLongInquiryBuffer() { std::memset(m_data, 0, sizeof m_data); }
    uint32_t GetLength() override;
    uint8_t* GetData() override { return m_data; }
    CString GetVendor() const;
    CString GetProduct() const;
    CString GetRevision() const;

private:
    uint8_t m_data[240];
};

// A zero-filled page-locked global block of a given length; GetData is null when the allocation
// failed, and points to an empty area for length 0.
class CScsiByteBuffer : public CScsiBuffer {
public:
    explicit CScsiByteBuffer(uint32_t length);
    ~CScsiByteBuffer() override;
    uint32_t GetLength() override { return m_length; }
    uint8_t* GetData() override;

private:
    uint32_t m_length;
    CGlobalBlock* m_pBlock = nullptr;
    uint8_t m_empty[4] = {};
};

// The parameter data of SET WINDOW and GET WINDOW: an 8-byte header (bytes 6-7: descriptor length,
// big-endian), then the window descriptors.
class CScsiWindowList : public CScsiByteBuffer {
public:
    CScsiWindowList(uint32_t descriptors, uint32_t descriptorLength);
    // Copies the source's bytes into descriptor slot index; false when they do not fit.
    bool SetDescriptor(uint32_t index, CScsiBuffer& source);
    uint32_t GetDescriptorLength() const { return m_descriptorLength; }

private:
    uint32_t m_descriptorLength;
};

// Memory of the caller, borrowed.
class CScsiExternalBuffer : public CScsiBuffer {
public:
    CScsiExternalBuffer(void* data, uint32_t length)
        : m_pData(static_cast<uint8_t*>(data)), m_length(length)
    {
    }
    uint32_t GetLength() override { return m_length; }
    uint8_t* GetData() override { return m_pData; }

private:
    uint8_t* m_pData;
    uint32_t m_length;
};

// A fixed number of bytes inside the object (6, 9, 10, 11, 12, 15, 40, 46, 48 or 110 in use).
template <uint32_t N>
class CScsiFixedBuffer : public CScsiBuffer {
public:
    CScsiFixedBuffer() { std::memset(m_data, 0, sizeof m_data); }
    uint32_t GetLength() override { return N; }
    uint8_t* GetData() override { return m_data; }

private:
    uint8_t m_data[N];
};
