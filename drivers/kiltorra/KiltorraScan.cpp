// The commands of a KILTORRA scan: the window and what goes with it (sharpening curve, film values),
// the tone tables, the start with the status of the accepted window, the half-buffered reads and
// the end with the densities the device chose.

#include "drivers/kiltorra/KiltorraDriver.h"

#include "core/cms/CmsRecords.h"
#include "core/messages/MessageReporter.h"
#include "core/scan/ShellServices.h"
#include "core/scsi/ScsiBuffer.h"
#include "core/scsi/ScsiChannel.h"
#include "core/settings/ScanSettings.h"
#include "core/util/ByteOrder.h"
#include "core/util/Clock.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr uint32_t kCommandTimeout = 30000;
constexpr int kSenseBytes = 32;
constexpr uint32_t kReadyTimeout = 60000;
constexpr uint32_t kScanReadyTimeout = 120000;
constexpr uint32_t kDataTimeout = 180000;
constexpr uint32_t kBusyPollMs = 1000;
constexpr uint32_t kDataPollMs = 250;
constexpr uint32_t kReadLimit = 60000;
constexpr int kUnchangedPolls = 6;
constexpr uint8_t kDataTypeImage = 0;
constexpr uint8_t kDataTypeStatus = 0x81;
constexpr uint8_t kDataTypeTable = 0x93;
constexpr uint32_t kDescriptorBytes = 140;
constexpr uint32_t kHeaderBytes = 8;
constexpr uint32_t kStatusBytes = 42;
constexpr int32_t kCustomSharpening = 65534;
constexpr uint16_t kValueSharpening = 1120;
constexpr int kMsgNoMemory = 3317;
constexpr int kMsgStopping = 3297;
// The narrowest window the device scans.
constexpr uint32_t kMinimumPixels = 2;
constexpr uint32_t kHundredthMmPerInch = 2540;

bool IsCheck(uint16_t result) { return (result & 0xFF) == 0x02 && (result >> 8) == 0; }
bool IsBusy(uint16_t result) { return (result & 0xFF) == 0x08 && (result >> 8) == 0; }

// 10^(-D) of a density in 1/1000 D, in 1/10000.
uint32_t Transmission(int32_t density) { return uint32_t(std::floor(std::pow(10.0, -density / 1000.0) * 10000.0)); }

// The flag stays set for the scan job, which ends the scan on it.
bool UserAborted() { return g_UserAbort != 0; }

// The device takes even widths. An odd selection gets the pixel after it rather than losing its
// last one, which the output would fill with the one before; only at the bed's edge one less.
uint32_t EvenWidth(uint32_t pixels, uint32_t resolution, int32_t right, uint32_t bedWidth)
{
    bool room =
        (uint64_t)(uint32_t)std::max(right, 0) * resolution + kHundredthMmPerInch <= (uint64_t)bedWidth * resolution;
    return room ? (pixels + 1) / 2 * 2 : pixels / 2 * 2;
}

}  // namespace

uint16_t CKiltorraDriver::WaitReady(uint32_t timeoutMs)
{
    if (g_pScsiChannel == nullptr)
        return kDriverFailed;
    uint32_t start = MillisecondClock();
    bool repeated = false;
    for (;;) {
        if (UserAborted())
            return kDriverAborted;
        CScsiByteBuffer none(0);
        uint16_t result = g_pScsiChannel->TestUnitReady(none, kCommandTimeout, kSenseBytes);
        if (result == kDriverOk)
            return kDriverOk;
        if (IsUnitAttention(result, none.m_sense) && !repeated) {
            repeated = true;
            continue;
        }
        if (IsCheck(result)) {
            result = HandleSense(none.m_sense);
            if (result != kDriverOk)
                return result;
        } else if (IsBusy(result)) {
            PumpMessages(std::min(kBusyPollMs, timeoutMs));
        } else {
            return result;
        }
        if (ClockElapsed(start) >= timeoutMs)
            return kDriverFailed;
    }
}

