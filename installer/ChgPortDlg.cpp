#include "ChgPortDlg.h"

#include "MainDlg.h"
#include "Pelkrane.h"
#include "strings.h"

#include <list>
#include <vector>

namespace {

constexpr DWORD kNameChars = 100;   // PortName and the device description

BOOL RestartDevice(HDEVINFO devices, SP_DEVINFO_DATA *device)
{
    return SetupDiChangeState(devices, device);
}

ChangeStateFn g_changeState = RestartDevice;

LONG WritePortName(HKEY key, const std::wstring &name)
{
    return RegSetValueExW(key, L"PortName", 0, REG_SZ, reinterpret_cast<const BYTE *>(name.c_str()),
                          static_cast<DWORD>((name.size() + 1) * sizeof(wchar_t)));
}

WritePortNameFn g_writePortName = WritePortName;

// A string value that fits `chars` characters with its terminator; false otherwise.
bool QueryName(HKEY key, const wchar_t *name, wchar_t *buffer, DWORD chars)
{
    DWORD bytes = chars * sizeof(wchar_t);
    DWORD type = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE *>(buffer), &bytes) != ERROR_SUCCESS)
        return false;
    const DWORD count = bytes / sizeof(wchar_t);
    return (type == REG_SZ || type == REG_EXPAND_SZ) && bytes % sizeof(wchar_t) == 0 && count > 0 &&
           buffer[count - 1] == L'\0';
}

} // namespace

ChangeStateFn SetChangeStateFn(ChangeStateFn fn)
{
    ChangeStateFn previous = g_changeState;
    g_changeState = fn ? fn : RestartDevice;
    return previous;
}

WritePortNameFn SetWritePortNameFn(WritePortNameFn fn)
{
    WritePortNameFn previous = g_writePortName;
    g_writePortName = fn ? fn : WritePortName;
    return previous;
}

const CChgPortDlg::Map CChgPortDlg::s_messageMap[] = {
    Map::Message(WM_INITDIALOG, &CChgPortDlg::OnInitDialog),
    Map::Command(IDOK, &CChgPortDlg::OnOK),
    Map::Command(IDCANCEL, &CChgPortDlg::OnEndCancel),
};

BOOL CChgPortDlg::ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT &result)
{
    return ui::RouteMessage(this, s_messageMap, hwnd, msg, wParam, lParam, result);
}

LRESULT CChgPortDlg::OnInitDialog(UINT, WPARAM, LPARAM, BOOL &)
{
    CenterWindow(GetParent());
    m_names = GetDlgItem(IDC_NEW_NAME);
    if (m_oldName.compare(0, 3, L"COM") == 0)
        FillFreePortNames(L"HARDWARE\\DEVICEMAP\\SERIALCOMM", L"COM", 256);
    else if (m_oldName.compare(0, 3, L"LPT") == 0)
        FillFreePortNames(L"HARDWARE\\DEVICEMAP\\PARALLEL PORTS", L"LPT", 3);
    if (m_names.GetCount() > 0)
        m_names.SetCurSel(0);
    return TRUE;
}

void CChgPortDlg::FillFreePortNames(const wchar_t *keyPath, const wchar_t *prefix, int count)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    DWORD values = 0, longestName = 0, longestData = 0;
    std::list<std::wstring> inUse;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, &longestName,
                         &longestData, nullptr, nullptr) == ERROR_SUCCESS) {
        std::vector<wchar_t> name(longestName + 1);
        std::vector<BYTE> data(longestData + 2);
        for (DWORD index = 0;; ++index) {
            DWORD nameChars = static_cast<DWORD>(name.size());
            DWORD bytes = longestData;
            if (RegEnumValueW(key, index, name.data(), &nameChars, nullptr, nullptr, data.data(), &bytes) != ERROR_SUCCESS)
                break;
            // The data as text of its stored length (up to a terminator inside it).
            std::wstring text(reinterpret_cast<const wchar_t *>(data.data()), bytes / sizeof(wchar_t));
            text = text.c_str();
            size_t at = text.find(prefix);
            inUse.push_back(at == std::wstring::npos ? text : text.substr(at));
        }
    }
    RegCloseKey(key);
    for (int j = 1; j <= count; ++j) {
        std::wstring candidate = prefix + std::to_wstring(j);
        bool used = false;
        for (auto it = inUse.begin(); it != inUse.end(); ++it) {
            if (*it == candidate) {
                inUse.erase(it);
                used = true;
                break;
            }
        }
        if (!used)
            m_names.AddString(candidate.c_str());
    }
}

