// The setup utility's main frame, created in this process from the program's own sources and
// resources: its windows and styles, menus, toolbar and their states after creation, the bar
// toggles, the keyboard table, prompts and tooltips, the command bar, the About box, closing,
// the resources of both languages, and one start of the real Brenvik.exe.
#include "opos_setup.h"
#include "Brenvik.h"
#include "MainFrm.h"
#include "resource.h"

#include "controls.h"
#include "module.h"
#include "strings.h"

#include "gui_test_util.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

using guitest::ClassOf;
using guitest::PumpMessages;

const LANGID kEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
const LANGID kChinese = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);
const wchar_t kTitle[] = L"OPOS ZUV v1.1 UPOS 1.11";

class FrameEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        CoInitialize(nullptr);
        INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_COOL_CLASSES | ICC_BAR_CLASSES};
        InitCommonControlsEx(&controls);
        // Every tree reload checks the POSPrinter control object and shows a box when it is
        // missing: the frame starts here as on a configured terminal.
        const std::wstring standIn = WindowsPath(STANDIN_DLL);
        if (!RegisteredAt(kStandInPrinterClsid, standIn)) {
            ASSERT_EQ(S_OK, RegisterServer(standIn));
        }
    }
    void TearDown() override { CoUninitialize(); }
};
[[maybe_unused]] const auto *g_environment = ::testing::AddGlobalTestEnvironment(new FrameEnvironment);

class FrameTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(ui::Module().AddMessageLoop(&loop));
        ASSERT_TRUE(frame.CreateEx());
        frame.ShowWindow(SW_SHOWNORMAL);
        PumpMessages();
    }
    void TearDown() override
    {
        if (frame.IsWindow())
            frame.DestroyWindow();
        quitCode = PumpMessages();
        ui::Module().RemoveMessageLoop();
    }

    HWND Rebar() const { return frame.m_hWndToolBar; }
    HWND ToolBar() const { return GetDlgItem(frame.m_hWndToolBar, IDW_TOOLBAR); }
    HMENU Menu() { return frame.GetCommandBar().GetMenu(); }
    // The pop-up as the user sees it when it drops down.
    HMENU DropDown(int index)
    {
        HMENU popup = GetSubMenu(Menu(), index);
        frame.SendMessage(WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup), MAKELPARAM(index, FALSE));
        return popup;
    }
    RECT ClientArea() const { return ui::CWindow(frame.m_hWndClient).GetRectInParent(); }

    ui::CMessageLoop loop;
    CMainFrame frame;
    int quitCode = -1;
};

// --- Windows and styles -------------------------------------------------------------------------

TEST_F(FrameTest, WindowsOfTheFrameWithTheirStyles)
{
    EXPECT_EQ(kTitle, frame.GetWindowText());
    EXPECT_EQ(L"BrenvikMainFrame", ClassOf(frame));
    EXPECT_EQ(nullptr, GetMenu(frame)) << "the menu lives in the command bar";

    struct Row
    {
        const char *what;
        HWND hwnd;
        const wchar_t *className;   // null: one of ours
        HWND parent;
        int id;                     // -1: not checked
        DWORD style;                // bits that must be set
        DWORD exStyle;
    };
    const DWORD child = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
    const Row rows[] = {
        // what          window                               class                 parent                      id      style                                        ex style
        {"frame",        frame,                               nullptr,              nullptr,                    -1,     WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, WS_EX_APPWINDOW | WS_EX_WINDOWEDGE},
        {"rebar",        Rebar(),                             REBARCLASSNAMEW,      frame,                      0xE800, 0x56002640,                                  0},
        {"command bar",  frame.GetCommandBar(),               TOOLBARCLASSNAMEW,    Rebar(),                    0xE805, 0x5600004C,                                  0},
        {"toolbar",      ToolBar(),                           TOOLBARCLASSNAMEW,    Rebar(),                    0xE800, 0x5600094C,                                  0},
        {"status bar",   frame.m_hWndStatusBar,               STATUSCLASSNAMEW,     frame,                      0xE801, child | SBARS_SIZEGRIP,                      0},
        {"splitter",     frame.GetSplitter(),                 nullptr,              frame,                      -1,     child,                                       0},
        {"pane",         frame.GetPaneContainer(),            nullptr,              frame.GetSplitter(),        -1,     child,                                       0},
        {"tree",         frame.GetTree(),                     WC_TREEVIEWW,         frame.GetPaneContainer(),   -1,     child | TVS_HASLINES | TVS_LINESATROOT | TVS_HASBUTTONS | TVS_SHOWSELALWAYS, WS_EX_CLIENTEDGE},
        {"list",         frame.GetList(),                     WC_LISTVIEWW,         frame.GetSplitter(),        -1,     child | 0x20D,                               WS_EX_CLIENTEDGE},
    };
    for (const Row &r : rows) {
        ASSERT_TRUE(IsWindow(r.hwnd)) << r.what;
        ui::CWindow w(r.hwnd);
        if (r.className) {
            EXPECT_EQ(r.className, ClassOf(r.hwnd)) << r.what;
        }
        EXPECT_EQ(r.parent, GetParent(r.hwnd)) << r.what;
        if (r.id >= 0) {
            EXPECT_EQ(r.id, w.GetDlgCtrlID()) << r.what;
        }
        EXPECT_EQ(r.style, w.GetStyle() & r.style) << r.what << std::hex << " style " << w.GetStyle();
        EXPECT_EQ(r.exStyle, w.GetExStyle() & r.exStyle) << r.what << std::hex << " ex style " << w.GetExStyle();
    }
    EXPECT_EQ(frame.GetSplitter().m_hWnd, frame.m_hWndClient);
    EXPECT_EQ(static_cast<DWORD>(LVS_REPORT), frame.GetList().GetViewType());
    EXPECT_EQ(static_cast<DWORD>(LVS_EX_FULLROWSELECT), frame.GetList().GetExtendedListViewStyle());
}

