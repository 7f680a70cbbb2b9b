// The commands of a ZANDOR scan: readiness, reservation, the window and its density levels, the
// first SCAN and the window status it answers with, further passes, the band reads, stop.

#include "drivers/zandor/ZandorDriver.h"

#include "core/scan/ScanServices.h"
#include "core/scsi/ScsiBuffer.h"
#include "core/scsi/ScsiChannel.h"
#include "core/settings/ScanSettings.h"
#include "core/util/ByteOrder.h"
#include "core/util/Clock.h"
#include "core/util/Numeric.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint32_t kCommandTimeout = 30000;
constexpr uint32_t kWindowReadyTimeout = 60000;
constexpr int kSenseBytes = 32;
constexpr uint32_t kReadyPollMs = 100;
constexpr uint32_t kReadPollMs = 250;
constexpr uint32_t kStatusPollMs = 1000;
constexpr uint8_t kHostSelectionTimeout = 0x11;
constexpr uint8_t kDataImage = 0;
constexpr uint8_t kDataWindowStatus = 0x81;
constexpr uint8_t kScanStart = 0x40;
constexpr uint8_t kScanContinue = 0xC0;
constexpr uint32_t kMaxDescriptor = 65;
constexpr uint32_t kMaxStatus = 40;
constexpr int32_t kOriginalReflective = 0;
constexpr int32_t kOriginalNegative = 2;
constexpr int kMsgStopStatus = 3297;

bool IsBusy(uint16_t result) { return (result >> 8) == 0 && (result & 0xFF) == kScsiBusy; }
// The transports repeat a command the device answers BUSY until the command's time-out: a time-out
// is the device still busy as well.
bool StillBusy(uint16_t result) { return IsBusy(result) || result == kScsiTimeout; }
bool IsCheck(uint16_t result) { return (result >> 8) == 0 && (result & 0xFF) == kScsiCheckCondition; }

// Dot areas below 0 or above 100 % stand for the lightest and darkest densities.
uint32_t DensityOfDotArea(int32_t hundredthsPercent)
{
    return DotAreaToDensity(uint32_t(std::clamp(hundredthsPercent, 0, 10000)));
}

}  // namespace

uint16_t CZandorDriver::WaitReady(uint32_t timeoutMs)
{
    if (g_pScsiChannel == nullptr)
        return kDriverFailed;
    uint32_t start = MillisecondClock();
    for (;;) {
        if (g_UserAbort != 0)
            return kDriverAborted;
        CScsiByteBuffer none(0);
        uint16_t result = g_pScsiChannel->TestUnitReady(none, timeoutMs / 2, kSenseBytes);
        if (result == kDriverOk || result == kDriverAborted || result == kDriverFailed)
            return result;
        uint8_t host = uint8_t(result >> 8);
        if (host != 0 && host != kHostSelectionTimeout)
            return kDriverFailed;
        if (host == 0 && IsCheck(result))
            return HandleSense(none.m_sense);
        if (host == 0 && !IsBusy(result))
            return kDriverFailed;
        PumpMessages(kReadyPollMs);
        if (ClockElapsed(start) >= timeoutMs)
            return kDriverFailed;
    }
}

uint16_t CZandorDriver::ReserveDevice()
{
    if (g_pScsiChannel == nullptr)
        return kDriverFailed;
    CScsiByteBuffer none(0);
    m_nReserveState = g_pScsiChannel->ReserveUnit(none, kCommandTimeout, kSenseBytes);
    return IsCheck(m_nReserveState) ? HandleSense(none.m_sense) : m_nReserveState;
}

uint32_t CZandorDriver::TryTimeout(uint32_t start) const
{
    uint32_t elapsed = ClockElapsed(start);
    uint32_t left = elapsed < m_nBusyLimit ? m_nBusyLimit - elapsed : 1;
    return std::clamp<uint32_t>(left, 1, kCommandTimeout);
}

// A SCAN that the device answers BUSY goes again until the busy limit; the user can stop it
// between tries.
uint16_t CZandorDriver::ScanWhileBusy(uint8_t windowId, uint8_t control, uint8_t* sense)
{
    uint32_t start = MillisecondClock();
    for (;;) {
        CScsiFixedBuffer<1> windows;
        windows.GetData()[0] = windowId;
        uint16_t result = g_pScsiChannel->ScanWindows(windows, control, TryTimeout(start), kSenseBytes);
        if (!StillBusy(result)) {
            std::memcpy(sense, windows.m_sense, sizeof windows.m_sense);
            return result;
        }
        if (ClockElapsed(start) >= m_nBusyLimit)
            return kDriverFailed;
        PumpMessages(kReadyPollMs);
        if (g_UserAbort != 0)
            return kDriverAborted;
    }
}

