// The bytes the printer sent that no read request has taken yet.
//
// The receive thread appends while the request callbacks look at the size and take bytes from
// the front, so every access goes through the one lock inside. The lock is held only for the
// copy in or out, never across a wait: the receive thread must not stall a read request, and a
// read request that polls must not stall the printer.
#pragma once

#include "internal.h"

#include <cstddef>
#include <deque>

class CReceiveBuffer
{
public:
    // The most bytes kept. A program that never reads would otherwise let the buffer grow
    // without end; at the bound the oldest bytes go, so the printer's latest status survives.
    static const size_t kLimit = 1 << 20;

    // Appends `count` bytes; returns how many old bytes were dropped to stay within kLimit.
    size_t Append(const BYTE *bytes, size_t count);
    // Moves up to `count` bytes from the front to `out`; returns how many.
    size_t Take(BYTE *out, size_t count);
    size_t Size();

private:
    CLock m_lock;
    std::deque<BYTE> m_bytes;
};
