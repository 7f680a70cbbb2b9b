#include "dialogs/ChooseScannerDlg.h"

#include "core/devices/FoundDevice.h"
#include "core/messages/MsgString.h"
#include "dialogs/Localize.h"
#include "framework/App.h"
#include "framework/Collections.h"
#include "framework/Controls.h"
#include "resources/dialogs/ChooseScanner.h"

namespace {

constexpr int kMsgCaption = 3028;

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
    Localize(this);
    CenterWindow(AfxGetMainWnd());
    FillDeviceList();
    return TRUE;
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
