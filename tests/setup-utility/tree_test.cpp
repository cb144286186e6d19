// The tree of classes and devices, the list beside it, and the control object check, on the
// real frame with the registry as other programs leave it.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "DeviceTree.h"
#include "MainFrm.h"
#include "gui_test_util.h"
#include "opos_setup.h"
#include "setup_test_util.h"
#include "strings.h"

namespace {

using setuptest::SetString;

const wchar_t kPrinters[] = L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\POSPrinter";

struct Box { std::wstring text, caption; UINT type; };
std::vector<Box> g_boxes;

int RecordBox(HWND, const std::wstring &text, const std::wstring &caption, UINT type)
{
    g_boxes.push_back({text, caption, type});
    return IDNO;
}


// Takes the frame's commands in the given set before the frame sees them and records them, so
// that a routed command is seen without the dialog it would open. The others go through.
class CommandSpy
{
public:
    CommandSpy(HWND frame, std::vector<WORD> taken) : m_frame(frame), m_taken(std::move(taken))
    {
        Current() = this;
        m_previous = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(frame, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Proc)));
    }
    ~CommandSpy()
    {
        if (IsWindow(m_frame))
            SetWindowLongPtrW(m_frame, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_previous));
        Current() = nullptr;
    }
    std::vector<WORD> commands;

private:
    static CommandSpy *&Current()
    {
        static CommandSpy *current = nullptr;
        return current;
    }
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        CommandSpy *spy = Current();
        if (message == WM_COMMAND) {
            WORD id = LOWORD(wParam);
            if (std::find(spy->m_taken.begin(), spy->m_taken.end(), id) != spy->m_taken.end()) {
                spy->commands.push_back(id);
                return 0;
            }
        }
        return CallWindowProcW(spy->m_previous, hwnd, message, wParam, lParam);
    }
    HWND m_frame;
    std::vector<WORD> m_taken;
    WNDPROC m_previous = nullptr;
};

class Tree : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const wchar_t *device : {L"TreeTest Alpha", L"TreeTest Beta"})
            SetString(std::wstring(kPrinters) + L"\\" + device, L"DeviceDesc", std::wstring(device) + L" desc");
        SetString(kPrinters, L"TreeTestFront", L"TreeTest Alpha");
        SetString(kPrinters, L"TreeTestBack", L"TreeTest Alpha");
        SetString(kPrinters, L"TreeTestCase", L"treetest alpha");   // differs in case: not Alpha's
        g_boxes.clear();
        previousHook = ui::SetMessageBoxHook(&RecordBox);
        ASSERT_TRUE(ui::Module().AddMessageLoop(&loop));
        ASSERT_TRUE(frame.CreateEx());
        guitest::PumpMessages();
    }
    void TearDown() override
    {
        if (frame.IsWindow())
            frame.DestroyWindow();
        guitest::PumpMessages();
        ui::Module().RemoveMessageLoop();
        ui::SetMessageBoxHook(previousHook);
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPrinters, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
            RegDeleteKeyW(key, L"TreeTest Alpha");
            RegDeleteKeyW(key, L"TreeTest Beta");
            for (const wchar_t *v : {L"TreeTestFront", L"TreeTestBack", L"TreeTestCase"})
                RegDeleteValueW(key, v);
            RegCloseKey(key);
        }
    }

    HTREEITEM Find(const std::wstring &path)
    {
        int i = DeviceItemMap.FindVal(path);
        if (i >= 0)
            return DeviceItemMap.GetKeyAt(i);
        i = ClassItemMap.FindVal(path);
        return i >= 0 ? ClassItemMap.GetKeyAt(i) : nullptr;
    }
    std::vector<std::pair<std::wstring, std::wstring>> Rows()
    {
        std::vector<std::pair<std::wstring, std::wstring>> rows;
        for (int i = 0; i < frame.GetList().GetItemCount(); ++i)
            rows.emplace_back(frame.GetList().GetItemText(i, 0), frame.GetList().GetItemText(i, 1));
        return rows;
    }
    void Reload() { frame.SendMessage(WM_COMMAND, MAKEWPARAM(ID_EDIT_REFRESH, 0), 0); }
    void PointAt(const wchar_t *path) { setuptest::PointAtTreeItem(frame.GetTree().m_hWnd, Find(path)); }
    void RightClick(HWND source) { setuptest::RightClick(frame.m_hWnd, source); }

    ui::MessageBoxHook previousHook = nullptr;
    ui::CMessageLoop loop;
    CMainFrame frame;
};

