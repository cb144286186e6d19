#include "harness.h"

#include <setupapi.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace harness {

namespace {

const GUID kUsbPrintInterface = {0x28d78fad, 0x5a12, 0x11d1, {0xae, 0x5b, 0x00, 0x00, 0xf8, 0x03, 0xa8, 0xc2}};
const GUID kPortsClass = {0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
const GUID kPrinterClass = {0x36fc9e60, 0xc465, 0x11cf, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const HRESULT kTooSmall = HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);

std::wstring Number(unsigned long n)
{
    return std::to_wstring(n);
}

LONG g_serial = 0;

unsigned long NextSerial()
{
    return static_cast<unsigned long>(InterlockedIncrement(&g_serial));
}

std::vector<FakePrinter *> &Printers()
{
    static std::vector<FakePrinter *> printers;
    return printers;
}

// Printers and their handles are looked up from the driver's threads, and devices run side by
// side may open their printers at the same time.
SpinLock &PrintersLock()
{
    static SpinLock lock;
    return lock;
}

std::map<HANDLE, FakePrinter *> &PrinterHandles()
{
    static std::map<HANDLE, FakePrinter *> handles;
    return handles;
}

// The manual queues' contents and the requests' place in them.
SpinLock &QueuesLock()
{
    static SpinLock lock;
    return lock;
}

// How the framework completes a request cancelled while it sits in a queue that has no cancel
// callback of the driver's.
const HRESULT kCanceledInQueue = HRESULT_FROM_WIN32(ERROR_OPERATION_ABORTED);

// The printer that opens on this thread reach instead of the interface's own (PortDevice's
// m_printer, while its create request runs).
thread_local FakePrinter *t_openReaches = nullptr;

} // namespace

volatile LONG g_unexpectedCalls = 0;

// --- Memory, requests, files -----------------------------------------------------------------

void *Memory::Find(REFIID iid)
{
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IWDFObject) || IsEqualIID(iid, IID_IWDFMemory))
        return static_cast<IWDFMemory *>(this);
    return nullptr;
}

void *Memory::GetDataBuffer(SIZE_T *size)
{
    if (size)
        *size = m_bytes.size();
    return m_bytes.empty() ? nullptr : m_bytes.data();
}

HRESULT Memory::CopyFromBuffer(ULONG_PTR offset, void *source, SIZE_T size)
{
    ++m_writes;
    if (offset > m_bytes.size() || size > m_bytes.size() - offset)
        return kTooSmall;
    if (size)
        memcpy(m_bytes.data() + offset, source, size);
    return S_OK;
}

HRESULT Memory::CopyToBuffer(ULONG_PTR offset, void *destination, SIZE_T size)
{
    ++m_reads;
    if (offset > m_bytes.size() || size > m_bytes.size() - offset)
        return kTooSmall;
    if (size)
        memcpy(destination, m_bytes.data() + offset, size);
    return S_OK;
}

void *Request::Find(REFIID iid)
{
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IWDFObject) || IsEqualIID(iid, IID_IWDFIoRequest))
        return static_cast<IWDFIoRequest *>(this);
    if (m_offersRequest2 && IsEqualIID(iid, IID_IWDFIoRequest2))
        return static_cast<IWDFIoRequest2 *>(this);
    return nullptr;
}

void Request::CompleteWithInformation(HRESULT status, SIZE_T information)
{
    m_completedAt = GetTickCount();
    m_status = status;
    m_information = information;
    InterlockedIncrement(&m_completions);
}

void Request::Cancel()
{
    InterlockedExchange(&m_canceled, 1);
    Queue *queue = nullptr;
    {
        std::lock_guard<SpinLock> lock(QueuesLock());
        queue = m_inQueue;
        if (queue) {
            queue->m_requests.erase(std::find(queue->m_requests.begin(), queue->m_requests.end(), this));
            m_inQueue = nullptr;
        }
    }
    if (queue) {
        CompleteWithInformation(kCanceledInQueue, 0);
        Release();   // the queue's reference
    }
}

HRESULT Request::ForwardToIoQueue(IWDFIoQueue *destination)
{
    Queue *queue = static_cast<Queue *>(destination);
    if (!queue || queue->m_dispatch != WdfIoQueueDispatchManual || m_takenFrom || m_inQueue)
        return Unexpected<HRESULT>();
    queue->Enqueue(this, false);
    return S_OK;
}

HRESULT Request::Requeue()
{
    if (!m_takenFrom || m_inQueue)
        return Unexpected<HRESULT>();
    m_takenFrom->Enqueue(this, true);
    return S_OK;
}

void Request::GetCreateParameters(ULONG *options, USHORT *attributes, USHORT *share)
{
    *options = m_createOptions;
    *attributes = m_createAttributes;
    *share = m_createShare;
}

void Request::GetInputMemory(IWDFMemory **memory)
{
    *memory = m_input.Get();
    if (*memory)
        (*memory)->AddRef();
}

void Request::GetOutputMemory(IWDFMemory **memory)
{
    *memory = m_output.Get();
    if (*memory)
        (*memory)->AddRef();
}

void *File::Find(REFIID iid)
{
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IWDFObject) || IsEqualIID(iid, IID_IWDFFile))
        return static_cast<IWDFFile *>(this);
    return nullptr;
}

void *Queue::Find(REFIID iid)
{
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IWDFObject) || IsEqualIID(iid, IID_IWDFIoQueue))
        return static_cast<IWDFIoQueue *>(this);
    return nullptr;
}

