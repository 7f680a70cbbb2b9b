#include "framework/App.h"
#include "framework/File.h"

#include "tests/framework/TempFolder.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class ProfileTest : public testing::Test {
protected:
    ProfileTest() : m_iniPath(m_folder.Path("PRIVATE.INI")) { m_app.m_pszProfileName = m_iniPath.c_str(); }
    ~ProfileTest() override { m_app.m_pszProfileName = m_defaultProfile; }

    std::string FileText()
    {
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, m_iniPath.c_str());   // flush the cache
        CStdioFile file(m_iniPath.c_str(), CFile::modeRead | CFile::typeText);
        std::string text;
        CString line;
        while (file.ReadString(line))
            text += std::string(line) + "\n";
        return text;
    }

    CTempFolder m_folder;
    std::string m_iniPath;
    CWinApp m_app;
    LPCSTR m_defaultProfile = m_app.m_pszProfileName;
};

TEST_F(ProfileTest, DefaultProfileIsNamedAfterTheProgram)
{
    EXPECT_STREQ("framework_tests.INI", m_defaultProfile);
}

TEST_F(ProfileTest, WriteReadBackAndDelete)
{
    ASSERT_TRUE(m_app.WriteProfileString("General", "SettingsFile", "ZELK2.ZLK"));
    ASSERT_TRUE(m_app.WriteProfileInt("General", "LogSCSI", 1));
    ASSERT_TRUE(m_app.WriteProfileInt("Preview", "Offset", -12));
    EXPECT_STREQ("ZELK2.ZLK", m_app.GetProfileString("General", "SettingsFile", "other"));
    EXPECT_EQ(1u, m_app.GetProfileInt("General", "LogSCSI", 0));
    EXPECT_EQ(-12, (int)m_app.GetProfileInt("Preview", "Offset", 0));
    EXPECT_STREQ("ffffffff", m_app.GetProfileString("General", "Supported", "ffffffff"));
    EXPECT_EQ(7u, m_app.GetProfileInt("Sounds", "Missing", 7));
    EXPECT_STREQ("", m_app.GetProfileString("General", "Missing"));

    // A key written without a value is gone, and only that key.
    ASSERT_TRUE(m_app.WriteProfileString("General", "SettingsFile", nullptr));
    EXPECT_STREQ("gone", m_app.GetProfileString("General", "SettingsFile", "gone"));
    EXPECT_EQ(1u, m_app.GetProfileInt("General", "LogSCSI", 0));
    const std::string text = FileText();
    EXPECT_EQ(std::string::npos, text.find("SettingsFile")) << text;
    EXPECT_NE(std::string::npos, text.find("LogSCSI=1")) << text;
    EXPECT_NE(std::string::npos, text.find("[Preview]")) << text;
}

TEST_F(ProfileTest, LongValuesRoundTrip)
{
    const std::string value(3000, 'v');
    ASSERT_TRUE(m_app.WriteProfileString("Debug", "Long", value.c_str()));
    EXPECT_STREQ(value.c_str(), m_app.GetProfileString("Debug", "Long"));
}

// ---- the application object's life cycle ----

class CIdleApp : public CWinApp {
public:
    std::string m_idleCounts;   // the count of each OnIdle call, as digits
    int m_exits = 0;
    int m_seenPosted = 0;

    BOOL InitInstance() override
    {
        if (!m_window.CreateEx(0, nullptr, "idle", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr))
            return FALSE;
        m_pMainWnd = &m_window;
        m_window.PostMessage(WM_APP);
        return TRUE;
    }
    BOOL OnIdle(LONG count) override
    {
        m_idleCounts += (char)('0' + count);
        const BOOL more = CWinApp::OnIdle(count);
        if (count == 1)
            m_pMainWnd->DestroyWindow();   // ends Run through WM_QUIT
        return more;
    }
    int ExitInstance() override
    {
        ++m_exits;
        return CWinApp::ExitInstance() + 30;
    }

private:
    class CPostedWnd : public CWnd {
    protected:
        LRESULT OnPosted(WPARAM, LPARAM)
        {
            ++static_cast<CIdleApp*>(AfxGetApp())->m_seenPosted;
            return 0;
        }
        DECLARE_MESSAGE_MAP()
    };

    CPostedWnd m_window;
};

BEGIN_MESSAGE_MAP(CIdleApp::CPostedWnd, CWnd)
    ON_MESSAGE(WM_APP, OnPosted)
END_MESSAGE_MAP()

TEST(WinApp, RunDispatchesIdlesAndEndsWithMainWindow)
{
    CIdleApp app;
    EXPECT_EQ(&app, AfxGetApp());
    EXPECT_EQ(30, AfxWinMain(GetModuleHandleA(nullptr), nullptr, const_cast<LPSTR>("-e"), SW_HIDE));
    EXPECT_STREQ("-e", app.m_lpCmdLine);
    EXPECT_EQ(1, app.m_seenPosted);
    // Idle work runs after the queue empties: first the count-0 pass, then the one freeing temporaries.
    EXPECT_EQ("01", app.m_idleCounts);
    EXPECT_EQ(1, app.m_exits);
    EXPECT_EQ(nullptr, app.m_pMainWnd);
    EXPECT_EQ(nullptr, AfxGetMainWnd());
}

class CFailingApp : public CWinApp {
public:
    bool m_ran = false;
    int m_exits = 0;

    BOOL InitInstance() override { return FALSE; }
    int Run() override
    {
        m_ran = true;
        return CWinApp::Run();
    }
    int ExitInstance() override
    {
        ++m_exits;
        return 7;
    }
};

TEST(WinApp, FailedInitInstanceStillRunsExitInstance)
{
    CFailingApp app;
    EXPECT_EQ(7, AfxWinMain(GetModuleHandleA(nullptr), nullptr, const_cast<LPSTR>(""), SW_HIDE));
    EXPECT_EQ(1, app.m_exits);
    EXPECT_FALSE(app.m_ran);
}

TEST(WinApp, RunWithoutMainWindowEndsAtOnce)
{
    CWinApp app;
    EXPECT_EQ(0, AfxWinMain(GetModuleHandleA(nullptr), nullptr, const_cast<LPSTR>(""), SW_HIDE));
}

TEST(WinApp, NoApplicationObject)
{
    EXPECT_EQ(nullptr, AfxGetApp());
    EXPECT_EQ(-1, AfxWinMain(GetModuleHandleA(nullptr), nullptr, const_cast<LPSTR>(""), SW_HIDE));
}

}  // namespace
