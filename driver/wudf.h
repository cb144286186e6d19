// The user-mode driver framework (1.9) as the framework's host sees it: the framework objects
// the driver calls, the callback interfaces it implements, and the enums and structures they
// pass. The host asks our objects for interfaces by these ids and calls every method by its slot
// number, so ids, method order, parameter types, enum values and structure layouts here are the
// framework's own binary interface, declared from its published definitions (the framework's
// interface definition and its reference pages). Every method of every interface is declared,
// also the ones the driver never calls, so that the slots line up.
//
// Each interface's methods are listed once, in slot order, in a ZULKOR_METHODS_<name> list. That
// one list gives both the C++ interface (pure virtual methods, the layout the compilers emit for
// a COM interface) and a plain structure of one pointer per slot, whose member offsets wudf_layout.h
// checks against the framework's slot numbers at compile time for both processor variants.
//
// Facts taken from the framework's 1.x interface versions that the 1.9 framework still serves
// unchanged (a published COM interface never changes): IWDFIoRequest, IWDFMemory, IWDFFile and
// IObjectCleanup come from the framework's 1.0 type library as published; all other ids and
// method lists from the framework's published C/C++ interface definition of a later 1.x release,
// which carries the 1.9 interfaces unchanged beside newer ones. IWDFIoRequest2 (new in 1.9) is
// declared from that definition too; its reference pages list the same method order.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <propidl.h>

// --- Interface ids ---------------------------------------------------------------------------

#define ZULKOR_IID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
    inline constexpr IID IID_##name = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}