HRESULT Queue::RetrieveNextRequest(IWDFIoRequest **request)
{
    *request = nullptr;
    if (m_dispatch != WdfIoQueueDispatchManual)
        return Unexpected<HRESULT>();
    Request *next = nullptr;
    {
        std::lock_guard<SpinLock> lock(QueuesLock());
        if (!m_requests.empty()) {
            next = m_requests.front();
            m_requests.pop_front();
            next->m_inQueue = nullptr;
            next->m_takenFrom = this;
        }
    }
    if (!next)
        return HRESULT_FROM_WIN32(ERROR_NO_MORE_ITEMS);
    *request = static_cast<IWDFIoRequest *>(next);   // the queue's reference goes with it
    return S_OK;
}

void Queue::Enqueue(Request *request, bool head)
{
    request->AddRef();
    bool canceled = false;
    {
        std::lock_guard<SpinLock> lock(QueuesLock());
        canceled = request->m_canceled != 0;
        if (!canceled) {
            if (head)
                m_requests.push_front(request);
            else
                m_requests.push_back(request);
            request->m_inQueue = this;
        }
    }
    if (canceled) {
        request->CompleteWithInformation(kCanceledInQueue, 0);
        request->Release();
    }
}

void Queue::CancelQueued(File *file)
{
    std::vector<Request *> canceled;
    {
        std::lock_guard<SpinLock> lock(QueuesLock());
        for (auto it = m_requests.begin(); it != m_requests.end();) {
            if (!file || (*it)->m_file == file) {
                (*it)->m_inQueue = nullptr;
                canceled.push_back(*it);
                it = m_requests.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (Request *request : canceled) {
        request->CompleteWithInformation(kCanceledInQueue, 0);
        request->Release();
    }
}

size_t Queue::Count()
{
    std::lock_guard<SpinLock> lock(QueuesLock());
    return m_requests.size();
}

// --- Registry-backed property store ----------------------------------------------------------

void *RegistryStore::Find(REFIID iid)
{
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IWDFNamedPropertyStore)
        || IsEqualIID(iid, IID_IWDFNamedPropertyStore2))
        return static_cast<IWDFNamedPropertyStore2 *>(this);
    return nullptr;
}

HRESULT RegistryStore::GetNamedValue(PCWSTR name, PROPVARIANT *value)
{
    PropVariantInit(value);
    DWORD type = 0;
    DWORD size = 0;
    LONG rc = RegQueryValueExW(m_key, name, nullptr, &type, nullptr, &size);
    if (rc != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(rc);
    std::vector<BYTE> data(size + sizeof(wchar_t), 0);
    rc = RegQueryValueExW(m_key, name, nullptr, &type, data.data(), &size);
    if (rc != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(rc);
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        const wchar_t *text = reinterpret_cast<const wchar_t *>(data.data());
        size_t bytes = (wcslen(text) + 1) * sizeof(wchar_t);
        value->pwszVal = static_cast<wchar_t *>(CoTaskMemAlloc(bytes));
        memcpy(value->pwszVal, text, bytes);
        value->vt = VT_LPWSTR;
    } else if (type == REG_DWORD) {
        value->vt = VT_UI4;
        memcpy(&value->ulVal, data.data(), sizeof(DWORD));
    } else {
        value->vt = VT_UI1 | VT_VECTOR;   // binary: the driver must not take it for a string
        value->caub.cElems = 0;
        value->caub.pElems = nullptr;
    }
    return S_OK;
}

HRESULT RegistryStore::SetNamedValue(PCWSTR name, const PROPVARIANT *value)
{
    if (value->vt != VT_LPWSTR)
        return E_INVALIDARG;
    DWORD bytes = static_cast<DWORD>((wcslen(value->pwszVal) + 1) * sizeof(wchar_t));
    // HRESULT_FROM_WIN32 may be a macro that evaluates its argument twice.
    LONG rc = RegSetValueExW(m_key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(value->pwszVal), bytes);
    return HRESULT_FROM_WIN32(rc);
}

HRESULT RegistryStore::GetNameCount(DWORD *count)
{
    LONG rc = RegQueryInfoKeyW(m_key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, count, nullptr, nullptr,
                               nullptr, nullptr);
    return HRESULT_FROM_WIN32(rc);
}

// The name is handed to the caller, who releases it with delete[].
HRESULT RegistryStore::GetNameAt(DWORD index, PWSTR *name)
{
    *name = nullptr;
    wchar_t buffer[16384];
    DWORD length = 16384;
    LONG rc = RegEnumValueW(m_key, index, buffer, &length, nullptr, nullptr, nullptr, nullptr);
    if (rc != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(rc);
    *name = new wchar_t[length + 1];
    memcpy(*name, buffer, (length + 1) * sizeof(wchar_t));
    return S_OK;
}

HRESULT RegistryStore::DeleteNamedValue(PCWSTR name)
{
    LONG rc = RegDeleteValueW(m_key, name);
    return HRESULT_FROM_WIN32(rc);
}

// --- Device, device initialisation, driver ---------------------------------------------------

Device::Device(IUnknown *callbacks, std::wstring storeRoot, std::wstring instanceId)
    : m_storeRoot(std::move(storeRoot)), m_instanceId(std::move(instanceId))
{
    callbacks->AddRef();
    *m_callbacks.Out() = callbacks;
}

void *Device::Find(REFIID iid)
{
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IWDFObject) || IsEqualIID(iid, IID_IWDFDevice)
        || IsEqualIID(iid, IID_IWDFDevice2))
        return static_cast<IWDFDevice2 *>(this);
    if (IsEqualIID(iid, IID_IWDFPropertyStoreFactory))
        return static_cast<IWDFPropertyStoreFactory *>(this);
    return nullptr;
}

HRESULT Device::RetrieveDeviceInstanceId(PWSTR buffer, DWORD *characters)
{
    DWORD needed = static_cast<DWORD>(m_instanceId.size() + 1);
    if (!buffer || *characters < needed) {
        *characters = needed;
        return kTooSmall;
    }
    if (m_instanceIdAnswerLength) {
        // A framework answering a length that is not the buffer's: the copy still fits.
        memcpy(buffer, m_instanceId.c_str(), needed * sizeof(wchar_t));
        *characters = m_instanceIdAnswerLength;
        return S_OK;
    }
    memcpy(buffer, m_instanceId.c_str(), needed * sizeof(wchar_t));
    *characters = needed;
    return S_OK;
}

HRESULT Device::CreateDeviceInterface(const GUID *interfaceClass, PCWSTR reference)
{
    if (!interfaceClass || reference)
        return E_INVALIDARG;
    m_interfaces.push_back(*interfaceClass);
    return S_OK;
}

HRESULT Device::AssignDeviceInterfaceState(const GUID *interfaceClass, PCWSTR /*reference*/, BOOL enable)
{
    if (!interfaceClass || std::find(m_interfaces.begin(), m_interfaces.end(), *interfaceClass) == m_interfaces.end())
        return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
    if (enable)
        m_enabledInterfaces.push_back(*interfaceClass);
    return S_OK;
}

HRESULT Device::CreateSymbolicLink(PCWSTR name)
{
    m_links.push_back(name);
    return m_linkResult;
}

HRESULT Device::CreateIoQueue(IUnknown *callbacks, BOOL defaultQueue, WDF_IO_QUEUE_DISPATCH_TYPE dispatch,
                              BOOL powerManaged, BOOL allowZeroLength, IWDFIoQueue **queue)
{
    *queue = nullptr;
    if (m_queueResult != S_OK)
        return m_queueResult;
    Ref<Queue> q(new Queue());
    callbacks->AddRef();
    *q->m_callbacks.Out() = callbacks;
    q->m_default = defaultQueue;
    q->m_dispatch = dispatch;
    q->m_powerManaged = powerManaged;
    q->m_zeroLength = allowZeroLength;
    if (defaultQueue)
        m_queue = q;
    else
        m_otherQueues.push_back(q);
    q->AddRef();
    *queue = q.Get();
    return S_OK;
}

HRESULT Device::RegisterRemoteInterfaceNotification(const GUID *interfaceClass, BOOL includeExisting)
{
    if (!includeExisting)
        return E_INVALIDARG;
    m_notifications.push_back(*interfaceClass);
    return S_OK;
}

HRESULT Device::RetrieveDevicePropertyStore(WDF_PROPERTY_STORE_ROOT *root, WDF_PROPERTY_STORE_RETRIEVE_FLAGS flags,
                                            REGSAM access, PCWSTR subkey, IWDFNamedPropertyStore2 **store,
                                            WDF_PROPERTY_STORE_DISPOSITION * /*disposition*/)
{
    *store = nullptr;
    if (!root)
        return E_INVALIDARG;
    StoreOpen open = {root->LengthCb, root->RootClass, L"", flags, access, subkey != nullptr};
    if (root->RootClass == WdfPropertyStoreRootClassHardwareKey && root->Qualifier.HardwareKey.ServiceName)
        open.name = root->Qualifier.HardwareKey.ServiceName;
    else if (root->RootClass == WdfPropertyStoreRootClassLegacyHardwareKey && root->Qualifier.LegacyHardwareKey.LegacyMapName)
        open.name = root->Qualifier.LegacyHardwareKey.LegacyMapName;
    m_storeOpens.push_back(open);
    if (root->LengthCb != sizeof(*root) || subkey)
        return E_INVALIDARG;
    HKEY key = nullptr;
    LONG rc;
    if (root->RootClass == WdfPropertyStoreRootClassHardwareKey) {
        if (wcscmp(root->Qualifier.HardwareKey.ServiceName, L"\\") != 0 || flags != WdfPropertyStoreNormal)
            return E_INVALIDARG;
        m_storesOpened.push_back(L"hw");
        rc = RegOpenKeyExW(HKEY_CURRENT_USER, (m_storeRoot + L"\\Hardware").c_str(), 0, access, &key);
    } else if (root->RootClass == WdfPropertyStoreRootClassLegacyHardwareKey) {
        m_storesOpened.push_back(root->Qualifier.LegacyHardwareKey.LegacyMapName);
        if (m_mapResult != S_OK)
            return m_mapResult;
        std::wstring path = m_storeRoot + L"\\DEVICEMAP\\" + root->Qualifier.LegacyHardwareKey.LegacyMapName;
        DWORD options = flags == WdfPropertyStoreCreateVolatile ? REG_OPTION_VOLATILE : REG_OPTION_NON_VOLATILE;
        if (flags == WdfPropertyStoreNormal)
            rc = RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, access, &key);
        else
            rc = RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, options, access, nullptr, &key, nullptr);
    } else {
        return E_INVALIDARG;
    }
    if (rc != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(rc);
    *store = new RegistryStore(key);
    return S_OK;
}

