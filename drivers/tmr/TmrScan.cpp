// The scan of a TM-R: the 110-byte window, the start that waits for the device's status, the scan
// parameter block, the buffered reads and the stop that reads back the densities the device chose.

#include "drivers/tmr/TmrDriver.h"

#include "core/scan/ScanServices.h"
#include "core/scsi/ScsiBuffer.h"
#include "core/scsi/ScsiChannel.h"
#include "core/settings/ScanSettings.h"
#include "core/util/ByteOrder.h"
#include "core/util/Clock.h"
#include "core/util/Numeric.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr uint32_t kCommandTimeout = 30000;
constexpr uint32_t kReadyTimeout = 60000;
constexpr uint32_t kDataTimeout = 60000;
constexpr uint32_t kReadDeadline = 5000;
constexpr uint32_t kRetryPollMs = 100;
constexpr uint32_t kDataPollMs = 250;
constexpr int kSenseBytes = 32;
constexpr uint32_t kHeaderBytes = 8;
constexpr uint8_t kDataTypeImage = 0;
constexpr uint8_t kDataTypeParams = 0x81;
constexpr uint8_t kDataTypeValue = 0xA2;
constexpr uint16_t kStatusValue = 10002;
constexpr uint32_t kScanUnderWay = 0x90;
constexpr uint32_t kStatusTries = 480;
constexpr uint32_t kParamBlockMost = 40;
// The geometry ends at byte 13: a shorter block would set the image to nothing.
constexpr uint32_t kParamBlockLeast = 14;
constexpr uint8_t kHostSelectionTimeout = 0x11;
constexpr uint32_t kHundredthMmPerInch = 2540;
constexpr int32_t kLeastSelection = 5;  // 1/100 mm
constexpr uint32_t kLeastWidth = 2;  // pixels
constexpr int kMsgStopping = 3297;

uint32_t Transmittance(int32_t density) { return uint32_t(std::floor(std::pow(10.0, -density / 1000.0) * 10000.0)); }

// The device takes even widths. An odd selection gets the pixel after it rather than losing its
// last one, which the output would fill with the one before; only at the bed's edge one less.
uint32_t EvenWidth(uint32_t pixels, uint32_t resolution, int32_t right, uint32_t bedWidth)
{
    bool room =
        (uint64_t)(uint32_t)std::max(right, 0) * resolution + kHundredthMmPerInch <= (uint64_t)bedWidth * resolution;
    return room ? (pixels + 1) / 2 * 2 : pixels / 2 * 2;
}

bool IsCheckCondition(uint16_t result) { return (result >> 8) == 0 && (result & 0xFF) == kScsiCheckCondition; }

// What a failed command of the data path leads to: 0 to try again after a pause, else the result
// to return.
uint16_t RetryOrResult(CTmrDriver& driver, uint16_t result, const uint8_t* sense)
{
    if (result == kDriverAborted || result == kDriverFailed)
        return result;
    uint8_t host = uint8_t(result >> 8);
    if (host == kHostSelectionTimeout)
        return kDriverOk;
    if (host != 0)
        return kDriverFailed;
    switch (result & 0xFF) {
    case kScsiCheckCondition:
        result = driver.HandleSense(sense);
        return result == kDriverAborted || result == kDriverFailed ? result : uint16_t(kDriverOk);
    case kScsiBusy:
        return kDriverOk;
    default:
        return kDriverFailed;
    }
}

}  // namespace

void CTmrDriver::ApplyParameterSteps(CScanSettings& settings)
{
    settings.SetParam(kParamPaddingType, 0);
    settings.SetParam(kParamPaddingFlags, 3);
    settings.SetParam(kParamBitOrdering, 0);
    settings.SetParam(kParamWindow60, 0);
    settings.SetParamAllTypes(kParamWindow51, 10);
    settings.SetParamAllTypes(kParamWindow52, 10);
    bool reflective = settings.GetParam(kParamOriginal) == 0;
    settings.SetParam(kParamWindow54, reflective ? 1 : 0);
    settings.SetParam(kParamDriverGamma, reflective ? 0 : 2400);
    settings.SetParam(kParamWindow61, reflective ? 1 : 3);
    settings.SetParam(kParamWindow62, 0xC0);
    uint32_t mode = settings.GetScanMode();
    int32_t type = settings.GetCurrentType();
    if (mode == 5 && type != kImageRgb && type != kImageCmyk)
        return;
    if (mode > 5)
        return;
    int32_t composition = mode <= 2 ? int32_t(mode) : 5;
    settings.SetParam(kParamComposition, composition);
    settings.SetParam(kParamOutputBits, mode <= 1 ? 1 : 8);
    settings.SetParam(kParamHalftonePattern, 0);
    settings.SetParam(kParamWindowSummaryA, 1);
    settings.SetParam(kParamWindowSummaryB, mode <= 1 ? 8 : 1);
    settings.SetParam(kParamWindowSummaryC, 1);
}

