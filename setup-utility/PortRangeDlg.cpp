#include "PortRangeDlg.h"

#include "MainFrm.h"
#include "strings.h"

#include <commctrl.h>

namespace {

// The integer an edit of the dialog holds (blanks around it allowed); false when it holds none.
bool EditInteger(HWND dialog, int id, LONG &value)
{
    int number = 0;
    ui::DataExchange dx(dialog, true);
    dx.Int(id, number);
    if (!dx.Ok())
        return false;
    value = number;
    return true;
}

} // namespace

const CPortRangeDlg::Map CPortRangeDlg::s_messageMap[] = {
    Map::CommandCode(IDC_RANGE_COM_DEFAULT, BN_CLICKED, &CPortRangeDlg::OnComDefault),
    Map::CommandCode(IDC_RANGE_LPT_DEFAULT, BN_CLICKED, &CPortRangeDlg::OnLptDefault),
    Map::CommandCode(IDOK, BN_CLICKED, &CPortRangeDlg::OnOK),
    Map::CommandCode(IDCANCEL, BN_CLICKED, &CPortRangeDlg::OnEndCancel),
    Map::Message(WM_INITDIALOG, &CPortRangeDlg::OnInitDialog),
    Map::Message(WM_CLOSE, &CPortRangeDlg::OnCloseCancel),
};

BOOL CPortRangeDlg::ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                         LRESULT &result)
{
    return ui::RouteMessage(this, s_messageMap, hwnd, msg, wParam, lParam, result);
}

LRESULT CPortRangeDlg::OnInitDialog(UINT, WPARAM, LPARAM, BOOL &)
{
    m_comSpin = GetDlgItem(IDC_RANGE_COM_SPIN);
    m_lptSpin = GetDlgItem(IDC_RANGE_LPT_SPIN);
    SetDlgItemInt(m_hWnd, IDC_RANGE_COM, static_cast<UINT>(m_maxCom), TRUE);
    SetDlgItemInt(m_hWnd, IDC_RANGE_LPT, static_cast<UINT>(m_maxLpt), TRUE);

    const struct { HWND spin; int edit; LONG high; LONG position; } spins[] = {
        {m_comSpin, IDC_RANGE_COM, kDefaultMaxCom, m_maxCom},
        {m_lptSpin, IDC_RANGE_LPT, kDefaultMaxLpt, m_maxLpt},
    };
    for (const auto &s : spins) {
        ::SendMessageW(s.spin, UDM_SETBUDDY, reinterpret_cast<WPARAM>(GetDlgItem(s.edit)), 0);
        ::SendMessageW(s.spin, UDM_SETRANGE32, 1, s.high);
        ::SendMessageW(s.spin, UDM_SETPOS32, 0, s.position);
    }
    CenterWindow(GetParent());
    return FALSE;
}

LRESULT CPortRangeDlg::OnComDefault(WORD, WORD, HWND, BOOL &)
{
    SetDlgItemInt(m_hWnd, IDC_RANGE_COM, static_cast<UINT>(kDefaultMaxCom), TRUE);
    return 0;
}

LRESULT CPortRangeDlg::OnLptDefault(WORD, WORD, HWND, BOOL &)
{
    SetDlgItemInt(m_hWnd, IDC_RANGE_LPT, 1, TRUE);
    return 0;
}

bool CPortRangeDlg::SaveNumbers()
{
    const struct { int edit; LONG *value; } numbers[] = {
        {IDC_RANGE_COM, &m_maxCom}, {IDC_RANGE_LPT, &m_maxLpt},
    };
    for (const auto &n : numbers) {
        if (!EditInteger(m_hWnd, n.edit, *n.value)) {
            *n.value = 0;
            MessageBeep(MB_ICONEXCLAMATION);
            ::SetFocus(GetDlgItem(n.edit));
            return false;
        }
    }
    return true;
}

bool CPortRangeDlg::CheckRange(int spinId, int editId)
{
    int low = 0, high = 0;
    ::SendMessageW(GetDlgItem(spinId), UDM_GETRANGE32, reinterpret_cast<WPARAM>(&low),
                   reinterpret_cast<LPARAM>(&high));
    LONG value = 0;
    if (!EditInteger(m_hWnd, editId, value))
        value = 0;
    if (value >= low && value <= high)
        return true;
    ui::ShowMessageBox(m_hWnd, IDS_OUT_OF_RANGE, IDS_WARNING, MB_OK | MB_ICONEXCLAMATION);
    ::SetFocus(GetDlgItem(editId));
    return false;
}

LRESULT CPortRangeDlg::OnOK(WORD, WORD, HWND, BOOL &)
{
    SaveNumbers();   // the range checks below decide, whatever the exchange found
    if (CheckRange(IDC_RANGE_COM_SPIN, IDC_RANGE_COM) && CheckRange(IDC_RANGE_LPT_SPIN, IDC_RANGE_LPT))
        EndDialog(IDOK);
    return 0;
}

// --- The main frame's command ---------------------------------------------------------------------

LRESULT CMainFrame::OnPortRange(WORD, WORD, HWND, BOOL &)
{
    CPortRangeDlg dialog(m_highestComPort, m_highestLptPort);
    if (dialog.DoModal() == IDOK) {
        m_highestComPort = dialog.GetMaxCom();
        m_highestLptPort = dialog.GetMaxLpt();
    }
    return 0;
}
