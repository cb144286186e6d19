// The small COM layer shared by the service object and the setup utility: interface and BSTR
// holders, the module lock count, the reference-counting object wrapper and an IDispatch served
// from a registered type library.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace com {

// --- Holders --------------------------------------------------------------------------------

template <class T>
class ComPtr
{
public:
    ComPtr() = default;
    ComPtr(T *p) : m_p(p) { if (m_p) m_p->AddRef(); }
    ComPtr(const ComPtr &other) : ComPtr(other.m_p) {}
    ComPtr(ComPtr &&other) noexcept : m_p(other.m_p) { other.m_p = nullptr; }
    ~ComPtr() { Release(); }

    ComPtr &operator=(T *p)
    {
        if (p)
            p->AddRef();
        Release();
        m_p = p;
        return *this;
    }
    ComPtr &operator=(const ComPtr &other) { return *this = other.m_p; }
    ComPtr &operator=(ComPtr &&other) noexcept
    {
        if (this != std::addressof(other)) {
            Release();
            m_p = other.m_p;
            other.m_p = nullptr;
        }
        return *this;
    }

    void Release()
    {
        T *p = m_p;
        m_p = nullptr;
        if (p)
            p->Release();
    }
    // Adopts a reference that the caller already owns.
    void Attach(T *p) { Release(); m_p = p; }
    T *Detach() { T *p = m_p; m_p = nullptr; return p; }
    // For out-parameters: the held reference is dropped first.
    T **operator&() { Release(); return &m_p; }
    T *operator->() const { return m_p; }
    T &operator*() const { return *m_p; }
    T *Get() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }

private:
    T *m_p = nullptr;
};

class CBstr
{
public:
    CBstr() = default;
    explicit CBstr(const wchar_t *s) : m_s(s ? SysAllocString(s) : nullptr) {}
    CBstr(const wchar_t *s, UINT len) : m_s(SysAllocStringLen(s, len)) {}
    CBstr(const CBstr &) = delete;
    CBstr &operator=(const CBstr &) = delete;
    CBstr(CBstr &&other) noexcept : m_s(other.m_s) { other.m_s = nullptr; }
    ~CBstr() { SysFreeString(m_s); }

    BSTR Get() const { return m_s; }
    BSTR Detach() { BSTR s = m_s; m_s = nullptr; return s; }
    void Attach(BSTR s) { SysFreeString(m_s); m_s = s; }
    BSTR *operator&() { Attach(nullptr); return &m_s; }
    UINT Length() const { return SysStringLen(m_s); }

private:
    BSTR m_s = nullptr;
};

class CVariant : public VARIANT
{
public:
    CVariant() { VariantInit(this); }
    CVariant(const CVariant &) = delete;
    CVariant &operator=(const CVariant &) = delete;
    ~CVariant() { VariantClear(this); }
};

// --- Module lock count ----------------------------------------------------------------------

// Every live object and every LockServer(TRUE) holds one lock; the module may unload at zero.
inline volatile LONG g_moduleLocks = 0;

inline void ModuleLock() { InterlockedIncrement(&g_moduleLocks); }
inline void ModuleUnlock() { InterlockedDecrement(&g_moduleLocks); }
inline LONG ModuleLockCount() { return InterlockedCompareExchange(&g_moduleLocks, 0, 0); }

// Holds one module lock for its whole life. An object wrapper takes it as its first base (or
// first member), so it is made before and destroyed after everything else of the object: the
// module never counts as unloadable while an object's destructor, or a thread it stops there,
// still runs the module's code.
class CModuleLockHolder
{
public:
    CModuleLockHolder() { ModuleLock(); }
    ~CModuleLockHolder() { ModuleUnlock(); }
    CModuleLockHolder(const CModuleLockHolder &) = delete;
    CModuleLockHolder &operator=(const CModuleLockHolder &) = delete;
};

// --- Objects --------------------------------------------------------------------------------

// Base of every COM class: a plain reference count (objects live in one apartment) and a
// virtual destructor so the wrapper can delete through it.
class CComObjectRoot
{
public:
    virtual ~CComObjectRoot() = default;

protected:
    ULONG InternalAddRef() { return ++m_refs; }
    ULONG InternalRelease() { return --m_refs; }

private:
    ULONG m_refs = 0;
};

