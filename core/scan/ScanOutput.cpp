// The scan output stage: mirror and rotation through a spill file, 16-bit samples, inversion and the
// two sinks.

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
#include <memory>
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
// A sideways turn gathers this many device lines and turns them kTilePixels columns at a time: the
// tile and the rows it lands in stay in the first-level cache however long the lines are, and each
// row gets a run of pixels at once rather than the few lines of one of the reader's blocks.
constexpr uint32_t kStageLines = 32;
constexpr uint32_t kTilePixels = 32;

uint32_t RoundUp4(uint32_t bytes) { return (bytes + 3) & ~3u; }

// Bits of one pixel of the stage's own data: one in the binary scan modes, else whole bytes.
uint32_t PixelBits()
{
    CScanSettings* s = g_pScanSettings;
    if (s->GetScanMode() <= 1)
        return 1;
    uint32_t sampleBytes = s->GetBitsPerChannel() > 8 ? 2 : 1;
    return 8 * sampleBytes * std::max<uint32_t>(s->GetChannels(), 1);
}

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

template <uint32_t N>
void CopyPixels(const uint8_t* source, ptrdiff_t sourceStep, uint8_t* target, ptrdiff_t targetStep, uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i, source += sourceStep, target += targetStep)
        memcpy(target, source, N);
}

// Copies `count` whole-byte pixels of `pixelBytes` each, stepping through source and target by the
// given byte distances (negative to walk backwards); the common sizes get a fixed-size copy.
void CopyPixelRun(uint32_t pixelBytes, const uint8_t* source, ptrdiff_t sourceStep, uint8_t* target,
    ptrdiff_t targetStep, uint32_t count)
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

uint8_t ReverseBitsOfByte(uint8_t b)
{
    b = (uint8_t)(b >> 4 | b << 4);
    b = (uint8_t)((b & 0xCC) >> 2 | (b & 0x33) << 2);
    return (uint8_t)((b & 0xAA) >> 1 | (b & 0x55) << 1);
}

// The first `pixels` bits of source in the opposite order, from the top bit of target's first byte;
// the bits after them in the last byte are 0.
void ReverseBitRun(const uint8_t* source, uint8_t* target, uint32_t pixels)
{
    uint32_t bytes = (pixels + 7) / 8;
    // The bytes reversed end with the source's unused bits, which the shift drops.
    uint32_t shift = bytes * 8 - pixels;
    for (uint32_t i = 0; i < bytes; ++i) {
        uint32_t high = ReverseBitsOfByte(source[bytes - 1 - i]);
        uint32_t low = i + 1 < bytes ? ReverseBitsOfByte(source[bytes - 2 - i]) : 0;
        target[i] = (uint8_t)(((high << 8 | low) << shift) >> 8);
    }
}

// The first `pixels` bits of source, the bits after them in the last byte 0.
void CopyBitRun(const uint8_t* source, uint8_t* target, uint32_t pixels)
{
    uint32_t bytes = (pixels + 7) / 8;
    memcpy(target, source, bytes);
    if (pixels % 8 != 0)
        target[bytes - 1] &= (uint8_t)(0xFF << (8 - pixels % 8));
}

// An 8 x 8 bit square, byte 7 - k holding row k and bit 7 - j column j, mirrored on its diagonal.
uint64_t TransposeBits(uint64_t x)
{
    uint64_t t = (x ^ (x >> 7)) & 0x00AA00AA00AA00AAull;
    x ^= t ^ (t << 7);
    t = (x ^ (x >> 14)) & 0x0000CCCC0000CCCCull;
    x ^= t ^ (t << 14);
    t = (x ^ (x >> 28)) & 0x00000000F0F0F0F0ull;
    return x ^ t ^ (t << 28);
}

uint16_t ReadSample(const uint8_t* p, bool highFirst)
{
    return highFirst ? (uint16_t)(p[0] << 8 | p[1]) : (uint16_t)(p[1] << 8 | p[0]);
}

}  // namespace

