#include "engine/InfoAttributes.h"

#include <lcms2.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/cms/CmsRecords.h"
#include "engine/EngineError.h"
#include "engine/ObjectStore.h"
#include "engine/ProfileAttributes.h"

namespace {

std::string Trim(const std::string& text)
{
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string MluText(const cmsMLU* mlu)
{
    char text[256] = {};
    if (mlu != nullptr)
        cmsMLUgetASCII(mlu, "en", "US", text, sizeof text);
    return text;
}

// The display names of the first and the last profile a link was made from: the sequence
// identifier tag carries them; older links have only the device models of the sequence.
bool LinkEnds(cmsHPROFILE link, std::string& source, std::string& destination)
{
    for (cmsTagSignature tag : {cmsSigProfileSequenceIdTag, cmsSigProfileSequenceDescTag}) {
        auto* sequence = static_cast<const cmsSEQ*>(cmsReadTag(link, tag));
        if (sequence == nullptr || sequence->n < 2)
            continue;
        const cmsPSEQDESC& first = sequence->seq[0];
        const cmsPSEQDESC& last = sequence->seq[sequence->n - 1];
        source = MluText(first.Description != nullptr ? first.Description : first.Model);
        destination = MluText(last.Description != nullptr ? last.Description : last.Model);
        if (!source.empty() || !destination.empty())
            return true;
    }
    return false;
}

// "device: medium"; without a colon the whole name is the device.
std::string NamePart(const std::string& name, bool medium)
{
    size_t colon = name.find(':');
    if (colon == std::string::npos)
        return medium ? std::string() : Trim(name);
    return Trim(medium ? name.substr(colon + 1) : name.substr(0, colon));
}

int LinkText(cmsHPROFILE profile, const std::string& path, int code, std::string& text, CEngineError& error)
{
    std::string source, destination;
    if (cmsGetDeviceClass(profile) != cmsSigLinkClass)
        return error.Fail(kCmsErrBadProfile, "%s: not a colour link", path.c_str());
    if (!LinkEnds(profile, source, destination))
        return error.Fail(kCmsErrBadProfile, "%s: the link does not name its profiles", path.c_str());
    bool input = code == kCmsInfoInputDevice || code == kCmsInfoInputMedium;
    bool medium = code == kCmsInfoInputMedium || code == kCmsInfoOutputMedium;
    text = NamePart(input ? source : destination, medium);
    return 0;
}

int WhiteText(cmsHPROFILE profile, const std::string& path, std::string& text, CEngineError& error)
{
    double kelvin = 0;
    if (!WhiteTemperature(profile, kelvin))
        return error.Fail(kCmsErrBadProfile, "%s: no white point", path.c_str());
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "D%ld", std::lround(kelvin));
    text = buffer;
    return 0;
}

bool IsKnownCode(int code)
{
    switch (code) {
    case kCmsInfoInputDevice:
    case kCmsInfoInputMedium:
    case kCmsInfoOutputDevice:
    case kCmsInfoOutputMedium:
    case kCmsInfoWhitePoint:
        return true;
    default:
        return false;
    }
}

}  // namespace

int FormatInfoText(const std::string& path, int code, char* text, CEngineError& error)
{
    if (!IsKnownCode(code))
        return error.Fail(kCmsErrAttribute, "FormatInfoAttribute: code 0x%X", static_cast<unsigned>(code));
    if (HasExtension(path, CObjectStore::kFilmTypeExtension))
        return error.Fail(kCmsErrBadProfile, "%s: a film type has no colour attributes", path.c_str());
    cmsHPROFILE profile = cmsOpenProfileFromFile(path.c_str(), "r");
    if (profile == nullptr)
        return error.Fail(kCmsErrCorrupt, "%s is not a readable ICC profile", path.c_str());
    std::string result;
    int failed = code == kCmsInfoWhitePoint ? WhiteText(profile, path, result, error)
                                            : LinkText(profile, path, code, result, error);
    cmsCloseProfile(profile);
    if (failed != 0)
        return 1;
    std::snprintf(text, kInfoTextSize, "%s", result.c_str());
    return 0;
}
