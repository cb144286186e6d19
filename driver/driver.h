// The driver callback object and the class factory that makes it.
#pragma once

#include "comsup.h"
#include "internal.h"

class CPortClassFactory : public CRefCounted, public IClassFactory
{
public:
    static HRESULT CreateInstance(CPortClassFactory **factory);

    STDMETHODIMP QueryInterface(REFIID iid, void **ppv) override;
    ZULKOR_FORWARD_IUNKNOWN()

    // IClassFactory: makes a CPortDriver; the outer object is ignored.
    STDMETHODIMP CreateInstance(IUnknown *outer, REFIID iid, void **ppv) override;
    STDMETHODIMP LockServer(BOOL lock) override;
};

class CPortDriver : public CRefCounted, public IDriverEntry
{
public:
    static HRESULT CreateInstance(CPortDriver **driver);

    STDMETHODIMP QueryInterface(REFIID iid, void **ppv) override;
    ZULKOR_FORWARD_IUNKNOWN()

    // IDriverEntry
    STDMETHODIMP OnInitialize(IWDFDriver *driver) override;
    STDMETHODIMP OnDeviceAdd(IWDFDriver *driver, IWDFDeviceInitialize *init) override;
    STDMETHODIMP_(void) OnDeinitialize(IWDFDriver *driver) override;
};
