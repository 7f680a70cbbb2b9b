// The commands of a LUMETRA scan: the window counted from the sensor's far edge, the geometry the
// camera accepted, the buffer-status wait, the tagged line reads sorted into the colour queues and
// assembled into pixel lines, and the stop.

#include "drivers/lumetra/LumetraDriver.h"

#include "core/scan/ShellServices.h"
#include "core/scsi/ScsiBuffer.h"
#include "core/scsi/ScsiChannel.h"
#include "core/settings/ScanSettings.h"
#include "core/util/ByteOrder.h"
#include "core/util/Clock.h"
#include "framework/App.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint32_t kReadyTimeout = 60000;
constexpr uint32_t kCommandTimeout = 30000;
constexpr int kSenseBytes = 32;
constexpr uint32_t kDescriptorBytes = 60;
constexpr uint32_t kGetWindowBytes = 68;
constexpr uint32_t kHundredthMmPerInch = 2540;
constexpr uint32_t kMinimumExtent = 5;
constexpr uint32_t kPollMs = 100;
constexpr int kSteadyRounds = 6;
constexpr uint32_t kMostLinesPerRead = 255;
constexpr uint16_t kDriverTimedOut = 48;
constexpr int32_t kDefaultCameraValue = 150;
constexpr int kMsgScanEnds = 3297;

constexpr uint32_t kRed = 0;
constexpr uint32_t kGreen = 1;
constexpr uint32_t kBlue = 2;
constexpr uint32_t kGrey = 3;

bool IsColourMode(uint32_t mode) { return mode == 3 || mode == 4; }

// A value of 0 would divide the window's speed byte and ReadData's time budget by zero.
int32_t CameraValue(const CScanSettings& settings)
{
    int32_t value = settings.GetParam(kParamCameraPreview);
    return value > 0 ? value : kDefaultCameraValue;
}

uint32_t Extent(int32_t from, int32_t to)
{
    int32_t extent = to - from;
    return extent > int32_t(kMinimumExtent - 1) ? uint32_t(extent) : kMinimumExtent;
}

uint32_t FromFarEdge(uint32_t bed, int32_t origin, int32_t edge)
{
    int64_t distance = int64_t(bed) - origin - edge;
    return distance > 0 ? uint32_t(distance) : 0;
}

template <class Command> uint16_t RepeatingUnitAttention(CScsiBuffer& block, Command send)
{
    uint16_t result = send();
    if (CScannerDriver::IsUnitAttention(result, block.m_sense))
        result = send();
    return result;
}

}  // namespace

uint32_t CLumetraDriver::DeviceLineBytes() const
{
    uint32_t bits = g_pScanSettings != nullptr ? g_pScanSettings->GetBitsPerChannel() : 8;
    return bits > 8 ? 2 * m_nDeviceLineSize : m_nDeviceLineSize;
}

uint32_t CLumetraDriver::TimeBudget(uint32_t deviceLines) const
{
    return deviceLines * 12000 / uint32_t(CameraValue(*g_pScanSettings));
}