TEST_F(Tree, ClassesAtTheRootAndEveryItemInOneMap)
{
    ui::CTreeViewCtrl &tree = frame.GetTree();
    HTREEITEM first = tree.GetRootItem();
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(L"POSPrinter", tree.GetItemText(first));
    HTREEITEM second = tree.GetNextSiblingItem(first);
    ASSERT_NE(nullptr, second);
    EXPECT_EQ(L"CashDrawer", tree.GetItemText(second));
    EXPECT_EQ(nullptr, tree.GetNextSiblingItem(second));

    EXPECT_NE(nullptr, Find(L"POSPrinter\\TreeTest Alpha"));
    EXPECT_NE(nullptr, Find(L"POSPrinter\\TreeTest Beta"));
    EXPECT_EQ(2, ClassItemMap.GetSize());
    EXPECT_EQ(static_cast<int>(tree.GetCount()), ClassItemMap.GetSize() + DeviceItemMap.GetSize());
    for (HTREEITEM child = tree.GetChildItem(first); child; child = tree.GetNextSiblingItem(child))
        EXPECT_GE(DeviceItemMap.FindKey(child), 0) << "a device item outside the map";
    EXPECT_EQ(nullptr, tree.GetSelectedItem()) << "nothing is selected after a reload";
    EXPECT_TRUE(g_boxes.empty()) << "the stand-in carries the expected mark";
}

TEST_F(Tree, SelectionFillsTheListAndSetsTheCommands)
{
    const struct { const wchar_t *select; bool device; } rows[] = {
        {L"POSPrinter", false},
        {L"POSPrinter\\TreeTest Alpha", true},
        {L"CashDrawer", false},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(testing::Message() << std::string(row.select, row.select + wcslen(row.select)));
        frame.GetTree().SelectItem(Find(row.select));
        auto list = Rows();
        if (row.device) {
            std::vector<std::wstring> names;
            for (const auto &r : list) {
                names.push_back(r.first);
                EXPECT_EQ(L"POSPrinter\\TreeTest Alpha", r.second);
            }
            std::sort(names.begin(), names.end());
            EXPECT_EQ((std::vector<std::wstring>{L"TreeTestBack", L"TreeTestFront"}), names);
        } else if (std::wstring(row.select) == L"POSPrinter") {
            bool alpha = false, beta = false;
            for (const auto &r : list) {
                alpha |= r.first == L"TreeTest Alpha" && r.second == L"TreeTest Alpha desc";
                beta |= r.first == L"TreeTest Beta" && r.second == L"TreeTest Beta desc";
            }
            EXPECT_TRUE(alpha && beta);
        }
        EXPECT_TRUE(frame.UIIsEnabled(ID_EDIT_ADDLDN));
        EXPECT_EQ(row.device, frame.UIIsEnabled(ID_TOOLS_CHECKHEALTH));
        EXPECT_EQ(row.device, frame.UIIsEnabled(ID_DEVICE_DELETE));
        EXPECT_EQ(row.device, frame.UIIsEnabled(ID_EDIT_COMMSETTINGS));
        EXPECT_EQ(row.device, frame.UIIsEnabled(ID_FILE_PROPERTY)) << "File > Property, for the keyboard";
        EXPECT_FALSE(frame.UIIsEnabled(ID_DEVICE_SPECIFIC_BUTTON));
    }
}