// The image the stage mirrors and turns, in the device's orientation: `pixels` of each line and
// `lines` lines are kept, the rest of what the device delivers lies past the selection's right and
// bottom edges.
struct CImageShape {
    uint32_t pixelBits = 8;
    uint32_t pixels = 0;
    uint32_t lines = 0;
    uint32_t devicePixels = 0;
    uint32_t deviceLines = 0;
    uint32_t lineBytes = 0;
    // Of a row of the turned image as the pipeline reads it.
    uint32_t rowBytes = 0;
    // 90 and 270 degrees: each device column becomes a row.
    bool sideways = false;
    // The rows come from the device's lines (sideways: columns) last first.
    bool rowsReversed = false;
    // Within a row the pixels run against the device's columns (sideways: lines).
    bool pixelsReversed = false;

    uint32_t KeptRows() const { return sideways ? pixels : lines; }
    // The pipeline reads as many rows as the device delivered lines (sideways: pixels).
    uint32_t Rows() const { return sideways ? devicePixels : deviceLines; }
    uint32_t RowPixels() const { return sideways ? lines : pixels; }
};

// Mirrors and turns the image through a spill file, which a large image keeps on disk. Device lines
// are gathered in a band, already in their place: after a 90 or 270 degree turn a band holds a piece
// of every row (a strip), otherwise whole rows. Each band reaches the spill file with one write;
// the strips of a turned image lie one after the other and a row is put together from its pieces
// as it is read back, many rows at a time.
class CImageTurn {
public:
    explicit CImageTurn(const CImageShape& shape) : m_Shape(shape) {}
    CImageTurn(const CImageTurn&) = delete;
    CImageTurn& operator=(const CImageTurn&) = delete;

    // kDriverOk, or kDriverNoMemory when the band or the spill file could not be had.
    uint16_t Prepare();
    // Places the next `count` device lines, lineBytes apart.
    void Take(const uint8_t* lines, uint32_t count);
    uint32_t LinesTaken() const { return m_nLinesTaken; }
    bool HasAllLines() const { return m_nLinesTaken >= m_Shape.deviceLines; }
    uint32_t RowsLeft() const { return m_Shape.Rows() - m_nRowsRead; }
    // The next `count` rows, rowBytes apart; false when the spill file failed.
    bool ReadRows(uint8_t* rows, uint32_t count);
    uint32_t RowBytes() const { return m_Shape.rowBytes; }
    bool IsUsable() const { return m_pSpill != nullptr && m_pSpill->IsUsable(); }
    const char* TempName() const { return m_pSpill != nullptr ? m_pSpill->GetTempName() : nullptr; }

private:
    // Where a band's rows or pieces of rows lie: from byte firstByte of each row, `bytes` long,
    // in the spill file from `offset` on.
    struct CStrip {
        uint32_t firstByte;
        uint32_t bytes;
        uint32_t offset;
    };

    uint32_t PixelBytes() const { return m_Shape.pixelBits / 8; }
    // Sideways the position of device line y in every row, else the row it becomes.
    uint32_t LineTarget(uint32_t y) const;
    uint32_t BandEnd(uint32_t band) const { return std::min((band + 1) * m_nBandLines, m_Shape.lines); }
    uint32_t FirstRowOfBand(uint32_t band) const;
    void PlanStrips();
    // Gathers up to `count` lines of the band that ends at bandEnd, turning them once the stage is
    // full or the band complete; returns the lines taken.
    uint32_t Stage(const uint8_t* lines, uint32_t count, uint32_t bandEnd);
    void PlaceColumns(const uint8_t* lines, uint32_t first, uint32_t count);
    void PlaceColumnBits(const uint8_t* lines, uint32_t first, uint32_t count);
    void PlaceRows(const uint8_t* lines, uint32_t first, uint32_t count);
    void WriteBand(uint32_t band);
    // Rows of the spill file, whole or put together from their strips.
    bool ReadKeptRows(uint8_t* rows, uint32_t count);
    bool FillCache(uint32_t firstRow);
    void AssembleRow(uint32_t row, uint8_t* target) const;

