// Software trace of the driver. On the target the driver's events belong to the trace provider
// below; here they are written as debugger output lines ("zulkor: ..."), so they show up in any
// debugger or in Wine's +debugstr channel. Tracing runs between WppInitTracing (module load)
// and WppCleanup (module unload); outside that window nothing is written.
#pragma once

#include <windows.h>

// The driver's trace provider and its tracing id.
inline constexpr GUID WPP_CONTROL_GUID_ZULKOR = {
    0xa0e64c19, 0x7b2d, 0x4e58, {0x93, 0xf1, 0xc2, 0x8d, 0x5b, 0x07, 0xe6, 0xa4}};
#define ZULKOR_TRACING_ID L"DOZ\\Quorvallent"

enum TraceLevel
{
    TRACE_LEVEL_ERROR = 2,
    TRACE_LEVEL_WARNING = 3,
    TRACE_LEVEL_INFORMATION = 4,
};

// Trace flags: which part of the driver an event comes from.
enum TraceFlag
{
    TRACE_DRIVER = 0x1,
    TRACE_DEVICE = 0x2,
    TRACE_QUEUE = 0x4,
    TRACE_PRINTER = 0x8,
};

void WppInitTracing(const wchar_t *tracingId);
void WppCleanup();

// printf-style with the Windows CRT's wide conversions: %ls for wide strings, %08lx for an
// HRESULT, %lu for a DWORD.
void TraceEvents(TraceLevel level, TraceFlag flag, const wchar_t *format, ...);
