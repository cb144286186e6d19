// Assembling and judging status packets from arbitrary read boundaries and pauses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "statuspacket.h"

namespace {

struct Row
{
    const char *what;
    std::vector<std::vector<uint8_t>> reads;
    // Per read: -1 when no packet completed, else the code of the last completed packet.
    std::vector<int> codes;
    // Per read: the tick it arrived at; empty means 1 ms apart from 1000 on.
    std::vector<uint32_t> at;
};

TEST(StatusAssembler, JudgesTheLastCompletePacketOfEachRead)
{
    const uint32_t wrap = 0xFFFFFFC0u;   // 64 ms before the tick wraps
    const Row rows[] = {
        // what                    reads                                   codes           ticks
        {"one packet", {{0x20, 0, 0, 0}}, {201}, {}},
        {"paper bits", {{0, 0, 0x04, 0}, {0, 0, 0x08, 0}, {0, 0, 0x0C, 0}}, {203, 203, 203}, {}},
        {"byte 1 and 3 ignored", {{0, 0xFF, 0, 0xFF}}, {0}, {}},
        {"byte 0 other bits ignored", {{0xDF, 0, 0, 0}}, {0}, {}},
        {"cover wins", {{0x20, 0, 0x0C, 0}}, {201}, {}},
        {"two packets, last counts", {{0x20, 0, 0, 0, 0, 0, 0, 0}}, {0}, {}},
        {"split 2+2", {{0x20, 0}, {0, 0}}, {-1, 201}, {}},
        {"split 1+3", {{0}, {0, 0x0C, 0}}, {-1, 203}, {}},
        {"split 3+1+4", {{0, 0, 0x0C}, {0}, {0x20, 0, 0, 0}}, {-1, 203, 201}, {}},
        {"whole then partial", {{0, 0, 0x0C, 0, 0x20}, {0, 0, 0}}, {203, 201}, {}},
        {"byte by byte", {{0x20}, {0}, {0}, {0}}, {-1, -1, -1, 201}, {}},
        {"empty read", {{}, {0, 0, 0, 0}}, {-1, 0}, {}},
        // A pause longer than the gap drops the partial packet; the next bytes start anew.
        {"stray, pause, cover open", {{0}, {0x20, 0, 0, 0}}, {-1, 201}, {1000, 1250}},
        {"stray, pause, paper empty", {{0}, {0, 0, 0x0C, 0}}, {-1, 203}, {1000, 1250}},
        {"stray 0x20, pause, clear", {{0x20}, {0, 0, 0, 0}}, {-1, 0}, {1000, 1250}},
        {"three strays, pause, packet", {{0x11, 0x13, 0x20}, {0, 0, 0x0C, 0}}, {-1, 203}, {1000, 1101}},
        {"gap of exactly 100 ms still joins", {{0x20, 0}, {0, 0}}, {-1, 201}, {1000, 1100}},
        {"gap of 101 ms does not", {{0x20, 0}, {0, 0}}, {-1, -1}, {1000, 1101}},
        {"tail of a read, pause", {{0, 0, 0x0C, 0, 0x20}, {0, 0, 0, 0}}, {203, 0}, {1000, 1500}},
        {"pause after whole packets changes nothing", {{0x20, 0, 0, 0}, {0, 0, 0x0C, 0}}, {201, 203}, {1000, 9000}},
        {"each byte within the gap", {{0x20}, {0}, {0}, {0}}, {-1, -1, -1, 201}, {1000, 1090, 1180, 1270}},
        {"empty read keeps the partial's time", {{0x20}, {}, {0, 0, 0}}, {-1, -1, -1}, {1000, 1050, 1150}},
        {"tick wraps inside a packet", {{0x20, 0}, {0, 0}}, {-1, 201}, {wrap, wrap + 90}},
        {"tick wraps inside a pause", {{0}, {0x20, 0, 0, 0}}, {-1, 201}, {wrap, wrap + 200}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        CStatusAssembler assembler;
        for (size_t i = 0; i < row.reads.size(); ++i) {
            uint32_t now = row.at.empty() ? 1000 + static_cast<uint32_t>(i) : row.at[i];
            int32_t code = -7;
            bool judged = assembler.Feed(row.reads[i].data(), row.reads[i].size(), now, &code);
            EXPECT_EQ(row.codes[i] >= 0, judged) << "read " << i;
            if (judged)
                EXPECT_EQ(row.codes[i], code) << "read " << i;
            else
                EXPECT_EQ(-7, code) << "read " << i << " must leave the code alone";
        }
    }
}

TEST(StatusAssembler, PartialPacketExpiresAndResets)
{
    const uint8_t two[] = {0x20, 0};
    const uint8_t rest[] = {0, 0};
    int32_t code = -7;

    CStatusAssembler assembler;
    EXPECT_FALSE(assembler.DropStalePartial(5000)) << "nothing held";
    EXPECT_FALSE(assembler.Feed(two, 2, 5000, &code));
    EXPECT_TRUE(assembler.HasPartial());
    EXPECT_TRUE(assembler.DropStalePartial(5100)) << "still within the gap";
    EXPECT_FALSE(assembler.DropStalePartial(5101));
    EXPECT_FALSE(assembler.HasPartial());

    EXPECT_FALSE(assembler.Feed(two, 2, 6000, &code));
    assembler.Reset();
    EXPECT_FALSE(assembler.Feed(rest, 2, 6001, &code)) << "a reset forgets the partial packet";
    EXPECT_EQ(-7, code);
}

// Two character times more than the 100 ms a printer may pause, rounded up to a millisecond.
TEST(StatusAssembler, GapFollowsTheLine)
{
    const struct { uint32_t baud, dataBits; bool parity; uint32_t stopHalfBits, gapMs; } rows[] = {
        // baud   data  parity  stop/2  gap
        {110, 8, false, 4, 300},      // 11 bits a character: 100 ms each
        {110, 7, true, 4, 300},
        {110, 8, false, 2, 282},      // 10 bits: 181.8 ms for two
        {300, 7, true, 2, 167},       // 9 + 1 bits: 66.7 ms for two
        {9600, 8, false, 2, 103},     // 2.08 ms for two
        {9600, 8, false, 3, 103},     // one and a half stop bits: 2.19 ms
        {19200, 8, true, 4, 102},
        {115200, 8, false, 2, 101},
        {1, 8, false, 4, 22100},
        {0, 8, false, 2, 100},        // a line we could not learn
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(testing::Message() << row.baud << " baud, " << row.dataBits << (row.parity ? "P" : "N")
                                        << " stop halves " << row.stopHalfBits);
        EXPECT_EQ(row.gapMs, StatusPacketGapMs(row.baud, row.dataBits, row.parity, row.stopHalfBits));
    }
}

TEST(StatusAssembler, PartialPacketKeepsForTheGapItWasGiven)
{
    const uint8_t cover[] = {0x20, 0, 0, 0};
    const struct { const char *what; uint32_t gapMs; uint32_t apartMs; int code; } rows[] = {
        // what                                 gap   bytes apart  code (-1: no packet)
        {"110 baud 8N2, bytes 120 ms apart", 300, 120, 201},
        {"110 baud 8N2, bytes 300 ms apart", 300, 300, 201},
        {"110 baud 8N2, a pause of 301 ms", 300, 301, -1},
        {"9600 baud 8N1, bytes 103 ms apart", 103, 103, 201},
        {"9600 baud 8N1, a pause of 120 ms", 103, 120, -1},
        {"no line, a pause of 120 ms", kStatusPacketGapMs, 120, -1},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        CStatusAssembler assembler(row.gapMs);
        int32_t code = -7;
        bool judged = false;
        for (uint32_t i = 0; i < 4; ++i)
            judged = assembler.Feed(cover + i, 1, 1000 + i * row.apartMs, &code) || judged;
        EXPECT_EQ(row.code >= 0, judged);
        if (row.code >= 0) {
            EXPECT_EQ(row.code, code);
        }
    }
}

} // namespace
