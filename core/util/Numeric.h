#pragma once

// Unit conversions shared by the settings, the drivers, the views and the dialogs. Densities are in
// thousandths of a density unit, dot areas in hundredths of a per cent, opacities in per cent,
// levels 0..255 and curve exponents in tenths (18 = 1.8).

#include "framework/String.h"

#include <cstdint>

// |a x b / c| as an integer; c = 0 counts as 1. Rounded half up unless truncate is set.
int32_t ScaleRound(double a, double b, double c, int truncate);

void SwapShorts(int16_t& first, int16_t& second);

uint32_t DensityToDotArea(uint32_t density);
uint32_t DotAreaToDensity(uint32_t dotArea);
uint32_t DensityToOpacityPercent(uint32_t density);
// An opacity of 0 (no light passes) gives 4000, the densest value the program uses.
uint32_t OpacityPercentToDensity(uint32_t opacity);

// The two directions of one tone curve over the density range [minDensity, maxDensity] with the
// exponent in tenths. An empty range or an exponent of 0 has no curve: the range percent is then
// 100 at or below minDensity and 0 above it, and every level maps to minDensity.
int32_t DensityToRangePercent(int32_t density, int32_t minDensity, int32_t maxDensity, int32_t exponent);
int32_t LevelToDensity(int32_t level, int32_t minDensity, int32_t maxDensity, int32_t exponent);

// Divisor 254, so that both 254 and 255 read as 100 %.
int32_t LevelToPercent(int32_t level);

// Writes 2 x count upper-case digits and a terminating zero (text needs 2 x count + 1 bytes);
// returns the number of digits written.
int HexEncode(const uint8_t* bytes, uint16_t count, char* text);
// Reads up to count digit pairs; bytes the text does not reach are 0. A character that is not a hex
// digit counts as 0, and a last digit without a partner is ignored.
void HexDecode(uint8_t* bytes, uint16_t count, const char* text);

// Fixed-point text with the given count of decimals: "12", "1.3", "0.05", "-0.5".
CString FormatNumber(double value, int decimals);