    CImageShape m_Shape;
    std::unique_ptr<CSpillFile> m_pSpill;
    // The band, and after the last band the rows read back.
    std::unique_ptr<uint8_t[]> m_pWork;
    std::unique_ptr<uint8_t[]> m_pStage;
    uint32_t m_nStageLines = 0;
    uint32_t m_nStaged = 0;
    uint32_t m_nBandLines = 1;
    uint32_t m_nBandBytes = 0;
    std::vector<CStrip> m_Strips;
    uint32_t m_nLinesTaken = 0;
    uint32_t m_nRowsRead = 0;
    uint32_t m_nCacheRows = 0;
    uint32_t m_nCacheFirst = 0;
    uint32_t m_nCacheCount = 0;
};

namespace {

// The device's lines cut to the selection: a device that rounds its window up delivers a few pixels
// and lines past the selection's right and bottom edges, which must not push the mirrored or turned
// image aside. The pipeline cuts them the same way from the end of the rows and of the image.
CImageShape ShapeOfScan(int32_t rotation, int32_t mirror)
{
    CScanSettings* s = g_pScanSettings;
    CImageShape shape;
    shape.pixelBits = PixelBits();
    shape.sideways = IsSideways(rotation);
    shape.devicePixels = s->GetPixelsPerLine();
    shape.deviceLines = s->GetLineCount();
    SelectionDeviceSize(shape.pixels, shape.lines);
    shape.lineBytes = s->BytesForPixels(s->GetPixelsPerLine());
    shape.rowBytes = s->OutputBytesPerLine();
    // Where the first pixel lands tells which way the rows and the pixels of a row run.
    uint32_t x = 0, y = 0;
    CPlacement{rotation, mirror, shape.pixels, shape.lines}.Map(0, 0, x, y);
    shape.rowsReversed = y != 0;
    shape.pixelsReversed = x != 0;
    return shape;
}

}  // namespace

uint32_t CImageTurn::LineTarget(uint32_t y) const
{
    bool reversed = m_Shape.sideways ? m_Shape.pixelsReversed : m_Shape.rowsReversed;
    return reversed ? m_Shape.lines - 1 - y : y;
}

uint32_t CImageTurn::FirstRowOfBand(uint32_t band) const
{
    return m_Shape.rowsReversed ? m_Shape.lines - BandEnd(band) : band * m_nBandLines;
}

uint16_t CImageTurn::Prepare()
{
    const CImageShape& shape = m_Shape;
    uint32_t bandUnit = std::max(shape.sideways ? shape.lineBytes : shape.rowBytes, 1u);
    m_nBandLines = std::clamp<uint32_t>(g_RotationBandBytes / bandUnit, 1, std::max(shape.lines, 1u));
    PlanStrips();
    uint64_t stripRowBytes = 0;
    uint64_t bandBytes = shape.sideways ? 0 : (uint64_t)m_nBandLines * shape.rowBytes;
    for (const CStrip& strip : m_Strips) {
        stripRowBytes += strip.bytes;
        if (shape.sideways)
            bandBytes = std::max(bandBytes, (uint64_t)shape.pixels * strip.bytes);
    }
    uint64_t spillBytes = shape.KeptRows() * stripRowBytes;
    m_nCacheRows =
        std::clamp<uint32_t>(g_RotationBandBytes / std::max(shape.rowBytes, 1u), 1, std::max(shape.KeptRows(), 1u));
    uint64_t workBytes = std::max<uint64_t>({bandBytes, m_nCacheRows * stripRowBytes, 1});
    if (spillBytes > 0xFFFFFFFFu || workBytes > 0x7FFFFFFF)
        return kDriverNoMemory;
    m_nBandBytes = (uint32_t)bandBytes;
    m_pSpill.reset(new (std::nothrow) CSpillFile((uint32_t)spillBytes));
    m_pWork.reset(new (std::nothrow) uint8_t[(size_t)workBytes]());
    m_nStageLines = std::min(kStageLines, m_nBandLines);
    if (shape.sideways)
        m_pStage.reset(new (std::nothrow) uint8_t[(size_t)m_nStageLines * shape.lineBytes]);
    bool staged = !shape.sideways || m_pStage != nullptr;
    return IsUsable() && m_pWork != nullptr && staged ? (uint16_t)kDriverOk : (uint16_t)kDriverNoMemory;
}

