// OPOS print data to ESC/POS: the scanner, the code table and the pending-size cap.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "printbuffer.h"

namespace {

using Bytes = std::vector<uint8_t>;

const std::string E = "\x1B|";
constexpr size_t kCap = CPrintBuffer::kMaxPendingBytes;

Bytes S(const std::string &text) { return Bytes(text.begin(), text.end()); }

// "1B 45 01" -> {0x1B, 0x45, 0x01}
Bytes H(const char *hex)
{
    Bytes out;
    const char *p = hex;
    while (*p)
    {
        if (*p == ' ')
        {
            ++p;
            continue;
        }
        char *next = nullptr;
        out.push_back(static_cast<uint8_t>(std::strtoul(p, &next, 16)));
        p = next;
    }
    return out;
}

Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes &b : parts)
        out.insert(out.end(), b.begin(), b.end());
    return out;
}

Bytes CrLf(size_t pairs)
{
    Bytes out;
    for (size_t i = 0; i < pairs; ++i)
    {
        out.push_back(0x0D);
        out.push_back(0x0A);
    }
    return out;
}

const Bytes kLineFeed = H("1B 4A 18 1B 4A 00 1B 21 00 1B 2D 00");

std::string Hex(const Bytes &bytes)
{
    std::string out;
    char cell[4];
    for (size_t i = 0; i < bytes.size(); ++i)
    {
        std::snprintf(cell, sizeof cell, i ? " %02X" : "%02X", bytes[i]);
        out += cell;
    }
    return out;
}

// Translates from a heap block of exactly the data's size, so that AddressSanitizer sees any
// read beyond length.
int32_t Translate(CPrintBuffer &buffer, const Bytes &data)
{
    std::unique_ptr<uint8_t[]> exact(new uint8_t[data.size() ? data.size() : 1]);
    if (!data.empty())
        std::memcpy(exact.get(), data.data(), data.size());
    return buffer.TranslatePrintData(static_cast<int32_t>(data.size()), exact.get());
}

Bytes Tail(const CPrintBuffer &buffer, size_t from)
{
    return Bytes(buffer.Pending().begin() + static_cast<std::ptrdiff_t>(from), buffer.Pending().end());
}

struct ScanRow
{
    const char *what;
    Bytes input;
    Bytes expected;
};

void RunScanRows(const std::vector<ScanRow> &rows)
{
    for (const ScanRow &row : rows)
    {
        CPrintBuffer buffer;
        const int32_t result = Translate(buffer, row.input);
        EXPECT_EQ(Hex(buffer.Pending()), Hex(row.expected))
            << row.what << "\n  input: " << Hex(row.input);
        EXPECT_EQ(result, static_cast<int32_t>(row.expected.size())) << row.what;
    }
}

