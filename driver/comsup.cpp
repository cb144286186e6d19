#include "comsup.h"

HRESULT CRefCounted::QueryInterface(REFIID iid, void **ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(iid, IID_IUnknown))
        return Answer(static_cast<IUnknown *>(this), ppv);
    return E_NOINTERFACE;
}

ULONG CRefCounted::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&m_refs));
}

ULONG CRefCounted::Release()
{
    LONG refs = InterlockedDecrement(&m_refs);
    if (refs == 0)
        delete this;
    return static_cast<ULONG>(refs);
}
