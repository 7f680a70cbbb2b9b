// Host shading calibration of the FENNIK family: raw lines of the device's calibration strip, a
// robust mean per column and the resulting shading line sent back.

#include "drivers/fennik/FennikDriver.h"

#include "core/messages/MessageReporter.h"
#include "core/messages/TraceLog.h"
#include "core/scsi/ScsiBuffer.h"
#include "core/scsi/ScsiChannel.h"
#include "core/settings/ScanSettings.h"

#include <algorithm>
#include <vector>

namespace {

constexpr uint32_t kCommandTimeout = 30000;
constexpr int kSenseBytes = 32;
constexpr uint8_t kDataShading = 0x82;
constexpr uint32_t kGreyShadingBytes = 2550;
constexpr uint32_t kColourShadingBytes = 7650;
constexpr int kDefaultShadingLines = 16;
constexpr int kMsgNoCalibrationMemory = 3518;

}  // namespace

uint16_t CFennikDriver::HostCalibrate()
{
    int lines = ModelInt("ShadingLines", kDefaultShadingLines);
    // Fewer than two lines leave nothing after the discards; more than 255 do not fit the
    // qualifier's meaning and make the discard rule meaningless.
    if (lines < 2 || lines > 255) {
        if (g_pTraceLog != nullptr)
            g_pTraceLog->Printf("ShadingLines %d out of range, %d used", lines, kDefaultShadingLines);
        lines = kDefaultShadingLines;
    }
    m_nShadingLines = uint16_t(lines);
    uint16_t most = uint16_t(lines / 2 - 1);
    m_nBlackDiscard = std::min<uint16_t>(uint16_t(std::min(ModelInt("BlackPixelsToDiscard", 5), 16)), most);
    m_nWhiteDiscard = std::min<uint16_t>(uint16_t(std::min(ModelInt("WhitePixelsToDiscard", 2), 16)), most);
    m_nShadingLineBytes = g_pScanSettings->GetCurrentType() >= kImageRgb ? kColourShadingBytes : kGreyShadingBytes;

    CScopedBlock strip(uint32_t(lines) * m_nShadingLineBytes);
    if (strip.Data() == nullptr) {
        ReportMessage(kMsgNoCalibrationMemory);
        return kDriverAborted;
    }
    uint8_t* raw = static_cast<uint8_t*>(strip.Data());
    for (int i = 0; i < lines; ++i) {
        uint16_t result = ReadStream(raw + size_t(i) * m_nShadingLineBytes, kDataShading, uint16_t(lines),
                                     m_nShadingLineBytes, m_nShadingLineBytes);
        if (result != kDriverOk)
            return result;
    }
    CScsiByteBuffer line(m_nShadingLineBytes);
    if (line.GetData() == nullptr) {
        ReportMessage(kMsgNoCalibrationMemory);
        return kDriverAborted;
    }
    ComputeShadingLine(raw, m_nShadingLineBytes, line.GetData());
    return SendShadingLine(line);
}

void CFennikDriver::ComputeShadingLine(const uint8_t* lines, uint32_t length, uint8_t* result) const
{
    uint32_t count = m_nShadingLines;
    uint32_t kept = count - m_nBlackDiscard - m_nWhiteDiscard;
    std::vector<uint8_t> samples(count);
    for (uint32_t x = 0; x < length; ++x) {
        for (uint32_t i = 0; i < count; ++i)
            samples[i] = lines[size_t(i) * length + x];
        std::sort(samples.begin(), samples.end());
        uint32_t sum = 0;
        for (uint32_t i = m_nBlackDiscard; i < count - m_nWhiteDiscard; ++i)
            sum += samples[i];
        result[x] = uint8_t((sum + kept / 2) / kept);
    }
}

uint16_t CFennikDriver::SendShadingLine(CScsiBuffer& line)
{
    return CheckResult(g_pScsiChannel->Send10WithControl(line, kDataShading, 0, 0, kCommandTimeout, kSenseBytes),
                       line);
}