void CTmrDriver::BuildDescriptor(const CScanSettings& settings, uint8_t* out)
{
    auto param = [&](uint16_t id) { return settings.GetParam(id); };
    std::memset(out, 0, kDescriptorBytes);
    uint32_t resolution = (uint32_t)param(kParamResolution);
    uint32_t xres = ClampResolutionX(resolution);
    uint32_t yres = ClampResolutionY(resolution);
    int32_t type = settings.GetCurrentType();
    bool halftone = type == kImageHalftone;
    int32_t w = std::max(param(kParamSelRight) - param(kParamSelLeft), kLeastSelection);
    int32_t h = std::max(param(kParamSelBottom) - param(kParamSelTop), kLeastSelection);
    uint32_t width = xres * (uint32_t)w / kHundredthMmPerInch;
    width = halftone
        ? width / 16 * 16
        : EvenWidth(width, xres, param(kParamOriginX) + param(kParamSelRight), GetBedWidth(param(kParamOriginal)));
    // A sliver of a selection still makes a window the device accepts.
    width = std::max(width, kLeastWidth);

    out[0] = uint8_t(param(kParamWindowId));
    PutBe16(out + 2, xres);
    PutBe16(out + 4, yres);
    PutBe24(out + 7, xres * uint32_t(param(kParamSelLeft) + param(kParamOriginX)) / kHundredthMmPerInch);
    PutBe24(out + 11, yres * uint32_t(param(kParamSelTop) + param(kParamOriginY)) / kHundredthMmPerInch);
    PutBe16(out + 14, width >> 16);
    PutBe16(out + 16, width);
    PutBe24(out + 19, yres * (uint32_t)h / kHundredthMmPerInch);
    out[22] = uint8_t(DensityToDotArea((uint32_t)param(kParamMinDensity)) * 255 / 10000);
    out[23] = uint8_t(param(kParamThreshold) * 255 / 100);
    out[24] = uint8_t(DensityToDotArea((uint32_t)param(kParamMaxDensity)) * 255 / 10000);
    out[25] = uint8_t(param(kParamComposition));
    out[26] = uint8_t(param(kParamOutputBits));
    out[27] = uint8_t(param(kParamHalftonePattern));
    out[28] = halftone ? 5 : 1;
    out[29] = uint8_t(param(kParamPaddingType) | param(kParamPaddingFlags));
    PutBe16(out + 30, (uint32_t)param(kParamBitOrdering));
    out[40] = uint8_t(param(kParamSharpness) / 25 + 1);
    out[41] = param(kParamWindow49) != 0 ? 2 : 0;
    out[42] = uint8_t(param(kParamWindow51));
    out[43] = uint8_t(param(kParamWindow52));
    out[44] = uint8_t(param(kParamWindow50));
    out[46] = param(kParamQuality) == 1 ? 1 : 0;
    int32_t original = param(kParamOriginal);
    bool colour = type == kImageRgb || type == kImageCmyk;
    if (colour && (original == 0 || original == 1)) {
        out[47] = uint8_t(100 - param(kParamGainRed));
        out[48] = uint8_t(100 - param(kParamGainGreen));
        out[49] = uint8_t(100 - param(kParamGainBlue));
    }
    out[55] = param(kParamComposition) == 5 ? 14 : 0;
    out[56] = uint8_t(param(kParamWindow54));
    PutBe16(out + 58, DensityToOpacityPercent((uint32_t)param(kParamMinDensity)));
    PutBe16(out + 60, (uint32_t)param(kParamDriverGamma));
    out[62] = uint8_t(param(kParamWindow56));
    out[63] = uint8_t(param(kParamWindow63));
    out[64] = uint8_t(param(kParamWindow64));
    out[65] = uint8_t(param(kParamWindow65));
    out[66] = uint8_t(param(kParamScreenRuling));
    out[67] = uint8_t(param(kParamWindowSummaryA));
    out[68] = uint8_t(param(kParamWindowSummaryB));
    out[69] = uint8_t(param(kParamWindowSummaryC));
    out[70] = uint8_t(param(kParamWindow60));
    PutBe16(out + 72, (uint32_t)param(kParamStoredHundred));
    out[74] = uint8_t(param(kParamWindow61));
    out[75] = uint8_t(param(kParamWindow62));
    PutBe16(out + 76, (uint32_t)param(kParamMinDensity) * 10);
    PutBe16(out + 78, (uint32_t)param(kParamMaxDensity) * 10);
    PutBe16(out + 80, Transmittance(param(kParamMaxDensity)));
    PutBe16(out + 82, Transmittance(param(kParamMinDensity)));
}