uint16_t CZandorDriver::PrepareScan()
{
    m_nLinesRead = 0;
    m_nLinesInBand = 0;
    if (g_pScsiChannel == nullptr)
        return kDriverFailed;
    uint16_t result = WaitReady(m_nBusyLimit);
    if (result != kDriverOk)
        return result == kDriverAborted ? result : uint16_t(kDriverFailed);
    uint8_t sense[40];
    result = ScanWhileBusy(0, kScanStart, sense);
    if (IsCheck(result))
        return HandleSense(sense);
    if (result != kDriverOk)
        return result;
    uint32_t start = MillisecondClock();
    for (;;) {
        result = ReadAutoDensities(1);
        if (!StillBusy(result))
            return result;
        PumpMessages(kStatusPollMs);
        if (g_UserAbort != 0)
            return kDriverAborted;
        if (ClockElapsed(start) >= m_nBusyLimit)
            return kDriverFailed;
    }
}

uint16_t CZandorDriver::StartScanCommand(uint8_t) { return kDriverOk; }

uint16_t CZandorDriver::StartPass(int32_t windowId, int32_t passValue)
{
    m_nLinesRead = 0;
    m_nLinesInBand = 0;
    if (g_pScsiChannel == nullptr)
        return kDriverFailed;
    uint8_t sense[40];
    uint16_t result = ScanWhileBusy(uint8_t(windowId), uint8_t(kScanStart + passValue), sense);
    if (IsCheck(result))
        result = HandleSense(sense);
    if (result != kDriverOk)
        return result;
    return ReadAutoDensities(1);
}

uint16_t CZandorDriver::BandRead(uint8_t* buffer, uint8_t qualifier, uint32_t lines, uint32_t bytesPerLine)
{
    uint32_t start = MillisecondClock();
    for (;;) {
        CScsiExternalBuffer data(buffer, lines * bytesPerLine);
        // The transfer length counts lines, not bytes.
        uint16_t result =
            g_pScsiChannel->Read10(data, lines, kDataImage, qualifier, true, TryTimeout(start), kSenseBytes);
        if (result == kDriverOk) {
            m_nLinesRead += lines;
            m_nLinesInBand += lines;
            return kDriverOk;
        }
        if (IsCheck(result)) {
            result = HandleSense(data.m_sense);
            return result != kDriverOk ? result : uint16_t(kDriverFailed);
        }
        if (!StillBusy(result))
            return result;
        PumpMessages(kReadPollMs);
        if (g_UserAbort != 0)
            return kDriverAborted;
        if (ClockElapsed(start) >= m_nBusyLimit)
            return kDriverFailed;
    }
}

uint16_t CZandorDriver::NextBand(uint8_t qualifier)
{
    uint8_t sense[40];
    uint16_t result = ScanWhileBusy(qualifier, kScanContinue, sense);
    // A refusal the device gave a code for has been reported: the reader must not report it again.
    if (IsCheck(result)) {
        result = HandleSense(sense);
        return result != kDriverOk ? result : uint16_t(kDriverFailed);
    }
    if (result != kDriverOk)
        return result;
    result = ReadAutoDensities(0);
    if (result != kDriverOk)
        return result;
    m_nLinesInBand = 0;
    return kDriverOk;
}

// The device refuses a read that runs past the end of its band: a request is read band by band,
// with a SCAN for the next band wherever the current one is used up.
uint16_t CZandorDriver::ReadData(uint8_t* buffer, uint8_t qualifier, uint16_t lines, uint16_t bytesPerLine)
{
    if (g_pScsiChannel == nullptr || g_pScanSettings == nullptr)
        return kDriverFailed;
    if (m_nLinesInBand == 0) {
        uint16_t result = WaitReady(m_nBusyLimit);
        if (result != kDriverOk)
            return result;
    }
    uint32_t done = 0;
    while (done < lines) {
        uint32_t band = g_pScanSettings->m_WindowSummary.m_nWord[0];
        if (band == 0)
            return kDriverFailed;
        uint16_t result;
        if (m_nLinesInBand >= band) {
            result = NextBand(qualifier);
        } else {
            uint32_t n = std::min<uint32_t>(lines - done, band - m_nLinesInBand);
            result = BandRead(buffer + size_t(done) * bytesPerLine, qualifier, n, bytesPerLine);
            done += result == kDriverOk ? n : 0;
        }
        if (result != kDriverOk)
            return result;
    }
    return kDriverOk;
}

