#pragma once

// The output stage of a scan: it turns the reader's blocks into the lines of the final image and
// hands them to the current file writer or a memory bitmap. On the way it mirrors and rotates the
// image through a spill file (the device's lines cut to the selection first), runs each block
// through the output pipeline, widens or byte-swaps 16-bit samples and inverts where the model or
// the image type asks for it.

#include <cstdint>
#include <vector>

class CDib;
class CScanJob;
class CScanReader;

// Rounds without a new line after which the stage gives the image up.
constexpr int kMaxIdleRounds = 100;

// Bytes of the band in which the stage gathers device lines, mirrored and turned, before it writes
// them into the spill file with one write; also of the rows it reads back at once after a 90 or 270
// degree turn, which leaves each row in pieces, one per band. Tests shrink it to make the bands'
// edges fall inside small images.
extern uint32_t g_RotationBandBytes;

class CImageTurn;

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
    uint16_t m_nStatus = 0;
    uint8_t* m_pBlock = nullptr;

    // How the samples of the block buffer are stored after the 16-bit conversion.
    uint32_t m_nSampleBits = 8;
    bool m_bHighByteFirst = false;
    // Set when the file writer could not take a block (disk full); the job reports it with the path.
    bool m_bWriteFailed = false;

private:
    void ReadTypeOptions();
    uint32_t StoreBlock(CScanReader& reader, uint8_t* buffer, uint32_t lines);
    uint32_t ReadBackBlock(CScanReader& reader, uint8_t* buffer);
    void ReportStoring();
    // Mirrors `lines` device lines left to right in place.
    void ReverseLines(uint8_t* buffer, uint32_t lines);
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
    // The image is turned through this, or mirrored left to right in the reader's lines of
    // m_nLineBytes bytes, m_nKeptPixels of which belong to the selection.
    CImageTurn* m_pTurn = nullptr;
    uint32_t m_nLineBytes = 0;
    uint32_t m_nKeptPixels = 0;
    uint32_t m_nLinesStored = 0;
    uint32_t m_nPixelBits = 8;
    std::vector<uint8_t> m_Row;
    int32_t m_nStoredPercent = -1;
    int32_t m_nShownPercent = 0;
    std::vector<uint8_t> m_LastLine;
};