uint16_t CKiltorraDriver::WaitForData(uint8_t, uint32_t bytes, uint32_t timeoutMs)
{
    if (g_pScsiChannel == nullptr)
        return kDriverFailed;
    uint32_t start = MillisecondClock();
    uint32_t lastFilled = 0;
    int unchanged = 0;
    for (;;) {
        if (UserAborted())
            return kDriverAborted;
        CScsiFixedBuffer<12> status;
        uint16_t result = Checked(
            status, [&] { return g_pScsiChannel->GetDataBufferStatus(status, 0, kCommandTimeout, kSenseBytes); });
        if (result == kDriverOk) {
            uint32_t free = GetBe24(status.GetData() + 6);
            uint32_t filled = GetBe24(status.GetData() + 9);
            unchanged = filled != 0 && filled == lastFilled ? unchanged + 1 : 0;
            lastFilled = filled;
            // Half the wanted bytes are enough: the device keeps filling while they travel.
            if (filled >= bytes / 2 || filled > free / 2 || unchanged >= kUnchangedPolls)
                return kDriverOk;
        } else if (!IsBusy(result)) {
            return result;
        }
        PumpMessages(kDataPollMs);
        if (ClockElapsed(start) >= timeoutMs)
            return kDriverFailed;
    }
}

uint16_t CKiltorraDriver::ReadData(uint8_t* buffer, uint8_t qualifier, uint16_t lines, uint16_t bytesPerLine)
{
    if (g_pScsiChannel == nullptr)
        return kDriverFailed;
    uint32_t bytes = uint32_t(lines) * bytesPerLine;
    uint16_t result = WaitForData(qualifier, bytes, kDataTimeout);
    if (result != kDriverOk)
        return result;
    uint32_t start = MillisecondClock();
    bool repeated = false;
    for (;;) {
        if (UserAborted())
            return kDriverAborted;
        CScsiExternalBuffer data(buffer, bytes);
        result = g_pScsiChannel->Read10(data, bytes, kDataTypeImage, qualifier, true, kCommandTimeout, kSenseBytes);
        if (result == kDriverOk)
            break;
        if (IsUnitAttention(result, data.m_sense) && !repeated) {
            repeated = true;
            continue;
        }
        if (IsCheck(result)) {
            result = HandleSense(data.m_sense);
            if (result != kDriverOk)
                return result;
        } else if (IsBusy(result)) {
            // The device answers BUSY while the rest of the half-buffered read is still coming.
            PumpMessages(kDataPollMs);
        } else {
            return result;
        }
        if (ClockElapsed(start) >= kReadLimit)
            return kDriverFailed;
    }
    m_nLinesRead += lines;
    return kDriverOk;
}

uint16_t CKiltorraDriver::UpdateScanGeometry() { return UpdateSharedScanGeometry(); }

uint16_t CKiltorraDriver::PrescanIfNeeded(CScanSettings* settings, ScanProgressCallback progress)
{
    if (g_pScanSettings == nullptr || g_pScanSettings->GetParam(kParamOriginal) != 2)
        return kDriverOk;
    m_nPrescan = 1;
    uint16_t result = CScannerDriver::PrescanIfNeeded(settings, progress);
    m_nPrescan = 0;
    return result;
}

uint16_t CKiltorraDriver::PrepareColourCorrection()
{
    uint16_t result = PrepareFilmColourCorrection();
    if (result != kDriverOk || m_pCorrectionBlock == nullptr)
        return result;
    float gamma = float(GetGammaOverride());
    for (float& g : m_pCorrectionBlock->gamma)
        g = gamma;
    return kDriverOk;
}

uint16_t CKiltorraDriver::SendLookupTables()
{
    if (g_pScanSettings == nullptr || g_pScsiChannel == nullptr)
        return kDriverFailed;
    int32_t type = g_pScanSettings->GetCurrentType();
    uint16_t result = WaitReady(kReadyTimeout);
    if (result != kDriverOk)
        return result;
    CKiltorraLut13 block;
    if (block.GetData() == nullptr) {
        ReportMessage(kMsgNoMemory);
        return kDriverAborted;
    }
    bool colour = type == kImageRgb || type == kImageCmyk;
    // A grey table travels as the device's green channel.
    static const int kGreyChannels[] = {2};
    static const int kColourChannels[] = {1, 2, 3};
    const int* channels = colour ? kColourChannels : kGreyChannels;
    int count = colour ? 3 : 1;
    for (int i = 0; i < count; ++i) {
        block.GetData()[0] = uint8_t(channels[i]);
        result = DownloadLut(&block, colour ? channels[i] : 0);
        if (result != kDriverOk)
            return result;
        result = Checked(
            block, [&] { return g_pScsiChannel->Send10(block, kDataTypeTable, 0, kCommandTimeout, kSenseBytes); });
        if (result != kDriverOk)
            return result;
    }
    return kDriverOk;
}

