#include "tests/core/scan/ScanTestSupport.h"

#include "core/messages/MessageCatalog.h"
#include "core/messages/MessageReporter.h"
#include "core/scan/ScanServices.h"
#include "tests/support/Screenshot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

CChartDriver::CChartDriver(bool onePass)
{
    m_nKind = 0x8;
    m_nState = 2;
    m_nCapabilityFlags = (uint8_t)(onePass ? kCapColourOnePass | kCapReflective : kCapReflective);
    m_ReflectiveBed = {0, 0, 21590, 29718};
    m_TransparencyBed = m_ReflectiveBed;
    m_bLineArt = 1;
}

uint16_t CChartDriver::Record(const char* name)
{
    if (m_Calls.empty() || m_Calls.back() != name)
        m_Calls.push_back(name);
    return m_strFailing == name ? kDriverFailed : kDriverOk;
}

uint16_t CChartDriver::UpdateScanGeometry()
{
    CScanSettings* s = g_pScanSettings;
    int32_t type = s->GetCurrentType();
    s->UpdateSampleFormat(type == kImageLineArt ? 0 : type == kImageGrey ? 2 : 3);
    int32_t rotation = s->GetParam(kParamRotation);
    bool sideways = rotation == 90 || rotation == 270;
    s->m_nPixelsPerLine = sideways ? s->RotatedPixelHeight() : s->RotatedPixelWidth();
    s->m_nLineCount = sideways ? s->RotatedPixelWidth() : s->RotatedPixelHeight();
    s->m_nPixelsPerLine -= std::min(m_nShortPixels, s->m_nPixelsPerLine);
    s->m_nLineCount -= std::min(m_nShortLines, s->m_nLineCount);
    s->m_nPixelsPerLine += m_nExtraPixels;
    s->m_nLineCount += m_nExtraLines;
    uint32_t bytes = s->BytesForPixels(s->m_nPixelsPerLine);
    bool planes = s->m_nChannels == 3 && (m_nCapabilityFlags & kCapColourOnePass) == 0;
    s->m_nBytesPerLine = m_bZeroLineBytes ? 0 : planes ? bytes / 3 : bytes;
    return Record("Geometry");
}

uint16_t CChartDriver::StartScanCommand(uint8_t)
{
    m_nPass = 0;
    m_nLine = 0;
    return Record("Start");
}

uint16_t CChartDriver::StartPass(int32_t, int32_t)
{
    ++m_nPass;
    m_nLine = 0;
    return Record("Pass");
}

CChartWindow CChartDriver::Window() const
{
    CScanSettings* s = g_pScanSettings;
    CChartWindow w;
    w.left = s->GetParam(kParamSelLeft) / 2540.0;
    w.top = s->GetParam(kParamSelTop) / 2540.0;
    w.xResolution = w.yResolution = s->GetParam(kParamResolution);
    w.pixelsPerLine = (int)s->m_nPixelsPerLine;
    w.lines = (int)s->m_nLineCount;
    w.channels = (int)s->m_nChannels;
    w.bitsPerSample = s->m_nScanMode == 0 ? 1 : s->m_nBitsPerChannel > 8 ? 16 : 8;
    // The polarity flag says whether 1 is black in the device's line art.
    w.invert = s->m_nScanMode == 0 && m_bLineArt != 0;
    w.bigEndian16 = false;
    return w;
}

uint16_t CChartDriver::ReadData(uint8_t* buffer, uint8_t, uint16_t lines, uint16_t bytesPerLine)
{
    Record("Read");
    ++m_nReads;
    if (GlobalFindAtomA(DeviceBusyAtomName()) == 0)
        m_bAtomSeenAtEveryRead = false;
    if (m_nFailAfterLines >= 0 && m_nLine + lines > (uint32_t)m_nFailAfterLines)
        return m_nFailCode;
    CChartWindow window = Window();
    uint32_t bits = (uint32_t)window.bitsPerSample;
    std::vector<uint8_t> row(CTestChart::BytesPerLine(window));
    for (uint32_t i = 0; i < lines; ++i) {
        CTestChart::RenderLine(window, (int)(m_nLine + i), row.data());
        if (m_bSpeckled)
            Speckle(window, (int)(m_nLine + i), row.data());
        // A 12-bit device delivers the top 12 bits of the chart's 16.
        if (bits == 16 && g_pScanSettings->m_nBitsPerChannel < 16) {
            uint32_t shift = 16 - g_pScanSettings->m_nBitsPerChannel;
            for (size_t k = 0; k + 1 < row.size(); k += 2) {
                uint16_t v = (uint16_t)((row[k + 1] << 8 | row[k]) >> shift);
                row[k] = (uint8_t)v;
                row[k + 1] = (uint8_t)(v >> 8);
            }
        }
        uint8_t* out = buffer + i * bytesPerLine;
        if (row.size() == bytesPerLine) {
            memcpy(out, row.data(), bytesPerLine);
            continue;
        }
        uint32_t sampleBytes = bits / 8;
        uint32_t pixels = (uint32_t)window.pixelsPerLine;
        for (uint32_t x = 0; x < pixels; ++x)
            memcpy(out + x * sampleBytes, row.data() + (x * 3 + m_nPass) * sampleBytes, sampleBytes);
    }
    m_nLine += lines;
    return kDriverOk;
}

