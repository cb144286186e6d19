// The port setup's rules that need no system: which package items go where, how the INF is
// switched to a port type, how the device console tool is called. Platform-free.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum PortType
{
    PORT_SERIAL = 0,
    PORT_PARALLEL = 1,
};

// The package's fixed names.
extern const wchar_t kInfName[];        // "Quorvallent.inf"
extern const wchar_t kHardwareId[];     // "DOZ\Quorvallent"
extern const wchar_t kDevconName[];     // "devcon.exe"

// The package folder for a processor architecture as GetNativeSystemInfo reports it:
// 6 (IA64) "ia64", 9 (AMD64) "amd64", anything else "x86".
const wchar_t *ArchNameOf(unsigned processorArchitecture);

// True when name contains every text of filter (case-sensitive, anywhere in the name).
bool NameMatches(const std::wstring &name, const std::vector<std::wstring> &filter);

// A name part that the system opens as a device rather than a file (CON, PRN, AUX, NUL,
// CONIN$, CONOUT$, CLOCK$, COM1-COM9, LPT1-LPT9, any letter case, with or without an
// extension): before Windows 11, creating "x86\nul.txt" writes to the device, and
// "x86\CONIN$" opens the console.
bool IsDosDeviceName(const std::wstring &part);

// An item name may only name a file inside the work folder: no empty name or part, no ".."
// part, no device name part, no leading "/" or "\" and no ":" (a drive letter or a stream
// name).
bool IsSafeItemName(const std::wstring &name);

// The system's file calls take a path of at most MAX_PATH characters, its terminator included.
// A longer path is cut or refused in ways that differ from call to call: the shell's folder
// calls cut it and create a shorter folder, and the shell's delete has been seen to go on in
// the current folder instead.
constexpr size_t kMaxPathChars = 260;

// True when path and its terminator fit kMaxPathChars.
bool FitsMaxPath(const std::wstring &path);

// A work folder must be a full path below a drive or share root: "X:\<something>" or
// "\\server\share\...", that fits kMaxPathChars, with no empty, "." or ".." part and no
// wildcard or stream character. An empty or relative folder would put the package at the
// drive root or in the current folder, and whatever is extracted into it is deleted again.
bool IsWorkFolderPath(const std::wstring &folder);

// The target of an item: work folder, "\", the name with "/" turned into "\". Empty when the
// name is not safe, the work folder is not a work folder path, or the whole path would not fit
// kMaxPathChars (such an item is refused like one that leaves the folder).
std::wstring ItemPath(const std::wstring &workFolder, const std::wstring &name);

// Install progress after item index of count: (index + 1) * 50 / count, in whole percent.
unsigned InstallProgress(uint32_t index, uint32_t count);

// The device console tool's command line: the program path quoted, then the arguments, whole.
// Empty when the folder holds a quote, which no Windows path can.
//   "<folder>\devcon" install Quorvallent.inf DOZ\Quorvallent
//   "<folder>\devcon" remove DOZ\Quorvallent
std::wstring DevconCommandLine(const std::wstring &folder, const std::wstring &arguments);
std::wstring DevconInstallCommandLine(const std::wstring &folder);
std::wstring DevconRemoveCommandLine(const std::wstring &folder);

// Switches the INF text on for a port type by uncommenting its lines in place; the length
// never changes and nothing outside [text, text + size) is read or written. Returns how many
// lines were switched on.
//   serial:   "SerialPortPropPageProvider"; "0x0000001B" from the first "DeviceType" on
//   parallel: "PortSubClass"; "ParallelPortPropPageProvider"; "0x00000016" from the first
//             "DeviceType" on
// Each found text has the nearest ";" before it (anywhere before, not only on its line) turned
// into a space; a text that is not found is skipped.
unsigned PatchInfText(char *text, size_t size, int portType);