TEST(TranslatePrintData, ExamplesAndEdgeCases)
{
    const std::vector<ScanRow> rows = {
        // what, input, expected output
        {"bold, text, line feed", S(E + "bCHello\n"),
         H("1B 45 01 48 65 6C 6C 6F 1B 4A 18 1B 4A 00 1B 21 00 1B 2D 00")},
        {"centred double-width total, feeds, cut",
         S(E + "cA" + E + "2CTOTAL" + E + "N\n" + E + "3lF" + E + "75P"),
         Cat({H("1B 61 01 1D 21 10 54 4F 54 41 4C 1B 21 00 1B 2D 00"), kLineFeed,
              H("0D 0A 0D 0A 0D 0A 1D 56 01")})},
        {"embedded data copied, skipped data dropped", S("A" + E + "2EXYB" + E + "3RskipC"),
         H("41 58 59 42 70 43")},
        {"value forms of the character commands",
         S(E + "!bC" + E + "uC" + E + "2uC" + E + "2hC" + E + "3vC" + E + "fP" + E + "100P" + E +
           "rvC" + E + "lF"),
         Cat({H("1B 45 00 1B 21 80 1B 2D 02 1D 21 10 1D 21 02"), CrLf(5),
              H("1D 56 01 1D 56 00 0D 0A")})},
        {"E count beyond the data: dropped, rest is text", S(E + "5E12"), H("31 32")},
        {"E and R with no value", S(E + "Eab" + E + "Rcd"), S("abcd")},
        {"E with no value as the last letter", S(E + "E"), {}},
        {"R with no value as the last letter", S(E + "R"), {}},
        {"embedded line feed and ESC | are raw", S(E + "4E\n" + E + "bC"), H("0A 1B 7C 62 43")},
        {"ESC as the last byte", H("41 1B"), H("41 1B")},
        {"ESC alone", H("1B"), H("1B")},
        {"ESC not followed by |", H("1B 41 1B 40"), H("1B 41 1B 40")},
        {"ESC before a sequence", Cat({H("1B"), S(E + "bC")}), H("1B 1B 45 01")},
        {"ESC before a line feed", H("1B 0A"), Cat({H("1B"), kLineFeed})},
        {"data ends inside a sequence", H("1B 7C 32 62"), {}},
        {"text before an unterminated sequence stays", S("x" + E + "2b"), S("x")},
        {"ESC | as the last two bytes", S("x" + E), S("x")},
        {"cut without value is partial", S(E + "P"), H("1D 56 01")},
        {"cut 99 is partial", S(E + "99P"), H("1D 56 01")},
        {"cut 100 is full", S(E + "100P"), H("1D 56 00")},
        {"cut ! is full", S(E + "!P"), H("1D 56 00")},
        {"lF feeds one", S(E + "lF"), CrLf(1)},
        {"1lF feeds one", S(E + "1lF"), CrLf(1)},
        {"0lF feeds one", S(E + "0lF"), CrLf(1)},
        {"!lF feeds none", S(E + "!lF"), {}},
        {"1C is normal size", S(E + "1C"), H("1D 21 00")},
        {"C is normal size", S(E + "C"), H("1D 21 00")},
        {"80-FF ignored inside a sequence", Cat({S(E), H("80"), S("b"), H("FF"), S("C")}),
         H("1B 45 01")},
        {"80-FF, zero and CR copied outside", H("80 C3 A9 FF 00 0D 7F"), H("80 C3 A9 FF 00 0D 7F")},

        // Value and letters.
        {"value before the letters", S(E + "2bC"), H("1B 45 00")},
        {"value among the letters", S(E + "b2C"), H("1B 45 00")},
        {"digits on both sides of a letter", S(E + "1l2F"), CrLf(12)},
        {"digits after ! go on from -1", S(E + "!5uC"), H("1B 2D FB")},
        {"! after digits is -1", S(E + "5!uC"), H("1B 2D FF")},
        {"space, LF, ESC, | ignored inside", S(E + "b \n\x1B|C"), H("1B 45 01")},
        {"letter order matters", S(E + "blC"), {}},
        {"three lower-case letters match nothing", S(E + "lllF"), {}},
        {"four lower-case letters match nothing", S(E + "abcdC"), {}},
        {"upper-case letter ends the sequence", S(E + "Pf"), H("1D 56 01 66")},
        {"unknown single letter consumed", S(E + "IX"), S("X")},
        {"z is a lower-case letter", S(E + "zlF"), {}},
        {"a is a lower-case letter", S(E + "alF"), {}},
        {"Z ends a sequence", S(E + "Zab"), S("ab")},
        {"A ends a sequence", S(E + "Aab"), S("ab")},
        {"@ [ ` { are no letters", S(E + "@`b[{C"), H("1B 45 01")},
        {"/ : are no digits", S(E + "/2:uC"), H("1B 2D 02")},
        {"digits 9 and 0", S(E + "90uC"), H("1B 2D 5A")},
        {"\" is not !", S(E + "\"bC"), H("1B 45 01")},

        // 32-bit wrapping of the value.
        {"4294967297 wraps to 1", S(E + "4294967297lF"), CrLf(1)},
        {"4294967296 wraps to 0", S(E + "4294967296lF"), CrLf(1)},
        {"2147483648 wraps negative", S(E + "2147483648lF"), {}},
        {"4294967295 wraps to -1", S(E + "4294967295lF"), {}},
        {"99999999999 low byte FF", S(E + "99999999999uC"), H("1B 2D FF")},
        {"E count 2147483648 is negative", S(E + "2147483648Eab"), S("ab")},
        {"E count 2147483647 beyond the data", S(E + "2147483647Eab"), S("ab")},
        {"R count 2147483647 beyond the data", S(E + "2147483647Rab"), S("ab")},
        {"E count wraps to 2", S(E + "4294967298Eab\n"), Cat({S("ab"), kLineFeed})},

        // E and R counts.
        {"!E dropped, next bytes translated", S(E + "!E\nab"), Cat({kLineFeed, S("ab")})},
        {"!3R dropped", S(E + "!3Rxyz"), S("xyz")},
        {"3!E dropped", S(E + "3!Exyz"), S("xyz")},
        {"!R at the end", S(E + "!R"), {}},
        {"E count up to the last byte", S(E + "3Eabc"), S("abc")},
        {"E count one past the last byte", S(E + "4Eabc"), S("abc")},
        {"R count up to the last byte", S(E + "3Rabc"), {}},
        {"R count one past the last byte", S(E + "4Rabc"), S("abc")},
        {"R skips LF and ESC |", S(E + "4R\n" + E + "bX"), S("X")},
        {"scanning resumes after embedded data", S(E + "1E\n" + E + "bC"), H("0A 1B 45 01")},
        {"E with a lower-case letter is no E", S(E + "2xEab"), S("ab")},
        {"R with a lower-case letter is no R", S(E + "2xRab"), S("ab")},
    };
    RunScanRows(rows);
}

