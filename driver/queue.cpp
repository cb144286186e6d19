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
// Reads poll the receive buffer, and their request's cancellation, in steps of this many
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

CPortQueue::CPortQueue(CPortDevice *device) : m_device(device)
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
            if (WaitForSingleObject(stop, kReceiveRestMs) != WAIT_TIMEOUT)
                break;
            continue;
        }

        // Ends at the latest when the port closes, which signals the stop event.
        HANDLE waits[2] = {readEvent.Get(), stop};
        if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0)
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
        if (WaitForSingleObject(stop, kReceiveRestMs) != WAIT_TIMEOUT)
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
// Every budget, the constant alone included, is capped at kCappedWriteLimitMs: the read waits
// inside the sequential queue's callback, and every other request of the device and the file's
// cleanup wait behind it. A smaller budget stays exact.
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
    SIZE_T got = 0;
    CComPtr<IWDFMemory> memory;
    request->GetOutputMemory(&memory);
    if (!memory)
        hr = E_POINTER;
    else if (memory->GetSize() < count)
        hr = HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY);

    std::vector<BYTE> chunk;
    if (hr == S_OK) {
        try {
            chunk.resize(count);
        } catch (const std::bad_alloc &) {
            hr = E_OUTOFMEMORY;
        }
    }

    if (hr == S_OK) {
        got = m_receiveBuffer.Take(chunk.data(), count);
        if (got > 0)
            hr = memory->CopyFromBuffer(0, chunk.data(), got);
    }

    if (hr == S_OK && got < count) {
        // Wait for more within the read time-outs: the buffered bytes plus at most one later
        // batch. The request is ours while it waits, and the device's other requests and the
        // file's cleanup wait behind it: a cancel (the program's CancelIo, its thread's end)
        // ends the wait early. A request without the newer interface cannot tell, and waits out
        // its budget.
        const SIZE_T rest = count - got;
        const DWORD budget = ReadBudget(rest, got > 0, m_device->m_timeouts);
        const RequestWait end = budget != 0 ? WaitInRequest(request, budget, true) : RequestWait::TimedOut;
        if (end == RequestWait::Bytes) {
            // Let the rest of a burst arrive before taking it.
            Sleep(kReadPollMs);
            SIZE_T more = m_receiveBuffer.Take(chunk.data(), rest);
            hr = memory->CopyFromBuffer(got, chunk.data(), more);
            if (hr == S_OK)
                got += more;
        } else if (end == RequestWait::Canceled) {
            // A cancelled read keeps the bytes it already took: they are the program's now.
            // Bytes that arrived meanwhile stay buffered for the next read.
            if (got == 0)
                hr = HRESULT_FROM_WIN32(ERROR_OPERATION_ABORTED);
            TraceEvents(TRACE_LEVEL_INFORMATION, TRACE_QUEUE, L"read cancelled with %lu of %lu bytes",
                        static_cast<unsigned long>(got), static_cast<unsigned long>(count));
        }
        // A read whose time-out ran out completes successfully with what it holds, none
        // included, as on a serial port.
    }

    request->CompleteWithInformation(hr, hr == S_OK ? got : 0);
}

CPortQueue::RequestWait CPortQueue::WaitInRequest(IWDFIoRequest *request, DWORD budgetMs, bool untilBytes)
{
    CComPtr<IWDFIoRequest2> cancelable;
    request->QueryInterface(IID_IWDFIoRequest2, reinterpret_cast<void **>(&cancelable));
    // The budget runs on the clock, not in counted polls: a sleep may last longer than asked
    // (by the system timer's step), and the wait must not last longer for that.
    const DWORD start = GetTickCount();
    for (;;) {
        if (cancelable && cancelable->IsCanceled())
            return RequestWait::Canceled;
        Sleep(kReadPollMs);
        if (untilBytes && m_receiveBuffer.Size() > 0)
            return RequestWait::Bytes;
        if (GetTickCount() - start >= budgetMs)
            return RequestWait::TimedOut;
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
        m_device->m_transmitEmptied = true;
    return hr;
}

// No request is registered for cancellation, so this does not run; it completes the request
// as cancelled should that ever change.
void CPortQueue::OnCancel(IWDFIoRequest *request)
{
    request->CompleteWithInformation(HRESULT_FROM_WIN32(ERROR_OPERATION_ABORTED), 0);
}