// Sideways every band of device lines is a strip of all the rows; the pieces of a row that two
// strips of a 1-bit image hold may share a byte.
void CImageTurn::PlanStrips()
{
    const CImageShape& shape = m_Shape;
    m_Strips.clear();
    if (!shape.sideways) {
        m_Strips.push_back({0, shape.rowBytes, 0});
        return;
    }
    uint64_t offset = 0;
    for (uint32_t y = 0; y < shape.lines; y += m_nBandLines) {
        uint32_t end = std::min(y + m_nBandLines, shape.lines);
        uint32_t low = shape.pixelsReversed ? shape.lines - end : y;
        uint32_t high = low + (end - y);
        uint32_t firstByte = (uint32_t)((uint64_t)low * shape.pixelBits / 8);
        uint32_t endByte = (uint32_t)(((uint64_t)high * shape.pixelBits + 7) / 8);
        m_Strips.push_back({firstByte, endByte - firstByte, (uint32_t)offset});
        offset += (uint64_t)shape.pixels * (endByte - firstByte);
    }
}

void CImageTurn::Take(const uint8_t* lines, uint32_t count)
{
    const CImageShape& shape = m_Shape;
    count = std::min(count, shape.deviceLines - m_nLinesTaken);
    while (count > 0 && m_nLinesTaken < shape.lines && shape.pixels > 0) {
        uint32_t band = m_nLinesTaken / m_nBandLines;
        uint32_t take = std::min(count, BandEnd(band) - m_nLinesTaken);
        if (shape.sideways)
            take = Stage(lines, take, BandEnd(band));
        else
            PlaceRows(lines, m_nLinesTaken, take);
        lines += (size_t)take * shape.lineBytes;
        m_nLinesTaken += take;
        count -= take;
        if (m_nLinesTaken == BandEnd(band))
            WriteBand(band);
    }
    // Lines past the selection's bottom edge are not placed.
    m_nLinesTaken += count;
}

uint32_t CImageTurn::Stage(const uint8_t* lines, uint32_t count, uint32_t bandEnd)
{
    const CImageShape& shape = m_Shape;
    uint32_t take = std::min(count, m_nStageLines - m_nStaged);
    memcpy(m_pStage.get() + (size_t)m_nStaged * shape.lineBytes, lines, (size_t)take * shape.lineBytes);
    m_nStaged += take;
    uint32_t end = m_nLinesTaken + take;
    if (m_nStaged < m_nStageLines && end < bandEnd)
        return take;
    if (shape.pixelBits == 1)
        PlaceColumnBits(m_pStage.get(), end - m_nStaged, m_nStaged);
    else
        PlaceColumns(m_pStage.get(), end - m_nStaged, m_nStaged);
    m_nStaged = 0;
    return take;
}

