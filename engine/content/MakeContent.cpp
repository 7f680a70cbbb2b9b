// Writes the engine's default profiles into "<engine directory>\PROFILES\": the monitor profile
// "GENERIC" (sRGB), one scanner profile per kind of original, and an RGB and a CMYK output profile;
// into "OBJECTS\" the colour links from the scanner profiles to the output profiles; and into
// "CCORR\" the default flavour parts, device links of grey, RGB and CMYK data onto themselves.
// Built for and run on the build machine, so that every architecture's build gets the same content
// whether or not the machine runs the Windows programs; the film types beside this file are copied
// by the build itself.

#include <lcms2.h>

#include "engine/ProfileTags.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// ICC device attribute bits: transparency media, negative media.
constexpr cmsUInt64Number kTransparency = 0x1;
constexpr cmsUInt64Number kNegative = 0x4;

void WriteText(cmsHPROFILE profile, cmsTagSignature tag, const char* text)
{
    cmsMLU* mlu = cmsMLUalloc(nullptr, 1);
    cmsMLUsetASCII(mlu, "en", "US", text);
    cmsWriteTag(profile, tag, mlu);
    cmsMLUfree(mlu);
}

void Describe(cmsHPROFILE profile, const char* displayName, const char* model)
{
    WriteText(profile, cmsSigProfileDescriptionTag, displayName);
    WriteText(profile, cmsSigDeviceModelDescTag, model);
    WriteText(profile, cmsSigCopyrightTag, "Default content of the colour engine");
}

// The header's creation date is the content's, not the moment of the build: image files carry these
// profiles, and every build must write the same bytes.
constexpr cmsUInt16Number kContentDate[6] = {2026, 12, 1, 0, 0, 0};
constexpr size_t kHeaderDateOffset = 24;

bool Save(cmsHPROFILE profile, const std::string& folder, const char* name)
{
    std::string path = folder + name + ".icc";
    cmsUInt32Number size = 0;
    bool ok = cmsSaveProfileToMem(profile, nullptr, &size);
    std::vector<unsigned char> bytes(size);
    ok = ok && cmsSaveProfileToMem(profile, bytes.data(), &size) && size > kHeaderDateOffset + 12;
    cmsCloseProfile(profile);
    for (size_t i = 0; ok && i < 6; ++i) {
        bytes[kHeaderDateOffset + 2 * i] = static_cast<unsigned char>(kContentDate[i] >> 8);
        bytes[kHeaderDateOffset + 2 * i + 1] = static_cast<unsigned char>(kContentDate[i] & 0xFF);
    }
    FILE* file = ok ? std::fopen(path.c_str(), "wb") : nullptr;
    ok = file != nullptr && std::fwrite(bytes.data(), 1, size, file) == size;
    if (file != nullptr)
        ok = std::fclose(file) == 0 && ok;
    if (!ok)
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return ok;
}

cmsHPROFILE MatrixProfile(const cmsCIExyYTRIPLE& primaries, double gamma)
{
    cmsToneCurve* curve = cmsBuildGamma(nullptr, gamma);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(cmsD50_xyY(), &primaries, curves);
    cmsFreeToneCurve(curve);
    return profile;
}

cmsHPROFILE ScannerProfile(cmsUInt64Number attributes, const char* displayName, const char* model)
{
    const cmsCIExyYTRIPLE primaries = {{0.6400, 0.3300, 1.0}, {0.3000, 0.6000, 1.0},
                                       {0.1500, 0.0600, 1.0}};
    cmsHPROFILE profile = MatrixProfile(primaries, 1.8);
    cmsSetDeviceClass(profile, cmsSigInputClass);
    cmsSetHeaderAttributes(profile, attributes);
    Describe(profile, displayName, model);
    return profile;
}

// The CMYK output profile: a simple ink model over sRGB (CMY the complements of RGB, black
// replacing part of the common grey), sampled into both directions of the profile. The profile
// states the separation it was made with.
const CSeparation kCmykSeparation = {true, 50, 95, 300};

struct InkModel {
    cmsHTRANSFORM labToRgb;
    cmsHTRANSFORM rgbToLab;
};

double Clamp01(double value) { return std::clamp(value, 0.0, 1.0); }