uint16_t CLumetraDriver::SetScanParameters(CScanSettings* settings)
{
    uint16_t result = WaitReady(kReadyTimeout);
    if (result != kDriverOk)
        return result;
    CScanSettings& s = *settings;
    s.SetParam(kParamWindowId, 0);
    s.SetParam(kParamPaddingFlags, 0);
    s.SetParam(kParamPaddingType, 0);
    s.SetParam(kParamHalftonePattern, 0);
    uint32_t mode = s.GetScanMode();
    if (mode == 2 || IsColourMode(mode)) {
        s.SetParam(kParamComposition, mode == 2 ? 2 : 5);
        s.SetParam(kParamWindowSummaryA, 1);
        s.SetParam(kParamWindowSummaryB, 1);
        s.SetParam(kParamWindowSummaryC, 2);
    }
    uint32_t resolution = (uint32_t)std::max(s.GetParam(kParamResolution), 0);
    uint32_t x = ClampResolutionX(resolution);
    uint32_t y = ClampResolutionY(resolution);
    int32_t value = CameraValue(s);
    int32_t speed = value <= 9 ? 3 * value : value;

    CScsiWindowList list(1, kDescriptorBytes);
    uint8_t* d = list.GetData();
    if (d == nullptr)
        return kDriverNoMemory;
    d += 8;
    d[0] = uint8_t(s.GetParam(kParamWindowId));
    PutBe16(d + 2, x);
    PutBe16(d + 4, y);
    PutBe24(d + 7,
        FromFarEdge(m_ReflectiveBed.m_nWidth, s.GetParam(kParamOriginX), s.GetParam(kParamSelRight)) * y /
            kHundredthMmPerInch);
    PutBe24(d + 11,
        FromFarEdge(m_ReflectiveBed.m_nHeight, s.GetParam(kParamOriginY), s.GetParam(kParamSelBottom)) * y /
            kHundredthMmPerInch);
    PutBe24(d + 15, Extent(s.GetParam(kParamSelLeft), s.GetParam(kParamSelRight)) * x / kHundredthMmPerInch);
    PutBe24(d + 19, Extent(s.GetParam(kParamSelTop), s.GetParam(kParamSelBottom)) * y / kHundredthMmPerInch);
    d[25] = uint8_t(s.GetParam(kParamComposition));
    d[26] = uint8_t(s.GetParam(kParamBitsPerChannel));
    d[29] = uint8_t(s.GetParam(kParamPaddingType) | s.GetParam(kParamPaddingFlags));
    d[40] = uint8_t(std::min<int32_t>(2000 / speed, 255));
    m_nWindowCode = value <= 9 ? 7 : 0;
    d[41] = m_nWindowCode;
    d[42] = uint8_t(s.GetParam(kParamHalftonePattern));
    d[45] = 3;
    result =
        RepeatingUnitAttention(list, [&] { return g_pScsiChannel->SetWindow(list, kCommandTimeout, kSenseBytes); });
    m_nLastResult = CheckResult(result, list.m_sense);
    return m_nLastResult;
}

bool CLumetraDriver::CreateQueues(bool colour, uint32_t sampleBytes)
{
    DeleteQueues();
    for (uint32_t q = colour ? kRed : kGrey; q <= (colour ? kBlue : kGrey); ++q) {
        m_pQueues[q] = new (std::nothrow) CCameraLineQueue(sampleBytes);
        if (m_pQueues[q] == nullptr)
            return false;
    }
    return true;
}

void CLumetraDriver::DeleteQueues()
{
    for (CCameraLineQueue*& queue : m_pQueues) {
        delete queue;
        queue = nullptr;
    }
}

uint16_t CLumetraDriver::PrepareScan()
{
    if (g_pScsiChannel == nullptr || g_pScanSettings == nullptr)
        return kDriverFailed;
    uint16_t result = WaitReady(kReadyTimeout);
    if (result != kDriverOk)
        return result;
    CScsiByteBuffer reply(kGetWindowBytes);
    const uint8_t* r = reply.GetData();
    if (r == nullptr)
        return kDriverNoMemory;
    result =
        RepeatingUnitAttention(reply, [&] { return g_pScsiChannel->GetWindow(reply, kCommandTimeout, kSenseBytes); });
    if ((result = CheckResult(result, reply.m_sense)) != kDriverOk)
        return result;

    CScanSettings& s = *g_pScanSettings;
    s.m_WindowSummary.m_nWord[3] = r[34];
    s.m_nPixelsPerLine = GetBe32(r + 22);
    s.m_nLineCount = GetBe32(r + 26);
    m_nDeviceLineSize = GetBe16(r + 66);
    m_nLinesDelivered = 0;
    bool colour = IsColourMode(s.GetScanMode());
    bool wide = s.GetBitsPerChannel() > 8;
    uint32_t lineBytes = DeviceLineBytes();
    // A colour line carries its letter in front of the samples.
    if (lineBytes == 0 || (colour && lineBytes <= 2) || s.m_nLineCount == 0)
        return kDriverFailed;
    if (colour) {
        m_nOutstandingLines = 3 * s.m_nLineCount;
        // Above 8 bits the line size counts 16-bit words, the letter word included.
        s.m_nBytesPerLine = wide ? 2 * (3 * m_nDeviceLineSize - 3) : 3 * m_nDeviceLineSize - 6;
    } else {
        m_nOutstandingLines = s.m_nLineCount;
        s.m_nBytesPerLine = lineBytes;
    }
    if (!CreateQueues(colour, colour ? lineBytes - 2 : lineBytes)) {
        DeleteQueues();
        return kDriverNoMemory;
    }
    s.m_nPixelsPerLine = CScanSettings::PixelsForBytes(
        colour ? kImageRgb : kImageGrey, s.m_nBytesPerLine, s.GetChannels(), s.GetBitsPerChannel(), 0);
    return kDriverOk;
}