void Device::Remove()
{
    if (m_removed)
        return;
    m_removed = true;
    // The framework ends what waits in the device's queues before the device goes.
    for (const Ref<Queue> &queue : m_otherQueues)
        queue->CancelQueued(nullptr);
    Ref<IObjectCleanup> cleanup;
    if (m_callbacks && SUCCEEDED(m_callbacks->QueryInterface(IID_IObjectCleanup, reinterpret_cast<void **>(cleanup.Out()))))
        cleanup->OnCleanup(static_cast<IWDFDevice2 *>(this));
    cleanup.Reset();
    m_queue.Reset();
    m_otherQueues.clear();
    m_callbacks.Reset();
}

void *DeviceInit::Find(REFIID iid)
{
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IWDFDeviceInitialize))
        return static_cast<IWDFDeviceInitialize *>(this);
    return nullptr;
}

void (*Driver::s_inject)(Device *device) = nullptr;

void *Driver::Find(REFIID iid)
{
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IWDFObject) || IsEqualIID(iid, IID_IWDFDriver))
        return static_cast<IWDFDriver *>(this);
    return nullptr;
}

HRESULT Driver::CreateDevice(IWDFDeviceInitialize * /*init*/, IUnknown *callbacks, IWDFDevice **device)
{
    *device = nullptr;
    Device *created = new Device(callbacks, m_storeRoot, m_instanceId);
    if (s_inject)
        s_inject(created);
    created->AddRef();
    *m_device.Out() = created;
    *device = created;
    return S_OK;
}

