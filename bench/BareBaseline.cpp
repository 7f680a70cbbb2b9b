// The yardstick of the batch benchmark: a bare windowed Windows program, built and started like
// brelvane.exe, that does the least a scan program must. Like every windowed program it links the
// window manager's library (it says how it is used in a message box), whose loading it pays at start.
//   --stamp FILE            writes the system time to FILE as soon as its own code runs (as the
//                           virtual bus writes the time of a program's first SCSI command) and ends
//   --chart FILE MM PPI     writes the chart's top-left MM x MM at PPI in RGB as a BMP, rendering
//                           each kind of line once, as the virtual scanner does

#include "sim/TestChart.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

namespace {

unsigned long long Now()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return (unsigned long long)now.dwHighDateTime << 32 | now.dwLowDateTime;
}

int WriteStamp(const char* path, unsigned long long stamp)
{
    FILE* file = std::fopen(path, "w");
    if (file == nullptr)
        return 1;
    std::fprintf(file, "%llu\n", stamp);
    return std::fclose(file) == 0 ? 0 : 1;
}

void Put32(uint8_t* at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = uint8_t(value >> (8 * i));
}

// The header a scan's 24-bit BMP carries: the colour cube as a palette hint, the resolution.
std::vector<uint8_t> BmpHeader(uint32_t width, uint32_t height, uint32_t stride, int ppi)
{
    constexpr uint32_t kHeaderBytes = 54 + 1024;
    std::vector<uint8_t> header(kHeaderBytes, 0);
    header[0] = 'B';
    header[1] = 'M';
    Put32(&header[2], kHeaderBytes + stride * height);
    Put32(&header[10], kHeaderBytes);
    Put32(&header[14], 40);
    Put32(&header[18], width);
    Put32(&header[22], height);
    header[26] = 1;
    header[28] = 24;
    Put32(&header[34], stride * height);
    Put32(&header[38], uint32_t(ppi * 10000 / 254));
    Put32(&header[42], uint32_t(ppi * 10000 / 254));
    Put32(&header[46], 256);
    Put32(&header[50], 256);
    for (int entry = 0; entry < 216; ++entry) {
        uint8_t* e = &header[54 + 4 * entry];
        e[0] = uint8_t(entry % 6 * 51);
        e[1] = uint8_t(entry / 6 % 6 * 51);
        e[2] = uint8_t(entry / 36 * 51);
    }
    return header;
}

int WriteChart(const char* path, double millimetres, int ppi)
{
    CChartWindow window;
    window.xResolution = window.yResolution = ppi;
    window.pixelsPerLine = window.lines = int(millimetres * 100 * ppi / 2540);
    window.channels = 3;
    const uint32_t stride = (uint32_t(window.pixelsPerLine) * 3 + 3) & ~3u;
    FILE* file = std::fopen(path, "wb");
    if (file == nullptr)
        return 1;
    std::vector<uint8_t> header = BmpHeader(window.pixelsPerLine, window.lines, stride, ppi);
    std::fwrite(header.data(), 1, header.size(), file);
    std::map<int, std::vector<uint8_t>> rows;   // by line kind, in file order (BGR, padded)
    for (int line = window.lines - 1; line >= 0; --line) {
        std::vector<uint8_t>& row = rows[CTestChart::LineKind(window, line)];
        if (row.empty()) {
            row.assign(stride, 0);
            CTestChart::RenderLine(window, line, row.data());
            for (int x = 0; x < window.pixelsPerLine; ++x)
                std::swap(row[3 * x], row[3 * x + 2]);
        }
        std::fwrite(row.data(), 1, stride, file);
    }
    return std::fclose(file) == 0 ? 0 : 1;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    if (__argc == 3 && std::strcmp(__argv[1], "--stamp") == 0)
        return WriteStamp(__argv[2], Now());
    if (__argc == 5 && std::strcmp(__argv[1], "--chart") == 0)
        return WriteChart(__argv[2], std::atof(__argv[3]), std::atoi(__argv[4]));
    MessageBoxA(nullptr, "bare_baseline --stamp FILE | --chart FILE MM PPI", "bare_baseline", MB_OK);
    return 2;
}
