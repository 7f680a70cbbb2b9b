#pragma once

// A record and a driver installed as the program's current ones for the length of a test.

#include "core/driver/ScannerDriver.h"
#include "core/settings/ScanSettings.h"

#include <gtest/gtest.h>

// A base driver whose resolution clamp and fixed gamma a test can choose.
class CTestDriver : public CScannerDriver {
public:
    CTestDriver() { InitCapabilities(); }

    uint32_t ClampResolutionX(uint32_t resolution) override
    {
        const CResolutionRange& range = m_ResolutionRange[0];
        return resolution < range.m_nMinimum ? range.m_nMinimum
             : resolution > range.m_nMaximum ? range.m_nMaximum : resolution;
    }
    double GetGammaOverride() override { return m_fGamma; }

    double m_fGamma = 1.0;
};

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_pScanSettings = &m_Settings;
        g_pScannerDriver = &m_Driver;
    }
    void TearDown() override
    {
        g_pScanSettings = nullptr;
        g_pScannerDriver = nullptr;
    }

    void SetCurrentType(int32_t type) { m_Settings.SetParamAllTypes(kParamImageType, type); }

    CScanSettings m_Settings;
    CTestDriver m_Driver;
};
