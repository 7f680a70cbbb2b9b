// The commands of a KOVAL II family scan: reservation, window, exposure and bit-depth blocks, start,
// buffer status and readiness waits, stop with the carriage's return delay, and the vendor sense
// format.

#include "drivers/koval2/Koval2Driver.h"

#include "core/messages/MessageReporter.h"
#include "core/scsi/ScsiBuffer.h"
#include "core/scsi/ScsiChannel.h"
#include "core/settings/ScanSettings.h"
#include "core/util/ByteOrder.h"
#include "core/util/Clock.h"
#include "core/util/SystemUtil.h"
#include "drivers/koval2/Koval2Exposure.h"
#include "drivers/koval2/Koval2ScanCommon.h"
#include "drivers/koval2/LineInterleaver.h"

#include <algorithm>

namespace {

constexpr uint32_t kStopTimeout = 5000;
constexpr uint32_t kPollMs = 100;
constexpr uint8_t kSelectionTimeout = 0x11;
constexpr uint8_t kHostStatusJudgedByTarget = 0x13;
constexpr uint32_t kHundredthMmPerInch = 2540;

// Waits, dispatching messages, until the carriage has had its return delay.
void WaitForDeadline(uint32_t deadline)
{
    if (!ClockReached(deadline))
        DelayPumping(deadline - MillisecondClock());
}

bool TakeUserAbort()
{
    if (g_UserAbort == 0)
        return false;
    g_UserAbort = 0;
    return true;
}

bool IsTransparent(int32_t original) { return original == 1 || original == 2; }

// A reservation held by another initiator goes up as such: the scan job tells it as a busy scanner.
uint16_t FailureOfStatus(uint16_t status)
{
    return (status & 0xFF) == kScsiReservationConflict ? uint16_t(kScsiReservationConflict) : uint16_t(kDriverFailed);
}

}  // namespace

uint16_t CKoval2Driver::CheckResult(uint16_t result, CScsiBuffer& block)
{
    if (result == kDriverOk || result == kDriverAborted || result == kDriverFailed)
        return result;
    if ((result >> 8) != 0)
        return kDriverFailed;
    switch (result & 0xFF) {
    case kScsiGood: return kDriverOk;
    case kScsiCheckCondition: return HandleSense(block.m_sense);
    default: return FailureOfStatus(result);
    }
}

uint16_t CKoval2Driver::WaitReady(uint32_t timeoutMs)
{
    uint32_t start = MillisecondClock();
    CScsiByteBuffer empty(0);
    for (;;) {
        if (TakeUserAbort())
            return kDriverAborted;
        uint16_t result = g_pScsiChannel->TestUnitReady(empty, kCommandTimeout, kSenseBytes);
        if (result == kDriverOk || result == kDriverAborted || result == kDriverFailed)
            return result;
        uint8_t host = uint8_t(result >> 8);
        if (host != 0 && host != kSelectionTimeout && host != kHostStatusJudgedByTarget)
            return kDriverFailed;
        if (host != kSelectionTimeout) {
            switch (result & 0xFF) {
            case kScsiGood: return kDriverOk;
            case kScsiCheckCondition: return HandleSense(empty.m_sense);
            case kScsiBusy: break;
            default: return FailureOfStatus(result);
            }
        }
        PumpMessages(kPollMs);
        if (ClockElapsed(start) >= timeoutMs)
            return kDriverFailed;
    }
}

uint16_t CKoval2Driver::WaitForBufferStatus(uint32_t timeoutMs)
{
    uint32_t start = MillisecondClock();
    for (;;) {
        if (TakeUserAbort())
            return kDriverAborted;
        CScsiFixedBuffer<6> status;
        uint8_t* data = status.GetData();
        data[0] = 1;
        uint16_t result = g_pScsiChannel->GetBufferStatus6(status, timeoutMs, kSenseBytes);
        if (result == kDriverOk && data[0] == 0) {
            m_nLineLength = uint16_t(data[1] | (data[2] << 8));
            m_nLinesReady = data[3] | (data[4] << 8) | (uint32_t(data[5]) << 16);
            return kDriverOk;
        }
        if (result == kDriverAborted || result == kDriverFailed)
            return result;
        uint8_t host = uint8_t(result >> 8);
        if (host != 0 && host != kSelectionTimeout)
            return kDriverFailed;
        if (host == 0) {
            switch (result & 0xFF) {
            case kScsiCheckCondition: return HandleSense(status.m_sense);
            case kScsiGood:
            case kScsiBusy: break;
            default: return FailureOfStatus(result);
            }
        }
        PumpMessages(kPollMs);
        if (ClockElapsed(start) >= timeoutMs)
            return kDriverFailed;
    }
}

