#include "controlobject.h"
#include "AtlReg.h"

#include <cstring>
#include <cwchar>
#include <new>
#include <string>

namespace {

// --- Name tables ------------------------------------------------------------------------------

struct NameRow
{
    const wchar_t *name;
    DISPID id;
};

// Names after the first are the member's parameter names, and no member here takes named
// arguments: they all map to DISPID_UNKNOWN. A row is anything with a name and an id.
template <class Row, size_t N>
HRESULT LookUpNames(const Row (&table)[N], REFIID iid, LPOLESTR *names, UINT count, DISPID *ids)
{
    if (!IsEqualIID(iid, IID_NULL))
        return DISP_E_UNKNOWNINTERFACE;
    if (!names || !ids)
        return E_POINTER;
    if (count == 0)
        return S_OK;
    HRESULT hr = S_OK;
    ids[0] = DISPID_UNKNOWN;
    for (const Row &row : table)
        if (names[0] && _wcsicmp(row.name, names[0]) == 0)
            ids[0] = row.id;
    if (ids[0] == DISPID_UNKNOWN)
        hr = DISP_E_UNKNOWNNAME;
    for (UINT i = 1; i < count; ++i) {
        ids[i] = DISPID_UNKNOWN;
        hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

// --- Event sink ---------------------------------------------------------------------------------

// What the service object gets as the control object's dispatch for its events. A separate
// object: a service object keeps that reference while open, and a reference to the control
// object itself would keep it alive after the application dropped it, port and all. The
// stand-in has no connection points, so the events end here.
class CEventSink : public com::CComObjectRoot, public IDispatch
{
public:
    HRESULT InternalQueryInterface(REFIID iid, void **ppv)
    {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
            *ppv = static_cast<IDispatch *>(this);
            return S_OK;
        }
        return E_NOINTERFACE;
    }

    STDMETHODIMP GetTypeInfoCount(UINT *count) override
    {
        if (!count)
            return E_POINTER;
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo **info) override
    {
        if (info)
            *info = nullptr;
        return DISP_E_BADINDEX;
    }
    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR *names, UINT count, LCID, DISPID *ids) override
    {
        return LookUpNames(kEvents, iid, names, count, ids);
    }
    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS *, VARIANT *, EXCEPINFO *,
                        UINT *) override
    {
        if (!IsEqualIID(iid, IID_NULL))
            return DISP_E_UNKNOWNINTERFACE;
        if (id < 1 || id > 5 || !(flags & DISPATCH_METHOD))
            return DISP_E_MEMBERNOTFOUND;
        return S_OK;
    }

private:
    static constexpr NameRow kEvents[] = {
        {L"SOData", 1}, {L"SODirectIO", 2}, {L"SOError", 3}, {L"SOOutputComplete", 4}, {L"SOStatusUpdate", 5},
    };
};

// --- Registry -----------------------------------------------------------------------------------


bool ReadString(HKEY key, const wchar_t *name, std::wstring *out)
{
    DWORD type = 0, bytes = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return false;
    std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE *>(&text[0]), &bytes) != ERROR_SUCCESS)
        return false;
    // The stored data need not end with a zero.
    text.resize(wcsnlen(text.c_str(), bytes / sizeof(wchar_t)));
    *out = text;
    return true;
}

} // namespace

// --- Members ----------------------------------------------------------------------------------

struct CControlObject::Member
{
    enum Kind {
        Open,
        Close,
        ReturnsCode,       // answers what the service object's method answers (its pRC)
        NumberProperty,
        BoolProperty,
        StringProperty,
    };
    const wchar_t *name;
    DISPID id;
    Kind kind;
    const char *args;      // a method's arguments: 'L' long, 'S' string
    long index;            // a property's index at the service object
    bool writable;
};

