// The port's queue: opening and closing the printer connection, the receive thread, reads
// served from the receive buffer and writes that go straight to the printer.
#include "queue.h"
#include "device.h"

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

namespace {

// The receive thread reads the printer in blocks of this size.
const DWORD kReceiveBlock = 1024;
// After a printer read that brought nothing (it failed, at once or later, or completed empty)
// the receive thread rests this long before the next: a printer that answers every read at once
// with no data costs about a hundred reads a second, not a busy processor.
const DWORD kReceiveRestMs = 10;
// While requests are parked, the receive thread looks at their time in steps of this many
// milliseconds.
const DWORD kReadPollMs = 10;
// A write with no time-outs set waits this long for the printer.
const DWORD kDefaultWriteLimitMs = 500;
// Failed or empty write completions in a row before the write gives up.
const int kWriteAttempts = 3;

} // namespace

HRESULT CPortQueue::CreateInstance(CPortDevice *device, IWDFDevice *fxDevice)
{
    CPortQueue *queue = new (std::nothrow) CPortQueue(device);
    if (!queue)
        return E_OUTOFMEMORY;
    HRESULT hr = queue->Initialize(fxDevice);
    // On success the framework queue holds the object.
    queue->Release();
    return hr;
}

CPortQueue::CPortQueue(CPortDevice *device) : m_device(device), m_parkWake(CreateEventW(nullptr, FALSE, FALSE, nullptr))
{
    m_device->AddRef();
}

// The receive thread works on this object's buffer: the connection ends before the buffer goes.
CPortQueue::~CPortQueue()
{
    {
        CAutoLock lock(m_device->ConnectionLock());
        m_device->Close();
    }
    m_device->SetQueue(nullptr);
    // The framework queues are gone with the device and took their requests with them.
    for (const Parked &entry : m_parked)
        entry.request->Release();
    m_device->Release();
}

HRESULT CPortQueue::QueryInterface(REFIID iid, void **ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(iid, IID_IQueueCallbackWrite))
        return Answer(static_cast<IQueueCallbackWrite *>(this), ppv);
    if (IsEqualIID(iid, IID_IQueueCallbackRead))
        return Answer(static_cast<IQueueCallbackRead *>(this), ppv);
    if (IsEqualIID(iid, IID_IQueueCallbackDeviceIoControl))
        return Answer(static_cast<IQueueCallbackDeviceIoControl *>(this), ppv);
    if (IsEqualIID(iid, IID_IRequestCallbackCancel))
        return Answer(static_cast<IRequestCallbackCancel *>(this), ppv);
    if (IsEqualIID(iid, IID_IQueueCallbackCreate))
        return Answer(static_cast<IQueueCallbackCreate *>(this), ppv);
    return CRefCounted::QueryInterface(iid, ppv);
}

HRESULT CPortQueue::Initialize(IWDFDevice *fxDevice)
{
    IWDFIoQueue *fxQueue = nullptr;
    HRESULT hr = fxDevice->CreateIoQueue(static_cast<IQueueCallbackWrite *>(this), TRUE,
                                         WdfIoQueueDispatchSequential, TRUE, FALSE, &fxQueue);
    if (FAILED(hr)) {
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_QUEUE, L"CreateIoQueue failed, %08lx", hr);
        return hr;
    }
    m_fxQueue = fxQueue;
    fxQueue->Release();

    // The manual queue where reads and wait-mask requests wait. Not power-managed: a pass must
    // always be able to take its requests out.
    if (!m_parkWake.IsSet())
        return HrFromLastError();
    IWDFIoQueue *parkQueue = nullptr;
    hr = fxDevice->CreateIoQueue(static_cast<IQueueCallbackWrite *>(this), FALSE, WdfIoQueueDispatchManual, FALSE,
                                 FALSE, &parkQueue);
    if (FAILED(hr)) {
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_QUEUE, L"CreateIoQueue (manual) failed, %08lx", hr);
        return hr;
    }
    m_parkQueue = parkQueue;
    parkQueue->Release();
    m_device->SetQueue(this);
    return hr;
}

HRESULT CPortQueue::GetRequestInput(IWDFIoRequest *request, IWDFMemory **memory)
{
    *memory = nullptr;
    request->GetInputMemory(memory);
    return *memory ? S_OK : HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
}

