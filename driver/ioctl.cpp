// The port requests: the serial requests answered from the emulated port state, and the
// parallel device-id requests answered by the printer.
#include "queue.h"
#include "device.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

static_assert(sizeof(SERIAL_LINE_CONTROL) == 3, "line control is three bytes");
static_assert(sizeof(SERIAL_CHARS) == 6, "special characters are six bytes");
static_assert(sizeof(SERIAL_HANDFLOW) == 16, "flow control is sixteen bytes");
static_assert(sizeof(SERIAL_TIMEOUTS) == 20, "time-outs are twenty bytes");
static_assert(sizeof(SERIAL_STATUS) == 20, "comm status is twenty bytes");

namespace {

// The printer's answer to the device-id request fits in this many bytes.
const DWORD kDeviceIdBuffer = 4096;
// The printer has this long to answer it.
const DWORD kDeviceIdLimitMs = 5000;

// Line-control value bits.
const LONG kWordBitsMask = 0x03;
const LONG kExtraStopBit = 0x04;
const LONG kParityMask = 0x38;
const LONG kBreakBit = 0x40;

const LONG kParityBits[] = {0x00, 0x08, 0x18, 0x28, 0x38};   // none, odd, even, mark, space

// Modem status register bits: clear to send, data set ready, carrier detect.
const ULONG kModemStatusCts = 0x10;
const ULONG kModemStatusDsr = 0x20;
const ULONG kModemStatusDcd = 0x80;

template <class T>
T Read(const BYTE *in)
{
    T value;
    memcpy(&value, in, sizeof(value));
    return value;
}

template <class T>
HRESULT Write(BYTE *out, const T &value)
{
    memcpy(out, &value, sizeof(value));
    return S_OK;
}

// The line-control bits for a requested line, or E_INVALIDARG.
HRESULT EncodeLineControl(const SERIAL_LINE_CONTROL &line, LONG *bits, UCHAR *dataMask)
{
    if (line.WordLength < 5 || line.WordLength > 8)
        return E_INVALIDARG;
    const LONG word = line.WordLength - 5;
    *dataMask = static_cast<UCHAR>(0xFF >> (3 - word));

    LONG stop = 0;
    switch (line.StopBits) {
    case STOP_BIT_1:
        break;
    case STOP_BITS_1_5:     // only with five data bits
        if (line.WordLength != 5)
            return E_INVALIDARG;
        stop = kExtraStopBit;
        break;
    case STOP_BITS_2:       // only with six to eight data bits
        if (line.WordLength == 5)
            return E_INVALIDARG;
        stop = kExtraStopBit;
        break;
    default:
        return E_INVALIDARG;
    }

    if (line.Parity > SPACE_PARITY)
        return E_INVALIDARG;
    *bits = word | stop | kParityBits[line.Parity];
    return S_OK;
}

SERIAL_LINE_CONTROL DecodeLineControl(LONG value)
{
    SERIAL_LINE_CONTROL line = {};
    line.WordLength = static_cast<UCHAR>(5 + (value & kWordBitsMask));
    line.Parity = NO_PARITY;
    for (UCHAR i = 0; i < 5; ++i)
        if ((value & kParityMask) == kParityBits[i])
            line.Parity = i;
    if (value & kExtraStopBit)
        line.StopBits = line.WordLength == 5 ? STOP_BITS_1_5 : STOP_BITS_2;
    else
        line.StopBits = STOP_BIT_1;
    return line;
}

} // namespace

// One row per request: its code, the bytes it reads from the input and writes to the output,
// and its handler.
struct CPortQueue::SerialRequest
{
    ULONG code;
    SIZE_T in;
    SIZE_T out;
    HRESULT (CPortQueue::*handler)(const BYTE *in, BYTE *out);
};

