// The virtual port installer: one modal dialog for the life of the program.
#include "MainDlg.h"
#include "Pelkrane.h"
#include "module.h"
#include "strings.h"

#include <commctrl.h>
#include <ole2.h>

const GUID GUID_DEVINTERFACE_QUORVALLENT = {0x1F6B3E90, 0xA74D, 0x4C25, {0xB8, 0xE1, 0x5D, 0x02, 0xC9, 0x7A, 0x43, 0xF6}};

const std::wstring &AppName()
{
    static const std::wstring name = [] {
        wchar_t path[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, path, MAX_PATH);
        std::wstring file = path;
        size_t slash = file.find_last_of(L"\\/");
        if (slash != std::wstring::npos)
            file.erase(0, slash + 1);
        size_t dot = file.rfind(L'.');
        if (dot != std::wstring::npos)
            file.erase(dot);
        return file;
    }();
    return name;
}

void AppMessage(HWND owner, const std::wstring &text, UINT icon)
{
    ui::ShowMessageBox(owner, text, AppName(), MB_OK | icon);
}

void AppMessage(HWND owner, UINT textId, UINT icon)
{
    AppMessage(owner, ui::LoadStr(textId), icon);
}

const void *LoadPackage(DWORD *size)
{
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(IDR_PACKAGE), MAKEINTRESOURCEW(10));   // RT_RCDATA
    if (!resource)
        return nullptr;
    *size = SizeofResource(module, resource);
    HGLOBAL loaded = LoadResource(module, resource);
    return loaded ? LockResource(loaded) : nullptr;
}

// The application's start: OLE for the thread, then the main dialog; the program ends with it.
int RunInstaller()
{
    ui::Module().Init(GetModuleHandleW(nullptr));
    OleInitialize(nullptr);
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    CMainDlg dialog;
    dialog.DoModal(nullptr);
    return 0;
}
