// Host shading calibration of the OSTRAVEL: shading lines of 16-bit readings, the darkest and
// brightest readings of each pixel dropped, the rest averaged and turned into a gain against the
// level the device reports, one table per colour downloaded.

#include "drivers/koval2/OstravelDriver.h"

#include "core/messages/MessageReporter.h"
#include "core/messages/TraceLog.h"
#include "core/scsi/ScsiBuffer.h"
#include "core/scsi/ScsiChannel.h"
#include "core/settings/ScanSettings.h"
#include "core/util/Clock.h"
#include "core/util/GlobalBlock.h"
#include "drivers/koval2/Koval2ScanCommon.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int kDefaultShadingLines = 11;
constexpr int kMostShadingLines = 64;
constexpr uint16_t kMostDiscarded = 11;
constexpr uint32_t kStatusTimeout = 90000;
constexpr uint32_t kSettleMs = 3000;
constexpr uint32_t kPollMs = 100;
constexpr uint32_t kShadingDeadlineMs = 20000;
constexpr uint8_t kSelectionTimeout = 0x11;
constexpr int kMsgNoCalibrationMemory = 3518;
constexpr uint16_t kTooDark = 0xFFFF;
constexpr uint16_t kUnity = 1024;

}  // namespace

CShadingLevel ShadingLevelOf(uint8_t level)
{
    uint32_t v = uint32_t(level) + 1;
    return {v << 20, uint16_t(4 * v), uint16_t(v)};
}

uint16_t ShadingGain(uint32_t mean, const CShadingLevel& level)
{
    if (16 * mean <= level.m_nThreshold)
        return kTooDark;
    if (mean >= level.m_nTarget)
        return kUnity;
    return uint16_t(level.m_nNumerator / (mean * 256));
}

void COstravelDriver::ReadShadingKeys()
{
    int lines = ModelInt("ShadingLines", kDefaultShadingLines);
    // Fewer than two lines leave nothing to average once the discards are gone; more would make
    // the sums and the per-pixel selection pointless.
    if (lines < 2 || lines > kMostShadingLines) {
        if (g_pTraceLog != nullptr)
            g_pTraceLog->Printf("ShadingLines %d out of range, %d used", lines, kDefaultShadingLines);
        lines = kDefaultShadingLines;
    }
    m_nShadingLines = uint16_t(lines);
    auto discard = [lines](int keyValue) {
        uint16_t value = keyValue >= 12 ? kMostDiscarded : uint16_t(std::max(keyValue, 0));
        return std::min<uint16_t>(value, uint16_t(lines / 2 - 1));
    };
    m_nBlackDiscard = discard(ModelInt("BlackPixelsToDiscard", 2));
    m_nWhiteDiscard = discard(ModelInt("WhitePixelsToDiscard", 1));
    m_nStepInterval = uint16_t(ModelInt("StepInterval", 8));
}

uint16_t COstravelDriver::HostShadingCalibration()
{
    ReadShadingKeys();
    const CScanSettings& settings = *g_pScanSettings;
    m_bShadingTransparency = settings.GetParam(kParamOriginal) != 0 ? 1 : 0;
    m_bShadingColour = settings.GetParam(kParamImageType) >= kImageRgb ? 1 : 0;
    m_bShadingSpeed = m_nSpeed >= 2 ? 1 : 0;
    if (m_bFeederInUse && m_bFeederStatus)
        return kDriverOk;

    uint8_t mode = uint8_t((m_bShadingColour ? 0x01 : 0) | (m_bShadingSpeed ? 0x04 : 0) |
                           (m_bShadingTransparency ? 0x08 : 0));
    uint16_t result = StartShadingScan(mode);
    if (result == kDriverOk)
        result = WaitForShadingData();
    if (result != kDriverOk)
        return result;

    m_nShadingLineBytes = (m_bShadingColour ? 6 : 2) * m_nShadingPixels;
    CScopedBlock lines(uint32_t(m_nShadingLines) * m_nShadingLineBytes);
    if (lines.Data() == nullptr || m_nShadingPixels == 0) {
        ReportMessage(kMsgNoCalibrationMemory);
        return kDriverAborted;
    }
    result = ReadShadingLines(static_cast<uint8_t*>(lines.Data()));
    if (result != kDriverOk)
        return result;
    result = StopShadingScan();
    if (result != kDriverOk)
        return result;

    m_nCalibrationLength = 2 * m_nShadingPixels + 2;
    CScopedBlock table(m_nCalibrationLength);
    if (table.Data() == nullptr) {
        ReportMessage(kMsgNoCalibrationMemory);
        return kDriverAborted;
    }
    uint8_t* tableBytes = static_cast<uint8_t*>(table.Data());
    const uint8_t* readings = static_cast<const uint8_t*>(lines.Data());
    if (!m_bShadingColour) {
        BuildShadingTable(0, readings, tableBytes);
        return DownloadShadingTable(kShadingTableGrey, tableBytes);
    }
    for (int channel = 0; channel < 3 && result == kDriverOk; ++channel) {
        BuildShadingTable(channel, readings, tableBytes);
        result = DownloadShadingTable(kShadingTableIds[channel], tableBytes);
    }
    return result;
}

