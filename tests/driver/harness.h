// The host harness for the port driver: it plays the user-mode driver framework around the real
// DLL (driver, device initialisation, device, property stores, queue, requests, memory, files),
// and stands in for the hardware behind the driver's seam (a USB printer on a named pipe, the
// device-object-name property).
//
// Property stores are real registry keys under HKCU\Software\ZulkorHarness\<pid>-<n>: the
// device's hardware key, and the legacy device maps under DEVICEMAP\<map name>, so the
// publication runs against Wine's registry without touching the prefix's real device map.
#pragma once

#include "seam.h"
#include "wudf.h"

#include <windows.h>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <type_traits>
#include <vector>

namespace harness {

// --- Small COM base --------------------------------------------------------------------------

// Reference counting for the fakes; `Find` maps an interface id to this object's pointer.
class Unknown
{
public:
    virtual ~Unknown() = default;
    ULONG DoAddRef() { return InterlockedIncrement(&m_refs); }
    ULONG DoRelease()
    {
        LONG refs = InterlockedDecrement(&m_refs);
        if (refs == 0)
            delete this;
        return refs;
    }
    HRESULT DoQueryInterface(REFIID iid, void **ppv)
    {
        *ppv = Find(iid);
        if (!*ppv)
            return E_NOINTERFACE;
        DoAddRef();
        return S_OK;
    }

protected:
    virtual void *Find(REFIID iid) = 0;

private:
    volatile LONG m_refs = 1;
};

#define HARNESS_IUNKNOWN()                                                                     \
    STDMETHODIMP QueryInterface(REFIID iid, void **ppv) override { return DoQueryInterface(iid, ppv); } \
    STDMETHODIMP_(ULONG) AddRef() override { return DoAddRef(); }                              \
    STDMETHODIMP_(ULONG) Release() override { return DoRelease(); }

template <class T>
class Ref
{
public:
    Ref() = default;
    explicit Ref(T *adopt) : m_p(adopt) {}
    Ref(const Ref &o) : m_p(o.m_p) { if (m_p) m_p->AddRef(); }
    Ref &operator=(const Ref &o)
    {
        if (o.m_p)
            o.m_p->AddRef();
        Reset();
        m_p = o.m_p;
        return *this;
    }
    ~Ref() { Reset(); }
    void Reset()
    {
        T *p = m_p;
        m_p = nullptr;
        if (p)
            p->Release();
    }
    T **Out() { Reset(); return &m_p; }
    T *Get() const { return m_p; }
    T *operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }

private:
    T *m_p = nullptr;
};

// A recursive lock that makes no kernel object: a mutex of the toolchain makes an event the first
// time two threads meet at it and keeps it as long as it lives, which a handle-counting test
// would see appear. Served first come, first served, as the framework's sequential queue delivers
// requests in the order they arrived, however often another thread asks again.
class SpinLock
{
public:
    void lock()
    {
        const LONG me = static_cast<LONG>(GetCurrentThreadId());
        if (m_owner == me) {   // only this thread can have stored its own id
            ++m_depth;
            return;
        }
        const LONG ticket = InterlockedIncrement(&m_next) - 1;
        while (InterlockedCompareExchange(&m_serving, 0, 0) != ticket)
            Sleep(1);
        m_owner = me;
        m_depth = 1;
    }
    void unlock()
    {
        if (--m_depth == 0) {
            InterlockedExchange(&m_owner, 0);
            InterlockedIncrement(&m_serving);
        }
    }

private:
    volatile LONG m_next = 0;
    volatile LONG m_serving = 0;
    volatile LONG m_owner = 0;
    int m_depth = 0;
};

// --- Stubs of the framework's methods the driver does not call -------------------------------

// Calls of framework methods that the harness does not implement. The driver must make none:
// each such call is counted and answered with E_NOTIMPL (or a zero value).
extern volatile LONG g_unexpectedCalls;

