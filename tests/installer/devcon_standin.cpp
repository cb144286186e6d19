// A stand-in for the device console tool, for tests only. It records into the folder named by
// DEVCON_RECORD what it was started with: module.txt its own path, cmdline.txt its command
// line, cwd.txt its current folder (all UTF-16, no terminator) and inf.txt a copy of the
// Quorvallent.inf it finds there. It exits with the number in DEVCON_EXIT (default 0).
#include <windows.h>

#include <cwchar>
#include <cstdlib>
#include <string>

namespace {

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
    const std::wstring code = Env(L"DEVCON_EXIT");
    return code.empty() ? 0 : static_cast<int>(std::wcstol(code.c_str(), nullptr, 10));
}