TEST(TranslatePrintData, EachCallStandsAlone)
{
    struct Row
    {
        const char *what;
        std::vector<Bytes> calls;
        Bytes expected;
    };
    const Row rows[] = {
        // what, data of each call, expected pending bytes after all of them
        {"split sequence printed as text", {S("x" + E + "2"), S("bCy")}, S("xbCy")},
        {"ESC and | in different calls", {H("61 1B"), S("|bC")}, H("61 1B 7C 62 43")},
        {"E count reaching into the next call",
         {S(E + "3Ea\n"), S("bc")},
         Cat({S("a"), kLineFeed, S("bc")})},
        {"calls accumulate", {S(E + "bC"), S("A\n")}, Cat({H("1B 45 01 41"), kLineFeed})},
    };
    for (const Row &row : rows)
    {
        CPrintBuffer buffer;
        for (const Bytes &call : row.calls)
            Translate(buffer, call);
        EXPECT_EQ(Hex(buffer.Pending()), Hex(row.expected)) << row.what;
    }
}

TEST(TranslatePrintData, ReadsNothingBeyondLength)
{
    static const uint8_t kData[] = {'a', 'b', '\n', 0x1B, '|', 'b', 'C'};
    struct Row
    {
        const char *what;
        int32_t length;
        const uint8_t *data;
        Bytes appended;
    };
    const Row rows[] = {
        // what, length, data, bytes appended after the earlier "zz"
        {"zero length", 0, kData, {}},
        {"negative length", -1, kData, {}},
        {"most negative length", INT32_MIN, kData, {}},
        {"null data, zero length", 0, nullptr, {}},
        {"two of seven", 2, kData, S("ab")},
        {"line feed as the last counted byte", 3, kData, Cat({S("ab"), kLineFeed})},
        {"ESC | b without its letter", 6, kData, Cat({S("ab"), kLineFeed})},
        {"ESC as the last counted byte", 4, kData, Cat({S("ab"), kLineFeed, H("1B")})},
    };
    for (const Row &row : rows)
    {
        CPrintBuffer buffer;
        buffer.Append(reinterpret_cast<const uint8_t *>("zz"), 2);
        const int32_t result = buffer.TranslatePrintData(row.length, row.data);
        const Bytes expected = Cat({S("zz"), row.appended});
        EXPECT_EQ(Hex(buffer.Pending()), Hex(expected)) << row.what;
        EXPECT_EQ(result, static_cast<int32_t>(expected.size())) << row.what;
        EXPECT_EQ(buffer.PendingSize(), static_cast<int32_t>(buffer.Pending().size())) << row.what;
    }
}

