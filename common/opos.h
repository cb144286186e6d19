// OPOS numbers that the suite's programs share: result codes, extended result codes and
// device states, as the published OPOS headers define them.
#pragma once

enum : long {
    OPOS_SUCCESS = 0,
    OPOS_E_CLOSED = 101,
    OPOS_E_NOTCLAIMED = 103,
    OPOS_E_NOSERVICE = 104,
    OPOS_E_DISABLED = 105,
    OPOS_E_ILLEGAL = 106,
    OPOS_E_NOEXIST = 109,
    OPOS_E_FAILURE = 111,
    OPOS_E_TIMEOUT = 112,
    OPOS_E_EXTENDED = 114,
    OPOS_E_DEVICECLASS = 402,   // device class not supported

    OPOS_EPTR_COVER_OPEN = 201,
    OPOS_EPTR_REC_EMPTY = 203,

    OPOS_S_CLOSED = 1,
    OPOS_S_IDLE = 2,
};
