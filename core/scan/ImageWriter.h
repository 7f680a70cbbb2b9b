#pragma once

// The image file writers of a scan to file: BMP files written here, TIFF files written through the
// colour engine. The current writer lives from OpenImageWriter to CloseImageWriter, both inside
// CScanJob::ScanToFile.

#include "core/cms/CmsEngine.h"
#include "core/util/GlobalBlock.h"
#include "core/util/ScopedFile.h"

#include <cstdint>

class CImageFileWriter {
public:
    CImageFileWriter() = default;
    virtual ~CImageFileWriter();
    CImageFileWriter(const CImageFileWriter&) = delete;
    CImageFileWriter& operator=(const CImageFileWriter&) = delete;

    // 0, or 255 when the file cannot be made.
    virtual uint16_t Open(const char* path, CCmsImageDesc* desc);
    // Lines written; fewer than count only when the file cannot take them.
    virtual uint32_t Write(uint8_t* lines, uint32_t count);
    // 0, or 255.
    virtual uint16_t Close();

protected:
    CScopedFile m_file;
    CCmsImageDesc* m_pDesc = nullptr;
};

// Blocks arrive top line first, but a BMP stores its rows bottom-up: each block is reversed and
// written at its place from the end of the file towards the header, so the file is whole only once
// its last block is in.
class CBmpFileWriter : public CImageFileWriter {
public:
    uint16_t Open(const char* path, CCmsImageDesc* desc) override;
    uint32_t Write(uint8_t* lines, uint32_t count) override;
    uint16_t Close() override;

    // The BMP bit count for a descriptor: 1, 8 or 24; 0 when a BMP cannot hold its samples.
    static uint16_t BitCountFor(const CCmsImageDesc& desc);

private:
    static void CopyAsBgr(const uint8_t* rgb, uint8_t* bgr, uint32_t pixels, uint32_t rowBytes);
    // Makes the block buffer hold at least the bytes; false when there is no memory for them.
    bool HoldBlock(uint32_t bytes);

    CScopedBlock m_blockBuffer;
    uint32_t m_nBlockBytes = 0;
    uint32_t m_nRowsWritten = 0;
    uint16_t m_nBitCount = 0;
    uint32_t m_nHeaderSize = 0;
};

class CEngineFileWriter : public CImageFileWriter {
public:
    uint16_t Open(const char* path, CCmsImageDesc* desc) override;
    uint32_t Write(uint8_t* lines, uint32_t count) override;
    uint16_t Close() override;
};

extern CImageFileWriter* g_pImageWriter;

// INI General/"File extension": 1 writes BMP files, anything else files of the colour engine.
bool WritesBmpFiles();
// 0, or 255 when the writer cannot open the file.
uint16_t OpenImageWriter(const char* path);
uint32_t WriteImageLines(uint8_t* lines, uint32_t count);
// 0, or 255 when the writer could not finish its file.
uint16_t CloseImageWriter();