uint16_t CKoval2Driver::ReserveDevice()
{
    if (ProfileInt("DisableSleep", 1) == 0)
        WaitForDeadline(m_nReadyDeadline);
    return kDriverOk;
}

uint8_t CKoval2Driver::AccessoryByte() const
{
    uint8_t accessory = 0xE0;
    if (IsBiravo() || g_pScanSettings->GetParam(kParamQuality) == 1)
        accessory |= 0x02;
    if (IsTransparent(g_pScanSettings->GetParam(kParamOriginal)))
        accessory |= 0x04;
    return accessory;
}

uint8_t CKoval2Driver::ScanModeByte()
{
    uint32_t resolution = ClampResolutionX((uint32_t)g_pScanSettings->GetParam(kParamResolution));
    uint8_t value = m_bHighResolution != 0 && resolution > m_nOpticalLow ? 0x81 : 0x01;
    uint32_t mode = g_pScanSettings->GetScanMode();
    if (mode == 2)
        value |= 0x40;
    else if (IsColourMode(mode))
        value |= 0x60;
    return value;
}

uint32_t CKoval2Driver::ReturnDelay() const
{
    if (IsBiravo())
        return 100;
    int32_t bottom = g_pScanSettings->GetParam(kParamSelBottom) + g_pScanSettings->GetParam(kParamOriginY);
    return std::max<uint32_t>(4000, (uint32_t)std::max(bottom, 0) * 10 / 15);
}

uint16_t CKoval2Driver::PrescanIfNeeded(CScanSettings* settings, ScanProgressCallback progress)
{
    if (IsTransparent(settings->GetParam(kParamOriginal)) && !m_bTransparencyUnit)
        return kDriverFailed;
    uint16_t result = CScannerDriver::PrescanIfNeeded(settings, progress);
    if (ProfileInt("DisableSleep", 0) == 0)
        WaitForDeadline(m_nReadyDeadline);
    if (result != kDriverOk)
        return result;
    return SendAccessories();
}

uint16_t CKoval2Driver::SendAccessories()
{
    CScsiByteBuffer none(0);
    return CheckResult(g_pScsiChannel->SetAccessory(none, AccessoryByte(), kCommandTimeout, kSenseBytes), none);
}

uint16_t CKoval2Driver::SendWindow(CScanSettings* settings)
{
    uint32_t r = std::max<uint32_t>(ClampResolutionX((uint32_t)settings->GetParam(kParamResolution)), 1);
    uint32_t o = m_nOpticalLow;
    uint32_t x0 = (uint32_t)(settings->GetParam(kParamOriginX) + settings->GetParam(kParamSelLeft)) * o / kHundredthMmPerInch;
    uint32_t y0 = (uint32_t)(settings->GetParam(kParamOriginY) + settings->GetParam(kParamSelTop)) * o / kHundredthMmPerInch;
    uint32_t w = 0;
    uint32_t h = 0;
    settings->ScannerPixelSize(w, h);
    w = (w * o + r - 1) / r;
    h = (h * o + r - 1) / r;

    uint32_t xmax = 0;
    uint32_t ymax = 0;
    WindowLimits(IsTransparent(settings->GetParam(kParamOriginal)), x0, y0, xmax, ymax);
    bool deviceLineArt = settings->GetScanMode() == 0;
    h = std::min(RoundsWindowHeight() ? (h + 5) / 4 * 4 : h, ymax);
    w = std::min((w + (deviceLineArt ? 39 : 9)) / 8 * 8, xmax);

    uint16_t result = WaitReady(kLongTimeout);
    if (result != kDriverOk)
        return result;
    CScsiFixedBuffer<9> window;
    uint8_t* data = window.GetData();
    data[0] = deviceLineArt ? 8 : 9;
    PutLe16(data + 1, x0);
    PutLe16(data + 3, y0);
    PutLe16(data + 5, x0 + w);
    PutLe16(data + 7, y0 + h);
    return CheckResult(g_pScsiChannel->DefineWindowParams(window, kCommandTimeout, kSenseBytes), window);
}

void CKoval2Driver::WindowLimits(bool transparent, uint32_t x0, uint32_t y0, uint32_t& xmax, uint32_t& ymax) const
{
    auto limit = [](uint32_t extent, uint32_t origin) { return extent > origin ? extent - origin : 0; };
    uint32_t o = m_nOpticalLow;
    if (transparent) {
        xmax = limit(o * 20225 / kHundredthMmPerInch, x0);
        ymax = limit(o * 25400 / kHundredthMmPerInch, y0);
    } else if (IsBiravo()) {
        xmax = limit(8000, x0);
        ymax = limit(o * 35500 / kHundredthMmPerInch, y0);
    } else {
        xmax = limit(o * 21065 / kHundredthMmPerInch, x0);
        ymax = limit(o * 35560 / kHundredthMmPerInch, y0);
    }
}

