#pragma once

// The application object of a test program, with its profile in a private INI file, set up once
// per run as a GoogleTest environment: the transports, the drivers and the scan job all read
// their settings through AfxGetApp().

#include <gtest/gtest.h>

#include <string>

class CWinApp;

namespace testsupport {

struct CTestApplicationOptions {
    bool freshIni = false;       // delete the INI file left by an earlier run
    bool englishCatalog = false; // load ENG.MSG as the current catalog
};

class CTestApplication : public ::testing::Environment {
public:
    CTestApplication(const char* name, std::string iniPath, CTestApplicationOptions options = {});
    void SetUp() override;
    void TearDown() override;

private:
    const char* m_pName;
    std::string m_IniPath;
    CTestApplicationOptions m_Options;
    CWinApp* m_pApp = nullptr;
    const char* m_pSavedProfile = nullptr;
};

}  // namespace testsupport
