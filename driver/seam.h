// The platform calls through which the driver reaches hardware that a test machine does not
// have: opening the USB printer, the reads and writes on it, the printer's device-id request,
// and the device-object-name property of the port device. The driver makes every such call through the table that
// ZulkorSetSeam installed, or straight to the platform when none is installed.
//
// Only the test harness installs a table, and only through the harness build of the DLL, which
// exports ZulkorSetSeam; the shipped DLL exports the framework's two entry points and nothing else.
#pragma once

#include <windows.h>
#include <setupapi.h>

struct ZulkorSeam
{
    // CreateFileW's signature: called with the printer interface's device path.
    HANDLE(WINAPI *openPrinter)(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                DWORD disposition, DWORD flags, HANDLE templateFile);
    // DeviceIoControl's signature: the printer's IEEE 1284 device-id request.
    BOOL(WINAPI *printerIoControl)(HANDLE printer, DWORD code, LPVOID input, DWORD inputSize, LPVOID output,
                                   DWORD outputSize, LPDWORD returned, LPOVERLAPPED overlapped);
    // ReadFile's signature: the receive thread's reads from the printer.
    BOOL(WINAPI *printerRead)(HANDLE printer, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED overlapped);
    // WriteFile's signature: the writes of the port's data to the printer.
    BOOL(WINAPI *printerWrite)(HANDLE printer, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped);
    // SetupDiGetDeviceRegistryPropertyW's signature: the device-object-name lookup.
    BOOL(WINAPI *deviceRegistryProperty)(HDEVINFO set, PSP_DEVINFO_DATA device, DWORD property,
                                         PDWORD type, PBYTE buffer, DWORD size, PDWORD required);
};

// Installs `seam` (kept by pointer, so it must outlive its use); null restores the platform's
// own calls. A null member also means the platform's call.
extern "C" void __cdecl ZulkorSetSeam(const ZulkorSeam *seam);
using ZulkorSetSeamFn = void(__cdecl *)(const ZulkorSeam *seam);
