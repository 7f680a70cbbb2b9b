#include "engine/PixelFormat.h"

#include <algorithm>

namespace {

struct CLayoutCode {
    int32_t code;
    int colourType;
    int channels;
};

constexpr CLayoutCode kLayouts[] = {
    {kCmsSpaceGrey, PT_GRAY, 1},
    {kCmsSpaceRgb, PT_RGB, 3},
    {kCmsSpaceCmyk, PT_CMYK, 4},
};

// The Little CMS order bits for channel offsets in sample units, with extra samples (padding, or
// an alpha the transform leaves alone) before or after the colour channels. Little CMS puts the
// padding first exactly when one of DOSWAP and SWAPFIRST is set. False for any other order.
bool OrderFlags(const int* slots, int channels, int extra, cmsUInt32Number& flags)
{
    auto matches = [&](int first, int direction) {
        for (int c = 0; c < channels; ++c)
            if (slots[c] != first + direction * c)
                return false;
        return true;
    };
    if (matches(0, 1)) {
        flags = 0;
        return true;
    }
    if (extra > 0 && matches(extra, 1)) {
        flags = SWAPFIRST_SH(1);
        return true;
    }
    if (matches(channels - 1, -1)) {
        flags = DOSWAP_SH(1) | SWAPFIRST_SH(extra > 0 ? 1 : 0);
        return true;
    }
    if (extra > 0 && matches(extra + channels - 1, -1)) {
        flags = DOSWAP_SH(1);
        return true;
    }
    return false;
}

int64_t FirstByte(const CPixelLayout& l)
{
    return reinterpret_cast<intptr_t>(l.base) + std::min<int64_t>(0, int64_t(l.rowStep) * (l.height - 1));
}

int64_t EndByte(const CPixelLayout& l)
{
    return reinterpret_cast<intptr_t>(l.base) + std::max<int64_t>(0, int64_t(l.rowStep) * (l.height - 1)) +
        static_cast<int64_t>(l.RowSpan());
}

}  // namespace

size_t CPixelLayout::RowSpan() const
{
    int end = *std::max_element(offsets, offsets + channels) + sampleBytes;
    return static_cast<size_t>(width - 1) * pixelStep + end;
}

bool CPixelLayout::SameLayout(const CPixelLayout& other) const
{
    return base == other.base && format == other.format && bits == other.bits && pixelStep == other.pixelStep &&
        rowStep == other.rowStep;
}

bool CPixelLayout::Overlaps(const CPixelLayout& other) const
{
    return FirstByte(*this) < EndByte(other) && FirstByte(other) < EndByte(*this);
}

bool ReadPixelLayout(const CCmsImageDesc& desc, CPixelLayout& layout, std::string& why)
{
    const CLayoutCode* code = std::find_if(
        std::begin(kLayouts), std::end(kLayouts), [&](const CLayoutCode& l) { return l.code == desc.layout; });
    if (code == std::end(kLayouts)) {
        why = "layout code not grey, RGB or CMYK";
        return false;
    }
    if (desc.channelCount != code->channels) {
        why = "channel count does not match the layout";
        return false;
    }
    const CmsChannelDesc& first = desc.channels[0];
    layout = CPixelLayout();
    layout.base = first.data;
    layout.colourType = code->colourType;
    layout.channels = code->channels;
    layout.bits = first.bitsPerSample;
    layout.sampleBytes = layout.bits > 8 ? 2 : 1;
    layout.pixelStep = first.pixelStep;
    layout.rowStep = first.rowStep;
    layout.width = desc.width;
    layout.height = desc.height;
    if (layout.base == nullptr) {
        why = "no pixel data";
        return false;
    }
    if (layout.bits != 8 && (layout.bits < 9 || layout.bits > 16)) {
        why = "bits per sample not 8 or 9 to 16";
        return false;
    }
    if (layout.width <= 0 || layout.height < 0) {
        why = "empty or negative rectangle";
        return false;
    }
    int samples = layout.pixelStep / layout.sampleBytes;
    int extra = samples - layout.channels;
    if (layout.pixelStep % layout.sampleBytes != 0 || extra < 0 || extra > 7) {
        why = "pixel step does not fit the channels";
        return false;
    }
    int slots[4];
    for (int c = 0; c < layout.channels; ++c) {
        layout.offsets[c] = desc.channelOffset[c];
        slots[c] = desc.channelOffset[c] / layout.sampleBytes;
        if (desc.channelOffset[c] % layout.sampleBytes != 0) {
            why = "channel offset inside a sample";
            return false;
        }
    }
    cmsUInt32Number order = 0;
    if (!OrderFlags(slots, layout.channels, extra, order)) {
        why = "channel offsets in an order the engine does not take";
        return false;
    }
    if (layout.height > 1 && std::abs(int64_t(layout.rowStep)) < static_cast<int64_t>(layout.RowSpan())) {
        why = "row step shorter than a row";
        return false;
    }
    layout.format = COLORSPACE_SH(layout.colourType) | CHANNELS_SH(layout.channels) | BYTES_SH(layout.sampleBytes) |
        EXTRA_SH(extra) | order;
    return true;
}

cmsUInt32Number PlainFormat16(cmsColorSpaceSignature space)
{
    return COLORSPACE_SH(_cmsLCMScolorSpace(space)) | CHANNELS_SH(cmsChannelsOf(space)) | BYTES_SH(2);
}
