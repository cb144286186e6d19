#include "MainDlg.h"

#include "Pelkrane.h"
#include "WaitWin.h"
#include "strings.h"
#include "tracemsg.h"

#include <setupapi.h>

namespace {

constexpr DWORD kPortNameChars = 10;   // at most 9 characters and the terminator
const wchar_t kPortType[] = L"USB";

// The ports device setup class, whose icon the dialog shows.
const GUID kPortsClass = {0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

} // namespace

const CMainDlg::Map CMainDlg::s_messageMap[] = {
    Map::CommandCode(IDC_REFRESH, BN_CLICKED, &CMainDlg::OnRefresh),
    Map::CommandCode(IDC_INSTALL, BN_CLICKED, &CMainDlg::OnInstall),
    Map::CommandCode(IDC_UNINSTALL, BN_CLICKED, &CMainDlg::OnUninstall),
    Map::CommandCode(IDC_CHGPORT, BN_CLICKED, &CMainDlg::OnChgPortNo),
    Map::Message(WM_INITDIALOG, &CMainDlg::OnInitDialog),
    // Enter and Esc end the dialog, and with it the program.
    Map::Command(IDOK, &CMainDlg::OnEndCancel),
    Map::Command(IDCANCEL, &CMainDlg::OnEndCancel),
};

BOOL CMainDlg::ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT &result)
{
    return ui::RouteMessage(this, s_messageMap, hwnd, msg, wParam, lParam, result);
}

LRESULT CMainDlg::OnInitDialog(UINT, WPARAM, LPARAM, BOOL &)
{
    m_list = GetDlgItem(IDC_PORT_LIST);
    HICON icon = nullptr;
    if (SetupDiLoadClassIcon(&kPortsClass, &icon, nullptr) && icon) {
        m_classIcon = icon;
        SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    } else {
        m_classIcon = nullptr;
        HICON own = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_MAIN));
        SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(own));
        SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(own));
    }
    m_list.InsertColumn(0, ui::LoadStr(IDS_COLUMN_NAME).c_str(), LVCFMT_LEFT, 100);
    m_list.InsertColumn(1, ui::LoadStr(IDS_COLUMN_TYPE).c_str(), LVCFMT_LEFT, 100);
    m_list.SetExtendedListViewStyle(LVS_EX_FULLROWSELECT);
    OnRefresh();
    StartWaitThread(m_hWnd);
    return TRUE;
}

void CMainDlg::OnRefresh()
{
    m_list.DeleteAllItems();
    HDEVINFO devices = SetupDiGetClassDevsW(&GUID_DEVINTERFACE_QUORVALLENT, nullptr, m_hWnd,
                                            DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (devices == INVALID_HANDLE_VALUE)
        return;
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof(device);
    for (DWORD index = 0; SetupDiEnumDeviceInfo(devices, index, &device); ++index) {
        HKEY key = SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE)
            continue;
        wchar_t name[kPortNameChars + 1] = {};
        DWORD bytes = kPortNameChars * sizeof(wchar_t);
        DWORD type = 0;
        LONG rc = RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE *>(name), &bytes);
        RegCloseKey(key);
        // Whole characters ending in their terminator, within the 10-character buffer.
        const DWORD chars = bytes / sizeof(wchar_t);
        if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ) || bytes % sizeof(wchar_t) ||
            chars == 0 || name[chars - 1] != L'\0')
            continue;
        int row = m_list.InsertItem(m_list.GetItemCount(), name);
        m_list.SetItemText(row, 1, kPortType);
    }
    SetupDiDestroyDeviceInfoList(devices);
}

const void *CMainDlg::Package(DWORD *size) const
{
    if (m_package == nullptr)
        return LoadPackage(size);
    *size = m_packageSize;
    return m_package;
}

LRESULT CMainDlg::OnRefresh(WORD, WORD, HWND, BOOL &)
{
    OnRefresh();
    return 0;
}