const CPortQueue::SerialRequest CPortQueue::kSerialRequests[] = {
    {IOCTL_SERIAL_SET_BAUD_RATE, sizeof(SERIAL_BAUD_RATE), 0, &CPortQueue::SetBaudRate},
    {IOCTL_SERIAL_SET_QUEUE_SIZE, sizeof(SERIAL_QUEUE_SIZE), 0, &CPortQueue::SetQueueSize},
    {IOCTL_SERIAL_SET_LINE_CONTROL, sizeof(SERIAL_LINE_CONTROL), 0, &CPortQueue::SetLineControl},
    {IOCTL_SERIAL_SET_TIMEOUTS, sizeof(SERIAL_TIMEOUTS), 0, &CPortQueue::SetTimeouts},
    {IOCTL_SERIAL_GET_TIMEOUTS, 0, sizeof(SERIAL_TIMEOUTS), &CPortQueue::GetTimeouts},
    {IOCTL_SERIAL_GET_WAIT_MASK, 0, sizeof(ULONG), &CPortQueue::GetWaitMask},
    {IOCTL_SERIAL_SET_WAIT_MASK, sizeof(ULONG), 0, &CPortQueue::SetWaitMask},
    {IOCTL_SERIAL_WAIT_ON_MASK, 0, sizeof(ULONG), &CPortQueue::WaitOnMask},
    {IOCTL_SERIAL_PURGE, sizeof(ULONG), 0, &CPortQueue::Purge},
    {IOCTL_SERIAL_GET_BAUD_RATE, 0, sizeof(SERIAL_BAUD_RATE), &CPortQueue::GetBaudRate},
    {IOCTL_SERIAL_GET_LINE_CONTROL, 0, sizeof(SERIAL_LINE_CONTROL), &CPortQueue::GetLineControl},
    {IOCTL_SERIAL_GET_CHARS, 0, sizeof(SERIAL_CHARS), &CPortQueue::GetChars},
    {IOCTL_SERIAL_SET_CHARS, sizeof(SERIAL_CHARS), 0, &CPortQueue::SetChars},
    {IOCTL_SERIAL_GET_HANDFLOW, 0, sizeof(SERIAL_HANDFLOW), &CPortQueue::GetHandFlow},
    {IOCTL_SERIAL_SET_HANDFLOW, sizeof(SERIAL_HANDFLOW), 0, &CPortQueue::SetHandFlow},
    {IOCTL_SERIAL_GET_MODEMSTATUS, 0, sizeof(ULONG), &CPortQueue::GetModemStatus},
    {IOCTL_SERIAL_GET_COMMSTATUS, 0, sizeof(SERIAL_STATUS), &CPortQueue::GetCommStatus},
    {IOCTL_SERIAL_GET_MODEM_CONTROL, 0, sizeof(ULONG), &CPortQueue::GetModemControl},
    {IOCTL_SERIAL_SET_MODEM_CONTROL, sizeof(ULONG), 0, &CPortQueue::SetModemControl},
    {IOCTL_SERIAL_SET_FIFO_CONTROL, sizeof(ULONG), 0, &CPortQueue::SetFifoControl},
};

void CPortQueue::OnDeviceIoControl(IWDFIoQueue * /*queue*/, IWDFIoRequest *request, ULONG controlCode,
                                   SIZE_T /*inputSize*/, SIZE_T /*outputSize*/)
{
    HRESULT hr = S_OK;
    SIZE_T returned = 0;
    const SerialRequest *entry = std::find_if(std::begin(kSerialRequests), std::end(kSerialRequests),
                                              [controlCode](const SerialRequest &r) { return r.code == controlCode; });
    if (entry != std::end(kSerialRequests))
        hr = RunSerialRequest(*entry, request, &returned);
    else if (controlCode == kIoctlParQueryDeviceId || controlCode == kIoctlParQueryDeviceIdSize)
        hr = ForwardDeviceId(controlCode, request, &returned);
    // Any other code succeeds with no data and no effect.

    Sleep(1);
    request->CompleteWithInformation(hr, SUCCEEDED(hr) ? returned : 0);
}

// Both buffers are checked before either is used, so a request that fails on a size changes
// nothing.
HRESULT CPortQueue::RunSerialRequest(const SerialRequest &entry, IWDFIoRequest *request, SIZE_T *returned)
{
    BYTE in[32] = {};
    BYTE out[32] = {};
    CComPtr<IWDFMemory> input;
    CComPtr<IWDFMemory> output;
    HRESULT hr = S_OK;
    if (entry.in > 0) {
        hr = GetRequestInput(request, &input);
        if (hr == S_OK && input->GetSize() < entry.in)
            hr = kBufferTooSmall;
    }
    if (hr == S_OK && entry.out > 0) {
        hr = GetRequestOutput(request, &output);
        if (hr == S_OK && output->GetSize() < entry.out)
            hr = kBufferTooSmall;
    }
    if (hr == S_OK && entry.in > 0)
        hr = input->CopyToBuffer(0, in, entry.in);
    if (hr == S_OK)
        hr = (this->*entry.handler)(in, out);
    if (hr == S_OK && entry.out > 0) {
        hr = output->CopyFromBuffer(0, out, entry.out);
        if (hr == S_OK)
            *returned = entry.out;
    }
    return hr;
}

