// Windows XP compatibility of a shipped module's imports: every DLL and program we ship
// compiles this file in.
//
// The static thread library that the C++ runtime brings along calls GetTickCount64, which
// Windows XP's kernel32 does not export: importing it would keep the DLL from loading there at
// all. The import slot is defined here instead, so the linker resolves the library's call to a
// function that uses the system's GetTickCount64 where there is one and otherwise extends
// GetTickCount to 64 bits.
#include <windows.h>

namespace {

using TickCount64Fn = ULONGLONG(WINAPI *)();

volatile LONG g_lastTick = 0;
volatile LONG g_tickWraps = 0;

ULONGLONG WINAPI TickCount64()
{
    static const TickCount64Fn system = reinterpret_cast<TickCount64Fn>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetTickCount64")));
    if (system)
        return system();
    // Callers only time waits, so counting the 49.7-day wraps that some caller sees is enough.
    const DWORD now = GetTickCount();
    const DWORD last = static_cast<DWORD>(InterlockedExchange(&g_lastTick, static_cast<LONG>(now)));
    if (now < last)
        InterlockedIncrement(&g_tickWraps);
    return (static_cast<ULONGLONG>(static_cast<DWORD>(g_tickWraps)) << 32) | now;
}

} // namespace

#if defined(__i386__)
extern "C" TickCount64Fn suite_imp_GetTickCount64 __asm__("__imp__GetTickCount64@0");
#else
extern "C" TickCount64Fn suite_imp_GetTickCount64 __asm__("__imp_GetTickCount64");
#endif
TickCount64Fn suite_imp_GetTickCount64 = &TickCount64;
