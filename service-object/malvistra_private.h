// Shared declarations of the POSPrinter service object.
#pragma once

#include <windows.h>
#include <new>
#include "../common/opos.h"
#include "../common/trace.h"
#include "soposprinter.h"

// A printer of which the port took nothing for this long has stopped (see WritePort).
constexpr DWORD kWriteTimeoutMs = 5000;
// The slowest printer we serve takes 50 bytes a second: this long for each byte.
constexpr DWORD kWriteMsPerByte = 20;
// While a write is pending, the port's output queue is looked at this often to see whether the
// printer still takes data.
constexpr DWORD kWriteProgressPollMs = 100;
// After a write that the port ended on its own with nothing taken, the next one waits this long.
constexpr DWORD kWriteRetryPauseMs = 50;
// On a COM port that shows its output queue a run goes out as consecutive pieces of at most
// kWritePieceLineMs of the line, and never more than kWritePieceMaxBytes, so few writes carry a
// long run and the line never waits between them.
constexpr DWORD kWritePieceLineMs = 3000;
constexpr DWORD kWritePieceMaxBytes = 4096;
// On any other port, and on a COM port that does not show its queue, nothing tells how much of
// a pending write left, nor (with some drivers) how much of a cancelled one did: pieces are small
// enough for the slowest printer we serve (50 bytes a second) to take each within half of
// kWriteTimeoutMs. A named pipe's pieces are no larger than its buffer (see WritePort).
constexpr DWORD kWritePieceSmallBytes = 128;
// The status reader never waits longer than this before it looks at the stop flag again.
constexpr DWORD kReaderWaitSliceMs = 100;
// One read of the status reader, and the pause after a read that brought nothing.
constexpr DWORD kReaderSliceMs = 500;
// While the reader holds part of a status packet, a read that brought nothing is followed by
// the next one after this pause instead of the rest of the slice (well inside the packet gap).
constexpr DWORD kReaderPartialPollMs = 10;
constexpr DWORD kReceiveBufferSize = 1024;

template <class F>
void CSOPOSPrinter::PrintMethod(const wchar_t *method, long *pRC, F &&body)
{
    LONG rc = Contain(method, [&]() -> LONG {
        if (!m_claimed)
            return SetResultCode(OPOS_E_NOTCLAIMED);
        return body();
    });
    if (pRC)
        *pRC = rc;
}

template <class F>
LONG CSOPOSPrinter::Contain(const wchar_t *method, F &&body)
{
    try {
        return body();
    } catch (const std::bad_alloc &) {
        Trace(L"%ls: out of memory\n", method);
    } catch (...) {
        Trace(L"%ls: unexpected exception\n", method);
    }
    return SetResultCode(OPOS_E_FAILURE);
}

// OPOS numbers used by the print operations.
enum : LONG {
    PTR_TP_TRANSACTION = 11,
    PTR_TP_NORMAL = 12,
    PTR_BC_TEXT_ABOVE = -12,
    PTR_BC_TEXT_BELOW = -13,
    PTR_CUT_FULL = 100,
};
constexpr LONG kServiceObjectVersion = 1011001;
