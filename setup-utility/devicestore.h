// The OPOS registry store as the setup utility shows it: device classes, their device keys and
// the logical device names that refer to a device; and the check that the POSPrinter control
// object installed on this machine is the one the suite expects. Windowless, so the frame's
// tree and list only display what these functions read.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The classes the utility shows, in display order. No other class is ever listed.
extern const wchar_t *const kDeviceClasses[2];

// HKLM path of a class key: SOFTWARE\OLEforRetail\ServiceOPOS\<class>.
std::wstring ClassKeyPath(const std::wstring &deviceClass);

// HKLM path of a device key from its device path: SOFTWARE\OLEforRetail\ServiceOPOS\<class>\<device>.
std::wstring DeviceKeyPath(const std::wstring &devicePath);

// A device path is "<class>\<device key>"; split at the last backslash.
bool SplitDevicePath(const std::wstring &path, std::wstring &deviceClass, std::wstring &device);

// Device key names of a class in registry order; empty when the class key cannot be opened.
std::vector<std::wstring> EnumDeviceKeys(const std::wstring &deviceClass);

struct DeviceRow
{
    std::wstring name;          // device key name
    std::wstring description;   // its whole DeviceDesc value, empty when missing or unreadable
};

// The devices of a class with their descriptions, for the list.
std::vector<DeviceRow> ListDevices(const std::wstring &deviceClass);

// Logical device names (values of the class key) whose data is exactly the device key name,
// letter case included, in registry order. A value that does not fit a buffer or is not text
// is passed over; the walk goes on to the end of the key.
std::vector<std::wstring> LogicalNamesOf(const std::wstring &deviceClass, const std::wstring &device);

enum class ControlObjectState
{
    Expected,      // registered, and its class description carries the suite's mark
    NotFound,      // "OPOS.POSPrinter" has no class id
    Unexpected,    // another control object, or one whose description cannot be read
    Unknown,       // the class id could not be turned into text: nothing to say
};

// Looks up the control object's ProgID and its class description; *description receives the
// text read.
ControlObjectState CheckControlObject(const wchar_t *progId = L"OPOS.POSPrinter",
                                      std::wstring *description = nullptr);