uint16_t CZandorDriver::WaitForData(uint8_t, uint32_t count, uint32_t timeoutMs)
{
    if (g_pScsiChannel == nullptr)
        return kDriverFailed;
    uint32_t start = MillisecondClock();
    for (;;) {
        CScsiByteBuffer status(StatusLength());
        uint16_t result =
            g_pScsiChannel->Read10(status, StatusLength(), kDataWindowStatus, 0, true, kCommandTimeout, kSenseBytes);
        if (IsCheck(result))
            return HandleSense(status.m_sense);
        if (result != kDriverOk)
            return result;
        if (GetBe16(status.GetData() + 14) >= count)
            return kDriverOk;
        if (ClockElapsed(start) >= timeoutMs)
            return kDriverFailed;
        PumpMessages(kReadPollMs);
        if (g_UserAbort != 0)
            return kDriverAborted;
    }
}

uint16_t CZandorDriver::StopScan(int32_t)
{
    ReportScanStatus(kMsgStopStatus, 0);
    m_nLinesRead = 0;
    m_nLinesInBand = 0;
    if (m_nReserveState == kDriverOk && g_pScsiChannel != nullptr) {
        CScsiByteBuffer none(0);
        g_pScsiChannel->ReleaseUnit(none, kCommandTimeout, kSenseBytes);
    }
    m_nReserveState = 255;
    if (m_hCorrectionBlock != nullptr) {
        GlobalUnlock(m_hCorrectionBlock);
        GlobalFree(m_hCorrectionBlock);
        m_hCorrectionBlock = nullptr;
        m_pCorrectionBlock = nullptr;
    }
    return kDriverOk;
}

void CZandorDriver::DensityLevels(const CScanSettings& settings, uint8_t& minimumLevel, uint8_t& maximumLevel) const
{
    const CScanSettings& global = g_pScanSettings != nullptr ? *g_pScanSettings : settings;
    int32_t e;
    int32_t g;
    if (settings.GetCurrentType() == kImageLineArt) {
        int32_t threshold = settings.GetParam(kParamThreshold);
        e = threshold * 15 / 10;
        g = (100 - threshold) * 7 / 6;
    } else {
        e = int32_t(DensityToDotArea(uint32_t(global.GetParam(kParamMinDensity))) / 100);
        g = int32_t(DensityToDotArea(uint32_t(global.GetParam(kParamMaxDensity))) / 100);
    }
    e = std::min(e, m_MinDotArea.m_nHigh);
    g = std::min(g, m_MaxDotArea.m_nHigh);
    e = (e - m_MinDotArea.m_nLow) * 255 / (m_MinDotArea.m_nHigh - m_MinDotArea.m_nLow);
    g = 255 - (g - m_MaxDotArea.m_nLow) * 255 / (m_MaxDotArea.m_nHigh - m_MaxDotArea.m_nLow);
    // A dot area outside the device's range would not fit the byte: it takes the range's end.
    e = std::clamp(e, 0, 255);
    g = std::clamp(g, 0, 255);
    bool preview = settings.GetParam(kParamPreviewFlag) == 1;
    bool ranged = settings.GetParam(kParamRangeMode) != 0;
    bool sendMinimum = (ranged && settings.GetParam(kParamAutoMinimum) == 0) || preview;
    bool sendMaximum = (ranged && settings.GetParam(kParamAutoMaximum) == 0) || preview;
    minimumLevel = sendMinimum ? uint8_t(std::max(e, 1)) : 0;
    maximumLevel = sendMaximum ? uint8_t(std::max(g, 1)) : 0;
}

