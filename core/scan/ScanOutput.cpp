// The scan output stage: spill-file rotation, 16-bit samples, inversion and the two sinks.

#include "core/scan/ScanOutput.h"

#include "core/driver/ScannerDriver.h"
#include "core/image/Dib.h"
#include "core/messages/MessageReporter.h"
#include "core/scan/ImageWriter.h"
#include "core/scan/OutputPipeline.h"
#include "core/scan/ScanJob.h"
#include "core/scan/ScanReader.h"
#include "core/scan/ScanServices.h"
#include "core/scan/ShellServices.h"
#include "core/settings/ScanSettings.h"
#include "core/util/SpillFile.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace {

constexpr int kMsgReading = 3294;
constexpr int kMsgStoring = 4051;
constexpr int kMsgTransferTooSmall = 4092;
constexpr int kMsgEndedEarly = 3319;
constexpr int kMsgNoDiskSpace = 3349;
constexpr int32_t kDriverPreviewState = 1;
constexpr int32_t kMirrorUpsideDown = 1;
constexpr int32_t kMirrorLeftRight = 2;

uint32_t RoundUp4(uint32_t bytes)
{
    return (bytes + 3) & ~3u;
}

// Pixels of the stage's own data: one bit in the binary scan modes, else whole bytes.
struct CPixelFormat {
    uint32_t bits;   // bits of one pixel: 1 or a multiple of 8

    static CPixelFormat Current()
    {
        CScanSettings* s = g_pScanSettings;
        if (s->GetScanMode() <= 1)
            return {1};
        uint32_t sampleBytes = s->GetBitsPerChannel() > 8 ? 2 : 1;
        return {8 * sampleBytes * std::max<uint32_t>(s->GetChannels(), 1)};
    }
    // Copies pixel `from` of row `source` to pixel `to` of row `target`.
    void Copy(const uint8_t* source, uint32_t from, uint8_t* target, uint32_t to) const
    {
        if (bits == 1) {
            bool set = (source[from / 8] & (0x80 >> (from % 8))) != 0;
            uint8_t mask = (uint8_t)(0x80 >> (to % 8));
            target[to / 8] = set ? (uint8_t)(target[to / 8] | mask) : (uint8_t)(target[to / 8] & ~mask);
            return;
        }
        uint32_t bytes = bits / 8;
        memcpy(target + to * bytes, source + from * bytes, bytes);
    }
};

// Where device pixel (x, y) of a W x H image lands in the final image: mirrored first, then turned
// clockwise.
struct CPlacement {
    int32_t rotation;
    int32_t mirror;
    uint32_t width;
    uint32_t height;

    void Map(uint32_t x, uint32_t y, uint32_t& outX, uint32_t& outY) const
    {
        if (mirror & kMirrorLeftRight)
            x = width - 1 - x;
        if (mirror & kMirrorUpsideDown)
            y = height - 1 - y;
        switch (rotation) {
        case 90: outX = height - 1 - y; outY = x; break;
        case 180: outX = width - 1 - x; outY = height - 1 - y; break;
        case 270: outX = y; outY = width - 1 - x; break;
        default: outX = x; outY = y; break;
        }
    }
};

bool IsSideways(int32_t rotation)
{
    return rotation == 90 || rotation == 270;
}

// The device's image cut to the selection: a device that rounds its window up delivers a few pixels
// and lines past the selection's right and bottom edges, which must not push the mirrored or turned
// image aside. The pipeline's plain row copy cuts them from the end of the rows and of the image;
// its steps fit the device's whole image to the selection, so with steps nothing is cut here.
void KeptSize(int32_t rotation, uint32_t& pixels, uint32_t& lines)
{
    CScanSettings* s = g_pScanSettings;
    pixels = s->GetPixelsPerLine();
    lines = s->GetLineCount();
    if (g_OutputSteps.count != 0)
        return;
    bool sideways = IsSideways(rotation);
    pixels = std::min(pixels, sideways ? s->RotatedPixelHeight() : s->RotatedPixelWidth());
    lines = std::min(lines, sideways ? s->RotatedPixelWidth() : s->RotatedPixelHeight());
}

template <uint32_t N>
void CopyPixels(const uint8_t* source, int32_t sourceStep, uint8_t* target, int32_t targetStep, uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i, source += sourceStep, target += targetStep)
        memcpy(target, source, N);
}

