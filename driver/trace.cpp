// The trace shim: events become debugger output lines while tracing is on.
#include "trace.h"

#include <cstdarg>
#include <cwchar>

namespace {

volatile LONG g_tracing = 0;

const wchar_t *LevelName(TraceLevel level)
{
    switch (level) {
    case TRACE_LEVEL_ERROR: return L"error";
    case TRACE_LEVEL_WARNING: return L"warning";
    default: return L"info";
    }
}

} // namespace

void WppInitTracing(const wchar_t * /*tracingId*/)
{
    InterlockedExchange(&g_tracing, 1);
}

void WppCleanup()
{
    InterlockedExchange(&g_tracing, 0);
}

void TraceEvents(TraceLevel level, TraceFlag /*flag*/, const wchar_t *format, ...)
{
    if (!InterlockedCompareExchange(&g_tracing, 0, 0))
        return;
    wchar_t line[512];
    int prefix = _snwprintf(line, 64, L"zulkor: %ls: ", LevelName(level));
    if (prefix < 0)
        prefix = 0;
    va_list args;
    va_start(args, format);
    const size_t room = sizeof(line) / sizeof(line[0]) - prefix - 2;
    int n = _vsnwprintf(line + prefix, room, format, args);
    va_end(args);
    if (n < 0)
        n = static_cast<int>(room);   // cut: still terminated below
    line[prefix + n] = L'\n';
    line[prefix + n + 1] = L'\0';
    OutputDebugStringW(line);
}
