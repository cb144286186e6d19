#include "catalogue.h"

#include <ole2.h>
#include <msxml2.h>

#include <cwchar>
#include <utility>

#include "AtlReg.h"
#include "comsup.h"
#include "trace.h"

using com::CBstr;
using com::ComPtr;
using com::CVariant;

const wchar_t kCatalogueFile[] = L".\\config.xml";

namespace {

// The MSXML2 DOM document, version-independent class. Defined here: the platform headers
// declare CLSID_DOMDocument differently depending on which of them is included.
const CLSID kClsidDomDocument = {0xF6D90F11, 0x9C73, 0x11D3, {0xB3, 0x2E, 0x00, 0xC0, 0x4F, 0x99, 0x0B, 0xB4}};

const struct
{
    const wchar_t *word;
    PortKind kind;
} kPortWords[] = {
    {L"none", PortNone},
    {L"serial", PortSerial},
    {L"parallel", PortParallel},
    {L"usb", PortUsb},
    {L"ethernet", PortEthernet},
};

// Balances a CoInitializeEx that succeeded. The catalogue is read on the user-interface
// thread, which normally has its apartment already (then this only counts up and down); a
// thread in the multithreaded apartment keeps it.
class CComApartment
{
public:
    CComApartment() : m_initialised(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    CComApartment(const CComApartment &) = delete;
    CComApartment &operator=(const CComApartment &) = delete;
    ~CComApartment()
    {
        if (m_initialised)
            CoUninitialize();
    }

private:
    bool m_initialised;
};

std::wstring NodeName(IXMLDOMNode *node)
{
    CBstr name;
    if (node->get_nodeName(&name) != S_OK || !name.Get())
        return std::wstring();
    return std::wstring(name.Get(), name.Length());
}

bool EqualsNoCaseAscii(const std::wstring &a, const wchar_t *b)
{
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i) {
        wchar_t x = a[i], y = b[i];
        if (x >= L'A' && x <= L'Z')
            x = static_cast<wchar_t>(x - L'A' + L'a');
        if (y >= L'A' && y <= L'Z')
            y = static_cast<wchar_t>(y - L'A' + L'a');
        if (x != y)
            return false;
    }
    return i == a.size() && !b[i];
}

// One `param` element. AddParam drops it silently when its port word names no port kind.
void ReadParam(IXMLDOMNode *param, CDeviceInfo &record)
{
    const std::wstring port = GetXmlAttribute(param, L"port");
    const std::wstring name = GetXmlAttribute(param, L"name");
    const std::wstring type = GetXmlAttribute(param, L"type");
    const std::wstring text = GetXmlAttribute(param, L"value");
    if (name.empty()) {
        // Written as the device key's default value it would replace the ProgID.
        Trace(L"param without a name in device %ls skipped\n", record.Model.c_str());
        return;
    }

    CVariant value;
    if (EqualsNoCaseAscii(type, L"dword")) {
        value.vt = VT_UI4;
        value.ulVal = ParseDwordText(text.c_str());
    } else {
        value.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        if (!value.bstrVal)
            return;
        value.vt = VT_BSTR;
    }
    record.AddParam(port, name, value);
}

// The `param` children of a `device` element, in order. Other children (elements, comments,
// text) carry no meaning; they are traced so that a misspelt element is noticed.
void ReadParams(IXMLDOMNode *device, CDeviceInfo &record)
{
    ComPtr<IXMLDOMNodeList> children;
    if (device->get_childNodes(&children) != S_OK || !children)
        return;
    long count = 0;
    if (children->get_length(&count) != S_OK)
        return;
    for (long i = 0; i < count; ++i) {
        ComPtr<IXMLDOMNode> child;
        if (children->get_item(i, &child) != S_OK || !child)
            continue;
        const std::wstring name = NodeName(child.Get());
        if (name != L"param") {
            Trace(L"unknown sub node %ls of device\n", name.c_str());
            continue;
        }
        ReadParam(child.Get(), record);
    }
}

// Reads the catalogue through the DOM document; false when the file could not be read as XML.
bool ReadCatalogue(IXMLDOMDocument *document, const std::wstring &deviceClass,
                   std::vector<CDeviceInfo> &catalogue)
{
    // The elements are walked right after load returns, so the load must be synchronous.
    document->put_async(VARIANT_FALSE);
    // The catalogue has no DTD of its own to trust, and must not fetch anything.
    document->put_validateOnParse(VARIANT_FALSE);
    document->put_resolveExternals(VARIANT_FALSE);

    CVariant source;
    source.bstrVal = SysAllocString(kCatalogueFile);
    if (!source.bstrVal)
        return false;
    source.vt = VT_BSTR;
    VARIANT_BOOL loaded = VARIANT_FALSE;
    if (document->load(source, &loaded) != S_OK || loaded != VARIANT_TRUE)
        return false;

    CBstr tag(L"device");
    ComPtr<IXMLDOMNodeList> devices;
    if (document->getElementsByTagName(tag.Get(), &devices) != S_OK || !devices)
        return true;
    long count = 0;
    if (devices->get_length(&count) != S_OK)
        return true;
    for (long i = 0; i < count; ++i) {
        ComPtr<IXMLDOMNode> device;
        if (devices->get_item(i, &device) != S_OK || !device)
            continue;
        CDeviceInfo record;
        record.Type = GetXmlAttribute(device.Get(), L"type");
        record.Model = GetXmlAttribute(device.Get(), L"model");
        record.SoName = GetXmlAttribute(device.Get(), L"soname");
        if (record.Type != deviceClass)
            continue;
        // The model names the device key: an empty one would be the class key itself, one
        // with a backslash a key further down. Neither may reach the registry.
        if (record.Model.empty() || record.Model.find(L'\\') != std::wstring::npos) {
            Trace(L"device \"%ls\" skipped: its model cannot name a device key\n", record.Model.c_str());
            continue;
        }
        ReadParams(device.Get(), record);
        catalogue.push_back(std::move(record));
    }
    return true;
}

} // namespace

