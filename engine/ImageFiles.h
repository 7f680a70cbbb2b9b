#pragma once

// The image files an instance has open. The caller keeps two int32 words per file that it never
// reads: the engine puts there the file's place in this table and a tag, so a slot left over from
// a closed file cannot reach the file that took its place. No pointers, so the words suit both
// builds.

#include <cstdint>
#include <memory>
#include <vector>

#include "core/cms/CmsEngine.h"
#include "engine/TiffFile.h"
#include "engine/WrittenProfiles.h"

class CEngineError;

class CImageFiles {
public:
    CImageFiles();
    ~CImageFiles();

    // Forgets what `written` noted before: data left in a reused buffer are in no known profile.
    int Create(const char* path, const CCmsImageDesc* desc, int flags, int32_t* slot, CWrittenProfiles& written,
        CEngineError& error);
    int Write(const CCmsImageDesc* desc, const int32_t* slot, const CWrittenProfiles& written, CEngineError& error);
    // Frees the slot whatever the result.
    int Close(const CCmsImageDesc* desc, int32_t* slot, CEngineError& error);

private:
    // The index of the slot's open file, or -1.
    int Find(const int32_t* slot) const;

    struct COpenFile {
        std::unique_ptr<CTiffFile> file;
        int32_t tag = 0;
    };
    std::vector<COpenFile> m_Files;
    int32_t m_nLastTag = 0;
};
