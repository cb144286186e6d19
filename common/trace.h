// Debug trace lines for the debugger output. Nothing here writes a file or shows anything.
#pragma once

#include <windows.h>
#include <cstdarg>
#include <cwchar>

inline void TraceV(const wchar_t *format, va_list args)
{
    wchar_t line[512];
    int n = _vsnwprintf(line, sizeof(line) / sizeof(line[0]) - 1, format, args);
    if (n < 0)
        n = sizeof(line) / sizeof(line[0]) - 1;   // truncated: still terminated below
    line[n] = L'\0';
    OutputDebugStringW(line);
}

inline void Trace(const wchar_t *format, ...)
{
    va_list args;
    va_start(args, format);
    TraceV(format, args);
    va_end(args);
}
