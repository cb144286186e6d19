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
    return WriteRun(m_printBuffer);
}

bool CSOPOSPrinter::FinishCutCommand()
{
    if (m_unfinishedCommand.empty())
        return true;
    const LONG length = static_cast<LONG>(m_unfinishedCommand.size());
    const LONG written = WritePort(m_unfinishedCommand.data(), length);
    m_unfinishedCommand.erase(m_unfinishedCommand.begin(), m_unfinishedCommand.begin() + written);
    return m_unfinishedCommand.empty();
}

// A run that stops inside a command leaves the printer waiting for that command's other bytes:
// whatever it gets next, it reads as them (the text of the next receipt as an ESC's letter, the
// next receipt's first bytes as bar code data). So the rest of that command goes out before
// anything else does, and the printer reads the next run from a command boundary.
bool CSOPOSPrinter::WriteRun(CPrintBuffer &run)
{
    const uint8_t *bytes = nullptr;
    int32_t length = 0;
    run.MoveOut(&bytes, &length);
    if (!FinishCutCommand())
        return false;
    const LONG written = WritePort(bytes, length);
    if (written >= length)
        return true;
    const size_t end = run.CopiedCommandEnd(static_cast<size_t>(written));
    m_unfinishedCommand.assign(bytes + written, bytes + end);
    return false;
}

bool CSOPOSPrinter::WriteOwnBytes(const uint8_t *bytes, LONG length)
{
    if (!FinishCutCommand())
        return false;
    return WritePort(bytes, length) == length;
}

LONG CSOPOSPrinter::ReportShortRun()
{
    const LONG status = m_printerStatus;
    if (status != kStatusClear) {
        m_resultCodeExtended = status;
        m_resultCode = OPOS_E_EXTENDED;
        return OPOS_E_EXTENDED;
    }
    // A time-out carries no reason: an extended code from an earlier report would give one.
    m_resultCodeExtended = 0;
    m_resultCode = OPOS_E_TIMEOUT;
    return OPOS_E_TIMEOUT;
}

// A run goes out as consecutive pieces with nothing between them, so it still reaches the
// printer as one unbroken stream. A pending piece is waited for as long as the port shows
// progress, and cancelled only when the port has taken nothing for kWriteTimeoutMs, or the run
// ends when a port ends a write with nothing taken for that long or refuses one at once: a
// printer that stops is given up on about that long after its last byte. What follows the end
// never leaves, so the printer never gets bytes that were not next in the run.
//
// Progress shows as a piece that ends, and on a port that tells its output queue (a serial
// driver's cbOutQue) as that queue falling while the piece is pending. Without the queue a
// printer that pauses mid-piece shows no progress until the piece ends, and what a cancelled
// write reports varies by driver (what left, or 0; a named pipe tells nothing of a write its far
// end has partly read). There pieces are small (kWritePieceSmallBytes, on a named pipe no larger
// than its buffer): a printer taking 50 bytes a second ends each long before the stop limit, so
// only a printer that has stopped is cancelled. Where the queue shows, the bytes a cancelled
// piece sent are also known from it, whatever the cancel reports.
LONG CSOPOSPrinter::WritePort(const uint8_t *bytes, LONG length)
{
    if (!IsHandle(m_port) || !m_writeEvent || length < 0)
        return 0;
    LONG done = 0;
    DWORD lastProgress = GetTickCount();
    do {   // an empty run is one write of nothing, as the port has always seen it
        DWORD pieceBytes = m_writePieceBytes > 0 ? m_writePieceBytes : 1;
        if (m_queueView == QueueView::Hidden && pieceBytes > kWritePieceSmallBytes)
            pieceBytes = kWritePieceSmallBytes;
        const LONG pieceMax = static_cast<LONG>(pieceBytes);
        const LONG piece = length - done < pieceMax ? length - done : pieceMax;
        bool started = true, cancelled = false;
        const LONG written = WritePiece(bytes + done, piece, &lastProgress, &started, &cancelled);
        done += written;
        if (written < piece &&
            (!started || cancelled || (written == 0 && GetTickCount() - lastProgress >= kWriteTimeoutMs))) {
            Trace(L"WritePort: %ld of %ld bytes out\n", done, length);
            break;
        }
        // A port that ended the write on its own with nothing taken is asked again soon.
        if (written == 0 && piece > 0)
            Sleep(kWriteRetryPauseMs);
    } while (done < length);
    return done;
}

