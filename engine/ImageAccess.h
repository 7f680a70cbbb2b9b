#pragma once

// Reading and writing the samples of lines an image descriptor points at. Lines go in and out as
// floats, the samples of each pixel one after the other, on levels 0..255 whatever the stored
// sample size, so that the steps work alike on 8 and 16-bit data.

#include <cstdint>

#include "core/cms/CmsEngine.h"

class CEngineError;

// Samples per pixel of a layout code, 0 for a layout the steps do not handle.
int SamplesPerPixel(int32_t layout);

class CImageAccess {
public:
    // Takes the layout and sample size of the descriptor, without its memory (sizing needs no
    // pixels). 0, or 1 with the error set; `which` names the descriptor in the text.
    int ReadFormat(const CCmsImageDesc& desc, const char* which, CEngineError& error);
    // Takes the format and the memory for lines of `width` pixels. 0, or 1 with the error set.
    int Open(const CCmsImageDesc& desc, int width, const char* which, CEngineError& error);

    int Samples() const { return m_nSamples; }
    int Bits() const { return m_nBits; }
    uint8_t* Base() const { return m_pBase; }

    void ReadLine(int row, float* samples) const;
    // Rounds and clips to the stored sample size; one-bit lines get bit 1 (black) below level 128.
    void WriteLine(int row, const float* samples) const;

private:
    uint8_t* m_pBase = nullptr;
    int m_nWidth = 0;
    int m_nSamples = 0;
    int m_nBits = 0;
    int m_nPixelStep = 0;
    int m_nRowStep = 0;
    int m_nOffsets[4] = {};
};
