#include "dispatch.h"

#include <new>

namespace com {

// Calls walk an array of arguments as an array of VARIANTs.
static_assert(sizeof(CDispArg) == sizeof(VARIANT), "CDispArg adds nothing to VARIANT");

// --- Arguments ------------------------------------------------------------------------------

namespace {

void SetBstr(VARIANT *v, BSTR s)
{
    if (s) {
        v->vt = VT_BSTR;
        v->bstrVal = s;
    } else {
        v->vt = VT_ERROR;
        v->scode = E_OUTOFMEMORY;
    }
}

} // namespace

CDispArg::CDispArg(long value)
{
    VariantInit(this);
    vt = VT_I4;
    lVal = value;
}

CDispArg::CDispArg(bool value)
{
    VariantInit(this);
    vt = VT_BOOL;
    boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

CDispArg::CDispArg(const wchar_t *text)
{
    VariantInit(this);
    SetBstr(this, SysAllocString(text ? text : L""));
}

CDispArg::CDispArg(const std::wstring &text)
{
    VariantInit(this);
    SetBstr(this, SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
}

CDispArg::CDispArg(IDispatch *object)
{
    VariantInit(this);
    vt = VT_DISPATCH;
    pdispVal = object;
    if (object)
        object->AddRef();
}

CDispArg::CDispArg(const VARIANT &value)
{
    VariantInit(this);
    if (FAILED(VariantCopy(this, const_cast<VARIANT *>(&value)))) {
        vt = VT_ERROR;
        scode = E_OUTOFMEMORY;
    }
}

CDispArg::CDispArg(const CDispArg &other) : CDispArg(static_cast<const VARIANT &>(other)) {}

CDispArg::~CDispArg() { VariantClear(this); }

// --- Conversions ----------------------------------------------------------------------------

namespace {

// VariantChangeType leaves a by-reference source as it is for some target types; the copy
// without the reference converts the same way everywhere.
HRESULT Convert(const VARIANT &value, VARTYPE type, VARIANT *out)
{
    CVariant direct;
    HRESULT hr = VariantCopyInd(&direct, const_cast<VARIANT *>(&value));
    if (SUCCEEDED(hr))
        hr = VariantChangeType(out, &direct, 0, type);
    return hr;
}

} // namespace

HRESULT VariantToLong(const VARIANT &value, long *out)
{
    if (!out)
        return E_POINTER;
    CVariant v;
    HRESULT hr = Convert(value, VT_I4, &v);
    if (SUCCEEDED(hr))
        *out = v.lVal;
    return hr;
}

HRESULT VariantToBool(const VARIANT &value, bool *out)
{
    if (!out)
        return E_POINTER;
    CVariant v;
    HRESULT hr = Convert(value, VT_BOOL, &v);
    if (SUCCEEDED(hr))
        *out = v.boolVal != VARIANT_FALSE;
    return hr;
}

HRESULT VariantToBstr(const VARIANT &value, BSTR *out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    CVariant v;
    HRESULT hr = Convert(value, VT_BSTR, &v);
    if (SUCCEEDED(hr)) {
        *out = v.bstrVal;
        v.vt = VT_EMPTY;   // the string now belongs to the caller
    }
    return hr;
}

// --- Caller ---------------------------------------------------------------------------------

HRESULT CDispatchCaller::Create(const wchar_t *progId, DWORD context)
{
    Release();
    if (!progId)
        return E_INVALIDARG;
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(progId, &clsid);
    if (FAILED(hr))
        return hr;
    ComPtr<IDispatch> object;
    hr = CoCreateInstance(clsid, nullptr, context, IID_IDispatch, reinterpret_cast<void **>(&object));
    if (SUCCEEDED(hr))
        Attach(object.Get());
    return hr;
}

void CDispatchCaller::Attach(IDispatch *object)
{
    m_object = object;
    m_ids.clear();   // ids belong to the object that gave them
}

void CDispatchCaller::Release()
{
    m_object.Release();
    m_ids.clear();
}

HRESULT CDispatchCaller::GetId(const wchar_t *name, DISPID *id)
{
    if (!name || !id)
        return E_POINTER;
    *id = DISPID_UNKNOWN;
    if (!m_object)
        return E_UNEXPECTED;
    for (const auto &entry : m_ids)
        if (_wcsicmp(entry.first.c_str(), name) == 0) {
            *id = entry.second;
            return S_OK;
        }
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = m_object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, id);
    if (FAILED(hr))
        return hr;
    try {
        m_ids.emplace_back(name, *id);
    } catch (const std::bad_alloc &) {
        // Not kept: the next call asks the object again.
    }
    return S_OK;
}

HRESULT CDispatchCaller::Invoke(const wchar_t *name, WORD flags, const VARIANT *args, UINT count, VARIANT *result)
{
    m_errorDescription.Attach(nullptr);
    m_errorArgument = -1;
    if (result)
        VariantClear(result);
    if (count > kMaxArgs)
        return DISP_E_BADPARAMCOUNT;
    if (count && !args)
        return E_POINTER;

    DISPID id;
    HRESULT hr = GetId(name, &id);
    if (FAILED(hr))
        return hr;

    // DISPPARAMS lists the last argument first. The copies are shallow: the arguments are
    // [in] and stay owned by the caller.
    VARIANTARG reversed[kMaxArgs];
    for (UINT i = 0; i < count; ++i) {
        const VARIANT &arg = args[count - 1 - i];
        if (arg.vt == VT_ERROR && arg.scode == E_OUTOFMEMORY)
            return E_OUTOFMEMORY;
        reversed[i] = arg;
    }
    DISPID putId = DISPID_PROPERTYPUT;
    DISPPARAMS params = {count ? reversed : nullptr, nullptr, count, 0};
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
        if (count == 0)
            return DISP_E_BADPARAMCOUNT;
        params.rgdispidNamedArgs = &putId;   // the new value, which DISPPARAMS lists first
        params.cNamedArgs = 1;
        result = nullptr;                    // a put has no result
    }

    EXCEPINFO excep = {};
    UINT argErr = static_cast<UINT>(-1);
    hr = m_object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, &excep, &argErr);
    if (hr == DISP_E_EXCEPTION) {
        if (excep.pfnDeferredFillIn)
            excep.pfnDeferredFillIn(&excep);
        m_errorDescription.Attach(excep.bstrDescription);
        excep.bstrDescription = nullptr;
    }
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrHelpFile);
    if ((hr == DISP_E_TYPEMISMATCH || hr == DISP_E_PARAMNOTFOUND) && argErr < count)
        m_errorArgument = static_cast<int>(count - 1 - argErr);
    return hr;
}

