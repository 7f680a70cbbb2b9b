// The commands of a TELMARI scan: the device values, the window, the lookup tables, the start of
// each pass, the buffered reading with its byte swap, and the stop with the automatic densities.

#include "drivers/telmari/TelmariDriver.h"

#include "core/scan/ShellServices.h"
#include "core/scsi/ScsiBuffer.h"
#include "core/scsi/ScsiChannel.h"
#include "core/scsi/ScsiTransport.h"
#include "core/settings/ScanSettings.h"
#include "core/util/ByteOrder.h"
#include "core/util/Clock.h"
#include "core/util/Numeric.h"
#include "framework/App.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr uint32_t kReadyTimeout = 60000;
constexpr uint32_t kCommandTimeout = 30000;
constexpr uint32_t kLutTimeout = 10000;
constexpr uint32_t kFirstDataTimeout = 120000;
constexpr int kSenseBytes = 14;
constexpr uint8_t kDataTypeImage = 0;
constexpr uint8_t kDataTypeInformation = 0x81;
constexpr uint8_t kDataTypeLut = 0xB0;
constexpr uint8_t kDataTypeValue = 0xA2;
constexpr uint32_t kDescriptorBytes = 110;
constexpr uint32_t kInformationBytes = 40;
constexpr uint32_t kPollMs = 250;
constexpr uint32_t kScanRetryMs = 1000;
constexpr int kStateTries = 80;
constexpr uint32_t kStateBusyBits = 0xC0;
// The same non-zero count on this many polls after the first means the device has stalled.
constexpr int kStallPolls = 5;
constexpr uint16_t kResultTimedOut = 48;
constexpr uint8_t kHostBusReset = 9;
constexpr uint8_t kHostCommandAborted = 11;
constexpr int kMsgStopping = 3297;
constexpr uint8_t kGreyTableChannel = 2;

bool IsCheck(uint16_t result) { return (result >> 8) == 0 && (result & 0xFF) == kScsiCheckCondition; }

bool IsBusy(uint16_t result) { return (result >> 8) == 0 && (result & 0xFF) == kScsiBusy; }

// A command the device answered with UNIT ATTENTION did not run (the answer only tells of a reset):
// it goes once more.
template <class Command> uint16_t RepeatingUnitAttention(CScsiBuffer& block, Command send)
{
    uint16_t result = send();
    if (CScannerDriver::IsUnitAttention(result, block.m_sense))
        result = send();
    return result;
}

bool IsColourType(int32_t type) { return type == kImageRgb || type == kImageCmyk; }

uint32_t RoundUpTo8(uint32_t value) { return (value + 7) / 8 * 8; }

// Pixels of a length in 1/100 mm, truncated; a position left of the bed counts as its edge.
uint32_t Trunc(int64_t length, uint32_t resolution)
{
    return length <= 0 ? 0 : uint32_t(ScaleRound(double(length), resolution, 2540, 1));
}

int32_t ExposureControl(const CScanSettings& s, bool prescanning)
{
    int32_t autoBits =
        (s.GetParam(kParamAutoMinimum) != 0 ? 0x04 : 0) | (s.GetParam(kParamAutoMaximum) != 0 ? 0x10 : 0);
    bool preview = s.GetParam(kParamPreviewFlag) == 1;
    if (prescanning || (s.GetParam(kParamOriginal) == kTelmariNegative && IsColourType(s.GetCurrentType())))
        return 0xC0;
    switch (s.GetParam(kParamRangeMode)) {
    case 0:
        return preview ? 0xC0 | autoBits : 0xD4;
    case 1:
    case 2:
    case 3:
        return 0xC0 | (preview ? 0 : autoBits);
    case 4:
    case 5:
        return 0xC0;
    default:
        return s.GetParam(kParamWindow62);
    }
}

