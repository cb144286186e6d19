// The write side of a serial port as a serial driver runs it, behind the object's write seam: a
// write ends when its last byte has gone down the line, the printer takes bytes at its own pace
// (holding the line meanwhile) and can stop or pause, the output queue holds what the pending
// write has not sent, and a write that is cancelled ends with the count of the bytes that went
// out, or, as other ports' drivers do, with 0 while those bytes still reach the printer. Wine's pseudo-terminal cannot show this: it holds about 20 KB and
// lets a blocked writer go on only once nearly all of it is taken.
//
// Everything the printer took is kept, in order.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

#include "soposprinter.h"

class PacedSerialPort
{
public:
    PacedSerialPort() : m_thread([this] { Run(); }) {}
    ~PacedSerialPort()
    {
        m_quit = true;
        m_thread.join();
    }
    PacedSerialPort(const PacedSerialPort &) = delete;
    PacedSerialPort &operator=(const PacedSerialPort &) = delete;

    void Attach(CSOPOSPrinter &printer)
    {
        printer.SetPortWriter(&PacedSerialPort::Write, &PacedSerialPort::Cancel, &PacedSerialPort::Queued, this);
    }
    // What a cancelled write reports: what left (false) or 0 (true).
    void CancelReportsNothing(bool nothing) { m_cancelReportsNothing = nothing; }
    // The writes cancelled so far.
    unsigned Cancels() const { return m_cancels; }

    // At most this many bytes a second (0: as fast as they come).
    void SetRate(unsigned bytesPerSecond)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_rate = bytesPerSecond;
        m_credit = 0;
        m_creditAt = GetTickCount();
    }
    void Stop() { StopAfter(0); }
    // Takes n more bytes, then nothing; for pauseMs only, when that is not 0.
    void StopAfter(size_t n, DWORD pauseMs = 0)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_limited = true;
        m_left = n;
        m_pauseMs = pauseMs;
        m_pausing = n == 0 && pauseMs;
        m_stoppedAt = GetTickCount();
    }
    void Go()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_limited = false;
        m_pausing = false;
    }
    std::string Received()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_taken;
    }
    void Clear()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_taken.clear();
    }

private:
    static constexpr LONG kStatusPending = 0x103;
    static constexpr LONG kStatusCancelled = static_cast<LONG>(0xC0000120);

    static BOOL Write(void *context, HANDLE, const void *bytes, DWORD size, OVERLAPPED *overlapped)
    {
        auto *self = static_cast<PacedSerialPort *>(context);
        std::lock_guard<std::mutex> lock(self->m_lock);
        overlapped->Internal = kStatusPending;
        overlapped->InternalHigh = 0;
        self->m_bytes = static_cast<const char *>(bytes);
        self->m_size = size;
        self->m_sent = 0;
        self->m_pending = overlapped;
        if (self->m_rate) {   // an idle line carried nothing: no credit from before this write
            self->m_credit = 0;
            self->m_creditAt = GetTickCount();
        }
        self->Transmit();
        if (!self->m_pending)
            return TRUE;   // ended inside the call, as a write the port took at once does
        SetLastError(ERROR_IO_PENDING);
        return FALSE;
    }

    static void Cancel(void *context, HANDLE)
    {
        auto *self = static_cast<PacedSerialPort *>(context);
        std::lock_guard<std::mutex> lock(self->m_lock);
        if (self->m_pending) {
            ++self->m_cancels;
            if (self->m_cancelReportsNothing)
                self->m_sent = 0;
            self->End(kStatusCancelled);
        }
    }

    static BOOL Queued(void *context, HANDLE, DWORD *queued)
    {
        auto *self = static_cast<PacedSerialPort *>(context);
        std::lock_guard<std::mutex> lock(self->m_lock);
        *queued = self->m_pending ? static_cast<DWORD>(self->m_size - self->m_sent) : 0;
        return TRUE;
    }

    // With the lock held: what the printer takes of the pending write now.
    void Transmit()
    {
        if (m_pausing && GetTickCount() - m_stoppedAt >= m_pauseMs)
            m_limited = m_pausing = false;   // the pause is over
        if (!m_pending)
            return;
        size_t allowed = m_size - m_sent;
        if (m_rate) {
            const DWORD now = GetTickCount();
            m_credit += (now - m_creditAt) * static_cast<double>(m_rate) / 1000.0;
            const double cap = m_rate / 10.0 > 1 ? m_rate / 10.0 : 1;
            if (m_credit > cap)
                m_credit = cap;
            m_creditAt = now;
            if (allowed > static_cast<size_t>(m_credit))
                allowed = static_cast<size_t>(m_credit);
        }
        if (m_limited && allowed > m_left)
            allowed = m_left;
        m_taken.append(m_bytes + m_sent, allowed);
        m_sent += allowed;
        if (m_rate)
            m_credit -= static_cast<double>(allowed);
        if (m_limited) {
            m_left -= allowed;
            if (m_left == 0 && m_pauseMs && !m_pausing) {
                m_pausing = true;
                m_stoppedAt = GetTickCount();
            }
        }
        if (m_sent == m_size)
            End(0);
    }

    void End(LONG status)
    {
        m_pending->InternalHigh = m_sent;
        m_pending->Internal = status;
        HANDLE event = m_pending->hEvent;
        m_pending = nullptr;
        SetEvent(event);
    }

    void Run()
    {
        while (!m_quit) {
            Sleep(1);   // a write ends about when its last byte is due, as on a line
            std::lock_guard<std::mutex> lock(m_lock);
            Transmit();
        }
    }

    std::mutex m_lock;
    unsigned m_rate = 0;
    double m_credit = 0;
    DWORD m_creditAt = GetTickCount();
    bool m_limited = false;
    size_t m_left = 0;
    DWORD m_pauseMs = 0;
    bool m_pausing = false;   // stopped for m_pauseMs from m_stoppedAt
    DWORD m_stoppedAt = 0;
    std::atomic<bool> m_cancelReportsNothing{false};
    std::atomic<unsigned> m_cancels{0};
    std::string m_taken;
    const char *m_bytes = nullptr;
    size_t m_size = 0;
    size_t m_sent = 0;
    OVERLAPPED *m_pending = nullptr;
    std::atomic<bool> m_quit{false};
    std::thread m_thread;
};