HRESULT CPortQueue::GetRequestOutput(IWDFIoRequest *request, IWDFMemory **memory)
{
    *memory = nullptr;
    request->GetOutputMemory(memory);
    return *memory ? S_OK : HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
}

// --- Open ------------------------------------------------------------------------------------

void CPortQueue::OnCreateFile(IWDFIoQueue * /*queue*/, IWDFIoRequest *request, IWDFFile *file)
{
    CAutoLock lock(m_device->ConnectionLock());
    HRESULT hr = S_OK;
    if (m_device->IsOpen()) {
        // One connection per device: a second open must not touch the first one's printer
        // handle, events or thread, so it is refused before anything is reset.
        hr = HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
        TraceEvents(TRACE_LEVEL_WARNING, TRACE_QUEUE, L"port already open");
    } else {
        ULONG options = 0;
        USHORT attributes = 0;
        USHORT share = 0;
        request->GetCreateParameters(&options, &attributes, &share);
        HANDLE printer = OpenUsbPrinter(options >> 24, attributes, share);
        if (printer == INVALID_HANDLE_VALUE)
            hr = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
        else
            hr = m_device->Open(printer, file, &CPortQueue::UsbReadThread, this);
    }
    request->Complete(hr);
}

// --- Receive thread --------------------------------------------------------------------------

DWORD WINAPI CPortQueue::UsbReadThread(void *queue)
{
    static_cast<CPortQueue *>(queue)->ReceiveLoop();
    return 0;
}

// One read of the printer is outstanding at a time. The block and its OVERLAPPED live on the
// heap: a read still pending when the loop ends is cancelled and waited for (with a bound)
// before they go, and should it outlast that bound they are left allocated for it. A read that
// is not pending (never started, or already completed) is left alone.
namespace {

struct ReceiveBlock
{
    OVERLAPPED overlapped;
    BYTE bytes[kReceiveBlock];
};

} // namespace

void CPortQueue::ReceiveLoop()
{
    CHandle readEvent(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    std::unique_ptr<ReceiveBlock> block(new (std::nothrow) ReceiveBlock());
    if (!readEvent.IsSet() || !block) {
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_PRINTER, L"receive thread: no event or block, %lu", GetLastError());
        return;
    }
    OVERLAPPED &overlapped = block->overlapped;
    HANDLE stop = m_device->StopEvent();
    HANDLE printer = nullptr;
    bool pending = false;

    for (;;) {
        printer = m_device->Printer();
        overlapped = OVERLAPPED();
        overlapped.hEvent = readEvent.Get();
        if (Seam().printerRead(printer, block->bytes, kReceiveBlock, nullptr, &overlapped)
            || GetLastError() == ERROR_IO_PENDING) {
            pending = true;
        } else {
            // Nothing started (the printer went away, say): try again a little later, still
            // answering the stop event at once.
            if (WaitServingParked(nullptr, stop, kReceiveRestMs) != WAIT_TIMEOUT)
                break;
            continue;
        }

        // Ends at the latest when the port closes, which signals the stop event.
        if (WaitServingParked(readEvent.Get(), stop, INFINITE) != WAIT_OBJECT_0 + 1)
            break;
        DWORD received = 0;
        BOOL ok = GetOverlappedResult(printer, &overlapped, &received, FALSE);
        if (ok || GetLastError() != ERROR_IO_INCOMPLETE)
            pending = false;
        if (ok && received > 0) {
            // Bytes came: the next read follows at once, so that a burst is not held up.
            Receive(block->bytes, received);
            if (WaitForSingleObject(stop, 0) == WAIT_OBJECT_0)
                break;
            continue;
        }
        // A read that brought nothing rests before the next, as one that failed to start does.
        if (WaitServingParked(nullptr, stop, kReceiveRestMs) != WAIT_TIMEOUT)
            break;
    }

    if (pending) {
        DWORD received = 0;
        BOOL ok = FALSE;
        if (!CancelPendingIo(printer, &overlapped, &received, &ok)) {
            // The read may still complete into the block and signal the event: both stay.
            static_cast<void>(block.release());
            static_cast<void>(readEvent.Detach());
            return;
        }
        // A read that completed together with the stop signal keeps its bytes: they belong to
        // the next connection's reads.
        if (ok && received > 0)
            Receive(block->bytes, received);
    }
}

