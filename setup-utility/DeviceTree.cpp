// The tree of device classes and devices, the list beside it, and the commands that act on
// whatever the two show: reload, selection, view style, context menus, double click, Delete.
#include "MainFrm.h"
#include "DeviceTree.h"
#include "devicestore.h"
#include "strings.h"
#include "trace.h"

#include <cstring>

CItemMap ClassItemMap;
CItemMap DeviceItemMap;

namespace {

// Image list indexes: icon 206, 207 and 210 in this order.
constexpr int kImageLogicalName = 0;
constexpr int kImageDevice = 1;

// Sub-menus of the context menu resource.
constexpr int kClassMenu = 0;
constexpr int kDeviceMenu = 1;
constexpr int kNameMenu = 2;

} // namespace

void CMainFrame::ReloadTree()
{
    // Selecting nothing first lets the selection-change handler empty the list and reset the
    // command states.
    m_tree.SelectItem(nullptr);
    m_tree.DeleteAllItems();
    DeviceItemMap.RemoveAll();
    ClassItemMap.RemoveAll();

    for (const wchar_t *deviceClass : kDeviceClasses) {
        HTREEITEM classItem = m_tree.InsertItem(deviceClass, kImageDevice, kImageDevice, TVI_ROOT, TVI_LAST);
        ClassItemMap.Add(classItem, deviceClass);
        for (const std::wstring &device : EnumDeviceKeys(deviceClass)) {
            HTREEITEM item = m_tree.InsertItem(device.c_str(), kImageDevice, kImageDevice, classItem, TVI_LAST);
            DeviceItemMap.Add(item, std::wstring(deviceClass) + L"\\" + device);
        }
        m_tree.Expand(classItem);
    }

    switch (CheckControlObject()) {
    case ControlObjectState::NotFound:
        ui::ShowMessageBox(m_hWnd, IDS_NO_CONTROL_OBJECT, IDS_WARNING, MB_OK | MB_ICONEXCLAMATION);
        break;
    case ControlObjectState::Unexpected:
        // No procedure replaces a control object: either answer ends the reload.
        ui::ShowMessageBox(m_hWnd, IDS_OTHER_CONTROL_OBJECT, IDS_WARNING, MB_YESNO | MB_ICONEXCLAMATION);
        break;
    case ControlObjectState::Expected:
    case ControlObjectState::Unknown:
        break;
    }
}

LRESULT CMainFrame::ReloadTree(WORD /*code*/, WORD /*id*/, HWND /*control*/, BOOL & /*handled*/)
{
    ReloadTree();
    return 0;
}

LRESULT CMainFrame::FillDeviceList(int /*idCtrl*/, LPNMHDR header, BOOL & /*handled*/)
{
    HTREEITEM item = reinterpret_cast<NMTREEVIEWW *>(header)->itemNew.hItem;
    m_list.DeleteAllItems();
    UIEnable(ID_DEVICE_SPECIFIC_BUTTON, false);
    UIEnable(ID_EDIT_COMMSETTINGS, false);
    UIEnable(ID_DEVICE_DELETE, false);
    UIEnable(ID_TOOLS_CHECKHEALTH, false);
    UIEnable(ID_FILE_PROPERTY, false);
    UIEnable(ID_EDIT_ADDLDN, true);

    if (const std::wstring *path = DeviceItemMap.Lookup(item)) {
        std::wstring deviceClass, device;
        SplitDevicePath(*path, deviceClass, device);
        int row = 0;
        for (const std::wstring &name : LogicalNamesOf(deviceClass, device)) {
            int index = m_list.InsertItem(row++, name.c_str(), kImageLogicalName);
            m_list.SetItemText(index, 1, path->c_str());
        }
        UIEnable(ID_EDIT_COMMSETTINGS, true);
        UIEnable(ID_DEVICE_DELETE, true);
        UIEnable(ID_TOOLS_CHECKHEALTH, true);
        UIEnable(ID_FILE_PROPERTY, true);
    } else if (const std::wstring *deviceClass = ClassItemMap.Lookup(item)) {
        int row = 0;
        for (const DeviceRow &device : ListDevices(*deviceClass)) {
            int index = m_list.InsertItem(row++, device.name.c_str(), kImageDevice);
            m_list.SetItemText(index, 1, device.description.c_str());
        }
    }
    return 0;
}