ZULKOR_IID(IWDFObject, 0x64275c66, 0x2e71, 0x4060, 0xb5, 0xf4, 0x3a, 0x76, 0xdf, 0x96, 0xed, 0x3c);
ZULKOR_IID(IWDFDriver, 0xad368ebe, 0x4139, 0x43e3, 0xa8, 0x75, 0x69, 0xb2, 0x66, 0xa9, 0x13, 0x9c);
ZULKOR_IID(IWDFDeviceInitialize, 0x74cc381c, 0x0871, 0x43c1, 0x87, 0x8b, 0x3f, 0x7c, 0x9d, 0x16, 0x93, 0x3d);
ZULKOR_IID(IWDFDevice, 0xd657fe45, 0x460a, 0x49c3, 0x82, 0x19, 0x76, 0x6a, 0xe8, 0x03, 0x2a, 0x80);
ZULKOR_IID(IWDFDevice2, 0x1b0d07b1, 0xf596, 0x4a76, 0x99, 0xb3, 0xb9, 0x49, 0x2a, 0xd8, 0xdf, 0x9f);
ZULKOR_IID(IWDFNamedPropertyStore, 0x394b48c9, 0xbca0, 0x498f, 0x8e, 0x2c, 0x01, 0x22, 0x54, 0x64, 0xa9, 0x32);
ZULKOR_IID(IWDFNamedPropertyStore2, 0x1464ee0e, 0x8e0f, 0x4fda, 0xb1, 0xa0, 0xb3, 0x61, 0x4c, 0x40, 0x5d, 0x56);
ZULKOR_IID(IWDFIoQueue, 0xae1162b9, 0x8b11, 0x4714, 0x99, 0x3d, 0x93, 0xdc, 0x48, 0xcc, 0x9e, 0x8a);
ZULKOR_IID(IWDFIoRequest, 0x896df312, 0x22b4, 0x4a9d, 0x95, 0xdd, 0xa3, 0x64, 0xaa, 0xf5, 0x97, 0x69);
ZULKOR_IID(IWDFIoRequest2, 0x1b67f4cd, 0xb278, 0x4085, 0x93, 0xe7, 0x57, 0x97, 0x0d, 0x98, 0xb9, 0x2b);
ZULKOR_IID(IWDFFile, 0xcc8fe04b, 0xfe8b, 0x4245, 0xaf, 0xd6, 0xc3, 0x1b, 0xc8, 0x30, 0xc7, 0x91);
ZULKOR_IID(IWDFMemory, 0xab098f88, 0x8f16, 0x472a, 0xb0, 0xbc, 0xec, 0xa4, 0x64, 0x86, 0xc1, 0x02);
ZULKOR_IID(IWDFRemoteInterfaceInitialize, 0x8073d34c, 0x4a21, 0x4321, 0xb6, 0xc7, 0xa9, 0x63, 0xfb, 0xec, 0xb6, 0xad);
ZULKOR_IID(IWDFPropertyStoreFactory, 0x45be7e06, 0x9b65, 0x434d, 0xa7, 0xd6, 0x95, 0x72, 0xd7, 0xf7, 0x3d, 0x53);
ZULKOR_IID(IObjectCleanup, 0x244abe3a, 0xabbc, 0x43b1, 0xa8, 0x77, 0xf0, 0x00, 0x77, 0x55, 0x0e, 0x6a);
ZULKOR_IID(IDriverEntry, 0x1bec7499, 0x8881, 0x4f2b, 0xb0, 0x1c, 0xa1, 0xa9, 0x07, 0x30, 0x4a, 0xfc);
ZULKOR_IID(IQueueCallbackCreate, 0x7d8899f0, 0x8da9, 0x435f, 0x98, 0x3c, 0x7e, 0x17, 0xd4, 0x35, 0x69, 0x97);
ZULKOR_IID(IQueueCallbackRead, 0xc3072620, 0x1da6, 0x48fb, 0xb4, 0xfe, 0xed, 0x65, 0x2b, 0x16, 0xae, 0xb2);
ZULKOR_IID(IQueueCallbackWrite, 0x4888cbc5, 0x3fa2, 0x4ea3, 0x89, 0xa3, 0xc2, 0x0e, 0xd6, 0xe0, 0x47, 0x78);
ZULKOR_IID(IQueueCallbackDeviceIoControl, 0xc5411408, 0x0f1e, 0x4ed6, 0xa4, 0x12, 0x36, 0xdd, 0x15, 0xee, 0xe7, 0x07);
ZULKOR_IID(IRequestCallbackCancel, 0x4e9f1a77, 0x4587, 0x4235, 0x81, 0xc4, 0xe6, 0xd2, 0x45, 0x45, 0xa6, 0x56);
ZULKOR_IID(IFileCallbackCleanup, 0x35c5f79c, 0x6d81, 0x4819, 0xaa, 0x64, 0xd6, 0xa8, 0x93, 0x9d, 0x94, 0xd6);
ZULKOR_IID(IPnpCallbackRemoteInterfaceNotification, 0xf9d48f27, 0xbdbe, 0x4a96, 0xaf, 0x96, 0x0e, 0x53, 0xe2, 0xa4, 0x36, 0xec);

#undef ZULKOR_IID

// --- Enums and structures --------------------------------------------------------------------
//
// Enums travel as 32-bit values in both processor variants; only the values the driver passes
// are spelled out beyond the framework's own list.

// The framework version a driver states in its exported Microsoft_WDF_UMDF_Version record.
struct UMDF_VERSION_DATA
{
    ULONG MajorNumber;
    ULONG MinorNumber;
    ULONG ServiceNumber;
};

// How the framework serialises a device's callbacks against each other. The framework names the
// first value None; a longer name keeps it from colliding with anything else called None.
enum WDF_CALLBACK_CONSTRAINT
{
    WdfCallbackConstraintNone = 0,   // the driver serialises what it must itself
    WdfDeviceLevel = 1,              // one callback of the device (queues and files included) at a time
    WdfLevelReserved = 2,
};

enum WDF_IO_QUEUE_DISPATCH_TYPE
{
    WdfIoQueueDispatchSequential = 1,
    WdfIoQueueDispatchParallel = 2,
    WdfIoQueueDispatchManual = 3,
};

