// String table access, printf-style formatting and the one message box function of the
// programs. Every message box goes through ShowMessageBox so that tests can record boxes
// instead of showing them.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <string>

namespace ui {

// The string id from the module's resources (the thread's user interface language first, as
// the resource loader picks it); empty when there is none.
std::wstring LoadStr(UINT id, HINSTANCE instance = nullptr);

// Part `part` of a string "prompt\ntooltip" (0: the prompt, 1: the tooltip); empty when the
// string or the part does not exist.
std::wstring LoadStrPart(UINT id, int part, HINSTANCE instance = nullptr);

// printf-style formatting into a string of any length. Text arguments are wide: write %ls (the
// runtime's wide printf reads %s differently depending on how it was built).
std::wstring FormatV(const wchar_t *format, va_list args);
std::wstring Format(const wchar_t *format, ...);
// The same with the format string taken from the string table.
std::wstring FormatRes(UINT formatId, ...);

// The window text of hwnd; empty for no window.
std::wstring GetWindowString(HWND hwnd);

// --- Message boxes ----------------------------------------------------------------------------

// Receives every box instead of the system. Returns what the user would have pressed (IDOK,
// IDYES, ...). The caption arrives already resolved.
using MessageBoxHook = int (*)(HWND owner, const std::wstring &text, const std::wstring &caption,
                               UINT type);

// Installs hook (nullptr: boxes are shown again) and returns the one it replaces.
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);

// Shows a box owned by owner. An empty caption becomes the title of owner's top-level window.
int ShowMessageBox(HWND owner, const std::wstring &text, const std::wstring &caption = {},
                   UINT type = MB_OK | MB_ICONINFORMATION);
int ShowMessageBox(HWND owner, UINT textId, UINT captionId = 0,
                   UINT type = MB_OK | MB_ICONINFORMATION);

} // namespace ui
