// Malvistra.dll as a COM server: exports, registration, type library, class factory rules.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Malvistra.h"
#include "comsup.h"
#include "printer_emulator_client.h"
#include "so_test_util.h"

#include <atomic>
#include <thread>

namespace {

const wchar_t kClsid[] = L"{6C1E4A7B-3F52-4D89-A0B6-2E7D95C8F314}";
const wchar_t kLibid[] = L"{B83F0D26-5A1C-4E77-9D42-C6A1E0F75B98}";

using DllFunc = HRESULT(WINAPI *)();
using GetClassObjectFunc = HRESULT(WINAPI *)(REFCLSID, REFIID, void **);

class Server : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        CoInitialize(nullptr);
        module = LoadLibraryW(MALVISTRA_DLL);
        ASSERT_NE(nullptr, module) << "cannot load " << MALVISTRA_DLL;
        canUnload = reinterpret_cast<DllFunc>(reinterpret_cast<void *>(GetProcAddress(module, "DllCanUnloadNow")));
        getClassObject = reinterpret_cast<GetClassObjectFunc>(
            reinterpret_cast<void *>(GetProcAddress(module, "DllGetClassObject")));
        registerServer = reinterpret_cast<DllFunc>(reinterpret_cast<void *>(GetProcAddress(module, "DllRegisterServer")));
        unregisterServer =
            reinterpret_cast<DllFunc>(reinterpret_cast<void *>(GetProcAddress(module, "DllUnregisterServer")));
    }

    static std::wstring ModulePath()
    {
        wchar_t path[MAX_PATH];
        GetModuleFileNameW(module, path, MAX_PATH);
        return path;
    }

    static com::ComPtr<IClassFactory> Factory()
    {
        com::ComPtr<IClassFactory> factory;
        EXPECT_EQ(S_OK, getClassObject(CLSID_SOPOSPrinter, IID_IClassFactory, reinterpret_cast<void **>(&factory)));
        return factory;
    }

    static inline HMODULE module = nullptr;
    static inline DllFunc canUnload = nullptr, registerServer = nullptr, unregisterServer = nullptr;
    static inline GetClassObjectFunc getClassObject = nullptr;
};

// --- Registry helpers -----------------------------------------------------------------------

bool KeyExists(const std::wstring &path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// The default or a named string value; "<missing>" when absent or not a string.
std::wstring StringValue(const std::wstring &path, const wchar_t *name = nullptr)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return L"<no key>";
    wchar_t data[1024] = {};
    DWORD type = 0, bytes = sizeof(data) - sizeof(wchar_t);
    LONG rc = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE *>(data), &bytes);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS && type == REG_SZ ? data : L"<missing>";
}

std::vector<std::wstring> Subkeys(const std::wstring &path)
{
    std::vector<std::wstring> names;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return names;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD len = 256;
        if (RegEnumKeyExW(key, i, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.push_back(name);
    }
    RegCloseKey(key);
    std::sort(names.begin(), names.end());
    return names;
}

DWORD ValueCount(const std::wstring &path)
{
    HKEY key = nullptr;
    DWORD values = 0;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
        RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr,
                         nullptr, nullptr);
        RegCloseKey(key);
    }
    return values;
}

