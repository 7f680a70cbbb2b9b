#include "tests/support/TestApplication.h"

#include "framework/App.h"
#include "tests/support/Reports.h"

#include <utility>

namespace testsupport {

CTestApplication::CTestApplication(const char* name, std::string iniPath, CTestApplicationOptions options)
    : m_pName(name), m_IniPath(std::move(iniPath)), m_Options(options)
{
}

void CTestApplication::SetUp()
{
    if (m_Options.freshIni)
        DeleteFileA(m_IniPath.c_str());
    m_pApp = new CWinApp(m_pName);
    m_pSavedProfile = m_pApp->m_pszProfileName;
    m_pApp->m_pszProfileName = m_IniPath.c_str();
    if (m_Options.englishCatalog)
        LoadEnglishCatalog();
}

void CTestApplication::TearDown()
{
    m_pApp->m_pszProfileName = m_pSavedProfile;
    delete m_pApp;
    m_pApp = nullptr;
}

}  // namespace testsupport