TEST(AppendEscapeCommand, CodeTable)
{
    struct Row
    {
        uint32_t code;
        int32_t value;
        Bytes expected;
    };
    const Bytes kFive = CrLf(5);
    const Row rows[] = {
        // Code, Value, bytes appended
        {0x50000000, 0, H("1D 56 01")},
        {0x50000000, 1, H("1D 56 01")},
        {0x50000000, 99, H("1D 56 01")},
        {0x50000000, 100, H("1D 56 00")},
        {0x50000000, -1, H("1D 56 00")},
        {0x50000000, INT32_MAX, H("1D 56 00")},
        {0x50000000, INT32_MIN, H("1D 56 00")},
        {0x50000066, 0, Cat({kFive, H("1D 56 01")})},
        {0x50000066, 99, Cat({kFive, H("1D 56 01")})},
        {0x50000066, 100, Cat({kFive, H("1D 56 00")})},
        {0x50000066, -1, Cat({kFive, H("1D 56 00")})},
        {0x50000073, 0, Cat({kFive, H("1D 56 01")})},
        {0x50000073, 100, Cat({kFive, H("1D 56 00")})},
        {0x50000073, -1, Cat({kFive, H("1D 56 00")})},
        {0x4600006C, 0, CrLf(1)},
        {0x4600006C, 1, CrLf(1)},
        {0x4600006C, 3, CrLf(3)},
        {0x4600006C, 300, CrLf(300)},
        {0x4600006C, -1, {}},
        {0x4600006C, -5, {}},
        {0x4600006C, INT32_MIN, {}},
        {0x4E000000, 0, H("1B 21 00 1B 2D 00")},
        {0x4E000000, 7, H("1B 21 00 1B 2D 00")},
        {0x43000062, 0, H("1B 45 01")},
        {0x43000062, 1, H("1B 45 00")},
        {0x43000062, -1, H("1B 45 00")},
        {0x43000062, 256, H("1B 45 00")},
        {0x43000075, 0, H("1B 21 80")},
        {0x43000075, 1, H("1B 2D 01")},
        {0x43000075, 2, H("1B 2D 02")},
        {0x43000075, -1, H("1B 2D FF")},
        {0x43000075, 256, H("1B 2D 00")},
        {0x43000075, 258, H("1B 2D 02")},
        {0x43000000, 0, H("1D 21 00")},
        {0x43000000, 1, H("1D 21 00")},
        {0x43000000, 2, H("1D 21 10")},
        {0x43000000, 3, H("1D 21 01")},
        {0x43000000, 4, H("1D 21 11")},
        {0x43000000, 5, H("1D 21 00")},
        {0x43000000, -1, H("1D 21 00")},
        {0x43000000, 258, H("1D 21 00")},
        {0x43000068, 0, {}},
        {0x43000068, 1, H("1D 21 00")},
        {0x43000068, 2, H("1D 21 10")},
        {0x43000068, 8, H("1D 21 70")},
        {0x43000068, 17, H("1D 21 00")},
        {0x43000068, -1, H("1D 21 E0")},
        {0x43000068, INT32_MIN, H("1D 21 F0")},
        {0x43000076, 0, {}},
        {0x43000076, 1, H("1D 21 00")},
        {0x43000076, 3, H("1D 21 02")},
        {0x43000076, 256, H("1D 21 FF")},
        {0x43000076, -1, H("1D 21 FE")},
        {0x43000076, INT32_MIN, H("1D 21 FF")},
        {0x41000063, 0, H("1B 61 01")},
        {0x41000063, 5, H("1B 61 01")},
        {0x4100006C, 0, H("1B 61 00")},
        {0x4100006C, 5, H("1B 61 00")},
        {0x41000072, 0, H("1B 61 02")},
        {0x41000072, 5, H("1B 61 02")},
        // No row: E and R, two letters not in the table, no letter, extra bits.
        {0x45000000, 3, {}},
        {0x52000000, 3, {}},
        {0x43007672, 0, {}},
        {0x49000000, 0, {}},
        {0x00000000, 0, {}},
        {0x00000062, 0, {}},
        {0x43010062, 0, {}},
        {0x5000666C, 0, {}},
    };
    for (const Row &row : rows)
    {
        CPrintBuffer buffer;
        buffer.AppendEscapeCommand({row.value, row.code});
        char code[16];
        std::snprintf(code, sizeof code, "%08X", static_cast<unsigned>(row.code));
        EXPECT_EQ(Hex(buffer.Pending()), Hex(row.expected))
            << "Code " << code << " Value " << row.value;
    }
}

TEST(PendingCap, OversizedOutputAppendsNothingAndKeepsEarlierBytes)
{
    CPrintBuffer buffer;
    Translate(buffer, S("ab"));
    EXPECT_EQ(Translate(buffer, S(E + "2000000000lF")), 2);
    buffer.AppendEscapeCommand({INT32_MAX, 0x4600006C});
    EXPECT_EQ(Translate(buffer, S("c")), 3);
    EXPECT_EQ(Hex(buffer.Pending()), Hex(S("abc")));
}