// Copies `count` whole-byte pixels of `pixelBytes` each, stepping through source and target by the
// given byte distances (negative to walk backwards); the common sizes get a fixed-size copy.
void CopyPixelRun(uint32_t pixelBytes, const uint8_t* source, int32_t sourceStep, uint8_t* target,
                  int32_t targetStep, uint32_t count)
{
    switch (pixelBytes) {
    case 1: CopyPixels<1>(source, sourceStep, target, targetStep, count); return;
    case 2: CopyPixels<2>(source, sourceStep, target, targetStep, count); return;
    case 3: CopyPixels<3>(source, sourceStep, target, targetStep, count); return;
    case 6: CopyPixels<6>(source, sourceStep, target, targetStep, count); return;
    default: break;
    }
    for (uint32_t i = 0; i < count; ++i, source += sourceStep, target += targetStep)
        memcpy(target, source, pixelBytes);
}

uint16_t ReadSample(const uint8_t* p, bool highFirst)
{
    return highFirst ? (uint16_t)(p[0] << 8 | p[1]) : (uint16_t)(p[1] << 8 | p[0]);
}

}  // namespace

uint32_t g_RotationBandBytes = 8u * 1024 * 1024;

CScanOutput::~CScanOutput()
{
    Free();
}

void CScanOutput::Free()
{
    if (m_hBlock != nullptr) {
        GlobalUnlock((HGLOBAL)m_hBlock);
        GlobalFree((HGLOBAL)m_hBlock);
    }
    m_hBlock = nullptr;
    m_pBlock = nullptr;
    delete m_pSpill;
    m_pSpill = nullptr;
    delete[] m_pBand;
    m_pBand = nullptr;
    m_nBandLines = m_nBandRowBytes = m_nBandFirst = m_nBandFilled = 0;
}

uint16_t CScanOutput::Prepare(CScanReader&)
{
    CScanSettings* s = g_pScanSettings;
    m_nRotation = s->GetParam(kParamRotation);
    m_nMirror = s->GetParam(kParamMirror);
    m_nFirstLine = m_nNextLine = m_nLastLine = 0;
    m_nLinesStored = m_nLinesReadBack = 0;
    m_nStatus = 0;
    m_nShownPercent = 0;
    m_bWriteFailed = false;
    m_LastLine.clear();
    ReadTypeOptions();
    if (g_LinesPerBlock == 0)
        return kDriverFailed;
    Free();
    m_nBlockRowBytes = RoundUp4(s->SelectionLineBytes());
    uint64_t size = (uint64_t)m_nBlockRowBytes * g_LinesPerBlock;
    if (size == 0 || size > 0x7FFFFFFF)
        return kDriverNoMemory;
    m_hBlock = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, (SIZE_T)size);
    m_pBlock = m_hBlock != nullptr ? (uint8_t*)GlobalLock((HGLOBAL)m_hBlock) : nullptr;
    if (m_pBlock == nullptr) {
        Free();
        return kDriverNoMemory;
    }
    m_nSpillLines = s->OutputLineCount();
    m_nSpillRowBytes = s->OutputBytesPerLine();
    KeptSize(m_nRotation, m_nKeptPixels, m_nKeptLines);
    if (m_nRotation != 0 || (m_nMirror & kMirrorUpsideDown) != 0) {
        uint64_t spillBytes = (uint64_t)m_nSpillLines * m_nSpillRowBytes;
        if (spillBytes > 0xFFFFFFFFu)
            return kDriverNoMemory;
        m_pSpill = new CSpillFile((uint32_t)spillBytes);
        if (!m_pSpill->IsUsable())
            return kDriverNoMemory;
    }
    return IsSideways(m_nRotation) ? PrepareBand() : (uint16_t)kDriverOk;
}

uint16_t CScanOutput::PrepareBand()
{
    CScanSettings* s = g_pScanSettings;
    uint32_t inRow = s->BytesForPixels(s->GetPixelsPerLine());
    if (inRow == 0 || m_nKeptLines == 0)
        return kDriverOk;
    m_nBandLines = std::clamp<uint32_t>(g_RotationBandBytes / inRow, 1, m_nKeptLines);
    m_nBandRowBytes = inRow;
    m_pBand = new (std::nothrow) uint8_t[(size_t)m_nBandLines * inRow];
    return m_pBand != nullptr ? (uint16_t)kDriverOk : (uint16_t)kDriverNoMemory;
}

void CScanOutput::InvertBlock(uint8_t* rows, uint32_t bytes)
{
    for (uint32_t i = 0; i < bytes; ++i)
        rows[i] ^= 0xFF;
}

