// The driver's per-model INI values and the transfer size its transport allows.

#include "core/driver/ScannerDriver.h"
#include "core/scsi/ScsiChannel.h"
#include "framework/App.h"

#include <algorithm>

namespace {

constexpr int32_t kDefaultOptimalStroke = 15;
constexpr int32_t kOriginalReflective = 0;
constexpr int32_t kOriginalTransparency = 1;
constexpr uint64_t kHundredthMmPerInch = 2540;

// The model section is the current driver's product text; every call the program makes is on the
// current driver anyway.
CString ModelSection(const CScannerDriver& driver)
{
    return g_pScannerDriver != nullptr ? g_pScannerDriver->m_strProduct : driver.m_strProduct;
}

}  // namespace

// A ScanBuffer setting below one line would make every wide scan fail (not one line per transfer)
// or narrow its resolution to nothing; the widest line the device can deliver is the floor, as far
// as the access method can move it at all.
uint32_t CScannerDriver::GetTransferSize()
{
    if (g_pScsiChannel == nullptr || g_pScsiChannel->GetTransport() == nullptr)
        return 0;
    CScsiTransport* transport = g_pScsiChannel->GetTransport();
    uint32_t size = transport->GetMaxTransfer();
    uint32_t limit = transport->GetTransferLimit();
    if (size == 0 || limit == 0)
        return size;
    return std::max(size, std::min(WidestLineBytes(), limit));
}

uint32_t CScannerDriver::WidestLineBytes()
{
    constexpr uint64_t kWidestPixelBytes = 6;
    uint64_t width = std::max(GetBedWidth(kOriginalReflective), GetBedWidth(kOriginalTransparency));
    uint64_t pixels = (width * GetMaxResolutionX() + kHundredthMmPerInch - 1) / kHundredthMmPerInch;
    uint64_t bytes = pixels * kWidestPixelBytes + GetLineOverhead();
    return (uint32_t)std::min<uint64_t>(bytes, UINT32_MAX);
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
