// Shared declarations of the POSPrinter service object.
#pragma once

#include <windows.h>
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
