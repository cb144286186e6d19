// Shared declarations of the POSPrinter service object.
#pragma once

#include <windows.h>
#include <new>
#include "../common/opos.h"
#include "../common/trace.h"

// How long one port write may take before it is cancelled.
constexpr DWORD kWriteTimeoutMs = 5000;
// The status reader never waits longer than this before it looks at the stop flag again.
constexpr DWORD kReaderWaitSliceMs = 100;
// One read of the status reader, and the pause after a read that brought nothing.
constexpr DWORD kReaderSliceMs = 500;
constexpr DWORD kReceiveBufferSize = 1024;

// No C++ exception may cross a COM method: anything thrown inside body (in practice an
// allocation failure) is traced and becomes an OPOS failure.
template <class F>
LONG Contain(const wchar_t *method, F &&body)
{
    try {
        return body();
    } catch (const std::bad_alloc &) {
        Trace(L"%ls: out of memory\n", method);
    } catch (...) {
        Trace(L"%ls: unexpected exception\n", method);
    }
    return OPOS_E_FAILURE;
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