void SetModeParams(CScanSettings& s, uint32_t mode, uint32_t minDensity, uint32_t maxDensity)
{
    struct CModeValues {
        int32_t padding, composition, bits, summaryB;
    };
    CModeValues values;
    switch (mode) {
    case 0:
        s.SetParam(kParamMinDensity, int32_t(minDensity));
        s.SetParam(kParamMaxDensity, int32_t(maxDensity));
        values = {0, 0, 1, 8};
        break;
    case 2:
        values = {0x80, 2, 8, 1};
        break;
    case 3:
        values = {0x80, 5, 8, 1};
        break;
    default:
        return;
    }
    s.SetParam(kParamPaddingType, values.padding);
    s.SetParam(kParamComposition, values.composition);
    s.SetParam(kParamOutputBits, values.bits);
    s.SetParam(kParamHalftonePattern, 0);
    s.SetParam(kParamWindowSummaryA, 1);
    s.SetParam(kParamWindowSummaryB, values.summaryB);
    s.SetParam(kParamWindowSummaryC, 2);
}

}  // namespace

uint32_t TelmariTransmittance(int32_t density)
{
    return uint32_t(std::floor(std::pow(10.0, -density / 1000.0) * 10000));
}

void TelmariSwapSamples(uint8_t* data, size_t samples, uint32_t bits, bool widen)
{
    uint16_t* sample = reinterpret_cast<uint16_t*>(data);
    uint32_t shift = widen && bits < 16 ? 16 - bits : 0;
    uint32_t topBits = ((1u << shift) - 1) << (16 - shift);
    for (size_t i = 0; i < samples; ++i) {
        uint32_t v = uint16_t((sample[i] << 8) | (sample[i] >> 8));
        v = (v << shift) & 0xFFFF;
        sample[i] = uint16_t(v + ((v & topBits) >> (16 - shift)));
    }
}

// ---- device values ----

uint16_t CTelmariDriver::SendDeviceValue(uint16_t id, uint32_t value)
{
    if (g_pScsiChannel == nullptr)
        return kDriverFailed;
    CScsiFixedBuffer<4> block;
    PutBe32(block.GetData(), value);
    uint16_t result = RepeatingUnitAttention(
        block, [&] { return g_pScsiChannel->Send10(block, kDataTypeValue, id, kCommandTimeout, kSenseBytes); });
    if (IsCheck(result))
        return HandleSense(block.m_sense);
    return result;
}

bool CTelmariDriver::AcceptsDeviceValue(uint16_t id, uint32_t value)
{
    if (g_pScsiChannel == nullptr)
        return false;
    CScsiFixedBuffer<4> block;
    PutBe32(block.GetData(), value);
    return RepeatingUnitAttention(block, [&] {
        return g_pScsiChannel->Send10(block, kDataTypeValue, id, kCommandTimeout, kSenseBytes);
    }) == kDriverOk;
}

uint16_t CTelmariDriver::ReadDeviceValue(uint16_t id, uint32_t& value)
{
    if (g_pScsiChannel == nullptr)
        return kDriverFailed;
    CScsiFixedBuffer<4> block;
    uint16_t result = RepeatingUnitAttention(block,
        [&] { return g_pScsiChannel->Read10(block, 4, kDataTypeValue, id, true, kCommandTimeout, kSenseBytes); });
    if (IsCheck(result))
        return HandleSense(block.m_sense);
    value = GetBe32(block.GetData());
    return result;
}

// ---- the window ----

