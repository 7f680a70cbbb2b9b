#pragma once

// The output stage of a scan: it turns the reader's blocks into the lines of the final image and
// hands them to the current file writer or a memory bitmap. On the way it mirrors and rotates the
// image through a spill file, runs each block through the output pipeline, widens or byte-swaps
// 16-bit samples and inverts where the model or the image type asks for it.

#include <cstdint>
#include <vector>

class CDib;
class CScanJob;
class CScanReader;
class CSpillFile;

// Rounds without a new line after which the stage gives the image up.
constexpr int kMaxIdleRounds = 100;

// Bytes of input lines a 90 or 270 degree rotation gathers before it writes them into the spill
// file: each output line then gets one write per band instead of one per reader block. Tests
// shrink it to make the bands' edges fall inside small images.
extern uint32_t g_RotationBandBytes;


class CScanOutput {
public:
    CScanOutput() = default;
    ~CScanOutput();
    CScanOutput(const CScanOutput&) = delete;
    CScanOutput& operator=(const CScanOutput&) = delete;

    // 0, 255 (no block size) or 254 (no memory).
    uint16_t Prepare(CScanReader& reader);
    // Lines now in the block buffer; 0 at the end or on failure (see m_nStatus).
    uint32_t NextBlock(CScanReader& reader, CScanJob& job);
    // 1 for a complete image; 252 after a reported failure; else the status.
    uint16_t ToFile(CScanReader& reader, CScanJob& job);
    // 0 for a complete image, else the status (252 when reported here).
    uint16_t ToDib(CScanReader& reader, CScanJob& job, CDib& sink);
    void Free();

    // Converts the 16-bit samples of `lines` rows `rowBytes` apart; bits is the sample depth.
    static void ConvertSamples(uint8_t* rows, uint32_t lines, uint32_t rowBytes, uint32_t bits, bool widen, bool swap);
    // Every byte XOR 0xFF.
    static void InvertBlock(uint8_t* rows, uint32_t bytes);

    uint32_t m_nFirstLine = 0;
    uint32_t m_nLastLine = 0;
    uint32_t m_nNextLine = 0;
    int32_t m_nRotation = 0;
    int32_t m_nMirror = 0;
    uint32_t m_nLinesStored = 0;
    uint32_t m_nLinesReadBack = 0;
    uint32_t m_nSpillLines = 0;
    uint32_t m_nSpillRowBytes = 0;
    uint16_t m_nStatus = 0;
    uint8_t* m_pBlock = nullptr;
    CSpillFile* m_pSpill = nullptr;

    // How the samples of the block buffer are stored after the 16-bit conversion.
    uint32_t m_nSampleBits = 8;
    bool m_bHighByteFirst = false;
    // Set when the file writer could not take a block (disk full); the job reports it with the path.
    bool m_bWriteFailed = false;

private:
    void ReadTypeOptions();
    uint16_t PrepareBand();
    uint32_t StoreBlock(CScanReader& reader, uint8_t* buffer, uint32_t lines);
    uint32_t ReadBackBlock(CScanReader& reader, uint8_t* buffer);
    void GatherIntoBand(const uint8_t* buffer, uint32_t lines);
    // Places input lines first .. first + lines - 1, held `lines` rows apart in buffer.
    void RotateIntoSpill(const uint8_t* buffer, uint32_t first, uint32_t lines);
    void TurnRowsIntoSpill(const uint8_t* buffer, uint32_t first, uint32_t lines);
    void TurnColumnsIntoSpill(const uint8_t* buffer, uint32_t first, uint32_t lines);
    void WriteSpillAt(uint32_t offset, const uint8_t* data, uint32_t bytes);
    void ReverseLines(uint8_t* buffer, uint32_t lines, uint32_t rowBytes);
    void FinishBlock(uint32_t lines);
    void KeepLastLine(uint32_t lines);
    // Fills the first `lines` rows of the block with the last line kept.
    void RepeatLastLine(uint32_t lines);
    // Blocks are handed on as they come; 0 at the end, else the status to return.
    uint16_t DeliverImage(CScanReader& reader, CScanJob& job, CDib* sink);
    void CopyToDib(CDib& sink, uint32_t lines);

    void* m_hBlock = nullptr;
    // The image type's byte order, 16-bit widening and inversion, read as the scan starts.
    bool m_bSwapBytes = false;
    bool m_bWidenAfterCms = false;
    bool m_bInvertType = false;
    uint32_t m_nBlockRowBytes = 0;
    // Input lines of a sideways rotation waiting to be written, from line m_nBandFirst on.
    uint8_t* m_pBand = nullptr;
    uint32_t m_nBandLines = 0;
    uint32_t m_nBandRowBytes = 0;
    uint32_t m_nBandFirst = 0;
    uint32_t m_nBandFilled = 0;
    // Of the device's pixels and lines, those of the selection (see KeptSize).
    uint32_t m_nKeptPixels = 0;
    uint32_t m_nKeptLines = 0;
    int32_t m_nShownPercent = 0;
    std::vector<uint8_t> m_LastLine;
};
