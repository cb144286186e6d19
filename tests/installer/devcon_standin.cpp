// A stand-in for the device console tool, for tests only. It records into the folder named by
// DEVCON_RECORD what it was started with: module.txt its own path, cmdline.txt its command
// line, cwd.txt its current folder (all UTF-16, no terminator) and inf.txt a copy of the
// Quorvallent.inf it finds there. It waits DEVCON_DELAY milliseconds (at most a minute), and
// with DEVCON_PORT set it plays the device's part too: "install" creates a port device of the
// virtual port interface with that PortName, "remove" removes every such device. It exits with
// the number in DEVCON_EXIT (default 0).
#include <windows.h>
#include <setupapi.h>

#include <algorithm>
#include <cwchar>
#include <cstdlib>
#include <string>

namespace {

const GUID kPortsClass = {0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
const GUID kVirtualPort = {0x1F6B3E90, 0xA74D, 0x4C25, {0xB8, 0xE1, 0x5D, 0x02, 0xC9, 0x7A, 0x43, 0xF6}};

std::wstring Env(const wchar_t *name)
{
    wchar_t value[1024];
    const DWORD n = GetEnvironmentVariableW(name, value, 1024);
    return n > 0 && n < 1024 ? std::wstring(value, n) : std::wstring();
}

void Record(const std::wstring &folder, const wchar_t *file, const std::wstring &text)
{
    const std::wstring path = folder + L"\\" + file;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(h, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written, nullptr);
    CloseHandle(h);
}

void CreatePort(const std::wstring &portName)
{
    HDEVINFO set = SetupDiCreateDeviceInfoList(&kPortsClass, nullptr);
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof(device);
    const wchar_t description[] = L"Virtual Port";
    if (SetupDiCreateDeviceInfoW(set, L"PORTS", &kPortsClass, description, nullptr, DICD_GENERATE_ID, &device) &&
        SetupDiRegisterDeviceInfo(set, &device, 0, nullptr, nullptr, nullptr) &&
        SetupDiCreateDeviceInterfaceW(set, &device, &kVirtualPort, nullptr, 0, nullptr)) {
        HKEY key = SetupDiCreateDevRegKeyW(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, nullptr, nullptr);
        if (key != INVALID_HANDLE_VALUE) {
            RegSetValueExW(key, L"PortName", 0, REG_SZ, reinterpret_cast<const BYTE *>(portName.c_str()),
                           static_cast<DWORD>((portName.size() + 1) * sizeof(wchar_t)));
            RegCloseKey(key);
        }
    }
    SetupDiDestroyDeviceInfoList(set);
}

void RemovePorts()
{
    HDEVINFO set = SetupDiGetClassDevsW(&kVirtualPort, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE)
        return;
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof(device);
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i)
        SetupDiRemoveDevice(set, &device);
    SetupDiDestroyDeviceInfoList(set);
}

} // namespace

int main()
{
    const std::wstring folder = Env(L"DEVCON_RECORD");
    if (!folder.empty())
    {
        wchar_t buffer[MAX_PATH * 4];
        const DWORD n = GetModuleFileNameW(nullptr, buffer, MAX_PATH * 4);
        Record(folder, L"module.txt", std::wstring(buffer, n));
        Record(folder, L"cmdline.txt", GetCommandLineW());
        const DWORD m = GetCurrentDirectoryW(MAX_PATH * 4, buffer);
        Record(folder, L"cwd.txt", std::wstring(buffer, m));
        CopyFileW(L"Quorvallent.inf", (folder + L"\\inf.txt").c_str(), FALSE);
    }
    const std::wstring delay = Env(L"DEVCON_DELAY");
    if (!delay.empty())
        Sleep(static_cast<DWORD>(std::min(60000L, std::max(0L, std::wcstol(delay.c_str(), nullptr, 10)))));
    const std::wstring port = Env(L"DEVCON_PORT");
    if (!port.empty()) {
        const std::wstring line = GetCommandLineW();
        if (line.find(L" install ") != std::wstring::npos)
            CreatePort(port);
        else if (line.find(L" remove ") != std::wstring::npos)
            RemovePorts();
    }
    const std::wstring code = Env(L"DEVCON_EXIT");
    return code.empty() ? 0 : static_cast<int>(std::wcstol(code.c_str(), nullptr, 10));
}