HRESULT CDispatchCaller::CallArgs(const wchar_t *name, WORD flags, std::initializer_list<CDispArg> args,
                                  VARIANT *result)
{
    // An initializer_list holds its elements in one array, in the order written.
    return Invoke(name, flags, args.size() ? args.begin() : nullptr, static_cast<UINT>(args.size()), result);
}

HRESULT CDispatchCaller::Call(const wchar_t *name, std::initializer_list<CDispArg> args, VARIANT *result)
{
    return CallArgs(name, DISPATCH_METHOD, args, result);
}

HRESULT CDispatchCaller::Get(const wchar_t *name, VARIANT *result)
{
    return Invoke(name, DISPATCH_PROPERTYGET, nullptr, 0, result);
}

HRESULT CDispatchCaller::Put(const wchar_t *name, const CDispArg &value)
{
    return Invoke(name, DISPATCH_PROPERTYPUT, &value, 1, nullptr);
}

HRESULT CDispatchCaller::CallLong(const wchar_t *name, std::initializer_list<CDispArg> args, long *value)
{
    CVariant result;
    HRESULT hr = Call(name, args, &result);
    return SUCCEEDED(hr) ? VariantToLong(result, value) : hr;
}

HRESULT CDispatchCaller::CallString(const wchar_t *name, std::initializer_list<CDispArg> args, BSTR *value)
{
    if (value)
        *value = nullptr;
    CVariant result;
    HRESULT hr = Call(name, args, &result);
    return SUCCEEDED(hr) ? VariantToBstr(result, value) : hr;
}

HRESULT CDispatchCaller::GetLong(const wchar_t *name, long *value)
{
    CVariant result;
    HRESULT hr = Get(name, &result);
    return SUCCEEDED(hr) ? VariantToLong(result, value) : hr;
}

HRESULT CDispatchCaller::GetBool(const wchar_t *name, bool *value)
{
    CVariant result;
    HRESULT hr = Get(name, &result);
    return SUCCEEDED(hr) ? VariantToBool(result, value) : hr;
}

HRESULT CDispatchCaller::GetString(const wchar_t *name, BSTR *value)
{
    if (value)
        *value = nullptr;
    CVariant result;
    HRESULT hr = Get(name, &result);
    return SUCCEEDED(hr) ? VariantToBstr(result, value) : hr;
}

} // namespace com