void CKiltorraDriver::BuildWindow(const CScanSettings& s, uint8_t* d)
{
    std::memset(d, 0, kDescriptorBytes);
    auto p = [&s](uint16_t id) { return s.GetParam(id); };
    uint32_t xres = ClampResolutionX(uint32_t(p(kParamResolution)));
    uint32_t yres = ClampResolutionY(uint32_t(p(kParamResolution)));
    int32_t type = s.GetCurrentType();
    d[0] = uint8_t(p(kParamWindowId));
    PutBe16(d + 2, xres);
    PutBe16(d + 4, yres);
    PutBe32(d + 6, uint32_t(std::max(p(kParamOriginX) + p(kParamSelLeft), 0)) * xres / 2540 & 0xFFFFFF);
    PutBe32(d + 10, uint32_t(std::max(p(kParamOriginY) + p(kParamSelTop), 0)) * yres / 2540 & 0xFFFFFF);
    uint32_t width = uint32_t(std::max(kMinSelectionLength, p(kParamSelRight) - p(kParamSelLeft))) * xres / 2540;
    width = type == kImageHalftone
        ? std::max<uint32_t>(width & ~15u, 16)
        : std::max(EvenWidth(width, xres, p(kParamOriginX) + p(kParamSelRight), GetBedWidth(p(kParamOriginal))),
              kMinimumPixels);
    uint32_t length = uint32_t(std::max(kMinSelectionLength, p(kParamSelBottom) - p(kParamSelTop))) * yres / 2540;
    PutBe32(d + 14, width);
    PutBe32(d + 18, std::max<uint32_t>(length, 1));
    // Ink scale: the device makes black where the light is below the threshold per cent.
    d[23] = uint8_t(255 - p(kParamThreshold) * 255 / 100);
    d[25] = uint8_t(p(kParamComposition));
    d[26] = uint8_t(p(kParamOutputBits));
    d[29] = uint8_t(p(kParamPaddingType) | p(kParamPaddingFlags));
    PutBe16(d + 30, uint32_t(p(kParamBitOrdering)));
    int32_t sharpness = p(kParamSharpness);
    d[40] = uint8_t(sharpness == 0 ? 1 : sharpness == kCustomSharpening ? p(kParamSharpenLevel) : sharpness);
    d[44] = uint8_t(p(kParamWindow50));
    d[46] = p(kParamQuality) == 1 ? 1 : 255;
    d[47] = d[48] = d[49] = 100;
    d[56] = uint8_t(p(kParamWindow54));
    d[59] = 100;
    PutBe16(d + 60, uint32_t(p(kParamDriverGamma)));
    d[63] = uint8_t(p(kParamWindow63));
    d[64] = uint8_t(p(kParamWindow64));
    d[65] = uint8_t(p(kParamWindow65));
    d[67] = uint8_t(p(kParamWindowSummaryA));
    d[68] = uint8_t(p(kParamWindowSummaryB));
    d[69] = uint8_t(p(kParamWindowSummaryC));
    PutBe16(d + 72, uint32_t(p(kParamScreenRuling) != 0 ? p(kParamScreenRuling) : p(kParamStoredHundred)));
    d[74] = uint8_t(p(kParamWindow61));
    d[75] = uint8_t(p(kParamWindow62));
    int32_t low = std::clamp<int32_t>(p(kParamMinDensity), int32_t(GetMinDensity(0)),
        std::max<int32_t>(int32_t(GetMinDensity(0)), int32_t(GetMinDensityCeiling(0))));
    int32_t high = std::clamp<int32_t>(p(kParamMaxDensity), int32_t(GetMaxDensityFloor(0)),
        std::max<int32_t>(int32_t(GetMaxDensityFloor(0)), int32_t(GetMaxDensity(0))));
    PutBe16(d + 76, uint32_t(10 * low));
    PutBe16(d + 78, uint32_t(10 * high));
    PutBe16(d + 80, Transmission(high));
    PutBe16(d + 82, Transmission(low));
    uint32_t gamma = uint32_t(std::ceil(GetGammaOverride() * 1000.0));
    PutBe16(d + 118, gamma);
    PutBe16(d + 120, gamma);
    PutBe16(d + 122, gamma);
    d[124] = 3;
    d[125] = d[126] = 1;
    if (type == kImageRgb || type == kImageCmyk)
        d[128] = p(kParamQuality) == 1 ? 4 : 2;
    d[129] = uint8_t(sharpness == kCustomSharpening ? p(kParamSharpenRadius) : 0);
    d[130] = sharpness == 0 ? 0 : 1;
    d[134] = 1;
    d[138] = 1;
}

