// OPOS print data to ESC/POS: the scanner (TranslatePrintData) and the code table
// (AppendEscapeCommand). Platform-free.
//
// Every output unit is all or nothing against kMaxPendingBytes: one ordinary byte, one
// line-feed expansion, the command bytes of one sequence, the embedded bytes of one ESC|#E.
// A unit that does not fit is dropped and the scan goes on, so later smaller units may still
// fit; bytes appended before stay.
#include "printbuffer.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint8_t kEsc = 0x1B;
constexpr uint8_t kBar = 0x7C;
constexpr uint8_t kLineFeed = 0x0A;

// Sent for every line feed outside embedded data: ESC J 24 and ESC J 0 feed the line, ESC ! 0
// and ESC - 0 reset print mode and underline.
constexpr uint8_t kLineFeedBytes[] = {0x1B, 0x4A, 0x18, 0x1B, 0x4A, 0x00,
                                      0x1B, 0x21, 0x00, 0x1B, 0x2D, 0x00};

constexpr uint32_t Pack(char upper, char lower1 = 0, char lower2 = 0)
{
    return static_cast<uint32_t>(static_cast<uint8_t>(upper)) << 24 |
           static_cast<uint32_t>(static_cast<uint8_t>(lower2)) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(lower1));
}

constexpr uint32_t kEmbedCode = Pack('E');
constexpr uint32_t kSkipCode = Pack('R');

// Lower-case letters are never 0 and the upper-case byte stays 0 until the sequence ends, so
// the occupied bytes of Code tell how many lower-case letters came before this one.
uint32_t PackLower(uint32_t code, uint8_t letter)
{
    if ((code & 0x000000FFu) == 0)
        return code | letter;
    if ((code & 0x0000FF00u) == 0)
        return code | static_cast<uint32_t>(letter) << 8;
    return code | static_cast<uint32_t>(letter) << 16;
}

// Two's-complement reinterpretation, spelled out because a plain cast of a value above
// INT32_MAX is only implementation-defined before C++20.
int32_t ToSigned(uint32_t u)
{
    if (u <= 0x7FFFFFFFu)
        return static_cast<int32_t>(u);
    return -static_cast<int32_t>(~u) - 1;
}

uint8_t LowByte(uint32_t v) { return static_cast<uint8_t>(v & 0xFFu); }

// What one code table row sends: crLfPairs times 0D 0A, then size command bytes.
struct Command
{
    uint32_t crLfPairs;
    uint8_t size;
    uint8_t bytes[6];
};

constexpr Command kNothing = {0, 0, {}};

Command ThreeBytes(uint8_t a, uint8_t b, uint8_t c) { return {0, 3, {a, b, c}}; }

// Values below 100 (compared unsigned, so ! is 4294967295) ask for a partial cut.
Command Cut(int32_t value)
{
    return ThreeBytes(0x1D, 0x56, static_cast<uint32_t>(value) < 100 ? 0x01 : 0x00);
}

Command FeedAndCut(int32_t value)
{
    Command c = Cut(value);
    c.crLfPairs = 5;
    return c;
}

// The count is signed: ! and any wrapped negative value feed nothing.
Command LineFeeds(int32_t value)
{
    if (value < 0)
        return kNothing;
    return {value == 0 ? 1u : static_cast<uint32_t>(value), 0, {}};
}

Command ResetMode(int32_t) { return {0, 6, {0x1B, 0x21, 0x00, 0x1B, 0x2D, 0x00}}; }

Command Bold(int32_t value) { return ThreeBytes(0x1B, 0x45, value == 0 ? 0x01 : 0x00); }

Command Underline(int32_t value)
{
    if (value == 0)
        return ThreeBytes(0x1B, 0x21, 0x80);
    return ThreeBytes(0x1B, 0x2D, LowByte(static_cast<uint32_t>(value)));
}

Command CharSize(int32_t value)
{
    uint8_t m = 0x00;
    switch (value)
    {
    case 2: m = 0x10; break;
    case 3: m = 0x01; break;
    case 4: m = 0x11; break;
    default: break;
    }
    return ThreeBytes(0x1D, 0x21, m);
}

// Width and height arithmetic is unsigned so that INT32_MIN - 1 wraps instead of overflowing.
Command CharWidth(int32_t value)
{
    if (value == 0)
        return kNothing;
    return ThreeBytes(0x1D, 0x21, LowByte((static_cast<uint32_t>(value) - 1u) * 16u));
}

Command CharHeight(int32_t value)
{
    if (value == 0)
        return kNothing;
    return ThreeBytes(0x1D, 0x21, LowByte(static_cast<uint32_t>(value) - 1u));
}

Command AlignCentre(int32_t) { return ThreeBytes(0x1B, 0x61, 0x01); }
Command AlignLeft(int32_t) { return ThreeBytes(0x1B, 0x61, 0x00); }
Command AlignRight(int32_t) { return ThreeBytes(0x1B, 0x61, 0x02); }

struct CodeRow
{
    uint32_t code;
    Command (*compose)(int32_t value);
};