// The printer answers the parallel port's device-id requests. The write overlapped record is
// free here: the queue hands out one request at a time.
HRESULT CPortQueue::ForwardDeviceId(ULONG controlCode, IWDFIoRequest *request, SIZE_T *returned)
{
    CAutoLock lock(m_device->ConnectionLock());
    CComPtr<IWDFMemory> output;
    HRESULT hr = GetRequestOutput(request, &output);
    if (hr == S_OK && controlCode == kIoctlParQueryDeviceIdSize && output->GetSize() < sizeof(ULONG))
        hr = kBufferTooSmall;
    if (hr == S_OK && !m_device->IsOpen())
        hr = HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE);

    // Heap memory the printer answers into; left allocated should the request outlive its cancel.
    std::unique_ptr<BYTE[]> answer;
    if (hr == S_OK) {
        answer.reset(new (std::nothrow) BYTE[kDeviceIdBuffer]);
        if (!answer)
            hr = E_OUTOFMEMORY;
    }

    DWORD got = 0;
    if (hr == S_OK) {
        HANDLE printer = m_device->Printer();
        OVERLAPPED *overlapped = m_device->WriteOverlapped();
        const HANDLE event = overlapped->hEvent;
        *overlapped = OVERLAPPED();
        overlapped->hEvent = event;
        if (!Seam().printerIoControl(printer, kIoctlUsbPrintGet1284Id, nullptr, 0, answer.get(), kDeviceIdBuffer,
                                     nullptr, overlapped)
            && GetLastError() != ERROR_IO_PENDING) {
            hr = HrFromLastError();
        } else {
            // A printer that never answers must not hold the connection lock, and with it the
            // port's close, for longer than this.
            const CPortDevice::IoWait wait = m_device->WaitForIo(overlapped, kDeviceIdLimitMs);
            const DWORD waitError = wait == CPortDevice::IoWait::Failed ? GetLastError() : 0;
            if (wait == CPortDevice::IoWait::Done) {
                if (!GetOverlappedResult(printer, overlapped, &got, FALSE))
                    hr = HrFromLastError();
            } else {
                // An answer that completed just before the cancel is used as it is.
                BOOL ok = FALSE;
                if (!CancelPendingIo(printer, overlapped, &got, &ok))
                    static_cast<void>(answer.release());   // the printer may still write into it
                if (!ok)
                    hr = wait == CPortDevice::IoWait::TimedOut  ? HRESULT_FROM_WIN32(WAIT_TIMEOUT)
                         : wait == CPortDevice::IoWait::Aborted ? HRESULT_FROM_WIN32(ERROR_OPERATION_ABORTED)
                                                                : HrFromWin32(waitError);
            }
        }
        if (FAILED(hr))
            TraceEvents(TRACE_LEVEL_ERROR, TRACE_PRINTER, L"printer device id failed, %08lx", hr);
    }

    if (hr == S_OK && controlCode == kIoctlParQueryDeviceId) {
        if (output->GetSize() < got) {
            hr = kStatusBufferTooSmall;
        } else {
            hr = output->CopyFromBuffer(0, answer.get(), got);
            if (hr == S_OK)
                *returned = got;
        }
    } else if (hr == S_OK) {
        ULONG size = got;
        hr = output->CopyFromBuffer(0, &size, sizeof(size));
        if (hr == S_OK)
            *returned = sizeof(size);
    }
    return hr;
}

HRESULT CPortQueue::SetBaudRate(const BYTE *in, BYTE * /*out*/)
{
    m_device->m_baudRate = Read<SERIAL_BAUD_RATE>(in).BaudRate;
    return S_OK;
}

// The sizes are only remembered (and never lowered); the receive buffer has its own bound.
HRESULT CPortQueue::SetQueueSize(const BYTE *in, BYTE * /*out*/)
{
    const SERIAL_QUEUE_SIZE size = Read<SERIAL_QUEUE_SIZE>(in);
    m_device->m_inputQueueSize = std::max(m_device->m_inputQueueSize, size.InSize);
    m_device->m_outputQueueSize = std::max(m_device->m_outputQueueSize, size.OutSize);
    return S_OK;
}

// A refused line leaves the line control and the data mask as they were.
HRESULT CPortQueue::SetLineControl(const BYTE *in, BYTE * /*out*/)
{
    LONG bits = 0;
    UCHAR dataMask = 0;
    HRESULT hr = EncodeLineControl(Read<SERIAL_LINE_CONTROL>(in), &bits, &dataMask);
    if (hr != S_OK)
        return hr;
    m_device->m_dataMask = dataMask;
    for (unsigned attempt = 1;; ++attempt) {
        const LONG old = InterlockedCompareExchange(&m_device->m_lineControl, 0, 0);
        const LONG value = (old & kBreakBit) | bits;
        if (InterlockedCompareExchange(&m_device->m_lineControl, value, old) == old)
            break;
        if (attempt % 16 == 0)
            SwitchToThread();
    }
    return S_OK;
}