void CTelmariDriver::BuildWindowDescriptor(CScanSettings& s, uint8_t* d)
{
    uint32_t resolution = uint32_t(s.GetParam(kParamResolution));
    uint32_t xres = ClampResolutionX(resolution);
    uint32_t yres = ClampResolutionY(resolution);
    s.SetParam(kParamPaddingType, 0);
    s.SetParam(kParamPaddingFlags, 3);
    s.SetParam(kParamBitOrdering, 0);
    s.SetParam(kParamWindow60, 0);
    s.SetParamAllTypes(kParamWindow51, 10);
    s.SetParamAllTypes(kParamWindow52, 10);
    int32_t format = s.GetParam(kParamFormatIndex);
    const CFormatEntry* entry = m_pFormatTable != nullptr && format >= 0 && format < kFormatTableEntries
        ? &m_pFormatTable->m_Entries[format]
        : nullptr;
    s.SetParam(kParamDriverGamma, entry != nullptr && entry->m_nHolder != 0 ? entry->m_nExtra : 0);
    bool reflective = s.GetParam(kParamOriginal) == kTelmariReflective;
    s.SetParam(kParamWindow54, reflective ? 1 : 0);
    s.SetParam(kParamWindow61, reflective ? 1 : 3);
    s.SetParam(kParamWindow62, ExposureControl(s, m_bPrescanning != 0));
    SetModeParams(s, s.GetScanMode(), GetMinDensity(0), GetMaxDensity(0));
    if (s.GetParam(kParamBitsPerChannel) > 8) {
        s.SetParam(kParamWindowSummaryA, 2);
        s.SetParam(kParamOutputBits, s.GetParam(kParamBitsPerChannel));
    }

    uint32_t left = Trunc(s.GetParam(kParamSelLeft) + s.GetParam(kParamOriginX), xres);
    uint32_t top = Trunc(s.GetParam(kParamSelTop) + s.GetParam(kParamOriginY), yres);
    // The transparency bed is given by its right and bottom edges.
    const CBedArea& bed = reflective ? m_ReflectiveBed : m_TransparencyBed;
    uint32_t bedWidth = Trunc(bed.m_nWidth, xres);
    uint32_t bedLength = Trunc(bed.m_nHeight, yres);
    uint32_t maxWidth = bedWidth > left ? (bedWidth - left) & ~1u : 0;
    uint32_t maxLength = bedLength > top ? bedLength - top : 0;
    uint32_t width = 0, length = 0;
    s.ScannerPixelSize(width, length);
    width = std::min(RoundUpTo8(width), maxWidth);
    length = std::min(RoundUpTo8(length), maxLength);

    int32_t minDensity = s.GetParam(kParamMinDensity);
    int32_t maxDensity = s.GetParam(kParamMaxDensity);
    int32_t dmin = std::max<int32_t>(std::min<int32_t>(minDensity, GetMinDensityCeiling(0)), GetMinDensity(0));
    int32_t dmax = std::min<int32_t>(std::max<int32_t>(maxDensity, GetMaxDensityFloor(0)), GetMaxDensity(0));
    int32_t threshold = s.GetParam(kParamThreshold) * 255 / 100;
    int32_t sharpness = s.GetParam(kParamSharpness);
    int32_t ruling = s.GetParam(kParamScreenRuling);
    bool screening = IsScreenRulingOff() != 0 && ruling != 0;
    bool plus = m_nKind == kKindTelmariUltra && !IsUltraProduct();
    int32_t quality = s.GetParam(kParamQuality);

    std::memset(d, 0, kDescriptorBytes);
    d[0] = uint8_t(s.GetParam(kParamWindowId));
    PutBe16(d + 2, xres);
    PutBe16(d + 4, yres);
    PutBe32(d + 6, left);
    PutBe32(d + 10, top);
    PutBe16(d + 16, width);
    PutBe16(d + 20, length);
    d[22] = uint8_t(DensityToDotArea(uint32_t(minDensity)) * 255 / 10000);
    // The TELMARI and ULTRA threshold on their ink scale, the PLUS on the light.
    d[23] = uint8_t(plus ? threshold : 255 - threshold);
    d[24] = uint8_t(DensityToDotArea(uint32_t(maxDensity)) * 255 / 10000);
    d[25] = uint8_t(s.GetParam(kParamComposition));
    d[26] = uint8_t(s.GetParam(kParamOutputBits));
    d[27] = uint8_t(s.GetParam(kParamHalftonePattern));
    d[28] = s.GetParam(kParamRangeMode) == 0 && s.GetCurrentType() == kImageLineArt ? 1 : 0;
    d[29] = uint8_t(s.GetParam(kParamPaddingType) | s.GetParam(kParamPaddingFlags));
    PutBe16(d + 30, uint32_t(s.GetParam(kParamBitOrdering)));
    d[40] = uint8_t(sharpness == 0 || sharpness == 0xFFFE ? 1 : (sharpness & 0xFF) / 25 + 1);
    d[41] = s.GetParam(kParamWindow49) != 0 ? 2 : 0;
    d[42] = uint8_t(s.GetParam(kParamWindow51));
    d[43] = uint8_t(s.GetParam(kParamWindow52));
    d[44] = 1;
    if (m_nKind == kKindTelmariUltra)
        d[46] = quality == 0 ? 2 : quality == 1 ? 1 : 0;
    else
        d[46] = quality == 1 ? 1 : 0;
    d[55] = s.GetParam(kParamComposition) == 5 ? 14 : 0;
    d[56] = uint8_t(s.GetParam(kParamWindow54));
    PutBe16(d + 58, DensityToOpacityPercent(uint32_t(minDensity)));
    PutBe16(d + 60, uint32_t(s.GetParam(kParamDriverGamma)));
    d[62] = uint8_t(s.GetParam(kParamWindow56));
    d[63] = uint8_t(s.GetParam(kParamWindow63));
    d[64] = uint8_t(s.GetParam(kParamWindow64));
    d[65] = uint8_t(s.GetParam(kParamWindow65));
    d[66] = screening ? 1 : 0;
    d[67] = uint8_t(s.GetParam(kParamWindowSummaryA));
    d[68] = uint8_t(s.GetParam(kParamWindowSummaryB));
    d[69] = uint8_t(s.GetParam(kParamWindowSummaryC));
    d[70] = uint8_t(s.GetParam(kParamWindow60));
    PutBe16(d + 72, uint32_t(screening ? ruling : s.GetParam(kParamStoredHundred)));
    d[74] = uint8_t(s.GetParam(kParamWindow61));
    d[75] = uint8_t(s.GetParam(kParamWindow62));
    PutBe16(d + 76, uint32_t(dmin) * 10);
    PutBe16(d + 78, uint32_t(dmax) * 10);
    PutBe16(d + 80, TelmariTransmittance(dmax));
    PutBe16(d + 82, TelmariTransmittance(dmin));
}

