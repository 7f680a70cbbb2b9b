#include "engine/ProfileReader.h"

#include <lcms2.h>

#include <cstdio>
#include <cstring>
#include <ctime>

#include "engine/EngineError.h"
#include "engine/ObjectStore.h"
#include "engine/ProfileTags.h"

namespace {

// ICC device attribute bits (header, low word).
constexpr cmsUInt64Number kAttrTransparency = 0x1;
constexpr cmsUInt64Number kAttrNegative = 0x4;

int32_t SpaceCode(cmsColorSpaceSignature space)
{
    switch (space) {
    case cmsSigGrayData: return kCmsSpaceGrey;
    case cmsSigRgbData: return kCmsSpaceRgb;
    case cmsSigCmyData: return kCmsSpaceCmy;
    case cmsSigCmykData: return kCmsSpaceCmyk;
    case cmsSigLabData: return kCmsSpaceLab;
    case cmsSigXYZData: return kCmsSpaceXyz;
    case cmsSig6colorData: return kCmsSpaceSixColour;
    case cmsSig8colorData: return kCmsSpaceEightColour;
    default: return 0;
    }
}

int32_t ClassCode(cmsProfileClassSignature profileClass)
{
    switch (profileClass) {
    case cmsSigInputClass: return kCmsClassInput;
    case cmsSigDisplayClass: return kCmsClassMonitor;
    case cmsSigOutputClass: return kCmsClassOutput;
    case cmsSigLinkClass: return kCmsClassLink;
    default: return 0;
    }
}

// The kind of original a profile or link is made for, from the header's media attributes. Links
// of negatives carry their own code, which is what callers search links with.
int32_t ModeCode(cmsHPROFILE profile, bool link)
{
    cmsUInt64Number attributes = 0;
    cmsGetHeaderAttributes(profile, &attributes);
    if (attributes & kAttrNegative)
        return link ? kCmsModeNegativeLink : kCmsModeNegative;
    return (attributes & kAttrTransparency) ? kCmsModeTransparency : kCmsModeReflective;
}

void CopyInfoText(cmsHPROFILE profile, cmsInfoType type, char* out, size_t size)
{
    cmsGetProfileInfoASCII(profile, type, "en", "US", out, static_cast<cmsUInt32Number>(size));
    out[size - 1] = '\0';
}

int32_t CreationTime(cmsHPROFILE profile)
{
    struct tm created = {};
    if (!cmsGetHeaderCreationDateTime(profile, &created) || created.tm_year < 70)
        return 0;
    time_t seconds = _mkgmtime(&created);
    return seconds == static_cast<time_t>(-1) ? 0 : static_cast<int32_t>(seconds);
}

void FillInfo(cmsHPROFILE profile, CmsObjectInfo& info)
{
    std::memset(&info, 0, sizeof info);
    double version = cmsGetProfileVersion(profile);
    snprintf(info.version, sizeof info.version, "%.1f", version);
    CopyInfoText(profile, cmsInfoDescription, info.displayName, sizeof info.displayName);
    CopyInfoText(profile, cmsInfoModel, info.description, sizeof info.description);
    if (info.description[0] == '\0')
        std::strcpy(info.description, info.displayName);
    CopyInfoText(profile, cmsInfoCopyright, info.comment, sizeof info.comment);
    info.created = CreationTime(profile);

    cmsProfileClassSignature profileClass = cmsGetDeviceClass(profile);
    info.classCode = ClassCode(profileClass);
    int32_t device = SpaceCode(cmsGetColorSpace(profile));
    int32_t connection = SpaceCode(cmsGetPCS(profile));
    bool link = profileClass == cmsSigLinkClass;
    // Data flow: monitor and output profiles turn connection values into device values; an input
    // profile reads device values; a link goes from its colour space to its connection (output)
    // space. The output space callers choose by is the device's for every class but links.
    bool towardsDevice = profileClass == cmsSigOutputClass || profileClass == cmsSigDisplayClass;
    info.inputSpace = towardsDevice ? connection : device;
    info.outputSpace = link ? connection : device;
    if (profileClass == cmsSigInputClass || link) {
        info.inputMode = ModeCode(profile, link);
        info.outputMode = info.inputMode;
    }
    CSeparation separation;
    if (info.outputSpace == kCmsSpaceCmyk && ReadSeparation(profile, separation)) {
        info.modification = separation.gcr ? kCmsSeparationGcr : kCmsSeparationUcr;
        info.modValues[0] = separation.amount;
        info.modValues[1] = separation.maxBlack;
        info.modValues[2] = separation.totalInk;
    }
}

}  // namespace

int ReadProfileInfo(const std::string& path, CmsObjectInfo& info, CEngineError& error)
{
    if (!FileExists(path))
        return error.Fail(kCmsErrNotFound, "%s", path.c_str());
    cmsHPROFILE profile = cmsOpenProfileFromFile(path.c_str(), "r");
    if (profile == nullptr)
        return error.Fail(kCmsErrCorrupt, "%s is not a readable ICC profile", path.c_str());
    FillInfo(profile, info);
    info.objectKind = ReadFlavourKind(profile);
    cmsCloseProfile(profile);
    return 0;
}