void ExpectRegistered(const std::wstring &modulePath)
{
    const std::wstring cls = std::wstring(L"CLSID\\") + kClsid;
    const struct { std::wstring key; const wchar_t *name; std::wstring value; } rows[] = {
        // key                                           value name         data
        {L"RIVADARADO.POSPrinter.1", nullptr, L"RIVADARADO.POSPrinter.1"},
        {L"RIVADARADO.POSPrinter.1\\CLSID", nullptr, kClsid},
        {L"RIVADARADO.POSPrinter", nullptr, L"RIVADARADO.POSPrinter"},
        {L"RIVADARADO.POSPrinter\\CLSID", nullptr, kClsid},
        {L"RIVADARADO.POSPrinter\\CurVer", nullptr, L"RIVADARADO.POSPrinter.1"},
        {cls, nullptr, L"RIVADARADO.POSPrinter.1"},
        {cls + L"\\ProgID", nullptr, L"RIVADARADO.POSPrinter.1"},
        {cls + L"\\VersionIndependentProgID", nullptr, L"RIVADARADO.POSPrinter"},
        {cls + L"\\InprocServer32", nullptr, modulePath},
        {cls + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
        {cls + L"\\TypeLib", nullptr, kLibid},
    };
    for (const auto &row : rows) {
        EXPECT_EQ(row.value, StringValue(row.key, row.name))
            << "HKCR\\" << std::string(row.key.begin(), row.key.end()) << " "
            << (row.name ? "value" : "default value");
    }
    EXPECT_TRUE(KeyExists(cls + L"\\Programmable"));
    EXPECT_EQ(0u, ValueCount(cls + L"\\Programmable"));
    const std::vector<std::wstring> expected = {L"InprocServer32", L"ProgID", L"Programmable", L"TypeLib",
                                                L"VersionIndependentProgID"};
    EXPECT_EQ(expected, Subkeys(cls));
    EXPECT_EQ(std::vector<std::wstring>{L"CLSID"}, Subkeys(L"RIVADARADO.POSPrinter.1"));
}

TEST_F(Server, ExportsByOrdinal)
{
    const char *names[] = {"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer", "DllUnregisterServer"};
    for (WORD ordinal = 1; ordinal <= 4; ++ordinal) {
        FARPROC byOrdinal = GetProcAddress(module, MAKEINTRESOURCEA(ordinal));
        EXPECT_NE(nullptr, byOrdinal) << "ordinal " << ordinal;
        EXPECT_EQ(reinterpret_cast<void *>(GetProcAddress(module, names[ordinal - 1])),
                  reinterpret_cast<void *>(byOrdinal)) << names[ordinal - 1];
    }
}

TEST_F(Server, RegistrationWritesExactlyTheClassKeys)
{
    ASSERT_EQ(S_OK, unregisterServer());
    ASSERT_EQ(S_OK, registerServer());
    ExpectRegistered(ModulePath());

    // Registering again starts the class id key afresh: nothing stale survives.
    HKEY stale = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyW(HKEY_CLASSES_ROOT, (std::wstring(L"CLSID\\") + kClsid + L"\\Stale").c_str(), &stale));
    RegCloseKey(stale);
    ASSERT_EQ(S_OK, registerServer());
    ExpectRegistered(ModulePath());

    com::ComPtr<ITypeLib> lib;
    GUID libid;
    CLSIDFromString(const_cast<LPOLESTR>(kLibid), &libid);
    EXPECT_EQ(S_OK, LoadRegTypeLib(libid, 1, 0, 0, &lib));
}

TEST_F(Server, UnregistrationRemovesOnlyWhatRegistrationMade)
{
    ASSERT_EQ(S_OK, registerServer());
    HKEY neighbour = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyW(HKEY_CLASSES_ROOT, L"CLSID\\{00000000-1111-2222-3333-444444444444}", &neighbour));
    RegCloseKey(neighbour);

    ASSERT_EQ(S_OK, unregisterServer());
    EXPECT_FALSE(KeyExists(L"RIVADARADO.POSPrinter.1"));
    EXPECT_FALSE(KeyExists(L"RIVADARADO.POSPrinter"));
    EXPECT_FALSE(KeyExists(std::wstring(L"CLSID\\") + kClsid));
    EXPECT_FALSE(KeyExists(std::wstring(L"TypeLib\\") + kLibid + L"\\1.0"));
    EXPECT_TRUE(KeyExists(L"CLSID"));
    EXPECT_TRUE(KeyExists(L"CLSID\\{00000000-1111-2222-3333-444444444444}"));
    RegDeleteKeyW(HKEY_CLASSES_ROOT, L"CLSID\\{00000000-1111-2222-3333-444444444444}");

    EXPECT_EQ(S_OK, unregisterServer()) << "unregistering twice is harmless";
    ASSERT_EQ(S_OK, registerServer());   // later tests and programs use the class
}

// --- Type library ------------------------------------------------------------------------------