enum WDF_PROPERTY_STORE_ROOT_CLASS
{
    WdfPropertyStoreRootClassHardwareKey = 0,         // the device's hardware key
    WdfPropertyStoreRootClassSoftwareKey = 1,         // the device's software (driver) key
    WdfPropertyStoreRootClassDeviceInterfaceKey = 2,  // a device interface's key
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
    CreatedNewStore = 1,
    OpenedExistingStore = 2,
};

enum WDF_TRI_STATE
{
    WdfUseDefault = 0,
    WdfFalse = 1,
    WdfTrue = 2,
};

enum WDF_PNP_CAPABILITY
{
    WdfPnpCapInvalid = 0,
};

enum WDF_PNP_STATE
{
    WdfPnpStateInvalid = 0,
};

enum WDF_EVENT_TYPE
{
    WdfEventReserved = 0,
    WdfEventBroadcast = 1,
};

enum WDF_REQUEST_TYPE
{
    WdfRequestUndefined = 0,
    WdfRequestCreate = 1,
    WdfRequestCleanup = 2,
    WdfRequestRead = 3,
    WdfRequestWrite = 4,
    WdfRequestDeviceIoControl = 5,
    WdfRequestClose = 6,
};

enum WDF_IO_QUEUE_STATE
{
    WdfIoQueueAcceptRequests = 0x01,
};

enum WDF_POWER_POLICY_S0_IDLE_CAPABILITIES
{
    IdleCapsInvalid = 0,
};

enum WDF_POWER_POLICY_S0_IDLE_USER_CONTROL
{
    IdleUserControlInvalid = 0,
};

enum WDF_POWER_POLICY_SX_WAKE_USER_CONTROL
{
    WakeUserControlInvalid = 0,
};

enum WDF_DEVICE_IO_TYPE
{
    WdfDeviceIoUndefined = 0,
};

// Where a request came from (IWDFIoRequest2::GetRequestorMode).
enum WDF_KPROCESSOR_MODE
{
    WdfKProcessorModeInvalid = 0,
    WdfKernelMode = 1,
    WdfUserMode = 2,
};

// The file information a query- or set-information request names; the framework's list starts
// at 1.
enum WDF_FILE_INFORMATION_CLASS
{
    WdfFileInformationDirectory = 1,
};

struct WDFMEMORY_OFFSET
{
    ULONG_PTR BufferOffset;
    ULONG_PTR BufferLength;
};

// Which registry key a property store opens. The qualifier union holds the largest of its three
// members, the device interface key's two pointers, in both processor variants.
struct WDF_PROPERTY_STORE_ROOT
{
    ULONG LengthCb;                          // sizeof(WDF_PROPERTY_STORE_ROOT)
    WDF_PROPERTY_STORE_ROOT_CLASS RootClass;
    union {
        struct {
            PCWSTR ServiceName;              // L"\\" names the key's root
        } HardwareKey;
        struct {
            const GUID *InterfaceGUID;
            PCWSTR ReferenceString;
        } DeviceInterfaceKey;
        struct {
            PCWSTR LegacyMapName;            // L"SERIALCOMM", L"PARALLEL PORTS"
        } LegacyHardwareKey;
    } Qualifier;
};

// --- Declaration machinery -------------------------------------------------------------------

// One method: ZULKOR_METHOD(return type, name, (parameters)).
#define ZULKOR_PURE_METHOD(ret, name, params) virtual ret STDMETHODCALLTYPE name params = 0;
#define ZULKOR_SLOT_MEMBER(ret, name, params) void *name;

// The slots of IUnknown, the root of every interface's slot structure.
struct IUnknownSlots
{
    void *QueryInterface;
    void *AddRef;
    void *Release;
};

// Declares interface `name` deriving from `base` with the methods of ZULKOR_METHODS_<name>, and
// its slot structure `name##Slots`, whose first member holds the base's slots.
#define ZULKOR_INTERFACE(name, base)                    \
    struct name : public base                           \
    {                                                   \
        ZULKOR_METHODS_##name(ZULKOR_PURE_METHOD)       \
    };                                                  \
    struct name##Slots                                  \
    {                                                   \
        base##Slots inherited;                          \
        ZULKOR_METHODS_##name(ZULKOR_SLOT_MEMBER)       \
    };

