// The port's I/O queue callbacks: open and close of the printer connection, reads from the
// receive buffer, writes to the printer, and the serial and parallel port requests.
#pragma once

#include "comsup.h"
#include "internal.h"
#include "receivebuffer.h"

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

private:
    struct SerialRequest;
    static const SerialRequest kSerialRequests[];

    explicit CPortQueue(CPortDevice *device);
    ~CPortQueue() override;

    static DWORD WINAPI UsbReadThread(void *queue);
    void ReceiveLoop();
    // Appends bytes the printer sent to the receive buffer.
    void Receive(const BYTE *bytes, DWORD count);

    // How a wait inside a request callback ended.
    enum class RequestWait { Bytes, TimedOut, Canceled };
    // Waits up to `budgetMs` (not 0) while polling the request's cancellation every 10 ms, and,
    // with `untilBytes`, the receive buffer: it ends when the buffer holds a byte.
    RequestWait WaitInRequest(IWDFIoRequest *request, DWORD budgetMs, bool untilBytes);
    // Writes `count` bytes to the printer within the write time-outs; `*done` gets how many got
    // out. Caller holds the connection lock.
    HRESULT WriteToPrinter(const BYTE *data, SIZE_T count, SIZE_T *done);
    // The wait-mask events among `mask` that have happened.
    ULONG PendingEvents(ULONG mask);

    // Port requests (ioctl.cpp). Each gets the request's fixed-size input and fills its
    // fixed-size output; the sizes are checked before either is touched. The request itself
    // serves those that wait (for its cancellation).
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
    CReceiveBuffer m_receiveBuffer;
};