TEST_F(FrameTest, RebarHoldsTheCommandBarThenTheToolbarOnItsOwnRow)
{
    ui::CReBarCtrl rebar(Rebar());
    ASSERT_EQ(2u, rebar.GetBandCount());
    const HWND children[2] = {frame.GetCommandBar(), ToolBar()};
    for (int i = 0; i < 2; ++i) {
        REBARBANDINFOW band = {};
        band.cbSize = sizeof(band);
        band.fMask = RBBIM_ID | RBBIM_CHILD | RBBIM_STYLE;
        ASSERT_TRUE(rebar.GetBandInfo(i, &band));
        EXPECT_EQ(static_cast<UINT>(0xEB00 + i), band.wID) << "band " << i;
        EXPECT_EQ(children[i], band.hwndChild) << "band " << i;
        EXPECT_EQ(i == 1, (band.fStyle & RBBS_BREAK) != 0) << "band " << i;
    }
}

TEST_F(FrameTest, LayoutStacksRebarClientAndStatusBar)
{
    RECT client = {};
    frame.GetClientRect(&client);
    RECT rebar = ui::CWindow(Rebar()).GetRectInParent();
    RECT status = ui::CWindow(frame.m_hWndStatusBar).GetRectInParent();
    RECT middle = ClientArea();
    EXPECT_EQ(0, rebar.top);
    EXPECT_EQ(rebar.bottom, middle.top);
    EXPECT_EQ(status.top, middle.bottom);
    EXPECT_EQ(client.bottom, status.bottom);
    EXPECT_EQ(client.right, middle.right);
    EXPECT_GT(rebar.bottom, 30) << "two rows: command bar and toolbar";
}

// --- Menus and toolbar after creation -----------------------------------------------------------

struct MenuRow
{
    int popup;
    int position;
    const wchar_t *text;    // as stored: & marks, tab before the shortcut
    UINT id;                // 0: separator
    bool enabled;
    bool checked;
};

const MenuRow kMainMenu[] = {
    // popup pos  text                                  id      enabled checked
    {0, 0,  L"Prope&rty...",                             32783,  false,  false},
    {0, 1,  L"",                                         0,      true,   false},
    {0, 2,  L"E&xit",                                    57665,  true,   false},
    {1, 0,  L"Cu&t",                                     57635,  false,  false},
    {1, 1,  L"&Copy",                                    57634,  false,  false},
    {1, 2,  L"&Paste",                                   57637,  false,  false},
    {1, 3,  L"",                                         0,      true,   false},
    {1, 4,  L"Select &All",                              57642,  false,  false},
    {1, 5,  L"&Invert Selection",                        32850,  false,  false},
    {1, 6,  L"",                                         0,      true,   false},
    {1, 7,  L"Add &New Device...\tInsert",               32775,  true,   false},
    {1, 8,  L"Add New &LDN...",                          32776,  false,  false},
    {1, 9,  L"&Delete\tDelete",                          32851,  true,   false},
    {1, 10, L"&Rename LDN\tF2",                          32832,  true,   false},
    {1, 11, L"Re&fresh",                                 32846,  true,   false},
    {1, 12, L"",                                         0,      true,   false},
    {1, 13, L"C&ommunication Settings...",               32780,  false,  false},
    {2, 0,  L"&Tool Bar",                                59392,  true,   true},
    {2, 1,  L"Status &Bar",                              59393,  true,   true},
    {2, 2,  L"",                                         0,      true,   false},
    {2, 3,  L"Lar&ge Icon",                              32784,  true,   false},
    {2, 4,  L"S&mall Icon",                              32785,  true,   false},
    {2, 5,  L"&List",                                    32786,  true,   false},
    {2, 6,  L"&Details",                                 32787,  true,   true},
    {3, 0,  L"&CheckHealth Interactive",                 32773,  false,  false},
    {4, 0,  L"&Port Range Settings...",                  32833,  true,   false},
    {5, 0,  L"&About...",                                57664,  true,   false},
};

TEST_F(FrameTest, MainMenuItemsAndTheirStatesAfterCreation)
{
    const wchar_t *popups[] = {L"&File", L"&Edit", L"&View", L"&Tools", L"&Option", L"&Help"};
    ASSERT_EQ(6, GetMenuItemCount(Menu()));
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(popups[i], ui::GetMenuItemString(Menu(), i)) << "pop-up " << i;
        DropDown(i);
    }
    std::map<int, int> itemsPerPopup;
    for (const MenuRow &r : kMainMenu) {
        ++itemsPerPopup[r.popup];
        HMENU popup = GetSubMenu(Menu(), r.popup);
        UINT state = GetMenuState(popup, static_cast<UINT>(r.position), MF_BYPOSITION);
        std::string where = "pop-up " + std::to_string(r.popup) + " item " + std::to_string(r.position);
        EXPECT_EQ(r.text, ui::GetMenuItemString(popup, r.position)) << where;
        if (r.id == 0) {
            EXPECT_TRUE(state & MF_SEPARATOR) << where;
            continue;
        }
        EXPECT_EQ(r.id, GetMenuItemID(popup, r.position)) << where;
        EXPECT_EQ(r.enabled, !(state & MF_GRAYED)) << where;
        EXPECT_EQ(r.checked, (state & MF_CHECKED) != 0) << where;
    }
    for (const auto &p : itemsPerPopup)
        EXPECT_EQ(p.second, GetMenuItemCount(GetSubMenu(Menu(), p.first))) << "pop-up " << p.first;
}

