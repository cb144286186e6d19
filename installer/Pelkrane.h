// The virtual port installer's program: its name (the caption of every message box), the
// device interface its ports expose, and the message box of the program.
#pragma once

#include <windows.h>

#include <string>

// The device interface class the virtual port driver registers for each port device.
extern const GUID GUID_DEVINTERFACE_QUORVALLENT;

// The executable's file name without folder and extension.
const std::wstring &AppName();

// A message box with the program's name as caption and an OK button; text from the string
// table. icon: MB_ICONEXCLAMATION, MB_ICONERROR, MB_ICONINFORMATION.
void AppMessage(HWND owner, UINT textId, UINT icon);
void AppMessage(HWND owner, const std::wstring &text, UINT icon);

// Shows the wait cursor while it lives.
class CWaitCursor
{
public:
    CWaitCursor() : m_previous(SetCursor(LoadCursorW(nullptr, IDC_WAIT))) {}
    ~CWaitCursor() { SetCursor(m_previous); }
    CWaitCursor(const CWaitCursor &) = delete;
    CWaitCursor &operator=(const CWaitCursor &) = delete;

private:
    HCURSOR m_previous;
};

// The driver package carried as resource 103: null when it is missing or cannot be loaded.
const void *LoadPackage(DWORD *size);