TEST_F(Tree, DeviceDescriptionsShowWholeWhateverTheirLength)
{
    // The description column shows the device key's whole DeviceDesc: a long one is shown,
    // not dropped for an empty column that would look like a missing value.
    const struct { const wchar_t *device; size_t length; } rows[] = {
        // device key               characters of DeviceDesc
        {L"TreeTest Desc259",       259},
        {L"TreeTest Desc260",       260},
        {L"TreeTest Desc1000",      1000},
    };
    for (const auto &row : rows)
        SetString(std::wstring(kPrinters) + L"\\" + row.device, L"DeviceDesc", std::wstring(row.length, L'd'));
    Reload();
    frame.GetTree().SelectItem(Find(L"POSPrinter"));
    const auto list = Rows();
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPrinters, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        for (const auto &row : rows)
            RegDeleteKeyW(key, row.device);
        RegCloseKey(key);
    }
    for (const auto &row : rows) {
        auto found = std::find_if(list.begin(), list.end(), [&](const auto &r) { return r.first == row.device; });
        ASSERT_NE(list.end(), found) << row.length;
        EXPECT_EQ(std::wstring(row.length, L'd'), found->second) << row.length;
    }
}

TEST_F(Tree, ViewStylesSwitchTheListAndTheChecks)
{
    const struct { WORD id; DWORD view; } rows[] = {
        {ID_VIEW_LARGEICON, LVS_ICON}, {ID_VIEW_SMALLICON, LVS_SMALLICON},
        {ID_VIEW_LIST, LVS_LIST}, {ID_VIEW_DETAILS, LVS_REPORT},
    };
    for (const auto &row : rows) {
        frame.SendMessage(WM_COMMAND, MAKEWPARAM(row.id, 0), 0);
        EXPECT_EQ(row.view, frame.GetList().GetViewType()) << row.id;
        for (const auto &other : rows)
            EXPECT_EQ(other.id == row.id, frame.UIIsChecked(other.id)) << row.id << " / " << other.id;
    }
}

TEST_F(Tree, DoubleClickOnADeviceRowSelectsTheDevice)
{
    frame.GetTree().SelectItem(Find(L"POSPrinter"));
    ui::CListViewCtrl &list = frame.GetList();
    int row = -1;
    for (int i = 0; i < list.GetItemCount(); ++i)
        if (list.GetItemText(i, 0) == L"TreeTest Beta")
            row = i;
    ASSERT_GE(row, 0);
    list.SetItemState(row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    NMITEMACTIVATE activate = {};
    activate.hdr.hwndFrom = list.m_hWnd;
    activate.hdr.idFrom = GetDlgCtrlID(list.m_hWnd);
    activate.hdr.code = NM_DBLCLK;
    activate.iItem = row;
    frame.SendMessage(WM_NOTIFY, activate.hdr.idFrom, reinterpret_cast<LPARAM>(&activate));
    EXPECT_EQ(Find(L"POSPrinter\\TreeTest Beta"), frame.GetTree().GetSelectedItem());
}

TEST_F(Tree, EveryReloadChecksTheControlObject)
{
    const std::wstring standIn = WindowsPath(STANDIN_DLL);
    const std::wstring classKey = std::wstring(L"CLSID\\") + kStandInPrinterClsid;
    // Another control object's description: the question, with Yes and No.
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CLASSES_ROOT, classKey.c_str(), 0, KEY_ALL_ACCESS, &key));
    const wchar_t other[] = L"Some other POSPrinter control";
    RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE *>(other), sizeof(other));
    RegCloseKey(key);
    Reload();
    Reload();
    // No control object at all: a warning.
    RegDeleteKeyW(HKEY_CLASSES_ROOT, L"OPOS.POSPrinter\\CLSID");
    Reload();
    ASSERT_EQ(S_OK, RegisterServer(standIn));
    Reload();

    ASSERT_EQ(3u, g_boxes.size());
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(L"A special control object is found!\nReplace it with common one?", g_boxes[i].text);
        EXPECT_EQ(L"Warning", g_boxes[i].caption);
        EXPECT_EQ(static_cast<UINT>(MB_YESNO | MB_ICONEXCLAMATION), g_boxes[i].type);
    }
    EXPECT_EQ(L"Can not find OPOS POSPrinter control!", g_boxes[2].text);
    EXPECT_EQ(L"Warning", g_boxes[2].caption);
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION), g_boxes[2].type);
}