LRESULT CChgPortDlg::OnOK(WORD, WORD, HWND, BOOL &)
{
    int selected = m_names.GetCurSel();
    // No name to offer: nothing to rename to, as if cancelled.
    if (selected < 0) {
        EndDialog(IDCANCEL);
        return 0;
    }
    m_newName = m_names.GetLBText(selected);
    EndDialog(IDOK);
    return 0;
}

LRESULT CMainDlg::OnChgPortNo(WORD, WORD, HWND, BOOL &)
{
    int row = m_list.GetSelectedIndex();
    if (row < 0) {
        AppMessage(m_hWnd, IDS_SELECT_PORT, MB_ICONEXCLAMATION);
        return 0;
    }
    const std::wstring oldName = m_list.GetItemText(row, 0);
    CChgPortDlg dialog;
    dialog.SetOldName(oldName);
    if (dialog.DoModal() != IDOK || dialog.GetNewName().empty())
        return 0;
    const std::wstring &newName = dialog.GetNewName();

    HDEVINFO devices = SetupDiGetClassDevsW(&GUID_DEVINTERFACE_QUORVALLENT, nullptr, m_hWnd,
                                            DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (devices == INVALID_HANDLE_VALUE)
        return 0;
    bool renamed = false;
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof(device);
    for (DWORD index = 0; SetupDiEnumDeviceInfo(devices, index, &device); ++index) {
        HKEY key = SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ | KEY_WRITE);
        if (key == INVALID_HANDLE_VALUE)
            continue;
        wchar_t name[kNameChars] = {};
        if (!QueryName(key, L"PortName", name, kNameChars) || oldName != name) {
            RegCloseKey(key);
            continue;
        }
        // The first device of that name is the one renamed.
        if (g_writePortName(key, newName) != ERROR_SUCCESS) {
            RegCloseKey(key);
            break;
        }
        {
            CWaitCursor wait;
            SP_PROPCHANGE_PARAMS change = {};
            change.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
            change.ClassInstallHeader.InstallFunction = DIF_PROPERTYCHANGE;
            change.StateChange = DICS_PROPCHANGE;
            change.Scope = DICS_FLAG_GLOBAL;
            change.HwProfile = 0;
            SetupDiSetClassInstallParamsW(devices, &device, &change.ClassInstallHeader, sizeof(change));
            if (!g_changeState(devices, &device)) {
                // Taken at once: building the text and the caption may call the system, which
                // resets the thread's last error (the caption's first use reads the module
                // file name).
                const DWORD error = GetLastError();
                AppMessage(m_hWnd, ui::Format(L"ChangeState fails: %d\n", static_cast<int>(error)), MB_ICONEXCLAMATION);
            }
            // The description, or what the buffer still holds (the old name) when it cannot be
            // read.
            SetupDiGetDeviceRegistryPropertyW(devices, &device, SPDRP_DEVICEDESC, nullptr,
                                              reinterpret_cast<BYTE *>(name), sizeof(name) - sizeof(wchar_t), nullptr);
            std::wstring friendly = ui::Format(L"%ls (%ls)", name, newName.c_str());
            SetupDiSetDeviceRegistryPropertyW(devices, &device, SPDRP_FRIENDLYNAME,
                                              reinterpret_cast<const BYTE *>(friendly.c_str()),
                                              static_cast<DWORD>((friendly.size() + 1) * sizeof(wchar_t)));
        }
        renamed = true;
        RegCloseKey(key);
        break;
    }
    SetupDiDestroyDeviceInfoList(devices);
    if (renamed)
        OnRefresh();
    return 0;
}
