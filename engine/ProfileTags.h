#pragma once

// The engine's own tags in the profiles and colour links it ships: the name of a link's destination
// profile, so that data transformed through the link can carry that profile, and the separation of
// a CMYK profile or link. They are private signatures of the ICC text type, which other readers
// skip. Header only, for the content generator (built for the build machine) writes them.

#include <lcms2.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

constexpr cmsTagSignature kTagDestinationName = static_cast<cmsTagSignature>(0x62766473);  // 'bvds'
constexpr cmsTagSignature kTagSeparation = static_cast<cmsTagSignature>(0x62767370);  // 'bvsp'
// The kind of a flavour part, a decimal number: 34 colour balance, 35 tone, 36 saturation.
constexpr cmsTagSignature kTagFlavourKind = static_cast<cmsTagSignature>(0x62766b64);  // 'bvkd'

// Percentages of a CMYK separation: the share of the common grey that black replaces (GCR) or
// the black under the neutrals (UCR), the most black, and the most of all four inks together.
struct CSeparation {
    bool gcr = true;
    unsigned amount = 0;
    unsigned maxBlack = 0;
    unsigned totalInk = 0;
};

inline bool WriteTextTag(cmsHPROFILE profile, cmsTagSignature tag, const std::string& text)
{
    // ICC text type: signature, four reserved bytes, then the text with its terminating zero.
    std::vector<char> data(8 + text.size() + 1, '\0');
    std::memcpy(data.data(), "text", 4);
    std::memcpy(data.data() + 8, text.data(), text.size());
    return cmsWriteRawTag(profile, tag, data.data(), static_cast<cmsUInt32Number>(data.size()));
}

// The text, or "" when the tag is missing or not of the text type.
inline std::string ReadTextTag(cmsHPROFILE profile, cmsTagSignature tag)
{
    if (!cmsIsTag(profile, tag))
        return std::string();
    cmsUInt32Number size = cmsReadRawTag(profile, tag, nullptr, 0);
    if (size <= 8)
        return std::string();
    std::vector<char> data(size);
    if (cmsReadRawTag(profile, tag, data.data(), size) != size || std::memcmp(data.data(), "text", 4) != 0)
        return std::string();
    return std::string(data.data() + 8, strnlen(data.data() + 8, size - 8));
}

inline bool WriteSeparation(cmsHPROFILE profile, const CSeparation& separation)
{
    char text[64];
    std::snprintf(text, sizeof text, "%s %u %u %u", separation.gcr ? "GCR" : "UCR", separation.amount,
        separation.maxBlack, separation.totalInk);
    return WriteTextTag(profile, kTagSeparation, text);
}

inline bool ReadSeparation(cmsHPROFILE profile, CSeparation& separation)
{
    std::string text = ReadTextTag(profile, kTagSeparation);
    char kind[4] = {};
    if (std::sscanf(
            text.c_str(), "%3s %u %u %u", kind, &separation.amount, &separation.maxBlack, &separation.totalInk) != 4)
        return false;
    separation.gcr = std::strcmp(kind, "GCR") == 0;
    return separation.gcr || std::strcmp(kind, "UCR") == 0;
}

// The flavour kind a part states, else 0.
inline int ReadFlavourKind(cmsHPROFILE profile)
{
    std::string text = ReadTextTag(profile, kTagFlavourKind);
    int kind = 0;
    return std::sscanf(text.c_str(), "%d", &kind) == 1 ? kind : 0;
}
