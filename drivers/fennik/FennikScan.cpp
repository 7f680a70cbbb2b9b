// The commands of a FENNIK scan: the 46-byte window, the preparation with speed negotiation and the
// first read, the start, the streamed image reads into the staging buffer, the conversion of the
// staged lines and the stop that keeps a feeder job going.

#include "drivers/fennik/FennikDriver.h"

#include "core/messages/MessageReporter.h"
#include "core/scsi/ScsiBuffer.h"
#include "core/scsi/ScsiChannel.h"
#include "core/settings/ScanSettings.h"
#include "core/util/ByteOrder.h"
#include "core/util/Numeric.h"
#include "framework/App.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint32_t kCommandTimeout = 30000;
constexpr uint32_t kReadyTimeout = 60000;
constexpr int kMsgImageReadError = 3335;
constexpr int kSenseBytes = 32;
constexpr uint32_t kDescriptorLength = 46;
constexpr uint32_t kHundredthMmPerInch = 2540;
constexpr uint8_t kDataImage = 0;
constexpr uint8_t kDataPrepare = 0x80;
constexpr uint8_t kDataSpeed = 0x81;

// INQUIRY vendor bytes.
constexpr int kInqFlags = 37;
constexpr int kInqPixels = 42;
constexpr int kInqLineBytes = 44;
constexpr int kInqLines = 46;
constexpr int kInqTiming = 51;
constexpr uint8_t kFlagAverage = 0x02;
constexpr uint8_t kFlagHostCalibration = 0x01;

int GeneralInt(const char* key, int fallback)
{
    return (int)AfxGetApp()->GetProfileInt("General", key, fallback);
}

bool IsTransparent(int32_t original) { return original == 1 || original == 2; }

uint32_t LimitBelow(int32_t extent, int32_t origin) { return extent > origin ? uint32_t(extent - origin) : 0; }

}  // namespace

uint16_t CFennikDriver::SetScanParameters(CScanSettings* settings)
{
    uint16_t result = WaitReady(kReadyTimeout);
    if (result != kDriverOk)
        return result;
    uint32_t resolution = (uint32_t)settings->GetParam(kParamResolution);
    uint32_t x = std::max<uint32_t>(ClampResolutionX(resolution), 1);
    uint32_t y = ClampResolutionY(resolution);
    settings->SetParam(kParamPaddingType, 0);
    settings->SetParam(kParamPaddingFlags, 0);
    settings->SetParam(kParamBitOrdering, 0);
    settings->SetParam(kParamHalftonePattern, 1);

    int32_t left = settings->GetParam(kParamSelLeft) + settings->GetParam(kParamOriginX);
    int32_t top = settings->GetParam(kParamSelTop) + settings->GetParam(kParamOriginY);
    int32_t x0 = ScaleRound(left, 300, kHundredthMmPerInch, 0);
    int32_t y0 = ScaleRound(top, 300, kHundredthMmPerInch, 0);
    int32_t original = settings->GetParam(kParamOriginal);
    bool feeder = m_bFeederPresent && m_bFeederActive;
    uint32_t widthLimit = original == 0 ? LimitBelow(2550, x0) : LimitBelow(2374, x0);
    uint32_t lengthLimit = original == 0 ? LimitBelow(feeder ? 4192 : 3507, y0) : LimitBelow(2976, y0);
    uint32_t w = 0;
    uint32_t h = 0;
    settings->ScannerPixelSize(w, h);
    uint32_t w300 = (w * 300 + x - 1) / x;
    uint32_t h300 = (h * 300 + x - 1) / x;
    uint32_t width = std::min((w300 + 9) / 8 * 8, widthLimit);
    uint32_t length = std::min((h300 + 5) / 4 * 4, lengthLimit);

    switch (settings->GetScanMode()) {
    case 0:
        settings->SetParam(kParamMinDensity, (int32_t)GetMinDensity(0));
        settings->SetParam(kParamMaxDensity, (int32_t)GetMaxDensity(0));
        settings->SetParam(kParamPaddingType, 0);
        settings->SetParam(kParamComposition, 0);
        settings->SetParam(kParamOutputBits, 1);
        break;
    case 2:
        settings->SetParam(kParamComposition, 2);
        settings->SetParam(kParamOutputBits, 8);
        break;
    case 3:
    case 4:
        settings->SetParam(kParamComposition, 5);
        settings->SetParam(kParamOutputBits, 8);
        break;
    default: break;
    }

    CScsiFixedBuffer<kDescriptorLength> descriptor;
    uint8_t* d = descriptor.GetData();
    d[0] = uint8_t(settings->GetParam(kParamWindowId));
    PutBe16(d + 2, x);
    PutBe16(d + 4, y);
    PutBe32(d + 6, uint32_t(std::max(left, 0)) * 300 / kHundredthMmPerInch);
    PutBe32(d + 10, uint32_t(std::max(top, 0)) * 300 / kHundredthMmPerInch);
    PutBe32(d + 14, width);
    PutBe32(d + 18, length);
    uint32_t threshold = (uint32_t)std::clamp(settings->GetParam(kParamThreshold), 0, 100) * 255 / 100;
    d[23] = uint8_t(threshold == 0 ? 1 : threshold);
    d[25] = uint8_t(settings->GetParam(kParamComposition));
    d[26] = uint8_t(settings->GetParam(kParamOutputBits));
    PutBe16(d + 27, uint32_t(settings->GetParam(kParamHalftonePattern)));
    d[29] = uint8_t(settings->GetParam(kParamPaddingType) | settings->GetParam(kParamPaddingFlags));
    PutBe16(d + 30, uint32_t(settings->GetParam(kParamBitOrdering)));
    d[40] = uint8_t(ModelInt("RingBufferMode", 2));
    bool preview = m_nState == 1;
    d[41] = preview && original == 0 ? 0 : 1;
    uint8_t flags = preview ? 0x80 : settings->GetParam(kParamQuality) == 1 ? 0x40 : 0xC0;
    if (feeder)
        flags |= 0x10;
    // The transparency unit lights negatives as well as slides.
    if (IsTransparent(original) && m_bTransparencyUnit)
        flags |= 0x08;
    d[42] = flags;
    d[43] = d[44] = d[45] = 0xFF;

    CScsiWindowList list(1, kDescriptorLength);
    if (!list.SetDescriptor(0, descriptor))
        return kDriverNoMemory;
    m_nLastResult = CheckResult(g_pScsiChannel->SetWindow(list, kCommandTimeout, kSenseBytes), list);
    if (feeder && m_bFeederIdle && m_nLastResult == kDriverOk)
        m_bFeederIdle = 0;
    return m_nLastResult;
}

