// Late binding by member name over IDispatch: how a control object drives its service object,
// and how the setup utility's health check drives a control object, knowing only the names.
// Nothing here throws; every call answers an HRESULT.
#pragma once

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "comsup.h"

namespace com {

// One argument of a late-bound call: a VARIANT that owns what it holds. A BSTR that could not
// be allocated leaves VT_ERROR / E_OUTOFMEMORY, which the call refuses instead of passing an
// empty string on.
class CDispArg : public VARIANT
{
public:
    CDispArg(long value);
    CDispArg(int value) : CDispArg(static_cast<long>(value)) {}
    CDispArg(bool value);                      // VT_BOOL: VARIANT_TRUE or VARIANT_FALSE
    CDispArg(const wchar_t *text);             // VT_BSTR; null is the empty string
    CDispArg(const std::wstring &text);        // VT_BSTR, embedded zeros kept
    CDispArg(IDispatch *object);               // VT_DISPATCH; null is Basic's Nothing
    CDispArg(const VARIANT &value);            // a deep copy
    CDispArg(const CDispArg &other);
    CDispArg &operator=(const CDispArg &) = delete;
    ~CDispArg();

    bool Valid() const { return !(vt == VT_ERROR && scode == E_OUTOFMEMORY); }
};

// Conversions of a result or an argument. By-reference VARIANTs are followed; a value that
// does not convert answers DISP_E_TYPEMISMATCH (or what VariantChangeType says). A BSTR out
// parameter receives a new string that the caller frees (a CBstr's & does that).
HRESULT VariantToLong(const VARIANT &value, long *out);
HRESULT VariantToBool(const VARIANT &value, bool *out);
HRESULT VariantToBstr(const VARIANT &value, BSTR *out);

// An object reached through IDispatch only. Member ids are looked up once per name (names
// compare case-insensitively, as IDispatch names do) and kept until another object is attached.
class CDispatchCaller
{
public:
    CDispatchCaller() = default;
    explicit CDispatchCaller(IDispatch *object) { Attach(object); }
    CDispatchCaller(const CDispatchCaller &) = delete;
    CDispatchCaller &operator=(const CDispatchCaller &) = delete;

    // Creates the class registered under progId and holds its IDispatch.
    HRESULT Create(const wchar_t *progId, DWORD context = CLSCTX_INPROC_SERVER);
    void Attach(IDispatch *object);            // takes a reference of its own
    void Release();
    IDispatch *Get() const { return m_object.Get(); }
    explicit operator bool() const { return static_cast<bool>(m_object); }

    HRESULT GetId(const wchar_t *name, DISPID *id);

    // The general form. args come in the order the member declares them; flags is one of
    // DISPATCH_METHOD, DISPATCH_PROPERTYGET, DISPATCH_PROPERTYPUT (the last argument is then
    // the new value). result, when given, is cleared first.
    HRESULT Invoke(const wchar_t *name, WORD flags, const VARIANT *args, UINT count, VARIANT *result);

    HRESULT Call(const wchar_t *name, std::initializer_list<CDispArg> args = {}, VARIANT *result = nullptr);
    HRESULT Get(const wchar_t *name, VARIANT *result);
    HRESULT Put(const wchar_t *name, const CDispArg &value);

    // A method's result or a property converted; the call's failure comes first, then a
    // conversion failure.
    HRESULT CallLong(const wchar_t *name, std::initializer_list<CDispArg> args, long *value);
    HRESULT CallString(const wchar_t *name, std::initializer_list<CDispArg> args, BSTR *value);
    HRESULT GetLong(const wchar_t *name, long *value);
    HRESULT GetBool(const wchar_t *name, bool *value);
    HRESULT GetString(const wchar_t *name, BSTR *value);

    // After a failed call: the object's own description when it raised an exception
    // (DISP_E_EXCEPTION), and the argument, counted from 0 in declaration order, that a
    // DISP_E_TYPEMISMATCH or DISP_E_PARAMNOTFOUND names (-1 when none).
    BSTR ErrorDescription() const { return m_errorDescription.Get(); }
    int ErrorArgument() const { return m_errorArgument; }

    static constexpr UINT kMaxArgs = 16;

private:
    HRESULT CallArgs(const wchar_t *name, WORD flags, std::initializer_list<CDispArg> args, VARIANT *result);

    ComPtr<IDispatch> m_object;
    std::vector<std::pair<std::wstring, DISPID>> m_ids;
    CBstr m_errorDescription;
    int m_errorArgument = -1;
};

} // namespace com
