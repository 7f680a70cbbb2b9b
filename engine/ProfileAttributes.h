#pragma once

// An opened profile behind a handle, and what the engine tells of a profile's colours: the gammas
// of its tone curves, its primaries and its white point, both at the display's own white (before
// the profile's chromatic adaptation to the connection space).

#include <lcms2.h>

#include "engine/EngineHandle.h"

class CProfileObject final : public CEngineObject {
public:
    explicit CProfileObject(cmsHPROFILE profile) : m_profile(profile) { }
    ~CProfileObject() override { cmsCloseProfile(m_profile); }
    CProfileObject(const CProfileObject&) = delete;
    CProfileObject& operator=(const CProfileObject&) = delete;

    cmsHPROFILE Profile() const { return m_profile; }

private:
    cmsHPROFILE m_profile;
};

// Red, green and blue gammas; false without the three tone curves.
bool ProfileGammas(cmsHPROFILE profile, float gammas[3]);
// x and y of the red, green and blue primaries; false without the three colorants.
bool ProfilePrimaries(cmsHPROFILE profile, float xy[6]);
// The white point's correlated colour temperature in kelvin; false without a media white point.
bool WhiteTemperature(cmsHPROFILE profile, double& kelvin);