struct IWDFObject;
struct IWDFDriver;
struct IWDFDeviceInitialize;
struct IWDFDevice;
struct IWDFIoQueue;
struct IWDFIoRequest;
struct IWDFIoRequest2;
struct IWDFMemory;
struct IWDFFile;
struct IWDFNamedPropertyStore;
struct IWDFNamedPropertyStore2;
struct IWDFRemoteInterfaceInitialize;
struct IObjectCleanup;
struct IRequestCallbackCancel;
// Framework objects the driver never touches; only their pointers appear in signatures.
struct IWDFIoTarget;
struct IWDFDriverCreatedFile;
struct IWDFRemoteInterface;
struct IWDFRemoteTarget;
struct IWDFRequestCompletionParams;
struct IRequestCallbackRequestCompletion;
struct IQueueCallbackStateChange;
struct IImpersonateCallback;

// --- Framework objects -----------------------------------------------------------------------

#define ZULKOR_METHODS_IWDFObject(M)                                                       \
    M(HRESULT, DeleteWdfObject, ())                                                        \
    M(HRESULT, AssignContext, (IObjectCleanup * cleanupCallback, void *context))           \
    M(HRESULT, RetrieveContext, (void **context))                                          \
    M(void, AcquireLock, ())                                                               \
    M(void, ReleaseLock, ())
ZULKOR_INTERFACE(IWDFObject, IUnknown)

#define ZULKOR_METHODS_IWDFDriver(M)                                                       \
    /* The framework device takes a reference on `callbacks`; *device comes back referenced. */ \
    M(HRESULT, CreateDevice, (IWDFDeviceInitialize * init, IUnknown * callbacks, IWDFDevice * *device)) \
    M(HRESULT, CreateWdfObject, (IUnknown * callbacks, IWDFObject * parent, IWDFObject * *object)) \
    M(HRESULT, CreatePreallocatedWdfMemory, (BYTE * buffer, SIZE_T size, IUnknown * callbacks, \
                                             IWDFObject * parent, IWDFMemory * *memory))   \
    M(HRESULT, CreateWdfMemory, (SIZE_T size, IUnknown * callbacks, IWDFObject * parent,   \
                                 IWDFMemory * *memory))                                    \
    M(BOOL, IsVersionAvailable, (UMDF_VERSION_DATA * minimumVersion))                      \
    M(HRESULT, RetrieveVersionString, (PWSTR version, DWORD *length))
ZULKOR_INTERFACE(IWDFDriver, IWDFObject)

#define ZULKOR_METHODS_IWDFDeviceInitialize(M)                                             \
    M(void, SetFilter, ())                                                                 \
    M(void, SetLockingConstraint, (WDF_CALLBACK_CONSTRAINT lockType))                      \
    M(HRESULT, RetrieveDevicePropertyStore, (PCWSTR serviceName, WDF_PROPERTY_STORE_RETRIEVE_FLAGS flags, \
                                             IWDFNamedPropertyStore * *store,              \
                                             WDF_PROPERTY_STORE_DISPOSITION * disposition)) \
    M(void, SetPowerPolicyOwnership, (BOOL owner))                                         \
    M(void, AutoForwardCreateCleanupClose, (WDF_TRI_STATE state))                          \
    M(HRESULT, RetrieveDeviceInstanceId, (PWSTR buffer, DWORD *characters))                \
    M(void, SetPnpCapability, (WDF_PNP_CAPABILITY capability, WDF_TRI_STATE value))        \
    M(WDF_TRI_STATE, GetPnpCapability, (WDF_PNP_CAPABILITY capability))
ZULKOR_INTERFACE(IWDFDeviceInitialize, IUnknown)

