// The OSTRAVEL flatbed over the PENDARO driver: identification, the 15-byte exposure page, the
// resolution steps and the pixel-paired colour of its data path.

#include "drivers/koval2/OstravelDriver.h"

#include "core/scsi/ScsiBuffer.h"
#include "core/scsi/ScsiChannel.h"
#include "core/settings/ScanSettings.h"
#include "core/util/ByteOrder.h"
#include "core/util/Clock.h"
#include "drivers/koval2/Koval2Exposure.h"
#include "drivers/koval2/Koval2ScanCommon.h"
#include "drivers/koval2/LineInterleaver.h"
#include "drivers/koval2/PendaroTables.h"

#include <algorithm>
#include <cstring>
#include <new>

CFormatTable* COstravelDriver::s_pOstravelTable = nullptr;

namespace {

constexpr int kInqLookupTable = 66;
constexpr int kInqDepths = 74;
constexpr int kInqLimits = 75;
constexpr uint32_t kHundredthMmPerInch = 2540;
constexpr uint32_t kBufferStatusWait = 90000;
constexpr uint32_t kCalibrationSettleMs = 3000;

}  // namespace

CScannerDriver* CreateOstravelDriver()
{
    return new (std::nothrow) COstravelDriver;
}

COstravelDriver::~COstravelDriver()
{
    ReleaseClassTable(s_pOstravelTable);
}

int COstravelDriver::ModelInt(const char* key, int fallback) const
{
    return (int)AfxGetApp()->GetProfileInt(m_strProduct, key, fallback);
}

uint16_t COstravelDriver::Identify()
{
    uint8_t data[96] = {};
    uint16_t result = ReadInquiry(data, sizeof data);
    m_bModelSleep = ModelInt("DisableSleep", 0) != 0 ? 1 : 0;
    m_nKind = kKindOstravel;
    m_pResolutionList = kOstravelResolutions;
    if ((data[kInqLookupTable] & 0x0F) == 0)
        m_nLutEntries = 0;
    // Byte 75 bit 3: the device has no use for its higher optical resolution.
    if (data[kInqLimits] & 0x08)
        m_bHighResolution = 0;
    m_nOpticalLow = 600;
    m_nOpticalHigh = 1200;
    SetPendaroCapabilities();
    m_ReflectiveBed = {0, 0, 21590, 35560};
    m_TransparencyBed = {0, 0, 20200, 25400};
    m_nBufferSize = 256;
    m_nCapabilityFlags = kCapColourOnePass | kCapReflective | (m_bTransparencyUnit ? 0x14 : 0);
    uint8_t depths = data[kInqDepths];
    m_nFurtherFlags[2] = uint8_t(1 | (depths & 0x02) | (depths & 0x04) | ((depths & 0x08) << 1));
    return result;
}

void COstravelDriver::InitCapabilities()
{
    m_nReadyDeadline = MillisecondClock();
    m_nScanStartTimeout = kCommandTimeout;
    m_nBufferWaitMs = kBufferStatusWait;
    m_bFeederStatus = 0;
    m_bModelSleep = 0;
    delete m_pInterleaver;
    m_pInterleaver = nullptr;
    Identify();
    m_nFirmwareLowest = 302;
    m_nFirmwareHighest = 310;
    if (s_pOstravelTable == nullptr)
        s_pOstravelTable = new CFormatTable;
    m_pFormatTable = BuildFormatTable(kOstravelFormats, s_pOstravelTable);
    AllocateTransferBlocks();
}

void COstravelDriver::RebuildFormatTable()
{
    if (s_pOstravelTable != nullptr)
        RebuildKeepingUserFormat(kOstravelFormats, s_pOstravelTable);
}

uint32_t COstravelDriver::GetLineOverhead() { return 0; }

uint16_t COstravelDriver::UpdateScanGeometry()
{
    uint16_t result = UpdateSharedScanGeometry();
    // The device's line art comes through the falling table as ink: set bits are black already.
    if (result == kDriverOk)
        m_bLineArt = 1;
    return result;
}

int COstravelDriver::IsLutRising(uint32_t scanMode) { return scanMode == kImageLineArt ? 0 : 1; }

uint32_t COstravelDriver::GetReturnDelay() const
{
    int32_t bottom = g_pScanSettings->GetParam(kParamSelBottom) + g_pScanSettings->GetParam(kParamOriginY);
    return std::max<uint32_t>(2000, (uint32_t)std::max(bottom, 0) * 10 / 40);
}