// Tile by tile: a few columns of each line of the block, each column into its own row.
void CImageTurn::PlaceColumns(const uint8_t* lines, uint32_t first, uint32_t count)
{
    const CImageShape& shape = m_Shape;
    const CStrip& strip = m_Strips[first / m_nBandLines];
    uint32_t pixelBytes = PixelBytes();
    ptrdiff_t rowStep = shape.rowsReversed ? -(ptrdiff_t)strip.bytes : (ptrdiff_t)strip.bytes;
    uint8_t* firstRow = m_pWork.get() + (shape.rowsReversed ? (size_t)(shape.pixels - 1) * strip.bytes : 0);
    for (uint32_t x = 0; x < shape.pixels; x += kTilePixels) {
        uint32_t n = std::min(kTilePixels, shape.pixels - x);
        for (uint32_t i = 0; i < count; ++i) {
            const uint8_t* source = lines + (size_t)i * shape.lineBytes + (size_t)x * pixelBytes;
            size_t position = (size_t)LineTarget(first + i) * pixelBytes - strip.firstByte;
            CopyPixelRun(pixelBytes, source, pixelBytes, firstRow + x * rowStep + position, rowStep, n);
        }
    }
}

// Up to eight lines whose bits fall into one byte of the rows are turned together, eight columns at
// a time; the band starts at 0 and the bits are added in.
void CImageTurn::PlaceColumnBits(const uint8_t* lines, uint32_t first, uint32_t count)
{
    const CImageShape& shape = m_Shape;
    const CStrip& strip = m_Strips[first / m_nBandLines];
    uint32_t lineBytes = (shape.pixels + 7) / 8;
    for (uint32_t i = 0; i < count;) {
        uint32_t targetByte = LineTarget(first + i) / 8;
        const uint8_t* group[8] = {};
        uint32_t end = i;
        for (; end < count && LineTarget(first + end) / 8 == targetByte; ++end)
            group[LineTarget(first + end) % 8] = lines + (size_t)end * shape.lineBytes;
        uint8_t* column = m_pWork.get() + (targetByte - strip.firstByte);
        for (uint32_t b = 0; b < lineBytes; ++b) {
            uint64_t square = 0;
            for (int k = 0; k < 8; ++k)
                square |= group[k] != nullptr ? (uint64_t)group[k][b] << (56 - 8 * k) : 0;
            square = TransposeBits(square);
            uint32_t columns = std::min(8u, shape.pixels - 8 * b);
            for (uint32_t j = 0; j < columns; ++j) {
                uint32_t x = 8 * b + j;
                uint32_t row = shape.rowsReversed ? shape.pixels - 1 - x : x;
                column[(size_t)row * strip.bytes] |= (uint8_t)(square >> (56 - 8 * j));
            }
        }
        i = end;
    }
}

void CImageTurn::PlaceRows(const uint8_t* lines, uint32_t first, uint32_t count)
{
    const CImageShape& shape = m_Shape;
    uint32_t pixelBytes = PixelBytes();
    uint32_t bandRow = FirstRowOfBand(first / m_nBandLines);
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* line = lines + (size_t)i * shape.lineBytes;
        uint8_t* row = m_pWork.get() + (size_t)(LineTarget(first + i) - bandRow) * shape.rowBytes;
        if (shape.pixelBits == 1 && shape.pixelsReversed)
            ReverseBitRun(line, row, shape.pixels);
        else if (shape.pixelBits == 1)
            CopyBitRun(line, row, shape.pixels);
        else if (shape.pixelsReversed)
            CopyPixelRun(pixelBytes, line + (size_t)(shape.pixels - 1) * pixelBytes, -(ptrdiff_t)pixelBytes, row,
                pixelBytes, shape.pixels);
        else
            memcpy(row, line, (size_t)shape.pixels * pixelBytes);
    }
}

void CImageTurn::WriteBand(uint32_t band)
{
    const CImageShape& shape = m_Shape;
    uint32_t offset = FirstRowOfBand(band) * shape.rowBytes;
    uint32_t bytes = (BandEnd(band) - band * m_nBandLines) * shape.rowBytes;
    if (shape.sideways) {
        offset = m_Strips[band].offset;
        bytes = shape.pixels * m_Strips[band].bytes;
    }
    m_pSpill->SeekTo(offset);
    m_pSpill->WriteData(m_pWork.get(), bytes);
    if (shape.sideways && shape.pixelBits == 1)
        memset(m_pWork.get(), 0, m_nBandBytes);
}

