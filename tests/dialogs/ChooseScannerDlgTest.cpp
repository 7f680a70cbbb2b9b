// The Choose Scanner dialog on screen: a timer of the test thread plays the user while DoModal runs,
// sending the notifications the controls themselves send.

#include "tests/support/OwnWindows.h"
#include "core/devices/FoundDevice.h"
#include "core/messages/MessageCatalog.h"
#include "core/messages/MsgString.h"
#include "core/scsi/ScsiBuffer.h"
#include "dialogs/ChooseScannerDlg.h"
#include "framework/Collections.h"
#include "resources/dialogs/ChooseScanner.h"
#include "tests/support/Screenshot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

class CatalogEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        auto* catalog = new CMessageCatalog(CString("ENG.MSG"));
        std::string path = testsupport::ProgramDirectory() + "ENG.MSG";
        ASSERT_TRUE(catalog->Load(CString(path.c_str())));
        catalog->m_nState = kCatalogLoaded;
        g_pMessageCatalog = catalog;
    }
};

const auto* const g_pCatalog = ::testing::AddGlobalTestEnvironment(new CatalogEnvironment);

std::function<void(HWND)> g_Script;
HWND g_hDialog = nullptr;
bool g_bScriptRan = false;
int g_nTicks = 0;

// Finds the dialog among the thread's windows, then runs the script once.
void CALLBACK PlayUser(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND dialog = testsupport::FindOwnWindow(CMsgString(3028));
    if (dialog == nullptr || !::IsWindowVisible(dialog)) {
        // Never shown within the watchdog time: give up rather than hang the run.
        if (++g_nTicks > 200)
            ::KillTimer(nullptr, timer);
        return;
    }
    ::KillTimer(nullptr, timer);
    g_hDialog = dialog;
    g_bScriptRan = true;
    g_Script(dialog);
}

void AddDevice(CObList& devices, const char* product, uint8_t target)
{
    auto* inquiry = new CScsiInquiryBuffer;
    uint8_t* data = inquiry->GetData();
    data[0] = 6;
    data[4] = 31;
    memcpy(data + 8, "ZELK    ", 8);
    memset(data + 16, ' ', 16);
    memcpy(data + 16, product, strlen(product));
    devices.AddTail(new CFoundDevice(inquiry, target, 0, 0));
}

class ChooseScannerDlgTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        for (POSITION pos = m_Devices.GetHeadPosition(); pos != nullptr;)
            delete static_cast<CFoundDevice*>(m_Devices.GetNext(pos));
        m_Devices.RemoveAll();
    }

    // Runs the dialog with the script; returns DoModal's result.
    INT_PTR Run(std::function<void(HWND)> script)
    {
        g_Script = std::move(script);
        g_bScriptRan = false;
        g_nTicks = 0;
        ::SetTimer(nullptr, 0, 50, PlayUser);
        CChooseScannerDlg dialog(m_Devices, &m_nPosition, nullptr);
        INT_PTR result = dialog.DoModal();
        EXPECT_TRUE(g_bScriptRan);
        return result;
    }

    static HWND List(HWND dialog) { return ::GetDlgItem(dialog, IDC_CHOOSE_SCANNER_LIST); }
    static std::vector<std::string> Lines(HWND dialog)
    {
        std::vector<std::string> lines;
        int count = (int)::SendMessageA(List(dialog), LB_GETCOUNT, 0, 0);
        for (int i = 0; i < count; ++i) {
            char text[64] = {};
            ::SendMessageA(List(dialog), LB_GETTEXT, (WPARAM)i, (LPARAM)text);
            lines.push_back(text);
        }
        return lines;
    }
    static void Click(HWND dialog, int id) { ::SendMessageA(::GetDlgItem(dialog, id), BM_CLICK, 0, 0); }
    static void Key(HWND dialog, UINT key)
    {
        ::PostMessageA(List(dialog), WM_KEYDOWN, key, 0);
        ::PostMessageA(List(dialog), WM_KEYUP, key, 0xC0000000);
    }

    CObList m_Devices;
    int m_nPosition = -7;
};

}  // namespace