HRESULT CPortQueue::SetTimeouts(const BYTE *in, BYTE * /*out*/)
{
    const SERIAL_TIMEOUTS timeouts = Read<SERIAL_TIMEOUTS>(in);
    if (timeouts.ReadIntervalTimeout == MAXDWORD && timeouts.ReadTotalTimeoutMultiplier == MAXDWORD
        && timeouts.ReadTotalTimeoutConstant == MAXDWORD)
        return E_INVALIDARG;
    m_device->m_timeouts = timeouts;
    return S_OK;
}

HRESULT CPortQueue::GetTimeouts(const BYTE * /*in*/, BYTE *out)
{
    return Write(out, m_device->m_timeouts);
}

HRESULT CPortQueue::GetWaitMask(const BYTE * /*in*/, BYTE *out)
{
    return Write(out, m_device->m_waitMask);
}

HRESULT CPortQueue::SetWaitMask(const BYTE *in, BYTE * /*out*/)
{
    m_device->m_waitMask = Read<ULONG>(in);
    return S_OK;
}

// Answers at once: the line is always ready to send, CTS and DSR always up, and a character
// has arrived when the receive buffer holds one.
HRESULT CPortQueue::WaitOnMask(const BYTE * /*in*/, BYTE *out)
{
    ULONG events = SERIAL_EV_TXEMPTY | SERIAL_EV_CTS | SERIAL_EV_DSR;
    if ((m_device->m_waitMask & SERIAL_EV_RXCHAR) && m_receiveBuffer.Size() > 0)
        events |= SERIAL_EV_RXCHAR;
    return Write(out, events);
}

// Nothing is purged: bytes the printer sent stay for the next read.
HRESULT CPortQueue::Purge(const BYTE *in, BYTE * /*out*/)
{
    TraceEvents(TRACE_LEVEL_INFORMATION, TRACE_QUEUE, L"purge %08lx ignored", Read<ULONG>(in));
    return S_OK;
}

HRESULT CPortQueue::GetBaudRate(const BYTE * /*in*/, BYTE *out)
{
    SERIAL_BAUD_RATE rate = {m_device->m_baudRate};
    return Write(out, rate);
}

HRESULT CPortQueue::GetLineControl(const BYTE * /*in*/, BYTE *out)
{
    return Write(out, DecodeLineControl(InterlockedCompareExchange(&m_device->m_lineControl, 0, 0)));
}

HRESULT CPortQueue::GetChars(const BYTE * /*in*/, BYTE *out)
{
    return Write(out, m_device->m_chars);
}

HRESULT CPortQueue::SetChars(const BYTE *in, BYTE * /*out*/)
{
    m_device->m_chars = Read<SERIAL_CHARS>(in);
    return S_OK;
}

HRESULT CPortQueue::GetHandFlow(const BYTE * /*in*/, BYTE *out)
{
    return Write(out, m_device->m_handFlow);
}

HRESULT CPortQueue::SetHandFlow(const BYTE *in, BYTE * /*out*/)
{
    m_device->m_handFlow = Read<SERIAL_HANDFLOW>(in);
    return S_OK;
}

HRESULT CPortQueue::GetModemStatus(const BYTE * /*in*/, BYTE *out)
{
    return Write<ULONG>(out, kModemStatusCts | kModemStatusDsr | kModemStatusDcd);
}

HRESULT CPortQueue::GetCommStatus(const BYTE * /*in*/, BYTE *out)
{
    SERIAL_STATUS status = {};
    status.AmountInInQueue = static_cast<ULONG>(m_receiveBuffer.Size());
    return Write(out, status);
}

HRESULT CPortQueue::GetModemControl(const BYTE * /*in*/, BYTE *out)
{
    return Write(out, m_device->m_modemControl);
}

HRESULT CPortQueue::SetModemControl(const BYTE *in, BYTE * /*out*/)
{
    m_device->m_modemControl = Read<ULONG>(in);
    return S_OK;
}

HRESULT CPortQueue::SetFifoControl(const BYTE *in, BYTE * /*out*/)
{
    m_device->m_fifoControl = Read<ULONG>(in);
    return S_OK;
}