template <class T>
T Unexpected()
{
    InterlockedIncrement(&g_unexpectedCalls);
    if constexpr (std::is_same<T, HRESULT>::value)
        return E_NOTIMPL;
    else if constexpr (!std::is_void<T>::value)
        return T{};
}

#define HARNESS_STUB(ret, name, params) \
    ret STDMETHODCALLTYPE name params override { return Unexpected<ret>(); }

// Every method of a framework interface as a stub, from the interface's one method list; a fake
// derives from these and overrides what it implements.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"
#define HARNESS_OBJECT_STUBS ZULKOR_METHODS_IWDFObject(HARNESS_STUB)
struct MemoryStubs : IWDFMemory
{
    HARNESS_OBJECT_STUBS
    ZULKOR_METHODS_IWDFMemory(HARNESS_STUB)
};
struct RequestStubs : IWDFIoRequest2
{
    HARNESS_OBJECT_STUBS
    ZULKOR_METHODS_IWDFIoRequest(HARNESS_STUB)
    ZULKOR_METHODS_IWDFIoRequest2(HARNESS_STUB)
};
struct FileStubs : IWDFFile
{
    HARNESS_OBJECT_STUBS
    ZULKOR_METHODS_IWDFFile(HARNESS_STUB)
};
struct QueueStubs : IWDFIoQueue
{
    HARNESS_OBJECT_STUBS
    ZULKOR_METHODS_IWDFIoQueue(HARNESS_STUB)
};
struct StoreStubs : IWDFNamedPropertyStore2
{
    ZULKOR_METHODS_IWDFNamedPropertyStore(HARNESS_STUB)
    ZULKOR_METHODS_IWDFNamedPropertyStore2(HARNESS_STUB)
};
struct DeviceStubs : IWDFDevice2
{
    HARNESS_OBJECT_STUBS
    ZULKOR_METHODS_IWDFDevice(HARNESS_STUB)
    ZULKOR_METHODS_IWDFDevice2(HARNESS_STUB)
};
struct DeviceInitStubs : IWDFDeviceInitialize
{
    ZULKOR_METHODS_IWDFDeviceInitialize(HARNESS_STUB)
};
struct DriverStubs : IWDFDriver
{
    HARNESS_OBJECT_STUBS
    ZULKOR_METHODS_IWDFDriver(HARNESS_STUB)
};
#pragma GCC diagnostic pop

// --- Requests --------------------------------------------------------------------------------

class File;
class Queue;

class Memory : public MemoryStubs, public Unknown
{
public:
    explicit Memory(std::vector<BYTE> bytes) : m_bytes(std::move(bytes)) {}
    HARNESS_IUNKNOWN()
    void *STDMETHODCALLTYPE GetDataBuffer(SIZE_T *size) override;
    SIZE_T STDMETHODCALLTYPE GetSize() override { return m_bytes.size(); }
    STDMETHODIMP CopyFromBuffer(ULONG_PTR offset, void *source, SIZE_T size) override;
    STDMETHODIMP CopyToBuffer(ULONG_PTR offset, void *destination, SIZE_T size) override;

    std::vector<BYTE> m_bytes;
    int m_reads = 0;    // CopyToBuffer calls
    int m_writes = 0;   // CopyFromBuffer calls

protected:
    void *Find(REFIID iid) override;
};

class Request : public RequestStubs, public Unknown
{
public:
    HARNESS_IUNKNOWN()
    void STDMETHODCALLTYPE Complete(HRESULT status) override { CompleteWithInformation(status, 0); }
    void STDMETHODCALLTYPE CompleteWithInformation(HRESULT status, SIZE_T information) override;
    void STDMETHODCALLTYPE GetCreateParameters(ULONG *options, USHORT *attributes, USHORT *share) override;
    void STDMETHODCALLTYPE GetInputMemory(IWDFMemory **memory) override;
    void STDMETHODCALLTYPE GetOutputMemory(IWDFMemory **memory) override;
    BOOL STDMETHODCALLTYPE IsCanceled() override { return m_canceled != 0; }
    // Into a manual queue of the device (not the one it came from, nor one taken out of a
    // manual queue); a request already cancelled is completed as cancelled instead.
    STDMETHODIMP ForwardToIoQueue(IWDFIoQueue *destination) override;
    // Back to the head of the manual queue it was taken from; a cancelled one is completed.
    STDMETHODIMP Requeue() override;

