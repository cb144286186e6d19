// The port device: creation, publication of the port name (symbolic link and legacy device
// map), removal of the device-map entry, and the end of a printer connection.
#include "device.h"
#include "queue.h"

#include <memory>
#include <new>
#include <vector>

namespace {

const wchar_t kLinkPrefix[] = L"\\DosDevices\\Global";
const wchar_t kDosDevicesPrefix[] = L"\\DosDevices\\";
// The parallel map's data is formatted into a buffer of this many characters (terminator
// included) and cut to fit: names of up to seven characters fit whole.
const size_t kParallelDataChars = 20;
// The receive thread is given this long to end when the port closes.
const DWORD kReaderStopMs = 5000;

bool IsComName(const wchar_t *name)
{
    return wcsncmp(name, L"COM", 3) == 0;
}

// A step of ConfigurePort ends the operation unless it returned exactly S_OK. A success code
// other than S_OK must still not let the device start half published.
HRESULT AsFailure(HRESULT hr)
{
    return SUCCEEDED(hr) ? E_FAIL : hr;
}

} // namespace

HRESULT CPortDevice::CreateInstance(CPortDevice **device)
{
    *device = new (std::nothrow) CPortDevice();
    if (!*device)
        return E_OUTOFMEMORY;
    (*device)->m_abortEvent.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!(*device)->m_abortEvent.IsSet()) {
        HRESULT hr = HrFromLastError();
        (*device)->Release();
        *device = nullptr;
        return hr;
    }
    return S_OK;
}

// Resources are released by the cleanup callbacks, not here; a connection still open when the
// last reference goes is closed so that no thread outlives the module's objects.
CPortDevice::~CPortDevice()
{
    CAutoLock lock(m_connectionLock);
    Close();
}

HRESULT CPortDevice::QueryInterface(REFIID iid, void **ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(iid, IID_IObjectCleanup))
        return Answer(static_cast<IObjectCleanup *>(this), ppv);
    if (IsEqualIID(iid, IID_IPnpCallbackRemoteInterfaceNotification))
        return Answer(static_cast<IPnpCallbackRemoteInterfaceNotification *>(this), ppv);
    if (IsEqualIID(iid, IID_IFileCallbackCleanup))
        return Answer(static_cast<IFileCallbackCleanup *>(this), ppv);
    return CRefCounted::QueryInterface(iid, ppv);
}

HRESULT CPortDevice::Initialize(IWDFDriver *driver, IWDFDeviceInitialize *init)
{
    // Device-level locking: the framework calls one callback of this device at a time, so the
    // file cleanup does not run beside a queue callback. The driver does not rely on it alone:
    // its connection lock and bounded waits keep a close from hanging on a stalled printer.
    init->SetLockingConstraint(WdfDeviceLevel);

    IWDFDevice *fxDevice = nullptr;
    HRESULT hr = driver->CreateDevice(init, static_cast<IObjectCleanup *>(this), &fxDevice);
    if (FAILED(hr)) {
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_DEVICE, L"CreateDevice failed, %08lx", hr);
        return hr;
    }
    // The framework device holds us; a counted pointer back would keep both alive forever.
    m_fxDevice = fxDevice;
    fxDevice->Release();
    return hr;
}

HRESULT CPortDevice::GetPdoName(std::wstring *name)
{
    name->clear();

    DWORD characters = 0;
    m_fxDevice->RetrieveDeviceInstanceId(nullptr, &characters);
    if (characters == 0)
        return E_UNEXPECTED;
    std::unique_ptr<wchar_t[]> instanceId(new (std::nothrow) wchar_t[characters]);
    if (!instanceId)
        return E_OUTOFMEMORY;
    const DWORD allocated = characters;
    HRESULT hr = m_fxDevice->RetrieveDeviceInstanceId(instanceId.get(), &characters);
    if (FAILED(hr))
        return hr;
    // The second answer's length indexes our buffer: one that does not fit what was allocated
    // (the id changed between the calls, say) is refused rather than trusted.
    if (characters == 0 || characters > allocated) {
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_DEVICE, L"instance id length %lu does not fit %lu",
                    static_cast<unsigned long>(characters), static_cast<unsigned long>(allocated));
        return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
    }
    instanceId[characters - 1] = L'\0';

    CDevInfo set(SetupDiCreateDeviceInfoList(nullptr, nullptr));
    if (!set.IsSet())
        return HrFromLastError();
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof(device);
    if (!SetupDiOpenDeviceInfoW(set.Get(), instanceId.get(), nullptr, 0, &device)) {
        hr = HrFromLastError();
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_DEVICE, L"SetupDiOpenDeviceInfo(%ls) failed, %08lx",
                    instanceId.get(), hr);
        return hr;
    }

    // The sizing query fails by design; only ERROR_INVALID_DATA (no such property) ends here.
    DWORD bytes = 0;
    if (!Seam().deviceRegistryProperty(set.Get(), &device, SPDRP_PHYSICAL_DEVICE_OBJECT_NAME, nullptr,
                                       nullptr, 0, &bytes)
        && GetLastError() == ERROR_INVALID_DATA)
        return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);

    // Room for a terminator the property may lack.
    std::vector<BYTE> buffer;
    try {
        buffer.assign(static_cast<size_t>(bytes) + sizeof(wchar_t), 0);
    } catch (const std::bad_alloc &) {
        return E_OUTOFMEMORY;
    }
    if (!Seam().deviceRegistryProperty(set.Get(), &device, SPDRP_PHYSICAL_DEVICE_OBJECT_NAME, nullptr,
                                       buffer.data(), bytes, nullptr)) {
        hr = HrFromLastError();
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_DEVICE, L"device object name of %ls unavailable, %08lx",
                    instanceId.get(), hr);
        return hr;
    }
    name->assign(reinterpret_cast<const wchar_t *>(buffer.data()));
    return S_OK;
}

