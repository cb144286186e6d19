// The main frame of the setup utility: command bar, toolbar and status bar around a splitter
// with the tree of device classes and devices (left, in a captioned pane) and the list of
// devices or logical device names (right). Every user command arrives in the frame's message
// map. The frame itself handles creation and destruction, Exit, the bar toggles and About;
// the tree, the list and the device commands belong to the handlers declared further down,
// defined with the dialogs they open.
#pragma once

#include "cmdbar.h"
#include "controls.h"
#include "frame.h"
#include "module.h"
#include "pane.h"
#include "resource.h"
#include "splitter.h"
#include "updateui.h"

#include <string>

class CMainFrame : public ui::CFrameWindowImpl<CMainFrame>,
                   public ui::CUpdateUI<CMainFrame>,
                   public ui::CMessageFilter,
                   public ui::CIdleHandler
{
public:
    static ui::WndClassInfo GetWndClassInfo();
    static const ui::UpdateUIEntry *GetUpdateUIMap(size_t &count);

    BOOL ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                              LRESULT &result) override;
    BOOL PreTranslateMessage(MSG *msg) override;
    BOOL OnIdle() override;

    // The frame's parts, for the pieces that fill them and for tests.
    ui::CSplitterWindow &GetSplitter() { return m_splitter; }
    ui::CPaneContainer &GetPaneContainer() { return m_pane; }
    ui::CTreeViewCtrl &GetTree() { return m_tree; }
    ui::CListViewCtrl &GetList() { return m_list; }
    ui::CCommandBarCtrl &GetCommandBar() { return m_cmdBar; }
    LONG GetHighestComPort() const { return m_highestComPort; }
    LONG GetHighestLptPort() const { return m_highestLptPort; }

    // Reloads the tree of device classes and devices from the registry.
    void ReloadTree();

private:
    using Map = ui::MsgEntry<CMainFrame>;
    static const Map s_messageMap[];

    // --- The frame's own handlers (MainFrm.cpp) ---
    LRESULT OnCreate(UINT /*msg*/, WPARAM /*wParam*/, LPARAM /*lParam*/, BOOL & /*handled*/);
    LRESULT OnDestroy(UINT /*msg*/, WPARAM /*wParam*/, LPARAM /*lParam*/, BOOL &handled);
    LRESULT OnFileExit(WORD /*code*/, WORD /*id*/, HWND /*control*/, BOOL & /*handled*/);
    LRESULT OnFileNew(WORD /*code*/, WORD /*id*/, HWND /*control*/, BOOL & /*handled*/);
    LRESULT OnViewToolBar(WORD /*code*/, WORD /*id*/, HWND /*control*/, BOOL & /*handled*/);
    LRESULT OnViewStatusBar(WORD /*code*/, WORD /*id*/, HWND /*control*/, BOOL & /*handled*/);
    LRESULT OnAppAbout(WORD /*code*/, WORD /*id*/, HWND /*control*/, BOOL & /*handled*/);

    // --- Tree and list (DeviceTree.cpp) ---
    LRESULT OnDeleteSelected(WORD /*code*/, WORD /*id*/, HWND /*control*/, BOOL & /*handled*/);
    LRESULT ReloadTree(WORD /*code*/, WORD /*id*/, HWND /*control*/, BOOL & /*handled*/);
    LRESULT OnContextMenu(int /*idCtrl*/, LPNMHDR /*header*/, BOOL & /*handled*/);
    LRESULT OnListDblClk(int /*idCtrl*/, LPNMHDR /*header*/, BOOL & /*handled*/);
    LRESULT FillDeviceList(int /*idCtrl*/, LPNMHDR /*header*/, BOOL & /*handled*/);
    LRESULT OnViewStyle(WORD /*code*/, WORD /*id*/, HWND /*control*/, BOOL & /*handled*/);
    // Context menus: the menu of a tree item, or the list's menu with the row it was opened
    // on (-1: none), at a screen position; the command chosen runs before they return.
    void TrackTreeMenu(HTREEITEM item, POINT at);
    void TrackListMenu(int row, POINT at);
    UINT TrackContextMenu(int subMenu, POINT at);
    // Shift+F10 or the context-menu key in the tree or the list: the focused item's menu.
    // True when the key was taken.
    bool OpenMenuFromKey(const MSG &msg);
    // --- Adding a device (AddDevDlg.cpp) ---
    LRESULT OnAddDevice(WORD /*code*/, WORD /*id*/, HWND /*control*/, BOOL & /*handled*/);
    // --- Logical device names (AddLdnDlg.cpp) ---
    LRESULT DeleteLdn(WORD /*code*/, WORD /*id*/, HWND /*control*/, BOOL & /*handled*/);
    LRESULT OnAddLdn(WORD /*code*/, WORD /*id*/, HWND /*control*/, BOOL & /*handled*/);
    LRESULT OnRenameLdn(WORD /*code*/, WORD /*id*/, HWND /*control*/, BOOL & /*handled*/);
    LRESULT RenameLdn(int /*idCtrl*/, LPNMHDR /*header*/, BOOL & /*handled*/);
    LRESULT OnBeginLabelEdit(int /*idCtrl*/, LPNMHDR /*header*/, BOOL & /*handled*/);
    // --- Deleting a device, properties (DevDetail.cpp) ---
    LRESULT DeleteDevice(WORD /*code*/, WORD /*id*/, HWND /*control*/, BOOL & /*handled*/);
    LRESULT OnProperty(WORD /*code*/, WORD /*id*/, HWND /*control*/, BOOL & /*handled*/);
    // --- Interactive health check (HealthCheck.cpp) ---
    LRESULT CheckHealthInteractive(WORD /*code*/, WORD /*id*/, HWND /*control*/, BOOL & /*handled*/);
    // --- Port settings and port range (PortConfigDlg.cpp, PortRangeDlg.cpp) ---
    LRESULT OnCommSettings(WORD /*code*/, WORD /*id*/, HWND /*control*/, BOOL & /*handled*/);
    LRESULT OnPortRange(WORD /*code*/, WORD /*id*/, HWND /*control*/, BOOL & /*handled*/);

    // Members are destroyed in reverse order: the old name first, the splitter last.
    ui::CSplitterWindow m_splitter;     // client: pane container left, list right
    ui::CPaneContainer m_pane;          // caption "Device" over the tree
    ui::CTreeViewCtrl m_tree;
    ui::CListViewCtrl m_list;
    ui::CCommandBarCtrl m_cmdBar;
    // Owned by the list view (created without LVS_SHAREIMAGELISTS), which destroys them with
    // itself; the tree borrows the small one.
    ui::CImageList m_smallImages;
    ui::CImageList m_largeImages;
    // The highest port numbers the port dialogs offer; the port range command changes them
    // for this run only.
    LONG m_highestComPort = 0;
    LONG m_highestLptPort = 0;
    // While a list label is being edited: its edit box and the name before the edit.
    ui::CEdit m_labelEdit;
    std::wstring m_oldName;
    // While a command chosen from a class's context menu runs: that class.
    std::wstring m_menuClass;
    // A context-menu key went down and opened a menu: its key-up is taken too.
    bool m_menuKeyDown = false;
    // The toolbar band's state as the View menu last set it (the band is not asked).
    bool m_toolBarVisible = true;
};
