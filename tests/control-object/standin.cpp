// The stand-in's COM module: entry point, the four exports and its two creatable classes.
#include "controlobject.h"
#include "comserver.h"
#include "resource.h"

namespace {

com::ObjectMapEntry g_objectMap[] = {
    {&CLSID_StandInPOSPrinter, IDR_POSPRINTER, &com::CComCreator<CPosPrinterControl>::CreateInstance, nullptr},
    {&CLSID_StandInCashDrawer, IDR_CASHDRAWER, &com::CComCreator<CCashDrawerControl>::CreateInstance, nullptr},
    {nullptr, 0, nullptr, nullptr},
};

com::CComModule g_module;

// The module's registration without a type library: only the classes' registry scripts.
HRESULT RunScripts(bool reg)
{
    const std::wstring path = g_module.ModulePath();
    if (path.empty())
        return HRESULT_FROM_WIN32(GetLastError());
    for (com::ObjectMapEntry *e = g_objectMap; e->clsid; ++e) {
        com::CRegistrar registrar;
        registrar.AddReplacement(L"MODULE", path);
        HRESULT hr = registrar.RunResource(g_module.Instance(), e->registryScript, reg);
        if (FAILED(hr))
            return hr;
    }
    return S_OK;
}

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/)
{
    if (reason == DLL_PROCESS_ATTACH) {
        g_module.Init(g_objectMap, instance, nullptr);
        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH) {
        g_module.Term();
    }
    return TRUE;
}

STDAPI DllCanUnloadNow()
{
    return g_module.CanUnloadNow();
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void **ppv)
{
    return g_module.GetClassObject(clsid, iid, ppv);
}

STDAPI DllRegisterServer()
{
    try {
        return RunScripts(true);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

STDAPI DllUnregisterServer()
{
    try {
        return RunScripts(false);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}