uint32_t CZandorDriver::BuildWindow(const CScanSettings& settings, uint8_t* d)
{
    const CScanSettings& global = g_pScanSettings != nullptr ? *g_pScanSettings : settings;
    uint32_t length = WindowLength();
    std::memset(d, 0, length);
    uint32_t resolution = uint32_t(settings.GetParam(kParamResolution));
    uint32_t x = std::max<uint32_t>(ClampResolutionX(resolution), 1);
    uint32_t y = std::max<uint32_t>(ClampResolutionY(resolution), 1);
    uint32_t w = 0;
    uint32_t h = 0;
    settings.ScannerPixelSize(w, h);
    int32_t left = std::max(settings.GetParam(kParamSelLeft) + settings.GetParam(kParamOriginX), 0);
    int32_t top = std::max(settings.GetParam(kParamSelTop) + settings.GetParam(kParamOriginY), 0);
    d[0] = uint8_t(settings.GetParam(kParamWindowId));
    PutBe16(d + 2, x);
    PutBe16(d + 4, y);
    PutBe16(d + 6, uint32_t(left) * x / 2540);
    PutBe16(d + 8, uint32_t(top) * y / 2540);
    PutBe16(d + 10, (w + 15) / 16 * 16);
    PutBe16(d + 12, h);
    DensityLevels(settings, d[14], d[16]);
    d[17] = uint8_t(settings.GetParam(kParamComposition));
    d[18] = uint8_t(settings.GetParam(kParamOutputBits));
    d[21] = uint8_t(settings.GetParam(kParamPaddingType) | settings.GetParam(kParamPaddingFlags));
    PutBe16(d + 22, uint32_t(settings.GetParam(kParamBitOrdering)));
    d[32] = 1;
    d[33] = m_nColourFlag != 0 ? 2 : 0;
    d[34] = uint8_t(settings.GetParam(kParamWindow51));
    d[35] = uint8_t(settings.GetParam(kParamWindow52));
    d[36] = 1;
    if (length < kMaxDescriptor)
        return length;

    static const uint8_t kQualityByte[] = {1, 0, 255};
    int32_t quality = settings.GetParam(kParamQuality);
    d[38] = quality >= 0 && quality <= 2 ? kQualityByte[quality] : 0;
    int32_t type = global.GetCurrentType();
    if (global.GetParam(kParamOriginal) != kOriginalNegative && type >= kImageRgb) {
        d[39] = uint8_t(100 - settings.GetParam(kParamGainRed));
        d[40] = uint8_t(100 - settings.GetParam(kParamGainGreen));
        d[41] = uint8_t(100 - settings.GetParam(kParamGainBlue));
    }
    d[47] = type == kImageGrey ? 1 : type == kImageRgb || type == kImageCmyk ? 14 : 0;
    d[48] = uint8_t(settings.GetParam(kParamWindow54));
    bool automatic = settings.GetParam(kParamRangeMode) == 0 || settings.GetParam(kParamAutoMinimum) != 0;
    uint32_t opacity =
        settings.GetScanMode() == 3 ? DensityToOpacityPercent(uint32_t(settings.GetParam(kParamMinDensity))) : 100;
    PutBe16(d + 50, automatic ? 0 : opacity);
    d[59] = uint8_t(settings.GetParam(kParamWindowSummaryA));
    d[60] = uint8_t(settings.GetParam(kParamWindowSummaryB));
    d[61] = uint8_t(settings.GetParam(kParamWindowSummaryC));
    return length;
}