uint16_t CLumetraDriver::WaitForData(uint8_t, uint32_t bytes, uint32_t timeoutMs)
{
    uint32_t wanted = std::min<uint32_t>(bytes, 0xFFFFFF);
    uint32_t rounds = std::max<uint32_t>(timeoutMs / kPollMs, 1);
    uint32_t lastFilled = 0;
    int steady = 0;
    bool repeatedUnitAttention = false;
    for (uint32_t round = 0; round < rounds; ++round) {
        if (g_UserAbort != 0)
            return kDriverAborted;
        CScsiFixedBuffer<12> status;
        uint16_t result = g_pScsiChannel->GetDataBufferStatus(status, 0, kCommandTimeout, kSenseBytes);
        if (result == kDriverOk) {
            uint32_t filled = GetBe24(status.GetData() + 9);
            steady = filled != 0 && filled == lastFilled ? steady + 1 : 0;
            if (filled >= wanted || steady >= kSteadyRounds - 1)
                return kDriverOk;
            lastFilled = filled;
        } else if (IsUnitAttention(result, status.m_sense) && !repeatedUnitAttention) {
            repeatedUnitAttention = true;
            continue;
        } else if ((result & 0xFF) == kScsiCheckCondition && (result >> 8) == 0) {
            if ((result = HandleSense(status.m_sense)) != kDriverOk)
                return result;
        } else if (result != kScsiBusy) {
            return result;
        }
        PumpMessages(kPollMs);
    }
    return g_UserAbort != 0 ? uint16_t(kDriverAborted) : uint16_t(kDriverFailed);
}

uint16_t CLumetraDriver::ReadChunk(uint8_t* buffer, uint8_t qualifier, uint32_t chunk, bool& taken)
{
    uint32_t lineBytes = DeviceLineBytes();
    CScsiExternalBuffer data(buffer, chunk * lineBytes);
    // The camera takes the line size and the line count in the length field; the transfer is their
    // product.
    uint32_t field = (m_nDeviceLineSize << 8) | chunk;
    uint16_t result = RepeatingUnitAttention(
        data, [&] { return g_pScsiChannel->Read10(data, field, 0, qualifier, true, kCommandTimeout, kSenseBytes); });
    taken = result == kDriverOk;
    return CheckResult(result, data.m_sense);
}

uint16_t CLumetraDriver::ReadData(uint8_t* buffer, uint8_t qualifier, uint16_t lines, uint16_t)
{
    if (g_pScsiChannel == nullptr || g_pScanSettings == nullptr)
        return kDriverFailed;
    if (lines == 0)
        return kDriverOk;
    uint32_t d = lines;
    uint32_t total = g_pScanSettings->GetLineCount();
    bool colour = IsColourMode(g_pScanSettings->GetScanMode());
    uint32_t queued = QueuedLines();
    uint32_t k = m_nLinesDelivered + d < total || queued >= d ? d : d - queued;
    if (colour)
        k *= 3;
    uint32_t budget = TimeBudget(k);
    uint32_t deadline = MillisecondClock() + budget;
    while (queued < d) {
        if (g_UserAbort != 0)
            return kDriverAborted;
        // Lines the camera dropped never come: asking again would only renew the budget for ever.
        if (m_nOutstandingLines == 0)
            return kDriverFailed;
        // Missing lines are an error, never image.
        if (ClockReached(deadline))
            return kDriverTimedOut;
        uint32_t chunk = std::min({m_nOutstandingLines, kMostLinesPerRead, std::max<uint32_t>(k, 1)});
        uint16_t result = WaitForData(qualifier, chunk * DeviceLineBytes(), budget);
        if (result != kDriverOk)
            return result;
        bool taken = false;
        if ((result = ReadChunk(buffer, qualifier, chunk, taken)) != kDriverOk)
            return result;
        // A recovered error hands over no lines; the budget goes on running.
        if (!taken)
            continue;
        if ((result = SortLines(buffer, chunk)) != kDriverOk)
            return result;
        m_nOutstandingLines -= chunk;
        deadline = MillisecondClock() + budget;
        queued = QueuedLines();
    }
    AssembleLines(buffer, d);
    m_nLinesDelivered += d;
    m_nLinesRead += d;
    return kDriverOk;
}