uint16_t CKiltorraDriver::SetScanParameters(CScanSettings* settings)
{
    uint16_t result = WaitReady(kReadyTimeout);
    if (result != kDriverOk)
        return result;
    CScanSettings& s = *settings;
    s.SetParam(kParamPaddingFlags, 3);
    s.SetParam(kParamBitOrdering, 0);
    s.SetParam(kParamWindow60, 0);
    s.SetParam(kParamWindowSummaryA, 1);
    s.SetParam(kParamWindowSummaryB, 1);
    s.SetParam(kParamWindowSummaryC, 1);
    int32_t format = s.GetParam(kParamFormatIndex);
    bool known = m_pFormatTable != nullptr && format >= 0 && format < kFormatTableEntries;
    s.SetParam(kParamDriverGamma, known ? m_pFormatTable->m_Entries[format].m_nExtra : 0);

    int32_t original = s.GetParam(kParamOriginal);
    bool reflective = original == 0;
    s.SetParam(kParamWindow54, reflective ? 1 : 0);
    s.SetParam(kParamWindow61, reflective ? 1 : 3);
    if (m_nPrescan == 0 && original != 2) {
        int32_t range = s.GetParam(kParamRangeMode);
        int32_t autoFlags = s.GetParam(kParamAutoMaximum) != 0 ? 16 : 0;
        if (range == 0)
            s.SetParam(kParamWindow62, 86);
        else if (range >= 1 && range <= 3)
            s.SetParam(kParamWindow62, (s.GetParam(kParamAutoMinimum) != 0 ? 198 : 194) | autoFlags);
        else if (range == 4 || range == 5)
            s.SetParam(kParamWindow62, 194);
    } else {
        s.SetParam(kParamWindow62, 194);
    }
    switch (s.GetScanMode()) {
    case 0:
        s.SetParam(kParamMinDensity, int32_t(GetMinDensity(0)));
        s.SetParam(kParamMaxDensity, int32_t(GetMaxDensity(0)));
        s.SetParam(kParamPaddingType, 128);
        s.SetParam(kParamComposition, 0);
        s.SetParam(kParamOutputBits, 1);
        s.SetParam(kParamWindowSummaryA, 1);
        s.SetParam(kParamWindowSummaryB, 8);
        break;
    case 2:
        s.SetParam(kParamPaddingType, 0);
        s.SetParam(kParamComposition, 2);
        s.SetParam(kParamOutputBits, 8);
        break;
    case 3:
    case 4:
        s.SetParam(kParamPaddingType, 0);
        s.SetParam(kParamComposition, 5);
        s.SetParam(kParamOutputBits, 8);
        break;
    default:
        return kDriverFailed;
    }
    bool quality = s.GetParam(kParamQuality) == 1;
    s.SetParam(kParamWindow63, quality ? 30 : 0);
    s.SetParam(kParamWindow64, quality ? 60 : 0);
    s.SetParam(kParamWindow65, quality ? 10 : 0);

    CScsiByteBuffer list(kHeaderBytes + kDescriptorBytes);
    if (list.GetData() == nullptr)
        return kDriverNoMemory;
    PutBe16(list.GetData() + 6, kDescriptorBytes);
    BuildWindow(s, list.GetData() + kHeaderBytes);
    result = Checked(list, [&] { return g_pScsiChannel->SetWindow(list, kCommandTimeout, kSenseBytes); });
    if (result != kDriverOk)
        return result;

    if (s.GetParam(kParamSharpness) == kCustomSharpening) {
        static const CKiltorraCurvePoint kPlain[] = {{0, 1023}, {962, 1023}, {1002, 0}, {1023, 0}};
        static const CKiltorraCurvePoint kLifted[] = {{0, 0}, {40, 0}, {60, 1023}, {962, 1023}, {1002, 0}, {1023, 0}};
        CKiltorraLut curve;
        if (s.GetParam(kParamSharpenLow) == 0)
            BuildKiltorraCurve(curve, kPlain, 4);
        else
            BuildKiltorraCurve(curve, kLifted, 6);
        result = Checked(
            curve, [&] { return g_pScsiChannel->Send10(curve, kDataTypeTable, 0, kCommandTimeout, kSenseBytes); });
        if (result == kDriverOk)
            result = SendKiltorraValue(kValueSharpening, uint32_t(s.GetParam(kParamSharpenHigh)));
        if (result != kDriverOk)
            return result;
    }
    if (original == 2) {
        static const struct {
            uint16_t code;
            uint16_t param;
        } kFilmValues[] = {
            {33, kParamMaxDensityRed},
            {32, kParamMaxDensityGreen},
            {31, kParamMaxDensityBlue},
            {43, kParamMinDensityRed},
            {42, kParamMinDensityGreen},
            {41, kParamMinDensityBlue},
        };
        for (const auto& value : kFilmValues) {
            result = SendKiltorraValue(value.code, Transmission(s.GetParam(value.param)));
            if (result != kDriverOk)
                return result;
        }
    }
    return kDriverOk;
}

