// The driver's per-model INI values and the transfer size its transport allows.

#include "core/driver/ScannerDriver.h"
#include "core/scsi/ScsiChannel.h"
#include "framework/App.h"

namespace {

constexpr int32_t kDefaultOptimalStroke = 15;

// The model section is the current driver's product text; every call the program makes is on the
// current driver anyway.
CString ModelSection(const CScannerDriver& driver)
{
    return g_pScannerDriver != nullptr ? g_pScannerDriver->m_strProduct : driver.m_strProduct;
}

}  // namespace

uint32_t CScannerDriver::GetTransferSize()
{
    if (g_pScsiChannel == nullptr || g_pScsiChannel->GetTransport() == nullptr)
        return 0;
    return g_pScsiChannel->GetTransport()->GetMaxTransfer();
}

int32_t CScannerDriver::SaveBlocking()
{
    AfxGetApp()->WriteProfileInt(ModelSection(*this), "Blocking", m_nBlocking);
    return m_nBlocking;
}

int32_t CScannerDriver::LoadBlocking()
{
    m_nBlocking = (int32_t)AfxGetApp()->GetProfileInt(ModelSection(*this), "Blocking", 0);
    return m_nBlocking;
}

int32_t CScannerDriver::GetOptimalStroke()
{
    return (int32_t)AfxGetApp()->GetProfileInt(ModelSection(*this), "OptimalStroke", kDefaultOptimalStroke);
}