namespace {

using Member = CControlObject::Member;

const Member kMembers[] = {
    // name                  id  kind                    args       index     writable
    {L"Open",                 1, Member::Open,           "S",       0,        false},
    {L"Close",                2, Member::Close,          "",        0,        false},
    {L"ClaimDevice",          3, Member::ReturnsCode,    "L",       0,        false},
    {L"ReleaseDevice",        4, Member::ReturnsCode,    "",        0,        false},
    {L"CheckHealth",          5, Member::ReturnsCode,    "L",       0,        false},
    {L"PrintNormal",          6, Member::ReturnsCode,    "LS",      0,        false},
    {L"PrintImmediate",       7, Member::ReturnsCode,    "LS",      0,        false},
    {L"PrintBarCode",         8, Member::ReturnsCode,    "LSLLLLL", 0,        false},
    {L"CutPaper",             9, Member::ReturnsCode,    "L",       0,        false},
    {L"TransactionPrint",    10, Member::ReturnsCode,    "LL",      0,        false},
    {L"DeviceEnabled",       20, Member::BoolProperty,   "",        3,        true},
    {L"ResultCode",          21, Member::NumberProperty, "",        6,        false},
    {L"ResultCodeExtended",  22, Member::NumberProperty, "",        7,        false},
    {L"Claimed",             23, Member::BoolProperty,   "",        1,        false},
    {L"State",               24, Member::NumberProperty, "",        9,        false},
    {L"DeviceName",          25, Member::StringProperty, "",        1000003,  false},
    {L"DeviceDescription",   26, Member::StringProperty, "",        1000002,  false},
    {L"CheckHealthText",     27, Member::StringProperty, "",        1000001,  false},
    {L"CoverOpen",           28, Member::BoolProperty,   "",        8003,     false},
    {L"RecEmpty",            29, Member::BoolProperty,   "",        8014,     false},
};

constexpr UINT kMaxArgs = 7;

const Member *FindMember(DISPID id)
{
    for (const Member &m : kMembers)
        if (m.id == id)
            return &m;
    return nullptr;
}

bool IsProperty(const Member &m) { return m.kind >= Member::NumberProperty; }

// Converts one argument to the type the member declares.
HRESULT ConvertArg(const VARIANT &in, char type, VARIANT *out)
{
    if (in.vt == VT_ERROR && in.scode == DISP_E_PARAMNOTFOUND)
        return DISP_E_PARAMNOTFOUND;   // left out, and nothing here is optional
    if (type == 'L') {
        long value = 0;
        HRESULT hr = com::VariantToLong(in, &value);
        if (FAILED(hr))
            return DISP_E_TYPEMISMATCH;
        out->vt = VT_I4;
        out->lVal = value;
        return S_OK;
    }
    com::CBstr text;
    if (FAILED(com::VariantToBstr(in, &text)))
        return DISP_E_TYPEMISMATCH;
    out->vt = VT_BSTR;
    out->bstrVal = text.Detach();
    return S_OK;
}

} // namespace

CControlObject::~CControlObject()
{
    // An application that drops the object without closing it must not leave the device
    // claimed: the service object gives the port back in CloseService.
    if (m_service)
        Close();
}

HRESULT CControlObject::InternalQueryInterface(REFIID iid, void **ppv)
{
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
        *ppv = static_cast<IDispatch *>(this);
        return S_OK;
    }
    return E_NOINTERFACE;
}

