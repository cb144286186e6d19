// Adding, renaming and deleting logical device names.
#include "AddLdnDlg.h"

#include "AtlReg.h"
#include "DeviceTree.h"
#include "MainFrm.h"
#include "devicestore.h"
#include "strings.h"

namespace {

const REGSAM kClassAccess = KEY_READ | KEY_WRITE;
constexpr ULONG kOldDataChars = 100;   // a device key name a logical name refers to

void ShowError(HWND owner, UINT textId)
{
    ui::ShowMessageBox(owner, textId, IDS_ERROR, MB_OK | MB_ICONERROR);
}

// The class of a device item: the class item above it.
const std::wstring *ClassOfDeviceItem(HWND tree, HTREEITEM item)
{
    HTREEITEM parent = reinterpret_cast<HTREEITEM>(
        ::SendMessageW(tree, TVM_GETNEXTITEM, TVGN_PARENT, reinterpret_cast<LPARAM>(item)));
    return ClassItemMap.Lookup(parent);
}

} // namespace

bool TrimLogicalName(std::wstring &name)
{
    static const wchar_t kBlanks[] = L" \t\x3000";
    const size_t first = name.find_first_not_of(kBlanks);
    if (first == std::wstring::npos)
        name.clear();
    else
        name = name.substr(first, name.find_last_not_of(kBlanks) - first + 1);
    return !name.empty() && name.size() <= kMaxLogicalNameChars;
}

bool FindLogicalName(CRegKeyEx &classKey, const std::wstring &name, LogicalNameEntry &found)
{
    bool matched = false;
    CRegData data;
    classKey.ForEachValue(data, [&](const std::wstring &valueName, CRegData &value) {
        if (valueName.empty() || !RegNamesEqual(valueName, name))
            return true;
        matched = true;
        found.name = valueName;
        const bool text = value.GetType() == REG_SZ || value.GetType() == REG_EXPAND_SZ;
        found.device = text ? value.GetString() : std::wstring();
        return false;
    });
    return matched;
}

const CAddLdnDlg::Map CAddLdnDlg::s_messageMap[] = {
    Map::CommandCode(IDC_LDN_CLASS, CBN_SELCHANGE, &CAddLdnDlg::OnClassChanged),
    Map::Command(IDCANCEL, &CAddLdnDlg::OnEndCancel),
    Map::Command(IDOK, &CAddLdnDlg::OnOK),
    Map::Message(WM_CLOSE, &CAddLdnDlg::OnCloseCancel),
    Map::Message(WM_INITDIALOG, &CAddLdnDlg::OnInitDialog),
};

BOOL CAddLdnDlg::ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                      LRESULT &result)
{
    return ui::RouteMessage(this, s_messageMap, hwnd, msg, wParam, lParam, result);
}

LRESULT CAddLdnDlg::OnInitDialog(UINT, WPARAM, LPARAM, BOOL &)
{
    SetDlgItemTextW(m_hWnd, IDC_LDN_NAME, m_logicalName.c_str());
    m_classes = GetDlgItem(IDC_LDN_CLASS);
    m_devices = GetDlgItem(IDC_LDN_DEVICE);
    for (int i = 0; i < ClassItemMap.GetSize(); ++i)
        m_classes.AddString(ClassItemMap.GetValueAt(i).c_str());
    m_classes.SetCurSel(ClassItemMap.FindVal(m_className));
    SendMessage(WM_COMMAND, MAKEWPARAM(IDC_LDN_CLASS, CBN_SELCHANGE), reinterpret_cast<LPARAM>(m_classes.m_hWnd));
    CenterWindow(GetParent());
    return TRUE;
}

LRESULT CAddLdnDlg::OnClassChanged(WORD, WORD, HWND, BOOL &)
{
    m_devices.ResetContent();
    int selected = m_classes.GetCurSel();
    if (selected < 0 || selected >= ClassItemMap.GetSize())
        return 0;
    // The devices the tree shows under the class, not a fresh registry read.
    ui::CTreeViewCtrl tree;
    tree = m_tree;
    for (HTREEITEM child = tree.GetChildItem(ClassItemMap.GetKeyAt(selected)); child;
         child = tree.GetNextSiblingItem(child)) {
        if (const std::wstring *path = DeviceItemMap.Lookup(child))
            m_devices.AddString(path->substr(path->rfind(L'\\') + 1).c_str());
    }
    // The entry of the given device name (the whole name, letter case ignored: a device
    // whose name begins with another's is not taken for it); else the first entry.
    int match = static_cast<int>(m_devices.SendMessage(CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                                       reinterpret_cast<LPARAM>(m_deviceName.c_str())));
    m_devices.SetCurSel(match >= 0 ? match : 0);
    return 0;
}

