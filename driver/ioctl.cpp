// The port requests: the serial requests answered from the emulated port state, and the
// parallel device-id requests answered by the printer.
#include "queue.h"
#include "device.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>

static_assert(sizeof(SERIAL_LINE_CONTROL) == 3, "line control is three bytes");
static_assert(sizeof(SERIAL_CHARS) == 6, "special characters are six bytes");
static_assert(sizeof(SERIAL_HANDFLOW) == 16, "flow control is sixteen bytes");
static_assert(sizeof(SERIAL_TIMEOUTS) == 20, "time-outs are twenty bytes");
static_assert(sizeof(SERIAL_STATUS) == 20, "comm status is twenty bytes");

// The port's properties as the platform publishes them (the COMMPROP that GetCommProperties
// returns has the same layout): the same on x86 and x64, every member at its published offset.
static_assert(sizeof(SERIAL_COMMPROP) == 64, "port properties are sixty-four bytes");
static_assert(offsetof(SERIAL_COMMPROP, PacketLength) == 0, "SERIAL_COMMPROP layout");
static_assert(offsetof(SERIAL_COMMPROP, PacketVersion) == 2, "SERIAL_COMMPROP layout");
static_assert(offsetof(SERIAL_COMMPROP, ServiceMask) == 4, "SERIAL_COMMPROP layout");
static_assert(offsetof(SERIAL_COMMPROP, Reserved1) == 8, "SERIAL_COMMPROP layout");
static_assert(offsetof(SERIAL_COMMPROP, MaxTxQueue) == 12, "SERIAL_COMMPROP layout");
static_assert(offsetof(SERIAL_COMMPROP, MaxRxQueue) == 16, "SERIAL_COMMPROP layout");
static_assert(offsetof(SERIAL_COMMPROP, MaxBaud) == 20, "SERIAL_COMMPROP layout");
static_assert(offsetof(SERIAL_COMMPROP, ProvSubType) == 24, "SERIAL_COMMPROP layout");
static_assert(offsetof(SERIAL_COMMPROP, ProvCapabilities) == 28, "SERIAL_COMMPROP layout");
static_assert(offsetof(SERIAL_COMMPROP, SettableParams) == 32, "SERIAL_COMMPROP layout");
static_assert(offsetof(SERIAL_COMMPROP, SettableBaud) == 36, "SERIAL_COMMPROP layout");
static_assert(offsetof(SERIAL_COMMPROP, SettableData) == 40, "SERIAL_COMMPROP layout");
static_assert(offsetof(SERIAL_COMMPROP, SettableStopParity) == 42, "SERIAL_COMMPROP layout");
static_assert(offsetof(SERIAL_COMMPROP, CurrentTxQueue) == 44, "SERIAL_COMMPROP layout");
static_assert(offsetof(SERIAL_COMMPROP, CurrentRxQueue) == 48, "SERIAL_COMMPROP layout");
static_assert(offsetof(SERIAL_COMMPROP, ProvSpec1) == 52, "SERIAL_COMMPROP layout");
static_assert(offsetof(SERIAL_COMMPROP, ProvSpec2) == 56, "SERIAL_COMMPROP layout");
static_assert(offsetof(SERIAL_COMMPROP, ProvChar) == 60, "SERIAL_COMMPROP layout");
// The codes and values of the requests added beside the port request table, as published.
static_assert(IOCTL_SERIAL_GET_PROPERTIES == 0x1B0074, "IOCTL_SERIAL_GET_PROPERTIES");
static_assert(IOCTL_SERIAL_CONFIG_SIZE == 0x1B0080, "IOCTL_SERIAL_CONFIG_SIZE");
static_assert(IOCTL_SERIAL_IMMEDIATE_CHAR == 0x1B0018, "IOCTL_SERIAL_IMMEDIATE_CHAR");
static_assert(SERIAL_SP_SERIALCOMM == 1 && SERIAL_SP_RS232 == 1 && SERIAL_BAUD_USER == 0x10000000,
              "port property values");

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

// A handler's answer for a request it parked: the request is completed later, not now. A success
// code with the customer bit set, which nothing of the platform returns.
const HRESULT kParked = static_cast<HRESULT>(0x20040001);

// The largest fixed-size input or output of a port request (the port properties).
const size_t kMaxRequestPayload = sizeof(SERIAL_COMMPROP);

