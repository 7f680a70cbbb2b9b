#pragma once

// The automatic levels of a settings record, measured on the preview: the preview renderer calls
// AutoLevels before it draws whenever the levels are dirty or not yet known, and clears the record's
// levels-dirty flag afterwards.

#include <windows.h>

#include <cstdint>

class CScanSettings;

// bits and header describe the preview bitmap (8 or 24 bits, bottom-up); left, top, right and
// bottom are the preview's area in the selection's coordinates, in halves of the selection unit.
// Stores ids 124-137 from the selection's part of the preview (through the current driver),
// fills the record's colour-correction block and, for a negative with a film type, has the colour
// engine set ids 68-73. Engine failures are reported (3512) and leave 68-73 as they were.
void AutoLevels(CScanSettings& settings, const uint8_t* bits, const BITMAPINFOHEADER& header, int32_t left,
                int32_t top, int32_t right, int32_t bottom);