TEST_F(FrameTest, ToolbarButtonsAndTheirStatesOnceIdle)
{
    frame.OnIdle();
    struct Row
    {
        UINT id;        // 0: separator
        int image;
        bool enabled;
        bool checked;
    };
    const Row rows[] = {
        // id    image enabled checked
        {32775,  0,    true,   false},
        {32776,  1,    false,  false},
        {32777,  2,    false,  false},
        {0,      0,    true,   false},
        {32773,  3,    false,  false},
        {0,      0,    true,   false},
        {32779,  4,    false,  false},
        {32780,  5,    false,  false},
        {0,      0,    true,   false},
        {57635,  6,    false,  false},
        {57637,  7,    false,  false},
        {0,      0,    true,   false},
        {32783,  8,    false,  false},
        {0,      0,    true,   false},
        {32784,  9,    true,   false},
        {32785,  10,   true,   false},
        {32786,  11,   true,   false},
        {32787,  12,   true,   true},
        {0,      0,    true,   false},
        {57664,  13,   true,   false},
    };
    ui::CToolBarCtrl toolbar(ToolBar());
    ASSERT_EQ(20, toolbar.GetButtonCount());
    for (int i = 0; i < 20; ++i) {
        const Row &r = rows[i];
        TBBUTTON button = {};
        ASSERT_TRUE(toolbar.GetButton(i, &button)) << "button " << i;
        if (r.id == 0) {
            EXPECT_TRUE(button.fsStyle & BTNS_SEP) << "button " << i;
            continue;
        }
        EXPECT_EQ(static_cast<int>(r.id), button.idCommand) << "button " << i;
        EXPECT_EQ(r.image, button.iBitmap) << "button " << i;
        EXPECT_EQ(r.enabled, toolbar.IsButtonEnabled(r.id)) << "button " << r.id;
        EXPECT_EQ(r.checked, toolbar.IsButtonChecked(r.id)) << "button " << r.id;
    }
    ui::CImageList images(toolbar.GetImageList());
    EXPECT_EQ(14, images.GetImageCount());
    EXPECT_EQ(16, images.GetIconSize().cx);
    EXPECT_EQ(15, images.GetIconSize().cy);
}

TEST_F(FrameTest, StatusBarListAndTreeAfterCreation)
{
    ui::CStatusBarCtrl status(frame.m_hWndStatusBar);
    EXPECT_EQ(L"Ready", status.GetText(0));
    EXPECT_FALSE(status.IsSimple());

    struct Column
    {
        const wchar_t *heading;
        int width;
    };
    const Column columns[] = {
        // heading                  width
        {L"Device Name",            150},
        {L"Device Description",     250},
        {L"Connection Condition",   150},
    };
    ui::CListViewCtrl &list = frame.GetList();
    ASSERT_EQ(3, list.GetColumnCount());
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(columns[i].heading, list.GetColumnHeading(i)) << "column " << i;
        EXPECT_EQ(columns[i].width, list.GetColumnWidth(i)) << "column " << i;
        LVCOLUMNW column = {};
        column.mask = LVCF_FMT;
        list.SendMessage(LVM_GETCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
        EXPECT_EQ(LVCFMT_LEFT, column.fmt & LVCFMT_JUSTIFYMASK) << "column " << i;
    }

    EXPECT_EQ(L"Device", frame.GetPaneContainer().GetTitle());
    EXPECT_EQ(frame.GetTree().m_hWnd, frame.GetPaneContainer().GetClient());
    EXPECT_EQ(frame.GetPaneContainer().m_hWnd, frame.GetSplitter().GetSplitterPane(0));
    EXPECT_EQ(frame.GetList().m_hWnd, frame.GetSplitter().GetSplitterPane(1));
    EXPECT_NEAR(25, frame.GetSplitter().GetSplitterPosPct(), 1);
    EXPECT_EQ(GetStockObject(DEFAULT_GUI_FONT), frame.GetTree().GetFont());

    // One small and one large list of the three item images, shared by tree and list.
    ui::CImageList small(list.GetImageList(LVSIL_SMALL));
    ui::CImageList large(list.GetImageList(LVSIL_NORMAL));
    EXPECT_EQ(small.m_hImageList, frame.GetTree().GetImageList(TVSIL_NORMAL));
    EXPECT_EQ(3, small.GetImageCount());
    EXPECT_EQ(3, large.GetImageCount());
    EXPECT_EQ(16, small.GetIconSize().cx);
    EXPECT_EQ(32, large.GetIconSize().cx);

    EXPECT_EQ(10, frame.GetHighestComPort());
    EXPECT_EQ(3, frame.GetHighestLptPort());
}

TEST_F(FrameTest, WideScreensGetTheFrameAt800By600Centred)
{
    RECT frameRect = {};
    frame.GetWindowRect(&frameRect);
    if (GetSystemMetrics(SM_CXSCREEN) > 800) {
        EXPECT_EQ(800, frameRect.right - frameRect.left);
        EXPECT_EQ(600, frameRect.bottom - frameRect.top);
    }
    RECT area = {};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    POINT a = guitest::Centre(area);
    POINT f = guitest::Centre(frameRect);
    EXPECT_NEAR(a.x, f.x, 1);
    EXPECT_NEAR(a.y, f.y, 1);
}

// --- Bar toggles ---------------------------------------------------------------------------------

TEST_F(FrameTest, ToolbarToggleAlternatesAndTheMenuCheckFollows)
{
    ui::CReBarCtrl rebar(Rebar());
    const int band = rebar.IdToIndex(0xEB01);
    ASSERT_EQ(1, band);
    const RECT before = ClientArea();
    const bool expected[] = {false, true, false, true};   // after each use
    for (int use = 0; use < 4; ++use) {
        frame.SendMessage(WM_COMMAND, MAKEWPARAM(ID_VIEW_TOOLBAR, 0), 0);
        PumpMessages(1);
        HMENU view = DropDown(2);
        EXPECT_EQ(expected[use], rebar.IsBandVisible(band)) << "use " << use;
        EXPECT_EQ(expected[use], (GetMenuState(view, ID_VIEW_TOOLBAR, MF_BYCOMMAND) & MF_CHECKED) != 0) << "use " << use;
        EXPECT_TRUE(rebar.IsBandVisible(0)) << "the command bar stays, use " << use;
        // Without the toolbar's row the client moves up.
        if (expected[use]) {
            EXPECT_EQ(before.top, ClientArea().top) << "use " << use;
        } else {
            EXPECT_LT(ClientArea().top, before.top) << "use " << use;
        }
    }
}