LRESULT CMainFrame::OnViewStyle(WORD /*code*/, WORD id, HWND /*control*/, BOOL & /*handled*/)
{
    static const struct { WORD id; DWORD view; } kViews[] = {
        {ID_VIEW_LARGEICON, LVS_ICON},
        {ID_VIEW_SMALLICON, LVS_SMALLICON},
        {ID_VIEW_LIST, LVS_LIST},
        {ID_VIEW_DETAILS, LVS_REPORT},
    };
    for (const auto &v : kViews) {
        if (v.id == id)
            m_list.SetViewType(v.view);
        UISetCheck(v.id, v.id == id);
    }
    return 0;
}

LRESULT CMainFrame::OnContextMenu(int /*idCtrl*/, LPNMHDR header, BOOL & /*handled*/)
{
    // The notification carries no position: the cursor is where the click was.
    POINT cursor;
    GetCursorPos(&cursor);
    if (header->hwndFrom == m_tree.m_hWnd) {
        TVHITTESTINFO hit = {};
        hit.pt = cursor;
        ::ScreenToClient(m_tree.m_hWnd, &hit.pt);
        HTREEITEM item = reinterpret_cast<HTREEITEM>(
            ::SendMessageW(m_tree.m_hWnd, TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
        if (item)
            TrackTreeMenu(item, cursor);
    } else if (header->hwndFrom == m_list.m_hWnd) {
        LVHITTESTINFO hit = {};
        hit.pt = cursor;
        ::ScreenToClient(m_list.m_hWnd, &hit.pt);
        int row = static_cast<int>(::SendMessageW(m_list.m_hWnd, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
        TrackListMenu(row, cursor);
    }
    return 0;
}

bool CMainFrame::OpenMenuFromKey(const MSG &msg)
{
    // Shift+F10 (a system key) and the context-menu key, down and up: the key-up of one whose
    // key-down opened a menu is taken too, so that the window's default handling never sees
    // half a key (F10 released alone enters the menu bar).
    const bool down = msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN;
    const bool up = msg.message == WM_KEYUP || msg.message == WM_SYSKEYUP;
    if ((!down && !up) || (msg.wParam != VK_F10 && msg.wParam != VK_APPS))
        return false;
    if (up) {
        if (!m_menuKeyDown)
            return false;
        m_menuKeyDown = false;
        return true;
    }
    // A key-up the open menu took never comes here: the next key-down starts afresh.
    m_menuKeyDown = false;
    if (msg.hwnd != m_tree.m_hWnd && msg.hwnd != m_list.m_hWnd)
        return false;
    const bool shift = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
    const bool ctrl = (GetKeyState(VK_CONTROL) & 0x8000) != 0;
    const bool alt = (GetKeyState(VK_MENU) & 0x8000) != 0;
    if (msg.wParam == VK_F10 ? (!shift || ctrl || alt) : (ctrl || alt))
        return false;
    m_menuKeyDown = true;

    // The menu opens at the focused item, below its text; for a list without rows, at the
    // list's top left corner.
    POINT at = {0, 0};
    if (msg.hwnd == m_tree.m_hWnd) {
        HTREEITEM item = m_tree.GetSelectedItem();
        if (!item)
            return true;
        RECT r = {};
        memcpy(&r, &item, sizeof item);   // the message takes the item in the rectangle
        ::SendMessageW(m_tree.m_hWnd, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(item));
        if (::SendMessageW(m_tree.m_hWnd, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&r)))
            at = {r.left, r.bottom};
        ::ClientToScreen(m_tree.m_hWnd, &at);
        TrackTreeMenu(item, at);
    } else {
        int row = m_list.GetNextItem(-1, LVNI_SELECTED);
        if (row < 0)
            row = m_list.GetNextItem(-1, LVNI_FOCUSED);
        if (row >= 0) {
            ::SendMessageW(m_list.m_hWnd, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
            RECT r = {};
            r.left = LVIR_LABEL;
            if (::SendMessageW(m_list.m_hWnd, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&r)))
                at = {r.left, r.bottom};
        }
        ::ClientToScreen(m_list.m_hWnd, &at);
        TrackListMenu(row, at);
    }
    return true;
}

UINT CMainFrame::TrackContextMenu(int subMenu, POINT at)
{
    HMENU menu = LoadMenuW(ui::Module().GetResourceInstance(), MAKEINTRESOURCEW(IDR_CONTEXTMENU));
    if (!menu)
        return 0;
    // The items keep the states of the resource. A dismissed menu answers 0.
    UINT command = TrackPopupMenu(GetSubMenu(menu, subMenu), TPM_RETURNCMD, at.x, at.y, 0, m_hWnd, nullptr);
    DestroyMenu(menu);
    return command;
}

void CMainFrame::TrackTreeMenu(HTREEITEM item, POINT at)
{
    if (const std::wstring *deviceClass = ClassItemMap.Lookup(item)) {
        // The Class menu's commands act on the class clicked; the selection stays, so that
        // its Property can show the selected device of that class.
        const std::wstring clicked = *deviceClass;
        UINT command = TrackContextMenu(kClassMenu, at);
        if (!command)
            return;
        m_menuClass = clicked;
        ::SendMessageW(m_hWnd, WM_COMMAND, MAKEWPARAM(command, 0), 0);
        m_menuClass.clear();
    } else if (DeviceItemMap.FindKey(item) >= 0) {
        // The Device menu's commands act on the tree's selection: the device clicked becomes
        // it first (the list refills as for any selection), so that a command never writes or
        // deletes a device other than the one the user pointed at.
        m_tree.SelectItem(item);
        if (m_tree.GetSelectedItem() != item)
            return;
        UINT command = TrackContextMenu(kDeviceMenu, at);
        if (command)
            ::SendMessageW(m_hWnd, WM_COMMAND, MAKEWPARAM(command, 0), 0);
    }
}

void CMainFrame::TrackListMenu(int row, POINT at)
{
    HTREEITEM selected = m_tree.GetSelectedItem();
    const std::wstring *selectedClass = ClassItemMap.Lookup(selected);
    const std::wstring deviceClass = selectedClass ? *selectedClass : std::wstring();
    int subMenu = selectedClass ? kDeviceMenu : DeviceItemMap.FindKey(selected) >= 0 ? kNameMenu : -1;
    if (subMenu < 0)
        return;
    // The row clicked is the row the commands take (Delete and Rename read the selected row).
    if (row >= 0)
        m_list.SetItemState(row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    const std::wstring rowText = row >= 0 ? m_list.GetItemText(row, 0) : std::wstring();
    UINT command = TrackContextMenu(subMenu, at);
    if (!command)
        return;
    if (subMenu == kDeviceMenu && row >= 0) {
        // A device row's commands act on that device: it becomes the tree's selection first,
        // as a double click makes it.
        int found = DeviceItemMap.FindVal(deviceClass + L"\\" + rowText);
        if (found < 0)
            return;
        HTREEITEM item = DeviceItemMap.GetKeyAt(found);
        m_tree.SelectItem(item);
        if (m_tree.GetSelectedItem() != item)
            return;
    }
    ::SendMessageW(m_hWnd, WM_COMMAND, MAKEWPARAM(command, 0), 0);
}

LRESULT CMainFrame::OnListDblClk(int /*idCtrl*/, LPNMHDR header, BOOL & /*handled*/)
{
    if (header->hwndFrom != m_list.m_hWnd || reinterpret_cast<NMITEMACTIVATE *>(header)->iItem < 0)
        return 0;
    const std::wstring *deviceClass = ClassItemMap.Lookup(m_tree.GetSelectedItem());
    if (!deviceClass)
        return 0;
    int row = m_list.GetSelectedIndex();
    if (row < 0)
        return 0;
    int found = DeviceItemMap.FindVal(*deviceClass + L"\\" + m_list.GetItemText(row, 0));
    if (found >= 0)
        m_tree.SelectItem(DeviceItemMap.GetKeyAt(found));
    return 0;
}

LRESULT CMainFrame::OnDeleteSelected(WORD /*code*/, WORD /*id*/, HWND /*control*/, BOOL & /*handled*/)
{
    HWND focus = GetFocus();
    if (focus == m_tree.m_hWnd) {
        Trace(L"delete in the tree\n");
        ::SendMessageW(m_hWnd, WM_COMMAND, MAKEWPARAM(ID_DEVICE_DELETE, 0), 0);
    } else if (focus == m_list.m_hWnd) {
        Trace(L"delete in the view\n");
        HTREEITEM selected = m_tree.GetSelectedItem();
        if (DeviceItemMap.FindKey(selected) >= 0)
            ::SendMessageW(m_hWnd, WM_COMMAND, MAKEWPARAM(ID_NAME_DELETELDN, 0), 0);
        else if (ClassItemMap.FindKey(selected) >= 0)
            ::SendMessageW(m_hWnd, WM_COMMAND, MAKEWPARAM(ID_DEVICE_DELETE, 0), 0);
    }
    return 0;
}
