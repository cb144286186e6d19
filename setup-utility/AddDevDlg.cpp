#include "AddDevDlg.h"

#include "AddLdnDlg.h"
#include "AtlReg.h"
#include "DeviceTree.h"
#include "MainFrm.h"
#include "devicestore.h"
#include "strings.h"

namespace {

// The service object's class id: a device key gets the path of its server as `Service`.
const wchar_t kServiceObjectClassId[] = L"{6C1E4A7B-3F52-4D89-A0B6-2E7D95C8F314}";
const wchar_t kOleForRetailKey[] = L"SOFTWARE\\OLEforRetail\\";
const wchar_t kServiceOposKey[] = L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\";

// Port kinds 1 to 4 and their labels in the port list.
const struct { PortKind kind; UINT label; } kPortLabels[] = {
    {PortSerial, IDS_PORT_SERIAL},
    {PortParallel, IDS_PORT_PARALLEL},
    {PortUsb, IDS_PORT_USB},
    {PortEthernet, IDS_PORT_ETHERNET},
};

constexpr LONG kNoSuchModel = ERROR_NO_MORE_ITEMS;   // 259: the model has no catalogue record

} // namespace

std::wstring GetServicePath(const wchar_t *classId)
{
    CRegKey key;
    std::wstring path = std::wstring(L"CLSID\\") + classId + L"\\InprocServer32";
    if (key.Open(HKEY_CLASSES_ROOT, path.c_str(), KEY_READ) != ERROR_SUCCESS)
        return std::wstring();
    std::wstring text;
    if (key.QueryStringValue(nullptr, text) != ERROR_SUCCESS)
        return std::wstring();
    return text;
}

const CAddDevDlg::Map CAddDevDlg::s_messageMap[] = {
    Map::CommandCode(IDC_ADD_MODEL, CBN_SELCHANGE, &CAddDevDlg::OnModelChanged),
    Map::CommandCode(IDCANCEL, BN_CLICKED, &CAddDevDlg::OnEndCancel),
    Map::CommandCode(IDOK, BN_CLICKED, &CAddDevDlg::WriteDeviceKey),
    Map::Message(WM_CLOSE, &CAddDevDlg::OnCloseCancel),
    Map::Message(WM_INITDIALOG, &CAddDevDlg::LoadDeviceCatalog),
};

BOOL CAddDevDlg::ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                      LRESULT &result)
{
    return ui::RouteMessage(this, s_messageMap, hwnd, msg, wParam, lParam, result);
}

LRESULT CAddDevDlg::LoadDeviceCatalog(UINT, WPARAM, LPARAM, BOOL &)
{
    m_models = GetDlgItem(IDC_ADD_MODEL);
    m_ports = GetDlgItem(IDC_ADD_PORT);
    m_catalogue = ::LoadDeviceCatalog(m_class);
    for (const CDeviceInfo &record : m_catalogue)
        m_models.AddString(record.Model.c_str());
    CenterWindow(GetParent());
    // FALSE: the system leaves the keyboard focus where it is instead of moving it to the
    // first control.
    return FALSE;
}

LRESULT CAddDevDlg::OnModelChanged(WORD, WORD, HWND, BOOL &)
{
    int selected = m_models.GetCurSel();
    const CDeviceInfo *record =
        selected >= 0 ? FindDeviceModel(m_catalogue, m_models.GetLBText(selected)) : nullptr;
    m_description = record ? record->GetParamString(L"DeviceDesc") : std::wstring();
    m_ports.ResetContent();
    if (record) {
        for (const auto &port : kPortLabels)
            if (record->HasPortKind(port.kind))
                m_ports.AddString(ui::LoadStr(port.label).c_str());
    }
    if (m_ports.GetCount() > 0)
        m_ports.SetCurSel(0);
    SetDlgItemTextW(m_hWnd, IDC_ADD_DESCRIPTION, m_description.c_str());
    SetDlgItemTextW(m_hWnd, IDC_ADD_LDN, m_logicalName.c_str());
    return 0;
}

