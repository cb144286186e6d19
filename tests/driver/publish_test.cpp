// The driver module and the publication of a port: the DLL's exports and class objects, the
// device added through the harness framework, its symbolic link and device-map entry in the
// registry, and what goes when the device is removed.
#include "test_util.h"

#include <set>

using namespace harness;

namespace {

// The names the module exports, read from its export directory.
std::set<std::string> ExportedNames(HMODULE module)
{
    auto base = reinterpret_cast<const BYTE *>(module);
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY &dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    auto exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY *>(base + dir.VirtualAddress);
    auto names = reinterpret_cast<const DWORD *>(base + exports->AddressOfNames);
    std::set<std::string> result;
    for (DWORD i = 0; i < exports->NumberOfNames; ++i)
        result.insert(reinterpret_cast<const char *>(base + names[i]));
    return result;
}

std::wstring Guid(const GUID &g)
{
    wchar_t text[40];
    StringFromGUID2(g, text, 40);
    return text;
}

} // namespace

TEST(DriverModule, ShippedDllExportsTheTwoFrameworkEntryPointsOnly)
{
    EXPECT_EQ((std::set<std::string>{"DllGetClassObject", "Microsoft_WDF_UMDF_Version"}),
              ExportedNames(ShippedModule().Handle()));
    const UMDF_VERSION_DATA *version = ShippedModule().Version();
    ASSERT_NE(nullptr, version);
    EXPECT_EQ(1u, version->MajorNumber);
    EXPECT_EQ(9u, version->MinorNumber);
    EXPECT_EQ(0u, version->ServiceNumber);
}

TEST(DriverModule, ClassObjects)
{
    const CLSID other = {0x5d27a9e4, 0x81c3, 0x4f6a, {0xb0, 0x92, 0x6e, 0x4c, 0x1d, 0x8b, 0x3a, 0x76}};
    struct Row
    {
        const CLSID *clsid;
        const IID *iid;
        HRESULT expected;
    };
    const Row rows[] = {
        // class id        interface           result
        {&kDriverClsid, &IID_IClassFactory, S_OK},
        {&kDriverClsid, &IID_IUnknown, S_OK},
        {&kDriverClsid, &IID_IDriverEntry, E_NOINTERFACE},
        {&other, &IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE},
        {&IID_IUnknown, &IID_IUnknown, CLASS_E_CLASSNOTAVAILABLE},
    };
    for (const Row &row : rows) {
        void *object = reinterpret_cast<void *>(0x1234);   // sentinel
        HRESULT hr = ShippedModule().GetClassObject(*row.clsid, *row.iid, &object);
        EXPECT_EQ(row.expected, hr) << "class " << testing::PrintToString(Guid(*row.clsid));
        EXPECT_EQ(SUCCEEDED(hr), object != nullptr);
        if (object)
            static_cast<IUnknown *>(object)->Release();
    }
}

TEST(DriverModule, EveryCallMakesANewFactoryThatMakesDriverObjects)
{
    Ref<IClassFactory> first;
    Ref<IClassFactory> second;
    ASSERT_EQ(S_OK, ShippedModule().GetClassObject(kDriverClsid, IID_IClassFactory, reinterpret_cast<void **>(first.Out())));
    ASSERT_EQ(S_OK, ShippedModule().GetClassObject(kDriverClsid, IID_IClassFactory, reinterpret_cast<void **>(second.Out())));
    EXPECT_NE(first.Get(), second.Get());
    EXPECT_EQ(S_OK, first->LockServer(TRUE));
    EXPECT_EQ(S_OK, first->LockServer(FALSE));

    void *object = reinterpret_cast<void *>(0x1234);
    EXPECT_EQ(E_NOINTERFACE, first->CreateInstance(nullptr, IID_IClassFactory, &object));
    EXPECT_EQ(nullptr, object);

    Ref<IDriverEntry> driver;
    ASSERT_EQ(S_OK, first->CreateInstance(nullptr, IID_IDriverEntry, reinterpret_cast<void **>(driver.Out())));
    EXPECT_EQ(S_OK, driver->OnInitialize(nullptr));
    driver->OnDeinitialize(nullptr);
    Ref<IUnknown> unknown;
    EXPECT_EQ(S_OK, driver->QueryInterface(IID_IUnknown, reinterpret_cast<void **>(unknown.Out())));
    object = reinterpret_cast<void *>(0x1234);
    EXPECT_EQ(E_NOINTERFACE, driver->QueryInterface(IID_IObjectCleanup, &object));
    EXPECT_EQ(nullptr, object);
}

// The shipped DLL asks SetupAPI for the device-object name, which Wine does not have: the
// query fails without setting an error, and the device must not start as if it had one.
TEST(DriverModule, ShippedDllFailsTheStartWhenTheDeviceObjectNameIsUnavailable)
{
    PortDevice port(ShippedModule());
    WriteString(port.HardwarePath(), L"PortName", L"COM7");
    EXPECT_EQ(E_FAIL, port.Add());
    ASSERT_NE(nullptr, port.FxDevice());
    EXPECT_EQ(std::vector<std::wstring>{L"\\DosDevices\\Global\\COM7"}, port.FxDevice()->m_links);
    EXPECT_TRUE(ReadValues(port.MapPath(L"SERIALCOMM")).empty());
    EXPECT_FALSE(port.FxDevice()->m_queue);
}