void CScanOutput::ConvertSamples(uint8_t* rows, uint32_t lines, uint32_t rowBytes, uint32_t bits, bool widen,
                                 bool swap)
{
    if (bits <= 8 || bits > 16 || (!widen && !swap))
        return;
    uint32_t shift = 16 - bits;
    uint32_t fill = ((1u << shift) - 1) << bits;
    uint32_t samples = rowBytes / 2;
    for (uint32_t y = 0; y < lines; ++y) {
        uint8_t* p = rows + y * rowBytes;
        for (uint32_t i = 0; i < samples; ++i, p += 2) {
            uint32_t v = (uint32_t)(p[1] << 8 | p[0]);
            if (widen) {
                // The top bits are repeated into the freed low bits, so full scale stays full scale.
                v = (v << shift) & 0xFFFF;
                v += (v & fill) >> bits;
            }
            if (swap) {
                p[0] = (uint8_t)(v >> 8);
                p[1] = (uint8_t)v;
            } else {
                p[0] = (uint8_t)v;
                p[1] = (uint8_t)(v >> 8);
            }
        }
    }
}

void CScanOutput::ReverseLines(uint8_t* buffer, uint32_t lines, uint32_t rowBytes)
{
    CPixelFormat format = CPixelFormat::Current();
    uint32_t pixels = m_nKeptPixels;
    std::vector<uint8_t> row(rowBytes);
    for (uint32_t y = 0; y < lines; ++y) {
        uint8_t* line = buffer + y * rowBytes;
        memcpy(row.data(), line, rowBytes);
        for (uint32_t x = 0; x < pixels; ++x)
            format.Copy(row.data(), x, line, pixels - 1 - x);
    }
}

void CScanOutput::WriteSpillAt(uint32_t offset, const uint8_t* data, uint32_t bytes)
{
    m_pSpill->SeekTo(offset);
    m_pSpill->WriteData(data, bytes);
}

void CScanOutput::RotateIntoSpill(const uint8_t* buffer, uint32_t first, uint32_t lines)
{
    if (IsSideways(m_nRotation))
        TurnColumnsIntoSpill(buffer, first, lines);
    else
        TurnRowsIntoSpill(buffer, first, lines);
}

// 0 and 180 degrees: every input line is one output line, written with one seek and one write.
void CScanOutput::TurnRowsIntoSpill(const uint8_t* buffer, uint32_t first, uint32_t lines)
{
    CScanSettings* s = g_pScanSettings;
    CPixelFormat format = CPixelFormat::Current();
    uint32_t pixels = m_nKeptPixels;
    uint32_t inRow = s->BytesForPixels(s->GetPixelsPerLine());
    CPlacement place = {m_nRotation, m_nMirror, pixels, m_nKeptLines};
    std::vector<uint8_t> piece(m_nSpillRowBytes, 0);
    uint32_t pixelBytes = format.bits / 8;
    for (uint32_t y = 0; y < lines; ++y) {
        uint32_t outX = 0, outY = 0, nextX = 0;
        const uint8_t* row = buffer + y * inRow;
        place.Map(0, first + y, outX, outY);
        if (format.bits == 1 || pixels < 2) {
            for (uint32_t x = 0; x < pixels; ++x) {
                place.Map(x, first + y, outX, outY);
                format.Copy(row, x, piece.data(), outX);
            }
        } else {
            place.Map(1, first + y, nextX, outY);
            int32_t step = (int32_t)(nextX - outX) * (int32_t)pixelBytes;
            CopyPixelRun(pixelBytes, row, (int32_t)pixelBytes, piece.data() + outX * pixelBytes, step, pixels);
        }
        WriteSpillAt(outY * m_nSpillRowBytes, piece.data(), m_nSpillRowBytes);
    }
}

