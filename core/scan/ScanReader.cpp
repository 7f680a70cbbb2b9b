// The scan reader: transfer-size blocks from the driver, planes of three-pass scans interleaved.

#include "core/scan/ScanReader.h"

#include "core/driver/ScannerDriver.h"
#include "core/messages/MessageReporter.h"
#include "core/scan/ScanJob.h"
#include "core/scan/ScanServices.h"
#include "core/settings/ScanSettings.h"
#include "core/util/SpillFile.h"

#include <algorithm>

uint32_t g_LinesPerTransfer = 0;

namespace {

constexpr int kMsgTempFileFailed = 3311;
constexpr int kMsgNoMemory = 3317;
constexpr int kMsgReadFailed = 3335;
constexpr int kMsgReading = 3294;
constexpr int kMsgTransferTooSmall = 4092;

CGlobalBlock* NewLockedBlock(uint32_t size)
{
    CGlobalBlock* block = new CGlobalBlock(size, 1);
    if (block->m_pData != nullptr)
        return block;
    block->Free();
    delete block;
    return nullptr;
}

void DeleteBlock(CGlobalBlock*& block)
{
    if (block == nullptr)
        return;
    block->Free();
    delete block;
    block = nullptr;
}

}  // namespace

CScanReader::~CScanReader()
{
    Free();
}

void CScanReader::Free()
{
    DeleteBlock(m_pTransferBlock);
    m_pTransfer = nullptr;
    for (int p = 0; p < kPlaneCount; ++p) {
        DeleteBlock(m_pPlaneBlocks[p]);
        m_pPlanes[p] = nullptr;
    }
    delete m_pPassFile;
    m_pPassFile = nullptr;
    m_nFirstLine = m_nLastLine = m_nNextLine = 0;
    m_nPassCounter = 0;
    m_bPassesRead = 0;
}

bool CScanReader::AtEnd() const
{
    return g_pScanSettings != nullptr && m_nNextLine >= g_pScanSettings->GetLineCount();
}

uint16_t CScanReader::Start(uint16_t mode, uint8_t flag, uint16_t passes)
{
    Free();
    m_nMode = mode;
    m_nStartFlag = flag;
    m_nStatus = 0;
    passes = std::max<uint16_t>(passes, 1);
    m_nLastPass = (uint16_t)(passes - 1);
    m_bSinglePass = passes == 1 ? 1 : 0;
    if (passes > kPlaneCount && m_bSinglePass == 0)
        return kDriverFailed;

    m_pTransferBlock = NewLockedBlock(passes * g_TransferSize);
    if (m_pTransferBlock == nullptr)
        return kDriverNoMemory;
    m_pTransfer = (uint8_t*)m_pTransferBlock->m_pData;

    uint32_t lineSize = g_pScannerDriver->GetLineOverhead() + g_pScanSettings->GetBytesPerLine();
    if (lineSize == 0)
        return kDriverFailed;
    m_nLinesPerTransfer = g_TransferSize / lineSize;
    g_LinesPerTransfer = m_nLinesPerTransfer;
    if (m_nLinesPerTransfer == 0) {
        ReportMessage(kMsgTransferTooSmall);
        return kDriverAborted;
    }
    if (m_bSinglePass != 0)
        return kDriverOk;

    for (int p = 0; p < passes; ++p) {
        m_pPlaneBlocks[p] = NewLockedBlock(g_TransferSize);
        if (m_pPlaneBlocks[p] == nullptr)
            return kDriverNoMemory;
        m_pPlanes[p] = (uint8_t*)m_pPlaneBlocks[p]->m_pData;
    }
    if (!CreatePassFile()) {
        ReportMessage(kMsgNoMemory);
        return kDriverAborted;
    }
    return kDriverOk;
}

bool CScanReader::CreatePassFile()
{
    uint64_t size = (uint64_t)m_nLastPass * g_pScanSettings->GetLineCount() * g_pScanSettings->GetBytesPerLine();
    if (size > 0xFFFFFFFFu)
        return false;
    m_pPassFile = new CSpillFile((uint32_t)size);
    if (m_pPassFile->IsUsable())
        return true;
    delete m_pPassFile;
    m_pPassFile = nullptr;
    return false;
}

void CScanReader::NextPass()
{
    int32_t type = g_pScanSettings->GetCurrentType();
    if (type == kImageRgb || type == kImageCmyk)
        ++m_nPassCounter;
}

uint16_t CScanReader::Fail(uint16_t status)
{
    if (status != kDriverAborted)
        ReportMessage(kMsgReadFailed);
    m_nStatus = kDriverAborted;
    Free();
    return m_nStatus;
}