void CPortQueue::Receive(const BYTE *bytes, DWORD count)
{
    size_t dropped = m_receiveBuffer.Append(bytes, count);
    if (dropped)
        TraceEvents(TRACE_LEVEL_WARNING, TRACE_PRINTER, L"receive buffer full, %lu old bytes dropped",
                    static_cast<unsigned long>(dropped));
    InterlockedExchangeAdd64(&m_received, count);
    // Parked reads get the batch, parked waits for SERIAL_EV_RXCHAR end.
    ServiceParked(ParkPass::Due);
}

// --- Read ------------------------------------------------------------------------------------

namespace {

// How long a read that still misses `rest` bytes may wait for one later batch; `holdsBytes`
// tells whether it already took some from the receive buffer.
//
// ReadIntervalTimeout = ReadTotalTimeoutMultiplier = MAXDWORD with a constant strictly between 0
// and MAXDWORD has its serial-port meaning: what is buffered comes back at once, and with nothing
// buffered the read waits up to the constant for the first batch. Any other setting gives
// rest x multiplier + constant (the interval time-out is not used), computed without wrapping.
// Every budget, the constant alone included, is capped at kCappedWriteLimitMs, a bound on every
// wait of the driver; a smaller budget stays exact.
DWORD ReadBudget(SIZE_T rest, bool holdsBytes, const SERIAL_TIMEOUTS &t)
{
    if (t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == MAXDWORD
        && t.ReadTotalTimeoutConstant != 0 && t.ReadTotalTimeoutConstant != MAXDWORD)
        return holdsBytes ? 0 : std::min(t.ReadTotalTimeoutConstant, kCappedWriteLimitMs);
    // Below 2^32 missing bytes, product and sum fit in 64 bits; more is past the cap anyway.
    const ULONGLONG missing = std::min<ULONGLONG>(rest, MAXDWORD);
    const ULONGLONG budget = missing * t.ReadTotalTimeoutMultiplier + t.ReadTotalTimeoutConstant;
    return static_cast<DWORD>(std::min<ULONGLONG>(budget, kCappedWriteLimitMs));
}

} // namespace

void CPortQueue::OnRead(IWDFIoQueue * /*queue*/, IWDFIoRequest *request, SIZE_T count)
{
    HRESULT hr = S_OK;
    CComPtr<IWDFMemory> memory;
    request->GetOutputMemory(&memory);
    if (!memory)
        hr = E_POINTER;
    else if (memory->GetSize() < count)
        hr = HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY);
    if (hr != S_OK) {
        request->CompleteWithInformation(hr, 0);
        return;
    }

    // Earlier reads that still wait are served first: they get the bytes in order.
    bool readsWaiting = false;
    {
        CAutoLock lock(m_parkLock);
        if (ServiceParked(ParkPass::Due))
            for (const Parked &entry : m_parked)
                readsWaiting = readsWaiting || entry.kind == Parked::Read;
    }
    const SIZE_T buffered = m_receiveBuffer.Size();
    if (!readsWaiting && buffered >= count) {
        CompleteRead(request, count);
        return;
    }
    // The buffered bytes plus at most one later batch, within the read time-outs. The wait
    // happens in the manual queue: a cancel (the program's CancelIo, its thread's end) and the
    // file's cleanup end it there as the framework ends any queued request. The bytes stay in
    // the receive buffer meanwhile, so a cancelled read loses none.
    const SIZE_T rest = count - std::min(count, buffered);
    const DWORD budget = ReadBudget(rest, buffered > 0, m_device->m_timeouts);
    if (budget != 0 && Park(request, Parked::Read, count, budget))
        return;
    // A read whose time-out ran out completes successfully with what it holds, none included,
    // as on a serial port.
    CompleteRead(request, count);
}