// Rows past the kept ones (device pixels or lines past the selection) are 0.
bool CImageTurn::ReadRows(uint8_t* rows, uint32_t count)
{
    const CImageShape& shape = m_Shape;
    uint32_t kept = m_nRowsRead < shape.KeptRows() ? std::min(count, shape.KeptRows() - m_nRowsRead) : 0;
    if (kept > 0 && !ReadKeptRows(rows, kept))
        return false;
    memset(rows + (size_t)kept * shape.rowBytes, 0, (size_t)(count - kept) * shape.rowBytes);
    m_nRowsRead += count;
    return true;
}

bool CImageTurn::ReadKeptRows(uint8_t* rows, uint32_t count)
{
    const CImageShape& shape = m_Shape;
    if (m_Strips.size() == 1 && m_Strips[0].bytes == shape.rowBytes) {
        uint32_t bytes = count * shape.rowBytes;
        m_pSpill->SeekTo(m_nRowsRead * shape.rowBytes);
        return m_pSpill->Read(rows, bytes) == bytes;
    }
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t row = m_nRowsRead + i;
        if (row >= m_nCacheFirst + m_nCacheCount && !FillCache(row))
            return false;
        AssembleRow(row, rows + (size_t)i * shape.rowBytes);
    }
    return true;
}

// Each strip's pieces of the next rows with one read: the work buffer holds them strip by strip.
bool CImageTurn::FillCache(uint32_t firstRow)
{
    uint32_t rows = std::min(m_nCacheRows, m_Shape.KeptRows() - firstRow);
    uint8_t* target = m_pWork.get();
    for (const CStrip& strip : m_Strips) {
        uint32_t bytes = rows * strip.bytes;
        m_pSpill->SeekTo(strip.offset + firstRow * strip.bytes);
        if (m_pSpill->Read(target, bytes) != bytes)
            return false;
        target += bytes;
    }
    m_nCacheFirst = firstRow;
    m_nCacheCount = rows;
    return true;
}

void CImageTurn::AssembleRow(uint32_t row, uint8_t* target) const
{
    const CImageShape& shape = m_Shape;
    bool bits = shape.pixelBits == 1;
    uint32_t used = (uint32_t)(((uint64_t)shape.RowPixels() * shape.pixelBits + 7) / 8);
    // Device lines past the selection's bottom edge leave the end of the row 0; the pieces of a
    // 1-bit row are added in.
    memset(target + (bits ? 0 : used), 0, shape.rowBytes - (bits ? 0 : used));
    const uint8_t* segment = m_pWork.get();
    size_t inSegment = (size_t)(row - m_nCacheFirst);
    for (const CStrip& strip : m_Strips) {
        const uint8_t* piece = segment + inSegment * strip.bytes;
        if (bits) {
            for (uint32_t k = 0; k < strip.bytes; ++k)
                target[strip.firstByte + k] |= piece[k];
        } else {
            memcpy(target + strip.firstByte, piece, strip.bytes);
        }
        segment += (size_t)m_nCacheCount * strip.bytes;
    }
}

// Small enough to sit in the processor's cache while it fills and to cost little fresh memory in
// every scan; a larger band only saves reads of short pieces of rows.
uint32_t g_RotationBandBytes = 2u * 1024 * 1024;

CScanOutput::~CScanOutput() { Free(); }

void CScanOutput::Free()
{
    if (m_hBlock != nullptr) {
        GlobalUnlock((HGLOBAL)m_hBlock);
        GlobalFree((HGLOBAL)m_hBlock);
    }
    m_hBlock = nullptr;
    m_pBlock = nullptr;
    delete m_pTurn;
    m_pTurn = nullptr;
}