LRESULT CAddLdnDlg::OnOK(WORD, WORD, HWND, BOOL &)
{
    m_logicalName = ui::GetWindowString(GetDlgItem(IDC_LDN_NAME));
    if (!TrimLogicalName(m_logicalName)) {
        ShowError(m_hWnd, IDS_INVALID_LDN);
        return 0;
    }
    int selected = m_classes.GetCurSel();
    if (selected < 0 || selected >= ClassItemMap.GetSize())
        return 0;
    const std::wstring &deviceClass = ClassItemMap.GetValueAt(selected);
    int device = m_devices.GetCurSel();
    // A name must refer to a device: a class without devices gets none.
    if (device < 0) {
        ui::ShowMessageBox(m_hWnd, IDS_SELECT_DEVICE, IDS_WARNING, MB_OK | MB_ICONEXCLAMATION);
        return 0;
    }
    const std::wstring deviceName = m_devices.GetLBText(device);

    CRegKeyEx key;
    if (key.Open(HKEY_LOCAL_MACHINE, ClassKeyPath(deviceClass).c_str(), kClassAccess) != ERROR_SUCCESS) {
        ShowError(m_hWnd, IDS_CANNOT_OPEN_REGISTRY);
        return 0;
    }
    CRegData existing;
    if (key.FindValue(m_logicalName.c_str(), existing)) {
        ShowError(m_hWnd, IDS_LDN_EXISTS);
        return 0;
    }
    if (key.SetStringValue(m_logicalName.c_str(), deviceName.c_str()) != ERROR_SUCCESS) {
        ShowError(m_hWnd, IDS_SETTING_REGISTRY_FAILS);
        return 0;
    }
    EndDialog(IDOK);
    return 0;
}

// --- The main frame's commands --------------------------------------------------------------------

LRESULT CMainFrame::OnAddLdn(WORD, WORD, HWND, BOOL &)
{
    HTREEITEM selected = m_tree.GetSelectedItem();
    std::wstring deviceClass, device;
    if (const std::wstring *path = DeviceItemMap.Lookup(selected)) {
        SplitDevicePath(*path, deviceClass, device);
    } else if (const std::wstring *name = ClassItemMap.Lookup(selected)) {
        deviceClass = *name;
        // The device row selected in the list; without one, the last device of the class in
        // tree order.
        int row = m_list.GetNextItem(-1, LVNI_SELECTED);
        if (row >= 0) {
            device = m_list.GetItemText(row, 0);
        } else {
            const std::wstring prefix = deviceClass + L"\\";
            for (int i = 0; i < DeviceItemMap.GetSize(); ++i) {
                const std::wstring &path = DeviceItemMap.GetValueAt(i);
                if (path.compare(0, prefix.size(), prefix) == 0)
                    device = path.substr(path.rfind(L'\\') + 1);
            }
        }
    } else {
        return 0;
    }
    CAddLdnDlg dialog(deviceClass, device, m_tree.m_hWnd);
    if (dialog.DoModal() == IDOK)
        ReloadTree();
    return 0;
}

LRESULT CMainFrame::OnBeginLabelEdit(int, LPNMHDR header, BOOL &handled)
{
    if (header->hwndFrom != m_list.m_hWnd) {
        handled = FALSE;
        return 0;
    }
    if (!DeviceItemMap.Lookup(m_tree.GetSelectedItem()))
        return TRUE;   // only logical names are renamed: the edit is cancelled
    const NMLVDISPINFOW *info = reinterpret_cast<const NMLVDISPINFOW *>(header);
    m_oldName = m_list.GetItemText(info->item.iItem, 0);
    m_labelEdit = m_list.GetEditControl();
    return FALSE;
}

LRESULT CMainFrame::OnRenameLdn(WORD, WORD, HWND, BOOL &)
{
    int row = m_list.GetNextItem(-1, LVNI_SELECTED);
    if (row >= 0) {
        m_list.SetFocus();
        m_list.EditLabel(row);
    }
    return 0;
}