// The baud rates a program may set: any (the rate is only remembered), the standard ones named.
const ULONG kSettableBaud = SERIAL_BAUD_075 | SERIAL_BAUD_110 | SERIAL_BAUD_134_5 | SERIAL_BAUD_150
                            | SERIAL_BAUD_300 | SERIAL_BAUD_600 | SERIAL_BAUD_1200 | SERIAL_BAUD_1800
                            | SERIAL_BAUD_2400 | SERIAL_BAUD_4800 | SERIAL_BAUD_7200 | SERIAL_BAUD_9600
                            | SERIAL_BAUD_14400 | SERIAL_BAUD_19200 | SERIAL_BAUD_38400 | SERIAL_BAUD_56K
                            | SERIAL_BAUD_57600 | SERIAL_BAUD_115200 | SERIAL_BAUD_128K | SERIAL_BAUD_USER;

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
    HRESULT (CPortQueue::*handler)(IWDFIoRequest *request, const BYTE *in, BYTE *out);
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
    {IOCTL_SERIAL_GET_PROPERTIES, 0, sizeof(SERIAL_COMMPROP), &CPortQueue::GetProperties},
    {IOCTL_SERIAL_CONFIG_SIZE, 0, sizeof(ULONG), &CPortQueue::GetConfigSize},
    {IOCTL_SERIAL_IMMEDIATE_CHAR, sizeof(UCHAR), 0, &CPortQueue::ImmediateChar},
};

void CPortQueue::OnDeviceIoControl(IWDFIoQueue * /*queue*/, IWDFIoRequest *request, ULONG controlCode,
                                   SIZE_T /*inputSize*/, SIZE_T outputSize)
{
    HRESULT hr = S_OK;
    SIZE_T returned = 0;
    const SerialRequest *entry = std::find_if(std::begin(kSerialRequests), std::end(kSerialRequests),
                                              [controlCode](const SerialRequest &r) { return r.code == controlCode; });
    if (entry != std::end(kSerialRequests))
        hr = RunSerialRequest(*entry, request, &returned);
    else if (controlCode == kIoctlParQueryDeviceId || controlCode == kIoctlParQueryDeviceIdSize)
        hr = ForwardDeviceId(controlCode, request, &returned);
    else if (outputSize > 0)
        // A request for data this port does not have (statistics, the DTR and RTS state, ...):
        // succeeding with nothing would leave the caller's structure as it was, taken for an
        // answer.
        hr = HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED);
    // Any other code (the DTR, RTS, XON/XOFF and break settings among them) succeeds with no
    // effect: nothing of the line reaches the printer.

    if (hr == kParked)
        return;   // completed when it ends
    Sleep(1);
    request->CompleteWithInformation(hr, SUCCEEDED(hr) ? returned : 0);
}

// Both buffers are checked before either is used, so a request that fails on a size changes
// nothing.
HRESULT CPortQueue::RunSerialRequest(const SerialRequest &entry, IWDFIoRequest *request, SIZE_T *returned)
{
    BYTE in[kMaxRequestPayload] = {};
    BYTE out[kMaxRequestPayload] = {};
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
        hr = (this->*entry.handler)(request, in, out);
    if (hr == kParked)
        return hr;
    if (hr == S_OK && entry.out > 0) {
        hr = output->CopyFromBuffer(0, out, entry.out);
        if (hr == S_OK)
            *returned = entry.out;
    }
    return hr;
}