uint16_t CKoval2Driver::SendExposure(CScanSettings* settings, int channel, uint16_t minId, uint16_t maxId)
{
    CExposureRange range = {GetMinDensity(0), GetMaxDensity(0), GetMinDensityCeiling(0), GetMaxDensityFloor(0)};
    uint32_t limit = settings->GetCurrentType() == kImageGrey ? 121
                   : settings->GetParam(kParamQuality) == 1 ? 220 : 150;
    CExposure exposure = ComputeExposure((uint32_t)settings->GetParam(minId), (uint32_t)settings->GetParam(maxId),
                                         range, limit);

    uint32_t r = ClampResolutionX((uint32_t)settings->GetParam(kParamResolution));
    uint32_t o = m_nOpticalLow;
    uint16_t bedPixels = uint16_t(m_nBedHeight * o / kHundredthMmPerInch);
    CScsiFixedBuffer<15> page;
    uint8_t* data = page.GetData();
    int middle;
    uint8_t length;
    if (IsBiravo()) {
        data[0] = uint8_t(0x81 + channel * 0x20) | 0x08;
        data[1] = 0;
        data[5] = m_nState == 0 || m_nState == 1 ? 1 : settings->GetParam(kParamQuality) == 1 ? 2 : 1;
        PutLe16(data + 10, r);
        PutLe16(data + 12, ClampResolutionY((uint32_t)settings->GetParam(kParamResolution)));
        middle = 14;
        length = m_bLongPage ? 15 : 14;
    } else {
        uint32_t reference = m_bHighResolution != 0 && r > m_nOpticalLow ? m_nOpticalHigh : m_nOpticalLow;
        data[0] = uint8_t(0x83 + channel * 0x20) | 0x08;
        data[1] = (m_nScalingFlags & 0x01) != 0 ? uint8_t(r * 100 / reference) : 50;
        data[5] = m_nState < 0 || m_nState > 1 || settings->GetParam(kParamQuality) == 1 || r >= m_nOpticalLow ? 1 : 0;
        middle = 10;
        length = m_bLongPage ? 11 : 10;
    }
    data[2] = exposure.m_nExposure;
    data[3] = 7;
    data[4] = uint8_t(settings->GetParam(kParamHalftonePattern));
    data[6] = exposure.m_nHigh;
    data[7] = exposure.m_nLow;
    PutLe16(data + 8, bedPixels);
    data[middle] = uint8_t((data[7] - data[6]) / 2 + data[6]);

    uint16_t result = WaitReady(kLongTimeout);
    if (result != kDriverOk)
        return result;
    // The block keeps its full size; the CDB tells the device how much of it is the page.
    CScsiExternalBuffer sent(data, IsBiravo() ? 15 : 11);
    return CheckResult(g_pScsiChannel->ModeSelect(sent, length, kCommandTimeout, kSenseBytes), sent);
}

uint16_t CKoval2Driver::SendBitDepth(CScanSettings* settings, uint8_t depthMark)
{
    uint16_t result = WaitReady(kLongTimeout);
    if (result != kDriverOk)
        return result;
    CScsiFixedBuffer<10> block;
    uint8_t* data = block.GetData();
    uint32_t bits = (uint32_t)settings->GetParam(kParamBitsPerChannel);
    uint8_t code = bits == 10 ? 2 : bits == 12 ? 4 : bits == 16 ? 8 : 0;
    data[2] = uint8_t(depthMark | code);
    data[3] = settings->GetParam(kParamQuality) == 1 ? 0 : 8;
    return CheckResult(g_pScsiChannel->ModeSelect1(block, kCommandTimeout, kSenseBytes), block);
}

uint16_t CKoval2Driver::SetScanParameters(CScanSettings* settings)
{
    uint16_t result = SendWindow(settings);
    if (result != kDriverOk)
        return result;
    if (IsColourMode(settings->GetScanMode())) {
        static const uint16_t kChannelIds[3][2] = {
            {kParamMinDensityRed, kParamMaxDensityRed},
            {kParamMinDensityGreen, kParamMaxDensityGreen},
            {kParamMinDensityBlue, kParamMaxDensityBlue},
        };
        for (int channel = 1; channel <= 3 && result == kDriverOk; ++channel)
            result = SendExposure(settings, channel, kChannelIds[channel - 1][0], kChannelIds[channel - 1][1]);
    } else {
        result = SendExposure(settings, 0, kParamMinDensity, kParamMaxDensity);
    }
    if (result != kDriverOk)
        return result;
    return SendBitDepth(settings);
}

uint16_t CKoval2Driver::StartScanCommand(uint8_t)
{
    // PrepareScan has started the device already: it needs the scan running to size the transfer.
    return kDriverOk;
}

