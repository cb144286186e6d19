// The class factory and the driver callback object: the framework gets the factory from
// DllGetClassObject, makes one driver object with it, and calls OnDeviceAdd for every port
// device with our hardware id.
#include "driver.h"
#include "device.h"

#include <new>

volatile LONG g_serverLocks = 0;

// --- CPortClassFactory -----------------------------------------------------------------------

HRESULT CPortClassFactory::CreateInstance(CPortClassFactory **factory)
{
    *factory = new (std::nothrow) CPortClassFactory();
    return *factory ? S_OK : E_OUTOFMEMORY;
}

HRESULT CPortClassFactory::QueryInterface(REFIID iid, void **ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(iid, IID_IClassFactory))
        return Answer(static_cast<IClassFactory *>(this), ppv);
    return CRefCounted::QueryInterface(iid, ppv);
}

HRESULT CPortClassFactory::CreateInstance(IUnknown * /*outer*/, REFIID iid, void **ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    CPortDriver *driver = nullptr;
    HRESULT hr = CPortDriver::CreateInstance(&driver);
    if (SUCCEEDED(hr)) {
        hr = driver->QueryInterface(iid, ppv);
        driver->Release();
    }
    return hr;
}

HRESULT CPortClassFactory::LockServer(BOOL lock)
{
    if (lock)
        InterlockedIncrement(&g_serverLocks);
    else
        InterlockedDecrement(&g_serverLocks);
    return S_OK;
}

// --- CPortDriver -----------------------------------------------------------------------------

HRESULT CPortDriver::CreateInstance(CPortDriver **driver)
{
    *driver = new (std::nothrow) CPortDriver();
    return *driver ? S_OK : E_OUTOFMEMORY;
}

HRESULT CPortDriver::QueryInterface(REFIID iid, void **ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(iid, IID_IDriverEntry))
        return Answer(static_cast<IDriverEntry *>(this), ppv);
    return CRefCounted::QueryInterface(iid, ppv);
}

HRESULT CPortDriver::OnInitialize(IWDFDriver * /*driver*/)
{
    return S_OK;
}

HRESULT CPortDriver::OnDeviceAdd(IWDFDriver *driver, IWDFDeviceInitialize *init)
{
    CPortDevice *device = nullptr;
    HRESULT hr = CPortDevice::CreateInstance(&device);
    if (FAILED(hr)) {
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_DRIVER, L"no memory for the port device");
        return hr;
    }
    hr = device->Initialize(driver, init);
    if (SUCCEEDED(hr))
        hr = device->ConfigurePort();
    else
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_DRIVER, L"device initialisation failed, %08lx", hr);
    // From here on the framework device holds the object (when it was created at all).
    device->Release();
    return hr;
}

void CPortDriver::OnDeinitialize(IWDFDriver * /*driver*/)
{
}