uint16_t CTelmariDriver::SetScanParameters(CScanSettings* settings)
{
    if (settings == nullptr || g_pScsiChannel == nullptr)
        return kDriverFailed;
    uint16_t result = WaitReady(kReadyTimeout);
    if (result != kDriverOk)
        return result;
    CScsiFixedBuffer<kDescriptorBytes> descriptor;
    BuildWindowDescriptor(*settings, descriptor.GetData());
    CScsiWindowList list(1, kDescriptorBytes);
    if (!list.SetDescriptor(0, descriptor))
        return kDriverNoMemory;
    result =
        RepeatingUnitAttention(list, [&] { return g_pScsiChannel->SetWindow(list, kCommandTimeout, kSenseBytes); });
    if (result != kDriverOk)
        return IsCheck(result) ? HandleSense(list.m_sense) : result;
    if (settings->GetParam(kParamOriginal) == kTelmariNegative)
        return SendFilmValues(*settings);
    return kDriverOk;
}

uint16_t CTelmariDriver::SendFilmValues(const CScanSettings& settings)
{
    struct CFilmValue {
        uint16_t id;
        uint16_t param;
    };
    const CFilmValue kValues[] = {
        {kTelmariValueMaxRed, kParamMaxDensityRed},
        {kTelmariValueMaxGreen, kParamMaxDensityGreen},
        {kTelmariValueMaxBlue, kParamMaxDensityBlue},
        {kTelmariValueMinRed, kParamMinDensityRed},
        {kTelmariValueMinGreen, kParamMinDensityGreen},
        {kTelmariValueMinBlue, kParamMinDensityBlue},
    };
    for (const CFilmValue& v : kValues) {
        uint16_t result = SendDeviceValue(v.id, TelmariTransmittance(settings.GetParam(v.param)));
        if (result != kDriverOk)
            return result;
    }
    return kDriverOk;
}