void CPortQueue::CompleteRead(IWDFIoRequest *request, SIZE_T count)
{
    CComPtr<IWDFMemory> memory;
    request->GetOutputMemory(&memory);
    HRESULT hr = memory ? S_OK : E_POINTER;
    std::vector<BYTE> chunk;
    SIZE_T got = 0;
    if (hr == S_OK) {
        try {
            chunk.resize(std::min<SIZE_T>(count, m_receiveBuffer.Size()));
        } catch (const std::bad_alloc &) {
            hr = E_OUTOFMEMORY;
        }
    }
    if (hr == S_OK && !chunk.empty()) {
        got = m_receiveBuffer.Take(chunk.data(), chunk.size());
        hr = memory->CopyFromBuffer(0, chunk.data(), got);
    }
    request->CompleteWithInformation(hr, hr == S_OK ? got : 0);
}

// --- Parked requests -------------------------------------------------------------------------

bool CPortQueue::Park(IWDFIoRequest *request, Parked::Kind kind, SIZE_T count, DWORD budgetMs)
{
    // A pass takes a request out of the manual queue to look at it, and puts back those that go
    // on waiting (IWDFIoRequest2::Requeue); the receive thread makes the passes, so it must run.
    CComPtr<IWDFIoRequest2> requeue;
    request->QueryInterface(IID_IWDFIoRequest2, reinterpret_cast<void **>(&requeue));
    if (!requeue || !m_parkQueue || !m_device->IsOpen())
        return false;

    CAutoLock lock(m_parkLock);
    Parked entry = {kind, request, count, GetTickCount(), budgetMs,
                    static_cast<ULONGLONG>(InterlockedCompareExchange64(&m_received, 0, 0))};
    HRESULT hr = request->ForwardToIoQueue(m_parkQueue);
    if (FAILED(hr)) {
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_QUEUE, L"request not parked, %08lx", hr);
        return false;
    }
    // From here the request may be cancelled and completed by the framework at any time; the
    // reference keeps its address from being reused while the record names it.
    request->AddRef();
    m_parked.push_back(entry);
    SetEvent(m_parkWake.Get());
    return true;
}

bool CPortQueue::IsDue(const Parked &entry, DWORD now, ParkPass pass)
{
    if (pass == ParkPass::Abort || now - entry.start >= entry.budgetMs)
        return true;
    if (entry.kind == Parked::Wait)
        return pass == ParkPass::MaskChanged || PendingEvents(m_device->m_waitMask) != 0;
    // A read ends when it can be served whole, or when a batch came since it was parked.
    const SIZE_T buffered = m_receiveBuffer.Size();
    return buffered >= entry.count
           || (buffered > 0 && static_cast<ULONGLONG>(InterlockedCompareExchange64(&m_received, 0, 0))
                                   > entry.receivedAtPark);
}

void CPortQueue::FinishParked(const Parked &entry, IWDFIoRequest *request, ParkPass pass)
{
    if (pass == ParkPass::Abort) {
        request->CompleteWithInformation(HRESULT_FROM_WIN32(ERROR_OPERATION_ABORTED), 0);
    } else if (entry.kind == Parked::Read) {
        CompleteRead(request, entry.count);
    } else {
        // Setting the wait mask ends a wait with no event; so does its time running out.
        ULONG events = pass == ParkPass::MaskChanged ? 0 : PendingEvents(m_device->m_waitMask);
        if (events & SERIAL_EV_TXEMPTY)
            InterlockedExchange(&m_device->m_transmitEmptied, 0);
        CComPtr<IWDFMemory> output;
        request->GetOutputMemory(&output);
        HRESULT hr = output ? output->CopyFromBuffer(0, &events, sizeof(events)) : E_POINTER;
        request->CompleteWithInformation(hr, hr == S_OK ? sizeof(events) : 0);
    }
}

