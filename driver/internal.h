// The virtual port driver's private umbrella header: identifiers, the objects' create
// functions and the small helpers the driver's files share.
#pragma once

#include <windows.h>
#include <setupapi.h>
#include <winioctl.h>
// ntddser.h is shared with kernel code and names this kernel type in one structure.
typedef LARGE_INTEGER PHYSICAL_ADDRESS, *PPHYSICAL_ADDRESS;
#include <ntddser.h>

#include <string>

#include "seam.h"
#include "trace.h"
#include "wudf.h"

// --- Identifiers -----------------------------------------------------------------------------

// The driver's class id; the INF's DriverCLSID names it.
inline constexpr CLSID CLSID_QuorvallentDriver = {
    0x5d27a9e4, 0x81c3, 0x4f6a, {0xb0, 0x92, 0x6e, 0x4c, 0x1d, 0x8b, 0x3a, 0x75}};
// The interface every started port device registers; the installer enumerates it.
inline constexpr GUID GUID_DEVINTERFACE_QUORVALLENT = {
    0x1f6b3e90, 0xa74d, 0x4c25, {0xb8, 0xe1, 0x5d, 0x02, 0xc9, 0x7a, 0x43, 0xf6}};
inline constexpr GUID GUID_DEVINTERFACE_USB_DEVICE_ZULKOR = {
    0xa5dcbf10, 0x6530, 0x11d2, {0x90, 0x1f, 0x00, 0xc0, 0x4f, 0xb9, 0x51, 0xed}};
inline constexpr GUID GUID_DEVINTERFACE_USBPRINT_ZULKOR = {
    0x28d78fad, 0x5a12, 0x11d1, {0xae, 0x5b, 0x00, 0x00, 0xf8, 0x03, 0xa8, 0xc2}};

// The printer's IEEE 1284 device-id request of the USB printing class.
inline constexpr DWORD kIoctlUsbPrintGet1284Id = 0x220034;
// The parallel port's device-id requests, answered by asking the printer.
inline constexpr ULONG kIoctlParQueryDeviceId = 0x16000C;
inline constexpr ULONG kIoctlParQueryDeviceIdSize = 0x160010;

// --- Status helpers --------------------------------------------------------------------------

// A Win32 error as an HRESULT. Zero is not success here: it comes from a call that failed
// without setting the thread's last error (Wine's device-object-name query does that), and such
// a failure must not turn into S_OK.
inline HRESULT HrFromWin32(DWORD error)
{
    return error == 0 ? E_FAIL : HRESULT_FROM_WIN32(error);
}

inline HRESULT HrFromLastError()
{
    return HrFromWin32(GetLastError());
}

// What a memory object too small for a copy gives, whether our size check or the framework's
// copy notices it first.
inline const HRESULT kBufferTooSmall = HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
// The platform status STATUS_BUFFER_TOO_SMALL in HRESULT form.
inline constexpr HRESULT kStatusBufferTooSmall = static_cast<HRESULT>(0xD0000023);

// --- Holders ---------------------------------------------------------------------------------

// An owned kernel handle. Close() closes it once and marks it as none, so a second Close is
// harmless; both null and INVALID_HANDLE_VALUE count as none.
class CHandle
{
public:
    CHandle() = default;
    explicit CHandle(HANDLE h) : m_h(h) {}
    CHandle(const CHandle &) = delete;
    CHandle &operator=(const CHandle &) = delete;
    ~CHandle() { Close(); }

    HANDLE Get() const { return m_h; }
    bool IsSet() const { return m_h != nullptr && m_h != INVALID_HANDLE_VALUE; }
    void Reset(HANDLE h) { Close(); m_h = h; }
    HANDLE Detach() { HANDLE h = m_h; m_h = nullptr; return h; }
    void Close()
    {
        HANDLE h = m_h;
        m_h = nullptr;
        if (h != nullptr && h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    }

private:
    HANDLE m_h = nullptr;
};

// A counted interface pointer.
template <class T>
class CComPtr
{
public:
    CComPtr() = default;
    CComPtr(const CComPtr &) = delete;
    CComPtr &operator=(const CComPtr &) = delete;
    ~CComPtr() { Release(); }