// ---- tables ----

uint16_t CTelmariDriver::SendLookupTables()
{
    if (g_pScanSettings == nullptr || g_pScsiChannel == nullptr)
        return kDriverFailed;
    CTelmariLut table;
    uint16_t result = WaitReady(kReadyTimeout);
    if (result != kDriverOk)
        return result;
    bool colour = IsColourType(g_pScanSettings->GetCurrentType());
    for (int channel = colour ? 1 : 0; channel <= (colour ? 3 : 0); ++channel) {
        table.SetChannel(colour ? uint8_t(channel) : kGreyTableChannel);
        result = DownloadLut(&table, channel);
        if (result != kDriverOk)
            return result;
        result = RepeatingUnitAttention(
            table, [&] { return g_pScsiChannel->Send10(table, kDataTypeLut, 0, kLutTimeout, kSenseBytes); });
        if (result != kDriverOk)
            return IsCheck(result) ? HandleSense(table.m_sense) : result;
    }
    return kDriverOk;
}

// ---- start ----

uint16_t CTelmariDriver::ReadScanInformation()
{
    CScsiFixedBuffer<kInformationBytes> block;
    uint16_t result = RepeatingUnitAttention(block, [&] {
        return g_pScsiChannel->Read10(
            block, kInformationBytes, kDataTypeInformation, 0, true, kCommandTimeout, kSenseBytes);
    });
    if (IsCheck(result))
        return HandleSense(block.m_sense);
    if (result != kDriverOk)
        return result;
    TakeStatusBlock(block.GetData());
    m_bWidenSamples = AfxGetApp()->GetProfileInt("General", "Shiftto16beforeCMS", 0) != 0 ? 1 : 0;
    return kDriverOk;
}

uint16_t CTelmariDriver::PrepareScan()
{
    if (g_pScsiChannel == nullptr || g_pScanSettings == nullptr)
        return kDriverFailed;
    uint16_t result = WaitReady(kReadyTimeout);
    return result != kDriverOk ? result : ReadScanInformation();
}

// A device still busy with the last pass answers SCAN with BUSY, which the transport retries until
// the command's time-out: SCAN goes again, with messages pumped between, until the slowest family's
// deadline has passed or the user stops.
uint16_t CTelmariDriver::SendScan(uint8_t windowId, uint8_t control)
{
    uint32_t start = MillisecondClock();
    uint32_t timeout = std::min(kCommandTimeout, m_nBusyScanLimit);
    CScsiFixedBuffer<1> windows;
    windows.GetData()[0] = windowId;
    for (;;) {
        uint16_t result = RepeatingUnitAttention(
            windows, [&] { return g_pScsiChannel->ScanWindows(windows, control, timeout, kSenseBytes); });
        if (result == kDriverOk)
            return result;
        if (IsCheck(result))
            return HandleSense(windows.m_sense);
        if (!IsBusy(result) && result != kResultTimedOut)
            return result;
        if (ClockElapsed(start) >= m_nBusyScanLimit)
            return kDriverFailed;
        PumpMessages(std::min(kScanRetryMs, m_nBusyScanLimit));
        if (g_UserAbort != 0)
            return kDriverAborted;
    }
}

uint16_t CTelmariDriver::StartScanCommand(uint8_t windowId)
{
    if (g_pScsiChannel == nullptr)
        return kDriverFailed;
    m_nLinesRead = 0;
    uint16_t result = WaitReady(kReadyTimeout);
    return result != kDriverOk ? result : SendScan(windowId, 0);
}

uint16_t CTelmariDriver::WaitForDeviceState()
{
    for (int attempt = 0; attempt < kStateTries; ++attempt) {
        if (attempt != 0)
            PumpMessages(kPollMs);
        if (g_UserAbort != 0)
            return kDriverAborted;
        uint32_t state = 0;
        uint16_t result = ReadDeviceValue(kTelmariValueState, state);
        if (result == kDriverOk && (state & kStateBusyBits) == 0)
            return kDriverOk;
        uint8_t host = uint8_t(result >> 8);
        bool goOn = result == kDriverOk || (result & 0xFF) == kResultTimedOut || host == kHostBusReset ||
            host == kHostCommandAborted;
        if (!goOn)
            return result;
    }
    // A device that never says ready may still take the SCAN.
    return kDriverOk;
}

