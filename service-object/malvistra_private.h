// Shared declarations of the POSPrinter service object.
#pragma once

#include <windows.h>
#include <new>
#include "../common/trace.h"

// OPOS result codes and extended result codes the object produces.
enum : LONG {
    OPOS_SUCCESS = 0,
    OPOS_E_CLOSED = 101,
    OPOS_E_NOTCLAIMED = 103,
    OPOS_E_DISABLED = 105,
    OPOS_E_NOEXIST = 109,
    OPOS_E_FAILURE = 111,
    OPOS_E_EXTENDED = 114,
    OPOS_E_DEVICECLASS = 402,   // device class not supported
    OPOS_EPTR_COVER_OPEN = 201,
    OPOS_EPTR_REC_EMPTY = 203,
};

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
    OPOS_S_IDLE = 2,
    PTR_TP_TRANSACTION = 11,
    PTR_TP_NORMAL = 12,
    PTR_BC_TEXT_ABOVE = -12,
    PTR_BC_TEXT_BELOW = -13,
    PTR_CUT_FULL = 100,
};
constexpr LONG kServiceObjectVersion = 1011001;