uint16_t COstravelDriver::StartShadingScan(uint8_t mode)
{
    CScsiFixedBuffer<2> block;
    block.GetData()[0] = mode;
    block.GetData()[1] = uint8_t(m_nStepInterval);
    return CheckResult(g_pScsiChannel->StartShadingSampling(block, kCommandTimeout, kSenseBytes), block);
}

uint16_t COstravelDriver::WaitForShadingData()
{
    uint32_t start = MillisecondClock();
    for (;;) {
        if (g_UserAbort != 0) {
            g_UserAbort = 0;
            return kDriverAborted;
        }
        if (m_bModelSleep == 0)
            PumpMessages(kSettleMs);
        CScsiFixedBuffer<9> status;
        uint8_t* data = status.GetData();
        data[3] = data[5] = data[7] = 255;
        uint16_t result = g_pScsiChannel->GetBufferStatus9(status, kStatusTimeout, kSenseBytes);
        if (result == kDriverAborted || result == kDriverFailed)
            return result;
        uint8_t host = uint8_t(result >> 8);
        if (host != 0 && host != kSelectionTimeout)
            return kDriverFailed;
        if (host == 0) {
            switch (result & 0xFF) {
            case kScsiGood:
                m_nShadingPixels = uint32_t(data[1] | (data[2] << 8));
                if (m_bShadingColour) {
                    for (int c = 0; c < 3; ++c)
                        m_Levels[c] = ShadingLevelOf(data[3 + 2 * c]);
                } else {
                    m_Levels[0] = ShadingLevelOf(data[5]);
                }
                return kDriverOk;
            case kScsiCheckCondition: return HandleSense(status.m_sense);
            case kScsiBusy: break;
            default: return kDriverFailed;
            }
        }
        PumpMessages(kPollMs);
        if (ClockElapsed(start) >= kShadingDeadlineMs)
            return kDriverFailed;
    }
}

uint16_t COstravelDriver::ReadShadingLines(uint8_t* lines)
{
    for (uint32_t i = 0; i < m_nShadingLines; ++i) {
        CScsiExternalBuffer line(lines + size_t(i) * m_nShadingLineBytes, m_nShadingLineBytes);
        uint16_t result = CheckResult(g_pScsiChannel->Read6(line, 1, true, kCommandTimeout, kSenseBytes), line);
        if (result != kDriverOk)
            return result;
    }
    return kDriverOk;
}

uint16_t COstravelDriver::StopShadingScan()
{
    CScsiByteBuffer none(0);
    return CheckResult(g_pScsiChannel->Scan(none, 0, kCommandTimeout, true, kSenseBytes), none);
}

void COstravelDriver::BuildShadingTable(int channel, const uint8_t* lines, uint8_t* table) const
{
    const uint32_t pixels = m_nShadingPixels;
    const uint32_t stride = m_bShadingColour ? 3 : 1;
    const uint32_t count = m_nShadingLines;
    const uint32_t kept = count - m_nBlackDiscard - m_nWhiteDiscard;
    const CShadingLevel& level = m_Levels[m_bShadingColour ? channel : 0];
    uint16_t readings[kMostShadingLines];
    for (uint32_t p = 0; p < pixels; ++p) {
        const uint8_t* sample = lines + 2 * (size_t(p) * stride + (stride == 3 ? uint32_t(channel) : 0));
        for (uint32_t i = 0; i < count; ++i) {
            const uint8_t* at = sample + size_t(i) * m_nShadingLineBytes;
            readings[i] = uint16_t(at[0] | (at[1] << 8));
        }
        std::sort(readings, readings + count);
        // 32 bits: lines of readings near the top of the 16-bit range would wrap a 16-bit sum.
        uint32_t sum = 0;
        for (uint32_t i = m_nBlackDiscard; i < count - m_nWhiteDiscard; ++i)
            sum += readings[i];
        uint16_t gain = ShadingGain((kept / 2 + sum) / kept, level);
        table[2 + p] = uint8_t(gain);
        table[2 + pixels + p] = uint8_t(gain >> 8);
    }
}

uint16_t COstravelDriver::DownloadShadingTable(uint8_t id, uint8_t* table)
{
    table[0] = 0;
    table[1] = id;
    CScsiExternalBuffer block(table, m_nCalibrationLength);
    return CheckResult(g_pScsiChannel->DownloadCalibration(block, kCommandTimeout, kSenseBytes), block);
}
