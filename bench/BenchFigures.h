#pragma once

// What every benchmark case shares: the clock, the limits, the rounds of runs and the checks of an
// output file.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

inline constexpr double kMegabyte = 1e6;
inline constexpr double kMemoryLimitMb = 64;
// Every figure is the median of this many rounds. A round runs a case and its yardstick back to
// back, so that both see the same load; the ratio of each round is taken before the median.
inline constexpr int kRounds = 5;
inline constexpr int kExitMissed = 1;
inline constexpr int kExitFailed = 2;

// Seconds on the performance counter.
double Seconds();
// The output image's size as the BMP header states it; false when the file is not whole.
bool BmpSize(const std::string& path, uint32_t& width, uint32_t& height);
// -1 when there is no such file.
int64_t FileBytes(const std::string& path);
double Median(std::vector<double> values);

// One step of a round: its wall time (negative when it failed) and the virtual device's part of it.
struct CTimed {
    double seconds = -1;
    double deviceSeconds = 0;
};
using CRound = std::vector<CTimed>;

// kRounds rounds, each running the steps in the order given. A failing step ends the series, so
// fewer rounds come back.
std::vector<CRound> RunRounds(const std::vector<std::function<CTimed()>>& steps);

// The median over the rounds of one figure of each round.
template <class Figure> double MedianOver(const std::vector<CRound>& rounds, Figure figure)
{
    std::vector<double> values;
    for (const CRound& round : rounds)
        values.push_back(figure(round));
    return Median(values);
}

// The yardstick of every file a case writes, the most a plain program does with the same bytes: a
// new file at path written in blocks of 1 MiB and closed. The file it replaces is removed before
// the clock starts.
CTimed PlainWrite(const std::string& path, int64_t bytes);