// 90 and 270 degrees: input column x becomes an output line, of which the given input lines fill one
// run; each run is gathered in a temporary buffer and written with one seek and one write.
void CScanOutput::TurnColumnsIntoSpill(const uint8_t* buffer, uint32_t first, uint32_t lines)
{
    CScanSettings* s = g_pScanSettings;
    CPixelFormat format = CPixelFormat::Current();
    uint32_t pixels = m_nKeptPixels;
    uint32_t inRow = s->BytesForPixels(s->GetPixelsPerLine());
    CPlacement place = {m_nRotation, m_nMirror, pixels, m_nKeptLines};
    uint32_t firstX = 0, lastX = 0, outY = 0;
    place.Map(0, first, firstX, outY);
    place.Map(0, first + lines - 1, lastX, outY);
    uint32_t low = std::min(firstX, lastX);
    uint32_t high = std::max(firstX, lastX);
    uint32_t startByte = format.bits == 1 ? low / 8 : low * format.bits / 8;
    uint32_t endByte = format.bits == 1 ? high / 8 + 1 : (high + 1) * format.bits / 8;
    std::vector<uint8_t> piece(endByte - startByte, 0);
    uint32_t base = format.bits == 1 ? startByte * 8 : low;
    uint32_t pixelBytes = format.bits / 8;
    // The output position moves by one pixel per input line, the same way in every column.
    int32_t step = firstX == lastX ? 0 : firstX < lastX ? 1 : -1;
    for (uint32_t x = 0; x < pixels; ++x) {
        place.Map(x, first, firstX, outY);
        uint32_t offset = outY * m_nSpillRowBytes + startByte;
        if (format.bits == 1) {
            // Neighbouring bands share the bytes at the ends of a run. A run not written yet reads
            // short from a temporary file; its bytes must not keep the previous column's bits.
            m_pSpill->SeekTo(offset);
            uint32_t got = m_pSpill->Read(piece.data(), (UINT)piece.size());
            std::fill(piece.begin() + std::min<size_t>(got, piece.size()), piece.end(), 0);
            for (uint32_t y = 0; y < lines; ++y) {
                uint32_t outX = 0;
                place.Map(x, first + y, outX, outY);
                format.Copy(buffer + y * inRow, x, piece.data(), outX - base);
            }
        } else {
            CopyPixelRun(pixelBytes, buffer + x * pixelBytes, (int32_t)inRow,
                         piece.data() + (firstX - base) * pixelBytes, step * (int32_t)pixelBytes, lines);
        }
        WriteSpillAt(offset, piece.data(), (uint32_t)piece.size());
    }
}

// Input lines of a sideways rotation are kept until a band is full or the image is complete.
void CScanOutput::GatherIntoBand(const uint8_t* buffer, uint32_t lines)
{
    uint32_t inRow = m_nBandRowBytes;
    uint32_t lineCount = m_nKeptLines;
    while (lines > 0) {
        uint32_t take = std::min(lines, m_nBandLines - m_nBandFilled);
        memcpy(m_pBand + (size_t)m_nBandFilled * inRow, buffer, (size_t)take * inRow);
        m_nBandFilled += take;
        buffer += (size_t)take * inRow;
        lines -= take;
        if (m_nBandFilled == m_nBandLines || m_nBandFirst + m_nBandFilled >= lineCount) {
            TurnColumnsIntoSpill(m_pBand, m_nBandFirst, m_nBandFilled);
            m_nBandFirst += m_nBandFilled;
            m_nBandFilled = 0;
        }
    }
}

uint32_t CScanOutput::StoreBlock(CScanReader& reader, uint8_t* buffer, uint32_t lines)
{
    CScanSettings* s = g_pScanSettings;
    uint32_t lineCount = s->GetLineCount();
    if (m_pSpill == nullptr) {
        ReverseLines(buffer, lines, s->BytesForPixels(s->GetPixelsPerLine()));
        return lines;
    }
    if (m_nLinesStored < lineCount) {
        lines = std::min(lines, lineCount - m_nLinesStored);
        // Lines past the selection's bottom edge are not placed.
        uint32_t placed = m_nLinesStored < m_nKeptLines ? std::min(lines, m_nKeptLines - m_nLinesStored) : 0;
        // The band is sized for the line length the driver had set up before the scan.
        bool banded = m_pBand != nullptr && s->BytesForPixels(s->GetPixelsPerLine()) == m_nBandRowBytes;
        if (placed > 0 && banded)
            GatherIntoBand(buffer, placed);
        else if (placed > 0)
            RotateIntoSpill(buffer, m_nLinesStored, placed);
        m_nLinesStored += lines;
        ReportScanStatus(kMsgStoring, (int32_t)((uint64_t)m_nLinesStored * 100 / std::max(lineCount, 1u)));
        if (m_nLinesStored < lineCount)
            return 0;
        m_pSpill->Rewind();
    }
    return ReadBackBlock(reader, buffer);
}

