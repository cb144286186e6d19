// The user-mode driver framework (1.9) as this driver sees it: the framework objects it calls,
// the callback interfaces it implements, and the few enums and structures they pass.
//
// The framework's own headers are not part of this tree. Everything here is declared from what
// the driver needs of the framework, one method per operation it uses, and nothing more. The
// host (the framework on a target machine, or the test harness) and the driver must agree on
// this layout: method order within each interface and the interface ids below. Before the DLL is
// loaded by the platform's host, these must be checked against the framework's published
// interface definitions; the harness in tests/driver implements exactly this layout.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <propidl.h>

// --- Interface ids ---------------------------------------------------------------------------

#define ZULKOR_IID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
    inline constexpr IID IID_##name = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}

ZULKOR_IID(IWDFObject, 0x2ff37307, 0x704f, 0x4cdd, 0xab, 0x3b, 0x45, 0x5b, 0xd1, 0x4c, 0xc5, 0x67);
ZULKOR_IID(IWDFDriver, 0x5ca47155, 0x7afb, 0x44c9, 0xa7, 0xa0, 0x42, 0x63, 0x5e, 0x81, 0xbb, 0x23);
ZULKOR_IID(IWDFDeviceInitialize, 0x04cded73, 0x78ae, 0x4ff4, 0x86, 0x77, 0x0f, 0x86, 0x6e, 0xde, 0x77, 0xb9);
ZULKOR_IID(IWDFDevice, 0x085f373e, 0x6d25, 0x4a74, 0x8e, 0x93, 0x67, 0x54, 0x7a, 0x46, 0xe8, 0xb4);
ZULKOR_IID(IWDFDevice2, 0x0fb093bb, 0x5de5, 0x447b, 0xba, 0x42, 0x01, 0x50, 0x88, 0x5c, 0x02, 0x3b);
ZULKOR_IID(IWDFPropertyStoreFactory, 0x39e4af8d, 0x75d6, 0x488b, 0xb2, 0xf8, 0x81, 0x7d, 0x89, 0x8b, 0x52, 0x83);
ZULKOR_IID(IWDFNamedPropertyStore, 0x66f4e4c1, 0xeff9, 0x4fdc, 0xb2, 0x6b, 0xd3, 0xd6, 0x37, 0xec, 0x7c, 0xd6);
ZULKOR_IID(IWDFNamedPropertyStore2, 0x553313e6, 0x45cf, 0x410e, 0x8c, 0xc2, 0xbc, 0xec, 0xd7, 0x82, 0x85, 0x59);
ZULKOR_IID(IWDFIoQueue, 0xf159d41d, 0xc542, 0x4546, 0xa9, 0xd1, 0xca, 0x9f, 0x4a, 0x19, 0x44, 0xba);
ZULKOR_IID(IWDFIoRequest, 0xf540ae5b, 0xd77c, 0x4642, 0xb2, 0x3c, 0x79, 0x96, 0xd1, 0x26, 0xc2, 0x34);
ZULKOR_IID(IWDFMemory, 0x23f75c53, 0x392f, 0x46cd, 0x9a, 0xf1, 0x9c, 0xb9, 0xbc, 0x46, 0xa4, 0x39);
ZULKOR_IID(IWDFFile, 0x2bc1845f, 0x0ce1, 0x44f5, 0x98, 0xe4, 0x9f, 0x3a, 0x51, 0xef, 0xe9, 0xc7);
ZULKOR_IID(IWDFRemoteInterfaceInitialize, 0x18ff7aab, 0x6032, 0x4ad4, 0xa2, 0x64, 0x81, 0x46, 0x0a, 0x1f, 0xff, 0xe3);
ZULKOR_IID(IDriverEntry, 0x5b56f06a, 0xdaf0, 0x4d3c, 0xa4, 0x6b, 0x41, 0x05, 0x9a, 0x57, 0x49, 0x4a);
ZULKOR_IID(IObjectCleanup, 0x8f21c5df, 0xbdc2, 0x4abf, 0xa1, 0xd7, 0x03, 0x42, 0x87, 0xb2, 0xdf, 0xb5);
ZULKOR_IID(IPnpCallbackRemoteInterfaceNotification, 0xb66aff43, 0x1752, 0x41e5, 0x94, 0x19, 0x2b, 0xe4, 0x1c, 0x78, 0x9b, 0xf8);
ZULKOR_IID(IFileCallbackCleanup, 0x9b802813, 0x5f8f, 0x4070, 0x88, 0xda, 0x85, 0xaf, 0x0e, 0x6d, 0xbb, 0x13);
ZULKOR_IID(IQueueCallbackCreate, 0x533bb783, 0x1c9e, 0x4552, 0xac, 0x0f, 0x06, 0x38, 0x80, 0xec, 0x36, 0x60);
ZULKOR_IID(IQueueCallbackRead, 0xe38a4c80, 0x273f, 0x4941, 0x89, 0xdd, 0xd1, 0x0f, 0x54, 0x65, 0x6c, 0x1b);
ZULKOR_IID(IQueueCallbackWrite, 0xccf44475, 0xca9b, 0x4d57, 0x88, 0xb8, 0x38, 0xe7, 0x0b, 0x5c, 0xb1, 0xff);
ZULKOR_IID(IQueueCallbackDeviceIoControl, 0xc328b88c, 0xa9e2, 0x4631, 0xbb, 0x1b, 0xf4, 0x7c, 0x38, 0x98, 0xe6, 0xcd);
ZULKOR_IID(IRequestCallbackCancel, 0x7f88abd3, 0xf31c, 0x4fb6, 0xbd, 0x20, 0xd1, 0x45, 0xd5, 0x31, 0xae, 0xd4);

