#include "engine/TiffFile.h"

#include <windows.h>

#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "engine/EngineError.h"

namespace {

struct CTiffLayout {
    int32_t layout;
    int channels;
    uint16_t photometric;
};

// One bit per pixel comes from the device with 1 as black, hence min-is-white.
constexpr CTiffLayout kLayouts[] = {
    {kCmsSpaceBitmap, 1, PHOTOMETRIC_MINISWHITE},
    {kCmsSpaceGrey, 1, PHOTOMETRIC_MINISBLACK},
    {kCmsSpaceRgb, 3, PHOTOMETRIC_RGB},
    {kCmsSpaceCmyk, 4, PHOTOMETRIC_SEPARATED},
};

// Strip offsets of a classic TIFF are 32 bits; the rest is room for the directory and a profile.
constexpr uint64_t kMaxImageBytes = 0xFFFFFFFFull - 0x1000000ull;
constexpr uint64_t kStripBytes = 64 * 1024;

const CTiffLayout* FindLayout(int32_t layout)
{
    for (const CTiffLayout& entry : kLayouts)
        if (entry.layout == layout)
            return &entry;
    return nullptr;
}

// 9 to 16 significant bits arrive as 16-bit words and are stored as such.
int StoredBits(int32_t layout, int32_t bits)
{
    if (layout == kCmsSpaceBitmap)
        return bits == 1 ? 1 : 0;
    if (bits == 8)
        return 8;
    return bits >= 9 && bits <= 16 ? 16 : 0;
}

// The engine is a DLL inside a windowed program: libtiff's own reports would go to a console
// nobody sees, and every failure reaches the caller as an engine code anyway.
bool SilenceLibtiff()
{
    TIFFSetErrorHandler(nullptr);
    TIFFSetWarningHandler(nullptr);
    return true;
}

}  // namespace

uint64_t CTiffFormat::RowBytes() const
{
    if (bits == 1)
        return (uint64_t {width} + 7) / 8;
    return uint64_t {width} * static_cast<uint64_t>(channels) * static_cast<uint64_t>(bits / 8);
}

bool ReadTiffFormat(const CCmsImageDesc& desc, CTiffFormat& format)
{
    const CTiffLayout* layout = FindLayout(desc.layout);
    if (layout == nullptr || desc.channelCount != layout->channels || desc.imageWidth <= 0 || desc.imageHeight <= 0)
        return false;
    for (int c = 1; c < layout->channels; ++c)
        if (desc.channels[c].bitsPerSample != desc.channels[0].bitsPerSample)
            return false;
    format.layout = desc.layout;
    format.channels = layout->channels;
    format.bits = StoredBits(desc.layout, desc.channels[0].bitsPerSample);
    format.width = static_cast<uint32_t>(desc.imageWidth);
    format.height = static_cast<uint32_t>(desc.imageHeight);
    return format.bits != 0 && format.RowBytes() * format.height <= kMaxImageBytes;
}

CTiffFile::CTiffFile(std::string path, const CTiffFormat& format, const float resolution[2])
    : m_strPath(std::move(path)), m_format(format), m_resolution {resolution[0], resolution[1]}
{
}

CTiffFile::~CTiffFile()
{
    if (m_pTiff != nullptr)
        Discard();
}

int CTiffFile::Open(CEngineError& error)
{
    [[maybe_unused]] static const bool silenced = SilenceLibtiff();
    try {
        m_row.resize(m_format.RowBytes());
    } catch (const std::bad_alloc&) {
        return error.Fail(kCmsErrNoMemory, "CreateImageFile: a line of %llu bytes",
            static_cast<unsigned long long>(m_format.RowBytes()));
    }
    // "l": little-endian whatever the machine, so every build stores the same bytes.
    m_pTiff = TIFFOpen(m_strPath.c_str(), "wl");
    if (m_pTiff == nullptr)
        return error.Fail(kCmsErrWrite, "%s", m_strPath.c_str());
    return 0;
}

int CTiffFile::CheckBlock(const CCmsImageDesc& desc, CEngineError& error) const
{
    CTiffFormat format;
    if (!ReadTiffFormat(desc, format) || !(format == m_format) || desc.width != desc.imageWidth)
        return error.Fail(kCmsErrArgument,
            "WriteImageBlock: a block of layout 0x%X and width %d that is not the file's",
            static_cast<unsigned>(desc.layout), desc.width);
    if (desc.height <= 0 || static_cast<uint32_t>(desc.height) > m_format.height - m_nLines)
        return error.Fail(
            kCmsErrArgument, "WriteImageBlock: %d lines after %u of %u", desc.height, m_nLines, m_format.height);
    const CmsChannelDesc& first = desc.channels[0];
    if (first.data == nullptr || first.rowStep <= 0)
        return error.Fail(kCmsErrArgument, "WriteImageBlock: no data or row step %d", first.rowStep);
    if (m_format.bits == 1)
        return 0;
    int sampleBytes = m_format.bits / 8;
    for (int c = 0; c < m_format.channels; ++c)
        if (desc.channelOffset[c] < 0 || int64_t{desc.channelOffset[c]} + sampleBytes > first.pixelStep)
            return error.Fail(kCmsErrArgument, "WriteImageBlock: channel %d at byte %d of a %d-byte pixel", c,
                desc.channelOffset[c], first.pixelStep);
    return 0;
}