uint16_t CTelmariDriver::StartPass(int32_t windowId, int32_t control)
{
    if (g_pScsiChannel == nullptr)
        return kDriverFailed;
    m_nLinesRead = 0;
    uint16_t result = WaitForDeviceState();
    return result != kDriverOk ? result : SendScan(uint8_t(windowId), uint8_t(control));
}

// ---- reading ----

uint16_t CTelmariDriver::WaitForBufferedData(uint8_t, uint32_t& bytes, uint32_t timeoutMs)
{
    if (g_pScsiChannel == nullptr)
        return kDriverFailed;
    uint32_t start = MillisecondClock();
    int stalls = 0;
    uint32_t last = 0;
    for (;;) {
        if (g_UserAbort != 0)
            return kDriverAborted;
        CScsiFixedBuffer<12> status;
        uint16_t result = RepeatingUnitAttention(
            status, [&] { return g_pScsiChannel->GetDataBufferStatus(status, 0, kCommandTimeout, kSenseBytes); });
        if (result == kDriverAborted || result == kDriverFailed || (result >> 8) != 0)
            return result;
        if (result == kDriverOk) {
            uint32_t available = GetBe24(status.GetData() + 9);
            if (available >= bytes)
                return kDriverOk;
            if (available != last || available == 0) {
                last = available;
                stalls = 0;
            } else if (++stalls > kStallPolls) {
                if (m_bReadFix != 0)
                    bytes = available;
                return kDriverOk;
            }
        } else if (IsCheck(result)) {
            result = HandleSense(status.m_sense);
            if (result != kDriverOk)
                return result;
        } else if (!IsBusy(result)) {
            return result;
        }
        PumpMessages(std::min(kPollMs, timeoutMs));
        if (ClockElapsed(start) >= timeoutMs)
            return kDriverFailed;
    }
}

uint16_t CTelmariDriver::ReadData(uint8_t* buffer, uint8_t qualifier, uint16_t lines, uint16_t bytesPerLine)
{
    if (g_pScsiChannel == nullptr || g_pScanSettings == nullptr || bytesPerLine == 0)
        return kDriverFailed;
    uint32_t remaining = lines;
    uint32_t request = remaining * bytesPerLine;
    uint16_t result = WaitForBufferedData(qualifier, request, m_nReadWaitLimit);
    if (result != kDriverOk)
        return result;
    if (m_bReadFix != 0 && request < remaining * bytesPerLine) {
        // A stalled device gives its whole lines now and the rest once it goes on.
        uint32_t n = request / bytesPerLine;
        if (n != 0) {
            result = ReadImageLines(buffer, qualifier, n, bytesPerLine);
            if (result != kDriverOk)
                return result;
        }
        buffer += size_t(n) * bytesPerLine;
        remaining -= n;
        request = remaining * bytesPerLine;
        result = WaitForBufferedData(qualifier, request, m_nReadWaitLimit);
        if (result != kDriverOk)
            return result;
    }
    return ReadImageLines(buffer, qualifier, remaining, bytesPerLine);
}

