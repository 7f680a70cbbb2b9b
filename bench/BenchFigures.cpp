#include "bench/BenchFigures.h"

#include <windows.h>

#include <cstdio>

double Seconds()
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return (double)now.QuadPart / (double)frequency.QuadPart;
}

const char* Verdict(bool met)
{
    return met ? "met" : "NOT MET";
}

bool BmpSize(const std::string& path, uint32_t& width, uint32_t& height)
{
    FILE* f = fopen(path.c_str(), "rb");
    if (f == nullptr)
        return false;
    uint8_t header[54] = {};
    bool read = fread(header, 1, sizeof header, f) == sizeof header;
    fseek(f, 0, SEEK_END);
    long size = ftell(f);
    fclose(f);
    if (!read || header[0] != 'B' || header[1] != 'M')
        return false;
    auto get32 = [&](int at) {
        return header[at] | header[at + 1] << 8 | header[at + 2] << 16 | (uint32_t)header[at + 3] << 24;
    };
    width = get32(18);
    height = get32(22);
    uint32_t bitCount = header[28] | header[29] << 8;
    uint32_t stride = (width * bitCount + 31) / 32 * 4;
    return (uint64_t)size == get32(10) + (uint64_t)stride * height;
}
