// The driver as the platform's host meets it: interfaces asked for by the framework's ids
// (written here as the host's text, independently of wudf.h), methods called by slot number
// through raw tables, and the numbers the driver passes to the framework.
#include "test_util.h"

#include <functional>

using namespace harness;

namespace {

GUID Id(const wchar_t *text)
{
    GUID id = {};
    EXPECT_EQ(S_OK, IIDFromString(const_cast<LPOLESTR>(text), &id)) << testing::PrintToString(std::wstring(text));
    return id;
}

// Calls slot `slot` of `object`'s table as a host does: a plain function whose first argument is
// the interface pointer.
template <class Ret, class... Args>
Ret CallSlot(void *object, size_t slot, Args... args)
{
    using Fn = Ret(STDMETHODCALLTYPE *)(void *, Args...);
    void **table = *static_cast<void ***>(object);
    return reinterpret_cast<Fn>(table[slot])(object, args...);
}

class HostView : public AddedPort
{
protected:
    void SetUp() override
    {
        AddedPort::SetUp();
        g_unexpectedCalls = 0;
    }

    IUnknown *DeviceCallbacks() const { return m_port->FxDevice()->m_callbacks.Get(); }
    IUnknown *QueueCallbacks() const { return m_port->FxDevice()->m_queue->m_callbacks.Get(); }
};

} // namespace

TEST_F(HostView, CallbackObjectsAnswerTheFrameworksInterfaceIds)
{
    Ref<IUnknown> entry;
    ASSERT_EQ(S_OK, m_port->Entry()->QueryInterface(IID_IUnknown, reinterpret_cast<void **>(entry.Out())));
    struct Row
    {
        const char *object;
        IUnknown *itf;
        const wchar_t *iid;
        HRESULT expected;
    };
    const Row rows[] = {
        // object   interface pointer  interface id (the framework's)                 answer
        {"driver", entry.Get(), L"{1BEC7499-8881-4F2B-B01C-A1A907304AFC}", S_OK},          // IDriverEntry
        {"driver", entry.Get(), L"{00000000-0000-0000-C000-000000000046}", S_OK},          // IUnknown
        {"driver", entry.Get(), L"{244ABE3A-ABBC-43B1-A877-F00077550E6A}", E_NOINTERFACE}, // IObjectCleanup
        {"driver", entry.Get(), L"{AD368EBE-4139-43E3-A875-69B266A9139C}", E_NOINTERFACE}, // IWDFDriver
        {"driver", entry.Get(), L"{5B56F06A-DAF0-4D3C-A46B-41059A57494A}", E_NOINTERFACE}, // unknown
        {"device", DeviceCallbacks(), L"{244ABE3A-ABBC-43B1-A877-F00077550E6A}", S_OK},     // IObjectCleanup
        {"device", DeviceCallbacks(), L"{F9D48F27-BDBE-4A96-AF96-0E53E2A436EC}", S_OK},     // remote interface arrival
        {"device", DeviceCallbacks(), L"{35C5F79C-6D81-4819-AA64-D6A8939D94D6}", S_OK},     // IFileCallbackCleanup
        {"device", DeviceCallbacks(), L"{00000000-0000-0000-C000-000000000046}", S_OK},
        {"device", DeviceCallbacks(), L"{4888CBC5-3FA2-4EA3-89A3-C20ED6E04778}", E_NOINTERFACE},
        {"device", DeviceCallbacks(), L"{8F21C5DF-BDC2-4ABF-A1D7-034287B2DFB5}", E_NOINTERFACE},
        {"queue", QueueCallbacks(), L"{7D8899F0-8DA9-435F-983C-7E17D4356997}", S_OK},       // IQueueCallbackCreate
        {"queue", QueueCallbacks(), L"{C3072620-1DA6-48FB-B4FE-ED652B16AEB2}", S_OK},       // IQueueCallbackRead
        {"queue", QueueCallbacks(), L"{4888CBC5-3FA2-4EA3-89A3-C20ED6E04778}", S_OK},       // IQueueCallbackWrite
        {"queue", QueueCallbacks(), L"{C5411408-0F1E-4ED6-A412-36DD15EEE707}", S_OK},       // device I/O control
        {"queue", QueueCallbacks(), L"{4E9F1A77-4587-4235-81C4-E6D24545A656}", S_OK},       // IRequestCallbackCancel
        {"queue", QueueCallbacks(), L"{00000000-0000-0000-C000-000000000046}", S_OK},
        {"queue", QueueCallbacks(), L"{35C5F79C-6D81-4819-AA64-D6A8939D94D6}", E_NOINTERFACE},
        {"queue", QueueCallbacks(), L"{CCF44475-CA9B-4D57-88B8-38E70B5CB1FF}", E_NOINTERFACE},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(std::string(row.object) + " " + testing::PrintToString(std::wstring(row.iid)));
        void *answer = reinterpret_cast<void *>(0x1234);
        HRESULT hr = row.itf->QueryInterface(Id(row.iid), &answer);
        EXPECT_EQ(row.expected, hr);
        if (hr == S_OK) {
            ASSERT_NE(nullptr, answer);
            static_cast<IUnknown *>(answer)->Release();
        } else {
            EXPECT_EQ(nullptr, answer);
        }
    }
    EXPECT_EQ(0, g_unexpectedCalls);
}