uint16_t CTmrDriver::SetScanParameters(CScanSettings* settings)
{
    if (settings == nullptr || g_pScsiChannel == nullptr)
        return kDriverFailed;
    uint16_t result = WaitReady(kReadyTimeout);
    if (result != kDriverOk)
        return result;
    ApplyParameterSteps(*settings);
    CScsiWindowList list(1, kDescriptorBytes);
    uint8_t* data = list.GetData();
    if (data == nullptr)
        return kDriverNoMemory;
    BuildDescriptor(*settings, data + kHeaderBytes);
    result = g_pScsiChannel->SetWindow(list, kCommandTimeout, kSenseBytes);
    return IsCheckCondition(result) ? HandleSense(list.m_sense) : result;
}

uint32_t CTmrDriver::ReadDeviceStatus()
{
    CScsiFixedBuffer<4> value;
    uint16_t result =
        g_pScsiChannel->Read10(value, 4, kDataTypeValue, kStatusValue, true, kCommandTimeout, kSenseBytes);
    return result == kDriverOk ? GetBe32(value.GetData()) : 0;
}

uint16_t CTmrDriver::ReadParamBlock()
{
    uint16_t result = WaitReady(kReadyTimeout);
    if (result != kDriverOk)
        return result;
    CScsiFixedBuffer<kParamBlockMost> block;
    CScsiExternalBuffer head(block.GetData(), 2);
    result = g_pScsiChannel->Read10(head, 2, kDataTypeParams, 0, true, kCommandTimeout, kSenseBytes);
    if (result != kDriverOk)
        return result;
    uint32_t length = std::min<uint32_t>(kParamBlockMost, block.GetData()[1]);
    if (length < kParamBlockLeast)
        return kDriverFailed;
    CScsiExternalBuffer whole(block.GetData(), length);
    result = g_pScsiChannel->Read10(whole, length, kDataTypeParams, 0, true, kCommandTimeout, kSenseBytes);
    if (result != kDriverOk)
        return result;
    TakeStatusBlock(block.GetData());
    return kDriverOk;
}

uint16_t CTmrDriver::PrepareScan()
{
    if (g_pScsiChannel == nullptr || g_pScanSettings == nullptr)
        return kDriverFailed;
    uint16_t result = WaitReady(kReadyTimeout);
    if (result == kDriverOk)
        result = StartScanCommand(0);
    if (result != kDriverOk)
        return result;
    for (uint32_t tries = 0; tries < kStatusTries; ++tries) {
        PumpMessages(m_nStatusPollMs);
        if (g_UserAbort != 0)
            return kDriverAborted;
        if ((ReadDeviceStatus() & kScanUnderWay) == kScanUnderWay)
            return ReadParamBlock();
    }
    return kDriverFailed;
}

// SCAN of the running scan's window (another pass, or the job's start after PrepareScan's): the
// device may refuse it for a while, never for ever.
uint16_t CTmrDriver::StartPass(int32_t windowId, int32_t control)
{
    m_nLinesRead = 0;
    if (g_pScsiChannel == nullptr)
        return kDriverFailed;
    uint32_t start = MillisecondClock();
    for (;;) {
        if (g_UserAbort != 0)
            return kDriverAborted;
        CScsiFixedBuffer<1> windows;
        windows.GetData()[0] = uint8_t(windowId);
        uint16_t result = g_pScsiChannel->ScanWindows(windows, uint8_t(control), kCommandTimeout, kSenseBytes);
        if (result == kDriverOk)
            return kDriverOk;
        result = RetryOrResult(*this, result, windows.m_sense);
        if (result != kDriverOk)
            return result;
        if (ClockElapsed(start) >= m_nScanDeadlineMs)
            return kDriverFailed;
        PumpMessages(kRetryPollMs);
    }
}

