// The commands of a KOVAL scan: the lookup-table block, start, the paced or buffer-status reads,
// stop with release and unload, and the family's sense table.

#include "drivers/koval/KovalDriver.h"

#include "core/messages/MessageReporter.h"
#include "core/scsi/ScsiBuffer.h"
#include "core/scsi/ScsiChannel.h"
#include "core/settings/ScanSettings.h"
#include "core/util/ByteOrder.h"
#include "core/util/Clock.h"

#include <algorithm>

uint32_t g_KovalNextReadTime = 0;

namespace {

constexpr uint32_t kReadyTimeout = 60000;
constexpr uint32_t kCommandTimeout = 30000;
constexpr uint32_t kTransferTimeout = 5000;
constexpr uint32_t kStopTimeout = 2000;
constexpr uint32_t kBufferStatusDeadline = 90000;
constexpr uint32_t kPollMs = 100;
constexpr int kSenseBytes = 32;
constexpr uint16_t kDriverTimedOut = 48;
constexpr uint8_t kDataTypeImage = 0;
constexpr uint8_t kDataTypeLut = 3;
constexpr uint32_t kSingleLutBlock = 1026;
constexpr uint32_t kColourLutBlock = 3076;
// The carriage's lines per second: resolution x bed height (1/100 mm) / (channels x this).
constexpr double kCarriageFactor = 60960.0;

constexpr int kMsgUnitAttention = 3347;

enum : uint8_t {
    kSenseMediumError = 3,
    kSenseHardwareError = 4,
    kSenseIllegalRequest = 5,
    kSenseUnitAttention = 6,
};

// A command the device answered with UNIT ATTENTION did not run (the answer only tells of a reset
// or a changed medium): it goes once more.
template <class Command> uint16_t RepeatingUnitAttention(CScsiBuffer& block, Command send)
{
    uint16_t result = send();
    if (CScannerDriver::IsUnitAttention(result, block.m_sense))
        result = send();
    return result;
}

uint16_t MediumErrorResult(uint8_t asc, uint8_t ascq)
{
    if (asc != 0x14)
        return kDriverFailed;
    if (ascq == 1) {
        ReportMessage(3339);
        return kDriverOk;
    }
    ReportMessage(ascq == 0 ? 3338 : 3340);
    return kDriverAborted;
}

int IllegalRequestMessage(uint8_t asc, uint8_t ascq)
{
    switch (ascq) {
    case 0:
        return asc == 0x20 ? 3342 : asc == 0x24 ? 3343 : asc == 0x26 ? 3344 : 3340;
    case 1:
        return 3345;
    case 2:
        return 3346;
    default:
        return 3340;
    }
}

}  // namespace

uint16_t CKovalDriver::HandleSense(const uint8_t* sense)
{
    if ((sense[0] & 0x7F) != 0x70)
        return kDriverFailed;
    uint8_t asc = sense[12];
    uint8_t ascq = sense[13];
    switch (sense[2] & 0x0F) {
    case kSenseMediumError:
        return MediumErrorResult(asc, ascq);
    case kSenseHardwareError:
        ReportMessage(3341);
        return kDriverAborted;
    case kSenseIllegalRequest:
        ReportMessage(IllegalRequestMessage(asc, ascq));
        return kDriverAborted;
    case kSenseUnitAttention:
        // Met again after the one repeat: the device keeps resetting and the command never ran.
        ReportMessage(kMsgUnitAttention);
        return kDriverAborted;
    default:
        ReportMessage(3340);
        return kDriverAborted;
    }
}

uint16_t CKovalDriver::SendLookupTables()
{
    if (g_pScanSettings == nullptr || g_pScsiChannel == nullptr)
        return kDriverFailed;
    uint32_t mode = g_pScanSettings->GetScanMode();
    // The device thresholds its own line art at the window's threshold byte, without a table.
    if (mode == 0)
        return kDriverOk;
    bool colour = mode == 3;
    CScsiByteBuffer block(colour ? kColourLutBlock : kSingleLutBlock);
    uint16_t result = BuildLutBlock(block.GetData(), colour ? 3 : 0);
    if (result != kDriverOk)
        return result;
    result = WaitReady(kReadyTimeout);
    if (result != kDriverOk)
        return result;
    return RepeatingUnitAttention(block,
        [&] { return g_pScsiChannel->Send10WithControl(block, kDataTypeLut, 0, 0, kTransferTimeout, kSenseBytes); });
}

uint16_t CKovalDriver::StartScanCommand(uint8_t windowId)
{
    uint16_t result = WaitReady(kReadyTimeout);
    if (result != kDriverOk)
        return result;
    m_nLinesRead = 0;
    CScsiFixedBuffer<1> windows;
    windows.GetData()[0] = windowId;
    result = RepeatingUnitAttention(
        windows, [&] { return g_pScsiChannel->ScanWindows(windows, 0, kCommandTimeout, kSenseBytes); });
    if ((result & 0xFF) == kScsiCheckCondition && (result >> 8) == 0)
        return HandleSense(windows.m_sense);
    if (result != kDriverOk)
        return result;
    return WaitReady(kReadyTimeout);
}