int SampleLabToCmyk(const cmsUInt16Number in[], cmsUInt16Number out[], void* cargo)
{
    auto* model = static_cast<InkModel*>(cargo);
    cmsCIELab lab;
    cmsLabEncoded2FloatV2(&lab, in);
    double rgb[3];
    cmsDoTransform(model->labToRgb, &lab, rgb, 1);
    double c = 1.0 - Clamp01(rgb[0]), m = 1.0 - Clamp01(rgb[1]), y = 1.0 - Clamp01(rgb[2]);
    double k = std::min(kCmykSeparation.amount / 100.0 * std::min({c, m, y}), kCmykSeparation.maxBlack / 100.0);
    double rest = k < 1.0 ? 1.0 - k : 1.0;
    double cmyk[4] = {(c - k) / rest, (m - k) / rest, (y - k) / rest, k};
    // Over the ink limit the coloured inks give way; black keeps the depth.
    double coloured = cmyk[0] + cmyk[1] + cmyk[2];
    double room = kCmykSeparation.totalInk / 100.0 - k;
    if (coloured > room)
        for (int i = 0; i < 3; ++i)
            cmyk[i] *= room / coloured;
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<cmsUInt16Number>(Clamp01(cmyk[i]) * 65535.0 + 0.5);
    return 1;
}

int SampleCmykToLab(const cmsUInt16Number in[], cmsUInt16Number out[], void* cargo)
{
    auto* model = static_cast<InkModel*>(cargo);
    double k = in[3] / 65535.0;
    double rgb[3];
    for (int i = 0; i < 3; ++i)
        rgb[i] = (1.0 - in[i] / 65535.0) * (1.0 - k);
    cmsCIELab lab;
    cmsDoTransform(model->rgbToLab, rgb, &lab, 1);
    cmsFloat2LabEncodedV2(out, &lab);
    return 1;
}

bool AddClut(cmsHPROFILE profile, cmsTagSignature tag, int grid, int in, int out,
             cmsSAMPLER16 sampler, InkModel& model)
{
    cmsPipeline* pipeline = cmsPipelineAlloc(nullptr, in, out);
    cmsStage* clut = cmsStageAllocCLut16bit(nullptr, grid, in, out, nullptr);
    bool ok = pipeline != nullptr && clut != nullptr &&
              cmsStageSampleCLut16bit(clut, sampler, &model, 0) &&
              cmsPipelineInsertStage(pipeline, cmsAT_BEGIN, clut) &&
              cmsWriteTag(profile, tag, pipeline);
    if (pipeline != nullptr)
        cmsPipelineFree(pipeline);
    return ok;
}

cmsHPROFILE CmykProfile()
{
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
    InkModel model = {
        cmsCreateTransform(lab, TYPE_Lab_DBL, srgb, TYPE_RGB_DBL, INTENT_RELATIVE_COLORIMETRIC, 0),
        cmsCreateTransform(srgb, TYPE_RGB_DBL, lab, TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC, 0)};
    cmsHPROFILE profile = cmsCreateProfilePlaceholder(nullptr);
    cmsSetProfileVersion(profile, 2.1);
    cmsSetDeviceClass(profile, cmsSigOutputClass);
    cmsSetColorSpace(profile, cmsSigCmykData);
    cmsSetPCS(profile, cmsSigLabData);
    cmsWriteTag(profile, cmsSigMediaWhitePointTag, cmsD50_XYZ());
    bool ok = model.labToRgb != nullptr && model.rgbToLab != nullptr &&
              AddClut(profile, cmsSigBToA0Tag, 17, 3, 4, SampleLabToCmyk, model) &&
              AddClut(profile, cmsSigAToB0Tag, 9, 4, 3, SampleCmykToLab, model);
    Describe(profile, "Generic CMYK output: coated paper", "Generic CMYK press");
    ok = ok && WriteSeparation(profile, kCmykSeparation);
    if (model.labToRgb != nullptr)
        cmsDeleteTransform(model.labToRgb);
    if (model.rgbToLab != nullptr)
        cmsDeleteTransform(model.rgbToLab);
    cmsCloseProfile(srgb);
    cmsCloseProfile(lab);
    if (!ok) {
        cmsCloseProfile(profile);
        return nullptr;
    }
    return profile;
}