class Publication : public ::testing::Test
{
protected:
    void SetUp() override { PortDevice::s_pdo = PdoAnswer(); }
    SeamInstaller m_seam{HarnessModule()};
};

TEST_F(Publication, PortIsPublishedUnderItsName)
{
    struct Row
    {
        const wchar_t *portName;
        const wchar_t *map;
        const wchar_t *data;
    };
    const Row rows[] = {
        // PortName         device map           data
        {L"COM7", L"SERIALCOMM", L"COM7"},
        {L"COM256", L"SERIALCOMM", L"COM256"},
        {L"LPT1", L"PARALLEL PORTS", L"\\DosDevices\\LPT1"},
        {L"com7", L"PARALLEL PORTS", L"\\DosDevices\\com7"},            // "COM" is case-sensitive
        {L"PRINTER", L"PARALLEL PORTS", L"\\DosDevices\\PRINTER"},      // seven characters fit
        {L"LPTLONGNAME9", L"PARALLEL PORTS", L"\\DosDevices\\LPTLONG"}, // cut to 19 characters
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.portName)));
        PortDevice port(HarnessModule());
        WriteString(port.HardwarePath(), L"PortName", row.portName);
        ASSERT_EQ(S_OK, port.Add());

        Device *device = port.FxDevice();
        EXPECT_EQ(std::vector<std::wstring>{std::wstring(L"\\DosDevices\\Global\\") + row.portName}, device->m_links);
        EXPECT_EQ(std::vector<GUID>{kPortInterface}, device->m_interfaces);
        EXPECT_EQ(std::vector<GUID>{kPortInterface}, device->m_enabledInterfaces);
        EXPECT_EQ((std::vector<std::wstring>{L"hw", row.map}), device->m_storesOpened);
        EXPECT_EQ((std::map<std::wstring, std::wstring>{{L"\\Device\\00000042", row.data}}), ReadValues(port.MapPath(row.map)));
        const wchar_t *otherMap = wcscmp(row.map, L"SERIALCOMM") == 0 ? L"PARALLEL PORTS" : L"SERIALCOMM";
        EXPECT_TRUE(ReadValues(port.MapPath(otherMap)).empty());

        ASSERT_TRUE(device->m_queue);
        EXPECT_TRUE(device->m_queue->m_default);
        EXPECT_EQ(WdfIoQueueDispatchSequential, device->m_queue->m_dispatch);
        EXPECT_TRUE(device->m_queue->m_powerManaged);
        EXPECT_FALSE(device->m_queue->m_zeroLength);
        EXPECT_EQ(std::vector<GUID>{kUsbDeviceInterface}, device->m_notifications);
        EXPECT_EQ(1, port.Init()->m_constraintCalls);

        port.Remove();
        EXPECT_TRUE(ReadValues(port.MapPath(row.map)).empty());
    }
}

TEST_F(Publication, DeviceCallbackObjectAnswersItsThreeInterfaces)
{
    PortDevice port(HarnessModule());
    WriteString(port.HardwarePath(), L"PortName", L"COM7");
    ASSERT_EQ(S_OK, port.Add());
    const IID *answered[] = {&IID_IUnknown, &IID_IObjectCleanup, &IID_IPnpCallbackRemoteInterfaceNotification,
                             &IID_IFileCallbackCleanup};
    for (const IID *iid : answered) {
        Ref<IUnknown> itf;
        EXPECT_EQ(S_OK, port.FxDevice()->m_callbacks->QueryInterface(*iid, reinterpret_cast<void **>(itf.Out())));
    }
    void *object = reinterpret_cast<void *>(0x1234);
    EXPECT_EQ(E_NOINTERFACE, port.FxDevice()->m_callbacks->QueryInterface(IID_IDriverEntry, &object));
    EXPECT_EQ(nullptr, object);
    Ref<IPnpCallbackRemoteInterfaceNotification> arrival;
    port.FxDevice()->m_callbacks->QueryInterface(IID_IPnpCallbackRemoteInterfaceNotification,
                                                 reinterpret_cast<void **>(arrival.Out()));
    arrival->OnRemoteInterfaceArrival(nullptr);   // does nothing
}

