// The tree of device classes and devices, the list beside it, and the commands that act on
// whatever the two show: reload, selection, view style, context menus, double click, Delete.
#include "MainFrm.h"
#include "DeviceTree.h"
#include "devicestore.h"
#include "strings.h"
#include "trace.h"

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
    POINT cursor;
    GetCursorPos(&cursor);
    int subMenu = -1;
    bool fromTree = header->hwndFrom == m_tree.m_hWnd;
    if (fromTree) {
        TVHITTESTINFO hit = {};
        hit.pt = cursor;
        ::ScreenToClient(m_tree.m_hWnd, &hit.pt);
        HTREEITEM item = reinterpret_cast<HTREEITEM>(
            ::SendMessageW(m_tree.m_hWnd, TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
        if (!item)
            return 0;
        if (ClassItemMap.FindKey(item) >= 0) {
            subMenu = kClassMenu;
        } else if (DeviceItemMap.FindKey(item) >= 0) {
            // The Device menu's commands act on the tree's selection: the device clicked
            // becomes it first (the list refills as for any selection), so that a command
            // never writes or deletes a device other than the one the user pointed at. A class
            // click keeps the selection, whose device the Class menu's Property shows.
            m_tree.SelectItem(item);
            if (m_tree.GetSelectedItem() != item)
                return 0;
            subMenu = kDeviceMenu;
        }
    } else if (header->hwndFrom == m_list.m_hWnd) {
        HTREEITEM selected = m_tree.GetSelectedItem();
        if (ClassItemMap.FindKey(selected) >= 0)
            subMenu = kDeviceMenu;
        else if (DeviceItemMap.FindKey(selected) >= 0)
            subMenu = kNameMenu;
    }
    if (subMenu < 0)
        return 0;

    HMENU menu = LoadMenuW(ui::Module().GetResourceInstance(), MAKEINTRESOURCEW(IDR_CONTEXTMENU));
    if (!menu)
        return 0;
    HMENU popup = GetSubMenu(menu, subMenu);
    if (fromTree) {
        // The command acts on the tree's selection, sent before this handler returns.
        UINT command = TrackPopupMenu(popup, TPM_RETURNCMD, cursor.x, cursor.y, 0, m_hWnd, nullptr);
        ::SendMessageW(m_hWnd, WM_COMMAND, MAKEWPARAM(command, 0), 0);
    } else {
        TrackPopupMenu(popup, 0, cursor.x, cursor.y, 0, m_hWnd, nullptr);
    }
    DestroyMenu(menu);
    return 0;
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