TEST(PendingCap, UnitsNearTheCap)
{
    struct Row
    {
        const char *what;
        size_t room;
        Bytes input;
        Bytes appended;
    };
    const Row rows[] = {
        // what, free bytes before the call, input, bytes appended
        {"line feed fits exactly", 12, S("\n"), kLineFeed},
        {"line feed one short", 11, S("\n"), {}},
        {"smaller units after a dropped one", 11, S("\nab"), S("ab")},
        {"ordinary bytes fill to the cap", 3, S("abcdef"), S("abc")},
        {"full buffer takes nothing", 0, S("a\n" + E + "cA"), {}},
        {"fP one short", 12, S(E + "fP"), {}},
        {"fP fits exactly", 13, S(E + "fP"), Cat({CrLf(5), H("1D 56 01")})},
        {"dropped command, text after it", 2, S(E + "cAxy"), S("xy")},
        {"command fits, text after it does not", 3, S(E + "cAxy"), H("1B 61 01")},
        {"embedded bytes all or nothing, still consumed", 2, S(E + "3Eabcd"), S("d")},
        {"embedded bytes fit exactly", 3, S(E + "3Eabcd"), S("abc")},
        {"lF count too large, text after it", 3, S(E + "2lFz"), S("z")},
        {"2e9 line feeds", 100, S(E + "2000000000lF"), {}},
    };
    for (const Row &row : rows)
    {
        CPrintBuffer buffer;
        const Bytes fill(kCap - row.room, 0x55);
        ASSERT_TRUE(buffer.Append(fill.data(), fill.size())) << row.what;
        const int32_t result = Translate(buffer, row.input);
        ASSERT_EQ(buffer.Pending().size(), fill.size() + row.appended.size()) << row.what;
        EXPECT_EQ(Hex(Tail(buffer, fill.size())), Hex(row.appended)) << row.what;
        EXPECT_EQ(buffer.Pending()[fill.size() - 1], 0x55) << row.what;
        EXPECT_EQ(result, buffer.PendingSize()) << row.what;
    }
}

TEST(PendingCap, LineFeedsUpToTheCap)
{
    struct Row
    {
        int32_t value;
        size_t size;
    };
    const Row rows[] = {
        // lF value, pending size after it on an empty buffer
        {static_cast<int32_t>(kCap / 2), kCap},
        {static_cast<int32_t>(kCap / 2 + 1), 0},
        {INT32_MAX, 0},
    };
    for (const Row &row : rows)
    {
        CPrintBuffer buffer;
        buffer.AppendEscapeCommand({row.value, 0x4600006C});
        ASSERT_EQ(buffer.Pending().size(), row.size) << "lF value " << row.value;
        if (row.size)
        {
            EXPECT_EQ(buffer.Pending().front(), 0x0D) << "lF value " << row.value;
            EXPECT_EQ(buffer.Pending().back(), 0x0A) << "lF value " << row.value;
        }
    }
}

TEST(PendingCap, AppendIsAllOrNothing)
{
    struct Row
    {
        const char *what;
        size_t room;
        size_t count; // SIZE_MAX: the single-byte Append
        bool appended;
    };
    const Row rows[] = {
        // what, free bytes before, bytes appended at once, whether they go in
        {"block fits exactly", 4, 4, true},
        {"block one too many", 4, 5, false},
        {"empty block on a full buffer", 0, 0, true},
        {"byte with room", 1, SIZE_MAX, true},
        {"byte on a full buffer", 0, SIZE_MAX, false},
        {"block larger than the cap", kCap, kCap + 1, false},
    };
    for (const Row &row : rows)
    {
        CPrintBuffer buffer;
        const Bytes fill(kCap - row.room, 0x55);
        buffer.Append(fill.data(), fill.size());
        bool result;
        size_t grown;
        if (row.count == SIZE_MAX)
        {
            result = buffer.Append(uint8_t{0x41});
            grown = 1;
        }
        else
        {
            const Bytes block(row.count, 0x41);
            result = buffer.Append(block.data(), block.size());
            grown = row.count;
        }
        EXPECT_EQ(result, row.appended) << row.what;
        EXPECT_EQ(buffer.Pending().size(), fill.size() + (row.appended ? grown : 0)) << row.what;
    }

    CPrintBuffer buffer;
    EXPECT_TRUE(buffer.Append(nullptr, 0));
    EXPECT_EQ(buffer.PendingSize(), 0);
}

TEST(PendingCap, BufferStaysUsableAfterClear)
{
    CPrintBuffer buffer;
    const Bytes fill(kCap, 0x55);
    ASSERT_TRUE(buffer.Append(fill.data(), fill.size()));
    EXPECT_EQ(Translate(buffer, S(E + "bC")), static_cast<int32_t>(kCap));
    buffer.Clear();
    EXPECT_EQ(Translate(buffer, S(E + "bCA")), 4);
    EXPECT_EQ(Hex(buffer.Pending()), "1B 45 01 41");
}

} // namespace

