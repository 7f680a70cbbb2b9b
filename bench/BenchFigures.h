#pragma once

// What every benchmark case shares: the clock, the limits and the checks of an output file.

#include <cstdint>
#include <string>

inline constexpr double kMegabyte = 1e6;
inline constexpr double kMemoryLimitMb = 64;
// Each figure is the best of this many runs: the machine may be busy with other work.
inline constexpr int kRuns = 3;
inline constexpr int kExitMissed = 1;
inline constexpr int kExitFailed = 2;

// Seconds on the performance counter.
double Seconds();
// "met" or "NOT MET".
const char* Verdict(bool met);
// The output image's size as the BMP header states it; false when the file is not whole.
bool BmpSize(const std::string& path, uint32_t& width, uint32_t& height);