#define ZULKOR_METHODS_IWDFDevice(M)                                                       \
    M(HRESULT, RetrieveDevicePropertyStore, (PCWSTR serviceName, WDF_PROPERTY_STORE_RETRIEVE_FLAGS flags, \
                                             IWDFNamedPropertyStore * *store,              \
                                             WDF_PROPERTY_STORE_DISPOSITION * disposition)) \
    M(void, GetDriver, (IWDFDriver * *driver))                                             \
    /* With a null buffer, *characters receives the length needed, terminator included. */ \
    M(HRESULT, RetrieveDeviceInstanceId, (PWSTR buffer, DWORD *characters))                \
    M(void, GetDefaultIoTarget, (IWDFIoTarget * *target))                                  \
    M(HRESULT, CreateWdfFile, (LPCWSTR fileName, IWDFDriverCreatedFile * *file))           \
    M(void, GetDefaultIoQueue, (IWDFIoQueue * *queue))                                     \
    /* The queue takes a reference on `callbacks`; *queue comes back referenced. */        \
    M(HRESULT, CreateIoQueue, (IUnknown * callbacks, BOOL defaultQueue, WDF_IO_QUEUE_DISPATCH_TYPE dispatch, \
                               BOOL powerManaged, BOOL allowZeroLengthRequests, IWDFIoQueue * *queue)) \
    M(HRESULT, CreateDeviceInterface, (const GUID *interfaceClass, PCWSTR reference))      \
    M(HRESULT, AssignDeviceInterfaceState, (const GUID *interfaceClass, PCWSTR reference, BOOL enable)) \
    M(HRESULT, RetrieveDeviceName, (PWSTR name, DWORD *length))                            \
    M(HRESULT, PostEvent, (REFGUID eventGuid, WDF_EVENT_TYPE eventType, BYTE * data, DWORD size)) \
    M(HRESULT, ConfigureRequestDispatching, (IWDFIoQueue * queue, WDF_REQUEST_TYPE type, BOOL forward)) \
    M(void, SetPnpState, (WDF_PNP_STATE state, WDF_TRI_STATE value))                       \
    M(WDF_TRI_STATE, GetPnpState, (WDF_PNP_STATE state))                                   \
    M(void, CommitPnpState, ())                                                            \
    M(HRESULT, CreateRequest, (IUnknown * callbacks, IWDFObject * parent, IWDFIoRequest * *request)) \
    M(HRESULT, CreateSymbolicLink, (PCWSTR name))
ZULKOR_INTERFACE(IWDFDevice, IWDFObject)

// The device's newer interface: notification of device interfaces that arrive on the system.
#define ZULKOR_METHODS_IWDFDevice2(M)                                                      \
    M(HRESULT, AssignS0IdleSettings, (WDF_POWER_POLICY_S0_IDLE_CAPABILITIES idleCaps,      \
                                      DEVICE_POWER_STATE dxState, ULONG idleTimeout,       \
                                      WDF_POWER_POLICY_S0_IDLE_USER_CONTROL userControl,   \
                                      WDF_TRI_STATE enabled))                              \
    M(HRESULT, StopIdle, (BOOL waitForD0))                                                 \
    M(void, ResumeIdle, ())                                                                \
    M(HRESULT, CreateSymbolicLinkWithReferenceString, (PCWSTR name, PCWSTR reference))     \
    M(HRESULT, RegisterRemoteInterfaceNotification, (const GUID *interfaceClass, BOOL includeExisting)) \
    M(HRESULT, CreateRemoteInterface, (IWDFRemoteInterfaceInitialize * init, IUnknown * callbacks, \
                                       IWDFRemoteInterface * *remoteInterface))            \
    M(HRESULT, CreateRemoteTarget, (IUnknown * callbacks, IWDFObject * parent, IWDFRemoteTarget * *target)) \
    M(void, GetDeviceStackIoTypePreference, (WDF_DEVICE_IO_TYPE * readWrite, WDF_DEVICE_IO_TYPE * ioControl)) \
    M(HRESULT, AssignSxWakeSettings, (DEVICE_POWER_STATE dxState,                          \
                                      WDF_POWER_POLICY_SX_WAKE_USER_CONTROL userControl,   \
                                      WDF_TRI_STATE enabled))                              \
    M(POWER_ACTION, GetSystemPowerAction, ())
