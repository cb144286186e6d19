// Printer command bytes waiting to be written, and the translation of OPOS print data into
// them. Platform-free.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// One OPOS escape sequence (ESC | value letters) as the translator reads it.
struct EscapeSequence
{
    // The decimal value; 0 when none was written, -1 after an exclamation mark. Wraps in 32-bit
    // two's complement when the digits overflow it.
    int32_t Value;
    // The letters packed into one word: the final upper-case letter in bits 24-31, the first
    // three lower-case letters in bits 0-7, 8-15 and 16-23 (later ones are OR-ed into 16-23).
    uint32_t Code;
};

class CPrintBuffer
{
public:
    // No caller may make the pending bytes grow beyond this, whatever the application sends: a
    // single ESC|2000000000lF would otherwise ask for 4 GB.
    static constexpr size_t kMaxPendingBytes = 16 * 1024 * 1024;

    // Each Append is all or nothing: false, and the buffer unchanged, when the bytes would
    // take the pending size beyond kMaxPendingBytes.
    bool Append(uint8_t byte)
    {
        if (m_pending.size() >= kMaxPendingBytes)
            return false;
        m_pending.push_back(byte);
        return true;
    }
    bool Append(const uint8_t *bytes, size_t count)
    {
        if (count > kMaxPendingBytes - m_pending.size())
            return false;
        if (count != 0)
            m_pending.insert(m_pending.end(), bytes, bytes + count);
        return true;
    }
    void Clear() { m_pending.clear(); }

    // Translates OPOS print data (text with escape sequences) into ESC/POS bytes and appends
    // them. Never reads beyond length bytes; length <= 0 appends nothing. Returns the pending
    // size after the call.
    int32_t TranslatePrintData(int32_t length, const uint8_t *data);
    // Appends the ESC/POS bytes that stand for one complete escape sequence; nothing for a
    // sequence the printer has no command for.
    void AppendEscapeCommand(const EscapeSequence &seq);

    // A contiguous copy of the pending bytes that stays valid until the next CopyOut, so a
    // write may still be reading it after the pending bytes were cleared.
    void CopyOut(const uint8_t **bytes, int32_t *length)
    {
        m_copy.assign(m_pending.begin(), m_pending.end());
        *bytes = m_copy.data();
        *length = static_cast<int32_t>(m_copy.size());
    }

    int32_t PendingSize() const { return static_cast<int32_t>(m_pending.size()); }
    const std::vector<uint8_t> &Pending() const { return m_pending; }

private:
    std::vector<uint8_t> m_pending;
    std::vector<uint8_t> m_copy;
};
