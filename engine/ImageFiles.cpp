#include "engine/ImageFiles.h"

#include <cmath>
#include <new>

#include "engine/EngineError.h"

namespace {

bool IsResolution(float value) { return std::isfinite(value) && value > 0.0f; }

}  // namespace

CImageFiles::CImageFiles() = default;

CImageFiles::~CImageFiles() = default;

int CImageFiles::Create(const char* path, const CCmsImageDesc* desc, int flags, int32_t* slot,
    CWrittenProfiles& written, CEngineError& error)
{
    written.Forget();
    if (path == nullptr || desc == nullptr || slot == nullptr || flags != 0)
        return error.Fail(kCmsErrArgument, "CreateImageFile: no path, descriptor or slot, or flags %d", flags);
    CTiffFormat format;
    if (!ReadTiffFormat(*desc, format))
        return error.Fail(kCmsErrArgument, "CreateImageFile: layout 0x%X, %d channels of %d bits, %d x %d",
            static_cast<unsigned>(desc->layout), desc->channelCount, desc->channels[0].bitsPerSample, desc->imageWidth,
            desc->imageHeight);
    if (!IsResolution(desc->scale[0]) || !IsResolution(desc->scale[1]))
        return error.Fail(kCmsErrArgument, "CreateImageFile: resolution %g x %g", desc->scale[0], desc->scale[1]);
    size_t index = 0;
    while (index < m_Files.size() && m_Files[index].file)
        ++index;
    try {
        auto file = std::make_unique<CTiffFile>(path, format, desc->scale);
        if (file->Open(error) != 0)
            return 1;
        if (index == m_Files.size())
            m_Files.emplace_back();
        m_Files[index].file = std::move(file);
    } catch (const std::bad_alloc&) {
        return error.Fail(kCmsErrNoMemory, "CreateImageFile");
    }
    m_nLastTag = m_nLastTag == INT32_MAX ? 1 : m_nLastTag + 1;
    m_Files[index].tag = m_nLastTag;
    slot[0] = static_cast<int32_t>(index);
    slot[1] = m_nLastTag;
    return 0;
}

int CImageFiles::Find(const int32_t* slot) const
{
    if (slot[0] < 0 || static_cast<size_t>(slot[0]) >= m_Files.size())
        return -1;
    const COpenFile& entry = m_Files[static_cast<size_t>(slot[0])];
    return entry.file && entry.tag == slot[1] ? slot[0] : -1;
}

int CImageFiles::Write(
    const CCmsImageDesc* desc, const int32_t* slot, const CWrittenProfiles& written, CEngineError& error)
{
    if (desc == nullptr || slot == nullptr)
        return error.Fail(kCmsErrArgument, "WriteImageBlock: no descriptor or slot");
    int index = Find(slot);
    if (index < 0)
        return error.Fail(kCmsErrArgument, "WriteImageBlock: no open file in slot %d/%d", slot[0], slot[1]);
    return m_Files[static_cast<size_t>(index)].file->WriteBlock(*desc, written, error);
}

int CImageFiles::Close(const CCmsImageDesc* desc, int32_t* slot, CEngineError& error)
{
    if (slot == nullptr)
        return error.Fail(kCmsErrArgument, "CloseImageFile: no slot");
    int index = Find(slot);
    if (index < 0)
        return error.Fail(kCmsErrArgument, "CloseImageFile: no open file in slot %d/%d", slot[0], slot[1]);
    std::unique_ptr<CTiffFile> file = std::move(m_Files[static_cast<size_t>(index)].file);
    slot[0] = slot[1] = 0;
    // Without the descriptor the call is refused, but the file goes all the same: it is freed by
    // every close, and the caller keeps no file that did not close well.
    if (desc == nullptr)
        return error.Fail(kCmsErrArgument, "CloseImageFile: no descriptor");
    return file->Close(error);
}