// --- CDeviceParam ----------------------------------------------------------------------------

CDeviceParam::CDeviceParam(PortKind port, const std::wstring &name, const VARIANT &value)
    : m_port(port), m_name(name)
{
    VariantInit(&m_value);
    VariantCopy(&m_value, const_cast<VARIANT *>(&value));
}

CDeviceParam::CDeviceParam(const CDeviceParam &other) : m_port(other.m_port), m_name(other.m_name)
{
    VariantInit(&m_value);
    VariantCopy(&m_value, const_cast<VARIANT *>(&other.m_value));
}

CDeviceParam::CDeviceParam(CDeviceParam &&other) noexcept
    : m_port(other.m_port), m_name(std::move(other.m_name)), m_value(other.m_value)
{
    VariantInit(&other.m_value);   // the value's storage moved with the bits
}

CDeviceParam &CDeviceParam::operator=(CDeviceParam other) noexcept
{
    std::swap(m_port, other.m_port);
    m_name.swap(other.m_name);
    std::swap(m_value, other.m_value);
    return *this;
}

CDeviceParam::~CDeviceParam()
{
    VariantClear(&m_value);
}

// --- CDeviceInfo -----------------------------------------------------------------------------

bool PortKindFromWord(const std::wstring &word, PortKind &kind)
{
    for (const auto &entry : kPortWords) {
        if (word == entry.word) {
            kind = entry.kind;
            return true;
        }
    }
    return false;
}

bool CDeviceInfo::AddParam(const std::wstring &portWord, const std::wstring &name, const VARIANT &value)
{
    PortKind kind = PortNone;
    if (!PortKindFromWord(portWord, kind) || name.empty())
        return false;
    m_params.emplace_back(kind, name, value);
    return true;
}