// --- Module ----------------------------------------------------------------------------------

Module::Module(const wchar_t *path) : m_module(LoadLibraryW(path))
{
    if (!m_module)
        throw std::runtime_error("cannot load the driver DLL, error " + std::to_string(GetLastError()));
}

Module::~Module()
{
    FreeLibrary(m_module);
}

HRESULT Module::GetClassObject(REFCLSID clsid, REFIID iid, void **ppv) const
{
    using Fn = HRESULT(STDAPICALLTYPE *)(REFCLSID, REFIID, void **);
    auto fn = reinterpret_cast<Fn>(reinterpret_cast<void *>(GetProcAddress(m_module, "DllGetClassObject")));
    return fn ? fn(clsid, iid, ppv) : E_NOTIMPL;
}

const UMDF_VERSION_DATA *Module::Version() const
{
    return reinterpret_cast<const UMDF_VERSION_DATA *>(
        reinterpret_cast<void *>(GetProcAddress(m_module, "Microsoft_WDF_UMDF_Version")));
}

ZulkorSetSeamFn Module::SetSeam() const
{
    return reinterpret_cast<ZulkorSetSeamFn>(reinterpret_cast<void *>(GetProcAddress(m_module, "ZulkorSetSeam")));
}

const wchar_t *ShippedDllPath()
{
    return ZULKOR_DLL;
}

const wchar_t *HarnessDllPath()
{
    return ZULKOR_HARNESS_DLL;
}

// --- Registry helpers ------------------------------------------------------------------------

std::map<std::wstring, std::wstring> ReadValues(const std::wstring &path)
{
    std::map<std::wstring, std::wstring> values;
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return values;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD nameLength = 256;
        BYTE data[1024] = {};
        DWORD size = sizeof(data) - sizeof(wchar_t);
        DWORD type = 0;
        if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, data, &size) != ERROR_SUCCESS)
            break;
        values[name] = type == REG_SZ ? std::wstring(reinterpret_cast<const wchar_t *>(data))
                                      : L"<type " + Number(type) + L">";
    }
    RegCloseKey(key);
    return values;
}

void WriteString(const std::wstring &path, const wchar_t *name, const std::wstring &data)
{
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        throw std::runtime_error("cannot create a harness key");
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(data.c_str()),
                   static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

void WriteDword(const std::wstring &path, const wchar_t *name, DWORD data)
{
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        throw std::runtime_error("cannot create a harness key");
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&data), sizeof(data));
    RegCloseKey(key);
}

void DeleteTree(const std::wstring &path)
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return;
    for (;;) {
        wchar_t name[256];
        DWORD length = 256;
        if (RegEnumKeyExW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        DeleteTree(path + L"\\" + name);
    }
    RegCloseKey(key);
    RegDeleteKeyW(HKEY_CURRENT_USER, path.c_str());
}

// --- Seam ------------------------------------------------------------------------------------

HANDLE WINAPI SeamOpenPrinter(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES /*security*/,
                              DWORD disposition, DWORD flags, HANDLE /*templateFile*/)
{
    std::lock_guard<SpinLock> lock(PrintersLock());
    FakePrinter *printer = t_openReaches ? t_openReaches : FakePrinter::ForPath(path);
    if (!printer) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    ++printer->m_opens;
    printer->m_lastAccess = access;
    printer->m_lastShare = share;
    printer->m_lastDisposition = disposition;
    printer->m_lastFlags = flags;
    if (printer->m_openFails) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    if (disposition == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }

    std::wstring target = printer->m_redirect;
    if (target.empty()) {
        // A fresh pipe instance for every connection: the last one ended with its client.
        if (printer->m_pipe != INVALID_HANDLE_VALUE)
            CloseHandle(printer->m_pipe);
        printer->m_pipeName = L"\\\\.\\pipe\\zulkor-printer-" + Number(GetCurrentProcessId()) + L"-" + Number(NextSerial());
        printer->m_pipe = CreateNamedPipeW(printer->m_pipeName.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                           PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr);
        target = printer->m_pipeName;
    }
    HANDLE h = CreateFileW(target.c_str(), access, share, nullptr, OPEN_EXISTING, flags, nullptr);
    printer->m_lastHandle = h;
    if (h != INVALID_HANDLE_VALUE)
        PrinterHandles()[h] = printer;
    return h;
}

