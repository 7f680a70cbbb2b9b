#include "engine/ImageAccess.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>

#include "engine/EngineError.h"

int SamplesPerPixel(int32_t layout)
{
    switch (layout) {
    case kCmsSpaceBitmap:
    case kCmsSpaceGrey:
        return 1;
    case kCmsSpaceRgb:
        return 3;
    case kCmsSpaceCmyk:
        return 4;
    default:
        return 0;
    }
}

int CImageAccess::ReadFormat(const CCmsImageDesc& desc, const char* which, CEngineError& error)
{
    m_nSamples = SamplesPerPixel(desc.layout);
    if (m_nSamples == 0)
        return error.Fail(kCmsErrArgument, "%s: layout 0x%X", which, static_cast<unsigned>(desc.layout));
    m_nBits = desc.channels[0].bitsPerSample;
    bool bitmap = desc.layout == kCmsSpaceBitmap;
    bool bitsFit = bitmap ? m_nBits == 1 : m_nBits == 8 || (m_nBits >= 9 && m_nBits <= 16);
    if (!bitsFit)
        return error.Fail(kCmsErrArgument, "%s: %d bits per sample in layout 0x%X", which, m_nBits,
            static_cast<unsigned>(desc.layout));
    return 0;
}

int CImageAccess::Open(const CCmsImageDesc& desc, int width, const char* which, CEngineError& error)
{
    if (ReadFormat(desc, which, error) != 0)
        return 1;
    const CmsChannelDesc& channel = desc.channels[0];
    m_pBase = channel.data;
    m_nWidth = width;
    m_nPixelStep = channel.pixelStep;
    m_nRowStep = channel.rowStep;
    if (m_pBase == nullptr)
        return error.Fail(kCmsErrArgument, "%s: no data", which);
    int64_t lineBytes = (static_cast<int64_t>(width) + 7) / 8;
    if (m_nBits > 1) {
        int sampleBytes = m_nBits == 8 ? 1 : 2;
        int lastOffset = 0;
        for (int c = 0; c < m_nSamples; ++c) {
            m_nOffsets[c] = desc.channelOffset[c];
            if (m_nOffsets[c] < 0 || m_nOffsets[c] + sampleBytes > m_nPixelStep)
                return error.Fail(kCmsErrArgument, "%s: channel %d at byte %d of a %d-byte pixel", which, c,
                    m_nOffsets[c], m_nPixelStep);
            lastOffset = std::max(lastOffset, m_nOffsets[c]);
        }
        lineBytes = (static_cast<int64_t>(width) - 1) * m_nPixelStep + lastOffset + sampleBytes;
    }
    if (std::llabs(m_nRowStep) < lineBytes)
        return error.Fail(kCmsErrArgument, "%s: row step %d for lines of %lld bytes", which, m_nRowStep,
            static_cast<long long>(lineBytes));
    return 0;
}

void CImageAccess::ReadLine(int row, float* samples) const
{
    const uint8_t* pixel = m_pBase + static_cast<ptrdiff_t>(row) * m_nRowStep;
    if (m_nBits == 8) {
        for (int x = 0; x < m_nWidth; ++x, pixel += m_nPixelStep)
            for (int c = 0; c < m_nSamples; ++c)
                *samples++ = pixel[m_nOffsets[c]];
        return;
    }
    const float toLevel = 255.0f / static_cast<float>((1 << m_nBits) - 1);
    for (int x = 0; x < m_nWidth; ++x, pixel += m_nPixelStep) {
        for (int c = 0; c < m_nSamples; ++c) {
            const uint8_t* word = pixel + m_nOffsets[c];
            *samples++ = static_cast<float>(word[0] | (word[1] << 8)) * toLevel;
        }
    }
}

void CImageAccess::WriteLine(int row, const float* samples) const
{
    uint8_t* pixel = m_pBase + static_cast<ptrdiff_t>(row) * m_nRowStep;
    if (m_nBits == 1) {
        std::fill(pixel, pixel + (m_nWidth + 7) / 8, uint8_t {0});
        for (int x = 0; x < m_nWidth; ++x)
            if (samples[x] < 128.0f)
                pixel[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
        return;
    }
    if (m_nBits == 8) {
        for (int x = 0; x < m_nWidth; ++x, pixel += m_nPixelStep)
            for (int c = 0; c < m_nSamples; ++c)
                pixel[m_nOffsets[c]] = static_cast<uint8_t>(std::clamp(*samples++, 0.0f, 255.0f) + 0.5f);
        return;
    }
    const float maximum = static_cast<float>((1 << m_nBits) - 1);
    const float fromLevel = maximum / 255.0f;
    for (int x = 0; x < m_nWidth; ++x, pixel += m_nPixelStep) {
        for (int c = 0; c < m_nSamples; ++c) {
            auto word = static_cast<uint16_t>(std::clamp(*samples++ * fromLevel, 0.0f, maximum) + 0.5f);
            pixel[m_nOffsets[c]] = static_cast<uint8_t>(word & 0xFF);
            pixel[m_nOffsets[c] + 1] = static_cast<uint8_t>(word >> 8);
        }
    }
}