// The driver's callbacks reached through their tables by slot number, as the host calls them.
TEST_F(HostView, CallbacksAnswerAtTheFrameworksSlots)
{
    Ref<IUnknown> entry;
    ASSERT_EQ(S_OK, m_port->Entry()->QueryInterface(IID_IUnknown, reinterpret_cast<void **>(entry.Out())));
    auto query = [](IUnknown *object, const wchar_t *iid) {
        void *itf = nullptr;
        EXPECT_EQ(S_OK, object->QueryInterface(Id(iid), &itf));
        return itf;
    };
    struct Row
    {
        const char *what;
        std::function<void()> call;
    };
    const Row rows[] = {
        {"IDriverEntry::OnInitialize, slot 3",
         [&] {
             void *itf = query(entry.Get(), L"{1BEC7499-8881-4F2B-B01C-A1A907304AFC}");
             EXPECT_EQ(S_OK, CallSlot<HRESULT>(itf, 3, static_cast<void *>(nullptr)));
             static_cast<IUnknown *>(itf)->Release();
         }},
        {"IQueueCallbackRead::OnRead, slot 3",
         [&] {
             void *itf = query(QueueCallbacks(), L"{C3072620-1DA6-48FB-B4FE-ED652B16AEB2}");
             Ref<Request> r(new Request());
             r->m_output = Ref<Memory>(new Memory(std::vector<BYTE>(8)));
             CallSlot<void>(itf, 3, static_cast<void *>(m_port->FxDevice()->m_queue.Get()),
                            static_cast<IWDFIoRequest *>(r.Get()), static_cast<SIZE_T>(8));
             EXPECT_EQ(1, r->m_completions);
             EXPECT_EQ(S_OK, r->m_status);   // nothing buffered, no time-outs: none, at once
             EXPECT_EQ(0u, r->m_information);
             static_cast<IUnknown *>(itf)->Release();
         }},
        {"IQueueCallbackDeviceIoControl::OnDeviceIoControl, slot 3",
         [&] {
             void *itf = query(QueueCallbacks(), L"{C5411408-0F1E-4ED6-A412-36DD15EEE707}");
             Ref<Request> r(new Request());
             r->m_output = Ref<Memory>(new Memory(std::vector<BYTE>(4)));
             CallSlot<void>(itf, 3, static_cast<void *>(m_port->FxDevice()->m_queue.Get()),
                            static_cast<IWDFIoRequest *>(r.Get()), static_cast<ULONG>(0x1B0068), static_cast<SIZE_T>(0),
                            static_cast<SIZE_T>(4));
             EXPECT_EQ(S_OK, r->m_status);
             EXPECT_EQ(AsBytes<ULONG>(0xB0), Output(r.Get()));
             static_cast<IUnknown *>(itf)->Release();
         }},
        {"IRequestCallbackCancel::OnCancel, slot 3",
         [&] {
             void *itf = query(QueueCallbacks(), L"{4E9F1A77-4587-4235-81C4-E6D24545A656}");
             Ref<Request> r(new Request());
             CallSlot<void>(itf, 3, static_cast<IWDFIoRequest *>(r.Get()));
             EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_OPERATION_ABORTED), r->m_status);
             static_cast<IUnknown *>(itf)->Release();
         }},
        {"IFileCallbackCleanup::OnCleanupFile, slot 3 (no connection: nothing to do)",
         [&] {
             void *itf = query(DeviceCallbacks(), L"{35C5F79C-6D81-4819-AA64-D6A8939D94D6}");
             File file;
             CallSlot<void>(itf, 3, static_cast<IWDFFile *>(&file));
             static_cast<IUnknown *>(itf)->Release();
         }},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        row.call();
    }
    EXPECT_EQ(0, g_unexpectedCalls);
}