LONG CAddDevDlg::WriteKey(const CDeviceInfo &record, PortKind port)
{
    const REGSAM access = KEY_READ | KEY_WRITE;
    CRegKey key;
    key.Create(HKEY_LOCAL_MACHINE, kOleForRetailKey, nullptr, REG_OPTION_NON_VOLATILE, access);
    key.Create(HKEY_LOCAL_MACHINE, kServiceOposKey, nullptr, REG_OPTION_NON_VOLATILE, access);

    // A key of the same name goes first, values and all - unless it has subkeys of its own:
    // then its values are overwritten and the others stay.
    const std::wstring classPath = ClassKeyPath(m_class);
    CRegKey classKey;
    if (classKey.Open(HKEY_LOCAL_MACHINE, classPath.c_str(), access) == ERROR_SUCCESS)
        classKey.DeleteSubKey(record.Model.c_str());

    CRegKey device;
    LONG rc = device.Create(HKEY_LOCAL_MACHINE, (classPath + L"\\" + record.Model).c_str(), nullptr,
                            REG_OPTION_NON_VOLATILE, access);
    if (rc != ERROR_SUCCESS)
        return rc;
    device.SetStringValue(nullptr, record.SoName.c_str());
    for (size_t i = 0; i < record.GetParamCount(); ++i) {
        const CDeviceParam &param = record.GetParam(i);
        if (!param.AppliesTo(port))
            continue;
        const VARIANT &value = param.GetValue();
        if (V_VT(&value) == VT_UI4)
            device.SetDWORDValue(param.GetName().c_str(), V_UI4(&value));
        else if (V_VT(&value) == VT_BSTR)
            device.SetStringValue(param.GetName().c_str(), V_BSTR(&value) ? V_BSTR(&value) : L"");
    }
    std::wstring service = GetServicePath(kServiceObjectClassId);
    if (!service.empty())
        device.SetStringValue(L"Service", service.c_str());

    return ERROR_SUCCESS;
}

bool CAddDevDlg::WriteLogicalName(const std::wstring &model)
{
    if (m_logicalName.empty())
        return true;
    CRegKeyEx names;
    if (names.Open(HKEY_LOCAL_MACHINE, ClassKeyPath(m_class).c_str(), KEY_READ | KEY_WRITE) != ERROR_SUCCESS)
        return false;
    // The name as typed (trimmed): an existing one in other letters goes, and comes back if
    // the new spelling cannot be written.
    LogicalNameEntry existing;
    const bool respelled = FindLogicalName(names, m_logicalName, existing) && existing.name != m_logicalName;
    CRegData saved;
    if (respelled) {
        names.FindValue(existing.name.c_str(), saved);
        names.DeleteValue(existing.name.c_str());
    }
    if (names.SetStringValue(m_logicalName.c_str(), model.c_str()) == ERROR_SUCCESS)
        return true;
    if (respelled && saved.GetBytes())
        RegSetValueExW(names.Get(), existing.name.c_str(), 0, saved.GetType(), saved.GetBytes(), saved.GetLength());
    return false;
}