uint32_t CKovalDriver::CarriageTime(uint32_t lines)
{
    uint32_t y = ClampResolutionY((uint32_t)g_pScanSettings->GetParam(kParamResolution));
    uint32_t channels = std::max<uint32_t>(g_pScanSettings->GetChannels(), 1);
    double linesPerSecond = double(y) * m_ReflectiveBed.m_nHeight / (channels * kCarriageFactor);
    return (uint32_t)(double(lines) * 1000.0 / linesPerSecond);
}

uint16_t CKovalDriver::Read(uint8_t* buffer, uint8_t qualifier, uint32_t bytes)
{
    CScsiExternalBuffer data(buffer, bytes);
    return g_pScsiChannel->Read10(data, bytes, kDataTypeImage, qualifier, true, kTransferTimeout, kSenseBytes);
}

uint16_t CKovalDriver::ReadData(uint8_t* buffer, uint8_t qualifier, uint16_t lines, uint16_t bytesPerLine)
{
    if (g_pScsiChannel == nullptr || g_pScanSettings == nullptr)
        return kDriverFailed;
    if (IsKovalPlus() && m_bBufferStatus != 0)
        return ReadWithBufferStatus(buffer, qualifier, lines, uint32_t(lines) * bytesPerLine);
    return ReadPaced(buffer, qualifier, lines, bytesPerLine);
}

uint16_t CKovalDriver::ReadWithBufferStatus(uint8_t* buffer, uint8_t qualifier, uint16_t lines, uint32_t total)
{
    uint32_t start = MillisecondClock();
    bool repeatedUnitAttention = false;
    for (;;) {
        if (g_UserAbort != 0)
            return kDriverAborted;
        CScsiFixedBuffer<12> status;
        uint8_t* data = status.GetData();
        data[2] = 9;
        uint16_t result = g_pScsiChannel->GetDataBufferStatus(status, 0, kTransferTimeout, kSenseBytes);
        if ((result >> 8) != 0)
            return result;
        switch (result & 0xFF) {
        case kScsiGood:
            if (GetBe24(data + 9) >= total) {
                result = Read(buffer, qualifier, total);
                if (result == kDriverOk)
                    m_nLinesRead += lines;
                return result;
            }
            PumpMessages(kPollMs);
            break;
        case kScsiCheckCondition:
            if (IsUnitAttention(result, status.m_sense) && !repeatedUnitAttention) {
                repeatedUnitAttention = true;
                continue;
            }
            result = HandleSense(status.m_sense);
            if (result != kDriverOk)
                return result;
            break;
        case kScsiBusy:
            PumpMessages(kPollMs);
            break;
        default:
            return result;
        }
        if (ClockElapsed(start) >= kBufferStatusDeadline)
            return kDriverTimedOut;
    }
}

uint16_t CKovalDriver::ReadPaced(uint8_t* buffer, uint8_t qualifier, uint16_t lines, uint16_t bytesPerLine)
{
    uint32_t total = uint32_t(lines) * bytesPerLine;
    uint32_t now = MillisecondClock();
    uint32_t time = CarriageTime(lines);
    if (m_nLinesRead != 0) {
        g_KovalNextReadTime += time;
    } else {
        // The first line comes at once; it starts the clock for the rest of the scan.
        uint16_t result = Read(buffer, qualifier, bytesPerLine);
        if (result != kDriverOk)
            return result;
        buffer += bytesPerLine;
        total -= bytesPerLine;
        g_KovalNextReadTime = now + time;
    }
    if (!ClockReached(g_KovalNextReadTime)) {
        PumpMessages(g_KovalNextReadTime - MillisecondClock());
        if (g_UserAbort != 0)
            return kDriverAborted;
    }
    uint16_t result = total != 0 ? Read(buffer, qualifier, total) : uint16_t(kDriverOk);
    if (result == kDriverOk)
        m_nLinesRead += lines;
    return result;
}

uint16_t CKovalDriver::StopScan(int32_t flag)
{
    m_nLinesRead = 0;
    if (flag == 0 && g_pScsiChannel != nullptr) {
        CScsiByteBuffer none(0);
        if (g_pScsiChannel->ReleaseUnit(none, kStopTimeout, kSenseBytes) == kDriverOk)
            g_pScsiChannel->ObjectPositionUnload(none, kStopTimeout, kSenseBytes);
    }
    if (m_hCorrectionBlock != nullptr) {
        GlobalUnlock(m_hCorrectionBlock);
        GlobalFree(m_hCorrectionBlock);
        m_hCorrectionBlock = nullptr;
        m_pCorrectionBlock = nullptr;
    }
    return kDriverOk;
}
