// The port: every byte for the printer leaves through WritePort, every status packet arrives
// through the status reader thread.
#include "soposprinter.h"
#include "malvistra_private.h"
#include "statuspacket.h"

namespace {

bool IsHandle(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }

} // namespace

void CSOPOSPrinter::FlushPrintBuffer()
{
    const uint8_t *bytes = nullptr;
    int32_t length = 0;
    m_printBuffer.CopyOut(&bytes, &length);
    WritePort(bytes, length);
    m_printBuffer.Clear();
}

LONG CSOPOSPrinter::WritePort(const uint8_t *bytes, LONG length)
{
    LONG written = WriteToPort(bytes, length);
    if (m_writeObserver)
        m_writeObserver(m_writeObserverContext, bytes, length, written);
    return written;
}

LONG CSOPOSPrinter::WriteToPort(const uint8_t *bytes, LONG length)
{
    if (!IsHandle(m_port) || !m_writeEvent || length < 0)
        return 0;

    OVERLAPPED ov = {};
    ov.hEvent = m_writeEvent;
    DWORD written = 0;
    if (!WriteFile(m_port, bytes, static_cast<DWORD>(length), nullptr, &ov)) {
        DWORD error = GetLastError();
        if (error != ERROR_IO_PENDING) {
            Trace(L"WriteFile => %lu\n", error);
            return 0;
        }
    }

    if (WaitForSingleObject(m_writeEvent, kWriteTimeoutMs) != WAIT_OBJECT_0) {
        // The printer does not take the data. The OVERLAPPED lives on this stack, so the write
        // must be over before we return: cancel it and wait for its end.
        Trace(L"WritePort: no completion in %lu ms, cancelling\n", kWriteTimeoutMs);
        CancelIo(m_port);
    }
    GetOverlappedResult(m_port, &ov, &written, TRUE);
    return static_cast<LONG>(written);
}

DWORD WINAPI CSOPOSPrinter::StatusReaderThread(void *object)
{
    static_cast<CSOPOSPrinter *>(object)->ReaderLoop();
    return 0;
}

// One read is outstanding at a time; the receive buffer and the OVERLAPPED are never handed to
// a second ReadFile while the first may still complete into them. The stop flag is looked at
// at least every kReaderWaitSliceMs, and a read still pending at stop is cancelled and waited
// for before the buffer goes away.
void CSOPOSPrinter::ReaderLoop()
{
    uint8_t buffer[kReceiveBufferSize];
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!event) {
        Trace(L"StatusReaderThread: CreateEvent => %lu\n", GetLastError());
        return;
    }
    CStatusAssembler assembler;

    // Sleeps out the rest of a read slice while still answering the stop flag.
    auto restOfSlice = [this](DWORD sliceStart) {
        for (;;) {
            DWORD elapsed = GetTickCount() - sliceStart;
            if (m_stop || elapsed >= kReaderSliceMs)
                return;
            DWORD rest = kReaderSliceMs - elapsed;
            Sleep(rest < kReaderWaitSliceMs ? rest : kReaderWaitSliceMs);
        }
    };

    while (!m_stop) {
        Sleep(1);
        DWORD sliceStart = GetTickCount();
        HANDLE port = m_port;

        OVERLAPPED ov = {};
        ov.hEvent = event;
        if (!ReadFile(port, buffer, sizeof(buffer), nullptr, &ov) && GetLastError() != ERROR_IO_PENDING) {
            restOfSlice(sliceStart);   // nothing is pending; try again later
            continue;
        }

        bool stopped = false;
        while (WaitForSingleObject(event, kReaderWaitSliceMs) != WAIT_OBJECT_0) {
            if (m_stop) {
                CancelIo(port);
                stopped = true;
                break;
            }
        }
        DWORD received = 0;
        BOOL ok = GetOverlappedResult(port, &ov, &received, TRUE);
        if (stopped)
            break;
        if (!ok || received == 0) {
            // No bytes carry no status: a cover-open report the printer sends once stays.
            restOfSlice(sliceStart);
            continue;
        }

        int32_t code = kStatusClear;
        if (!assembler.Feed(buffer, received, &code))
            continue;   // only part of a packet so far
        if (code != kStatusClear) {
            m_resultCode = OPOS_E_EXTENDED;
            m_resultCodeExtended = code;
        } else {
            m_resultCode = OPOS_SUCCESS;
        }
    }
    CloseHandle(event);
}
