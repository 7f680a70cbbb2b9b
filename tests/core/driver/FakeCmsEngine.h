#pragma once

// A colour engine for the driver tests: film-type correction and the profile search answer from
// the test's own data; every other operation refuses.

#include "core/cms/CmsRecords.h"
#include "tests/support/RefusingCmsEngine.h"

#include <cstdarg>
#include <cstring>
#include <string>
#include <vector>

class CFakeCmsEngine : public CRefusingCmsEngine {
public:
    virtual ~CFakeCmsEngine() = default;

    struct CProfile {
        std::string name;
        CmsObjectInfo info;
    };

    // Film correction: what the engine saw and what it answers.
    int m_nOpenResult = 0;
    int m_nComputeResult = 0;
    float m_Results[6] = {};
    std::string m_strOpenedFilm;
    std::vector<uint8_t> m_BlockSeen;
    int m_nHandlesFreed = 0;

    // Profile search.
    int m_nBeginResult = 0;
    std::vector<CProfile> m_Profiles;
    size_t m_nNext = 0;
    int m_nSearchesEnded = 0;

    static CProfile Profile(const char* name, const char* version, int32_t classCode, int32_t mode, int32_t outputSpace)
    {
        CProfile profile;
        profile.name = name;
        memset(&profile.info, 0, sizeof profile.info);
        strncpy(profile.info.version, version, sizeof profile.info.version - 1);
        profile.info.classCode = classCode;
        // The kind of original is the first sub-kind word, at byte 1240; byte 1200 stays empty
        // so that a reader of the wrong word finds nothing.
        profile.info.outputMode = mode;
        profile.info.outputSpace = outputSpace;
        return profile;
    }

    int FreeHandle(CmsHandle*) override
    {
        ++m_nHandlesFreed;
        return 0;
    }
    int OpenFilmType(const char* name, CmsHandle*) override
    {
        m_strOpenedFilm = name;
        return m_nOpenResult;
    }
    int ComputeFilmCorrection(CmsHandle*, CmsCorrectionBlock* block) override
    {
        const uint8_t* bytes = reinterpret_cast<const uint8_t*>(block);
        m_BlockSeen.assign(bytes, bytes + sizeof *block);
        if (m_nComputeResult != 0)
            return m_nComputeResult;
        memcpy(block->resultMin, m_Results, sizeof block->resultMin);
        memcpy(block->resultMax, m_Results + 3, sizeof block->resultMax);
        return 0;
    }
    int BeginProfileSearch(int, const CmsObjectInfo*) override
    {
        m_bListingFilmTypes = false;
        m_nNext = 0;
        return m_nBeginResult;
    }
    int NextSearchResult(char** name) override
    {
        if (m_bListingFilmTypes)
            *name = m_nNext < m_FilmTypes.size() ? &m_FilmTypes[m_nNext++][0] : nullptr;
        else
            *name = m_nNext < m_Profiles.size() ? &m_Profiles[m_nNext++].name[0] : nullptr;
        return 0;
    }

    // The object folder (category 3, code 0x103041) and the film types listed in "cnegs\".
    std::string m_strFolder = "saved\\";
    std::vector<std::string> m_FilmTypes;
    bool m_bListingFilmTypes = false;

    int SetAttributes(int category, void*, int code, ...) override
    {
        if (category != 3 || code != 0x103041)
            return 1;
        va_list args;
        va_start(args, code);
        const char* folder = va_arg(args, const char*);
        va_end(args);
        m_strFolder = folder != nullptr ? folder : "";
        return 0;
    }
    int GetAttributes(int category, void*, int code, ...) override
    {
        if (category != 3 || code != 0x103041)
            return 1;
        va_list args;
        va_start(args, code);
        const char** out = va_arg(args, const char**);
        va_end(args);
        *out = m_strFolder.c_str();
        return 0;
    }
    int BeginFolderSearch() override
    {
        m_bListingFilmTypes = m_strFolder == "cnegs\\";
        m_nNext = 0;
        return m_bListingFilmTypes ? 0 : 1;
    }
    int EndSearch() override
    {
        ++m_nSearchesEnded;
        return 0;
    }
    int GetProfileInfo(const char* name, int, CmsObjectInfo* info) override
    {
        for (const CProfile& profile : m_Profiles)
            if (profile.name == name) {
                *info = profile.info;
                return 0;
            }
        return 6;
    }
};