// Creatable wrapper: IUnknown for a class T that offers
//   HRESULT InternalQueryInterface(REFIID, void **)   (sets *ppv without AddRef)
// The module is locked while the object lives, until T's destructor has ended.
template <class T>
class CComObject : private CModuleLockHolder, public T
{
public:
    CComObject() = default;

    static HRESULT CreateInstance(CComObject<T> **object)
    {
        if (!object)
            return E_POINTER;
        *object = new (std::nothrow) CComObject<T>();
        return *object ? S_OK : E_OUTOFMEMORY;
    }

    STDMETHODIMP QueryInterface(REFIID iid, void **ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        HRESULT hr = T::InternalQueryInterface(iid, ppv);
        if (SUCCEEDED(hr))
            static_cast<IUnknown *>(*ppv)->AddRef();
        return hr;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return T::InternalAddRef(); }
    STDMETHODIMP_(ULONG) Release() override
    {
        ULONG refs = T::InternalRelease();
        if (refs == 0)
            delete this;
        return refs;
    }
};

// --- IDispatch from a registered type library -----------------------------------------------

// Loads the type information of interface *piid from the registered library *plibid once and
// keeps it for the life of the process.
template <const IID *piid, const GUID *plibid, WORD major, WORD minor>
class CTypeInfoHolder
{
public:
    static HRESULT Get(ITypeInfo **info)
    {
        *info = nullptr;
        ITypeInfo *cached = static_cast<ITypeInfo *>(
            InterlockedCompareExchangePointer(reinterpret_cast<void *volatile *>(&s_info), nullptr, nullptr));
        if (!cached) {
            ComPtr<ITypeLib> lib;
            HRESULT hr = LoadRegTypeLib(*plibid, major, minor, 0, &lib);
            if (FAILED(hr))
                return hr;
            ITypeInfo *loaded = nullptr;
            hr = lib->GetTypeInfoOfGuid(*piid, &loaded);
            if (FAILED(hr))
                return hr;
            cached = static_cast<ITypeInfo *>(InterlockedCompareExchangePointer(
                reinterpret_cast<void *volatile *>(&s_info), loaded, nullptr));
            if (cached)
                loaded->Release();     // another thread published first
            else
                cached = loaded;
        }
        cached->AddRef();
        *info = cached;
        return S_OK;
    }

    static void Clear()
    {
        ITypeInfo *p = static_cast<ITypeInfo *>(
            InterlockedExchangePointer(reinterpret_cast<void *volatile *>(&s_info), nullptr));
        if (p)
            p->Release();
    }

private:
    static inline ITypeInfo *s_info = nullptr;
};

template <class Itf, const IID *piid, const GUID *plibid, WORD major = 1, WORD minor = 0>
class IDispatchImpl : public Itf
{
public:
    using TypeInfo = CTypeInfoHolder<piid, plibid, major, minor>;

    STDMETHODIMP GetTypeInfoCount(UINT *count) override
    {
        if (!count)
            return E_POINTER;
        *count = 1;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo **info) override
    {
        if (!info)
            return E_POINTER;
        *info = nullptr;
        if (index != 0)
            return DISP_E_BADINDEX;
        return TypeInfo::Get(info);
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR *names, UINT count, LCID, DISPID *ids) override
    {
        ComPtr<ITypeInfo> info;
        HRESULT hr = TypeInfo::Get(&info);
        if (SUCCEEDED(hr))
            hr = info->GetIDsOfNames(names, count, ids);
        return hr;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS *params,
                        VARIANT *result, EXCEPINFO *excep, UINT *argErr) override
    {
        if (!IsEqualIID(iid, IID_NULL))
            return DISP_E_UNKNOWNINTERFACE;
        ComPtr<ITypeInfo> info;
        HRESULT hr = TypeInfo::Get(&info);
        if (SUCCEEDED(hr))
            hr = info->Invoke(static_cast<Itf *>(this), id, flags, params, result, excep, argErr);
        return hr;
    }
};

} // namespace com
