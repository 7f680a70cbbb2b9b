// The base's device operations over the standard scanner commands: waiting until the unit is
// ready, sense data to messages, reserve, scan, read and unload.

#include "core/driver/ScannerDriver.h"

#include "core/messages/MessageReporter.h"
#include "core/scsi/ScsiBuffer.h"
#include "core/scsi/ScsiChannel.h"
#include "core/scsi/ScsiWait.h"
#include "core/util/Clock.h"

namespace {

constexpr uint32_t kCommandTimeoutMs = 30000;
constexpr int kSenseBytes = 32;
constexpr uint32_t kScanReadyTimeoutMs = 60000;
constexpr uint32_t kDataTimeoutMs = 60000;
constexpr uint32_t kBusyPollMs = 100;
constexpr uint8_t kHostSelectionTimeout = 0x11;

constexpr int kMsgSenseError = 3340;
constexpr int kMsgHardwareError = 3341;
constexpr int kMsgUnitAttention = 3347;

enum SenseKey : uint8_t {
    kSenseMediumError = 3,
    kSenseHardwareError = 4,
    kSenseIllegalRequest = 5,
    kSenseUnitAttention = 6,
};

bool IsCheckCondition(uint16_t result) { return (result & 0xFF) == kScsiCheckCondition; }

bool IsCurrentErrorSense(const uint8_t* sense) { return (sense[0] & 0x7F) == 0x70; }

// Sends the command and, when the device answers UNIT ATTENTION, once more: the first answer after
// a reset only tells of the reset, the command itself did not run.
template <class Command>
uint16_t SendRepeatingUnitAttention(CScsiBuffer& block, Command send)
{
    uint16_t result = send();
    if (CScannerDriver::IsUnitAttention(result, block.m_sense))
        result = send();
    return result;
}

}  // namespace

void PumpMessages(uint32_t milliseconds)
{
    uint32_t start = MillisecondClock();
    while (g_UserAbort == 0 && ClockElapsed(start) < milliseconds) {
        MSG msg;
        if (TakeWaitingMessage(msg))
            DispatchTakenMessage(msg);
        else
            NapUntilMessage();
    }
}

bool CScannerDriver::IsUnitAttention(uint16_t result, const uint8_t* sense)
{
    return IsCheckCondition(result) && IsCurrentErrorSense(sense) &&
           (sense[2] & 0x0F) == kSenseUnitAttention;
}

uint16_t CScannerDriver::HandleSense(const uint8_t* sense)
{
    if (!IsCurrentErrorSense(sense))
        return kDriverFailed;
    switch (sense[2] & 0x0F) {
    case kSenseMediumError:
    case kSenseIllegalRequest:
        return kDriverFailed;
    case kSenseHardwareError:
        ReportMessage(kMsgHardwareError);
        return kDriverAborted;
    case kSenseUnitAttention:
        // Met again after the one repeat: the device keeps resetting, the command never ran.
        ReportMessage(kMsgUnitAttention);
        return kDriverAborted;
    default:
        ReportMessage(kMsgSenseError);
        return kDriverAborted;
    }
}

uint16_t CScannerDriver::WaitReady(uint32_t timeoutMs)
{
    if (g_pScsiChannel == nullptr)
        return kDriverFailed;
    uint32_t start = MillisecondClock();
    CScsiByteBuffer block(0);
    bool repeatedUnitAttention = false;
    for (;;) {
        if (g_UserAbort != 0)
            return kDriverAborted;
        uint16_t result = g_pScsiChannel->TestUnitReady(block, kCommandTimeoutMs, kSenseBytes);
        if (result == kDriverOk || result == kDriverAborted || result == kDriverFailed)
            return result;
        uint8_t host = (uint8_t)(result >> 8);
        bool retry = false;
        if (host != 0) {
            if (host != kHostSelectionTimeout)
                return kDriverFailed;
            retry = true;
        } else if (IsUnitAttention(result, block.m_sense) && !repeatedUnitAttention) {
            repeatedUnitAttention = true;
            continue;
        } else if ((result & 0xFF) == kScsiCheckCondition) {
            return HandleSense(block.m_sense);
        } else if ((result & 0xFF) == kScsiBusy) {
            retry = true;
        }
        if (!retry)
            return kDriverFailed;
        PumpMessages(kBusyPollMs);
        if (ClockElapsed(start) >= timeoutMs)
            return kDriverFailed;
    }
}

uint16_t CScannerDriver::ReserveDevice()
{
    if (g_pScsiChannel == nullptr)
        return kDriverFailed;
    CScsiByteBuffer block(0);
    uint16_t result = SendRepeatingUnitAttention(
        block, [&] { return g_pScsiChannel->ReserveUnit(block, kCommandTimeoutMs, kSenseBytes); });
    return IsCheckCondition(result) ? HandleSense(block.m_sense) : result;
}

uint16_t CScannerDriver::StartScanCommand(uint8_t windowId)
{
    m_nLinesRead = 0;
    CScsiFixedBuffer<1> windows;
    windows.GetData()[0] = windowId;
    uint16_t result = WaitReady(kScanReadyTimeoutMs);
    if (result != kDriverOk)
        return result;
    result = SendRepeatingUnitAttention(
        windows, [&] { return g_pScsiChannel->ScanWindows(windows, 0, kCommandTimeoutMs, kSenseBytes); });
    return IsCheckCondition(result) ? HandleSense(windows.m_sense) : result;
}

uint16_t CScannerDriver::ReadData(uint8_t* buffer, uint8_t qualifier, uint16_t lines, uint16_t bytesPerLine)
{
    if (g_pScsiChannel == nullptr)
        return kDriverFailed;
    uint32_t bytes = (uint32_t)lines * bytesPerLine;
    uint16_t result = WaitForData(qualifier, bytes, kDataTimeoutMs);
    if (result != kDriverOk)
        return result;
    CScsiExternalBuffer data(buffer, bytes);
    result = g_pScsiChannel->Read10(data, bytes, 0, qualifier, true, kCommandTimeoutMs, kSenseBytes);
    if (result == kDriverOk)
        m_nLinesRead += lines;
    return result;
}

uint16_t CScannerDriver::UnloadOriginal()
{
    if (g_pScsiChannel == nullptr)
        return kDriverFailed;
    CScsiByteBuffer block(0);
    return g_pScsiChannel->ObjectPositionUnload(block, kCommandTimeoutMs, kSenseBytes);
}