// Deletes every value of the device map that publishes `portName`: a string whose text from the
// first occurrence of the name to its end is the name ("COM7", "\DosDevices\COM7", but not
// "COM71"). Entries of other devices with that name go too: the name is ours now.
HRESULT CPortDevice::RemoveStaleEntries(IWDFNamedPropertyStore2 *map, const wchar_t *portName)
{
    DWORD count = 0;
    HRESULT hr = map->GetNameCount(&count);
    if (hr != S_OK)
        return AsFailure(hr);
    DWORD index = 0;
    while (index < count) {
        // The store hands the name over; it is released with delete[].
        PWSTR rawName = nullptr;
        HRESULT named = map->GetNameAt(index, &rawName);
        std::unique_ptr<wchar_t[]> valueName(rawName);
        CPropVariant value;
        bool matches = false;
        if (named == S_OK && valueName && map->GetNamedValue(valueName.get(), &value) == S_OK && value.String()) {
            const wchar_t *found = wcsstr(value.String(), portName);
            matches = found && wcscmp(found, portName) == 0;
        }
        if (matches && map->DeleteNamedValue(valueName.get()) == S_OK) {
            TraceEvents(TRACE_LEVEL_INFORMATION, TRACE_DEVICE, L"removed stale device-map value %ls",
                        valueName.get());
            // The following values moved down: look at the same index again.
            if (map->GetNameCount(&count) != S_OK)
                break;
            continue;
        }
        ++index;
    }
    return S_OK;
}