// Every command the context menus and the Delete key can lead to.
const std::vector<WORD> kRoutedCommands = {
    ID_EDIT_ADDDEVICE, ID_FILE_PROPERTY, ID_TOOLS_CHECKHEALTH, ID_EDIT_ADDLDN, ID_EDIT_COMMSETTINGS,
    ID_DEVICE_DELETE, ID_NAME_DELETELDN, ID_EDIT_RENAMELDN, 0,
};

TEST_F(Tree, ContextMenusOfferTheCommandsOfWhatWasClicked)
{
    // A right click on a tree item opens the menu of that item's kind, and its command acts on
    // the selection; in the list, the menu of what the list shows. The key is the item's access
    // key, typed into the open menu. Items greyed for the selection are left out.
    enum Where { InTree, InList };
    const struct {
        Where where;
        const wchar_t *clicked;   // under the cursor in the tree; nullptr in the list
        const wchar_t *selected;
        wchar_t key;
        std::vector<WORD> expected;
    } rows[] = {
        {InTree, L"POSPrinter", L"POSPrinter", L'n', {ID_EDIT_ADDDEVICE}},
        {InTree, L"CashDrawer", L"POSPrinter\\TreeTest Alpha", L'n', {ID_EDIT_ADDDEVICE}},
        {InTree, L"POSPrinter\\TreeTest Alpha", L"POSPrinter\\TreeTest Alpha", L'c', {ID_TOOLS_CHECKHEALTH}},
        {InTree, L"POSPrinter\\TreeTest Alpha", L"POSPrinter", L'l', {ID_EDIT_ADDLDN}},
        {InTree, L"POSPrinter\\TreeTest Beta", L"POSPrinter\\TreeTest Beta", L'o', {ID_EDIT_COMMSETTINGS}},
        {InTree, L"POSPrinter\\TreeTest Beta", L"POSPrinter\\TreeTest Beta", L'd', {ID_DEVICE_DELETE}},
        {InTree, L"POSPrinter\\TreeTest Alpha", L"POSPrinter", 0, {}},    // dismissed: nothing arrives
        {InList, nullptr, L"POSPrinter", L'l', {ID_EDIT_ADDLDN}},
        {InList, nullptr, L"CashDrawer", L'l', {ID_EDIT_ADDLDN}},
        {InList, nullptr, L"POSPrinter\\TreeTest Alpha", L'a', {ID_EDIT_ADDLDN}},
        {InList, nullptr, L"POSPrinter\\TreeTest Alpha", L'd', {ID_NAME_DELETELDN}},
        {InList, nullptr, L"POSPrinter\\TreeTest Alpha", L'r', {ID_EDIT_RENAMELDN}},
        {InList, nullptr, L"POSPrinter\\TreeTest Alpha", 0, {}},        // dismissed: nothing arrives
    };
    ui::CTreeViewCtrl &tree = frame.GetTree();
    frame.GetTree().Expand(Find(L"POSPrinter"), TVE_EXPAND);
    for (const auto &row : rows) {
        SCOPED_TRACE(testing::Message() << (row.where == InTree ? "tree " : "list ")
                     << std::string(row.selected, row.selected + wcslen(row.selected)) << " key "
                     << static_cast<char>(row.key ? row.key : '-'));
        tree.SelectItem(Find(row.selected));
        HWND source = row.where == InTree ? tree.m_hWnd : frame.GetList().m_hWnd;
        if (row.clicked)
            PointAt(row.clicked);
        CommandSpy spy(frame.m_hWnd, kRoutedCommands);
        bool open = false;
        guitest::Deferred choose(100, [&] {
            HWND menuWindow = FindWindowW(L"#32768", nullptr);
            open = menuWindow && IsWindowVisible(menuWindow);
            if (open && row.key)
                PostMessageW(menuWindow, WM_CHAR, row.key, 1);
            else
                EndMenu();
        });
        {
            guitest::ModalWatchdog watchdog;
            RightClick(source);
            EXPECT_FALSE(watchdog.Fired());
        }
        guitest::PumpMessages();
        EXPECT_TRUE(open);
        EXPECT_EQ(row.expected, spy.commands);
    }
}