TEST_F(FrameTest, StatusBarToggleHidesAndShowsIt)
{
    RECT client = {};
    frame.GetClientRect(&client);
    const RECT before = ClientArea();
    ASSERT_LT(before.bottom, client.bottom);
    const bool expected[] = {false, true, false};
    for (int use = 0; use < 3; ++use) {
        frame.SendMessage(WM_COMMAND, MAKEWPARAM(ID_VIEW_STATUS_BAR, 0), 0);
        HMENU view = DropDown(2);
        EXPECT_EQ(expected[use], IsWindowVisible(frame.m_hWndStatusBar) != FALSE) << "use " << use;
        EXPECT_EQ(expected[use], (GetMenuState(view, ID_VIEW_STATUS_BAR, MF_BYCOMMAND) & MF_CHECKED) != 0) << "use " << use;
        EXPECT_EQ(expected[use] ? before.bottom : client.bottom, ClientArea().bottom) << "use " << use;
    }
}

// --- Keyboard table ------------------------------------------------------------------------------

// Records the commands that keyboard translation sends to the frame (HIWORD(wParam) == 1) and
// keeps them from the frame: what they do is tested with their dialogs.
LRESULT CALLBACK CommandSpy(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data)
{
    if (msg == WM_COMMAND && HIWORD(wParam) == 1) {
        reinterpret_cast<std::vector<UINT> *>(data)->push_back(LOWORD(wParam));
        return 0;
    }
    return DefSubclassProc(hwnd, msg, wParam, lParam);
}

TEST_F(FrameTest, KeyboardTableTurnsKeysIntoCommands)
{
    struct Row
    {
        const char *key;
        UINT vk;
        bool ctrl, shift, alt;
        UINT command;   // 0: not translated
    };
    const Row rows[] = {
        // key              vk          ctrl   shift  alt    command
        {"Insert",          VK_INSERT,  false, false, false, 32775},
        {"Delete",          VK_DELETE,  false, false, false, 32851},
        {"F2",              VK_F2,      false, false, false, 32832},
        {"Ctrl+N",          'N',        true,  false, false, 57600},
        {"Ctrl+C",          'C',        true,  false, false, 57634},
        {"Ctrl+Insert",     VK_INSERT,  true,  false, false, 57634},
        {"Ctrl+X",          'X',        true,  false, false, 57635},
        {"Shift+Delete",    VK_DELETE,  false, true,  false, 57635},
        {"Ctrl+V",          'V',        true,  false, false, 57637},
        {"Shift+Insert",    VK_INSERT,  false, true,  false, 57637},
        {"Ctrl+Z",          'Z',        true,  false, false, 57643},
        {"Alt+Backspace",   VK_BACK,    false, false, true,  57643},
        {"Ctrl+O",          'O',        true,  false, false, 57601},
        {"Ctrl+P",          'P',        true,  false, false, 57607},
        {"Ctrl+S",          'S',        true,  false, false, 57603},
        {"F6",              VK_F6,      false, false, false, 57680},
        {"Shift+F6",        VK_F6,      false, true,  false, 57681},
        {"plain N",         'N',        false, false, false, 0},
        {"Ctrl+A",          'A',        true,  false, false, 0},
        {"Ctrl+Delete",     VK_DELETE,  true,  false, false, 0},
        {"Shift+F2",        VK_F2,      false, true,  false, 0},
    };
    std::vector<UINT> commands;
    ASSERT_TRUE(SetWindowSubclass(frame, &CommandSpy, 1, reinterpret_cast<DWORD_PTR>(&commands)));
    for (const Row &r : rows) {
        commands.clear();
        guitest::ModifierKeys keys(r.ctrl, r.shift, r.alt);
        // The key as it reaches the loop while the list has the focus: every message passes
        // the frame's filter first.
        MSG msg = {};
        msg.hwnd = frame.GetList();
        msg.message = r.alt ? WM_SYSKEYDOWN : WM_KEYDOWN;
        msg.wParam = r.vk;
        msg.lParam = 1 | (r.alt ? (1 << 29) : 0);
        BOOL consumed = loop.PreTranslateMessage(&msg);
        EXPECT_EQ(r.command != 0, consumed != FALSE) << r.key;
        if (r.command) {
            EXPECT_EQ(std::vector<UINT>{r.command}, commands) << r.key;
        } else {
            EXPECT_TRUE(commands.empty()) << r.key;
        }
    }
    RemoveWindowSubclass(frame, &CommandSpy, 1);
    EXPECT_TRUE(frame.IsWindow()) << "no key closed the frame";
}

