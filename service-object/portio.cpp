// The port: every byte for the printer leaves through WritePort, every status packet arrives
// through the status reader thread.
#include "soposprinter.h"
#include "malvistra_private.h"
#include "statuspacket.h"

namespace {

bool IsHandle(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }

} // namespace

bool CSOPOSPrinter::FlushPrintBuffer()
{
    const uint8_t *bytes = nullptr;
    int32_t length = 0;
    m_printBuffer.CopyOut(&bytes, &length);
    const bool whole = WritePort(bytes, length) == length;
    m_printBuffer.Clear();
    return whole;
}

void CSOPOSPrinter::ReportShortRun()
{
    const LONG status = m_printerStatus;
    if (status != kStatusClear) {
        m_resultCode = OPOS_E_EXTENDED;
        m_resultCodeExtended = status;
    } else {
        m_resultCode = OPOS_E_TIMEOUT;
    }
}

// A run goes out as consecutive pieces with nothing between them, so it still reaches the
// printer as one unbroken stream, but no single wait covers more than a few seconds of the
// line: a printer that holds the line while it prints is never cut off as long as it keeps
// taking data, and one that stops is given up on kWriteTimeoutMs after its piece began. The
// run ends at the first piece that did not go out whole; what follows it never leaves, so the
// printer never gets bytes that were not next in the run.
LONG CSOPOSPrinter::WritePort(const uint8_t *bytes, LONG length)
{
    if (!IsHandle(m_port) || !m_writeEvent || length < 0)
        return 0;
    const LONG pieceMax = m_writePieceBytes > 0 ? static_cast<LONG>(m_writePieceBytes) : 1;
    LONG done = 0;
    do {   // an empty run is one write of nothing, as the port has always seen it
        const LONG piece = length - done < pieceMax ? length - done : pieceMax;
        const LONG written = WritePiece(bytes + done, piece);
        done += written;
        if (written < piece) {
            Trace(L"WritePort: %ld of %ld bytes out\n", done, length);
            break;
        }
    } while (done < length);
    return done;
}

LONG CSOPOSPrinter::WritePiece(const uint8_t *bytes, LONG length)
{
    OVERLAPPED ov = {};
    ov.hEvent = m_writeEvent;
    DWORD written = 0;
    // An earlier write that ended only after its wait gave up may have left the event set;
    // this write's wait must see this write's end, or GetOverlappedResult below would wait
    // without bound on a printer that takes nothing. (WriteFile itself resets it when it starts
    // the operation; resetting here keeps the wait right on any path to the port.)
    ResetEvent(m_writeEvent);
    if (!WriteFile(m_port, bytes, static_cast<DWORD>(length), nullptr, &ov)) {
        DWORD error = GetLastError();
        if (error != ERROR_IO_PENDING) {
            Trace(L"WriteFile => %lu\n", error);
            if (m_writeObserver)
                m_writeObserver(m_writeObserverContext, bytes, length, 0);
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
    if (m_writeObserver)
        m_writeObserver(m_writeObserverContext, bytes, length, static_cast<LONG>(written));
    return static_cast<LONG>(written);
}

DWORD WINAPI CSOPOSPrinter::StatusReaderThread(void *object)
{
    static_cast<CSOPOSPrinter *>(object)->ReaderLoop();
    return 0;
}

BOOL CSOPOSPrinter::ReadPort(HANDLE port, void *buffer, DWORD size, OVERLAPPED *overlapped)
{
    if (m_portReader)
        return m_portReader(m_portReaderContext, port, buffer, size, overlapped);
    return ReadFile(port, buffer, size, nullptr, overlapped);
}

// One read is outstanding at a time; the receive buffer and the OVERLAPPED are never handed to
// a second ReadFile while the first may still complete into them. The stop flag is looked at
// at least every kReaderWaitSliceMs, and a read still pending at stop is cancelled and waited
// for before the buffer goes away.
//
// Two kinds of port: one where a read stays pending until bytes arrive (the read completes
// when they do), and one where a read returns at once with what has arrived, often nothing;
// there the reader waits out the rest of its slice before it reads again, except while it
// holds part of a packet: then it looks again soon, so the packet's other bytes still count
// as following without a pause.
void CSOPOSPrinter::ReaderLoop()
{
    uint8_t buffer[kReceiveBufferSize];
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!event) {
        Trace(L"StatusReaderThread: CreateEvent => %lu\n", GetLastError());
        return;
    }
    CStatusAssembler assembler(m_statusGapMs);
    LONG statusBackEpoch = m_statusBackEpoch;

    // Sleeps until length ms after from, while still answering the stop flag.
    auto sleepUntil = [this](DWORD from, DWORD length) {
        for (;;) {
            DWORD elapsed = GetTickCount() - from;
            if (m_stop || elapsed >= length)
                return;
            DWORD rest = length - elapsed;
            Sleep(rest < kReaderWaitSliceMs ? rest : kReaderWaitSliceMs);
        }
    };
    // After a read that brought nothing.
    auto pause = [&](DWORD sliceStart) {
        if (assembler.DropStalePartial(GetTickCount()))
            sleepUntil(GetTickCount(), kReaderPartialPollMs);
        else
            sleepUntil(sliceStart, kReaderSliceMs);
    };

    while (!m_stop) {
        Sleep(1);
        DWORD sliceStart = GetTickCount();
        HANDLE port = m_port;

        OVERLAPPED ov = {};
        ov.hEvent = event;
        if (!ReadPort(port, buffer, sizeof(buffer), &ov) && GetLastError() != ERROR_IO_PENDING) {
            pause(sliceStart);   // nothing is pending; try again later
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
        DWORD now = GetTickCount();
        // Status back was switched on again: what came before is no part of the new reports.
        LONG epoch = m_statusBackEpoch;
        if (epoch != statusBackEpoch) {
            statusBackEpoch = epoch;
            assembler.Reset();
        }
        if (!ok || received == 0) {
            // No bytes carry no status: a cover-open report the printer sends once stays.
            pause(sliceStart);
            continue;
        }

        int32_t code = kStatusClear;
        if (!assembler.Feed(buffer, received, now, &code))
            continue;   // only part of a packet so far
        m_printerStatus = code;
        if (code != kStatusClear) {
            m_resultCode = OPOS_E_EXTENDED;
            m_resultCodeExtended = code;
        } else {
            m_resultCode = OPOS_SUCCESS;
        }
    }
    CloseHandle(event);
}