uint16_t CFennikDriver::PrepareScan()
{
    if (m_Staging.m_pData == nullptr)
        return kDriverNoMemory;
    uint16_t result = WaitReady(kReadyTimeout);
    if (result != kDriverOk)
        return result;
    uint8_t inquiry[96];
    if ((result = InquireAgain(inquiry)) != kDriverOk)
        return result;
    m_nPixelsPerLine = GetBe16(inquiry + kInqPixels);
    m_nDeviceLineBytes = GetBe16(inquiry + kInqLineBytes);
    m_nLinesToRead = GetBe16(inquiry + kInqLines);
    g_pScanSettings->m_nPixelsPerLine = m_nPixelsPerLine;
    g_pScanSettings->m_nBytesPerLine = m_nDeviceLineBytes;
    g_pScanSettings->m_nLineCount = m_nLinesToRead;
    if (m_nDeviceLineBytes == 0)
        return kDriverFailed;

    if (m_bSpeedTable && (result = NegotiateSpeed()) != kDriverOk)
        return result;

    uint32_t rounded = (m_nDeviceLineBytes / 128 + 1) * 128;
    if (m_Staging.m_nSize < rounded)
        return kDriverNoMemory;
    if ((result = ReadStream(m_Staging.m_pData, kDataPrepare, 0, rounded, rounded)) != kDriverOk)
        return result;
    if ((result = InquireAgain(inquiry)) != kDriverOk)
        return result;
    m_bAveraging = (inquiry[kInqFlags] & kFlagAverage) != 0 ? 1 : 0;
    if (m_bFeederPresent && m_bFeederActive)
        return kDriverOk;
    if ((inquiry[kInqFlags] & kFlagHostCalibration) != 0 && ModelInt("HostCalibration", 1) != 0)
        return HostCalibrate();
    return kDriverOk;
}