// Matched on the whole Code word; the value only shapes the bytes. Any other sequence, E and
// R included, sends nothing.
constexpr CodeRow kCodeTable[] = {
    {Pack('P'), Cut},
    {Pack('P', 'f'), FeedAndCut},
    {Pack('P', 's'), FeedAndCut},
    {Pack('F', 'l'), LineFeeds},
    {Pack('N'), ResetMode},
    {Pack('C', 'b'), Bold},
    {Pack('C', 'u'), Underline},
    {Pack('C'), CharSize},
    {Pack('C', 'h'), CharWidth},
    {Pack('C', 'v'), CharHeight},
    {Pack('A', 'c'), AlignCentre},
    {Pack('A', 'l'), AlignLeft},
    {Pack('A', 'r'), AlignRight},
};

static_assert(Pack('P', 'f') == 0x50000066u, "letters pack first lower-case into bits 0-7");
static_assert(Pack('A', 'c') == 0x41000063u, "final letter packs into bits 24-31");

} // namespace

void CPrintBuffer::AppendEscapeCommand(const EscapeSequence &seq)
{
    const CodeRow *row = std::find_if(std::begin(kCodeTable), std::end(kCodeTable),
                                      [&](const CodeRow &r) { return r.code == seq.Code; });
    if (row == std::end(kCodeTable))
        return;
    const Command cmd = row->compose(seq.Value);

    // 64-bit so that 2 x 2^31 pairs is measured, not wrapped, before anything is allocated.
    const uint64_t total = 2 * static_cast<uint64_t>(cmd.crLfPairs) + cmd.size;
    if (total == 0 || total > kMaxPendingBytes - m_pending.size())
        return;
    const size_t at = m_pending.size();
    m_pending.resize(at + static_cast<size_t>(total));
    uint8_t *out = m_pending.data() + at;
    const size_t feedBytes = 2 * static_cast<size_t>(cmd.crLfPairs);
    // CR and LF are commands of one byte each; the command bytes are commands of three.
    NoteCommands(at + feedBytes, cmd.size, 3);
    if (feedBytes != 0)
    {
        // The CR LF run is doubled by copying what is already there: a few copies even for
        // the millions of pairs that a large ESC|#lF may ask for.
        out[0] = 0x0D;
        out[1] = 0x0A;
        for (size_t done = 2; done < feedBytes;)
        {
            const size_t copy = std::min(done, feedBytes - done);
            std::memcpy(out + done, out, copy);
            done += copy;
        }
    }
    std::memcpy(out + feedBytes, cmd.bytes, cmd.size);
}

int32_t CPrintBuffer::TranslatePrintData(int32_t length, const uint8_t *data)
{
    if (length <= 0 || data == nullptr)
        return PendingSize();
    const size_t end = static_cast<size_t>(length);
    size_t pos = 0;

    while (pos < end)
    {
        // A run of bytes that go out unchanged: everything up to a line feed or ESC |. Each
        // byte is its own unit, so a run that crosses the cap keeps the part that fits.
        size_t run = pos;
        while (run < end)
        {
            const uint8_t b = data[run];
            if (b == kLineFeed || (b == kEsc && run + 1 < end && data[run + 1] == kBar))
                break;
            ++run;
        }
        if (run != pos)
        {
            const size_t room = kMaxPendingBytes - m_pending.size();
            const size_t count = std::min(run - pos, room);
            m_pending.insert(m_pending.end(), data + pos, data + pos + count);
            pos = run;
            continue;
        }

        if (data[pos] == kLineFeed)
        {
            // Four commands of three bytes each.
            const size_t at = m_pending.size();
            if (Append(kLineFeedBytes, sizeof kLineFeedBytes))
                NoteCommands(at, sizeof kLineFeedBytes, 3);
            ++pos;
            continue;
        }

        // ESC | : read up to and including the upper-case letter.
        EscapeSequence seq = {0, 0};
        size_t p = pos + 2;
        for (; p < end; ++p)
        {
            const uint8_t b = data[p];
            if (b >= '0' && b <= '9')
                seq.Value = ToSigned(static_cast<uint32_t>(seq.Value) * 10u + (b - '0'));
            else if (b == '!')
                seq.Value = -1;
            else if (b >= 'a' && b <= 'z')
                seq.Code = PackLower(seq.Code, b);
            else if (b >= 'A' && b <= 'Z')
            {
                seq.Code |= static_cast<uint32_t>(b) << 24;
                break;
            }
            // Anything else, 80-FF included, is ignored inside a sequence.
        }
        if (p == end)
            break; // the data ended inside the sequence: it is dropped

        // E and R own the Value bytes after the letter when they all lie within the data; a
        // negative or too large count leaves the sequence to the code table, which has no row
        // for it, so the bytes after the letter are translated as usual. after >= Value keeps
        // p + 1 + Value <= end without any addition that could overflow.
        const size_t after = end - 1 - p;
        if ((seq.Code == kEmbedCode || seq.Code == kSkipCode) && seq.Value >= 0 &&
            static_cast<uint32_t>(seq.Value) <= after)
        {
            const size_t count = static_cast<uint32_t>(seq.Value);
            // The application's own bytes: the object cannot tell their commands apart, so
            // they are finished as one.
            if (seq.Code == kEmbedCode)
                AppendCommand(data + p + 1, count);
            pos = p + 1 + count;
        }
        else
        {
            AppendEscapeCommand(seq);
            pos = p + 1;
        }
    }
    return PendingSize();
}
