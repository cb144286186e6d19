#include "MainFrm.h"

#include "aboutdlg.h"
#include "strings.h"

#include <commctrl.h>

namespace {

const DWORD kCommandBarStyle = ui::kBarStyle;                      // 0x5600004C
const DWORD kToolBarStyle = ui::kToolBarStyle;                     // 0x5600094C
const DWORD kReBarStyle = ui::kReBarStyle;                         // 0x56002640
const DWORD kStatusBarStyle = ui::kStatusBarStyle;
const DWORD kTreeStyle = ui::kChildStyle | TVS_HASLINES | TVS_LINESATROOT | TVS_HASBUTTONS |
                         TVS_SHOWSELALWAYS;
const DWORD kListStyle = ui::kChildStyle | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS |
                         LVS_EDITLABELS;                           // 0x20D in the low bits

const int kSplitterPercent = 25;
// Wider screens get the frame at this size; narrower ones keep the system's default size.
const int kFrameWidth = 800;
const int kFrameHeight = 600;

const ui::UpdateUIEntry kUpdateUIMap[] = {
    // command                   shown in
    {ID_VIEW_LARGEICON,          ui::UPDUI_MENUPOPUP | ui::UPDUI_TOOLBAR},
    {ID_VIEW_SMALLICON,          ui::UPDUI_MENUPOPUP | ui::UPDUI_TOOLBAR},
    {ID_VIEW_LIST,               ui::UPDUI_MENUPOPUP | ui::UPDUI_TOOLBAR},
    {ID_VIEW_DETAILS,            ui::UPDUI_MENUPOPUP | ui::UPDUI_TOOLBAR},
    {ID_VIEW_TOOLBAR,            ui::UPDUI_MENUPOPUP},
    {ID_VIEW_STATUS_BAR,         ui::UPDUI_MENUPOPUP},
    {ID_EDIT_CUT,                ui::UPDUI_MENUPOPUP | ui::UPDUI_TOOLBAR},
    {ID_EDIT_COPY,               ui::UPDUI_MENUPOPUP | ui::UPDUI_TOOLBAR},
    {ID_EDIT_PASTE,              ui::UPDUI_MENUPOPUP | ui::UPDUI_TOOLBAR},
    {ID_DEVICE_SPECIFIC_BUTTON,  ui::UPDUI_MENUPOPUP | ui::UPDUI_TOOLBAR},
    {ID_EDIT_COMMSETTINGS,       ui::UPDUI_MENUPOPUP | ui::UPDUI_TOOLBAR},
    {ID_DEVICE_DELETE,           ui::UPDUI_MENUPOPUP | ui::UPDUI_TOOLBAR},
    {ID_TOOLS_CHECKHEALTH,       ui::UPDUI_MENUPOPUP | ui::UPDUI_TOOLBAR},
    {ID_EDIT_ADDLDN,             ui::UPDUI_MENUPOPUP | ui::UPDUI_TOOLBAR},
    {ID_EDIT_SELECT_ALL,         ui::UPDUI_MENUPOPUP | ui::UPDUI_TOOLBAR},
    {ID_EDIT_INVERTSELECTION,    ui::UPDUI_MENUPOPUP | ui::UPDUI_TOOLBAR},
    {ID_FILE_PROPERTY,           ui::UPDUI_MENUPOPUP | ui::UPDUI_TOOLBAR},
};

// Commands without a use until an item is selected, and those the program never offers.
const UINT kDisabledAtStart[] = {
    ID_EDIT_CUT, ID_EDIT_COPY, ID_EDIT_PASTE, ID_EDIT_SELECT_ALL, ID_EDIT_INVERTSELECTION,
    ID_DEVICE_SPECIFIC_BUTTON, ID_EDIT_COMMSETTINGS, ID_DEVICE_DELETE, ID_TOOLS_CHECKHEALTH,
    ID_EDIT_ADDLDN, ID_FILE_PROPERTY,
};

} // namespace

