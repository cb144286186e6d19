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

// Where one command of the translator's own output lies in the pending bytes: [Begin, End).
struct CommandSpan
{
    uint32_t Begin;
    uint32_t End;
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
    // Appends one printer command, all or nothing, and remembers where it lies, so a run cut
    // inside it can be finished (CopiedCommandEnd).
    bool AppendCommand(const uint8_t *bytes, size_t count)
    {
        const size_t at = m_pending.size();
        if (!Append(bytes, count))
            return false;
        NoteCommands(at, count, count);
        return true;
    }
    void Clear()
    {
        m_pending.clear();
        m_spans.clear();
    }

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
        m_copySpans.assign(m_spans.begin(), m_spans.end());
        *bytes = m_copy.data();
        *length = static_cast<int32_t>(m_copy.size());
    }

    // CopyOut and Clear in one, without copying: the pending bytes become the copy.
    void MoveOut(const uint8_t **bytes, int32_t *length)
    {
        m_copy.swap(m_pending);
        m_copySpans.swap(m_spans);
        Clear();
        *bytes = m_copy.data();
        *length = static_cast<int32_t>(m_copy.size());
    }

    // The commands of more than one byte among the pending bytes, in order. Every byte outside
    // them begins a command of its own (text, CR, LF, and the bytes that arrived through
    // Append, which are the caller's own); the bytes an ESC|#E embeds count as one command.
    const std::vector<CommandSpan> &CommandSpans() const { return m_spans; }
    // Where the copy (of CopyOut or MoveOut) may be cut without leaving a command half sent: offset itself when a
    // command begins there (or the copy ends there), else the end of the command it falls in.
    size_t CopiedCommandEnd(size_t offset) const
    {
        size_t lo = 0, hi = m_copySpans.size();   // the first span that begins at offset or later
        while (lo < hi) {
            const size_t mid = lo + (hi - lo) / 2;
            if (m_copySpans[mid].Begin < offset)
                lo = mid + 1;
            else
                hi = mid;
        }
        if (lo > 0 && offset < m_copySpans[lo - 1].End)
            return m_copySpans[lo - 1].End;
        return offset;
    }

    int32_t PendingSize() const { return static_cast<int32_t>(m_pending.size()); }
    const std::vector<uint8_t> &Pending() const { return m_pending; }

private:
    // Notes the bytes [at, at + count) as commands of commandLength bytes each.
    void NoteCommands(size_t at, size_t count, size_t commandLength)
    {
        if (commandLength < 2)
            return;
        for (size_t begin = at; begin + commandLength <= at + count; begin += commandLength)
            m_spans.push_back({static_cast<uint32_t>(begin), static_cast<uint32_t>(begin + commandLength)});
    }

    std::vector<uint8_t> m_pending;
    std::vector<CommandSpan> m_spans;
    std::vector<uint8_t> m_copy;
    std::vector<CommandSpan> m_copySpans;
};