// The printer answers the parallel port's device-id requests, on the connection's write record:
// the queue hands out one request at a time.
HRESULT CPortQueue::ForwardDeviceId(ULONG controlCode, IWDFIoRequest *request, SIZE_T *returned)
{
    CAutoLock lock(m_device->ConnectionLock());
    CComPtr<IWDFMemory> output;
    HRESULT hr = GetRequestOutput(request, &output);
    if (hr == S_OK && controlCode == kIoctlParQueryDeviceIdSize && output->GetSize() < sizeof(ULONG))
        hr = kBufferTooSmall;

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
        // Refused with the port closed, or broken by an earlier I/O that still holds the record.
        OVERLAPPED *overlapped = nullptr;
        hr = m_device->BeginPrinterIo(&overlapped);
        if (hr == S_OK
            && !Seam().printerIoControl(printer, kIoctlUsbPrintGet1284Id, nullptr, 0, answer.get(), kDeviceIdBuffer,
                                        nullptr, overlapped)
            && GetLastError() != ERROR_IO_PENDING) {
            hr = HrFromLastError();
        } else if (hr == S_OK) {
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
                if (!CancelPendingIo(printer, overlapped, &got, &ok)) {
                    static_cast<void>(answer.release());   // the printer may still write into it
                    m_device->StrandPrinterIo();
                }
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

// Any rate is remembered but none: a serial port refuses a rate of 0.
HRESULT CPortQueue::SetBaudRate(IWDFIoRequest * /*request*/, const BYTE *in, BYTE * /*out*/)
{
    const ULONG rate = Read<SERIAL_BAUD_RATE>(in).BaudRate;
    if (rate == 0)
        return HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER);
    m_device->m_baudRate = rate;
    return S_OK;
}

// The sizes are only remembered (and never lowered); the input size no further than the receive
// buffer's bound, which is what the port keeps.
HRESULT CPortQueue::SetQueueSize(IWDFIoRequest * /*request*/, const BYTE *in, BYTE * /*out*/)
{
    const SERIAL_QUEUE_SIZE size = Read<SERIAL_QUEUE_SIZE>(in);
    const ULONG inSize = std::min(size.InSize, static_cast<ULONG>(CReceiveBuffer::kLimit));
    m_device->m_inputQueueSize = std::max(m_device->m_inputQueueSize, inSize);
    m_device->m_outputQueueSize = std::max(m_device->m_outputQueueSize, size.OutSize);
    return S_OK;
}

// A refused line leaves the line control and the data mask as they were.
HRESULT CPortQueue::SetLineControl(IWDFIoRequest * /*request*/, const BYTE *in, BYTE * /*out*/)
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

HRESULT CPortQueue::SetTimeouts(IWDFIoRequest * /*request*/, const BYTE *in, BYTE * /*out*/)
{
    const SERIAL_TIMEOUTS timeouts = Read<SERIAL_TIMEOUTS>(in);
    if (timeouts.ReadIntervalTimeout == MAXDWORD && timeouts.ReadTotalTimeoutMultiplier == MAXDWORD
        && timeouts.ReadTotalTimeoutConstant == MAXDWORD)
        return E_INVALIDARG;
    m_device->m_timeouts = timeouts;
    return S_OK;
}

HRESULT CPortQueue::GetTimeouts(IWDFIoRequest * /*request*/, const BYTE * /*in*/, BYTE *out)
{
    return Write(out, m_device->m_timeouts);
}

HRESULT CPortQueue::GetWaitMask(IWDFIoRequest * /*request*/, const BYTE * /*in*/, BYTE *out)
{
    return Write(out, m_device->m_waitMask);
}

// A new mask ends the waiting wait-mask requests with no event, and forgets a write that got
// out before it.
HRESULT CPortQueue::SetWaitMask(IWDFIoRequest * /*request*/, const BYTE *in, BYTE * /*out*/)
{
    CAutoLock lock(m_parkLock);
    ServiceParked(ParkPass::MaskChanged);
    m_device->m_waitMask = Read<ULONG>(in);
    InterlockedExchange(&m_device->m_transmitEmptied, 0);
    return S_OK;
}

// The wait-mask events that can happen on this port: a byte is buffered (SERIAL_EV_RXCHAR), or a
// write got bytes out since the last report (SERIAL_EV_TXEMPTY). The modem lines never change,
// so their events never happen.
ULONG CPortQueue::PendingEvents(ULONG mask)
{
    ULONG events = 0;
    if (m_receiveBuffer.Size() > 0)
        events |= SERIAL_EV_RXCHAR;
    if (InterlockedCompareExchange(&m_device->m_transmitEmptied, 0, 0))
        events |= SERIAL_EV_TXEMPTY;
    return events & mask;
}

void CPortQueue::TransmitEmptied()
{
    InterlockedExchange(&m_device->m_transmitEmptied, 1);
    ServiceParked(ParkPass::Due);
}

// Reports only events of the wait mask. When none has happened the request is parked (within the
// cap) until one does, the mask is set again, or a purge, a cancel or the close ends it; its time
// running out answers 0.
HRESULT CPortQueue::WaitOnMask(IWDFIoRequest *request, const BYTE * /*in*/, BYTE *out)
{
    CAutoLock lock(m_parkLock);
    const ULONG mask = m_device->m_waitMask;
    if (mask == 0)
        return E_INVALIDARG;   // nothing to wait for, as a serial port answers
    ULONG events = PendingEvents(mask);
    if (events == 0 && Park(request, Parked::Wait, 0, kCappedWriteLimitMs))
        return kParked;
    if (events & SERIAL_EV_TXEMPTY)
        InterlockedExchange(&m_device->m_transmitEmptied, 0);
    return Write(out, events);
}

// Nothing is purged: bytes the printer sent stay for the next read. The abort flags end the
// parked reads and wait-mask requests, as aborted.
HRESULT CPortQueue::Purge(IWDFIoRequest * /*request*/, const BYTE *in, BYTE * /*out*/)
{
    const ULONG flags = Read<ULONG>(in);
    TraceEvents(TRACE_LEVEL_INFORMATION, TRACE_QUEUE, L"purge %08lx", flags);
    if (flags & (SERIAL_PURGE_RXABORT | SERIAL_PURGE_TXABORT))
        ServiceParked(ParkPass::Abort);
    return S_OK;
}

HRESULT CPortQueue::GetBaudRate(IWDFIoRequest * /*request*/, const BYTE * /*in*/, BYTE *out)
{
    SERIAL_BAUD_RATE rate = {m_device->m_baudRate};
    return Write(out, rate);
}

HRESULT CPortQueue::GetLineControl(IWDFIoRequest * /*request*/, const BYTE * /*in*/, BYTE *out)
{
    return Write(out, DecodeLineControl(InterlockedCompareExchange(&m_device->m_lineControl, 0, 0)));
}

HRESULT CPortQueue::GetChars(IWDFIoRequest * /*request*/, const BYTE * /*in*/, BYTE *out)
{
    return Write(out, m_device->m_chars);
}

HRESULT CPortQueue::SetChars(IWDFIoRequest * /*request*/, const BYTE *in, BYTE * /*out*/)
{
    m_device->m_chars = Read<SERIAL_CHARS>(in);
    return S_OK;
}

HRESULT CPortQueue::GetHandFlow(IWDFIoRequest * /*request*/, const BYTE * /*in*/, BYTE *out)
{
    return Write(out, m_device->m_handFlow);
}

HRESULT CPortQueue::SetHandFlow(IWDFIoRequest * /*request*/, const BYTE *in, BYTE * /*out*/)
{
    m_device->m_handFlow = Read<SERIAL_HANDFLOW>(in);
    return S_OK;
}

HRESULT CPortQueue::GetModemStatus(IWDFIoRequest * /*request*/, const BYTE * /*in*/, BYTE *out)
{
    return Write<ULONG>(out, kModemStatusCts | kModemStatusDsr | kModemStatusDcd);
}

HRESULT CPortQueue::GetCommStatus(IWDFIoRequest * /*request*/, const BYTE * /*in*/, BYTE *out)
{
    SERIAL_STATUS status = {};
    status.AmountInInQueue = static_cast<ULONG>(m_receiveBuffer.Size());
    return Write(out, status);
}

HRESULT CPortQueue::GetModemControl(IWDFIoRequest * /*request*/, const BYTE * /*in*/, BYTE *out)
{
    return Write(out, m_device->m_modemControl);
}

HRESULT CPortQueue::SetModemControl(IWDFIoRequest * /*request*/, const BYTE *in, BYTE * /*out*/)
{
    m_device->m_modemControl = Read<ULONG>(in);
    return S_OK;
}

HRESULT CPortQueue::SetFifoControl(IWDFIoRequest * /*request*/, const BYTE *in, BYTE * /*out*/)
{
    m_device->m_fifoControl = Read<ULONG>(in);
    return S_OK;
}

// The port as GetCommProperties describes it: a serial port whose line settings may all be set
// (they are only remembered), with the queue sizes asked for, a receive buffer of a fixed bound,
// total time-outs, and no modem lines or flow control of its own.
HRESULT CPortQueue::GetProperties(IWDFIoRequest * /*request*/, const BYTE * /*in*/, BYTE *out)
{
    SERIAL_COMMPROP properties = {};
    properties.PacketLength = sizeof(properties);
    properties.PacketVersion = 2;
    properties.ServiceMask = SERIAL_SP_SERIALCOMM;
    properties.MaxTxQueue = 0;   // writes go straight to the printer: no bound of ours
    properties.MaxRxQueue = static_cast<ULONG>(CReceiveBuffer::kLimit);
    properties.MaxBaud = SERIAL_BAUD_USER;
    properties.ProvSubType = SERIAL_SP_RS232;
    properties.ProvCapabilities = SERIAL_PCF_TOTALTIMEOUTS;
    properties.SettableParams = SERIAL_SP_PARITY | SERIAL_SP_BAUD | SERIAL_SP_DATABITS | SERIAL_SP_STOPBITS;
    properties.SettableBaud = kSettableBaud;
    properties.SettableData = SERIAL_DATABITS_5 | SERIAL_DATABITS_6 | SERIAL_DATABITS_7 | SERIAL_DATABITS_8;
    properties.SettableStopParity = SERIAL_STOPBITS_10 | SERIAL_STOPBITS_15 | SERIAL_STOPBITS_20 | SERIAL_PARITY_NONE
                                    | SERIAL_PARITY_ODD | SERIAL_PARITY_EVEN | SERIAL_PARITY_MARK
                                    | SERIAL_PARITY_SPACE;
    properties.CurrentTxQueue = m_device->m_outputQueueSize;
    properties.CurrentRxQueue = m_device->m_inputQueueSize;
    return Write(out, properties);
}

// No provider-specific configuration follows the port's settings.
HRESULT CPortQueue::GetConfigSize(IWDFIoRequest * /*request*/, const BYTE * /*in*/, BYTE *out)
{
    return Write<ULONG>(out, 0);
}

// TransmitCommChar: the byte goes to the printer like a one-byte write, within the write
// time-outs.
HRESULT CPortQueue::ImmediateChar(IWDFIoRequest * /*request*/, const BYTE *in, BYTE * /*out*/)
{
    CAutoLock lock(m_device->ConnectionLock());
    SIZE_T done = 0;
    return WriteToPrinter(in, sizeof(UCHAR), &done);
}