    // The sender cancels the request (CancelIo, or its thread's end); any thread. One in a
    // manual queue is taken out and completed by the framework with
    // HRESULT_FROM_WIN32(ERROR_OPERATION_ABORTED); one the driver holds is only marked. Closing
    // the handle does not cancel it: the framework cancels the file's queued requests at the
    // cleanup (PortDevice::CloseFile).
    void Cancel();

    File *m_file = nullptr;             // the file it was sent on (identity only)
    Queue *m_inQueue = nullptr;         // the manual queue holding it, under the queues' lock
    Queue *m_takenFrom = nullptr;       // the manual queue it was last taken out of

    // A request of a framework without the newer request interface refuses it.
    bool m_offersRequest2 = true;
    volatile LONG m_canceled = 0;

    Ref<Memory> m_input;
    Ref<Memory> m_output;
    ULONG m_createOptions = 1u << 24;   // open an existing file
    USHORT m_createAttributes = 0;
    USHORT m_createShare = 0;

    volatile LONG m_completions = 0;      // counted last, after the fields below
    DWORD m_completedAt = 0;              // GetTickCount at the completion
    HRESULT m_status = 0x7EADBEEF;        // sentinel: never completed
    SIZE_T m_information = 0x7EADBEEF;

protected:
    void *Find(REFIID iid) override;
};

class File : public FileStubs, public Unknown
{
public:
    HARNESS_IUNKNOWN()

protected:
    void *Find(REFIID iid) override;
};

// --- Framework objects -----------------------------------------------------------------------

class Queue : public QueueStubs, public Unknown
{
public:
    HARNESS_IUNKNOWN()
    // A manual queue's oldest request, referenced; HRESULT_FROM_WIN32(ERROR_NO_MORE_ITEMS) when
    // empty.
    STDMETHODIMP RetrieveNextRequest(IWDFIoRequest **request) override;

    // Puts `request` in (counted); at the head with `head`. A cancelled one is completed instead.
    void Enqueue(Request *request, bool head);
    // The framework cancels the queued requests of `file` (null: all of them).
    void CancelQueued(File *file);
    size_t Count();

    Ref<IUnknown> m_callbacks;
    BOOL m_default = FALSE;
    WDF_IO_QUEUE_DISPATCH_TYPE m_dispatch = static_cast<WDF_IO_QUEUE_DISPATCH_TYPE>(0);
    BOOL m_powerManaged = FALSE;
    BOOL m_zeroLength = TRUE;
    std::deque<Request *> m_requests;

protected:
    void *Find(REFIID iid) override;
};

// A property store over a real registry key.
class RegistryStore : public StoreStubs, public Unknown
{
public:
    explicit RegistryStore(HKEY key) : m_key(key) {}
    ~RegistryStore() override { RegCloseKey(m_key); }
    HARNESS_IUNKNOWN()
    STDMETHODIMP GetNamedValue(PCWSTR name, PROPVARIANT *value) override;
    STDMETHODIMP SetNamedValue(PCWSTR name, const PROPVARIANT *value) override;
    STDMETHODIMP GetNameCount(DWORD *count) override;
    STDMETHODIMP GetNameAt(DWORD index, PWSTR *name) override;
    STDMETHODIMP DeleteNamedValue(PCWSTR name) override;

protected:
    void *Find(REFIID iid) override;

private:
    HKEY m_key;
};

// One property store the driver opened, as it asked for it.
struct StoreOpen
{
    ULONG length;                              // the root's LengthCb
    WDF_PROPERTY_STORE_ROOT_CLASS rootClass;
    std::wstring name;                         // service name or legacy map name
    WDF_PROPERTY_STORE_RETRIEVE_FLAGS flags;
    REGSAM access;
    bool subkey;                               // a subkey path was given
};