TEST_F(FrameTest, KeysForTheLabelEditBoxBecomeFrameCommandsToo)
{
    HWND edit = CreateWindowExW(0, L"EDIT", L"LDN-1", WS_CHILD | WS_VISIBLE, 0, 0, 80, 20,
                                frame.GetList(), nullptr, nullptr, nullptr);
    std::vector<UINT> commands;
    SetWindowSubclass(frame, &CommandSpy, 1, reinterpret_cast<DWORD_PTR>(&commands));
    SetFocus(edit);
    SendMessageW(edit, EM_SETSEL, 0, -1);
    // Delete as the loop would see it: the filter takes it before the edit box does.
    MSG msg = {edit, WM_KEYDOWN, VK_DELETE, 1, 0, {0, 0}};
    if (!loop.PreTranslateMessage(&msg)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    EXPECT_EQ(std::vector<UINT>{ID_EDIT_DELETESELECTED}, commands);
    EXPECT_EQ(L"LDN-1", ui::GetWindowString(edit)) << "no character removed";
    RemoveWindowSubclass(frame, &CommandSpy, 1);
    DestroyWindow(edit);
}

// --- Prompts and tooltips -------------------------------------------------------------------------

TEST_F(FrameTest, HighlightedMenuItemsShowTheirPromptInTheStatusBar)
{
    struct Row
    {
        UINT id;
        const wchar_t *prompt;
    };
    const Row rows[] = {
        // id     prompt
        {32775,   L"Add a device from such type"},
        {32846,   L"Reload all devices information."},
        {32832,   L"change logical device name"},
        {57665,   L"Exit this application"},
        {59393,   L"Show or hide the status bar"},
        {32833,   L""},                              // no string
    };
    ui::CStatusBarCtrl status(frame.m_hWndStatusBar);
    HMENU edit = GetSubMenu(Menu(), 1);
    for (const Row &r : rows) {
        frame.SendMessage(WM_MENUSELECT, MAKEWPARAM(r.id, MF_HILITE), reinterpret_cast<LPARAM>(edit));
        EXPECT_TRUE(status.IsSimple()) << r.id;
        // In simple mode part 0 reads the simple text.
        EXPECT_EQ(r.prompt, status.GetText(0)) << r.id;
    }
    // A pop-up's own title has no prompt.
    frame.SendMessage(WM_MENUSELECT, MAKEWPARAM(1, MF_HILITE | MF_POPUP), reinterpret_cast<LPARAM>(Menu()));
    EXPECT_EQ(L"", status.GetText(0));
    // Closing the menu brings "Ready" back.
    frame.SendMessage(WM_MENUSELECT, MAKEWPARAM(0, 0xFFFF), 0);
    EXPECT_FALSE(status.IsSimple());
    EXPECT_EQ(L"Ready", status.GetText(0));
}

TEST_F(FrameTest, ToolbarButtonsGetTheirTooltipText)
{
    struct Row
    {
        UINT id;
        const wchar_t *tip;
    };
    const Row rows[] = {
        // id     tooltip
        {32775,   L"Add a device"},
        {32773,   L"CheckHealth Interative"},
        {32779,   L"Device Specific Settings"},
        {32780,   L"Communication settings"},
        {57635,   L"Cut"},
        {32787,   L"Detail"},
        {57664,   L"About"},
        {32846,   L""},     // prompt only
    };
    for (const Row &r : rows) {
        NMTTDISPINFOW info = {};
        info.hdr.hwndFrom = ui::CToolBarCtrl(ToolBar()).GetToolTips();
        info.hdr.idFrom = r.id;
        info.hdr.code = TTN_GETDISPINFOW;
        frame.SendMessage(WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&info));
        ASSERT_TRUE(info.lpszText) << r.id;
        EXPECT_EQ(r.tip, std::wstring(info.lpszText)) << r.id;
    }
}

// --- Command bar -----------------------------------------------------------------------------------

TEST_F(FrameTest, CommandBarShowsOneButtonPerMenuWithItsAccessKey)
{
    ui::CCommandBarCtrl &bar = frame.GetCommandBar();
    ASSERT_EQ(6, static_cast<int>(bar.SendMessage(TB_BUTTONCOUNT)));
    struct Row
    {
        wchar_t key;
        int popup;
    };
    const Row rows[] = {
        // key   pop-up
        {L'f',   0},
        {L'E',   1},
        {L'v',   2},
        {L't',   3},
        {L'o',   4},
        {L'h',   5},
        {L'x',   -1},
        {L'&',   -1},
    };
    for (const Row &r : rows)
        EXPECT_EQ(r.popup, bar.FindAccessKey(r.key)) << static_cast<char>(r.key);
    for (int i = 0; i < 6; ++i) {
        RECT rect = {};
        bar.SendMessage(TB_GETITEMRECT, i, reinterpret_cast<LPARAM>(&rect));
        EXPECT_GT(rect.right - rect.left, 10) << "button " << i << " has room for its text";
    }
}

TEST_F(FrameTest, MenuItemsWithAToolbarButtonShowItsImage)
{
    ui::CCommandBarCtrl &bar = frame.GetCommandBar();
    const std::pair<UINT, int> rows[] = {
        // command  image (-1: none)
        {32775, 0}, {32783, 8}, {57664, 13}, {32787, 12}, {57665, -1}, {59392, -1}, {32851, -1},
    };
    for (const auto &r : rows) {
        EXPECT_EQ(r.second, bar.GetImageIndex(r.first)) << r.first;
        MENUITEMINFOW info = {};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_BITMAP;
        ASSERT_TRUE(GetMenuItemInfoW(Menu(), r.first, FALSE, &info)) << r.first;
        EXPECT_EQ(HBMMENU_CALLBACK, info.hbmpItem) << r.first << ": every item has the image column";
    }
    // The frame answers the menu's size question for every item of its menu, with an image or
    // without; not for a command the menu does not have.
    for (UINT command : {32775u, 57665u, 32851u, 12345u}) {
        MEASUREITEMSTRUCT measure = {};
        measure.CtlType = ODT_MENU;
        measure.itemID = command;
        const bool answered = frame.SendMessage(WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&measure)) != 0;
        EXPECT_EQ(command != 12345u, answered) << command;
        EXPECT_EQ(answered ? 16u : 0u, measure.itemWidth) << command;
        EXPECT_EQ(answered ? 15u : 0u, measure.itemHeight) << command;
    }
}

