#pragma once

// The two logical palettes of the preview on palette displays.

#include <cstdint>

class CPalette;

constexpr uint16_t kPaletteBuilt = 0;
constexpr uint16_t kPaletteNoMemory = 1;
constexpr uint16_t kPaletteRefused = 2;

// 216 entries: the same 6 x 6 x 6 cube as the colour table of a 24-bit bitmap; step := 51.
uint16_t BuildCubePalette(CPalette& palette, int& step);
// 128 greys 0, 2, ..., 254; step := 2.
uint16_t BuildGreyPalette(CPalette& palette, int& step);
