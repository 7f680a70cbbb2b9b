// BMP and engine image file writers.

#include "core/scan/ImageWriter.h"

#include "core/scan/OutputPipeline.h"
#include "core/settings/ScanSettings.h"
#include "core/util/ByteOrder.h"
#include "framework/App.h"

#include <algorithm>
#include <cstring>

CImageFileWriter* g_pImageWriter = nullptr;

namespace {

constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kLargeHeader = 1078;
constexpr uint32_t kSmallHeader = 62;
constexpr uint16_t kFailed = 255;

void FillPalette(uint8_t* palette, uint16_t bitCount)
{
    if (bitCount == 1) {
        memset(palette, 0, 8);
        palette[0] = palette[1] = palette[2] = 255;
        return;
    }
    memset(palette, 0, 1024);
    if (bitCount == 8) {
        for (int i = 0; i < 256; ++i)
            palette[i * 4] = palette[i * 4 + 1] = palette[i * 4 + 2] = (uint8_t)i;
        return;
    }
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b) {
                uint8_t* e = palette + (r * 36 + g * 6 + b) * 4;
                e[0] = (uint8_t)(b * 51);
                e[1] = (uint8_t)(g * 51);
                e[2] = (uint8_t)(r * 51);
            }
}

}  // namespace

CImageFileWriter::~CImageFileWriter() = default;

uint16_t CImageFileWriter::Open(const char*, CCmsImageDesc*) { return kFailed; }
uint32_t CImageFileWriter::Write(uint8_t*, uint32_t) { return 0; }
uint16_t CImageFileWriter::Close() { return kFailed; }

uint16_t CBmpFileWriter::BitCountFor(const CCmsImageDesc& desc)
{
    int32_t bits = desc.channels[0].bitsPerSample;
    int32_t pixelBytes = desc.channels[0].pixelStep;
    if (bits == 1)
        return 1;
    if (bits == 8 && pixelBytes == 1)
        return 8;
    if (bits == 8 && pixelBytes == 3)
        return 24;
    return 0;
}

uint16_t CBmpFileWriter::Open(const char* path, CCmsImageDesc* desc)
{
    m_pDesc = desc;
    m_nRowsWritten = 0;
    m_nBitCount = BitCountFor(*desc);
    if (m_nBitCount == 0)
        return kFailed;
    uint32_t colours = m_nBitCount == 1 ? 2 : 256;
    m_nHeaderSize = m_nBitCount == 1 ? kSmallHeader : kLargeHeader;
    uint32_t rowBytes = (uint32_t)desc->channels[0].rowStep;
    uint32_t height = (uint32_t)desc->imageHeight;
    uint32_t imageBytes = rowBytes * height;
    int32_t pelsPerMetre = (int32_t)(desc->scale[0] * 10000 / 254);

    uint8_t header[kLargeHeader] = {};
    header[0] = 'B';
    header[1] = 'M';
    PutLe32(header + 2, imageBytes + m_nHeaderSize);
    PutLe32(header + 10, m_nHeaderSize);
    PutLe32(header + 14, kInfoHeaderSize);
    PutLe32(header + 18, (uint32_t)desc->imageWidth);
    PutLe32(header + 22, height);
    PutLe16(header + 26, 1);
    PutLe16(header + 28, m_nBitCount);
    PutLe32(header + 34, imageBytes);
    PutLe32(header + 38, (uint32_t)pelsPerMetre);
    PutLe32(header + 42, (uint32_t)pelsPerMetre);
    PutLe32(header + 46, colours);
    PutLe32(header + 50, colours);
    FillPalette(header + kFileHeaderSize + kInfoHeaderSize, m_nBitCount);

    if (!m_file.Open(path, GENERIC_WRITE, CREATE_ALWAYS))
        return kFailed;
    if (!m_file.WriteAt(0, header, m_nHeaderSize))
        return kFailed;
    return HoldBlock(rowBytes) ? 0 : kFailed;
}

// A BMP holds its rows bottom up and its colour pixels as blue, green, red: each block is put in
// that order in one pass over it, into a buffer of the writer's own.
uint32_t CBmpFileWriter::Write(uint8_t* lines, uint32_t count)
{
    if (count == 0)
        return 0;
    uint32_t height = (uint32_t)m_pDesc->imageHeight;
    uint32_t rowBytes = (uint32_t)m_pDesc->channels[0].rowStep;
    if (m_nRowsWritten + count > height || !HoldBlock(count * rowBytes))
        return 0;
    m_pDesc->height = (int32_t)count;
    uint8_t* rows = (uint8_t*)m_blockBuffer.Data();
    for (uint32_t y = 0; y < count; ++y) {
        const uint8_t* source = lines + (count - 1 - y) * rowBytes;
        uint8_t* target = rows + y * rowBytes;
        if (m_nBitCount == 24)
            CopyAsBgr(source, target, (uint32_t)m_pDesc->imageWidth, rowBytes);
        else
            memcpy(target, source, rowBytes);
    }
    m_nRowsWritten += count;
    uint32_t offset = m_nHeaderSize + (height - m_nRowsWritten) * rowBytes;
    return m_file.WriteAt(offset, rows, count * rowBytes) ? count : 0;
}

