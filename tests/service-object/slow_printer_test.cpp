// Slow printers and printers that stop, on the three kinds of port (far_end.h): a printer that
// keeps taking data gets the whole run at any pace down to 50 bytes a second, and one that stops
// ends the call with a time-out.
#include "far_end.h"

namespace {

const wchar_t kKey[] = L"SlowPrinterTest";

// --- Every byte once and in order, at any pace down to 50 bytes a second ----------------------

// A serial driver's cancelled writes report what left, or 0 (nothing): neither may matter to a
// printer that keeps taking data, since no write is cancelled.
const bool kNothing = true;
const unsigned kLine = ~0u;   // the line's own pace: a tenth of its baud rate in bytes a second

TEST(SlowPrinter, APrinterThatKeepsTakingDataGetsTheWholeRun)
{
    const struct { Kind kind; unsigned rate; size_t lines; bool nothing = false; size_t pauseAfter = 0; DWORD pauseMs = 0; } rows[] = {
        // port          bytes/s  lines (56 bytes each)   cancel reports 0   pause after, for
        {Kind::Pipe, 0, 1},
        {Kind::Pipe, 0, 55},       // 3 KB
        {Kind::Pipe, 0, 1100},     // 60 KB
        {Kind::Pipe, 1000, 55},    // 3 s
        {Kind::Pipe, 250, 55},     // 12 s, more than two waits
        {Kind::Pipe, 50, 12},      // 13 s at the slowest pace we serve, 8 s beyond what the pipe holds
        {Kind::SmallPipe, 50, 8},  // pieces no larger than the pipe holds
        {Kind::Serial, 0, 1100},
        {Kind::Serial, 250, 55},   // one piece of 2,880 bytes takes 11 s of this printer
        {Kind::Serial, 50, 8},
        {Kind::Serial, kLine, 55}, {Kind::Serial, kLine, 55, kNothing},
        {Kind::Serial, kLine, 1100}, {Kind::Serial, kLine, 1100, kNothing},   // 64 s
        {Kind::Serial38400, kLine, 55}, {Kind::Serial38400, kLine, 55, kNothing},
        {Kind::Serial38400, kLine, 1100}, {Kind::Serial38400, kLine, 1100, kNothing},
        {Kind::Serial115200, kLine, 55}, {Kind::Serial115200, kLine, 55, kNothing},
        {Kind::Serial115200, kLine, 1100}, {Kind::Serial115200, kLine, 1100, kNothing},   // the line's time
        {Kind::Serial, kLine, 55, false, 1000, 3000}, {Kind::Serial, kLine, 55, kNothing, 1000, 3000},   // a cut, a logo
        {Kind::SerialLpt, 0, 55, false, 1000, 1500}, {Kind::SerialLpt, 0, 55, kNothing, 1000, 1500},
        {Kind::Virtual, 0, 1},
        {Kind::Virtual, 0, 55},
        {Kind::Virtual, 0, 1100},
    };
    for (const auto &row : rows) {
        const unsigned rate = row.rate != kLine ? row.rate : row.kind == Kind::Serial115200 ? 11520 : row.kind == Kind::Serial38400 ? 3840 : 960;
        SCOPED_TRACE(testing::Message() << Name(row.kind) << ", " << rate << " bytes/s, " << row.lines << " lines, pause "
                                        << row.pauseMs << " ms, cancel reports " << (row.nothing ? "0" : "what left"));
        Device device(row.kind, kKey);
        if (device.Port())
            device.Port()->CancelReportsNothing(row.nothing);
        if (row.pauseMs)
            device.Port()->StopAfter(row.pauseAfter, row.pauseMs);
        device.end->SetRate(rate);
        const std::wstring text = Lines(row.lines);
        const Translated run(text);
        const DWORD start = GetTickCount();
        EXPECT_EQ(0, device.Normal(text));
        const DWORD took = GetTickCount() - start;
        EXPECT_EQ(static_cast<LONG>(run.bytes.size()), device.written);
        if (rate && run.bytes.size() / rate > 6) {
            EXPECT_GT(took, 5000u) << "the pace never held the run up: the row shows nothing";
        }
        if (row.kind == Kind::Serial115200 && row.lines > 100) {
            EXPECT_LE(took, 1.05 * 1000 * run.bytes.size() / rate) << "more than the line's own time and 5%";
        }
        if (device.Port()) {
            EXPECT_EQ(0u, device.Port()->Cancels());
        }
        EXPECT_LE(device.printer->WritePieceBytes(), row.kind == Kind::SmallPipe ? 48u : row.kind == Kind::SerialLpt || !device.Port() ? 128u : 4096u);
        device.end->SetRate(0);
        const std::string got = ReceivedAtLeast(*device.end, run.bytes.size(), 5000);
        EXPECT_EQ(run.bytes.size(), got.size());
        EXPECT_TRUE(got == run.bytes) << "first difference at byte " << FirstDifference(got, run.bytes);
    }
}

// --- A printer that stops ---------------------------------------------------------------------

TEST(SlowPrinter, APrinterThatStopsEndsTheCallWithATimeOut)
{
    const struct { Kind kind; unsigned rate; size_t stopAfter; size_t lines; bool nothing = false; DWORD stopMs = 0; } rows[] = {
        // port          bytes/s  takes, then stops   lines   cancel reports 0   for (0: until told)
        {Kind::Pipe, 250, 250, 55},
        {Kind::Serial, 250, 250, 55},
        {Kind::Serial, 0, 1000, 55},
        {Kind::Serial, 0, 1000, 55, false, 7000}, {Kind::Serial, 0, 1000, 55, kNothing, 7000},   // in an ESC J
        {Kind::Virtual, 0, 0, 1100},
    };
    const std::wstring kNext = L"NEXT\n";
    for (const auto &row : rows) {
        SCOPED_TRACE(testing::Message() << Name(row.kind) << ", " << row.rate << " bytes/s, stops after "
                                        << row.stopAfter << " bytes for " << row.stopMs << " ms, cancel reports "
                                        << (row.nothing ? "0" : "what left"));
        Device device(row.kind, kKey);
        if (auto *serial = dynamic_cast<SerialEnd *>(device.end.get())) {
            serial->Port().CancelReportsNothing(row.nothing);
            // A cover-open report, then all clear: a later time-out carries no reason.
            serial->SendStatus(Bytes({0x20, 0, 0, 0}));
            ASSERT_TRUE(WaitUntil([&] { return NumberProperty(*device.printer, 7) == 201; }, 2000));
            serial->SendStatus(Bytes({0, 0, 0, 0}));
            ASSERT_TRUE(WaitUntil([&] { return NumberProperty(*device.printer, 6) == 0; }, 2000));
        }
        device.end->SetRate(row.rate);
        if (row.stopMs)
            device.Port()->StopAfter(row.stopAfter, row.stopMs);
        else
            device.end->StopAfter(row.stopAfter);
        const std::wstring text = Lines(row.lines);
        const Translated run(text);
        const DWORD start = GetTickCount();
        EXPECT_EQ(112, device.Normal(text));
        const DWORD took = GetTickCount() - start;
        // The port may stop taking data before the printer stops (a pipe whose buffer is full),
        // so the run may end sooner after the printer's stop than 5 s, but never sooner than
        // 5 s after it began.
        const DWORD stoppedAt = row.rate ? static_cast<DWORD>(1000 * row.stopAfter / row.rate) : 0;
        EXPECT_GE(took, 4900u);
        EXPECT_LE(took, stoppedAt + 10500) << "given up on more than about 10 s after the printer stopped";
        EXPECT_EQ(0, NumberProperty(*device.printer, 7));
        const LONG cutAt = device.written;
        ASSERT_LT(cutAt, static_cast<LONG>(run.bytes.size()));

        // The printer takes up again (by itself after stopMs): it gets what was reported as
        // written, the rest of the command it was cut in, and the next run.
        device.end->SetRate(0);
        if (row.stopMs)
            Sleep(row.stopMs + 200 - took);
        else
            device.end->Go();
        EXPECT_EQ(0, device.Normal(kNext));
        const std::string expected = run.UpToCommandEnd(static_cast<size_t>(cutAt)) + Translated(kNext).bytes;
        const std::string got = ReceivedAtLeast(*device.end, expected.size(), 3000);
        EXPECT_EQ(expected.size(), got.size());
        EXPECT_TRUE(got == expected) << "first difference at byte " << FirstDifference(got, expected);
        if (device.Port()) {
            EXPECT_EQ(1u, device.Port()->Cancels());
        }
    }
}

} // namespace
