#pragma once

// A colour transform behind a handle: Little CMS's transform through a sequence of profiles, or
// through one device link. Pixel formats are bound when it is applied, one Little CMS transform
// per pair of formats, kept for the next block.

#include <lcms2.h>

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/cms/CmsEngine.h"
#include "engine/EngineHandle.h"
#include "engine/WrittenProfiles.h"

class CEngineError;
struct CPixelLayout;

// The callbacks set with SetAttributes category 5; null when not set.
struct CBuildCallbacks {
    CmsProgressFn progress = nullptr;
    CmsCancelledFn cancelled = nullptr;
};

// What a transform is made of: profile files in the order the data pass them, the names errors
// give for them, and the file of the profile the results are in ("" when none is known).
struct CTransformRecipe {
    std::vector<std::string> paths;
    std::vector<std::string> names;
    std::string destinationProfile;
};

class CColourTransform final : public CEngineObject {
public:
    ~CColourTransform() override;

    // 0 and the transform in out, else 1 with the error (9, 16, 7, 6); the callbacks are called at
    // the start, after each profile and at the end.
    static int Build(const CTransformRecipe& recipe, const CBuildCallbacks& callbacks, CEngineError& error,
        std::unique_ptr<CColourTransform>& out);

    // The same over profiles already open (device links in memory), which it takes over, closing
    // them also on failure; names name them in errors. The data's profile is not known.
    static int FromProfiles(std::vector<cmsHPROFILE> profiles, const std::string& names, CEngineError& error,
        std::unique_ptr<CColourTransform>& out);

    int Apply(const CCmsImageDesc& source, const CCmsImageDesc& destination, CEngineError& error);

    // The destination profile's file bytes, or null.
    const ProfileBytes& DestinationBytes() const { return m_destination; }

private:
    CColourTransform() = default;
    int Join(CEngineError& error);
    cmsHTRANSFORM Bind(cmsUInt32Number input, cmsUInt32Number output, CEngineError& error);
    void Run(cmsHTRANSFORM transform, const CPixelLayout& in, const CPixelLayout& out) const;

    std::vector<cmsHPROFILE> m_profiles;
    std::vector<cmsHPROFILE> m_chain;  // the profiles as Little CMS passes the data through them
    std::string m_strNames;
    cmsUInt32Number m_nIntent = 0;
    cmsColorSpaceSignature m_inputSpace = cmsSigRgbData;
    cmsColorSpaceSignature m_outputSpace = cmsSigRgbData;
    std::map<std::pair<cmsUInt32Number, cmsUInt32Number>, cmsHTRANSFORM> m_bound;
    ProfileBytes m_destination;
};

// The name of the default profile a link's results are in, as the engine's own links state it;
// "" for other links.
std::string LinkDestinationName(const std::string& linkPath);