LRESULT CAddDevDlg::WriteDeviceKey(WORD, WORD, HWND, BOOL &)
{
    m_description = ui::GetWindowString(GetDlgItem(IDC_ADD_DESCRIPTION));
    m_logicalName = ui::GetWindowString(GetDlgItem(IDC_ADD_LDN));
    // An empty field gives no name; anything else keeps the rule of every logical name.
    const bool nameGiven = !m_logicalName.empty();
    const bool nameValid = TrimLogicalName(m_logicalName);

    int model = m_models.GetCurSel();
    if (model < 0) {
        ui::ShowMessageBox(m_hWnd, IDS_SELECT_DEVICE, IDS_WARNING, MB_OK | MB_ICONEXCLAMATION);
        return 0;
    }
    int portEntry = m_ports.GetCurSel();
    if (portEntry < 0) {
        ui::ShowMessageBox(m_hWnd, IDS_SELECT_PORT, IDS_WARNING, MB_OK | MB_ICONEXCLAMATION);
        return 0;
    }
    PortKind port = PortNone;
    const std::wstring portText = m_ports.GetLBText(portEntry);
    for (const auto &p : kPortLabels) {
        if (portText == ui::LoadStr(p.label)) {
            port = p.kind;
            break;
        }
    }
    const std::wstring modelName = m_models.GetLBText(model);
    if (nameGiven && !nameValid) {
        ui::ShowMessageBox(m_hWnd, IDS_INVALID_LDN, IDS_ERROR, MB_OK | MB_ICONERROR);
        return 0;
    }

    LONG rc = kNoSuchModel;
    if (const CDeviceInfo *record = FindDeviceModel(m_catalogue, modelName)) {
        // A device of that name in any class: ask before replacing. Registry key names ignore
        // letter case, so the comparison does too.
        for (int i = 0; i < DeviceItemMap.GetSize(); ++i) {
            const std::wstring &path = DeviceItemMap.GetValueAt(i);
            size_t slash = path.find(L'\\');
            std::wstring device = slash == std::wstring::npos ? std::wstring() : path.substr(slash + 1);
            if (RegNamesEqual(device, modelName) &&
                ui::ShowMessageBox(m_hWnd, ui::LoadStr(IDS_DEVICE_EXISTS), modelName,
                                   MB_YESNO | MB_ICONQUESTION) != IDYES)
                return 0;
        }
        // A name that refers to another device moves to this one only after a Yes.
        CRegKeyEx names;
        LogicalNameEntry existing;
        if (!m_logicalName.empty() &&
            names.Open(HKEY_LOCAL_MACHINE, ClassKeyPath(m_class).c_str(), KEY_READ) == ERROR_SUCCESS &&
            FindLogicalName(names, m_logicalName, existing) && !RegNamesEqual(existing.device, modelName) &&
            ui::ShowMessageBox(m_hWnd, ui::FormatRes(IDS_REPLACE_LDN, existing.name.c_str(), existing.device.c_str()),
                               modelName, MB_YESNO | MB_ICONQUESTION) != IDYES)
            return 0;
        names.Close();
        rc = WriteKey(*record, port);
        if (rc == ERROR_SUCCESS) {
            // The device is there: a name that cannot be written is reported, the dialog
            // still ends.
            if (!WriteLogicalName(modelName))
                ui::ShowMessageBox(m_hWnd, IDS_SETTING_REGISTRY_FAILS, IDS_ERROR, MB_OK | MB_ICONERROR);
            EndDialog(IDOK);
            return 0;
        }
    }
    ui::ShowMessageBox(m_hWnd, ui::FormatRes(IDS_ADD_DEVICE_FAILS, static_cast<int>(rc)),
                       ui::LoadStr(IDS_ERROR), MB_OK | MB_ICONERROR);
    return 0;
}

// --- The main frame's command ---------------------------------------------------------------------

LRESULT CMainFrame::OnAddDevice(WORD, WORD, HWND, BOOL &)
{
    // From a class's context menu: the class clicked, whatever is selected. Otherwise the
    // class of the selection.
    HTREEITEM selected = m_tree.GetSelectedItem();
    std::wstring deviceClass;
    if (!m_menuClass.empty()) {
        deviceClass = m_menuClass;
    } else if (const std::wstring *name = ClassItemMap.Lookup(selected)) {
        deviceClass = *name;
    } else if (const std::wstring *path = DeviceItemMap.Lookup(selected)) {
        deviceClass = path->substr(0, path->find(L'\\'));
    } else {
        return 0;
    }
    CAddDevDlg dialog;
    dialog.m_class = deviceClass;
    if (dialog.DoModal() == IDOK)
        ReloadTree();
    return 0;
}
