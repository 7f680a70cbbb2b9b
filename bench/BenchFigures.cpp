#include "bench/BenchFigures.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>

namespace {

constexpr DWORD kPlainBlock = 1u << 20;

}  // namespace

double Seconds()
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return (double)now.QuadPart / (double)frequency.QuadPart;
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

int64_t FileBytes(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return (int64_t)data.nFileSizeHigh << 32 | data.nFileSizeLow;
}

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

std::vector<CRound> RunRounds(const std::vector<std::function<CTimed()>>& steps)
{
    std::vector<CRound> rounds;
    for (int r = 0; r < kRounds; ++r) {
        CRound round;
        for (const std::function<CTimed()>& step : steps) {
            round.push_back(step());
            if (round.back().seconds < 0)
                return rounds;
        }
        rounds.push_back(round);
    }
    return rounds;
}

CTimed PlainWrite(const std::string& path, int64_t bytes)
{
    // Not zeros: no layer below may take the block for a hole.
    std::vector<uint8_t> block(kPlainBlock);
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = uint8_t(i * 7 + 1);
    DeleteFileA(path.c_str());
    CTimed timed;
    double start = Seconds();
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return timed;
    int64_t left = bytes;
    DWORD put = 0;
    while (left > 0 && WriteFile(file, block.data(), (DWORD)std::min<int64_t>(left, kPlainBlock), &put, nullptr) &&
        put > 0)
        left -= put;
    bool closed = CloseHandle(file) != 0;
    if (left == 0 && closed)
        timed.seconds = Seconds() - start;
    return timed;
}
