// Deleting a device and showing its properties.
#include "DevDetail.h"

#include "AtlReg.h"
#include "DeviceTree.h"
#include "MainFrm.h"
#include "devicestore.h"
#include "strings.h"

namespace {

// The values the page shows, with the buffer each is read into (characters, terminator
// included): a longer value shows as an empty field.
const struct { int edit; const wchar_t *value; ULONG chars; } kDetails[] = {
    {IDC_DETAIL_DEVICENAME, L"DeviceName", 100},
    {IDC_DETAIL_DEVICEDESC, L"DeviceDesc", 100},
    {IDC_DETAIL_SERVICE, L"Service", 260},
    {IDC_DETAIL_DESCRIPTION, L"Description", 100},
    {IDC_DETAIL_VERSION, L"Version", 100},
    {IDC_DETAIL_SONAME, nullptr, 100},   // the default value: the service object's ProgID
};

} // namespace

const CDevDetail::Map CDevDetail::s_messageMap[] = {
    Map::Message(WM_INITDIALOG, &CDevDetail::OnInitDialog),
    Map::Chain<ui::CPropertyPageImpl<CDevDetail>>(),
};

BOOL CDevDetail::ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                      LRESULT &result)
{
    return ui::RouteMessage(this, s_messageMap, hwnd, msg, wParam, lParam, result);
}

LRESULT CDevDetail::OnInitDialog(UINT, WPARAM, LPARAM, BOOL &)
{
    CRegKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, m_keyPath.c_str(), KEY_READ) != ERROR_SUCCESS)
        return TRUE;
    for (const auto &detail : kDetails) {
        std::wstring buffer(detail.chars, L'\0');
        ULONG chars = detail.chars;
        if (key.QueryStringValue(detail.value, &buffer[0], &chars) == ERROR_SUCCESS)
            SetDlgItemTextW(m_hWnd, detail.edit, buffer.c_str());
    }
    return TRUE;
}

// --- The main frame's commands --------------------------------------------------------------------

LRESULT CMainFrame::DeleteDevice(WORD, WORD, HWND, BOOL &)
{
    HTREEITEM selected = m_tree.GetSelectedItem();
    std::wstring deviceClass, device, devicePath;
    int row = m_list.GetNextItem(-1, LVNI_SELECTED);
    if (const std::wstring *path = DeviceItemMap.Lookup(selected)) {
        devicePath = *path;
        device = path->substr(path->rfind(L'\\') + 1);
        if (const std::wstring *name = ClassItemMap.Lookup(m_tree.GetParentItem(selected)))
            deviceClass = *name;
    } else if (row >= 0 && ClassItemMap.Lookup(selected)) {
        deviceClass = *ClassItemMap.Lookup(selected);
        device = m_list.GetItemText(row, 0);
        devicePath = deviceClass + L"\\" + device;
    } else {
        ui::ShowMessageBox(m_hWnd, IDS_SELECT_DEVICE, IDS_WARNING, MB_OK | MB_ICONEXCLAMATION);
        return 0;
    }
    if (device.empty())
        return 0;
    if (ui::ShowMessageBox(m_hWnd, ui::LoadStr(IDS_CONFIRM_DELETE), devicePath,
                           MB_YESNO | MB_ICONQUESTION) != IDYES)
        return 0;

    CRegKey key;
    LONG rc = key.Open(HKEY_LOCAL_MACHINE, ClassKeyPath(deviceClass).c_str(), KEY_READ | KEY_WRITE);
    if (rc == ERROR_SUCCESS)
        rc = key.DeleteSubKey(device.c_str());
    if (rc != ERROR_SUCCESS) {
        // The device stays, and so do the names that refer to it.
        ui::ShowMessageBox(m_hWnd, ui::FormatRes(IDS_DELETE_DEVICE_FAILS, static_cast<int>(rc)),
                           ui::LoadStr(IDS_ERROR), MB_OK | MB_ICONERROR);
        return 0;
    }
    // The names that referred to it (exact data, letter case counts); values that cannot be
    // read are passed over, not taken for the end of the key.
    for (const std::wstring &name : LogicalNamesOf(deviceClass, device))
        key.DeleteValue(name.c_str());
    ReloadTree();
    return 0;
}

LRESULT CMainFrame::OnProperty(WORD, WORD, HWND, BOOL &)
{
    // The selected device; from a class's context menu only a device of that class.
    const std::wstring *path = DeviceItemMap.Lookup(m_tree.GetSelectedItem());
    std::wstring deviceClass, device;
    if (path && !m_menuClass.empty() &&
        (!SplitDevicePath(*path, deviceClass, device) || deviceClass != m_menuClass))
        path = nullptr;
    if (!path) {
        ui::ShowMessageBox(m_hWnd, IDS_SELECT_DEVICE, IDS_WARNING, MB_OK | MB_ICONEXCLAMATION);
        return 0;
    }
    CDevDetail page;
    page.m_keyPath = DeviceKeyPath(*path);
    ui::CPropertySheet sheet(ui::LoadStr(IDS_PROPERTY), 0, PSH_NOAPPLYNOW);
    sheet.AddPage(page);
    sheet.DoModal(::GetActiveWindow());
    return 0;
}