uint32_t CScanOutput::ReadBackBlock(CScanReader& reader, uint8_t* buffer)
{
    uint32_t fit = m_nSpillRowBytes == 0 ? 0 : reader.Passes() * g_TransferSize / m_nSpillRowBytes;
    uint32_t count = std::min({fit, g_LinesPerBlock, m_nSpillLines - m_nLinesReadBack});
    if (count == 0) {
        if (m_nLinesReadBack < m_nSpillLines)
            ReportMessage(kMsgTransferTooSmall);
        return 0;
    }
    // Rows past the placed ones (device pixels or lines past the selection) are 0.
    uint32_t placedRows = IsSideways(m_nRotation) ? m_nKeptPixels : m_nKeptLines;
    uint32_t placed = m_nLinesReadBack < placedRows ? std::min(count, placedRows - m_nLinesReadBack) : 0;
    uint32_t bytes = placed * m_nSpillRowBytes;
    if (m_pSpill->Read(buffer, bytes) != bytes)
        return 0;
    memset(buffer + bytes, 0, (size_t)(count - placed) * m_nSpillRowBytes);
    m_nLinesReadBack += count;
    return count;
}

// The options live in the INI file and hold for the whole scan: read for every block, they cost
// more than the block's own work.
void CScanOutput::ReadTypeOptions()
{
    int32_t type = g_pScanSettings->GetCurrentType();
    m_bSwapBytes = Shell().GetSwapBytes(type) != 0;
    m_bWidenAfterCms = ShiftTo16AfterCms() != 0;
    m_bInvertType = Shell().IsModeEnabled(type) != 0;
}

void CScanOutput::FinishBlock(uint32_t lines)
{
    CScanSettings* s = g_pScanSettings;
    int32_t type = s->GetCurrentType();
    uint32_t bits = s->GetBitsPerChannel();
    m_nSampleBits = bits > 8 ? bits : 8;
    m_bHighByteFirst = false;
    if (bits > 8 && type != kImageLineArt && type != kImageHalftone) {
        ConvertSamples(m_pBlock, lines, m_nBlockRowBytes, bits, m_bWidenAfterCms, m_bSwapBytes);
        m_nSampleBits = m_bWidenAfterCms ? 16 : bits;
        m_bHighByteFirst = m_bSwapBytes;
    }
    bool invert = m_bInvertType && g_pScannerDriver->m_nState != kDriverPreviewState;
    bool polarity = type == kImageLineArt && g_pScannerDriver->m_bLineArt == 0;
    if (invert != polarity)
        InvertBlock(m_pBlock, lines * m_nBlockRowBytes);
}

// The block buffer is handed to the sinks, which may reorder it in place: the last finished line is
// kept aside for an image a few lines shorter than the output.
void CScanOutput::KeepLastLine(uint32_t lines)
{
    const uint8_t* last = m_pBlock + (size_t)(lines - 1) * m_nBlockRowBytes;
    m_LastLine.assign(last, last + m_nBlockRowBytes);
}

void CScanOutput::RepeatLastLine(uint32_t lines)
{
    if (m_LastLine.size() != m_nBlockRowBytes)
        return;
    for (uint32_t y = 0; y < lines; ++y)
        memcpy(m_pBlock + (size_t)y * m_nBlockRowBytes, m_LastLine.data(), m_nBlockRowBytes);
}

uint32_t CScanOutput::NextBlock(CScanReader& reader, CScanJob& job)
{
    CScanSettings* s = g_pScanSettings;
    uint32_t height = s->RotatedPixelHeight();
    bool store = m_pSpill != nullptr || m_nMirror == kMirrorLeftRight;
    uint32_t storedBefore = m_nLinesStored;
    for (int idle = 0; idle < kMaxIdleRounds;) {
        if (m_nNextLine > height || m_nFirstLine > m_nNextLine) {
            m_nStatus = kDriverFailed;
            return 0;
        }
        uint32_t n = reader.ReadLines(job);
        m_nStatus = reader.m_nStatus;
        if (m_nStatus != 0)
            return 0;
        // The reader gives up after its empty reads: the device has no more lines for this image.
        if (n == 0 && !reader.AtEnd())
            break;
        uint8_t* source = reader.TransferBuffer();
        if (store && source != nullptr)
            n = StoreBlock(reader, source, n);
        if (m_pSpill != nullptr && !m_pSpill->IsUsable()) {
            // A large image rotates through the temporary file; a full drive ends the scan there.
            ReportMessage(kMsgNoDiskSpace, m_pSpill->GetTempName() != nullptr ? m_pSpill->GetTempName() : "");
            m_nStatus = kDriverAborted;
            m_nNextLine = height;
            return 0;
        }
        if (m_nNextLine < height) {
            n = ProcessOutputBlock(reader, source, m_pBlock, n);
            // Colour management said why it failed; no later block would fare better.
            if (OutputPipelineFailed()) {
                m_nStatus = kDriverAborted;
                m_nNextLine = height;
                return 0;
            }
            if (n > 0) {
                n = std::min(n, height - m_nNextLine);
                FinishBlock(n);
                KeepLastLine(n);
                m_nFirstLine = m_nNextLine;
                m_nLastLine = m_nFirstLine + n - 1;
                return n;
            }
            if (m_nNextLine >= g_PipelineLines) {
                n = std::min(height - m_nNextLine, g_LinesPerBlock);
                RepeatLastLine(n);
                m_nFirstLine = m_nNextLine;
                m_nLastLine = m_nFirstLine + n - 1;
                return n;
            }
        }
        // Without a spill file a reader that has nothing more will never have more.
        if (!store && reader.AtEnd())
            break;
        if (m_nLinesStored == storedBefore)
            ++idle;
        storedBefore = m_nLinesStored;
    }
    ReportMessage(kMsgEndedEarly);
    m_nStatus = kDriverAborted;
    m_nNextLine = height;
    return 0;
}

