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

    // Port requests (ioctl.cpp). Each gets the request's fixed-size input and fills its
    // fixed-size output; the sizes are checked before either is touched.
    HRESULT SetBaudRate(const BYTE *in, BYTE *out);
    HRESULT SetQueueSize(const BYTE *in, BYTE *out);
    HRESULT SetLineControl(const BYTE *in, BYTE *out);
    HRESULT SetTimeouts(const BYTE *in, BYTE *out);
    HRESULT GetTimeouts(const BYTE *in, BYTE *out);
    HRESULT GetWaitMask(const BYTE *in, BYTE *out);
    HRESULT SetWaitMask(const BYTE *in, BYTE *out);
    HRESULT WaitOnMask(const BYTE *in, BYTE *out);
    HRESULT Purge(const BYTE *in, BYTE *out);
    HRESULT GetBaudRate(const BYTE *in, BYTE *out);
    HRESULT GetLineControl(const BYTE *in, BYTE *out);
    HRESULT GetChars(const BYTE *in, BYTE *out);
    HRESULT SetChars(const BYTE *in, BYTE *out);
    HRESULT GetHandFlow(const BYTE *in, BYTE *out);
    HRESULT SetHandFlow(const BYTE *in, BYTE *out);
    HRESULT GetModemStatus(const BYTE *in, BYTE *out);
    HRESULT GetCommStatus(const BYTE *in, BYTE *out);
    HRESULT GetModemControl(const BYTE *in, BYTE *out);
    HRESULT SetModemControl(const BYTE *in, BYTE *out);
    HRESULT SetFifoControl(const BYTE *in, BYTE *out);

    HRESULT RunSerialRequest(const SerialRequest &entry, IWDFIoRequest *request, SIZE_T *returned);
    HRESULT ForwardDeviceId(ULONG controlCode, IWDFIoRequest *request, SIZE_T *returned);

    CPortDevice *m_device;                // counted
    IWDFIoQueue *m_fxQueue = nullptr;     // not counted: the queue holds us
    CReceiveBuffer m_receiveBuffer;
};