    void Release()
    {
        T *p = m_p;
        m_p = nullptr;
        if (p)
            p->Release();
    }
    T **operator&() { Release(); return &m_p; }
    T *operator->() const { return m_p; }
    T *Get() const { return m_p; }
    T *Detach() { T *p = m_p; m_p = nullptr; return p; }
    void Attach(T *p) { Release(); m_p = p; }
    explicit operator bool() const { return m_p != nullptr; }

private:
    T *m_p = nullptr;
};

// A PROPVARIANT that clears itself.
class CPropVariant : public PROPVARIANT
{
public:
    CPropVariant() { PropVariantInit(this); }
    CPropVariant(const CPropVariant &) = delete;
    CPropVariant &operator=(const CPropVariant &) = delete;
    ~CPropVariant() { PropVariantClear(this); }
    void Clear() { PropVariantClear(this); }
    // The string when this holds one, else null.
    const wchar_t *String() const { return vt == VT_LPWSTR ? pwszVal : nullptr; }
};

// A SetupAPI device information set.
class CDevInfo
{
public:
    explicit CDevInfo(HDEVINFO set) : m_set(set) {}
    CDevInfo(const CDevInfo &) = delete;
    CDevInfo &operator=(const CDevInfo &) = delete;
    ~CDevInfo()
    {
        if (IsSet())
            SetupDiDestroyDeviceInfoList(m_set);
    }
    HDEVINFO Get() const { return m_set; }
    bool IsSet() const { return m_set != INVALID_HANDLE_VALUE && m_set != nullptr; }

private:
    HDEVINFO m_set;
};

// A critical section and its scoped lock.
class CLock
{
public:
    CLock() { InitializeCriticalSection(&m_cs); }
    CLock(const CLock &) = delete;
    CLock &operator=(const CLock &) = delete;
    ~CLock() { DeleteCriticalSection(&m_cs); }
    void Enter() { EnterCriticalSection(&m_cs); }
    void Leave() { LeaveCriticalSection(&m_cs); }

private:
    CRITICAL_SECTION m_cs;
};

class CAutoLock
{
public:
    explicit CAutoLock(CLock &lock) : m_lock(lock) { m_lock.Enter(); }
    CAutoLock(const CAutoLock &) = delete;
    CAutoLock &operator=(const CAutoLock &) = delete;
    ~CAutoLock() { m_lock.Leave(); }

private:
    CLock &m_lock;
};

// --- Shared operations -----------------------------------------------------------------------

// How long a cancelled printer I/O may take to finish before the driver stops waiting for it.
inline constexpr DWORD kCancelGraceMs = 1000;
// No request waits longer than this at a time, whatever its time-outs. A write waits inside the
// sequential queue's callback, so every other request of the device (and the file's cleanup)
// waits behind it: its limit (per attempt: one that moves bytes is followed by the next) is
// capped at this. A read's budget and a wait-mask request's wait, spent parked outside that
// queue, are capped at it too.
inline constexpr DWORD kCappedWriteLimitMs = 5000;

// Cancels the I/O on `ov` and waits up to kCancelGraceMs for it to end. Returns true when it
// ended: *moved and *succeeded then tell what it did (it may have completed before the cancel).
// False means it is still pending: its OVERLAPPED and buffer must then stay allocated.
bool CancelPendingIo(HANDLE handle, OVERLAPPED *ov, DWORD *moved, BOOL *succeeded);

// The seam table in force (never null members).
const ZulkorSeam &Seam();

// True when `path` is a USB printer interface of our maker: the eight characters after the
// path's first eight (the \\?\usb# prefix) are the vendor-id tag, in any letter case. A path too
// short to hold the tag does not match.
bool HasPrinterVendorTag(const wchar_t *path);

// Opens the last present USB printer interface with our vendor id for overlapped reading and
// writing. `disposition` is the create request's disposition (its options' high byte). Returns
// INVALID_HANDLE_VALUE when there is none or its open fails.
HANDLE OpenUsbPrinter(ULONG disposition, USHORT attributes, USHORT shareAccess);

// The module's lock count (LockServer); nothing reads it.
extern volatile LONG g_serverLocks;

class CPortDriver;
class CPortDevice;
class CPortQueue;
