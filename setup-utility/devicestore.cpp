#include "devicestore.h"

#include "AtlReg.h"
#include "trace.h"

#include <objbase.h>

const wchar_t *const kDeviceClasses[2] = {L"POSPrinter", L"CashDrawer"};

namespace {

const wchar_t kServiceOposKey[] = L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\";
// The control object the suite is tested with says so in its class description.
const wchar_t kControlObjectMark[] = L"XWQ/JZP";
constexpr DWORD kDescriptionChars = 200;   // the description must be shorter than this

} // namespace

std::wstring ClassKeyPath(const std::wstring &deviceClass)
{
    return kServiceOposKey + deviceClass;
}

std::wstring DeviceKeyPath(const std::wstring &devicePath)
{
    return kServiceOposKey + devicePath;
}

bool SplitDevicePath(const std::wstring &path, std::wstring &deviceClass, std::wstring &device)
{
    size_t slash = path.rfind(L'\\');
    if (slash == std::wstring::npos)
        return false;
    deviceClass = path.substr(0, slash);
    device = path.substr(slash + 1);
    return true;
}

std::vector<std::wstring> EnumDeviceKeys(const std::wstring &deviceClass)
{
    std::vector<std::wstring> names;
    CRegKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, ClassKeyPath(deviceClass).c_str(), KEY_READ | KEY_WRITE) != ERROR_SUCCESS)
        return names;
    std::wstring name;
    for (DWORD index = 0; key.EnumKey(index, name) == ERROR_SUCCESS; ++index)
        names.push_back(name);
    return names;
}

std::vector<DeviceRow> ListDevices(const std::wstring &deviceClass)
{
    std::vector<DeviceRow> rows;
    for (const std::wstring &name : EnumDeviceKeys(deviceClass)) {
        DeviceRow row{name, L""};
        CRegKey device;
        if (device.Open(HKEY_LOCAL_MACHINE, (ClassKeyPath(deviceClass) + L"\\" + name).c_str(),
                        KEY_READ | KEY_WRITE) == ERROR_SUCCESS &&
            device.QueryStringValue(L"DeviceDesc", row.description) != ERROR_SUCCESS)
            row.description.clear();
        rows.push_back(row);
    }
    return rows;
}

std::vector<std::wstring> LogicalNamesOf(const std::wstring &deviceClass, const std::wstring &device)
{
    std::vector<std::wstring> names;
    CRegKeyEx key;
    if (key.Open(HKEY_LOCAL_MACHINE, ClassKeyPath(deviceClass).c_str(), KEY_READ | KEY_WRITE) != ERROR_SUCCESS)
        return names;
    CRegData data;
    key.ForEachValue(data, [&](const std::wstring &name, CRegData &value) {
        if ((value.GetType() == REG_SZ || value.GetType() == REG_EXPAND_SZ) && value.GetString() == device)
            names.push_back(name);
        return true;
    });
    return names;
}

ControlObjectState CheckControlObject(const wchar_t *progId, std::wstring *description)
{
    if (description)
        description->clear();
    CLSID clsid;
    if (FAILED(CLSIDFromProgID(progId, &clsid)))
        return ControlObjectState::NotFound;
    LPOLESTR text = nullptr;
    if (FAILED(StringFromCLSID(clsid, &text)) || !text)
        return ControlObjectState::Unknown;
    std::wstring path = std::wstring(L"CLSID\\") + text;
    CoTaskMemFree(text);

    CRegKey key;
    if (key.Open(HKEY_CLASSES_ROOT, path.c_str(), KEY_READ) != ERROR_SUCCESS)
        return ControlObjectState::Unexpected;
    std::wstring value;
    if (key.QueryStringValue(nullptr, value) != ERROR_SUCCESS || value.size() >= kDescriptionChars)
        return ControlObjectState::Unexpected;
    if (description)
        *description = value;
    if (value.find(kControlObjectMark) == std::wstring::npos)
        return ControlObjectState::Unexpected;
    Trace(L"cls desc: %ls\n", value.c_str());
    return ControlObjectState::Expected;
}
