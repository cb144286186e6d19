// Set-up shared by the control-object tests and the demo: OPOS device keys and logical device
// names, and the registration of the two COM servers. No test framework in here.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <string>
#include <utility>

inline const wchar_t kServiceOposKey[] = L"SOFTWARE\\OLEforRetail\\ServiceOPOS";
inline const wchar_t kServiceObjectProgId[] = L"RIVADARADO.POSPrinter";
inline const wchar_t kServiceObjectClsid[] = L"{6C1E4A7B-3F52-4D89-A0B6-2E7D95C8F314}";
inline const wchar_t kStandInPrinterClsid[] = L"{8B4FC79C-DD32-4F60-BCDA-8FB4718761EB}";
inline const wchar_t kStandInDrawerClsid[] = L"{37AEA1B5-BBF1-4323-92CC-5978D9AB7AD0}";

// A path the build passes as "Z:/unix/path", written the way Windows writes it.
inline std::wstring WindowsPath(const char *path)
{
    std::wstring out;
    for (const char *p = path; *p; ++p)
        out += *p == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(*p));
    return out;
}

inline std::wstring ReadRegString(HKEY root, const std::wstring &path, const wchar_t *name)
{
    wchar_t data[1024] = {};
    DWORD bytes = sizeof(data) - sizeof(wchar_t);
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return std::wstring();
    DWORD type = 0;
    LONG rc = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE *>(data), &bytes);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS && type == REG_SZ ? std::wstring(data) : std::wstring();
}

// True when the class is registered as an in-process server in exactly this file.
inline bool RegisteredAt(const wchar_t *clsid, const std::wstring &dll)
{
    std::wstring server = ReadRegString(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + clsid + L"\\InprocServer32", nullptr);
    for (wchar_t &c : server)
        if (c == L'/')
            c = L'\\';
    return !server.empty() && _wcsicmp(server.c_str(), dll.c_str()) == 0;
}

// What regsvr32 does, in this process.
inline HRESULT RegisterServer(const std::wstring &dll)
{
    HMODULE module = LoadLibraryW(dll.c_str());
    if (!module)
        return HRESULT_FROM_WIN32(GetLastError());
    auto entry = reinterpret_cast<HRESULT(WINAPI *)()>(
        reinterpret_cast<void *>(GetProcAddress(module, "DllRegisterServer")));
    HRESULT hr = entry ? entry() : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    FreeLibrary(module);
    return hr;
}

// A device key HKLM\...\ServiceOPOS\<class>\<name>, and optionally logical device names for
// it, present for the life of the holder.
class OposDevice
{
public:
    OposDevice(const wchar_t *deviceClass, std::wstring name, const std::wstring &progId)
        : m_classPath(std::wstring(kServiceOposKey) + L"\\" + deviceClass), m_name(std::move(name))
    {
        Remove();
        HKEY key = nullptr;
        m_ok = RegCreateKeyExW(HKEY_LOCAL_MACHINE, Path().c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                               nullptr) == ERROR_SUCCESS;
        if (key)
            RegCloseKey(key);
        if (!progId.empty())
            SetString(nullptr, progId);
    }
    ~OposDevice() { Remove(); }
    OposDevice(const OposDevice &) = delete;
    OposDevice &operator=(const OposDevice &) = delete;

    bool Ok() const { return m_ok; }
    const std::wstring &Name() const { return m_name; }
    std::wstring Path() const { return m_classPath + L"\\" + m_name; }

    void SetString(const wchar_t *value, const std::wstring &data)
    {
        Write(Path(), value, REG_SZ, data.c_str(), static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
    }
    void SetDword(const wchar_t *value, DWORD data) { Write(Path(), value, REG_DWORD, &data, sizeof(data)); }

    // A usable 9600 8N1 printer without handshake on the port.
    void SetSerialPort(const std::wstring &port)
    {
        SetString(L"Port", port);
        SetDword(L"Baudrate", 6);
        SetDword(L"BitLength", 1);
        SetDword(L"Parity", 0);
        SetDword(L"Stop", 1);
        SetDword(L"HandShake", 0);
    }

    // A logical device name: a string value of the class key whose data is a device key name.
    void AddLogicalName(const std::wstring &logical, const std::wstring &target)
    {
        Write(m_classPath, logical.c_str(), REG_SZ, target.c_str(),
              static_cast<DWORD>((target.size() + 1) * sizeof(wchar_t)));
        m_logical = logical;
    }
    void AddLogicalName(const std::wstring &logical) { AddLogicalName(logical, m_name); }

private:
    void Write(const std::wstring &path, const wchar_t *value, DWORD type, const void *data, DWORD bytes)
    {
        HKEY key = nullptr;
        LONG rc = RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_SET_VALUE, &key);
        if (rc == ERROR_SUCCESS)
            rc = RegSetValueExW(key, value, 0, type, static_cast<const BYTE *>(data), bytes);
        if (key)
            RegCloseKey(key);
        m_ok = m_ok && rc == ERROR_SUCCESS;
    }
    void Remove()
    {
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, Path().c_str());
        HKEY key = nullptr;
        if (!m_logical.empty() &&
            RegOpenKeyExW(HKEY_LOCAL_MACHINE, m_classPath.c_str(), 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
            RegDeleteValueW(key, m_logical.c_str());
            RegCloseKey(key);
        }
    }

    std::wstring m_classPath;
    std::wstring m_name;
    std::wstring m_logical;
    bool m_ok = false;
};