// The harness's framework objects are built from the same declarations as the driver's calls:
// their tables, read by slot number, hold the methods at the framework's slots.
TEST_F(HostView, FrameworkObjectsHaveTheirMethodsAtTheFrameworksSlots)
{
    Device *device = m_port->FxDevice();
    struct Row
    {
        const char *what;
        std::function<void()> call;
    };
    const Row rows[] = {
        {"IWDFDevice::CreateSymbolicLink, slot 24",
         [&] {
             CallSlot<HRESULT>(static_cast<IWDFDevice *>(device), 24, L"\\DosDevices\\Global\\SLOT24");
             EXPECT_EQ(L"\\DosDevices\\Global\\SLOT24", device->m_links.back());
         }},
        {"IWDFDevice::RetrieveDeviceInstanceId, slot 10",
         [&] {
             DWORD characters = 0;
             CallSlot<HRESULT>(static_cast<IWDFDevice *>(device), 10, static_cast<PWSTR>(nullptr), &characters);
             EXPECT_EQ(device->m_instanceId.size() + 1, characters);
         }},
        {"IWDFDevice2::RegisterRemoteInterfaceNotification, slot 29",
         [&] {
             const size_t before = device->m_notifications.size();
             CallSlot<HRESULT>(static_cast<IWDFDevice2 *>(device), 29, &kPortInterface, TRUE);
             EXPECT_EQ(before + 1, device->m_notifications.size());
         }},
        {"IWDFIoRequest::CompleteWithInformation, slot 8",
         [&] {
             Ref<Request> r(new Request());
             CallSlot<void>(static_cast<IWDFIoRequest *>(r.Get()), 8, static_cast<HRESULT>(S_FALSE), static_cast<SIZE_T>(7));
             EXPECT_EQ(S_FALSE, r->m_status);
             EXPECT_EQ(7u, r->m_information);
         }},
        {"IWDFIoRequest::GetOutputMemory, slot 17",
         [&] {
             Ref<Request> r(new Request());
             r->m_output = Ref<Memory>(new Memory(std::vector<BYTE>(3)));
             IWDFMemory *memory = nullptr;
             CallSlot<void>(static_cast<IWDFIoRequest *>(r.Get()), 17, &memory);
             EXPECT_EQ(static_cast<IWDFMemory *>(r->m_output.Get()), memory);
             memory->Release();
         }},
        {"IWDFIoRequest2 by the framework's id, IsCanceled at slot 42",
         [&] {
             Ref<Request> r(new Request());
             void *itf = nullptr;
             ASSERT_EQ(S_OK, r->QueryInterface(Id(L"{1B67F4CD-B278-4085-93E7-57970D98B92B}"), &itf));
             EXPECT_EQ(FALSE, CallSlot<BOOL>(itf, 42));
             r->Cancel();
             EXPECT_EQ(TRUE, CallSlot<BOOL>(itf, 42));
             static_cast<IUnknown *>(itf)->Release();
             // A framework without the interface refuses it.
             r->m_offersRequest2 = false;
             itf = reinterpret_cast<void *>(0x1234);
             EXPECT_EQ(E_NOINTERFACE, r->QueryInterface(Id(L"{1B67F4CD-B278-4085-93E7-57970D98B92B}"), &itf));
             EXPECT_EQ(nullptr, itf);
         }},
        {"a manual queue: ForwardToIoQueue at slot 22, RetrieveNextRequest at 11, Requeue at 45",
         [&] {
             ASSERT_EQ(1u, device->m_otherQueues.size());
             Queue *manual = device->m_otherQueues[0].Get();
             Ref<Request> r(new Request());
             EXPECT_EQ(S_OK, CallSlot<HRESULT>(static_cast<IWDFIoRequest *>(r.Get()), 22,
                                               static_cast<IWDFIoQueue *>(manual)));
             IWDFIoRequest *out = nullptr;
             EXPECT_EQ(S_OK, CallSlot<HRESULT>(static_cast<IWDFIoQueue *>(manual), 11, &out));
             EXPECT_EQ(static_cast<IWDFIoRequest *>(r.Get()), out);
             EXPECT_EQ(S_OK, CallSlot<HRESULT>(static_cast<IWDFIoRequest2 *>(r.Get()), 45));
             out->Release();
             EXPECT_EQ(1u, manual->Count());
             r->Cancel();   // completed by the framework: it sat in a queue
             EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_OPERATION_ABORTED), r->m_status);
             EXPECT_EQ(0u, manual->Count());
         }},
        {"IWDFMemory::GetSize, slot 11",
         [&] {
             Ref<Memory> m(new Memory(std::vector<BYTE>(5)));
             EXPECT_EQ(5u, CallSlot<SIZE_T>(static_cast<IWDFMemory *>(m.Get()), 11));
         }},
        {"IWDFDeviceInitialize::SetLockingConstraint, slot 4",
         [&] {
             Ref<DeviceInit> init(new DeviceInit());
             CallSlot<void>(static_cast<IWDFDeviceInitialize *>(init.Get()), 4, WdfLevelReserved);
             EXPECT_EQ(2, static_cast<int>(init->m_constraint));
         }},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        row.call();
    }
    EXPECT_EQ(0, g_unexpectedCalls);
}

