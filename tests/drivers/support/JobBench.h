#pragma once

// What the family job tests share: a family bench whose scans run through the scan job into one
// output file beside the test program, removed before and after each case.

#include "core/scan/ScanJob.h"
#include "core/settings/ScanParams.h"
#include "sim/TestChart.h"
#include "tests/support/Screenshot.h"

#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// A little-endian 32-bit field of a file, as a BMP header holds it.
inline uint32_t Get32(const std::vector<uint8_t>& f, size_t at)
{
    return f[at] | (f[at + 1] << 8) | (f[at + 2] << 16) | (uint32_t(f[at + 3]) << 24);
}

// The sample at (x, y) from the top of an 8-, 24- or 1-bit BMP file, channel c (R, G, B) or the
// grey level; line art as 0 black and 255 white through the palette.
inline int FilePixel(const std::vector<uint8_t>& file, uint32_t x, uint32_t y, int channel)
{
    uint32_t offset = Get32(file, 10);
    uint32_t width = Get32(file, 18);
    uint32_t height = Get32(file, 22);
    uint16_t bits = uint16_t(file[28] | (file[29] << 8));
    uint32_t stride = (width * bits + 31) / 32 * 4;
    const uint8_t* row = &file[offset + (height - 1 - y) * stride];
    if (bits == 1)
        return file[54 + 4 * ((row[x / 8] >> (7 - x % 8)) & 1)];
    return bits == 8 ? row[x] : row[3 * x + 2 - channel];
}

// The largest difference of a sample of an 8- or 24-bit BMP file (rows bottom-up, colour pixels
// blue first) from the chart the device rendered; -1 when the file is not whole or the chart does
// not cover it.
inline int WorstDifferenceFromChart(const std::vector<uint8_t>& file, const CChartWindow& chart)
{
    if (file.size() < 62 || file[0] != 'B')
        return -1;
    const uint32_t bitCount = uint32_t(file[28] | (file[29] << 8));
    const uint32_t offset = Get32(file, 10), width = Get32(file, 18), height = Get32(file, 22);
    const uint32_t stride = (width * bitCount + 31) / 32 * 4;
    if ((bitCount != 8 && bitCount != 24) || offset + size_t(stride) * height != file.size() ||
        uint32_t(chart.pixelsPerLine) < width || uint32_t(chart.lines) < height)
        return -1;
    const std::vector<uint8_t> device = CTestChart::Render(chart);
    const size_t rowBytes = CTestChart::BytesPerLine(chart);
    int worst = 0;
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* row = &file[offset + (height - 1 - y) * stride];
        const uint8_t* want = &device[y * rowBytes];
        for (uint32_t x = 0; x < width; ++x) {
            if (bitCount == 8) {
                worst = std::max(worst, std::abs(int(row[x]) - int(want[x])));
                continue;
            }
            for (int ch = 0; ch < 3; ++ch)
                worst = std::max(worst, std::abs(int(row[3 * x + ch]) - int(want[3 * x + 2 - ch])));
        }
    }
    return worst;
}

template <class TBench>
class JobBench : public TBench {
protected:
    explicit JobBench(const char* fileName) : m_strFileName(fileName) {}

    void SetUp() override
    {
        TBench::SetUp();
        m_strPath = testsupport::ProgramDirectory() + m_strFileName;
        DeleteFileA(m_strPath.c_str());
    }
    void TearDown() override
    {
        DeleteFileA(m_strPath.c_str());
        TBench::TearDown();
    }

    // The selection of a job case at full scale, on the original of kind original; the job gives the
    // file its extension.
    void SelectForJob(int32_t type, int32_t resolution, int32_t original, int32_t left, int32_t top, int32_t width,
                      int32_t height)
    {
        this->SetIni("General", "File extension", "1");
        this->Select(type, resolution, left, top, width, height);
        this->m_Settings.SetParamAllTypes(kParamScale, 100);
        this->m_Settings.SetParam(kParamOriginal, original);
    }

    // The scan job's result for a whole scan of the current settings into the output file.
    uint16_t ScanToFile()
    {
        CScanJob job(&this->m_Settings, nullptr);
        uint16_t result = job.ScanToFile(m_strPath.c_str());
        job.EndScan();
        return result;
    }
    std::vector<uint8_t> ReadOutput() const
    {
        std::ifstream in(m_strPath, std::ios::binary);
        return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }

    std::string m_strPath;

private:
    std::string m_strFileName;
};