namespace {

// Where a run may be cut without leaving a command half sent: every offset of the output,
// answered with the end of the command it falls in.
TEST(CommandSpans, EveryCommandOfTheOutputIsKnown)
{
    const struct { const char *what; std::string data; std::vector<CommandSpan> spans; } rows[] = {
        // what                        print data                 commands of more than one byte
        {"text only", "AB", {}},
        {"line feed", "A\n", {{1, 4}, {4, 7}, {7, 10}, {10, 13}}},
        {"bold, text", E + "bC" + "X", {{0, 3}}},
        {"reset mode is two commands", E + "N", {{0, 3}, {3, 6}}},
        {"feed and cut: CR LF of one byte each", E + "2fP", {{10, 13}}},
        {"embedded bytes are one command", "A" + E + "3E" + "\x1D\x56\x00" + "B", {{1, 4}}},
        {"one embedded byte is one command", E + "1E" + "\x1B", {}},
        {"line feed inside embedded bytes", E + "2E" + "\n\n", {{0, 2}}},
        {"a sequence without a command", E + "rvC" + "X", {}},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        CPrintBuffer buffer;
        buffer.TranslatePrintData(static_cast<int32_t>(row.data.size()), reinterpret_cast<const uint8_t *>(row.data.data()));
        const std::vector<CommandSpan> &spans = buffer.CommandSpans();
        ASSERT_EQ(row.spans.size(), spans.size());
        for (size_t i = 0; i < spans.size(); ++i) {
            EXPECT_EQ(row.spans[i].Begin, spans[i].Begin) << "span " << i;
            EXPECT_EQ(row.spans[i].End, spans[i].End) << "span " << i;
        }
        const uint8_t *bytes = nullptr;
        int32_t length = 0;
        buffer.CopyOut(&bytes, &length);
        for (size_t cut = 0; cut <= static_cast<size_t>(length); ++cut) {
            size_t expected = cut;
            for (const CommandSpan &s : row.spans)
                if (cut > s.Begin && cut < s.End)
                    expected = s.End;
            EXPECT_EQ(expected, buffer.CopiedCommandEnd(cut)) << "cut after " << cut << " bytes";
        }
    }
}

TEST(CommandSpans, AppendCommandClearAndTheCopy)
{
    CPrintBuffer buffer;
    const uint8_t cut[] = {0x1D, 0x56, 0x00};
    EXPECT_TRUE(buffer.AppendCommand(cut, sizeof(cut)));
    EXPECT_TRUE(buffer.Append(cut, 1));   // the caller's own byte
    EXPECT_TRUE(buffer.AppendCommand(cut, 1));
    ASSERT_EQ(1u, buffer.CommandSpans().size());

    const uint8_t *bytes = nullptr;
    int32_t length = 0;
    buffer.CopyOut(&bytes, &length);
    buffer.Clear();
    EXPECT_TRUE(buffer.CommandSpans().empty());
    // The copy keeps its commands after the buffer was cleared, until the next CopyOut.
    EXPECT_EQ(3u, buffer.CopiedCommandEnd(1));
    EXPECT_EQ(3u, buffer.CopiedCommandEnd(3));
    buffer.CopyOut(&bytes, &length);
    EXPECT_EQ(1u, buffer.CopiedCommandEnd(1));

    // MoveOut: the same copy, and nothing left pending.
    EXPECT_TRUE(buffer.AppendCommand(cut, sizeof(cut)));
    buffer.MoveOut(&bytes, &length);
    EXPECT_EQ(3, length);
    EXPECT_EQ(0x1D, bytes[0]);
    EXPECT_EQ(0, buffer.PendingSize());
    EXPECT_TRUE(buffer.CommandSpans().empty());
    EXPECT_EQ(3u, buffer.CopiedCommandEnd(2));
    buffer.Clear();

    // A command beyond the cap appends nothing and is not listed.
    std::vector<uint8_t> big(kCap, 'x');
    EXPECT_TRUE(buffer.Append(big.data(), kCap - 2));
    EXPECT_FALSE(buffer.AppendCommand(cut, sizeof(cut)));
    EXPECT_TRUE(buffer.CommandSpans().empty());
}

} // namespace
