#pragma once

// The INQUIRY data of the older ZANDOR family, which does not follow the standard layout: the
// model table reads its signature and names, the family's driver the rest.

#include "core/scsi/ScsiBuffer.h"

#include <cstdint>

constexpr uint32_t kZandorInquiryLength = 55;
constexpr int kZandorRevisionLength = 8;

class CZandorInquiryBlock : public CScsiBuffer {
public:
    CZandorInquiryBlock() { memset(m_data, 0, sizeof m_data); }
    uint32_t GetLength() override { return kZandorInquiryLength; }
    uint8_t* GetData() override { return m_data; }

    // "ZELK0" at bytes 36-40.
    bool HasZelkSignature() const;
    // Always "ZELK    " (8 characters).
    const char* GetVendor() const { return "ZELK    "; }
    // The display name by the model code at byte 41.
    const char* GetModelName() const;
    // The 8-character revision text of bytes 20-27, zero-terminated into text.
    void GetRevision(char (&text)[kZandorRevisionLength + 1]) const;

private:
    uint8_t m_data[kZandorInquiryLength];
};
