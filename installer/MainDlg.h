// The installer's main dialog: the installed virtual ports, and Refresh, Install, Uninstall
// and Chg. Port No.
#pragma once

#include "controls.h"
#include "dialog.h"
#include "resource.h"

class CMainDlg : public ui::CDialogImpl<CMainDlg>
{
public:
    enum { IDD = IDD_MAIN };

    BOOL ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                              LRESULT &result) override;

    // Lists the present devices of the virtual port interface with their port names.
    void OnRefresh();
    ui::CListViewCtrl &GetList() { return m_list; }

private:
    using Map = ui::MsgEntry<CMainDlg>;
    static const Map s_messageMap[];

    LRESULT OnInitDialog(UINT /*msg*/, WPARAM /*wParam*/, LPARAM /*lParam*/, BOOL & /*handled*/);
    LRESULT OnRefresh(WORD /*code*/, WORD /*id*/, HWND /*control*/, BOOL & /*handled*/);
    LRESULT OnInstall(WORD /*code*/, WORD /*id*/, HWND /*control*/, BOOL & /*handled*/);
    LRESULT OnUninstall(WORD /*code*/, WORD /*id*/, HWND /*control*/, BOOL & /*handled*/);
    LRESULT OnChgPortNo(WORD /*code*/, WORD /*id*/, HWND /*control*/, BOOL & /*handled*/);

    ui::CListViewCtrl m_list;
    HICON m_classIcon = nullptr;   // the ports class icon; null when the program's own is used
};
