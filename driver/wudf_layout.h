// Compile-time checks of the framework's binary interface as wudf.h declares it, for the 32-bit
// and the 64-bit build alike: the slot of every method of every interface declared there, the
// slot count of every interface (so no method is missing or extra anywhere in the list), each
// interface's base, the size of every structure the driver passes and the offset of every member
// it writes or reads. A method moved, dropped or added in any ZULKOR_METHODS_<name> list fails
// the build here, in both processor variants (offsetof and sizeof(void *) are taken per build).
//
// The slot numbers below are the framework's own, written out as numbers: slots 0-2 are
// IUnknown's, 3-7 IWDFObject's where an interface derives from it, then the interface's own
// methods in the order the framework defines them (IWDFDevice2's from 25, after IWDFDevice's,
// IWDFIoRequest2's from 31, after IWDFIoRequest's, IWDFNamedPropertyStore2's from 7, after
// IWDFNamedPropertyStore's). Inherited slots are checked
// once, on the base's own slot structure, which every derived one holds as its `inherited` member.
#pragma once

#include <cstddef>
#include <type_traits>

// The slot of `method` (a member of itf##Slots, a dotted path for inherited ones).
#define ZULKOR_SLOT_OF(itf, method) (offsetof(itf##Slots, method) / sizeof(void *))
#define ZULKOR_CHECK_SLOT(itf, method, slot) \
    static_assert(ZULKOR_SLOT_OF(itf, method) == (slot), #itf "::" #method " must be slot " #slot)
// An interface with `count` slots in all, and nothing but its table pointer in an object.
#define ZULKOR_CHECK_SLOTS(itf, count)                                                      \
    static_assert(sizeof(itf##Slots) == (count) * sizeof(void *), #itf " must have " #count " slots"); \
    static_assert(sizeof(itf) == sizeof(void *), #itf " must hold its table pointer only")
// An interface deriving from `base`, its slot structure starting with the base's slots.
#define ZULKOR_CHECK_BASE(itf, base)                                                        \
    static_assert(std::is_base_of<base, itf>::value, #itf " must derive from " #base);     \
    static_assert(std::is_same<decltype(itf##Slots::inherited), base##Slots>::value        \
                      && offsetof(itf##Slots, inherited) == 0,                              \
                  #itf "'s slots must start with " #base "'s")

// --- IUnknown --------------------------------------------------------------------------------

ZULKOR_CHECK_SLOTS(IUnknown, 3);
ZULKOR_CHECK_SLOT(IUnknown, QueryInterface,  0);
ZULKOR_CHECK_SLOT(IUnknown, AddRef,          1);
ZULKOR_CHECK_SLOT(IUnknown, Release,         2);

// --- Framework objects -----------------------------------------------------------------------

ZULKOR_CHECK_BASE(IWDFObject, IUnknown);
ZULKOR_CHECK_SLOTS(IWDFObject, 8);
ZULKOR_CHECK_SLOT(IWDFObject, DeleteWdfObject,  3);
ZULKOR_CHECK_SLOT(IWDFObject, AssignContext,    4);
ZULKOR_CHECK_SLOT(IWDFObject, RetrieveContext,  5);
ZULKOR_CHECK_SLOT(IWDFObject, AcquireLock,      6);
ZULKOR_CHECK_SLOT(IWDFObject, ReleaseLock,      7);

ZULKOR_CHECK_BASE(IWDFDriver, IWDFObject);
ZULKOR_CHECK_SLOTS(IWDFDriver, 14);
ZULKOR_CHECK_SLOT(IWDFDriver, CreateDevice,                 8);
ZULKOR_CHECK_SLOT(IWDFDriver, CreateWdfObject,              9);
ZULKOR_CHECK_SLOT(IWDFDriver, CreatePreallocatedWdfMemory, 10);
ZULKOR_CHECK_SLOT(IWDFDriver, CreateWdfMemory,             11);
ZULKOR_CHECK_SLOT(IWDFDriver, IsVersionAvailable,          12);
ZULKOR_CHECK_SLOT(IWDFDriver, RetrieveVersionString,       13);

ZULKOR_CHECK_BASE(IWDFDeviceInitialize, IUnknown);
ZULKOR_CHECK_SLOTS(IWDFDeviceInitialize, 11);
ZULKOR_CHECK_SLOT(IWDFDeviceInitialize, SetFilter,                      3);
ZULKOR_CHECK_SLOT(IWDFDeviceInitialize, SetLockingConstraint,           4);
ZULKOR_CHECK_SLOT(IWDFDeviceInitialize, RetrieveDevicePropertyStore,    5);
ZULKOR_CHECK_SLOT(IWDFDeviceInitialize, SetPowerPolicyOwnership,        6);
ZULKOR_CHECK_SLOT(IWDFDeviceInitialize, AutoForwardCreateCleanupClose,  7);
ZULKOR_CHECK_SLOT(IWDFDeviceInitialize, RetrieveDeviceInstanceId,       8);
ZULKOR_CHECK_SLOT(IWDFDeviceInitialize, SetPnpCapability,               9);
ZULKOR_CHECK_SLOT(IWDFDeviceInitialize, GetPnpCapability,              10);

ZULKOR_CHECK_BASE(IWDFDevice, IWDFObject);
ZULKOR_CHECK_SLOTS(IWDFDevice, 25);
ZULKOR_CHECK_SLOT(IWDFDevice, RetrieveDevicePropertyStore,  8);
ZULKOR_CHECK_SLOT(IWDFDevice, GetDriver,                    9);
ZULKOR_CHECK_SLOT(IWDFDevice, RetrieveDeviceInstanceId,    10);
ZULKOR_CHECK_SLOT(IWDFDevice, GetDefaultIoTarget,          11);
ZULKOR_CHECK_SLOT(IWDFDevice, CreateWdfFile,               12);
ZULKOR_CHECK_SLOT(IWDFDevice, GetDefaultIoQueue,           13);
ZULKOR_CHECK_SLOT(IWDFDevice, CreateIoQueue,               14);
ZULKOR_CHECK_SLOT(IWDFDevice, CreateDeviceInterface,       15);
ZULKOR_CHECK_SLOT(IWDFDevice, AssignDeviceInterfaceState,  16);
ZULKOR_CHECK_SLOT(IWDFDevice, RetrieveDeviceName,          17);
ZULKOR_CHECK_SLOT(IWDFDevice, PostEvent,                   18);
ZULKOR_CHECK_SLOT(IWDFDevice, ConfigureRequestDispatching, 19);
ZULKOR_CHECK_SLOT(IWDFDevice, SetPnpState,                 20);
ZULKOR_CHECK_SLOT(IWDFDevice, GetPnpState,                 21);
ZULKOR_CHECK_SLOT(IWDFDevice, CommitPnpState,              22);
ZULKOR_CHECK_SLOT(IWDFDevice, CreateRequest,               23);
ZULKOR_CHECK_SLOT(IWDFDevice, CreateSymbolicLink,          24);

ZULKOR_CHECK_BASE(IWDFDevice2, IWDFDevice);
ZULKOR_CHECK_SLOTS(IWDFDevice2, 35);
ZULKOR_CHECK_SLOT(IWDFDevice2, inherited.CreateSymbolicLink,          24);
ZULKOR_CHECK_SLOT(IWDFDevice2, AssignS0IdleSettings,                  25);
ZULKOR_CHECK_SLOT(IWDFDevice2, StopIdle,                              26);
ZULKOR_CHECK_SLOT(IWDFDevice2, ResumeIdle,                            27);
ZULKOR_CHECK_SLOT(IWDFDevice2, CreateSymbolicLinkWithReferenceString, 28);
ZULKOR_CHECK_SLOT(IWDFDevice2, RegisterRemoteInterfaceNotification,   29);
ZULKOR_CHECK_SLOT(IWDFDevice2, CreateRemoteInterface,                 30);
ZULKOR_CHECK_SLOT(IWDFDevice2, CreateRemoteTarget,                    31);
ZULKOR_CHECK_SLOT(IWDFDevice2, GetDeviceStackIoTypePreference,        32);
ZULKOR_CHECK_SLOT(IWDFDevice2, AssignSxWakeSettings,                  33);
ZULKOR_CHECK_SLOT(IWDFDevice2, GetSystemPowerAction,                  34);

ZULKOR_CHECK_BASE(IWDFNamedPropertyStore, IUnknown);
ZULKOR_CHECK_SLOTS(IWDFNamedPropertyStore, 7);
ZULKOR_CHECK_SLOT(IWDFNamedPropertyStore, GetNamedValue,  3);
ZULKOR_CHECK_SLOT(IWDFNamedPropertyStore, SetNamedValue,  4);
ZULKOR_CHECK_SLOT(IWDFNamedPropertyStore, GetNameCount,   5);
ZULKOR_CHECK_SLOT(IWDFNamedPropertyStore, GetNameAt,      6);

ZULKOR_CHECK_BASE(IWDFNamedPropertyStore2, IWDFNamedPropertyStore);
ZULKOR_CHECK_SLOTS(IWDFNamedPropertyStore2, 8);
ZULKOR_CHECK_SLOT(IWDFNamedPropertyStore2, DeleteNamedValue,  7);

ZULKOR_CHECK_BASE(IWDFPropertyStoreFactory, IUnknown);
ZULKOR_CHECK_SLOTS(IWDFPropertyStoreFactory, 4);
ZULKOR_CHECK_SLOT(IWDFPropertyStoreFactory, RetrieveDevicePropertyStore,  3);

ZULKOR_CHECK_BASE(IWDFIoQueue, IWDFObject);
ZULKOR_CHECK_SLOTS(IWDFIoQueue, 20);
ZULKOR_CHECK_SLOT(IWDFIoQueue, GetDevice,                        8);
ZULKOR_CHECK_SLOT(IWDFIoQueue, ConfigureRequestDispatching,      9);
ZULKOR_CHECK_SLOT(IWDFIoQueue, GetState,                        10);
ZULKOR_CHECK_SLOT(IWDFIoQueue, RetrieveNextRequest,             11);
ZULKOR_CHECK_SLOT(IWDFIoQueue, RetrieveNextRequestByFileObject, 12);
ZULKOR_CHECK_SLOT(IWDFIoQueue, Start,                           13);
ZULKOR_CHECK_SLOT(IWDFIoQueue, Stop,                            14);
ZULKOR_CHECK_SLOT(IWDFIoQueue, StopSynchronously,               15);
ZULKOR_CHECK_SLOT(IWDFIoQueue, Drain,                           16);
ZULKOR_CHECK_SLOT(IWDFIoQueue, DrainSynchronously,              17);
ZULKOR_CHECK_SLOT(IWDFIoQueue, Purge,                           18);
ZULKOR_CHECK_SLOT(IWDFIoQueue, PurgeSynchronously,              19);

ZULKOR_CHECK_BASE(IWDFIoRequest, IWDFObject);
ZULKOR_CHECK_SLOTS(IWDFIoRequest, 31);
ZULKOR_CHECK_SLOT(IWDFIoRequest, CompleteWithInformation,       8);
ZULKOR_CHECK_SLOT(IWDFIoRequest, SetInformation,                9);
ZULKOR_CHECK_SLOT(IWDFIoRequest, Complete,                     10);
ZULKOR_CHECK_SLOT(IWDFIoRequest, SetCompletionCallback,        11);
ZULKOR_CHECK_SLOT(IWDFIoRequest, GetType,                      12);
ZULKOR_CHECK_SLOT(IWDFIoRequest, GetCreateParameters,          13);
ZULKOR_CHECK_SLOT(IWDFIoRequest, GetReadParameters,            14);
ZULKOR_CHECK_SLOT(IWDFIoRequest, GetWriteParameters,           15);
ZULKOR_CHECK_SLOT(IWDFIoRequest, GetDeviceIoControlParameters, 16);
ZULKOR_CHECK_SLOT(IWDFIoRequest, GetOutputMemory,              17);
ZULKOR_CHECK_SLOT(IWDFIoRequest, GetInputMemory,               18);
ZULKOR_CHECK_SLOT(IWDFIoRequest, MarkCancelable,               19);
ZULKOR_CHECK_SLOT(IWDFIoRequest, UnmarkCancelable,             20);
ZULKOR_CHECK_SLOT(IWDFIoRequest, CancelSentRequest,            21);
ZULKOR_CHECK_SLOT(IWDFIoRequest, ForwardToIoQueue,             22);
ZULKOR_CHECK_SLOT(IWDFIoRequest, Send,                         23);
ZULKOR_CHECK_SLOT(IWDFIoRequest, GetFileObject,                24);
ZULKOR_CHECK_SLOT(IWDFIoRequest, FormatUsingCurrentType,       25);
ZULKOR_CHECK_SLOT(IWDFIoRequest, GetRequestorProcessId,        26);
ZULKOR_CHECK_SLOT(IWDFIoRequest, GetIoQueue,                   27);
ZULKOR_CHECK_SLOT(IWDFIoRequest, Impersonate,                  28);
ZULKOR_CHECK_SLOT(IWDFIoRequest, IsFrom32BitProcess,           29);
ZULKOR_CHECK_SLOT(IWDFIoRequest, GetCompletionParams,          30);

ZULKOR_CHECK_BASE(IWDFIoRequest2, IWDFIoRequest);
ZULKOR_CHECK_SLOTS(IWDFIoRequest2, 46);
ZULKOR_CHECK_SLOT(IWDFIoRequest2, inherited.GetCompletionParams,  30);
ZULKOR_CHECK_SLOT(IWDFIoRequest2, Reuse,                          31);
ZULKOR_CHECK_SLOT(IWDFIoRequest2, GetRequestorMode,               32);
ZULKOR_CHECK_SLOT(IWDFIoRequest2, IsFromUserModeDriver,           33);
ZULKOR_CHECK_SLOT(IWDFIoRequest2, RetrieveInputBuffer,            34);
ZULKOR_CHECK_SLOT(IWDFIoRequest2, RetrieveOutputBuffer,           35);
ZULKOR_CHECK_SLOT(IWDFIoRequest2, RetrieveInputMemory,            36);
ZULKOR_CHECK_SLOT(IWDFIoRequest2, RetrieveOutputMemory,           37);
ZULKOR_CHECK_SLOT(IWDFIoRequest2, GetEffectiveIoType,             38);
ZULKOR_CHECK_SLOT(IWDFIoRequest2, GetCreateParametersEx,          39);
ZULKOR_CHECK_SLOT(IWDFIoRequest2, GetQueryInformationParameters,  40);
ZULKOR_CHECK_SLOT(IWDFIoRequest2, GetSetInformationParameters,    41);
ZULKOR_CHECK_SLOT(IWDFIoRequest2, IsCanceled,                     42);
ZULKOR_CHECK_SLOT(IWDFIoRequest2, GetStatus,                      43);
ZULKOR_CHECK_SLOT(IWDFIoRequest2, StopAcknowledge,                44);
ZULKOR_CHECK_SLOT(IWDFIoRequest2, Requeue,                        45);

ZULKOR_CHECK_BASE(IWDFMemory, IWDFObject);
ZULKOR_CHECK_SLOTS(IWDFMemory, 14);
ZULKOR_CHECK_SLOT(IWDFMemory, CopyFromMemory,  8);
ZULKOR_CHECK_SLOT(IWDFMemory, CopyToBuffer,    9);
ZULKOR_CHECK_SLOT(IWDFMemory, CopyFromBuffer, 10);
ZULKOR_CHECK_SLOT(IWDFMemory, GetSize,        11);
ZULKOR_CHECK_SLOT(IWDFMemory, GetDataBuffer,  12);
ZULKOR_CHECK_SLOT(IWDFMemory, SetBuffer,      13);

ZULKOR_CHECK_BASE(IWDFFile, IWDFObject);
ZULKOR_CHECK_SLOTS(IWDFFile, 10);
ZULKOR_CHECK_SLOT(IWDFFile, RetrieveFileName,  8);
ZULKOR_CHECK_SLOT(IWDFFile, GetDevice,         9);

ZULKOR_CHECK_BASE(IWDFRemoteInterfaceInitialize, IUnknown);
ZULKOR_CHECK_SLOTS(IWDFRemoteInterfaceInitialize, 5);
ZULKOR_CHECK_SLOT(IWDFRemoteInterfaceInitialize, GetInterfaceGuid,      3);
ZULKOR_CHECK_SLOT(IWDFRemoteInterfaceInitialize, RetrieveSymbolicLink,  4);

// --- Callback interfaces the driver implements -----------------------------------------------

ZULKOR_CHECK_BASE(IDriverEntry, IUnknown);
ZULKOR_CHECK_SLOTS(IDriverEntry, 6);
ZULKOR_CHECK_SLOT(IDriverEntry, OnInitialize,    3);
ZULKOR_CHECK_SLOT(IDriverEntry, OnDeviceAdd,     4);
ZULKOR_CHECK_SLOT(IDriverEntry, OnDeinitialize,  5);

// The others have one method each, right after IUnknown's.
ZULKOR_CHECK_BASE(IObjectCleanup, IUnknown);
ZULKOR_CHECK_SLOTS(IObjectCleanup, 4);
ZULKOR_CHECK_SLOT(IObjectCleanup, OnCleanup,  3);

ZULKOR_CHECK_BASE(IPnpCallbackRemoteInterfaceNotification, IUnknown);
ZULKOR_CHECK_SLOTS(IPnpCallbackRemoteInterfaceNotification, 4);
ZULKOR_CHECK_SLOT(IPnpCallbackRemoteInterfaceNotification, OnRemoteInterfaceArrival,  3);

ZULKOR_CHECK_BASE(IFileCallbackCleanup, IUnknown);
ZULKOR_CHECK_SLOTS(IFileCallbackCleanup, 4);
ZULKOR_CHECK_SLOT(IFileCallbackCleanup, OnCleanupFile,  3);

ZULKOR_CHECK_BASE(IQueueCallbackCreate, IUnknown);
ZULKOR_CHECK_SLOTS(IQueueCallbackCreate, 4);
ZULKOR_CHECK_SLOT(IQueueCallbackCreate, OnCreateFile,  3);

ZULKOR_CHECK_BASE(IQueueCallbackRead, IUnknown);
ZULKOR_CHECK_SLOTS(IQueueCallbackRead, 4);
ZULKOR_CHECK_SLOT(IQueueCallbackRead, OnRead,  3);

ZULKOR_CHECK_BASE(IQueueCallbackWrite, IUnknown);
ZULKOR_CHECK_SLOTS(IQueueCallbackWrite, 4);
ZULKOR_CHECK_SLOT(IQueueCallbackWrite, OnWrite,  3);

ZULKOR_CHECK_BASE(IQueueCallbackDeviceIoControl, IUnknown);
ZULKOR_CHECK_SLOTS(IQueueCallbackDeviceIoControl, 4);
ZULKOR_CHECK_SLOT(IQueueCallbackDeviceIoControl, OnDeviceIoControl,  3);

ZULKOR_CHECK_BASE(IRequestCallbackCancel, IUnknown);
ZULKOR_CHECK_SLOTS(IRequestCallbackCancel, 4);
ZULKOR_CHECK_SLOT(IRequestCallbackCancel, OnCancel,  3);

// Structures and enums.
static_assert(sizeof(UMDF_VERSION_DATA) == 12, "version record: three 32-bit numbers");
static_assert(offsetof(UMDF_VERSION_DATA, MinorNumber) == 4 && offsetof(UMDF_VERSION_DATA, ServiceNumber) == 8,
              "version record member order");
static_assert(sizeof(WDF_CALLBACK_CONSTRAINT) == 4 && sizeof(WDF_IO_QUEUE_DISPATCH_TYPE) == 4
                  && sizeof(WDF_PROPERTY_STORE_ROOT_CLASS) == 4 && sizeof(WDF_PROPERTY_STORE_RETRIEVE_FLAGS) == 4
                  && sizeof(WDF_KPROCESSOR_MODE) == 4 && sizeof(WDF_FILE_INFORMATION_CLASS) == 4,
              "enums travel as 32-bit values");
static_assert(WdfKernelMode == 1 && WdfUserMode == 2 && WdfFileInformationDirectory == 1,
              "processor modes and the first file information class");
static_assert(WdfDeviceLevel == 1 && WdfIoQueueDispatchSequential == 1 && WdfIoQueueDispatchManual == 3,
              "callback and dispatch values");
static_assert(WdfPropertyStoreRootClassHardwareKey == 0 && WdfPropertyStoreRootClassLegacyHardwareKey == 3,
              "property store root classes");
static_assert(WdfPropertyStoreNormal == 0 && WdfPropertyStoreCreateVolatile == 2, "property store flags");
static_assert(offsetof(WDF_PROPERTY_STORE_ROOT, LengthCb) == 0, "root length first");
static_assert(offsetof(WDF_PROPERTY_STORE_ROOT, RootClass) == 4, "root class second");
static_assert(offsetof(WDF_PROPERTY_STORE_ROOT, Qualifier) == 8, "qualifier after the two 32-bit fields");
static_assert(offsetof(WDF_PROPERTY_STORE_ROOT, Qualifier.HardwareKey.ServiceName) == 8
                  && offsetof(WDF_PROPERTY_STORE_ROOT, Qualifier.LegacyHardwareKey.LegacyMapName) == 8
                  && offsetof(WDF_PROPERTY_STORE_ROOT, Qualifier.DeviceInterfaceKey.ReferenceString)
                         == 8 + sizeof(void *),
              "qualifier members");
// 16 bytes in the 32-bit build, 24 in the 64-bit one: the union is two pointers wide.
static_assert(sizeof(WDF_PROPERTY_STORE_ROOT) == 8 + 2 * sizeof(void *), "property store root size");
static_assert(sizeof(void *) == 4 ? sizeof(WDF_PROPERTY_STORE_ROOT) == 16 : sizeof(WDF_PROPERTY_STORE_ROOT) == 24,
              "property store root size per processor variant");
static_assert(sizeof(WDFMEMORY_OFFSET) == 2 * sizeof(void *), "memory offset: two pointer-wide values");
static_assert(sizeof(PROPVARIANT) == (sizeof(void *) == 4 ? 16 : 24), "PROPVARIANT as the platform lays it out");
