// The COM module: entry point, the four exports and the one creatable class.
#include "soposprinter.h"
#include "malvistra_private.h"
#include "resource.h"
#include "comserver.h"

namespace {

com::ObjectMapEntry g_objectMap[] = {
    {&CLSID_SOPOSPrinter, IDR_SOPOSPRINTER, &com::CComCreator<CSOPOSPrinter>::CreateInstance, nullptr},
    {nullptr, 0, nullptr, nullptr},
};

com::CComModule g_module;

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/)
{
    if (reason == DLL_PROCESS_ATTACH) {
        g_module.Init(g_objectMap, instance, &LIBID_MALVISTRALib);
        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH) {
        g_module.Term();
        CSOPOSPrinter::TypeInfo::Clear();
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
    return g_module.RegisterServer();
}

STDAPI DllUnregisterServer()
{
    return g_module.UnregisterServer();
}
