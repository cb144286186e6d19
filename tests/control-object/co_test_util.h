// Helpers of the control-object test programs. Each program registers Malvistra.dll and the
// stand-in at start (see co_test_env.cpp) and leaves them registered for the programs after it.
#pragma once

#include <windows.h>
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "opos_setup.h"
#include "bytes.h"

// What the service object sends for ESC|bC Hello LF, a full cut, and enabling / disabling.
inline const std::string kBoldHello =
    Bytes({0x1B, 0x45, 0x01}) + "Hello" +
    Bytes({0x1B, 0x4A, 0x18, 0x1B, 0x4A, 0x00, 0x1B, 0x21, 0x00, 0x1B, 0x2D, 0x00});
inline const std::string kFullCut = Bytes({0x1D, 0x56, 0x00});
inline const std::string kStatusOn = Bytes({0x1D, 0x61, 0xFF});
inline const std::string kStatusOff = Bytes({0x1D, 0x61, 0x00});
// PrintBarCode(2, "12345678", Code 39, ..., text below).
inline const std::string kCode39 = Bytes({0x1D, 0x68, 0x23, 0x1D, 0x48, 0x02, 0x1D, 0x77, 0x02,
                                          0x1D, 0x6B, 0x45, 0x08}) + "12345678";

// Polls until pred() holds or ms pass; returns the last pred() value.
template <class Pred>
bool WaitUntil(Pred pred, DWORD ms)
{
    DWORD start = GetTickCount();
    while (!pred()) {
        if (GetTickCount() - start >= ms)
            return pred();
        Sleep(10);
    }
    return true;
}

// The modules as the build made them, as Windows paths.
std::wstring ServiceObjectDll();
std::wstring StandInDll();
