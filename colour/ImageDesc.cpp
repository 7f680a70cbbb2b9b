#include "core/cms/CmsEngine.h"

#include "core/image/Dib.h"

#include <cstring>

int32_t CCmsImageDesc::SetGeometry(int32_t left, int32_t top, int32_t w, int32_t h)
{
    x = left;
    y = top;
    width = w;
    height = h;
    const CmsChannelDesc& channel = channels[0];
    int64_t bytes = channel.pixelStep != 0 ? (int64_t)w * channel.pixelStep
                                           : ((int64_t)w * channel.bitsPerSample + 7) / 8;
    channels[0].rowStep = (int32_t)bytes;
    return channels[0].rowStep;
}

void CCmsImageDesc::DescribeDib(const CDib& dib, uint8_t* bits)
{
    const int32_t bytesPerPixel = (int32_t)dib.m_nBitCount / 8;
    const int32_t w = dib.m_pHeader->biWidth;
    layout = dib.m_nColors != 0 ? kCmsSpaceGrey : kCmsSpaceRgb;
    reserved24 = 0;
    reserved424 = 0;
    channelCount = bytesPerPixel;
    memset(channels, 0, sizeof channels);
    memset(channelOffset, 0, sizeof channelOffset);
    // A bitmap keeps its pixels blue first: red, the first channel, is the last byte.
    for (int32_t c = 0; c < bytesPerPixel && c < 16; ++c)
        channelOffset[c] = bytesPerPixel - 1 - c;
    channels[0] = CmsChannelDesc{0, bits, 8, bytesPerPixel, 0};
    SetGeometry(0, 0, w, (int32_t)dib.m_nHeight);
    channels[0].rowStep = (int32_t)CDib::RowStride((uint32_t)w, dib.m_nBitCount);
}