// Reads go to the pipe unless the printer answers them at once with nothing, or holds this one
// for the test to complete.
BOOL WINAPI SeamPrinterRead(HANDLE h, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED overlapped)
{
    FakePrinter *printer = FakePrinter::ForHandle(h);
    if (printer)
        InterlockedIncrement(&printer->m_readsStarted);
    const FakePrinter::ReadAnswer answer = printer ? printer->m_readAnswer : FakePrinter::ReadAnswer::Pipe;
    if (answer == FakePrinter::ReadAnswer::Refuse) {
        SetLastError(ERROR_DEVICE_NOT_CONNECTED);
        return FALSE;
    }
    if (answer != FakePrinter::ReadAnswer::Pipe && overlapped) {
        // Completed at once, as a real overlapped read may be: empty, or with a device error.
        const bool fails = answer == FakePrinter::ReadAnswer::Fail;
        overlapped->Internal = fails ? 0xC0000185 : 0;   // STATUS_IO_DEVICE_ERROR: ERROR_IO_DEVICE
        overlapped->InternalHigh = 0;
        SetEvent(overlapped->hEvent);
        if (read)
            *read = 0;
        if (fails)
            SetLastError(ERROR_IO_PENDING);
        return fails ? FALSE : TRUE;
    }
    if (!printer || !printer->m_holdNextRead || !overlapped)
        return ReadFile(h, buffer, size, read, overlapped);
    printer->m_holdNextRead = false;
    overlapped->Internal = 0x103;   // STATUS_PENDING
    printer->m_heldBuffer = static_cast<BYTE *>(buffer);
    printer->m_heldSize = size;
    printer->m_heldRead = overlapped;
    SetLastError(ERROR_IO_PENDING);
    return FALSE;
}

void FakePrinter::CompleteStuckWrite()
{
    OVERLAPPED *ov = m_stuckWrite;
    if (!ov)
        return;
    m_stuckWrite = nullptr;
    ov->InternalHigh = 0;
    ov->Internal = static_cast<ULONG_PTR>(0xC0000120);   // STATUS_CANCELLED
    SetEvent(ov->hEvent);
}

bool FakePrinter::WaitForHeldRead(DWORD timeoutMs)
{
    for (DWORD waited = 0; !m_heldRead && waited < timeoutMs; waited += 5)
        Sleep(5);
    return m_heldRead != nullptr;
}

void FakePrinter::CompleteHeldRead(const std::string &bytes)
{
    OVERLAPPED *ov = m_heldRead;
    if (!ov)
        return;
    m_heldRead = nullptr;
    const DWORD n = static_cast<DWORD>(std::min<size_t>(bytes.size(), m_heldSize));
    memcpy(m_heldBuffer, bytes.data(), n);
    ov->InternalHigh = n;
    ov->Internal = 0;
    SetEvent(ov->hEvent);
}

// Writes go to the pipe unless the printer has a scripted completion for this one.
BOOL WINAPI SeamPrinterWrite(HANDLE h, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped)
{
    FakePrinter *printer = FakePrinter::ForHandle(h);
    if (printer) {
        ++printer->m_writesStarted;
        printer->m_writeRecords.push_back(overlapped);
    }
    if (!printer || printer->m_writeSteps.empty() || !overlapped)
        return WriteFile(h, data, size, written, overlapped);
    const FakePrinter::WriteStep step = printer->m_writeSteps.front();
    printer->m_writeSteps.erase(printer->m_writeSteps.begin());
    if (step.kind == FakePrinter::WriteStep::Stuck) {
        overlapped->Internal = 0x103;   // STATUS_PENDING, and no cancel reaches it
        printer->m_stuckWrite = overlapped;
        SetLastError(ERROR_IO_PENDING);
        return FALSE;
    }
    DWORD moved = 0;
    LONG status = 0;
    if (step.kind == FakePrinter::WriteStep::Short || step.kind == FakePrinter::WriteStep::Late) {
        // The first bytes really go out, synchronously, before the write completes short.
        moved = std::min(step.bytes, size);
        HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        OVERLAPPED ov = {};
        ov.hEvent = event;
        DWORD n = 0;
        if (WriteFile(h, data, moved, nullptr, &ov) || GetLastError() == ERROR_IO_PENDING)
            GetOverlappedResult(h, &ov, &n, TRUE);
        CloseHandle(event);
        moved = n;
    } else if (step.kind == FakePrinter::WriteStep::Fail) {
        status = static_cast<LONG>(0xC0000185);   // STATUS_IO_DEVICE_ERROR: ERROR_IO_DEVICE
    }
    // Completed asynchronously with that result, as a real overlapped write would be.
    overlapped->Internal = static_cast<ULONG_PTR>(static_cast<ULONG>(status));
    overlapped->InternalHigh = moved;
    if (step.kind != FakePrinter::WriteStep::Late)
        SetEvent(overlapped->hEvent);
    SetLastError(ERROR_IO_PENDING);
    return FALSE;
}