struct MethodRow
{
    const wchar_t *name;
    UINT params;     // including the retval parameter
    bool retval;
};

const MethodRow kMethods[37] = {
    {L"COFreezeEvents", 2, true},       {L"GetPropertyNumber", 2, true},
    {L"SetPropertyNumber", 2, false},   {L"GetPropertyString", 2, true},
    {L"SetPropertyString", 2, false},   {L"OpenService", 4, true},
    {L"CheckHealth", 2, true},          {L"ClaimDevice", 2, true},
    {L"ClearOutput", 1, true},          {L"CloseService", 1, true},
    {L"DirectIO", 4, true},             {L"ReleaseDevice", 1, true},
    {L"BeginInsertion", 1, false},      {L"BeginRemoval", 1, false},
    {L"CutPaper", 2, true},             {L"EndInsertion", 0, false},
    {L"EndRemoval", 0, false},          {L"PrintBarCode", 8, true},
    {L"PrintBitmap", 4, false},         {L"PrintImmediate", 3, true},
    {L"PrintNormal", 3, true},          {L"PrintTwoNormal", 3, false},
    {L"RotatePrint", 2, false},         {L"SetBitmap", 5, false},
    {L"SetLogo", 2, false},             {L"TransactionPrint", 3, true},
    {L"ValidateData", 2, false},        {L"ChangePrintSide", 1, false},
    {L"MarkFeed", 1, false},            {L"ResetStatistics", 2, true},
    {L"RetrieveStatistics", 2, true},   {L"UpdateStatistics", 2, true},
    {L"CompareFirmwareVersion", 3, true}, {L"UpdateFirmware", 2, true},
    {L"ClearPrintArea", 0, false},      {L"PageModePrint", 1, false},
    {L"PrintMemoryBitmap", 5, false},
};

std::wstring Doc(ITypeInfo *info, MEMBERID id, bool help)
{
    BSTR name = nullptr, doc = nullptr;
    info->GetDocumentation(id, &name, &doc, nullptr, nullptr);
    std::wstring out = help ? (doc ? doc : L"") : (name ? name : L"");
    SysFreeString(name);
    SysFreeString(doc);
    return out;
}

TEST_F(Server, TypeLibraryDescribesTheInterface)
{
    com::ComPtr<ITypeLib> lib;
    ASSERT_EQ(S_OK, LoadRegTypeLib(LIBID_MALVISTRALib, 1, 0, 0, &lib));
    BSTR libDoc = nullptr;
    lib->GetDocumentation(-1, nullptr, &libDoc, nullptr, nullptr);
    EXPECT_STREQ(L"OPOS POSPrinter Service Object Library 1.11.001", libDoc);
    SysFreeString(libDoc);

    com::ComPtr<ITypeInfo> coclass;
    ASSERT_EQ(S_OK, lib->GetTypeInfoOfGuid(CLSID_SOPOSPrinter, &coclass));
    EXPECT_EQ(L"OPOS POSPrinter Service Object CoClass 1.11.001", Doc(coclass.Get(), MEMBERID_NIL, true));

    com::ComPtr<ITypeInfo> info;
    ASSERT_EQ(S_OK, lib->GetTypeInfoOfGuid(IID_ISOPOSPrinter, &info));
    EXPECT_EQ(L"ISOPOSPriner Interface", Doc(info.Get(), MEMBERID_NIL, true));
    // A dual interface answers with its dispatch side; the vtable side holds the 37 methods.
    HREFTYPE ref = 0;
    com::ComPtr<ITypeInfo> vtable;
    ASSERT_EQ(S_OK, info->GetRefTypeOfImplType(-1, &ref));
    ASSERT_EQ(S_OK, info->GetRefTypeInfo(ref, &vtable));
    TYPEATTR *attr = nullptr;
    ASSERT_EQ(S_OK, vtable->GetTypeAttr(&attr));
    EXPECT_EQ(TKIND_INTERFACE, attr->typekind);
    EXPECT_EQ(37, attr->cFuncs);
    EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FDUAL);
    EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FOLEAUTOMATION);
    UINT funcs = attr->cFuncs;
    vtable->ReleaseTypeAttr(attr);

    for (UINT i = 0; i < funcs && i < 37; ++i) {
        const MethodRow &row = kMethods[i];
        FUNCDESC *f = nullptr;
        ASSERT_EQ(S_OK, vtable->GetFuncDesc(i, &f));
        SCOPED_TRACE(testing::Message() << "slot " << i);
        EXPECT_EQ(static_cast<MEMBERID>(i + 1), f->memid);
        EXPECT_EQ(row.name, Doc(vtable.Get(), f->memid, false));
        EXPECT_EQ(std::wstring(L"method ") + row.name, Doc(vtable.Get(), f->memid, true));
        EXPECT_EQ(static_cast<SHORT>(row.params), f->cParams);
        bool retval = f->cParams > 0 && (f->lprgelemdescParam[f->cParams - 1].paramdesc.wParamFlags & PARAMFLAG_FRETVAL);
        EXPECT_EQ(row.retval, retval);
        EXPECT_EQ(static_cast<SHORT>(7 + i) * static_cast<SHORT>(sizeof(void *)), f->oVft);
        vtable->ReleaseFuncDesc(f);
    }
}

