// Assembling and judging status packets from arbitrary read boundaries.
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
};

TEST(StatusAssembler, JudgesTheLastCompletePacketOfEachRead)
{
    const Row rows[] = {
        {"one packet", {{0x20, 0, 0, 0}}, {201}},
        {"paper bits", {{0, 0, 0x04, 0}, {0, 0, 0x08, 0}, {0, 0, 0x0C, 0}}, {203, 203, 203}},
        {"byte 1 and 3 ignored", {{0, 0xFF, 0, 0xFF}}, {0}},
        {"byte 0 other bits ignored", {{0xDF, 0, 0, 0}}, {0}},
        {"cover wins", {{0x20, 0, 0x0C, 0}}, {201}},
        {"two packets, last counts", {{0x20, 0, 0, 0, 0, 0, 0, 0}}, {0}},
        {"split 2+2", {{0x20, 0}, {0, 0}}, {-1, 201}},
        {"split 1+3", {{0}, {0, 0x0C, 0}}, {-1, 203}},
        {"split 3+1+4", {{0, 0, 0x0C}, {0}, {0x20, 0, 0, 0}}, {-1, 203, 201}},
        {"whole then partial", {{0, 0, 0x0C, 0, 0x20}, {0, 0, 0}}, {203, 201}},
        {"byte by byte", {{0x20}, {0}, {0}, {0}}, {-1, -1, -1, 201}},
        {"empty read", {{}, {0, 0, 0, 0}}, {-1, 0}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        CStatusAssembler assembler;
        for (size_t i = 0; i < row.reads.size(); ++i) {
            int32_t code = -7;
            bool judged = assembler.Feed(row.reads[i].data(), row.reads[i].size(), &code);
            EXPECT_EQ(row.codes[i] >= 0, judged) << "read " << i;
            if (judged)
                EXPECT_EQ(row.codes[i], code) << "read " << i;
            else
                EXPECT_EQ(-7, code) << "read " << i << " must leave the code alone";
        }
    }
}

} // namespace
