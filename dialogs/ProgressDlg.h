#pragma once

// The small modeless window that follows a long operation: a line of text, a bar of a stretched
// bitmap and a Cancel button. Its owner creates it without a parent, feeds it SetProgress and reads
// m_bCancel between steps; Cancel only raises the flag, the owner decides when the window goes.

#include "dialogs/LocalizedDialog.h"
#include "framework/Gdi.h"

#include <cstdint>

class CProgressDlg : public CLocalizedDialog {
    DECLARE_MESSAGE_MAP()
public:
    // textId 0 keeps the template's message line as localized.
    CProgressDlg(const CString& caption, uint16_t textId);

    // value: a percentage, or 1000 x pass + percentage within pass 1, 2 or 3 of a three-pass
    // operation. An empty text leaves the message line as it is.
    void SetProgress(uint32_t value, const CString& text);

    int m_bCancel = 0;

protected:
    BOOL OnInitDialog() override;
    void OnCancel() override;

private:
    void DrawBar(uint32_t percent);

    CBitmap m_Bar;
    CSize m_BarSize;
    CString m_strCaption;
    uint16_t m_nTextId;
};
