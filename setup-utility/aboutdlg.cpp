#include "aboutdlg.h"

// Opening (centred on the parent) and closing with OK or Cancel are the dialog base's: the
// box has no behaviour of its own.
const CAboutDlg::Map CAboutDlg::s_messageMap[] = {
    Map::Chain<ui::CDialogImpl<CAboutDlg>>(),
};

BOOL CAboutDlg::ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                     LRESULT &result)
{
    return ui::RouteMessage(this, s_messageMap, hwnd, msg, wParam, lParam, result);
}