// Every request is taken out of the manual queue, those that are due are completed, and the
// others go back to its head in reverse order, so that the queue keeps its order. A record whose
// request did not come out was cancelled and completed by the framework meanwhile.
bool CPortQueue::ServiceParked(ParkPass pass)
{
    CAutoLock lock(m_parkLock);
    if (m_parked.empty())
        return false;
    const DWORD now = GetTickCount();
    bool anyDue = false;
    for (const Parked &entry : m_parked)
        anyDue = anyDue || IsDue(entry, now, pass);
    if (!anyDue)
        return true;

    std::deque<Parked> waiting;
    std::vector<IWDFIoRequest *> retrieved;   // of `waiting`, in order; counted by retrieval
    for (;;) {
        IWDFIoRequest *request = nullptr;
        if (m_parkQueue->RetrieveNextRequest(&request) != S_OK || !request)
            break;
        auto match = std::find_if(m_parked.begin(), m_parked.end(),
                                  [request](const Parked &entry) { return entry.request == request; });
        if (match == m_parked.end()) {
            // Not one of ours: nothing else forwards to this queue.
            request->CompleteWithInformation(HRESULT_FROM_WIN32(ERROR_OPERATION_ABORTED), 0);
            request->Release();
            continue;
        }
        const Parked entry = *match;
        m_parked.erase(match);
        if (IsDue(entry, now, pass)) {
            FinishParked(entry, request, pass);
            request->Release();
            entry.request->Release();
        } else {
            waiting.push_back(entry);
            retrieved.push_back(request);
        }
    }
    for (const Parked &gone : m_parked)
        gone.request->Release();
    m_parked.clear();

    for (size_t i = retrieved.size(); i-- > 0;) {
        IWDFIoRequest *request = retrieved[i];
        CComPtr<IWDFIoRequest2> requeue;
        request->QueryInterface(IID_IWDFIoRequest2, reinterpret_cast<void **>(&requeue));
        const HRESULT hr = requeue ? requeue->Requeue() : E_NOINTERFACE;
        if (hr == S_OK) {
            m_parked.push_front(waiting[i]);
        } else {
            TraceEvents(TRACE_LEVEL_ERROR, TRACE_QUEUE, L"parked request not put back, %08lx", hr);
            FinishParked(waiting[i], request, ParkPass::Due);
            waiting[i].request->Release();
        }
        request->Release();
    }
    return !m_parked.empty();
}

void CPortQueue::EndParked()
{
    ServiceParked(ParkPass::Abort);
}

DWORD CPortQueue::WaitServingParked(HANDLE readEvent, HANDLE stop, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        // While requests are parked, their time is looked at every poll step.
        const bool parked = ServiceParked(ParkPass::Due);
        DWORD wait = parked ? kReadPollMs : INFINITE;
        if (timeoutMs != INFINITE) {
            const DWORD spent = GetTickCount() - start;
            const DWORD left = spent >= timeoutMs ? 0 : timeoutMs - spent;
            wait = std::min(wait, left);
        }
        HANDLE waits[3] = {stop, readEvent, m_parkWake.Get()};
        const DWORD count = readEvent ? 3 : 2;
        if (!readEvent)
            waits[1] = m_parkWake.Get();
        const DWORD result = WaitForMultipleObjects(count, waits, FALSE, wait);
        if (result == WAIT_OBJECT_0 || (readEvent && result == WAIT_OBJECT_0 + 1))
            return result;
        if (result == WAIT_FAILED)
            return result;
        if (result == WAIT_TIMEOUT && timeoutMs != INFINITE && GetTickCount() - start >= timeoutMs)
            return WAIT_TIMEOUT;
        // A request was parked, or a poll step passed: look at the parked requests again.
    }
}

// --- Write ---------------------------------------------------------------------------------

namespace {

// The wait for one write of `rest` bytes: the write time-outs' limit, computed without wrapping.
// No limit set gives the default. Any limit past kCappedWriteLimitMs (an infinite one, one that
// reaches 32 bits, or just a long constant) gives the capped wait: the write waits inside the
// sequential queue's callback, with every other request of the device and the file's cleanup
// behind it. A smaller limit stays exact.
DWORD WriteLimit(DWORD rest, const SERIAL_TIMEOUTS &t)
{
    const ULONGLONG limit = static_cast<ULONGLONG>(rest) * t.WriteTotalTimeoutMultiplier + t.WriteTotalTimeoutConstant;
    if (limit == 0)
        return kDefaultWriteLimitMs;
    return static_cast<DWORD>(std::min<ULONGLONG>(limit, kCappedWriteLimitMs));
}

} // namespace