uint32_t CScanReader::ReadLines(CScanJob& job)
{
    CScanSettings* settings = g_pScanSettings;
    uint32_t lineCount = settings->GetLineCount();
    if (m_pTransfer == nullptr || m_nNextLine >= lineCount)
        return 0;
    if (m_bSinglePass == 0 && m_bPassesRead == 0 && ReadAllPasses(job) != 0)
        return 0;

    uint32_t n = std::min(m_nLinesPerTransfer, lineCount - m_nNextLine);
    uint16_t bytesPerLine = (uint16_t)settings->GetBytesPerLine();
    for (int round = 0; round < kMaxEmptyReads; ++round) {
        if (m_bSinglePass != 0) {
            m_nStatus = g_pScannerDriver->ReadData(m_pTransfer, 0, (uint16_t)n, bytesPerLine);
        } else {
            m_nStatus = g_pScannerDriver->ReadData(m_pPlanes[2], 0, (uint16_t)n, bytesPerLine);
            if (m_nStatus == 0)
                m_nStatus = InterleavePlanes(n);
        }
        if (m_nStatus != 0) {
            Fail(m_nStatus);
            return 0;
        }
        g_pScannerDriver->PreProcessLines(m_pTransfer, n, settings);
        int32_t status = 0;
        uint32_t delivered = g_pScannerDriver->PostProcessLines(m_pTransfer, n, settings, &status);
        if (status != 0) {
            Fail(kDriverFailed);
            return 0;
        }
        if (delivered > 0) {
            m_nFirstLine = m_nNextLine;
            m_nNextLine += delivered;
            m_nLastLine = m_nNextLine - 1;
            return delivered;
        }
    }
    return 0;
}

uint16_t CScanReader::ReadAllPasses(CScanJob& job)
{
    for (int pass = 0; pass < m_nLastPass && m_nStatus == 0; ++pass) {
        if (ReadPass(job, pass) != 0)
            return m_nStatus;
        m_pPassFile->Rewind();
        uint16_t result = job.BeginReadPass(0x80);
        if (result != 0) {
            m_nStatus = result;
            Free();
            return m_nStatus;
        }
    }
    m_bPassesRead = 1;
    return m_nStatus;
}

// Pass 0 writes each block and leaves room behind it for the same block of pass 1, which skips
// first and then writes: the two planes of a block end up side by side for the interleave.
uint16_t CScanReader::ReadPass(CScanJob& job, int pass)
{
    CScanSettings* settings = g_pScanSettings;
    uint32_t lineCount = settings->GetLineCount();
    uint32_t bytesPerLine = settings->GetBytesPerLine();
    int32_t shown = -1000;
    for (uint32_t done = 0; done < lineCount;) {
        uint32_t n = std::min(m_nLinesPerTransfer, lineCount - done);
        uint32_t bytes = n * bytesPerLine;
        job.ReportProgress(0);
        uint16_t status = g_pScannerDriver->ReadData(m_pPlanes[0], 0, (uint16_t)n, (uint16_t)bytesPerLine);
        if (status != 0)
            return Fail(status);
        bool written;
        if (pass == 0) {
            written = m_pPassFile->WriteData(m_pPlanes[0], bytes) == bytes;
            m_pPassFile->SeekBy((int32_t)bytes);
        } else {
            m_pPassFile->SeekBy((int32_t)bytes);
            written = m_pPassFile->WriteData(m_pPlanes[0], bytes) == bytes;
        }
        if (!written) {
            ReportMessage(kMsgTempFileFailed);
            m_nStatus = kDriverAborted;
            Free();
            return m_nStatus;
        }
        done += n;
        int32_t value = 1000 * (pass + 1) + (int32_t)((uint64_t)done * 100 / lineCount);
        if (value - shown > 4) {
            ReportScanStatus(kMsgReading, value);
            shown = value;
        }
    }
    return 0;
}

uint16_t CScanReader::InterleavePlanes(uint32_t lines)
{
    uint32_t bytes = lines * g_pScanSettings->GetBytesPerLine();
    if (m_pPassFile->Read(m_pPlanes[0], bytes) != bytes || m_pPassFile->Read(m_pPlanes[1], bytes) != bytes) {
        ReportMessage(kMsgTempFileFailed);
        return kDriverAborted;
    }
    uint8_t* out = m_pTransfer;
    const uint8_t* r = m_pPlanes[0];
    const uint8_t* g = m_pPlanes[1];
    const uint8_t* b = m_pPlanes[2];
    uint32_t step = g_pScanSettings->GetBitsPerChannel() > 8 ? 2 : 1;
    for (uint32_t i = 0; i + step <= bytes; i += step) {
        for (uint32_t k = 0; k < step; ++k)
            *out++ = r[i + k];
        for (uint32_t k = 0; k < step; ++k)
            *out++ = g[i + k];
        for (uint32_t k = 0; k < step; ++k)
            *out++ = b[i + k];
    }
    return 0;
}
