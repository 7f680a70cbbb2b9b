#include "core/image/Dib.h"

#include "core/image/FileHuge.h"
#include "core/util/GlobalBlock.h"
#include "framework/File.h"

#include <cstring>

namespace {

// Room for the header and the largest colour table, whatever the bit count.
constexpr uint32_t kHeaderAndTable = sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD);
// Light grey in the 8-bit and 24-bit tables; shows where a scan has not written yet.
constexpr uint8_t kFillByte = 0xBF;
// Pixels per metre from dots per inch: 10000 / 254.
constexpr uint32_t kTenthMillimetresPerInch = 254;

uint32_t ColorCount(uint32_t bitCount)
{
    switch (bitCount) {
    case 1:
        return 2;
    case 4:
        return 16;
    case 8:
        return 256;
    default:
        return 0;
    }
}

bool IsSupportedDepth(uint32_t bitCount) { return bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 24; }

// The bits follow the colour table; a 24-bit bitmap carries a 256-entry palette hint.
uint32_t BitsOffset(uint32_t bitCount)
{
    const uint32_t entries = bitCount == 24 ? 256 : ColorCount(bitCount);
    return sizeof(BITMAPINFOHEADER) + entries * sizeof(RGBQUAD);
}

}  // namespace

CDib::~CDib() { FreeBlock(); }

uint32_t CDib::RowStride(uint32_t width, uint32_t bitCount)
{
    const uint32_t bits = width * bitCount;
    return bits / 32 * 4 + (bits % 32 ? 4 : 0);
}

void CDib::FreeBlock()
{
    if (m_hDib) {
        GlobalUnlock(m_hDib);
        GlobalFree(m_hDib);
    }
    m_hDib = nullptr;
    m_pHeader = nullptr;
    m_pBits = nullptr;
    m_pColorTable = nullptr;
}

void CDib::Create(uint32_t width, uint32_t height, uint32_t bitCount, uint32_t dpi)
{
    m_nColors = ColorCount(bitCount);
    m_nStride = RowStride(width, bitCount);
    m_nHeight = height;
    m_nBitCount = bitCount;
    FreeBlock();
    if (!IsSupportedDepth(bitCount))
        return;

    // Sizes from a scan's settings can be absurd; a block beyond 32 bits would wrap to a small one.
    const uint64_t pixelBytes = (uint64_t)height * m_nStride;
    if (pixelBytes > 0xFFFFFFFFull - kHeaderAndTable)
        return;
    CScopedBlock memory((uint32_t)(pixelBytes + kHeaderAndTable));
    uint8_t* block = static_cast<uint8_t*>(memory.Data());
    if (!block)
        return;
    m_hDib = memory.Release();
    m_pHeader = reinterpret_cast<BITMAPINFOHEADER*>(block);
    m_pColorTable = reinterpret_cast<RGBQUAD*>(block + sizeof(BITMAPINFOHEADER));
    m_pBits = block + BitsOffset(bitCount);
    FillHeader(width, dpi);
    std::memset(m_pBits, kFillByte, (size_t)pixelBytes);
    FillColorTable();
}

void CDib::Resize(uint32_t width, uint32_t height)
{
    if (!m_pHeader)
        return;
    if (RowStride(width, m_nBitCount) == m_nStride && height == m_nHeight) {
        // The rows keep their bytes, but the header must say how many of them are pixels.
        m_pHeader->biWidth = (LONG)width;
        return;
    }
    const uint32_t bitCount = m_pHeader->biBitCount;
    const uint32_t dpi = ((uint32_t)m_pHeader->biXPelsPerMeter * kTenthMillimetresPerInch + 5000) / 10000;
    Create(width, height, bitCount, dpi);
}

void CDib::FillHeader(uint32_t width, uint32_t dpi)
{
    BITMAPINFOHEADER& header = *m_pHeader;
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = (LONG)width;
    header.biHeight = (LONG)m_nHeight;
    header.biPlanes = 1;
    header.biBitCount = (WORD)m_nBitCount;
    header.biCompression = BI_RGB;
    header.biSizeImage = m_nHeight * m_nStride;
    header.biXPelsPerMeter = (LONG)(dpi * 10000 / kTenthMillimetresPerInch);
    header.biYPelsPerMeter = header.biXPelsPerMeter;
    header.biClrUsed = m_nBitCount == 24 ? 256 : m_nColors;
    header.biClrImportant = header.biClrUsed;
}

void CDib::FillColorTable()
{
    RGBQUAD* table = m_pColorTable;
    // Only the table itself: the rows of a 1-bit bitmap start right after its two entries.
    std::memset(table, 0, (uint32_t)(m_pBits - reinterpret_cast<uint8_t*>(table)));
    switch (m_nBitCount) {
    case 1:
        // Line art: a set bit is black ink on white paper.
        table[0] = RGBQUAD {255, 255, 255, 0};
        table[1] = RGBQUAD {0, 0, 0, 0};
        break;
    case 4:
    case 8: {
        const uint32_t step = 255 / (m_nColors - 1);
        for (uint32_t i = 0; i < m_nColors; ++i) {
            const BYTE grey = (BYTE)(i * step);
            table[i] = RGBQUAD {grey, grey, grey, 0};
        }
        break;
    }
    case 24:
        // A hint for palette displays; the pixels carry their own colour.
        for (BYTE r = 0; r < 6; ++r)
            for (BYTE g = 0; g < 6; ++g)
                for (BYTE b = 0; b < 6; ++b)
                    table[36 * r + 6 * g + b] = RGBQUAD {(BYTE)(51 * b), (BYTE)(51 * g), (BYTE)(51 * r), 0};
        break;
    default:
        break;
    }
}

int CDib::WriteBmp(CFile& file)
{
    if (!m_hDib)
        return 0;
    const uint8_t* block = reinterpret_cast<const uint8_t*>(m_pHeader);
    const DWORD blockSize = (DWORD)GlobalSize(m_hDib);
    BITMAPFILEHEADER fileHeader = {};
    fileHeader.bfType = 0x4D42;  // "BM"
    fileHeader.bfSize = blockSize + sizeof fileHeader;
    fileHeader.bfOffBits = (DWORD)(sizeof fileHeader + (m_pBits - block));
    if (!WriteFileHuge(file, &fileHeader, sizeof fileHeader))
        return 0;
    return WriteFileHuge(file, block, blockSize);
}