void CScanOutput::CopyToDib(CDib& sink, uint32_t lines)
{
    CScanSettings* s = g_pScanSettings;
    int32_t type = s->GetCurrentType();
    if (type == kImageCmyk || sink.m_pBits == nullptr || sink.m_pHeader == nullptr)
        return;
    bool oneBit = type == kImageLineArt || type == kImageHalftone;
    uint32_t sampleBytes = !oneBit && s->GetBitsPerChannel() > 8 ? 2 : 1;
    uint32_t channels = type == kImageRgb ? 3 : 1;
    uint32_t sinkWidth = (uint32_t)sink.m_pHeader->biWidth;
    uint32_t pixels = std::min(sinkWidth, m_nBlockRowBytes / (channels * sampleBytes));
    for (uint32_t i = 0; i < lines; ++i) {
        uint32_t line = m_nFirstLine + i;
        if (line >= sink.m_nHeight)
            return;
        uint8_t* target = sink.m_pBits + (sink.m_nHeight - 1 - line) * sink.m_nStride;
        const uint8_t* source = m_pBlock + i * m_nBlockRowBytes;
        if (channels == 1 && sampleBytes == 1) {
            memcpy(target, source, std::min(s->SelectionLineBytes(), sink.m_nStride));
            continue;
        }
        // The sink holds 8 bits per sample, colour as BGR; deeper samples give their top 8 bits.
        for (uint32_t x = 0; x < pixels; ++x) {
            for (uint32_t c = 0; c < channels; ++c) {
                const uint8_t* p = source + (x * channels + c) * sampleBytes;
                uint8_t v = sampleBytes == 1
                                ? *p
                                : (uint8_t)(ReadSample(p, m_bHighByteFirst) >> (m_nSampleBits - 8));
                target[x * channels + channels - 1 - c] = v;
            }
        }
    }
}

uint16_t CScanOutput::DeliverImage(CScanReader& reader, CScanJob& job, CDib* sink)
{
    uint32_t height = g_pScanSettings->RotatedPixelHeight();
    uint32_t next = 0;
    while (next < height) {
        job.ReportProgress((int32_t)next);
        m_nNextLine = next;
        uint32_t n = NextBlock(reader, job);
        if (n == 0 || m_nStatus != 0)
            return m_nStatus != 0 ? m_nStatus : (uint16_t)kDriverFailed;
        n = std::min(n, height - next);
        if (sink != nullptr) {
            CopyToDib(*sink, n);
        } else if (WriteImageLines(m_pBlock, n) < n) {
            m_bWriteFailed = true;
            m_nStatus = kDriverAborted;
            return m_nStatus;
        }
        next += n;
        int32_t percent = (int32_t)((uint64_t)next * 100 / height);
        if (percent - m_nShownPercent > 4) {
            ReportScanStatus(kMsgReading, percent);
            m_nShownPercent = percent;
        }
    }
    m_nNextLine = next;
    return 0;
}

uint16_t CScanOutput::ToFile(CScanReader& reader, CScanJob& job)
{
    uint16_t result = DeliverImage(reader, job, nullptr);
    return result == 0 ? 1 : result;
}

uint16_t CScanOutput::ToDib(CScanReader& reader, CScanJob& job, CDib& sink)
{
    return DeliverImage(reader, job, &sink);
}