HRESULT CPortDevice::ConfigurePort()
{
    int step = 1;
    HRESULT hr = m_fxDevice->CreateDeviceInterface(&GUID_DEVINTERFACE_QUORVALLENT, nullptr);

    if (hr == S_OK) {
        step = 2;
        hr = m_fxDevice->AssignDeviceInterfaceState(&GUID_DEVINTERFACE_QUORVALLENT, nullptr, TRUE);
    }

    CComPtr<IWDFPropertyStoreFactory> factory;
    if (hr == S_OK) {
        step = 3;
        hr = m_fxDevice->QueryInterface(IID_IWDFPropertyStoreFactory, reinterpret_cast<void **>(&factory));
    }

    CComPtr<IWDFNamedPropertyStore2> hardwareKey;
    if (hr == S_OK) {
        step = 4;
        WDF_PROPERTY_STORE_ROOT root = {};
        root.LengthCb = sizeof(root);
        root.RootClass = WdfPropertyStoreRootClassHardwareKey;
        root.Qualifier.HardwareKey.ServiceName = L"\\";
        hr = factory->RetrieveDevicePropertyStore(&root, WdfPropertyStoreNormal, KEY_QUERY_VALUE, nullptr,
                                                  &hardwareKey, nullptr);
    }

    // PortName must be a non-empty string; any other type counts as missing.
    CPropVariant portValue;
    const wchar_t *portName = nullptr;
    if (hr == S_OK) {
        step = 5;
        hr = hardwareKey->GetNamedValue(L"PortName", &portValue);
        if (hr == S_OK) {
            portName = portValue.String();
            if (!portName || !*portName)
                hr = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
        }
    }

    size_t length = 0;
    if (hr == S_OK) {
        step = 6;
        length = wcsnlen(portName, 0x7FFFFFFF);
        step = 7;
        if (length > 0x7FFFFFFF - 20)
            hr = HRESULT_FROM_WIN32(ERROR_ARITHMETIC_OVERFLOW);
    }

    // "\DosDevices\Global\<name>": the 20 extra characters are the 19 before the name and the
    // terminator.
    std::unique_ptr<wchar_t[]> linkName;
    if (hr == S_OK) {
        step = 8;
        linkName.reset(new (std::nothrow) wchar_t[length + 20]);
        if (!linkName)
            hr = E_OUTOFMEMORY;
    }
    if (hr == S_OK) {
        step = 9;
        const size_t prefix = wcslen(kLinkPrefix);
        wmemcpy(linkName.get(), kLinkPrefix, prefix);
        linkName[prefix] = L'\\';
        wmemcpy(linkName.get() + prefix + 1, portName, length);
        linkName[prefix + 1 + length] = L'\0';
        step = 10;
        hr = m_fxDevice->CreateSymbolicLink(linkName.get());
        linkName.reset();
    }

    std::wstring pdoName;
    if (hr == S_OK) {
        step = 11;
        hr = GetPdoName(&pdoName);
        if (hr == S_OK && pdoName.empty())
            hr = HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
    }

    const bool isCom = portName && IsComName(portName);
    CComPtr<IWDFNamedPropertyStore2> deviceMap;
    if (hr == S_OK) {
        step = 12;
        WDF_PROPERTY_STORE_ROOT root = {};
        root.LengthCb = sizeof(root);
        root.RootClass = WdfPropertyStoreRootClassLegacyHardwareKey;
        root.Qualifier.LegacyHardwareKey.LegacyMapName = isCom ? L"SERIALCOMM" : L"PARALLEL PORTS";
        hr = factory->RetrieveDevicePropertyStore(&root, WdfPropertyStoreCreateVolatile,
                                                  DELETE | KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr,
                                                  &deviceMap, nullptr);
        if (hr == S_OK)
            hr = RemoveStaleEntries(deviceMap.Get(), portName);
    }

    if (hr == S_OK) {
        step = 13;
        wchar_t parallelData[kParallelDataChars];
        const wchar_t *data = portName;
        if (!isCom) {
            std::wstring full = std::wstring(kDosDevicesPrefix) + portName;
            full.resize(std::min(full.size(), kParallelDataChars - 1));
            wmemcpy(parallelData, full.c_str(), full.size() + 1);
            data = parallelData;
        }
        PROPVARIANT value;
        PropVariantInit(&value);
        value.vt = VT_LPWSTR;
        value.pwszVal = const_cast<wchar_t *>(data);
        hr = deviceMap->SetNamedValue(pdoName.c_str(), &value);
        if (hr == S_OK) {
            // From now on OnCleanup removes exactly this entry.
            m_deviceMap.Attach(deviceMap.Detach());
            m_pdoName = pdoName;
        }
    }

    if (hr == S_OK) {
        step = 14;
        hr = CPortQueue::CreateInstance(this, m_fxDevice);
    }

    if (hr != S_OK) {
        hr = AsFailure(hr);
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_DEVICE, L"ConfigurePort failed at step %d, %08lx", step, hr);
        return hr;
    }

    // Arrival of USB devices: registered for, but nothing depends on it.
    CComPtr<IWDFDevice2> device2;
    HRESULT notify = m_fxDevice->QueryInterface(IID_IWDFDevice2, reinterpret_cast<void **>(&device2));
    if (SUCCEEDED(notify))
        notify = device2->RegisterRemoteInterfaceNotification(&GUID_DEVINTERFACE_USB_DEVICE_ZULKOR, TRUE);
    if (FAILED(notify))
        TraceEvents(TRACE_LEVEL_WARNING, TRACE_DEVICE, L"no USB arrival notification, %08lx", notify);

    TraceEvents(TRACE_LEVEL_INFORMATION, TRACE_DEVICE, L"port %ls published as %ls", portName,
                m_pdoName.c_str());
    return S_OK;
}

void CPortDevice::OnCleanup(IWDFObject * /*object*/)
{
    SetEvent(m_abortEvent.Get());
    {
        CAutoLock lock(m_connectionLock);
        Close();
    }
    if (m_queue)
        m_queue->EndParked();
    if (m_deviceMap) {
        HRESULT hr = m_deviceMap->DeleteNamedValue(m_pdoName.c_str());
        if (FAILED(hr))
            TraceEvents(TRACE_LEVEL_WARNING, TRACE_DEVICE, L"device-map value %ls not deleted, %08lx",
                        m_pdoName.c_str(), hr);
        m_deviceMap.Release();
    }
    m_pdoName.clear();
}

void CPortDevice::OnRemoteInterfaceArrival(IWDFRemoteInterfaceInitialize * /*init*/)
{
}

void CPortDevice::OnCleanupFile(IWDFFile *file)
{
    AbortConnection(file);
    {
        CAutoLock lock(m_connectionLock);
        // Only the file that opened the connection ends it: a refused second open leaves the
        // first connection alone.
        if (!IsOpen() || file != m_connectionFile)
            return;
        Close();
    }
    // The framework cancelled the file's parked requests before this cleanup; any still parked
    // would wait for a receive thread that is gone.
    if (m_queue)
        m_queue->EndParked();
}

