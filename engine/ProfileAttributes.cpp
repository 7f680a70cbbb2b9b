#include "engine/ProfileAttributes.h"

#include <cmath>

namespace {

using CMatrix = double[3][3];

bool Invert(const CMatrix& m, CMatrix& inverse)
{
    double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
        m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    if (std::fabs(det) < 1e-12)
        return false;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            // The cofactor of the transposed position, by cyclic indices.
            int r1 = (c + 1) % 3, r2 = (c + 2) % 3, c1 = (r + 1) % 3, c2 = (r + 2) % 3;
            inverse[r][c] = (m[r1][c1] * m[r2][c2] - m[r1][c2] * m[r2][c1]) / det;
        }
    return true;
}

// The colour as the display itself has it: the profile's chromatic adaptation to the connection
// space's white undone. Without an adaptation tag the value is already the display's.
cmsCIEXYZ UndoAdaptation(cmsHPROFILE profile, const cmsCIEXYZ& adapted)
{
    auto* chad = static_cast<const double*>(cmsReadTag(profile, cmsSigChromaticAdaptationTag));
    CMatrix m, inverse;
    if (chad == nullptr)
        return adapted;
    for (int i = 0; i < 9; ++i)
        m[i / 3][i % 3] = chad[i];
    if (!Invert(m, inverse))
        return adapted;
    const double in[3] = {adapted.X, adapted.Y, adapted.Z};
    double out[3];
    for (int r = 0; r < 3; ++r)
        out[r] = inverse[r][0] * in[0] + inverse[r][1] * in[1] + inverse[r][2] * in[2];
    return cmsCIEXYZ {out[0], out[1], out[2]};
}

bool ReadXyz(cmsHPROFILE profile, cmsTagSignature tag, cmsCIEXYZ& xyz)
{
    auto* value = static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, tag));
    if (value == nullptr)
        return false;
    xyz = UndoAdaptation(profile, *value);
    return xyz.X + xyz.Y + xyz.Z > 0;
}

}  // namespace

bool ProfileGammas(cmsHPROFILE profile, float gammas[3])
{
    const cmsTagSignature tags[3] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
    for (int i = 0; i < 3; ++i) {
        auto* curve = static_cast<const cmsToneCurve*>(cmsReadTag(profile, tags[i]));
        double gamma = curve != nullptr ? cmsEstimateGamma(curve, 0.1) : -1.0;
        if (gamma <= 0)
            return false;
        gammas[i] = static_cast<float>(gamma);
    }
    return true;
}

bool ProfilePrimaries(cmsHPROFILE profile, float xy[6])
{
    const cmsTagSignature tags[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag, cmsSigBlueColorantTag};
    for (int i = 0; i < 3; ++i) {
        cmsCIEXYZ xyz;
        if (!ReadXyz(profile, tags[i], xyz))
            return false;
        double sum = xyz.X + xyz.Y + xyz.Z;
        xy[2 * i] = static_cast<float>(xyz.X / sum);
        xy[2 * i + 1] = static_cast<float>(xyz.Y / sum);
    }
    return true;
}

bool WhiteTemperature(cmsHPROFILE profile, double& kelvin)
{
    cmsCIEXYZ white;
    if (!ReadXyz(profile, cmsSigMediaWhitePointTag, white))
        return false;
    cmsCIExyY xyY;
    cmsXYZ2xyY(&xyY, &white);
    return cmsTempFromWhitePoint(&kelvin, &xyY) != 0;
}