uint16_t CTmrDriver::WaitForData(uint8_t, uint32_t bytes, uint32_t timeoutMs)
{
    if (g_pScsiChannel == nullptr)
        return kDriverFailed;
    uint32_t start = MillisecondClock();
    for (;;) {
        if (g_UserAbort != 0)
            return kDriverAborted;
        CScsiFixedBuffer<12> status;
        uint16_t result = g_pScsiChannel->GetDataBufferStatus(status, 0, kCommandTimeout, kSenseBytes);
        uint32_t available = GetBe24(status.GetData() + 9);
        if (result == kDriverOk && available >= bytes)
            return kDriverOk;
        if (result != kDriverOk) {
            result = RetryOrResult(*this, result, status.m_sense);
            if (result != kDriverOk)
                return result;
        }
        PumpMessages(kDataPollMs);
        if (ClockElapsed(start) >= timeoutMs)
            return kDriverFailed;
    }
}

uint16_t CTmrDriver::ReadData(uint8_t* buffer, uint8_t qualifier, uint16_t lines, uint16_t bytesPerLine)
{
    if (g_pScsiChannel == nullptr)
        return kDriverFailed;
    uint32_t bytes = uint32_t(lines) * bytesPerLine;
    uint32_t start = MillisecondClock();
    uint16_t result = WaitForData(qualifier, bytes, kDataTimeout);
    if (result != kDriverOk)
        return result;
    for (;;) {
        if (g_UserAbort != 0)
            return kDriverAborted;
        CScsiExternalBuffer data(buffer, bytes);
        result = g_pScsiChannel->Read10(data, bytes, kDataTypeImage, qualifier, true, kCommandTimeout, kSenseBytes);
        if (result == kDriverOk) {
            m_nLinesRead += lines;
            return kDriverOk;
        }
        result = RetryOrResult(*this, result, data.m_sense);
        if (result != kDriverOk)
            return result;
        if (ClockElapsed(start) >= kReadDeadline)
            return kDriverFailed;
        PumpMessages(kRetryPollMs);
    }
}

// The densities the device chose for an automatic exposure come back in its window.
uint16_t CTmrDriver::ReadWindowDensities()
{
    CScanSettings& settings = *g_pScanSettings;
    bool automatic = settings.GetParam(kParamRangeMode) == 0;
    bool minimum = automatic || settings.GetParam(kParamAutoMinimum) != 0;
    bool maximum = automatic || settings.GetParam(kParamAutoMaximum) != 0;
    if (!minimum && !maximum)
        return kDriverOk;
    CScsiWindowList list(1, kDescriptorBytes);
    uint8_t* data = list.GetData();
    if (data == nullptr)
        return kDriverNoMemory;
    uint16_t result = WaitReady(kReadyTimeout);
    if (result != kDriverOk)
        return result;
    if (g_pScsiChannel->GetWindow(list, kCommandTimeout, kSenseBytes) != kDriverOk)
        return kDriverOk;
    const uint8_t* d = data + kHeaderBytes;
    if (minimum)
        settings.SetParam(kParamMinDensity, int32_t(GetBe16(d + 76) / 10));
    if (maximum)
        settings.SetParam(kParamMaxDensity, int32_t(GetBe16(d + 78) / 10));
    return kDriverOk;
}

uint16_t CTmrDriver::StopScan(int32_t)
{
    ReportScanStatus(kMsgStopping, 0);
    m_nLinesRead = 0;
    if (g_pScsiChannel == nullptr || g_pScanSettings == nullptr)
        return kDriverFailed;
    uint16_t result = ReadWindowDensities();
    if (result != kDriverOk)
        return result;
    CScsiByteBuffer none(0);
    g_pScsiChannel->ReleaseUnit(none, kCommandTimeout, kSenseBytes);
    if (m_hCorrectionBlock != nullptr) {
        GlobalUnlock(m_hCorrectionBlock);
        GlobalFree(m_hCorrectionBlock);
        m_hCorrectionBlock = nullptr;
        m_pCorrectionBlock = nullptr;
    }
    return kDriverOk;
}