uint16_t CScanOutput::Prepare(CScanReader&)
{
    CScanSettings* s = g_pScanSettings;
    m_nRotation = s->GetParam(kParamRotation);
    m_nMirror = s->GetParam(kParamMirror);
    m_nFirstLine = m_nNextLine = m_nLastLine = 0;
    m_nLinesStored = 0;
    m_nStatus = 0;
    m_nStoredPercent = -1;
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
    CImageShape shape = ShapeOfScan(m_nRotation, m_nMirror);
    m_nPixelBits = shape.pixelBits;
    m_nLineBytes = shape.lineBytes;
    m_nKeptPixels = shape.pixels;
    m_Row.assign(m_nLineBytes, 0);
    if (m_nRotation == 0 && (m_nMirror & kMirrorUpsideDown) == 0)
        return kDriverOk;
    m_pTurn = new (std::nothrow) CImageTurn(shape);
    return m_pTurn != nullptr ? m_pTurn->Prepare() : (uint16_t)kDriverNoMemory;
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

void CScanOutput::ReverseLines(uint8_t* buffer, uint32_t lines)
{
    uint32_t pixels = m_nKeptPixels;
    uint32_t pixelBytes = m_nPixelBits / 8;
    if (pixels == 0)
        return;
    for (uint32_t y = 0; y < lines; ++y) {
        uint8_t* line = buffer + (size_t)y * m_nLineBytes;
        if (m_nPixelBits == 1) {
            uint32_t bytes = (pixels + 7) / 8;
            // The bits past the selection in the last byte stay as they came.
            uint8_t past = pixels % 8 != 0 ? (uint8_t)(line[bytes - 1] & (0xFF >> (pixels % 8))) : 0;
            ReverseBitRun(line, m_Row.data(), pixels);
            memcpy(line, m_Row.data(), bytes);
            line[bytes - 1] |= past;
            continue;
        }
        memcpy(m_Row.data(), line, (size_t)pixels * pixelBytes);
        CopyPixelRun(pixelBytes, m_Row.data() + (size_t)(pixels - 1) * pixelBytes, -(ptrdiff_t)pixelBytes, line,
            pixelBytes, pixels);
    }
}

uint32_t CScanOutput::StoreBlock(CScanReader& reader, uint8_t* buffer, uint32_t lines)
{
    if (m_pTurn == nullptr) {
        ReverseLines(buffer, lines);
        return lines;
    }
    if (!m_pTurn->HasAllLines()) {
        m_pTurn->Take(buffer, lines);
        m_nLinesStored = m_pTurn->LinesTaken();
        ReportStoring();
        if (!m_pTurn->HasAllLines())
            return 0;
    }
    return ReadBackBlock(reader, buffer);
}

// A report costs more than turning a block: the status line hears of whole percents only.
void CScanOutput::ReportStoring()
{
    uint32_t lineCount = std::max(g_pScanSettings->GetLineCount(), 1u);
    int32_t percent = (int32_t)((uint64_t)m_nLinesStored * 100 / lineCount);
    if (percent == m_nStoredPercent)
        return;
    m_nStoredPercent = percent;
    ReportScanStatus(kMsgStoring, percent);
}

uint32_t CScanOutput::ReadBackBlock(CScanReader& reader, uint8_t* buffer)
{
    uint32_t rowBytes = m_pTurn->RowBytes();
    uint32_t fit = rowBytes == 0 ? 0 : reader.Passes() * g_TransferSize / rowBytes;
    uint32_t count = std::min({fit, g_LinesPerBlock, m_pTurn->RowsLeft()});
    if (count == 0) {
        if (m_pTurn->RowsLeft() > 0)
            ReportMessage(kMsgTransferTooSmall);
        return 0;
    }
    return m_pTurn->ReadRows(buffer, count) ? count : 0;
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
    bool store = m_pTurn != nullptr || m_nMirror == kMirrorLeftRight;
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
        if (m_pTurn != nullptr && !m_pTurn->IsUsable()) {
            // A large image rotates through the temporary file; a full drive ends the scan there.
            ReportMessage(kMsgNoDiskSpace, m_pTurn->TempName() != nullptr ? m_pTurn->TempName() : "");
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