// --- Class factory and objects -------------------------------------------------------------------

// An outer object for aggregation: counts what reaches its IUnknown.
class Outer : public IUnknown
{
public:
    STDMETHODIMP QueryInterface(REFIID iid, void **ppv) override
    {
        ++queries;
        *ppv = nullptr;
        if (IsEqualIID(iid, IID_IUnknown)) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        return inner ? inner->QueryInterface(iid, ppv) : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }

    IUnknown *inner = nullptr;
    ULONG refs = 1;
    int queries = 0;
};

TEST_F(Server, OnlyOurClassIsAvailable)
{
    void *p = reinterpret_cast<void *>(1);
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, getClassObject(IID_IDispatch, IID_IClassFactory, &p));
    EXPECT_EQ(nullptr, p);
    com::ComPtr<IClassFactory> factory = Factory();
    ASSERT_TRUE(factory);
    com::ComPtr<IUnknown> unk;
    EXPECT_EQ(S_OK, factory->QueryInterface(IID_IUnknown, reinterpret_cast<void **>(&unk)));
    com::ComPtr<IDispatch> none;
    EXPECT_EQ(E_NOINTERFACE, factory->QueryInterface(IID_IDispatch, reinterpret_cast<void **>(&none)));
    EXPECT_EQ(nullptr, none.Get());
}

TEST_F(Server, ObjectAnswersItsThreeInterfaces)
{
    com::ComPtr<IClassFactory> factory = Factory();
    ASSERT_TRUE(factory);
    EXPECT_EQ(E_POINTER, factory->CreateInstance(nullptr, IID_ISOPOSPrinter, nullptr));
    com::ComPtr<ISOPOSPrinter> printer;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_ISOPOSPrinter, reinterpret_cast<void **>(&printer)));

    const struct { const IID *iid; HRESULT hr; } rows[] = {
        {&IID_IUnknown, S_OK}, {&IID_IDispatch, S_OK}, {&IID_ISOPOSPrinter, S_OK},
        {&IID_IClassFactory, E_NOINTERFACE}, {&IID_IPersist, E_NOINTERFACE},
        {&IID_IConnectionPointContainer, E_NOINTERFACE}, {&IID_ITypeInfo, E_NOINTERFACE},
    };
    com::ComPtr<IUnknown> identity;
    printer->QueryInterface(IID_IUnknown, reinterpret_cast<void **>(&identity));
    for (const auto &row : rows) {
        void *p = reinterpret_cast<void *>(1);
        EXPECT_EQ(row.hr, printer->QueryInterface(*row.iid, &p));
        if (row.hr == S_OK) {
            com::ComPtr<IUnknown> same;
            static_cast<IUnknown *>(p)->QueryInterface(IID_IUnknown, reinterpret_cast<void **>(&same));
            EXPECT_EQ(identity.Get(), same.Get()) << "one identity";
            static_cast<IUnknown *>(p)->Release();
        } else {
            EXPECT_EQ(nullptr, p);
        }
    }
}