uint16_t CKoval2Driver::PrepareScan()
{
    if (m_Blocks[0].m_pData == nullptr)
        return kDriverNoMemory;
    uint16_t result = WaitReady(kLongTimeout);
    if (result != kDriverOk)
        return result;
    CScsiByteBuffer none(0);
    result = CheckResult(g_pScsiChannel->Scan(none, ScanModeByte(), m_nScanStartTimeout, true, kSenseBytes), none);
    if (result != kDriverOk)
        return result;
    AfterScanStart();
    LoadBlocking();
    m_nLinesRead = 0;
    m_nLinesRequested = 0;
    m_nBlockLines[0] = m_nBlockLines[1] = 0;
    m_bBlockFresh[0] = m_bBlockFresh[1] = false;
    m_nHandedLines = 0;
    m_nCurrentBlock = m_nFillingBlock = 0;
    result = WaitForBufferStatus(m_nBufferWaitMs);
    if (result != kDriverOk)
        return result;
    m_nTotalLines = m_nLinesReady;

    CScanSettings& settings = *g_pScanSettings;
    uint32_t mode = settings.GetScanMode();
    bool wide = settings.GetBitsPerChannel() > 8;
    uint32_t bytes = m_nLineLength;
    if (IsColourMode(mode) && !UsesLineRecords()) {
        bytes = 3u * m_nLineLength;
    } else if (IsColourMode(mode)) {
        bytes = 3u * m_nLineLength >= 6 ? 3u * m_nLineLength - (wide ? 3 : 6) : 0;
        delete m_pInterleaver;
        m_pInterleaver = new CLineInterleaver(SampleShift(settings));
    }
    if (wide)
        bytes *= 2;
    settings.m_nBytesPerLine = bytes;
    settings.m_nPixelsPerLine = CScanSettings::PixelsForBytes((int)mode, bytes, settings.GetChannels(),
                                                               settings.GetBitsPerChannel(), settings.GetBinaryFlag());
    settings.m_nLineCount = m_nTotalLines;
    if (bytes == 0 || settings.m_nPixelsPerLine == 0 || m_nTotalLines == 0) {
        settings.m_nBytesPerLine = 50;
        return kDriverFailed;
    }
    return kDriverOk;
}

uint16_t CKoval2Driver::StopScan(int32_t)
{
    // A read still in flight owns its block until the transport lets go of it.
    FinishPendingRead();
    m_nReadyDeadline = MillisecondClock() + ReturnDelay();
    CScsiByteBuffer none(0);
    CheckResult(g_pScsiChannel->Scan(none, 0, kStopTimeout, true, kSenseBytes), none);
    delete m_pInterleaver;
    m_pInterleaver = nullptr;
    if (m_hCorrectionBlock != nullptr) {
        GlobalUnlock(m_hCorrectionBlock);
        GlobalFree(m_hCorrectionBlock);
        m_hCorrectionBlock = nullptr;
        m_pCorrectionBlock = nullptr;
    }
    m_nTotalLines = 0;
    m_nLinesRead = 0;
    m_nLinesRequested = 0;
    return kDriverOk;
}

uint16_t CKoval2Driver::HandleSense(const uint8_t* sense)
{
    struct CBitMessages {
        uint8_t senseClass;
        int messages[8];
    };
    // Bit 3 of byte 1 has no message in either class.
    static const CBitMessages kByteOne[] = {
        {0x82, {3392, 3393, 3394, 0, 3395, 3396, 3397, 3338}},
        {0x83, {3398, 3399, 3400, 0, 3401, 3402, 3403, 3404}},
    };
    static const int kClass83ByteTwo[5] = {3405, 3406, 3407, 3408, 3409};
    switch (sense[0]) {
    case 0x80:
        ReportMessage(3340);
        return kDriverAborted;
    case 0x81:
        if (sense[1] & 0x01)
            ReportMessage(3342);
        else if (sense[1] & 0x02)
            ReportMessage(3335);
        return kDriverAborted;
    case 0x82:
    case 0x83:
        for (const CBitMessages& table : kByteOne) {
            if (table.senseClass != sense[0])
                continue;
            for (int bit = 0; bit < 8; ++bit) {
                if ((sense[1] & (1 << bit)) != 0 && table.messages[bit] != 0)
                    ReportMessage(table.messages[bit]);
            }
        }
        if (sense[0] == 0x82 && (sense[3] & 0x01) != 0)
            ReportMessage(3410);
        if (sense[0] == 0x83) {
            for (int bit = 0; bit < 5; ++bit) {
                if ((sense[2] & (1 << bit)) != 0)
                    ReportMessage(kClass83ByteTwo[bit]);
            }
        }
        return kDriverAborted;
    case 0x84:
        if (sense[1] & 0x04) {
            ReportMessage(3411);
            return kDriverAborted;
        }
        return kDriverFailed;
    default:
        return kDriverFailed;
    }
}
