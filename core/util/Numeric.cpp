#include "core/util/Numeric.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

// Absorbs the binary rounding of the logarithms, so that an exact result (Dmin at level 255, 100 %
// at Dmin) is not truncated to the integer below.
constexpr double kTruncationSlack = 1e-7;

// The densest value the conversions produce, for a dot area of 100 % or an opaque original.
constexpr uint32_t kMaxDensity = 4000;

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return 0;
}

}  // namespace

int32_t ScaleRound(double a, double b, double c, int truncate)
{
    if (c == 0)
        c = 1;
    const double magnitude = std::fabs(a * b / c);
    return (int32_t)(truncate ? std::trunc(magnitude) : std::floor(magnitude + 0.5));
}

void SwapShorts(int16_t& first, int16_t& second)
{
    const int16_t kept = first;
    first = second;
    second = kept;
}

uint32_t DensityToDotArea(uint32_t density)
{
    const double transmitted = std::trunc(10000.0 * std::pow(10.0, -(double)density / 1000.0));
    return transmitted > 10000.0 ? 0 : (uint32_t)(10000.0 - transmitted);
}

uint32_t DotAreaToDensity(uint32_t dotArea)
{
    const uint32_t remaining = dotArea > 10000 ? 0 : 10000 - dotArea;
    if (remaining == 0)
        return kMaxDensity;
    return (uint32_t)std::floor(std::fabs(std::log10(remaining / 10000.0)) * 1000.0);
}

uint32_t DensityToOpacityPercent(uint32_t density)
{
    return (uint32_t)std::floor(100.0 / std::pow(10.0, -(double)density / 1000.0) + 0.49);
}

uint32_t OpacityPercentToDensity(uint32_t opacity)
{
    if (opacity == 0)
        return kMaxDensity;
    return (uint32_t)std::floor(std::fabs(std::log10(100.0 / opacity)) * 1000.0);
}

int32_t DensityToRangePercent(int32_t density, int32_t minDensity, int32_t maxDensity, int32_t exponent)
{
    if (maxDensity == minDensity || exponent == 0)
        return density <= minDensity ? 100 : 0;
    const double gamma = exponent / 10.0;
    const double part = std::pow(10.0, (maxDensity - density) / 1000.0 / gamma) - 1.0;
    const double whole = std::pow(10.0, (maxDensity - minDensity) / 1000.0 / gamma) - 1.0;
    return (int32_t)std::trunc(100.0 * part / whole + kTruncationSlack);
}

int32_t LevelToDensity(int32_t level, int32_t minDensity, int32_t maxDensity, int32_t exponent)
{
    if (exponent == 0)
        return level == 0 ? maxDensity : minDensity;
    const double gamma = exponent / 10.0;
    const double range = std::pow(10.0, (maxDensity - minDensity) / 1000.0 / gamma) - 1.0;
    const double density = maxDensity / 1000.0 - gamma * std::log10(range * level / 255.0 + 1.0);
    return (int32_t)std::trunc(1000.0 * density + kTruncationSlack);
}

int32_t LevelToPercent(int32_t level)
{
    return ScaleRound(level, 100, 254, 0);
}

int HexEncode(const uint8_t* bytes, uint16_t count, char* text)
{
    static const char kDigits[] = "0123456789ABCDEF";
    for (uint16_t i = 0; i < count; ++i) {
        text[2 * i] = kDigits[bytes[i] >> 4];
        text[2 * i + 1] = kDigits[bytes[i] & 0x0F];
    }
    text[2 * count] = '\0';
    return 2 * count;
}

void HexDecode(uint8_t* bytes, uint16_t count, const char* text)
{
    const size_t length = std::strlen(text);
    if (length / 2 < count)
        std::memset(bytes, 0, count);
    for (size_t i = 0; i < count && 2 * i + 1 < length; ++i)
        bytes[i] = (uint8_t)(16 * HexValue(text[2 * i]) + HexValue(text[2 * i + 1]));
}

CString FormatNumber(double value, int decimals)
{
    if (decimals < 0)
        decimals = 0;
    uint64_t scale = 1;
    for (int i = 0; i < decimals; ++i)
        scale *= 10;
    // Halves round away from zero, as the displayed limits of the dialogs expect (1.25 -> 1.3).
    const uint64_t rounded = (uint64_t)std::floor(std::fabs(value) * (double)scale + 0.5);
    const bool negative = value < 0 && rounded != 0;
    char text[64];
    if (decimals == 0)
        std::snprintf(text, sizeof text, "%s%llu", negative ? "-" : "", (unsigned long long)rounded);
    else
        std::snprintf(text, sizeof text, "%s%llu.%0*llu", negative ? "-" : "",
                      (unsigned long long)(rounded / scale), decimals,
                      (unsigned long long)(rounded % scale));
    return CString(text);
}