// The context menu resource, sub-menu by sub-menu, with the state each item has there.
struct ContextItem
{
    UINT id;        // 0: separator
    bool enabled;
};
const std::vector<ContextItem> kContextMenu[3] = {
    // "Class" (0)
    {{ID_EDIT_ADDDEVICE, true}, {0, true}, {ID_CLASS_EXPORTREGISTRY, false}, {0, true}, {ID_FILE_PROPERTY, true}},
    // "Device" (1)
    {{ID_TOOLS_CHECKHEALTH, true}, {ID_DEVICE_SPECIFIC, false}, {ID_EDIT_ADDLDN, true},
     {ID_EDIT_COMMSETTINGS, true}, {ID_DEVICE_DELETE, true}, {0, true}, {ID_DEVICE_EXPORTREGISTRY, false},
     {0, true}, {ID_FILE_PROPERTY, false}},
    // "Name" (2)
    {{ID_EDIT_ADDLDN, true}, {ID_NAME_DELETELDN, true}, {ID_EDIT_RENAMELDN, true}},
};

TEST_F(Tree, ContextMenusShowTheStatesOfTheirResource)
{
    // Before each menu opens, every command of it that has a managed state is set the other
    // way in the frame: an item showing the frame's state would differ from the resource.
    const LANGID english = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
    const LANGID chinese = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);
    const struct {
        LANGID language;
        const wchar_t *clicked;    // tree item under the cursor; nullptr: a click in the list
        const wchar_t *selected;   // the tree's selection
        int subMenu;
        const wchar_t *firstItem;  // text of its first item, in that language
    } rows[] = {
        // language  clicked                        selected                       sub  first item
        {english, L"POSPrinter",                   L"POSPrinter\\TreeTest Alpha", 0,   L"Add &New Device..."},
        {english, L"POSPrinter\\TreeTest Alpha", L"POSPrinter",                   1,   L"&CheckHealth Interactive"},
        {english, nullptr,                         L"POSPrinter",                   1,   L"&CheckHealth Interactive"},
        {english, nullptr,                         L"POSPrinter\\TreeTest Alpha", 2,   L"&Add"},
        {chinese, L"CashDrawer",                   L"POSPrinter",                   0,   L"添加新设备(&N)..."},
        {chinese, L"POSPrinter\\TreeTest Beta",  L"POSPrinter\\TreeTest Alpha", 1,   L"交互式 CheckHealth(&C)"},
        {chinese, nullptr,                         L"POSPrinter",                   1,   L"交互式 CheckHealth(&C)"},
        {chinese, nullptr,                         L"POSPrinter\\TreeTest Alpha", 2,   L"添加(&A)"},
    };
    const LCID savedLocale = GetThreadLocale();
    frame.GetTree().Expand(Find(L"POSPrinter"), TVE_EXPAND);
    for (const auto &row : rows) {
        SCOPED_TRACE(testing::Message() << (row.language == english ? "English " : "Chinese ")
                     << (row.clicked ? "tree " : "list ") << "sub-menu " << row.subMenu << " selected "
                     << std::string(row.selected, row.selected + wcslen(row.selected)));
        frame.GetTree().SelectItem(Find(row.selected));
        if (row.clicked)
            PointAt(row.clicked);
        for (const ContextItem &item : kContextMenu[row.subMenu]) {
            if (item.id)
                frame.UIEnable(item.id, !item.enabled);
        }
        struct Shown { UINT id; bool separator; bool enabled; };
        std::vector<Shown> shown;
        std::wstring firstItem;
        guitest::Deferred look(100, [&] {
            HWND menuWindow = FindWindowW(L"#32768", nullptr);
            HMENU menu = menuWindow && IsWindowVisible(menuWindow)
                             ? reinterpret_cast<HMENU>(SendMessageW(menuWindow, MN_GETHMENU, 0, 0)) : nullptr;
            for (int i = 0; menu && i < GetMenuItemCount(menu); ++i) {
                UINT state = GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION);
                shown.push_back({GetMenuItemID(menu, i), (state & MF_SEPARATOR) != 0, !(state & MF_GRAYED)});
            }
            if (menu)
                firstItem = ui::GetMenuItemString(menu, 0);
            EndMenu();
        });
        SetThreadLocale(MAKELCID(row.language, SORT_DEFAULT));
        {
            guitest::ModalWatchdog watchdog;
            RightClick(row.clicked ? frame.GetTree().m_hWnd : frame.GetList().m_hWnd);
            EXPECT_FALSE(watchdog.Fired());
        }
        SetThreadLocale(savedLocale);
        guitest::PumpMessages();
        EXPECT_EQ(row.firstItem, firstItem);
        const std::vector<ContextItem> &expected = kContextMenu[row.subMenu];
        ASSERT_EQ(expected.size(), shown.size());
        for (size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(expected[i].id == 0, shown[i].separator) << "item " << i;
            if (expected[i].id == 0)
                continue;
            EXPECT_EQ(expected[i].id, shown[i].id) << "item " << i;
            EXPECT_EQ(expected[i].enabled, shown[i].enabled) << "item " << i << " (" << expected[i].id << ")";
        }
    }
}

