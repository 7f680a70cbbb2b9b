// The data path of a KOVAL II family scan: double-buffered READ(6) of whole lines, the hand-out of
// the lines read, and their conversion (grey copy or widening, colour line interleave).

#include "drivers/koval2/Koval2Driver.h"

#include "core/scsi/ScsiBuffer.h"
#include "core/scsi/ScsiChannel.h"
#include "core/settings/ScanSettings.h"
#include "drivers/koval2/Koval2ScanCommon.h"
#include "drivers/koval2/LineInterleaver.h"

#include <algorithm>
#include <cstring>

uint32_t CKoval2Driver::LineBytes(uint32_t lines) const
{
    uint32_t bytes = m_nLineLength * lines;
    if (IsColourMode(g_pScanSettings->GetScanMode()))
        bytes *= 3;
    if (g_pScanSettings->GetBitsPerChannel() > 8)
        bytes *= 2;
    return bytes;
}

bool CKoval2Driver::IsBlockingRead()
{
    // Blocking may have been switched off since the blocks were allocated: without the second
    // block there is nothing to read ahead into. m_nBlocking is read once a scan, in PrepareScan,
    // and turned on during a scan when the records go wrong.
    return m_nBlocking != 0 || m_bSyncOnly != 0 || m_Blocks[1].m_pData == nullptr;
}

uint16_t CKoval2Driver::ReadLines(int block, uint32_t lines, bool synchronous)
{
    uint16_t result = WaitForBufferStatus(m_nBufferWaitMs);
    if (result != kDriverOk)
        return result;
    // Only what the device holds, and only what fits the block: the lines really read are what
    // counts as requested, so that no stale line is handed out as new.
    uint32_t lineBytes = LineBytes(1);
    uint32_t fits = lineBytes != 0 ? m_Blocks[block].m_nSize / lineBytes : 0;
    lines = std::min({lines, m_nLinesReady, fits});
    CScsiExternalBuffer data(m_Blocks[block].m_pData, LineBytes(lines));
    result = g_pScsiChannel->Read6(data, lines, synchronous, kCommandTimeout, kSenseBytes);
    if (!synchronous && result == kDriverOk)
        m_bAsyncPending = true;
    result = CheckResult(result, data);
    if (result != kDriverOk)
        return result;
    m_nLinesRequested += lines;
    m_nBlockLines[block] = lines;
    m_bBlockFresh[block] = true;
    return kDriverOk;
}

uint16_t CKoval2Driver::FinishPendingRead()
{
    if (!m_bAsyncPending)
        return kDriverOk;
    m_bAsyncPending = false;
    return g_pScsiChannel->GetTransport()->FinishAsync();
}

void CKoval2Driver::HandOut(int block)
{
    m_nCurrentBlock = block;
    m_nHandedLines = m_bBlockFresh[block] ? m_nBlockLines[block] : 0;
    m_bBlockFresh[block] = false;
    m_nLinesRead += m_nHandedLines;
}

uint16_t CKoval2Driver::ReadData(uint8_t*, uint8_t, uint16_t lines, uint16_t)
{
    bool blocking = IsBlockingRead();
    if (m_nLinesRequested >= m_nTotalLines) {
        // The last block was read ahead during the previous call; a later call hands out nothing.
        uint16_t result = kDriverOk;
        if (!blocking)
            result = FinishPendingRead();
        HandOut(blocking ? m_nCurrentBlock : m_nFillingBlock);
        return result;
    }
    m_nLinesReady = 0;
    uint32_t n = std::min<uint32_t>(lines, m_nTotalLines - m_nLinesRequested);
    uint16_t result = kDriverOk;
    if (m_nLinesRequested == 0 || blocking) {
        m_nCurrentBlock = m_nFillingBlock = 0;
        result = ReadLines(0, n, true);
        if (result != kDriverOk)
            return result;
    }
    if (!blocking && m_nLinesRequested < m_nTotalLines) {
        result = FinishPendingRead();
        if (result != kDriverOk)
            return result;
        // The block just filled is handed out while the other one fills.
        m_nCurrentBlock = m_nFillingBlock;
        m_nFillingBlock = 1 - m_nFillingBlock;
        n = std::min<uint32_t>(lines, m_nTotalLines - m_nLinesRequested);
        result = ReadLines(m_nFillingBlock, n, false);
        if (result != kDriverOk)
            return result;
    }
    HandOut(m_nCurrentBlock);
    return kDriverOk;
}

uint32_t CKoval2Driver::CopyGreyLines(uint8_t* destination, uint32_t lines, const CScanSettings& settings)
{
    const uint8_t* block = static_cast<const uint8_t*>(m_Blocks[m_nCurrentBlock].m_pData);
    uint32_t samples = m_nLineLength * lines;
    if (settings.GetBitsPerChannel() <= 8) {
        std::memcpy(destination, block, samples);
        return lines;
    }
    uint32_t shift = SampleShift(settings);
    uint16_t* out = reinterpret_cast<uint16_t*>(destination);
    for (uint32_t i = 0; i < samples; ++i)
        out[i] = WidenDeviceSample(block + 2 * i, shift);
    return lines;
}

uint32_t CKoval2Driver::InterleaveColourLines(uint8_t* destination, uint32_t lines,
                                              const CScanSettings& settings, int32_t* status)
{
    if (m_pInterleaver == nullptr) {
        *status = kDriverFailed;
        return 0;
    }
    int wide = settings.GetBitsPerChannel() > 8 ? 1 : 0;
    const uint8_t* block = static_cast<const uint8_t*>(m_Blocks[m_nCurrentBlock].m_pData);
    uint32_t result = m_pInterleaver->AddLines(block, m_nLineLength, 3 * m_nHandedLines,
                                               settings.GetLineCount(), wide);
    if (result != 0) {
        *status = (int32_t)result;
        return 0;
    }
    uint32_t outBytes = wide ? (3u * m_nLineLength - 3) * 2 : 3u * m_nLineLength - 6;
    uint32_t produced = m_pInterleaver->GetLines(lines, outBytes, destination, status, wide);
    return *status != 0 ? 0 : produced;
}

uint32_t CKoval2Driver::PostProcessLines(uint8_t* buffer, uint32_t lines, CScanSettings* settings, int32_t* status)
{
    *status = 0;
    uint32_t produced = IsColourMode(settings->GetScanMode())
                            ? InterleaveColourLines(buffer, lines, *settings, status)
                            : CopyGreyLines(buffer, std::min(lines, m_nHandedLines), *settings);
    return FilterSpikes(buffer, produced, settings, m_nOpticalLow);
}