void CPortQueue::OnWrite(IWDFIoQueue * /*queue*/, IWDFIoRequest *request, SIZE_T count)
{
    CAutoLock lock(m_device->ConnectionLock());
    HRESULT hr = S_OK;
    SIZE_T done = 0;
    const BYTE *data = nullptr;

    CComPtr<IWDFMemory> memory;
    request->GetInputMemory(&memory);
    if (!memory)
        hr = E_POINTER;
    else if (memory->GetSize() < count)
        hr = HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY);
    if (hr == S_OK) {
        SIZE_T size = 0;
        data = static_cast<const BYTE *>(memory->GetDataBuffer(&size));
        if (!data && count > 0)
            hr = E_POINTER;
    }
    if (hr == S_OK)
        hr = WriteToPrinter(data, count, &done);

    request->CompleteWithInformation(hr, hr == S_OK ? count : done);
}

HRESULT CPortQueue::WriteToPrinter(const BYTE *data, SIZE_T count, SIZE_T *done)
{
    *done = 0;
    if (!m_device->IsOpen())
        return HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE);
    HRESULT hr = S_OK;
    HANDLE printer = m_device->Printer();
    int failures = 0;
    while (hr == S_OK && *done < count) {
        OVERLAPPED *overlapped = nullptr;
        hr = m_device->BeginPrinterIo(&overlapped);
        if (FAILED(hr)) {
            TraceEvents(TRACE_LEVEL_ERROR, TRACE_PRINTER, L"write refused, %08lx", hr);
            break;
        }
        const DWORD rest = static_cast<DWORD>(std::min<SIZE_T>(count - *done, MAXDWORD));
        if (!Seam().printerWrite(printer, data + *done, rest, nullptr, overlapped) && GetLastError() != ERROR_IO_PENDING) {
            hr = HrFromLastError();
            TraceEvents(TRACE_LEVEL_ERROR, TRACE_PRINTER, L"write not started, %08lx", hr);
            break;
        }

        const DWORD limit = WriteLimit(rest, m_device->m_timeouts);
        const CPortDevice::IoWait wait = m_device->WaitForIo(overlapped, limit);
        const DWORD waitError = wait == CPortDevice::IoWait::Failed ? GetLastError() : 0;
        DWORD written = 0;
        if (wait == CPortDevice::IoWait::Done) {
            BOOL ok = GetOverlappedResult(printer, overlapped, &written, FALSE);
            *done += written;   // a short write goes on with the rest
            if (ok && written > 0) {
                failures = 0;
                continue;
            }
            // A failed completion, or one that moved nothing: start the rest again, a few
            // times at most.
            HRESULT attempt = ok ? HRESULT_FROM_WIN32(ERROR_WRITE_FAULT) : HrFromLastError();
            TraceEvents(TRACE_LEVEL_WARNING, TRACE_PRINTER, L"write attempt failed, %08lx", attempt);
            if (++failures >= kWriteAttempts)
                hr = attempt;
            continue;
        }

        // No completion within the limit, or the port is closing. The data and the OVERLAPPED
        // must not be reused while the write may still complete into them: cancel it and wait
        // (with a bound) for its end, which also tells how much got out. One that outlives the
        // bound keeps its record, and the connection is broken until it ends.
        BOOL ok = FALSE;
        if (!CancelPendingIo(printer, overlapped, &written, &ok))
            m_device->StrandPrinterIo();
        *done += written;
        if (*done >= count) {
            // Every byte went out just before the cancel: that is a completed write.
            hr = S_OK;
            break;
        }
        if (wait == CPortDevice::IoWait::TimedOut)
            hr = HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
        else if (wait == CPortDevice::IoWait::Aborted)
            hr = HRESULT_FROM_WIN32(ERROR_OPERATION_ABORTED);
        else
            hr = HrFromWin32(waitError);
        TraceEvents(TRACE_LEVEL_ERROR, TRACE_PRINTER, L"write ended after %lu ms, %lu of %lu bytes out, %08lx",
                    limit, static_cast<unsigned long>(*done), static_cast<unsigned long>(count), hr);
    }
    if (*done > 0)
        TransmitEmptied();
    return hr;
}

// No request is registered for cancellation, so this does not run; it completes the request
// as cancelled should that ever change.
void CPortQueue::OnCancel(IWDFIoRequest *request)
{
    request->CompleteWithInformation(HRESULT_FROM_WIN32(ERROR_OPERATION_ABORTED), 0);
}