ZULKOR_INTERFACE(IWDFDevice2, IWDFDevice)

// Values come back in PROPVARIANTs that the caller clears with PropVariantClear. A name from
// GetNameAt is the caller's, released with delete[].
#define ZULKOR_METHODS_IWDFNamedPropertyStore(M)                                           \
    M(HRESULT, GetNamedValue, (LPCWSTR name, PROPVARIANT * value))                         \
    M(HRESULT, SetNamedValue, (LPCWSTR name, const PROPVARIANT *value))                    \
    M(HRESULT, GetNameCount, (DWORD * count))                                              \
    M(HRESULT, GetNameAt, (DWORD index, PWSTR * name))
ZULKOR_INTERFACE(IWDFNamedPropertyStore, IUnknown)

#define ZULKOR_METHODS_IWDFNamedPropertyStore2(M)                                          \
    M(HRESULT, DeleteNamedValue, (LPCWSTR name))
ZULKOR_INTERFACE(IWDFNamedPropertyStore2, IWDFNamedPropertyStore)

#define ZULKOR_METHODS_IWDFPropertyStoreFactory(M)                                         \
    M(HRESULT, RetrieveDevicePropertyStore, (WDF_PROPERTY_STORE_ROOT * root,               \
                                             WDF_PROPERTY_STORE_RETRIEVE_FLAGS flags, REGSAM access, \
                                             PCWSTR subkey, IWDFNamedPropertyStore2 * *store, \
                                             WDF_PROPERTY_STORE_DISPOSITION * disposition))
ZULKOR_INTERFACE(IWDFPropertyStoreFactory, IUnknown)

#define ZULKOR_METHODS_IWDFIoQueue(M)                                                      \
    M(void, GetDevice, (IWDFDevice * *device))                                             \
    M(HRESULT, ConfigureRequestDispatching, (WDF_REQUEST_TYPE type, BOOL forward))         \
    M(WDF_IO_QUEUE_STATE, GetState, (ULONG * inQueue, ULONG * inDriver))                   \
    /* A manual queue's oldest request, referenced, now the driver's; HRESULT_FROM_WIN32(    \
       ERROR_NO_MORE_ITEMS) when it holds none. A request cancelled while it sits in a queue \
       without a cancel callback of its own is completed by the framework, and never comes out. */ \
    M(HRESULT, RetrieveNextRequest, (IWDFIoRequest * *request))                            \
    M(HRESULT, RetrieveNextRequestByFileObject, (IWDFFile * file, IWDFIoRequest * *request)) \
    M(void, Start, ())                                                                     \
    M(void, Stop, (IQueueCallbackStateChange * stopComplete))                              \
    M(void, StopSynchronously, ())                                                         \
    M(void, Drain, (IQueueCallbackStateChange * drainComplete))                            \
    M(void, DrainSynchronously, ())                                                        \
    M(void, Purge, (IQueueCallbackStateChange * purgeComplete))                            \
    M(void, PurgeSynchronously, ())
ZULKOR_INTERFACE(IWDFIoQueue, IWDFObject)

