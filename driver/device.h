// The port device's callback object: publication of the port name, the emulated serial port
// state, and the one printer connection that the queue (queue.h) opens and this object closes.
#pragma once

#include "comsup.h"
#include "internal.h"

#include <memory>

class CPortDevice : public CRefCounted,
                    public IObjectCleanup,
                    public IPnpCallbackRemoteInterfaceNotification,
                    public IFileCallbackCleanup
{
public:
    static HRESULT CreateInstance(CPortDevice **device);

    STDMETHODIMP QueryInterface(REFIID iid, void **ppv) override;
    ZULKOR_FORWARD_IUNKNOWN()

    // The device's physical-device-object name, the value name of its device-map entry.
    virtual HRESULT GetPdoName(std::wstring *name);
    // Publishes the port under the hardware key's PortName and creates the queue.
    virtual HRESULT ConfigurePort();
    // Creates the framework device with this object as its callbacks.
    virtual HRESULT Initialize(IWDFDriver *driver, IWDFDeviceInitialize *init);

    // IObjectCleanup: the framework device goes away; its device-map entry goes with it.
    STDMETHODIMP_(void) OnCleanup(IWDFObject *object) override;
    // IPnpCallbackRemoteInterfaceNotification: a USB device arrived; nothing to do.
    STDMETHODIMP_(void) OnRemoteInterfaceArrival(IWDFRemoteInterfaceInitialize *init) override;
    // IFileCallbackCleanup: the program closed the port.
    STDMETHODIMP_(void) OnCleanupFile(IWDFFile *file) override;

    // --- The printer connection (used by CPortQueue) ---------------------------------------

    // Held by every request callback that uses the printer handle or the write overlapped
    // record, and by the close: the port is never closed under a running request.
    CLock &ConnectionLock() { return m_connectionLock; }
    bool IsOpen() const { return m_printer.IsSet(); }
    // Takes over an opened printer for `file`: creates the write and stop events and starts
    // the receive thread with `threadArgument`. On failure everything is closed again.
    HRESULT Open(HANDLE printer, IWDFFile *file, LPTHREAD_START_ROUTINE thread, void *threadArgument);
    // Stops the receive thread and closes the connection; does nothing when the port is not
    // open. Caller holds the connection lock.
    void Close();

    // Tells a request that waits on the printer for `file`'s connection that the connection is
    // closing, so that it cancels its I/O at once. Takes no lock: the request holds it. Under
    // the device-level locking the driver asks for, the framework runs the file's cleanup only
    // between queue callbacks, so no request waits then (a close waits for the one that runs,
    // within its bounded wait); this serves a host that would call the cleanup beside one.
    void AbortConnection(IWDFFile *file);

    // How a wait for the printer ended.
    enum class IoWait { Done, TimedOut, Aborted, Failed };
    // Waits up to `limitMs` for the I/O on `ov`, or until the connection is being closed.
    IoWait WaitForIo(OVERLAPPED *ov, DWORD limitMs);

    HANDLE Printer() const { return m_printer.Get(); }
    HANDLE StopEvent() const { return m_stopEvent.Get(); }

    // The connection's write record, cleared (its event kept) for the next printer write or
    // device-id request; the two take turns, one at a time (the queue is sequential). While an
    // earlier I/O that outlived its cancel is still pending the connection is broken: this fails
    // with HRESULT_FROM_WIN32(ERROR_IO_DEVICE), and that I/O's record is not used again until it
    // has ended. Caller holds the connection lock.
    HRESULT BeginPrinterIo(OVERLAPPED **ov);
    // The I/O on the record BeginPrinterIo gave is still pending after its cancel's grace: the
    // record (with its event) is set aside for it, and the next I/O gets a fresh one once it ends.
    void StrandPrinterIo();

    // --- Emulated serial port state (answers the port requests, never sent anywhere) -------

    ULONG m_baudRate = 9600;
    ULONG m_modemControl = 0;
    ULONG m_fifoControl = 0;
    // Bits 0-1 word length (0 five .. 3 eight bits), bit 2 extra stop bits, bits 3-5 parity,
    // bit 6 break. Changed only by compare-exchange.
    volatile LONG m_lineControl = 3;
    UCHAR m_dataMask = 0xFF;
    SERIAL_TIMEOUTS m_timeouts = {};
    ULONG m_waitMask = 0;
    SERIAL_CHARS m_chars = {0, 0, 0, 0, 0x11, 0x13};
    SERIAL_HANDFLOW m_handFlow = {0, 0, 2048, 512};
    ULONG m_inputQueueSize = 4096;
    ULONG m_outputQueueSize = 4096;
    // A write got bytes out since the wait-mask request last reported SERIAL_EV_TXEMPTY (or the
    // mask was set, or the port opened): the printer took them, so the port's output queue ran
    // empty. 0 or 1, changed by interlocked operations (the receive thread reads it).
    volatile LONG m_transmitEmptied = 0;

    // The queue object, which ends its parked requests when the connection closes; set while it
    // lives.
    void SetQueue(CPortQueue *queue) { m_queue = queue; }

private:
    CPortDevice() = default;
    ~CPortDevice() override;

    HRESULT RemoveStaleEntries(IWDFNamedPropertyStore2 *map, const wchar_t *portName);

    // An OVERLAPPED with its own event, on the heap: a record whose I/O may still complete must
    // outlive whatever the driver does meanwhile.
    struct PrinterIo
    {
        OVERLAPPED overlapped = {};
        CHandle event;
    };
    static std::unique_ptr<PrinterIo> NewPrinterIo();

    IWDFDevice *m_fxDevice = nullptr;                   // not counted: the device holds us
    CComPtr<IWDFNamedPropertyStore2> m_deviceMap;       // kept once our entry is written
    std::wstring m_pdoName;                             // that entry's value name

    CLock m_connectionLock;
    CHandle m_abortEvent;                               // manual reset, lives as long as the device
    CHandle m_printer;
    std::unique_ptr<PrinterIo> m_printerIo;             // the write record of the connection
    std::unique_ptr<PrinterIo> m_strandedIo;            // one still pending after its cancel
    CHandle m_readerThread;
    CHandle m_stopEvent;
    IWDFFile *volatile m_connectionFile = nullptr;      // not counted; identity only
    CPortQueue *m_queue = nullptr;                      // not counted: it holds us
};