#undef ZULKOR_IID

// --- Enums and structures --------------------------------------------------------------------

// The framework version a driver states in its exported Microsoft_WDF_UMDF_Version record.
struct UMDF_VERSION_DATA
{
    ULONG MajorNumber;
    ULONG MinorNumber;
    ULONG ServiceVersion;
};

// How the framework serialises a device's callbacks against each other.
enum WDF_CALLBACK_CONSTRAINT
{
    WdfCallbackConstraintInvalid = 0,
    WdfCallbackConstraintNone = 1,          // the driver serialises what it must itself
    WdfCallbackConstraintDeviceLevel = 2,   // one callback of the device at a time
};

enum WDF_IO_QUEUE_DISPATCH_TYPE
{
    WdfIoQueueDispatchInvalid = 0,
    WdfIoQueueDispatchSequential = 1,
    WdfIoQueueDispatchParallel = 2,
    WdfIoQueueDispatchManual = 3,
};

enum WDF_PROPERTY_STORE_ROOT_CLASS
{
    WdfPropertyStoreRootClassHardwareKey = 0,         // the device's hardware key
    WdfPropertyStoreRootClassSoftwareKey = 1,         // the device's software (driver) key
    WdfPropertyStoreRootClassDeviceInterfaceKey = 2,
    WdfPropertyStoreRootClassLegacyHardwareKey = 3,   // HKLM\HARDWARE\DEVICEMAP\<map name>
};

enum WDF_PROPERTY_STORE_RETRIEVE_FLAGS
{
    WdfPropertyStoreNormal = 0,            // open an existing store only
    WdfPropertyStoreCreateIfMissing = 1,
    WdfPropertyStoreCreateVolatile = 2,    // create it if missing, gone at the next boot
};

enum WDF_PROPERTY_STORE_DISPOSITION
{
    WdfPropertyStoreCreatedNewStore = 0,
    WdfPropertyStoreOpenedExistingStore = 1,
};

struct WDF_PROPERTY_STORE_ROOT
{
    ULONG LengthCb;                          // sizeof(WDF_PROPERTY_STORE_ROOT)
    WDF_PROPERTY_STORE_ROOT_CLASS RootClass;
    union {
        struct {
            PCWSTR ServiceName;              // L"\\" names the key's root
        } HardwareKey;
        struct {
            PCWSTR LegacyMapName;            // L"SERIALCOMM", L"PARALLEL PORTS"
        } LegacyHardwareKey;
    } Qualifier;
};

// --- Framework objects -----------------------------------------------------------------------

struct IWDFDevice;
struct IWDFIoQueue;
struct IWDFMemory;
struct IWDFNamedPropertyStore2;

struct IWDFObject : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE DeleteWdfObject() = 0;
};

struct IWDFDeviceInitialize : public IUnknown
{
    virtual void STDMETHODCALLTYPE SetLockingConstraint(WDF_CALLBACK_CONSTRAINT constraint) = 0;
};

struct IWDFDriver : public IWDFObject
{
    // The framework device takes a reference on `callbacks`; *device comes back referenced.
    virtual HRESULT STDMETHODCALLTYPE CreateDevice(IWDFDeviceInitialize *init, IUnknown *callbacks,
                                                   IWDFDevice **device) = 0;
};

struct IWDFDevice : public IWDFObject
{
    // With a null buffer, *characters receives the length needed, terminator included.
    virtual HRESULT STDMETHODCALLTYPE RetrieveDeviceInstanceId(PWSTR buffer, DWORD *characters) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateDeviceInterface(REFGUID interfaceClass, PCWSTR reference) = 0;
    virtual HRESULT STDMETHODCALLTYPE AssignDeviceInterfaceState(REFGUID interfaceClass, PCWSTR reference,
                                                                 BOOL enable) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateSymbolicLink(PCWSTR name) = 0;
    // The queue takes a reference on `callbacks`; *queue comes back referenced.
    virtual HRESULT STDMETHODCALLTYPE CreateIoQueue(IUnknown *callbacks, BOOL defaultQueue,
                                                    WDF_IO_QUEUE_DISPATCH_TYPE dispatch, BOOL powerManaged,
                                                    BOOL allowZeroLengthRequests, IWDFIoQueue **queue) = 0;
};