uint16_t CFennikDriver::NegotiateSpeed()
{
    uint32_t s = (uint32_t)std::max(GeneralInt("ScanBuffer", 0), 0) * 1024;
    s = s / m_nDeviceLineBytes * m_nDeviceLineBytes;
    s = std::min<uint32_t>((s / 128 + 1) * 128, 65536);
    CGlobalBlock scratch;
    scratch.Alloc(s, 1, GMEM_MOVEABLE);
    if (scratch.m_pData == nullptr)
        return kDriverNoMemory;
    uint16_t result = ReadStream(scratch.m_pData, kDataPrepare, 1, s, s);
    scratch.Free();
    if (result != kDriverOk)
        return result;
    CScsiByteBuffer none(0);
    result = CheckResult(g_pScsiChannel->Read10(none, 0, kDataPrepare, 0, true, kCommandTimeout, kSenseBytes), none);
    if (result != kDriverOk)
        return result;
    uint8_t timing[96];
    if ((result = InquireAgain(timing)) != kDriverOk)
        return result;
    int speed = ModelInt("StaticSpeed", 0) & 0xFFFF;
    if (speed == 0)
        speed = ComputeSpeed(timing, m_nDeviceLineBytes);
    if (speed == 0)
        return kDriverOk;
    CScsiFixedBuffer<2> value;
    PutBe16(value.GetData(), uint32_t(speed));
    // The device keeps its own speed when it refuses ours; the next command tells whether it is well.
    g_pScsiChannel->Send10WithControl(value, kDataSpeed, 0, 0, kCommandTimeout, kSenseBytes);
    return kDriverOk;
}

uint16_t CFennikDriver::ComputeSpeed(const uint8_t* inquiry, uint32_t bytesPerLine)
{
    uint32_t timing = inquiry[kInqTiming];
    double lineTime = inquiry[kInqTiming + 1] + inquiry[kInqTiming + 2] / 10.0;
    // Without a line time there is nothing to pace by: the device keeps its own speed.
    if (timing < 18 || lineTime <= 0)
        return 0;
    double b = bytesPerLine;
    double v = (b / ((timing - 6) * lineTime) + b / ((timing - 12) * lineTime)) / 2;
    return uint16_t(std::min(v, 65535.0));
}

// Reads bytes of a data type as the device streams them, in pieces no larger than the read chunk:
// whole units of `unit` bytes when one fits, else parts of one.
uint16_t CFennikDriver::ReadStream(void* destination, uint8_t dataType, uint16_t qualifier, uint32_t bytes,
                                   uint32_t unit)
{
    uint32_t chunk = std::max<uint32_t>(m_nReadChunk, 1);
    if (unit != 0 && unit <= chunk)
        chunk = chunk / unit * unit;
    uint8_t* at = static_cast<uint8_t*>(destination);
    uint16_t result = kDriverOk;
    while (bytes > 0 && result == kDriverOk) {
        uint32_t piece = std::min(chunk, bytes);
        CScsiExternalBuffer data(at, piece);
        result = CheckResult(g_pScsiChannel->Read10(data, piece, dataType, qualifier, true, kCommandTimeout,
                                                    kSenseBytes), data);
        at += piece;
        bytes -= piece;
    }
    // A read the device failed without a reason of its own is told as every family tells it; the
    // caller's stop then adds nothing.
    if (result == kDriverFailed) {
        ReportMessage(kMsgImageReadError);
        return kDriverAborted;
    }
    return result;
}

uint16_t CFennikDriver::StartScanCommand(uint8_t)
{
    m_nLinesRead = 0;
    m_nLinesDelivered = 0;
    m_nStagedLines = 0;
    FreeBlock(m_HeldLine);
    uint16_t result = WaitReady(kReadyTimeout);
    if (result != kDriverOk)
        return result == kDriverAborted ? result : uint16_t(kDriverFailed);
    CScsiByteBuffer windows(0);
    m_nLastResult = CheckResult(g_pScsiChannel->ScanWindows(windows, 0, kCommandTimeout, kSenseBytes), windows);
    if (m_bFeederPresent && m_bFeederActive && m_nLastResult == kDriverOk)
        m_nLastResult = WaitReady(kReadyTimeout);
    return m_nLastResult;
}

