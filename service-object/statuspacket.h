// Judging the printer's automatic status packets. Platform-free.
//
// A packet is 4 bytes: byte 0 bit 0x20 is cover open, byte 2 bits 0x0C receipt paper empty.
// Reads may split a packet anywhere, so the tail of one read is completed by the next.
#pragma once

#include <cstddef>
#include <cstdint>

enum : int32_t { kStatusClear = 0, kStatusCoverOpen = 201, kStatusReceiptEmpty = 203 };

inline int32_t JudgeStatusPacket(const uint8_t packet[4])
{
    if (packet[0] & 0x20)
        return kStatusCoverOpen;          // cover open wins over paper empty
    if (packet[2] & 0x0C)
        return kStatusReceiptEmpty;
    return kStatusClear;
}

class CStatusAssembler
{
public:
    // Feeds received bytes. Returns true when at least one packet was completed, with the code
    // of the last complete packet in *code (a later packet overrides an earlier one).
    bool Feed(const uint8_t *bytes, size_t count, int32_t *code)
    {
        bool judged = false;
        for (size_t i = 0; i < count; ++i) {
            m_packet[m_have++] = bytes[i];
            if (m_have == sizeof(m_packet)) {
                *code = JudgeStatusPacket(m_packet);
                judged = true;
                m_have = 0;
            }
        }
        return judged;
    }

    void Reset() { m_have = 0; }

private:
    uint8_t m_packet[4] = {};
    size_t m_have = 0;
};