class Device : public DeviceStubs, public IWDFPropertyStoreFactory, public Unknown
{
public:
    Device(IUnknown *callbacks, std::wstring storeRoot, std::wstring instanceId);
    HARNESS_IUNKNOWN()
    using DeviceStubs::RetrieveDevicePropertyStore;
    STDMETHODIMP RetrieveDeviceInstanceId(PWSTR buffer, DWORD *characters) override;
    STDMETHODIMP CreateDeviceInterface(const GUID *interfaceClass, PCWSTR reference) override;
    STDMETHODIMP AssignDeviceInterfaceState(const GUID *interfaceClass, PCWSTR reference, BOOL enable) override;
    STDMETHODIMP CreateSymbolicLink(PCWSTR name) override;
    STDMETHODIMP CreateIoQueue(IUnknown *callbacks, BOOL defaultQueue, WDF_IO_QUEUE_DISPATCH_TYPE dispatch,
                               BOOL powerManaged, BOOL allowZeroLength, IWDFIoQueue **queue) override;
    STDMETHODIMP RegisterRemoteInterfaceNotification(const GUID *interfaceClass, BOOL includeExisting) override;
    STDMETHODIMP RetrieveDevicePropertyStore(WDF_PROPERTY_STORE_ROOT *root, WDF_PROPERTY_STORE_RETRIEVE_FLAGS flags,
                                             REGSAM access, PCWSTR subkey, IWDFNamedPropertyStore2 **store,
                                             WDF_PROPERTY_STORE_DISPOSITION *disposition) override;

    // The framework removes the device: cleanup callback, then the queue and callbacks go.
    void Remove();

    Ref<IUnknown> m_callbacks;
    Ref<Queue> m_queue;                         // the default queue
    std::vector<Ref<Queue>> m_otherQueues;      // the rest, in creation order
    std::wstring m_storeRoot;      // HKCU-relative path of this device's stores
    std::wstring m_instanceId;
    std::vector<GUID> m_interfaces;
    std::vector<GUID> m_enabledInterfaces;
    std::vector<std::wstring> m_links;
    std::vector<GUID> m_notifications;
    std::vector<std::wstring> m_storesOpened;   // "hw", or the legacy map name
    std::vector<StoreOpen> m_storeOpens;        // every open, as the driver asked for it
    // When set, the instance-id query into a buffer answers this length instead of the true one.
    DWORD m_instanceIdAnswerLength = 0;
    bool m_removed = false;

    // Failure injection: results returned instead of doing the work.
    HRESULT m_linkResult = S_OK;
    HRESULT m_queueResult = S_OK;
    HRESULT m_mapResult = S_OK;

protected:
    void *Find(REFIID iid) override;
};

class DeviceInit : public DeviceInitStubs, public Unknown
{
public:
    HARNESS_IUNKNOWN()
    void STDMETHODCALLTYPE SetLockingConstraint(WDF_CALLBACK_CONSTRAINT constraint) override
    {
        m_constraint = constraint;
        ++m_constraintCalls;
    }
    WDF_CALLBACK_CONSTRAINT m_constraint = static_cast<WDF_CALLBACK_CONSTRAINT>(-1);   // never set
    int m_constraintCalls = 0;

protected:
    void *Find(REFIID iid) override;
};

class Driver : public DriverStubs, public Unknown
{
public:
    HARNESS_IUNKNOWN()
    STDMETHODIMP CreateDevice(IWDFDeviceInitialize *init, IUnknown *callbacks, IWDFDevice **device) override;

    std::wstring m_storeRoot;
    std::wstring m_instanceId;
    Ref<Device> m_device;   // the last device created
    // Failure injection into the next device created.
    static void (*s_inject)(Device *device);

protected:
    void *Find(REFIID iid) override;
};