// The device's newer interface: notification of device interfaces that arrive on the system.
struct IWDFDevice2 : public IWDFDevice
{
    virtual HRESULT STDMETHODCALLTYPE RegisterRemoteInterfaceNotification(const GUID *interfaceClass,
                                                                          BOOL includeExisting) = 0;
};

struct IWDFPropertyStoreFactory : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE RetrieveDevicePropertyStore(
        WDF_PROPERTY_STORE_ROOT *root, WDF_PROPERTY_STORE_RETRIEVE_FLAGS flags, REGSAM access,
        PCWSTR subkey, IWDFNamedPropertyStore2 **store, WDF_PROPERTY_STORE_DISPOSITION *disposition) = 0;
};

// Values come back in PROPVARIANTs that the caller clears with PropVariantClear.
struct IWDFNamedPropertyStore : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE GetNamedValue(PCWSTR name, PROPVARIANT *value) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetNamedValue(PCWSTR name, const PROPVARIANT *value) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNameCount(DWORD *count) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNameAt(DWORD index, PROPVARIANT *name) = 0;
};

struct IWDFNamedPropertyStore2 : public IWDFNamedPropertyStore
{
    virtual HRESULT STDMETHODCALLTYPE DeleteNamedValue(PCWSTR name) = 0;
};

struct IWDFIoQueue : public IWDFObject
{
};

struct IWDFFile : public IWDFObject
{
};

struct IWDFRemoteInterfaceInitialize : public IUnknown
{
};

struct IWDFMemory : public IWDFObject
{
    virtual void *STDMETHODCALLTYPE GetDataBuffer(SIZE_T *size) = 0;
    virtual SIZE_T STDMETHODCALLTYPE GetSize() = 0;
    // Both fail, copying nothing, when offset + size runs past the memory's end.
    virtual HRESULT STDMETHODCALLTYPE CopyFromBuffer(SIZE_T offset, const void *source, SIZE_T size) = 0;
    virtual HRESULT STDMETHODCALLTYPE CopyToBuffer(SIZE_T offset, void *destination, SIZE_T size) = 0;
};

struct IWDFIoRequest : public IWDFObject
{
    virtual void STDMETHODCALLTYPE Complete(HRESULT status) = 0;
    virtual void STDMETHODCALLTYPE CompleteWithInformation(HRESULT status, SIZE_T information) = 0;
    // The create request's options (create disposition in the high byte), attributes and
    // share access.
    virtual void STDMETHODCALLTYPE GetCreateParameters(ULONG *options, USHORT *fileAttributes,
                                                       USHORT *shareAccess) = 0;
    // A request without such a buffer gives a null memory object.
    virtual void STDMETHODCALLTYPE GetInputMemory(IWDFMemory **memory) = 0;
    virtual void STDMETHODCALLTYPE GetOutputMemory(IWDFMemory **memory) = 0;
};

// --- Callback interfaces the driver implements -----------------------------------------------

struct IDriverEntry : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE OnInitialize(IWDFDriver *driver) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnDeviceAdd(IWDFDriver *driver, IWDFDeviceInitialize *init) = 0;
    virtual void STDMETHODCALLTYPE OnDeinitialize(IWDFDriver *driver) = 0;
};

struct IObjectCleanup : public IUnknown
{
    virtual void STDMETHODCALLTYPE OnCleanup(IWDFObject *object) = 0;
};

struct IPnpCallbackRemoteInterfaceNotification : public IUnknown
{
    virtual void STDMETHODCALLTYPE OnRemoteInterfaceArrival(IWDFRemoteInterfaceInitialize *init) = 0;
};

struct IFileCallbackCleanup : public IUnknown
{
    virtual void STDMETHODCALLTYPE OnCleanupFile(IWDFFile *file) = 0;
};

struct IQueueCallbackCreate : public IUnknown
{
    virtual void STDMETHODCALLTYPE OnCreateFile(IWDFIoQueue *queue, IWDFIoRequest *request, IWDFFile *file) = 0;
};

struct IQueueCallbackRead : public IUnknown
{
    virtual void STDMETHODCALLTYPE OnRead(IWDFIoQueue *queue, IWDFIoRequest *request, SIZE_T count) = 0;
};

struct IQueueCallbackWrite : public IUnknown
{
    virtual void STDMETHODCALLTYPE OnWrite(IWDFIoQueue *queue, IWDFIoRequest *request, SIZE_T count) = 0;
};

struct IQueueCallbackDeviceIoControl : public IUnknown
{
    virtual void STDMETHODCALLTYPE OnDeviceIoControl(IWDFIoQueue *queue, IWDFIoRequest *request,
                                                     ULONG controlCode, SIZE_T inputSize,
                                                     SIZE_T outputSize) = 0;
};

struct IRequestCallbackCancel : public IUnknown
{
    virtual void STDMETHODCALLTYPE OnCancel(IWDFIoRequest *request) = 0;
};
