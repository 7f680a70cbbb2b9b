#pragma once

// Pulls the image of a running scan out of the current driver block by block. Three-pass scanners
// deliver one colour plane per pass: the first two passes are kept in a spill file and interleaved
// with the third into pixels as it arrives.

#include "core/devices/DeviceSearch.h"
#include "core/util/GlobalBlock.h"

#include <cstdint>

class CScanJob;
class CSpillFile;

// g_TransferSize (core/devices) is the transfer size of the coming scan: cached by the device
// search, set again by the output pipeline just before the reader starts.
// Lines of one reader block.
extern uint32_t g_LinesPerTransfer;

// A driver's PostProcessLines may hold lines back for a while (line reordering); this many empty
// rounds in a row mean the device has nothing more to give.
constexpr int kMaxEmptyReads = 30;

class CScanReader {
public:
    CScanReader() = default;
    ~CScanReader();
    CScanReader(const CScanReader&) = delete;
    CScanReader& operator=(const CScanReader&) = delete;

    // 0, 254 (memory), 255 (no line size) or 252 (reported).
    uint16_t Start(uint16_t mode, uint8_t flag, uint16_t passes);
    // Lines now in the transfer buffer; 0 at the end of the image or after a failure (see m_nStatus).
    uint32_t ReadLines(CScanJob& job);
    void NextPass();
    void Free();

    uint8_t* TransferBuffer() const { return m_pTransfer; }
    uint16_t Passes() const { return (uint16_t)(m_nLastPass + 1); }
    // True once every line of the image has been delivered.
    bool AtEnd() const;

    uint16_t m_nLastPass = 0;
    uint16_t m_nMode = 0;
    uint16_t m_nPassCounter = 0;
    uint8_t m_nStartFlag = 0;
    int32_t m_bSinglePass = 1;
    int32_t m_bPassesRead = 0;
    uint32_t m_nFirstLine = 0;
    uint32_t m_nLastLine = 0;
    uint32_t m_nNextLine = 0;
    uint32_t m_nLinesPerTransfer = 0;
    uint16_t m_nStatus = 0;

private:
    static constexpr int kPlaneCount = 3;

    uint16_t ReadAllPasses(CScanJob& job);
    uint16_t ReadPass(CScanJob& job, int pass);
    uint16_t InterleavePlanes(uint32_t lines);
    uint16_t Fail(uint16_t status);
    bool CreatePassFile();

    CGlobalBlock* m_pTransferBlock = nullptr;
    uint8_t* m_pTransfer = nullptr;
    CGlobalBlock* m_pPlaneBlocks[kPlaneCount] = {};
    uint8_t* m_pPlanes[kPlaneCount] = {};
    CSpillFile* m_pPassFile = nullptr;
};
