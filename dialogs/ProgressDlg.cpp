#include "dialogs/ProgressDlg.h"

#include "core/messages/MsgString.h"
#include "framework/App.h"
#include "resources/dialogs/Progress.h"

namespace {

// Pass k of a three-pass operation reports 1000 x k + its own percentage; the bar ends pass 1 at a
// third, pass 2 at two thirds and pass 3 full, so the bar never runs backwards between passes. The
// bar never leaves its frame, whatever a caller sends.
uint32_t BarPercent(uint32_t value)
{
    uint32_t percent = value;
    if (value > 1000 && value < 2000)
        percent = (value - 1000) / 3;
    else if (value >= 2000 && value < 3000)
        percent = 2 * (value - 2000) / 3;
    else if (value >= 3000 && value < 4000)
        percent = value - 3000;
    return percent < 100 ? percent : 100;
}

}  // namespace

BEGIN_MESSAGE_MAP(CProgressDlg, CLocalizedDialog)
    ON_BN_CLICKED(IDC_PROGRESS_CANCEL, OnCancel)
END_MESSAGE_MAP()

CProgressDlg::CProgressDlg(const CString& caption, uint16_t textId)
    : CLocalizedDialog(IDD_PROGRESS), m_strCaption(caption), m_nTextId(textId)
{
}

BOOL CProgressDlg::OnInitDialog()
{
    CLocalizedDialog::OnInitDialog();
    SetWindowText(m_strCaption);
    if (m_nTextId != 0)
        SetDlgItemText(IDC_PROGRESS_TEXT, CMsgString(m_nTextId));
    CenterWindow(AfxGetMainWnd());
    return TRUE;
}

void CProgressDlg::OnCancel() { m_bCancel = 1; }

void CProgressDlg::SetProgress(uint32_t value, const CString& text)
{
    if (m_Bar.m_hObject == nullptr && m_Bar.LoadBitmap(IDB_PROGRESS_BAR)) {
        BITMAP info = {};
        m_Bar.GetBitmap(&info);
        m_BarSize = CSize(info.bmWidth, info.bmHeight);
    }
    DrawBar(BarPercent(value));
    if (!text.IsEmpty())
        SetDlgItemText(IDC_PROGRESS_TEXT, text);
}

// Nothing is erased first: a shorter bar leaves the longer one visible until the next repaint.
void CProgressDlg::DrawBar(uint32_t percent)
{
    CWnd* frame = GetDlgItem(IDC_PROGRESS_FRAME);
    if (m_Bar.m_hObject == nullptr || frame == nullptr)
        return;
    CRect inside;
    frame->GetWindowRect(&inside);
    ScreenToClient(&inside);
    CClientDC dc(this);
    CDC memory;
    if (!memory.CreateCompatibleDC(&dc))
        return;
    CBitmap* previous = memory.SelectObject(&m_Bar);
    const int width = (int)((int64_t)(inside.Width() - 4) * percent / 100);
    dc.StretchBlt(inside.left + 2, inside.top + 2, width, inside.Height() - 4, &memory, 0, 0, m_BarSize.cx,
                  m_BarSize.cy, SRCCOPY);
    memory.SelectObject(previous);
}
