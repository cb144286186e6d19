// The port's I/O queue callbacks: open and close of the printer connection, reads from the
// receive buffer, writes to the printer, and the serial and parallel port requests.
#pragma once

#include "comsup.h"
#include "internal.h"
#include "receivebuffer.h"

#include <deque>

class CPortDevice;

class CPortQueue : public CRefCounted,
                   public IQueueCallbackCreate,
                   public IQueueCallbackDeviceIoControl,
                   public IQueueCallbackRead,
                   public IQueueCallbackWrite,
                   public IRequestCallbackCancel
{
public:
    // Makes the queue object for `device` and its framework queue (the device's default queue,
    // sequential). The framework queue keeps the object alive.
    static HRESULT CreateInstance(CPortDevice *device, IWDFDevice *fxDevice);

    STDMETHODIMP QueryInterface(REFIID iid, void **ppv) override;
    ZULKOR_FORWARD_IUNKNOWN()

    virtual HRESULT Initialize(IWDFDevice *fxDevice);
    // The request's input or output memory; HRESULT_FROM_WIN32(ERROR_INVALID_DATA) without one.
    virtual HRESULT GetRequestInput(IWDFIoRequest *request, IWDFMemory **memory);
    virtual HRESULT GetRequestOutput(IWDFIoRequest *request, IWDFMemory **memory);

    STDMETHODIMP_(void) OnCreateFile(IWDFIoQueue *queue, IWDFIoRequest *request, IWDFFile *file) override;
    STDMETHODIMP_(void) OnRead(IWDFIoQueue *queue, IWDFIoRequest *request, SIZE_T count) override;
    STDMETHODIMP_(void) OnWrite(IWDFIoQueue *queue, IWDFIoRequest *request, SIZE_T count) override;
    STDMETHODIMP_(void) OnDeviceIoControl(IWDFIoQueue *queue, IWDFIoRequest *request, ULONG controlCode,
                                          SIZE_T inputSize, SIZE_T outputSize) override;
    STDMETHODIMP_(void) OnCancel(IWDFIoRequest *request) override;

    // Ends every parked request as aborted: the connection closed, or the device goes.
    void EndParked();

private:
    struct SerialRequest;
    static const SerialRequest kSerialRequests[];

    explicit CPortQueue(CPortDevice *device);
    ~CPortQueue() override;

    static DWORD WINAPI UsbReadThread(void *queue);
    void ReceiveLoop();
    // Appends bytes the printer sent to the receive buffer.
    void Receive(const BYTE *bytes, DWORD count);

    // A read that must wait for bytes, or a wait-mask request that found no event, waits
    // outside the sequential queue: it is forwarded to the device's manual queue and the
    // callback returns, so writes and the other requests go on. This record mirrors it; the
    // framework may cancel and complete the request meanwhile, which the next pass notices.
    struct Parked
    {
        enum Kind { Read, Wait } kind;
        IWDFIoRequest *request;   // counted: its address stays its identity
        SIZE_T count;             // a read's byte count
        DWORD start;              // GetTickCount when parked
        DWORD budgetMs;           // ends on time after this long
        ULONGLONG receivedAtPark; // the receive counter when parked
    };
    // How a pass over the parked requests treats them.
    enum class ParkPass { Due, MaskChanged, Abort };
    // Parks `request`; false when it cannot be (the port is closed, or the request cannot be put
    // back into its queue), and the caller completes it at once.
    bool Park(IWDFIoRequest *request, Parked::Kind kind, SIZE_T count, DWORD budgetMs);
    // Completes the parked requests that are due (bytes, events, their time), all waits too with
    // MaskChanged, everything with Abort. Returns true while requests stay parked.
    bool ServiceParked(ParkPass pass);
    bool IsDue(const Parked &entry, DWORD now, ParkPass pass);
    void FinishParked(const Parked &entry, IWDFIoRequest *request, ParkPass pass);
    // Completes a read with up to `count` bytes from the receive buffer.
    void CompleteRead(IWDFIoRequest *request, SIZE_T count);
    // Waits for the receive thread's printer read, the stop event, or a new parked request;
    // checks the parked requests' time meanwhile. Returns the WaitForMultipleObjects result.
    DWORD WaitServingParked(HANDLE readEvent, HANDLE stop, DWORD timeoutMs);
    // Writes `count` bytes to the printer within the write time-outs; `*done` gets how many got
    // out. Caller holds the connection lock.
    HRESULT WriteToPrinter(const BYTE *data, SIZE_T count, SIZE_T *done);
    // The wait-mask events among `mask` that have happened.
    ULONG PendingEvents(ULONG mask);
    // A write got bytes out: a wait for SERIAL_EV_TXEMPTY ends.
    void TransmitEmptied();

    // Port requests (ioctl.cpp). Each gets the request's fixed-size input and fills its
    // fixed-size output; the sizes are checked before either is touched. The request itself
    // serves the one that may park it (the wait-mask request), which answers kParked then.
    HRESULT SetBaudRate(IWDFIoRequest *request, const BYTE *in, BYTE *out);
    HRESULT SetQueueSize(IWDFIoRequest *request, const BYTE *in, BYTE *out);
    HRESULT SetLineControl(IWDFIoRequest *request, const BYTE *in, BYTE *out);
    HRESULT SetTimeouts(IWDFIoRequest *request, const BYTE *in, BYTE *out);
    HRESULT GetTimeouts(IWDFIoRequest *request, const BYTE *in, BYTE *out);
    HRESULT GetWaitMask(IWDFIoRequest *request, const BYTE *in, BYTE *out);
    HRESULT SetWaitMask(IWDFIoRequest *request, const BYTE *in, BYTE *out);
    HRESULT WaitOnMask(IWDFIoRequest *request, const BYTE *in, BYTE *out);
    HRESULT Purge(IWDFIoRequest *request, const BYTE *in, BYTE *out);
    HRESULT GetBaudRate(IWDFIoRequest *request, const BYTE *in, BYTE *out);
    HRESULT GetLineControl(IWDFIoRequest *request, const BYTE *in, BYTE *out);
    HRESULT GetChars(IWDFIoRequest *request, const BYTE *in, BYTE *out);
    HRESULT SetChars(IWDFIoRequest *request, const BYTE *in, BYTE *out);
    HRESULT GetHandFlow(IWDFIoRequest *request, const BYTE *in, BYTE *out);
    HRESULT SetHandFlow(IWDFIoRequest *request, const BYTE *in, BYTE *out);
    HRESULT GetModemStatus(IWDFIoRequest *request, const BYTE *in, BYTE *out);
    HRESULT GetCommStatus(IWDFIoRequest *request, const BYTE *in, BYTE *out);
    HRESULT GetModemControl(IWDFIoRequest *request, const BYTE *in, BYTE *out);
    HRESULT SetModemControl(IWDFIoRequest *request, const BYTE *in, BYTE *out);
    HRESULT SetFifoControl(IWDFIoRequest *request, const BYTE *in, BYTE *out);
    HRESULT GetProperties(IWDFIoRequest *request, const BYTE *in, BYTE *out);
    HRESULT GetConfigSize(IWDFIoRequest *request, const BYTE *in, BYTE *out);
    HRESULT ImmediateChar(IWDFIoRequest *request, const BYTE *in, BYTE *out);

    HRESULT RunSerialRequest(const SerialRequest &entry, IWDFIoRequest *request, SIZE_T *returned);
    HRESULT ForwardDeviceId(ULONG controlCode, IWDFIoRequest *request, SIZE_T *returned);

    CPortDevice *m_device;                // counted
    IWDFIoQueue *m_fxQueue = nullptr;     // not counted: the queue holds us
    IWDFIoQueue *m_parkQueue = nullptr;   // the manual queue; not counted: the device holds it
    CReceiveBuffer m_receiveBuffer;
    // Bytes received since the object was made; tells a parked read that a batch came.
    volatile LONGLONG m_received = 0;

    // Held while parking and over a pass, so that the manual queue's order is the records'.
    // Taken after the device's connection lock where both are held, never before it.
    CLock m_parkLock;
    std::deque<Parked> m_parked;
    CHandle m_parkWake;                   // auto reset: a request was parked
};