// A colour link from one default profile to another, as the engine's callers store them: an ICC
// device link that keeps the sequence of its profiles (their names show where it goes from and to)
// and names its destination profile, whose separation it also states.
bool SaveLink(const std::string& profiles, const std::string& objects, const char* from, const char* to,
              cmsUInt64Number attributes, const char* name, const char* displayName)
{
    cmsHPROFILE source = cmsOpenProfileFromFile((profiles + from + ".icc").c_str(), "r");
    cmsHPROFILE target = cmsOpenProfileFromFile((profiles + to + ".icc").c_str(), "r");
    bool cmyk = target != nullptr && cmsGetColorSpace(target) == cmsSigCmykData;
    cmsHTRANSFORM transform = source == nullptr || target == nullptr
                                  ? nullptr
                                  : cmsCreateTransform(source, TYPE_RGB_16, target, cmyk ? TYPE_CMYK_16 : TYPE_RGB_16,
                                                       INTENT_PERCEPTUAL, cmsFLAGS_KEEP_SEQUENCE);
    cmsHPROFILE link = transform != nullptr ? cmsTransform2DeviceLink(transform, 4.3, 0) : nullptr;
    CSeparation separation;
    bool ok = link != nullptr && WriteTextTag(link, kTagDestinationName, to) &&
              (!ReadSeparation(target, separation) || WriteSeparation(link, separation));
    if (link != nullptr) {
        cmsSetHeaderAttributes(link, attributes);
        Describe(link, displayName, displayName);
        ok = Save(link, objects, name) && ok;
    }
    if (transform != nullptr)
        cmsDeleteTransform(transform);
    for (cmsHPROFILE profile : {source, target})
        if (profile != nullptr)
            cmsCloseProfile(profile);
    if (!ok)
        std::fprintf(stderr, "cannot make the colour link %s\n", name);
    return ok;
}

bool MakeFolder(const std::string& folder)
{
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error)
        std::fprintf(stderr, "cannot make %s: %s\n", folder.c_str(), error.message().c_str());
    return !error;
}

// Flavour parts: kinds as GetProfileInfo reports them, and curves of levels on 0..1.
constexpr int kColourBalance = 34;
constexpr int kTone = 35;
constexpr int kSaturation = 36;

using LevelFunction = double (*)(double);

double Unchanged(double x) { return x; }
// Bumps that leave black and white alone and stay monotone (slope at least 1 - 0.16).
double MidUp(double x) { return x + 0.05 * std::sin(M_PI * x); }
double MidDown(double x) { return x - 0.05 * std::sin(M_PI * x); }
double SCurve(double x) { return x - 0.06 * std::sin(2 * M_PI * x); }
double Lighter(double x) { return std::pow(x, 0.8); }

cmsToneCurve* LevelCurve(LevelFunction function)
{
    cmsUInt16Number table[256];
    for (int i = 0; i < 256; ++i)
        table[i] = static_cast<cmsUInt16Number>(Clamp01(function(i / 255.0)) * 65535.0 + 0.5);
    return cmsBuildTabulatedToneCurve16(nullptr, 256, table);
}

bool SavePart(cmsHPROFILE part, const std::string& folder, const char* name, int kind)
{
    if (part == nullptr) {
        std::fprintf(stderr, "cannot make the flavour part %s\n", name);
        return false;
    }
    // The part's display name is its file name.
    WriteText(part, cmsSigProfileDescriptionTag, name);
    WriteText(part, cmsSigCopyrightTag, "Default content of the colour engine");
    WriteTextTag(part, kTagFlavourKind, std::to_string(kind));
    return Save(part, folder, name);
}

bool CurvePart(const std::string& folder, const char* name, int kind, cmsColorSpaceSignature space,
               std::vector<LevelFunction> functions)
{
    std::vector<cmsToneCurve*> curves;
    for (LevelFunction function : functions)
        curves.push_back(LevelCurve(function));
    cmsHPROFILE part = cmsCreateLinearizationDeviceLink(space, curves.data());
    for (cmsToneCurve* curve : curves)
        cmsFreeToneCurve(curve);
    return SavePart(part, folder, name, kind);
}

// Colours move away from their grey by a quarter more.
int SampleSaturate(const cmsUInt16Number in[], cmsUInt16Number out[], void*)
{
    double grey = 0.30 * in[0] + 0.59 * in[1] + 0.11 * in[2];
    for (int c = 0; c < 3; ++c)
        out[c] = static_cast<cmsUInt16Number>(std::clamp(grey + 1.25 * (in[c] - grey), 0.0, 65535.0) + 0.5);
    return 1;
}