// --- The module under test -------------------------------------------------------------------

// A loaded build of the driver DLL.
class Module
{
public:
    explicit Module(const wchar_t *path);
    ~Module();
    HMODULE Handle() const { return m_module; }
    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void **ppv) const;
    const UMDF_VERSION_DATA *Version() const;
    ZulkorSetSeamFn SetSeam() const;

private:
    HMODULE m_module;
};

// The shipped DLL and the harness build (the same code, exporting ZulkorSetSeam as well).
const wchar_t *ShippedDllPath();
const wchar_t *HarnessDllPath();

inline constexpr CLSID kDriverClsid = {0x5d27a9e4, 0x81c3, 0x4f6a, {0xb0, 0x92, 0x6e, 0x4c, 0x1d, 0x8b, 0x3a, 0x75}};
inline constexpr GUID kPortInterface = {0x1f6b3e90, 0xa74d, 0x4c25, {0xb8, 0xe1, 0x5d, 0x02, 0xc9, 0x7a, 0x43, 0xf6}};
inline constexpr GUID kUsbDeviceInterface = {0xa5dcbf10, 0x6530, 0x11d2, {0x90, 0x1f, 0x00, 0xc0, 0x4f, 0xb9, 0x51, 0xed}};

// --- Registry helpers ------------------------------------------------------------------------

// Values of HKCU\<path> as name -> string data (non-strings shown as "<type N>").
std::map<std::wstring, std::wstring> ReadValues(const std::wstring &path);
void WriteString(const std::wstring &path, const wchar_t *name, const std::wstring &data);
void WriteDword(const std::wstring &path, const wchar_t *name, DWORD data);
void DeleteTree(const std::wstring &path);

// --- A port device under test ----------------------------------------------------------------

// The device-object-name lookup behind the seam: what it answers.
struct PdoAnswer
{
    bool platform = false;            // pass through to SetupAPI (Wine fails it, last error 0)
    BOOL sizingResult = FALSE;
    DWORD sizingError = ERROR_INSUFFICIENT_BUFFER;
    BOOL queryResult = TRUE;
    DWORD queryError = 0;
    std::wstring name = L"\\Device\\00000042";
};

class FakePrinter;

// One driver object from the DLL with one port device added through the harness framework.
// The device's instance id is registered in Wine's SetupAPI for as long as this lives, so the
// driver's own SetupDiOpenDeviceInfo finds it.
//
// The callbacks come in the framework's order: the sequential queue hands the driver one request
// at a time, and under the device-level locking the driver asks for, the file's cleanup (and the
// device's removal) run only between queue callbacks. Calls from several threads wait their turn,
// in the order they came. A request the driver forwards to one of its manual queues waits there
// outside the turn; the framework cancels it there (CancelIo, the file's cleanup, the removal).
class PortDevice
{
public:
    explicit PortDevice(const Module &module);
    ~PortDevice();

    // Registry path (HKCU-relative) of the hardware key and of a device map.
    std::wstring HardwarePath() const { return m_storeRoot + L"\\Hardware"; }
    std::wstring MapPath(const wchar_t *map) const { return m_storeRoot + L"\\DEVICEMAP\\" + map; }

    // OnDeviceAdd with this harness's driver and a new device initialisation object.
    HRESULT Add();
    // The same, with inject applied to the framework device the driver creates, before the
    // driver goes on with it.
    HRESULT AddWith(void (*inject)(Device *device));
    // The framework removes the device.
    void Remove();

    Device *FxDevice() const { return m_driver->m_device.Get(); }
    DeviceInit *Init() const { return m_init.Get(); }
    IDriverEntry *Entry() const { return m_entry.Get(); }
    // The queue callbacks, once the device is added.
    template <class T>
    Ref<T> Callbacks(REFIID iid) const;

