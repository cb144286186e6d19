// Finding and opening the USB printer behind the port, and the seam through which the harness
// stands in for printer hardware.
#include "internal.h"

#include <vector>

namespace {

// The USB printer interface path begins \\?\usb# and then names the vendor.
const size_t kVendorTagOffset = 8;
const wchar_t kVendorTag[] = L"vid_9e7d";
const size_t kVendorTagLength = 8;

const ZulkorSeam kPlatform = {&CreateFileW, &DeviceIoControl, &ReadFile, &WriteFile, &SetupDiGetDeviceRegistryPropertyW};
ZulkorSeam g_seam = kPlatform;

// The create disposition of the port's open request (the framework's FILE_ values) as the
// Win32 disposition for opening the printer; anything unknown becomes 0, which the open refuses.
DWORD MapDisposition(ULONG disposition)
{
    switch (disposition) {
    case 0: return CREATE_ALWAYS;       // supersede
    case 1: return OPEN_EXISTING;       // open
    case 2: return CREATE_NEW;          // create
    case 3: return OPEN_ALWAYS;         // open-if
    case 4: return TRUNCATE_EXISTING;   // overwrite
    case 5: return OPEN_EXISTING;       // overwrite-if
    default: return 0;
    }
}

} // namespace

extern "C" void __cdecl ZulkorSetSeam(const ZulkorSeam *seam)
{
    ZulkorSeam next = kPlatform;
    if (seam) {
        if (seam->openPrinter)
            next.openPrinter = seam->openPrinter;
        if (seam->printerRead)
            next.printerRead = seam->printerRead;
        if (seam->printerWrite)
            next.printerWrite = seam->printerWrite;
        if (seam->printerIoControl)
            next.printerIoControl = seam->printerIoControl;
        if (seam->deviceRegistryProperty)
            next.deviceRegistryProperty = seam->deviceRegistryProperty;
    }
    g_seam = next;
}

const ZulkorSeam &Seam()
{
    return g_seam;
}

bool HasPrinterVendorTag(const wchar_t *path)
{
    if (!path || wcsnlen(path, kVendorTagOffset + kVendorTagLength) < kVendorTagOffset + kVendorTagLength)
        return false;
    return _wcsnicmp(path + kVendorTagOffset, kVendorTag, kVendorTagLength) == 0;
}

HANDLE OpenUsbPrinter(ULONG disposition, USHORT attributes, USHORT shareAccess)
{
    CDevInfo set(SetupDiGetClassDevsW(&GUID_DEVINTERFACE_USBPRINT_ZULKOR, nullptr, nullptr,
                                      DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    if (!set.IsSet()) {
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_PRINTER, L"no USB printer interfaces, %lu", GetLastError());
        return INVALID_HANDLE_VALUE;
    }

    // The last matching interface in enumeration order wins; a printer opened for an earlier
    // match is closed again.
    CHandle printer;
    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA itf = {};
        itf.cbSize = sizeof(itf);
        if (!SetupDiEnumDeviceInterfaces(set.Get(), nullptr, &GUID_DEVINTERFACE_USBPRINT_ZULKOR, index, &itf))
            break;

        DWORD size = 0;
        SetupDiGetDeviceInterfaceDetailW(set.Get(), &itf, nullptr, 0, &size, nullptr);
        if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W))
            continue;
        std::vector<BYTE> buffer(size + sizeof(wchar_t), 0);
        auto *detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W *>(buffer.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        if (!SetupDiGetDeviceInterfaceDetailW(set.Get(), &itf, detail, size, nullptr, nullptr))
            continue;
        if (!HasPrinterVendorTag(detail->DevicePath))
            continue;

        HANDLE h = Seam().openPrinter(detail->DevicePath, GENERIC_READ | GENERIC_WRITE, shareAccess, nullptr,
                                      MapDisposition(disposition), attributes | FILE_FLAG_OVERLAPPED, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            TraceEvents(TRACE_LEVEL_ERROR, TRACE_PRINTER, L"open %ls failed, %lu", detail->DevicePath,
                        GetLastError());
        else
            TraceEvents(TRACE_LEVEL_INFORMATION, TRACE_PRINTER, L"printer %ls opened", detail->DevicePath);
        printer.Reset(h);
    }

    return printer.IsSet() ? printer.Detach() : INVALID_HANDLE_VALUE;
}

bool CancelPendingIo(HANDLE handle, OVERLAPPED *ov, DWORD *moved, BOOL *succeeded)
{
    *moved = 0;
    *succeeded = FALSE;
    CancelIo(handle);
    if (!HasOverlappedIoCompleted(ov) && WaitForSingleObject(ov->hEvent, kCancelGraceMs) != WAIT_OBJECT_0
        && !HasOverlappedIoCompleted(ov)) {
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_PRINTER, L"cancelled printer I/O still pending after %lu ms",
                    static_cast<unsigned long>(kCancelGraceMs));
        return false;
    }
    *succeeded = GetOverlappedResult(handle, ov, moved, FALSE);
    return true;
}
