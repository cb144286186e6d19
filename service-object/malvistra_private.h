// Shared declarations of the POSPrinter service object.
#pragma once

#include <windows.h>
#include <new>
#include "../common/opos.h"
#include "../common/trace.h"
#include "soposprinter.h"

// A printer of which the port took nothing for this long has stopped (see WritePort).
constexpr DWORD kWriteTimeoutMs = 5000;
// A piece of a run that is not over within this long is cancelled and its rest sent again, so
// the object sees how much got out.
constexpr DWORD kWriteWindowMs = 1000;
// After a write that the port ended on its own with nothing taken, the next one waits this long.
constexpr DWORD kWriteRetryPauseMs = 50;
// On a COM port a run goes out as consecutive pieces of at most kWritePieceLineMs of the line,
// and never more than kWritePieceMaxBytes: a receipt of a few KB stays one write on the common
// line speeds, and a slow printer goes on taking a piece's rest after each wait.
constexpr DWORD kWritePieceLineMs = 3000;
constexpr DWORD kWritePieceMaxBytes = 4096;
// On any other port, whose cancelled writes may not tell what left, pieces are small enough for
// the slowest printer we serve (50 bytes a second) to take each within half of kWriteTimeoutMs.
// A named pipe's pieces are no larger than its buffer (see WritePort).
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