namespace {

BOOL WINAPI SeamPrinterIoControl(HANDLE h, DWORD code, LPVOID /*input*/, DWORD /*inputSize*/, LPVOID output,
                                 DWORD outputSize, LPDWORD returned, LPOVERLAPPED overlapped)
{
    FakePrinter *printer = FakePrinter::ForHandle(h);
    if (!printer || code != 0x220034 || !overlapped) {
        SetLastError(ERROR_INVALID_FUNCTION);
        return FALSE;
    }
    if (printer->m_deviceIdError) {
        SetLastError(printer->m_deviceIdError);
        return FALSE;
    }
    if (printer->m_deviceIdStuck) {
        overlapped->Internal = 0x103;   // STATUS_PENDING, and no cancel reaches it
        printer->m_stuckWrite = overlapped;
        SetLastError(ERROR_IO_PENDING);
        return FALSE;
    }
    if (printer->m_deviceIdSilent) {
        // A real request on the printer's line that nothing answers: it stays pending until
        // the driver cancels it.
        if (ReadFile(h, output, outputSize, nullptr, overlapped))
            return TRUE;
        return FALSE;   // ERROR_IO_PENDING, as a real overlapped request
    }
    DWORD n = static_cast<DWORD>(std::min<size_t>(printer->m_deviceId.size(), outputSize));
    memcpy(output, printer->m_deviceId.data(), n);
    // Completed at once, as a real overlapped request may be.
    overlapped->Internal = 0;
    overlapped->InternalHigh = n;
    SetEvent(overlapped->hEvent);
    if (returned)
        *returned = n;
    return TRUE;
}

BOOL WINAPI SeamDeviceRegistryProperty(HDEVINFO set, PSP_DEVINFO_DATA device, DWORD property, PDWORD type,
                                       PBYTE buffer, DWORD size, PDWORD required)
{
    const PdoAnswer &answer = PortDevice::s_pdo;
    if (answer.platform || property != SPDRP_PHYSICAL_DEVICE_OBJECT_NAME)
        return SetupDiGetDeviceRegistryPropertyW(set, device, property, type, buffer, size, required);
    const DWORD bytes = static_cast<DWORD>((answer.name.size() + 1) * sizeof(wchar_t));
    if (required)
        *required = bytes;
    if (!buffer) {
        SetLastError(answer.sizingError);
        return answer.sizingResult;
    }
    if (!answer.queryResult) {
        SetLastError(answer.queryError);
        return FALSE;
    }
    if (size < bytes) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    memcpy(buffer, answer.name.c_str(), bytes);
    return TRUE;
}

const ZulkorSeam kHarnessSeam = {&SeamOpenPrinter, &SeamPrinterIoControl, &SeamPrinterRead, &SeamPrinterWrite,
                                 &SeamDeviceRegistryProperty};

} // namespace

SeamInstaller::SeamInstaller(const Module &module) : m_set(module.SetSeam())
{
    if (!m_set)
        throw std::runtime_error("the DLL has no seam");
    m_set(&kHarnessSeam);
}

SeamInstaller::~SeamInstaller()
{
    m_set(nullptr);
}

// --- PortDevice ------------------------------------------------------------------------------

PdoAnswer PortDevice::s_pdo;

