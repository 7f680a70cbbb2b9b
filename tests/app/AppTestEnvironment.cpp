#include "tests/app/AppTestEnvironment.h"

#include "core/messages/MessageCatalog.h"
#include "core/messages/MsgString.h"
#include "tests/support/Screenshot.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

CBrelvaneApp* g_pTestApp = nullptr;
std::string g_IniPath;

class CAppEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        g_IniPath = testsupport::ProgramDirectory() + "app_test.ini";
        g_pTestApp = new CBrelvaneApp;
        m_pSaved = g_pTestApp->m_pszProfileName;
        g_pTestApp->m_pszProfileName = g_IniPath.c_str();
        ResetTestIni();
        g_pMessageCatalog = new CMessageCatalog("ENG.MSG");
    }
    void TearDown() override
    {
        delete g_pMessageCatalog;
        g_pMessageCatalog = nullptr;
        g_pTestApp->m_pszProfileName = m_pSaved;
        delete g_pTestApp;
    }

private:
    LPCSTR m_pSaved = nullptr;
};

const auto* const g_pEnvironment = ::testing::AddGlobalTestEnvironment(new CAppEnvironment);

}  // namespace

CBrelvaneApp& TestApp()
{
    return *g_pTestApp;
}

const std::string& TestIniPath()
{
    return g_IniPath;
}

void ResetTestIni()
{
    DeleteFileA(g_IniPath.c_str());
}

std::string Text(int id)
{
    return (const char*)CMsgString(id);
}

std::string TextOf(HWND window)
{
    char text[512] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}