// Never past the row, whatever width the descriptor claims; the row's padding goes as it came.
void CBmpFileWriter::CopyAsBgr(const uint8_t* __restrict rgb, uint8_t* __restrict bgr, uint32_t pixels,
                               uint32_t rowBytes)
{
    pixels = std::min(pixels, rowBytes / 3);
    for (uint32_t x = 0; x < pixels; ++x, rgb += 3, bgr += 3) {
        bgr[0] = rgb[2];
        bgr[1] = rgb[1];
        bgr[2] = rgb[0];
    }
    memcpy(bgr, rgb, rowBytes - 3 * pixels);
}

bool CBmpFileWriter::HoldBlock(uint32_t bytes)
{
    if (bytes > m_nBlockBytes) {
        m_blockBuffer.Alloc(bytes);
        m_nBlockBytes = m_blockBuffer.Data() != nullptr ? bytes : 0;
    }
    return m_blockBuffer.Data() != nullptr;
}

uint16_t CBmpFileWriter::Close()
{
    m_blockBuffer.Free();
    m_nBlockBytes = 0;
    if (!m_file.IsOpen())
        return kFailed;
    // Every row went out with its own checked write; closing adds nothing to report.
    m_file.Close();
    return 0;
}

uint16_t CEngineFileWriter::Open(const char* path, CCmsImageDesc* desc)
{
    m_pDesc = desc;
    return ScanColour().OpenImageFile(path, desc) == 0 ? 0 : kFailed;
}

uint32_t CEngineFileWriter::Write(uint8_t* lines, uint32_t count)
{
    m_pDesc->height = (int32_t)count;
    for (int c = 0; c < m_pDesc->channelCount; ++c)
        m_pDesc->channels[c].data = lines + m_pDesc->channelOffset[c];
    if (ScanColour().WriteImageFile(m_pDesc) != 0)
        return 0;
    return (uint32_t)std::max(m_pDesc->height, 0);
}

uint16_t CEngineFileWriter::Close()
{
    int result = ScanColour().CloseImageFile(m_pDesc);
    m_pDesc = nullptr;
    return result == 0 ? 0 : kFailed;
}

bool WritesBmpFiles() { return AfxGetApp()->GetProfileInt("General", "File extension", 0) == 1; }

uint16_t OpenImageWriter(const char* path)
{
    delete g_pImageWriter;
    g_pImageWriter = WritesBmpFiles() ? static_cast<CImageFileWriter*>(new CBmpFileWriter)
                                      : static_cast<CImageFileWriter*>(new CEngineFileWriter);
    CScanSettings* s = g_pScanSettings;
    // The colour routes write what their transform's destination describes (four channels for
    // CMYK); without one the file holds the pipeline's output.
    g_FileDescriptor = IsColourRouteActive() ? g_TransformPair.destination : g_OutputDescriptor;
    if (ShiftTo16AfterCms() != 0 && g_FileDescriptor.channels[0].bitsPerSample > 8)
        for (int c = 0; c < g_FileDescriptor.channelCount; ++c)
            g_FileDescriptor.channels[c].bitsPerSample = 16;
    int32_t resolution = s->GetParam(kParamResolution);
    int32_t scale = s->GetParam(kParamScale);
    float fileResolution = scale != 0 ? (float)(resolution * 100 / scale) : (float)resolution;
    g_FileDescriptor.scale[0] = g_FileDescriptor.scale[1] = fileResolution;
    return g_pImageWriter->Open(path, &g_FileDescriptor) == 0 ? 0 : kFailed;
}

uint32_t WriteImageLines(uint8_t* lines, uint32_t count)
{
    return g_pImageWriter != nullptr ? g_pImageWriter->Write(lines, count) : 0;
}

uint16_t CloseImageWriter()
{
    uint16_t result = g_pImageWriter != nullptr ? g_pImageWriter->Close() : 0;
    delete g_pImageWriter;
    g_pImageWriter = nullptr;
    return result;
}
