#include "engine/FilmType.h"

#include <windows.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "engine/EngineError.h"
#include "engine/ObjectStore.h"

namespace {

constexpr float kMaxDensity = 6.0f;

bool ValidDensity(float value) { return std::isfinite(value) && value >= 0.0f && value <= kMaxDensity; }

bool ReadTriple(const char* text, float out[3])
{
    char rest = 0;
    return std::sscanf(text, "%f %f %f %c", &out[0], &out[1], &out[2], &rest) == 3 &&
           ValidDensity(out[0]) && ValidDensity(out[1]) && ValidDensity(out[2]);
}

// A measurement the caller left empty or filled with nonsense counts as not measured.
float Measured(float value) { return ValidDensity(value) ? value : 0.0f; }

constexpr int kCurvePoints = 256;
constexpr float kFullScale = 255.0f;
// The curve reaches a little beyond the densest highlight, so that light below the film's range
// still lands on a point.
constexpr float kDensityMargin = 0.3f;

// The inversion curve of one channel: input values are the light the film passes (0..255 of the
// scanner's scale), output values the positive (0..255). The points lie at equal steps of density,
// densest first, so that the thin light of dense film keeps as many points as the clear base;
// minimum density gives black, maximum density and beyond give white.
void FillInversionCurve(float* x, float* y, float minimum, float maximum)
{
    float span = maximum > minimum ? maximum - minimum : 1.0f;
    float densest = maximum + kDensityMargin;
    x[0] = 0.0f;
    y[0] = kFullScale;
    for (int j = 1; j < kCurvePoints; ++j) {
        float density = densest * (float)(kCurvePoints - 1 - j) / (float)(kCurvePoints - 2);
        float positive = std::fmin(std::fmax((density - minimum) / span, 0.0f), 1.0f);
        x[j] = j == kCurvePoints - 1 ? kFullScale : kFullScale * std::pow(10.0f, -density);
        y[j] = kFullScale * positive;
    }
}

}  // namespace

int CFilmType::Load(const std::string& path, CEngineError& error)
{
    FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr)
        return error.Fail(kCmsErrNotFound, "%s", path.c_str());
    bool haveBase = false, haveRange = false, badValue = false;
    char line[512];
    while (std::fgets(line, sizeof line, file) != nullptr) {
        line[std::strcspn(line, "\r\n")] = '\0';
        if (std::strncmp(line, "Description=", 12) == 0)
            description = line + 12;
        else if (std::strncmp(line, "Base=", 5) == 0)
            badValue |= !(haveBase = ReadTriple(line + 5, base));
        else if (std::strncmp(line, "Range=", 6) == 0)
            badValue |= !(haveRange = ReadTriple(line + 6, range));
    }
    std::fclose(file);
    bool emptyRange = haveRange && (range[0] <= 0 || range[1] <= 0 || range[2] <= 0);
    if (badValue || !haveBase || !haveRange || emptyRange)
        return error.Fail(kCmsErrCorrupt, "%s is not a readable film type", path.c_str());
    return 0;
}

int CFilmType::Save(const std::string& path, CEngineError& error) const
{
    std::string temporary = path + ".new";
    FILE* file = std::fopen(temporary.c_str(), "w");
    if (file == nullptr)
        return error.Fail(kCmsErrWrite, "%s", path.c_str());
    int written = std::fprintf(file, "Description=%s\nBase=%.3f %.3f %.3f\nRange=%.3f %.3f %.3f\n",
                               description.c_str(), base[0], base[1], base[2], range[0], range[1],
                               range[2]);
    bool ok = std::fclose(file) == 0 && written > 0;
    if (!ok || !MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileA(temporary.c_str());
        return error.Fail(kCmsErrWrite, "%s", path.c_str());
    }
    return 0;
}

void CFilmType::ComputeCorrection(CmsCorrectionBlock& block) const
{
    for (int c = 0; c < 3; ++c) {
        // The clearest part of a negative is bare film: base plus fog. A fog density measured by
        // the caller replaces the film type's own; a measured minimum below it is noise.
        float bare = base[c];
        if ((block.flags & kCorrectionFogSet) && Measured(block.fog[c]) > 0.0f)
            bare = block.fog[c];
        float minimum = std::fmax(bare, Measured(block.minDensity[c]));
        // The densest highlight cannot exceed what the dye layer can build above the bare film.
        float ceiling = minimum + range[c];
        float measuredMax = Measured(block.maxDensity[c]);
        float maximum = measuredMax > minimum && measuredMax < ceiling ? measuredMax : ceiling;
        block.resultMin[c] = minimum;
        block.resultMax[c] = maximum;
        FillInversionCurve(block.curveIn[c], block.curveOut[c], minimum, maximum);
    }
}

void CFilmType::FillInfo(CmsObjectInfo& info, const std::string& name, int32_t created) const
{
    std::memset(&info, 0, sizeof info);
    std::strcpy(info.version, "2.0");
    std::snprintf(info.description, sizeof info.description, "%s", description.c_str());
    std::snprintf(info.displayName, sizeof info.displayName, "%s", name.c_str());
    std::snprintf(info.comment, sizeof info.comment, "base %.2f %.2f %.2f D", base[0], base[1],
                  base[2]);
    info.created = created;
    info.classCode = kCmsClassFilmType;
    info.inputMode = info.outputMode = kCmsModeNegative;
    info.inputSpace = info.outputSpace = kCmsSpaceRgb;
}
