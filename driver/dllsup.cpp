// The module's entry point and its two exports: the framework version record and the class
// object for the driver's class id.
#include "driver.h"

extern "C" {

// The framework version this driver is built for: 1.9.0.
extern const UMDF_VERSION_DATA Microsoft_WDF_UMDF_Version = {1, 9, 0};

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/)
{
    if (reason == DLL_PROCESS_ATTACH) {
        WppInitTracing(ZULKOR_TRACING_ID);
        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH) {
        WppCleanup();
    }
    return TRUE;
}

} // extern "C"

namespace {

struct ClassEntry
{
    const CLSID *clsid;
    HRESULT (*createFactory)(IClassFactory **factory);
};

HRESULT CreatePortFactory(IClassFactory **factory)
{
    CPortClassFactory *object = nullptr;
    HRESULT hr = CPortClassFactory::CreateInstance(&object);
    *factory = object;
    return hr;
}

const ClassEntry g_classes[] = {
    {&CLSID_QuorvallentDriver, &CreatePortFactory},
};

} // namespace

// Every call makes a new factory.
STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void **ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    HRESULT hr = CLASS_E_CLASSNOTAVAILABLE;
    for (const ClassEntry &entry : g_classes) {
        if (!IsEqualCLSID(clsid, *entry.clsid))
            continue;
        IClassFactory *factory = nullptr;
        hr = entry.createFactory(&factory);
        if (SUCCEEDED(hr)) {
            hr = factory->QueryInterface(iid, ppv);
            factory->Release();
        }
        break;
    }
    return hr;
}