BOOL CSOPOSPrinter::StartWrite(const uint8_t *bytes, DWORD length, OVERLAPPED *overlapped)
{
    if (m_portWriter)
        return m_portWriter(m_portWriterContext, m_port, bytes, length, overlapped);
    return WriteFile(m_port, bytes, length, nullptr, overlapped);
}

void CSOPOSPrinter::CancelPortIo()
{
    if (m_portCanceller)
        m_portCanceller(m_portWriterContext, m_port);
    else
        CancelIo(m_port);
}

bool CSOPOSPrinter::PortQueued(DWORD *queued)
{
    if (m_portWriter)
        return m_portQueue && m_portQueue(m_portWriterContext, m_port, queued);
    DWORD errors = 0;
    COMSTAT status = {};
    if (!ClearCommError(m_port, &errors, &status))
        return false;
    *queued = status.cbOutQue;
    return true;
}

LONG CSOPOSPrinter::WritePiece(const uint8_t *bytes, LONG length, DWORD *lastProgress, bool *started,
                               bool *cancelled)
{
    OVERLAPPED ov = {};
    ov.hEvent = m_writeEvent;
    DWORD written = 0;
    // An earlier write that ended only after its wait gave up may have left the event set;
    // this write's wait must see this write's end, or GetOverlappedResult below would wait
    // without bound on a printer that takes nothing. (WriteFile itself resets it when it starts
    // the operation; resetting here keeps the wait right on any path to the port.)
    ResetEvent(m_writeEvent);
    if (!StartWrite(bytes, static_cast<DWORD>(length), &ov)) {
        DWORD error = GetLastError();
        if (error != ERROR_IO_PENDING) {
            Trace(L"WriteFile => %lu\n", error);
            if (m_writeObserver)
                m_writeObserver(m_writeObserverContext, bytes, length, 0);
            *started = false;
            return 0;
        }
    }

    // Pending: a port that counts its queue holds this write's bytes in it now. One that shows
    // none is taken to hide its queue for the rest of the claim, and gets small pieces.
    DWORD queued = 0;
    bool queueKnown = false;
    // (A wait that sees the event ends the write's waiting: the event resets itself.)
    bool ended = WaitForSingleObject(m_writeEvent, 0) == WAIT_OBJECT_0;
    if (!ended) {
        queueKnown = PortQueued(&queued) && queued > 0;
        if (m_queueView == QueueView::Unknown)
            m_queueView = queueKnown ? QueueView::Shown : QueueView::Hidden;
        queueKnown = queueKnown && m_queueView == QueueView::Shown;
    }
    while (!ended && WaitForSingleObject(m_writeEvent, kWriteProgressPollMs) != WAIT_OBJECT_0) {
        DWORD now = 0;
        if (queueKnown && PortQueued(&now) && now < queued) {
            queued = now;
            *lastProgress = GetTickCount();
        }
        if (GetTickCount() - *lastProgress >= kWriteTimeoutMs) {
            // The OVERLAPPED lives on this stack, so the write must be over before we return:
            // cancel it and wait for its end.
            CancelPortIo();
            *cancelled = true;
            break;
        }
    }
    GetOverlappedResult(m_port, &ov, &written, TRUE);
    if (*cancelled && queueKnown && queued < static_cast<DWORD>(length) &&
        written < static_cast<DWORD>(length) - queued)
        written = static_cast<DWORD>(length) - queued;   // what left by the queue, nothing since
    if (written > static_cast<DWORD>(length))
        written = static_cast<DWORD>(length);
    if (written > 0)
        *lastProgress = GetTickCount();
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
        m_coverOpen = PacketCoverOpen(assembler.LastPacket()) ? 1 : 0;
        m_recEmpty = PacketReceiptEmpty(assembler.LastPacket()) ? 1 : 0;
        if (code != kStatusClear) {
            m_resultCode = OPOS_E_EXTENDED;
            m_resultCodeExtended = code;
        } else {
            m_resultCode = OPOS_SUCCESS;
        }
    }
    CloseHandle(event);
}
