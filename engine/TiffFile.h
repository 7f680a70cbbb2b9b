#pragma once

// One image file the engine writes: an uncompressed little-endian TIFF of one plane, filled block
// by block from image descriptors. Its fields are set with the first block, because only then is
// the profile of the data known.

#include <cstdint>
#include <string>
#include <vector>

#include "core/cms/CmsEngine.h"
#include "engine/WrittenProfiles.h"

class CEngineError;
typedef struct tiff TIFF;

// What a descriptor asks of a file; equal formats can go into the same file.
struct CTiffFormat {
    int32_t layout = 0;
    int channels = 0;
    int bits = 0;  // as stored: 1, 8 or 16
    uint32_t width = 0;
    uint32_t height = 0;

    bool operator==(const CTiffFormat&) const = default;
    uint64_t RowBytes() const;
};

// False when a file cannot hold the descriptor's image (layout, channels, bits or size).
bool ReadTiffFormat(const CCmsImageDesc& desc, CTiffFormat& format);

class CTiffFile {
public:
    CTiffFile(std::string path, const CTiffFormat& format, const float resolution[2]);
    // A file still open here was abandoned part way and is removed.
    ~CTiffFile();

    // Creates the file (empty until the first block). Code 6 or 27 on failure.
    int Open(CEngineError& error);
    const CTiffFormat& Format() const { return m_format; }

    // Appends the block's lines; the first block also sets the fields and the profile noted for
    // its memory. After a failure the file is only good for Close, which then removes it.
    int WriteBlock(const CCmsImageDesc& desc, const CWrittenProfiles& written, CEngineError& error);

    // Finishes the file, or removes it when it is not a complete image.
    int Close(CEngineError& error);

private:
    int AppendBlock(const CCmsImageDesc& desc, const CWrittenProfiles& written, CEngineError& error);
    int CheckBlock(const CCmsImageDesc& desc, CEngineError& error) const;
    bool SetFields(const ProfileBytes& profile);
    void PackRow(const CCmsImageDesc& desc, int32_t line);
    void Discard();

    std::string m_strPath;
    CTiffFormat m_format;
    double m_resolution[2];
    TIFF* m_pTiff = nullptr;
    std::vector<uint8_t> m_row;
    uint32_t m_nLines = 0;
    bool m_bFieldsSet = false;
    bool m_bFailed = false;
};
