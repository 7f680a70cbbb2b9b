#include "dialogs/ChooseScannerDlg.h"

#include "core/devices/FoundDevice.h"
#include "core/messages/MsgString.h"
#include "framework/App.h"
#include "framework/Collections.h"
#include "resources/dialogs/ChooseScanner.h"

namespace {

constexpr int kMsgCaption = 3028;

}  // namespace

BEGIN_MESSAGE_MAP(CChooseScannerDlg, CLocalizedDialog)
    ON_BN_CLICKED(IDC_CHOOSE_SCANNER_OK, OnChoose)
    ON_LBN_DBLCLK(IDC_CHOOSE_SCANNER_LIST, OnChoose)
    ON_BN_CLICKED(IDC_CHOOSE_SCANNER_CANCEL, OnCancel)
END_MESSAGE_MAP()

CChooseScannerDlg::CChooseScannerDlg(CObList& devices, int* position, CWnd* parent)
    : CLocalizedDialog(IDD_CHOOSE_SCANNER, parent), m_Devices(devices), m_pPosition(position)
{
}

BOOL CChooseScannerDlg::OnInitDialog()
{
    CLocalizedDialog::OnInitDialog();
    m_List.SubclassDlgItem(IDC_CHOOSE_SCANNER_LIST, this);
    SetWindowText(CMsgString(kMsgCaption));
    CenterWindow(AfxGetMainWnd());
    FillDeviceList();
    return TRUE;
}

void CChooseScannerDlg::FillDeviceList()
{
    int position = 0;
    for (POSITION pos = m_Devices.GetHeadPosition(); pos != nullptr; ++position) {
        const CFoundDevice* device = static_cast<const CFoundDevice*>(m_Devices.GetNext(pos));
        int line = m_List.AddString(device->GetDescription());
        if (line >= 0)
            m_List.SetItemData(line, (DWORD_PTR)position);
    }
    m_List.SetCurSel(0);
}

void CChooseScannerDlg::OnChoose()
{
    int line = m_List.GetCurSel();
    if (line < 0)
        return;
    *m_pPosition = (int)m_List.GetItemData(line);
    EndDialog(1);
}

void CChooseScannerDlg::OnCancel() { EndDialog(0); }
