#pragma once

// The program's in-memory image: one packed DIB in a moveable global block (info header, colour
// table, bottom-up pixel rows), so that the same block is drawn with the DIB functions, put on the
// clipboard as CF_DIB, printed and written to a BMP file without conversion.

#include <windows.h>

#include <cstdint>

class CFile;

class CDib {
public:
    CDib() = default;
    virtual ~CDib();
    CDib(const CDib&) = delete;
    CDib& operator=(const CDib&) = delete;

    // bitCount 1, 8 or 24; test m_pBits for success.
    void Create(uint32_t width, uint32_t height, uint32_t bitCount, uint32_t dpi);
    // A new block for a new size with the same bit count and resolution; nothing changes when the
    // row stride and the height stay the same.
    void Resize(uint32_t width, uint32_t height);
    // 1 on success, 0 when the file header or the block could not be written.
    int WriteBmp(CFile& file);

    // Rows are 4-byte aligned.
    static uint32_t RowStride(uint32_t width, uint32_t bitCount);

    uint8_t* m_pBits = nullptr;
    BITMAPINFOHEADER* m_pHeader = nullptr;
    HGLOBAL m_hDib = nullptr;
    uint32_t m_nBitCount = 0;
    uint32_t m_nStride = 0;
    uint32_t m_nHeight = 0;
    uint32_t m_nColors = 0;
    RGBQUAD* m_pColorTable = nullptr;

protected:
    void FreeBlock();
    void FillHeader(uint32_t width, uint32_t dpi);
    void FillColorTable();
};

class CDib1 : public CDib {
public:
    CDib1(uint32_t width, uint32_t height, uint32_t dpi) { Create(width, height, 1, dpi); }
    ~CDib1() override = default;
};

class CDib8 : public CDib {
public:
    CDib8(uint32_t width, uint32_t height, uint32_t dpi) { Create(width, height, 8, dpi); }
    ~CDib8() override = default;
};

class CDib24 : public CDib {
public:
    CDib24(uint32_t width, uint32_t height, uint32_t dpi) { Create(width, height, 24, dpi); }
    ~CDib24() override = default;
};