uint16_t CZandorDriver::SetScanParameters(CScanSettings* settings)
{
    if (g_pScsiChannel == nullptr || settings == nullptr)
        return kDriverFailed;
    uint16_t result = WaitReady(kWindowReadyTimeout);
    if (result != kDriverOk)
        return result;
    settings->SetParam(kParamPaddingType, 0);
    settings->SetParam(kParamPaddingFlags, 3);
    settings->SetParam(kParamBitOrdering, 0);
    settings->SetParam(kParamWindow60, 0);
    CScanSettings& global = g_pScanSettings != nullptr ? *g_pScanSettings : *settings;
    global.SetParamAllTypes(kParamWindow51, 10);
    global.SetParamAllTypes(kParamWindow52, 10);
    settings->SetParam(kParamDriverGamma, 0);
    settings->SetParam(kParamWindow54, settings->GetParam(kParamOriginal) == kOriginalReflective ? 1 : 0);

    uint32_t mode = settings->GetScanMode();
    if (mode == 5 && (global.GetCurrentType() == kImageRgb || global.GetCurrentType() == kImageCmyk))
        mode = 3;
    struct CModeParams {
        int32_t composition, bits, summaryA, summaryB;
    };
    const CModeParams line = {0, 1, 1, 8};
    const CModeParams grey = {2, m_nBitsPerSample, 1, 1};
    const CModeParams colour = {5, m_nBitsPerSample, 1, 1};
    const CModeParams* chosen = mode == 0 ? &line : mode == 2 ? &grey : mode == 3 || mode == 4 ? &colour : nullptr;
    if (mode == 0) {
        settings->SetParam(kParamMinDensity, int32_t(GetMinDensity(0)));
        settings->SetParam(kParamMaxDensity, int32_t(GetMaxDensity(0)));
    }
    if (chosen != nullptr) {
        settings->SetParam(kParamPaddingType, 0);
        settings->SetParam(kParamComposition, chosen->composition);
        settings->SetParam(kParamOutputBits, chosen->bits);
        settings->SetParam(kParamHalftonePattern, 0);
        settings->SetParam(kParamWindowSummaryA, chosen->summaryA);
        settings->SetParam(kParamWindowSummaryB, chosen->summaryB);
        settings->SetParam(kParamWindowSummaryC, 2);
    }

    uint8_t descriptor[kMaxDescriptor];
    uint32_t length = BuildWindow(*settings, descriptor);
    CScsiByteBuffer block(length);
    std::memcpy(block.GetData(), descriptor, length);
    CScsiWindowList list(1, length);
    if (!list.SetDescriptor(0, block))
        return kDriverNoMemory;
    result = g_pScsiChannel->SetWindow(list, kCommandTimeout, kSenseBytes);
    return IsCheck(result) ? HandleSense(list.m_sense) : result;
}

void CZandorDriver::TakeStatus(const uint8_t* status, int flag)
{
    CScanSettings& settings = *g_pScanSettings;
    const CDotAreaRange& lo = m_MinDotArea;
    const CDotAreaRange& hi = m_MaxDotArea;
    int32_t s = (lo.m_nLow + (lo.m_nHigh - lo.m_nLow) * int32_t(status[16]) / 255) * 100;
    int32_t h = (hi.m_nLow + (hi.m_nHigh - hi.m_nLow) * (255 - int32_t(status[17])) / 255) * 100;
    bool notPreview = settings.GetParam(kParamPreviewFlag) != 1;
    bool automatic = settings.GetParam(kParamRangeMode) == 0;
    if (notPreview && (automatic || settings.GetParam(kParamAutoMinimum) != 0))
        settings.SetParam(kParamMinDensity, int32_t(DensityOfDotArea(s)));
    if (notPreview && (automatic || settings.GetParam(kParamAutoMaximum) != 0))
        settings.SetParam(kParamMaxDensity, int32_t(DensityOfDotArea(h)));
    settings.m_WindowSummary.m_nWord[0] = uint16_t(GetBe16(status + 14));
    if (flag == 0)
        return;
    settings.m_nPixelsPerLine = GetBe16(status + 8);
    settings.m_nLineCount = GetBe16(status + 10);
    settings.m_nBytesPerLine = GetBe16(status + 12);
    // The short status block of the older models ends at byte 23: their window summary keeps
    // what the scan geometry put there.
    if (StatusLength() < kMaxStatus)
        return;
    settings.m_WindowSummary.m_nWord[1] = uint16_t(GetBe16(status + 30));
    settings.m_WindowSummary.m_nWord[2] = status[33];
    settings.m_WindowSummary.m_nByte1 = status[37];
    settings.m_WindowSummary.m_nByte2 = status[35];
    settings.m_WindowSummary.m_nWord[4] = status[39];
}

uint16_t CZandorDriver::ReadAutoDensities(int flag)
{
    if (g_pScsiChannel == nullptr || g_pScanSettings == nullptr)
        return kDriverFailed;
    uint16_t result = WaitReady(m_nBusyLimit);
    if (result != kDriverOk)
        return result;
    CScsiByteBuffer status(StatusLength());
    result = g_pScsiChannel->Read10(status, StatusLength(), kDataWindowStatus, 0, true, m_nBusyLimit, kSenseBytes);
    if (result == kDriverOk)
        TakeStatus(status.GetData(), flag);
    return IsCheck(result) ? HandleSense(status.m_sense) : result;
}