uint16_t CFennikDriver::ReadData(uint8_t*, uint8_t qualifier, uint16_t lines, uint16_t)
{
    m_pStagingRead = static_cast<uint8_t*>(m_Staging.m_pData);
    m_nStagedLines = 0;
    if (m_nLinesRead >= m_nLinesToRead)
        return kDriverOk;
    // The reader's blocks are sized by its own transfer, the staging buffer by the INI file.
    uint32_t fits = m_nDeviceLineBytes != 0 ? m_Staging.m_nSize / m_nDeviceLineBytes : 0;
    uint32_t n = std::min({(uint32_t)lines, m_nLinesToRead - m_nLinesRead, fits});
    if (n == 0)
        return kDriverFailed;
    m_nLastResult = ReadStream(m_pStagingRead, kDataImage, qualifier, n * m_nDeviceLineBytes, m_nDeviceLineBytes);
    m_nLinesRead += n;
    if (m_nLastResult == kDriverOk)
        m_nStagedLines = n;
    return m_nLastResult;
}

uint32_t CFennikDriver::PostProcessLines(uint8_t* destination, uint32_t, CScanSettings* settings, int32_t* status)
{
    *status = 0;
    uint32_t mode = settings->GetScanMode();
    if (m_bAveraging && mode > 2)
        return AverageLinePairs(destination, status);
    uint32_t lines = m_nStagedLines;
    const uint8_t* staged = m_pStagingRead;
    if (mode > 2) {
        uint32_t w = m_nPixelsPerLine;
        for (uint32_t i = 0; i < lines; ++i)
            InterleavePlanes(staged + i * m_nDeviceLineBytes, staged + i * m_nDeviceLineBytes, w,
                             destination + i * 3 * w);
        return lines;
    }
    uint32_t bytes = lines * settings->GetBytesPerLine();
    std::memcpy(destination, staged, bytes);
    if (mode == 0) {
        for (uint32_t i = 0; i < bytes; ++i)
            destination[i] = uint8_t(~destination[i]);
    }
    return lines;
}

// Writes w pixels R, G, B, each channel the mean of the two lines' planes (the same line twice
// copies it).
void CFennikDriver::InterleavePlanes(const uint8_t* a, const uint8_t* b, uint32_t w, uint8_t* out)
{
    for (uint32_t x = 0; x < w; ++x) {
        for (uint32_t c = 0; c < 3; ++c)
            out[3 * x + c] = uint8_t((a[c * w + x] + b[c * w + x]) >> 1);
    }
}

// Each output line is the mean of two neighbouring device lines, the last device line stands for
// itself. A block's last line waits for the next block's first; the call after the device's last
// line hands it out alone.
uint32_t CFennikDriver::AverageLinePairs(uint8_t* destination, int32_t* status)
{
    uint32_t lineBytes = m_nDeviceLineBytes;
    uint32_t w = m_nPixelsPerLine;
    const uint8_t* staged = m_pStagingRead;
    uint32_t lines = m_nStagedLines;
    const uint8_t* held = static_cast<const uint8_t*>(m_HeldLine.m_pData);
    if (lines == 0) {
        if (held == nullptr)
            return 0;
        InterleavePlanes(held, held, w, destination);
        FreeBlock(m_HeldLine);
        ++m_nLinesDelivered;
        return 1;
    }
    uint32_t out = 0;
    if (held != nullptr)
        InterleavePlanes(held, staged, w, destination + 3 * w * out++);
    for (uint32_t i = 0; i + 1 < lines; ++i)
        InterleavePlanes(staged + i * lineBytes, staged + (i + 1) * lineBytes, w, destination + 3 * w * out++);
    if (m_HeldLine.m_pData == nullptr) {
        m_HeldLine.Alloc(lineBytes, 0, GMEM_MOVEABLE);
        if (m_HeldLine.m_pData == nullptr) {
            *status = 3317;
            return 0;
        }
    }
    std::memcpy(m_HeldLine.m_pData, staged + (lines - 1) * lineBytes, lineBytes);
    m_nLinesDelivered += out;
    return out;
}

uint16_t CFennikDriver::StopScan(int32_t)
{
    // The window for the next sheet; a job that already ended (last sheet, jam) has none.
    if (GeneralInt("ADF", 0) != 0 && !m_bFeederIdle && !m_bEndOfFeederJob)
        SetScanParameters(g_pScanSettings);
    if (m_bFeederPresent && m_bFeederActive && !m_bEndOfFeederJob)
        return kDriverOk;
    Release();
    FreeBlock(m_HeldLine);
    return kDriverOk;
}