uint16_t CTelmariDriver::ReadImageLines(uint8_t* buffer, uint8_t qualifier, uint32_t lines, uint32_t bytesPerLine)
{
    uint32_t bits = g_pScanSettings->GetBitsPerChannel();
    uint32_t bytes = lines * bytesPerLine;
    uint32_t start = MillisecondClock();
    for (;;) {
        if (g_UserAbort != 0)
            return kDriverAborted;
        CScsiExternalBuffer data(buffer, bytes);
        // The transfer length counts lines.
        uint16_t result = RepeatingUnitAttention(data, [&] {
            return g_pScsiChannel->Read10(data, lines, kDataTypeImage, qualifier, true, m_nReadWaitLimit, kSenseBytes);
        });
        if (result == kDriverAborted || result == kDriverFailed || (result >> 8) != 0)
            return result;
        if (result == kDriverOk) {
            m_nLinesRead += lines;
            if (bits > 8)
                TelmariSwapSamples(buffer, bytes / 2, bits, m_bWidenSamples != 0);
            return kDriverOk;
        }
        if (IsCheck(result)) {
            result = HandleSense(data.m_sense);
            if (result != kDriverOk)
                return result;
        } else if (IsBusy(result)) {
            PumpMessages(kPollMs);
        } else {
            return result;
        }
        if (ClockElapsed(start) >= m_nReadWaitLimit)
            return kDriverFailed;
    }
}

// ---- stop ----

void CTelmariDriver::ReadAutomaticDensities(CScanSettings& s)
{
    int32_t method = s.GetParam(kParamRangeMode);
    bool autoMin = s.GetParam(kParamAutoMinimum) != 0 || method == 0;
    bool autoMax = s.GetParam(kParamAutoMaximum) != 0 || method == 0;
    bool deviceThreshold = method == 0 && s.GetCurrentType() == kImageLineArt;
    bool wanted = ((autoMin || autoMax) && s.GetParam(kParamPreviewFlag) != 1) || deviceThreshold;
    if (!wanted || WaitReady(kReadyTimeout) != kDriverOk)
        return;
    CScsiWindowList list(1, kDescriptorBytes);
    uint16_t result =
        RepeatingUnitAttention(list, [&] { return g_pScsiChannel->GetWindow(list, kCommandTimeout, kSenseBytes); });
    // Without the device's answer the densities the user set stay.
    if (result != kDriverOk || list.GetData() == nullptr)
        return;
    const uint8_t* d = list.GetData() + 8;
    if (autoMin)
        s.SetParam(kParamMinDensity, GetBe16(d + 76) / 10);
    if (autoMax)
        s.SetParam(kParamMaxDensity, GetBe16(d + 78) / 10);
    if (deviceThreshold) {
        int32_t dotAreas = int32_t(DensityToDotArea(uint32_t(s.GetParam(kParamMaxDensity))) +
            DensityToDotArea(uint32_t(s.GetParam(kParamMinDensity))));
        int32_t threshold = 100 - dotAreas / 200;
        s.SetParam(kParamThreshold, threshold > 99 ? 100 : threshold);
    }
}

uint16_t CTelmariDriver::StopScan(int32_t)
{
    Shell().ShowScanStatus(kMsgStopping, 0);
    m_nLinesRead = 0;
    m_bPrescanning = 0;
    if (g_pScsiChannel != nullptr) {
        if (g_pScanSettings != nullptr)
            ReadAutomaticDensities(*g_pScanSettings);
        CScsiByteBuffer none(0);
        g_pScsiChannel->ReleaseUnit(none, kCommandTimeout, kSenseBytes);
    }
    if (m_hCorrectionBlock != nullptr) {
        GlobalUnlock(m_hCorrectionBlock);
        GlobalFree(m_hCorrectionBlock);
        m_hCorrectionBlock = nullptr;
        m_pCorrectionBlock = nullptr;
    }
    return kDriverOk;
}

// ---- TELMARI PLUS and ULTRA: the scan starts before the output is prepared ----

uint16_t CTelmariUltraDriver::StartScanCommand(uint8_t) { return kDriverOk; }

uint16_t CTelmariUltraDriver::PrepareScan()
{
    if (g_pScsiChannel == nullptr || g_pScanSettings == nullptr)
        return kDriverFailed;
    m_nLinesRead = 0;
    uint16_t result = WaitReady(kReadyTimeout);
    if (result == kDriverOk)
        result = SendScan(0, 0);
    uint32_t firstByte = 1;
    if (result == kDriverOk)
        result = WaitForBufferedData(0, firstByte, kFirstDataTimeout);
    return result != kDriverOk ? result : ReadScanInformation();
}