// Tested in this order; a notification entry matches its code from any control, so those
// handlers check the sender.
const CMainFrame::Map CMainFrame::s_messageMap[] = {
    // message, id or code                              handler
    Map::Command(ID_EDIT_DELETESELECTED,                &CMainFrame::OnDeleteSelected),
    Map::Command(ID_EDIT_REFRESH,                       &CMainFrame::ReloadTree),
    Map::Command(ID_TOOLS_CHECKHEALTH,                  &CMainFrame::CheckHealthInteractive),
    Map::Command(ID_DEVICE_DELETE,                      &CMainFrame::DeleteDevice),
    Map::Command(ID_NAME_DELETELDN,                     &CMainFrame::DeleteLdn),
    Map::Command(ID_EDIT_ADDDEVICE,                     &CMainFrame::OnAddDevice),
    Map::Command(ID_EDIT_ADDLDN,                        &CMainFrame::OnAddLdn),
    Map::Command(ID_EDIT_RENAMELDN,                     &CMainFrame::OnRenameLdn),
    Map::Notify(LVN_ENDLABELEDIT,                       &CMainFrame::RenameLdn),
    Map::Notify(LVN_BEGINLABELEDIT,                     &CMainFrame::OnBeginLabelEdit),
    Map::Command(ID_EDIT_COMMSETTINGS,                  &CMainFrame::OnCommSettings),
    Map::Command(ID_FILE_PROPERTY,                      &CMainFrame::OnProperty),
    Map::Command(ID_OPTION_PORTRANGE,                   &CMainFrame::OnPortRange),
    Map::Notify(NM_RCLICK,                              &CMainFrame::OnContextMenu),
    Map::Notify(NM_DBLCLK,                              &CMainFrame::OnListDblClk),
    Map::Notify(TVN_SELCHANGED,                         &CMainFrame::FillDeviceList),
    Map::CommandRange(ID_VIEW_LARGEICON, ID_VIEW_DETAILS, &CMainFrame::OnViewStyle),
    Map::Message(WM_CREATE,                             &CMainFrame::OnCreate),
    Map::Message(WM_DESTROY,                            &CMainFrame::OnDestroy),
    Map::Command(ID_APP_EXIT,                           &CMainFrame::OnFileExit),
    Map::Command(ID_FILE_NEW,                           &CMainFrame::OnFileNew),
    Map::Command(ID_VIEW_TOOLBAR,                       &CMainFrame::OnViewToolBar),
    Map::Command(ID_VIEW_STATUS_BAR,                    &CMainFrame::OnViewStatusBar),
    Map::Command(ID_APP_ABOUT,                          &CMainFrame::OnAppAbout),
    Map::Chain<ui::CUpdateUI<CMainFrame>>(),
    Map::Chain<ui::CFrameWindowImpl<CMainFrame>>(),
};

ui::WndClassInfo CMainFrame::GetWndClassInfo()
{
    return {L"BrenvikMainFrame", 0, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1), IDC_ARROW,
            IDR_MAINFRAME};
}

const ui::UpdateUIEntry *CMainFrame::GetUpdateUIMap(size_t &count)
{
    count = sizeof(kUpdateUIMap) / sizeof(kUpdateUIMap[0]);
    return kUpdateUIMap;
}

BOOL CMainFrame::ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                      LRESULT &result)
{
    return ui::RouteMessage(this, s_messageMap, hwnd, msg, wParam, lParam, result);
}

BOOL CMainFrame::PreTranslateMessage(MSG *msg)
{
    // Every key of the thread passes here, the list's label edit box included: the keyboard
    // table wins over the edit box. The context-menu keys of the tree and the list come first.
    if (OpenMenuFromKey(*msg))
        return TRUE;
    return ui::CFrameWindowImpl<CMainFrame>::PreTranslateMessage(msg);
}

BOOL CMainFrame::OnIdle()
{
    UIUpdateToolBar();
    return FALSE;
}

