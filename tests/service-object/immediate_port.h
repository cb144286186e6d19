// A port whose reads end at once, as a Windows serial port does with the status reader's
// time-outs (MAXDWORD, 0, 0): each read takes what has arrived, often nothing. Wine keeps such
// a read pending until bytes come, so the tests put this port behind the object's read seam.
//
// Bytes "arrive" when the test queues them; one read takes one queued chunk, so a test decides
// exactly how a packet is split between reads. The port remembers when every read was made.
#pragma once

#include <windows.h>

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "soposprinter.h"

class ImmediatePort
{
public:
    void Attach(CSOPOSPrinter &printer) { printer.SetPortReader(&ImmediatePort::Read, this); }

    void Arrive(const std::string &bytes)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_chunks.push_back(bytes);
    }

    // Reads made since the last call.
    std::vector<DWORD> TakeReadTicks()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        std::vector<DWORD> ticks;
        ticks.swap(m_readTicks);
        return ticks;
    }

    size_t Waiting()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_chunks.size();
    }

private:
    static BOOL Read(void *context, HANDLE /*port*/, void *buffer, DWORD size, OVERLAPPED *overlapped)
    {
        auto *self = static_cast<ImmediatePort *>(context);
        DWORD n = 0;
        {
            std::lock_guard<std::mutex> lock(self->m_lock);
            self->m_readTicks.push_back(GetTickCount());
            if (!self->m_chunks.empty()) {
                std::string &chunk = self->m_chunks.front();
                n = static_cast<DWORD>(chunk.size() < size ? chunk.size() : size);
                memcpy(buffer, chunk.data(), n);
                chunk.erase(0, n);
                if (chunk.empty())
                    self->m_chunks.pop_front();
            }
        }
        // Ended at once: the status and count stand in the OVERLAPPED and its event is set,
        // as for an overlapped read that the system completes inside ReadFile.
        overlapped->Internal = 0;
        overlapped->InternalHigh = n;
        SetEvent(overlapped->hEvent);
        return TRUE;
    }

    std::mutex m_lock;
    std::deque<std::string> m_chunks;
    std::vector<DWORD> m_readTicks;
};
