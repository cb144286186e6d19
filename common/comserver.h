// The server side of the COM layer: aggregation wrappers, the class factory, the module with
// its table of creatable classes, and the registrar that runs a registry script resource.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <string>

#include "comsup.h"

namespace com {

// --- Aggregation ------------------------------------------------------------------------------

// The object inside an aggregate: every IUnknown call goes to the outer object.
template <class T>
class CComContainedObject : public T
{
public:
    explicit CComContainedObject(IUnknown *outer) : m_outer(outer) {}

    STDMETHODIMP QueryInterface(REFIID iid, void **ppv) override { return m_outer->QueryInterface(iid, ppv); }
    STDMETHODIMP_(ULONG) AddRef() override { return m_outer->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return m_outer->Release(); }

private:
    IUnknown *m_outer;   // not counted: the outer object owns us
};

// The aggregated object's own, non-delegating IUnknown, which only the outer object holds.
template <class T>
class CComAggObject : public IUnknown
{
public:
    explicit CComAggObject(IUnknown *outer) : m_contained(outer) {}
    virtual ~CComAggObject() = default;

    STDMETHODIMP QueryInterface(REFIID iid, void **ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (IsEqualIID(iid, IID_IUnknown)) {
            *ppv = static_cast<IUnknown *>(this);
            AddRef();
            return S_OK;
        }
        HRESULT hr = m_contained.InternalQueryInterface(iid, ppv);
        if (SUCCEEDED(hr))
            static_cast<IUnknown *>(*ppv)->AddRef();   // counted on the outer object
        return hr;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
    STDMETHODIMP_(ULONG) Release() override
    {
        ULONG refs = --m_refs;
        if (refs == 0)
            delete this;
        return refs;
    }

private:
    CModuleLockHolder m_lock;   // first: released after the contained object is gone
    CComContainedObject<T> m_contained;
    ULONG m_refs = 0;
};

// Makes the plain or the aggregated object and asks it for the requested interface.
template <class T>
struct CComCreator
{
    static HRESULT CreateInstance(IUnknown *outer, REFIID iid, void **ppv)
    {
        IUnknown *object = nullptr;
        if (outer)
            object = new (std::nothrow) CComAggObject<T>(outer);
        else
            object = static_cast<IUnknown *>(new (std::nothrow) CComObject<T>());
        if (!object)
            return E_OUTOFMEMORY;
        object->AddRef();
        HRESULT hr = object->QueryInterface(iid, ppv);
        object->Release();   // destroys the object when the interface was refused
        return hr;
    }
};

using CreatorFunc = HRESULT (*)(IUnknown *outer, REFIID iid, void **ppv);

// --- Class factory ------------------------------------------------------------------------------

class CComClassFactory : public IClassFactory
{
public:
    explicit CComClassFactory(CreatorFunc creator) : m_creator(creator) {}
    virtual ~CComClassFactory() = default;

    STDMETHODIMP QueryInterface(REFIID iid, void **ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP CreateInstance(IUnknown *outer, REFIID iid, void **ppv) override;
    STDMETHODIMP LockServer(BOOL lock) override;

private:
    CreatorFunc m_creator;
    volatile LONG m_refs = 0;
};

// --- Module ------------------------------------------------------------------------------------

struct ObjectMapEntry
{
    const CLSID *clsid;
    UINT registryScript;        // REGISTRY resource that registers the class
    CreatorFunc creator;
    IClassFactory *factory;     // created at the first request, then kept
};

class CComModule
{
public:
    void Init(ObjectMapEntry *map, HINSTANCE instance, const GUID *libid);
    void Term();

    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void **ppv);
    HRESULT CanUnloadNow() const { return ModuleLockCount() == 0 ? S_OK : S_FALSE; }
    // Runs every class's registry script, then (un)registers the module's type library 1.
    HRESULT RegisterServer();
    HRESULT UnregisterServer();

    HINSTANCE Instance() const { return m_instance; }
    std::wstring ModulePath() const;

private:
    HRESULT RunRegistryScripts(const std::wstring &path, bool reg);
    HRESULT UnregisterTypeLibrary(const std::wstring &path);

    ObjectMapEntry *m_map = nullptr;
    HINSTANCE m_instance = nullptr;
    const GUID *m_libid = nullptr;
    CRITICAL_SECTION m_lock;
    bool m_initialised = false;
};

// --- Registrar -----------------------------------------------------------------------------------

// Runs a registry script. The language (a subset of the one COM servers commonly carry):
//
//   HKCR { NoRemove CLSID { ForceRemove {clsid} = s 'text' { val Name = s 'text' } } }
//
// Root keys HKCR, HKCU, HKLM, HKU (or their long names); key names bare or in single quotes;
// a key's default value "= s 'text'" or "= d 'number'"; named values "val Name = ...";
// ForceRemove deletes a key's subtree before it is written; NoRemove keeps a key when
// unregistering (its listed subkeys are still removed). '' in a quoted text is one quote.
// %NAME% in a text is replaced from the replacement table.
class CRegistrar
{
public:
    void AddReplacement(const std::wstring &name, const std::wstring &value);
    HRESULT Run(const std::wstring &script, bool reg);
    HRESULT RunResource(HINSTANCE module, UINT id, bool reg);

private:
    struct Replacement { std::wstring name, value; };
    std::wstring Expand(const std::wstring &text) const;
    std::vector<Replacement> m_replacements;
};

} // namespace com
