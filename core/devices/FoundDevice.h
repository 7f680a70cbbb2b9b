#pragma once

// A scanner the bus scan found: its INQUIRY data, the model table entry that accepted it and where
// it answered.

#include "framework/Object.h"
#include "framework/String.h"

#include <cstdint>

class CScsiInquiryBuffer;

class CFoundDevice : public CObject {
    DECLARE_DYNAMIC(CFoundDevice)
public:
    // Takes ownership of the INQUIRY record.
    CFoundDevice(CScsiInquiryBuffer* inquiry, uint8_t target, uint8_t host, uint8_t bus);
    ~CFoundDevice() override;
    CFoundDevice(const CFoundDevice&) = delete;
    CFoundDevice& operator=(const CFoundDevice&) = delete;

    // The 16 characters of the product field, trailing blanks kept.
    CString GetDescription() const;

    CScsiInquiryBuffer* m_pInquiry;
    int32_t m_nModelIndex = -1;
    uint8_t m_nTarget;
    uint8_t m_nHost;
    uint8_t m_nBus;
};