TEST_F(FrameTest, AltAloneEntersKeyboardModeOnTheCommandBar)
{
    ui::CCommandBarCtrl &bar = frame.GetCommandBar();
    frame.GetList().SetFocus();
    frame.SendMessage(WM_SYSCOMMAND, SC_KEYMENU, 0);
    EXPECT_TRUE(bar.IsKeyboardMode());
    EXPECT_EQ(bar.m_hWnd, GetFocus());
    EXPECT_EQ(0, bar.SendMessage(TB_GETHOTITEM));
    bar.SendMessage(WM_KEYDOWN, VK_RIGHT, 0);
    bar.SendMessage(WM_KEYDOWN, VK_RIGHT, 0);
    EXPECT_EQ(2, bar.SendMessage(TB_GETHOTITEM));
    bar.SendMessage(WM_KEYDOWN, VK_LEFT, 0);
    EXPECT_EQ(1, bar.SendMessage(TB_GETHOTITEM));
    bar.SendMessage(WM_KEYDOWN, VK_LEFT, 0);
    bar.SendMessage(WM_KEYDOWN, VK_LEFT, 0);
    EXPECT_EQ(5, bar.SendMessage(TB_GETHOTITEM)) << "wraps around";
    bar.SendMessage(WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_FALSE(bar.IsKeyboardMode());
    EXPECT_EQ(frame.GetList().m_hWnd, GetFocus()) << "focus goes back";
}

TEST_F(FrameTest, AltLetterDropsThePopupDownWithTheStatesApplied)
{
    // The pop-up opens from a posted message and runs its own loop; this looks at it from
    // inside that loop, then closes it.
    bool open = false;
    UINT propertyState = 0;
    UINT exitState = MF_GRAYED;
    guitest::Deferred lookAndClose(150, [&] {
        HWND menuWindow = FindWindowW(L"#32768", nullptr);
        open = menuWindow && IsWindowVisible(menuWindow);
        HMENU file = GetSubMenu(Menu(), 0);
        propertyState = GetMenuState(file, ID_FILE_PROPERTY, MF_BYCOMMAND);
        exitState = GetMenuState(file, ID_APP_EXIT, MF_BYCOMMAND);
        EndMenu();
    });
    // The state in the resource is enabled: only update-UI greys Property.
    EnableMenuItem(GetSubMenu(Menu(), 0), ID_FILE_PROPERTY, MF_BYCOMMAND | MF_ENABLED);
    guitest::ModalWatchdog watchdog;
    // Alt+F as it arrives while the list has the focus.
    frame.GetList().SetFocus();
    PostMessageW(frame.GetList(), WM_SYSCHAR, L'f', MAKELPARAM(1, KF_ALTDOWN | 0x21));
    for (int i = 0; i < 50 && !open; ++i)
        PumpMessages(1);
    EXPECT_FALSE(watchdog.Fired());
    EXPECT_TRUE(open);
    EXPECT_TRUE(propertyState & MF_GRAYED);
    EXPECT_FALSE(exitState & MF_GRAYED);
}

// --- Commands of the frame ---------------------------------------------------------------------------

TEST_F(FrameTest, AboutBoxOpensCentredAndClosesWithEscape)
{
    std::wstring text;
    std::wstring button;
    POINT boxCentre = {};
    bool found = false;
    guitest::Deferred lookAndEscape(100, [&] {
        HWND box = FindWindowW(L"#32770", L"About");
        found = box != nullptr;
        if (!box)
            return;
        text = ui::GetWindowString(GetDlgItem(box, IDC_ABOUT_TEXT));
        button = ui::GetWindowString(GetDlgItem(box, IDOK));
        RECT r = {};
        GetWindowRect(box, &r);
        boxCentre = guitest::Centre(r);
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    });
    {
        guitest::ModalWatchdog watchdog;
        frame.SendMessage(WM_COMMAND, MAKEWPARAM(ID_APP_ABOUT, 0), 0);
        EXPECT_FALSE(watchdog.Fired());
    }
    ASSERT_TRUE(found);
    EXPECT_EQ(0u, text.find(L"OPOS ZUV v1.1\n")) << std::string(text.begin(), text.end());
    EXPECT_EQ(L"Ok", button);
    RECT frameRect = {};
    frame.GetWindowRect(&frameRect);
    EXPECT_NEAR(guitest::Centre(frameRect).x, boxCentre.x, 1);
    EXPECT_NEAR(guitest::Centre(frameRect).y, boxCentre.y, 1);
    EXPECT_EQ(nullptr, FindWindowW(L"#32770", L"About"));
}

TEST_F(FrameTest, CommandsWithoutVisibleEffectLeaveTheFrameAsItIs)
{
    const UINT commands[] = {ID_FILE_NEW, ID_EDIT_COPY, ID_EDIT_CUT, ID_EDIT_PASTE, ID_EDIT_UNDO,
                             ID_FILE_OPEN, ID_FILE_PRINT, ID_FILE_SAVE, ID_NEXT_PANE, ID_PREV_PANE};
    for (UINT id : commands) {
        frame.SendMessage(WM_COMMAND, MAKEWPARAM(id, 1), 0);
        EXPECT_TRUE(frame.IsWindow()) << id;
    }
    EXPECT_EQ(-1, PumpMessages()) << "nothing ended the loop";
}

TEST_F(FrameTest, ExitClosesTheFrameAndEndsTheLoopWithCodeOne)
{
    frame.SendMessage(WM_COMMAND, MAKEWPARAM(ID_APP_EXIT, 0), 0);
    EXPECT_TRUE(frame.IsWindow()) << "the close request is posted";
    EXPECT_EQ(1, guitest::RunWithTimeout(loop));
    EXPECT_FALSE(frame.IsWindow());
}

TEST_F(FrameTest, CloseEndsTheLoopWithCodeOneAndUnregistersTheFrame)
{
    frame.PostMessage(WM_CLOSE);
    EXPECT_EQ(1, guitest::RunWithTimeout(loop));
    EXPECT_FALSE(frame.IsWindow());
    // The frame is no longer a filter: keys pass untranslated.
    MSG msg = {nullptr, WM_KEYDOWN, VK_INSERT, 1, 0, {0, 0}};
    EXPECT_FALSE(loop.PreTranslateMessage(&msg));
}

struct FrameSearch
{
    DWORD pid;
    HWND found;
};

BOOL CALLBACK FindFrameOf(HWND hwnd, LPARAM lParam)
{
    auto *search = reinterpret_cast<FrameSearch *>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == search->pid && ClassOf(hwnd) == L"BrenvikMainFrame") {
        search->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

// A frame window of this process (other programs may show theirs meanwhile).
HWND FindOwnFrame()
{
    FrameSearch search = {GetCurrentProcessId(), nullptr};
    EnumWindows(&FindFrameOf, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

TEST(RunMainWindow, ReturnsOneWhenTheFrameIsClosed)
{
    bool sawFrame = false;
    guitest::Deferred close(200, [&] {
        HWND frameWindow = FindOwnFrame();
        sawFrame = frameWindow && IsWindowVisible(frameWindow);
        PostMessageW(frameWindow, WM_CLOSE, 0, 0);
    });
    // Should the close request get lost, the frame is destroyed after a while all the same.
    guitest::Deferred watchdog(10000, [] { DestroyWindow(FindOwnFrame()); });
    EXPECT_EQ(1, RunMainWindow(const_cast<LPWSTR>(L""), SW_SHOWNORMAL));
    EXPECT_FALSE(watchdog.Fired());
    EXPECT_TRUE(sawFrame);
    EXPECT_EQ(nullptr, ui::Module().GetMessageLoop()) << "the loop is unregistered";
    EXPECT_EQ(nullptr, FindOwnFrame());
}

TEST(RunMainWindow, FrameCreationFailsWithoutAMessageLoopToJoin)
{
    // The frame registers with the thread's loop while it is created; none is registered.
    CMainFrame frame;
    EXPECT_EQ(nullptr, frame.CreateEx());
    EXPECT_EQ(nullptr, FindOwnFrame());
    PumpMessages();
}

// --- Resources of both languages ---------------------------------------------------------------------

HMENU LoadMenuIn(UINT id, LANGID language)
{
    HRSRC info = FindResourceExW(nullptr, RT_MENU, MAKEINTRESOURCEW(id), language);
    return info ? LoadMenuIndirectW(LockResource(LoadResource(nullptr, info))) : nullptr;
}

std::wstring LoadStringIn(UINT id, LANGID language)
{
    HRSRC info = FindResourceExW(nullptr, RT_STRING, MAKEINTRESOURCEW(id / 16 + 1), language);
    if (!info)
        return L"<none>";
    const WCHAR *p = static_cast<const WCHAR *>(LockResource(LoadResource(nullptr, info)));
    for (UINT i = 0; i < id % 16; ++i)
        p += *p + 1;
    return *p ? std::wstring(p + 1, *p) : L"<none>";
}

struct FlatItem
{
    std::string path;   // pop-up positions, e.g. "1/7"
    UINT id;
    bool separator;
    bool popup;
    bool grayed;
    std::wstring text;
};

void Flatten(HMENU menu, const std::string &path, std::vector<FlatItem> &out)
{
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        MENUITEMINFOW info = {};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STATE | MIIM_SUBMENU;
        GetMenuItemInfoW(menu, i, TRUE, &info);
        std::string here = path + "/" + std::to_string(i);
        out.push_back({here, info.hSubMenu ? 0 : info.wID, (info.fType & MFT_SEPARATOR) != 0,
                       info.hSubMenu != nullptr, (info.fState & MFS_GRAYED) != 0, ui::GetMenuItemString(menu, i)});
        if (info.hSubMenu)
            Flatten(info.hSubMenu, here, out);
    }
}

wchar_t AccessKey(const std::wstring &text)
{
    size_t amp = text.find(L'&');
    return amp == std::wstring::npos || amp + 1 >= text.size() ? 0 : towupper(text[amp + 1]);
}

TEST(Resources, ChineseMenusHaveTheEnglishStructureAndOwnAccessKeys)
{
    const UINT menus[] = {IDR_MAINFRAME, IDR_CONTEXTMENU};
    for (UINT id : menus) {
        ui::UniqueMenu english(LoadMenuIn(id, kEnglish));
        ui::UniqueMenu chinese(LoadMenuIn(id, kChinese));
        ASSERT_TRUE(english) << id;
        ASSERT_TRUE(chinese) << id;
        std::vector<FlatItem> en, zh;
        Flatten(english, "", en);
        Flatten(chinese, "", zh);
        ASSERT_EQ(en.size(), zh.size()) << "menu " << id;
        std::map<std::string, std::set<wchar_t>> keys[2];
        for (size_t i = 0; i < en.size(); ++i) {
            const std::string where = "menu " + std::to_string(id) + " item " + en[i].path;
            EXPECT_EQ(en[i].path, zh[i].path) << where;
            EXPECT_EQ(en[i].id, zh[i].id) << where;
            EXPECT_EQ(en[i].separator, zh[i].separator) << where;
            EXPECT_EQ(en[i].popup, zh[i].popup) << where;
            // The one difference: Communication Settings is greyed in the English main menu.
            const bool commInMain = id == IDR_MAINFRAME && en[i].id == ID_EDIT_COMMSETTINGS;
            EXPECT_EQ(en[i].grayed, commInMain ? true : zh[i].grayed) << where;
            if (commInMain) {
                EXPECT_FALSE(zh[i].grayed) << where;
            }
            if (en[i].separator)
                continue;
            EXPECT_NE(en[i].text, zh[i].text) << where << " is translated";
            // Shortcut texts after the tab match.
            size_t enTab = en[i].text.find(L'\t');
            size_t zhTab = zh[i].text.find(L'\t');
            EXPECT_EQ(enTab == std::wstring::npos ? L"" : en[i].text.substr(enTab),
                      zhTab == std::wstring::npos ? L"" : zh[i].text.substr(zhTab)) << where;
            // Within one pop-up no two items share an access key (context menu titles are
            // never shown and carry none).
            const std::string parent = en[i].path.substr(0, en[i].path.rfind('/'));
            const FlatItem *items[2] = {&en[i], &zh[i]};
            for (int l = 0; l < 2; ++l) {
                wchar_t key = AccessKey(items[l]->text);
                if (id == IDR_CONTEXTMENU && items[l]->popup) {
                    EXPECT_EQ(0, key) << where;
                    continue;
                }
                EXPECT_NE(0, key) << where << (l ? " (Chinese)" : " (English)");
                EXPECT_TRUE(keys[l][parent].insert(key).second) << where << (l ? " (Chinese)" : " (English)")
                                                                << " repeats an access key";
            }
        }
    }
}

TEST(Resources, EveryStringExistsInBothLanguagesWithTheSameParts)
{
    const UINT ids[] = {128, 129, 130, 131, 141, 32773, 32775, 32776, 32777, 32779, 32780, 32783,
                        32784, 32785, 32786, 32787, 32832, 32839, 32846, 32851, 57345, 57600,
                        57634, 57635, 57637, 57642, 57664, 57665, 59392, 59393};
    for (UINT id : ids) {
        std::wstring en = LoadStringIn(id, kEnglish);
        std::wstring zh = LoadStringIn(id, kChinese);
        ASSERT_NE(L"<none>", en) << id;
        ASSERT_NE(L"<none>", zh) << id;
        EXPECT_EQ(std::count(en.begin(), en.end(), L'\n'), std::count(zh.begin(), zh.end(), L'\n')) << id;
        if (id == IDR_MAINFRAME) {
            EXPECT_EQ(en, zh) << "the product name is not translated";
            continue;
        }
        EXPECT_NE(en, zh) << id;
        // Translated texts are Chinese characters, read from the UTF-8 script as such.
        EXPECT_TRUE(std::any_of(zh.begin(), zh.end(), [](wchar_t c) { return c >= 0x4E00 && c <= 0x9FFF; })) << id;
    }
    EXPECT_EQ(L"设备", LoadStringIn(IDS_PANE_DEVICE, kChinese));
    EXPECT_EQ(L"就绪", LoadStringIn(IDS_IDLEMESSAGE, kChinese));
    EXPECT_EQ(kTitle, LoadStringIn(IDR_MAINFRAME, kEnglish));
}

TEST(Resources, OneKeyboardTableServesEveryLanguage)
{
    EXPECT_TRUE(FindResourceExW(nullptr, RT_ACCELERATOR, MAKEINTRESOURCEW(IDR_MAINFRAME), kChinese));
    EXPECT_FALSE(FindResourceExW(nullptr, RT_ACCELERATOR, MAKEINTRESOURCEW(IDR_MAINFRAME), kEnglish));
    // The loader falls back to the one table whatever the user interface language.
    HACCEL table = LoadAcceleratorsW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME));
    ASSERT_TRUE(table);
    EXPECT_EQ(17, CopyAcceleratorTableW(table, nullptr, 0));
    // Dialogs are English only, and found from any language.
    EXPECT_TRUE(FindResourceExW(nullptr, RT_DIALOG, MAKEINTRESOURCEW(IDD_ABOUTBOX), kEnglish));
    EXPECT_FALSE(FindResourceExW(nullptr, RT_DIALOG, MAKEINTRESOURCEW(IDD_ABOUTBOX), kChinese));
}

// --- The real program ----------------------------------------------------------------------------------

struct WindowSearch
{
    DWORD processId;
    std::vector<HWND> frames;
    std::vector<HWND> others;   // visible top-level windows of the process that are not the frame
};

BOOL CALLBACK CollectWindows(HWND hwnd, LPARAM lParam)
{
    auto *search = reinterpret_cast<WindowSearch *>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != search->processId || !IsWindowVisible(hwnd))
        return TRUE;
    if (ui::GetWindowString(hwnd) == kTitle)
        search->frames.push_back(hwnd);
    else
        search->others.push_back(hwnd);
    return TRUE;
}

