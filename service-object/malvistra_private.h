// Shared declarations of the POSPrinter service object.
#pragma once

#include <windows.h>
#include <new>
#include "../common/opos.h"
#include "../common/trace.h"
#include "soposprinter.h"

// How long one piece of a run may take before it is cancelled: a printer that takes nothing,
// or almost nothing, for this long has stopped.
constexpr DWORD kWriteTimeoutMs = 5000;
// A run goes to the port as consecutive pieces of at most kWritePieceLineMs of the line, and
// never more than kWritePieceMaxBytes: a printer that keeps taking data, even one that holds the
// line for a good part of the time while it prints, finishes each piece inside kWriteTimeoutMs.
// A receipt of a few KB stays one write on the common line speeds.
constexpr DWORD kWritePieceLineMs = 3000;
constexpr DWORD kWritePieceMaxBytes = 4096;
// The status reader never waits longer than this before it looks at the stop flag again.
constexpr DWORD kReaderWaitSliceMs = 100;
// One read of the status reader, and the pause after a read that brought nothing.
constexpr DWORD kReaderSliceMs = 500;
// While the reader holds part of a status packet, a read that brought nothing is followed by
// the next one after this pause instead of the rest of the slice (well inside the packet gap).
constexpr DWORD kReaderPartialPollMs = 10;
constexpr DWORD kReceiveBufferSize = 1024;

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