PortDevice::PortDevice(const Module &module)
{
    const unsigned long serial = NextSerial();
    const std::wstring tag = Number(GetCurrentProcessId()) + L"_" + Number(serial);
    m_storeRoot = L"Software\\ZulkorHarness\\" + tag;
    m_instanceId = L"ROOT\\ZULKORTEST\\" + tag;

    m_devInfo = SetupDiCreateDeviceInfoList(&kPortsClass, nullptr);
    m_devInfoData.cbSize = sizeof(m_devInfoData);
    if (!SetupDiCreateDeviceInfoW(m_devInfo, m_instanceId.c_str(), &kPortsClass, nullptr, nullptr, 0, &m_devInfoData)
        || !SetupDiRegisterDeviceInfo(m_devInfo, &m_devInfoData, 0, nullptr, nullptr, nullptr))
        throw std::runtime_error("cannot register the port device, error " + std::to_string(GetLastError()));

    HKEY key;
    RegCreateKeyExW(HKEY_CURRENT_USER, HardwarePath().c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
    RegCloseKey(key);

    m_driver = Ref<Driver>(new Driver());
    m_driver->m_storeRoot = m_storeRoot;
    m_driver->m_instanceId = m_instanceId;

    Ref<IClassFactory> factory;
    HRESULT hr = module.GetClassObject(kDriverClsid, IID_IClassFactory, reinterpret_cast<void **>(factory.Out()));
    if (SUCCEEDED(hr))
        hr = factory->CreateInstance(nullptr, IID_IDriverEntry, reinterpret_cast<void **>(m_entry.Out()));
    if (FAILED(hr))
        throw std::runtime_error("no driver object from the DLL");
}

PortDevice::~PortDevice()
{
    Remove();
    m_entry.Reset();
    if (m_driver)
        m_driver->m_device.Reset();
    SetupDiRemoveDevice(m_devInfo, &m_devInfoData);
    SetupDiDestroyDeviceInfoList(m_devInfo);
    DeleteTree(m_storeRoot);
}

HRESULT PortDevice::Add()
{
    m_init = Ref<DeviceInit>(new DeviceInit());
    return m_entry->OnDeviceAdd(m_driver.Get(), m_init.Get());
}

HRESULT PortDevice::AddWith(void (*inject)(Device *device))
{
    Driver::s_inject = inject;
    const HRESULT hr = Add();
    Driver::s_inject = nullptr;
    return hr;
}

void PortDevice::Remove()
{
    InTurn(false, [this] {
        if (FxDevice())
            FxDevice()->Remove();
    });
}

void PortDevice::InTurn(bool queueCallback, const std::function<void()> &call)
{
    const Device *device = FxDevice();
    const bool sequential = device && device->m_queue && device->m_queue->m_dispatch == WdfIoQueueDispatchSequential;
    const bool deviceLevel = m_init && m_init->m_constraint == WdfDeviceLevel;
    auto run = [&] {
        if (queueCallback)
            InterlockedIncrement(&m_inCallback);
        call();
        if (queueCallback)
            InterlockedDecrement(&m_inCallback);
    };
    if (queueCallback ? (sequential || deviceLevel) : deviceLevel) {
        std::lock_guard<SpinLock> lock(m_turn);
        run();
    } else {
        run();
    }
}

size_t PortDevice::Queued() const
{
    size_t count = 0;
    if (FxDevice())
        for (const Ref<Queue> &queue : FxDevice()->m_otherQueues)
            count += queue->Count();
    return count;
}

void PortDevice::Send(Request *request, const std::function<void()> &call)
{
    request->m_file = m_openFile;
    InTurn(true, call);
    // A bound only so that a driver that never completes fails its test instead of hanging it.
    const DWORD start = GetTickCount();
    while (request->m_completions == 0 && GetTickCount() - start < 60000)
        Sleep(1);
}

bool PortDevice::WaitForRequestInDriver(DWORD timeoutMs) const
{
    const DWORD start = GetTickCount();
    while (!InCallback() && Queued() == 0) {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(5);
    }
    return true;
}

Ref<Request> PortDevice::Create(File *file, ULONG disposition, USHORT share, USHORT attributes)
{
    Ref<Request> request(new Request());
    request->m_createOptions = disposition << 24;
    request->m_createShare = share;
    request->m_createAttributes = attributes;
    InTurn(true, [&] {
        t_openReaches = m_printer;
        Callbacks<IQueueCallbackCreate>(IID_IQueueCallbackCreate)->OnCreateFile(FxDevice()->m_queue.Get(), request.Get(), file);
        t_openReaches = nullptr;
        if (request->m_status == S_OK)
            m_openFile = file;
    });
    return request;
}

Ref<Request> PortDevice::NewRead(SIZE_T memorySize)
{
    Ref<Request> request(new Request());
    request->m_output = Ref<Memory>(new Memory(std::vector<BYTE>(memorySize, 0xCC)));
    return request;
}

void PortDevice::SendRead(Request *request, SIZE_T count)
{
    Send(request, [&] {
        Callbacks<IQueueCallbackRead>(IID_IQueueCallbackRead)->OnRead(FxDevice()->m_queue.Get(), request, count);
    });
}

Ref<Request> PortDevice::Read(SIZE_T count, SIZE_T memorySize)
{
    Ref<Request> request = NewRead(memorySize);
    SendRead(request.Get(), count);
    return request;
}

Ref<Request> PortDevice::Write(const std::string &bytes)
{
    return Write(bytes, bytes.size(), true);
}

Ref<Request> PortDevice::Write(const std::string &bytes, SIZE_T count, bool withMemory)
{
    Ref<Request> request(new Request());
    if (withMemory)
        request->m_input = Ref<Memory>(new Memory(std::vector<BYTE>(bytes.begin(), bytes.end())));
    Send(request.Get(), [&] {
        Callbacks<IQueueCallbackWrite>(IID_IQueueCallbackWrite)->OnWrite(FxDevice()->m_queue.Get(), request.Get(), count);
    });
    return request;
}

Ref<Request> PortDevice::Control(ULONG code, const std::string *input, long outputSize)
{
    Ref<Request> request(new Request());
    if (input)
        request->m_input = Ref<Memory>(new Memory(std::vector<BYTE>(input->begin(), input->end())));
    if (outputSize >= 0)
        request->m_output = Ref<Memory>(new Memory(std::vector<BYTE>(static_cast<size_t>(outputSize), 0xCC)));
    SendControl(request.Get(), code);
    return request;
}

void PortDevice::SendControl(Request *request, ULONG code)
{
    const SIZE_T inputSize = request->m_input ? request->m_input->GetSize() : 0;
    const SIZE_T outputSize = request->m_output ? request->m_output->GetSize() : 0;
    Send(request, [&] {
        Callbacks<IQueueCallbackDeviceIoControl>(IID_IQueueCallbackDeviceIoControl)
            ->OnDeviceIoControl(FxDevice()->m_queue.Get(), request, code, inputSize, outputSize);
    });
}

void PortDevice::CloseFile(File *file)
{
    InTurn(false, [&] {
        if (m_openFile == file)
            m_openFile = nullptr;
        if (!FxDevice() || !FxDevice()->m_callbacks)
            return;   // the device is gone, and its connection with it
        // The framework cancels the file's requests that wait in queues, then runs the cleanup.
        for (const Ref<Queue> &queue : FxDevice()->m_otherQueues)
            queue->CancelQueued(file);
        Ref<IFileCallbackCleanup> cleanup;
        FxDevice()->m_callbacks->QueryInterface(IID_IFileCallbackCleanup, reinterpret_cast<void **>(cleanup.Out()));
        cleanup->OnCleanupFile(file);
    });
}

// --- FakePrinter -----------------------------------------------------------------------------

FakePrinter::FakePrinter(const std::wstring &instanceId, const std::wstring &redirect) : m_redirect(redirect)
{
    m_devInfo = SetupDiCreateDeviceInfoList(&kPrinterClass, nullptr);
    m_devInfoData.cbSize = sizeof(m_devInfoData);
    m_interface.cbSize = sizeof(m_interface);
    if (!SetupDiCreateDeviceInfoW(m_devInfo, instanceId.c_str(), &kPrinterClass, nullptr, nullptr, 0, &m_devInfoData)
        || !SetupDiRegisterDeviceInfo(m_devInfo, &m_devInfoData, 0, nullptr, nullptr, nullptr)
        || !SetupDiCreateDeviceInterfaceW(m_devInfo, &m_devInfoData, &kUsbPrintInterface, nullptr, 0, &m_interface))
        throw std::runtime_error("cannot register the USB printer, error " + std::to_string(GetLastError()));

    DWORD size = 0;
    SetupDiGetDeviceInterfaceDetailW(m_devInfo, &m_interface, nullptr, 0, &size, nullptr);
    std::vector<BYTE> buffer(size + sizeof(wchar_t), 0);
    auto *detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W *>(buffer.data());
    detail->cbSize = sizeof(*detail);
    if (!SetupDiGetDeviceInterfaceDetailW(m_devInfo, &m_interface, detail, size, nullptr, nullptr))
        throw std::runtime_error("no path for the USB printer interface");
    m_path = detail->DevicePath;

    // An interface is present once its driver enabled it: the platform then marks it linked.
    // "\\?\usb#..." is kept under the key "##?#usb#...".
    std::wstring keyName = L"##?#" + m_path.substr(4);
    HKEY control;
    std::wstring controlPath = L"System\\CurrentControlSet\\Control\\DeviceClasses\\"
                               L"{28d78fad-5a12-11d1-ae5b-0000f803a8c2}\\" + keyName + L"\\#\\Control";
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, controlPath.c_str(), 0, nullptr, REG_OPTION_VOLATILE, KEY_WRITE, nullptr,
                        &control, nullptr) != ERROR_SUCCESS)
        throw std::runtime_error("cannot mark the USB printer interface present");
    DWORD linked = 1;
    RegSetValueExW(control, L"Linked", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&linked), sizeof(linked));
    RegCloseKey(control);

    std::lock_guard<SpinLock> lock(PrintersLock());
    Printers().push_back(this);
}