TEST(Program, StartsShowsTheFrameAndEndsWithCodeOneWhenClosed)
{
    std::wstring commandLine = L"\"" + std::wstring(BRENVIK_EXE) + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessW(BRENVIK_EXE, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &process))
        << "error " << GetLastError();

    WindowSearch search = {process.dwProcessId, {}, {}};
    for (int i = 0; i < 200 && search.frames.empty(); ++i) {
        Sleep(100);
        search.frames.clear();
        search.others.clear();
        EnumWindows(&CollectWindows, reinterpret_cast<LPARAM>(&search));
    }
    ASSERT_EQ(1u, search.frames.size()) << "the frame did not show up";
    HWND frameWindow = search.frames[0];
    EXPECT_EQ(L"BrenvikMainFrame", ClassOf(frameWindow));
    EXPECT_TRUE(search.others.empty()) << "no message box or other window at start";
    if (GetSystemMetrics(SM_CXSCREEN) > 800) {
        RECT r = {};
        GetWindowRect(frameWindow, &r);
        EXPECT_EQ(800, r.right - r.left);
        EXPECT_EQ(600, r.bottom - r.top);
    }

    PostMessageW(frameWindow, WM_CLOSE, 0, 0);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.hProcess, 20000));
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    EXPECT_EQ(1u, exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

} // namespace