#define ZULKOR_METHODS_IWDFIoRequest(M)                                                    \
    M(void, CompleteWithInformation, (HRESULT status, SIZE_T information))                 \
    M(void, SetInformation, (ULONG_PTR information))                                       \
    M(void, Complete, (HRESULT status))                                                    \
    M(void, SetCompletionCallback, (IRequestCallbackRequestCompletion * callback, void *context)) \
    M(WDF_REQUEST_TYPE, GetType, ())                                                       \
    /* The create request's options (create disposition in the high byte), attributes and \
       share access. */                                                                    \
    M(void, GetCreateParameters, (ULONG * options, USHORT * fileAttributes, USHORT * shareAccess)) \
    M(void, GetReadParameters, (SIZE_T * size, LONGLONG * offset, ULONG * key))            \
    M(void, GetWriteParameters, (SIZE_T * size, LONGLONG * offset, ULONG * key))           \
    M(void, GetDeviceIoControlParameters, (ULONG * controlCode, SIZE_T * inSize, SIZE_T * outSize)) \
    /* A request without such a buffer gives a null memory object. */                     \
    M(void, GetOutputMemory, (IWDFMemory * *memory))                                       \
    M(void, GetInputMemory, (IWDFMemory * *memory))                                        \
    M(void, MarkCancelable, (IRequestCallbackCancel * callback))                           \
    M(HRESULT, UnmarkCancelable, ())                                                       \
    M(BOOL, CancelSentRequest, ())                                                         \
    /* Into another queue of the device than the one it came from; not for a request taken \
       out with RetrieveNextRequest. */                                                    \
    M(HRESULT, ForwardToIoQueue, (IWDFIoQueue * destination))                              \
    M(HRESULT, Send, (IWDFIoTarget * target, ULONG flags, LONGLONG timeout))               \
    M(void, GetFileObject, (IWDFFile * *file))                                             \
    M(void, FormatUsingCurrentType, ())                                                    \
    M(ULONG, GetRequestorProcessId, ())                                                    \
    M(void, GetIoQueue, (IWDFIoQueue * *queue))                                            \
    M(HRESULT, Impersonate, (SECURITY_IMPERSONATION_LEVEL level, IImpersonateCallback * callback, \
                             void *context))                                               \
    M(BOOL, IsFrom32BitProcess, ())                                                        \
    M(void, GetCompletionParams, (IWDFRequestCompletionParams * *params))
ZULKOR_INTERFACE(IWDFIoRequest, IWDFObject)

// The request's newer interface (framework 1.9), asked for with QueryInterface on a request.
#define ZULKOR_METHODS_IWDFIoRequest2(M)                                                   \
    M(void, Reuse, (HRESULT status))                                                       \
    M(WDF_KPROCESSOR_MODE, GetRequestorMode, ())                                           \
    M(BOOL, IsFromUserModeDriver, ())                                                      \
    M(HRESULT, RetrieveInputBuffer, (SIZE_T minimumSize, PVOID * buffer, SIZE_T * size))   \
    M(HRESULT, RetrieveOutputBuffer, (SIZE_T minimumSize, PVOID * buffer, SIZE_T * size))  \
    M(HRESULT, RetrieveInputMemory, (IWDFMemory * *memory))                                \
    M(HRESULT, RetrieveOutputMemory, (IWDFMemory * *memory))                               \
    M(WDF_DEVICE_IO_TYPE, GetEffectiveIoType, ())                                          \
    M(void, GetCreateParametersEx, (ULONG * options, USHORT * fileAttributes, USHORT * shareAccess, \
                                    ACCESS_MASK * desiredAccess))                          \
    M(void, GetQueryInformationParameters, (WDF_FILE_INFORMATION_CLASS * informationClass, SIZE_T * size)) \
    M(void, GetSetInformationParameters, (WDF_FILE_INFORMATION_CLASS * informationClass, SIZE_T * size)) \
    /* TRUE once the request's sender cancelled it (CancelIo, its thread's end, the handle's \
       close), for a request the driver holds and has not marked cancelable. */            \
    M(BOOL, IsCanceled, ())                                                                \
    M(HRESULT, GetStatus, ())                                                              \
    M(void, StopAcknowledge, (BOOL requeue))                                               \
    /* Back to the head of the manual queue it was taken from. */                          \
    M(HRESULT, Requeue, ())
ZULKOR_INTERFACE(IWDFIoRequest2, IWDFIoRequest)