FakePrinter::FakePrinter(Unregistered)
{
}

FakePrinter::~FakePrinter()
{
    {
        std::lock_guard<SpinLock> lock(PrintersLock());
        Printers().erase(std::remove(Printers().begin(), Printers().end(), this), Printers().end());
        for (auto it = PrinterHandles().begin(); it != PrinterHandles().end();)
            it = it->second == this ? PrinterHandles().erase(it) : std::next(it);
    }
    if (m_pipe != INVALID_HANDLE_VALUE)
        CloseHandle(m_pipe);
    if (m_devInfo != INVALID_HANDLE_VALUE) {
        SetupDiRemoveDeviceInterface(m_devInfo, &m_interface);
        SetupDiRemoveDevice(m_devInfo, &m_devInfoData);
        SetupDiDestroyDeviceInfoList(m_devInfo);
    }
}

FakePrinter *FakePrinter::ForPath(const wchar_t *path)
{
    std::lock_guard<SpinLock> lock(PrintersLock());
    for (FakePrinter *p : Printers())
        if (_wcsicmp(p->m_path.c_str(), path) == 0)
            return p;
    return nullptr;
}

FakePrinter *FakePrinter::ForHandle(HANDLE h)
{
    std::lock_guard<SpinLock> lock(PrintersLock());
    auto it = PrinterHandles().find(h);
    return it == PrinterHandles().end() ? nullptr : it->second;
}

std::string FakePrinter::Receive(size_t count, DWORD timeoutMs)
{
    std::string got;
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const DWORD start = GetTickCount();
    while (got.size() < count) {
        char block[4096];
        OVERLAPPED ov = {};
        ov.hEvent = event;
        DWORD n = 0;
        DWORD want = static_cast<DWORD>(std::min<size_t>(sizeof(block), count - got.size()));
        if (!ReadFile(m_pipe, block, want, nullptr, &ov) && GetLastError() != ERROR_IO_PENDING)
            break;
        DWORD elapsed = GetTickCount() - start;
        if (WaitForSingleObject(event, elapsed < timeoutMs ? timeoutMs - elapsed : 0) != WAIT_OBJECT_0) {
            CancelIo(m_pipe);
            GetOverlappedResult(m_pipe, &ov, &n, TRUE);
            got.append(block, n);
            break;
        }
        if (!GetOverlappedResult(m_pipe, &ov, &n, FALSE))
            break;
        got.append(block, n);
    }
    CloseHandle(event);
    return got;
}

void FakePrinter::Send(const std::string &bytes)
{
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    OVERLAPPED ov = {};
    ov.hEvent = event;
    DWORD n = 0;
    if (WriteFile(m_pipe, bytes.data(), static_cast<DWORD>(bytes.size()), nullptr, &ov) || GetLastError() == ERROR_IO_PENDING)
        GetOverlappedResult(m_pipe, &ov, &n, TRUE);
    CloseHandle(event);
}

void FakePrinter::Disconnect()
{
    if (m_pipe != INVALID_HANDLE_VALUE)
        CloseHandle(m_pipe);
    m_pipe = INVALID_HANDLE_VALUE;
}

void RemoveLeftoverPrinters()
{
    HDEVINFO set = SetupDiGetClassDevsW(&kUsbPrintInterface, nullptr, nullptr, DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE)
        return;
    std::vector<SP_DEVINFO_DATA> leftovers;
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof(device);
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        wchar_t id[512];
        if (SetupDiGetDeviceInstanceIdW(set, &device, id, 512, nullptr) && wcsstr(id, L"ZKTEST"))
            leftovers.push_back(device);
    }
    for (SP_DEVINFO_DATA &d : leftovers)
        SetupDiRemoveDevice(set, &d);
    SetupDiDestroyDeviceInfoList(set);
}

} // namespace harness