// The numbers the driver passes to the framework when the device starts: the locking value,
// the property stores' root classes, retrieval flags and access rights, the root's length, and
// the queue's settings.
TEST_F(HostView, StartPassesTheFrameworkItsNumbers)
{
    EXPECT_EQ(1, static_cast<int>(m_port->Init()->m_constraint));   // device-level locking
    EXPECT_EQ(1, m_port->Init()->m_constraintCalls);

    struct Row
    {
        int rootClass;
        const wchar_t *name;
        int flags;
        DWORD access;
    };
    const Row rows[] = {
        // root class              name            flags (create volatile)   access
        {0, L"\\", 0, 0x1},                 // hardware key, read only (KEY_QUERY_VALUE)
        {3, L"SERIALCOMM", 2, 0x10003},     // device map: DELETE | KEY_SET_VALUE | KEY_QUERY_VALUE
    };
    const std::vector<StoreOpen> &opens = m_port->FxDevice()->m_storeOpens;
    ASSERT_EQ(2u, opens.size());
    for (size_t i = 0; i < opens.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(rows[i].rootClass, static_cast<int>(opens[i].rootClass));
        EXPECT_EQ(rows[i].name, opens[i].name);
        EXPECT_EQ(rows[i].flags, static_cast<int>(opens[i].flags));
        EXPECT_EQ(rows[i].access, static_cast<DWORD>(opens[i].access));
        EXPECT_EQ(sizeof(void *) == 4 ? 16u : 24u, opens[i].length);
        EXPECT_FALSE(opens[i].subkey);
    }

    struct QueueRow
    {
        const Queue *queue;
        BOOL isDefault;
        int dispatch;
        BOOL powerManaged;
    };
    const Device *device = m_port->FxDevice();
    ASSERT_EQ(1u, device->m_otherQueues.size());
    const QueueRow queues[] = {
        {device->m_queue.Get(), TRUE, 1, TRUE},                 // the default queue, sequential
        {device->m_otherQueues[0].Get(), FALSE, 3, FALSE},      // where requests wait: manual
    };
    for (const QueueRow &row : queues) {
        SCOPED_TRACE(row.dispatch);
        EXPECT_EQ(row.isDefault, row.queue->m_default);
        EXPECT_EQ(row.dispatch, static_cast<int>(row.queue->m_dispatch));
        EXPECT_EQ(row.powerManaged, row.queue->m_powerManaged);
        EXPECT_EQ(FALSE, row.queue->m_zeroLength);
    }
    EXPECT_EQ(0, g_unexpectedCalls);
}

// The instance id's length as the second query answers it indexes the driver's buffer: an
// answer that does not fit the buffer fails the start cleanly.
TEST(InstanceId, LengthFromTheSecondQueryIsChecked)
{
    SeamInstaller seam(HarnessModule());
    PortDevice::s_pdo = PdoAnswer();
    struct Row
    {
        const char *what;
        void (*inject)(Device *device);
        HRESULT expected;
    };
    const Row rows[] = {
        {"true length", [](Device *) {}, S_OK},
        {"longer than the buffer", [](Device *d) { d->m_instanceIdAnswerLength = 0x10000; },
         HRESULT_FROM_WIN32(ERROR_INVALID_DATA)},
        {"one past the buffer",
         [](Device *d) { d->m_instanceIdAnswerLength = static_cast<DWORD>(d->m_instanceId.size() + 2); },
         HRESULT_FROM_WIN32(ERROR_INVALID_DATA)},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        PortDevice port(HarnessModule());
        WriteString(port.HardwarePath(), L"PortName", L"COM7");
        EXPECT_EQ(row.expected, port.AddWith(row.inject));
        EXPECT_EQ(row.expected == S_OK, !ReadValues(port.MapPath(L"SERIALCOMM")).empty());
    }
}