LRESULT CMainFrame::OnCreate(UINT, WPARAM, LPARAM, BOOL &)
{
    // The menu bar as a command bar, its items showing the toolbar's images.
    HWND commandBar = m_cmdBar.Create(m_hWnd, kCommandBarStyle);
    m_cmdBar.AttachMenu(GetMenu());
    m_cmdBar.LoadImages(IDR_MAINFRAME);
    SetMenu(nullptr);
    // Its drop-downs show the managed states; the context menus keep their resource's.
    UIAddMenu(m_cmdBar.GetMenu());

    HWND toolBar = CreateSimpleToolBarCtrl(m_hWnd, IDR_MAINFRAME, false, kToolBarStyle, IDW_TOOLBAR);

    // Band 0 the command bar, band 1 (IDW_BAND_FIRST + 1) the toolbar on its own row.
    CreateSimpleReBar(kReBarStyle);
    AddSimpleReBarBand(commandBar);
    AddSimpleReBarBand(toolBar, nullptr, true);

    CreateSimpleStatusBar(ui::LoadStr(IDS_IDLEMESSAGE).c_str(), kStatusBarStyle, IDW_STATUS_BAR);

    m_hWndClient = m_splitter.Create(m_hWnd, nullptr, nullptr, ui::kChildStyle);

    // Image 0 device class, 1 device, 2 logical device name, in both sizes.
    HINSTANCE resources = ui::Module().GetResourceInstance();
    m_smallImages.Create(16, 16, ILC_COLOR32 | ILC_MASK, 10, 5);
    m_largeImages.Create(32, 32, ILC_COLOR32 | ILC_MASK, 10, 5);
    for (UINT icon : {IDI_DEVICE_CLASS, IDI_DEVICE, IDI_LOGICAL_NAME}) {
        HICON loaded = LoadIconW(resources, MAKEINTRESOURCEW(icon));   // shared: not destroyed
        m_smallImages.AddIcon(loaded);
        m_largeImages.AddIcon(loaded);
    }

    // The pane container has no close button: the tree cannot be closed.
    m_pane.Create(m_splitter, ui::LoadStr(IDS_PANE_DEVICE).c_str());

    m_tree = CreateWindowExW(WS_EX_CLIENTEDGE, WC_TREEVIEWW, nullptr, kTreeStyle, 0, 0, 0, 0,
                             m_pane, nullptr, ui::Module().GetModuleInstance(), nullptr);
    m_tree.SetFont(static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)), true);
    m_tree.SetImageList(m_smallImages, TVSIL_NORMAL);
    m_pane.SetClient(m_tree);

    m_list = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, nullptr, kListStyle, 0, 0, 0, 0,
                             m_splitter, nullptr, ui::Module().GetModuleInstance(), nullptr);
    m_list.InsertColumn(0, ui::LoadStr(IDS_COLUMN_NAME).c_str(), LVCFMT_LEFT, 150);
    m_list.InsertColumn(1, ui::LoadStr(IDS_COLUMN_DESCRIPTION).c_str(), LVCFMT_LEFT, 250);
    m_list.InsertColumn(2, ui::LoadStr(IDS_COLUMN_CONNECTION).c_str(), LVCFMT_LEFT, 150);
    m_list.SetImageList(m_smallImages, LVSIL_SMALL);
    m_list.SetImageList(m_largeImages, LVSIL_NORMAL);
    m_list.SetExtendedListViewStyle(LVS_EX_FULLROWSELECT);

    m_splitter.SetSplitterPanes(m_pane, m_list);
    UpdateLayout();
    m_splitter.SetSplitterPosPct(kSplitterPercent);

    UIAddToolBar(toolBar);
    UISetCheck(ID_VIEW_TOOLBAR, true);
    UISetCheck(ID_VIEW_STATUS_BAR, true);
    UISetCheck(ID_VIEW_LARGEICON, false);
    UISetCheck(ID_VIEW_SMALLICON, false);
    UISetCheck(ID_VIEW_LIST, false);
    UISetCheck(ID_VIEW_DETAILS, true);
    for (UINT id : kDisabledAtStart)
        UIEnable(id, false);

    // The frame runs inside the thread's loop: without one there is nothing to register with.
    ui::CMessageLoop *loop = ui::Module().GetMessageLoop();
    if (!loop)
        return -1;
    loop->AddMessageFilter(this);
    loop->AddIdleHandler(this);

    if (GetSystemMetrics(SM_CXSCREEN) > kFrameWidth)
        SetWindowPos(nullptr, 0, 0, kFrameWidth, kFrameHeight, SWP_NOMOVE | SWP_NOZORDER);
    CenterWindow();

    ReloadTree();

    m_highestComPort = 10;
    m_highestLptPort = 3;
    return 0;
}

LRESULT CMainFrame::OnDestroy(UINT, WPARAM, LPARAM, BOOL &handled)
{
    if (ui::CMessageLoop *loop = ui::Module().GetMessageLoop()) {
        loop->RemoveMessageFilter(this);
        loop->RemoveIdleHandler(this);
    }
    // The frame base ends the message loop for the main window.
    handled = FALSE;
    return 0;
}

LRESULT CMainFrame::OnFileExit(WORD, WORD, HWND, BOOL &)
{
    PostMessage(WM_CLOSE);
    return 0;
}

LRESULT CMainFrame::OnFileNew(WORD, WORD, HWND, BOOL &)
{
    return 0;
}

LRESULT CMainFrame::OnViewToolBar(WORD, WORD, HWND, BOOL &)
{
    m_toolBarVisible = !m_toolBarVisible;
    ui::CReBarCtrl rebar(m_hWndToolBar);
    rebar.ShowBand(rebar.IdToIndex(IDW_BAND_FIRST + 1), m_toolBarVisible);
    UISetCheck(ID_VIEW_TOOLBAR, m_toolBarVisible);
    UpdateLayout();
    return 0;
}

LRESULT CMainFrame::OnViewStatusBar(WORD, WORD, HWND, BOOL &)
{
    ui::CStatusBarCtrl status(m_hWndStatusBar);
    const bool visible = !(status.GetStyle() & WS_VISIBLE);
    status.ShowWindow(visible ? SW_SHOWNOACTIVATE : SW_HIDE);
    UISetCheck(ID_VIEW_STATUS_BAR, visible);
    UpdateLayout();
    return 0;
}

LRESULT CMainFrame::OnAppAbout(WORD, WORD, HWND, BOOL &)
{
    CAboutDlg dialog;
    dialog.DoModal(GetActiveWindow());
    return 0;
}