std::wstring CDeviceInfo::GetParamString(const std::wstring &name) const
{
    for (const CDeviceParam &param : m_params) {
        if (!RegNamesEqual(param.GetName(), name))
            continue;
        const VARIANT &value = param.GetValue();
        if (value.vt == VT_BSTR)
            return value.bstrVal ? std::wstring(value.bstrVal, SysStringLen(value.bstrVal)) : std::wstring();
        if (value.vt == VT_UI4)
            return std::to_wstring(static_cast<unsigned long>(value.ulVal));
    }
    return std::wstring();
}

bool CDeviceInfo::HasPortKind(PortKind kind) const
{
    for (const CDeviceParam &param : m_params) {
        if (param.GetPort() == kind)
            return true;
    }
    return false;
}

// --- Loading ---------------------------------------------------------------------------------

std::vector<CDeviceInfo> LoadDeviceCatalog(const std::wstring &deviceClass)
{
    std::vector<CDeviceInfo> catalogue;
    // Every dialog has a class; an empty one would only match devices that lack a type.
    if (deviceClass.empty())
        return catalogue;
    CComApartment apartment;
    ComPtr<IXMLDOMDocument> document;
    HRESULT hr = CoCreateInstance(kClsidDomDocument, nullptr, CLSCTX_ALL, IID_IXMLDOMDocument,
                                  reinterpret_cast<void **>(&document));
    if (FAILED(hr) || !document) {
        Trace(L"LoadDeviceCatalog: no XML DOM document (0x%08lx)\n", static_cast<unsigned long>(hr));
        return catalogue;
    }
    if (!ReadCatalogue(document.Get(), deviceClass, catalogue))
        Trace(L"LoadDeviceCatalog: %ls could not be read\n", kCatalogueFile);
    return catalogue;
}

const CDeviceInfo *FindDeviceModel(const std::vector<CDeviceInfo> &catalogue, const std::wstring &model)
{
    for (const CDeviceInfo &record : catalogue) {
        if (record.Model == model)
            return &record;
    }
    return nullptr;
}

std::wstring GetXmlAttribute(IXMLDOMNode *node, const wchar_t *name)
{
    if (!node || !name)
        return std::wstring();
    ComPtr<IXMLDOMNamedNodeMap> attributes;
    if (node->get_attributes(&attributes) != S_OK || !attributes)
        return std::wstring();
    CBstr attributeName(name);
    ComPtr<IXMLDOMNode> attribute;
    if (attributes->getNamedItem(attributeName.Get(), &attribute) != S_OK || !attribute)
        return std::wstring();
    CVariant value;
    if (attribute->get_nodeValue(&value) != S_OK || value.vt != VT_BSTR || !value.bstrVal)
        return std::wstring();
    return std::wstring(value.bstrVal, SysStringLen(value.bstrVal));
}

DWORD ParseDwordText(const wchar_t *text)
{
    if (!text)
        return 0;
    const wchar_t *p = text;
    while (*p == L' ' || (*p >= L'\t' && *p <= L'\r'))
        ++p;
    bool negative = false;
    if (*p == L'+' || *p == L'-') {
        negative = *p == L'-';
        ++p;
    }
    unsigned base = 10;
    if (p[0] == L'0' && (p[1] == L'x' || p[1] == L'X')) {
        base = 16;
        p += 2;
    } else if (p[0] == L'0') {
        base = 8;
    }

    unsigned long long value = 0;
    bool overflow = false;
    for (;; ++p) {
        unsigned digit;
        if (*p >= L'0' && *p <= L'9')
            digit = static_cast<unsigned>(*p - L'0');
        else if (*p >= L'a' && *p <= L'f')
            digit = static_cast<unsigned>(*p - L'a' + 10);
        else if (*p >= L'A' && *p <= L'F')
            digit = static_cast<unsigned>(*p - L'A' + 10);
        else
            break;
        if (digit >= base)
            break;
        value = value * base + digit;
        if (value > 0xFFFFFFFFull) {
            overflow = true;
            value = 0xFFFFFFFFull;   // keeps the product bounded; the rest only confirms it
        }
    }
    if (overflow)
        return 0xFFFFFFFFu;
    DWORD result = static_cast<DWORD>(value);
    return negative ? static_cast<DWORD>(0u - result) : result;
}