uint16_t CLumetraDriver::SortLines(const uint8_t* lines, uint32_t count)
{
    uint32_t lineBytes = DeviceLineBytes();
    bool colour = IsColourMode(g_pScanSettings->GetScanMode());
    bool wide = g_pScanSettings->GetBitsPerChannel() > 8;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* line = lines + size_t(i) * lineBytes;
        CCameraLineQueue* queue = m_pQueues[kGrey];
        const uint8_t* samples = line;
        if (colour) {
            uint8_t letter = wide ? line[0] : line[1];
            int q = letter == 'R' ? int(kRed) : letter == 'G' ? int(kGreen) : letter == 'B' ? int(kBlue) : -1;
            if (q < 0)
                continue;  // a line of no colour the camera knows: dropped
            queue = m_pQueues[q];
            samples = line + 2;
        }
        if (queue == nullptr)
            return kDriverFailed;
        if (!queue->Push(samples))
            return kDriverNoMemory;
    }
    return kDriverOk;
}

uint32_t CLumetraDriver::QueuedLines() const
{
    bool colour = g_pScanSettings != nullptr && IsColourMode(g_pScanSettings->GetScanMode());
    if (!colour)
        return m_pQueues[kGrey] != nullptr ? m_pQueues[kGrey]->Count() : 0;
    uint32_t fewest = UINT32_MAX;
    for (uint32_t q = kRed; q <= kBlue; ++q)
        fewest = std::min(fewest, m_pQueues[q] != nullptr ? m_pQueues[q]->Count() : 0);
    return fewest;
}

bool CLumetraDriver::ShiftsSamples() const
{
    return AfxGetApp()->GetProfileInt("General", "Shiftto16beforeCMS", 0) != 0;
}

void CLumetraDriver::AssembleLines(uint8_t* destination, uint32_t lines)
{
    const CScanSettings& s = *g_pScanSettings;
    bool colour = IsColourMode(s.GetScanMode());
    uint32_t bits = s.GetBitsPerChannel();
    uint32_t sampleBytes = bits > 8 ? 2 : 1;
    uint32_t channels = colour ? 3 : 1;
    uint32_t step = s.GetBytesPerLine();
    // Samples that fit the output line and the queued line alike.
    uint32_t queueBytes = m_pQueues[colour ? kRed : kGrey]->LineBytes();
    uint32_t n = std::min(s.GetPixelsPerLine(), std::min(step / channels, queueBytes) / sampleBytes);
    bool shift = bits > 8 && bits < 16 && ShiftsSamples();
    for (uint32_t line = 0; line < lines; ++line) {
        uint8_t* out = destination + size_t(line) * step;
        for (uint32_t c = 0; c < channels; ++c) {
            CCameraLineQueue* queue = m_pQueues[colour ? c : kGrey];
            const uint8_t* in = queue->Front();
            for (uint32_t p = 0; p < n; ++p) {
                uint8_t* at = out + (size_t(p) * channels + c) * sampleBytes;
                if (sampleBytes == 1) {
                    *at = in[p];
                    continue;
                }
                uint32_t v = in[2 * p] | (uint32_t(in[2 * p + 1]) << 8);
                if (shift) {
                    v = (v << (16 - bits)) & 0xFFFF;
                    v += v >> bits;
                }
                at[0] = uint8_t(v);
                at[1] = uint8_t(v >> 8);
            }
            queue->Pop();
        }
    }
}

uint16_t CLumetraDriver::StopScan(int32_t)
{
    Shell().ShowScanStatus(kMsgScanEnds, 0);
    m_nLinesRead = 0;
    m_nOutstandingLines = 0;
    m_nLinesDelivered = 0;
    if (g_pScsiChannel != nullptr) {
        CScsiByteBuffer none(0);
        g_pScsiChannel->ReleaseUnit(none, kCommandTimeout, kSenseBytes);
    }
    DeleteQueues();
    return kDriverOk;
}