TEST_F(ChooseScannerDlgTest, LinesAreSortedAndEnterTakesTheFirst)
{
    AddDevice(m_Devices, "TELMARI", 2);
    AddDevice(m_Devices, "KOVAL", 4);
    AddDevice(m_Devices, "BIRAVO", 5);
    std::vector<std::string> lines;
    std::string caption, prompt, okText;
    std::string screenshot;
    INT_PTR result = Run([&](HWND dialog) {
        lines = Lines(dialog);
        char text[128] = {};
        ::GetWindowTextA(dialog, text, sizeof text);
        caption = text;
        ::GetDlgItemTextA(dialog, IDC_CHOOSE_SCANNER_PROMPT, text, sizeof text);
        prompt = text;
        ::GetDlgItemTextA(dialog, IDC_CHOOSE_SCANNER_OK, text, sizeof text);
        okText = text;
        ::UpdateWindow(dialog);
        screenshot = testsupport::TakeScreenshot("choose_scanner");
        ::SetFocus(List(dialog));
        Key(dialog, VK_RETURN);
    });
    EXPECT_EQ(1, result);
    EXPECT_EQ(2, m_nPosition) << "the alphabetically first line, not the first device found";
    EXPECT_EQ((std::vector<std::string>{"BIRAVO          ", "KOVAL           ", "TELMARI         "}), lines);
    EXPECT_STREQ(CMsgString(3028), caption.c_str());
    EXPECT_STREQ(CMsgString(3943), prompt.c_str());
    EXPECT_STREQ(CMsgString(3820), okText.c_str());
    EXPECT_FALSE(screenshot.empty());
}

TEST_F(ChooseScannerDlgTest, IdenticalLinesKeepTheirOwnPositions)
{
    AddDevice(m_Devices, "KOVAL", 2);
    AddDevice(m_Devices, "KOVAL", 6);
    std::vector<int> chosen;
    for (int line = 0; line < 2; ++line) {
        INT_PTR result = Run([&](HWND dialog) {
            ::SendMessageA(List(dialog), LB_SETCURSEL, (WPARAM)line, 0);
            Click(dialog, IDC_CHOOSE_SCANNER_OK);
        });
        EXPECT_EQ(1, result);
        chosen.push_back(m_nPosition);
    }
    std::sort(chosen.begin(), chosen.end());
    EXPECT_EQ((std::vector<int>{0, 1}), chosen);
}

TEST_F(ChooseScannerDlgTest, DoubleClickChooses)
{
    AddDevice(m_Devices, "KOVAL", 2);
    AddDevice(m_Devices, "BIRAVO", 6);
    INT_PTR result = Run([&](HWND dialog) {
        HWND list = List(dialog);
        ::SendMessageA(list, LB_SETCURSEL, 1, 0);
        // What the list box sends its parent on a double click.
        ::SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_CHOOSE_SCANNER_LIST, LBN_DBLCLK), (LPARAM)list);
    });
    EXPECT_EQ(1, result);
    EXPECT_EQ(0, m_nPosition);
}

TEST_F(ChooseScannerDlgTest, CancelAndEscapeLeaveThePositionAlone)
{
    AddDevice(m_Devices, "KOVAL", 2);
    AddDevice(m_Devices, "BIRAVO", 6);
    EXPECT_EQ(0, Run([](HWND dialog) { Click(dialog, IDC_CHOOSE_SCANNER_CANCEL); }));
    EXPECT_EQ(-7, m_nPosition);
    EXPECT_EQ(0, Run([](HWND dialog) {
        ::SetFocus(List(dialog));
        Key(dialog, VK_ESCAPE);
    }));
    EXPECT_EQ(-7, m_nPosition);
}
