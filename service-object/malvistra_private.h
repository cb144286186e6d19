// Shared declarations of the POSPrinter service object.
#pragma once

#include <windows.h>
#include <new>
#include "../common/opos.h"
#include "../common/trace.h"
#include "soposprinter.h"

// How long one port write may take before it is cancelled.
constexpr DWORD kWriteTimeoutMs = 5000;
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