TEST_F(Tree, RightClickBesideTheTreeItemsOpensNoMenu)
{
    ui::CTreeViewCtrl &tree = frame.GetTree();
    RECT client = {};
    GetClientRect(tree.m_hWnd, &client);
    POINT below = {client.right / 2, client.bottom - 2};
    ClientToScreen(tree.m_hWnd, &below);
    SetCursorPos(below.x, below.y);
    CommandSpy spy(frame.m_hWnd, kRoutedCommands);
    bool open = false;
    guitest::Deferred look(100, [&] {
        HWND menuWindow = FindWindowW(L"#32768", nullptr);
        open = menuWindow && IsWindowVisible(menuWindow);
        EndMenu();
    });
    NMHDR header = {tree.m_hWnd, static_cast<UINT_PTR>(GetDlgCtrlID(tree.m_hWnd)), static_cast<UINT>(NM_RCLICK)};
    frame.SendMessage(WM_NOTIFY, header.idFrom, reinterpret_cast<LPARAM>(&header));
    guitest::PumpMessages(150);
    EXPECT_FALSE(open);
    EXPECT_TRUE(spy.commands.empty());
}

TEST_F(Tree, DeleteKeyActsOnWhatHasTheFocus)
{
    // In the tree it deletes the selected device; in the list, the logical name when a device is
    // selected and the device when a class is; elsewhere nothing.
    enum Focus { OnTree, OnList, OnStatusBar };
    const struct { Focus focus; const wchar_t *select; std::vector<WORD> expected; } rows[] = {
        {OnTree, L"POSPrinter\\TreeTest Alpha", {ID_DEVICE_DELETE}},
        {OnTree, L"POSPrinter", {ID_DEVICE_DELETE}},
        {OnList, L"POSPrinter\\TreeTest Alpha", {ID_NAME_DELETELDN}},
        {OnList, L"POSPrinter", {ID_DEVICE_DELETE}},
        {OnList, L"CashDrawer", {ID_DEVICE_DELETE}},
        {OnStatusBar, L"POSPrinter\\TreeTest Alpha", {}},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(testing::Message() << row.focus << " "
                     << std::string(row.select, row.select + wcslen(row.select)));
        frame.GetTree().SelectItem(Find(row.select));
        HWND focus = row.focus == OnTree ? frame.GetTree().m_hWnd
                   : row.focus == OnList ? frame.GetList().m_hWnd : frame.m_hWndStatusBar;
        SetFocus(focus);
        ASSERT_EQ(focus, GetFocus());
        CommandSpy spy(frame.m_hWnd, kRoutedCommands);
        frame.SendMessage(WM_COMMAND, MAKEWPARAM(ID_EDIT_DELETESELECTED, 0), 0);
        guitest::PumpMessages();
        EXPECT_EQ(row.expected, spy.commands);
    }
}

} // namespace
