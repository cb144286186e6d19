// Judging the printer's automatic status packets. Platform-free.
//
// A packet is 4 bytes: byte 0 bit 0x20 is cover open, byte 2 bits 0x0C receipt paper empty.
// Reads may split a packet anywhere, so the tail of one read is completed by the next. A
// printer sends a packet's 4 bytes back to back, so bytes that arrive after a pause never
// complete an earlier partial packet: that partial is a stray byte (line noise, a flow control
// character, the rest of a packet sent before the port was opened) and is dropped, so one
// stray byte cannot shift the framing of every later packet.
#pragma once

#include <cstddef>
#include <cstdint>

enum : int32_t { kStatusClear = 0, kStatusCoverOpen = 201, kStatusReceiptEmpty = 203 };

// Longest pause between two bytes of one packet on a port whose line we know nothing about.
constexpr uint32_t kStatusPacketGapMs = 100;

// Longest pause between two bytes of one packet on a serial line: kStatusPacketGapMs plus two
// character times, since on a slow line the bytes of a packet are a character time apart
// (100 ms at 110 baud with 8 data bits and two stop bits) however fast the printer sends them.
// A character is a start bit, the data bits, the parity bit if any and the stop bits; stop bits
// are counted in halves (2 one, 3 one and a half, 4 two). Rounded up to the next millisecond;
// a baud rate of 0 (a line we could not learn) gives kStatusPacketGapMs.
inline uint32_t StatusPacketGapMs(uint32_t baudRate, uint32_t dataBits, bool parityBit, uint32_t stopHalfBits)
{
    if (baudRate == 0)
        return kStatusPacketGapMs;
    // Two characters, counted in half bits, are as many whole bits as one character's halves.
    const uint64_t bits = 2ull * (1 + dataBits + (parityBit ? 1 : 0)) + stopHalfBits;
    const uint64_t ms = kStatusPacketGapMs + (bits * 1000 + baudRate - 1) / baudRate;
    return ms > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(ms);
}

inline bool PacketCoverOpen(const uint8_t packet[4]) { return (packet[0] & 0x20) != 0; }
inline bool PacketReceiptEmpty(const uint8_t packet[4]) { return (packet[2] & 0x0C) != 0; }

inline int32_t JudgeStatusPacket(const uint8_t packet[4])
{
    if (PacketCoverOpen(packet))
        return kStatusCoverOpen;          // cover open wins over paper empty
    if (PacketReceiptEmpty(packet))
        return kStatusReceiptEmpty;
    return kStatusClear;
}

class CStatusAssembler
{
public:
    // gapMs: the longest pause between two bytes of one packet.
    explicit CStatusAssembler(uint32_t gapMs = kStatusPacketGapMs) : m_gapMs(gapMs) {}

    // Feeds bytes received at nowMs (a millisecond tick that may wrap). Returns true when at
    // least one packet was completed, with the code of the last complete packet in *code (a
    // later packet overrides an earlier one).
    bool Feed(const uint8_t *bytes, size_t count, uint32_t nowMs, int32_t *code)
    {
        if (count == 0)
            return false;
        DropStalePartial(nowMs);
        bool judged = false;
        for (size_t i = 0; i < count; ++i) {
            m_packet[m_have++] = bytes[i];
            if (m_have == sizeof(m_packet)) {
                *code = JudgeStatusPacket(m_packet);
                for (size_t k = 0; k < sizeof(m_packet); ++k)
                    m_last[k] = m_packet[k];
                judged = true;
                m_have = 0;
            }
        }
        m_lastByteMs = nowMs;
        return judged;
    }

    // Forgets a partial packet whose last byte came more than the gap before nowMs. Returns
    // true while a partial packet is still held.
    bool DropStalePartial(uint32_t nowMs)
    {
        if (m_have != 0 && nowMs - m_lastByteMs > m_gapMs)
            m_have = 0;
        return m_have != 0;
    }

    bool HasPartial() const { return m_have != 0; }
    // The last complete packet (all zero before the first).
    const uint8_t *LastPacket() const { return m_last; }
    void Reset() { m_have = 0; }

private:
    uint32_t m_gapMs;
    uint8_t m_packet[4] = {};
    uint8_t m_last[4] = {};
    size_t m_have = 0;
    uint32_t m_lastByteMs = 0;
};
