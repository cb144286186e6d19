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
    // The package that Install and Uninstall unpack: the program's own (LoadPackage) unless
    // another is given here; null data gives the program's own again. The bytes must outlive
    // the dialog's use of them.
    void UsePackage(const void *data, DWORD size)
    {
        m_package = data;
        m_packageSize = size;
    }

private:
    using Map = ui::MsgEntry<CMainDlg>;
    static const Map s_messageMap[];

    LRESULT OnInitDialog(UINT /*msg*/, WPARAM /*wParam*/, LPARAM /*lParam*/, BOOL & /*handled*/);
    LRESULT OnRefresh(WORD /*code*/, WORD /*id*/, HWND /*control*/, BOOL & /*handled*/);
    LRESULT OnInstall(WORD /*code*/, WORD /*id*/, HWND /*control*/, BOOL & /*handled*/);
    LRESULT OnUninstall(WORD /*code*/, WORD /*id*/, HWND /*control*/, BOOL & /*handled*/);
    LRESULT OnChgPortNo(WORD /*code*/, WORD /*id*/, HWND /*control*/, BOOL & /*handled*/);
    // The package to unpack, as LoadPackage gives it.
    const void *Package(DWORD *size) const;

    ui::CListViewCtrl m_list;
    HICON m_classIcon = nullptr;   // the ports class icon; null when the program's own is used
    const void *m_package = nullptr;
    DWORD m_packageSize = 0;
};