uint32_t CChartDriver::PostProcessLines(uint8_t*, uint32_t lines, CScanSettings*, int32_t* status)
{
    *status = 0;
    return m_bNeverDelivers ? 0 : lines;
}

std::vector<uint8_t> ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void SetAll(CScanSettings& settings, uint16_t id, int32_t value)
{
    for (int t = 0; t < kImageTypeCount; ++t)
        settings.Slot().m_nParams[t][id] = value;
}

void SetChartScan(
    CScanSettings& settings, int32_t type, int32_t bits, int32_t rotation, int32_t mirror, int32_t resolution)
{
    SetAll(settings, kParamImageType, type);
    SetAll(settings, kParamResolution, resolution);
    SetAll(settings, kParamScale, 100);
    SetAll(settings, kParamSelLeft, 0);
    SetAll(settings, kParamSelTop, 0);
    SetAll(settings, kParamSelRight, 21590);
    SetAll(settings, kParamSelBottom, 29718);
    SetAll(settings, kParamBitsPerChannel, type == kImageLineArt ? 1 : bits);
    SetAll(settings, kParamChannels, type == kImageRgb ? 3 : 1);
    SetAll(settings, kParamBinary, type == kImageLineArt ? 1 : 0);
    SetAll(settings, kParamRotation, rotation);
    SetAll(settings, kParamMirror, mirror);
    SetAll(settings, kParamColourRoute, 0);
    SetAll(settings, kParamScreenRuling, 0);
    SetAll(settings, kParamSharpness, 0);
    SetAll(settings, kParamOriginal, 0);
}

void Speckle(const CChartWindow& window, int line, uint8_t* row)
{
    size_t bytes = CTestChart::BytesPerLine(window);
    uint32_t tailBits = (uint32_t)(window.pixelsPerLine * window.channels * window.bitsPerSample) % 8;
    for (size_t k = 0; k < bytes; ++k) {
        uint32_t h = (uint32_t)line * 0x9E3779B1u ^ (uint32_t)k * 0x85EBCA77u;
        h ^= h >> 15;
        uint8_t flips = (uint8_t)(h * 0x2C1B3C6Du >> 24);
        // Pixels fill a byte from its top bit.
        if (k + 1 == bytes && tailBits != 0)
            flips &= (uint8_t)(0xFF << (8 - tailBits));
        row[k] ^= flips;
    }
}

CExpectedImage ExpectedImage(const CChartWindow& window, int rotation, int mirror, bool speckled)
{
    std::vector<uint8_t> device = CTestChart::Render(window);
    size_t rowBytes = CTestChart::BytesPerLine(window);
    for (int line = 0; speckled && line < window.lines; ++line)
        Speckle(window, line, device.data() + rowBytes * (size_t)line);
    uint32_t w = (uint32_t)window.pixelsPerLine;
    uint32_t h = (uint32_t)window.lines;
    uint32_t pixelBytes = window.bitsPerSample == 1 ? 1 : (uint32_t)(window.channels * window.bitsPerSample / 8);
    bool sideways = rotation == 90 || rotation == 270;
    CExpectedImage image;
    image.width = sideways ? h : w;
    image.height = sideways ? w : h;
    image.pixelBytes = pixelBytes;
    image.pixels.assign((size_t)image.width * image.height * pixelBytes, 0);
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) {
            uint32_t mx = (mirror & 2) ? w - 1 - x : x;
            uint32_t my = (mirror & 1) ? h - 1 - y : y;
            uint32_t ox = mx, oy = my;
            if (rotation == 90) { ox = h - 1 - my; oy = mx; }
            if (rotation == 180) { ox = w - 1 - mx; oy = h - 1 - my; }
            if (rotation == 270) { ox = my; oy = w - 1 - mx; }
            uint8_t* target = &image.pixels[((size_t)oy * image.width + ox) * pixelBytes];
            const uint8_t* row = device.data() + y * rowBytes;
            if (window.bitsPerSample == 1)
                *target = (row[x / 8] >> (7 - x % 8)) & 1;
            else
                memcpy(target, row + x * pixelBytes, pixelBytes);
        }
    }
    return image;
}

CExpectedImage RepeatEdges(const CExpectedImage& image, uint32_t width, uint32_t height)
{
    CExpectedImage out;
    out.width = width;
    out.height = height;
    out.pixelBytes = image.pixelBytes;
    out.pixels.resize((size_t)width * height * image.pixelBytes);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x)
            memcpy(&out.pixels[((size_t)y * width + x) * out.pixelBytes],
                   image.At(std::min(x, image.width - 1), std::min(y, image.height - 1)), out.pixelBytes);
    return out;
}