    // Requests, sent the way the sequential queue sends them: one at a time, in arrival order.
    // Each returns once its request is completed, as the program's call would.
    Ref<Request> Create(File *file, ULONG disposition = 1, USHORT share = 0, USHORT attributes = 0);
    Ref<Request> Read(SIZE_T count, SIZE_T memorySize);
    Ref<Request> Read(SIZE_T count) { return Read(count, count); }
    // A read request with `memorySize` bytes of output memory, made first and sent later, so
    // that a test can hold it (to cancel it, or to refuse the newer request interface).
    Ref<Request> NewRead(SIZE_T memorySize);
    void SendRead(Request *request, SIZE_T count);
    Ref<Request> Write(const std::string &bytes);
    Ref<Request> Write(const std::string &bytes, SIZE_T count, bool withMemory);
    // A device-control request; `input` null means no input memory, `outputSize` < 0 none.
    Ref<Request> Control(ULONG code, const std::string *input, long outputSize);
    // Sends a device-control request made beforehand, with the memories it holds.
    void SendControl(Request *request, ULONG code);
    // The program closes `file`: the framework cancels the file's requests in the manual queues,
    // then calls the file's cleanup once the queue callback that runs now (if any) has returned.
    // Requests the driver holds in a callback are not cancelled by it.
    void CloseFile(File *file);

    // True while a queue callback of this device runs (a write waits for the printer, say).
    bool InCallback() const { return m_inCallback != 0; }
    // Requests in the device's manual queues (parked by the driver).
    size_t Queued() const;
    // Waits up to `timeoutMs` for a request to wait in the driver: in a queue callback, or in a
    // manual queue.
    bool WaitForRequestInDriver(DWORD timeoutMs) const;

    // The printer this device's opens reach, whatever interface the driver picks: lets several
    // devices each have a printer of their own (for cases run side by side). Null: the
    // registered printer the driver chose.
    FakePrinter *m_printer = nullptr;

    static PdoAnswer s_pdo;

private:
    // Runs a callback of the device in its turn: queue callbacks one at a time, and under
    // device-level locking the file's cleanup and the removal between them too.
    void InTurn(bool queueCallback, const std::function<void()> &call);
    // Sends `request` through a queue callback in its turn, then waits for its completion as the
    // program's call would, outside the turn: a request the driver parked lets the next go.
    void Send(Request *request, const std::function<void()> &call);

    std::wstring m_storeRoot;
    std::wstring m_instanceId;
    SpinLock m_turn;
    volatile LONG m_inCallback = 0;
    File *volatile m_openFile = nullptr;
    HDEVINFO m_devInfo = INVALID_HANDLE_VALUE;
    SP_DEVINFO_DATA m_devInfoData = {};
    Ref<Driver> m_driver;
    Ref<DeviceInit> m_init;
    Ref<IDriverEntry> m_entry;
};

template <class T>
Ref<T> PortDevice::Callbacks(REFIID iid) const
{
    Ref<T> itf;
    Device *device = FxDevice();
    if (device && device->m_queue && device->m_queue->m_callbacks)
        device->m_queue->m_callbacks->QueryInterface(iid, reinterpret_cast<void **>(itf.Out()));
    return itf;
}

// --- The fake USB printer --------------------------------------------------------------------

// A USB printer interface registered (and made present) in Wine's SetupAPI, whose opens the
// seam turns into a named pipe that the test serves as the printer; or, with `redirect`, into
// any other device path (an emulated printer's COM port, say).
class FakePrinter
{
public:
    // `instanceId` like USB\VID_9E7D&PID_0202\1 names the interface path's vendor.
    explicit FakePrinter(const std::wstring &instanceId, const std::wstring &redirect = L"");
    // A printer with no interface of its own, reached through a PortDevice's m_printer.
    struct Unregistered
    {
    };
    explicit FakePrinter(Unregistered);
    ~FakePrinter();
    FakePrinter(const FakePrinter &) = delete;
    FakePrinter &operator=(const FakePrinter &) = delete;

    const std::wstring &InterfacePath() const { return m_path; }

