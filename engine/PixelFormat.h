#pragma once

// An image descriptor read as Little CMS sees pixels: the format word of the colour channels and
// their padding, and the geometry of the rectangle.

#include <lcms2.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/cms/CmsEngine.h"

struct CPixelLayout {
    uint8_t* base = nullptr;
    cmsUInt32Number format = 0;
    int colourType = 0;  // PT_GRAY, PT_RGB or PT_CMYK
    int channels = 0;
    int bits = 0;  // significant bits per sample: 8, or 9 to 16 in 16-bit words
    int sampleBytes = 0;
    int pixelStep = 0;  // bytes
    int rowStep = 0;  // bytes, negative for rows stored bottom up
    int width = 0;
    int height = 0;
    int offsets[4] = {};  // byte offset of each colour channel within a pixel

    // Bytes from a row's first byte to just after its last sample.
    size_t RowSpan() const;
    bool SameLayout(const CPixelLayout& other) const;
    // True when the bytes the two rectangles span share any byte.
    bool Overlaps(const CPixelLayout& other) const;
};

// True and the layout filled; false with the reason (for the caller's code 2) in why.
bool ReadPixelLayout(const CCmsImageDesc& desc, CPixelLayout& layout, std::string& why);

// The format word of a colour space at 16 bits per sample, channels only.
cmsUInt32Number PlainFormat16(cmsColorSpaceSignature space);