bool CTiffFile::SetFields(const ProfileBytes& profile)
{
    TIFF* tiff = m_pTiff;
    uint64_t rowsPerStrip = std::clamp<uint64_t>(kStripBytes / m_format.RowBytes(), 1, m_format.height);
    bool ok = TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, m_format.width) &&
        TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, m_format.height) &&
        TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, m_format.bits) &&
        TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, m_format.channels) &&
        TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE) &&
        TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
        TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, FindLayout(m_format.layout)->photometric) &&
        TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, static_cast<uint32_t>(rowsPerStrip)) &&
        TIFFSetField(tiff, TIFFTAG_XRESOLUTION, m_resolution[0]) &&
        TIFFSetField(tiff, TIFFTAG_YRESOLUTION, m_resolution[1]) &&
        TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    if (ok && m_format.layout == kCmsSpaceCmyk)
        ok = TIFFSetField(tiff, TIFFTAG_INKSET, INKSET_CMYK);
    if (ok && profile)
        ok = TIFFSetField(tiff, TIFFTAG_ICCPROFILE, static_cast<uint32_t>(profile->size()), profile->data());
    return ok;
}

void CTiffFile::PackRow(const CCmsImageDesc& desc, int32_t line)
{
    const CmsChannelDesc& first = desc.channels[0];
    const uint8_t* source = first.data + static_cast<ptrdiff_t>(line) * first.rowStep;
    uint8_t* out = m_row.data();
    if (m_format.bits == 1) {
        std::memcpy(out, source, m_row.size());
        // Bits past the last pixel are whatever the caller's buffer held; stored as 0 they keep
        // equal images equal files.
        if (m_format.width % 8 != 0)
            m_row.back() &= static_cast<uint8_t>(0xFF00 >> (m_format.width % 8));
        return;
    }
    for (uint32_t x = 0; x < m_format.width; ++x) {
        const uint8_t* pixel = source + static_cast<ptrdiff_t>(x) * first.pixelStep;
        for (int c = 0; c < m_format.channels; ++c) {
            const uint8_t* sample = pixel + desc.channelOffset[c];
            // 16-bit words are little-endian in memory and in the file alike.
            *out++ = sample[0];
            if (m_format.bits == 16)
                *out++ = sample[1];
        }
    }
}

int CTiffFile::WriteBlock(const CCmsImageDesc& desc, const CWrittenProfiles& written, CEngineError& error)
{
    int result = m_bFailed ? error.Fail(kCmsErrWrite, "%s: an earlier block failed", m_strPath.c_str())
                           : AppendBlock(desc, written, error);
    if (result != 0)
        m_bFailed = true;
    return result;
}

int CTiffFile::AppendBlock(const CCmsImageDesc& desc, const CWrittenProfiles& written, CEngineError& error)
{
    if (CheckBlock(desc, error) != 0)
        return 1;
    if (!m_bFieldsSet) {
        if (!SetFields(written.Find(desc.channels[0].data)))
            return error.Fail(kCmsErrWrite, "%s", m_strPath.c_str());
        m_bFieldsSet = true;
    }
    for (int32_t line = 0; line < desc.height; ++line, ++m_nLines) {
        PackRow(desc, line);
        if (TIFFWriteScanline(m_pTiff, m_row.data(), m_nLines, 0) < 0)
            return error.Fail(kCmsErrWrite, "%s", m_strPath.c_str());
    }
    return 0;
}

int CTiffFile::Close(CEngineError& error)
{
    int result = 0;
    if (m_nLines < m_format.height)
        result = error.Fail(kCmsErrIncomplete, "%s", m_strPath.c_str());
    else if (m_bFailed || !TIFFFlush(m_pTiff))
        result = error.Fail(kCmsErrWrite, "%s", m_strPath.c_str());
    if (result != 0) {
        Discard();
        return result;
    }
    TIFFClose(m_pTiff);
    m_pTiff = nullptr;
    return 0;
}

void CTiffFile::Discard()
{
    TIFFClose(m_pTiff);
    m_pTiff = nullptr;
    DeleteFileA(m_strPath.c_str());
}