STDMETHODIMP CControlObject::GetTypeInfoCount(UINT *count)
{
    if (!count)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

STDMETHODIMP CControlObject::GetTypeInfo(UINT, LCID, ITypeInfo **info)
{
    if (info)
        *info = nullptr;
    return DISP_E_BADINDEX;
}

STDMETHODIMP CControlObject::GetIDsOfNames(REFIID iid, LPOLESTR *names, UINT count, LCID, DISPID *ids)
{
    return LookUpNames(kMembers, iid, names, count, ids);
}

STDMETHODIMP CControlObject::Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS *params, VARIANT *result,
                                    EXCEPINFO *, UINT *argErr)
{
    if (!IsEqualIID(iid, IID_NULL))
        return DISP_E_UNKNOWNINTERFACE;
    const Member *member = FindMember(id);
    if (!member)
        return DISP_E_MEMBERNOTFOUND;
    if (!params)
        return E_POINTER;

    try {
        if (IsProperty(*member)) {
            if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
                if (!member->writable)
                    return DISP_E_MEMBERNOTFOUND;
                if (params->cArgs != 1)
                    return DISP_E_BADPARAMCOUNT;
                if (params->cNamedArgs != 1 || params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
                    return DISP_E_PARAMNOTOPTIONAL;
                HRESULT hr = PutProperty(*member, params->rgvarg[0]);
                if (hr == DISP_E_TYPEMISMATCH && argErr)
                    *argErr = 0;
                return hr;
            }
            if (!(flags & DISPATCH_PROPERTYGET))
                return DISP_E_MEMBERNOTFOUND;
            if (params->cArgs != 0)
                return DISP_E_BADPARAMCOUNT;
            return GetProperty(*member, result);
        }

        if (!(flags & DISPATCH_METHOD))
            return DISP_E_MEMBERNOTFOUND;
        if (params->cNamedArgs != 0)
            return DISP_E_NONAMEDARGS;
        const UINT count = static_cast<UINT>(std::strlen(member->args));
        if (params->cArgs != count)
            return DISP_E_BADPARAMCOUNT;
        com::CVariant args[kMaxArgs];
        for (UINT i = 0; i < count; ++i) {
            UINT slot = count - 1 - i;   // DISPPARAMS lists the last argument first
            HRESULT hr = ConvertArg(params->rgvarg[slot], member->args[i], &args[i]);
            if (FAILED(hr)) {
                if (argErr)
                    *argErr = slot;
                return hr;
            }
        }

        long rc;
        if (member->kind == Member::Open)
            rc = Open(args[0].bstrVal);
        else if (member->kind == Member::Close)
            rc = Close();
        else
            rc = Forward(*member, args);
        if (result) {
            result->vt = VT_I4;
            result->lVal = rc;
        }
        return S_OK;
    } catch (const std::bad_alloc &) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

long CControlObject::Open(BSTR deviceName)
{
    if (m_service)
        return OPOS_E_ILLEGAL;
    auto fail = [this](long rc) {
        m_service.Release();
        m_resultCode = rc;
        return rc;
    };

    // A name with a backslash would reach a key below a device key.
    if (!deviceName || !*deviceName || std::wcschr(deviceName, L'\\'))
        return fail(OPOS_E_NOEXIST);
    const std::wstring classPath = std::wstring(L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\") + m_deviceClass;
    CRegKey classKey;
    if (classKey.Open(HKEY_LOCAL_MACHINE, classPath.c_str(), KEY_READ) != ERROR_SUCCESS)
        return fail(OPOS_E_NOEXIST);

    // A device key of that name, or else a logical device name: a value of the class key
    // whose data names the device key.
    std::wstring device = deviceName;
    CRegKey deviceKey;
    if (deviceKey.Open(classKey, device.c_str(), KEY_READ) != ERROR_SUCCESS) {
        if (!ReadString(classKey, deviceName, &device) || device.empty() ||
            device.find(L'\\') != std::wstring::npos ||
            deviceKey.Open(classKey, device.c_str(), KEY_READ) != ERROR_SUCCESS)
            return fail(OPOS_E_NOEXIST);
    }

    std::wstring progId;
    if (!ReadString(deviceKey, nullptr, &progId) || progId.empty())
        return fail(OPOS_E_NOSERVICE);
    if (FAILED(m_service.Create(progId.c_str())))
        return fail(OPOS_E_NOSERVICE);

    com::CComObject<CEventSink> *sink = nullptr;
    if (FAILED(com::CComObject<CEventSink>::CreateInstance(&sink)))
        return fail(OPOS_E_NOSERVICE);
    com::ComPtr<IDispatch> sinkDispatch(sink);

    long rc = OPOS_E_NOSERVICE;
    if (FAILED(m_service.CallLong(L"OpenService", {m_deviceClass, device, sinkDispatch.Get()}, &rc)))
        return fail(OPOS_E_NOSERVICE);
    if (rc != OPOS_SUCCESS)
        return fail(rc);
    m_sink = sinkDispatch;
    return OPOS_SUCCESS;
}

long CControlObject::Close()
{
    if (!m_service)
        return m_resultCode = OPOS_E_CLOSED;
    long rc = OPOS_E_NOSERVICE;
    if (FAILED(m_service.CallLong(L"CloseService", {}, &rc)))
        rc = OPOS_E_NOSERVICE;
    m_service.Release();
    m_sink.Release();
    return m_resultCode = rc;
}

long CControlObject::Forward(const Member &member, const VARIANT *args)
{
    if (!m_service)
        return m_resultCode = OPOS_E_CLOSED;
    com::CVariant answer;
    if (FAILED(m_service.Invoke(member.name, DISPATCH_METHOD, args,
                                static_cast<UINT>(std::strlen(member.args)), &answer)))
        return OPOS_E_NOSERVICE;
    long rc = OPOS_E_NOSERVICE;
    return SUCCEEDED(com::VariantToLong(answer, &rc)) ? rc : OPOS_E_NOSERVICE;
}

long CControlObject::SoNumber(long index)
{
    long value = 0;
    if (FAILED(m_service.CallLong(L"GetPropertyNumber", {index}, &value)))
        return index == 6 ? static_cast<long>(OPOS_E_NOSERVICE) : 0L;
    return value;
}

HRESULT CControlObject::GetProperty(const Member &member, VARIANT *result)
{
    if (!result)
        return S_OK;
    // While closed: the codes of the control object's own last answer, the rest at rest.
    switch (member.kind) {
    case Member::NumberProperty: {
        long value;
        if (m_service)
            value = SoNumber(member.index);
        else
            value = member.index == 6 ? m_resultCode : member.index == 9 ? static_cast<long>(OPOS_S_CLOSED) : 0L;
        result->vt = VT_I4;
        result->lVal = value;
        return S_OK;
    }
    case Member::BoolProperty:
        result->vt = VT_BOOL;
        result->boolVal = m_service && SoNumber(member.index) != 0 ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    default: {
        com::CBstr text;
        if (!m_service || FAILED(m_service.CallString(L"GetPropertyString", {member.index}, &text)))
            text.Attach(nullptr);
        if (!text.Get())
            text.Attach(SysAllocString(L""));
        if (!text.Get())
            return E_OUTOFMEMORY;
        result->vt = VT_BSTR;
        result->bstrVal = text.Detach();
        return S_OK;
    }
    }
}

HRESULT CControlObject::PutProperty(const Member &member, const VARIANT &value)
{
    // Basic passes True as -1: any value other than zero enables.
    bool on = false;
    if (FAILED(com::VariantToBool(value, &on)))
        return DISP_E_TYPEMISMATCH;
    if (!m_service) {
        m_resultCode = OPOS_E_CLOSED;
        return S_OK;
    }
    m_service.Call(L"SetPropertyNumber", {member.index, on ? 1L : 0L});
    return S_OK;
}