TEST_F(Server, Aggregation)
{
    com::ComPtr<IClassFactory> factory = Factory();
    ASSERT_TRUE(factory);
    Outer outer;
    void *p = reinterpret_cast<void *>(1);
    EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(&outer, IID_ISOPOSPrinter, &p));
    EXPECT_EQ(nullptr, p);
    EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(&outer, IID_IDispatch, &p));

    IUnknown *inner = nullptr;
    ASSERT_EQ(S_OK, factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void **>(&inner)));
    outer.inner = inner;
    EXPECT_EQ(S_FALSE, canUnload());

    // The inner IUnknown hands out interfaces whose IUnknown is the outer object's.
    ISOPOSPrinter *printer = nullptr;
    ULONG before = outer.refs;
    ASSERT_EQ(S_OK, inner->QueryInterface(IID_ISOPOSPrinter, reinterpret_cast<void **>(&printer)));
    EXPECT_EQ(before + 1, outer.refs) << "the interface is counted on the outer object";
    int queries = outer.queries;
    IUnknown *identity = nullptr;
    printer->QueryInterface(IID_IUnknown, reinterpret_cast<void **>(&identity));
    EXPECT_EQ(static_cast<IUnknown *>(&outer), identity);
    EXPECT_EQ(queries + 1, outer.queries);
    identity->Release();
    long number = 0;
    EXPECT_EQ(S_OK, printer->GetPropertyNumber(8, &number));
    EXPECT_EQ(1011001, number);
    printer->Release();

    EXPECT_EQ(0u, inner->Release());
    outer.inner = nullptr;
    EXPECT_EQ(S_OK, canUnload());
}

TEST_F(Server, CanUnloadFollowsObjectsAndLocks)
{
    com::ComPtr<IClassFactory> factory = Factory();
    ASSERT_TRUE(factory);
    EXPECT_EQ(S_OK, canUnload()) << "the class factory alone holds no lock";
    {
        com::ComPtr<ISOPOSPrinter> a, b;
        ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_ISOPOSPrinter, reinterpret_cast<void **>(&a)));
        ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_ISOPOSPrinter, reinterpret_cast<void **>(&b)));
        EXPECT_EQ(S_FALSE, canUnload());
        a.Release();
        EXPECT_EQ(S_FALSE, canUnload());
    }
    EXPECT_EQ(S_OK, canUnload());
    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    EXPECT_EQ(S_FALSE, canUnload());
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    EXPECT_EQ(S_OK, canUnload());
}

double NowMs()
{
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return 1000.0 * static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

// Releasing a claimed object stops its status reader inside the destructor; until that has
// ended the module's code still runs, so a second thread must not be told it may unload.
TEST_F(Server, CannotUnloadWhileAClaimedObjectIsTornDown)
{
    PrinterEmulator emu(1);
    TestDeviceKey key(L"ComServerTest.Teardown");
    key.SetSerialPort(emu.PortName());
    com::ComPtr<IClassFactory> factory = Factory();
    ASSERT_TRUE(factory);
    ASSERT_EQ(S_OK, canUnload());

    // The reader waits for its pending read in 100 ms slices from its start, which is about
    // when the claim's 100 ms pause began: released early in a slice, its stop takes most of
    // one, so a lock given back too early shows by tens of milliseconds.
    for (DWORD afterClaimMs : {10u, 30u, 110u, 130u, 210u}) {
        SCOPED_TRACE(testing::Message() << "released " << afterClaimMs << " ms after the claim");
        ISOPOSPrinter *printer = nullptr;
        ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_ISOPOSPrinter, reinterpret_cast<void **>(&printer)));
        com::CBstr cls(L"POSPrinter"), name(key.Name().c_str());
        long rc = -1;
        printer->OpenService(cls.Get(), name.Get(), nullptr, &rc);
        ASSERT_EQ(0, rc);
        printer->ClaimDevice(0, &rc);
        ASSERT_EQ(0, rc);
        Sleep(afterClaimMs);

        std::atomic<double> firstUnloadable{0};
        std::atomic<bool> watching{true};
        std::thread watcher([&] {
            double start = NowMs();
            while (watching && NowMs() - start < 3000) {
                if (canUnload() == S_OK) {
                    firstUnloadable = NowMs();
                    return;
                }
            }
        });
        Sleep(5);   // the watcher is asking
        double releaseStart = NowMs();
        EXPECT_EQ(0u, printer->Release());
        double releaseEnd = NowMs();
        watcher.join();
        watching = false;

        ASSERT_NE(0.0, firstUnloadable.load()) << "S_OK never came after the object was gone";
        // Only the last instructions of Release may run after the lock is given back.
        EXPECT_GE(firstUnloadable.load(), releaseEnd - 25.0)
            << "unloadable " << releaseEnd - firstUnloadable.load() << " ms before Release returned; the "
            << "teardown took " << releaseEnd - releaseStart << " ms";
    }
    EXPECT_EQ(S_OK, canUnload());
}