uint16_t CKiltorraDriver::ReadStatus()
{
    CScsiFixedBuffer<kStatusBytes> status;
    uint16_t result = Checked(status, [&] {
        return g_pScsiChannel->Read10(status, kStatusBytes, kDataTypeStatus, 0, true, kCommandTimeout, kSenseBytes);
    });
    if (result != kDriverOk)
        return result;
    TakeStatusBlock(status.GetData());
    return kDriverOk;
}

uint16_t CKiltorraDriver::PrepareScan()
{
    if (g_pScsiChannel == nullptr || g_pScanSettings == nullptr)
        return kDriverFailed;
    uint16_t result = WaitReady(kScanReadyTimeout);
    if (result != kDriverOk)
        return result;
    CScsiFixedBuffer<1> windows;
    result = Checked(windows, [&] { return g_pScsiChannel->ScanWindows(windows, 0, kCommandTimeout, kSenseBytes); });
    if (result != kDriverOk)
        return result;
    result = WaitReady(kScanReadyTimeout);
    if (result != kDriverOk)
        return result;
    CScsiByteBuffer none(0);
    result = Checked(
        none, [&] { return g_pScsiChannel->Read10(none, 0, kDataTypeImage, 0, true, kCommandTimeout, kSenseBytes); });
    if (result != kDriverOk)
        return result;
    result = WaitForData(0, 1, kScanReadyTimeout);
    if (result != kDriverOk)
        return result;
    return ReadStatus();
}

uint16_t CKiltorraDriver::StartScanCommand(uint8_t)
{
    m_nLinesRead = 0;
    return kDriverOk;
}

uint16_t CKiltorraDriver::StartPass(int32_t windowId, int32_t control)
{
    m_nLinesRead = 0;
    if (g_pScsiChannel == nullptr)
        return kDriverFailed;
    uint32_t start = MillisecondClock();
    for (;;) {
        if (UserAborted())
            return kDriverAborted;
        CScsiFixedBuffer<1> windows;
        windows.GetData()[0] = uint8_t(windowId);
        uint16_t result = g_pScsiChannel->ScanWindows(windows, uint8_t(control), kCommandTimeout, kSenseBytes);
        if (result == kDriverOk || result == kDriverAborted)
            return result;
        // A device that never accepts the pass must not hold the program: the pass fails after the
        // longest wait of the family.
        if (ClockElapsed(start) >= m_nStartPassLimit)
            return kDriverFailed;
        PumpMessages(std::min(kDataPollMs, m_nStartPassLimit));
    }
}

void CKiltorraDriver::ReadChosenDensities()
{
    CScanSettings& s = *g_pScanSettings;
    bool automatic = s.GetParam(kParamRangeMode) == 0;
    bool wantMinimum = s.GetParam(kParamAutoMinimum) != 0 || automatic;
    bool wantMaximum = s.GetParam(kParamAutoMaximum) != 0 || automatic;
    if (!wantMinimum && !wantMaximum)
        return;
    if (WaitReady(kReadyTimeout) != kDriverOk)
        return;
    CScsiByteBuffer list(kHeaderBytes + kDescriptorBytes);
    if (list.GetData() == nullptr)
        return;
    PutBe16(list.GetData() + 6, kDescriptorBytes);
    if (Checked(list, [&] { return g_pScsiChannel->GetWindow(list, kCommandTimeout, kSenseBytes); }) != kDriverOk)
        return;
    const uint8_t* d = list.GetData() + kHeaderBytes;
    if (wantMinimum)
        s.SetParam(kParamMinDensity, GetBe16(d + 76) / 10);
    if (wantMaximum)
        s.SetParam(kParamMaxDensity, GetBe16(d + 78) / 10);
}

uint16_t CKiltorraDriver::StopScan(int32_t)
{
    Shell().ShowScanStatus(kMsgStopping, 0);
    m_nPrescan = 0;
    m_nLinesRead = 0;
    if (g_pScsiChannel == nullptr || g_pScanSettings == nullptr)
        return kDriverOk;
    ReadChosenDensities();
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
