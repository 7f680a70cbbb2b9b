#pragma once

// The modal chooser the device search runs when it found several scanners: one line per device,
// and the list position of the chosen one back to the caller. It opens nothing itself.

#include "dialogs/LocalizedDialog.h"
#include "framework/Controls.h"

class CObList;

class CChooseScannerDlg : public CLocalizedDialog {
    DECLARE_MESSAGE_MAP()
public:
    // position receives the chosen device's list position, and only when one is chosen.
    CChooseScannerDlg(CObList& devices, int* position, CWnd* parent);

protected:
    BOOL OnInitDialog() override;
    void OnCancel() override;
    void OnChoose();

private:
    void FillDeviceList();

    CObList& m_Devices;
    int* m_pPosition;
    CListBox m_List;
};
