#include "dialogs/ChooseScannerDlg.h"

#include "core/devices/FoundDevice.h"
#include "core/messages/MsgString.h"
#include "framework/App.h"
#include "framework/Collections.h"
#include "framework/Controls.h"
#include "resources/dialogs/ChooseScanner.h"

namespace {

constexpr int kMsgCaption = 3028;
// Control ids in this range take the catalog text of their id.
constexpr int kFirstCatalogControl = 3001;
constexpr int kLastCatalogControl = 7999;

}  // namespace

BEGIN_MESSAGE_MAP(CChooseScannerDlg, CDialog)
    ON_BN_CLICKED(IDC_CHOOSE_SCANNER_OK, OnChoose)
    ON_LBN_DBLCLK(IDC_CHOOSE_SCANNER_LIST, OnChoose)
    ON_BN_CLICKED(IDC_CHOOSE_SCANNER_CANCEL, OnCancel)
END_MESSAGE_MAP()

CChooseScannerDlg::CChooseScannerDlg(CObList& devices, int* position, CWnd* parent)
    : CDialog(IDD_CHOOSE_SCANNER, parent), m_Devices(devices), m_pPosition(position)
{
}

BOOL CChooseScannerDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    SetWindowText(CMsgString(kMsgCaption));
    ShowCatalogTexts();
    CenterWindow(AfxGetMainWnd());
    FillDeviceList();
    return TRUE;
}

// The template carries only placeholders: each control shows the catalog text of its id.
void CChooseScannerDlg::ShowCatalogTexts()
{
    for (HWND child = ::GetWindow(m_hWnd, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
        int id = ::GetDlgCtrlID(child);
        if (id < kFirstCatalogControl || id > kLastCatalogControl || id == IDC_CHOOSE_SCANNER_LIST)
            continue;
        CMsgString text(id);
        if (!text.IsEmpty())
            ::SetWindowTextA(child, text);
    }
}

void CChooseScannerDlg::FillDeviceList()
{
    CListBox* list = static_cast<CListBox*>(GetDlgItem(IDC_CHOOSE_SCANNER_LIST));
    int position = 0;
    for (POSITION pos = m_Devices.GetHeadPosition(); pos != nullptr; ++position) {
        const CFoundDevice* device = static_cast<const CFoundDevice*>(m_Devices.GetNext(pos));
        int line = list->AddString(device->GetDescription());
        if (line >= 0)
            list->SetItemData(line, (DWORD_PTR)position);
    }
    list->SetCurSel(0);
}

void CChooseScannerDlg::OnChoose()
{
    CListBox* list = static_cast<CListBox*>(GetDlgItem(IDC_CHOOSE_SCANNER_LIST));
    int line = list->GetCurSel();
    if (line < 0)
        return;
    *m_pPosition = (int)list->GetItemData(line);
    EndDialog(1);
}

void CChooseScannerDlg::OnCancel() { EndDialog(0); }