void CPortDevice::AbortConnection(IWDFFile *file)
{
    IWDFFile *current = static_cast<IWDFFile *>(
        InterlockedCompareExchangePointer(reinterpret_cast<void *volatile *>(&m_connectionFile), nullptr, nullptr));
    if (current && current == file)
        SetEvent(m_abortEvent.Get());
}

CPortDevice::IoWait CPortDevice::WaitForIo(OVERLAPPED *ov, DWORD limitMs)
{
    HANDLE waits[2] = {ov->hEvent, m_abortEvent.Get()};
    switch (WaitForMultipleObjects(2, waits, FALSE, limitMs)) {
    case WAIT_OBJECT_0: return IoWait::Done;
    case WAIT_OBJECT_0 + 1: return IoWait::Aborted;
    case WAIT_TIMEOUT: return IoWait::TimedOut;
    default: return IoWait::Failed;
    }
}

HRESULT CPortDevice::Open(HANDLE printer, IWDFFile *file, LPTHREAD_START_ROUTINE thread, void *threadArgument)
{
    ResetEvent(m_abortEvent.Get());
    InterlockedExchange(&m_transmitEmptied, 0);
    m_printer.Reset(printer);
    m_connectionFile = file;
    HRESULT hr = S_OK;
    m_printerIo = NewPrinterIo();
    if (!m_printerIo)
        hr = HrFromLastError();
    if (SUCCEEDED(hr)) {
        m_stopEvent.Reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
        if (!m_stopEvent.IsSet())
            hr = HrFromLastError();
    }
    if (SUCCEEDED(hr)) {
        m_readerThread.Reset(CreateThread(nullptr, 0, thread, threadArgument, 0, nullptr));
        if (!m_readerThread.IsSet())
            hr = HrFromLastError();
    }
    if (FAILED(hr)) {
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_DEVICE, L"port not opened, %08lx", hr);
        Close();
    }
    return hr;
}

void CPortDevice::Close()
{
    if (m_readerThread.IsSet()) {
        SetEvent(m_stopEvent.Get());
        // The thread ends at once on the stop event; its last cancelled read has a bound of its
        // own. A thread that still runs past this limit is traced and left behind.
        if (WaitForSingleObject(m_readerThread.Get(), kReaderStopMs) != WAIT_OBJECT_0)
            TraceEvents(TRACE_LEVEL_ERROR, TRACE_DEVICE, L"receive thread did not stop within %lu ms",
                        static_cast<unsigned long>(kReaderStopMs));
        m_readerThread.Close();
    }
    m_stopEvent.Close();
    m_printer.Close();
    m_printerIo.reset();
    if (m_strandedIo && !HasOverlappedIoCompleted(&m_strandedIo->overlapped)) {
        // Closing the printer ends that I/O some time later; it may still complete into its
        // record and signal its event, so both are left to it.
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_DEVICE, L"printer I/O still pending at the close, its record left");
        static_cast<void>(m_strandedIo.release());
    }
    m_strandedIo.reset();
    m_connectionFile = nullptr;
}

std::unique_ptr<CPortDevice::PrinterIo> CPortDevice::NewPrinterIo()
{
    std::unique_ptr<PrinterIo> io(new (std::nothrow) PrinterIo());
    if (!io) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    io->event.Reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!io->event.IsSet())
        return nullptr;
    return io;
}

HRESULT CPortDevice::BeginPrinterIo(OVERLAPPED **ov)
{
    *ov = nullptr;
    if (!IsOpen())
        return HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE);
    if (m_strandedIo) {
        if (!HasOverlappedIoCompleted(&m_strandedIo->overlapped))
            return HRESULT_FROM_WIN32(ERROR_IO_DEVICE);
        // It ended at last: its record may go, and the connection works again.
        TraceEvents(TRACE_LEVEL_INFORMATION, TRACE_DEVICE, L"stranded printer I/O ended");
        m_strandedIo.reset();
    }
    if (!m_printerIo) {
        m_printerIo = NewPrinterIo();
        if (!m_printerIo)
            return HrFromLastError();
    }
    m_printerIo->overlapped = OVERLAPPED();
    m_printerIo->overlapped.hEvent = m_printerIo->event.Get();
    *ov = &m_printerIo->overlapped;
    return S_OK;
}

void CPortDevice::StrandPrinterIo()
{
    TraceEvents(TRACE_LEVEL_ERROR, TRACE_DEVICE, L"printer I/O pending after its cancel: connection broken until it ends");
    m_strandedIo = std::move(m_printerIo);
}