#define ZULKOR_METHODS_IWDFMemory(M)                                                       \
    M(HRESULT, CopyFromMemory, (IWDFMemory * source, WDFMEMORY_OFFSET * sourceOffset))     \
    /* Both copies fail, copying nothing, when offset + size runs past the memory's end. */ \
    M(HRESULT, CopyToBuffer, (ULONG_PTR offset, void *destination, SIZE_T size))           \
    M(HRESULT, CopyFromBuffer, (ULONG_PTR offset, void *source, SIZE_T size))              \
    M(SIZE_T, GetSize, ())                                                                 \
    M(void *, GetDataBuffer, (SIZE_T * size))                                              \
    M(void, SetBuffer, (void *buffer, SIZE_T size))
ZULKOR_INTERFACE(IWDFMemory, IWDFObject)

#define ZULKOR_METHODS_IWDFFile(M)                                                         \
    M(HRESULT, RetrieveFileName, (PWSTR name, DWORD *length))                              \
    M(void, GetDevice, (IWDFDevice * *device))
ZULKOR_INTERFACE(IWDFFile, IWDFObject)

#define ZULKOR_METHODS_IWDFRemoteInterfaceInitialize(M)                                    \
    M(void, GetInterfaceGuid, (GUID * interfaceClass))                                     \
    M(HRESULT, RetrieveSymbolicLink, (PWSTR link, DWORD *length))
ZULKOR_INTERFACE(IWDFRemoteInterfaceInitialize, IUnknown)

// --- Callback interfaces the driver implements -----------------------------------------------

#define ZULKOR_METHODS_IDriverEntry(M)                                                     \
    M(HRESULT, OnInitialize, (IWDFDriver * driver))                                        \
    M(HRESULT, OnDeviceAdd, (IWDFDriver * driver, IWDFDeviceInitialize * init))            \
    M(void, OnDeinitialize, (IWDFDriver * driver))
ZULKOR_INTERFACE(IDriverEntry, IUnknown)

#define ZULKOR_METHODS_IObjectCleanup(M) M(void, OnCleanup, (IWDFObject * object))
ZULKOR_INTERFACE(IObjectCleanup, IUnknown)

#define ZULKOR_METHODS_IPnpCallbackRemoteInterfaceNotification(M)                          \
    M(void, OnRemoteInterfaceArrival, (IWDFRemoteInterfaceInitialize * init))
ZULKOR_INTERFACE(IPnpCallbackRemoteInterfaceNotification, IUnknown)

#define ZULKOR_METHODS_IFileCallbackCleanup(M) M(void, OnCleanupFile, (IWDFFile * file))
ZULKOR_INTERFACE(IFileCallbackCleanup, IUnknown)

#define ZULKOR_METHODS_IQueueCallbackCreate(M)                                             \
    M(void, OnCreateFile, (IWDFIoQueue * queue, IWDFIoRequest * request, IWDFFile * file))
ZULKOR_INTERFACE(IQueueCallbackCreate, IUnknown)

#define ZULKOR_METHODS_IQueueCallbackRead(M)                                               \
    M(void, OnRead, (IWDFIoQueue * queue, IWDFIoRequest * request, SIZE_T count))
ZULKOR_INTERFACE(IQueueCallbackRead, IUnknown)

#define ZULKOR_METHODS_IQueueCallbackWrite(M)                                              \
    M(void, OnWrite, (IWDFIoQueue * queue, IWDFIoRequest * request, SIZE_T count))
ZULKOR_INTERFACE(IQueueCallbackWrite, IUnknown)

#define ZULKOR_METHODS_IQueueCallbackDeviceIoControl(M)                                    \
    M(void, OnDeviceIoControl, (IWDFIoQueue * queue, IWDFIoRequest * request, ULONG controlCode, \
                                SIZE_T inputSize, SIZE_T outputSize))
ZULKOR_INTERFACE(IQueueCallbackDeviceIoControl, IUnknown)

#define ZULKOR_METHODS_IRequestCallbackCancel(M) M(void, OnCancel, (IWDFIoRequest * request))
ZULKOR_INTERFACE(IRequestCallbackCancel, IUnknown)

#include "wudf_layout.h"
