#include "core/devices/FoundDevice.h"

#include "core/scsi/ScsiBuffer.h"

IMPLEMENT_DYNAMIC(CFoundDevice, CObject)

CFoundDevice::CFoundDevice(CScsiInquiryBuffer* inquiry, uint8_t target, uint8_t host, uint8_t bus)
    : m_pInquiry(inquiry), m_nTarget(target), m_nHost(host), m_nBus(bus)
{
}

CFoundDevice::~CFoundDevice() { delete m_pInquiry; }

CString CFoundDevice::GetDescription() const
{
    return m_pInquiry != nullptr ? m_pInquiry->GetProduct() : CString();
}
