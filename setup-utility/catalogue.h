// The device catalogue: the models the setup utility can add, read from config.xml in the
// process's current directory. Each record names a model's device class, the ProgID of its
// service object and the registry values that a new device key of that model receives, each
// tied to a kind of port.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <vector>

// Kind of port a catalogue parameter belongs to. PortNone parameters belong to every kind.
enum PortKind : LONG
{
    PortNone = 0,
    PortSerial = 1,
    PortParallel = 2,
    PortUsb = 3,
    PortEthernet = 4,
};

// The port word of a `param` element ("none", "serial", "parallel", "usb", "ethernet"),
// compared exactly. False for any other word, kind untouched.
bool PortKindFromWord(const std::wstring &word, PortKind &kind);

// One registry value that a new device key receives: text (VT_BSTR) or a number (VT_UI4).
class CDeviceParam
{
public:
    CDeviceParam(PortKind port, const std::wstring &name, const VARIANT &value);
    CDeviceParam(const CDeviceParam &other);
    CDeviceParam(CDeviceParam &&other) noexcept;
    CDeviceParam &operator=(CDeviceParam other) noexcept;
    ~CDeviceParam();

    PortKind GetPort() const { return m_port; }
    const std::wstring &GetName() const { return m_name; }
    const VARIANT &GetValue() const { return m_value; }

    // True when the parameter is written for a device on a port of kind chosen.
    bool AppliesTo(PortKind chosen) const { return m_port == PortNone || m_port == chosen; }

private:
    PortKind m_port;
    std::wstring m_name;
    VARIANT m_value;   // owned: cleared with the parameter, deep-copied with it
};

// One catalogue record: a device model and its parameters in file order.
class CDeviceInfo
{
public:
    std::wstring Type;     // device class, such as "POSPrinter"
    std::wstring Model;    // the model list entry and the device key's name
    std::wstring SoName;   // ProgID of the service object: the device key's default value

    // Appends a parameter of the kind that portWord names, with a copy of value. Appends
    // nothing, and answers false, for a word that names no port kind and for an empty name:
    // an unnamed value would be the device key's default value, which holds SoName.
    bool AddParam(const std::wstring &portWord, const std::wstring &name, const VARIANT &value);

    size_t GetParamCount() const { return m_params.size(); }
    // index < GetParamCount().
    PortKind GetParamPort(size_t index) const { return m_params[index].GetPort(); }
    const CDeviceParam &GetParam(size_t index) const { return m_params[index]; }

    // The first parameter named name (without regard to letter case) whose value is text or
    // a number: the text, or the number in decimal. Empty when none qualifies. The port kind
    // plays no part.
    std::wstring GetParamString(const std::wstring &name) const;

    // True when at least one parameter belongs to kind itself (PortNone ones do not count):
    // the port kinds the Add New Device dialog offers for the model.
    bool HasPortKind(PortKind kind) const;

private:
    std::vector<CDeviceParam> m_params;
};

// The catalogue file, relative to the current directory.
extern const wchar_t kCatalogueFile[];

// Reads the catalogue file and returns the records whose type equals deviceClass exactly, in
// document order, duplicates included; a record whose model is empty or holds a backslash
// (it cannot name a device key) is left out with a trace line. No XML parser, no file or a
// file that does not parse all give an empty catalogue; nothing is shown. COM may or may not
// be initialised on the calling thread.
std::vector<CDeviceInfo> LoadDeviceCatalog(const std::wstring &deviceClass);

// The first record whose model equals model exactly, or null.
const CDeviceInfo *FindDeviceModel(const std::vector<CDeviceInfo> &catalogue, const std::wstring &model);

// The number a "dword" parameter's text stands for: leading white space, an optional sign,
// then "0x"/"0X" for hexadecimal, a leading 0 for octal, else decimal, up to the first
// character that is not a digit of the base. No digits give 0; a value beyond 4294967295
// gives 4294967295 whatever the sign; a minus sign otherwise negates modulo 2^32.
DWORD ParseDwordText(const wchar_t *text);

struct IXMLDOMNode;
// The attribute's value as text; empty when node has no such attribute or its value is not
// text.
std::wstring GetXmlAttribute(IXMLDOMNode *node, const wchar_t *name);