// Values that publish our port name go, whoever wrote them; everything else stays, also when
// the device is removed again.
TEST_F(Publication, StaleDeviceMapValuesGoAndRemovalTakesExactlyItsOwn)
{
    PortDevice port(HarnessModule());
    WriteString(port.HardwarePath(), L"PortName", L"COM7");
    const std::wstring map = port.MapPath(L"SERIALCOMM");
    WriteString(map, L"\\Device\\Serial0", L"COM1");
    WriteString(map, L"\\Device\\Stale1", L"COM7");
    WriteString(map, L"\\Device\\Stale2", L"COM7");   // two in a row: the index is looked at again
    WriteString(map, L"\\Device\\Dos", L"\\DosDevices\\COM7");
    WriteString(map, L"\\Device\\Longer", L"COM71");
    WriteString(map, L"\\Device\\Twice", L"COM7COM7");
    WriteDword(map, L"\\Device\\Number", 7);

    ASSERT_EQ(S_OK, port.Add());
    const std::map<std::wstring, std::wstring> kept = {
        {L"\\Device\\Serial0", L"COM1"},
        {L"\\Device\\Longer", L"COM71"},
        {L"\\Device\\Twice", L"COM7COM7"},
        {L"\\Device\\Number", L"<type 4>"},
    };
    std::map<std::wstring, std::wstring> published = kept;
    published[L"\\Device\\00000042"] = L"COM7";
    EXPECT_EQ(published, ReadValues(map));

    port.Remove();
    EXPECT_EQ(kept, ReadValues(map));
}

TEST_F(Publication, DeviceWithoutAStringPortNamePublishesNothing)
{
    struct Row
    {
        const char *what;
        void (*prepare)(const std::wstring &hardwareKey);
    };
    const Row rows[] = {
        {"no PortName", [](const std::wstring &) {}},
        {"PortName a number", [](const std::wstring &key) { WriteDword(key, L"PortName", 7); }},
        {"PortName empty", [](const std::wstring &key) { WriteString(key, L"PortName", L""); }},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        PortDevice port(HarnessModule());
        row.prepare(port.HardwarePath());
        HRESULT hr = port.Add();
        EXPECT_TRUE(FAILED(hr)) << std::hex << hr;
        EXPECT_TRUE(port.FxDevice()->m_links.empty());
        EXPECT_FALSE(port.FxDevice()->m_queue);
        EXPECT_EQ(std::vector<std::wstring>{L"hw"}, port.FxDevice()->m_storesOpened);
    }
}

// A failing step ends the start with its error; a step that answers another success code than
// S_OK ends it too, and the start then fails rather than succeeding half published.
TEST_F(Publication, FailingStepsEndTheStartWithoutAnEntry)
{
    struct Row
    {
        const char *what;
        void (*inject)(Device *device);
        HRESULT expected;
        bool entryWhileStarting;   // written before the failing step (the removal takes it)
    };
    const Row rows[] = {
        {"link refused", [](Device *d) { d->m_linkResult = E_ACCESSDENIED; }, E_ACCESSDENIED, false},
        {"link answers S_FALSE", [](Device *d) { d->m_linkResult = S_FALSE; }, E_FAIL, false},
        {"device map not opened", [](Device *d) { d->m_mapResult = HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED); },
         HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), false},
        {"device map answers S_FALSE", [](Device *d) { d->m_mapResult = S_FALSE; }, E_FAIL, false},
        {"queue not created", [](Device *d) { d->m_queueResult = E_OUTOFMEMORY; }, E_OUTOFMEMORY, true},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        PortDevice port(HarnessModule());
        WriteString(port.HardwarePath(), L"PortName", L"COM7");
        // The failure is injected into the framework device the driver creates, before
        // ConfigurePort runs.
        EXPECT_EQ(row.expected, port.AddWith(row.inject));
        EXPECT_EQ(row.entryWhileStarting, !ReadValues(port.MapPath(L"SERIALCOMM")).empty());
        EXPECT_FALSE(port.FxDevice()->m_queue);
        port.Remove();
        EXPECT_TRUE(ReadValues(port.MapPath(L"SERIALCOMM")).empty());
    }
}

// The device-object name: SetupAPI finds the device by its instance id, and the name query goes
// through the seam.
TEST_F(Publication, DeviceObjectNameFailures)
{
    struct Row
    {
        const char *what;
        PdoAnswer answer;
        HRESULT expected;
    };
    auto answer = [](auto change) {
        PdoAnswer a;
        change(a);
        return a;
    };
    const Row rows[] = {
        {"platform query (Wine: fails with last error 0)", answer([](PdoAnswer &a) { a.platform = true; }), E_FAIL},
        {"no such property", answer([](PdoAnswer &a) { a.sizingError = ERROR_INVALID_DATA; }),
         HRESULT_FROM_WIN32(ERROR_INVALID_DATA)},
        {"query fails, last error 0", answer([](PdoAnswer &a) { a.queryResult = FALSE; a.queryError = 0; }), E_FAIL},
        {"query fails", answer([](PdoAnswer &a) { a.queryResult = FALSE; a.queryError = ERROR_GEN_FAILURE; }),
         HRESULT_FROM_WIN32(ERROR_GEN_FAILURE)},
        {"empty name", answer([](PdoAnswer &a) { a.name = L""; }), HRESULT_FROM_WIN32(ERROR_NOT_FOUND)},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        PortDevice::s_pdo = row.answer;
        PortDevice port(HarnessModule());
        WriteString(port.HardwarePath(), L"PortName", L"COM7");
        EXPECT_EQ(row.expected, port.Add());
        EXPECT_TRUE(ReadValues(port.MapPath(L"SERIALCOMM")).empty());
        EXPECT_FALSE(port.FxDevice()->m_queue);
    }
}