uint32_t COstravelDriver::ClampResolutionX(uint32_t r)
{
    const CResolutionRange& range = m_ResolutionRange[0];
    if (g_pScanSettings == nullptr)
        return std::clamp<uint32_t>(r, range.m_nMinimum, range.m_nMaximum);
    const CScanSettings& settings = *g_pScanSettings;
    bool lineArt = settings.GetCurrentType() == kImageLineArt;
    if (!lineArt && settings.GetParam(kParamScreenRuling) != 0)
        r = 4 * (uint32_t)settings.GetParam(kParamScreenRuling);
    if (!lineArt && settings.GetParam(kParamQuality) == 1)
        return r < 76 ? 75 : r < 151 ? 150 : r < 301 ? 300 : r < 601 ? 600 : range.m_nMaximum;
    return std::clamp<uint32_t>(r, range.m_nMinimum, range.m_nMaximum);
}

void COstravelDriver::ComputeExposure(uint32_t minDensity, uint32_t maxDensity, uint8_t* page)
{
    CExposureRange range = {GetMinDensity(0), GetMaxDensity(0), GetMinDensityCeiling(0), GetMaxDensityFloor(0)};
    CExposure exposure = ::ComputeExposure(minDensity, maxDensity, range, ExposureLimit());
    page[2] = exposure.m_nExposure;
    page[6] = exposure.m_nHigh;
    page[7] = exposure.m_nLow;
}

uint16_t COstravelDriver::SendDensityMode(uint32_t, int channel, uint32_t minDensity, uint32_t maxDensity)
{
    uint16_t result = WaitReady(kLongTimeout);
    if (result != kDriverOk)
        return result;
    const CScanSettings& settings = *g_pScanSettings;
    CScsiFixedBuffer<15> page;
    uint8_t* data = page.GetData();
    data[0] = uint8_t(0x81 + channel * 0x20) | 0x08;
    data[1] = 0;
    ComputeExposure(minDensity, maxDensity, data);
    data[3] = 7;
    data[4] = uint8_t(settings.GetParam(kParamHalftonePattern));
    data[5] = uint8_t(m_nSpeed);
    PutLe16(data + 8, uint16_t(uint32_t(m_nOpticalLow) * m_nBedHeight / kHundredthMmPerInch));
    uint32_t resolution = (uint32_t)settings.GetParam(kParamResolution);
    PutLe16(data + 10, uint16_t(ClampResolutionX(resolution)));
    PutLe16(data + 12, uint16_t(ClampResolutionY(resolution)));
    data[14] = uint8_t((int(data[7]) - int(data[6])) / 2 + data[6]);
    return CheckResult(g_pScsiChannel->ModeSelect(page, m_bLongPage ? 15 : 14, kCommandTimeout, kSenseBytes), page);
}

uint16_t COstravelDriver::SetScanParameters(CScanSettings* settings)
{
    m_nSpeed = (m_nState < 0 || m_nState > 1) && settings->GetParam(kParamQuality) == 1 ? 2 : 1;
    if (ModelInt("HostCalibration", 1) != 0) {
        uint16_t result = HostShadingCalibration();
        if (result != kDriverOk)
            return result;
    }
    return CPendaroDriver::SetScanParameters(settings);
}

void COstravelDriver::AfterScanStart()
{
    // The lamp settles after a calibration before the image is read.
    if (m_bModelSleep == 0 && ModelInt("HostCalibration", 1) != 0)
        PumpMessages(kCalibrationSettleMs);
}

uint32_t COstravelDriver::PostProcessLines(uint8_t* buffer, uint32_t lines, CScanSettings* settings,
                                           int32_t* status)
{
    *status = 0;
    lines = std::min(lines, m_nHandedLines);
    uint32_t bytesPerLine = settings->m_nBytesPerLine;
    const uint8_t* block = static_cast<const uint8_t*>(m_Blocks[m_nCurrentBlock].m_pData);
    if (IsColourMode(settings->GetScanMode()) && settings->GetBitsPerChannel() <= 8) {
        // Two pixels at a time as R R G G B B; an odd last pixel comes as R G B already.
        for (uint32_t y = 0; y < lines; ++y) {
            const uint8_t* in = block + size_t(y) * bytesPerLine;
            uint8_t* out = buffer + size_t(y) * bytesPerLine;
            uint32_t x = 0;
            for (; x + 6 <= bytesPerLine; x += 6) {
                const uint8_t pair[6] = {in[x], in[x + 2], in[x + 4], in[x + 1], in[x + 3], in[x + 5]};
                std::memcpy(out + x, pair, 6);
            }
            std::memcpy(out + x, in + x, bytesPerLine - x);
        }
    } else {
        std::memcpy(buffer, block, size_t(lines) * bytesPerLine);
    }
    return FilterSpikes(buffer, lines, settings, m_nOpticalLow);
}