bool SaturatePart(const std::string& folder)
{
    cmsHPROFILE part = cmsCreateProfilePlaceholder(nullptr);
    cmsPipeline* pipeline = cmsPipelineAlloc(nullptr, 3, 3);
    cmsStage* clut = cmsStageAllocCLut16bit(nullptr, 17, 3, 3, nullptr);
    // An ICC A-to-B table holds curves on both sides of its grid: identities here.
    bool ok = part != nullptr && pipeline != nullptr && clut != nullptr &&
              cmsStageSampleCLut16bit(clut, SampleSaturate, nullptr, 0) &&
              cmsPipelineInsertStage(pipeline, cmsAT_BEGIN, cmsStageAllocToneCurves(nullptr, 3, nullptr)) &&
              cmsPipelineInsertStage(pipeline, cmsAT_END, clut) &&
              cmsPipelineInsertStage(pipeline, cmsAT_END, cmsStageAllocToneCurves(nullptr, 3, nullptr));
    if (ok) {
        cmsSetProfileVersion(part, 4.3);
        cmsSetDeviceClass(part, cmsSigLinkClass);
        cmsSetColorSpace(part, cmsSigRgbData);
        cmsSetPCS(part, cmsSigRgbData);
        ok = cmsWriteTag(part, cmsSigAToB0Tag, pipeline);
    }
    if (pipeline != nullptr)
        cmsPipelineFree(pipeline);
    if (!ok && part != nullptr)
        cmsCloseProfile(part);
    return SavePart(ok ? part : nullptr, folder, "Saturate", kSaturation);
}

bool FlavourParts(const std::string& ccorr)
{
    for (const char* folder : {"gray/user", "rgb/user", "cmyk/user", "thelast"})
        if (!MakeFolder(ccorr + folder))
            return false;
    std::string rgb = ccorr + "rgb/", cmyk = ccorr + "cmyk/", gray = ccorr + "gray/";
    bool ok = CurvePart(rgb, "Warmer", kColourBalance, cmsSigRgbData, {MidUp, Unchanged, MidDown});
    ok = ok && CurvePart(rgb, "Contrast", kTone, cmsSigRgbData, {SCurve, SCurve, SCurve});
    ok = ok && SaturatePart(rgb);
    ok = ok && CurvePart(cmyk, "Warmer", kColourBalance, cmsSigCmykData, {MidDown, Unchanged, MidUp, Unchanged});
    return ok && CurvePart(gray, "Brighter", kTone, cmsSigGrayData, {Lighter});
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: engine_content <engine directory>\n");
        return 2;
    }
    std::string folder = std::string(argv[1]) + "/PROFILES/";
    std::string objects = std::string(argv[1]) + "/OBJECTS/";
    if (!MakeFolder(folder) || !MakeFolder(objects))
        return 1;

    cmsHPROFILE monitor = cmsCreate_sRGBProfile();
    Describe(monitor, "Generic monitor", "sRGB display");
    const cmsCIExyYTRIPLE widePrimaries = {{0.6400, 0.3300, 1.0}, {0.2100, 0.7100, 1.0},
                                           {0.1500, 0.0600, 1.0}};
    cmsHPROFILE rgbOutput = MatrixProfile(widePrimaries, 2.2);
    cmsSetDeviceClass(rgbOutput, cmsSigOutputClass);
    Describe(rgbOutput, "Generic RGB output: photo paper", "Generic RGB printer");
    cmsHPROFILE cmykOutput = CmykProfile();
    if (cmykOutput == nullptr) {
        std::fprintf(stderr, "cannot build the CMYK profile\n");
        return 1;
    }

    bool ok = Save(monitor, folder, "GENERIC");
    ok &= Save(ScannerProfile(0, "Generic scanner: reflective originals", "Flatbed"), folder,
               "REFLECT");
    ok &= Save(ScannerProfile(kTransparency, "Generic scanner: slides", "Transparency unit"),
               folder, "TRANSP");
    ok &= Save(ScannerProfile(kTransparency | kNegative, "Generic scanner: colour negatives",
                              "Transparency unit"),
               folder, "NEGATIVE");
    ok &= Save(rgbOutput, folder, "RGBOUT");
    ok &= Save(cmykOutput, folder, "CMYKOUT");
    ok = ok && SaveLink(folder, objects, "REFLECT", "RGBOUT", 0, "RGBLINK", "Reflective originals to RGB photo paper");
    ok = ok && SaveLink(folder, objects, "TRANSP", "RGBOUT", kTransparency, "SLIDELNK", "Slides to RGB photo paper");
    ok = ok && SaveLink(folder, objects, "NEGATIVE", "RGBOUT", kTransparency | kNegative, "NEGLINK",
                        "Colour negatives to RGB photo paper");
    ok = ok && SaveLink(folder, objects, "REFLECT", "CMYKOUT", 0, "CMYKLINK", "Reflective originals to CMYK press");
    ok = ok && FlavourParts(std::string(argv[1]) + "/CCORR/");
    return ok ? 0 : 1;
}
