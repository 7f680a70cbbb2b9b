#pragma once

// One hole of a film holder in a driver class's static holder table; the record whose holder width
// is 0 ends the table. Lengths in 1/100 mm.

#include <cstdint>

struct HoleRecord {
    uint16_t m_nHole;           // 1, 2, 3, ... through the whole table: the value of settings id 104
    uint16_t m_nHolder;         // holder index 0, 1, 2, ...
    uint16_t m_nHolderWidth;
    uint16_t m_nHolderHeight;
    uint16_t m_nCentreX;        // from the holder's left and top edge
    uint16_t m_nCentreY;
    uint16_t m_nRadius;         // of a round hole
    uint32_t m_nFormatMask;     // film formats the hole takes
    uint32_t m_nOrientation;
    uint32_t m_bRound;
    uint16_t m_nHoleWidth;      // of a rectangular hole
    uint16_t m_nHoleHeight;
};
