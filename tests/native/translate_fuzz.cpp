// libFuzzer target for the print data translator. Besides what the sanitizers catch it checks:
//  - the pending size equals the number of pending bytes and never passes the cap;
//  - the result of each call is the pending size;
//  - a second call only appends (the first call's output stays a prefix);
//  - without any ESC byte the output is the input with each line feed expanded;
//  - near the cap (inputs starting with FC) earlier bytes stay untouched;
//  - the commands it notes lie in order inside the pending bytes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "printbuffer.h"

namespace {

constexpr size_t kCap = CPrintBuffer::kMaxPendingBytes;
constexpr uint8_t kFillByte = 0x55;

#define FUZZ_CHECK(cond)                                                                           \
    do                                                                                             \
    {                                                                                              \
        if (!(cond))                                                                               \
        {                                                                                          \
            std::fprintf(stderr, "invariant failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__);    \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

void CheckSize(const CPrintBuffer &buffer, int32_t result)
{
    FUZZ_CHECK(buffer.PendingSize() >= 0);
    FUZZ_CHECK(static_cast<size_t>(buffer.PendingSize()) == buffer.Pending().size());
    FUZZ_CHECK(buffer.Pending().size() <= kCap);
    FUZZ_CHECK(result == buffer.PendingSize());
    // The commands lie in order inside the pending bytes, none overlapping the next.
    uint32_t end = 0;
    for (const CommandSpan &span : buffer.CommandSpans())
    {
        FUZZ_CHECK(span.Begin >= end);
        FUZZ_CHECK(span.End > span.Begin + 1);
        FUZZ_CHECK(span.End <= buffer.Pending().size());
        end = span.End;
    }
}

const uint8_t kLineFeedBytes[] = {0x1B, 0x4A, 0x18, 0x1B, 0x4A, 0x00,
                                  0x1B, 0x21, 0x00, 0x1B, 0x2D, 0x00};

void CheckPlainText(const uint8_t *data, size_t size, const std::vector<uint8_t> &out)
{
    if (size != 0 && std::memchr(data, 0x1B, size) != nullptr)
        return;
    std::vector<uint8_t> expected;
    for (size_t i = 0; i < size; ++i)
    {
        if (data[i] == 0x0A)
            expected.insert(expected.end(), std::begin(kLineFeedBytes), std::end(kLineFeedBytes));
        else
            expected.push_back(data[i]);
    }
    FUZZ_CHECK(out == expected);
}

void NearTheCap(const uint8_t *data, size_t size)
{
    // data[1] picks how much room is left, in steps of 16 bytes.
    // Both live across runs: fresh 16 MiB blocks every run would cost more in page faults
    // than the translation. Clear keeps the capacity and nothing else.
    static const std::vector<uint8_t> fill(kCap, kFillByte);
    static CPrintBuffer buffer;
    const size_t room = static_cast<size_t>(data[1]) * 16;
    buffer.Clear();
    FUZZ_CHECK(buffer.Append(fill.data(), kCap - room));
    const int32_t result = buffer.TranslatePrintData(static_cast<int32_t>(size - 2), data + 2);
    CheckSize(buffer, result);
    FUZZ_CHECK(buffer.Pending()[kCap - room - 1] == kFillByte);
    FUZZ_CHECK(buffer.Pending()[0] == kFillByte);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 0x7FFFFFFF)
        return 0;

    if (size >= 2 && data[0] == 0xFC)
    {
        NearTheCap(data, size);
        return 0;
    }

    CPrintBuffer whole;
    const int32_t result = whole.TranslatePrintData(static_cast<int32_t>(size), data);
    CheckSize(whole, result);
    CheckPlainText(data, size, whole.Pending());

    // The same data in two calls, split where the last byte says.
    const size_t split = size ? static_cast<size_t>(data[size - 1]) * (size + 1) / 256 : 0;
    CPrintBuffer parts;
    const int32_t first = parts.TranslatePrintData(static_cast<int32_t>(split), data);
    CheckSize(parts, first);
    const std::vector<uint8_t> afterFirst = parts.Pending();
    const int32_t second =
        parts.TranslatePrintData(static_cast<int32_t>(size - split), data + split);
    CheckSize(parts, second);
    FUZZ_CHECK(parts.Pending().size() >= afterFirst.size());
    FUZZ_CHECK(afterFirst.empty() ||
               std::memcmp(parts.Pending().data(), afterFirst.data(), afterFirst.size()) == 0);
    return 0;
}
