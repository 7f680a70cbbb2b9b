#include "core/util/Palettes.h"

#include "core/util/GlobalBlock.h"
#include "framework/Gdi.h"

#include <windows.h>

namespace {

constexpr int kCubeStep = 51;
constexpr int kGreyStep = 2;
constexpr int kCubeEntries = 216;
constexpr int kGreyEntries = 128;

typedef void (*EntryFiller)(PALETTEENTRY* entries);

void FillCube(PALETTEENTRY* entries)
{
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b)
                entries[36 * r + 6 * g + b] =
                    PALETTEENTRY {(BYTE)(kCubeStep * r), (BYTE)(kCubeStep * g), (BYTE)(kCubeStep * b), 0};
}

void FillGrey(PALETTEENTRY* entries)
{
    for (int i = 0; i < kGreyEntries; ++i) {
        const BYTE grey = (BYTE)(kGreyStep * i);
        entries[i] = PALETTEENTRY {grey, grey, grey, 0};
    }
}

uint16_t BuildPalette(CPalette& palette, int count, EntryFiller fill)
{
    const SIZE_T size = sizeof(LOGPALETTE) + (count - 1) * sizeof(PALETTEENTRY);
    CScopedBlock block((uint32_t)size, GMEM_MOVEABLE | GMEM_ZEROINIT);
    LOGPALETTE* description = static_cast<LOGPALETTE*>(block.Data());
    if (!description)
        return kPaletteNoMemory;
    description->palVersion = 0x300;
    description->palNumEntries = (WORD)count;
    fill(description->palPalEntry);
    return palette.CreatePalette(description) ? kPaletteBuilt : kPaletteRefused;
}

}  // namespace

uint16_t BuildCubePalette(CPalette& palette, int& step)
{
    step = kCubeStep;
    return BuildPalette(palette, kCubeEntries, FillCube);
}

uint16_t BuildGreyPalette(CPalette& palette, int& step)
{
    step = kGreyStep;
    return BuildPalette(palette, kGreyEntries, FillGrey);
}