TEST_F(Server, UnregistrationReportsAKeyItCannotDelete)
{
    // Wine does not enforce key security, but a key name of 256 characters, one more than
    // Windows allows, is one that the registry accepts and a 255-character enumeration
    // cannot name: the class id key then cannot be deleted.
    const std::wstring cls = std::wstring(L"CLSID\\") + kClsid;
    const std::wstring stuck = cls + L"\\InprocServer32\\" + std::wstring(256, L'k');
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyW(HKEY_CLASSES_ROOT, stuck.c_str(), &key));
    RegCloseKey(key);

    HRESULT hr = unregisterServer();
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), hr);
    EXPECT_TRUE(KeyExists(cls));
    // What could go, went.
    EXPECT_FALSE(KeyExists(L"RIVADARADO.POSPrinter.1"));
    EXPECT_FALSE(KeyExists(L"RIVADARADO.POSPrinter"));
    EXPECT_FALSE(KeyExists(std::wstring(L"TypeLib\\") + kLibid + L"\\1.0"));

    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyW(HKEY_CLASSES_ROOT, stuck.c_str()));
    EXPECT_EQ(S_OK, unregisterServer());
    EXPECT_FALSE(KeyExists(cls));
    ASSERT_EQ(S_OK, registerServer());   // later tests and programs use the class
    ExpectRegistered(ModulePath());
}

TEST_F(Server, LateBindingReachesTheSameMethods)
{
    com::ComPtr<IDispatch> disp;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_SOPOSPrinter, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                     reinterpret_cast<void **>(&disp)));
    UINT count = 0;
    EXPECT_EQ(S_OK, disp->GetTypeInfoCount(&count));
    EXPECT_EQ(1u, count);

    const struct { const wchar_t *name; DISPID id; } rows[] = {
        {L"COFreezeEvents", 1}, {L"GetPropertyNumber", 2}, {L"OpenService", 6},
        {L"ReleaseDevice", 12}, {L"printnormal", 21}, {L"PrintMemoryBitmap", 37},
    };
    for (const auto &row : rows) {
        DISPID id = -7;
        LPOLESTR name = const_cast<LPOLESTR>(row.name);
        EXPECT_EQ(S_OK, disp->GetIDsOfNames(IID_NULL, &name, 1, 0, &id)) << std::wstring(row.name).size();
        EXPECT_EQ(row.id, id);
    }
    DISPID id = -7;
    LPOLESTR unknown = const_cast<LPOLESTR>(L"NoSuchMethod");
    EXPECT_EQ(DISP_E_UNKNOWNNAME, disp->GetIDsOfNames(IID_NULL, &unknown, 1, 0, &id));

    // GetPropertyNumber(8) by dispatch id: the retval arrives as the result.
    VARIANTARG arg;
    VariantInit(&arg);
    arg.vt = VT_I4;
    arg.lVal = 8;
    DISPPARAMS params = {&arg, nullptr, 1, 0};
    com::CVariant result;
    EXPECT_EQ(S_OK, disp->Invoke(2, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr));
    EXPECT_EQ(VT_I4, result.vt);
    EXPECT_EQ(1011001, result.lVal);
}

} // namespace