    // The printer side of the pipe (valid once the driver opened it).
    std::string Receive(size_t count, DWORD timeoutMs = 2000);   // what the driver wrote
    void Send(const std::string &bytes);                         // what the driver will read
    void Disconnect();

    // Its device-id answer; an empty one with `failWith` set makes the request fail.
    std::string m_deviceId = "MFG:Tarvelon;CMD:ESC/POS;MDL:TM;CLS:PRINTER;";
    DWORD m_deviceIdError = 0;
    // A printer that never answers the device-id request: it stays pending until cancelled.
    bool m_deviceIdSilent = false;
    // One whose device-id request stays pending, cancel or not, until CompleteStuckWrite.
    bool m_deviceIdStuck = false;

    // How the printer completes the driver's next writes, one step per write started; with no
    // steps left every write goes to the pipe as it is.
    struct WriteStep
    {
        // Short: `bytes` go out and the write completes with that count. Zero: it completes
        // having moved nothing. Fail: it completes with ERROR_IO_DEVICE. Late: `bytes` go out
        // and the write is complete, but its event is never signalled, as for a completion
        // that lands between the driver's time-out and its cancel. Stuck: it stays pending,
        // cancel or not, until CompleteStuckWrite ends it.
        enum Kind { Short, Zero, Fail, Late, Stuck } kind;
        DWORD bytes;
    };
    std::vector<WriteStep> m_writeSteps;
    int m_writesStarted = 0;
    // The records the driver's writes ran on, in order (identity only).
    std::vector<OVERLAPPED *> m_writeRecords;
    // Completes the stuck write (or device-id request) with no bytes moved, as a late cancel
    // would.
    void CompleteStuckWrite();
    OVERLAPPED *m_stuckWrite = nullptr;

    // How the printer answers the receive thread's reads: through the pipe, or each at once
    // with nothing (completed empty, completed with a failure, or refused before starting).
    enum class ReadAnswer { Pipe, Empty, Fail, Refuse };
    volatile ReadAnswer m_readAnswer = ReadAnswer::Pipe;
    volatile LONG m_readsStarted = 0;

    // With this set, the receive thread's next read is held pending, untouched by the pipe,
    // until CompleteHeldRead completes it (from any thread) with `bytes`.
    volatile bool m_holdNextRead = false;
    bool WaitForHeldRead(DWORD timeoutMs);
    void CompleteHeldRead(const std::string &bytes);
    bool m_openFails = false;

    // The last open the driver made through the seam.
    int m_opens = 0;
    DWORD m_lastAccess = 0;
    DWORD m_lastShare = 0;
    DWORD m_lastDisposition = 0;
    DWORD m_lastFlags = 0;
    HANDLE m_lastHandle = nullptr;   // the driver's handle (identity only)

    static FakePrinter *ForPath(const wchar_t *path);
    static FakePrinter *ForHandle(HANDLE h);

private:
    std::wstring m_path;
    std::wstring m_redirect;
    std::wstring m_pipeName;
    HANDLE m_pipe = INVALID_HANDLE_VALUE;
    HDEVINFO m_devInfo = INVALID_HANDLE_VALUE;
    SP_DEVINFO_DATA m_devInfoData = {};
    SP_DEVICE_INTERFACE_DATA m_interface = {};
    friend HANDLE WINAPI SeamOpenPrinter(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
    friend BOOL WINAPI SeamPrinterWrite(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
    friend BOOL WINAPI SeamPrinterRead(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
    OVERLAPPED *volatile m_heldRead = nullptr;
    BYTE *m_heldBuffer = nullptr;
    DWORD m_heldSize = 0;
};

// Installs the harness seam into the harness DLL (printer opens, device-id requests and the
// device-object-name lookup), and restores the platform's calls when it goes.
class SeamInstaller
{
public:
    explicit SeamInstaller(const Module &module);
    ~SeamInstaller();

private:
    ZulkorSetSeamFn m_set;
};

// Removes USB printer devices that a crashed earlier run left registered.
void RemoveLeftoverPrinters();

} // namespace harness