LRESULT CMainFrame::RenameLdn(int, LPNMHDR header, BOOL &handled)
{
    if (header->hwndFrom != m_list.m_hWnd) {
        handled = FALSE;
        return 0;
    }
    m_labelEdit = nullptr;
    const NMLVDISPINFOW *info = reinterpret_cast<const NMLVDISPINFOW *>(header);
    HTREEITEM selected = m_tree.GetSelectedItem();
    if (!info->item.pszText || !DeviceItemMap.Lookup(selected))
        return 0;
    std::wstring newName = info->item.pszText;
    const std::wstring oldName = m_oldName;
    // The same name, letter for letter, as typed or once trimmed: nothing to do and nothing
    // to ask.
    if (newName == oldName)
        return 0;
    const bool valid = TrimLogicalName(newName);
    if (newName == oldName)
        return 0;
    if (!valid) {
        ShowError(m_hWnd, IDS_INVALID_LDN);
        return 0;
    }
    const std::wstring *deviceClass = ClassOfDeviceItem(m_tree.m_hWnd, selected);
    CRegKeyEx key;
    if (!deviceClass ||
        key.Open(HKEY_LOCAL_MACHINE, ClassKeyPath(*deviceClass).c_str(), kClassAccess) != ERROR_SUCCESS) {
        ShowError(m_hWnd, IDS_CANNOT_OPEN_REGISTRY);
        return 0;
    }
    // Only the letter case changes: the registry sees one value, so it is read, deleted and
    // written again under the new spelling (and put back if that fails).
    const bool sameValue = RegNamesEqual(newName, oldName);
    LogicalNameEntry existing;
    const bool replaces = !sameValue && FindLogicalName(key, newName, existing);
    if (replaces) {
        std::wstring question = ui::FormatRes(IDS_REPLACE_LDN, existing.name.c_str(), existing.device.c_str());
        if (ui::ShowMessageBox(m_hWnd, question, oldName, MB_YESNO | MB_ICONQUESTION) != IDYES)
            return 0;
    }
    wchar_t data[kOldDataChars] = {};
    ULONG chars = kOldDataChars;
    if (key.QueryStringValue(oldName.c_str(), data, &chars) != ERROR_SUCCESS) {
        ShowError(m_hWnd, IDS_SETTING_REGISTRY_FAILS);
        return 0;
    }
    if (sameValue) {
        key.DeleteValue(oldName.c_str());
        if (key.SetStringValue(newName.c_str(), data) != ERROR_SUCCESS) {
            key.SetStringValue(oldName.c_str(), data);
            ShowError(m_hWnd, IDS_SETTING_REGISTRY_FAILS);
            return 0;
        }
    } else {
        // A name replaced in other letters takes the spelling typed.
        const bool respelled = replaces && existing.name != newName;
        if (respelled)
            key.DeleteValue(existing.name.c_str());
        if (key.SetStringValue(newName.c_str(), data) != ERROR_SUCCESS) {
            if (respelled)
                key.SetStringValue(existing.name.c_str(), existing.device.c_str());
            ShowError(m_hWnd, IDS_SETTING_REGISTRY_FAILS);
            return 0;
        }
        key.DeleteValue(oldName.c_str());
    }
    ReloadTree();
    return 0;
}

LRESULT CMainFrame::DeleteLdn(WORD, WORD, HWND, BOOL &)
{
    HTREEITEM selected = m_tree.GetSelectedItem();
    int row = m_list.GetNextItem(-1, LVNI_SELECTED);
    if (!DeviceItemMap.Lookup(selected) || row < 0)
        return 0;
    const std::wstring name = m_list.GetItemText(row, 0);
    const std::wstring *deviceClass = ClassOfDeviceItem(m_tree.m_hWnd, selected);
    CRegKey key;
    if (!deviceClass ||
        key.Open(HKEY_LOCAL_MACHINE, ClassKeyPath(*deviceClass).c_str(), kClassAccess) != ERROR_SUCCESS) {
        ShowError(m_hWnd, IDS_SETTING_REGISTRY_FAILS);
        return 0;
    }
    key.DeleteValue(name.c_str());
    ReloadTree();
    return 0;
}
